#include "transfer/thread.h"

#include <atomic>
#include <system_error>
#include <thread>

#include "config/update_context.h"

namespace base {

struct ThreadState {
    std::unique_ptr<std::thread> handle;   // the started thread, null when none
    std::atomic<Thread*> thread{nullptr};  // whose Run the thread calls; null when none runs
    std::function<void(bool completed)> ended;
};

Thread::Thread() : state(std::make_shared<ThreadState>()) {}

Thread::~Thread() {
    if (state->handle && state->handle->joinable()) state->handle->detach();
    state->handle.reset();
}

void Thread::Start() {
    if (state->handle) {
        if (state->handle->joinable()) state->handle->detach();
        state->handle.reset();
    }
    state->thread = this;
    try {
        state->handle =
            std::make_unique<std::thread>([shared = state] { ThreadEntry(shared.get()); });
    } catch (const std::system_error&) {
        state->handle.reset();
        state->thread = nullptr;
    }
}

bool Thread::Started() const { return state->handle != nullptr; }

bool Thread::Running() const { return state->thread.load() != nullptr; }

void Thread::Join() {
    if (state->handle && state->handle->joinable()) state->handle->join();
    state->handle.reset();
}

void Thread::onEnded(std::function<void(bool completed)> ended) { state->ended = std::move(ended); }

unsigned Thread::ThreadEntry(ThreadState* state) {
    bool completed = false;
    try {
        state->thread.load()->Run();
        completed = true;
    } catch (...) {
        // Whatever Run threw, the thread ends normally; `ended` hears it failed.
    }
    state->thread = nullptr;
    if (state->ended) {
        try {
            state->ended(completed);
        } catch (...) {
            // Nobody is left on this thread to hear it.
        }
    }
    return 0;
}

}  // namespace base

void DownloadThreadFile::Run() { owner->patchStepBody(); }
