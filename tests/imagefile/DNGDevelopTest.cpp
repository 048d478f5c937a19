// DNG development on builder-made files: the plane stores, unpacking and
// tile decoding (twins of one image in different storages develop alike),
// normalisation (black, white, linearisation), the crop and scale of the
// developed rows, progress and cancel, failures, the removal of planes,
// and several threads giving the rows of one.

#include "imagefile/DNGFile.h"

#include "core/PathUtils.h"
#include "imagefile/DNGTemp.h"
#include "tests/support/DngBuilder.h"
#include "tests/support/LosslessJpegEncoder.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using testsupport::DngBuilder;
using testsupport::DngRecipe;
using testsupport::DngStorage;
using testsupport::TempDir;

namespace {

// Files in a folder, but the DNG itself.
std::vector<std::string> Planes(const TempDir& dir)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.Path().c_str()))
    {
        while (const dirent* e = readdir(d))
        {
            const std::string name = e->d_name;
            if (name != "." && name != ".." && name != "test.dng")
                names.push_back(name);
        }
        closedir(d);
    }
    return names;
}

struct Developed
{
    bool opened = false;
    bool developed = false;
    DngErrorCode error = DngErrorCode::None;
    unsigned width = 0;
    unsigned height = 0;
    std::vector<RGB16> pixels;
    std::array<double, 3> factors{};
    double finalProgress = 0.0;

    const RGB16& At(unsigned x, unsigned y) const { return pixels[std::size_t{y} * width + x]; }
};

bool SamePixels(const std::vector<RGB16>& a, const std::vector<RGB16>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const RGB16& p, const RGB16& q) {
        return p.r == q.r && p.g == q.g && p.b == q.b;
    });
}

Developed DevelopFile(const DngBuilder& builder, const TempDir& dir, int threads = 0,
                      Progress progress = {})
{
    Developed out;
    const std::string path = dir.File("test.dng");
    EXPECT_TRUE(builder.WriteFile(path));
    CDNGFile f;
    f.SetThreadCount(threads);
    out.opened = f.Open(path);
    if (out.opened)
        out.developed = f.Develop(dir.File("DNG_Temp_A.raw"), dir.File("DNG_Temp_C.raw"),
                                  dir.File("DNG_Temp_B.raw"), progress);
    out.error = f.GetErrorCode();
    out.factors = f.GetWhiteBalanceFactors();
    out.finalProgress = f.GetFinalProgress();
    if (!out.developed)
        return out;
    out.width = f.GetOutputWidth();
    out.height = f.GetOutputHeight();
    out.pixels.resize(std::size_t{out.width} * out.height);
    for (unsigned y = 0; y < out.height; ++y)
        EXPECT_TRUE(f.GetLine(y, out.pixels.data() + std::size_t{y} * out.width)) << "row " << y;
    return out;
}

DngRecipe LinearRecipe(std::uint32_t width, std::uint32_t height,
                       std::vector<std::uint16_t> pixels = {})
{
    DngRecipe recipe;
    recipe.samples = 3;
    recipe.width = width;
    recipe.height = height;
    recipe.pixels = std::move(pixels);
    return recipe;
}

// Deterministic samples over the whole 16-bit range.
std::vector<std::uint16_t> Noise(std::size_t n, std::uint32_t seed)
{
    std::vector<std::uint16_t> v(n);
    std::uint32_t s = seed;
    for (auto& x : v)
    {
        s = s * 1664525u + 1013904223u;
        x = static_cast<std::uint16_t>(s >> 16);
    }
    return v;
}

} // namespace

// --- The plane stores -----------------------------------------------------------

TEST(DNGTempMemory, SameByteSizeKeepsTheBlockAndItsContents)
{
    CDNGTempMemory m;
    ASSERT_TRUE(m.Alloc(12, 2));
    std::memcpy(m.Data(), "abcdefghijklmnopqrstuvwx", 24);
    std::uint8_t* block = m.Data();
    ASSERT_TRUE(m.Alloc(4, 6));
    EXPECT_EQ(m.Data(), block);
    EXPECT_EQ(std::memcmp(m.Data(), "abcdefghijklmnopqrstuvwx", 24), 0);
    EXPECT_EQ(m.GetCount(), 4u);
    EXPECT_EQ(m.GetSize(), 6u);
    EXPECT_EQ(m.End(), block + 24);

    ASSERT_TRUE(m.Alloc(5, 6));
    EXPECT_EQ(m.Bytes(), 30u);
    m.Free();
    EXPECT_TRUE(m.IsEmpty());
    EXPECT_EQ(m.End(), nullptr);
    EXPECT_EQ(m.GetCount(), 0u);

    // A byte size beyond the address range is refused, not wrapped.
    EXPECT_FALSE(m.Alloc(SIZE_MAX / 2, 4));
    EXPECT_TRUE(m.IsEmpty());
}

