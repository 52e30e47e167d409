#pragma once
// The backends behind the user-interface facade; only platform/ sees this header.

#include <string>

namespace platform::ui::detail {

// GTK 3, present when the build found it. Opens the display once, on first use;
// false when there is none, and the console serves instead.
bool gtkAvailable();
// Texts in UTF-8.
void gtkMessageBox(const std::string& text, const std::string& caption);

// Standard error: "[caption] text\n" as one write; returns at once, as if OK was pressed.
void consoleMessageBox(const std::string& text, const std::string& caption);

}  // namespace platform::ui::detail
