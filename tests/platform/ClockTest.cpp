#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace platform;

namespace {

TEST(VirtualClockTest, SleepsMoveTimeAtOnceAndAreRecorded)
{
    VirtualClock clock(1000);
    EXPECT_EQ(clock.NowMs(), 1000);
    clock.SleepMs(1000);
    clock.SleepMs(0);
    clock.SleepMs(-5); // a negative wait is no wait
    clock.SleepMs(100);
    EXPECT_EQ(clock.NowMs(), 2100);
    EXPECT_EQ(clock.Sleeps(), (std::vector<std::int64_t>{1000, 0, -5, 100}));
    EXPECT_EQ(clock.TotalSleptMs(), 1100);

    clock.Advance(50); // time passing without a sleep of ours
    clock.Advance(-50);
    EXPECT_EQ(clock.NowMs(), 2150);
    EXPECT_EQ(clock.Sleeps().size(), 4u);
    clock.ClearSleeps();
    EXPECT_TRUE(clock.Sleeps().empty());
    EXPECT_EQ(clock.NowMs(), 2150);
}

TEST(VirtualClockTest, SleepsOfSeveralThreadsAddUp)
{
    VirtualClock clock;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back([&clock] {
            for (int i = 0; i < 250; ++i)
                clock.SleepMs(2);
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(clock.NowMs(), 2000);
    EXPECT_EQ(clock.Sleeps().size(), 1000u);
}

TEST(SystemClockTest, IsMonotonicAndSleeps)
{
    Clock& clock = SystemClock();
    EXPECT_EQ(&clock, &SystemClock());
    const std::int64_t start = clock.NowMs();
    clock.SleepMs(20);
    clock.SleepMs(-1);
    const std::int64_t end = clock.NowMs();
    EXPECT_GE(end - start, 20);
}

} // namespace
