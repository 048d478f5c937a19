// Colour value types: white points, XYZ/Lab/LCh/Yxy conversions, the
// daylight locus and the correlated colour temperature.

#include "core/CIEColor.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

void ExpectNear3(const CStdVector& actual, double c0, double c1, double c2, double tolerance)
{
    ASSERT_EQ(actual.GetSize(), 3u);
    EXPECT_NEAR(actual[0], c0, tolerance);
    EXPECT_NEAR(actual[1], c1, tolerance);
    EXPECT_NEAR(actual[2], c2, tolerance);
}

// (u, v) of the CIE 1960 UCS to (x, y).
void UvToXy(double u, double v, double* x, double* y)
{
    const double d = 2.0 * u - 8.0 * v + 4.0;
    *x = 3.0 * u / d;
    *y = 2.0 * v / d;
}

} // namespace

// --- Value types ------------------------------------------------------------------

TEST(CIEColorTest, StandardIlluminantWhitePoints)
{
    struct Case
    {
        int code;
        std::array<double, 3> xyz;
    };
    const Case cases[] = {
        {1, {109.851, 100, 35.582}},
        {2, {95.043, 100, 108.879}},
        {3, {98.072, 100, 118.225}},
        {4, {96.42, 100, 82.49}},
        {5, {95.68, 100, 92.14}},
        {6, {94.96, 100, 122.61}},
        {7, {99.09, 100, 85.31}},
        {0, {0, 0, 0}},
        {8, {0, 0, 0}},
        {-1, {0, 0, 0}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.code);
        const CCIEXYZ white(static_cast<StandardIlluminant>(c.code));
        EXPECT_EQ(white, (CStdVector{c.xyz[0], c.xyz[1], c.xyz[2]}));
    }
}

// The colour types keep exactly three components whatever they are given.
TEST(CIEColorTest, ValueTypesHoldThreeComponents)
{
    const std::vector<double> five{1, 2, 3, 4, 5};
    EXPECT_EQ(CCIEXYZ(five), (CStdVector{1, 2, 3}));
    EXPECT_EQ(CCIEXYZ(CStdVector(five)), (CStdVector{1, 2, 3}));
    EXPECT_EQ(CCIELab(CStdVector(five)), (CStdVector{1, 2, 3}));
    EXPECT_EQ(CCIELCh(five), (CStdVector{1, 2, 3}));
    EXPECT_EQ(CCIEYxy(CStdVector(five)), (CStdVector{1, 2, 3}));

    // SetData through the base class keeps three components.
    CCIEXYZ xyz(7, 8, 9);
    CStdVector& base = xyz;
    base.SetData(five);
    EXPECT_EQ(xyz, (CStdVector{1, 2, 3}));
    CCIELCh lch;
    lch = CStdVector(five);
    EXPECT_EQ(lch, (CStdVector{1, 2, 3}));

    EXPECT_EQ(CCIEXYZ(), (CStdVector{0, 0, 0}));
    EXPECT_EQ(CCIEXYZ(1, 2, 3) * 2.0, (CStdVector{2, 4, 6}));
    EXPECT_DOUBLE_EQ(CCIELab::DeltaE(CCIELab(50, 3, 4), CCIELab(50, 0, 0)), 5.0);
    EXPECT_DOUBLE_EQ(CCIELab::DeltaE(CCIELab(60, 1, 1), CCIELab(40, 1, 1)), 20.0);
}

TEST(CIEColorTest, LChInequalityIsExact)
{
    const CCIELCh a(50, 20, 90);
    EXPECT_FALSE(a != CCIELCh(50, 20, 90));
    EXPECT_TRUE(a != CCIELCh(50, 20, 90.0000001));
    EXPECT_TRUE(a != CCIELCh(51, 20, 90));
    EXPECT_TRUE(a != CCIELCh(50, 21, 90));
}

// --- XYZ and Lab ------------------------------------------------------------------

