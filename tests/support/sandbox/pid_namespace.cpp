#include "support/sandbox/pid_namespace.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/system/subprocess.h"

namespace testsupport {

namespace {

// Set for the test program that runs inside; it is process 1 there.
const char kMarker[] = "LAUNCHER_TEST_OWN_PID_NAMESPACE";

// unshare's options: a new PID namespace whose first process (the test program, forked
// by unshare) sees a /proc of its own, ended when unshare ends. Root keeps its user, so
// a test can still become "nobody"; others need a user namespace for it, mapped to
// themselves so that they stay an ordinary user inside.
std::vector<std::string> unshareOptions() {
    std::vector<std::string> options = {"--pid", "--fork", "--mount-proc", "--kill-child"};
    if (::geteuid() != 0) options.push_back("--map-current-user");
    return options;
}

// Empty when a PID namespace can be made here, else why not.
const std::string& unavailableBecause() {
    static const std::string why = [] {
        std::vector<std::string> arguments = unshareOptions();
        arguments.push_back("/bin/true");
        try {
            ProgramResult probe = runProgram("unshare", arguments);
            if (probe.exitCode == 0) return std::string();
            return "unshare of a PID namespace refused: " + probe.err;
        } catch (const std::exception& e) {
            return std::string(e.what());
        }
    }();
    return why;
}

std::string ownProgram() {
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    path.resize(n > 0 ? size_t(n) : 0);
    return path;
}

}  // namespace

bool rerunInOwnPidNamespace() {
    if (std::getenv(kMarker) && ::getpid() == 1) return false;

    const std::string& why = unavailableBecause();
    if (!why.empty()) {
        [&] { GTEST_SKIP() << "ends processes by name, which needs a PID namespace: " << why; }();
        return true;
    }
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    ProgramOptions options;
    options.environment = {{kMarker, "1"}};
    // The outer run writes the report, when one is asked for.
    options.unsetEnvironment = {"GTEST_OUTPUT"};
    options.timeoutSeconds = 240;
    std::vector<std::string> arguments = unshareOptions();
    arguments.insert(arguments.end(),
                     {"--", ownProgram(),
                      std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name(),
                      "--gtest_color=no"});
    const ProgramResult inner = runProgram("unshare", arguments, options);
    std::fwrite(inner.out.data(), 1, inner.out.size(), stdout);
    std::fwrite(inner.err.data(), 1, inner.err.size(), stderr);
    std::fflush(nullptr);

    if (inner.timedOut) {
        ADD_FAILURE() << "the run in its own PID namespace did not end within "
                      << options.timeoutSeconds << " s";
    } else if (inner.exitCode != 0) {
        ADD_FAILURE() << "the run in its own PID namespace failed (its output is above)";
    } else if (inner.out.find("[  PASSED  ] 1 test") == std::string::npos) {
        if (inner.out.find("[  SKIPPED ] 1 test") != std::string::npos)
            [] { GTEST_SKIP() << "skipped in its own PID namespace (see above)"; }();
        else
            ADD_FAILURE() << "the run in its own PID namespace did not run the test";
    }
    return true;
}

}  // namespace testsupport
