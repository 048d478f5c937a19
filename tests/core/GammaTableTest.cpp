#include "core/GammaTable.h"
#include "core/Pow1by3Table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <thread>
#include <vector>

namespace
{

constexpr std::size_t N = CGammaTable::EntryCount;

int Entry(const CGammaTable& t, std::size_t i)
{
    return t.GetEntries()[i];
}

// Largest |table[i] - ref(i)| over all entries.
template <typename Ref> int MaxDeviation(const CGammaTable& t, Ref ref)
{
    int worst = 0;
    for (std::size_t i = 0; i < N; ++i)
        worst = std::max(worst, std::abs(Entry(t, i) - ref(i)));
    return worst;
}

std::vector<double> SampledPowerCurve(int n, double gamma)
{
    std::vector<double> c;
    for (int k = 0; k < n; ++k)
        c.push_back(std::pow(k / (n - 1.0), gamma));
    return c;
}

bool AllEntriesEqual(const CGammaTable& t, int value)
{
    for (std::size_t i = 0; i < N; ++i)
        if (Entry(t, i) != value)
            return false;
    return true;
}

// ---------------------------------------------------------------- one gamma

TEST(GammaTableBuild, GammaOneIsTheIdentity)
{
    CGammaTable t;
    const double g[] = {1.0};
    t.BuildFromCurve(g);
    ASSERT_EQ(t.GetEntries().size(), N);
    for (std::size_t i = 0; i < N; ++i)
        ASSERT_EQ(Entry(t, i), static_cast<int>(i)) << "i = " << i;

    CGammaTable inv;
    inv.BuildInverseFromCurve(g);
    for (std::size_t i = 0; i < N; ++i)
        ASSERT_EQ(Entry(inv, i), static_cast<int>(i)) << "i = " << i;
}

TEST(GammaTableBuild, GammaTwoPointTwoAndItsInverse)
{
    const double g[] = {2.2};
    CGammaTable t;
    t.BuildFromCurve(g);
    EXPECT_EQ(Entry(t, 0), 0);
    EXPECT_EQ(Entry(t, 65535), 65535);
    EXPECT_EQ(Entry(t, 32768), static_cast<int>(65535 * std::pow(32768 / 65535.0, 2.2)));
    EXPECT_EQ(Entry(t, 1000), static_cast<int>(65535 * std::pow(1000 / 65535.0, 2.2)));

    CGammaTable inv;
    inv.BuildInverseFromCurve(g);
    EXPECT_EQ(Entry(inv, 0), 0);
    EXPECT_EQ(Entry(inv, 65535), 65535);
    for (std::size_t i : {1u, 100u, 5000u, 32768u, 60000u})
        EXPECT_EQ(Entry(inv, i), static_cast<int>(65535 * std::pow(i / 65535.0, 1 / 2.2))) << i;
}

// ---------------------------------------------------------------- sampled curves

TEST(GammaTableBuild, SampledCurveFollowsTheFunctionItSamples)
{
    CGammaTable t;
    t.BuildFromCurve(SampledPowerCurve(256, 2.2));
    EXPECT_LE(MaxDeviation(t, [](std::size_t i)
                           { return static_cast<int>(65535 * std::pow(i / 65535.0, 2.2)); }),
              2);

    // A straight sampled line is the identity, up to the last bit the
    // spline's rounding may cost before truncation.
    const double line[] = {0.0, 0.5, 1.0};
    t.BuildFromCurve(line);
    EXPECT_LE(MaxDeviation(t, [](std::size_t i) { return static_cast<int>(i); }), 1);
    EXPECT_EQ(Entry(t, 65535), 65535);
}

TEST(GammaTableBuild, InverseOfASampledCurveUndoesTheCurve)
{
    const struct
    {
        const char* name;
        std::vector<double> curve;
        int tolerance;
    } cases[] = {
        {"gamma 2.2, 17 samples", SampledPowerCurve(17, 2.2), 4},
        {"gamma 2.2, 256 samples", SampledPowerCurve(256, 2.2), 4},
        {"gamma 0.6, 33 samples", SampledPowerCurve(33, 0.6), 8},
    };
    for (const auto& c : cases)
    {
        CGammaTable forward, inverse;
        forward.BuildFromCurve(c.curve);
        inverse.BuildInverseFromCurve(c.curve);
        // curve(inverse(y)) = y for every table input.
        int worst = 0;
        for (std::size_t i = 0; i < N; ++i)
            worst =
                std::max(worst, std::abs(Entry(forward, Entry(inverse, i)) - static_cast<int>(i)));
        EXPECT_LE(worst, c.tolerance) << c.name;
    }

    // With a slope bounded away from 0 the other composition holds too.
    std::vector<double> smooth;
    for (int k = 0; k <= 16; ++k)
    {
        const double x = k / 16.0;
        smooth.push_back(0.5 * (x + x * x));
    }
    CGammaTable forward, inverse;
    forward.BuildFromCurve(smooth);
    inverse.BuildInverseFromCurve(smooth);
    int worst = 0;
    for (std::size_t i = 0; i < N; ++i)
        worst = std::max(worst, std::abs(Entry(inverse, Entry(forward, i)) - static_cast<int>(i)));
    EXPECT_LE(worst, 3);
}

TEST(GammaTableBuild, OvershootingSplineClampsToTheEnds)
{
    // The spline through these swings to about -0.48 and 1.48.
    const std::vector<CPointD> points = {{0, 0.1}, {0.45, 0.95}, {0.55, 0.05}, {1, 0.9}};
    CInterpolation s;
    for (const CPointD& p : points)
        s.AddPoint(p.x, p.y);
    s.BuildSpline();

    CGammaTable t;
    t.BuildFromPoints(points);
    int above = 0, below = 0;
    for (std::size_t i = 0; i < N; ++i)
    {
        const double v = s.GetSplineValue(i / 65535.0);
        if (v >= 1.0)
        {
            ++above;
            ASSERT_EQ(Entry(t, i), 65535) << i;
        }
        else if (v <= 0.0)
        {
            ++below;
            ASSERT_EQ(Entry(t, i), 0) << i;
        }
        else
        {
            ASSERT_NEAR(Entry(t, i), 65535 * v, 1.0) << i;
        }
    }
    EXPECT_GT(above, 1000);
    EXPECT_GT(below, 1000);

    // The same through BuildFromCurve with equally spaced samples.
    const double wild[] = {0.0, 1.0, 0.0, 1.0};
    t.BuildFromCurve(wild);
    EXPECT_EQ(Entry(t, 0), 0);
    EXPECT_EQ(Entry(t, 65535), 65535);
}

TEST(GammaTableBuild, PointsAreSortedAndALaterDuplicateXIsDropped)
{
    const std::vector<CPointD> points = {{1, 1}, {0.5, 0.5}, {0, 0}, {0.5, 0.9}};
    CGammaTable t;
    t.BuildFromPoints(points);
    EXPECT_LE(MaxDeviation(t, [](std::size_t i) { return static_cast<int>(i); }), 1);
}

// Curves that leave fewer than two distinct spline points give flat tables,
// never NaN-derived garbage and never an empty table.
TEST(GammaTableBuild, CollapsedCurvesGiveFlatTables)
{
    const double constant[] = {0.5, 0.5, 0.5, 0.5};
    const std::vector<double> none;

    CGammaTable t;
    t.BuildFromCurve(constant);
    EXPECT_TRUE(AllEntriesEqual(t, 32767));

    // Every S(x_j) is 0.5: one swapped point (0.5, 0) survives.
    t.BuildInverseFromCurve(constant);
    ASSERT_FALSE(t.IsEmpty());
    EXPECT_TRUE(AllEntriesEqual(t, 0));

    t.BuildFromCurve(none);
    ASSERT_FALSE(t.IsEmpty());
    EXPECT_TRUE(AllEntriesEqual(t, 0));

    t.BuildInverseFromCurve(none);
    ASSERT_FALSE(t.IsEmpty());
    EXPECT_TRUE(AllEntriesEqual(t, 0));

    // All points at one x: the first one's y.
    const std::vector<CPointD> sameX = {{0.3, 0.25}, {0.3, 0.75}};
    t.BuildFromPoints(sameX);
    EXPECT_TRUE(AllEntriesEqual(t, 16383));

    t.BuildFromPoints(std::vector<CPointD>{});
    ASSERT_FALSE(t.IsEmpty());
    EXPECT_TRUE(AllEntriesEqual(t, 0));
}

TEST(GammaTableBuild, NaNValuesGiveZeroEntries)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double curve[] = {0.0, nan, 1.0};
    CGammaTable t;
    t.BuildFromCurve(curve);
    EXPECT_TRUE(AllEntriesEqual(t, 0));

