#include "core/RowBands.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

// Records the percent reports, on which thread they came, and answers false
// on one chosen report.
class ProgressLog final : public IProgressSink
{
public:
    std::vector<double> values;
    int stopAfter = -1; // answer false on this report (0-based); -1 never
    bool otherThread = false;

    bool Report(double percent) override
    {
        if (std::this_thread::get_id() != m_thread)
            otherThread = true;
        values.push_back(percent);
        return static_cast<int>(values.size()) - 1 != stopAfter;
    }

private:
    std::thread::id m_thread = std::this_thread::get_id();
};

class RowBandsTest : public testing::TestWithParam<int>
{
protected:
    void SetUp() override { SetRowThreadCount(GetParam()); }
    void TearDown() override { SetRowThreadCount(0); }
};

TEST_P(RowBandsTest, EveryRowOnceAndProgressInOrderOnTheCallingThread)
{
    for (int rows : {1, 2, 7, 64, 1000})
    {
        SCOPED_TRACE(rows);
        std::vector<std::atomic<int>> visits(static_cast<std::size_t>(rows));
        ProgressLog log;
        EXPECT_TRUE(RunRowBands(rows, log, [&](int first, int end) {
            for (int row = first; row < end; ++row)
                visits[static_cast<std::size_t>(row)]++;
        }));
        for (int row = 0; row < rows; ++row)
            EXPECT_EQ(visits[static_cast<std::size_t>(row)].load(), 1) << row;
        ASSERT_EQ(log.values.size(), static_cast<std::size_t>(rows));
        for (int row = 0; row < rows; ++row)
            EXPECT_DOUBLE_EQ(log.values[row], rows == 1 ? 100.0 : row * 100.0 / (rows - 1));
        EXPECT_FALSE(log.otherThread);
    }
}

TEST_P(RowBandsTest, AStopLeavesTheRestUndone)
{
    const int rows = 4000;
    std::atomic<int> done{0};
    ProgressLog log;
    log.stopAfter = 10;
    EXPECT_FALSE(RunRowBands(rows, log, [&](int first, int end) { done += end - first; }));
    EXPECT_EQ(log.values.size(), 11u);
    // With one thread the stop is seen before the next band starts; with
    // several, the workers may have finished every band by then.
    if (GetParam() == 1)
        EXPECT_LT(done.load(), rows);
    else
        EXPECT_LE(done.load(), rows);
    EXPECT_TRUE(RunRowBands(0, log, [](int, int) { FAIL(); }));
}

TEST_P(RowBandsTest, OutputIsTheSameForAnyThreadCount)
{
    const int rows = 999;
    std::vector<int> reference(static_cast<std::size_t>(rows));
    SetRowThreadCount(1);
    RunRowBands(rows, {}, [&](int first, int end) {
        for (int row = first; row < end; ++row)
            reference[static_cast<std::size_t>(row)] = row * row % 97;
    });
    SetRowThreadCount(GetParam());
    std::vector<int> result(static_cast<std::size_t>(rows), -1);
    RunRowBands(rows, {}, [&](int first, int end) {
        for (int row = first; row < end; ++row)
            result[static_cast<std::size_t>(row)] = row * row % 97;
    });
    EXPECT_EQ(result, reference);
}

