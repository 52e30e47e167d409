#pragma once
// What a platform's user-interface backend gives the facade. Each platform chooses its
// backend in one file of its own (platform/posix/ui_backend_posix.cpp); only platform/
// sees this header.

#include <memory>
#include <string>
#include <vector>

#include "platform/progress_backend.h"

namespace platform::ui::detail {

// A message box; texts in the ANSI code page. Returns once the user has confirmed it.
void backendMessageBox(const std::string& text, const std::string& caption);

// Shows the progress dialog for `fileName` (ANSI code page); null when it cannot be made.
std::unique_ptr<ProgressView> backendProgressView(const std::string& fileName);

// What the shown windows hold, as platform::ui::shownWidgetTexts describes it.
std::vector<std::string> backendWidgetTexts();

}  // namespace platform::ui::detail