TEST(DNGTempMemory, RingLinesWrapBothWays)
{
    CRingLineBuffer ring;
    EXPECT_EQ(ring.Line(0), nullptr);
    EXPECT_FALSE(ring.Create(4, 0, 3));
    ASSERT_TRUE(ring.Create(4, 10, 7));
    auto* first = ring.LineAs<std::uint8_t>(0);
    EXPECT_EQ(ring.LineAs<std::uint8_t>(-1), first + 6 * 40);
    EXPECT_EQ(ring.LineAs<std::uint8_t>(7), first);
    EXPECT_EQ(ring.LineAs<std::uint8_t>(-15), first + 6 * 40);
    ring.Advance();
    EXPECT_EQ(ring.LineAs<std::uint8_t>(0), first + 40);
    EXPECT_EQ(ring.LineAs<std::uint8_t>(-2), first + 6 * 40);
    ring.Advance(-2);
    EXPECT_EQ(ring.LineAs<std::uint8_t>(0), first + 6 * 40);
    std::memset(ring.Line(3), 0xAB, 40);
    ring.ClearLine(3);
    const auto* line = ring.LineAs<std::uint8_t>(3);
    EXPECT_TRUE(std::all_of(line, line + 40, [](std::uint8_t b) { return b == 0; }));
}

TEST(DNGTempMemory, CalcPosGivesNullOutsideItsRows)
{
    LongRGBColor rows[2][4] = {};
    rows[1][3] = {7, 8, 9};
    TCalcPos<LongRGBColor> pos;
    pos.Reset(10, 2, 1, 4); // lines 10 and 11, column x at x + 1
    pos.Set(10, rows[0]);
    pos.Set(11, rows[1]);
    pos.Set(12, rows[1]); // outside: ignored
    EXPECT_EQ(pos.At(11, 2), &rows[1][3]);
    EXPECT_EQ(pos.At(11, 2)->g, 8u);
    EXPECT_EQ(pos.At(10, -1), &rows[0][0]);
    EXPECT_EQ(pos.At(10, 3), nullptr); // x + offset = row length
    EXPECT_EQ(pos.At(10, -2), nullptr);
    EXPECT_EQ(pos.At(9, 0), nullptr);
    EXPECT_EQ(pos.At(12, 0), nullptr);
}

TEST(DNGTempMemory, PlaneFileWritesAndReadsAtPositions)
{
    TempDir dir;
    CDNGTempFile file;
    EXPECT_FALSE(file.Write("x", 1, 1));
    EXPECT_FALSE(file.Open(dir.File("no/such/folder"), "wb"));
    ASSERT_TRUE(file.Open(dir.File("plane"), "w+b"));
    const std::uint16_t a[3] = {1, 2, 3};
    EXPECT_TRUE(file.WriteAt(10, a, sizeof a));
    EXPECT_TRUE(file.Seek(0));
    EXPECT_TRUE(file.Write(a, 2, 1));
    std::uint16_t back[3] = {};
    EXPECT_TRUE(file.ReadAt(10, back, sizeof back));
    EXPECT_EQ(std::memcmp(a, back, sizeof a), 0);
    EXPECT_FALSE(file.ReadAt(14, back, sizeof back)); // past the end
    EXPECT_TRUE(file.Open(dir.File("plane"), "rb"));  // closes and reopens
    EXPECT_TRUE(file.Read(back, 2, 1));
    EXPECT_EQ(back[0], 1);
}

// --- Unpacking and decoding ---------------------------------------------------------

TEST(DNGDevelop, LinearRawAtFullRangeComesBackUnchanged)
{
    TempDir dir;
    DngRecipe recipe = LinearRecipe(37, 23, Noise(37 * 23 * 3, 7));
    recipe.pixels[0] = 0;
    recipe.pixels[1] = 65535;
    recipe.pixels[2] = 65534;
    recipe.rowsPerStrip = 5;
    for (const bool bigEndian : {false, true})
    {
        recipe.bigEndian = bigEndian;
        const DngBuilder b(recipe);
        const Developed d = DevelopFile(b, dir);
        ASSERT_TRUE(d.developed) << static_cast<int>(d.error);
        ASSERT_EQ(d.width, 37u);
        ASSERT_EQ(d.height, 23u);
        for (std::size_t i = 0; i < d.pixels.size(); ++i)
        {
            ASSERT_EQ(d.pixels[i].r, recipe.pixels[3 * i]) << i;
            ASSERT_EQ(d.pixels[i].g, recipe.pixels[3 * i + 1]) << i;
            ASSERT_EQ(d.pixels[i].b, recipe.pixels[3 * i + 2]) << i;
        }
        EXPECT_EQ(d.factors, (std::array<double, 3>{1, 1, 1}));
    }
}

