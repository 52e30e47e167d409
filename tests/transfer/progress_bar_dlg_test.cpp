#include "transfer/progress_bar_dlg.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <thread>

#include "platform/ui.h"

namespace {

// The dialog is driven from a worker, as the patch step drives it.
class ProgressDialogTest : public ::testing::Test {
protected:
    void SetUp() override { platform::ui::refuseProgressDialog(false); }
    void TearDown() override { progressDialog.ForgetPendingEnd(); }
};

TEST_F(ProgressDialogTest, ShowsTruncatedPercentAndEndsWithTheWorkersResult) {
    struct Case {
        float percent;
        const char* text;
        int position;
    };
    // clang-format off
    const Case cases[] = {
        {99.99f, "99%", 99},
        {100.0f, "100%", 100},
        {0.0f, "0%", 0},
        {42.9f, "42%", 42},
        {-3.7f, "-3%", -3},     // passed on; the bar keeps to its range
        {150.0f, "150%", 150},
        {std::numeric_limits<float>::quiet_NaN(), "0%", 0},
        {std::numeric_limits<float>::infinity(), "2147483647%", 2147483647},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        platform::ui::ProgressDialogState before, after;
        std::thread worker([&] {
            platform::ui::callOnMainThread([&] { before = platform::ui::progressDialogState(); });
            progressDialog.SetProgress(c.percent);
            platform::ui::callOnMainThread([&] { after = platform::ui::progressDialogState(); });
            progressDialog.EndDialog(7);
        });
        EXPECT_EQ(progressDialog.DoModal(), 7);
        worker.join();
        EXPECT_EQ(before.fileName, "ClientUpdate.exe");
        EXPECT_EQ(before.percentText, "");
        EXPECT_EQ(before.position, 0);
        EXPECT_EQ(after.percentText, c.text);
        EXPECT_EQ(after.position, c.position);
    }
}

TEST_F(ProgressDialogTest, WorkerThatEndsBeforeTheDialogExistsStillEndsIt) {
    std::thread worker([] {
        progressDialog.SetProgress(50);  // nobody to show it to yet
        progressDialog.EndDialog(1);
    });
    // The worker's calls wait for the main thread, which only now shows the dialog.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(progressDialog.DoModal(), 1);
    worker.join();
}

TEST_F(ProgressDialogTest, CallsWithoutADialogChangeNothing) {
    progressDialog.SetProgress(30);
    EXPECT_FALSE(platform::ui::progressDialogShown());
    platform::ui::refuseProgressDialog(true);
    EXPECT_EQ(progressDialog.DoModal(), -1);
    platform::ui::refuseProgressDialog(false);
}

}  // namespace
