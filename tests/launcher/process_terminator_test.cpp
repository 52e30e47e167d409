#include "launcher/process_terminator.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cctype>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "platform/strings.h"
#include "support/argument_records.h"
#include "support/pid_namespace.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"

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
    // with either separator.
    struct Case {
        const char* label;
        std::string firstArgument;
    };
    const std::string name = "VeltoraUpdate.exe";
    // clang-format off
    const Case cases[] = {
        {"backslashes", "C:\\Games\\Veltora\\" + name},
        {"slashes", "/home/player/.wine/drive_c/" + name},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        testsupport::SubprocessOptions options;
        options.argument0 = c.firstArgument;
        testsupport::Subprocess sleeper("/bin/sleep", {"30"}, options);
        ASSERT_TRUE(sleeper.started()) << sleeper.startError();
        // posix_spawn may return before the new program's arguments are readable.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (platform::processNames(uint32_t(sleeper.pid())).firstArgument != name &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(terminateProcessByName(platform::asciiLower(name).c_str()), TERMINATE_OK);
        EXPECT_TRUE(sleeper.wait(5000));
        EXPECT_EQ(sleeper.signal(), SIGKILL);
    }
}