TEST(DNGDevelop, StorageTwinsDevelopAlike)
{
    // One image stored every way the reader takes: the developed rows are
    // the same, so each storage's plane A held the same samples.
    struct Case
    {
        const char* name;
        int samples;
        std::uint32_t width, height;
    };
    const Case cases[] = {
        {"CFA, tiles fit", 1, 64, 48},
        {"CFA, partial tiles right and below", 1, 70, 45},
        {"LinearRaw, partial tiles", 3, 41, 35},
    };
    TempDir dir;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        DngRecipe recipe;
        recipe.samples = c.samples;
        recipe.width = c.width;
        recipe.height = c.height;
        recipe.tileWidth = 32;
        recipe.tileLength = 16;
        recipe.rowsPerStrip = 9;
        recipe.pixels = Noise(std::size_t{c.width} * c.height * c.samples, c.width);
        for (std::size_t i = 0; i < recipe.pixels.size(); i += 97)
            recipe.pixels[i] = static_cast<std::uint16_t>(i % 2 ? 0 : 65535);
        const Developed reference = DevelopFile(DngBuilder(recipe), dir);
        ASSERT_TRUE(reference.developed);

        for (const bool bigEndian : {false, true})
            for (const DngStorage storage : {DngStorage::Strips16, DngStorage::LosslessTiles})
            {
                SCOPED_TRACE(static_cast<int>(storage) * 2 + bigEndian);
                DngRecipe twin = recipe;
                twin.bigEndian = bigEndian;
                twin.storage = storage;
                const Developed d = DevelopFile(DngBuilder(twin), dir);
                ASSERT_TRUE(d.developed) << static_cast<int>(d.error);
                EXPECT_TRUE(SamePixels(d.pixels, reference.pixels));
            }
    }
}

TEST(DNGDevelop, TwelveBitStripsUnpackLikeSixteenBit)
{
    TempDir dir;
    for (const std::uint32_t width : {40u, 41u})
    {
        SCOPED_TRACE(width);
        DngRecipe recipe;
        recipe.width = width;
        recipe.height = 30;
        recipe.rowsPerStrip = 4;
        recipe.whiteLevel = 4095;
        recipe.pixels = Noise(std::size_t{width} * 30, 3);
        for (auto& v : recipe.pixels)
            v &= 0x0FFF;
        recipe.pixels[0] = 0xABC;
        recipe.pixels[1] = 0xDEF;
        const Developed sixteen = DevelopFile(DngBuilder(recipe), dir);

        recipe.storage = DngStorage::Strips12;
        const DngBuilder twelveBit(recipe);
        // The packing the reader expects: 0xABC, 0xDEF as AB CD EF.
        const std::vector<std::uint8_t> bytes = twelveBit.Build();
        const std::uint8_t packed[] = {0xAB, 0xCD, 0xEF};
        EXPECT_NE(std::search(bytes.begin(), bytes.end(), std::begin(packed), std::end(packed)),
                  bytes.end());
        const Developed twelve = DevelopFile(twelveBit, dir);
        ASSERT_TRUE(sixteen.developed);
        ASSERT_TRUE(twelve.developed) << static_cast<int>(twelve.error);
        EXPECT_TRUE(SamePixels(twelve.pixels, sixteen.pixels));
    }
}

// --- Normalisation -------------------------------------------------------------------

TEST(DNGDevelop, NormalisationMapsBlackToZeroAndWhiteTo65535)
{
    struct Sample
    {
        std::uint16_t raw;
        std::uint16_t expected;
    };
    struct Case
    {
        const char* name;
        std::function<void(DngBuilder&)> mutate;
        std::vector<Sample> samples;
    };
    const Case cases[] = {
        {"black 1000, white 5000",
         [](DngBuilder& b) {
             b.Raw().Rationals(50714, {{1000, 1}, {1000, 1}, {1000, 1}});
             b.Raw().Longs(50717, {5000, 5000, 5000});
         },
         {{0, 0},
          {999, 0},
          {1000, 0},
          {1001, 16},
          {3000, 32767},
          {4999, 65518},
          {5000, 65535},
          {65535, 65535}}},
        {"fractional black per sample",
         [](DngBuilder& b) {
             b.Raw().Rationals(50714, {{1, 2}, {1, 2}, {1, 2}});
             b.Raw().Longs(50717, {1000, 1000, 1000});
         },
         // (v - 0.5) / 999.5 x 65535
         {{0, 0}, {1, 32}, {500, 32751}, {1000, 65535}}},
        {"a linearisation table of 4096 entries",
         [](DngBuilder& b) {
             std::vector<std::int64_t> table(4096);
             for (std::size_t i = 0; i < table.size(); ++i)
                 table[i] = static_cast<std::int64_t>(i * 4);
             b.Raw().Shorts(50712, table);
         },
         {{0, 0}, {1, 4}, {4095, 16380}, {4096, 16380}, {5000, 16380}, {65535, 16380}}},
    };
    TempDir dir;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        // One sample value a pixel, in all three samples of it.
        std::vector<std::uint16_t> pixels;
        for (const Sample& s : c.samples)
            pixels.insert(pixels.end(), {s.raw, s.raw, s.raw});
        DngBuilder b(LinearRecipe(static_cast<std::uint32_t>(c.samples.size()), 1, pixels));
        c.mutate(b);
        const Developed d = DevelopFile(b, dir);
        ASSERT_TRUE(d.developed) << static_cast<int>(d.error);
        for (std::size_t i = 0; i < c.samples.size(); ++i)
        {
            EXPECT_EQ(d.pixels[i].r, c.samples[i].expected) << "raw " << c.samples[i].raw;
            EXPECT_EQ(d.pixels[i].b, c.samples[i].expected);
        }
    }
}

