// The Windows program's progress dialog (template 130) under Wine on the prefix's
// private Xvfb: what its controls hold, read back by their numbers, that the close keys
// pressed on the X server reach it and leave it open, and that the worker's end closes
// it. A screenshot stays in the build folder.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/sandbox/wine_session.h"
#include "support/system/subprocess.h"

namespace fs = std::filesystem;
using namespace testsupport;
using Lines = std::vector<std::string>;

namespace {

// The driver's answer to `command`, up to its closing line.
Lines ask(Subprocess& driver, const std::string& command, const std::string& last) {
    Lines lines;
    if (!driver.writeLine(command) || !driver.waitForLine(last, 10000, &lines))
        lines.push_back("(no answer to " + command + ")");
    return lines;
}

// The controls without the window line, which goes to `window`.
Lines controls(Subprocess& driver, std::string* window = nullptr) {
    Lines lines = ask(driver, "controls", "end of controls");
    if (!lines.empty() && lines.back().rfind("window ", 0) == 0) {
        if (window) *window = lines.back();
        lines.pop_back();
    }
    return lines;
}

}  // namespace

TEST(ProgressDialogUnderWine, ShowsProgressIgnoresCloseKeysAndClosesWhenTheWorkerEnds) {
    const std::string program = windowsBuildFile("progress_dialog_controls.exe");
    ASSERT_EQ(windowsTestBuildProblem(), "");
    for (const char* tool : {"Xvfb", "xdotool", "import"})
        if (findProgram(tool).empty())
            GTEST_SKIP() << tool << " is not installed (scripts/setup.sh installs it)";
    const fs::path artefacts =
        fs::path(LAUNCHER_BINARY_DIR) / "test-artifacts" / "wine_progress_dialog";
    fs::create_directories(artefacts);

    WineSession wine;
    ASSERT_EQ(wine.failure(), "");
    const std::string display = wine.display();
    ASSERT_NE(display, "") << "the prefix has no private X server";
    auto x = [&](const std::string& tool, const std::vector<std::string>& arguments) {
        ProgramOptions options;
        options.environment = {{"DISPLAY", display}};
        options.timeoutSeconds = 20;
        return runProgram(tool, arguments, options);
    };

    SubprocessOptions options;
    options.standardInput = Redirect::pipe();
    options.standardError = Redirect::file((artefacts / "driver.log").string());
    Subprocess driver = wine.start(program, {}, options);
    ASSERT_TRUE(driver.started()) << driver.startError();
    Lines before;
    std::string shown;
    for (std::string line; shown.empty() && driver.readLine(line, 30000);)
        if (line.rfind("shown ", 0) == 0)
            shown = line.substr(6);
        else
            before.push_back(line);
    ASSERT_NE(shown, "") << "the dialog did not come up; said: " << testing::PrintToString(before);
    ASSERT_NE(shown, "0") << "no X window for the dialog";

    std::string window;
    EXPECT_EQ(controls(driver, &window),
              (Lines{"file ClientUpdate.exe", "percent ", "bar 0 of 0..100"}));
    // Shown, and centred on the 1024 x 768 screen.
    int left = -1, top = -1, width = 0, height = 0, visible = 0;
    ASSERT_EQ(std::sscanf(window.c_str(), "window %d %d %d %d %d", &left, &top, &width, &height,
                          &visible),
              5)
        << window;
    EXPECT_EQ(visible, 1);
    EXPECT_LE(std::abs(left + width / 2 - 512), 1) << window;
    EXPECT_LE(std::abs(top + height / 2 - 384), 1) << window;

    ASSERT_EQ(ask(driver, "progress 42.9", "progress set"), Lines{});
    const Lines progressed{"file ClientUpdate.exe", "percent 42%", "bar 42 of 0..100"};
    EXPECT_EQ(controls(driver), progressed);
    const fs::path shot = artefacts / "progress_dialog.png";
    const ProgramResult taken = x("import", {"-window", "root", shot.string()});
    EXPECT_EQ(taken.exitCode, 0) << taken.err;
    EXPECT_GT(fs::exists(shot) ? fs::file_size(shot) : 0, 0u);

    // Real key presses on the X server, into the dialog's window.
    ASSERT_EQ(x("xdotool", {"windowfocus", "--sync", shown}).exitCode, 0);
    struct Key {
        const char* keys;
        const char* request;  // what the dialog is sent for it
    };
    const Key keys[] = {
        {"Escape", "command IDCANCEL"},
        {"alt+F4", "syscommand SC_CLOSE"},
    };
    Lines requests;
    for (const Key& key : keys) {
        SCOPED_TRACE(key.keys);
        ASSERT_EQ(x("xdotool", {"key", key.keys}).exitCode, 0);
        requests.push_back(key.request);
        Lines seen;
        for (int tries = 0; tries < 50 && seen != requests; ++tries) {
            if (tries > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            seen = ask(driver, "requests", "end of requests");
        }
        EXPECT_EQ(seen, requests) << "the key did not reach the dialog as a close request";
        std::string stillShown;
        EXPECT_EQ(controls(driver, &stillShown), progressed);
        EXPECT_EQ(stillShown.substr(stillShown.size() - 2), " 1") << stillShown;
    }

    ASSERT_TRUE(driver.writeLine("end 7"));
    EXPECT_TRUE(driver.waitForLine("closed 7", 10000));
    EXPECT_TRUE(driver.wait(20000));
    EXPECT_EQ(driver.exitCode(), 0);
}
