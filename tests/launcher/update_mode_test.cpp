// Update mode end to end: the built program, copied into a temporary game folder as it
// is installed, run there without a display, so its messages come on standard error.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/builders/argument_records.h"
#include "support/builders/game_folder.h"
#include "support/builders/pe_image.h"
#include "support/builders/zip_builder.h"
#include "support/peers/lighttpd_server.h"
#include "support/sandbox/pid_namespace.h"
#include "support/sandbox/unprivileged.h"
#include "support/sandbox/x_display.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

// The catalogue's built-in texts, as a UTF-8 terminal shows them.
const char kUacTitle[] = "使用者帳戶控制(UAC)";
const char kUacCantWrite[] = "沒有檔案寫入權限,請檢查你的執行身分";
const char kNetError[] = "連線失敗, 請檢查你的網路或防火牆設定";

// Standard error without the configuration's debugger lines, so only the message
// boxes remain.
std::string messageBoxes(const std::string& err) {
    std::string boxes;
    size_t begin = 0;
    while (begin < err.size()) {
        size_t end = err.find('\n', begin);
        end = end == std::string::npos ? err.size() : end + 1;
        if (err.compare(begin, 10, "IniFile : ") != 0) boxes.append(err, begin, end - begin);
        begin = end;
    }
    return boxes;
}

class UpdateModeTest : public ::testing::Test {
protected:
    GameFolder game;
    TempDir packages;
};

TEST_F(UpdateModeTest, FolderNotWritableEndsWith255BeforeAnyNetworkUse) {
    game.writeUpdateSettings("http://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/");
    // Root writes anywhere: it runs the program as nobody in a folder of root's own.
    fs::permissions(game.path(), fs::perms(runningAsRoot() ? 0755 : 0555));
    ProgramResult result = game.runAsPlayer();
    fs::permissions(game.path(), fs::perms(0755));

    EXPECT_EQ(result.exitCode, 255) << result.err;
    EXPECT_EQ(messageBoxes(result.err), std::string("[") + kUacTitle + "] " + kUacCantWrite + "\n");
    EXPECT_FALSE(game.dir().exists("Patch"));
}

TEST_F(UpdateModeTest, NoServerEndsWith254AndTheNetworkMessage) {
    const std::string url = "http://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/";
    game.writeUpdateSettings(url);
    ProgramResult result = game.run();
    EXPECT_EQ(result.exitCode, 254) << result.err;
    EXPECT_EQ(messageBoxes(result.err), "[Error] Download " + url + ":0 version.txt fail!!\n" +
                                            "[Version] Can't download version.txt\n " + kNetError +
                                            "\n");
    EXPECT_FALSE(game.dir().exists("update.rar"));
}

TEST_F(UpdateModeTest, CurrentUpdaterIsLeftAloneWithoutATransfer) {
    const std::string updater = peImageOfVersion(2, 0, 13, 5);
    game.dir().write("ClientUpdate.exe", updater);
    game.dir().write("vcfile.res", "");
    packages.write("version.txt", "[Current Version]\nUpdateFile=2.0.13.5.zip\n");
    packages.write("2.0.13.5.zip", "must not be fetched");
    LighttpdServer server(packages.path());
    ASSERT_TRUE(server.running());
    game.writeUpdateSettings(server.url());

    ProgramResult result = game.run();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err.find("fail!!"), std::string::npos) << result.err;
    EXPECT_EQ(game.dir().read("Patch/version.txt"), packages.read("version.txt"));
    EXPECT_FALSE(game.dir().exists("update.rar"));
    EXPECT_EQ(game.dir().read("ClientUpdate.exe"), updater);
    auto log = server.stopAndReadLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].request, "GET /version.txt HTTP/1.1");
}