TEST(DNGDevelop, BlackLevelsRepeatFromTheActiveAreaWithDeltas)
{
    // A 2 x 2 repeat of black levels per sample, counted from the active
    // area's corner (1, 1); deltas a column and a row of the active area.
    TempDir dir;
    const std::uint32_t w = 6, h = 5;
    DngBuilder b(LinearRecipe(w, h, std::vector<std::uint16_t>(w * h * 3, 10000)));
    std::vector<std::pair<std::int64_t, std::int64_t>> levels;
    for (int i = 0; i < 12; ++i)
        levels.push_back({100 * (i + 1), 1});
    b.Raw()
        .Longs(50829, {1, 1, 5, 6})
        .Shorts(50713, {2, 2})
        .Rationals(50714, levels)
        .SRationals(50715, {{0, 1}, {10, 1}, {20, 1}, {30, 1}, {-40, 1}})
        .SRationals(50716, {{0, 1}, {1, 2}, {0, 1}, {-1, 1}})
        .Rationals(50720, {{5, 1}, {4, 1}});
    const Developed d = DevelopFile(b, dir);
    ASSERT_TRUE(d.developed) << static_cast<int>(d.error);
    ASSERT_EQ(d.width, 5u);
    ASSERT_EQ(d.height, 4u);
    const double deltaH[] = {0, 10, 20, 30, -40};
    const double deltaV[] = {0, 0.5, 0, -1};
    for (unsigned y = 0; y < 4; ++y)
        for (unsigned x = 0; x < 5; ++x)
            for (int s = 0; s < 3; ++s)
            {
                const int cell = ((y % 2) * 2 + x % 2) * 3 + s;
                const double black = 100.0 * (cell + 1) + deltaH[x] + deltaV[y];
                const auto expected =
                    static_cast<std::uint16_t>((10000 - black) * 65535.0 / (65535 - black));
                const std::uint16_t got =
                    s == 0 ? d.At(x, y).r : (s == 1 ? d.At(x, y).g : d.At(x, y).b);
                EXPECT_EQ(got, expected) << x << "," << y << " sample " << s;
            }
}

TEST(DNGDevelop, NormalisationTablesAgreeWithThePerSampleArithmetic)
{
    // Without black deltas the samples go through one table a repeat cell
    // and sample; deltas of 0 force the arithmetic per sample instead. Both
    // must give the same rows.
    TempDir dir;
    const std::uint32_t w = 23, h = 17;
    std::vector<std::pair<std::int64_t, std::int64_t>> levels;
    for (int i = 0; i < 12; ++i)
        levels.push_back({1000 + 37 * i, 3});
    std::vector<std::int64_t> table(3000);
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = static_cast<std::int64_t>(i * 21 + i * i / 500);
    const auto make = [&](bool zeroDeltas) {
        DngBuilder b(LinearRecipe(w, h, Noise(w * h * 3, 99)));
        b.Raw()
            .Longs(50829, {1, 3, h, w})
            .Shorts(50713, {2, 2})
            .Rationals(50714, levels)
            .Shorts(50712, table)
            .Longs(50717, {60000, 50000, 65535})
            .Rationals(50720, {{w - 3, 1}, {h - 1, 1}});
        if (zeroDeltas)
            b.Raw()
                .SRationals(50715,
                            std::vector<std::pair<std::int64_t, std::int64_t>>(w - 3, {0, 1}))
                .SRationals(50716,
                            std::vector<std::pair<std::int64_t, std::int64_t>>(h - 1, {0, 1}));
        return b;
    };
    const Developed tables = DevelopFile(make(false), dir);
    const Developed arithmetic = DevelopFile(make(true), dir);
    ASSERT_TRUE(tables.developed);
    ASSERT_TRUE(arithmetic.developed);
    EXPECT_TRUE(SamePixels(tables.pixels, arithmetic.pixels));
    // And the rows are not trivially equal: the levels did something.
    EXPECT_TRUE(std::any_of(tables.pixels.begin(), tables.pixels.end(),
                            [](const RGB16& p) { return p.r == 0 || p.g == 65535; }));
}

