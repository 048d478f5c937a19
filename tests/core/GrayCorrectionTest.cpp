#include "core/GrayCorrection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

const CCIEXYZ kWhite(95.0, 100.0, 108.0); // reference gains (0.95, 1, 1.08)

void ExpectXYZNear(const CCIEXYZ& got, double X, double Y, double Z, double tol = 1e-9)
{
    EXPECT_NEAR(got[0], X, tol);
    EXPECT_NEAR(got[1], Y, tol);
    EXPECT_NEAR(got[2], Z, tol);
}

// ---------------------------------------------------------------- entry index

TEST(GrayCorrectionIndex, LevelsPickTheTruncatedEntryWithinTheTable)
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    const struct
    {
        double level;
        std::size_t entry;
    } cases[] = {
        {250.0, 1999},
        {199.9, 1999},
        {1e300, 1999},
        {inf, 1999},
        {-3.0, 0},
        {-inf, 0},
        {0.0, 0},
        {std::nan(""), 0},
        {0.1, 1},
        {12.3, 123},
        {199.85, 1998},
        // Quotients just below a whole number: 0.3 / 0.1 = 2.9999999999999996.
        {0.3, 2},
        {0.7, 6},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CGrayCorrection::GetEntryIndex(c.level), c.entry) << "level " << c.level;
}

// ---------------------------------------------------------------- build

// Patches at Y = 10 with X = 5 (ratio Y/X = 2, Z ratio 1) and at Y = 30 with
// X = 10 (ratio 3, Z ratio 0.5). The ratios are held before 10 and after 30
// and run straight between; each gain is the ratio times the reference.
TEST(GrayCorrectionBuild, TableInterpolatesPatchRatiosTimesReference)
{
    CGrayCorrection gc;
    const std::vector<CCIEXYZ> patches = {CCIEXYZ(10.0, 30.0, 60.0), CCIEXYZ(5.0, 10.0, 10.0)};
    ASSERT_TRUE(gc.Build(kWhite, patches));
    ASSERT_EQ(gc.GetTable().size(), 2000u);
    ExpectXYZNear(gc.GetReference(), 0.95, 1.0, 1.08);
    EXPECT_EQ(gc.GetSelector(), 1);

    const struct
    {
        std::size_t entry;
        double ratioX, ratioZ;
    } cases[] = {
        {0, 2.0, 1.0},    {50, 2.0, 1.0},  {100, 2.0, 1.0},  {150, 2.25, 0.875},
        {200, 2.5, 0.75}, {300, 3.0, 0.5}, {1999, 3.0, 0.5},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.entry);
        ExpectXYZNear(gc.GetTable()[c.entry], c.ratioX * 0.95, 1.0, c.ratioZ * 1.08, 1e-12);
    }
}

TEST(GrayCorrectionBuild, OnlyDarkPatchesFailAndLeaveTheTableAsItWas)
{
    // The threshold is exclusive: Y = 5.0 is too dark as well.
    const std::vector<CCIEXYZ> dark = {CCIEXYZ(1.0, 5.0, 2.0), CCIEXYZ(1.0, 2.0, 3.0),
                                       CCIEXYZ(1.0, std::nan(""), 1.0)};

    CGrayCorrection never;
    EXPECT_FALSE(never.Build(kWhite, dark));
    EXPECT_FALSE(never.IsBuilt());
    EXPECT_FALSE(never.Build(kWhite, {}));
    CCIEXYZ c(12.0, 34.0, 56.0);
    never.Apply(c);
    ExpectXYZNear(c, 12.0, 34.0, 56.0, 0.0);

    CGrayCorrection built;
    const std::vector<CCIEXYZ> usable = {CCIEXYZ(20.0, 40.0, 50.0)};
    ASSERT_TRUE(built.Build(kWhite, usable));
    const std::vector<CCIEXYZ> before = built.GetTable();
    EXPECT_FALSE(built.Build(CCIEXYZ(50.0, 100.0, 50.0), dark));
    ASSERT_EQ(built.GetTable().size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i)
        ASSERT_EQ(built.GetTable()[i], before[i]) << "entry " << i;
}

