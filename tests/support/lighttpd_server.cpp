#include "support/lighttpd_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace testsupport {

namespace {

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

}  // namespace

int freeLoopbackPort() {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(s);
    return port;
}

bool loopbackPortOpen(int port) {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(port);
    bool open = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(s);
    return open;
}

LighttpdServer::LighttpdServer(const std::string& documentRoot, const std::string& extraConfig) {
    char pattern[] = "/tmp/lighttpd-test-XXXXXX";
    if (!mkdtemp(pattern)) return;
    workDir_ = pattern;
    // A port taken between the probe and the start makes lighttpd exit; try again.
    for (int tries = 0; tries < 5 && !running_; ++tries) {
        port_ = freeLoopbackPort();
        std::ostringstream config;
        config << "server.document-root = \"" << documentRoot << "\"\n"
               << "server.bind = \"127.0.0.1\"\n"
               << "server.port = " << port_ << "\n"
               << "server.errorlog = \"" << workDir_ << "/error.log\"\n"
               << "server.modules = (\"mod_accesslog\")\n"
               << "accesslog.filename = \"" << workDir_ << "/access.log\"\n"
               << "accesslog.format = \"%r|%>s|%{Range}i|%b\"\n"
               // Types, as a server set up for downloads assigns them: for a file of no
               // assigned type lighttpd names no ETag and no Last-Modified date.
               << "mimetype.assign = (\".zip\" => \"application/zip\", "
                  "\"\" => \"application/octet-stream\")\n"
               << extraConfig;
        SubprocessOptions options;
        options.standardInput = Redirect::pipe();
        options.standardOutput = Redirect::null();
        options.standardError = Redirect::null();
        Subprocess server("lighttpd", {"-D", "-f", "-"}, options);
        server.write(config.str());
        server.closeInput();
        for (int waited = 0; server.started() && waited < 5000; waited += 10) {
            if (loopbackPortOpen(port_)) {
                server_ = std::move(server);
                running_ = true;
                break;
            }
            if (server.wait(10)) break;
        }
    }
}

LighttpdServer::~LighttpdServer() {
    stop();
    if (!workDir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(workDir_, ignored);
    }
}

std::string LighttpdServer::url() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

// SIGTERM: lighttpd completes its log before it goes.
void LighttpdServer::stop() {
    server_.stop(5000);
    running_ = false;
}

std::string LighttpdServer::errorLog() const {
    std::ifstream log(workDir_ + "/error.log");
    return std::string(std::istreambuf_iterator<char>(log), {});
}

std::vector<AccessLogLine> LighttpdServer::stopAndReadLog() {
    stop();
    std::vector<AccessLogLine> lines;
    std::ifstream log(workDir_ + "/access.log");
    std::string line;
    while (std::getline(log, line)) {
        AccessLogLine entry;
        std::istringstream fields(line);
        std::string status;
        std::getline(fields, entry.request, '|');
        std::getline(fields, status, '|');
        std::getline(fields, entry.range, '|');
        entry.status = std::atoi(status.c_str());
        lines.push_back(entry);
    }
    return lines;
}

}  // namespace testsupport
