#include "transfer/progress_bar_dlg.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include "platform/ui.h"

CProgressBarDLG progressDialog;

namespace {

// Truncation toward zero; values no int can hold are pinned rather than undefined.
int truncatePercent(float percent) {
    if (std::isnan(percent)) return 0;
    if (percent >= float(INT_MAX)) return INT_MAX;
    if (percent <= float(INT_MIN)) return INT_MIN;
    return int(percent);
}

}  // namespace

int CProgressBarDLG::DoModal() {
    return platform::ui::runProgressDialog("ClientUpdate.exe", [this] {
        if (endPending_) {
            endPending_ = false;
            platform::ui::endProgressDialog(pendingResult_);
        }
    });
}

void CProgressBarDLG::SetProgress(float percent) {
    int value = truncatePercent(percent);
    char text[16];
    std::snprintf(text, sizeof text, "%d%%", value);
    std::string shown = text;
    platform::ui::callOnMainThread([&] { platform::ui::updateProgressDialog(shown, value); });
}

void CProgressBarDLG::EndDialog(int result) {
    platform::ui::callOnMainThread([&] {
        if (platform::ui::progressDialogShown()) {
            platform::ui::endProgressDialog(result);
        } else {
            endPending_ = true;
            pendingResult_ = result;
        }
    });
}

void CProgressBarDLG::ForgetPendingEnd() { endPending_ = false; }
