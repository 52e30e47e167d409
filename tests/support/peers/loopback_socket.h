#pragma once
// TCP sockets on 127.0.0.1 for the tests' own servers (scripted FTP, HTTP faults) and
// for port probes: the few calls they need, the same on every system. Each system's
// calls are in loopback_socket_<system>.cpp, what is built on them in loopback_socket.cpp.

#include <cstddef>
#include <cstdint>

namespace testsupport::loopback {

// A socket as the system gives it (a descriptor, a SOCKET); kNoSocket for none.
using Socket = std::intptr_t;
constexpr Socket kNoSocket = -1;

// A socket listening on 127.0.0.1 at `port` (0: a free one), close-on-exec, with the
// port it took in `boundPort`; kNoSocket on failure.
Socket listenOn(uint16_t port, uint16_t& boundPort);
// The next connection, waiting at most `timeoutMs`; kNoSocket when none came.
Socket acceptWithin(Socket listener, int timeoutMs);
// A connection to `address` (host byte order) at `port`; kNoSocket when refused.
Socket connectTo(uint32_t address, uint16_t port);

// Whether the socket has something to read (data, or the peer's end) within `timeoutMs`.
bool readableWithin(Socket socket, int timeoutMs);
// One receive: bytes, 0 when the peer closed, -1 on failure.
long receiveSome(Socket socket, char* buffer, size_t size);
// One send: the bytes taken, -1 on failure (never a signal when the peer has gone).
long sendSome(Socket socket, const char* data, size_t size);
// Sends every byte; false when the peer has gone.
bool sendAll(Socket socket, const char* data, size_t size);
// No more sending: the peer reads the end of the data.
void shutdownSending(Socket socket);
void closeSocket(Socket socket);

// The size of the system's send buffer for this socket.
bool setSendBufferSize(Socket socket, int bytes);
// Whether a program started now would inherit the socket.
bool inheritedByChildren(Socket socket);

}  // namespace testsupport::loopback

namespace testsupport {

// A loopback port nothing listens on right now.
int freeLoopbackPort();
// Whether something accepts connections on the loopback port.
bool loopbackPortOpen(int port);

}  // namespace testsupport
