#include "core/HueSwatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// A grey of the D65 white goes to equal channels: this holds only when the
// matrix is inverted the right way round (columns are the primaries).
TEST(HueSwatch, GreysMapToEqualChannels)
{
    const CCIEXYZ white(StandardIlluminant::D65);
    for (double k : {1.0, 0.5, 0.2, 0.01})
    {
        RGB16 px{};
        SwatchColorFromXYZ(px, white * k);
        const double expected = std::pow(k, 1.0 / 2.4) * 65535.0;
        SCOPED_TRACE(k);
        // The white's X and Z differ from the primaries' sums in the fourth
        // digit, a few 16-bit steps at most.
        EXPECT_NEAR(px.r, expected, 8.0);
        EXPECT_NEAR(px.g, expected, 1.0);
        EXPECT_NEAR(px.b, expected, 8.0);
    }
}

TEST(HueSwatch, PrimariesAndOutOfRangeValuesClip)
{
    const struct
    {
        CCIEXYZ xyz;
        int r, g, b;
    } cases[] = {
        {CCIEXYZ(41.24, 21.26, 1.93), 65535, 0, 0},
        {CCIEXYZ(35.76, 71.52, 11.92), 0, 65535, 0},
        {CCIEXYZ(18.05, 7.22, 95.05), 0, 0, 65535},
        {CCIEXYZ(500.0, 500.0, 500.0), 65535, 65535, 65535},
        {CCIEXYZ(-10.0, -10.0, -10.0), 0, 0, 0},
        {CCIEXYZ(std::nan(""), std::nan(""), std::nan("")), 0, 0, 0},
    };
    for (const auto& c : cases)
    {
        RGB16 px{1, 2, 3};
        SwatchColorFromXYZ(px, c.xyz);
        SCOPED_TRACE(c.xyz[0]);
        EXPECT_NEAR(px.r, c.r, 1.0);
        EXPECT_NEAR(px.g, c.g, 1.0);
        EXPECT_NEAR(px.b, c.b, 1.0);
    }
}

// Hue angles of CIELAB: 0 is towards magenta-red (+a), 90 yellow (+b),
// 180 green-cyan (-a), 270 blue (-b); the sRGB primaries sit near 40 (red),
// 136 (green) and 306 (blue).
TEST(HueSwatch, StrongestChannelFollowsTheHue)
{
    const struct
    {
        double hue;
        int strongest; // 0 r, 1 g, 2 b
        int weakest;
    } cases[] = {
        {0.0, 0, 1}, {60.0, 0, 2}, {120.0, 1, 2}, {160.0, 1, 0}, {250.0, 2, 0}, {320.0, 2, 1},
    };
    for (const auto& c : cases)
    {
        RGB16 px{};
        HueSwatchColor(px, c.hue);
        const int ch[3] = {px.r, px.g, px.b};
        SCOPED_TRACE(c.hue);
        EXPECT_EQ(std::max_element(ch, ch + 3) - ch, c.strongest);
        EXPECT_EQ(std::min_element(ch, ch + 3) - ch, c.weakest);
    }
}

// Every hue gives a defined colour (clipping comes before the power, so no
// NaN reaches the conversion), with at least one channel clipped: chroma
// 100 at lightness 65 lies outside sRGB everywhere. The hue wraps round.
TEST(HueSwatch, EveryHueClipsAndWrapsRound)
{
    for (int h = 0; h < 360; ++h)
    {
        RGB16 px{};
        HueSwatchColor(px, h);
        const bool clipped =
            px.r == 0 || px.g == 0 || px.b == 0 || px.r == 65535 || px.g == 65535 || px.b == 65535;
        EXPECT_TRUE(clipped) << "hue " << h;

        RGB16 turned{};
        HueSwatchColor(turned, h + 360.0);
        EXPECT_LE(std::abs(turned.r - px.r), 1) << "hue " << h;
        EXPECT_LE(std::abs(turned.g - px.g), 1) << "hue " << h;
        EXPECT_LE(std::abs(turned.b - px.b), 1) << "hue " << h;
    }
}

} // namespace
