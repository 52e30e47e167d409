#pragma once
// Tests that end processes by name ("ClientUpdate.exe", ...) run in a PID namespace of
// their own with its own /proc, so the process terminator sees the test's processes
// and no others: not a stand-in updater of a test running beside it, and, when the
// tests run as root, not another user's program. Whatever the test leaves running
// there ends with it.
//
// Such a test begins with
//     if (testsupport::rerunInOwnPidNamespace()) return;

namespace testsupport {

// Outside the namespace: runs the current test again, alone, in a new PID namespace
// (unshare --pid --fork --mount-proc), copies that run's output to ours, takes its
// result as this test's and returns true. Skips the test when no PID namespace can be
// made here. Inside the namespace: returns false, and the test goes on.
bool rerunInOwnPidNamespace();

}  // namespace testsupport
