// The built program in a game folder of its own, as a player starts it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "config/ini_file.h"
#include "support/builders/game_folder.h"
#include "support/system/subprocess.h"

using testsupport::GameFolder;
using testsupport::ProgramResult;

namespace {

const std::string kBom = "\xef\xbb\xbf";
const std::string kDevSettings = "[Crash]\nKeep=yes\n";
// Update mode, once it reaches the network, stays on loopback where nothing listens.
const std::string kUpdateSettings =
    "[BOOT]\nVersionURL=http://127.0.0.1:9/\nDownloadURL=http://127.0.0.1:9/\nDownloadPort=9\n";
const std::vector<std::string> kCrashArguments = {"crash", "127.0.0.1", "user:pass",
                                                  "no-such-folder"};

void writeSettings(const GameFolder& game) {
    game.dir().write("KilnDev.ini", kDevSettings);
    game.dir().write("update.ini", kUpdateSettings);
}

// "NeedCheck" as crash mode leaves it in the developer settings; empty when unset.
std::string needCheck(const GameFolder& game) {
    IniFile settings;
    settings.section = "Crash";
    if (!settings.Load(game.file("KilnDev.ini"))) return "?";
    testing::internal::CaptureStderr();
    std::string value = settings.GetValue("NeedCheck");
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(settings.GetValue("Keep"), "yes") << "the other settings are kept";
    return value;
}

// True when process `pid` holds an advisory whole-file lock (flock), as /proc/locks shows.
bool holdsFileLock(pid_t pid) {
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, owner;
        fields >> number >> kind;
        if (kind == "->") continue;  // a waiter, not a holder
        fields >> mode >> access >> owner;
        if (kind == "FLOCK" && owner == std::to_string(pid)) return true;
    }
    return false;
}

}  // namespace

// Which command lines choose crash mode is tested on the command line itself; here, that
// the program acts on the choice.
TEST(EntryPoint, CrashModeRunsAndEndsWith1WhenChosen) {
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        bool crashMode;
        bool marked;  // crash mode ran through and set "NeedCheck"
        // clang-format off
    } cases[] = {
        {"crash and three arguments", kCrashArguments, true, true},
        // Three arguments choose crash mode; without its folder it does nothing, and
        // still ends with 1.
        {"crash and two more arguments", {"crash", "127.0.0.1", "user:pass"}, true, false},
        {"other case", {"Crash", "127.0.0.1", "user:pass", "no-such-folder"}, false, false},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GameFolder game;
        writeSettings(game);
        ProgramResult result = game.run(c.arguments);
        ASSERT_FALSE(result.timedOut);
        if (c.crashMode) {
            EXPECT_EQ(result.exitCode, 1);
        } else {
            EXPECT_NE(result.exitCode, 1);
        }
        EXPECT_EQ(needCheck(game), c.marked ? "1" : "");
        if (c.marked) {
            EXPECT_EQ(game.dir().read("KilnDev.ini").substr(0, 3), kBom);
        }
        EXPECT_FALSE(game.dir().exists("YouCantPass.tmp"));
    }
}

TEST(EntryPoint, SecondCopyEndsSilentlyWhileTheFirstRuns) {
    GameFolder first;
    GameFolder second;
    writeSettings(first);
    writeSettings(second);
    second.shareRuntimeFolderOf(first);

    // The first copy's standard error is a full pipe: its first message blocks it
    // inside its run, after it has taken the lock.
    int err[2];
    ASSERT_EQ(pipe2(err, O_CLOEXEC), 0);
    fcntl(err[1], F_SETFL, O_NONBLOCK);
    std::string filler(4096, 'x');
    while (write(err[1], filler.data(), filler.size()) > 0) {
    }
    ASSERT_EQ(errno, EAGAIN);
    fcntl(err[1], F_SETFL, 0);

    testsupport::SubprocessOptions options = first.options();
    options.standardOutput = testsupport::Redirect::null();
    options.standardError = testsupport::Redirect::descriptor(err[1]);
    testsupport::Subprocess firstCopy(first.program(),
                                      {"PatchIP:http://127.0.0.1:9/", "PatchPort:9"}, options);
    close(err[1]);
    ASSERT_TRUE(firstCopy.started()) << firstCopy.startError();

    bool locked = false;
    for (int i = 0; i < 1000 && !locked; ++i) {
        locked = holdsFileLock(firstCopy.pid());
        if (!locked) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(locked) << "the first copy should hold the lock";

    ProgramResult blocked = second.run(kCrashArguments);
    EXPECT_EQ(blocked.exitCode, 255);  // -1
    EXPECT_EQ(blocked.out, "");
    EXPECT_EQ(blocked.err, "");
    EXPECT_EQ(needCheck(second), "");
    EXPECT_EQ(second.dir().read("KilnDev.ini"), kDevSettings);
    EXPECT_FALSE(second.dir().exists("YouCantPass.tmp"));

    // The kernel drops the lock when its holder dies, even without an orderly end.
    firstCopy.sendSignal(SIGKILL);
    EXPECT_TRUE(firstCopy.wait(5000));
    close(err[0]);
    ProgramResult after = second.run(kCrashArguments);
    EXPECT_EQ(after.exitCode, 1);
    EXPECT_EQ(needCheck(second), "1");
}
