// Update mode of the Windows program under Wine: launcher.exe copied into a game folder
// as it is installed, lighttpd on loopback on the Linux side, and a stand-in
// "ClientUpdate.exe" of our own (a Windows program with file version 2.0.13.5 that
// records its command line). Every test that runs the hand-over ends updater processes
// by name, so it runs in a PID namespace of its own, with a wineserver of its own.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "support/builders/argument_records.h"
#include "support/builders/game_folder.h"
#include "support/builders/zip_builder.h"
#include "support/peers/lighttpd_server.h"
#include "support/peers/loopback_socket.h"
#include "support/sandbox/pid_namespace.h"
#include "support/sandbox/wine_session.h"
#include "support/system/file_bytes.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"

using namespace testsupport;
using Clock = std::chrono::steady_clock;

namespace {

// The catalogue's built-in text, as a UTF-8 terminal shows it.
const char kNetError[] = "連線失敗, 請檢查你的網路或防火牆設定";

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class UpdateModeUnderWine : public ::testing::Test {
protected:
    // A player's installation: launcher.exe, the stand-in updater at 2.0.13.5, the
    // version marker, and settings whose server address the arguments override.
    // In a folder named `folderName` when one is given.
    struct Installation {
        GameFolder game;
        TempDir records;  // the launcher's message boxes, as its test hooks log them

        explicit Installation(const std::string& folderName = "",
                              const std::string& updater = "record_args.exe")
            : game(windowsBuildFile("launcher.exe"), "launcher.exe", folderName) {
            game.dir().copyIn(windowsBuildFile(updater), "ClientUpdate.exe");
            game.dir().write("vcfile.res", "");
            game.dir().write("update.ini",
                             "[BOOT]\nVersionURL=http://127.0.0.1:1/unused/\n"
                             "DownloadURL=http://127.0.0.1:1/unused/\nDownloadPort=1\n"
                             "ZipPath=Patch\n");
        }

        ProgramOptions options() const {
            ProgramOptions options = game.options();
            options.environment.push_back(
                {"LAUNCHER_TEST_MESSAGE_LOG", windowsPath(records.file("messages.log"))});
            options.timeoutSeconds = 90;
            return options;
        }
        ProgramResult run(const WineSession& wine, const std::vector<std::string>& arguments,
                          const ProgramOptions& options) const {
            return wine.run(game.program(), arguments, options);
        }
        std::string messages() const { return records.read("messages.log"); }
    };

    void SetUp() override { ASSERT_EQ(windowsTestBuildProblem(), ""); }

    static std::string recorder() { return readFile(windowsBuildFile("record_args.exe")); }

    // The server names `version`.zip, holding a new "ClientUpdate.exe", notes, and
    // `more` entries.
    static void publish(const TempDir& packages, const std::string& version,
                        const std::string& newUpdater, std::vector<ZipEntryPlan> more = {}) {
        packages.write("version.txt", "[Current Version]\nUpdateFile=" + version + ".zip\n");
        more.insert(more.begin(), {unixEntry("ClientUpdate.exe", newUpdater, 0100755),
                                   unixEntry("Readme.txt", "new notes", 0100644)});
        packages.write(version + ".zip", buildZip(more));
    }

    // x y z PatchIP:URL PatchPort:P, as a player's shortcut might start it.
    static std::vector<std::string> arguments(const LighttpdServer& server) {
        return {"x", "y", "z", "PatchIP:" + server.url(),
                "PatchPort:" + std::to_string(server.port())};
    }
    // What the client updater must be given: the launch code, the two words, the server.
    static std::vector<std::string> forwarded(const LighttpdServer& server) {
        return {"4718", "x", "y", "PatchIP:" + server.url(),
                "PatchPort:" + std::to_string(server.port())};
    }
    static std::string forwardedLine(const LighttpdServer& server) {
        std::string line;
        for (const std::string& word : forwarded(server)) line += " " + word;
        return line;
    }

    static std::vector<std::string> requests(LighttpdServer& server) {
        std::vector<std::string> lines;
        for (const auto& line : server.stopAndReadLog())
            lines.push_back(line.request + " " + std::to_string(line.status));
        return lines;
    }
};

// Code page 950 names as a player's system sees them: 遊 ends in the byte of "C", 功 in
// the byte of a backslash (B9 43, A5 5C).
const char kGameFolder950[] = "遊戲功";

// A package made on a player's system stores its names in code page 950, without the
// UTF-8 flag; Wine shows the files by their Unicode names.
ZipEntryPlan entryOf950(const std::string& utf8Name, const std::string& data) {
    ZipEntryPlan entry;
    EXPECT_TRUE(platform::convertText(utf8Name, "UTF-8", "CP950", entry.name)) << utf8Name;
    entry.data = data;
    return entry;
}

TEST_F(UpdateModeUnderWine, UpdaterIsReplacedWhenOutdatedAndStartedWithTheForwardedWords) {
    if (rerunInOwnPidNamespace()) return;
    WineSession wine;
    ASSERT_EQ(wine.failure(), "");
    const std::string newUpdater = recorder() + "release 2";
    struct Case {
        const char* name;
        const char* published;  // the installed updater is 2.0.13.5
        bool fetched;
        const char* folder;  // the game folder's name; "" any
    };
    const Case cases[] = {
        {"outdated", "2.0.13.6", true, ""},
        {"current", "2.0.13.5", false, ""},
        {"outdated, in a folder whose name ends in a 0x5C trail byte", "2.0.13.6", true,
         kGameFolder950},
    };
    // Names with trail bytes 0x5C and 0x41..0x5A, in a folder and a file.
    const std::vector<ZipEntryPlan> named950 = {entryOf950("說明功.txt", "notes in Chinese"),
                                                entryOf950("圖片功/遊戲記.dat", "picture")};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Installation installed(c.folder);
        TempDir packages;
        LighttpdServer server(packages.path());
        ASSERT_TRUE(server.running()) << server.errorLog();
        publish(packages, c.published, newUpdater, named950);

        const ProgramResult result = installed.run(wine, arguments(server), installed.options());
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(installed.messages(), "");
        const GameFolder& game = installed.game;
        EXPECT_EQ(game.dir().read("ClientUpdate.exe"), c.fetched ? newUpdater : recorder());
        EXPECT_EQ(game.dir().exists("Readme.txt"), c.fetched);
        EXPECT_EQ(game.dir().read("說明功.txt"), c.fetched ? "notes in Chinese" : "");
        EXPECT_EQ(game.dir().read("圖片功/遊戲記.dat"), c.fetched ? "picture" : "");
        EXPECT_FALSE(game.dir().exists("update.rar"));
        if (*c.folder) {  // nothing lands beside the named game folder
            const auto around = std::filesystem::path(game.path()).parent_path();
            std::vector<std::string> beside;
            for (const auto& entry : std::filesystem::directory_iterator(around))
                if (entry.path() != game.path()) beside.push_back(entry.path().filename());
            EXPECT_EQ(beside, std::vector<std::string>{});
        }

        // Started through ShellExecuteExA: exactly these words, each after one space.
        EXPECT_EQ(waitForArgumentRecords(game.path(), 1, 20), ArgumentRecords{forwarded(server)});
        const std::string commandLine = game.dir().read("command_lines.txt");
        const std::string tail = forwardedLine(server) + "\n";
        EXPECT_TRUE(commandLine.size() > tail.size() &&
                    commandLine.compare(commandLine.size() - tail.size(), tail.size(), tail) == 0)
            << commandLine;
        std::vector<std::string> expected{"GET /version.txt HTTP/1.1 200"};
        if (c.fetched) expected.push_back("GET /" + std::string(c.published) + ".zip HTTP/1.1 200");
        EXPECT_EQ(requests(server), expected);
    }
}

