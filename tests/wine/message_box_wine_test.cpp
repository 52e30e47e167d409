// The release build's launcher.exe (no test hooks), as a player meets it when the server
// cannot be reached: its real message boxes on the prefix's private X server, found by
// their captions and answered with Return. At code page 950 they show the catalogue's
// Chinese texts; an English system (1252) has no Chinese characters and shows question
// marks for them. A screenshot of each "Version" box stays in the build folder.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/builders/game_folder.h"
#include "support/peers/loopback_socket.h"
#include "support/sandbox/wine_session.h"
#include "support/system/file_bytes.h"
#include "support/system/subprocess.h"

namespace fs = std::filesystem;
using namespace testsupport;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kReleaseDir = LAUNCHER_WINDOWS_RELEASE_DIR;

// Empty when the release build's launcher.exe is there and has no test hooks.
std::string releaseBuildProblem() {
    if (kReleaseDir.empty())
        return "no release build named (LAUNCHER_WINDOWS_RELEASE_DIR; "
               "bash scripts/build-windows.sh makes build-windows/)";
    if (!fs::exists(kReleaseDir + "/launcher.exe")) return kReleaseDir + "/launcher.exe is missing";
    // Set by the build where the release is 32-bit and this machine runs no 32-bit code.
    if (const std::string why = LAUNCHER_WINDOWS_RELEASE_UNRUNNABLE; !why.empty())
        return "the 32-bit release cannot run under Wine here: " + why;
    if (readFile(kReleaseDir + "/CMakeCache.txt").find("\nLAUNCHER_TEST_HOOKS:BOOL=OFF\n") ==
        std::string::npos)
        return kReleaseDir + " is no release build: its launcher.exe has test hooks";
    return {};
}

class XServer {
public:
    explicit XServer(std::string display) : display_(std::move(display)) {}

    ProgramResult run(const std::string& tool, const std::vector<std::string>& arguments) const {
        ProgramOptions options;
        options.environment = {{"DISPLAY", display_}};
        options.timeoutSeconds = 20;
        return runProgram(tool, arguments, options);
    }
    // The first shown window whose title is `caption` (its X window has the title before
    // it is mapped), waiting up to `timeoutMs`; "" if none.
    std::string waitForWindow(const std::string& caption, int timeoutMs) const {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            std::istringstream found(
                run("xdotool", {"search", "--onlyvisible", "--name", "^" + caption + "$"}).out);
            std::string window;
            if (found >> window) return window;
            if (Clock::now() >= deadline) return {};
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    bool windowGone(const std::string& caption, int timeoutMs) const {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (
            run("xdotool", {"search", "--onlyvisible", "--name", "^" + caption + "$"}).exitCode ==
            0) {
            if (Clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return true;
    }

private:
    std::string display_;
};

}  // namespace

TEST(ReleaseLauncherUnderWine, NoServerShowsTheErrorThenTheVersionBoxAndEndsWith254) {
    if (std::string problem = releaseBuildProblem(); !problem.empty()) GTEST_SKIP() << problem;
    for (const char* tool : {"Xvfb", "xdotool", "import"})
        if (findProgram(tool).empty())
            GTEST_SKIP() << tool << " is not installed (scripts/setup.sh installs it)";
    const fs::path artefacts =
        fs::path(LAUNCHER_BINARY_DIR) / "test-artifacts" / "wine_message_boxes";
    fs::create_directories(artefacts);

    // The players' system, and what an English one makes of the same texts.
    for (const WineSystem& system : {chineseWindows(), englishWindows()}) {
        SCOPED_TRACE(system.name());
        WineSession wine(system);
        ASSERT_EQ(wine.failure(), "");
        const XServer x(wine.display());
        ASSERT_NE(wine.display(), "") << "the prefix has no private X server";

        GameFolder game(kReleaseDir + "/launcher.exe", "launcher.exe");
        game.writeUpdateSettings("http://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/");
        SubprocessOptions options;
        options.workingDirectory = game.path();
        Subprocess launcher = wine.start(game.program(), {}, options);
        ASSERT_TRUE(launcher.started()) << launcher.startError();

        // "Error" first, then "Version"; each waits for its answer.
        for (const char* caption : {"Error", "Version"}) {
            SCOPED_TRACE(caption);
            const std::string box = x.waitForWindow(caption, 60000);
            ASSERT_NE(box, "") << "no \"" << caption << "\" box";
            EXPECT_FALSE(launcher.ended()) << "the launcher must wait for the answer";
            if (std::string(caption) == "Version") {
                const fs::path shot =
                    artefacts / ("version_box_cp" + std::to_string(system.codePage) + ".png");
                const ProgramResult taken = x.run("import", {"-window", "root", shot.string()});
                EXPECT_EQ(taken.exitCode, 0) << taken.err;
                EXPECT_GT(fs::exists(shot) ? fs::file_size(shot) : 0, 0u);
            }
            ASSERT_EQ(x.run("xdotool", {"windowfocus", "--sync", box}).exitCode, 0);
            ASSERT_EQ(x.run("xdotool", {"key", "Return"}).exitCode, 0);
            EXPECT_TRUE(x.windowGone(caption, 10000)) << "Return did not close the box";
        }
        ASSERT_TRUE(launcher.wait(30000)) << "the launcher did not end";
        EXPECT_EQ(launcher.exitCode(), 254) << launcher.errors();
        EXPECT_FALSE(game.dir().exists("update.rar"));
    }
}
