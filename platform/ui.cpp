#include "platform/ui.h"

#include "platform/text.h"
#include "platform/progress_backend.h"
#include "platform/ui_backend.h"

namespace platform::ui {

namespace {

void showMessageBox(const std::string& text, const std::string& caption) {
#ifdef HAVE_GTK3
    if (detail::gtkAvailable()) {
        // Callers speak the ANSI code page; GTK wants UTF-8.
        const std::string codeset = ansiCodeset();
        std::string utf8Text, utf8Caption;
        if (!convertText(text, codeset.c_str(), "UTF-8", utf8Text)) utf8Text = text;
        if (!convertText(caption, codeset.c_str(), "UTF-8", utf8Caption)) utf8Caption = caption;
        detail::gtkMessageBox(utf8Text, utf8Caption);
        return;
    }
#endif
    detail::interruptProgressDialog();
    detail::consoleMessageBox(text, caption);
}

}  // namespace

void messageBox(const std::string& text, const std::string& caption) {
    // The box belongs to the main thread; a worker waits until the user has confirmed it.
    callOnMainThread([&] { showMessageBox(text, caption); });
}

}  // namespace platform::ui