TEST_F(UpdateModeTest, OutdatedUpdaterIsFetchedUnpackedAndStarted) {
    // Unpacking ends updater processes by name.
    if (rerunInOwnPidNamespace()) return;
    game.dir().write("ClientUpdate.exe", peImageOfVersion(2, 0, 13, 5));
    game.dir().write("vcfile.res", "");
    const std::string newUpdater = peImageOfVersion(2, 0, 13, 6);
    ZipEntryPlan entry;
    entry.name = "ClientUpdate.exe";
    entry.data = newUpdater;
    entry.deflate = true;
    packages.write("version.txt", "[Current Version]\nUpdateFile=2.0.13.6.zip\n");
    packages.write("2.0.13.6.zip", buildZip({entry}));
    LighttpdServer server(packages.path());
    ASSERT_TRUE(server.running());
    game.writeUpdateSettings(server.url());
    // The new updater is a Windows program: it starts through "wine", here the
    // recording stand-in, never a real one.
    TempDir bin;
    bin.copyIn(binaryPath("record_args"), "wine");
    game.prependToPath(bin.path());

    ProgramResult result = game.run();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err.find("fail!!"), std::string::npos) << result.err;
    // The package came as "update.rar", which the hand-over unpacked over the updater
    // and deleted before it started the new one.
    EXPECT_FALSE(game.dir().exists("update.rar"));
    EXPECT_TRUE(game.dir().read("ClientUpdate.exe") == newUpdater);
    EXPECT_EQ(waitForArgumentRecords(bin.path(), 1),
              (ArgumentRecords{{game.file("ClientUpdate.exe"), "4718"}}));
    auto log = server.stopAndReadLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].request, "GET /2.0.13.6.zip HTTP/1.1");
    EXPECT_EQ(log[1].status, 200);
}

// A download of release 2.0.0.2 is cut off (the launcher killed); the server then
// publishes 2.0.0.3. The next start must not continue the part of 2.0.0.2 with the bytes
// of 2.0.0.3, which would unpack to nothing: it fetches 2.0.0.3 whole and installs it.
TEST_F(UpdateModeTest, APartOfAnOlderReleaseIsNotContinuedWithTheNewOne) {
    if (rerunInOwnPidNamespace()) return;
    game.dir().write("ClientUpdate.exe", peImageOfVersion(2, 0, 0, 1));
    game.dir().write("vcfile.res", "");
    // Large enough that a slow server is still sending it when the launcher is killed.
    std::string padding(1 << 20, '\0');
    std::mt19937 random(12);
    for (char& c : padding) c = char(random());
    auto publish = [&](int revision) {
        TempDir release;
        release.write("ClientUpdate.exe", peImageOfVersion(2, 0, 0, revision) + padding);
        const ProgramResult published =
            runProgram(binaryPath("launcher-admin"), {"publish", release.path(), packages.path()});
        EXPECT_EQ(published.exitCode, 0) << published.err;
        return release.read("ClientUpdate.exe");
    };
    publish(2);
    {
        LighttpdServer slow(packages.path(), "connection.kbytes-per-second = 32\n");
        ASSERT_TRUE(slow.running());
        game.writeUpdateSettings(slow.url());
        SubprocessOptions options = game.options();
        Subprocess first(game.program(), {}, options);
        ASSERT_TRUE(first.started());
        for (int waited = 0; waited < 10000 && game.dir().read("update.rar").size() < 65536;
             waited += 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        first.sendSignal(SIGKILL);
        ASSERT_TRUE(first.wait(5000));
    }
    const size_t part = game.dir().read("update.rar").size();
    ASSERT_GE(part, 65536u);
    ASSERT_LT(part, padding.size());
    EXPECT_EQ(game.dir().read("update.rar.part").rfind("UpdateFile=2.0.0.2.zip\n", 0), 0u);

    const std::string newUpdater = publish(3);
    LighttpdServer server(packages.path());
    ASSERT_TRUE(server.running());
    game.writeUpdateSettings(server.url());
    TempDir bin;
    bin.copyIn(binaryPath("record_args"), "wine");
    game.prependToPath(bin.path());
    ProgramResult result = game.run();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(messageBoxes(result.err), "");
    EXPECT_TRUE(game.dir().read("ClientUpdate.exe") == newUpdater);
    EXPECT_FALSE(game.dir().exists("update.rar"));
    EXPECT_FALSE(game.dir().exists("update.rar.part"));
    auto log = server.stopAndReadLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].request, "GET /2.0.0.3.zip HTTP/1.1");
    EXPECT_EQ(log[1].range, "-");
    EXPECT_EQ(log[1].status, 200);
}

