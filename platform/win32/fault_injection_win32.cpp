// The Windows code of each injected error, set as the thread's last error (Winsock's
// WSAGetLastError reads the same value), as the failing call itself would set it.
#include <winsock2.h>

#include "platform/fault_injection.h"
#include "platform/win32/win32_detail.h"

namespace platform::fault::detail {

void setSystemError(Error error) {
    switch (error) {
        case Error::DiskFull:
            SetLastError(ERROR_DISK_FULL);
            break;
        case Error::Io:
            SetLastError(ERROR_IO_DEVICE);
            break;
        case Error::AccessDenied:
            SetLastError(ERROR_ACCESS_DENIED);
            break;
        case Error::SharingViolation:
            SetLastError(ERROR_SHARING_VIOLATION);
            break;
        case Error::ConnectionReset:
            WSASetLastError(WSAECONNRESET);
            break;
        case Error::TimedOut:
            WSASetLastError(WSAETIMEDOUT);
            break;
    }
}

}  // namespace platform::fault::detail