TEST(CIEColorTest, WhiteIsLightness100AndBlackIsZero)
{
    for (int code = 1; code <= 7; ++code)
    {
        SCOPED_TRACE(code);
        const CCIEXYZ white(static_cast<StandardIlluminant>(code));
        ExpectNear3(white.ToLab(white), 100.0, 0.0, 0.0, 1e-12);
        ExpectNear3(CCIEXYZ(0, 0, 0).ToLab(white), 0.0, 0.0, 0.0, 1e-12);
    }
}

// Reference values: sRGB primaries and grey under D65, as published in the
// usual XYZ -> Lab tables (to two decimals; our D65 white differs in the
// fourth digit, hence the tolerance).
TEST(CIEColorTest, LabOfKnownColours)
{
    struct Case
    {
        std::array<double, 3> xyz;
        std::array<double, 3> lab;
    };
    const Case cases[] = {
        {{41.2391, 21.2639, 1.9331}, {53.24, 80.09, 67.20}},
        {{35.7584, 71.5169, 11.9195}, {87.73, -86.18, 83.18}},
        {{18.0481, 7.2192, 95.0532}, {32.30, 79.19, -107.86}},
        {{20.3446, 21.4041, 23.3090}, {53.39, 0.0, 0.0}},
    };
    const CCIEXYZ d65(StandardIlluminant::D65);
    for (const Case& c : cases)
    {
        const CCIELab lab = CCIEXYZ(c.xyz[0], c.xyz[1], c.xyz[2]).ToLab(d65);
        ExpectNear3(lab, c.lab[0], c.lab[1], c.lab[2], 0.05);
    }
}

// XYZ -> Lab -> XYZ gives the colour back, in the cube-root branch and in
// the linear branch alike, with any white. In the linear branch the way back
// reads L through (L + 16) / 116 while the way there used 903.29 Y/Yn, whose
// slope (903.29 / 116 = 7.78698) is not quite 7.787: a relative error of a
// few 1e-6 there is part of the formulas.
TEST(CIEColorTest, XYZLabRoundTrip)
{
    const std::array<double, 3> colours[] = {
        {41.24, 21.26, 1.93}, {95.043, 100, 108.879}, {0.5, 0.3, 0.9}, // linear branch
        {0.1, 50.0, 120.0},   {5.0, 0.2, 60.0},       {150, 120, 130}, // mixed, above white
    };
    for (int code : {1, 2, 4})
    {
        const CCIEXYZ white(static_cast<StandardIlluminant>(code));
        for (const auto& c : colours)
        {
            SCOPED_TRACE(::testing::Message()
                         << code << ": " << c[0] << ", " << c[1] << ", " << c[2]);
            const CCIEXYZ xyz(c[0], c[1], c[2]);
            const CCIEXYZ back = xyz.ToLab(white).ToXYZ(white);
            for (std::size_t i = 0; i < 3; ++i)
                EXPECT_NEAR(back[i], c[i], 1e-5 * c[i] + 1e-12) << "component " << i;
        }
    }
    // ToXYZ without a white uses D65.
    const CCIELab lab(60, 20, -30);
    EXPECT_EQ(lab.ToXYZ(), lab.ToXYZ(CCIEXYZ(95.043, 100, 108.879)));
}

// The linear and the cube-root branch meet at t = 0.008856 without a
// visible step, in L and in a and b alike.
TEST(CIEColorTest, LabBranchesMeetAtTheJoint)
{
    const CCIEXYZ white(100, 100, 100);
    const double t = 0.008856;
    const double below = t * (1.0 - 1e-9);
    const double above = t * (1.0 + 1e-9);

    const CCIELab lBelow = CCIEXYZ(100 * below, 100 * below, 100 * below).ToLab(white);
    const CCIELab lAbove = CCIEXYZ(100 * above, 100 * above, 100 * above).ToLab(white);
    EXPECT_NEAR(lBelow[0], lAbove[0], 1e-3);
    EXPECT_NEAR(lAbove[0], 8.0, 1e-3);

    // With Y fixed at the white, a = 500 (fx - 1) and b = 200 (1 - fz), so
    // f(t) itself can be read off on both sides: 0.206893 to six digits.
    const CCIELab xBelow = CCIEXYZ(100 * below, 100, 100 * below).ToLab(white);
    const CCIELab xAbove = CCIEXYZ(100 * above, 100, 100 * above).ToLab(white);
    EXPECT_NEAR(xBelow[1] / 500.0 + 1.0, 0.206893, 1e-6);
    EXPECT_NEAR(xAbove[1] / 500.0 + 1.0, 0.206893, 1e-6);
    EXPECT_NEAR(1.0 - xBelow[2] / 200.0, 0.206893, 1e-6);
    EXPECT_NEAR(1.0 - xAbove[2] / 200.0, 0.206893, 1e-6);
}

