// Update mode end to end: the built program, copied into a temporary game folder as it
// is installed, run there without a display, so its messages come on standard error.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/argument_records.h"
#include "support/game_folder.h"
#include "support/lighttpd_server.h"
#include "support/pe_image.h"
#include "support/pid_namespace.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"
#include "support/x_display.h"
#include "support/zip_builder.h"

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
                             "/tests/support/gtk_leaks.supp"});
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
