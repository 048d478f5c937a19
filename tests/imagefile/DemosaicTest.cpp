// Demosaicing of CFA data, through whole developments of builder-made DNGs
// (black 0 and white 65535, so plane B holds the samples as written):
// uniform and single-colour images in the four Bayer layouts, edges that
// must be followed rather than blurred, black and colourless images, and a
// plain whole-image evaluation of the three stages that the line pipeline
// (rings, zero borders, bands on several threads) must match exactly.

#include "imagefile/DNGFile.h"

#include "core/Clamp.h"
#include "tests/support/DngBuilder.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

using testsupport::DngBuilder;
using testsupport::DngRecipe;
using testsupport::TempDir;

namespace {

struct Layout
{
    const char* name;
    std::array<std::uint8_t, 4> cfa;
};

const Layout kLayouts[] = {
    {"RGGB", {0, 1, 1, 2}},
    {"BGGR", {2, 1, 1, 0}},
    {"GRBG", {1, 0, 2, 1}},
    {"GBRG", {1, 2, 0, 1}},
};

struct Image
{
    unsigned width = 0;
    unsigned height = 0;
    std::vector<RGB16> pixels;
    std::array<double, 3> factors{};

    const RGB16& At(unsigned x, unsigned y) const { return pixels[std::size_t{y} * width + x]; }
};

// The CFA colour of raw pixel (x, y) with the pattern anchored at (left, top).
int ColourAt(const std::array<std::uint8_t, 4>& cfa, long long x, long long y, long long left,
             long long top)
{
    const auto wrap = [](long long v) { return static_cast<int>(((v % 2) + 2) % 2); };
    return cfa[static_cast<std::size_t>(wrap(y - top) * 2 + wrap(x - left))];
}

Image Develop(DngBuilder& b, const TempDir& dir, int threads = 0)
{
    Image out;
    EXPECT_TRUE(b.WriteFile(dir.File("test.dng")));
    CDNGFile f;
    f.SetThreadCount(threads);
    EXPECT_TRUE(f.Open(dir.File("test.dng"))) << static_cast<int>(f.GetErrorCode());
    EXPECT_TRUE(f.Develop(dir.File("A"), dir.File("C"), dir.File("B"), {}))
        << static_cast<int>(f.GetErrorCode());
    out.width = f.GetOutputWidth();
    out.height = f.GetOutputHeight();
    out.factors = f.GetWhiteBalanceFactors();
    out.pixels.resize(std::size_t{out.width} * out.height);
    for (unsigned y = 0; y < out.height; ++y)
        EXPECT_TRUE(f.GetLine(y, out.pixels.data() + std::size_t{y} * out.width));
    return out;
}

// A CFA file of width x height whose site of colour c holds sample(x, y, c).
template <typename Sample>
DngBuilder Mosaic(const Layout& layout, unsigned width, unsigned height, Sample sample)
{
    DngRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.cfa = layout.cfa;
    recipe.pixels.resize(std::size_t{width} * height);
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x)
            recipe.pixels[std::size_t{y} * width + x] =
                sample(x, y, ColourAt(layout.cfa, x, y, 0, 0));
    return DngBuilder(recipe);
}

// The rows and columns that the zeros beyond the edge reach: stage 1 reads
// two pixels out, and stages 2 and 3 read the greens stage 1 made one pixel
// out, so the third row from an edge is touched too.
constexpr unsigned kBorder = 3;

bool Border(unsigned x, unsigned y, const Image& im)
{
    return x < kBorder || y < kBorder || x + kBorder >= im.width || y + kBorder >= im.height;
}

} // namespace

