// The zip reader where Linux and Windows file systems differ on purpose: execute bits
// (Windows has none), an open archive renamed or the current folder removed (Windows
// refuses both while they are in use), paths beyond MAX_PATH (the A functions stop there),
// a full disk (a small tmpfs in a mount namespace).

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "support/builders/zip_builder.h"
#include "support/builders/zip_reader_handle.h"
#include "support/sandbox/child_process.h"
#include "support/sandbox/small_disk.h"
#include "support/system/temp_dir.h"
#include "unzip/zip_reader.h"
#include "zip_reader_fixture.h"

namespace fs = std::filesystem;
using testsupport::buildZip;
using testsupport::ZipBuildOptions;
using testsupport::ZipEntryPlan;

namespace {

class ZipReaderOnLinuxTest : public testsupport::ZipReaderFixture {};

using testsupport::entry;
const std::string& kText = testsupport::kZipSampleText;

TEST_F(ZipReaderOnLinuxTest, UnixEntriesKeepTheirExecuteBits) {
    struct Case {
        const char* name;
        uint16_t versionMadeBy;
        uint32_t external;
        bool executable;
    };
    // clang-format off
    const Case cases[] = {
        {"updater", 0x0314, 0100755u << 16, true},
        {"owner-only", 0x0314, 0100700u << 16, true},
        {"plain.ini", 0x0314, 0100644u << 16, false},
        {"dos.exe", 0x0014, 0x20, false},
    };
    // clang-format on
    std::vector<ZipEntryPlan> plans;
    for (const Case& c : cases) {
        ZipEntryPlan e = entry(c.name, "#!/bin/sh\nexit 0\n");
        e.versionMadeBy = c.versionMadeBy;
        e.externalAttributes = c.external;
        plans.push_back(e);
    }
    auto reader = openBytes(buildZip(plans));
    ASSERT_TRUE(reader);
    for (int i = 0; i < int(std::size(cases)); ++i) {
        SCOPED_TRACE(cases[i].name);
        ASSERT_EQ(UnzipToFile(reader.get(), i, cases[i].name), ZIPRES_OK);
        const auto permissions = fs::status(dir.file(cases[i].name)).permissions();
        EXPECT_EQ((permissions & fs::perms::owner_exec) != fs::perms::none, cases[i].executable);
    }
}

// A folder link inside the root would carry an entry out of it: such an entry is
// refused, and nothing is made or written where the link points.
TEST_F(ZipReaderOnLinuxTest, EntriesNeverLeaveTheRootThroughAFolderLink) {
    testsupport::TempDir outside;
    ASSERT_EQ(::symlink(outside.path().c_str(), dir.file("out").c_str()), 0);
    dir.makeFolder("real");
    ZipEntryPlan folderEntry = entry("out/made/", "");
    folderEntry.externalAttributes = 0x10;
    auto reader = openBytes(buildZip({entry("out/a.txt", kText), entry("OUT\\new\\b.txt", kText),
                                      folderEntry, entry("real/c.txt", kText)}));
    ASSERT_TRUE(reader);
    for (int i = 0; i < 3; ++i) {
        ZipItem item;
        ASSERT_EQ(GetItem(reader.get(), i, &item), ZIPRES_OK);
        SCOPED_TRACE(item.name);
        EXPECT_EQ(UnzipToFile(reader.get(), i, item.name), ZIPRES_CANNOT_OPEN);
    }
    EXPECT_TRUE(fs::is_empty(outside.path()));
    ZipItem inside;
    ASSERT_EQ(GetItem(reader.get(), 3, &inside), ZIPRES_OK);
    EXPECT_EQ(UnzipToFile(reader.get(), 3, inside.name), ZIPRES_OK);
    EXPECT_EQ(dir.read("real/c.txt"), kText);
}

// The item is written beside its target and replaces it only when it ended well: on a
// full disk the old file stays as it was, and no temporary file is left.
TEST_F(ZipReaderOnLinuxTest, FullDiskLeavesTheOldTargetAsItWas) {
    std::string why;
    if (!testsupport::smallDiskAvailable(why)) GTEST_SKIP() << why;
    const std::string big(256 * 1024, 'b');
    testsupport::TempDir disk;
    const int code = testsupport::runInChild([&] {
        std::string reason;
        if (!testsupport::mountSmallDisk(disk.path(), 128 * 1024, reason)) {
            ADD_FAILURE() << reason;
            return 1;
        }
        disk.write("target.bin", "the old file");
        auto reader = openBytes(buildZip({entry("target.bin", big, true)}));
        EXPECT_TRUE(reader);
        if (!reader) return 1;
        EXPECT_EQ(UnzipToFile(reader.get(), 0, disk.file("target.bin").c_str()),
                  ZIPRES_WRITE_FAILED);
        EXPECT_EQ(disk.read("target.bin"), "the old file");
        EXPECT_FALSE(disk.exists(std::string("target.bin") + platform::kReplacementSuffix));
        return testsupport::childResult();
    });
    EXPECT_EQ(code, 0);
}

// A name as long as a file name may be still unpacks: its temporary name is cut short
// (Windows stops such a path at MAX_PATH first).
TEST_F(ZipReaderOnLinuxTest, LongestNameUnpacksThroughAShortenedTemporaryName) {
    auto reader = openBytes(buildZip({entry("a.txt", kText, true)}));
    ASSERT_TRUE(reader);
    const std::string longName(255, 'n');
    EXPECT_EQ(UnzipToFile(reader.get(), 0, longName.c_str()), ZIPRES_OK);
    EXPECT_EQ(dir.read(longName), kText);
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(platform::kReplacementSuffix),
                  std::string::npos);
}

TEST_F(ZipReaderOnLinuxTest, OpenFailsWhenTheCurrentFolderCannotBeRead) {
    dir.write("archive.zip", buildZip({entry("a.txt", "a")}));
    const std::string archive = dir.file("archive.zip");
    dir.makeFolder("gone");
    fs::current_path(dir.file("gone"));
    fs::remove(dir.file("gone"));
    EXPECT_FALSE(testsupport::openZip(archive));
    fs::current_path(dir.path());
    EXPECT_TRUE(testsupport::openZip(archive));
}

TEST_F(ZipReaderOnLinuxTest, ArchiveStaysReadableAfterItsNameIsGone) {
    auto reader = openBytes(buildZip({entry("a.txt", kText, true)}));
    ASSERT_TRUE(reader);
    fs::rename(dir.file("archive.zip"), dir.file("moved.zip"));
    dir.write("archive.zip", "not the archive any more");
    ZipResult result = ZIPRES_OK;
    EXPECT_EQ(testsupport::unzipToString(reader.get(), 0, result), kText);
    EXPECT_EQ(result, ZIPRES_OK);
}

}  // namespace

namespace {

TEST(ZipReaderHostileTest, CurrentFolderLongerThanWindowsPathsIsTheWholeRoot) {
    testsupport::TempDir dir;
    dir.write("archive.zip", buildZip({entry("sub/a.txt", kText, true)}));
    std::string deep = dir.path();
    while (deep.size() < 600) {
        deep += "/" + std::string(60, 'd');
        fs::create_directory(deep);
    }
    dir.enter();
    fs::current_path(deep);
    auto reader = testsupport::openZip(dir.file("archive.zip"));
    ASSERT_TRUE(reader);
    EXPECT_EQ(UnzipToFile(reader.get(), 0, "sub/a.txt"), ZIPRES_OK);
    EXPECT_EQ(testsupport::readFile(deep + "/sub/a.txt"), kText);
}

}  // namespace
