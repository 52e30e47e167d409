#include "platform/ui.h"

#include "platform/ui_backend.h"

namespace platform::ui {

void messageBox(const std::string& text, const std::string& caption) {
    // The box belongs to the main thread; a worker waits until the user has confirmed it.
    callOnMainThread([&] { detail::backendMessageBox(text, caption); });
}

}  // namespace platform::ui
