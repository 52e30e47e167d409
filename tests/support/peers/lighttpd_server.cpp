#include "support/peers/lighttpd_server.h"

#include <cstdlib>
#include <sstream>

#include "support/peers/lighttpd_access_log.h"

namespace testsupport {

std::string LighttpdServer::url() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

std::vector<AccessLogLine> parseAccessLog(const std::string& text) {
    std::vector<AccessLogLine> lines;
    std::istringstream log(text);
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
