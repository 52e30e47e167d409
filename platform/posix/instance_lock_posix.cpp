#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/system.h"

namespace platform {

namespace {

// Never closed: the kernel drops the lock when the process ends, also after a crash.
int heldLockFd = -1;

// A folder of our own under the temporary folder that no other user can plant a file
// or link in; empty when there is none.
std::string privateTemporaryFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = (tmp && tmp[0] == '/') ? tmp : "/tmp";
    folder += "/launcher-" + std::to_string(getuid());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
    struct stat st;
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
        (st.st_mode & 0077) != 0)
        return {};
    return folder;
}

// The lock file `file` in `folder`, taken when free.
InstanceLock lockIn(const std::string& folder, const std::string& file) {
    if (folder.empty()) return InstanceLock::Unavailable;
    const std::string path = folder + "/" + file;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return InstanceLock::Unavailable;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? InstanceLock::AlreadyRunning : InstanceLock::Unavailable;
    }
    heldLockFd = fd;
    return InstanceLock::Acquired;
}

}  // namespace

InstanceLock acquireSingleInstance(std::string_view name) {
    std::string file(name);
    for (auto& c : file)
        if (c == '/' || c == '\\' || c == '\0') c = '_';
    // $XDG_RUNTIME_DIR first. One that cannot hold the lock (missing, not a folder, not
    // ours to write) is as good as none: two copies would otherwise both run without a
    // lock, so the private temporary folder holds it instead.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') {
        const InstanceLock lock = lockIn(runtime, file);
        if (lock != InstanceLock::Unavailable) return lock;
    }
    return lockIn(privateTemporaryFolder(), file);
}

}  // namespace platform
