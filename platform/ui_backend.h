#pragma once
// What a platform's user-interface backend gives the facade. Each platform chooses its
// backend in one file of its own (platform/posix/ui_backend_posix.cpp); only platform/
// sees this header.

#include <functional>
#include <string>
#include <vector>

#include "platform/progress_backend.h"

namespace platform::ui::detail {

// A message box; texts in the ANSI code page. Returns once the user has confirmed it.
void backendMessageBox(const std::string& text, const std::string& caption);

// Shows the progress dialog for `fileName` (ANSI code page) on the main thread and keeps
// it until `ended()` holds: `shown` runs once the dialog exists, with the view that stays
// valid until this returns; other threads' calls run meanwhile (runQueuedCalls), and
// `ended` is checked after them. False when the dialog cannot be made (nothing shown).
// The backend chooses the loop: its own main loop, or the dialog's own modal loop.
bool backendRunProgressDialog(const std::string& fileName,
                              const std::function<void(ProgressView&)>& shown,
                              const std::function<bool()>& ended);

// What the shown windows hold, as platform::ui::shownWidgetTexts describes it.
std::vector<std::string> backendWidgetTexts();

}  // namespace platform::ui::detail
