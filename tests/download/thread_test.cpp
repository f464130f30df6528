// The worker-thread base: suspended until Start, one run, Terminate seen by
// the run, exceptions kept, joining from outside only.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "platform/exception.h"
#include "platform/thread.h"

namespace {

class Counter : public platform::TThread {
public:
    ~Counter() override {
        Terminate();
        WaitFor();
    }
    std::atomic<int> runs{0};
    std::atomic<int> passes{0};
    std::atomic<bool> waitForRaised{false};
    bool throwInRun = false;
    bool loopUntilTerminated = false;

protected:
    void Execute() override {
        ++runs;
        try {
            WaitFor();
        } catch (const platform::Exception&) {
            waitForRaised = true;
        }
        if (throwInRun) throw std::runtime_error("boom");
        while (loopUntilTerminated && !Terminated()) {
            ++passes;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
};

TEST(Thread, CreatedSuspendedRunsOnceAfterStart) {
    Counter thread;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(thread.runs, 0);
    EXPECT_FALSE(thread.Started());
    thread.WaitFor();  // never started: returns at once

    thread.Start();
    thread.Start();
    thread.WaitFor();
    EXPECT_EQ(thread.runs, 1);
    EXPECT_TRUE(thread.Finished());
    EXPECT_TRUE(thread.waitForRaised) << "WaitFor from the run itself must refuse";
    EXPECT_EQ(thread.FatalException(), nullptr);
}

TEST(Thread, TerminateFromAnotherThreadEndsTheLoop) {
    Counter thread;
    thread.loopUntilTerminated = true;
    thread.Start();
    while (thread.passes < 3) std::this_thread::yield();
    EXPECT_FALSE(thread.Terminated());
    std::thread other([&] { thread.Terminate(); });
    other.join();
    thread.WaitFor();
    EXPECT_TRUE(thread.Terminated());
    EXPECT_TRUE(thread.Finished());
}

TEST(Thread, EscapingExceptionIsKept) {
    Counter thread;
    thread.throwInRun = true;
    thread.Start();
    thread.WaitFor();
    ASSERT_NE(thread.FatalException(), nullptr);
    EXPECT_THROW(std::rethrow_exception(thread.FatalException()), std::runtime_error);
}

}  // namespace
