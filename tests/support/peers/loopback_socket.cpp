#include "support/peers/loopback_socket.h"

namespace testsupport {

namespace loopback {

bool sendAll(Socket socket, const char* data, size_t size) {
    while (size > 0) {
        const long n = sendSome(socket, data, size);
        if (n <= 0) return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

}  // namespace loopback

namespace {

constexpr uint32_t kLoopback = 0x7F000001;  // 127.0.0.1

}  // namespace

int freeLoopbackPort() {
    uint16_t port = 0;
    loopback::closeSocket(loopback::listenOn(0, port));
    return port;
}

bool loopbackPortOpen(int port) {
    const loopback::Socket s = loopback::connectTo(kLoopback, uint16_t(port));
    loopback::closeSocket(s);
    return s != loopback::kNoSocket;
}

}  // namespace testsupport
