// Crash mode swept with failures at the platform seam: the built launcher (a test build)
// uploads a crash folder of two folders and several archives to pyftpdlib on port 21,
// once per injection point, each run failing one call of the platform layer
// (tests/support/sandbox/fault_sweep.h). After every run: every archive reached the server whole
// or the run said so on the debugger output, "KilnDev.ini" is the old file or the new
// one, no temporary file of ours is left, and a following run without failures uploads
// what is left and deletes the folder. Linux only: port 21 in a private network
// namespace.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/builders/game_folder.h"
#include "support/peers/pyftpdlib_server.h"
#include "support/sandbox/fault_sweep.h"
#include "support/sandbox/private_network.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

std::string pattern(size_t size, unsigned seed) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 131 + i / 7 + seed) & 0xff);
    return data;
}

// The crash folder: archives in it and in a subfolder, and a file that is no archive.
const std::map<std::string, std::string>& crashFiles() {
    static const std::map<std::string, std::string> files = {
        {"crash/ra_0001.zip", pattern(150000, 1)},
        {"crash/ra_0002.zip", "a small archive"},
        {"crash/crash.dmp", "memory dump"},
        {"crash/old/ra_0003.zip", pattern(70000, 3)},
    };
    return files;
}

const char kDevSettings[] = "[Crash]\nNeedCheck = 0\nKeep = the developer's own\n";

class FaultSweepCrash : public ::testing::Test {
protected:
    void SetUp() override {
        if (!platform::fault::available()) GTEST_SKIP() << "a build without test hooks";
        std::string why;
        if (!privateNetworkAvailable(why))
            GTEST_SKIP() << "needs a private network namespace (unshare -rn) for port 21: " << why;
        if (std::string missing = PyftpdlibServer::missing(); !missing.empty())
            GTEST_SKIP() << "needs " << missing;
    }
};

// pyftpdlib on port 21 over a root the stage empties before each run, and the runs of
// the launcher in a game folder of the caller's. Only inside a private network.
struct CrashStage {
    struct Run {
        ProgramResult result;
        FaultCounts counts;
    };
    CrashStage() {
        server.makeFolder("root");
        PyftpdlibServer::Options options;
        options.root = server.file("root");
        options.user = "crash";
        options.password = "se:cret";
        ftp = std::make_unique<PyftpdlibServer>(options);
    }
    void clearServer() const {
        fs::remove_all(server.file("root"));
        server.makeFolder("root");
    }
    static void layOut(const GameFolder& game) {
        for (const auto& [name, bytes] : crashFiles()) game.dir().write(name, bytes);
        game.dir().write("KilnDev.ini", kDevSettings);
    }
    Run runIn(const GameFolder& game, const std::string& plan) const {
        const std::string countsFile = work.file("counts.txt");
        fs::remove(countsFile);
        ProgramOptions options = game.options();
        options.environment.push_back({"LAUNCHER_TEST_FAULT", plan});
        options.environment.push_back({"LAUNCHER_TEST_FAULT_COUNTS", countsFile});
        // Each file's connection is bounded by the FTP client's time-out; against a local
        // server none is reached.
        options.timeoutSeconds = 60;
        Run run;
        run.result =
            runProgram(game.program(), {"crash", "127.0.0.1", "crash:se:cret", "crash"}, options);
        run.counts = readFaultCounts(countsFile);
        return run;
    }
    TempDir server;
    TempDir work;
    std::unique_ptr<PyftpdlibServer> ftp;
};

// What the sweep found, each failure as a plan that reaches it in any run: the start's
// reading of "KilnDev.ini" fails once (its other keys were lost when crash mode saved the
// empty document); no connection can be made, or the crash folder cannot be searched
// (the archives were deleted and nothing said so).
TEST_F(FaultSweepCrash, SettingsKeepTheirKeysAndLostArchivesAreReported) {
    inPrivateNetwork([] {
        CrashStage stage;
        ASSERT_TRUE(stage.ftp->running()) << "pyftpdlib did not start";
        struct Case {
            const char* plan;
            std::vector<std::string> reports;  // debugger lines; none: all uploaded
        };
        const std::vector<std::string> allLost = {"crash/ra_0001.zip not uploaded",
                                                  "crash/ra_0002.zip not uploaded",
                                                  "crash/old/ra_0003.zip not uploaded"};
        const Case cases[] = {
            {"read:1:io", {}},
            {"open:1:sharing-violation", {}},
            {"connect:1+:connection-reset", allLost},
            {"connect:1+:time-out", allLost},
            // The crash folder cannot be opened, or its listing breaks off.
            {"list-folder:1:io", {"CFileUpload : crash not searched"}},
            {"list-folder:3:io", {"CFileUpload : crash not searched"}},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.plan);
            GameFolder game;
            CrashStage::layOut(game);
            stage.clearServer();
            const CrashStage::Run run = stage.runIn(game, c.plan);
            EXPECT_TRUE(run.counts.fired);
            EXPECT_EQ(run.result.exitCode, 1) << run.result.err;
            const std::string settings = game.dir().read("KilnDev.ini");
            EXPECT_NE(settings.find("NeedCheck = 1"), std::string::npos) << settings;
            EXPECT_NE(settings.find("Keep = the developer's own"), std::string::npos) << settings;
            for (const std::string& report : c.reports) {
                EXPECT_NE(run.result.err.find(report), std::string::npos) << report << "\n"
                                                                          << run.result.err;
            }
            if (c.reports.empty()) {
                EXPECT_EQ(run.result.err.find("CFileUpload : "), std::string::npos)
                    << run.result.err;
            }
            EXPECT_FALSE(game.dir().exists("crash"));
        }
    });
}

