#pragma once
// A real web server for the download tests: lighttpd on a free loopback port over a
// folder the test fills, with an access log of each request, status and range.
// On Linux the test starts it itself (lighttpd_server_posix.cpp). A Windows test under
// Wine cannot wait for a Linux program, so there the Linux side's peer broker
// (peer_broker.py, started by ctest) runs it for as long as the test holds its
// connection to the broker (lighttpd_server_win32.cpp).

#include <string>
#include <vector>

#include "support/peers/loopback_socket.h"
#include "support/system/subprocess.h"

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
    // lighttpd's own messages so far (on Windows without a server: why there is none).
    std::string errorLog() const;

private:
    void stop();

    std::string workDir_;  // Linux: the folder of the configuration and the logs
    Subprocess server_;    // Linux: lighttpd
    loopback::Socket broker_ = loopback::kNoSocket;  // Windows: the broker's connection
    std::string failure_;                            // Windows: why no server runs
    bool running_ = false;
    int port_ = 0;
};

}  // namespace testsupport
