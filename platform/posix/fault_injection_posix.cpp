// The errno behind each injected error; the service's own failure path turns it into
// the Windows code callers see, as it does for a real failure.
#include <cerrno>

#include "platform/fault_injection.h"

namespace platform::fault::detail {

void setSystemError(Error error) {
    switch (error) {
        case Error::DiskFull:
            errno = ENOSPC;
            break;
        case Error::Io:
            errno = EIO;
            break;
        case Error::AccessDenied:
            errno = EACCES;
            break;
        case Error::SharingViolation:
            errno = EBUSY;
            break;
        case Error::ConnectionReset:
            errno = ECONNRESET;
            break;
        case Error::TimedOut:
            errno = ETIMEDOUT;
            break;
    }
}

}  // namespace platform::fault::detail
