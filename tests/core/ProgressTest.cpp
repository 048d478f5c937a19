#include "core/Progress.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace {

TEST(ProgressTest, AnEmptyHandleReportsNothingAndNeverCancels)
{
    const Progress none;
    EXPECT_FALSE(none);
    EXPECT_TRUE(none.Report(0.5));
    EXPECT_TRUE(none.Report(3, 4));
}

// A sink with only the value form gets counts as done / total.
TEST(ProgressTest, CountsReachAValueSinkAsFractions)
{
    std::vector<double> values;
    ProgressFunction sink([&](double v) {
        values.push_back(v);
        return true;
    });
    const Progress progress(sink);
    EXPECT_TRUE(progress.Report(1, 4));
    EXPECT_TRUE(progress.Report(7, 0));
    EXPECT_TRUE(progress.Report(42.0));
    EXPECT_EQ(values, (std::vector<double>{0.25, 1.0, 42.0}));
}

TEST(ProgressTest, ACountingSinkKeepsTheCounts)
{
    std::vector<std::pair<std::int64_t, std::int64_t>> counts;
    ProgressFunction sink([&](std::int64_t done, std::int64_t total) {
        counts.emplace_back(done, total);
        return done < 2;
    });
    const Progress progress(sink);
    EXPECT_TRUE(progress.Report(1, 5));
    EXPECT_FALSE(progress.Report(2, 5));
    EXPECT_TRUE(progress.Report(0.5)); // values are not its unit: dropped
    EXPECT_EQ(counts, (std::vector<std::pair<std::int64_t, std::int64_t>>{{1, 5}, {2, 5}}));
}

TEST(ProgressTest, AWatchRemembersARefusalAndPassesEverythingOn)
{
    std::vector<double> values;
    ProgressFunction sink([&](double v) {
        values.push_back(v);
        return v < 0.5;
    });
    CancelWatch watch(sink);
    const Progress watched = watch.Watched();
    EXPECT_TRUE(watched.Report(0.25));
    EXPECT_FALSE(watch.Cancelled());
    EXPECT_FALSE(watched.Report(0.75));
    EXPECT_TRUE(watch.Cancelled());
    EXPECT_TRUE(watched.Report(0.0));
    EXPECT_TRUE(watch.Cancelled()); // once asked, it stays asked
    EXPECT_EQ(values, (std::vector<double>{0.25, 0.75, 0.0}));

    // Nothing listens behind an empty handle: the watched one is empty too.
    CancelWatch none{Progress()};
    EXPECT_FALSE(none.Watched());
    EXPECT_FALSE(none.Cancelled());
}

TEST(ProgressTest, AFunctionWithoutAnAnswerGoesOn)
{
    int calls = 0;
    ProgressFunction sink([&](double) { ++calls; });
    EXPECT_TRUE(Progress(sink).Report(0.1));
    EXPECT_EQ(calls, 1);
}

} // namespace
