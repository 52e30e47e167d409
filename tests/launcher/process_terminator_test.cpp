#include "launcher/process_terminator.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "platform/strings.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// Reaps `pid` once it has ended (within a few seconds); the signal that ended it, or 0.
bool reapEnded(pid_t pid, int* signal = nullptr) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            if (signal) *signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
            return true;
        }
        if (r < 0) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Copies of the recording test program, running under a name no other test uses, so
// ending "the first process of that name" can only reach these.
class RunningCopies {
public:
    explicit RunningCopies(const std::string& name) : name_(name) {
        path_ = (fs::path(folder_.path()) / name).string();
        fs::copy_file(fs::path(LAUNCHER_BINARY_DIR) / "record_args", path_);
        std::ofstream(fs::path(folder_.path()) / "wait") << "";
    }
    ~RunningCopies() {
        for (pid_t pid : pids_) {
            if (pid <= 0) continue;
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    // Starts one more copy and waits until it has recorded its start.
    void start() {
        uint32_t pid = 0;
        ASSERT_TRUE(platform::shellOpen(path_, "copy", &pid));
        pids_.push_back(pid_t(pid));
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (records() < pids_.size() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(records(), pids_.size());
    }

    // Whether the copy has ended; an ended copy is reaped, so it leaves the process list.
    bool ended(size_t i, int* signal = nullptr) {
        if (!reapEnded(pids_[i], signal)) return false;
        pids_[i] = -1;
        return true;
    }
    bool running(size_t i) { return ::waitpid(pids_[i], nullptr, WNOHANG) == 0; }
    pid_t pid(size_t i) const { return pids_[i]; }
    const std::string& path() const { return path_; }

private:
    size_t records() {
        std::ifstream in(fs::path(folder_.path()) / "args.txt");
        std::string line;
        size_t n = 0;
        while (std::getline(in, line))
            if (line.empty()) ++n;
        return n;
    }

    testsupport::TempDir folder_;
    std::string name_;
    std::string path_;
    std::vector<pid_t> pids_;
};

std::string uniqueName(const char* stem) {
    return std::string(stem) + "-" + std::to_string(::getpid()) + ".Exe";
}

}  // namespace

TEST(ProcessTerminator, NameLengthIsCheckedBeforeAnythingElse) {
    struct Case {
        const char* label;
        std::string name;
        int expected;
    };
    const Case cases[] = {
        {"empty", "", TERMINATE_BAD_NAME},
        {"260 characters", std::string(256, 'q') + ".exe", TERMINATE_NOT_FOUND},
        {"261 characters", std::string(257, 'q') + ".exe", TERMINATE_BAD_NAME},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(terminateProcessByName(c.name.c_str()), c.expected);
    }
    EXPECT_EQ(terminateProcessByName(nullptr), TERMINATE_BAD_NAME);
}

TEST(ProcessTerminator, EndsOneMatchingProcessPerCallInProcessIdOrder) {
    const std::string name = uniqueName("TermTwo");
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
    // Under Wine the executable is the Wine loader; the program's own path is argv[0],
    // with either separator.
    struct Case {
        const char* label;
        std::string firstArgument;
    };
    const std::string name = uniqueName("WineHosted");
    const Case cases[] = {
        {"backslashes", "C:\\Games\\Veltora\\" + name},
        {"slashes", "/home/player/.wine/drive_c/" + name},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::string arg0 = c.firstArgument;
        std::string seconds = "30";
        char* argv[] = {arg0.data(), seconds.data(), nullptr};
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, "/bin/sleep", nullptr, nullptr, argv, environ), 0);
        // posix_spawn may return before the new program's arguments are readable.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (platform::processNames(uint32_t(pid)).firstArgument != name &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(terminateProcessByName(platform::asciiLower(name).c_str()), TERMINATE_OK);
        int signal = 0;
        bool ended = reapEnded(pid, &signal);
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        EXPECT_TRUE(ended);
        EXPECT_EQ(signal, SIGKILL);
    }
}
