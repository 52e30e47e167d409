#include "launcher/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/launch_arguments.h"
#include "launcher/win_main.h"

using Tokens = std::vector<std::string>;

TEST(CommandLine, SplitModeChoiceAndArguments) {
    struct Case {
        const char* line;
        Tokens tokens;
        bool crash;
        LaunchArguments arguments;  // forward1, forward2, patchIp, patchPort
        // clang-format off
    } cases[] = {
        {"launcher", {"launcher"}, false, {}},
        {"", {}, false, {}},
        {" \t ", {}, false, {}},
        {"\"C:\\My Game\\Launcher.exe\"  x", {"C:\\My Game\\Launcher.exe", "x"}, false, {"x", "", "", ""}},
        {"launcher a b \t ", {"launcher", "a", "b"}, false, {"a", "b", "", ""}},
        {"launcher\t\ta  \t b", {"launcher", "a", "b"}, false, {"a", "b", "", ""}},
        {"launcher \"a b\"", {"launcher", "a b"}, false, {"a b", "", "", ""}},
        // A quote followed by a letter does not end a quoted token...
        {"launcher \"a\"b c\" d", {"launcher", "a\"b c", "d"}, false, {"a\"b c", "d", "", ""}},
        // ...and a quote inside an unquoted token stays part of it.
        {"launcher a\"b c\"", {"launcher", "a\"b", "c\""}, false, {"a\"b", "c\"", "", ""}},
        {"launcher \"open to the end  ", {"launcher", "open to the end  "}, false,
         {"open to the end  ", "", "", ""}},
        {"launcher \"\"", {"launcher", ""}, false, {}},
        // Only the one separator after a closing quote is consumed; the rest are skipped.
        {"launcher \"x\"\t\t\"y\"", {"launcher", "x", "y"}, false, {"x", "y", "", ""}},
        {"launcher \"", {"launcher", ""}, false, {}},
        // An empty argument fills no field, so the next one still lands in forward1.
        {"launcher \"\" a b", {"launcher", "", "a", "b"}, false, {"a", "b", "", ""}},
        {"launcher C:\\Game\\ \\\"x\\\"", {"launcher", "C:\\Game\\", "\\\"x\\\""}, false,
         {"\\\"x\\\"", "", "", ""}},
        {"launcher PatchIP:10.0.0.1 PatchPort:8080 x y z",
         {"launcher", "PatchIP:10.0.0.1", "PatchPort:8080", "x", "y", "z"}, false,
         {"x", "y", "10.0.0.1", "8080"}},
        {"launcher patchip:1.2.3.4 PATCHPORT:1 PatchIp:5 C:\\Game",
         {"launcher", "patchip:1.2.3.4", "PATCHPORT:1", "PatchIp:5", "C:\\Game"}, false, {}},
        {"launcher PatchIP:", {"launcher", "PatchIP:"}, false, {}},
        {"launcher PatchIP:http://h:81/ PatchPort:80x", {"launcher", "PatchIP:http://h:81/", "PatchPort:80x"},
         false, {"", "", "http://h:81/", "80x"}},
        {"launcher PatchIP:1 a PatchIP:2 PatchPort:3 PatchPort:", {"launcher", "PatchIP:1", "a", "PatchIP:2",
         "PatchPort:3", "PatchPort:"}, false, {"a", "", "2", ""}},
        {"launcher PatchIPX:1 \" PatchIP:2\" :3", {"launcher", "PatchIPX:1", " PatchIP:2", ":3"}, false, {}},
        {"launcher crash a b c", {"launcher", "crash", "a", "b", "c"}, true, {}},
        {"launcher crashdump a b c", {"launcher", "crashdump", "a", "b", "c"}, true, {}},
        {"launcher crash a b c x", {"launcher", "crash", "a", "b", "c", "x"}, true, {}},
        // Three arguments choose crash mode, though it then lacks its folder (token 4).
        {"launcher crash a b", {"launcher", "crash", "a", "b"}, true, {}},
        {"launcher crash a", {"launcher", "crash", "a"}, false, {"crash", "a", "", ""}},
        {"launcher crash \"\" \"\"", {"launcher", "crash", "", ""}, true, {}},
        {"launcher Crash a b c", {"launcher", "Crash", "a", "b", "c"}, false, {"Crash", "a", "", ""}},
        {"launcher x crash a b c", {"launcher", "x", "crash", "a", "b", "c"}, false, {"x", "crash", "", ""}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "[" << c.line << "]");
        const Tokens tokens = splitCommandLine(c.line);
        EXPECT_EQ(tokens, c.tokens);
        EXPECT_EQ(isCrashMode(tokens), c.crash);
        if (c.crash) continue;
        LaunchArguments parsed;
        parseLaunchArguments(tokens, parsed);
        EXPECT_EQ(parsed.forward1, c.arguments.forward1);
        EXPECT_EQ(parsed.forward2, c.arguments.forward2);
        EXPECT_EQ(parsed.patchIp, c.arguments.patchIp);
        EXPECT_EQ(parsed.patchPort, c.arguments.patchPort);
    }
}
