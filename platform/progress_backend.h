#pragma once
// The progress dialog's backends and the main loop's hooks; only platform/ sees this.

#include <memory>
#include <string>

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

}  // namespace platform::ui::detail
