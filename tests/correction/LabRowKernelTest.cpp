// CLabRowKernel against the Lab accessor it mirrors: without a gain (or with
// a unit gain) it must give the accessor's values bit for bit, and with a
// gain the accessor's values of the gained XYZ.

#include "core/LabRowKernel.h"

#include "core/CIEColor.h"
#include "core/ImageAccess.h"
#include "core/RGBImage.h"
#include "core/StdMatrix.h"
#include "tests/correction/CorrectionTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using correctiontest::WorkingSpace;

// Bit patterns, so that -0 against +0 or a changed last bit shows.
std::uint64_t Bits(double v)
{
    return std::bit_cast<std::uint64_t>(v);
}

// A wide-gamut space with a negative coefficient, whose white is not D65.
CStdMatrix WideSpace()
{
    const double k = 100.0 / 65535.0;
    return CStdMatrix(0.7977 * k, 0.1352 * k, 0.0313 * k, 0.2880 * k, 0.7119 * k, 0.0001 * k,
                      -0.0001 * k, 0.0 * k, 0.8249 * k);
}

// Not 3x3: the accessor and the kernel both fall back to the identity.
CStdMatrix NotSquare()
{
    return CStdMatrix(2, 3, {1.0, 0.0, 0.0, 0.0, 1.0, 0.0});
}

// Extremes, the dark end below the linear joint, greys, primaries and a
// random spread.
std::vector<RGB16> SamplePixels()
{
    std::vector<RGB16> pixels = {
        {0, 0, 0},     {1, 1, 1},     {40, 40, 40},          {65535, 65535, 65535}, {65535, 0, 0},
        {0, 65535, 0}, {0, 0, 65535}, {32768, 32768, 32768}, {600, 300, 65535}};
    std::mt19937 random(7);
    std::uniform_int_distribution<int> channel(0, 65535);
    for (int i = 0; i < 500; ++i)
        pixels.push_back({static_cast<std::uint16_t>(channel(random)),
                          static_cast<std::uint16_t>(channel(random)),
                          static_cast<std::uint16_t>(channel(random))});
    return pixels;
}

CRGBImage ImageOf(const std::vector<RGB16>& pixels)
{
    CRGBImage image(static_cast<int>(pixels.size()), 1);
    RGB16* p = image.Lock();
    std::copy(pixels.begin(), pixels.end(), p);
    image.Unlock();
    return image;
}

struct SpaceCase
{
    const char* name;
    CStdMatrix (*matrix)();
};

const SpaceCase kSpaces[] = {
    {"SRGB", WorkingSpace},
    {"Wide", WideSpace},
    {"NotSquare", NotSquare},
};

class LabRowKernelSpaceTest : public ::testing::TestWithParam<SpaceCase>
{};

TEST_P(LabRowKernelSpaceTest, PlainKernelIsTheAccessorBitForBit)
{
    const std::vector<RGB16> pixels = SamplePixels();
    CRGBImage image = ImageOf(pixels);
    CAccessRGBImageByLab access(image, nullptr, GetParam().matrix());
    const CLabRowKernel kernel(access);

    std::vector<double> lab(pixels.size() * 3);
    std::vector<double> lightness(pixels.size());
    access.SetCursor(0, 0);
    access.ReadLabLine(pixels.size(), lab.data());
    access.ReadLightnessLine(pixels.size(), lightness.data());
    for (std::size_t i = 0; i < pixels.size(); ++i)
    {
        double L;
        double a;
        double b;
        kernel.ToLab(pixels[i], L, a, b);
        ASSERT_EQ(Bits(L), Bits(lab[3 * i])) << "pixel " << i;
        ASSERT_EQ(Bits(a), Bits(lab[3 * i + 1])) << "pixel " << i;
        ASSERT_EQ(Bits(b), Bits(lab[3 * i + 2])) << "pixel " << i;
        ASSERT_EQ(Bits(kernel.Lightness(pixels[i])), Bits(lightness[i])) << "pixel " << i;
    }
}

