// Process-wide services as the Linux build provides them: the command line rebuilt from
// the arguments, standard streams reopened, the single-instance lock file (flock) and
// its folder, console message boxes. Windows has its own mechanisms for each
// (GetCommandLineA, CreateMutexA, MessageBoxA).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <vector>

#include "platform/process.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "support/sandbox/child_process.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"

extern char** environ;

using namespace platform;
using testsupport::runInChild;
using testsupport::TempDir;

TEST(System, CommandLineQuotesEmptyAndBlankArguments) {
    struct Case {
        std::vector<std::string> argv;
        const char* expected;
        // clang-format off
    } cases[] = {
        {{"/game/launcher"}, "/game/launcher"},
        {{"/game/launcher", "a", "b"}, "/game/launcher a b"},
        {{"/my game/launcher", "x"}, "\"/my game/launcher\" x"},
        {{"launcher", ""}, "launcher \"\""},
        {{"launcher", "tab\there", "PatchIP:1.2.3.4"}, "launcher \"tab\there\" PatchIP:1.2.3.4"},
        {{"launcher", "C:\\Game\\", "back\\slash"}, "launcher C:\\Game\\ back\\slash"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        // initProcess changes the locale: keep it out of this process.
        int rc = runInChild([&] {
            std::vector<char*> argv;
            for (const auto& a : c.argv) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            initProcess(static_cast<int>(c.argv.size()), argv.data());
            EXPECT_EQ(commandLine(), c.expected);
            return testsupport::childResult();
        });
        EXPECT_EQ(rc, 0);
    }
}

TEST(System, ClosedStandardStreamsAreReopened) {
    int rc = runInChild([] {
        close(0);
        close(2);
        char arg0[] = "launcher";
        char* argv[] = {arg0, nullptr};
        initProcess(1, argv);
        // The next file must not take over standard input or error.
        int fd = open("/dev/null", O_RDONLY);
        return fd > 2 && fcntl(0, F_GETFD) != -1 && fcntl(2, F_GETFD) != -1 ? 0 : 1;
    });
    EXPECT_EQ(rc, 0);
}

namespace {

// Holds the lock "Lancher.exe" in a child process until the object goes.
class LockHolder {
public:
    // `temporaryDir`, when given, is TMPDIR.
    explicit LockHolder(const std::string& runtimeDir, const std::string& temporaryDir = "") {
        testsupport::SubprocessOptions options;
        options.standardInput = testsupport::Redirect::pipe();
        options.environment = {{"XDG_RUNTIME_DIR", runtimeDir}};
        if (!temporaryDir.empty()) options.environment.push_back({"TMPDIR", temporaryDir});
        holder_ = testsupport::Subprocess::fork(
            [] {
                const bool acquired =
                    acquireSingleInstance("Lancher.exe") == InstanceLock::Acquired;
                (void)!write(STDOUT_FILENO, acquired ? "A\n" : "x\n", 2);
                // Held until our end of standard input closes.
                char dummy;
                (void)!read(STDIN_FILENO, &dummy, 1);
                return 0;
            },
            options);
        std::string status;
        EXPECT_TRUE(holder_.readLine(status, 10000));
        acquired_ = status == "A";
    }
    ~LockHolder() {
        holder_.closeInput();
        holder_.wait(10000);
    }
    bool acquired() const { return acquired_; }

private:
    testsupport::Subprocess holder_;
    bool acquired_ = false;
};

// The lock as a fresh process would find it.
InstanceLock tryLock(const std::string& runtimeDir, const std::string& temporaryDir = "") {
    return static_cast<InstanceLock>(runInChild([&] {
        setenv("XDG_RUNTIME_DIR", runtimeDir.c_str(), 1);
        if (!temporaryDir.empty()) setenv("TMPDIR", temporaryDir.c_str(), 1);
        return static_cast<int>(acquireSingleInstance("Lancher.exe"));
    }));
}

}  // namespace

TEST(SingleInstance, SecondProcessFindsTheLockUntilTheFirstEnds) {
    TempDir runtime;
    {
        LockHolder first(runtime.path());
        ASSERT_TRUE(first.acquired());
        EXPECT_EQ(tryLock(runtime.path()), InstanceLock::AlreadyRunning);
        TempDir otherRuntime;
        EXPECT_EQ(tryLock(otherRuntime.path()), InstanceLock::Acquired);
    }
    EXPECT_EQ(tryLock(runtime.path()), InstanceLock::Acquired);
    struct stat st {};
    ASSERT_EQ(lstat(runtime.file("Lancher.exe").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// An XDG_RUNTIME_DIR that cannot hold the lock used to leave both copies running
// without one; the private folder under the temporary folder holds it instead.
TEST(SingleInstance, UnusableRuntimeFolderFallsBackToThePrivateTemporaryFolder) {
    TempDir temporary;
    TempDir scratch;
    scratch.write("a file", "");
    struct Case {
        const char* name;
        std::string runtimeDir;
    };
    const Case cases[] = {
        {"a folder that does not exist", scratch.file("missing")},
        {"a file", scratch.file("a file")},
        {"a path through a file", scratch.file("a file") + "/run"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            LockHolder first(c.runtimeDir, temporary.path());
            ASSERT_TRUE(first.acquired());
            EXPECT_EQ(tryLock(c.runtimeDir, temporary.path()), InstanceLock::AlreadyRunning);
        }
        EXPECT_EQ(tryLock(c.runtimeDir, temporary.path()), InstanceLock::Acquired);
    }
    struct stat st {};
    ASSERT_EQ(lstat((temporary.path() + "/launcher-" + std::to_string(getuid())).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(SingleInstance, ChildrenDoNotInheritTheLock) {
    // A stand-in updater that keeps running while "wait" lies beside it.
    TempDir updater;
    updater.copyIn(testsupport::binaryPath("record_args"), "record_args");
    updater.write("wait", "");

    struct Case {
        const char* name;
        std::function<pid_t()> start;  // in the lock holder; -1 on failure
        // clang-format off
    } cases[] = {
        {"posix_spawn",
         [] {
             // posix_spawn returns once the child runs the new program, as process start does.
             posix_spawn_file_actions_t actions;
             posix_spawn_file_actions_init(&actions);
             for (int fd = 0; fd <= 2; ++fd)
                 posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
             char arg0[] = "sleep", arg1[] = "30";
             char* argv[] = {arg0, arg1, nullptr};
             pid_t child = -1;
             if (posix_spawn(&child, "/bin/sleep", &actions, nullptr, argv, environ) != 0) return -1;
             return child;
         }},
        {"the hand-over's process start",
         [&] {
             uint32_t child = 0;
             return shellOpen(updater.file("record_args"), "a b", &child) ? pid_t(child) : -1;
         }},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir runtime;
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        // The holder starts a long-lived child the way the hand-over starts the updater,
        // then ends; the child must not keep the lock.
        int rc = runInChild([&] {
            close(pipeFds[0]);
            setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
            if (acquireSingleInstance("Lancher.exe") != InstanceLock::Acquired) return 2;
            pid_t child = c.start();
            if (child <= 0) return 3;
            (void)!write(pipeFds[1], &child, sizeof child);
            return 0;
        });
        close(pipeFds[1]);
        pid_t child = -1;
        ssize_t got = read(pipeFds[0], &child, sizeof child);
        close(pipeFds[0]);
        ASSERT_EQ(rc, 0);
        ASSERT_EQ(got, static_cast<ssize_t>(sizeof child));
        EXPECT_EQ(kill(child, 0), 0) << "the child should still run";
        EXPECT_EQ(tryLock(runtime.path()), InstanceLock::Acquired);
        kill(child, SIGKILL);
    }
}

TEST(SingleInstance, PrivateFolderUnderTempWhenNoRuntimeFolder) {
    TempDir tmp;
    int rc = runInChild([&] {
        unsetenv("XDG_RUNTIME_DIR");
        setenv("TMPDIR", tmp.path().c_str(), 1);
        EXPECT_EQ(acquireSingleInstance("Lancher.exe"), InstanceLock::Acquired);
        return testsupport::childResult();
    });
    EXPECT_EQ(rc, 0);
    const std::string folder = tmp.file("launcher-" + std::to_string(getuid()));
    struct stat st {};
    ASSERT_EQ(lstat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(lstat((folder + "/Lancher.exe").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(SingleInstance, PlantedLinksAndForeignFoldersAreNotUsed) {
    TempDir victim;
    victim.write("target", "keep");
    TempDir runtime;
    ASSERT_EQ(symlink(victim.file("target").c_str(), runtime.file("Lancher.exe").c_str()), 0);
    // The link is not followed: the private folder under the temporary folder holds the
    // lock instead.
    TempDir privateTmp;
    EXPECT_EQ(tryLock(runtime.path(), privateTmp.path()), InstanceLock::Acquired);
    EXPECT_EQ(victim.read("target"), "keep");
    struct stat held {};
    EXPECT_EQ(
        lstat(privateTmp.file("launcher-" + std::to_string(getuid()) + "/Lancher.exe").c_str(),
              &held),
        0);

    // A folder of that name that others may write to is not ours to trust.
    TempDir tmp;
    const std::string folder = tmp.file("launcher-" + std::to_string(getuid()));
    ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
    chmod(folder.c_str(), 0777);
    int rc = runInChild([&] {
        unsetenv("XDG_RUNTIME_DIR");
        setenv("TMPDIR", tmp.path().c_str(), 1);
        return static_cast<int>(acquireSingleInstance("Lancher.exe"));
    });
    EXPECT_EQ(static_cast<InstanceLock>(rc), InstanceLock::Unavailable);
    // Both planted: nowhere to lock.
    EXPECT_EQ(tryLock(runtime.path(), tmp.path()), InstanceLock::Unavailable);
    EXPECT_EQ(victim.read("target"), "keep");
}

TEST(MessageBox, WithoutDisplayGoesToStandardErrorAsOneBlock) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    testing::internal::CaptureStderr();
    ui::messageBox("Can't download version.txt\n note", "Version");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "[Version] Can't download version.txt\n note\n");
}