// --- Lab and LCh ------------------------------------------------------------------

TEST(CIEColorTest, LabToLChAngles)
{
    struct Case
    {
        std::array<double, 3> lab;
        double C;
        double h;
    };
    const Case cases[] = {
        {{50, 0, -10}, 10, 270},
        {{50, 0, 0}, 0, 0},
        {{50, 10, 0}, 10, 0},
        {{50, 0, 10}, 10, 90},
        {{50, -10, 0}, 10, 180},
        {{50, 3, 4}, 5, 53.130102354},
        {{50, 1, -1}, std::sqrt(2.0), 315},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(::testing::Message() << c.lab[1] << ", " << c.lab[2]);
        const CCIELCh lch = CCIELab(c.lab[0], c.lab[1], c.lab[2]).ToLCh();
        EXPECT_EQ(lch[0], c.lab[0]);
        EXPECT_NEAR(lch[1], c.C, 1e-12);
        EXPECT_NEAR(lch[2], c.h, 1e-6);
        // And back.
        ExpectNear3(lch.ToLab(), c.lab[0], c.lab[1], c.lab[2], 1e-9);
    }
}

// Hue stays in [0, 360) even where the fold of a tiny negative angle would
// round to 360.
TEST(CIEColorTest, HueNeverReaches360)
{
    for (double b : {-1e-17, -1e-300, -1e-10, -0.0})
    {
        SCOPED_TRACE(b);
        const double h = CCIELab(50, 1, b).ToLCh()[2];
        EXPECT_GE(h, 0.0);
        EXPECT_LT(h, 360.0);
    }
}

// --- XYZ and Yxy ------------------------------------------------------------------

TEST(CIEColorTest, YxyConversions)
{
    const CCIEXYZ d65(StandardIlluminant::D65);
    const CCIEYxy yxy = d65.ToYxy();
    const double sum = 95.043 + 100 + 108.879;
    ExpectNear3(yxy, 100.0, 95.043 / sum, 100 / sum, 1e-15);
    ExpectNear3(yxy.ToXYZ(), 95.043, 100, 108.879, 1e-9);

    // Black has no chromaticity; y = 0 has no XYZ.
    EXPECT_EQ(CCIEXYZ(0, 0, 0).ToYxy(), (CStdVector{0, 0, 0}));
    EXPECT_EQ(CCIEYxy(50, 0.3, 0).ToXYZ(), (CStdVector{0, 50, 0}));
}

// --- Daylight locus -----------------------------------------------------------------

// The CIE daylight illuminants D50, D65 and D75 at their correlated colour
// temperatures (5003, 6504, 7504 K; CIE 15 chromaticities).
TEST(CIEColorTest, DaylightLocusMatchesTheDIlluminants)
{
    struct Case
    {
        int kelvin;
        double x;
        double y;
    };
    const Case cases[] = {
        {5003, 0.34567, 0.35850}, {6504, 0.31271, 0.32902}, {7504, 0.29902, 0.31485}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.kelvin);
        const CCIEXYZ xyz = GetDaylightXYZ(c.kelvin);
        EXPECT_EQ(xyz[1], 1.0);
        const CCIEYxy yxy = xyz.ToYxy();
        EXPECT_NEAR(yxy[1], c.x, 2e-4);
        EXPECT_NEAR(yxy[2], c.y, 2e-4);
    }
    // The two formulas meet at 7000 K.
    const CCIEYxy at7000 = GetDaylightXYZ(7000).ToYxy();
    const CCIEYxy at7001 = GetDaylightXYZ(7001).ToYxy();
    EXPECT_NEAR(at7000[1], at7001[1], 1e-4);
}

