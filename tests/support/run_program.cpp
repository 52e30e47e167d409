#include "support/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <stdexcept>

extern char** environ;

namespace testsupport {

namespace {

struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() {
        if (pipe2(fd, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    }
    ~Pipe() {
        closeEnd(0);
        closeEnd(1);
    }
    void closeEnd(int i) {
        if (fd[i] >= 0) close(fd[i]);
        fd[i] = -1;
    }
};

}  // namespace

std::string binaryPath(const std::string& name) { return std::string(LAUNCHER_BINARY_DIR) + "/" + name; }

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const ProgramOptions& options) {
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
        const char* eq = std::strchr(*e, '=');
        if (eq) env[std::string(*e, static_cast<size_t>(eq - *e))] = eq + 1;
    }
    for (const auto& name : options.unsetEnvironment) env.erase(name);
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

    Pipe in, out, err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.fd[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out.fd[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err.fd[1], 2);
    if (!options.workingDirectory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());
    pid_t pid = -1;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + program + ": " + std::strerror(rc));
    in.closeEnd(0);
    out.closeEnd(1);
    err.closeEnd(1);

    // Input is small in every test; a program that does not read it gets EPIPE.
    signal(SIGPIPE, SIG_IGN);
    if (!options.input.empty())
        (void)!::write(in.fd[1], options.input.data(), options.input.size());
    in.closeEnd(1);

    ProgramResult result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    std::string* sinks[2] = {&result.out, &result.err};
    int* fds[2] = {&out.fd[0], &err.fd[0]};
    while (*fds[0] >= 0 || *fds[1] >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(pid, SIGKILL);
            result.timedOut = true;
            break;
        }
        pollfd pfd[2];
        for (int i = 0; i < 2; ++i) pfd[i] = {*fds[i], POLLIN, 0};
        if (poll(pfd, 2, static_cast<int>(left.count())) < 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (*fds[i] < 0 || !(pfd[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[4096];
            ssize_t n = ::read(*fds[i], buffer, sizeof buffer);
            if (n > 0)
                sinks[i]->append(buffer, static_cast<size_t>(n));
            else {
                close(*fds[i]);
                *fds[i] = -1;
            }
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

}  // namespace testsupport