TEST(Demosaic, UniformPlaneIsGreyButAtTheBorder)
{
    TempDir dir;
    for (const Layout& layout : kLayouts)
        for (const std::uint16_t v : {std::uint16_t{1}, std::uint16_t{12345}, std::uint16_t{65535}})
        {
            SCOPED_TRACE(std::string(layout.name) + " " + std::to_string(v));
            DngBuilder b = Mosaic(layout, 24, 18, [v](unsigned, unsigned, int) { return v; });
            const Image im = Develop(b, dir);
            EXPECT_EQ(im.factors, (std::array<double, 3>{1, 1, 1}));
            int borderDiffers = 0;
            for (unsigned y = 0; y < im.height; ++y)
                for (unsigned x = 0; x < im.width; ++x)
                {
                    const RGB16& p = im.At(x, y);
                    if (!Border(x, y, im))
                    {
                        ASSERT_EQ(p.r, v) << x << "," << y;
                        ASSERT_EQ(p.g, v) << x << "," << y;
                        ASSERT_EQ(p.b, v) << x << "," << y;
                    }
                    else if (p.r != v || p.g != v || p.b != v)
                        ++borderDiffers;
                }
            // The zeros beyond the edge do show in the border.
            EXPECT_GT(borderDiffers, 0);
        }
}

TEST(Demosaic, FlatColourComesBackInEveryLayout)
{
    // Red, green and blue sites each of one level: the balance factors make
    // the mosaic flat, and the colour returns inside the border. A layout
    // read the wrong way round would swap or mix the channels.
    const std::array<std::uint16_t, 3> colour{52000, 30000, 9000};
    TempDir dir;
    for (const Layout& layout : kLayouts)
    {
        SCOPED_TRACE(layout.name);
        DngBuilder b = Mosaic(layout, 20, 16, [&](unsigned, unsigned, int c) {
            return colour[static_cast<std::size_t>(c)];
        });
        const Image im = Develop(b, dir);
        EXPECT_DOUBLE_EQ(im.factors[0], 1.0);
        EXPECT_DOUBLE_EQ(im.factors[1], 30000.0 / 52000.0);
        EXPECT_DOUBLE_EQ(im.factors[2], 9000.0 / 52000.0);
        for (unsigned y = kBorder; y + kBorder < im.height; ++y)
            for (unsigned x = kBorder; x + kBorder < im.width; ++x)
            {
                const RGB16& p = im.At(x, y);
                EXPECT_NEAR(p.r, colour[0], 2) << x << "," << y;
                EXPECT_NEAR(p.g, colour[1], 2) << x << "," << y;
                EXPECT_NEAR(p.b, colour[2], 2) << x << "," << y;
            }
    }
}

TEST(Demosaic, EdgesAreFollowedNotBlurred)
{
    // Grey steps: along a horizontal edge green is taken along the rows,
    // along a vertical one down the columns, so every pixel away from the
    // image border keeps its own side's level exactly, right up to the edge.
    struct Case
    {
        const char* name;
        bool horizontal;
    };
    TempDir dir;
    for (const Case c : {Case{"horizontal edge", true}, Case{"vertical edge", false}})
        for (const Layout& layout : kLayouts)
        {
            SCOPED_TRACE(std::string(c.name) + " " + layout.name);
            // The edge on an even row (column), so that every colour has as
            // many sites on either side and the balance factors stay 1.
            const auto level = [&](unsigned x, unsigned y) {
                return static_cast<std::uint16_t>((c.horizontal ? y : x) < 10 ? 3000 : 60000);
            };
            DngBuilder b =
                Mosaic(layout, 20, 20, [&](unsigned x, unsigned y, int) { return level(x, y); });
            const Image im = Develop(b, dir);
            EXPECT_EQ(im.factors, (std::array<double, 3>{1, 1, 1}));
            for (unsigned y = kBorder; y + kBorder < im.height; ++y)
                for (unsigned x = kBorder; x + kBorder < im.width; ++x)
                {
                    const RGB16& p = im.At(x, y);
                    const std::uint16_t v = level(x, y);
                    ASSERT_EQ(p.g, v) << x << "," << y;
                    ASSERT_EQ(p.r, v) << x << "," << y;
                    ASSERT_EQ(p.b, v) << x << "," << y;
                }
        }
}