// Outside 1000..25000 K the nearer end of the range is used (no division by
// zero at 0 K).
TEST(CIEColorTest, DaylightOutsideTheRangeIsClamped)
{
    EXPECT_EQ(GetDaylightXYZ(0), GetDaylightXYZ(1000));
    EXPECT_EQ(GetDaylightXYZ(-5), GetDaylightXYZ(1000));
    EXPECT_EQ(GetDaylightXYZ(40000), GetDaylightXYZ(25000));
    for (int k : {0, 1000, 25000, 100000})
    {
        const CCIEXYZ xyz = GetDaylightXYZ(k);
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_TRUE(std::isfinite(xyz[i])) << k;
    }
}

// --- Correlated colour temperature -------------------------------------------------

struct CctCase
{
    const char* name;
    double x;
    double y;
    std::uint16_t kelvin;
    double duv;
    double duvTolerance;
};

class CalcColorTemperatureTest : public ::testing::TestWithParam<CctCase>
{
};

void PrintTo(const CctCase& c, std::ostream* os)
{
    *os << c.name;
}

TEST_P(CalcColorTemperatureTest, KelvinAndDuv)
{
    const CctCase& c = GetParam();
    double duv = kNaN;
    std::uint16_t kelvin = 1;
    ASSERT_TRUE(CalcColorTemperature(c.x, c.y, &duv, &kelvin));
    EXPECT_EQ(kelvin, c.kelvin);
    EXPECT_NEAR(duv, c.duv, c.duvTolerance);
}

