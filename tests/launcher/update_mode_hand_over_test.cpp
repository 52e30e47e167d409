// Update mode to its end: the built program, copied into a temporary game folder, fetches
// the package from lighttpd, unpacks it over the client updater's files and starts the
// updater. The updater is the tests' own program that records its arguments.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "support/lighttpd_server.h"
#include "support/pe_image.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"
#include "support/updater_processes.h"
#include "support/zip_builder.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

class UpdateModeHandOverTest : public ::testing::Test {
protected:
    void SetUp() override {
        game.copyIn(binaryPath("launcher"), "Launcher");
        game.makeFolder("runtime");
        // The server's address comes from the arguments; these settings must lose.
        game.write("update.ini",
                   "[BOOT]\nVersionURL=http://127.0.0.1:1/unused/\n"
                   "DownloadURL=http://127.0.0.1:1/unused/\nDownloadPort=1\nZipPath=Patch\n");
    }

    static std::string recorder() { return readFile(binaryPath("record_args")); }
    void installRecorder() const { game.copyIn(binaryPath("record_args"), "ClientUpdate.exe"); }

    void publish(const std::string& version, const std::string& package) const {
        packages.write("version.txt", "[Current Version]\nUpdateFile=" + version + ".zip\n");
        packages.write(version + ".zip", package);
    }

    // The launcher as a player starts it: x y z PatchIP:URL PatchPort:P.
    std::vector<std::string> arguments() const {
        return {"x", "y", "z", "PatchIP:" + server.url(), "PatchPort:" + std::to_string(server.port())};
    }
    std::vector<std::string> forwarded() const {
        return {"4718", "x", "y", "PatchIP:" + server.url(), "PatchPort:" + std::to_string(server.port())};
    }

    ProgramOptions options() const {
        ProgramOptions o;
        o.workingDirectory = game.path();
        o.unsetEnvironment = {"DISPLAY", "WAYLAND_DISPLAY"};
        o.environment = {{"LC_ALL", "C.UTF-8"}, {"XDG_RUNTIME_DIR", game.file("runtime")}, {"PATH", path}};
        return o;
    }
    ProgramResult run() const { return runProgram(game.file("Launcher"), arguments(), options()); }

    std::vector<std::string> requests() {
        std::vector<std::string> lines;
        for (const auto& line : server.stopAndReadLog())
            lines.push_back(line.request + " " + std::to_string(line.status));
        return lines;
    }

    UpdaterProcessLock lock;  // first made, last released
    TempDir game;
    TempDir packages;
    LighttpdServer server{packages.path()};
    std::string path = "/usr/bin:/bin";
};

TEST_F(UpdateModeHandOverTest, OutdatedUpdaterIsReplacedAndStartedWithTheForwardedWords) {
    ASSERT_TRUE(server.running());
    installRecorder();
    game.write("Readme.txt", "old notes");
    const std::string newUpdater = recorder() + "release 2";
    publish("2.0.13.6", buildZip({unixEntry("ClientUpdate.exe", newUpdater, 0100755),
                                  unixEntry("Readme.txt", "new notes", 0100444)}));
    // A read-only file among those replaced, for a player (root writes it anyway).
    ASSERT_EQ(::chmod(game.file("Readme.txt").c_str(), 0444), 0);
    std::string program = game.file("Launcher");
    std::vector<std::string> args = arguments();
    if (runningAsRoot()) {
        for (const auto& entry : fs::recursive_directory_iterator(game.path()))
            ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
        ASSERT_EQ(::lchown(game.path().c_str(), 65534, 65534), 0);
    }
    wrapUnprivileged(program, args);

    const ProgramResult result = runProgram(program, args, options());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(game.read("ClientUpdate.exe"), newUpdater);
    EXPECT_EQ(game.read("Readme.txt"), "new notes");
    EXPECT_FALSE(game.exists("update.rar"));
    const ArgumentRecords records = waitForArgumentRecords(game.path(), 1);
    EXPECT_EQ(records, ArgumentRecords{forwarded()});
    EXPECT_EQ(requests(), (std::vector<std::string>{"GET /version.txt HTTP/1.1 200",
                                                     "GET /2.0.13.6.zip HTTP/1.1 200"}));
}

TEST_F(UpdateModeHandOverTest, RunningUpdaterIsEndedAndItsFileReplaced) {
    ASSERT_TRUE(server.running());
    installRecorder();
    game.write("wait", "");
    uint32_t running = 0;
    ASSERT_TRUE(platform::shellOpen(game.file("ClientUpdate.exe"), "already running", &running));
    ASSERT_EQ(waitForArgumentRecords(game.path(), 1).size(), 1u);
    const std::string newUpdater = recorder() + "release 2";
    publish("2.0.13.6", buildZip({unixEntry("ClientUpdate.exe", newUpdater, 0100755)}));

    // The new updater waits too, holding the launcher's output open: let it go once it
    // has recorded its start.
    std::thread release([&] {
        waitForArgumentRecords(game.path(), 2, 20);
        ::unlink(game.file("wait").c_str());
    });
    const ProgramResult result = run();
    release.join();
    ::unlink(game.file("wait").c_str());

    EXPECT_EQ(result.exitCode, 0) << result.err;
    int signal = 0;
    EXPECT_TRUE(reapChild(int(running), &signal));
    EXPECT_EQ(signal, SIGKILL);
    EXPECT_EQ(game.read("ClientUpdate.exe"), newUpdater);
    EXPECT_FALSE(game.exists("update.rar"));
    const ArgumentRecords records = readArgumentRecords(game.path());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1], forwarded());
}

TEST_F(UpdateModeHandOverTest, CurrentUpdaterStartsDirectlyThroughWine) {
    ASSERT_TRUE(server.running());
    // A Windows updater of the version the server names: nothing to fetch, no
    // "update.rar", and the updater starts through wine (here the recording stand-in).
    PeImageOptions image;
    image.fileVersion[0] = 2, image.fileVersion[1] = 0, image.fileVersion[2] = 13, image.fileVersion[3] = 5;
    game.write("ClientUpdate.exe", buildPeImage(image).bytes);
    game.write("vcfile.res", "");
    publish("2.0.13.5", "must not be fetched");
    TempDir bin;
    bin.copyIn(binaryPath("record_args"), "wine");
    path = bin.path() + ":" + path;

    const ProgramResult result = run();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_FALSE(game.exists("update.rar"));
    const ArgumentRecords records = waitForArgumentRecords(bin.path(), 1);
    ASSERT_EQ(records.size(), 1u);
    std::vector<std::string> expected = forwarded();
    expected.insert(expected.begin(), game.file("ClientUpdate.exe"));
    EXPECT_EQ(records[0], expected);
    EXPECT_EQ(requests(), std::vector<std::string>{"GET /version.txt HTTP/1.1 200"});
}

TEST_F(UpdateModeHandOverTest, CorruptPackageIsDeletedAndTheInstalledUpdaterStarts) {
    ASSERT_TRUE(server.running());
    installRecorder();
    game.write("Readme.txt", "old notes");
    publish("2.0.13.6", "PK\x03\x04 but nothing of a zip archive follows");

    const ProgramResult result = run();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_FALSE(game.exists("update.rar"));
    EXPECT_EQ(game.read("ClientUpdate.exe"), recorder());
    EXPECT_EQ(game.read("Readme.txt"), "old notes");
    EXPECT_EQ(waitForArgumentRecords(game.path(), 1), ArgumentRecords{forwarded()});
}

}  // namespace