TEST_P(LabRowKernelSpaceTest, UnitGainEqualsNoGainBothWays)
{
    const std::vector<RGB16> pixels = SamplePixels();
    CRGBImage image = ImageOf(pixels);
    CAccessRGBImageByLab access(image, nullptr, GetParam().matrix());
    const CLabRowKernel plain(access);
    const CLabRowKernel unit(access, CCIEXYZ(1.0, 1.0, 1.0));

    for (const RGB16& px : pixels)
    {
        double L0, a0, b0, L1, a1, b1;
        plain.ToLab(px, L0, a0, b0);
        unit.ToLab(px, L1, a1, b1);
        ASSERT_EQ(Bits(L0), Bits(L1));
        ASSERT_EQ(Bits(a0), Bits(a1));
        ASSERT_EQ(Bits(b0), Bits(b1));
        ASSERT_EQ(Bits(plain.Lightness(px)), Bits(unit.Lightness(px)));

        // The way back, from the pixel's own Lab and from a shifted one
        // (out of gamut for many, so the clamps are crossed too).
        for (const double shift : {0.0, 40.0, -90.0})
        {
            const RGB16 p = plain.FromLab(L0, a0 + shift, b0 - shift);
            const RGB16 u = unit.FromLab(L1, a1 + shift, b1 - shift);
            ASSERT_EQ(p.r, u.r);
            ASSERT_EQ(p.g, u.g);
            ASSERT_EQ(p.b, u.b);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Spaces, LabRowKernelSpaceTest, ::testing::ValuesIn(kSpaces),
                         [](const auto& info) { return std::string(info.param.name); });

// With a gain, L*a*b* is the accessor's of the gained XYZ (the product
// with the matrix taken row by row, then each channel times its gain), and
// the way back does not use the gain.
TEST(LabRowKernelTest, GainActsOnXyzBeforeTheWhite)
{
    const std::vector<RGB16> pixels = SamplePixels();
    CRGBImage image = ImageOf(pixels);
    CAccessRGBImageByLab access(image, nullptr, WorkingSpace());
    const std::vector<double>& m = access.GetRGBToXYZ().GetData();
    const CLabRowKernel plain(access);

    // A warm shift, a cool one, and one that lifts bright pixels past the
    // white (t above 1: the cube root leaves the table).
    const CCIEXYZ gains[] = {CCIEXYZ(1.07, 1.0, 0.82), CCIEXYZ(0.93, 0.98, 1.21),
                             CCIEXYZ(1.6, 1.5, 1.4)};
    for (const CCIEXYZ& gain : gains)
    {
        const CLabRowKernel kernel(access, gain);
        for (const RGB16& px : pixels)
        {
            const double r = px.r;
            const double g = px.g;
            const double bl = px.b;
            const CCIEXYZ xyz((m[0] * r + m[1] * g + m[2] * bl) * gain[0],
                              (m[3] * r + m[4] * g + m[5] * bl) * gain[1],
                              (m[6] * r + m[7] * g + m[8] * bl) * gain[2]);
            CCIELab expected;
            access.XYZToLab(1, &xyz, &expected);

            double L, a, b;
            kernel.ToLab(px, L, a, b);
            ASSERT_EQ(Bits(L), Bits(expected[0]));
            ASSERT_EQ(Bits(a), Bits(expected[1]));
            ASSERT_EQ(Bits(b), Bits(expected[2]));
            ASSERT_EQ(Bits(kernel.Lightness(px)), Bits(expected[0]));

            const RGB16 back = kernel.FromLab(L, a, b);
            const RGB16 reference = plain.FromLab(L, a, b);
            ASSERT_EQ(back.r, reference.r);
            ASSERT_EQ(back.g, reference.g);
            ASSERT_EQ(back.b, reference.b);
        }
    }
}

// The way back inverts the way in to within a unit or two of 16 bits for
// colours inside the gamut (the table cube root and the truncation are all
// that part them).
TEST(LabRowKernelTest, RoundTripKeepsInGamutPixels)
{
    const std::vector<RGB16> pixels = SamplePixels();
    CRGBImage image = ImageOf(pixels);
    CAccessRGBImageByLab access(image, nullptr, WorkingSpace());
    const CLabRowKernel kernel(access);
    for (const RGB16& px : pixels)
    {
        double L, a, b;
        kernel.ToLab(px, L, a, b);
        const RGB16 back = kernel.FromLab(L, a, b);
        EXPECT_NEAR(back.r, px.r, 3) << px.r << ' ' << px.g << ' ' << px.b;
        EXPECT_NEAR(back.g, px.g, 3) << px.r << ' ' << px.g << ' ' << px.b;
        EXPECT_NEAR(back.b, px.b, 3) << px.r << ' ' << px.g << ' ' << px.b;
    }
}

} // namespace