    t.BuildInverseFromCurve(curve);
    ASSERT_FALSE(t.IsEmpty());
    EXPECT_TRUE(AllEntriesEqual(t, 0));
}

// ---------------------------------------------------------------- storage

TEST(GammaTableStorage, SetTableCopiesExactlyAFullTable)
{
    std::vector<std::uint16_t> values(N);
    for (std::size_t i = 0; i < N; ++i)
        values[i] = static_cast<std::uint16_t>(65535 - i);

    CGammaTable t;
    EXPECT_TRUE(t.IsEmpty());
    ASSERT_TRUE(t.SetTable(values));
    EXPECT_EQ(Entry(t, 0), 65535);
    EXPECT_EQ(Entry(t, 65535), 0);

    const std::vector<std::uint16_t> shortTable(100, 7);
    EXPECT_FALSE(t.SetTable(shortTable));
    EXPECT_EQ(Entry(t, 0), 65535); // unchanged
    EXPECT_EQ(t.GetEntries().size(), N);
}

TEST(GammaTableStorage, CopyAssignAndFree)
{
    CGammaTable a;
    const double g[] = {2.2};
    a.BuildFromCurve(g);

    CGammaTable b(a);
    EXPECT_EQ(Entry(b, 32768), Entry(a, 32768));
    EXPECT_NE(b.GetEntries().data(), a.GetEntries().data()); // its own block

    a.Free();
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(a.Lock(), nullptr);
    EXPECT_FALSE(b.IsEmpty()); // the copy is independent

    b = a; // assigning an empty table empties this one
    EXPECT_TRUE(b.IsEmpty());
}

