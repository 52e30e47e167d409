#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/peers/loopback_socket.h"

namespace testsupport::loopback {

namespace {

int fd(Socket socket) { return static_cast<int>(socket); }

sockaddr_in addressOf(uint32_t address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address);
    return sa;
}

}  // namespace

Socket listenOn(uint16_t port, uint16_t& boundPort) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return kNoSocket;
    int one = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa = addressOf(INADDR_LOOPBACK, port);
    socklen_t length = sizeof sa;
    if (::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(s, 8) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &length) != 0) {
        ::close(s);
        return kNoSocket;
    }
    boundPort = ntohs(sa.sin_port);
    return s;
}

Socket acceptWithin(Socket listener, int timeoutMs) {
    if (!readableWithin(listener, timeoutMs)) return kNoSocket;
    const int s = ::accept4(fd(listener), nullptr, nullptr, SOCK_CLOEXEC);
    return s < 0 ? kNoSocket : s;
}

Socket connectTo(uint32_t address, uint16_t port) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return kNoSocket;
    sockaddr_in sa = addressOf(address, port);
    if (::connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        ::close(s);
        return kNoSocket;
    }
    return s;
}

bool readableWithin(Socket socket, int timeoutMs) {
    pollfd p{fd(socket), POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

long receiveSome(Socket socket, char* buffer, size_t size) {
    return ::recv(fd(socket), buffer, size, 0);
}

long sendSome(Socket socket, const char* data, size_t size) {
    return ::send(fd(socket), data, size, MSG_NOSIGNAL);
}

void shutdownSending(Socket socket) { ::shutdown(fd(socket), SHUT_WR); }

void closeSocket(Socket socket) {
    if (socket != kNoSocket) ::close(fd(socket));
}

bool setSendBufferSize(Socket socket, int bytes) {
    return ::setsockopt(fd(socket), SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) == 0;
}

bool inheritedByChildren(Socket socket) {
    const int flags = ::fcntl(fd(socket), F_GETFD);
    return flags >= 0 && !(flags & FD_CLOEXEC);
}

}  // namespace testsupport::loopback
