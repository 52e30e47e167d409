#pragma once
// The user interface on standard error, for a process without a display; only the
// platform's backend choice sees this header. Texts pass as they are.

#include <memory>
#include <string>

#include "platform/ui_backend.h"

namespace platform::ui::detail {

// "[caption] text\n" as one write; returns at once, as if OK was pressed.
void consoleMessageBox(const std::string& text, const std::string& caption);
// A one-line bar when standard error is a terminal, nothing otherwise.
std::unique_ptr<ProgressView> consoleProgressView(const std::string& fileName);

}  // namespace platform::ui::detail
