#include "support/system/environment.h"

#include <cstdlib>

namespace testsupport {

PathPrefix::PathPrefix(const std::string& folder) {
    const char* old = std::getenv("PATH");
    saved_ = old ? old : "";
    setEnvironment("PATH", folder + pathListSeparator() + saved_);
}

PathPrefix::~PathPrefix() { setEnvironment("PATH", saved_); }

}  // namespace testsupport
