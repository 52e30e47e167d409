#pragma once
// Runs a piece of the test in a forked child, for process-wide state (locks held until
// exit, environment, locale, namespaces) that must not leak into the rest of the test
// program.

#include <functional>

namespace testsupport {

// Forks, runs `body` in the child (standard streams shared with ours) and ends the
// child with its result; returns that exit code, or -1 when the child died by a signal.
int runInChild(const std::function<int()>& body);

// In a child after a body of GoogleTest checks: 0 when none failed, else 1.
int childResult();

}  // namespace testsupport
