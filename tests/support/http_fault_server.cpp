#include "support/http_fault_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace testsupport {

namespace {

constexpr int kMaxConnections = 20;
constexpr auto kMaxLifetime = std::chrono::seconds(30);

bool sendAll(int s, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = send(s, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

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
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

HttpFaultServer::~HttpFaultServer() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) close(listener_);
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
        pollfd waiting{listener_, POLLIN, 0};
        if (poll(&waiting, 1, 50) <= 0) continue;
        int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        ++served;
        handle(client);
        close(client);
    }
}

void HttpFaultServer::handle(int client) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        pollfd readable{client, POLLIN, 0};
        if (poll(&readable, 1, 2000) <= 0) return;
        ssize_t n = recv(client, buffer, sizeof buffer, 0);
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
        if (fault_ != HttpFault::NoLength && fault_ != HttpFault::Endless)
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
                pollfd gone{client, POLLIN, 0};
                if (poll(&gone, 1, 100) > 0 && recv(client, buffer, sizeof buffer, 0) <= 0) break;
            }
        }
        shutdown(client, SHUT_WR);
        return;
    }
    size_t limit = content.size();
    if (fault_ == HttpFault::CutAfter || fault_ == HttpFault::Stall)
        limit = std::min(limit, cutAfter_);
    if (!sendAll(client, content.data(), limit)) return;
    if (fault_ == HttpFault::Stall) {
        // Wait, bounded, for the client to give up and close.
        for (int waited = 0; waited < 20000 && !stopping_; waited += 50) {
            pollfd gone{client, POLLIN, 0};
            if (poll(&gone, 1, 50) > 0 && recv(client, buffer, sizeof buffer, 0) <= 0) break;
        }
    }
    shutdown(client, SHUT_WR);
}

}  // namespace testsupport
