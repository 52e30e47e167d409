#include "support/peers/http_fault_server.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace testsupport {

using namespace loopback;

namespace {

constexpr int kMaxConnections = 20;
constexpr auto kMaxLifetime = std::chrono::seconds(30);

std::string headerValue(const std::string& head, const char* name) {
    std::string lower = head;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    std::string key = std::string("\r\n") + name + ":";
    auto at = lower.find(key);
    if (at == std::string::npos) return {};
    auto begin = at + key.size();
    auto end = head.find("\r\n", begin);
    std::string value = head.substr(begin, end - begin);
    while (!value.empty() && value.front() == ' ') value.erase(0, 1);
    return value;
}

}  // namespace

HttpFaultServer::HttpFaultServer(std::string body, HttpFault fault, size_t cutAfter)
    : body_(std::move(body)), fault_(fault), cutAfter_(cutAfter) {
    uint16_t port = 0;
    listener_ = listenOn(0, port);
    if (listener_ == kNoSocket) return;
    port_ = port;
    thread_ = std::thread([this] { serve(); });
}

HttpFaultServer::~HttpFaultServer() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    closeSocket(listener_);
}

std::string HttpFaultServer::url() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

std::vector<HttpRequest> HttpFaultServer::requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void HttpFaultServer::serve() {
    auto deadline = std::chrono::steady_clock::now() + kMaxLifetime;
    for (int served = 0;
         served < kMaxConnections && !stopping_ && std::chrono::steady_clock::now() < deadline;) {
        const Socket client = acceptWithin(listener_, 50);
        if (client == kNoSocket) continue;
        ++served;
        handle(client);
        closeSocket(client);
    }
}

void HttpFaultServer::handle(Socket client) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        if (!readableWithin(client, 2000)) return;
        const long n = receiveSome(client, buffer, sizeof buffer);
        if (n <= 0) return;
        head.append(buffer, size_t(n));
    }
    HttpRequest request;
    request.line = head.substr(0, head.find("\r\n"));
    request.range = headerValue(head, "range");
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
    }

    size_t from = 0;
    bool partial = false;
    if (fault_ != HttpFault::IgnoreRange && request.range.rfind("bytes=", 0) == 0) {
        from = std::strtoull(request.range.c_str() + 6, nullptr, 10);
        partial = true;
    }
    std::string reply;
    std::string content;
    if (fault_ == HttpFault::NotFound) {
        content = kNotFoundPage;
        reply = "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: " +
                std::to_string(content.size()) + "\r\n";
    } else if (partial && from >= body_.size()) {
        reply = "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" +
                std::to_string(body_.size()) + "\r\nContent-Length: 0\r\n";
    } else {
        content = body_.substr(from);
        reply = partial ? "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " +
                              std::to_string(from) + "-" + std::to_string(body_.size() - 1) + "/" +
                              std::to_string(body_.size()) + "\r\n"
                        : "HTTP/1.1 200 OK\r\n";
        if (fault_ == HttpFault::HugeLength)
            reply += "Content-Length: 4294967296\r\n";
        else if (fault_ != HttpFault::NoLength && fault_ != HttpFault::Endless)
            reply += "Content-Length: " + std::to_string(content.size()) + "\r\n";
    }
    reply += "Connection: close\r\n\r\n";
    if (!sendAll(client, reply.data(), reply.size())) return;

    if (fault_ == HttpFault::Trickle || fault_ == HttpFault::Endless) {
        // Bounded like a stall: until the client leaves, the body ends or time is up.
        const size_t piece =
            fault_ == HttpFault::Endless ? 65536 : std::max<size_t>(1, cutAfter_ / 10);
        const std::string endless(piece, 'e');
        size_t sent = 0;
        for (int waited = 0; waited < 20000 && !stopping_; waited += 100) {
            const std::string_view next = fault_ == HttpFault::Endless
                                              ? std::string_view(endless)
                                              : std::string_view(content).substr(sent, piece);
            if (next.empty() || !sendAll(client, next.data(), next.size())) break;
            sent += next.size();
            if (fault_ == HttpFault::Trickle) {
                if (readableWithin(client, 100) && receiveSome(client, buffer, sizeof buffer) <= 0)
                    break;
            }
        }
        shutdownSending(client);
        return;
    }
    size_t limit = content.size();
    const bool stall = fault_ == HttpFault::Stall || fault_ == HttpFault::HugeLength;
    if (fault_ == HttpFault::CutAfter || stall) limit = std::min(limit, cutAfter_);
    if (!sendAll(client, content.data(), limit)) return;
    if (stall) {
        // Wait, bounded, for the client to give up and close.
        for (int waited = 0; waited < 20000 && !stopping_; waited += 50) {
            if (readableWithin(client, 50) && receiveSome(client, buffer, sizeof buffer) <= 0)
                break;
        }
    }
    shutdownSending(client);
}

}  // namespace testsupport
