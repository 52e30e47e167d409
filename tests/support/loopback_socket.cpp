#include "support/loopback_socket.h"

namespace testsupport {

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
