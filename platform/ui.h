#pragma once
// The user-interface facade the subsystems call; each platform chooses the backend
// behind it (Windows: the dialog of template 130 and MessageBoxA; Linux: GTK 3 when a
// display is available, standard error otherwise).
// Texts arrive in the ANSI code page.

#include <functional>
#include <string>

namespace platform::ui {

// MessageBoxA(no owner, text, caption, MB_OK). Callable from any thread: a call made
// off the main thread runs on the main loop while the caller waits.
void messageBox(const std::string& text, const std::string& caption);

// The main thread owns the user interface. A call made on another thread runs on the
// main thread while the caller waits, as a synchronous cross-thread window call does;
// on the main thread it runs at once. An exception of the call reaches the caller.
void callOnMainThread(const std::function<void()>& call);
bool onMainThread();

// Main thread: runs other threads' calls until `done()` holds. `done` is checked after
// every call and whenever wakeMainThread() is called, from any thread.
void serviceCallsUntil(const std::function<bool()>& done);
void wakeMainThread();

// The progress dialog, main thread only (other threads use callOnMainThread). It shows
// `fileName`, an empty percentage text and an empty bar; the user cannot close it.
// runProgressDialog runs `shown` once the dialog exists, then services calls until
// endProgressDialog, and returns that result, or -1 when the dialog cannot be shown.
int runProgressDialog(const std::string& fileName, const std::function<void()>& shown);
bool progressDialogShown();
void updateProgressDialog(const std::string& percentText, int position);
void endProgressDialog(int result);

// What the progress dialog shows now (empty when none is shown); main thread only.
struct ProgressDialogState {
    std::string fileName;
    std::string percentText;
    int position = 0;
};
ProgressDialogState progressDialogState();

// For tests: makes runProgressDialog fail as a dialog that cannot be created does.
void refuseProgressDialog(bool refuse);

}  // namespace platform::ui
