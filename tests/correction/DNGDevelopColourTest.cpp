// The colour of a whole development: a DNG of flat patches (a scene of known
// camera values) made by our builder, developed into camera RGB, then taken
// through the RAW development step as shot into linear sRGB. A grey must
// come out grey at the level it was recorded at, whatever light it was shot
// under and whichever matrices the file carries; dcraw, which develops the
// same file on its own, is the outside reference where it is installed.

#include "correction/DNGParamDoc.h"

#include "core/CIEColor.h"
#include "core/RGBImage.h"
#include "imagefile/DNGFile.h"
#include "imagefile/DNGTranspose.h"
#include "tests/correction/CorrectionTestSupport.h"
#include "tests/support/DngBuilder.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

using correctiontest::WorkingSpace;
using testsupport::DngBuilder;
using testsupport::DngRecipe;
using testsupport::TempDir;

namespace {

using Rgb = std::array<double, 3>;

// XYZ-to-camera matrices of a plausible camera under standard light A and
// under D65, each scaled the usual DNG way: its own illuminant's white
// (Y = 1) gives camera values whose largest is 1.
const CCIEXYZ kLightA(1.09851, 1.0, 0.35582);
const CCIEXYZ kLightD65(0.95043, 1.0, 1.08879);

CStdMatrix NormalisedFor(CStdMatrix m, const CCIEXYZ& light)
{
    const CStdVector n = Multiply3x3(m, light);
    return m / std::max({n[0], n[1], n[2]});
}

const CStdMatrix& ColorMatrixA()
{
    static const CStdMatrix m = NormalisedFor(
        CStdMatrix(0.6722, -0.0635, -0.0963, -0.4287, 1.2460, 0.2028, -0.0908, 0.2162, 0.5668),
        kLightA);
    return m;
}

const CStdMatrix& ColorMatrixD65()
{
    static const CStdMatrix m = NormalisedFor(
        CStdMatrix(0.8783, -0.2597, -0.1136, -0.3822, 1.1428, 0.2637, -0.0589, 0.1423, 0.6447),
        kLightD65);
    return m;
}

// The camera's record of a white surface under a light (largest 1).
Rgb NeutralUnder(const CStdMatrix& colorMatrix, const CCIEXYZ& light)
{
    const CStdVector n = Multiply3x3(colorMatrix, light);
    const double largest = std::max({n[0], n[1], n[2]});
    return {n[0] / largest, n[1] / largest, n[2] / largest};
}

std::vector<std::pair<std::int64_t, std::int64_t>> Rationals(std::initializer_list<double> values)
{
    std::vector<std::pair<std::int64_t, std::int64_t>> out;
    for (const double v : values)
        out.emplace_back(std::llround(v * 1000000.0), 1000000);
    return out;
}

std::vector<std::pair<std::int64_t, std::int64_t>> Rationals(const CStdMatrix& m)
{
    std::vector<std::pair<std::int64_t, std::int64_t>> out;
    for (const double v : m.GetData())
        out.emplace_back(std::llround(v * 1000000.0), 1000000);
    return out;
}

// The scene: square patches side by side, each a surface's camera values as
// fractions of the white level (already lit: the light's neutral times the
// surface). The first three are greys at 0.2, 0.5 and 0.9 of the white.
// (dcraw takes no DNG smaller than 22 pixels a side.)
constexpr int kPatch = 24;
constexpr int kMargin = 8; // demosaicing near a patch's edge mixes its neighbour in
constexpr double kGreys[] = {0.2, 0.5, 0.9};
constexpr Rgb kSurfaces[] = {
    {0.70, 0.35, 0.20}, {0.25, 0.55, 0.30}, {0.20, 0.30, 0.65}, {0.60, 0.60, 0.20}};
constexpr int kPatches = 7;

std::vector<Rgb> PatchesUnder(const Rgb& neutral)
{
    std::vector<Rgb> patches;
    for (const double level : kGreys)
        patches.push_back({level * neutral[0], level * neutral[1], level * neutral[2]});
    for (const Rgb& s : kSurfaces)
        patches.push_back({0.8 * s[0] * neutral[0], 0.8 * s[1] * neutral[1], 0.8 * s[2] * neutral[2]});
    return patches;
}

struct Scene
{
    bool twoMatrices = false;
    Rgb neutral{};
    double baselineExposure = 0.0;
};

// A 16-bit RGGB file of the patches; one matrix means D65's alone.
DngBuilder BuildScene(const Scene& scene)
{
    const std::vector<Rgb> patches = PatchesUnder(scene.neutral);
    DngRecipe recipe;
    recipe.width = kPatch * kPatches;
    recipe.height = kPatch;
    recipe.pixels.resize(std::size_t{recipe.width} * recipe.height);
    for (std::uint32_t y = 0; y < recipe.height; ++y)
        for (std::uint32_t x = 0; x < recipe.width; ++x)
        {
            const int colour = recipe.cfa[(y % 2) * 2 + x % 2];
            const double v = patches[x / kPatch][static_cast<std::size_t>(colour)];
            recipe.pixels[std::size_t{y} * recipe.width + x] =
                static_cast<std::uint16_t>(std::lround(v * 65535.0));
        }
    DngBuilder b(recipe);
    b.Ifd0()
        .Rationals(50728, Rationals({scene.neutral[0], scene.neutral[1], scene.neutral[2]}))
        .SRationals(50730, Rationals({scene.baselineExposure}));
    if (scene.twoMatrices)
        b.Ifd0()
            .SRationals(50721, Rationals(ColorMatrixA()))
            .SRationals(50722, Rationals(ColorMatrixD65()))
            .Shorts(50778, {17})
            .Shorts(50779, {21});
    else
        b.Ifd0()
            .SRationals(50721, Rationals(ColorMatrixD65()))
            .Shorts(50778, {21})
            .Remove(50722)
            .Remove(50779);
    return b;
}

// Our development of the file as shot into linear sRGB (16 bits); empty
// when any stage fails.
CRGBImage DevelopAsShot(const std::string& path, const TempDir& dir)
{
    CDNGFile file;
    if (!file.Open(path) || !file.Develop(dir.File("A.raw"), dir.File("C.raw"),
                                          dir.File("B.raw"), {}))
        return {};
    CRGBImage image(static_cast<int>(file.GetOutputWidth()),
                    static_cast<int>(file.GetOutputHeight()));
    RGB16* pixels = image.Lock();
    bool read = true;
    for (int y = 0; y < image.GetHeight(); ++y)
        read = file.GetLine(static_cast<unsigned>(y), pixels + y * image.GetWidth()) && read;
    image.Unlock();
    CDNGTranspose transform;
    file.GetColorInfo(transform);
    CDNGParamDoc development; // as shot, no exposure, no shadow
    if (!read || !development.ProcessImage(image, nullptr, WorkingSpace(), &transform, 1.0, nullptr,
                                           {}, nullptr))
        return {};
    return image;
}

// dcraw's development of the file with the camera's white balance, linear
// 16-bit sRGB, bilinear demosaicing; empty when it fails.
CRGBImage DevelopWithDcraw(const std::string& path, const TempDir& dir)
{
    const std::string ppm = dir.File("dcraw.ppm");
    const std::string command = "dcraw -c -w -4 -o 1 -q 0 '" + path + "' > '" + ppm + "'";
    if (std::system(command.c_str()) != 0)
        return {};
    std::FILE* f = std::fopen(ppm.c_str(), "rb");
    if (!f)
        return {};
    char magic[3] = {};
    int width = 0, height = 0, max = 0;
    CRGBImage image;
    if (std::fscanf(f, "%2s %d %d %d", magic, &width, &height, &max) == 4 &&
        std::string(magic) == "P6" && max == 65535 && width > 0 && height > 0)
    {
        std::fgetc(f);
        image = CRGBImage(width, height);
        RGB16* p = image.Lock();
        const auto sample = [f] {
            const int hi = std::fgetc(f);
            const int lo = std::fgetc(f);
            return static_cast<std::uint16_t>(hi << 8 | lo);
        };
        for (std::size_t i = 0; i < image.GetPixelCount(); ++i)
        {
            p[i].r = sample();
            p[i].g = sample();
            p[i].b = sample();
        }
        image.Unlock();
    }
    std::fclose(f);
    return image;
}

// Mean of each patch's centre, away from the edges that demosaicing blends.
std::vector<Rgb> PatchMeans(CRGBImage& image)
{
    std::vector<Rgb> means;
    const RGB16* p = image.Lock();
    for (int k = 0; k < kPatches; ++k)
    {
        Rgb sum{};
        int count = 0;
        for (int y = kMargin; y < kPatch - kMargin; ++y)
            for (int x = k * kPatch + kMargin; x < (k + 1) * kPatch - kMargin; ++x)
            {
                const RGB16& px = p[y * image.GetWidth() + x];
                sum[0] += px.r;
                sum[1] += px.g;
                sum[2] += px.b;
                ++count;
            }
        means.push_back({sum[0] / count, sum[1] / count, sum[2] / count});
    }
    image.Unlock();
    return means;
}

CCIELab LabOf(const Rgb& rgb)
{
    const CStdMatrix m = WorkingSpace();
    const CStdVector xyz = Multiply3x3(m, CStdVector{rgb[0], rgb[1], rgb[2]});
    const CStdVector white = Multiply3x3(m, CStdVector{65535.0, 65535.0, 65535.0});
    return CCIEXYZ(xyz).ToLab(CCIEXYZ(white));
}

double DeltaE(const Rgb& a, const Rgb& b)
{
    const CCIELab p = LabOf(a);
    const CCIELab q = LabOf(b);
    return std::sqrt((p[0] - q[0]) * (p[0] - q[0]) + (p[1] - q[1]) * (p[1] - q[1]) +
                     (p[2] - q[2]) * (p[2] - q[2]));
}

bool HaveDcraw()
{
    return std::system("command -v dcraw >/dev/null 2>&1") == 0;
}

} // namespace

