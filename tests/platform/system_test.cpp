// Process-wide services on every system.

#include "platform/system.h"

#include <gtest/gtest.h>

#include <string>

#include "support/system/environment.h"
#include "support/system/temp_dir.h"

using namespace platform;

// A named lock is the process's until it ends: a second claim of the same name finds it
// taken (a lock file on Linux, a named mutex on Windows), another name is free.
TEST(SingleInstance, SecondClaimOfANameFindsItTaken) {
    testsupport::TempDir runtime;
    testsupport::setEnvironment("XDG_RUNTIME_DIR", runtime.path());
    // Names of this test's own, so that no other program's lock is met.
    const std::string name = "Lancher-test-" + runtime.path().substr(runtime.path().size() - 8);
    EXPECT_EQ(acquireSingleInstance(name), InstanceLock::Acquired);
    EXPECT_EQ(acquireSingleInstance(name), InstanceLock::AlreadyRunning);
    EXPECT_EQ(acquireSingleInstance(name + "-other"), InstanceLock::Acquired);
}
