#pragma once
// A small thread class: a subclass overrides Run, Start runs it on a new thread.

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace base {

class Thread;

// Shared by the thread object and the running thread.
struct ThreadState {
    std::unique_ptr<std::thread> handle;   // the started thread, null when none
    std::atomic<Thread*> thread{nullptr};  // whose Run the thread calls; null when none runs
    // Called on the thread once Run has returned (true) or thrown (false).
    std::function<void(bool completed)> ended;
};

class Thread {
public:
    Thread();
    // Lets a thread that still runs go on by itself, as closing its handle would.
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts a new thread that calls Run; returns at once. When the thread cannot be
    // started, the state stays empty and Run is never called.
    void Start();
    virtual void Run() {}

    // Whether a thread was started and has not been joined.
    bool Started() const { return state->handle != nullptr; }
    // Waits for the started thread to end.
    void Join();

    // Shared with the running thread, which may outlive this object.
    std::shared_ptr<ThreadState> state;
};

// Runs Run for the thread; an exception leaving Run ends the thread quietly.
unsigned ThreadEntry(ThreadState* state);

}  // namespace base

struct UpdateContext;

// The patch step's worker: Run calls the owner's patch-step body. Run is defined with
// the patch step (update/), so the thread class needs nothing above it.
class DownloadThreadFile : public base::Thread {
public:
    explicit DownloadThreadFile(UpdateContext* owner) : owner(owner) {}
    virtual ~DownloadThreadFile() = default;
    void Run() override;

    UpdateContext* owner;
};
