#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/errors.h"
#include "platform/fault_injection.h"
#include "platform/file_stream.h"
#include "platform/paths.h"
#include "platform/posix/posix_detail.h"

namespace platform {

std::FILE* openFileStream(std::string_view path, const char* mode) {
    if (PLATFORM_FAULT(Open)) {
        setLastError(windowsErrorFromErrno(errno));
        return nullptr;
    }
    std::string real;
    if (!resolvePath(path, real)) return nullptr;
    if (mode == nullptr || std::strchr("rwa", mode[0]) == nullptr) {
        setLastError(winerr::INVALID_PARAMETER);
        return nullptr;
    }
    bool update = std::strchr(mode, '+') != nullptr;
    int flags = O_CLOEXEC;
    switch (mode[0]) {
        case 'r':
            flags |= (update ? O_RDWR : O_RDONLY) | O_NONBLOCK;
            break;
        case 'w':
            flags |= (update ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
            break;
        default:
            flags |= (update ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
            break;
    }
    int fd = ::open(real.c_str(), flags, 0666);
    if (fd < 0) {
        setLastError(windowsErrorFromErrno(errno));
        return nullptr;
    }
    if (flags & O_NONBLOCK) {
        // Only the open itself must not wait; reads of a regular file never do.
        int current = ::fcntl(fd, F_GETFL);
        if (current >= 0) ::fcntl(fd, F_SETFL, current & ~O_NONBLOCK);
    }
    std::FILE* stream = ::fdopen(fd, mode);
    if (stream == nullptr) {
        setLastError(windowsErrorFromErrno(errno));
        ::close(fd);
    }
    return stream;
}

bool seekFileStream(std::FILE* stream, int64_t offset, SeekFrom from) {
    const int whence = from == SeekFrom::Begin     ? SEEK_SET
                       : from == SeekFrom::Current ? SEEK_CUR
                                                   : SEEK_END;
    return ::fseeko(stream, static_cast<off_t>(offset), whence) == 0;
}

int64_t tellFileStream(std::FILE* stream) { return ::ftello(stream); }

}  // namespace platform
