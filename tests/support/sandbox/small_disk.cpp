#include "support/sandbox/small_disk.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "support/sandbox/user_namespace.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"

namespace testsupport {

bool mountSmallDisk(const std::string& folder, size_t bytes, std::string& why) {
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
        why = std::string("unshare of a user and mount namespace refused: ") + std::strerror(errno);
        return false;
    }
    if (!mapSelfAsRoot(uid, gid, why)) return false;
    ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
    if (::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        why = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool smallDiskAvailable(std::string& why) {
    TempDir folder;
    Subprocess child = Subprocess::fork([&] {
        std::string reason;
        const bool ok = mountSmallDisk(folder.path(), 65536, reason);
        if (!ok) (void)!::write(STDOUT_FILENO, reason.data(), reason.size());
        return ok ? 0 : 1;
    });
    if (child.wait(10000) && child.exitCode() == 0) return true;
    why = child.output().empty() ? "a small disk cannot be made here" : child.output();
    return false;
}

void fillDisk(const std::string& folder) {
    const std::string path = folder + "/filler";
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const std::string block(4096, 'f');
    // Page by page, then byte by byte for what a page no longer fits in.
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    while (::write(fd, block.data(), 1) > 0) {
    }
    ::close(fd);
}

}  // namespace testsupport
