// Crash mode of the Windows program under Wine: launcher.exe in a game folder uploads to
// pyftpdlib on port 21, all inside a private network namespace of the test's own.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "platform/text.h"
#include "support/builders/game_folder.h"
#include "support/peers/pyftpdlib_server.h"
#include "support/sandbox/private_network.h"
#include "support/sandbox/wine_session.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"

using namespace testsupport;

TEST(CrashModeUnderWine, ArchivesArriveInLowerCaseTheSettingsAreMarkedAndTheFolderGoes) {
    ASSERT_EQ(windowsTestBuildProblem(), "");
    SKIP_WITHOUT_PORT_21_SERVER(true);

    inPrivateNetwork([] {
        WineSession wine;
        ASSERT_EQ(wine.failure(), "");
        GameFolder game(windowsBuildFile("launcher.exe"), "launcher.exe");
        game.dir().write("crash/RA_0001.ZIP", "first archive");
        game.dir().write("crash/Ra_0002.Zip.tmp", "second, unfinished");
        game.dir().write("crash/crash.dmp", "memory dump");
        game.dir().write("crash/Old/RA9.zip", "an older one");
        // Code page 950 names: 功 ends in the byte of a backslash (A5 5C), 遊 and 記 in
        // those of "C" and "O" (B9 43, B0 4F), which lower-casing must leave alone.
        game.dir().write("crash/功/RA_0003.ZIP", "in a Chinese folder");
        game.dir().write("crash/RA遊戲記.ZIP", "a Chinese name");
        TempDir server;
        server.makeFolder("root");
        PyftpdlibServer::Options options;
        options.root = server.file("root");
        options.user = "crash";
        options.password = "se:cret";
        PyftpdlibServer ftp(options);
        ASSERT_TRUE(ftp.running()) << "pyftpdlib did not start on port 21";

        ProgramOptions run = game.options();
        run.timeoutSeconds = 90;
        const ProgramResult result =
            wine.run(game.program(), {"crash", "127.0.0.1", "crash:se:cret", "crash"}, run);
        EXPECT_EQ(result.exitCode, 1) << result.err;

        // Every archive under its lower-case name, in the root folder; crash.dmp stays.
        // Names reach the server in the code page's bytes, only single-byte letters
        // lower-cased.
        std::string chinese;
        ASSERT_TRUE(platform::convertText("ra遊戲記.zip", "UTF-8", "CP950", chinese));
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(server.file("root")))
            names.insert(entry.path().filename().string());
        EXPECT_EQ(names, (std::set<std::string>{"ra9.zip", "ra_0001.zip", "ra_0002.zip.tmp",
                                                "ra_0003.zip", chinese}));
        EXPECT_EQ(server.read("root/ra_0001.zip"), "first archive");
        EXPECT_EQ(server.read("root/ra_0002.zip.tmp"), "second, unfinished");
        EXPECT_EQ(server.read("root/ra9.zip"), "an older one");
        EXPECT_EQ(server.read("root/ra_0003.zip"), "in a Chinese folder");
        EXPECT_EQ(server.read("root/" + chinese), "a Chinese name");
        EXPECT_FALSE(game.dir().exists("crash"));
        EXPECT_TRUE(game.dir().exists("launcher.exe"));
        const std::string settings = game.dir().read("KilnDev.ini");
        EXPECT_NE(settings.find("[Crash]"), std::string::npos) << settings;
        EXPECT_NE(settings.find("NeedCheck = 1"), std::string::npos) << settings;
    });
}