// The blocks of the DNG passes: per-worker scratch is only safe when a
// worker index stays below the count asked and no worker runs two bands at
// once; finished hears of every band in order, on the calling thread.
TEST_P(RowBandsTest, WorkersOwnTheirScratchAndBandsFinishInOrder)
{
    const int workers = GetParam();
    const int bands = 57;
    std::vector<std::atomic<int>> busy(static_cast<std::size_t>(workers));
    std::atomic<bool> overlap{false};
    std::atomic<bool> badWorker{false};
    std::vector<std::atomic<int>> runs(static_cast<std::size_t>(bands));
    std::vector<int> order;
    const std::thread::id caller = std::this_thread::get_id();
    bool otherThread = false;
    EXPECT_TRUE(RunBands(
        bands, workers,
        [&](int worker, int band) {
            if (worker < 0 || worker >= workers)
            {
                badWorker = true;
                return;
            }
            if (busy[static_cast<std::size_t>(worker)].fetch_add(1) != 0)
                overlap = true;
            runs[static_cast<std::size_t>(band)]++;
            std::this_thread::yield();
            busy[static_cast<std::size_t>(worker)]--;
        },
        [&](int band) {
            otherThread = otherThread || std::this_thread::get_id() != caller;
            EXPECT_EQ(runs[static_cast<std::size_t>(band)].load(), 1) << band;
            order.push_back(band);
            return true;
        }));
    EXPECT_FALSE(badWorker.load());
    EXPECT_FALSE(overlap.load());
    EXPECT_FALSE(otherThread);
    ASSERT_EQ(order.size(), static_cast<std::size_t>(bands));
    for (int b = 0; b < bands; ++b)
        EXPECT_EQ(order[static_cast<std::size_t>(b)], b);

    // A stop at band 5 hands on no later band.
    order.clear();
    EXPECT_FALSE(RunBands(
        bands, workers, [](int, int) {},
        [&](int band) {
            order.push_back(band);
            return band != 5;
        }));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

// The drivers' workers serve one call at a time: calls made at the same
// time from several threads, and calls from inside a band, each still run
// every one of their bands once, with worker indices below the count asked.
TEST(RowBandsConcurrencyTest, SimultaneousAndNestedCallsEachRunAllTheirBands)
{
    constexpr int kCallers = 4;
    constexpr int kBands = 40;
    constexpr int kThreads = 3;
    std::atomic<bool> bad{false};
    const auto call = [&](int bands) {
        std::vector<std::atomic<int>> runs(static_cast<std::size_t>(bands));
        const bool done = RunBands(
            bands, kThreads,
            [&](int worker, int band) {
                if (worker < 0 || worker >= kThreads)
                    bad = true;
                runs[static_cast<std::size_t>(band)]++;
            },
            [](int) { return true; });
        for (const auto& r : runs)
            if (r.load() != 1)
                bad = true;
        return done;
    };
    std::vector<std::thread> callers;
    std::atomic<int> finished{0};
    for (int c = 0; c < kCallers; ++c)
    {
        callers.emplace_back([&] {
            for (int round = 0; round < 20; ++round)
            {
                // Every few bands of the outer call run a call of their own.
                std::vector<std::atomic<int>> outer(kBands);
                const bool done = RunBands(
                    kBands, kThreads,
                    [&](int, int band) {
                        outer[static_cast<std::size_t>(band)]++;
                        if (band % 8 == 0 && !call(5))
                            bad = true;
                    },
                    [](int) { return true; });
                for (const auto& r : outer)
                    if (r.load() != 1)
                        bad = true;
                if (done && call(kBands))
                    ++finished;
            }
        });
    }
    for (std::thread& t : callers)
        t.join();
    EXPECT_FALSE(bad.load());
    EXPECT_EQ(finished.load(), kCallers * 20);
}

INSTANTIATE_TEST_SUITE_P(Threads, RowBandsTest, testing::Values(1, 3, 8),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param);
                         });

} // namespace

TEST(RowBandsThreadCountTest, AThreadsOwnCountRunsItsCallsOnItselfAndComesBack)
{
    SetRowThreadCount(4);
    {
        const ScopedRowThreads alone(1);
        EXPECT_EQ(GetRowThreadCount(), 1);
        // Every band of a call made here runs on this thread.
        std::vector<std::thread::id> ran;
        EXPECT_TRUE(
            RunRowBands(200, {}, [&](int, int) { ran.push_back(std::this_thread::get_id()); }));
        ASSERT_FALSE(ran.empty());
        for (const std::thread::id& id : ran)
            EXPECT_EQ(id, std::this_thread::get_id());
        {
            const ScopedRowThreads inner(0);
            EXPECT_EQ(GetRowThreadCount(), 4);
        }
        EXPECT_EQ(GetRowThreadCount(), 1);
        // Other threads keep the process's count.
        int elsewhere = 0;
        std::thread([&] { elsewhere = GetRowThreadCount(); }).join();
        EXPECT_EQ(elsewhere, 4);
    }
    EXPECT_EQ(GetRowThreadCount(), 4);
    SetRowThreadCount(0);
}
