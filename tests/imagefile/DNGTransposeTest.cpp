// The DNG colour transform: illuminant tables, the as-shot white from a
// neutral or a chromaticity, the order of the two matrices, their blend by
// temperature, and the development matrix with exposure and shadow.

#include "imagefile/DNGTranspose.h"

#include "core/CIEColor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace {

CStdMatrix Diagonal(double a, double b, double c)
{
    return CStdMatrix(CStdVector{a, b, c});
}

// Two plausible camera-to-XYZ matrices, for standard light A and for D65.
const CStdMatrix kUnderA(0.70, 0.20, 0.15, 0.30, 0.80, -0.10, 0.05, -0.20, 0.60);
const CStdMatrix kUnderD65(0.60, 0.30, 0.10, 0.25, 0.90, -0.15, 0.02, -0.10, 1.10);

void ExpectMatrixNear(const CStdMatrix& actual, const CStdMatrix& expected, double tolerance)
{
    ASSERT_EQ(actual.GetRows(), expected.GetRows());
    ASSERT_EQ(actual.GetCols(), expected.GetCols());
    for (std::uint32_t r = 0; r < expected.GetRows(); ++r)
    {
        for (std::uint32_t c = 0; c < expected.GetCols(); ++c)
        {
            EXPECT_NEAR(actual.GetAt(r, c), expected.GetAt(r, c), tolerance)
                << "element " << r << "," << c;
        }
    }
}