// --- Crop and scale ---------------------------------------------------------------------

TEST(DNGDevelop, CropIsReadFromTheActiveAreaCorner)
{
    TempDir dir;
    const std::uint32_t w = 40, h = 30;
    const DngRecipe recipe = LinearRecipe(w, h, Noise(w * h * 3, 11));
    DngBuilder b(recipe);
    // Active area from (2, 4); crop origin (8, 8) inside it; 20 x 12 pixels.
    b.Raw()
        .Longs(50829, {2, 4, 30, 40})
        .Rationals(50719, {{8, 1}, {17, 2}}) // 8 and 8.5: the origin is truncated
        .Rationals(50720, {{20, 1}, {12, 1}});
    const Developed d = DevelopFile(b, dir);
    ASSERT_TRUE(d.developed);
    ASSERT_EQ(d.width, 20u);
    ASSERT_EQ(d.height, 12u);
    for (unsigned y = 0; y < d.height; ++y)
        for (unsigned x = 0; x < d.width; ++x)
        {
            const std::size_t src = (std::size_t{y + 8 + 2} * w + x + 8 + 4) * 3;
            ASSERT_EQ(d.At(x, y).r, recipe.pixels[src]) << x << "," << y;
            ASSERT_EQ(d.At(x, y).b, recipe.pixels[src + 2]);
        }
}

TEST(DNGDevelop, DefaultScaleResamplesBilinearly)
{
    TempDir dir;
    const std::uint32_t w = 30, h = 20;
    const DngRecipe recipe = LinearRecipe(w, h, Noise(w * h * 3, 5));
    const auto sample = [&](std::uint32_t x, std::uint32_t y, int s) {
        return static_cast<double>(recipe.pixels[(std::size_t{y} * w + x) * 3 + s]);
    };

    struct Case
    {
        std::int64_t hn, hd, vn, vd;
        unsigned width, height;
    };
    const Case cases[] = {
        {1, 2, 1, 2, 14, 10}, // 29 x 0.5 and 20 x 0.5, truncated
        {3, 2, 2, 3, 43, 13},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.width);
        DngBuilder b(recipe);
        b.Raw()
            .Rationals(50718, {{c.hn, c.hd}, {c.vn, c.vd}})
            .Rationals(50719, {{1, 2}, {0, 1}})
            .Rationals(50720, {{29, 1}, {20, 1}});
        const Developed d = DevelopFile(b, dir);
        ASSERT_TRUE(d.developed) << static_cast<int>(d.error);
        ASSERT_EQ(d.width, c.width);
        ASSERT_EQ(d.height, c.height);
        const double sh = double(c.hn) / c.hd, sv = double(c.vn) / c.vd;
        for (unsigned y = 0; y < d.height; ++y)
            for (unsigned x = 0; x < d.width; ++x)
            {
                const double sx = x / sh + 0.5, sy = y / sv;
                const auto x0 = static_cast<std::uint32_t>(sx), y0 = static_cast<std::uint32_t>(sy);
                const std::uint32_t x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
                const double fx = sx - x0, fy = sy - y0;
                for (int s = 0; s < 3; ++s)
                {
                    const double upper =
                        sample(x0, y0, s) + fx * (sample(x1, y0, s) - sample(x0, y0, s));
                    const double lower =
                        sample(x0, y1, s) + fx * (sample(x1, y1, s) - sample(x0, y1, s));
                    const auto expected = static_cast<std::uint16_t>(upper + fy * (lower - upper));
                    const std::uint16_t got =
                        s == 0 ? d.At(x, y).r : (s == 1 ? d.At(x, y).g : d.At(x, y).b);
                    ASSERT_EQ(got, expected) << x << "," << y << " sample " << s;
                }
            }
    }
}

// --- Progress, cancel, failures -----------------------------------------------------------

namespace {

struct Recorder final : IProgressSink
{
    std::vector<double> values;
    int cancelAt = 0; // 1-based report that answers false; 0: never

