#pragma once
// The access log as every LighttpdServer configures it ("%r|%>s|%{Range}i|%b").

#include <string>
#include <vector>

#include "support/peers/lighttpd_server.h"

namespace testsupport {

std::vector<AccessLogLine> parseAccessLog(const std::string& text);

}  // namespace testsupport
