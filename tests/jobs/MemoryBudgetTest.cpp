#include <gtest/gtest.h>

#include <thread>

#include "jobs/MemoryBudget.h"

namespace {

TEST(MemoryBudgetTest, SharesFitTheBudgetAndAJobTooLargeForItRunsAlone) {
    MemoryBudget budget(100);
    const auto never = [] { return false; };
    ASSERT_TRUE(budget.Acquire(150, never));  // nothing held: granted, however large
    EXPECT_FALSE(budget.TryGrow(1));
    // Another job waits until the first is done, or gives up when told to.
    EXPECT_FALSE(budget.Acquire(10, [] { return true; }));
    std::thread first([&budget] { budget.Release(150); });
    EXPECT_TRUE(budget.Acquire(60, never));
    first.join();
    EXPECT_TRUE(budget.TryGrow(40));
    EXPECT_FALSE(budget.TryGrow(1));
    budget.Release(100);
    EXPECT_TRUE(budget.TryGrow(100));
}

}  // namespace
