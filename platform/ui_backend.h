#pragma once
// What the user-interface facade (platform/ui.h) and its backends share; only platform/
// sees this header. The interface is one message box and one progress dialog, in
// these headers:
//   platform/ui.h                 the facade the subsystems call
//   platform/ui_backend.h         this: what a backend gives the facade, the shown
//                                 dialog's view and the main loop's hooks
//   platform/widget_texts.h       for tests: what the shown windows hold
//   platform/gtk/gtk_backend.h    Linux with a display (GTK 3)
//   platform/posix/console_backend.h  Linux without one (standard error)
// Windows has one backend, in platform/win32/; Linux chooses between its two in
// platform/posix/ui_backend_posix.cpp.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform::ui::detail {

// A shown progress dialog; closing it is destroying it.
class ProgressView {
public:
    virtual ~ProgressView() = default;
    virtual void update(const std::string& percentText, int position) = 0;
    // Something else is about to be written where the view draws.
    virtual void interrupt() {}
};

// Lets the shown dialog, if any, make room for a console message; main thread only.
void interruptProgressDialog();

// Runs the calls other threads have queued; main thread only.
void runQueuedCalls();

// A graphical main loop, when one is in use: `wake` (any thread) makes it run
// runQueuedCalls soon, `iterate` (main thread) blocks until something happened.
struct MainLoopHooks {
    void (*wake)() = nullptr;
    void (*iterate)() = nullptr;
};
void setMainLoopHooks(const MainLoopHooks& hooks);

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