TEST(Demosaic, BlackAndColourlessImagesKeepFactorsOfOne)
{
    TempDir dir;
    // Entirely black: nothing to balance.
    DngBuilder black = Mosaic(kLayouts[0], 16, 16, [](unsigned, unsigned, int) { return 0; });
    const Image a = Develop(black, dir);
    EXPECT_EQ(a.factors, (std::array<double, 3>{1, 1, 1}));
    EXPECT_TRUE(std::all_of(a.pixels.begin(), a.pixels.end(),
                            [](const RGB16& p) { return p.r == 0 && p.g == 0 && p.b == 0; }));

    // No blue at all: blue keeps a factor of 1 instead of 0; the others are
    // balanced as usual, and blue stays 0 where green has nothing to give.
    DngBuilder noBlue = Mosaic(kLayouts[0], 16, 16, [](unsigned, unsigned, int c) {
        return c == 2 ? 0 : (c == 0 ? 20000 : 40000);
    });
    const Image b = Develop(noBlue, dir);
    EXPECT_DOUBLE_EQ(b.factors[0], 0.5);
    EXPECT_DOUBLE_EQ(b.factors[1], 1.0);
    EXPECT_DOUBLE_EQ(b.factors[2], 1.0);
    for (unsigned y = kBorder; y + kBorder < b.height; ++y)
        for (unsigned x = kBorder; x + kBorder < b.width; ++x)
        {
            EXPECT_NEAR(b.At(x, y).r, 20000, 2);
            EXPECT_EQ(b.At(x, y).g, 40000);
        }
}

