// Update mode of launcher.exe under Wine swept with failures at the platform seam: the
// Windows test build's program updates a game folder from lighttpd (signed release,
// several entries, the stand-in updater started) once per injection point, each run
// failing one call of the Win32 backend with the Windows error (LAUNCHER_TEST_FAULT),
// and the same rules as for the Linux program are checked after every run
// (tests/support/builders/update_sweep.h). In CI one call per kind (the middle one of a run
// without failures); scripts/fault-sweep.sh with a Windows build sweeps them all.
// The hand-over ends updater processes by name: a PID namespace and a wineserver of its
// own.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/text.h"
#include "support/builders/game_folder.h"
#include "support/builders/update_sweep.h"
#include "support/peers/lighttpd_server.h"
#include "support/sandbox/fault_sweep.h"
#include "support/sandbox/pid_namespace.h"
#include "support/sandbox/wine_session.h"
#include "support/system/file_bytes.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"

using namespace testsupport;

namespace {

class FaultSweepUnderWine : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(windowsTestBuildProblem(), ""); }
};

TEST_F(FaultSweepUnderWine, EveryFailedCallLeavesOldOrNewFilesAndTheNextRunUpdates) {
    if (rerunInOwnPidNamespace()) return;
    WineSession wine;
    ASSERT_EQ(wine.failure(), "");
    TempDir publisher;
    auto admin = [&](const std::vector<std::string>& arguments) {
        ProgramOptions options;
        options.workingDirectory = publisher.path();
        return runProgram(binaryPath("launcher-admin"), arguments, options);
    };
    const ProgramResult key = admin({"keygen", "release.key"});
    ASSERT_EQ(key.exitCode, 0) << key.err;
    // The stand-in updater before and after: the release's differs in its bytes (a
    // version marker is absent, so every start fetches the package).
    const std::string recorder = readFile(windowsBuildFile("record_args.exe"));
    const FolderFiles before = sweepInstalledFiles(recorder);
    const FolderFiles after = sweepReleaseFiles(recorder + "release 6");
    for (const auto& [name, bytes] : after) publisher.write("release6/" + name, bytes);
    TempDir www;
    const ProgramResult published =
        admin({"publish", "--sign", "release.key", "release6", www.path()});
    ASSERT_EQ(published.exitCode, 0) << published.err;
    // publish names the package by the updater's file version; served as kPackage.
    std::string versionTxt = www.read("version.txt");
    const size_t named = versionTxt.find("UpdateFile=") + 11;
    const std::string publishedName =
        versionTxt.substr(named, versionTxt.find('\n', named) - named);
    ASSERT_EQ(publishedName, "2.0.13.5.zip");
    const std::string package = www.read(publishedName);
    LighttpdServer server(www.path());
    ASSERT_TRUE(server.running()) << server.errorLog();
    const std::string settings = "[BOOT]\nVersionURL=" + server.url() +
                                 "\nDownloadURL=" + server.url() + "\nZipPath=Patch\n" +
                                 key.out.substr(0, key.out.find('\n')) + "\n";

    TempDir work;
    struct Run {
        ProgramResult result;
        std::string messages;
        FaultCounts counts;
    };
    auto layOut = [&](const GameFolder& game) {
        for (const auto& [name, bytes] : before) game.dir().write(name, bytes);
        game.dir().write("KilnDev.ini", kSweepDevSettings);
        game.dir().write("update.ini", settings);
    };
    auto runIn = [&](const GameFolder& game, const std::string& plan) {
        std::remove(work.file("counts.txt").c_str());
        std::remove(work.file("messages.log").c_str());
        ProgramOptions options = game.options();
        options.environment.push_back({"LAUNCHER_TEST_FAULT", plan});
        options.environment.push_back(
            {"LAUNCHER_TEST_FAULT_COUNTS", windowsPath(work.file("counts.txt"))});
        options.environment.push_back(
            {"LAUNCHER_TEST_MESSAGE_LOG", windowsPath(work.file("messages.log"))});
        options.timeoutSeconds = 90;
        Run run;
        run.result = wine.run(game.program(), {}, options);
        // In the prefix's code page, 950.
        if (!platform::convertText(work.read("messages.log"), "CP950", "UTF-8", run.messages))
            run.messages = "(messages not in code page 950)";
        run.counts = readFaultCounts(work.file("counts.txt"));
        return run;
    };
    auto newGame = [] { return GameFolder(windowsBuildFile("launcher.exe"), "launcher.exe"); };

    FaultCounts baseline;
    {
        GameFolder game = newGame();
        layOut(game);
        const Run clean = runIn(game, "");
        ASSERT_EQ(clean.result.exitCode, 0) << clean.result.err;
        ASSERT_TRUE(clean.counts.read) << "no counts: is launcher.exe a test build?";
        EXPECT_EQ(notUpdated(game.path(), after), std::vector<std::string>());
        baseline = clean.counts;
    }
    const SweepFigures figures = sweepInjectionPoints(
        baseline, sweepForm(),
        [&](const std::string& plan) {
            SCOPED_TRACE(plan);
            GameFolder game = newGame();
            layOut(game);
            const Run run = runIn(game, plan);
            EXPECT_TRUE(run.counts.read) << "the run ended before it wrote its counts";
            EXPECT_FALSE(run.result.timedOut);
            EXPECT_TRUE(run.result.exitCode == 0 || run.result.exitCode == 254 ||
                        run.result.exitCode == 255)
                << run.result.exitCode << run.result.err;
            EXPECT_EQ(notUpdateModeLines(run.messages), std::vector<std::string>())
                << "not messages of update mode";
            EXPECT_EQ(updateFolderProblems(game.path(), before, after, package, publishedName),
                      std::vector<std::string>());
            const Run next = runIn(game, "");
            EXPECT_EQ(next.result.exitCode, 0) << next.result.err;
            EXPECT_EQ(notUpdated(game.path(), after), std::vector<std::string>());
            return SweepRun{run.counts.fired};
        },
        1);
    std::printf("update mode, %s: %s\n", wine.system().name().c_str(), figures.summary().c_str());
    EXPECT_GT(figures.points, 0u);
}

}  // namespace
