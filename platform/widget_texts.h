#pragma once
// For tests: what the shown windows really hold, read back from their widgets, so a
// test under a real display checks what is drawn rather than what was asked for.

#include <string>
#include <vector>

namespace platform::ui {

// Main thread only. One line per widget of every mapped top-level window, in tree
// order: "window <x> <y> <width> <height>", "label <text>" (UTF-8),
// "bar <fraction>" (two decimals). Empty without a graphical backend.
std::vector<std::string> shownWidgetTexts();

}  // namespace platform::ui
