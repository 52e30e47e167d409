#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/system/subprocess.h"

extern char** environ;

namespace testsupport {

namespace {

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// One standard stream of the child as it is to be set up: `source` becomes descriptor
// `target` (or the file `path` is opened there); `ours` is the end we keep of a pipe.
struct StreamPlan {
    int target = 0;
    int source = -1;
    std::string path;
    int flags = 0;
    int ours = -1;
    bool inherit = false;
};

StreamPlan planStream(int target, const Redirect& redirect, std::string& why) {
    StreamPlan plan;
    plan.target = target;
    const bool input = target == 0;
    switch (redirect.kind) {
        case Redirect::Kind::Inherit:
            plan.inherit = true;
            break;
        case Redirect::Kind::Null:
            plan.path = "/dev/null";
            plan.flags = input ? O_RDONLY : O_WRONLY;
            break;
        case Redirect::Kind::File:
            plan.path = redirect.path;
            // Appending, so that standard output and error can share one file.
            plan.flags = input ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC | O_APPEND;
            break;
        case Redirect::Kind::Descriptor:
            plan.source = redirect.fd;
            break;
        case Redirect::Kind::Pipe: {
            int fds[2];
            if (::pipe2(fds, O_CLOEXEC) != 0) {
                why = std::string("pipe2: ") + std::strerror(errno);
                return plan;
            }
            plan.source = input ? fds[0] : fds[1];
            plan.ours = input ? fds[1] : fds[0];
            break;
        }
    }
    return plan;
}

// In a forked child: sets the stream up as planned; false on failure.
bool applyInChild(const StreamPlan& plan) {
    if (plan.inherit) return true;
    int fd = plan.source;
    if (!plan.path.empty()) {
        fd = ::open(plan.path.c_str(), plan.flags, 0644);
        if (fd < 0) return false;
    }
    if (fd == plan.target) return ::fcntl(fd, F_SETFD, 0) == 0;
    return ::dup2(fd, plan.target) == plan.target;
}

std::vector<std::string> environmentFor(const SubprocessOptions& options) {
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
        const char* eq = std::strchr(*e, '=');
        if (eq) env[std::string(*e, static_cast<size_t>(eq - *e))] = eq + 1;
    }
    for (const auto& name : options.unsetEnvironment) env.erase(name);
    for (const auto& [name, value] : options.environment) env[name] = value;
    std::vector<std::string> strings;
    for (const auto& [name, value] : env) strings.push_back(name + "=" + value);
    return strings;
}

// A descriptor that becomes readable when the process ends, so waiting needs no
// polling; -1 where the kernel has none.
int openPidFd(int pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> list;
    for (auto& s : strings) list.push_back(s.data());
    list.push_back(nullptr);
    return list;
}

}  // namespace

Subprocess::Subprocess(const std::string& program, const std::vector<std::string>& arguments,
                       const SubprocessOptions& options) {
    start(program, &arguments, nullptr, options);
}

Subprocess Subprocess::fork(const std::function<int()>& body, const SubprocessOptions& options) {
    Subprocess child;
    child.start({}, nullptr, &body, options);
    return child;
}

Subprocess Subprocess::adopt(int pid) {
    Subprocess child;
    child.pid_ = pid;
    child.pidFd_ = openPidFd(pid);
    return child;
}

