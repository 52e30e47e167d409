#pragma once
// Tests that end processes by name ("ClientUpdate.exe", ...) must meet the test's own
// processes only. On Linux such a test runs again, alone, in a PID namespace of its own
// (pid_namespace.h). Under Wine the process list holds the programs of the suite's own
// prefix only, where nothing runs under an updater's name but what a test starts.
//
// Such a test begins with
//     if (testsupport::rerunAmongOwnProcesses()) return;

namespace testsupport {

// True when the test has been run elsewhere and its result taken (Linux, outside the
// namespace); false when the test goes on here.
bool rerunAmongOwnProcesses();

}  // namespace testsupport
