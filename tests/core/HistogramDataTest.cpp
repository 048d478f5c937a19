#include "core/HistogramData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

void PrintTo(const CHistogramData::Segment& s, std::ostream* os)
{
    *os << "(" << s.start << ", " << s.peak << ", " << s.end << ")";
}

namespace {

using Counts = std::vector<std::uint32_t>;
using Segment = CHistogramData::Segment;
using Segments = std::vector<Segment>;

// ---------------------------------------------------------------- smoothing

TEST(HistogramSmooth, MovingAverageOverTheBinsThatExist)
{
    constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
    const struct
    {
        Counts in;
        int w;
        Counts out;
    } cases[] = {
        {{3, 0, 0}, 1, {1, 1, 0}},             // two bins at the ends, truncated
        {{0, 6, 0, 0, 9}, 1, {3, 2, 2, 3, 4}}, // 6/2, 6/3, 6/3, 9/3, 9/2
        {{1, 0}, 1, {0, 0}},                   // 0.5 truncates to 0
        {{10, 20, 30, 40}, 2, {20, 25, 25, 30}},
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 22}, 5, {0, 0, 0, 0, 0, 0, 0, 2, 2, 2, 2, 3, 3}},
        // 22/11, 22/10, 22/9, 22/8, 22/7, 22/6: fewer bins near the end
        {{1, 2, 3, 4, 5}, 100, {3, 3, 3, 3, 3}}, // window wider than the histogram
        {{5, 0, 7}, 0, {5, 0, 7}},
        {{5, 0, 7}, -2, {5, 0, 7}},
        {{kMax, kMax, kMax}, 1, {kMax, kMax, kMax}}, // the sum does not wrap
        {{kMax, 0, 0, kMax}, 1, {kMax / 2, kMax / 3, kMax / 3, kMax / 2}},
        {{}, 3, {}},
        {{42}, 1, {42}},
    };
    for (const auto& c : cases)
    {
        Counts got = c.in;
        CHistogramData::SmoothCounts(got, c.w);
        EXPECT_EQ(got, c.out) << ::testing::PrintToString(c.in) << " w " << c.w;
    }
}

TEST(HistogramSmooth, ConstructorSmoothsACopyWithWindowOne)
{
    const Counts raw = {3, 0, 0, 8, 1};
    const CHistogramData h(raw);
    EXPECT_EQ(h.GetCounts(), (Counts{1, 1, 2, 3, 4})); // 3/2, 3/3, 8/3, 9/3, 9/2

    CHistogramData again = h;
    again.Smooth(1);
    Counts twice = h.GetCounts();
    CHistogramData::SmoothCounts(twice, 1);
    EXPECT_EQ(again.GetCounts(), twice);
}

// ---------------------------------------------------------------- peak walk

TEST(HistogramWalkPeaks, SegmentsFromTheThreeStateWalk)
{
    const struct
    {
        const char* name;
        Counts counts;
        Segments segments;
    } cases[] = {
        {"one hill", {0, 2, 5, 3, 1, 0}, {{1, 3, 5}}},
        {"peak is the first bin after a flat top", {0, 2, 2, 1, 0}, {{1, 3, 4}}},
        {"flat stretches on the way down", {0, 4, 2, 2, 1, 1, 0}, {{1, 2, 6}}},
        {"starts at bin 0", {4, 2, 0}, {{0, 1, 2}}},
        {"a climb ends the hill and does not start the next",
         {0, 4, 6, 3, 5, 8, 2, 0},
         {{1, 3, 4}, {5, 6, 7}}},
        {"rising to the last bin", {0, 1, 2, 3, 4}, {}},
        {"flat to the last bin", {0, 3, 3, 3}, {}},
        {"still falling at the last bin", {0, 3, 5, 2, 1}, {}},
        {"a zero while rising drops the hill", {0, 3, 4, 0, 0, 2, 6, 1, 0}, {{5, 7, 8}}},
        {"all zero", {0, 0, 0}, {}},
        {"empty", {}, {}},
    };
    for (const auto& c : cases)
    {
        Segments got = {{9, 9, 9}}; // emptied first
        CHistogramData::WalkPeaks(c.counts, got);
        EXPECT_EQ(got, c.segments) << c.name;
    }
}

