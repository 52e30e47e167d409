#include "transfer/thread.h"

#include <system_error>

namespace base {

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

void Thread::Join() {
    if (state->handle && state->handle->joinable()) state->handle->join();
    state->handle.reset();
}

unsigned ThreadEntry(ThreadState* state) {
    bool completed = false;
    try {
        state->thread.load()->Run();
        completed = true;
    } catch (...) {
    }
    state->thread = nullptr;
    if (state->ended) {
        try {
            state->ended(completed);
        } catch (...) {
        }
    }
    return 0;
}

}  // namespace base
