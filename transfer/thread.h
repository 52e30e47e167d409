#pragma once
// A small thread class: a subclass overrides Run, Start runs it on a new thread.

#include <functional>
#include <memory>

namespace base {

// Shared by the thread object and the running thread, which may outlive the object.
struct ThreadState;

class Thread {
public:
    Thread();
    // Lets a thread that still runs go on by itself, as closing its handle would.
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts a new thread that calls Run; returns at once. When the thread cannot be
    // started, nothing is stored and Run is never called.
    void Start();
    virtual void Run() {}

    // Whether a thread was started and has not been joined.
    bool Started() const;
    // Whether the started thread is still inside Run.
    bool Running() const;
    // Waits for the started thread to end.
    void Join();

    // `ended` is called on the thread once Run has returned (true) or thrown (false);
    // set it before Start and clear it (null) only after Join or a failed Start.
    void onEnded(std::function<void(bool completed)> ended);

private:
    // Runs Run for the thread; an exception leaving Run ends the thread quietly.
    static unsigned ThreadEntry(ThreadState* state);

    std::shared_ptr<ThreadState> state;
};

}  // namespace base

struct UpdateContext;

// The patch step's worker: Run calls the owner's patch-step body, which update/
// installs before the worker starts.
class DownloadThreadFile : public base::Thread {
public:
    explicit DownloadThreadFile(UpdateContext* owner) : owner(owner) {}
    virtual ~DownloadThreadFile() = default;
    void Run() override;

    UpdateContext* owner;
};
