#include <memory>

#include "platform/progress_backend.h"
#include "platform/text.h"
#include "platform/ui.h"
#ifdef HAVE_GTK3
#include "platform/ui_backend.h"
#endif

namespace platform::ui {

namespace {

// Touched on the main thread only.
std::unique_ptr<detail::ProgressView> view;
bool ended = false;
int endResult = 0;
bool refused = false;
ProgressDialogState shownState;

std::unique_ptr<detail::ProgressView> makeView(const std::string& fileName) {
#ifdef HAVE_GTK3
    if (detail::gtkAvailable()) {
        const std::string codeset = ansiCodeset();
        std::string utf8;
        if (!convertText(fileName, codeset.c_str(), "UTF-8", utf8)) utf8 = fileName;
        return detail::gtkProgressView(utf8);
    }
#endif
    return detail::consoleProgressView(fileName);
}

}  // namespace

int runProgressDialog(const std::string& fileName, const std::function<void()>& shown) {
    if (refused || view) return -1;
    view = makeView(fileName);
    if (!view) return -1;
    ended = false;
    endResult = 0;
    shownState = {fileName, "", 0};
    shown();
    serviceCallsUntil([] { return ended; });
    view.reset();
    shownState = {};
    return endResult;
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
