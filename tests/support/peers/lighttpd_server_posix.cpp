#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "support/peers/lighttpd_access_log.h"
#include "support/peers/lighttpd_server.h"

namespace testsupport {

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
    std::ifstream log(workDir_ + "/access.log");
    return parseAccessLog(std::string(std::istreambuf_iterator<char>(log), {}));
}

}  // namespace testsupport
