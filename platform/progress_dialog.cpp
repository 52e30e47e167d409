#include "platform/ui.h"
#include "platform/ui_backend.h"

namespace platform::ui {

namespace {

// Touched on the main thread only. The backend owns the view while the dialog is shown.
detail::ProgressView* view = nullptr;
bool ended = false;
int endResult = 0;
bool refused = false;
ProgressDialogState shownState;

}  // namespace

int runProgressDialog(const std::string& fileName, const std::function<void()>& shown) {
    if (refused || view) return -1;
    ended = false;
    endResult = 0;
    const bool ran = detail::backendRunProgressDialog(
        fileName,
        [&](detail::ProgressView& shownView) {
            view = &shownView;
            shownState = {fileName, "", 0};
            shown();
        },
        [] { return ended; });
    view = nullptr;
    shownState = {};
    return ran ? endResult : -1;
}

bool progressDialogShown() { return view && !ended; }

void updateProgressDialog(const std::string& percentText, int position) {
    if (!progressDialogShown()) return;
    shownState.percentText = percentText;
    shownState.position = position;
    view->update(percentText, position);
}

ProgressDialogState progressDialogState() { return shownState; }

void endProgressDialog(int result) {
    if (!progressDialogShown()) return;
    ended = true;
    endResult = result;
}

void refuseProgressDialog(bool refuse) { refused = refuse; }

void detail::interruptProgressDialog() {
    if (view) view->interrupt();
}

}  // namespace platform::ui
