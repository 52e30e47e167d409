#pragma once
// A real web server for the download tests: lighttpd on a free loopback port over a
// folder the test fills, with an access log of each request, status and range.

#include <string>
#include <vector>

#include "support/subprocess.h"

namespace testsupport {

struct AccessLogLine {
    std::string request;  // "GET /name HTTP/1.1"
    int status = 0;
    std::string range;  // the Range header, "-" when none
};

class LighttpdServer {
public:
    // `extraConfig` is appended to the configuration (TLS settings, for instance).
    explicit LighttpdServer(const std::string& documentRoot, const std::string& extraConfig = "");
    ~LighttpdServer();
    LighttpdServer(const LighttpdServer&) = delete;
    LighttpdServer& operator=(const LighttpdServer&) = delete;

    bool running() const { return running_; }
    int port() const { return port_; }
    // "http://127.0.0.1:PORT/"
    std::string url() const;

    // Stops the server (the log is complete only then) and returns the log.
    std::vector<AccessLogLine> stopAndReadLog();
    // lighttpd's own messages so far.
    std::string errorLog() const;

private:
    void stop();

    std::string workDir_;
    Subprocess server_;
    bool running_ = false;
    int port_ = 0;
};

// A loopback port nothing listens on right now.
int freeLoopbackPort();
// Whether something accepts connections on the loopback port.
bool loopbackPortOpen(int port);

}  // namespace testsupport