TEST_F(FaultSweepCrash, EveryFailedCallLeavesArchivesUploadedOrReportedAndTheNextRunCleans) {
    inPrivateNetwork([] {
        CrashStage stage;
        ASSERT_TRUE(stage.ftp->running()) << "pyftpdlib did not start";
        const TempDir& server = stage.server;
        using Run = CrashStage::Run;
        auto clearServer = [&] { stage.clearServer(); };
        auto layOut = [](const GameFolder& game) { CrashStage::layOut(game); };
        auto runIn = [&](const GameFolder& game, const std::string& plan) {
            return stage.runIn(game, plan);
        };

        // A run without failures: the calls it makes, and "KilnDev.ini" as crash mode
        // leaves it.
        FaultCounts baseline;
        std::string markedSettings;
        {
            GameFolder game;
            layOut(game);
            clearServer();
            const Run clean = runIn(game, "");
            ASSERT_EQ(clean.result.exitCode, 1) << clean.result.err;
            ASSERT_TRUE(clean.counts.read) << "no counts: is this a test build?";
            ASSERT_FALSE(game.dir().exists("crash"));
            for (const auto& [name, bytes] : crashFiles()) {
                if (name.find("ra_") != std::string::npos) {
                    ASSERT_TRUE(server.read("root/" + fs::path(name).filename().string()) == bytes);
                }
            }
            markedSettings = game.dir().read("KilnDev.ini");
            ASSERT_NE(markedSettings.find("NeedCheck = 1"), std::string::npos) << markedSettings;
            ASSERT_NE(markedSettings.find("Keep = the developer's own"), std::string::npos);
            baseline = clean.counts;
        }

        const SweepFigures figures =
            sweepInjectionPoints(baseline, sweepForm(), [&](const std::string& plan) {
                SCOPED_TRACE(plan);
                GameFolder game;
                layOut(game);
                clearServer();
                const Run run = runIn(game, plan);
                const ProgramResult& r = run.result;
                EXPECT_TRUE(run.counts.read)
                    << "the run ended before it wrote its counts: " << r.err;
                EXPECT_FALSE(r.timedOut);
                EXPECT_EQ(r.signal, 0);
                EXPECT_EQ(r.exitCode, 1) << r.err;
                EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
                EXPECT_EQ(r.err.find("runtime error:"), std::string::npos) << r.err;
                // Each archive reached the server whole, or the run says it did not.
                for (const auto& [name, bytes] : crashFiles()) {
                    const std::string remote = fs::path(name).filename().string();
                    if (remote.find("ra_") == std::string::npos) continue;
                    const bool whole = server.read("root/" + remote) == bytes;
                    // The archive itself, or a folder on its way that was not searched.
                    bool reported = r.err.find(name + " not uploaded") != std::string::npos;
                    for (std::string folder = name; folder.find('/') != std::string::npos;) {
                        folder.resize(folder.rfind('/'));
                        reported =
                            reported || r.err.find(folder + " not searched") != std::string::npos;
                    }
                    EXPECT_TRUE(whole || reported)
                        << remote << " neither arrived whole nor was reported:\n"
                        << r.err;
                }
                const std::string settings = game.dir().read("KilnDev.ini");
                EXPECT_TRUE(settings == kDevSettings || settings == markedSettings)
                    << "KilnDev.ini is neither old nor new:\n"
                    << settings;
                for (const auto& entry : fs::recursive_directory_iterator(game.path()))
                    EXPECT_EQ(entry.path().filename().string().find(".~launcher"),
                              std::string::npos)
                        << entry.path() << " was left";
                // A following run uploads what is left and deletes the folder.
                clearServer();
                const Run next = runIn(game, "");
                EXPECT_EQ(next.result.exitCode, 1) << next.result.err;
                EXPECT_FALSE(game.dir().exists("crash"))
                    << "the crash folder stays after the next run";
                EXPECT_EQ(game.dir().read("KilnDev.ini"), markedSettings);
                return SweepRun{run.counts.fired};
            });
        std::printf("crash mode, Linux: %s\n", figures.summary().c_str());
        EXPECT_GT(figures.points, 0u);
    });
}

}  // namespace
