// Update mode swept with failures at the platform seam: the built launcher (a test build)
// updates a game folder from lighttpd once per injection point, each run failing one
// call of the platform layer (tests/support/sandbox/fault_sweep.h). The run resumes a part of the
// package that an interrupted run left, checks the signed release statement, unpacks a
// package of several entries and starts the updater. After every run what must always
// hold is checked, and a following run without failures must bring the folder to the
// new release. Linux only: it runs the Linux program in a PID namespace of its own (the
// hand-over ends every "ClientUpdate.exe"); tests/wine/fault_sweep_wine_test.cpp sweeps
// launcher.exe under Wine.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/builders/argument_records.h"
#include "support/builders/game_folder.h"
#include "support/builders/pe_image.h"
#include "support/builders/update_sweep.h"
#include "support/peers/lighttpd_server.h"
#include "support/sandbox/fault_sweep.h"
#include "support/sandbox/pid_namespace.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

const char kPackage[] = "2.0.13.6.zip";

class FaultSweepUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        if (!platform::fault::available()) GTEST_SKIP() << "a build without test hooks";
    }
};

TEST_F(FaultSweepUpdate, EveryFailedCallLeavesOldOrNewFilesAndTheNextRunUpdates) {
    if (rerunInOwnPidNamespace()) return;
    // The operator's side: a key, the release published signed, lighttpd serving it.
    TempDir publisher;
    auto admin = [&](const std::vector<std::string>& arguments) {
        ProgramOptions options;
        options.workingDirectory = publisher.path();
        return runProgram(binaryPath("launcher-admin"), arguments, options);
    };
    const ProgramResult key = admin({"keygen", "release.key"});
    ASSERT_EQ(key.exitCode, 0) << key.err;
    const std::string publicKeyLine = key.out.substr(0, key.out.find('\n'));
    const FolderFiles before = sweepInstalledFiles(peImageOfVersion(2, 0, 13, 5));
    const FolderFiles after = sweepReleaseFiles(peImageOfVersion(2, 0, 13, 6));
    for (const auto& [name, bytes] : after) publisher.write("release/" + name, bytes);
    TempDir www;
    const ProgramResult published =
        admin({"publish", "--sign", "release.key", "release", www.path()});
    ASSERT_EQ(published.exitCode, 0) << published.err;
    const std::string package = www.read(kPackage);
    ASSERT_FALSE(package.empty());
    LighttpdServer server(www.path());
    ASSERT_TRUE(server.running());
    const std::string settings = "[BOOT]\nVersionURL=" + server.url() +
                                 "\nDownloadURL=" + server.url() + "\nZipPath=Patch\n" +
                                 publicKeyLine + "\n";

    TempDir work;
    const std::string countsFile = work.file("counts.txt");
    FolderFiles seed;  // what an interrupted download left: part of the package and its record

    // One run in a fresh game folder holding the installed files (and the seed), with
    // `plan` ("" for none); the follow-up run (plan "") goes in the same folder.
    struct Run {
        ProgramResult result;
        FaultCounts counts;
    };
    auto layOut = [&](GameFolder& game, TempDir& bin) {
        for (const auto& [name, bytes] : before) game.dir().write(name, bytes);
        for (const auto& [name, bytes] : seed) game.dir().write(name, bytes);
        game.dir().write("KilnDev.ini", kSweepDevSettings);
        game.dir().write("vcfile.res", "");
        game.dir().write("update.ini", settings);
        // The updater is a PE image: "wine" on the PATH is the recorder.
        bin.copyIn(binaryPath("record_args"), "wine");
        game.prependToPath(bin.path());
    };
    auto runIn = [&](const GameFolder& game, const std::string& plan) {
        fs::remove(countsFile);
        ProgramOptions options = game.options();
        options.environment.push_back({"LAUNCHER_TEST_FAULT", plan});
        options.environment.push_back({"LAUNCHER_TEST_FAULT_COUNTS", countsFile});
        // The longest a failure may stretch a run here: every wait of update mode is
        // bounded, and against a local server none of them is reached.
        options.timeoutSeconds = 60;
        Run run;
        run.result = runProgram(game.program(), {}, options);
        run.counts = readFaultCounts(countsFile);
        return run;
    };

    // The seed: the first run whose writes fail from some call on, during the package,
    // so that a part and its record stay (a failure other than a full disk keeps them).
    {
        GameFolder game;
        TempDir bin;
        layOut(game, bin);
        const Run clean = runIn(game, "");
        ASSERT_EQ(clean.result.exitCode, 0) << clean.result.err;
        ASSERT_TRUE(clean.counts.read) << "no counts: is this a test build?";
        for (uint64_t call = 2; call <= clean.counts.of(platform::fault::Kind::Write); ++call) {
            GameFolder interrupted;
            TempDir bin2;
            layOut(interrupted, bin2);
            runIn(interrupted, "write:" + std::to_string(call) + "+:io");
            const std::string part = interrupted.dir().read("update.rar");
            if (part.size() > package.size() / 4 && part.size() < package.size() &&
                interrupted.dir().exists("update.rar.part")) {
                seed = {{"update.rar", part},
                        {"update.rar.part", interrupted.dir().read("update.rar.part")}};
                break;
            }
        }
        ASSERT_FALSE(seed.empty()) << "no run left a part of the package";
        ASSERT_EQ(package.compare(0, seed["update.rar"].size(), seed["update.rar"]), 0);
    }

    // The calls a run without failures makes, resuming the seed.
    FaultCounts baseline;
    {
        GameFolder game;
        TempDir bin;
        layOut(game, bin);
        const Run clean = runIn(game, "");
        ASSERT_EQ(clean.result.exitCode, 0) << clean.result.err;
        EXPECT_EQ(notUpdated(game.path(), after), std::vector<std::string>());
        baseline = clean.counts;
    }

    const SweepFigures figures =
        sweepInjectionPoints(baseline, sweepForm(), [&](const std::string& plan) {
            SCOPED_TRACE(plan);
            GameFolder game;
            TempDir bin;
            layOut(game, bin);
            const Run run = runIn(game, plan);
            const ProgramResult& r = run.result;
            EXPECT_TRUE(run.counts.read) << "the run ended before it wrote its counts: " << r.err;
            // Ended, with one of update mode's results and messages, and no sanitizer report.
            EXPECT_FALSE(r.timedOut);
            EXPECT_EQ(r.signal, 0);
            EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 254 || r.exitCode == 255) << r.exitCode;
            EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find("runtime error:"), std::string::npos) << r.err;
            EXPECT_EQ(notUpdateModeLines(r.err), std::vector<std::string>())
                << "not messages of update mode";
            EXPECT_EQ(updateFolderProblems(game.path(), before, after, package, kPackage),
                      std::vector<std::string>());
            // A following run without failures brings the folder to the new release.
            const Run next = runIn(game, "");
            EXPECT_EQ(next.result.exitCode, 0) << next.result.err;
            EXPECT_EQ(notUpdated(game.path(), after), std::vector<std::string>());
            return SweepRun{run.counts.fired};
        });
    std::printf("update mode, Linux: %s\n", figures.summary().c_str());
    RecordProperty("points", int(figures.points));
    EXPECT_GT(figures.points, 0u);
}

}  // namespace
