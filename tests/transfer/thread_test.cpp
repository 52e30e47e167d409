#include "transfer/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

namespace {

struct Counting : base::Thread {
    void Run() override { ++runs; }
    std::atomic<int> runs{0};
};

struct Throwing : base::Thread {
    void Run() override { throw std::runtime_error("worker failed"); }
};

struct ThrowingOther : base::Thread {
    void Run() override { throw 42; }
};

TEST(ThreadTest, ExceptionLeavingRunEndsOnlyTheThread) {
    Throwing first;
    ThrowingOther second;
    for (base::Thread* thread :
         {static_cast<base::Thread*>(&first), static_cast<base::Thread*>(&second)}) {
        std::atomic<int> ended{-1};
        thread->onEnded([&](bool completed) { ended = completed ? 1 : 0; });
        thread->Start();
        ASSERT_TRUE(thread->Started());
        thread->Join();
        EXPECT_EQ(ended, 0);
        EXPECT_FALSE(thread->Running());
    }
}

TEST(ThreadTest, StartingAgainRunsAnotherThread) {
    Counting thread;
    thread.Start();
    thread.Join();
    thread.Start();
    thread.Join();
    EXPECT_EQ(thread.runs, 2);
    EXPECT_FALSE(thread.Running());
}

TEST(ThreadTest, PlainThreadRunsNothingAndEnds) {
    base::Thread thread;
    std::atomic<bool> completed{false};
    thread.onEnded([&](bool ok) { completed = ok; });
    thread.Start();
    thread.Join();
    EXPECT_TRUE(completed);
}

}  // namespace
