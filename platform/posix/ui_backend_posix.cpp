// The one place where this platform chooses its user interface: GTK 3 when the build
// has it and a display opens, standard error otherwise.

#include <memory>

#include "platform/posix/console_backend.h"
#include "platform/ui.h"
#include "platform/ui_backend.h"
#ifdef HAVE_GTK3
#include "platform/gtk/gtk_backend.h"
#include "platform/text.h"
#endif

namespace platform::ui::detail {

namespace {

#ifdef HAVE_GTK3
// Callers speak the ANSI code page; GTK wants UTF-8.
std::string toUtf8(const std::string& text) {
    std::string utf8;
    if (!convertText(text, ansiCodeset().c_str(), "UTF-8", utf8)) return text;
    return utf8;
}
#endif

std::unique_ptr<ProgressView> makeProgressView(const std::string& fileName) {
#ifdef HAVE_GTK3
    if (gtkAvailable()) return gtkProgressView(toUtf8(fileName));
#endif
    return consoleProgressView(fileName);
}

}  // namespace

void backendMessageBox(const std::string& text, const std::string& caption) {
#ifdef HAVE_GTK3
    if (gtkAvailable()) {
        gtkMessageBox(toUtf8(text), toUtf8(caption));
        return;
    }
#endif
    interruptProgressDialog();
    consoleMessageBox(text, caption);
}

bool backendRunProgressDialog(const std::string& fileName,
                              const std::function<void(ProgressView&)>& shown,
                              const std::function<bool()>& ended) {
    std::unique_ptr<ProgressView> view = makeProgressView(fileName);
    if (!view) return false;
    shown(*view);
    // GTK's main loop while it is shown (its hooks), else the plain wait for calls.
    serviceCallsUntil(ended);
    return true;
}

std::vector<std::string> backendWidgetTexts() {
#ifdef HAVE_GTK3
    if (gtkAvailable()) return gtkWidgetTexts();
#endif
    return {};
}

}  // namespace platform::ui::detail
