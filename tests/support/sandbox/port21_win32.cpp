#include <stdlib.h>

#include "support/sandbox/port21.h"

namespace testsupport {

bool port21Available(std::string& why) {
    const char* value = ::getenv(kPrivateNetworkVariable);
    if (value != nullptr && std::string(value) == "1") return true;
    why = "run by launcher_wine_tests inside a private network (" +
          std::string(kPrivateNetworkVariable) + "=1)";
    return false;
}

// The Linux side made the network around the whole program.
void onPrivatePort21(const std::function<void()>& body) { body(); }

}  // namespace testsupport