TEST(DNGDevelopColour, GreysStayGreyAtTheirRecordedLevelWhateverTheLight)
{
    struct Case
    {
        const char* name;
        Scene scene;
        // dcraw develops colours the same way only with D65's matrix under
        // D65 light (elsewhere it balances in camera space); its greys are
        // grey at their level everywhere. It ignores the baseline exposure.
        bool coloursLikeDcraw;
        bool greysLikeDcraw;
    };
    const Rgb underD65 = NeutralUnder(ColorMatrixD65(), kLightD65);
    const Rgb underA = NeutralUnder(ColorMatrixA(), kLightA);
    const Case cases[] = {
        {"one matrix, D65 light", {false, underD65}, true, true},
        {"one matrix, light A", {false, underA}, false, true},
        {"two matrices, D65 light", {true, underD65}, true, true},
        {"two matrices, light A", {true, underA}, false, true},
        {"two matrices, light A, baseline exposure +0.5", {true, underA, 0.5}, false, false},
    };
    const bool dcraw = HaveDcraw();
    TempDir dir;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("scene.dng");
        ASSERT_TRUE(BuildScene(c.scene).WriteFile(path));
        CRGBImage ours = DevelopAsShot(path, dir);
        ASSERT_EQ(ours.GetWidth(), kPatch * kPatches);
        const std::vector<Rgb> means = PatchMeans(ours);
        const double gain = std::exp2(c.scene.baselineExposure);

        for (std::size_t k = 0; k < std::size(kGreys); ++k)
        {
            SCOPED_TRACE("grey " + std::to_string(kGreys[k]));
            const Rgb& m = means[k];
            const double level = kGreys[k] * gain * 65535.0;
            if (level >= 65535.0)
                continue; // made to clip by the baseline exposure
            for (int ch = 0; ch < 3; ++ch)
            {
                // Grey: the channels agree within 0.2 %.
                EXPECT_NEAR(m[ch], m[1], 0.002 * m[1]) << "channel " << ch;
                // At the recorded level within 0.5 %, and not clipped.
                EXPECT_NEAR(m[ch], level, 0.005 * level) << "channel " << ch;
                EXPECT_LT(m[ch], 65535.0) << "channel " << ch;
            }
        }

        if (!dcraw || !c.greysLikeDcraw)
            continue;
        CRGBImage theirs = DevelopWithDcraw(path, dir);
        ASSERT_EQ(theirs.GetWidth(), ours.GetWidth());
        ASSERT_EQ(theirs.GetHeight(), ours.GetHeight());
        const std::vector<Rgb> reference = PatchMeans(theirs);
        const std::size_t compared = c.coloursLikeDcraw ? means.size() : std::size(kGreys);
        for (std::size_t k = 0; k < compared; ++k)
            EXPECT_LT(DeltaE(means[k], reference[k]), 0.1)
                << "patch " << k << ": ours " << means[k][0] << " " << means[k][1] << " "
                << means[k][2] << ", dcraw " << reference[k][0] << " " << reference[k][1] << " "
                << reference[k][2];
    }
}