// FindPeaks works on the counts smoothed with window 5 on top of the
// constructor's window 1. A single spike of 999 at bin 30 becomes 333 at
// bins 29..31, and then 30 at bin 24, 60 at 25, 90 at 26..34, 60 at 35,
// 30 at 36: the walk starts at 24, turns down at 35 and meets zero at 37.
TEST(HistogramFindPeaks, SpikesBecomeSmoothedSegments)
{
    Counts raw(100, 0);
    raw[30] = 999;
    raw[70] = 999;
    const CHistogramData h(raw);
    const Counts before = h.GetCounts();

    Segments segments = {{1, 2, 3}};
    h.FindPeaks(segments);
    EXPECT_EQ(segments, (Segments{{24, 35, 37}, {64, 75, 77}}));
    EXPECT_EQ(h.GetCounts(), before); // the smoothing worked on a copy
}

TEST(HistogramFindPeaks, HillRisingToTheEndGivesNone)
{
    Counts raw(40, 0);
    for (std::size_t i = 20; i < raw.size(); ++i)
        raw[i] = static_cast<std::uint32_t>(100 * i);
    Segments segments;
    CHistogramData(raw).FindPeaks(segments);
    EXPECT_TRUE(segments.empty());
}

// ---------------------------------------------------------------- look-ups

TEST(HistogramFindSegment, FirstSegmentHoldingTheBinInclusive)
{
    const Segments segments = {{2, 4, 6}, {5, 7, 9}, {12, 13, 15}};
    const struct
    {
        int bin;
        bool found;
        Segment segment;
    } cases[] = {
        {2, true, {2, 4, 6}}, {6, true, {2, 4, 6}},     {5, true, {2, 4, 6}}, // first wins
        {7, true, {5, 7, 9}}, {15, true, {12, 13, 15}}, {1, false, {}},
        {10, false, {}},      {16, false, {}},          {-1, false, {}},
    };
    for (const auto& c : cases)
    {
        const Segment untouched{-1, -1, -1};
        Segment out = untouched;
        EXPECT_EQ(CHistogramData::FindSegment(segments, c.bin, out), c.found) << c.bin;
        EXPECT_EQ(out, c.found ? c.segment : untouched) << c.bin;
    }
    Segment out{-1, -1, -1};
    EXPECT_FALSE(CHistogramData::FindSegment({}, 0, out));
}

// Raw counts 3 at bins 0..3 and 7..9. Window 1 gives 3 3 3 2 1 0 1 2 3 2 1;
// window 5 then gives 2 (12/6), 1 (13/7), 1 (15/8), 2 (18/9), 2 (20/10), ...
// so the first segment turns down at bin 1 and ends where the counts climb
// again at bin 3, and the next one starts at bin 4.
TEST(HistogramGetPeakRange, TruncatesXToTheBin)
{
    Counts raw(30, 0);
    for (std::size_t i : {0u, 1u, 2u, 3u, 7u, 8u, 9u})
        raw[i] = 3;
    const CHistogramData h(raw);
    Segments segments;
    h.FindPeaks(segments);
    ASSERT_EQ(segments.size(), 2u);
    ASSERT_EQ(segments[0], (Segment{0, 1, 3}));
    ASSERT_EQ(segments[1].start, 4.0);

    const struct
    {
        double x;
        bool found;
        double lo, hi;
    } cases[] = {
        {3.9, true, 0, 3}, // bin 3, not 4
        {4.0, true, 4, segments[1].end},
        {0.0, true, 0, 3},
        {-0.5, true, 0, 3}, // truncation towards zero
        {-1.0, false, 0, 0},
        {29.9, false, 0, 0},
        {1e300, false, 0, 0},
        {std::nan(""), false, 0, 0},
    };
    for (const auto& c : cases)
    {
        double lo = -7.0;
        double hi = -7.0;
        EXPECT_EQ(h.GetPeakRange(c.x, lo, hi), c.found) << c.x;
        EXPECT_EQ(lo, c.found ? c.lo : -7.0) << c.x;
        EXPECT_EQ(hi, c.found ? c.hi : -7.0) << c.x;
    }
}

} // namespace
