// Winsock 2: the error numbers are WSAGetLastError's own.

#include <winsock2.h>

#include <cstring>

#include "platform/fault_injection.h"
#include "platform/net.h"
#include "platform/win32/win32_detail.h"

namespace platform::net {

namespace {

SOCKET toSocket(SocketHandle socket) { return static_cast<SOCKET>(socket); }

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

// Winsock handles are inheritable unless told otherwise; none of ours may reach the
// client updater.
SocketHandle notInherited(SOCKET socket) {
    if (socket == INVALID_SOCKET) return kInvalidSocket;
    SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
    return static_cast<SocketHandle>(socket);
}

// One select on this socket alone (Windows ignores the first argument); an error on the
// connection counts as ready, so the call that follows reports it.
int waitFor(SocketHandle socket, bool forWriting, int timeoutMs) {
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(toSocket(socket), &ready);
    FD_SET(toSocket(socket), &failed);
    timeval timeout;
    timeout.tv_sec = timeoutMs / 1000;
    timeout.tv_usec = (timeoutMs % 1000) * 1000;
    const int r = ::select(0, forWriting ? nullptr : &ready, forWriting ? &ready : nullptr, &failed,
                           timeoutMs < 0 ? nullptr : &timeout);
    if (r == SOCKET_ERROR) return -1;
    return r > 0 ? 1 : 0;
}

}  // namespace

int lastError() { return WSAGetLastError(); }
void setLastError(int code) { WSASetLastError(code); }

SocketHandle createSocket(int type) {
    const int sysType = type == kSockDgram ? SOCK_DGRAM : type == kSockStream ? SOCK_STREAM : -1;
    if (sysType < 0) {
        WSASetLastError(WSAESOCKTNOSUPPORT);
        return kInvalidSocket;
    }
    return notInherited(WSASocketW(AF_INET, sysType, 0, nullptr, 0,
                                   WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT));
}

bool connectSocket(SocketHandle socket, const Ipv4Address& address, int timeoutMs) {
    if (PLATFORM_FAULT(Connect)) return false;
    sockaddr_in sa = toSockaddr(address);
    const SOCKET s = toSocket(socket);
    // Without a bound the system's own retries of the handshake take some 20 seconds or
    // more; a non-blocking connect is waited for with select.
    u_long nonBlocking = 1;
    const bool bounded = timeoutMs >= 0 && ::ioctlsocket(s, FIONBIO, &nonBlocking) == 0;
    bool connected = ::connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    int error = connected ? 0 : WSAGetLastError();
    if (bounded && !connected && error == WSAEWOULDBLOCK) {
        fd_set writable;
        fd_set failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval timeout;
        timeout.tv_sec = timeoutMs / 1000;
        timeout.tv_usec = (timeoutMs % 1000) * 1000;
        const int r = ::select(0, nullptr, &writable, &failed, &timeout);
        if (r == 0) {
            error = WSAETIMEDOUT;
        } else if (r == SOCKET_ERROR) {
            error = WSAGetLastError();
        } else if (FD_ISSET(s, &failed)) {
            int code = 0;
            int length = sizeof code;
            if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &length) !=
                    0 ||
                code == 0)
                code = WSAECONNREFUSED;
            error = code;
        } else {
            connected = true;
        }
    }
    if (bounded) {
        u_long blocking = 0;
        ::ioctlsocket(s, FIONBIO, &blocking);
    }
    if (!connected) WSASetLastError(error);
    return connected;
}

bool bindSocket(SocketHandle socket, const Ipv4Address& address) {
    sockaddr_in sa = toSockaddr(address);
    return ::bind(toSocket(socket), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
}

bool listenSocket(SocketHandle socket, int backlog) {
    return ::listen(toSocket(socket), backlog) == 0;
}

SocketHandle acceptSocket(SocketHandle socket, Ipv4Address& peer) {
    if (PLATFORM_FAULT(Accept)) return kInvalidSocket;
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    int length = sizeof sa;
    const SOCKET accepted = ::accept(toSocket(socket), reinterpret_cast<sockaddr*>(&sa), &length);
    if (accepted == INVALID_SOCKET) return kInvalidSocket;
    peer = fromSockaddr(sa);
    return notInherited(accepted);
}

long sendSome(SocketHandle socket, const void* data, size_t length) {
    if (PLATFORM_FAULT(Send)) return -1;
    // A blocking send would wait for the whole buffer to be taken, past the caller's
    // time-out; non-blocking for this one call, it takes what fits.
    u_long nonBlocking = 1;
    if (::ioctlsocket(toSocket(socket), FIONBIO, &nonBlocking) != 0) return -1;
    const int piece = length > size_t(INT32_MAX) ? INT32_MAX : int(length);
    const int n = ::send(toSocket(socket), static_cast<const char*>(data), piece, 0);
    const int error = WSAGetLastError();
    u_long blocking = 0;
    ::ioctlsocket(toSocket(socket), FIONBIO, &blocking);
    if (n != SOCKET_ERROR) return n;
    if (error == WSAEWOULDBLOCK) return 0;
    WSASetLastError(error);
    return -1;
}

long receiveSome(SocketHandle socket, void* buffer, size_t size) {
    if (PLATFORM_FAULT(Receive)) return -1;
    const int piece = size > size_t(INT32_MAX) ? INT32_MAX : int(size);
    const int n = ::recv(toSocket(socket), static_cast<char*>(buffer), piece, 0);
    return n == SOCKET_ERROR ? -1 : n;
}

bool closeSocket(SocketHandle socket) { return ::closesocket(toSocket(socket)) == 0; }

bool localAddress(SocketHandle socket, Ipv4Address& address) {
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    int length = sizeof sa;
    if (::getsockname(toSocket(socket), reinterpret_cast<sockaddr*>(&sa), &length) != 0)
        return false;
    if (sa.sin_family != AF_INET) {
        WSASetLastError(WSAEAFNOSUPPORT);
        return false;
    }
    address = fromSockaddr(sa);
    return true;
}

int waitReadable(SocketHandle socket, int timeoutMs) { return waitFor(socket, false, timeoutMs); }
int waitWritable(SocketHandle socket, int timeoutMs) { return waitFor(socket, true, timeoutMs); }

bool lookUpHost(std::string_view name, uint32_t& address) {
    const std::string text(name);
    // Dotted text needs no look-up there either. The result is kept per thread.
    const hostent* host = ::gethostbyname(text.c_str());
    if (host == nullptr) return false;
    if (host->h_addrtype != AF_INET || host->h_length != 4 || host->h_addr_list[0] == nullptr) {
        WSASetLastError(WSANO_DATA);
        return false;
    }
    in_addr first;
    std::memcpy(&first, host->h_addr_list[0], 4);
    address = ntohl(first.s_addr);
    return true;
}

std::string dottedText(uint32_t address) {
    in_addr a;
    a.s_addr = htonl(address);
    return ::inet_ntoa(a);
}

// Schannel checks revocation and fails when it cannot.
bool tlsRevocationFailsHard() { return true; }

}  // namespace platform::net
