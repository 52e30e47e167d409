// Linux (glibc) only: accept4, SOCK_CLOEXEC, MSG_NOSIGNAL and the reentrant
// gethostbyname_r/gethostbyaddr_r.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/fault_injection.h"
#include "platform/net.h"
#include "platform/posix/posix_detail.h"

namespace platform::net {

namespace {

thread_local int tLastError = 0;

void failFromErrno() { tLastError = errorFromErrno(errno); }

int toFd(SocketHandle socket) { return static_cast<int>(socket); }

// Descriptors 0 to 2 are the standard streams; a socket never takes one of them, so
// a handle of 0 can keep meaning "no socket".
int keepAboveStandardStreams(int fd) {
    if (fd < 0 || fd > 2) return fd;
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    int saved = errno;
    ::close(fd);
    errno = saved;
    return moved;
}

sockaddr_in toSockaddr(const Ipv4Address& address) {
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_port = htons(address.port);
    sa.sin_addr.s_addr = htonl(address.address);
    return sa;
}

Ipv4Address fromSockaddr(const sockaddr_in& sa) {
    return Ipv4Address{ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port)};
}

int waitFor(SocketHandle socket, short events, int timeoutMs) {
    pollfd p{toFd(socket), events, 0};
    for (;;) {
        int r = ::poll(&p, 1, timeoutMs);
        if (r >= 0) return r > 0 ? 1 : 0;
        if (errno != EINTR) {
            failFromErrno();
            return -1;
        }
        // A signal is not a time-out; waiting again may stretch the wait a little.
    }
}

}  // namespace

int lastError() { return tLastError; }
void setLastError(int code) { tLastError = code; }

namespace {

struct SocketErrno {
    int err;
    int code;
};

// Both directions use this one table: errno to a Windows socket error, and a socket
// error back to the errno whose strerror text describes it (its first row).
constexpr SocketErrno kSocketErrnos[] = {
    {EINTR, wsa::kInterrupted},
    {EBADF, wsa::kBadHandle},
    {EACCES, wsa::kAccessDenied},
    {EPERM, wsa::kAccessDenied},
    {EFAULT, wsa::kBadAddress},
    {EINVAL, wsa::kInvalidArgument},
    {EMFILE, wsa::kTooManySockets},
    {ENFILE, wsa::kTooManySockets},
    {EAGAIN, wsa::kWouldBlock},
    {EWOULDBLOCK, wsa::kWouldBlock},
    {EINPROGRESS, wsa::kInProgress},
    {EALREADY, wsa::kAlreadyInProgress},
    {ENOTSOCK, wsa::kNotSocket},
    {EDESTADDRREQ, wsa::kDestinationRequired},
    {EMSGSIZE, wsa::kMessageTooLong},
    {EPROTOTYPE, wsa::kWrongProtocolType},
    {ENOPROTOOPT, wsa::kBadProtocolOption},
    {EPROTONOSUPPORT, wsa::kProtocolNotSupported},
    {ESOCKTNOSUPPORT, wsa::kSocketTypeNotSupported},
    {EOPNOTSUPP, wsa::kOperationNotSupported},
    {EPFNOSUPPORT, wsa::kProtocolFamilyNotSupported},
    {EAFNOSUPPORT, wsa::kAddressFamilyNotSupported},
    {EADDRINUSE, wsa::kAddressInUse},
    {EADDRNOTAVAIL, wsa::kAddressNotAvailable},
    {ENETDOWN, wsa::kNetworkDown},
    {ENETUNREACH, wsa::kNetworkUnreachable},
    {ENETRESET, wsa::kNetworkReset},
    {ECONNABORTED, wsa::kConnectionAborted},
    {ECONNRESET, wsa::kConnectionReset},
    {EPIPE, wsa::kConnectionReset},
    {ENOBUFS, wsa::kNoBufferSpace},
    {ENOMEM, wsa::kNoBufferSpace},
    {EISCONN, wsa::kAlreadyConnected},
    {ENOTCONN, wsa::kNotConnected},
    {ESHUTDOWN, wsa::kShutDown},
    {ETIMEDOUT, wsa::kTimedOut},
    {ECONNREFUSED, wsa::kConnectionRefused},
    {ENAMETOOLONG, wsa::kNameTooLong},
    {EHOSTDOWN, wsa::kHostDown},
    {EHOSTUNREACH, wsa::kHostUnreachable},
};

}  // namespace

int errorFromErrno(int err) {
    for (const SocketErrno& row : kSocketErrnos)
        if (row.err == err) return row.code;
    return err == 0 ? 0 : wsa::kInvalidArgument;
}

int errnoFromSocketError(int code) {
    for (const SocketErrno& row : kSocketErrnos)
        if (row.code == code) return row.err;
    return 0;
}

int errorFromHostErrno(int err) {
    switch (err) {
        case 0:
            return 0;
        case HOST_NOT_FOUND:
            return wsa::kHostNotFound;
        case TRY_AGAIN:
            return wsa::kTryAgain;
        case NO_RECOVERY:
            return wsa::kNoRecovery;
        case NO_DATA:
            return wsa::kNoData;
        default:
            return wsa::kNoRecovery;
    }
}

