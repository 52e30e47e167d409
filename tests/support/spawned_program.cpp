#include "support/spawned_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <thread>

extern char** environ;

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

int millisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

SpawnedProgram::SpawnedProgram(const std::string& program,
                               const std::vector<std::string>& arguments,
                               const SpawnOptions& options) {
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
        const char* eq = std::strchr(*e, '=');
        if (eq) env[std::string(*e, static_cast<size_t>(eq - *e))] = eq + 1;
    }
    for (const auto& [name, value] : options.environment) env[name] = value;
    std::vector<std::string> envStrings;
    for (const auto& [name, value] : env) envStrings.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& s : argStrings) argv.push_back(s.data());
    argv.push_back(nullptr);

    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return;
    }
    const std::string errorPath = options.errorFile.empty() ? "/dev/null" : options.errorFile;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_addopen(&actions, 2, errorPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (options.pipeOutput)
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    else
        posix_spawn_file_actions_adddup2(&actions, 2, 1);
    if (options.extraFd >= 0) posix_spawn_file_actions_adddup2(&actions, options.extraFd, 3);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0)
        pid_ = pid;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    output_ = out[0];
    // A program that has gone must not take the test with it through SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
}

SpawnedProgram::~SpawnedProgram() {
    stop();
    if (input_ >= 0) close(input_);
    if (output_ >= 0) close(output_);
}

bool SpawnedProgram::writeLine(const std::string& line) {
    std::string text = line + "\n";
    return input_ >= 0 && ::write(input_, text.data(), text.size()) == ssize_t(text.size());
}

bool SpawnedProgram::readLine(std::string& line, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        size_t lf = pending_.find('\n');
        if (lf != std::string::npos) {
            line = pending_.substr(0, lf);
            pending_.erase(0, lf + 1);
            return true;
        }
        if (output_ < 0) return false;
        pollfd pfd{output_, POLLIN, 0};
        int ready = poll(&pfd, 1, millisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        char buffer[4096];
        ssize_t n = ::read(output_, buffer, sizeof buffer);
        if (n <= 0) {
            close(output_);
            output_ = -1;
            continue;
        }
        pending_.append(buffer, static_cast<size_t>(n));
    }
}

bool SpawnedProgram::waitForLine(const std::string& wanted, int timeoutMs,
                                 std::vector<std::string>* before) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string line;
    while (readLine(line, millisecondsLeft(deadline))) {
        if (line == wanted) return true;
        if (before) before->push_back(line);
    }
    return false;
}

int SpawnedProgram::waitForExit(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!reaped_ && pid_ > 0) {
        if (waitpid(pid_, &status_, WNOHANG) == pid_) {
            reaped_ = true;
            break;
        }
        if (millisecondsLeft(deadline) == 0) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return reaped_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

void SpawnedProgram::stop() {
    if (pid_ <= 0 || reaped_) return;
    kill(pid_, SIGTERM);
    if (waitForExit(2000) == -1 && !reaped_) {
        kill(pid_, SIGKILL);
        while (waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
        }
        reaped_ = true;
    }
}

}  // namespace testsupport
