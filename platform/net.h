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

// Windows socket error numbers (WSAGetLastError values), under names of our own:
// <winsock2.h> defines the WSAE* names as macros. Each keeps its Windows number.
namespace wsa {
constexpr int kInterrupted = 10004;                 // WSAEINTR
constexpr int kBadHandle = 10009;                   // WSAEBADF
constexpr int kAccessDenied = 10013;                // WSAEACCES
constexpr int kBadAddress = 10014;                  // WSAEFAULT
constexpr int kInvalidArgument = 10022;             // WSAEINVAL
constexpr int kTooManySockets = 10024;              // WSAEMFILE
constexpr int kWouldBlock = 10035;                  // WSAEWOULDBLOCK
constexpr int kInProgress = 10036;                  // WSAEINPROGRESS
constexpr int kAlreadyInProgress = 10037;           // WSAEALREADY
constexpr int kNotSocket = 10038;                   // WSAENOTSOCK
constexpr int kDestinationRequired = 10039;         // WSAEDESTADDRREQ
constexpr int kMessageTooLong = 10040;              // WSAEMSGSIZE
constexpr int kWrongProtocolType = 10041;           // WSAEPROTOTYPE
constexpr int kBadProtocolOption = 10042;           // WSAENOPROTOOPT
constexpr int kProtocolNotSupported = 10043;        // WSAEPROTONOSUPPORT
constexpr int kSocketTypeNotSupported = 10044;      // WSAESOCKTNOSUPPORT
constexpr int kOperationNotSupported = 10045;       // WSAEOPNOTSUPP
constexpr int kProtocolFamilyNotSupported = 10046;  // WSAEPFNOSUPPORT
constexpr int kAddressFamilyNotSupported = 10047;   // WSAEAFNOSUPPORT
constexpr int kAddressInUse = 10048;                // WSAEADDRINUSE
constexpr int kAddressNotAvailable = 10049;         // WSAEADDRNOTAVAIL
constexpr int kNetworkDown = 10050;                 // WSAENETDOWN
constexpr int kNetworkUnreachable = 10051;          // WSAENETUNREACH
constexpr int kNetworkReset = 10052;                // WSAENETRESET
constexpr int kConnectionAborted = 10053;           // WSAECONNABORTED
constexpr int kConnectionReset = 10054;             // WSAECONNRESET
constexpr int kNoBufferSpace = 10055;               // WSAENOBUFS
constexpr int kAlreadyConnected = 10056;            // WSAEISCONN
constexpr int kNotConnected = 10057;                // WSAENOTCONN
constexpr int kShutDown = 10058;                    // WSAESHUTDOWN
constexpr int kTimedOut = 10060;                    // WSAETIMEDOUT
constexpr int kConnectionRefused = 10061;           // WSAECONNREFUSED
constexpr int kNameTooLong = 10063;                 // WSAENAMETOOLONG
constexpr int kHostDown = 10064;                    // WSAEHOSTDOWN
constexpr int kHostUnreachable = 10065;             // WSAEHOSTUNREACH
constexpr int kHostNotFound = 11001;                // WSAHOST_NOT_FOUND
constexpr int kTryAgain = 11002;                    // WSATRY_AGAIN
constexpr int kNoRecovery = 11003;                  // WSANO_RECOVERY
constexpr int kNoData = 11004;                      // WSANO_DATA
}  // namespace wsa

// WSAGetLastError / WSASetLastError: per thread.
int lastError();
void setLastError(int code);

// socket(AF_INET, type, 0), never inherited by programs we start. kInvalidSocket on
// failure.
SocketHandle createSocket(int type);
// connect, waiting at most `timeoutMs` for the handshake (negative: without bound); a
// peer that never completes it fails with wsa::kTimedOut. The socket blocks again
// afterwards.
bool connectSocket(SocketHandle socket, const Ipv4Address& address, int timeoutMs = -1);
bool bindSocket(SocketHandle socket, const Ipv4Address& address);
bool listenSocket(SocketHandle socket, int backlog);
// accept; the new socket is not inherited either. kInvalidSocket on failure.
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
// inet_ntoa.
std::string dottedText(uint32_t address);

// Whether the system's TLS fails a handshake when it cannot reach a certificate's
// revocation list or responder (Schannel on Windows does; OpenSSL checks none unless
// asked). Antivirus TLS inspection and captive networks block those look-ups, so
// transfers then ask for a best-effort check.
bool tlsRevocationFailsHard();

}  // namespace platform::net
