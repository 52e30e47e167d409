#include "support/system/host_paths.h"

namespace testsupport {

std::string hostFile(std::string_view linuxPath) { return std::string(linuxPath); }

std::string linuxPathOf(const std::string& path) { return path; }

}  // namespace testsupport