namespace {

// A point given by its (u, v) in the 1960 diagram.
CctCase OnUv(const char* name, double u, double v, std::uint16_t kelvin, double duv,
             double tolerance)
{
    CctCase c{name, 0, 0, kelvin, duv, tolerance};
    UvToXy(u, v, &c.x, &c.y);
    return c;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(
    Points, CalcColorTemperatureTest,
    ::testing::Values(CctCase{"D65", 0.3127, 0.3290, 6505, 0.0032, 0.0001},
                      CctCase{"IlluminantA", 0.44757, 0.40745, 2855, 0.0, 0.0001},
                      // Exactly on a table line: kelvin is the integer part of 1e6 / mired.
                      OnUv("OnLine64", 0.349746, 0.360483, 1562, 0.0, 1e-12),
                      OnUv("OnLine10", 0.190312, 0.293293, 10000, 0.0, 1e-12),
                      // On a line, off the locus by 0.01 along the line: duv keeps the sign of v.
                      OnUv("OnLine10Above",
                           0.190312 - 0.01 * 2.08544 / std::sqrt(1 + 2.08544 * 2.08544),
                           0.293293 + 0.01 / std::sqrt(1 + 2.08544 * 2.08544), 10000, 0.01, 1e-9),
                      OnUv("OnLine10Below",
                           0.190312 + 0.01 * 2.08544 / std::sqrt(1 + 2.08544 * 2.08544),
                           0.293293 - 0.01 / std::sqrt(1 + 2.08544 * 2.08544), 10000, -0.01, 1e-9),
                      // 10 mired is 100000 K, beyond 16 bits: clamped, not wrapped.
                      OnUv("OnLine1Clamped", 0.180638, 0.265948, 65535, 0.0, 1e-12),
                      OnUv("NearInfiniteClamped", 0.18034, 0.26476, 65535, 0.0, 1e-4)),
    [](const ::testing::TestParamInfo<CctCase>& info) { return info.param.name; });

TEST(CalcColorTemperatureFailTest, OutsideTheTableGivesFalseWithZeroes)
{
    struct Case
    {
        const char* name;
        double x;
        double y;
    };
    double onLine0x = 0;
    double onLine0y = 0;
    UvToXy(0.180046, 0.263577, &onLine0x, &onLine0y);
    const Case cases[] = {
        {"BeyondInfiniteTemperature", 0.15, 0.06},
        {"OnTheInfiniteTemperatureLine", onLine0x, onLine0y},
        {"Below1562K", 0.65, 0.34},
        {"NaN", kNaN, 0.3},
        {"NoUv", 1.5, 0.0}, // -x + 6y + 1.5 = 0
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        double duv = 1.0;
        std::uint16_t kelvin = 1;
        EXPECT_FALSE(CalcColorTemperature(c.x, c.y, &duv, &kelvin));
        EXPECT_EQ(kelvin, 0);
        EXPECT_EQ(duv, 0.0);
    }
}

// ColorTemperatureToXy and CalcColorTemperature are inverses of each other
// within the table, off the locus as well as on it; the last interval
// (635 to 640 mired, whose quadratic cannot reach past row 64) included.
TEST(CalcColorTemperatureRoundTripTest, KelvinAndDuvSurviveTheRoundTrip)
{
    for (int k : {1563, 1565, 1570, 1575, 1580, 1600, 2000, 2856, 4000, 5000, 6500, 10000, 20000})
    {
        for (double duv : {-0.02, -0.005, 0.0, 0.005, 0.02})
        {
            SCOPED_TRACE(::testing::Message() << k << " K, duv " << duv);
            double x = 0;
            double y = 0;
            ASSERT_TRUE(ColorTemperatureToXy(static_cast<std::uint16_t>(k), duv, &x, &y));
            ASSERT_TRUE(std::isfinite(x) && std::isfinite(y));
            double backDuv = kNaN;
            std::uint16_t backKelvin = 0;
            ASSERT_TRUE(CalcColorTemperature(x, y, &backDuv, &backKelvin));
            // Within 0.05 mired, plus one kelvin lost to truncation.
            EXPECT_NEAR(backKelvin, k, 1.0 + 0.05e-6 * k * k);
            EXPECT_NEAR(backDuv, duv, 2e-5);
            // The mired form is the same answer before rounding to kelvin.
            double mired = kNaN;
            double miredDuv = kNaN;
            ASSERT_TRUE(CalcColorTemperatureMired(x, y, &miredDuv, &mired));
            EXPECT_NEAR(mired, 1e6 / k, 0.05);
            EXPECT_EQ(miredDuv, backDuv);
        }
    }

    double x = 0;
    double y = 0;
    ASSERT_TRUE(ColorTemperatureToXy(6500, 0.0, &x, &y));
    double duv = kNaN;
    std::uint16_t kelvin = 0;
    ASSERT_TRUE(CalcColorTemperature(x, y, &duv, &kelvin));
    EXPECT_NEAR(kelvin, 6500, 1);
    EXPECT_NEAR(duv, 0.0, 2e-5);
}

TEST(ColorTemperatureToXyTest, RangeOfKelvin)
{
    struct Case
    {
        std::uint16_t kelvin;
        bool ok;
    };
    const Case cases[] = {{0, false},   {1000, false}, {1500, false}, {1562, false},
                          {1563, true}, {6500, true},  {65535, true}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.kelvin);
        double x = -1.0;
        double y = -1.0;
        EXPECT_EQ(ColorTemperatureToXy(c.kelvin, 0.0, &x, &y), c.ok);
        if (!c.ok)
        {
            EXPECT_EQ(x, -1.0);
            EXPECT_EQ(y, -1.0);
        }
    }

    // On the locus at 10000 K (100 mired, row 10) the point is the row's own.
    double x = 0;
    double y = 0;
    ASSERT_TRUE(ColorTemperatureToXy(10000, 0.0, &x, &y));
    double ex = 0;
    double ey = 0;
    UvToXy(0.190312, 0.293293, &ex, &ey);
    EXPECT_NEAR(x, ex, 1e-12);
    EXPECT_NEAR(y, ey, 1e-12);
}