// What a careless operator or a hostile peer may leave under the launcher's file
// names: a FIFO, a link to an endless device, a "version.txt" too large to read. None
// of it may hold the launcher or end it; each reads as no file, or as a failed fetch.
TEST_F(UpdateModeTest, FilesThatAreNoFilesNeitherHoldNorEndTheLauncher) {
    if (rerunInOwnPidNamespace()) return;
    const std::string current = peImageOfVersion(2, 0, 13, 5);
    ZipEntryPlan entry;
    entry.name = "data.txt";
    entry.data = "new data";
    packages.write("2.0.13.5.zip", buildZip({entry}));
    struct Case {
        const char* name;
        const char* fifo;  // a FIFO of this name in the game folder
        const char* zero;  // a link to /dev/zero of this name
        bool hugeVersionTxt;
        bool outdated;  // the installed updater is older, so the package is fetched
        int exitCode;
    };
    // clang-format off
    const Case cases[] = {
        {"a FIFO as localization.ini", "localization.ini", nullptr, false, false, 0},
        {"a FIFO as KilnDev.ini", "KilnDev.ini", nullptr, false, false, 0},
        {"localization.ini linked to /dev/zero", nullptr, "localization.ini", false, false, 0},
        {"a FIFO as update.rar", "update.rar", nullptr, false, true, 0},
        {"a version.txt of 2 MiB", nullptr, nullptr, true, false, 254},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GameFolder folder;
        folder.dir().write("ClientUpdate.exe",
                           c.outdated ? peImageOfVersion(2, 0, 13, 4) : current);
        folder.dir().write("vcfile.res", "");
        folder.dir().write("data.txt", "old data");
        if (c.fifo) {
            ASSERT_EQ(::mkfifo(folder.file(c.fifo).c_str(), 0600), 0);
        }
        if (c.zero) {
            ASSERT_EQ(::symlink("/dev/zero", folder.file(c.zero).c_str()), 0);
        }
        std::string versionTxt = "[Current Version]\nUpdateFile=2.0.13.5.zip\n";
        if (c.hugeVersionTxt) versionTxt += "; " + std::string(2 << 20, 'x') + "\n";
        packages.write("version.txt", versionTxt);
        LighttpdServer server(packages.path());
        ASSERT_TRUE(server.running());
        folder.writeUpdateSettings(server.url());
        TempDir bin;
        bin.copyIn(binaryPath("record_args"), "wine");
        folder.prependToPath(bin.path());

        ProgramResult result = folder.run();
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        if (c.exitCode == 254) {
            EXPECT_EQ(messageBoxes(result.err),
                      "[Error] Download " + server.url() + ":0 version.txt fail!!\n" +
                          "[Version] Can't download version.txt\n " + kNetError + "\n");
            EXPECT_FALSE(folder.dir().exists("Patch/version.txt"));
        } else {
            EXPECT_EQ(messageBoxes(result.err), "");
        }
        EXPECT_EQ(folder.dir().read("data.txt"), c.outdated ? "new data" : "old data");
    }
}

// With a display the progress dialog is a GTK window, fed from the worker through the
// main loop; the run must end by itself as on the console.
TEST_F(UpdateModeTest, GraphicalDialogShowsTheTransferAndCloses) {
    TempDir logs;
    XDisplaySession x(logs.path());
    ASSERT_EQ(x.start(false), "");
    game.dir().write("ClientUpdate.exe", peImageOfVersion(2, 0, 13, 5));
    game.dir().write("vcfile.res", "");
    std::string package(3 << 20, 'p');
    packages.write("version.txt", "[Current Version]\nUpdateFile=2.0.13.6.zip\n");
    packages.write("2.0.13.6.zip", package);
    LighttpdServer server(packages.path());
    ASSERT_TRUE(server.running());
    game.writeUpdateSettings(server.url());
    game.setDisplay(x.display());

    ProgramOptions o = game.options();
    o.environment.push_back(
        {"LSAN_OPTIONS", "print_suppressions=0:suppressions=" + std::string(LAUNCHER_SOURCE_DIR) +
                             "/tests/support/sandbox/gtk_leaks.supp"});
    o.timeoutSeconds = 30;
    ProgramResult result = runProgram(game.program(), {}, o);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err.find("fail!!"), std::string::npos) << result.err;
    auto log = server.stopAndReadLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].status, 200);
}

}  // namespace
