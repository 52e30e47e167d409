#include "ftp/blocking_socket.h"

#include <climits>

namespace nsSocket {

namespace net = platform::net;

namespace {

int toMilliseconds(int seconds) {
    if (seconds < 0) return -1;
    return seconds > INT_MAX / 1000 ? INT_MAX : seconds * 1000;
}

}  // namespace

IBlockingSocket* CBlockingSocket::NewSocket() const { return new CBlockingSocket; }

void CBlockingSocket::Create(int type) {
    handle = net::createSocket(type);
    if (handle == kInvalidSocket) throw CBlockingSocketException("Create");
}

void CBlockingSocket::Connect(const SocketAddress& address, int timeoutSeconds) {
    if (!net::connectSocket(handle, address, toMilliseconds(timeoutSeconds)))
        throw CBlockingSocketException("Connect");
}

void CBlockingSocket::Bind(const SocketAddress& address) {
    if (!net::bindSocket(handle, address)) throw CBlockingSocketException("Bind");
}

void CBlockingSocket::Listen() {
    if (!net::listenSocket(handle, 5)) throw CBlockingSocketException("Listen");
}

void CBlockingSocket::Discard() {
    if (handle == 0) return;
    if (handle != kInvalidSocket) net::closeSocket(handle);
    handle = 0;
}

bool CBlockingSocket::Accept(IBlockingSocket& connection, SocketAddress& peer, int timeoutSeconds) {
    // Waiting first keeps a server that never connects back from holding us for ever.
    int ready = net::waitReadable(handle, toMilliseconds(timeoutSeconds));
    if (ready == 0) throw CBlockingSocketException("Accept timeout");
    if (ready < 0) {
        if (net::lastError() == net::wsa::kInterrupted) return false;
        throw CBlockingSocketException("Accept");
    }
    connection.Attach(net::acceptSocket(handle, peer));
    if (connection.Handle() != kInvalidSocket) return true;
    connection.Attach(0);
    if (net::lastError() == net::wsa::kInterrupted) return false;
    throw CBlockingSocketException("Accept");
}

void CBlockingSocket::Close() {
    if (handle == 0) return;
    if (handle == kInvalidSocket || !net::closeSocket(handle)) {
        if (handle == kInvalidSocket) net::setLastError(net::wsa::kNotSocket);
        throw CBlockingSocketException("Close");
    }
    handle = 0;
}

int CBlockingSocket::Send(const char* data, int length, int timeoutSeconds) {
    if (net::waitWritable(handle, toMilliseconds(timeoutSeconds)) == 0)
        throw CBlockingSocketException("Send timeout");
    long sent = net::sendSome(handle, data, length < 0 ? 0 : static_cast<size_t>(length));
    if (sent < 0) throw CBlockingSocketException("Send");
    return static_cast<int>(sent);
}

int CBlockingSocket::SendAll(const char* data, int length, int timeoutSeconds) {
    int total = 0;
    do {
        total += Send(data + total, length - total, timeoutSeconds);
    } while (total < length);
    return total;
}

int CBlockingSocket::Receive(char* buffer, int size, int timeoutSeconds) {
    if (net::waitReadable(handle, toMilliseconds(timeoutSeconds)) == 0)
        throw CBlockingSocketException("Receive timeout");
    long received = net::receiveSome(handle, buffer, size < 0 ? 0 : static_cast<size_t>(size));
    if (received < 0) throw CBlockingSocketException("Receive");
    return static_cast<int>(received);
}

void CBlockingSocket::GetSockName(SocketAddress& address) {
    if (!net::localAddress(handle, address)) throw CBlockingSocketException("GetSockName");
}

SocketAddress CBlockingSocket::GetHostByName(const std::string& name, unsigned short port) {
    SocketAddress address;
    if (!net::lookUpHost(name, address.address)) throw CBlockingSocketException("GetHostByName");
    address.port = port;
    return address;
}

}  // namespace nsSocket