TEST(GammaTableStorage, LockGuardOnEmptyAndBuiltTables)
{
    CGammaTable t;
    {
        const CLockGammaTable lock(t);
        EXPECT_FALSE(lock.IsValid());
        EXPECT_EQ(lock.GetTable(), nullptr);
        EXPECT_TRUE(lock.GetEntries().empty());
    }

    const double g[] = {0.5};
    t.BuildFromCurve(g);
    {
        const CLockGammaTable outer(t);
        ASSERT_TRUE(outer.IsValid());
        {
            const CLockGammaTable inner(t);
            EXPECT_EQ(inner.GetEntries().size(), N);
            EXPECT_EQ(inner[65535], 65535);
        }
        // The inner guard's end leaves the outer one reading the same data.
        EXPECT_EQ(outer.GetTable(), t.GetEntries().data());
        EXPECT_EQ(outer[16384], Entry(t, 16384));
    }
    EXPECT_FALSE(t.IsEmpty());
}

// ---------------------------------------------------------------- RGB

TEST(RGBGammaTable, AppliesEachChannelsOwnTable)
{
    CRGBGammaTable rgb;
    EXPECT_FALSE(rgb.IsComplete());
    const double one[] = {1.0};
    const double g22[] = {2.2};
    std::vector<std::uint16_t> invert(N);
    for (std::size_t i = 0; i < N; ++i)
        invert[i] = static_cast<std::uint16_t>(65535 - i);
    rgb.Red().BuildFromCurve(one);
    rgb.Green().SetTable(invert);
    rgb[2].BuildFromCurve(g22);
    ASSERT_TRUE(rgb.IsComplete());

    std::vector<RGB16> px = {{0, 0, 0}, {65535, 65535, 65535}, {1234, 40000, 32768}};
    ASSERT_TRUE(ApplyRGBGammaTable(px.data(), px.size(), rgb));
    const int b32768 = Entry(rgb.Blue(), 32768);
    const RGB16 expected[] = {{0, 65535, 0},
                              {65535, 0, 65535},
                              {1234, 65535 - 40000, static_cast<std::uint16_t>(b32768)}};
    for (std::size_t i = 0; i < px.size(); ++i)
    {
        EXPECT_EQ(px[i].r, expected[i].r) << i;
        EXPECT_EQ(px[i].g, expected[i].g) << i;
        EXPECT_EQ(px[i].b, expected[i].b) << i;
    }
}

TEST(RGBGammaTable, AnEmptyChannelLeavesThePixelsAlone)
{
    CRGBGammaTable rgb;
    const double one[] = {2.0};
    rgb.Red().BuildFromCurve(one);
    rgb.Green().BuildFromCurve(one);
    std::vector<RGB16> px = {{30000, 30000, 30000}};
    EXPECT_FALSE(ApplyRGBGammaTable(px.data(), px.size(), rgb));
    EXPECT_EQ(px[0].r, 30000);
    EXPECT_EQ(px[0].g, 30000);
    EXPECT_EQ(px[0].b, 30000);

    rgb.Blue().BuildFromCurve(one);
    EXPECT_TRUE(ApplyRGBGammaTable(px.data(), px.size(), rgb));
    rgb.Free();
    EXPECT_FALSE(rgb.IsComplete());
    EXPECT_TRUE(rgb.Red().IsEmpty());
}

// ---------------------------------------------------------------- cube root