// A 32-bit launcher ends a 32-bit updater and, on 64-bit Windows, a 64-bit one, whose
// module list a 32-bit process cannot read.
TEST_F(UpdateModeUnderWine, RunningUpdaterIsEndedBeforeItsFileIsReplaced) {
    if (rerunInOwnPidNamespace()) return;
    WineSession wine;
    ASSERT_EQ(wine.failure(), "");
    struct Case {
        const char* name;
        const char* updater;  // the running "ClientUpdate.exe"
        bool needs64Bit;
    };
    const Case cases[] = {
        {"a 32-bit updater", "record_args.exe", false},
        {"a 64-bit updater", "record_args64.exe", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needs64Bit && !wine.system().is64Bit()) {
            std::printf("%s: no 64-bit programs on 32-bit Windows\n", c.name);
            continue;
        }
        Installation installed("", c.updater);
        const GameFolder& game = installed.game;
        TempDir packages;
        LighttpdServer server(packages.path());
        ASSERT_TRUE(server.running()) << server.errorLog();
        const std::string newUpdater = recorder() + "release 2";
        publish(packages, "2.0.13.6", newUpdater);

        // The installed updater runs, holding its file, for 20 s unless it is ended.
        game.dir().write("wait", "");
        SubprocessOptions quiet;
        quiet.workingDirectory = game.path();
        Subprocess running = wine.start(game.file("ClientUpdate.exe"), {"running"}, quiet);
        ASSERT_TRUE(running.started()) << running.startError();
        ASSERT_EQ(waitForArgumentRecords(game.path(), 1, 20).size(), 1u)
            << "the updater did not start";

        const auto launched = Clock::now();
        const ProgramResult result = installed.run(wine, arguments(server), installed.options());
        EXPECT_EQ(result.exitCode, 0) << result.err;
        // Ended by the launcher (its own 20 s are far from over), not by the test.
        EXPECT_TRUE(running.wait(5000)) << "the running updater was not ended";
        EXPECT_LT(Clock::now() - launched, std::chrono::seconds(15));
        EXPECT_EQ(installed.messages(), "") << "no \"Please reboot computer \" box";
        EXPECT_EQ(game.dir().read("ClientUpdate.exe"), newUpdater);
        EXPECT_FALSE(game.dir().exists("update.rar"));

        // The new updater started after the old one: the second record.
        const ArgumentRecords records = waitForArgumentRecords(game.path(), 2, 20);
        EXPECT_EQ(records, (ArgumentRecords{{"running"}, forwarded(server)}));
        std::filesystem::remove(game.file("wait"));
    }
}

