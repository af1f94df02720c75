#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <thread>
#include <vector>

#include "jobs/convert/OrderedPool.h"

namespace {

// Results come back in the order of submission even when later tasks finish first: task 0
// waits until task 1 has finished.
TEST(OrderedPoolTest, ResultsComeInSubmissionOrderWhateverFinishesFirst) {
    OrderedPool<int> pool(3);
    std::atomic<bool> secondDone{false};
    pool.Submit([&] {
        while (!secondDone.load()) std::this_thread::yield();
        return 0;
    });
    pool.Submit([&] {
        secondDone.store(true);
        return 1;
    });
    pool.Submit([] { return 2; });
    EXPECT_EQ(pool.TakeNext(), 0);
    EXPECT_EQ(pool.TakeNext(), 1);
    EXPECT_EQ(pool.TakeNext(), 2);
    EXPECT_TRUE(pool.Empty());
}

// At most threads + 1 tasks are in flight (Full), and no more than `threads` run at once: the
// workers and the caller while it waits.
TEST(OrderedPoolTest, WorkInFlightIsBounded) {
    for (const unsigned threads : {1u, 2u, 4u}) {
        SCOPED_TRACE(threads);
        OrderedPool<int> pool(threads);
        std::atomic<int> running{0}, most{0};
        int submitted = 0, taken = 0;
        for (int i = 0; i < 64; ++i) {
            while (pool.Full()) EXPECT_EQ(pool.TakeNext(), taken++);
            pool.Submit([&, i] {
                const int now = ++running;
                for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
                }
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                --running;
                return i;
            });
            ++submitted;
            EXPECT_LE(static_cast<std::size_t>(submitted - taken), pool.MaxInFlight());
        }
        while (!pool.Empty()) EXPECT_EQ(pool.TakeNext(), taken++);
        EXPECT_EQ(taken, 64);
        EXPECT_EQ(pool.MaxInFlight(), threads == 1 ? 1u : threads + 1);
        EXPECT_LE(most.load(), static_cast<int>(threads));
    }
}

// Ordered steps run one at a time, in submission order, before the rest of their task, which
// may overlap other tasks.
TEST(OrderedPoolTest, OrderedStepsRunOneAtATimeInOrder) {
    OrderedPool<int> pool(4);
    std::vector<int> order;  // written by the steps alone, which must not overlap
    std::atomic<int> inStep{0};
    std::atomic<bool> overlapped{false};
    int taken = 0;
    for (int i = 0; i < 200; ++i) {
        while (pool.Full()) pool.TakeNext(), ++taken;
        pool.Submit([i] { return i; },
                    [&, i] {
                        if (++inStep > 1) overlapped = true;
                        order.push_back(i);
                        std::this_thread::yield();
                        --inStep;
                    });
    }
    while (!pool.Empty()) pool.TakeNext(), ++taken;
    EXPECT_EQ(taken, 200);
    EXPECT_FALSE(overlapped.load());
    std::vector<int> expected(200);
    for (int i = 0; i < 200; ++i) expected[static_cast<std::size_t>(i)] = i;
    EXPECT_EQ(order, expected);
}

// A worker starts on another core than the caller's, and may then run wherever the caller may.
TEST(OrderedPoolTest, WorkersMayRunWhereverTheCallerMay) {
    cpu_set_t mine;
    ASSERT_EQ(sched_getaffinity(0, sizeof mine, &mine), 0);
    OrderedPool<bool> pool(2);
    std::atomic<bool> started{false};
    pool.Submit([&] {
        started = true;  // by a worker: the caller is waiting for it below
        cpu_set_t theirs;
        return sched_getaffinity(0, sizeof theirs, &theirs) == 0 && CPU_EQUAL(&mine, &theirs);
    });
    while (!started) std::this_thread::yield();
    EXPECT_TRUE(pool.TakeNext());
}

// One thread runs each task as it is submitted, on the caller's thread.
TEST(OrderedPoolTest, OneThreadRunsTasksInline) {
    OrderedPool<std::thread::id> pool(1);
    pool.Submit([] { return std::this_thread::get_id(); });
    EXPECT_TRUE(pool.Full());
    EXPECT_EQ(pool.TakeNext(), std::this_thread::get_id());
}

}  // namespace
