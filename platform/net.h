#pragma once
// Thin IPv4 TCP socket services (the Winsock calls the socket layer needs).
// Failures set lastError() to the Windows socket error number, so callers and
// their messages read the same on every system.

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::net {

// A socket handle as Winsock gives it: 0 means "no socket", kInvalidSocket a failed create.
using SocketHandle = std::uintptr_t;
constexpr SocketHandle kInvalidSocket = ~SocketHandle(0);

constexpr int kSockStream = 1;  // SOCK_STREAM
constexpr int kSockDgram = 2;   // SOCK_DGRAM

// sockaddr_in of family AF_INET, with address and port in host byte order.
struct Ipv4Address {
    uint32_t address = 0;  // 0 is INADDR_ANY
    uint16_t port = 0;
};

// Windows socket error numbers (WSAGetLastError values).
namespace wsa {
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAENAMETOOLONG = 10063;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;
}  // namespace wsa

// WSAGetLastError / WSASetLastError: per thread.
int lastError();
void setLastError(int code);

// The errno table and the h_errno table behind lastError().
int errorFromErrno(int err);
int errorFromHostErrno(int err);

// socket(AF_INET, type, 0), close-on-exec. kInvalidSocket on failure.
SocketHandle createSocket(int type);
bool connectSocket(SocketHandle socket, const Ipv4Address& address);
bool bindSocket(SocketHandle socket, const Ipv4Address& address);
bool listenSocket(SocketHandle socket, int backlog);
// accept; the new socket is close-on-exec. kInvalidSocket on failure.
SocketHandle acceptSocket(SocketHandle socket, Ipv4Address& peer);
// One send without blocking (the caller waits first); a peer that has gone raises an
// error here instead of a signal. Bytes sent, 0 when the buffer is full, -1 on failure.
long sendSome(SocketHandle socket, const void* data, size_t length);
// One recv: bytes received, 0 when the peer closed, -1 on failure.
long receiveSome(SocketHandle socket, void* buffer, size_t size);
bool closeSocket(SocketHandle socket);
bool localAddress(SocketHandle socket, Ipv4Address& address);

// A wait on this one socket: 1 ready, 0 timed out, -1 failed. A negative time-out
// waits without bound. Readiness includes a closed or failed connection.
int waitReadable(SocketHandle socket, int timeoutMs);
int waitWritable(SocketHandle socket, int timeoutMs);

// gethostbyname: the first IPv4 address of a host name or dotted text.
bool lookUpHost(std::string_view name, uint32_t& address);
// gethostbyaddr: the host's name.
bool lookUpAddress(uint32_t address, std::string& name);
// inet_ntoa.
std::string dottedText(uint32_t address);

}  // namespace platform::net
