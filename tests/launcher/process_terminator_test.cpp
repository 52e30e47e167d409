#include "launcher/process_terminator.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "platform/strings.h"
#include "support/builders/argument_records.h"
#include "support/sandbox/pid_namespace.h"
#include "support/sandbox/unprivileged.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"

namespace {

// Copies of the recording test program running under one name, started as the
// hand-over starts the updater. Each test runs in its own PID namespace, so the
// terminator can reach only these.
class RunningCopies {
public:
    explicit RunningCopies(const std::string& name) : path_(folder_.file(name)) {
        folder_.copyIn(testsupport::binaryPath("record_args"), name);
        folder_.write("wait", "");
    }

    // Starts one more copy and waits until it has recorded its start.
    void start() {
        uint32_t pid = 0;
        ASSERT_TRUE(platform::shellOpen(path_, "copy", &pid));
        copies_.push_back(testsupport::Subprocess::adopt(int(pid)));
        ASSERT_EQ(testsupport::waitForArgumentRecords(folder_.path(), copies_.size()).size(),
                  copies_.size());
    }

    // Whether the copy has ended (within a few seconds); it is then reaped, so it leaves
    // the process list.
    bool ended(size_t i, int* signal = nullptr) {
        if (!copies_[i].wait(5000)) return false;
        if (signal) *signal = copies_[i].signal();
        return true;
    }
    bool running(size_t i) { return !copies_[i].ended(); }
    int pid(size_t i) const { return copies_[i].pid(); }
    const std::string& path() const { return path_; }

private:
    testsupport::TempDir folder_;
    std::string path_;
    std::vector<testsupport::Subprocess> copies_;
};

// The name a process is known by through its first argument, as the terminator reads it.
std::string firstArgumentOf(int pid) {
    platform::ProcessList list;
    if (!list.read()) return {};
    for (size_t i = 0; i < list.size(); ++i)
        if (list.id(i) == uint32_t(pid)) return std::string(list.firstArgumentName(i));
    return {};
}

}  // namespace

TEST(ProcessTerminator, NameLengthIsCheckedBeforeAnythingElse) {
    if (testsupport::rerunInOwnPidNamespace()) return;
    struct Case {
        const char* label;
        std::string name;
        int expected;
    };
    // clang-format off
    const Case cases[] = {
        {"empty", "", TERMINATE_BAD_NAME},
        {"260 characters", std::string(256, 'q') + ".exe", TERMINATE_NOT_FOUND},
        {"261 characters", std::string(257, 'q') + ".exe", TERMINATE_BAD_NAME},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(terminateProcessByName(c.name.c_str()), c.expected);
    }
    EXPECT_EQ(terminateProcessByName(nullptr), TERMINATE_BAD_NAME);
}

TEST(ProcessTerminator, EndsOneMatchingProcessPerCallInProcessIdOrder) {
    if (testsupport::rerunInOwnPidNamespace()) return;
    const std::string name = "ClientUpdate.Exe";
    RunningCopies copies(name);
    copies.start();
    copies.start();
    size_t first = copies.pid(0) < copies.pid(1) ? 0 : 1;
    size_t second = 1 - first;

    // A folder in front of the name matches nothing, even the running copies.
    EXPECT_EQ(terminateProcessByName(copies.path().c_str()), TERMINATE_NOT_FOUND);

    // The wanted name in other letter case still matches.
    std::string other = name;
    for (auto& ch : other) ch = char(std::islower(ch) ? std::toupper(ch) : std::tolower(ch));
    EXPECT_EQ(terminateProcessByName(other.c_str()), TERMINATE_OK);
    int signal = 0;
    ASSERT_TRUE(copies.ended(first, &signal));
    EXPECT_EQ(signal, SIGKILL);
    EXPECT_TRUE(copies.running(second));

    EXPECT_EQ(terminateProcessByName(name.c_str()), TERMINATE_OK);
    ASSERT_TRUE(copies.ended(second));
    EXPECT_EQ(terminateProcessByName(name.c_str()), TERMINATE_NOT_FOUND);
}

