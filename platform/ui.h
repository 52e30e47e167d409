#pragma once
// The user-interface facade the subsystems call. A GTK 3 backend serves when a display
// is available, a console backend otherwise. Texts arrive in the ANSI code page.

#include <string>

namespace platform::ui {

// MessageBoxA(no owner, text, caption, MB_OK). Callable from any thread: a call made
// off the main thread runs on the main loop while the caller waits.
void messageBox(const std::string& text, const std::string& caption);

}  // namespace platform::ui
