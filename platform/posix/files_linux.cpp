// Linux only: O_PATH and /proc/self/fd pin a folder entry while its mode changes.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>

#include "platform/errors.h"
#include "platform/fault_injection.h"
#include "platform/file_system_flush.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/posix/posix_detail.h"

namespace platform {

namespace {

bool failWithErrno() {
    setLastError(windowsErrorFromErrno(errno));
    return false;
}

bool hasNoWriteBits(const struct stat& st) { return (st.st_mode & 0222) == 0; }

// Windows gives an overwritten file the new attributes. Here that is the read-only bit
// and the execute bits, so a program unpacked over an older copy can be run whatever
// the older copy's mode was; the rest of the older copy's mode stays.
mode_t modeAfterOverwrite(mode_t before, const CreateOptions& options) {
    const mode_t old = before & 0777;
    mode_t updated = old & ~mode_t(0111);
    if (options.executable) updated |= (old & 0444) >> 2;
    if (options.attributes & FILE_ATTR_READONLY) updated &= ~mode_t(0222);
    return updated;
}

// As failWithErrno, but a missing folder on the way reads PATH_NOT_FOUND, a missing
// last component FILE_NOT_FOUND, as Windows tells them apart.
bool failWithErrnoFor(const std::string& name) {
    int err = errno;
    if (err == ENOENT) {
        auto cut = name.find_last_of('/');
        if (cut != std::string::npos && cut > 0) {
            struct stat st;
            if (stat(name.substr(0, cut).c_str(), &st) != 0) {
                setLastError(winerr::PATH_NOT_FOUND);
                return false;
            }
        }
    }
    setLastError(windowsErrorFromErrno(err));
    return false;
}

}  // namespace

bool pathExists(std::string_view path) {
    std::string name;
    if (!resolvePath(path, name)) return false;
    struct stat st;
    if (lstat(name.c_str(), &st) != 0) return failWithErrnoFor(name);
    return true;
}

std::optional<uint32_t> getAttributes(std::string_view path) {
    std::string name;
    if (!resolvePath(path, name)) return std::nullopt;
    struct stat st;
    if (lstat(name.c_str(), &st) != 0) {
        failWithErrnoFor(name);
        return std::nullopt;
    }
    uint32_t attributes = 0;
    if (S_ISDIR(st.st_mode)) attributes |= FILE_ATTR_DIRECTORY;
    if (!S_ISLNK(st.st_mode) && hasNoWriteBits(st)) attributes |= FILE_ATTR_READONLY;
    return attributes ? attributes : FILE_ATTR_NORMAL;
}

bool changeAttributes(int pinned, uint32_t attributes) {
    struct stat st;
    if (fstat(pinned, &st) != 0) return failWithErrno();
    // A link has no attributes of its own here; the change is accepted and ignored.
    // A read-only folder still takes new entries on Windows, so folders only ever
    // get their write bit back.
    if (!S_ISLNK(st.st_mode)) {
        mode_t mode = st.st_mode & 07777;
        if ((attributes & FILE_ATTR_READONLY) && !S_ISDIR(st.st_mode))
            mode &= ~mode_t(0222);
        else if (!(attributes & FILE_ATTR_READONLY) && hasNoWriteBits(st))
            mode |= S_IWUSR;
        if (mode != (st.st_mode & 07777)) {
            // An O_PATH descriptor takes no fchmod; its /proc link names the same entry.
            char procPath[64];
            std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", pinned);
            if (chmod(procPath, mode) != 0) return failWithErrno();
        }
    }
    setLastError(winerr::SUCCESS);
    return true;
}

bool setAttributes(std::string_view path, uint32_t attributes) {
    if (PLATFORM_FAULT(SetAttributes)) return failWithErrno();
    std::string name;
    if (!resolvePath(path, name)) return false;
    // O_PATH with O_NOFOLLOW pins the entry itself, so a link swapped in between the
    // check and the change cannot redirect the change to its target.
    int fd = ::open(name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return failWithErrnoFor(name);
    const bool ok = changeAttributes(fd, attributes);
    ::close(fd);
    return ok;
}

bool deleteFile(std::string_view path) {
    if (PLATFORM_FAULT(Delete)) return failWithErrno();
    std::string name;
    if (!resolvePath(path, name)) return false;
    struct stat st;
    if (lstat(name.c_str(), &st) != 0) return failWithErrnoFor(name);
    // Windows refuses to delete folders and read-only files here; callers clear the
    // read-only attribute first, as they must there.
    if (S_ISDIR(st.st_mode) || (!S_ISLNK(st.st_mode) && hasNoWriteBits(st))) {
        setLastError(winerr::ACCESS_DENIED);
        return false;
    }
    FolderEntryChange change(name);
    if (unlink(name.c_str()) != 0) return failWithErrno();
    change.done(false);
    return true;
}

bool replaceFile(std::string_view from, std::string_view to) {
    if (PLATFORM_FAULT(Replace)) return failWithErrno();
    std::string source, target;
    if (!resolvePath(from, source) || !resolvePath(to, target)) return false;
    struct stat st;
    if (lstat(target.c_str(), &st) == 0 &&
        (S_ISDIR(st.st_mode) || (!S_ISLNK(st.st_mode) && hasNoWriteBits(st)))) {
        // MoveFileExA will not replace a folder or a read-only file either.
        setLastError(winerr::ACCESS_DENIED);
        return false;
    }
    FolderEntryChange leaving(source);
    FolderEntryChange arriving(target);
    if (::rename(source.c_str(), target.c_str()) != 0) return failWithErrnoFor(target);
    leaving.done(false);
    arriving.done(true);
    return true;
}

bool flushFolderOf(std::string_view path) {
    if (PLATFORM_FAULT(Flush)) return failWithErrno();
    std::string name;
    if (!resolvePath(path, name)) return false;
    const size_t cut = name.find_last_of('/');
    const std::string folder = cut == std::string::npos ? std::string(".")
                               : cut == 0               ? std::string("/")
                                                        : name.substr(0, cut);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return failWithErrno();
    const bool ok = ::fsync(fd) == 0 || failWithErrno();
    ::close(fd);
    return ok;
}

bool flushFileSystemOf(std::string_view path) {
    if (PLATFORM_FAULT(Flush)) return failWithErrno();
    std::string name;
    if (!resolvePath(path, name)) return false;
    const int fd = ::open(name.empty() ? "." : name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return failWithErrno();
    const bool ok = ::syncfs(fd) == 0 || failWithErrno();
    ::close(fd);
    return ok;
}

bool createDirectory(std::string_view path) {
    if (PLATFORM_FAULT(CreateFolder)) return failWithErrno();
    std::string name;
    if (!resolvePath(path, name)) return false;
    FolderEntryChange change(name);
    if (mkdir(name.c_str(), 0777) != 0) return failWithErrnoFor(name);
    change.done(true);
    return true;
}

bool removeDirectory(std::string_view path) {
    if (PLATFORM_FAULT(Delete)) return failWithErrno();
    std::string name;
    if (!resolvePath(path, name)) return false;
    struct stat st;
    if (lstat(name.c_str(), &st) != 0) return failWithErrnoFor(name);
    if (!S_ISDIR(st.st_mode)) {
        setLastError(winerr::DIRECTORY);
        return false;
    }
    FolderEntryChange change(name);
    if (rmdir(name.c_str()) != 0) return failWithErrno();
    change.done(false);
    return true;
}

bool File::open(std::string_view path, unsigned access, Disposition disposition,
                const CreateOptions& options) {
    close();
    if (PLATFORM_FAULT(Open)) return failWithErrno();
    std::string name;
    if (!resolvePath(path, name)) return false;
    // Non-blocking, so that a FIFO under the name cannot hold the open until a peer comes.
    int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if ((access & AccessRead) && (access & AccessWrite))
        flags |= O_RDWR;
    else if (access & AccessWrite)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;
    mode_t mode = options.executable ? 0777 : 0666;
    if (options.attributes & FILE_ATTR_READONLY) mode &= ~mode_t(0222);

    int fd = -1;
    bool existed = false;
    std::optional<FolderEntryChange> change;
    if (disposition != Disposition::OpenExisting) change.emplace(name);
    switch (disposition) {
        case Disposition::OpenExisting:
            fd = ::open(name.c_str(), flags);
            break;
        case Disposition::CreateNew:
            fd = ::open(name.c_str(), flags | O_CREAT | O_EXCL, mode);
            if (fd < 0 && errno == EEXIST) {
                setLastError(winerr::FILE_EXISTS);
                return false;
            }
            break;
        case Disposition::CreateAlways:
        case Disposition::OpenAlways: {
            // Try to create first so the result can tell, as Windows does, whether the
            // file was already there.
            fd = ::open(name.c_str(), flags | O_CREAT | O_EXCL, mode);
            if (fd < 0 && errno == EEXIST) {
                existed = true;
                int again = disposition == Disposition::CreateAlways ? O_TRUNC : 0;
                fd = ::open(name.c_str(), flags | again);
            }
            break;
        }
    }
    if (fd < 0) {
        // A FIFO without a reader refuses a non-blocking open for writing.
        if (errno == ENXIO) errno = EACCES;
        return failWithErrnoFor(name);
    }
    if (change) change->done(true);
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        setLastError(winerr::ACCESS_DENIED);
        return false;
    }
    // Only the open had to be non-blocking; reads and writes of a regular file wait.
    (void)fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (existed && disposition == Disposition::CreateAlways) {
        // A file of another user's that we may write but not chmod keeps its mode.
        const mode_t updated = modeAfterOverwrite(st.st_mode, options);
        if (updated != (st.st_mode & 0777)) (void)fchmod(fd, updated);
    } else if (!existed && !options.replaces.empty()) {
        std::string replaced;
        struct stat old;
        if (resolvePath(options.replaces, replaced) && lstat(replaced.c_str(), &old) == 0 &&
            S_ISREG(old.st_mode))
            (void)fchmod(fd, modeAfterOverwrite(old.st_mode, options));
    }
    handle_ = handleOf(fd);
    setLastError(existed ? winerr::ALREADY_EXISTS : winerr::SUCCESS);
    return true;
}

void File::close() {
    if (handle_ != kNoHandle) {
        ::close(descriptorOf(handle_));
        handle_ = kNoHandle;
    }
}

int64_t File::size() const {
    struct stat st;
    if (handle_ == kNoHandle) {
        setLastError(winerr::INVALID_HANDLE);
        return -1;
    }
    if (fstat(descriptorOf(handle_), &st) != 0) {
        failWithErrno();
        return -1;
    }
    return st.st_size;
}

int64_t File::seek(int64_t offset, SeekFrom from) {
    int whence = from == SeekFrom::Begin     ? SEEK_SET
                 : from == SeekFrom::Current ? SEEK_CUR
                                             : SEEK_END;
    off_t pos = lseek(descriptorOf(handle_), offset, whence);
    if (pos < 0) {
        failWithErrno();
        return -1;
    }
    return pos;
}

int64_t File::tell() const {
    off_t pos = lseek(descriptorOf(handle_), 0, SEEK_CUR);
    if (pos < 0) {
        failWithErrno();
        return -1;
    }
    return pos;
}

int64_t File::read(void* buffer, size_t count) {
    if (PLATFORM_FAULT(Read)) {
        failWithErrno();
        return -1;
    }
    for (;;) {
        ssize_t n = ::read(descriptorOf(handle_), buffer, count);
        if (n >= 0) return n;
        if (errno != EINTR) {
            failWithErrno();
            return -1;
        }
    }
}

int64_t File::write(const void* data, size_t count) {
    if (PLATFORM_FAULT(Write)) {
        failWithErrno();
        return -1;
    }
    const char* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::write(descriptorOf(handle_), p + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            failWithErrno();
            return done ? static_cast<int64_t>(done) : -1;
        }
        if (n == 0) {
            setLastError(winerr::DISK_FULL);
            return done ? static_cast<int64_t>(done) : -1;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

bool File::flush() {
    if (PLATFORM_FAULT(Flush)) return failWithErrno();
    for (;;) {
        if (::fdatasync(descriptorOf(handle_)) == 0) return true;
        if (errno != EINTR) return failWithErrno();
    }
}

bool File::isSameFile(std::string_view path) const {
    std::string name;
    struct stat mine, other;
    // The entry itself: replacing a link replaces the link, not what it points to.
    return handle_ != kNoHandle && resolvePath(path, name) &&
           fstat(descriptorOf(handle_), &mine) == 0 && lstat(name.c_str(), &other) == 0 &&
           mine.st_dev == other.st_dev && mine.st_ino == other.st_ino;
}

namespace {

struct timespec fileTimeToTimespec(FileTime time) {
    // Floor division keeps times before 1970 correct.
    int64_t ticks = static_cast<int64_t>(time - kFileTimeUnixEpoch);
    if (time < kFileTimeUnixEpoch) ticks = -static_cast<int64_t>(kFileTimeUnixEpoch - time);
    int64_t seconds = ticks / 10000000;
    int64_t rest = ticks % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --seconds;
    }
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>(rest * 100);
    return ts;
}

}  // namespace

bool File::setTimes(const FileTime* /*creation*/, const FileTime* access, const FileTime* write) {
    if (PLATFORM_FAULT(SetAttributes)) return failWithErrno();
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1] = times[0];
    if (access) times[0] = fileTimeToTimespec(*access);
    if (write) times[1] = fileTimeToTimespec(*write);
    if (futimens(descriptorOf(handle_), times) != 0) return failWithErrno();
    return true;
}

}  // namespace platform
