#pragma once
// The system's own TCP layer: blocking IPv4 stream sockets whose every wait is bounded
// by a time-out in whole seconds and whose failures are raised as
// CBlockingSocketException naming the operation.

#include <string>

#include "ftp/blocking_socket_exception.h"
#include "platform/net.h"

namespace nsSocket {

// Names of our own: <winsock2.h> defines SOCKET, INVALID_SOCKET and SOCK_STREAM as macros.
using SocketHandle = platform::net::SocketHandle;
using SocketAddress = platform::net::Ipv4Address;
constexpr SocketHandle kInvalidSocket = platform::net::kInvalidSocket;
constexpr int kSockStream = platform::net::kSockStream;  // SOCK_STREAM

// Accept or connect without a bound, as the classic blocking calls.
constexpr int kWaitForever = -1;

class IBlockingSocket {
public:
    virtual ~IBlockingSocket() = default;
    // A new, unopened object of the same class, owned by the caller.
    virtual IBlockingSocket* NewSocket() const = 0;
    virtual void Create(int type) = 0;
    // A time-out in seconds other than kWaitForever bounds the handshake: a peer that
    // never completes it raises "Connect" with WSAETIMEDOUT.
    virtual void Connect(const SocketAddress& address, int timeoutSeconds = kWaitForever) = 0;
    virtual void Bind(const SocketAddress& address) = 0;
    virtual void Listen() = 0;
    virtual void Discard() = 0;
    // False when the wait was interrupted. A time-out in seconds other than
    // kWaitForever bounds the wait for a peer ("Accept timeout").
    virtual bool Accept(IBlockingSocket& connection, SocketAddress& peer,
                        int timeoutSeconds = kWaitForever) = 0;
    virtual void Close() = 0;
    virtual int SendAll(const char* data, int length, int timeoutSeconds) = 0;
    // Bytes received; 0 when the peer closed the connection.
    virtual int Receive(char* buffer, int size, int timeoutSeconds) = 0;
    virtual void GetSockName(SocketAddress& address) = 0;
    virtual SocketHandle Handle() const = 0;
    virtual SocketAddress GetHostByName(const std::string& name, unsigned short port) = 0;
    // Takes over a handle (how Accept fills the connection object).
    virtual void Attach(SocketHandle handle) = 0;
};

class CBlockingSocket : public IBlockingSocket {
public:
    CBlockingSocket() = default;
    // The handle is not closed here: the owner closes it with Close or Discard first.
    ~CBlockingSocket() override = default;

    IBlockingSocket* NewSocket() const override;
    void Create(int type) override;
    void Connect(const SocketAddress& address, int timeoutSeconds = kWaitForever) override;
    void Bind(const SocketAddress& address) override;
    void Listen() override;
    void Discard() override;
    bool Accept(IBlockingSocket& connection, SocketAddress& peer,
                int timeoutSeconds = kWaitForever) override;
    void Close() override;
    int SendAll(const char* data, int length, int timeoutSeconds) override;
    int Receive(char* buffer, int size, int timeoutSeconds) override;
    void GetSockName(SocketAddress& address) override;
    SocketHandle Handle() const override { return handle; }
    SocketAddress GetHostByName(const std::string& name, unsigned short port) override;
    void Attach(SocketHandle newHandle) override { handle = newHandle; }

    // One wait and one send; may send fewer bytes than asked.
    int Send(const char* data, int length, int timeoutSeconds);

private:
    SocketHandle handle = 0;
};

}  // namespace nsSocket