    bool Report(double progress) override
    {
        values.push_back(progress);
        return static_cast<int>(values.size()) != cancelAt;
    }
};

struct Combination
{
    const char* name;
    int samples;
    DngStorage storage;
    bool scaled;
    std::vector<double> passStarts;
    double finalProgress;
};

const Combination kCombinations[] = {
    {"uncompressed CFA", 1, DngStorage::Strips16, false, {0, 0.2, 0.4}, 0.8},
    {"uncompressed CFA scaled", 1, DngStorage::Strips12, true, {0, 1.0 / 6, 1.0 / 3}, 2.0 / 3},
    {"uncompressed LinearRaw", 3, DngStorage::Strips16, false, {0, 1.0 / 3}, 2.0 / 3},
    {"uncompressed LinearRaw scaled", 3, DngStorage::Strips16, true, {0, 0.25}, 0.5},
    {"tiled CFA", 1, DngStorage::LosslessTiles, false, {0, 3.0 / 7, 4.0 / 7}, 6.0 / 7},
    {"tiled CFA scaled", 1, DngStorage::LosslessTiles, true, {0, 0.375, 0.5}, 0.75},
    {"tiled LinearRaw", 3, DngStorage::LosslessTiles, false, {0, 0.6}, 0.8},
    {"tiled LinearRaw scaled", 3, DngStorage::LosslessTiles, true, {0, 0.5}, 2.0 / 3},
};

DngBuilder CombinationBuilder(const Combination& c)
{
    DngRecipe recipe;
    recipe.samples = c.samples;
    recipe.storage = c.storage;
    recipe.width = 64;
    recipe.height = 230; // three row blocks, progress points at rows 0, 100, 200
    recipe.tileWidth = 16;
    recipe.tileLength = 16;
    DngBuilder b(recipe);
    if (c.scaled)
        b.Raw().Rationals(50718, {{1, 1}, {1, 2}});
    return b;
}

} // namespace

TEST(DNGDevelopProgress, EachPassReportsFromItsStartAndTheShareAddsUp)
{
    TempDir dir;
    for (const Combination& c : kCombinations)
    {
        SCOPED_TRACE(c.name);
        Recorder recorder;
        const Developed d = DevelopFile(CombinationBuilder(c), dir, 0, recorder);
        ASSERT_TRUE(d.developed) << static_cast<int>(d.error);
        EXPECT_DOUBLE_EQ(d.finalProgress, c.finalProgress);
        ASSERT_FALSE(recorder.values.empty());
        EXPECT_TRUE(std::is_sorted(recorder.values.begin(), recorder.values.end()));
        EXPECT_LT(recorder.values.back(), c.finalProgress);
        for (const double start : c.passStarts)
            EXPECT_NE(std::find(recorder.values.begin(), recorder.values.end(), start),
                      recorder.values.end())
                << "no report at " << start;
        EXPECT_TRUE(Planes(dir).empty());
    }
}

TEST(DNGDevelopProgress, NoReportsWithoutASink)
{
    TempDir dir;
    const Developed d = DevelopFile(CombinationBuilder(kCombinations[0]), dir, 0, {});
    EXPECT_TRUE(d.developed);
}

// A development of the combination's file on `threads` threads, with the
// reports it made up to a cancel at report cancelAt (0: none).
struct Recorded
{
    Developed developed;
    std::vector<double> values;
};

Recorded DevelopRecorded(const Combination& c, const TempDir& dir, int threads, int cancelAt = 0)
{
    Recorder recorder;
    recorder.cancelAt = cancelAt;
    Developed developed = DevelopFile(CombinationBuilder(c), dir, threads, recorder);
    return {std::move(developed), std::move(recorder.values)};
}

// The blocks finish in any order on several threads, but the calling
// thread reports them in order: the reports, and the report a cancel
// stops at, are those of one thread.
TEST(DNGDevelopProgress, ReportsAndCancelsAreTheSameForAnyThreadCount)
{
    TempDir dir;
    for (const Combination& c : kCombinations)
    {
        SCOPED_TRACE(c.name);
        const Recorded one = DevelopRecorded(c, dir, 1);
        ASSERT_TRUE(one.developed.developed);
        const int middle = static_cast<int>(one.values.size()) / 2 + 1;
        const Recorded oneStopped = DevelopRecorded(c, dir, 1, middle);
        for (const int threads : {2, 5})
        {
            SCOPED_TRACE(threads);
            EXPECT_EQ(DevelopRecorded(c, dir, threads).values, one.values);
            const Recorded stopped = DevelopRecorded(c, dir, threads, middle);
            EXPECT_EQ(stopped.developed.error, DngErrorCode::Cancelled);
            EXPECT_EQ(stopped.values, oneStopped.values);
            EXPECT_TRUE(Planes(dir).empty());
        }
    }
}

