#include <gtest/gtest.h>

#include "support/sandbox/port21.h"
#include "support/sandbox/private_network.h"

namespace testsupport {

bool port21Available(std::string& why) { return privateNetworkAvailable(why); }

void onPrivatePort21(const std::function<void()>& body) {
    inPrivateNetwork([&body] {
        std::string why;
        if (!narrowLoopback(why)) {
            ADD_FAILURE() << why;
            return;
        }
        body();
    });
}

}  // namespace testsupport
