#pragma once
// Crash mode always connects to port 21. A test's own server may take that port only
// in a network of the test's own, where nothing else can reach it or be reached.
// On Linux the test makes one (private_network.h). Under Wine the Windows suite takes
// the port only when a Linux test has started it inside such a network and says so
// with LAUNCHER_TEST_PRIVATE_NETWORK=1 (tests/wine/crash_upload_wine_test.cpp); in
// the ordinary Windows suite these tests are skipped.

#include <functional>
#include <string>

namespace testsupport {

// The environment variable that tells the Windows suite it runs in a network of its own.
inline constexpr char kPrivateNetworkVariable[] = "LAUNCHER_TEST_PRIVATE_NETWORK";

// Whether a test may serve port 21 here; `why` tells the reason when not.
bool port21Available(std::string& why);

// Runs `body` where a server of the test may listen on 127.0.0.1 port 21, over a
// loopback that holds what a path across a network holds (narrowLoopback in
// private_network.h), so a slow peer is felt as it would be; the body's failed checks
// fail the calling test.
void onPrivatePort21(const std::function<void()>& body);

}  // namespace testsupport

// The preamble of a test that serves port 21: skips it (GTEST_SKIP returns from the
// test) where port21Available says no. Linux tests that also need pyftpdlib use
// SKIP_WITHOUT_PORT_21_SERVER from private_network.h.
#define SKIP_WITHOUT_PORT_21()                                                 \
    do {                                                                       \
        std::string why_;                                                      \
        if (!::testsupport::port21Available(why_)) {                           \
            GTEST_SKIP() << "needs port 21 in a network of its own: " << why_; \
        }                                                                      \
    } while (0)