TEST(ProcessTerminator, MatchesAWindowsProgramByItsFirstArgument) {
    if (testsupport::rerunInOwnPidNamespace()) return;
    // Under Wine the executable is the Wine loader; the program's own path is argv[0],
    // with either separator. Anyone can give a program that argument, so only a process
    // of our own user is known by it.
    struct Case {
        const char* label;
        std::string firstArgument;
        bool anotherUser;
        int expected;
    };
    const std::string name = "VeltoraUpdate.exe";
    // clang-format off
    const Case cases[] = {
        {"backslashes", "C:\\Games\\Veltora\\" + name, false, TERMINATE_OK},
        {"slashes", "/home/player/.wine/drive_c/" + name, false, TERMINATE_OK},
        {"another user's process", "C:\\Games\\" + name, true, TERMINATE_NOT_FOUND},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        if (c.anotherUser && !testsupport::runningAsRoot()) continue;  // needs a second user
        testsupport::Subprocess sleeper = testsupport::Subprocess::fork([&] {
            if (c.anotherUser && !testsupport::dropRootPrivileges()) return 126;
            ::execl("/bin/sleep", c.firstArgument.c_str(), "30", static_cast<char*>(nullptr));
            return 127;
        });
        ASSERT_TRUE(sleeper.started()) << sleeper.startError();
        // The new program's arguments are readable only once it has started.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (firstArgumentOf(sleeper.pid()) != name &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(terminateProcessByName(platform::asciiLower(name).c_str()), c.expected);
        if (c.expected == TERMINATE_OK) {
            EXPECT_TRUE(sleeper.wait(5000));
            EXPECT_EQ(sleeper.signal(), SIGKILL);
        } else {
            EXPECT_FALSE(sleeper.ended());
        }
    }
}

// Wine starts as its loader and only then writes the Windows program's path over its
// first argument (and the first 15 bytes of the name into the kernel's task name): each
// call reads the process list afresh, so the updater is found once it goes by its name.
TEST(ProcessTerminator, FindsAnUpdaterByTheNameItGaveItselfAfterItStarted) {
    if (testsupport::rerunInOwnPidNamespace()) return;
    const std::string name = "VeltoraUpdate2.exe";  // longer than a task name's 15 bytes
    testsupport::SubprocessOptions options;
    options.standardInput = testsupport::Redirect::pipe();
    testsupport::Subprocess updater = testsupport::Subprocess::fork(
        [&] {
            std::string go;
            std::getline(std::cin, go);
            // Over the whole command line, as setproctitle does: it begins at argv[0].
            std::ifstream own("/proc/self/cmdline", std::ios::binary);
            const std::string arguments((std::istreambuf_iterator<char>(own)),
                                        std::istreambuf_iterator<char>());
            const std::string windowsPath = "C:\\Games\\" + name;
            if (arguments.size() <= windowsPath.size()) return 2;
            std::memset(program_invocation_name, 0, arguments.size());
            std::memcpy(program_invocation_name, windowsPath.data(), windowsPath.size());
            ::prctl(PR_SET_NAME, name.substr(0, 15).c_str());
            std::cout << "renamed" << std::endl;
            for (;;) ::pause();
        },
        options);
    ASSERT_TRUE(updater.started()) << updater.startError();

    EXPECT_EQ(terminateProcessByName(name.c_str()), TERMINATE_NOT_FOUND);
    ASSERT_TRUE(updater.writeLine("go"));
    ASSERT_TRUE(updater.waitForLine("renamed", 5000)) << updater.errors();
    EXPECT_EQ(terminateProcessByName(name.c_str()), TERMINATE_OK);
    ASSERT_TRUE(updater.wait(5000));
    EXPECT_EQ(updater.signal(), SIGKILL);
}

// The hand-over's three names over one reading of the process list: each name ends the
// first process of its own, and gets its own result.
TEST(ProcessTerminator, SeveralNamesInOnePassEachEndTheirFirstProcess) {
    if (testsupport::rerunInOwnPidNamespace()) return;
    RunningCopies client("ClientUpdate.exe");
    client.start();
    client.start();
    RunningCopies veltora("VeltoraUpdate.exe");
    veltora.start();
    const size_t first = client.pid(0) < client.pid(1) ? 0 : 1;

    const char* const names[] = {"CLIENTUPDATE.EXE", "VeltoraUpdate.exe", "VeltoraUpdate2.exe", ""};
    EXPECT_EQ(
        terminateProcessesByName(names),
        (std::vector<int>{TERMINATE_OK, TERMINATE_OK, TERMINATE_NOT_FOUND, TERMINATE_BAD_NAME}));
    EXPECT_TRUE(client.ended(first));
    EXPECT_TRUE(veltora.ended(0));
    EXPECT_TRUE(client.running(1 - first));
}
