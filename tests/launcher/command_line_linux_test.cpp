// The command line the Linux build rebuilds from its arguments. Linux only: on Windows
// the command line is the caller's own text (GetCommandLineA) and there is nothing to
// rebuild.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/command_line.h"
#include "platform/system.h"
#include "support/sandbox/child_process.h"

using Tokens = std::vector<std::string>;

// The process's command line is rebuilt from its arguments; splitting it must give
// every argument back unchanged, whatever blanks or backslashes it holds.
TEST(CommandLine, ProcessArgumentsSurviveTheRoundTrip) {
    const std::vector<Tokens> argumentLists = {
        {"/game/launcher"},
        {"/my game/launcher", "PatchIP:10.0.0.1", "x"},
        {"launcher", "", "", "a"},
        {"launcher", "two  spaces", " lead", "trail ", "\ttab\t", "   "},
        {"launcher", "C:\\Game\\", "C:\\My Game\\", "back\\\\slashes"},
        {"launcher", "crash", "127.0.0.1", "user:pass word", "C:\\Crash Dumps"},
        {"launcher", "\xe4\xb8\xad\xe6\x96\x87", "\xa4\\"},
    };
    for (const auto& arguments : argumentLists) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        // initProcess sets the locale: keep it out of this process.
        int rc = testsupport::runInChild([&] {
            std::vector<char*> argv;
            for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            platform::initProcess(static_cast<int>(arguments.size()), argv.data());
            EXPECT_EQ(splitCommandLine(), arguments);
            return testsupport::childResult();
        });
        EXPECT_EQ(rc, 0);
    }
}
