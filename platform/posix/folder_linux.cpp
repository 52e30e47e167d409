// Folders as descriptors: every operation is an *at call relative to one, with
// O_NOFOLLOW or AT_SYMLINK_NOFOLLOW, so no link is ever followed. Linux only: the
// attribute change goes through /proc/self/fd (changeAttributes).

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/errors.h"
#include "platform/fault_injection.h"
#include "platform/files.h"
#include "platform/posix/posix_detail.h"

namespace platform {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool failWithErrno() {
    setLastError(windowsErrorFromErrno(errno));
    return false;
}

bool noFolder() {
    setLastError(winerr::INVALID_HANDLE);
    return false;
}

// A link (ELOOP) or a file (ENOTDIR) is not a folder to open; a missing one is a
// missing path, as for the "folder\\*.*" search of Windows.
bool failToOpenFolder() {
    setLastError(errno == ELOOP || errno == ENOTDIR ? winerr::DIRECTORY
                 : errno == ENOENT                  ? winerr::PATH_NOT_FOUND
                                                    : windowsErrorFromErrno(errno));
    return false;
}

// An entry of a folder is one name: anything with a separator would reach elsewhere.
bool isEntryName(std::string_view name) {
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos) {
        setLastError(winerr::INVALID_NAME);
        return false;
    }
    return true;
}

int openFolderAt(int folder, const char* name) {
    int fd = ::openat(folder, name, kFolderFlags);
    if (fd < 0 && errno == EMFILE && raiseDescriptorLimit())
        fd = ::openat(folder, name, kFolderFlags);
    return fd;
}

}  // namespace

bool raiseDescriptorLimit() {
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return false;
    limit.rlim_cur = limit.rlim_max;
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

void Folder::close() {
    if (!state_) return;
    if (state_->fd >= 0) ::close(state_->fd);
    delete state_;
    state_ = nullptr;
}

bool Folder::open(std::string_view path) {
    close();
    if (PLATFORM_FAULT(ListFolder)) return failWithErrno();
    std::string name;
    if (!resolvePath(path, name)) return false;
    if (name.empty()) name.push_back('.');
    // "link/" would open the folder behind the link.
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    const int fd = openFolderAt(AT_FDCWD, name.c_str());
    if (fd < 0) return failToOpenFolder();
    state_ = new State{fd};
    return true;
}

bool Folder::open(const Folder& parent, std::string_view name) {
    close();
    if (PLATFORM_FAULT(ListFolder)) return failWithErrno();
    if (!parent.state_) return noFolder();
    if (!isEntryName(name)) return false;
    const int fd = openFolderAt(parent.state_->fd, std::string(name).c_str());
    if (fd < 0) return failToOpenFolder();
    state_ = new State{fd};
    return true;
}

bool Folder::setOwnAttributes(uint32_t attributes) const {
    if (PLATFORM_FAULT(SetAttributes)) return failWithErrno();
    if (!state_) return noFolder();
    return changeAttributes(state_->fd, attributes);
}

bool Folder::setAttributes(std::string_view name, uint32_t attributes) const {
    if (PLATFORM_FAULT(SetAttributes)) return failWithErrno();
    if (!state_) return noFolder();
    if (!isEntryName(name)) return false;
    // Pinned, so that a link swapped in cannot redirect the change to its target.
    const int fd = ::openat(state_->fd, std::string(name).c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return failWithErrno();
    const bool ok = changeAttributes(fd, attributes);
    ::close(fd);
    return ok;
}

bool Folder::deleteFile(std::string_view name) const {
    if (PLATFORM_FAULT(Delete)) return failWithErrno();
    if (!state_) return noFolder();
    if (!isEntryName(name)) return false;
    const std::string entry(name);
    struct stat st;
    if (::fstatat(state_->fd, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return failWithErrno();
    // As deleteFile: Windows refuses folders and read-only files here.
    if (S_ISDIR(st.st_mode) || (!S_ISLNK(st.st_mode) && (st.st_mode & 0222) == 0)) {
        setLastError(winerr::ACCESS_DENIED);
        return false;
    }
    if (::unlinkat(state_->fd, entry.c_str(), 0) != 0) return failWithErrno();
    return true;
}

bool Folder::removeDirectory(std::string_view name) const {
    if (PLATFORM_FAULT(Delete)) return failWithErrno();
    if (!state_) return noFolder();
    if (!isEntryName(name)) return false;
    const std::string entry(name);
    struct stat st;
    if (::fstatat(state_->fd, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return failWithErrno();
    if (!S_ISDIR(st.st_mode)) {
        setLastError(winerr::DIRECTORY);
        return false;
    }
    if (::unlinkat(state_->fd, entry.c_str(), AT_REMOVEDIR) != 0) return failWithErrno();
    return true;
}

std::FILE* Folder::openFileStream(std::string_view name) const {
    if (PLATFORM_FAULT(Open)) {
        failWithErrno();
        return nullptr;
    }
    if (!state_) {
        noFolder();
        return nullptr;
    }
    if (!isEntryName(name)) return nullptr;
    // O_NONBLOCK: a FIFO opens at once instead of waiting for a writer; it is then
    // refused with the other kinds that are no regular file.
    const int fd = ::openat(state_->fd, std::string(name).c_str(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        failWithErrno();
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        setLastError(winerr::ACCESS_DENIED);
        ::close(fd);
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* stream = ::fdopen(fd, "rb");
    if (stream == nullptr) {
        failWithErrno();
        ::close(fd);
    }
    return stream;
}

}  // namespace platform