TEST(DNGDevelopProgress, CancelAtAnyReportLeavesNoPlaneBehind)
{
    TempDir dir;
    for (const Combination& c : kCombinations)
    {
        SCOPED_TRACE(c.name);
        Recorder all;
        ASSERT_TRUE(DevelopFile(CombinationBuilder(c), dir, 0, all).developed);
        for (int k = 1; k <= static_cast<int>(all.values.size()); ++k)
        {
            SCOPED_TRACE(k);
            Recorder recorder;
            recorder.cancelAt = k;
            const Developed d = DevelopFile(CombinationBuilder(c), dir, 0, recorder);
            EXPECT_FALSE(d.developed);
            EXPECT_EQ(d.error, DngErrorCode::Cancelled);
            EXPECT_EQ(static_cast<int>(recorder.values.size()), k);
            EXPECT_TRUE(Planes(dir).empty());
        }
    }
}

TEST(DNGDevelopFailure, UnsupportedCombinationsAreRefusedWithoutAnErrorCode)
{
    DngRecipe tiles;
    tiles.storage = DngStorage::Tiles16;
    DngRecipe linearTiles = tiles;
    linearTiles.samples = 3;
    struct Case
    {
        const char* name;
        DngRecipe recipe;
        std::function<void(DngBuilder&)> mutate;
    };
    const Case cases[] = {
        {"LinearRaw with one sample", DngRecipe{},
         [](DngBuilder& b) { b.Raw().Shorts(262, {34892}); }},
        {"CFA with three samples", LinearRecipe(48, 32),
         [](DngBuilder& b) {
             b.Raw().Shorts(262, {32803}).Shorts(33421, {2, 2}).Bytes(33422, {0, 1, 1, 2});
         }},
        {"uncompressed CFA tiles", tiles, [](DngBuilder&) {}},
        {"uncompressed LinearRaw tiles", linearTiles, [](DngBuilder&) {}},
    };
    TempDir dir;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        DngBuilder b(c.recipe);
        c.mutate(b);
        const Developed d = DevelopFile(b, dir);
        ASSERT_TRUE(d.opened);
        EXPECT_FALSE(d.developed);
        EXPECT_EQ(d.error, DngErrorCode::None);
        EXPECT_TRUE(Planes(dir).empty());
    }
}

TEST(DNGDevelopFailure, BrokenTilesFailWithTheirCodes)
{
    struct Case
    {
        const char* name;
        std::function<void(DngBuilder&)> mutate;
        DngErrorCode expected;
    };
    const Case cases[] = {
        {"a tile cut short", [](DngBuilder& b) { b.Raw().At(325).numbers[1] /= 2; },
         DngErrorCode::TileDecode},
        {"a tile that is no JPEG stream",
         [](DngBuilder& b) {
             const int junk = b.Writer().AddBlob(std::vector<std::uint8_t>(300, 0x5A));
             b.Raw().At(324).refs[3] = junk;
             b.Raw().At(325).numbers[3] = 300;
         },
         DngErrorCode::TileDecode},
        {"a tile of half the declared length",
         [](DngBuilder& b) {
             std::vector<std::uint16_t> half(16 * 8, 1000);
             testsupport::LosslessJpegOptions options;
             options.components = 2;
             std::vector<std::uint8_t> stream =
                 testsupport::EncodeLosslessJpeg(half, 8, 8, options);
             const auto size = static_cast<std::int64_t>(stream.size());
             b.Raw().At(324).refs[2] = b.Writer().AddBlob(std::move(stream));
             b.Raw().At(325).numbers[2] = size;
         },
         DngErrorCode::BadTag},
    };
    TempDir dir;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        DngRecipe recipe;
        recipe.storage = DngStorage::LosslessTiles;
        DngBuilder b(recipe);
        c.mutate(b);
        for (const int threads : {1, 4})
        {
            const Developed d = DevelopFile(b, dir, threads);
            ASSERT_TRUE(d.opened);
            EXPECT_FALSE(d.developed);
            EXPECT_EQ(d.error, c.expected);
            EXPECT_TRUE(Planes(dir).empty());
        }
    }
}

TEST(DNGDevelopFailure, FileShortenedAfterOpeningIsAReadError)
{
    TempDir dir;
    const DngBuilder b{DngRecipe{}};
    ASSERT_TRUE(b.WriteFile(dir.File("test.dng")));
    CDNGFile f;
    ASSERT_TRUE(f.Open(dir.File("test.dng")));
    ASSERT_EQ(::truncate(dir.File("test.dng").c_str(), 1000), 0);
    EXPECT_FALSE(f.Develop(dir.File("A"), dir.File("C"), dir.File("B"), {}));
    EXPECT_EQ(f.GetErrorCode(), DngErrorCode::ReadFailed);
    EXPECT_TRUE(Planes(dir).empty());
}

