#include "support/child_process.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include <gtest/gtest.h>

namespace testsupport {

int runInChild(const std::function<int()>& body) {
    // Nothing buffered may be printed twice, and the child's report must not be lost.
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        int code = body();
        std::fflush(nullptr);
        _exit(code);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool dropRootPrivileges() {
    if (geteuid() != 0) return true;
    return setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
}

int childResult() { return testing::Test::HasFailure() ? 1 : 0; }

}  // namespace testsupport