void Subprocess::start(const std::string& program, const std::vector<std::string>* arguments,
                       const std::function<int()>* body, const SubprocessOptions& options) {
    // A process that has gone must not take the test with it through SIGPIPE.
    ::signal(SIGPIPE, SIG_IGN);
    std::string why;
    StreamPlan plans[3] = {planStream(0, options.standardInput, why),
                           planStream(1, options.standardOutput, why),
                           planStream(2, options.standardError, why)};
    auto closeChildEnds = [&] {
        for (auto& plan : plans)
            if (plan.ours >= 0) closeFd(plan.source);
    };
    if (why.empty()) {
        if (body) {
            // Nothing buffered may be printed twice.
            std::fflush(nullptr);
            const pid_t pid = ::fork();
            if (pid == 0) {
                // Our ends of the pipes stay with the parent, so the child sees their ends.
                for (const auto& plan : plans)
                    if (plan.ours >= 0) ::close(plan.ours);
                for (const auto& plan : plans)
                    if (!applyInChild(plan)) _exit(127);
                if (!options.workingDirectory.empty() &&
                    ::chdir(options.workingDirectory.c_str()) != 0)
                    _exit(127);
                for (const auto& name : options.unsetEnvironment) ::unsetenv(name.c_str());
                for (const auto& [name, value] : options.environment)
                    ::setenv(name.c_str(), value.c_str(), 1);
                const int code = (*body)();
                std::fflush(nullptr);
                _exit(code);
            }
            if (pid < 0) why = std::string("fork: ") + std::strerror(errno);
            pid_ = pid;
        } else {
            std::vector<std::string> argStrings{options.argument0.empty() ? program
                                                                          : options.argument0};
            argStrings.insert(argStrings.end(), arguments->begin(), arguments->end());
            std::vector<std::string> envStrings = environmentFor(options);
            std::vector<char*> argv = pointers(argStrings);
            std::vector<char*> envp = pointers(envStrings);

            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            for (const auto& plan : plans) {
                if (plan.inherit) continue;
                if (!plan.path.empty())
                    posix_spawn_file_actions_addopen(&actions, plan.target, plan.path.c_str(),
                                                     plan.flags, 0644);
                else
                    posix_spawn_file_actions_adddup2(&actions, plan.source, plan.target);
            }
            if (!options.workingDirectory.empty())
                posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());
            // Nothing of ours but the three streams reaches the program.
            posix_spawn_file_actions_addclosefrom_np(&actions, 3);
            // Signals as a fresh program expects them, whatever the test has ignored.
            posix_spawnattr_t attributes;
            posix_spawnattr_init(&attributes);
            sigset_t all, none;
            sigfillset(&all);
            sigemptyset(&none);
            posix_spawnattr_setsigdefault(&attributes, &all);
            posix_spawnattr_setsigmask(&attributes, &none);
            posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
            pid_t pid = -1;
            const bool onPath = program.find('/') == std::string::npos;
            const int rc = onPath ? posix_spawnp(&pid, program.c_str(), &actions, &attributes,
                                                 argv.data(), envp.data())
                                  : posix_spawn(&pid, program.c_str(), &actions, &attributes,
                                                argv.data(), envp.data());
            posix_spawnattr_destroy(&attributes);
            posix_spawn_file_actions_destroy(&actions);
            if (rc == 0)
                pid_ = pid;
            else
                why = "cannot start " + program + ": " + std::strerror(rc);
        }
    }
    closeChildEnds();
    input_ = plans[0].ours;
    outputFd_ = plans[1].ours;
    errorFd_ = plans[2].ours;
    if (pid_ > 0) pidFd_ = openPidFd(pid_);
    if (pid_ <= 0) {
        pid_ = -1;
        startError_ = why;
        closeFd(input_);
        closeFd(outputFd_);
        closeFd(errorFd_);
    }
}

void Subprocess::release() {
    closeFd(input_);
    closeFd(outputFd_);
    closeFd(errorFd_);
    closeFd(pidFd_);
}

bool Subprocess::write(const std::string& bytes) {
    size_t done = 0;
    while (input_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(input_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return input_ >= 0;
}

void Subprocess::closeInput() { closeFd(input_); }

void Subprocess::collect(int timeoutMs) {
    pollfd fds[3];
    std::string* sinks[2];
    int* owners[2];
    nfds_t pipes = 0;
    if (outputFd_ >= 0) {
        fds[pipes] = {outputFd_, POLLIN, 0};
        sinks[pipes] = &output_;
        owners[pipes++] = &outputFd_;
    }
    if (errorFd_ >= 0) {
        fds[pipes] = {errorFd_, POLLIN, 0};
        sinks[pipes] = &errors_;
        owners[pipes++] = &errorFd_;
    }
    nfds_t count = pipes;
    // Wakes the wait up when the process ends.
    if (pidFd_ >= 0 && !reaped_) fds[count++] = {pidFd_, POLLIN, 0};
    if (count == 0) {
        if (timeoutMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return;
    }
    if (::poll(fds, count, timeoutMs) <= 0) return;
    if (count > pipes && fds[pipes].revents) reap(false);
    for (nfds_t i = 0; i < pipes; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        char buffer[4096];
        const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0)
            sinks[i]->append(buffer, static_cast<size_t>(n));
        else if (n == 0 || errno != EINTR)
            closeFd(*owners[i]);
    }
}

bool Subprocess::reap(bool block) {
    if (reaped_) return true;
    if (pid_ <= 0) return false;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == pid_) {
        status_ = status;
        reaped_ = true;
    } else if (r < 0) {
        // Not (or no longer) a child of ours: nothing left to wait for, and how it
        // ended is unknown (neither an exit nor a signal).
        reaped_ = true;
        status_ = -1;
    }
    return reaped_;
}

int Subprocess::exitCode() const {
    return reaped_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

int Subprocess::signal() const { return reaped_ && WIFSIGNALED(status_) ? WTERMSIG(status_) : 0; }

void Subprocess::sendSignal(int signal) {
    if (pid_ > 0 && !reaped_) ::kill(pid_, signal);
}

void Subprocess::stop(int graceMs) {
    if (pid_ <= 0 || reap(false)) return;
    sendSignal(SIGTERM);
    if (wait(graceMs)) return;
    kill();
}

void Subprocess::kill() {
    if (pid_ <= 0 || reap(false)) return;
    sendSignal(SIGKILL);
    wait(-1);
}

std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        std::string candidate = folder + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

}  // namespace testsupport
