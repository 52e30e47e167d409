// A download whose target name holds what only Linux can lay there: a FIFO, a link to
// a device; and a full disk (a small tmpfs in a mount namespace).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/peers/http_fault_server.h"
#include "support/sandbox/child_process.h"
#include "support/sandbox/small_disk.h"
#include "support/system/file_bytes.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"
#include "transfer/file_download.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

class DownloadOnLinuxTest : public ::testing::Test {
protected:
    void SetUp() override { folder.enter(); }

    void aim(CFileDownLoad& download, const std::string& url) {
        setField(download.url, url);
        setField(download.remotePath, "package.zip");
        setField(download.localDir, folder.path() + "/");
        setField(download.localName, "target.bin");
    }

    std::string target() const { return folder.file("target.bin"); }

    TempDir folder;
};

}  // namespace

// Something under the target's name that is no file: a FIFO would hold the download
// until a reader comes, a device would swallow the bytes, a link would carry them to
// its target. It goes, and the file is fetched. Each download runs in a child, so one that waits
// cannot hold the test.
TEST_F(DownloadOnLinuxTest, TargetThatIsNoFileIsReplacedNotWaitedOn) {
    const std::string body(5000, 'p');
    TempDir outside;
    outside.write("theirs.txt", "not ours");
    for (const char* kind : {"fifo", "link to /dev/null", "link to a file elsewhere"}) {
        SCOPED_TRACE(kind);
        fs::remove(target());
        if (std::string(kind) == "fifo") {
            ASSERT_EQ(::mkfifo(target().c_str(), 0600), 0);
        } else if (std::string(kind) == "link to /dev/null") {
            ASSERT_EQ(::symlink("/dev/null", target().c_str()), 0);
        } else {
            ASSERT_EQ(::symlink(outside.file("theirs.txt").c_str(), target().c_str()), 0);
        }
        HttpFaultServer server(body, HttpFault::None);
        testsupport::Subprocess child = testsupport::Subprocess::fork([&] {
            CFileDownLoad download;
            aim(download, server.url());
            return download.Download() == 1 ? 0 : 1;
        });
        ASSERT_TRUE(child.wait(10000)) << "the download waited on the target";
        EXPECT_EQ(child.exitCode(), 0);
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target())));
        EXPECT_TRUE(readFile(target()) == body);
        EXPECT_EQ(outside.read("theirs.txt"), "not ours");
    }
}

// A download that runs out of room leaves no part behind: the disk keeps the room it
// had, and no later run continues a file that cannot fit.
TEST_F(DownloadOnLinuxTest, FullDiskLeavesNoPart) {
    std::string why;
    if (!smallDiskAvailable(why)) GTEST_SKIP() << why;
    struct Case {
        const char* name;
        HttpFault fault;
        std::string body;
        std::string part;  // already in the target
    };
    // clang-format off
    const Case cases[] = {
        {"an endless body", HttpFault::Endless, "", ""},
        {"an announced body larger than the disk", HttpFault::None, std::string(512 * 1024, 'b'), ""},
        {"the rest of a part", HttpFault::None, std::string(512 * 1024, 'b'), std::string(1000, 'b')},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpFaultServer server(c.body, c.fault);
        TempDir disk;
        const int code = runInChild([&] {
            std::string reason;
            if (!mountSmallDisk(disk.path(), 256 * 1024, reason)) {
                ADD_FAILURE() << reason;
                return 1;
            }
            if (!c.part.empty()) disk.write("target.bin", c.part);
            CFileDownLoad download;
            aim(download, server.url());
            setField(download.localDir, disk.path() + "/");
            testing::internal::CaptureStderr();
            EXPECT_EQ(download.Download(), 0);
            testing::internal::GetCapturedStderr();
            EXPECT_FALSE(disk.exists("target.bin"));
            return childResult();
        });
        EXPECT_EQ(code, 0);
    }
}