TEST(GrayCorrectionBuild, OneUsablePatchGivesTheSameGainsEverywhere)
{
    CGrayCorrection gc;
    const std::vector<CCIEXYZ> patches = {CCIEXYZ(1.0, 3.0, 1.0), CCIEXYZ(40.0, 50.0, 25.0),
                                          CCIEXYZ(2.0, 4.9, 2.0)};
    ASSERT_TRUE(gc.Build(kWhite, patches));
    for (std::size_t i = 0; i < gc.GetTable().size(); ++i)
        ASSERT_EQ(gc.GetTable()[i], gc.GetTable()[0]) << "entry " << i;
    ExpectXYZNear(gc.GetTable()[0], 1.25 * 0.95, 1.0, 2.0 * 1.08, 1e-12);
}

TEST(GrayCorrectionBuild, FirstPatchOfARepeatedLevelCounts)
{
    CGrayCorrection gc;
    const std::vector<CCIEXYZ> patches = {CCIEXYZ(25.0, 50.0, 50.0), CCIEXYZ(50.0, 50.0, 10.0)};
    ASSERT_TRUE(gc.Build(kWhite, patches));
    ExpectXYZNear(gc.GetTable()[1999], 2.0 * 0.95, 1.0, 1.0 * 1.08, 1e-12);
}

// ---------------------------------------------------------------- apply

// Greys of a tint that drifts with the level (blue in the shadows, yellow
// in the highlights) all come out with the white's chromaticity when they
// lie on the patch levels, and between patches the gain is interpolated.
TEST(GrayCorrectionApply, GreysAtPatchLevelsTakeTheWhitesChromaticity)
{
    const std::vector<CCIEXYZ> patches = {CCIEXYZ(9.0, 10.0, 13.0), CCIEXYZ(22.0, 20.0, 19.0),
                                          CCIEXYZ(60.0, 50.0, 40.0), CCIEXYZ(100.0, 90.0, 70.0)};
    CGrayCorrection gc;
    ASSERT_TRUE(gc.Build(kWhite, patches));
    for (const CCIEXYZ& p : patches)
    {
        CCIEXYZ c = p;
        gc.Apply(c);
        SCOPED_TRACE(p[1]);
        ExpectXYZNear(c, p[1] * 0.95, p[1], p[1] * 1.08, 1e-9);
    }

    // Halfway between Y = 20 and Y = 50 (entry 350) the X gain is the mean
    // of the two patches' ratios times the reference.
    CCIEXYZ mid(10.0, 35.0, 10.0);
    gc.Apply(mid);
    const double gx = (20.0 / 22.0 + 50.0 / 60.0) / 2.0 * 0.95;
    const double gz = (20.0 / 19.0 + 50.0 / 40.0) / 2.0 * 1.08;
    ExpectXYZNear(mid, 10.0 * gx, 35.0, 10.0 * gz, 1e-9);
}

// Beyond the table the end entries apply: Y = 250 the brightest patch's
// gains, Y = -3 and NaN the darkest's. The component Y is scaled by 1.
TEST(GrayCorrectionApply, LevelsOutsideTheTableUseTheEndEntries)
{
    const std::vector<CCIEXYZ> patches = {CCIEXYZ(5.0, 10.0, 20.0), CCIEXYZ(150.0, 150.0, 75.0)};
    CGrayCorrection gc;
    ASSERT_TRUE(gc.Build(kWhite, patches));

    CCIEXYZ bright(10.0, 250.0, 10.0);
    gc.Apply(bright);
    ExpectXYZNear(bright, 10.0 * 0.95, 250.0, 10.0 * 2.0 * 1.08);

    CCIEXYZ dark(10.0, -3.0, 10.0);
    gc.Apply(dark);
    ExpectXYZNear(dark, 10.0 * 2.0 * 0.95, -3.0, 10.0 * 0.5 * 1.08);

    CCIEXYZ nan(10.0, std::nan(""), 10.0);
    gc.Apply(nan);
    EXPECT_NEAR(nan[0], 10.0 * 2.0 * 0.95, 1e-9);
    EXPECT_TRUE(std::isnan(nan[1]));
    EXPECT_NEAR(nan[2], 10.0 * 0.5 * 1.08, 1e-9);
}

} // namespace