namespace {

// The three stages over whole-image arrays, written straight from their
// definitions: neighbours outside the image read 0, every value is formed
// in doubles and stored truncated (negative values as 0) as three 32-bit
// channels.
struct Long3
{
    std::uint32_t c[3];
};

std::uint32_t Store(double v)
{
    return static_cast<std::uint32_t>(ClampToInteger(v, 0, 4294967295LL));
}

std::vector<RGB16> ReferenceDemosaic(const std::vector<std::uint16_t>& plane, long long w,
                                     long long h, const std::array<std::uint8_t, 4>& cfa,
                                     long long left, long long top, const std::array<double, 3>& f)
{
    const double T1 = 4 * 65535.0 / 4095, T2 = 12 * 65535.0 / 4095;
    const auto inside = [&](long long x, long long y) {
        return x >= 0 && y >= 0 && x < w && y < h;
    };
    const auto colour = [&](long long x, long long y) { return ColourAt(cfa, x, y, left, top); };
    // Balanced samples.
    std::vector<std::uint32_t> bal(plane.size());
    for (long long y = 0; y < h; ++y)
        for (long long x = 0; x < w; ++x)
            bal[y * w + x] = Store(plane[y * w + x] / f[colour(x, y)]);
    const auto P = [&](long long x, long long y) {
        return inside(x, y) ? static_cast<double>(bal[y * w + x]) : 0.0;
    };
    std::vector<Long3> out(plane.size(), Long3{{0, 0, 0}});
    const auto C = [&](long long x, long long y, int ch) {
        return inside(x, y) ? static_cast<double>(out[y * w + x].c[ch]) : 0.0;
    };
    const auto gradients = [&](long long x, long long y, double& dv, double& dh) {
        dv = (std::fabs(P(x, y - 1) - P(x, y + 1)) +
              std::fabs(2 * P(x - 1, y) - P(x - 1, y - 2) - P(x - 1, y + 2)) / 4 +
              std::fabs(2 * P(x + 1, y) - P(x + 1, y - 2) - P(x + 1, y + 2)) / 4 +
              std::fabs(2 * P(x, y) - P(x, y - 2) - P(x, y + 2)) / 2 +
              std::fabs(P(x - 1, y - 1) - P(x - 1, y + 1)) / 2 +
              std::fabs(P(x + 1, y - 1) - P(x + 1, y + 1)) / 2) /
             4;
        dh = (std::fabs(P(x - 1, y) - P(x + 1, y)) +
              std::fabs(2 * P(x, y - 1) - P(x - 2, y - 1) - P(x + 2, y - 1)) / 4 +
              std::fabs(2 * P(x, y + 1) - P(x - 2, y + 1) - P(x + 2, y + 1)) / 4 +
              std::fabs(2 * P(x, y) - P(x - 2, y) - P(x + 2, y)) / 2 +
              std::fabs(P(x - 1, y - 1) - P(x + 1, y - 1)) / 2 +
              std::fabs(P(x - 1, y + 1) - P(x + 1, y + 1)) / 2) /
             4;
    };

    // Stage 1: green.
    for (long long y = 0; y < h; ++y)
        for (long long x = 0; x < w; ++x)
        {
            Long3& o = out[y * w + x];
            const int own = colour(x, y);
            if (own == 1)
            {
                o.c[1] = bal[y * w + x];
                continue;
            }
            o.c[own] = bal[y * w + x];
            double dv, dh;
            gradients(x, y, dv, dh);
            const double c = P(x, y);
            const double sum4 = P(x, y - 2) + P(x, y + 2) + P(x - 2, y) + P(x + 2, y);
            const double avg4 = (P(x, y - 1) + P(x, y + 1) + P(x - 1, y) + P(x + 1, y)) / 4;
            double g;
            if (dv <= T1 && dh <= T1)
                g = avg4 + c - (4 * c + sum4) / 8;
            else if (std::fabs(dv - dh) <= T2)
            {
                const double sG = ((2 * P(x, y - 1) - P(x - 2, y - 1) - P(x + 2, y - 1)) +
                                   (2 * P(x, y + 1) - P(x - 2, y + 1) - P(x + 2, y + 1)) +
                                   (2 * P(x - 1, y) - P(x - 1, y - 2) - P(x - 1, y + 2)) +
                                   (2 * P(x + 1, y) - P(x + 1, y - 2) - P(x + 1, y + 2))) /
                                  8;
                g = avg4 + c - (4 * c + sum4) / 8 + (sG - (4 * c - sum4) / 4) / 2;
            }
            else if (dv > dh)
                g = (P(x - 1, y) + P(x + 1, y)) / 2 + c - (P(x - 2, y) + 2 * c + P(x + 2, y)) / 4;
            else
                g = (P(x, y - 1) + P(x, y + 1)) / 2 + c - (P(x, y - 2) + 2 * c + P(x, y + 2)) / 4;
            o.c[1] = Store(g);
        }
    // Stage 2: red and blue at green sites.
    for (long long y = 0; y < h; ++y)
        for (long long x = 0; x < w; ++x)
        {
            if (colour(x, y) != 1)
                continue;
            const double gc = P(x, y);
            const double horizontal =
                gc + ((P(x - 1, y) - C(x - 1, y, 1)) + (P(x + 1, y) - C(x + 1, y, 1))) / 2;
            const double vertical =
                gc + ((P(x, y - 1) - C(x, y - 1, 1)) + (P(x, y + 1) - C(x, y + 1, 1))) / 2;
            const int rowColour = colour(x + 1, y); // the row's other colour
            out[y * w + x].c[rowColour] = Store(horizontal);
            out[y * w + x].c[2 - rowColour] = Store(vertical);
        }
    // Stage 3: the missing colour at red and blue sites.
    for (long long y = 0; y < h; ++y)
        for (long long x = 0; x < w; ++x)
        {
            const int own = colour(x, y);
            if (own == 1)
                continue;
            const int m = 2 - own;
            const auto G = [&](long long dx, long long dy) { return C(x + dx, y + dy, 1); };
            const auto X = [&](long long dx, long long dy) { return C(x + dx, y + dy, m); };
            const auto Q = [&](long long dx, long long dy) { return P(x + dx, y + dy); };
            double dv, dh;
            gradients(x, y, dv, dh);
            const double gc = G(0, 0);
            const double diagonal = ((Q(-1, -1) - G(-1, -1)) + (Q(1, -1) - G(1, -1)) +
                                     (Q(-1, 1) - G(-1, 1)) + (Q(1, 1) - G(1, 1))) /
                                    4;
            double v;
            if (dv <= T1 && dh <= T1)
                v = gc + diagonal;
            else if (std::fabs(dv - dh) <= T2)
            {
                const double s1 =
                    ((2 * X(0, 1) - Q(-1, 1) - Q(1, 1)) + (2 * X(0, -1) - Q(-1, -1) - Q(1, -1)) +
                     (2 * X(-1, 0) - Q(-1, -1) - Q(-1, 1)) + (2 * X(1, 0) - Q(1, -1) - Q(1, 1))) /
                    8;
                const double s2 =
                    ((2 * Q(0, 1) - G(-1, 1) - G(1, 1)) + (2 * Q(0, -1) - G(-1, -1) - G(1, -1)) +
                     (2 * Q(-1, 0) - G(-1, -1) - G(-1, 1)) + (2 * Q(1, 0) - G(1, -1) - G(1, 1))) /
                    8;
                v = gc + diagonal + (s1 - s2) / 2;
            }
            else if (dv > dh)
                v = gc + ((X(-1, 0) - Q(-1, 0)) + (X(1, 0) - Q(1, 0))) / 2;
            else
                v = gc + ((X(0, -1) - Q(0, -1)) + (X(0, 1) - Q(0, 1))) / 2;
            out[y * w + x].c[m] = Store(v);
        }
    std::vector<RGB16> rgb(out.size());
    for (std::size_t i = 0; i < out.size(); ++i)
        rgb[i] = {ClampToU16(out[i].c[0] * f[0]), ClampToU16(out[i].c[1] * f[1]),
                  ClampToU16(out[i].c[2] * f[2])};
    return rgb;
}

} // namespace

