// The built program in a game folder of its own, as a player starts it.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "config/ini_file.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using testsupport::ProgramResult;
using testsupport::TempDir;

namespace {

const std::string kBom = "\xef\xbb\xbf";
const std::string kDevSettings = "[Crash]\nKeep=yes\n";
// Update mode, once it reaches the network, stays on loopback where nothing listens.
const std::string kUpdateSettings =
    "[BOOT]\nVersionURL=http://127.0.0.1:9/\nDownloadURL=http://127.0.0.1:9/\nDownloadPort=9\n";
const std::vector<std::string> kCrashArguments = {"crash", "127.0.0.1", "user:pass", "no-such-folder"};

class GameFolder {
public:
    explicit GameFolder(const TempDir& runtime) : runtime_(runtime) {
        dir_.copyIn(testsupport::binaryPath("launcher"), "launcher");
        dir_.write("KilnDev.ini", kDevSettings);
        dir_.write("update.ini", kUpdateSettings);
    }

    ProgramResult run(const std::vector<std::string>& arguments) const {
        return testsupport::runProgram(program(), arguments, options());
    }

    testsupport::ProgramOptions options() const {
        testsupport::ProgramOptions options;
        options.environment = {{"XDG_RUNTIME_DIR", runtime_.path()}};
        options.unsetEnvironment = {"DISPLAY", "WAYLAND_DISPLAY"};
        options.workingDirectory = dir_.path();
        options.timeoutSeconds = 10;
        return options;
    }

    std::string program() const { return dir_.file("launcher"); }
    const TempDir& dir() const { return dir_; }

    // "NeedCheck" as crash mode leaves it in the developer settings; empty when unset.
    std::string needCheck() const {
        IniFile settings;
        settings.section = "Crash";
        if (!settings.Load(dir_.file("KilnDev.ini"))) return "?";
        testing::internal::CaptureStderr();
        std::string value = settings.GetValue("NeedCheck");
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(settings.GetValue("Keep"), "yes") << "the other settings are kept";
        return value;
    }

private:
    const TempDir& runtime_;
    TempDir dir_;
};

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

TEST(EntryPoint, CrashModeNeedsThreeArgumentsAndTheExactPrefix) {
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        bool crashMode;
        bool marked;  // crash mode ran through and set "NeedCheck"
    } cases[] = {
        {"crash and three arguments", kCrashArguments, true, true},
        {"prefix crashdump", {"crashdump", "127.0.0.1", "user:pass", "no-such-folder"}, true, true},
        {"extra arguments", {"crash", "127.0.0.1", "user:pass", "no-such-folder", "x"}, true, true},
        // Three arguments choose crash mode; without its folder it does nothing, and
        // still ends with 1.
        {"crash and two more arguments", {"crash", "127.0.0.1", "user:pass"}, true, false},
        {"other case", {"Crash", "127.0.0.1", "user:pass", "no-such-folder"}, false, false},
        {"crash not first", {"x", "crash", "127.0.0.1", "user:pass", "no-such-folder"}, false, false},
        {"crash and one more argument", {"crash", "127.0.0.1"}, false, false},
    };
    TempDir runtime;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GameFolder game(runtime);
        ProgramResult result = game.run(c.arguments);
        ASSERT_FALSE(result.timedOut);
        if (c.crashMode) {
            EXPECT_EQ(result.exitCode, 1);
        } else {
            EXPECT_NE(result.exitCode, 1);
        }
        EXPECT_EQ(game.needCheck(), c.marked ? "1" : "");
        if (c.marked) {
            EXPECT_EQ(game.dir().read("KilnDev.ini").substr(0, 3), kBom);
        }
        EXPECT_FALSE(game.dir().exists("YouCantPass.tmp"));
    }
}

TEST(EntryPoint, SecondCopyEndsSilentlyWhileTheFirstRuns) {
    TempDir runtime;
    GameFolder first(runtime);
    GameFolder second(runtime);

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

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addchdir_np(&actions, first.dir().path().c_str());
    std::string program = first.program();
    std::string patchIp = "PatchIP:http://127.0.0.1:9/", patchPort = "PatchPort:9";
    char* argv[] = {program.data(), patchIp.data(), patchPort.data(), nullptr};
    std::string runtimeVariable = "XDG_RUNTIME_DIR=" + runtime.path();
    char* envp[] = {runtimeVariable.data(), nullptr};
    pid_t firstPid = -1;
    ASSERT_EQ(posix_spawn(&firstPid, program.c_str(), &actions, nullptr, argv, envp), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(err[1]);

    bool locked = false;
    for (int i = 0; i < 1000 && !locked; ++i) {
        locked = holdsFileLock(firstPid);
        if (!locked) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(locked) << "the first copy should hold the lock";

    ProgramResult blocked = second.run(kCrashArguments);
    EXPECT_EQ(blocked.exitCode, 255);  // -1
    EXPECT_EQ(blocked.out, "");
    EXPECT_EQ(blocked.err, "");
    EXPECT_EQ(second.needCheck(), "");
    EXPECT_EQ(second.dir().read("KilnDev.ini"), kDevSettings);
    EXPECT_FALSE(second.dir().exists("YouCantPass.tmp"));

    // The kernel drops the lock when its holder dies, even without an orderly end.
    kill(firstPid, SIGKILL);
    int status = 0;
    while (waitpid(firstPid, &status, 0) < 0 && errno == EINTR) {
    }
    close(err[0]);
    ProgramResult after = second.run(kCrashArguments);
    EXPECT_EQ(after.exitCode, 1);
    EXPECT_EQ(second.needCheck(), "1");
}