TEST(Pow1by3Table, EndsScalesAndOrder)
{
    const CPow1by3Table& t = GetPow1by3Table();
    EXPECT_EQ(&t, &GetPow1by3Table());
    ASSERT_EQ(t.GetEntryCount(), 65536);
    const auto e = t.GetEntries();
    ASSERT_EQ(e.size(), 65536u);
    EXPECT_EQ(e[0], 0u);
    EXPECT_EQ(e[65535], 4294967295u);
    EXPECT_EQ(t.GetIndexScale(), 65535.0);
    EXPECT_EQ(t.GetValueScale(), 1.0 / 4294967295.0);
    for (std::size_t i = 1; i < e.size(); ++i)
        ASSERT_LT(e[i - 1], e[i]) << i;
}

// The table gives the root of the grid point just below t, so it is never
// above cbrt(t) and falls short by at most the root's rise over one index
// step. In the range the Lab formula uses (t > 0.008856) that is within
// 1.2e-4 (7.787/65535 at the threshold), and within 1e-5 from t = 0.5 on.
TEST(Pow1by3Table, RootIsTheRootOfTheGridPointBelow)
{
    const CPow1by3Table& t = GetPow1by3Table();
    double worstLab = 0.0, worstUpper = 0.0;
    for (double x = 1e-4; x <= 1.0; x *= 1.0007)
    {
        const double root = t.Root(x);
        const double exact = std::cbrt(x);
        ASSERT_LE(root, exact + 1e-12) << x;
        ASSERT_GE(root, std::cbrt(x - 1.0 / 65535.0) - 1e-12) << x;
        if (x > 0.008856)
            worstLab = std::max(worstLab, exact - root);
        if (x >= 0.5)
            worstUpper = std::max(worstUpper, exact - root);
    }
    EXPECT_LT(worstLab, 1.2e-4);
    EXPECT_LT(worstUpper, 1e-5);
}

TEST(Pow1by3Table, RootAtAndBeyondTheEnds)
{
    const CPow1by3Table& t = GetPow1by3Table();
    const struct
    {
        double x, expected, tolerance;
    } cases[] = {
        {0.0, 0.0, 0.0},   {-0.5, 0.0, 0.0},
        {1.0, 1.0, 1e-15}, {1.00001, 1.0, 1e-15}, // still inside entry 65535
        {8.0, 2.0, 1e-15}, {27.0, 3.0, 1e-14},    // pow above the table
        {1e-9, 0.0, 0.0},                         // below entry 1
    };
    for (const auto& c : cases)
        EXPECT_NEAR(t.Root(c.x), c.expected, c.tolerance) << c.x;
    EXPECT_TRUE(std::isnan(t.Root(std::numeric_limits<double>::quiet_NaN())));
}

TEST(Pow1by3Table, LockCountNeverGoesNegative)
{
    CPow1by3Table t;
    EXPECT_EQ(t.GetLockCount(), 0);
    t.Lock();
    t.Lock();
    EXPECT_EQ(t.GetLockCount(), 2);
    t.Unlock();
    t.Unlock();
    t.Unlock();
    EXPECT_EQ(t.GetLockCount(), 0);
    EXPECT_EQ(t.GetEntries()[65535], 4294967295u); // nothing was freed
}

// Readers of the shared tables while another thread keeps locking and
// unlocking them (as accessors come and go) always see the same entries.
TEST(SharedTables, ConcurrentReadersSeeStableData)
{
    const CPow1by3Table& root = GetPow1by3Table();
    CGammaTable gamma;
    const double g[] = {2.2};
    gamma.BuildFromCurve(g);

    auto sumRoot = [&root]
    {
        std::uint64_t s = 0;
        for (std::uint32_t v : root.GetEntries())
            s += v;
        return s;
    };
    auto sumGamma = [&gamma]
    {
        const CLockGammaTable lock(gamma);
        std::uint64_t s = 0;
        for (std::uint16_t v : lock.GetEntries())
            s += v;
        return s;
    };
    const std::uint64_t rootSum = sumRoot();
    const std::uint64_t gammaSum = sumGamma();
    ASSERT_GT(gammaSum, 0u);
    const int lockBefore = root.GetLockCount();

    std::atomic<int> mismatches{0};
    std::atomic<bool> stop{false};
    auto reader = [&]
    {
        for (int k = 0; k < 40; ++k)
        {
            root.Lock();
            if (sumRoot() != rootSum)
                ++mismatches;
            root.Unlock();
            if (sumGamma() != gammaSum)
                ++mismatches;
        }
    };
    std::thread locker(
        [&]
        {
            while (!stop.load())
            {
                root.Lock();
                {
                    const CLockGammaTable lock(gamma);
                }
                root.Unlock();
            }
        });
    std::thread r1(reader), r2(reader);
    r1.join();
    r2.join();
    stop = true;
    locker.join();

    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(root.GetLockCount(), lockBefore);
    EXPECT_EQ(sumRoot(), rootSum);
}

} // namespace
