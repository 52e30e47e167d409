// The FTP reply reader against a server that sends any bytes and hangs up. The first
// input byte shapes the reading: bit 7 reads single lines instead of whole replies,
// bits 0-6 cap each receive (0: no cap), so lines and replies split across receives.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "ftp/ftp_client.h"
#include "platform/net.h"

namespace net = platform::net;

namespace {

class CappedSocket : public nsSocket::CBlockingSocket {
public:
    explicit CappedSocket(int cap) : cap_(cap) {}
    int Receive(char* buffer, int size, int timeoutSeconds) override {
        return CBlockingSocket::Receive(buffer, cap_ > 0 ? std::min(size, cap_) : size,
                                        timeoutSeconds);
    }

private:
    int cap_;
};

struct ReplyCounter : nsFTP::IFtpObserver {
    size_t replies = 0;
    void ReplyReceived(const nsFTP::CFtpReply& reply) override {
        ++replies;
        if (reply.text.size() > nsFTP::CFTPClient::kMaxReplyBytes) __builtin_trap();
    }
};

struct Listener {
    net::SocketHandle handle = net::kInvalidSocket;
    uint16_t port = 0;
    Listener() {
        handle = net::createSocket(net::kSockStream);
        net::Ipv4Address address{0x7F000001, 0};
        if (handle == net::kInvalidSocket || !net::bindSocket(handle, address) ||
            !net::listenSocket(handle, 4) || !net::localAddress(handle, address))
            __builtin_trap();
        port = address.port;
    }
    ~Listener() { net::closeSocket(handle); }
};

bool sendAll(net::SocketHandle socket, const uint8_t* data, size_t size) {
    while (size > 0) {
        if (net::waitWritable(socket, 1000) != 1) return false;
        long sent = net::sendSome(socket, data, size);
        if (sent < 0) return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Listener listener;
    if (size == 0) return 0;
    const bool lineMode = (data[0] & 0x80) != 0;
    const int cap = data[0] & 0x7F;

    ReplyCounter counter;  // outlives the client, which may still report
    nsFTP::CFTPClient client(new CappedSocket(cap));
    client.AttachObserver(&counter);
    client.SetTimeout(1);
    if (!client.ConnectControl("127.0.0.1", listener.port)) __builtin_trap();
    net::Ipv4Address peer;
    net::SocketHandle server = net::acceptSocket(listener.handle, peer);
    if (server == net::kInvalidSocket) __builtin_trap();
    // The whole input fits the socket buffers, so the server can finish before reading.
    bool sent = sendAll(server, data + 1, size - 1);
    net::closeSocket(server);
    if (!sent) __builtin_trap();

    // Every read that succeeds consumes at least a line feed or the final bytes, so
    // more reads than bytes means the reader is stuck.
    for (size_t reads = 0; reads <= size; ++reads) {
        if (lineMode) {
            std::string line;
            if (!client.ReadReplyLine(line)) return 0;
        } else {
            // False for an invalid reply too; only a false without a reply is the end.
            const size_t before = counter.replies;
            nsFTP::CFtpReply reply;
            if (!client.ReadReply(reply) && counter.replies == before) return 0;
        }
    }
    __builtin_trap();
}
