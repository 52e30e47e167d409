#pragma once
// A small loopback HTTP server of our own for what a real server won't do: cut a
// transfer, send a 404 page, leave out Content-Length, ignore a range, stall.
// It serves one file, one connection at a time, for a bounded number of connections
// and time, and records each request line and Range header.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/peers/loopback_socket.h"

namespace testsupport {

enum class HttpFault {
    None,         // 200, or 206 for "bytes=N-"
    CutAfter,     // as None, but closes after `cutAfter` body bytes
    NotFound,     // 404 with an HTML page
    NoLength,     // 200 without Content-Length, ended by closing
    IgnoreRange,  // always 200 with the whole file
    Stall,        // sends `cutAfter` body bytes, then nothing until the client leaves
    Trickle,      // sends the body at `cutAfter` bytes a second, in ten pieces a second
    Endless,      // 200 without Content-Length, then bytes until the client leaves
    HugeLength,   // as Stall, but announcing a Content-Length of 4 GiB
};

struct HttpRequest {
    std::string line;   // "GET /x HTTP/1.1"
    std::string range;  // the Range header's value, empty when none
};

class HttpFaultServer {
public:
    HttpFaultServer(std::string body, HttpFault fault, size_t cutAfter = 0);
    ~HttpFaultServer();
    HttpFaultServer(const HttpFaultServer&) = delete;
    HttpFaultServer& operator=(const HttpFaultServer&) = delete;

    int port() const { return port_; }
    std::string url() const;  // "http://127.0.0.1:PORT/"
    std::vector<HttpRequest> requests();

    static constexpr const char* kNotFoundPage =
        "<html><body><h1>404 Not Found</h1></body></html>\n";

private:
    void serve();
    void handle(loopback::Socket client);

    std::string body_;
    HttpFault fault_;
    size_t cutAfter_;
    loopback::Socket listener_ = loopback::kNoSocket;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::vector<HttpRequest> requests_;
    std::thread thread_;
};

}  // namespace testsupport
