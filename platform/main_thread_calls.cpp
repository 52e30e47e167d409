#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "platform/ui.h"
#include "platform/ui_backend.h"

namespace platform::ui {

namespace {

// Static initialisation runs on the main thread, before anything else can start one.
const std::thread::id mainThreadId = std::this_thread::get_id();

struct QueuedCall {
    const std::function<void()>* call;
    bool done = false;
    std::exception_ptr error;
};

std::mutex mutex;
std::condition_variable changed;
std::deque<QueuedCall*> queue;
unsigned long wakeCount = 0;  // changes whenever the main thread should look again
detail::MainLoopHooks hooks;

void notifyMainThread() {
    detail::MainLoopHooks current;
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++wakeCount;
        current = hooks;
    }
    changed.notify_all();
    if (current.wake) current.wake();
}

}  // namespace

bool onMainThread() { return std::this_thread::get_id() == mainThreadId; }

void callOnMainThread(const std::function<void()>& call) {
    if (onMainThread()) {
        call();
        return;
    }
    QueuedCall queued{&call, false, nullptr};
    {
        std::lock_guard<std::mutex> lock(mutex);
        queue.push_back(&queued);
    }
    notifyMainThread();
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return queued.done; });
    }
    if (queued.error) std::rethrow_exception(queued.error);
}

void wakeMainThread() { notifyMainThread(); }

namespace detail {

void runQueuedCalls() {
    for (;;) {
        QueuedCall* next;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (queue.empty()) return;
            next = queue.front();
            queue.pop_front();
        }
        try {
            (*next->call)();
        } catch (...) {
            next->error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            next->done = true;
            ++wakeCount;
        }
        changed.notify_all();
    }
}

void setMainLoopHooks(const MainLoopHooks& newHooks) {
    std::lock_guard<std::mutex> lock(mutex);
    hooks = newHooks;
}

}  // namespace detail

void serviceCallsUntil(const std::function<bool()>& done) {
    for (;;) {
        unsigned long seen;
        detail::MainLoopHooks current;
        {
            std::lock_guard<std::mutex> lock(mutex);
            seen = wakeCount;
            current = hooks;
        }
        detail::runQueuedCalls();
        if (done()) return;
        if (current.iterate) {
            current.iterate();
            continue;
        }
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return wakeCount != seen || !queue.empty(); });
    }
}

}  // namespace platform::ui