SocketHandle createSocket(int type) {
    int sysType = type == kSockDgram ? SOCK_DGRAM : type == kSockStream ? SOCK_STREAM : -1;
    if (sysType < 0) {
        tLastError = wsa::kSocketTypeNotSupported;
        return kInvalidSocket;
    }
    int fd = keepAboveStandardStreams(::socket(AF_INET, sysType | SOCK_CLOEXEC, 0));
    if (fd < 0) {
        failFromErrno();
        return kInvalidSocket;
    }
    return static_cast<SocketHandle>(fd);
}

bool connectSocket(SocketHandle socket, const Ipv4Address& address, int timeoutMs) {
    if (PLATFORM_FAULT(Connect)) {
        failFromErrno();
        return false;
    }
    sockaddr_in sa = toSockaddr(address);
    const int fd = toFd(socket);
    const int flags = fcntl(fd, F_GETFL);
    // Without a bound the kernel's own retries of the handshake take minutes.
    const bool bounded =
        timeoutMs >= 0 && flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
    int err = 0;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) err = errno;
    if (err == EINTR || err == EINPROGRESS) {
        // The connection goes on in the background; wait for its outcome.
        const int ready = waitFor(socket, POLLOUT, bounded ? timeoutMs : -1);
        if (ready <= 0) {
            err = ready == 0 ? ETIMEDOUT : errno;
        } else {
            socklen_t len = sizeof err;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
        }
    }
    if (bounded) (void)fcntl(fd, F_SETFL, flags);
    if (err == 0) return true;
    errno = err;
    failFromErrno();
    return false;
}

bool bindSocket(SocketHandle socket, const Ipv4Address& address) {
    sockaddr_in sa = toSockaddr(address);
    if (::bind(toFd(socket), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) return true;
    failFromErrno();
    return false;
}

bool listenSocket(SocketHandle socket, int backlog) {
    if (::listen(toFd(socket), backlog) == 0) return true;
    failFromErrno();
    return false;
}

SocketHandle acceptSocket(SocketHandle socket, Ipv4Address& peer) {
    if (PLATFORM_FAULT(Accept)) {
        failFromErrno();
        return kInvalidSocket;
    }
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    socklen_t len = sizeof sa;
    int fd = ::accept4(toFd(socket), reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC);
    fd = keepAboveStandardStreams(fd);
    if (fd < 0) {
        failFromErrno();
        return kInvalidSocket;
    }
    peer = fromSockaddr(sa);
    return static_cast<SocketHandle>(fd);
}

long sendSome(SocketHandle socket, const void* data, size_t length) {
    if (PLATFORM_FAULT(Send)) {
        failFromErrno();
        return -1;
    }
    for (;;) {
        ssize_t n = ::send(toFd(socket), data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        failFromErrno();
        return -1;
    }
}

long receiveSome(SocketHandle socket, void* buffer, size_t size) {
    if (PLATFORM_FAULT(Receive)) {
        failFromErrno();
        return -1;
    }
    for (;;) {
        ssize_t n = ::recv(toFd(socket), buffer, size, 0);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        failFromErrno();
        return -1;
    }
}

bool closeSocket(SocketHandle socket) {
    // After close the descriptor is gone even when an error is reported; EINTR is
    // not retried for that reason.
    if (::close(toFd(socket)) == 0 || errno == EINTR) return true;
    failFromErrno();
    return false;
}

bool localAddress(SocketHandle socket, Ipv4Address& address) {
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    socklen_t len = sizeof sa;
    if (::getsockname(toFd(socket), reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        failFromErrno();
        return false;
    }
    if (sa.sin_family != AF_INET) {
        tLastError = wsa::kAddressFamilyNotSupported;
        return false;
    }
    address = fromSockaddr(sa);
    return true;
}

int waitReadable(SocketHandle socket, int timeoutMs) { return waitFor(socket, POLLIN, timeoutMs); }
int waitWritable(SocketHandle socket, int timeoutMs) { return waitFor(socket, POLLOUT, timeoutMs); }

bool lookUpHost(std::string_view name, uint32_t& address) {
    std::string text(name);
    in_addr parsed;
    if (::inet_aton(text.c_str(), &parsed) != 0) {
        address = ntohl(parsed.s_addr);
        return true;
    }
    hostent entry;
    hostent* result = nullptr;
    int herr = 0;
    std::vector<char> work(8192);
    for (;;) {
        int rc = ::gethostbyname_r(text.c_str(), &entry, work.data(), work.size(), &result, &herr);
        if (rc == ERANGE && work.size() < (1u << 20)) {
            work.resize(work.size() * 2);
            continue;
        }
        break;
    }
    if (result == nullptr || result->h_addrtype != AF_INET || result->h_length != 4 ||
        result->h_addr_list[0] == nullptr) {
        tLastError = errorFromHostErrno(herr == 0 ? NO_DATA : herr);
        return false;
    }
    in_addr first;
    std::memcpy(&first, result->h_addr_list[0], 4);
    address = ntohl(first.s_addr);
    return true;
}

std::string dottedText(uint32_t address) {
    return std::to_string((address >> 24) & 0xff) + "." + std::to_string((address >> 16) & 0xff) +
           "." + std::to_string((address >> 8) & 0xff) + "." + std::to_string(address & 0xff);
}

// libcurl with OpenSSL checks no revocation unless asked.
bool tlsRevocationFailsHard() { return false; }

}  // namespace platform::net
