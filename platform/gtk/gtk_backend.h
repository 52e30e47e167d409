#pragma once
// The GTK 3 user interface; only the platform's backend choice sees this header.
// Texts are UTF-8. GTK is used from the main thread only.

#include <memory>
#include <string>
#include <vector>

#include "platform/ui_backend.h"

namespace platform::ui::detail {

// Opens the display once, on first use; false when there is none.
bool gtkAvailable();
void gtkMessageBox(const std::string& text, const std::string& caption);
// Null when the window cannot be made.
std::unique_ptr<ProgressView> gtkProgressView(const std::string& fileName);
std::vector<std::string> gtkWidgetTexts();

}  // namespace platform::ui::detail