TEST(DNGDevelopFailure, PlaneThatCannotBeMadeIsAPlaneError)
{
    TempDir dir;
    const DngBuilder b{DngRecipe{}};
    ASSERT_TRUE(b.WriteFile(dir.File("test.dng")));
    const std::string missing = dir.File("absent/");
    struct Case
    {
        std::string a, c, bPlane;
    };
    const Case cases[] = {
        {missing + "A", dir.File("C"), dir.File("B")},
        {dir.File("A"), dir.File("C"), missing + "B"},
        {dir.File("A"), missing + "C", dir.File("B")},
    };
    for (const Case& c : cases)
    {
        CDNGFile f;
        ASSERT_TRUE(f.Open(dir.File("test.dng")));
        EXPECT_FALSE(f.Develop(c.a, c.c, c.bPlane, {}));
        EXPECT_EQ(f.GetErrorCode(), DngErrorCode::PlaneFile);
        EXPECT_TRUE(Planes(dir).empty());
    }
}

TEST(DNGDevelop, RowsAreReadOnlyAfterDevelopmentAndWithinTheImage)
{
    TempDir dir;
    const DngBuilder b{DngRecipe{}};
    ASSERT_TRUE(b.WriteFile(dir.File("test.dng")));
    CDNGFile f;
    std::vector<RGB16> row(48);
    EXPECT_FALSE(f.GetLine(0, row.data())); // not even opened
    EXPECT_FALSE(f.Develop(dir.File("A"), dir.File("C"), dir.File("B"), {}));
    ASSERT_TRUE(f.Open(dir.File("test.dng")));
    EXPECT_FALSE(f.GetLine(0, row.data()));
    ASSERT_TRUE(f.Develop(dir.File("A"), dir.File("C"), dir.File("B"), {}));
    EXPECT_TRUE(f.IsDeveloped());
    // Every plane is gone from the folder, and the rows are still there.
    EXPECT_TRUE(Planes(dir).empty());
    EXPECT_TRUE(f.GetLine(31, row.data()));
    EXPECT_FALSE(f.GetLine(32, row.data()));
    EXPECT_EQ(f.GetErrorCode(), DngErrorCode::None);
}

TEST(DNGDevelop, DefaultPlanesGoToTheWorkFolderAndLeaveNothing)
{
    TempDir dir;
    const testsupport::ScopedEnv cache("XDG_CACHE_HOME", dir.Path());
    const std::string work = GetAppTempFolder();
    ASSERT_EQ(work.rfind(dir.Path(), 0), 0u);
    EXPECT_EQ(CDNGFile::WorkPlanePath('B'), work + "DNG_Temp_B.raw");
    // A name that is taken gets the first free number.
    testsupport::WriteTextFile(work + "DNG_Temp_B.raw", "x");
    testsupport::WriteTextFile(work + "DNG_Temp_B_00000.raw", "x");
    EXPECT_EQ(CDNGFile::WorkPlanePath('B'), work + "DNG_Temp_B_00001.raw");

    const DngBuilder b{DngRecipe{}};
    ASSERT_TRUE(b.WriteFile(dir.File("test.dng")));
    CDNGFile f;
    ASSERT_TRUE(f.Open(dir.File("test.dng")));
    ASSERT_TRUE(f.Develop({}));
    EXPECT_EQ(f.GetDevelopedPath(), work + "DNG_Temp_C.raw");
    std::vector<std::string> left;
    if (DIR* d = opendir(work.c_str()))
    {
        while (const dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                left.push_back(e->d_name);
        closedir(d);
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"DNG_Temp_B.raw", "DNG_Temp_B_00000.raw"}));
}

// --- Threads -------------------------------------------------------------------------------

TEST(DNGDevelopThreads, AnyThreadCountGivesTheRowsOfOne)
{
    struct Case
    {
        const char* name;
        int samples;
        DngStorage storage;
    };
    const Case cases[] = {
        {"CFA tiles", 1, DngStorage::LosslessTiles},
        {"CFA 12-bit strips", 1, DngStorage::Strips12},
        {"LinearRaw strips", 3, DngStorage::Strips16},
    };
    TempDir dir;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        DngRecipe recipe;
        recipe.samples = c.samples;
        recipe.storage = c.storage;
        recipe.width = 150;
        recipe.height = 397; // four row blocks, the last one short
        recipe.tileWidth = 64;
        recipe.tileLength = 48;
        recipe.rowsPerStrip = 33;
        DngBuilder b(recipe);
        b.Raw().Longs(50829, {1, 3, 397, 149}).Rationals(50720, {{146, 1}, {396, 1}});
        const Developed one = DevelopFile(b, dir, 1);
        ASSERT_TRUE(one.developed) << static_cast<int>(one.error);
        for (const int threads : {2, 3, 8})
        {
            const Developed many = DevelopFile(b, dir, threads);
            ASSERT_TRUE(many.developed);
            EXPECT_TRUE(SamePixels(many.pixels, one.pixels)) << threads << " threads";
            EXPECT_EQ(many.factors, one.factors);
        }
    }
}
