#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/errors.h"
#include "platform/posix/posix_detail.h"
#include "platform/private_file.h"

namespace platform {

bool createPrivateFile(const std::string& path, std::string_view contents) {
    // O_EXCL also refuses a symbolic link, even one that points nowhere. The mode is
    // given at creation, so the secret is never readable by others, not even briefly.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        // As CreateFileA with CREATE_NEW reports it.
        setLastError(errno == EEXIST ? winerr::FILE_EXISTS : windowsErrorFromErrno(errno));
        return false;
    }
    int err = 0;
    size_t done = 0;
    while (err == 0 && done < contents.size()) {
        const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n > 0)
            done += size_t(n);
        else if (n == 0)
            err = EIO;
        else if (errno != EINTR)
            err = errno;
    }
    if (err == 0 && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err != 0) {
        setLastError(windowsErrorFromErrno(err));
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

}  // namespace platform