TEST_F(UpdateModeUnderWine, SecondCopyExits255AtOnceWhileTheFirstRuns) {
    if (rerunInOwnPidNamespace()) return;
    WineSession wine;
    ASSERT_EQ(wine.failure(), "");
    Installation installed;
    const GameFolder& game = installed.game;
    TempDir packages;
    ZipEntryPlan stored;  // not deflated, so that the package keeps its size
    stored.name = "ClientUpdate.exe";
    stored.data = recorder() + "release 2";
    const std::string newUpdater = stored.data;
    packages.write("version.txt", "[Current Version]\nUpdateFile=2.0.13.6.zip\n");
    packages.write("2.0.13.6.zip", buildZip({stored}));
    // The package trickles in for about 6 s, so the first copy is still downloading.
    const size_t kilobytesPerSecond = newUpdater.size() / 1024 / 6 + 1;
    LighttpdServer server(packages.path(), "connection.kbytes-per-second = " +
                                               std::to_string(kilobytesPerSecond) + "\n");
    ASSERT_TRUE(server.running()) << server.errorLog();

    SubprocessOptions firstOptions = installed.options();
    Subprocess first = wine.start(game.program(), arguments(server), firstOptions);
    ASSERT_TRUE(first.started()) << first.startError();
    ASSERT_TRUE(waitUntil([&] { return game.dir().exists("update.rar"); }, 30000))
        << "the first copy did not begin the download";

    const auto started = Clock::now();
    const ProgramResult second = installed.run(wine, arguments(server), installed.options());
    EXPECT_EQ(second.exitCode, 255) << second.err;
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(5)) << "not at once";
    EXPECT_FALSE(first.ended()) << "the first copy must still be running";

    // The first copy is undisturbed.
    ASSERT_TRUE(first.wait(60000)) << "the first copy did not end";
    EXPECT_EQ(first.exitCode(), 0) << first.errors();
    EXPECT_EQ(game.dir().read("ClientUpdate.exe"), newUpdater);
    EXPECT_EQ(waitForArgumentRecords(game.path(), 1, 20), ArgumentRecords{forwarded(server)});
    EXPECT_EQ(installed.messages(), "");
}

TEST_F(UpdateModeUnderWine, NoServerEndsWith254AndTheNetworkMessages) {
    WineSession wine;
    ASSERT_EQ(wine.failure(), "");
    Installation installed;
    const std::string url = "http://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/";
    installed.game.writeUpdateSettings(url);

    // The texts as the catalogue holds them, in code page 950.
    const ProgramResult result = installed.run(wine, {}, installed.options());
    EXPECT_EQ(result.exitCode, 254) << result.err;
    std::string shown;
    ASSERT_TRUE(platform::convertText(installed.messages(), "CP950", "UTF-8", shown))
        << installed.messages();
    EXPECT_EQ(shown, "[Error] Download " + url + ":0 version.txt fail!!\n" +
                         "[Version] Can't download version.txt\n " + kNetError + "\n");
    EXPECT_FALSE(installed.game.dir().exists("update.rar"));
    EXPECT_FALSE(installed.game.dir().exists("args.txt")) << "the updater must not start";
}

}  // namespace
