#include "support/sandbox/child_process.h"

#include <gtest/gtest.h>

#include "support/system/subprocess.h"

namespace testsupport {

int runInChild(const std::function<int()>& body) {
    SubprocessOptions options;
    options.standardInput = Redirect::inherit();
    options.standardOutput = Redirect::inherit();
    options.standardError = Redirect::inherit();
    Subprocess child = Subprocess::fork(body, options);
    if (!child.started()) return -1;
    child.wait(-1);
    return child.exitCode();
}

int childResult() { return testing::Test::HasFailure() ? 1 : 0; }

}  // namespace testsupport
