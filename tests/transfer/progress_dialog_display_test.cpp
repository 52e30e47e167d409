// The progress dialog in a real X server with a window manager: what it draws, that
// the close keys leave it alone, and that the worker's end takes it away.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/sandbox/x_display.h"
#include "support/system/subprocess.h"

namespace fs = std::filesystem;
using testsupport::Subprocess;
using testsupport::XDisplaySession;
using Lines = std::vector<std::string>;

namespace {

// The widgets the dialog shows, as the driver reads them back; the window line (where
// it lies on the screen) goes to `windowLine`.
Lines shownWidgets(Subprocess& driver, std::string* windowLine = nullptr) {
    Lines lines;
    if (!driver.writeLine("texts") || !driver.waitForLine("end of texts", 5000, &lines))
        return {"(no answer)"};
    if (!lines.empty() && lines.front().rfind("window ", 0) == 0) {
        if (windowLine) *windowLine = lines.front();
        lines.erase(lines.begin());
    }
    return lines;
}

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

std::string dialogWindow(XDisplaySession& x, int pid) {
    for (int tries = 0; tries < 100; ++tries) {
        auto found = x.run("xdotool", {"search", "--onlyvisible", "--pid", std::to_string(pid)});
        if (found.exitCode == 0 && !found.out.empty()) return firstLine(found.out);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return {};
}

bool viewable(XDisplaySession& x, const std::string& window) {
    auto info = x.run("xwininfo", {"-id", window});
    return info.exitCode == 0 && info.out.find("Map State: IsViewable") != std::string::npos;
}

}  // namespace

TEST(ProgressDialogDisplay, ShowsProgressIgnoresCloseKeysAndClosesWhenTheWorkerEnds) {
    if (std::string missing = XDisplaySession::missingProgram(); !missing.empty())
        GTEST_SKIP() << missing << " is not installed (scripts/setup.sh installs it)";
    const fs::path artefacts = fs::path(LAUNCHER_BINARY_DIR) / "test-artifacts" / "progress_dialog";
    fs::create_directories(artefacts);
    XDisplaySession x(artefacts.string());
    ASSERT_EQ(x.start(), "");

    const std::string log = (artefacts / "driver.log").string();
    testsupport::SubprocessOptions options;
    options.standardInput = testsupport::Redirect::pipe();
    options.standardError = testsupport::Redirect::file(log);
    // GTK's libraries keep caches to the end on purpose; the leak checker of the
    // sanitizer build is told about them, and still checks everything of ours.
    options.environment = {
        {"DISPLAY", x.display()},
        {"LSAN_OPTIONS", "print_suppressions=0:suppressions=" + std::string(LAUNCHER_SOURCE_DIR) +
                             "/tests/support/sandbox/gtk_leaks.supp"}};
    Subprocess driver(testsupport::binaryPath("progress_dialog_driver"), {}, options);
    ASSERT_TRUE(driver.started()) << driver.startError();
    ASSERT_TRUE(driver.waitForLine("shown", 10000)) << "see " << log;
    const std::string window = dialogWindow(x, driver.pid());
    ASSERT_NE(window, "") << "no visible window of the driver";

    std::string windowLine;
    EXPECT_EQ(shownWidgets(driver, &windowLine),
              (Lines{"label ClientUpdate.exe", "label ", "bar 0.00"}));
    int left = -1, top = -1, width = 0, height = 0;
    ASSERT_EQ(std::sscanf(windowLine.c_str(), "window %d %d %d %d", &left, &top, &width, &height),
              4)
        << windowLine;
    // On the 800 x 600 screen, whole.
    EXPECT_TRUE(left >= 0 && top >= 0 && width > 0 && height > 0 && left + width <= 800 &&
                top + height <= 600)
        << windowLine;

    ASSERT_TRUE(driver.writeLine("progress 42.9"));
    ASSERT_TRUE(driver.waitForLine("progress set", 5000));
    const Lines progressed{"label ClientUpdate.exe", "label 42%", "bar 0.42"};
    EXPECT_EQ(shownWidgets(driver), progressed);
    auto shot = x.run("import", {"-window", "root", (artefacts / "progress_dialog.png").string()});
    EXPECT_EQ(shot.exitCode, 0) << shot.err;

    // The keys must reach the dialog, so it gets the focus first.
    ASSERT_EQ(x.run("xdotool", {"windowactivate", "--sync", window}).exitCode, 0);
    ASSERT_EQ(firstLine(x.run("xdotool", {"getactivewindow"}).out), window);
    for (const char* key : {"Escape", "alt+F4"}) {
        SCOPED_TRACE(key);
        ASSERT_EQ(x.run("xdotool", {"key", key}).exitCode, 0);
        // Time for the window manager's close request to reach the dialog and act.
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        EXPECT_TRUE(viewable(x, window));
        EXPECT_EQ(shownWidgets(driver), progressed);
    }

    ASSERT_TRUE(driver.writeLine("end 5"));
    EXPECT_TRUE(driver.waitForLine("closed 5", 5000));
    EXPECT_TRUE(driver.wait(5000));
    EXPECT_EQ(driver.exitCode(), 0);
    EXPECT_FALSE(viewable(x, window));
}