void ExpectVectorNear(const CStdVector& actual, std::array<double, 3> expected, double tolerance)
{
    ASSERT_EQ(actual.GetSize(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_NEAR(actual[i], expected[i], tolerance) << "component " << i;
}

struct Development
{
    std::array<std::uint16_t, 3> white16{};
    CStdMatrix matrix;
    int black = -1;
};

Development Develop(const CDNGTranspose& t, int temperature, int tint, bool asShot,
                    int exposure = 0, int shadow = 0,
                    const CStdMatrix& working = CStdMatrix::Identity())
{
    Development d;
    t.SetWhiteBalance(temperature, tint, asShot, exposure, shadow, working, d.white16, d.matrix,
                      d.black);
    return d;
}

CDNGTranspose OneMatrix(const CStdMatrix& m, std::vector<double> neutral = {},
                        std::vector<double> xy = {})
{
    CDNGTranspose t;
    t.Setup(21, 0, m, CStdMatrix(), false, neutral, xy);
    return t;
}

// Mired (1e6 / kelvin) of an XYZ colour's chromaticity.
double MiredOf(const CCIEXYZ& xyz)
{
    const CCIEYxy yxy = xyz.ToYxy();
    double duv = 0.0, mired = 0.0;
    EXPECT_TRUE(CalcColorTemperatureMired(yxy[1], yxy[2], &duv, &mired));
    return mired;
}

// The white (Y = 1) on the Planckian locus at a temperature.
CCIEXYZ LocusWhite(int kelvin)
{
    double x = 0.0, y = 0.0;
    EXPECT_TRUE(ColorTemperatureToXy(static_cast<std::uint16_t>(kelvin), 0.0, &x, &y));
    return CCIEYxy(1.0, x, y).ToXYZ();
}

// kUnderA and kUnderD65 blended for a white of the given mired: linear in
// mired between the two illuminants, either matrix alone beyond its own.
CStdMatrix BlendAt(double mired)
{
    CCIEXYZ a, d65;
    EXPECT_TRUE(CDNGTranspose::IlluminantToXYZ(17, a));
    EXPECT_TRUE(CDNGTranspose::IlluminantToXYZ(21, d65));
    const double mA = MiredOf(a), mD65 = MiredOf(d65);
    const double g = std::clamp((mA - mired) / (mA - mD65), 0.0, 1.0);
    return kUnderA * (1.0 - g) + kUnderD65 * g;
}

// Camera values of the white w under the camera matrix m, largest 1.
std::vector<double> NeutralOf(const CStdMatrix& m, const CCIEXYZ& w)
{
    CStdMatrix inverse = m;
    EXPECT_TRUE(inverse.Invert());
    const CStdVector n = Multiply3x3(inverse, w);
    const double largest = std::max({n[0], n[1], n[2]});
    return {n[0] / largest, n[1] / largest, n[2] / largest};
}

CDNGTranspose TwoMatrices(std::vector<double> neutral = {}, std::vector<double> xy = {})
{
    CDNGTranspose t;
    t.Setup(17, 21, kUnderA, kUnderD65, true, neutral, xy);
    return t;
}

} // namespace

TEST(DNGTranspose, IlluminantTables)
{
    struct Case
    {
        int code;
        double X, Z;
        int kelvinLow, kelvinHigh;
    };
    const Case known[] = {
        {17, 109.851, 35.582, 2850, 2860}, {18, 99.09, 85.31, 4860, 4890},
        {19, 98.072, 118.225, 6750, 6790}, {20, 95.68, 92.14, 5490, 5520},
        {21, 95.043, 108.879, 6495, 6510}, {22, 94.96, 122.61, 7490, 7520},
        {23, 96.42, 82.49, 4995, 5010},
    };
    for (const Case& c : known)
    {
        SCOPED_TRACE(c.code);
        CCIEXYZ xyz;
        ASSERT_TRUE(CDNGTranspose::IlluminantToXYZ(c.code, xyz));
        ExpectVectorNear(xyz, {c.X, 100.0, c.Z}, 1e-12);
        std::uint16_t kelvin = 0;
        ASSERT_TRUE(CDNGTranspose::IlluminantToTemperature(c.code, kelvin));
        EXPECT_GE(kelvin, c.kelvinLow);
        EXPECT_LE(kelvin, c.kelvinHigh);
    }
    for (int code : {0, 1, 16, 24, 255})
    {
        SCOPED_TRACE(code);
        CCIEXYZ xyz(1.0, 2.0, 3.0);
        EXPECT_FALSE(CDNGTranspose::IlluminantToXYZ(code, xyz));
        std::uint16_t kelvin = 0;
        EXPECT_FALSE(CDNGTranspose::IlluminantToTemperature(code, kelvin));
        EXPECT_EQ(kelvin, 6500);
    }
}

TEST(DNGTranspose, WithoutAsShotValuesTheWhiteIsUnity)
{
    CDNGTranspose t;
    EXPECT_FALSE(t.IsValid());
    t = OneMatrix(kUnderD65);
    EXPECT_TRUE(t.IsValid());
    ExpectVectorNear(t.GetWhite(), {1.0, 1.0, 1.0}, 0.0);
    EXPECT_EQ(t.GetWhite16(), (std::array<std::uint16_t, 3>{65535, 65535, 65535}));
    CStdVector neutral;
    t.GetCameraNeutral(neutral);
    ExpectVectorNear(neutral, {1.0, 1.0, 1.0}, 0.0);
}

TEST(DNGTranspose, AsShotNeutralGivesTheWhiteThroughTheMatrices)
{
    // One matrix diag(2, 1, 0.5): neutral (0.5, 1, 0.25) -> (1, 1, 0.125).
    const CDNGTranspose one = OneMatrix(Diagonal(2, 1, 0.5), {0.5, 1.0, 0.25});
    ExpectVectorNear(one.GetWhite(), {1.0, 1.0, 0.125}, 1e-12);
    // 0.5 x 65535 = 32767.5 and 0.25 x 65535 = 16383.75, truncated.
    EXPECT_EQ(one.GetWhite16(), (std::array<std::uint16_t, 3>{32767, 65535, 16383}));

}

TEST(DNGTranspose, AsShotWhiteIsTheWhiteOfTheBlendItChooses)
{
    // A scene lit at each temperature, recorded by a camera whose true
    // matrix is the blend for that light: its neutral must give back that
    // very white. Warmer than A and cooler than D65 the camera is A or D65
    // alone. The mean of A n and B n, blended once, misses it.
    for (const int kelvin : {1800, 2856, 3400, 4500, 5500, 6504, 12000})
    {
        SCOPED_TRACE(kelvin);
        const CCIEXYZ light = LocusWhite(kelvin);
        const std::vector<double> neutral = NeutralOf(BlendAt(MiredOf(light)), light);
        const CDNGTranspose t = TwoMatrices(neutral);
        // These two matrices lie far apart, so the rounds close in slowly
        // (by about 0.6 a round): the 30th is within 1e-7.
        ExpectVectorNear(t.GetWhite(), {light[0], light[1], light[2]}, 1e-7);

        // Either order of the file's matrices comes to the same white.
        CDNGTranspose backward;
        backward.Setup(21, 17, kUnderD65, kUnderA, true, neutral, {});
        ExpectVectorNear(backward.GetWhite(), {light[0], light[1], light[2]}, 1e-7);
    }
}

TEST(DNGTranspose, AsShotChromaticityGivesTheNeutralThroughTheInverse)
{
    // (x, y) = (0.3, 0.4): XYZ (0.75, 1, 0.75); diag(2, 1, 0.5)^-1 gives
    // (0.375, 1, 1.5), divided by 1.5: (0.25, 2/3, 1).
    const CDNGTranspose one = OneMatrix(Diagonal(2, 1, 0.5), {}, {0.3, 0.4});
    ExpectVectorNear(one.GetWhite(), {0.75, 1.0, 0.75}, 1e-12);
    CStdVector neutral;
    one.GetCameraNeutral(neutral);
    ExpectVectorNear(neutral, {0.25, 2.0 / 3.0, 1.0}, 1e-12);
    EXPECT_EQ(one.GetWhite16(), (std::array<std::uint16_t, 3>{16383, 43690, 65535}));

    // Two matrices use the blend for the chromaticity's own temperature,
    // the one the development takes for that white.
    for (const int kelvin : {2000, 4000, 5000, 9000})
    {
        SCOPED_TRACE(kelvin);
        const CCIEXYZ w = LocusWhite(kelvin);
        const CCIEYxy yxy = w.ToYxy();
        const std::vector<double> expected = NeutralOf(BlendAt(MiredOf(w)), w);
        TwoMatrices().NeutralFromWhiteXy(neutral, yxy[1], yxy[2]);
        ExpectVectorNear(neutral, {expected[0], expected[1], expected[2]}, 1e-12);
        TwoMatrices({}, {yxy[1], yxy[2]}).GetCameraNeutral(neutral);
        ExpectVectorNear(neutral, {expected[0], expected[1], expected[2]}, 1e-12);
    }

    // A chromaticity with y = 0 (a zero denominator in the file) has no white.
    const CDNGTranspose flat = OneMatrix(Diagonal(2, 1, 0.5), {}, {0.3, 0.0});
    ExpectVectorNear(flat.GetWhite(), {1.0, 1.0, 1.0}, 0.0);
    flat.GetCameraNeutral(neutral);
    ExpectVectorNear(neutral, {1.0, 1.0, 1.0}, 0.0);
}

TEST(DNGTranspose, MatricesAreOrderedByTemperatureWhicheverComesFirst)
{
    struct Case
    {
        const char* name;
        int illuminant1, illuminant2;
        const CStdMatrix* m1;
        const CStdMatrix* m2;
        bool two;
        int expectedA;
        const CStdMatrix* expectedMatrixA;
        bool expectedTwo;
    };
    const Case cases[] = {
        {"A first", 17, 21, &kUnderA, &kUnderD65, true, 17, &kUnderA, true},
        {"D65 first", 21, 17, &kUnderD65, &kUnderA, true, 17, &kUnderA, true},
        {"unknown illuminant keeps the order", 0, 17, &kUnderD65, &kUnderA, true, 0, &kUnderD65,
         true},
        {"one matrix uses matrix 1", 21, 17, &kUnderD65, &kUnderA, false, 21, &kUnderD65, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CDNGTranspose t;
        t.Setup(c.illuminant1, c.illuminant2, *c.m1, *c.m2, c.two, {}, {});
        EXPECT_EQ(t.GetIlluminantA(), c.expectedA);
        ExpectMatrixNear(t.GetMatrixA(), *c.expectedMatrixA, 0.0);
        EXPECT_EQ(t.HasTwoMatrices(), c.expectedTwo);
    }
    // A second matrix that is not 3x3 makes it a one-matrix transform.
    CDNGTranspose t;
    t.Setup(21, 17, kUnderD65, CStdMatrix(), true, {}, {});
    EXPECT_FALSE(t.HasTwoMatrices());
    ExpectMatrixNear(t.GetMatrixA(), kUnderD65, 0.0);
}

TEST(DNGTranspose, TwoMatricesBlendLinearlyInMiredWithinTheIlluminants)
{
    std::uint16_t tA = 0, tD65 = 0;
    ASSERT_TRUE(CDNGTranspose::IlluminantToTemperature(17, tA));
    ASSERT_TRUE(CDNGTranspose::IlluminantToTemperature(21, tD65));
    // Given in the file's usual order: illuminant 1 = A, 2 = D65, and the
    // other way round; both blend alike.
    CDNGTranspose forward, backward;
    forward.Setup(17, 21, kUnderA, kUnderD65, true, {}, {});
    backward.Setup(21, 17, kUnderD65, kUnderA, true, {}, {});

    const double midway = 2.0 / (1.0 / tA + 1.0 / tD65); // halfway in mired
    struct Case
    {
        const char* name;
        int kelvin;
        CStdMatrix expected;
    };
    const Case cases[] = {
        {"at A", tA, kUnderA},
        {"at D65", tD65, kUnderD65},
        {"halfway in mired", static_cast<int>(midway), BlendAt(1e6 / midway)},
        {"a third of the way", 3500, BlendAt(1e6 / 3500)},
        {"beyond D65: D65 alone", 10000, kUnderD65},
        {"far beyond D65: D65 alone", 30000, kUnderD65},
        {"warmer than A: A alone", 2000, kUnderA},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        // A one-matrix transform with the expected matrix develops the same
        // white the same way (the balance scaling does not depend on it).
        const Development want = Develop(OneMatrix(c.expected), c.kelvin, 0, false);
        // The temperature of a white on the locus comes back within a
        // kelvin or so, which moves the blend by about 1/3650.
        ExpectMatrixNear(Develop(forward, c.kelvin, 0, false).matrix, want.matrix, 2e-6);
        ExpectMatrixNear(Develop(backward, c.kelvin, 0, false).matrix, want.matrix, 2e-6);
    }

    // Without two known temperatures the matrices are averaged.
    CDNGTranspose unknown;
    unknown.Setup(17, 99, kUnderA, kUnderD65, true, {}, {});
    const Development mean = Develop(OneMatrix((kUnderA + kUnderD65) * 0.5), 3500, 0, false);
    ExpectMatrixNear(Develop(unknown, 3500, 0, false).matrix, mean.matrix, 1e-12);
}

TEST(DNGTranspose, DevelopmentMatrixScalesToD65WithExposureAndWorkingSpace)
{
    // No as-shot values: white (1, 1, 1), so the balance is the D65 white
    // itself; 16-bit camera values map to Y = 100 through 1 / 655.35.
    const CStdMatrix m = kUnderD65;
    const CDNGTranspose t = OneMatrix(m);
    const double d65[3] = {0.95043, 1.0, 1.08879};
    CStdMatrix expected(3, 3);
    for (std::uint32_t r = 0; r < 3; ++r)
        for (std::uint32_t c = 0; c < 3; ++c)
            expected.SetAt(r, c, d65[r] * m.GetAt(r, c) / 655.35);

    const Development base = Develop(t, 0, 0, true);
    ExpectMatrixNear(base.matrix, expected, 1e-15);
    EXPECT_EQ(base.white16, (std::array<std::uint16_t, 3>{65535, 65535, 65535}));
    EXPECT_EQ(base.black, 0);

    // Exposure 100 is one stop; -200 two stops down.
    ExpectMatrixNear(Develop(t, 0, 0, true, 100).matrix, expected * 2.0, 1e-15);
    ExpectMatrixNear(Develop(t, 0, 0, true, -200).matrix, expected * 0.25, 1e-15);
    // The working space's RGB-to-XYZ matrix is inverted onto the result.
    ExpectMatrixNear(Develop(t, 0, 0, true, 0, 0, Diagonal(2, 2, 2)).matrix, expected * 0.5, 1e-15);
    // Shadow x 0.25 / 255 x 65535, truncated.
    EXPECT_EQ(Develop(t, 0, 0, true, 0, 100).black, 6425);
    EXPECT_EQ(Develop(t, 0, 0, true, 0, 255).black, 16383);
}

TEST(DNGTranspose, WhiteBalanceNeverMovesTheLevelOfAGrey)
{
    // The camera neutral n of the white in use, at full scale (65535 n),
    // must develop to the D65 white at Y = 100 times the exposure factors:
    // neutral, and at the same level whichever white was chosen. With the
    // identity as working matrix the development gives XYZ.
    const CCIEXYZ d65 = LocusWhite(6504);
    const CCIEXYZ a = LocusWhite(2856);
    struct Case
    {
        const char* name;
        CDNGTranspose transform;
        bool asShot;
        int kelvin, tint, exposure;
        double factor; // expected level over Y = 100
    };
    CDNGTranspose baseline;
    baseline.Setup(17, 21, kUnderA, kUnderD65, true, NeutralOf(kUnderA, a), {}, 0.5);
    const Case cases[] = {
        {"one matrix, D65 neutral", OneMatrix(kUnderD65, NeutralOf(kUnderD65, d65)), true, 0, 0, 0,
         1.0},
        {"one matrix, neutral of light A", OneMatrix(kUnderD65, NeutralOf(kUnderA, a)), true, 0, 0,
         0, 1.0},
        {"two matrices, D65 neutral", TwoMatrices(NeutralOf(kUnderD65, d65)), true, 0, 0, 0, 1.0},
        {"two matrices, neutral of light A", TwoMatrices(NeutralOf(kUnderA, a)), true, 0, 0, 0,
         1.0},
        {"two matrices, neutral at 4200 K",
         TwoMatrices(NeutralOf(BlendAt(1e6 / 4200), LocusWhite(4200))), true, 0, 0, 0, 1.0},
        {"one matrix, as-shot chromaticity", OneMatrix(kUnderD65, {}, {0.40, 0.39}), true, 0, 0, 0,
         1.0},
        {"two matrices, as-shot chromaticity", TwoMatrices({}, {0.40, 0.39}), true, 0, 0, 0, 1.0},
        {"one matrix, chosen 3200 K", OneMatrix(kUnderD65), false, 3200, 20, 0, 1.0},
        {"two matrices, chosen 3200 K", TwoMatrices(), false, 3200, 20, 0, 1.0},
        {"two matrices, chosen 9000 K", TwoMatrices(), false, 9000, -30, 0, 1.0},
        {"exposure one stop up", TwoMatrices(NeutralOf(kUnderA, a)), true, 0, 0, 100, 2.0},
        {"baseline exposure half a stop", baseline, true, 0, 0, 0, std::sqrt(2.0)},
        {"both", baseline, false, 5000, 0, -150, std::exp2(-1.0)},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CStdVector neutral;
        if (c.asShot)
            c.transform.GetCameraNeutral(neutral);
        else
        {
            double x = 0, y = 0;
            ASSERT_TRUE(ColorTemperatureToXy(static_cast<std::uint16_t>(c.kelvin), c.tint / 3000.0,
                                             &x, &y));
            c.transform.NeutralFromWhiteXy(neutral, x, y);
        }
        const Development d = Develop(c.transform, c.kelvin, c.tint, c.asShot, c.exposure);
        neutral *= 65535.0;
        ExpectVectorNear(Multiply3x3(d.matrix, neutral),
                         {95.043 * c.factor, 100.0 * c.factor, 108.879 * c.factor}, 1e-4);
    }
}

TEST(DNGTranspose, OneMatrixAtItsOwnWhiteDevelopsAsBefore)
{
    // A matrix scaled the usual DNG way (its illuminant's neutral maps to
    // Y = 1) under that illuminant's neutral: the balance is the identity
    // and the level needs no correction, so the development is the matrix
    // itself over 655.35, as it always was.
    const CCIEXYZ d65(0.95043, 1.0, 1.08879);
    const std::vector<double> n = NeutralOf(kUnderD65, d65);
    const double y = Multiply3x3(kUnderD65, CStdVector{n[0], n[1], n[2]})[1];
    const CStdMatrix m = kUnderD65 / y;
    const Development d = Develop(OneMatrix(m, n), 0, 0, true);
    ExpectMatrixNear(d.matrix, m * (1.0 / 655.35), 1e-15);
}

TEST(DNGTranspose, ChosenWhiteRoundTripsThroughTheLocus)
{
    struct Case
    {
        int kelvin;
        int tint;
    };
    const Case cases[] = {{5000, 30}, {6500, -60}, {3200, 0}, {9000, 45}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.kelvin) + " K, tint " + std::to_string(c.tint));
        double x = 0, y = 0;
        ASSERT_TRUE(
            ColorTemperatureToXy(static_cast<std::uint16_t>(c.kelvin), c.tint / 3000.0, &x, &y));

        // As shot: the chromaticity read back as temperature and tint.
        const CDNGTranspose asShot = OneMatrix(CStdMatrix::Identity(), {}, {x, y});
        int temperature = 0, tint = 0;
        asShot.GetAsShotTemperatureTint(temperature, tint);
        EXPECT_NEAR(temperature, c.kelvin, 2);
        EXPECT_NEAR(tint, c.tint, 1); // duv x 3000 is truncated

        // Chosen: with an identity camera matrix the balance matrix holds
        // D65 / W on its diagonal (times the common level), so W's
        // chromaticity can be read back.
        const Development d = Develop(OneMatrix(CStdMatrix::Identity()), c.kelvin, c.tint, false);
        const CCIEXYZ w(0.95043 / (d.matrix.GetAt(0, 0) * 655.35),
                        1.0 / (d.matrix.GetAt(1, 1) * 655.35),
                        1.08879 / (d.matrix.GetAt(2, 2) * 655.35));
        const CCIEYxy yxy = w.ToYxy();
        EXPECT_NEAR(yxy[1], x, 1e-12);
        EXPECT_NEAR(yxy[2], y, 1e-12);
        // The white's camera neutral at full scale develops to D65 at Y = 100.
        const CCIEXYZ white = CCIEYxy(1.0, x, y).ToXYZ();
        const double largest = std::max({white[0], white[1], white[2]});
        const double k = 65535.0 / largest;
        const CStdVector full =
            Multiply3x3(d.matrix, CStdVector{white[0] * k, white[1] * k, white[2] * k});
        ExpectVectorNear(full, {95.043, 100.0, 108.879}, 1e-9);
    }
}

