#include "support/sandbox/user_namespace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace testsupport {

bool writeKernelFile(const char* path, const std::string& text) {
    int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

bool mapSelfAsRoot(unsigned uid, unsigned gid, std::string& why) {
    // Needed before the group map; if it fails, writing the group map fails too.
    writeKernelFile("/proc/self/setgroups", "deny");
    if (!writeKernelFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") ||
        !writeKernelFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n")) {
        why = std::string("cannot map the user in a new user namespace: ") + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace testsupport
