#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which must come before windows.h.
#include <windows.h>

#include <algorithm>

#include "support/peers/loopback_socket.h"

namespace testsupport::loopback {

namespace {

SOCKET native(Socket socket) { return static_cast<SOCKET>(socket); }

// Winsock must be started once per process before the first socket call.
void startWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

// Sockets are handles that children would inherit unless told otherwise.
Socket ownSocket(SOCKET s) {
    if (s == INVALID_SOCKET) return kNoSocket;
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    return static_cast<Socket>(s);
}

sockaddr_in addressOf(uint32_t address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address);
    return sa;
}

}  // namespace

// No SO_REUSEADDR: on Windows it would let another socket take the port from us.
Socket listenOn(uint16_t port, uint16_t& boundPort) {
    startWinsock();
    const Socket s = ownSocket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (s == kNoSocket) return kNoSocket;
    sockaddr_in sa = addressOf(INADDR_LOOPBACK, port);
    int length = sizeof sa;
    if (::bind(native(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(native(s), 8) != 0 ||
        ::getsockname(native(s), reinterpret_cast<sockaddr*>(&sa), &length) != 0) {
        closeSocket(s);
        return kNoSocket;
    }
    boundPort = ntohs(sa.sin_port);
    return s;
}

Socket acceptWithin(Socket listener, int timeoutMs) {
    if (!readableWithin(listener, timeoutMs)) return kNoSocket;
    return ownSocket(::accept(native(listener), nullptr, nullptr));
}

Socket connectTo(uint32_t address, uint16_t port) {
    startWinsock();
    const Socket s = ownSocket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (s == kNoSocket) return kNoSocket;
    sockaddr_in sa = addressOf(address, port);
    if (::connect(native(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        closeSocket(s);
        return kNoSocket;
    }
    return s;
}

bool readableWithin(Socket socket, int timeoutMs) {
    WSAPOLLFD p{};
    p.fd = native(socket);
    p.events = POLLRDNORM;
    return WSAPoll(&p, 1, timeoutMs) > 0;
}

long receiveSome(Socket socket, char* buffer, size_t size) {
    return ::recv(native(socket), buffer, int(size), 0);
}

// One send without blocking, waiting up to 20 s for room first when there is none:
// Wine can leave a blocking send waiting for ever once the peer has closed, and the
// test's server with it.
long sendSome(Socket socket, const char* data, size_t size) {
    constexpr int kRoomWaitMs = 20000;
    u_long nonBlocking = 1;
    if (::ioctlsocket(native(socket), FIONBIO, &nonBlocking) != 0) return -1;
    const int chunk = int(std::min<size_t>(size, 65536));
    int n = ::send(native(socket), data, chunk, 0);
    if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
        WSAPOLLFD p{};
        p.fd = native(socket);
        p.events = POLLWRNORM;
        if (WSAPoll(&p, 1, kRoomWaitMs) > 0 && !(p.revents & (POLLERR | POLLHUP | POLLNVAL)))
            n = ::send(native(socket), data, chunk, 0);
    }
    u_long blocking = 0;
    ::ioctlsocket(native(socket), FIONBIO, &blocking);
    return n;
}

void shutdownSending(Socket socket) { ::shutdown(native(socket), SD_SEND); }

void closeSocket(Socket socket) {
    if (socket != kNoSocket) ::closesocket(native(socket));
}

bool setSendBufferSize(Socket socket, int bytes) {
    return ::setsockopt(native(socket), SOL_SOCKET, SO_SNDBUF,
                        reinterpret_cast<const char*>(&bytes), sizeof bytes) == 0;
}

bool inheritedByChildren(Socket socket) {
    DWORD flags = 0;
    return GetHandleInformation(reinterpret_cast<HANDLE>(native(socket)), &flags) &&
           (flags & HANDLE_FLAG_INHERIT);
}

}  // namespace testsupport::loopback
