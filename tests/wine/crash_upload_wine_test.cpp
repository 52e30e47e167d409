// Crash mode's bounds and numbered names under Wine: the Windows suite's own tests of
// them (tests/ftp/crash_upload_port21_test.cpp), which need port 21, run here inside a
// private network namespace of the test's own, where the suite's scripted FTP server
// may take that port. The ordinary Windows suite skips them.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/sandbox/port21.h"
#include "support/sandbox/private_network.h"
#include "support/sandbox/wine_session.h"
#include "support/system/subprocess.h"

using namespace testsupport;

TEST(CrashUploadUnderWine, TheBoundsAndNumberedNamesHoldOnPort21) {
    const std::string suite = windowsBuildFile("launcher_tests.exe");
    if (!std::filesystem::exists(suite))
        GTEST_SKIP() << suite << " is missing: bash scripts/build-windows.sh test builds it";
    std::string why;
    if (!privateNetworkAvailable(why))
        GTEST_SKIP() << "needs a private network namespace (unshare -rn) for port 21: " << why;

    inPrivateNetwork([&suite] {
        std::string why;
        ASSERT_TRUE(narrowLoopback(why)) << why;
        WineSession wine;
        ASSERT_EQ(wine.failure(), "");
        ProgramOptions options;
        options.environment = {{kPrivateNetworkVariable, "1"}};
        options.timeoutSeconds = 240;
        const ProgramResult result =
            wine.run(suite, {"--gtest_filter=CrashUploadOnPort21.*"}, options);
        const std::string transcript = result.out + result.err;
        EXPECT_FALSE(result.timedOut) << transcript;
        EXPECT_EQ(result.exitCode, 0) << transcript;
        // Every test ran: none was skipped for want of the port, and there were some.
        EXPECT_NE(transcript.find("[       OK ] CrashUploadOnPort21."), std::string::npos)
            << transcript;
        EXPECT_EQ(transcript.find("[  SKIPPED ]"), std::string::npos) << transcript;
        EXPECT_EQ(transcript.find("[  FAILED  ]"), std::string::npos) << transcript;
    });
}