TEST(Demosaic, PipelineMatchesTheWholeImageStages)
{
    // Random samples, some of them pushed to 0 and 65535 so that the stages
    // go negative and past the top; odd sizes, and an active area with an
    // odd corner that anchors the pattern; several row bands and threads.
    struct Case
    {
        unsigned width, height;
        unsigned top, left;
        bool extremes;
    };
    const Case cases[] = {
        {31, 27, 0, 0, true},
        {40, 300, 1, 3, false},
        {9, 5, 1, 1, true},
        {33, 270, 3, 2, true},
    };
    TempDir dir;
    std::uint32_t seed = 1;
    for (const Case& c : cases)
        for (const Layout& layout : kLayouts)
        {
            SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " " +
                         layout.name);
            DngRecipe recipe;
            recipe.width = c.width;
            recipe.height = c.height;
            recipe.cfa = layout.cfa;
            recipe.pixels.resize(std::size_t{c.width} * c.height);
            for (auto& v : recipe.pixels)
            {
                seed = seed * 1103515245u + 12345u;
                v = static_cast<std::uint16_t>(seed >> 12);
                // Smooth areas too: neighbours that differ little.
                if (!c.extremes)
                    v = static_cast<std::uint16_t>(20000 + (v & 0x1FF));
                else if ((seed >> 8) % 5 == 0)
                    v = (seed >> 9) % 2 ? 65535 : 0;
            }
            DngBuilder b(recipe);
            b.Raw()
                .Longs(50829, {c.top, c.left, c.height, c.width})
                .Rationals(50720, {{c.width - c.left, 1}, {c.height - c.top, 1}});

            // Two threads take turns over three bands or more, so a band
            // starts on rings left by one further up.
            for (const int threads : {1, 2, 4})
            {
                const Image im = Develop(b, dir, threads);
                // The factors from the colour sums over the whole raw image.
                double sums[3] = {0, 0, 0};
                for (unsigned y = 0; y < c.height; ++y)
                    for (unsigned x = 0; x < c.width; ++x)
                        sums[ColourAt(layout.cfa, x, y, c.left, c.top)] +=
                            recipe.pixels[std::size_t{y} * c.width + x];
                const double means[3] = {sums[0], sums[1] / 2, sums[2]};
                const double m = std::max({means[0], means[1], means[2]});
                std::array<double, 3> f{};
                for (int k = 0; k < 3; ++k)
                    f[k] = std::max(means[k] / m, 1.0 / 65535);
                EXPECT_EQ(im.factors, f);

                const std::vector<RGB16> expected = ReferenceDemosaic(
                    recipe.pixels, c.width, c.height, layout.cfa, c.left, c.top, f);
                ASSERT_EQ(im.width, c.width - c.left);
                ASSERT_EQ(im.height, c.height - c.top);
                for (unsigned y = 0; y < im.height; ++y)
                    for (unsigned x = 0; x < im.width; ++x)
                    {
                        const RGB16& e = expected[std::size_t{y + c.top} * c.width + x + c.left];
                        const RGB16& p = im.At(x, y);
                        ASSERT_TRUE(p.r == e.r && p.g == e.g && p.b == e.b)
                            << threads << " threads at " << x << "," << y << ": " << p.r << " "
                            << p.g << " " << p.b << " expected " << e.r << " " << e.g << " " << e.b;
                    }
            }
        }
}
