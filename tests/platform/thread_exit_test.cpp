// The thread-exit hook: each ending thread's last value reaches the call,
// also from threads whose thread_local variables are gone by then.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/thread.h"

namespace {

std::mutex g_mutex;
std::vector<int> g_ended;  // values handed to the hook, in the order of the calls

void Ended(void* value) {
    int* number = static_cast<int*>(value);
    std::lock_guard lock(g_mutex);
    g_ended.push_back(*number);
    delete number;
}

thread_local int t_counter = 0;

}  // namespace

TEST(ThreadExitHook, EachEndingThreadHandsOnItsLastValue) {
    static platform::TThreadExitHook hook(&Ended);  // hooks live as long as the process
    {
        std::lock_guard lock(g_mutex);
        g_ended.clear();
    }
    std::vector<std::thread> threads;
    for (int k = 1; k <= 4; ++k) {
        threads.emplace_back([k] {
            // Thread-local state changes up to the end; the hook gets the
            // value as last set, not a copy of any thread_local variable.
            t_counter = k;
            int* first = new int(-k);
            EXPECT_TRUE(hook.Set(first));
            EXPECT_TRUE(hook.Set(nullptr));  // nil: nothing to hand on ...
            delete first;
            EXPECT_TRUE(hook.Set(new int(k * 10)));  // ... until a value is set again
            t_counter = k + 100;
        });
    }
    // A thread that gives no value is not called.
    threads.emplace_back([] { t_counter = 7; });
    for (auto& t : threads) t.join();
    std::lock_guard lock(g_mutex);
    std::vector<int> ended = g_ended;
    std::sort(ended.begin(), ended.end());
    EXPECT_EQ(ended, (std::vector<int>{10, 20, 30, 40}));
}