TEST(DNGTranspose, TintOutsideTheTriangleIsPulledTowardsTheLocus)
{
    // At 2856 K the chromaticity leaves the triangle (x + y >= 1) from a tint
    // of 82 on; a tint of 100 is pulled back 19 steps to 81.
    const CDNGTranspose t = OneMatrix(kUnderA);
    const Development pulled = Develop(t, 2856, 100, false);
    const Development valid = Develop(t, 2856, 81, false);
    ExpectMatrixNear(pulled.matrix, valid.matrix, 1e-9);
    // A valid tint is taken as it is.
    const Development below = Develop(t, 2856, 80, false);
    EXPECT_GT(std::fabs(below.matrix.GetAt(2, 2) - valid.matrix.GetAt(2, 2)), 1e-6);
}

TEST(DNGTranspose, ChosenWhiteKeepsTheHigherClipLevelPerChannel)
{
    // Own white16 (32767, 65535, 16383). The 6500 K white gives the neutral
    // (about 0.22, 0.45, 1) through diag(2, 1, 0.5)^-1: the channel-wise
    // maximum is (32767, 65535, 65535).
    const CDNGTranspose t = OneMatrix(Diagonal(2, 1, 0.5), {0.5, 1.0, 0.25});
    EXPECT_EQ(Develop(t, 6500, 0, false).white16,
              (std::array<std::uint16_t, 3>{32767, 65535, 65535}));
    EXPECT_EQ(Develop(t, 6500, 0, true).white16,
              (std::array<std::uint16_t, 3>{32767, 65535, 16383}));
}

TEST(DNGTranspose, CopiesAreIndependent)
{
    CDNGTranspose source;
    source.Setup(17, 21, kUnderA, kUnderD65, true, {0.5, 1.0, 0.25}, {});
    CDNGTranspose copy(source);
    CDNGTranspose assigned;
    assigned = source;
    for (CDNGTranspose* changed : {&copy, &assigned})
    {
        ExpectMatrixNear(changed->GetMatrixB(), kUnderD65, 0.0);
        changed->Setup(21, 0, Diagonal(3, 3, 3), CStdMatrix(), false, {}, {0.3, 0.4});
    }
    EXPECT_EQ(source.GetIlluminantA(), 17);
    EXPECT_TRUE(source.HasTwoMatrices());
    ExpectMatrixNear(source.GetMatrixA(), kUnderA, 0.0);
    ExpectMatrixNear(source.GetMatrixB(), kUnderD65, 0.0);
    EXPECT_EQ(source.GetAsShotNeutral(), (std::vector<double>{0.5, 1.0, 0.25}));
    EXPECT_TRUE(source.GetAsShotWhiteXy().empty());
    EXPECT_EQ(source.GetWhite16(), (std::array<std::uint16_t, 3>{32767, 65535, 16383}));
}
