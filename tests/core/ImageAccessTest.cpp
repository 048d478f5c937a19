// Image accessors: cursor and line semantics, the conversions of the read
// and write kinds, XYZ and L*a*b* values through the cube-root table, and
// the lightness and LCh histograms.

#include "core/ImageAccess.h"

#include "core/ByteLChImage.h"
#include "core/CIEColor.h"
#include "core/ColorTransform.h"
#include "core/GammaTable.h"
#include "core/Pow1by3Table.h"
#include "core/RGBImage.h"
#include "tests/core/CoreTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

// Comparison and printing of pixels for the assertions (internal to this
// file: RGB16 itself has neither).
static bool operator==(const RGB16& a, const RGB16& b)
{
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

static void PrintTo(const RGB16& p, std::ostream* os)
{
    *os << "(" << p.r << ", " << p.g << ", " << p.b << ")";
}

namespace {

using coretest::DistinctTables;
using coretest::LinearSRGBProfile;
using coretest::MixingMatrix;
using coretest::RandomImage;

std::vector<RGB16> Pixels(CRGBImage& image)
{
    const RGB16* p = image.Lock();
    std::vector<RGB16> v(p, p + image.GetPixelCount());
    image.Unlock();
    return v;
}

void SetPixels(CRGBImage& image, const std::vector<RGB16>& pixels)
{
    RGB16* p = image.Lock();
    std::copy(pixels.begin(), pixels.end(), p);
    image.Unlock();
}

RGB16 ThroughTables(const CRGBGammaTable& t, const RGB16& p)
{
    return {t.Red().GetEntries()[p.r], t.Green().GetEntries()[p.g], t.Blue().GetEntries()[p.b]};
}

RGB16 ThroughMatrix(const CRGBMatrix& m, const RGB16& p)
{
    RGB16 out{};
    m.ConvertPixel(out, p);
    return out;
}

// sRGB primaries and D65 white, for 16-bit linear values with white at Y = 100.
CStdMatrix SRGBToXYZ()
{
    const double s = 100.0 / 65535.0;
    return CStdMatrix(0.4124 * s, 0.3576 * s, 0.1805 * s, 0.2126 * s, 0.7152 * s, 0.0722 * s,
                      0.0193 * s, 0.1192 * s, 0.9505 * s);
}

// sRGB -> linear sRGB and linear sRGB -> sRGB: two transforms that change
// every mid-tone noticeably.
struct Transforms
{
    CColorTransform toLinear;
    CColorTransform toSRGB;

    Transforms()
    {
        LcmsProfilePtr srgb(cmsCreate_sRGBProfile());
        LcmsProfilePtr linear = LinearSRGBProfile();
        toLinear = CColorTransform::Create(srgb.get(), linear.get());
        toSRGB = CColorTransform::Create(linear.get(), srgb.get());
    }
};

RGB16 Translated(const CColorTransform& t, const RGB16& p)
{
    RGB16 out = p;
    t.Translate(&out, &out, 1);
    return out;
}

} // namespace

// --- Locking and the cursor ----------------------------------------------------

TEST(ImageAccessLocking, EveryKindSetsTheFlagForItsLife)
{
    const CRGBGammaTable tables = DistinctTables();
    const CRGBMatrix matrix;
    using Factory = std::function<std::unique_ptr<CAccessRGBImage>(CRGBImage&)>;
    const std::vector<std::pair<std::string, Factory>> kinds = {
        {"plain", [](CRGBImage& i) { return std::make_unique<CAccessRGBImage>(i); }},
        {"read",
         [&](CRGBImage& i) { return std::make_unique<CReadRGBImage>(i, &tables, &matrix); }},
        {"write",
         [&](CRGBImage& i) { return std::make_unique<CWriteRGBImage>(i, &tables, &matrix); }},
        {"xyz",
         [](CRGBImage& i) { return std::make_unique<CAccessRGBImageByXYZ>(i, SRGBToXYZ()); }},
        {"lab",
         [](CRGBImage& i) {
             return std::make_unique<CAccessRGBImageByLab>(i, nullptr, SRGBToXYZ());
         }},
    };
    for (const auto& [name, make] : kinds)
    {
        CRGBImage image(4, 3);
        ASSERT_FALSE(image.IsLocked());
        {
            auto accessor = make(image);
            EXPECT_TRUE(image.IsLocked()) << name;
            EXPECT_EQ(accessor->GetWidth(), 4) << name;
            EXPECT_EQ(accessor->GetHeight(), 3) << name;
        }
        EXPECT_FALSE(image.IsLocked()) << name;
    }
}

TEST(ImageAccessCursor, LinesLeaveTheCursorAndNextMovesIt)
{
    CRGBImage image = RandomImage(5, 3, 1);
    const std::vector<RGB16> original = Pixels(image);
    {
        CAccessRGBImage access(image);
        access.SetCursor(1, 1);
        EXPECT_EQ(access.GetCursorOffset(), 6u);

        // A line may run on into the next row: pixels are packed.
        std::vector<RGB16> line(6);
        access.ReadLine(line.data(), line.size());
        EXPECT_EQ(access.GetCursorOffset(), 6u);
        for (std::size_t k = 0; k < line.size(); ++k)
            EXPECT_EQ(line[k], original[6 + k]) << k;

        RGB16 px{};
        access.ReadNext(px);
        EXPECT_EQ(px, original[6]);
        access.ReadNext(px);
        EXPECT_EQ(px, original[7]);
        EXPECT_EQ(access.GetCursorOffset(), 8u);

        const std::vector<RGB16> written = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
        access.SetCursor(3, 0);
        access.WriteLine(written.data(), written.size());
        EXPECT_EQ(access.GetCursorOffset(), 3u);
        access.WriteNext({10, 11, 12});
        access.WriteNext({13, 14, 15});
        EXPECT_EQ(access.GetCursorOffset(), 5u);

        access.SetPixel(4, 2, {16, 17, 18});
        access.GetPixel(4, 2, px);
        EXPECT_EQ(px, (RGB16{16, 17, 18}));
    }
    std::vector<RGB16> expected = original;
    expected[3] = {10, 11, 12};
    expected[4] = {13, 14, 15};
    expected[5] = {7, 8, 9};
    expected[14] = {16, 17, 18};
    EXPECT_EQ(Pixels(image), expected);
}

TEST(ImageAccessAverage, TruncatesPerChannelAndIsZeroWhenEmpty)
{
    CRGBImage image(3, 2);
    SetPixels(image, {{0, 0, 0}, {1, 1, 1}, {10, 20, 30}, {20, 40, 61}, {0, 0, 0}, {65535, 1, 2}});
    CAccessRGBImage access(image);
    RGB16 px{9, 9, 9};
    access.GetAverage(CRect(0, 0, 2, 1), px);
    EXPECT_EQ(px, (RGB16{0, 0, 0})); // 0.5 truncates
    access.GetAverage(CRect(2, 0, 3, 2), px);
    EXPECT_EQ(px, (RGB16{32772, 10, 16}));
    access.GetAverage(CRect(0, 0, 3, 2), px);
    EXPECT_EQ(px, (RGB16{(0 + 1 + 10 + 20 + 0 + 65535) / 6, (1 + 20 + 40 + 1) / 6,
                         (1 + 30 + 61 + 2) / 6}));
    px = {9, 9, 9};
    access.GetAverage(CRect(1, 1, 1, 2), px);
    EXPECT_EQ(px, (RGB16{0, 0, 0}));
}

TEST(ImageAccessAverage, ReaderAveragesConvertedPixels)
{
    CRGBImage image(2, 1);
    SetPixels(image, {{100, 200, 300}, {1000, 2000, 3000}});
    const CRGBGammaTable tables = DistinctTables();
    CReadRGBImage reader(image, &tables, nullptr);
    RGB16 px{};
    reader.GetAverage(CRect(0, 0, 2, 1), px);
    const RGB16 a = ThroughTables(tables, {100, 200, 300});
    const RGB16 b = ThroughTables(tables, {1000, 2000, 3000});
    EXPECT_EQ(px, (RGB16{static_cast<std::uint16_t>((a.r + b.r) / 2),
                         static_cast<std::uint16_t>((a.g + b.g) / 2),
                         static_cast<std::uint16_t>((a.b + b.b) / 2)}));
}

#ifndef NDEBUG
TEST(ImageAccessDeathTest, PositionsOutsideTheImageAssertInDebugBuilds)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    CRGBImage image(4, 3);
    RGB16 px{};
    EXPECT_DEATH(
        {
            CAccessRGBImage access(image);
            access.GetPixel(4, 0, px);
        },
        "outside the image");
    EXPECT_DEATH(
        {
            CAccessRGBImage access(image);
            access.SetCursor(3, 2);
            std::vector<RGB16> line(2);
            access.ReadLine(line.data(), line.size());
        },
        "past the end");
    EXPECT_DEATH(
        {
            CAccessRGBImage access(image);
            access.SetCursor(0, 3);
            access.ReadNext(px);
        },
        "past the end");
}
#endif

// --- CReadRGBImage ---------------------------------------------------------------

TEST(ReadRGBImage, MatrixThenTablesWithClamping)
{
    CRGBImage image(3, 1);
    // R = 35000 doubled gives 70000: clamped to 65535, it reads entry 65535.
    SetPixels(image, {{35000, 20000, 100}, {0, 65535, 40000}, {12345, 54321, 777}});
    const CRGBMatrix doubler(CStdMatrix(2, 0, 0, 0, 1, 0, 0, 0, 1));
    const CRGBGammaTable tables = DistinctTables();
    CReadRGBImage reader(image, &tables, &doubler);

    RGB16 px{};
    reader.GetPixel(0, 0, px);
    EXPECT_EQ(px.r, tables.Red().GetEntries()[65535]);
    EXPECT_EQ(px.g, tables.Green().GetEntries()[20000]);
    EXPECT_EQ(px.b, tables.Blue().GetEntries()[100]);

    const CRGBMatrix mixing = MixingMatrix();
    CReadRGBImage mixed(image, &tables, &mixing);
    for (int x = 0; x < 3; ++x)
    {
        mixed.GetPixel(x, 0, px);
        EXPECT_EQ(px, ThroughTables(tables, ThroughMatrix(mixing, reader.GetStoredPixel(x, 0))))
            << x;
    }
}

TEST(ReadRGBImage, MissingPartsAreLeftOut)
{
    CRGBImage image = RandomImage(4, 2, 7);
    const std::vector<RGB16> raw = Pixels(image);
    const CRGBGammaTable tables = DistinctTables();
    CRGBGammaTable incomplete = DistinctTables();
    incomplete.Blue().Free();
    const CRGBMatrix mixing = MixingMatrix();

    struct Case
    {
        const char* name;
        const CRGBGammaTable* tables;
        const CRGBMatrix* matrix;
        std::function<RGB16(const RGB16&)> expected;
    };
    const Case cases[] = {
        {"nothing", nullptr, nullptr, [](const RGB16& p) { return p; }},
        {"matrix alone", nullptr, &mixing,
         [&](const RGB16& p) { return ThroughMatrix(mixing, p); }},
        {"incomplete tables", &incomplete, &mixing,
         [&](const RGB16& p) { return ThroughMatrix(mixing, p); }},
        {"tables alone", &tables, nullptr,
         [&](const RGB16& p) { return ThroughTables(tables, p); }},
    };
    for (const Case& c : cases)
    {
        CReadRGBImage reader(image, c.tables, c.matrix);
        for (int i = 0; i < 8; ++i)
        {
            RGB16 px{};
            reader.GetPixel(i % 4, i / 4, px);
            EXPECT_EQ(px, c.expected(raw[static_cast<std::size_t>(i)])) << c.name << " " << i;
        }
    }
}

TEST(ReadRGBImage, TransformReplacesMatrixAndTablesAndTheSecondFollows)
{
    const Transforms t;
    ASSERT_TRUE(t.toLinear.IsValid());
    ASSERT_TRUE(t.toSRGB.IsValid());
    CRGBImage image(2, 1);
    SetPixels(image, {{30000, 20000, 10000}, {65535, 32768, 0}});
    const CRGBGammaTable tables = DistinctTables();
    const CRGBMatrix mixing = MixingMatrix();
    const CColorTransform invalid;

    const RGB16 source{30000, 20000, 10000};
    RGB16 px{};
    {
        CReadRGBImage reader(image, &tables, &mixing, &t.toLinear);
        reader.GetPixel(0, 0, px);
        EXPECT_EQ(px, Translated(t.toLinear, source));
        EXPECT_NE(px, source);
    }
    {
        CReadRGBImage reader(image, &tables, &mixing, &t.toLinear, &t.toSRGB);
        reader.GetPixel(0, 0, px);
        EXPECT_EQ(px, Translated(t.toSRGB, Translated(t.toLinear, source)));
    }
    {
        // A second transform also follows the matrix and tables.
        CReadRGBImage reader(image, &tables, &mixing, nullptr, &t.toLinear);
        reader.GetPixel(0, 0, px);
        EXPECT_EQ(px, Translated(t.toLinear, ThroughTables(tables, ThroughMatrix(mixing, source))));
    }
    {
        // An invalid transform is no transform.
        CReadRGBImage reader(image, &tables, &mixing, &invalid, &invalid);
        reader.GetPixel(0, 0, px);
        EXPECT_EQ(px, ThroughTables(tables, ThroughMatrix(mixing, source)));
    }
}

// Every way of reading gives the same converted pixels: ReadLine per row,
// ReadLine over the whole image at once, ReadNext and GetPixel.
TEST(ReadRGBImage, LinesEqualPixelsForEveryConversion)
{
    const Transforms t;
    const CRGBGammaTable tables = DistinctTables();
    const CRGBMatrix mixing = MixingMatrix();
    struct Case
    {
        const char* name;
        const CRGBGammaTable* tables;
        const CRGBMatrix* matrix;
        const CColorTransform* transform;
        const CColorTransform* second;
    };
    const Case cases[] = {
        {"matrix and tables", &tables, &mixing, nullptr, nullptr},
        {"transform", &tables, &mixing, &t.toLinear, nullptr},
        {"transform and second", nullptr, nullptr, &t.toLinear, &t.toSRGB},
        {"tables and second", &tables, &mixing, nullptr, &t.toSRGB},
    };
    const int w = 37;
    const int h = 5;
    CRGBImage image = RandomImage(w, h, 42);
    for (const Case& c : cases)
    {
        CReadRGBImage reader(image, c.tables, c.matrix, c.transform, c.second);
        std::vector<RGB16> byPixel;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
            {
                RGB16 px{};
                reader.GetPixel(x, y, px);
                byPixel.push_back(px);
            }

        std::vector<RGB16> byLine(byPixel.size());
        for (int y = 0; y < h; ++y)
        {
            reader.SetCursor(0, y);
            reader.ReadLine(&byLine[static_cast<std::size_t>(y * w)], w);
        }
        EXPECT_EQ(byLine, byPixel) << c.name;

        std::vector<RGB16> whole(byPixel.size());
        reader.SetCursor(0, 0);
        reader.ReadLine(whole.data(), whole.size());
        EXPECT_EQ(whole, byPixel) << c.name;

        std::vector<RGB16> byNext(byPixel.size());
        reader.SetCursor(0, 0);
        for (RGB16& px : byNext)
            reader.ReadNext(px);
        EXPECT_EQ(byNext, byPixel) << c.name;
    }
}

TEST(ReadRGBImage, WritingDoesNothing)
{
    CRGBImage image = RandomImage(3, 2, 3);
    const std::vector<RGB16> original = Pixels(image);
    {
        CReadRGBImage reader(image, nullptr, nullptr);
        const std::vector<RGB16> zeros(6, RGB16{0, 0, 0});
        reader.WriteLine(zeros.data(), zeros.size());
        reader.WriteNext({0, 0, 0});
        reader.SetPixel(1, 1, {0, 0, 0});
        EXPECT_EQ(reader.GetCursorOffset(), 0u);
    }
    EXPECT_EQ(Pixels(image), original);
}

// --- CWriteRGBImage --------------------------------------------------------------

TEST(WriteRGBImage, TablesThenMatrixWithClamping)
{
    const CRGBGammaTable tables = DistinctTables();
    const CRGBMatrix mixing = MixingMatrix();
    CRGBImage source = RandomImage(6, 1, 11);
    const std::vector<RGB16> input = Pixels(source);

    CRGBImage image(6, 1);
    {
        CWriteRGBImage writer(image, &tables, &mixing);
        writer.SetCursor(0, 0);
        writer.WriteLine(input.data(), input.size());
        EXPECT_EQ(writer.GetCursorOffset(), 0u);
    }
    const std::vector<RGB16> written = Pixels(image);
    for (std::size_t k = 0; k < input.size(); ++k)
        EXPECT_EQ(written[k], ThroughMatrix(mixing, ThroughTables(tables, input[k]))) << k;

    // No tables: the matrix alone; no matrix: the identity.
    const CRGBMatrix doubler(CStdMatrix(2, 0, 0, 0, 2, 0, 0, 0, 0.5));
    {
        CWriteRGBImage writer(image, nullptr, &doubler);
        writer.SetPixel(0, 0, {40000, 100, 65535});
    }
    {
        CWriteRGBImage writer(image, nullptr, nullptr);
        writer.SetPixel(1, 0, {40000, 100, 65535});
    }
    EXPECT_EQ(Pixels(image)[0], (RGB16{65535, 200, 32767}));
    EXPECT_EQ(Pixels(image)[1], (RGB16{40000, 100, 65535}));
}

// WriteLine, WriteNext and SetPixel store the same values, also for a line
// many times longer than the accessor's one-row scratch line.
TEST(WriteRGBImage, LinesEqualPixelsAndLongLinesGoInPieces)
{
    const CRGBGammaTable tables = DistinctTables();
    const CRGBMatrix mixing = MixingMatrix();
    const int w = 7;
    const int h = 9;
    CRGBImage sourceImage = RandomImage(w, h, 5);
    const std::vector<RGB16> input = Pixels(sourceImage);

    CRGBImage byPixel(w, h);
    {
        CWriteRGBImage writer(byPixel, &tables, &mixing);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                writer.SetPixel(x, y, input[static_cast<std::size_t>(x + y * w)]);
    }
    CRGBImage byWholeLine(w, h);
    {
        CWriteRGBImage writer(byWholeLine, &tables, &mixing);
        writer.SetCursor(0, 0);
        writer.WriteLine(input.data(), input.size());
    }
    CRGBImage byNext(w, h);
    {
        CWriteRGBImage writer(byNext, &tables, &mixing);
        writer.SetCursor(0, 0);
        for (const RGB16& px : input)
            writer.WriteNext(px);
        EXPECT_EQ(writer.GetCursorOffset(), input.size());
    }
    // A long line that does not start at a row boundary.
    CRGBImage offsetLine(w, h);
    {
        CWriteRGBImage writer(offsetLine, &tables, &mixing);
        writer.SetCursor(3, 1);
        writer.WriteLine(input.data(), input.size() - 10);
    }
    EXPECT_EQ(Pixels(byWholeLine), Pixels(byPixel));
    EXPECT_EQ(Pixels(byNext), Pixels(byPixel));
    const std::vector<RGB16> expected = Pixels(byPixel);
    const std::vector<RGB16> offset = Pixels(offsetLine);
    for (std::size_t k = 0; k < input.size() - 10; ++k)
        EXPECT_EQ(offset[k + 10], expected[k]) << k;
    for (std::size_t k = 0; k < 10; ++k)
        EXPECT_EQ(offset[k], (RGB16{0, 0, 0})) << k;
}

TEST(WriteRGBImage, ReadingDoesNothing)
{
    CRGBImage image = RandomImage(2, 2, 9);
    CWriteRGBImage writer(image, nullptr, nullptr);
    RGB16 px{1, 2, 3};
    writer.GetPixel(1, 1, px);
    EXPECT_EQ(px, (RGB16{1, 2, 3}));
    writer.ReadNext(px);
    EXPECT_EQ(px, (RGB16{1, 2, 3}));
    EXPECT_EQ(writer.GetCursorOffset(), 0u);
    writer.GetAverage(CRect(0, 0, 2, 2), px);
    EXPECT_EQ(px, (RGB16{1, 2, 3}));
    std::vector<RGB16> line(2, RGB16{4, 5, 6});
    writer.ReadLine(line.data(), line.size());
    EXPECT_EQ(line[0], (RGB16{4, 5, 6}));
}

// --- CAccessRGBImageByXYZ --------------------------------------------------------

TEST(AccessRGBImageByXYZ, XYZOfPixelsAndTheInverseMatrix)
{
    CRGBImage image(2, 1);
    SetPixels(image, {{65535, 65535, 65535}, {1000, 30000, 50000}});
    CAccessRGBImageByXYZ access(image, SRGBToXYZ());

    CCIEXYZ xyz;
    access.GetXYZAt(0, 0, xyz);
    EXPECT_NEAR(xyz[0], 95.05, 1e-9);
    EXPECT_NEAR(xyz[1], 100.0, 1e-9);
    EXPECT_NEAR(xyz[2], 108.9, 1e-9);
    access.GetXYZAt(1, 0, xyz);
    const double s = 100.0 / 65535.0;
    EXPECT_NEAR(xyz[1], (0.2126 * 1000 + 0.7152 * 30000 + 0.0722 * 50000) * s, 1e-9);

    const CStdMatrix product = access.GetXYZToRGB() * access.GetRGBToXYZ();
    for (std::uint32_t r = 0; r < 3; ++r)
        for (std::uint32_t c = 0; c < 3; ++c)
            EXPECT_NEAR(product.GetAt(r, c), r == c ? 1.0 : 0.0, 1e-9) << r << "," << c;

    RGB16 back{};
    access.GetXYZToRGB().XYZToPixel(back, xyz);
    EXPECT_NEAR(back.r, 1000, 1);
    EXPECT_NEAR(back.g, 30000, 1);
    EXPECT_NEAR(back.b, 50000, 1);
}

TEST(AccessRGBImageByXYZ, MatrixWithoutInverseGivesTheIdentityWayBack)
{
    CRGBImage image(1, 1);
    CAccessRGBImageByXYZ access(image, CStdMatrix(1, 2, 3, 0, 0, 0, 4, 5, 6));
    const CStdMatrix identity = CStdMatrix::Identity(3);
    EXPECT_EQ(access.GetXYZToRGB().GetData(), identity.GetData());
}

// --- CAccessRGBImageByLab --------------------------------------------------------

TEST(AccessRGBImageByLab, WhiteIsTheMatrixWhiteAtYn100AndGivesL100)
{
    CRGBImage image(1, 1);
    SetPixels(image, {{65535, 65535, 65535}});
    // The white depends on the matrix's chromaticity only, not its scale.
    const CStdMatrix scaled = SRGBToXYZ() * 3.0;
    for (const CStdMatrix& m : {SRGBToXYZ(), scaled})
    {
        CAccessRGBImageByLab access(image, nullptr, m);
        EXPECT_NEAR(access.GetWhite()[0], 95.05, 1e-9);
        EXPECT_DOUBLE_EQ(access.GetWhite()[1], 100.0);
        EXPECT_NEAR(access.GetWhite()[2], 108.9, 1e-9);
    }
    CAccessRGBImageByLab access(image, nullptr, SRGBToXYZ());
    CCIELab lab;
    access.GetLabAt(0, 0, lab);
    EXPECT_NEAR(lab[0], 100.0, 1e-9);
    EXPECT_NEAR(lab[1], 0.0, 1e-9);
    EXPECT_NEAR(lab[2], 0.0, 1e-9);
}

TEST(AccessRGBImageByLab, TableRootAgreesWithTheExactConversion)
{
    // Dark pixels included: the linear segment and the table's coarse end.
    CRGBImage image = RandomImage(64, 8, 21);
    {
        RGB16* p = image.Lock();
        for (std::size_t i = 0; i < image.GetPixelCount(); i += 3)
            p[i] = {static_cast<std::uint16_t>(p[i].r / 64),
                    static_cast<std::uint16_t>(p[i].g / 64),
                    static_cast<std::uint16_t>(p[i].b / 64)};
        image.Unlock();
    }
    CAccessRGBImageByLab access(image, nullptr, SRGBToXYZ());
    const CCIEXYZ white = access.GetWhite();
    double worstL = 0.0;
    double worstAB = 0.0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 64; ++x)
        {
            CCIEXYZ xyz;
            access.GetXYZAt(x, y, xyz);
            const CCIELab exact = xyz.ToLab(white);
            CCIELab lab;
            access.GetLabAt(x, y, lab);
            worstL = std::max(worstL, std::fabs(lab[0] - exact[0]));
            worstAB =
                std::max({worstAB, std::fabs(lab[1] - exact[1]), std::fabs(lab[2] - exact[2])});
        }
    // The table root is low by at most (1/3) t^(-2/3) / 65535 (1.2e-4 at the
    // joint): 0.014 in L*, 500 * 1.2e-4 = 0.06 in a*.
    EXPECT_LT(worstL, 0.015);
    EXPECT_LT(worstAB, 0.065);
}

// The root of t is table entry int(t * 65535) while that index exists
// (exactly 1 is the last entry) and pow beyond.
TEST(AccessRGBImageByLab, TableEntryBelowTAndPowAboveOne)
{
    CRGBImage image(1, 1);
    CPow1by3Table table;
    CAccessRGBImageByLab access(image, &table, SRGBToXYZ());
    const auto entries = table.GetEntries();
    const double scale = table.GetValueScale();

    struct Case
    {
        double t;
        double root;
    };
    const Case cases[] = {
        {1.0, entries[65535] * scale},
        {(65534 + 0.999) / 65535.0, entries[65534] * scale},
        {(1000 + 0.5) / 65535.0, entries[1000] * scale},
        {(600 + 0.01) / 65535.0, entries[600] * scale},
        // Just above 1 the index is still 65535; pow starts at index 65536.
        {1.0 + 1e-9, entries[65535] * scale},
        {65536.0 / 65535.0 + 1e-9, std::pow(65536.0 / 65535.0 + 1e-9, 1.0 / 3.0)},
        {1.5, std::pow(1.5, 1.0 / 3.0)},
    };
    for (const Case& c : cases)
    {
        const double Y = c.t * 100.0;
        double L = 0.0;
        access.YToLightness(1, &Y, &L);
        EXPECT_NEAR(L, 116.0 * c.root - 16.0, 1e-9) << "t = " << c.t;
    }
    // Below the joint the straight line: 903.29 t.
    const double Y = 0.5;
    double L = 0.0;
    access.YToLightness(1, &Y, &L);
    EXPECT_NEAR(L, 903.29 * 0.005, 1e-12);
}

TEST(AccessRGBImageByLab, EveryLineFormEqualsThePixelForm)
{
    const int w = 41;
    const int h = 3;
    CRGBImage image = RandomImage(w, h, 77);
    CAccessRGBImageByLab access(image, nullptr, SRGBToXYZ());
    for (int y = 0; y < h; ++y)
    {
        access.SetCursor(0, y);
        std::vector<CCIELab> labs(static_cast<std::size_t>(w));
        std::vector<double> packed(static_cast<std::size_t>(w) * 3);
        std::vector<double> lightness(static_cast<std::size_t>(w));
        access.ReadLabLine(labs.size(), labs.data());
        access.ReadLabLine(lightness.size(), packed.data());
        access.ReadLightnessLine(lightness.size(), lightness.data());
        EXPECT_EQ(access.GetCursorOffset(), static_cast<std::size_t>(y * w));

        // The two-step path: XYZ of the line, then XYZToLab.
        std::vector<CCIEXYZ> xyz(static_cast<std::size_t>(w));
        std::vector<CCIELab> twoStep(static_cast<std::size_t>(w));
        std::vector<RGB16> raw(static_cast<std::size_t>(w));
        access.ReadLine(raw.data(), raw.size());
        access.GetRGBToXYZ().LineToXYZ(raw.size(), raw.data(), xyz.data());
        access.XYZToLab(xyz.size(), xyz.data(), twoStep.data());

        for (int x = 0; x < w; ++x)
        {
            const std::size_t k = static_cast<std::size_t>(x);
            CCIELab single;
            access.GetLabAt(x, y, single);
            for (std::size_t c = 0; c < 3; ++c)
            {
                EXPECT_EQ(labs[k][c], single[c]) << x << "," << y << " component " << c;
                EXPECT_EQ(packed[3 * k + c], single[c]) << x << "," << y << " component " << c;
                EXPECT_EQ(twoStep[k][c], single[c]) << x << "," << y << " component " << c;
            }
            EXPECT_EQ(lightness[k], single[0]) << x << "," << y;
        }
    }
}

TEST(AccessRGBImageByLab, LabToXYZInvertsXYZToLab)
{
    CRGBImage image(1, 1);
    CAccessRGBImageByLab access(image, nullptr, SRGBToXYZ());
    const std::vector<CCIEXYZ> xyz = {{95.05, 100.0, 108.9}, {20.0, 30.0, 10.0},
                                      {0.3, 0.5, 0.2},       {0.0, 0.0, 0.0},
                                      {50.0, 20.0, 90.0},    {120.0, 110.0, 100.0}};
    std::vector<CCIELab> lab(xyz.size());
    std::vector<CCIEXYZ> back(xyz.size());
    access.XYZToLab(xyz.size(), xyz.data(), lab.data());
    access.LabToXYZ(lab.size(), lab.data(), back.data());
    for (std::size_t k = 0; k < xyz.size(); ++k)
    {
        // The inverse is the exact one of the colour value types.
        const CCIEXYZ reference = lab[k].ToXYZ(access.GetWhite());
        for (std::size_t c = 0; c < 3; ++c)
        {
            EXPECT_NEAR(back[k][c], reference[c], 1e-12) << k;
            // Round trip within what the table root costs (relative 3.6e-4
            // at the joint, far less above).
            EXPECT_NEAR(back[k][c], xyz[k][c], 1e-3 * std::max(1.0, xyz[k][c])) << k;
        }
    }
}

TEST(AccessRGBImageByLab, AverageLabIsTheMeanOfThePixels)
{
    CRGBImage image = RandomImage(3, 2, 8);
    CAccessRGBImageByLab access(image, nullptr, SRGBToXYZ());
    CCIELab a, b, mean;
    access.GetLabAt(1, 0, a);
    access.GetLabAt(1, 1, b);
    access.GetAverageLab(CRect(1, 0, 2, 2), mean);
    for (std::size_t c = 0; c < 3; ++c)
        EXPECT_NEAR(mean[c], (a[c] + b[c]) / 2.0, 1e-12);
    access.GetAverageLab(CRect(2, 2, 2, 2), mean);
    EXPECT_EQ(mean, CCIELab(0.0, 0.0, 0.0));
}

TEST(AccessRGBImageByLab, TableReaderCountFollowsTheAccessor)
{
    CRGBImage image(1, 1);
    CPow1by3Table table;
    {
        CAccessRGBImageByLab first(image, &table, SRGBToXYZ());
        EXPECT_EQ(table.GetLockCount(), 1);
        {
            CAccessRGBImageByLab second(image, &table, SRGBToXYZ());
            EXPECT_EQ(table.GetLockCount(), 2);
        }
        EXPECT_EQ(table.GetLockCount(), 1);
    }
    EXPECT_EQ(table.GetLockCount(), 0);

    const int before = GetPow1by3Table().GetLockCount();
    {
        CAccessRGBImageByLab global(image, nullptr, SRGBToXYZ());
        EXPECT_EQ(GetPow1by3Table().GetLockCount(), before + 1);
    }
    EXPECT_EQ(GetPow1by3Table().GetLockCount(), before);
}

// --- Histograms -------------------------------------------------------------------

namespace {

// A grey ramp in the luminance of a plain matrix: Y = value / 65535 * 100
// for R = G = B = value, so L* follows the value.
CStdMatrix GreyMatrix(double whiteY = 100.0)
{
    const double s = whiteY / 65535.0 / 3.0;
    return CStdMatrix(s, s, s, s, s, s, s, s, s);
}

RGB16 Grey(std::uint16_t v)
{
    return {v, v, v};
}

} // namespace

TEST(LightnessHistogram, BinsOfLightnessWithClampingAndSampling)
{
    // With white at Y = 50 the pixel 65535 has Y/Yn = 2: L* about 130, above
    // the range, which counts in the last bin.
    const CStdMatrix matrix = GreyMatrix(200.0);
    CRGBImage image(4, 3);
    SetPixels(image, {Grey(0), Grey(65535), Grey(32767), Grey(100), Grey(16000), Grey(0),
                      Grey(40000), Grey(5), Grey(65535), Grey(1), Grey(20000), Grey(30000)});
    CAccessRGBImageByLab access(image, nullptr, matrix);

    // Reference bins from the lightness of each pixel.
    auto binOf = [&](std::size_t i, std::size_t bins) {
        double L = 0.0;
        access.SetCursor(static_cast<int>(i % 4), static_cast<int>(i / 4));
        access.ReadLightnessLine(1, &L);
        const double b = std::floor(L / 100.0 * static_cast<double>(bins - 1));
        return static_cast<std::size_t>(std::clamp(b, 0.0, static_cast<double>(bins - 1)));
    };

    std::vector<std::uint32_t> bins(11, 99);
    access.GetLightnessHistogram(bins, 1);
    std::vector<std::uint32_t> expected(11, 0);
    for (std::size_t i = 0; i < 12; ++i)
        ++expected[binOf(i, 11)];
    EXPECT_EQ(bins, expected);
    // Values up to 100 stay below L* = 10: the blacks and three near-blacks.
    EXPECT_EQ(bins[0], 5u);
    // 65535 (L* about 130) twice and 40000 (about 108): beyond 100, clamped.
    EXPECT_EQ(bins[10], 3u);

    // step 2 samples (0, 0), (2, 0), (0, 2), (2, 2).
    access.GetLightnessHistogram(bins, 2);
    std::vector<std::uint32_t> sampled(11, 0);
    for (std::size_t i : {0u, 2u, 8u, 10u})
        ++sampled[binOf(i, 11)];
    EXPECT_EQ(bins, sampled);
}

TEST(LightnessHistogram, NotANumberCountsInTheFirstBin)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    CRGBImage image(2, 1);
    SetPixels(image, {Grey(1000), Grey(60000)});
    CAccessRGBImageByLab access(image, nullptr, CStdMatrix(1, 0, 0, nan, 0, 0, 0, 0, 1));
    std::vector<std::uint32_t> bins(5, 7);
    access.GetLightnessHistogram(bins, 1);
    EXPECT_EQ(bins, (std::vector<std::uint32_t>{2, 0, 0, 0, 0}));
}

TEST(MakeByteLChImage, HistogramsAndBytesFollowTheLChOfEachPixel)
{
    const int w = 5;
    const int h = 4;
    CRGBImage image = RandomImage(w, h, 99);
    {
        RGB16* p = image.Lock();
        p[0] = Grey(30000);           // C* near 0: no hue
        p[1] = {65535, 65535, 65535}; // L* = 100
        p[2] = {0, 0, 0};
        p[3] = {65535, 0, 0}; // C* above 100
        image.Unlock();
    }
    // Scaled up, the matrix maps 65535 to Y = 150, beyond the white: L*
    // about 114 goes to the last bin and byte 255.
    CAccessRGBImageByLab access(image, nullptr, SRGBToXYZ() * 1.5);
    std::vector<std::uint32_t> L(256, 5), C(256, 5), hue(360, 5);
    CByteLChImage bytes;
    access.MakeByteLChImage(L, C, hue, &bytes, 1);
    EXPECT_FALSE(bytes.IsLocked());
    ASSERT_EQ(bytes.GetWidth(), w);
    ASSERT_EQ(bytes.GetHeight(), h);

    std::vector<std::uint32_t> expectedL(256, 0), expectedC(256, 0), expectedH(360, 0);
    CAccessByteLChImage reader(bytes);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            CCIELab lab;
            access.GetLabAt(x, y, lab);
            const CCIELCh lch = lab.ToLCh();
            const ByteLCh b = reader.GetPixel(x, y);
            EXPECT_EQ(b.L, static_cast<int>(std::min(lch[0] / 100.0 * 255.0, 255.0)))
                << x << "," << y;
            EXPECT_EQ(b.C, static_cast<int>(std::min(lch[1] / 150.0 * 255.0, 255.0)))
                << x << "," << y;
            EXPECT_EQ(b.h, static_cast<int>(lch[2] / 360.0 * 255.0)) << x << "," << y;
            ++expectedL[std::min<std::size_t>(static_cast<std::size_t>(lch[0] / 100.0 * 255.0),
                                              255)];
            ++expectedC[std::min<std::size_t>(static_cast<std::size_t>(lch[1] / 150.0 * 255.0),
                                              255)];
            if (lch[1] >= 2.0)
                ++expectedH[static_cast<std::size_t>(lch[2] / 360.0 * 359.0)];
        }
    EXPECT_EQ(L, expectedL);
    EXPECT_EQ(C, expectedC);
    EXPECT_EQ(hue, expectedH);
    EXPECT_GE(L[255], 1u); // at least the white pixel
    EXPECT_EQ(reader.GetPixel(1, 0).L, 255);
    // The grey, white and black pixels count for L* and C* but not for hue.
    for (int x : {0, 1, 2})
    {
        CCIELab lab;
        access.GetLabAt(x, 0, lab);
        EXPECT_LT(lab.ToLCh()[1], 2.0) << x;
    }
    std::uint32_t hueCount = 0;
    std::uint32_t lightnessCount = 0;
    for (std::uint32_t n : hue)
        hueCount += n;
    for (std::uint32_t n : L)
        lightnessCount += n;
    EXPECT_EQ(lightnessCount, static_cast<std::uint32_t>(w * h));
    EXPECT_LE(hueCount, lightnessCount - 3);
}

TEST(MakeByteLChImage, SamplesEveryStepthPixelIntoASmallerImage)
{
    const int w = 7;
    const int h = 5;
    CRGBImage image = RandomImage(w, h, 123);
    CAccessRGBImageByLab access(image, nullptr, SRGBToXYZ());
    std::vector<std::uint32_t> full(256), fullC(256), fullH(256);
    CByteLChImage fullBytes;
    access.MakeByteLChImage(full, fullC, fullH, &fullBytes, 1);

    std::vector<std::uint32_t> L(256), C(256), hue(256);
    CByteLChImage bytes;
    access.MakeByteLChImage(L, C, hue, &bytes, 3);
    ASSERT_EQ(bytes.GetWidth(), 3);  // columns 0, 3, 6
    ASSERT_EQ(bytes.GetHeight(), 2); // rows 0, 3
    CAccessByteLChImage sampled(bytes);
    CAccessByteLChImage whole(fullBytes);
    std::uint32_t total = 0;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
        {
            const ByteLCh a = sampled.GetPixel(x, y);
            const ByteLCh b = whole.GetPixel(3 * x, 3 * y);
            EXPECT_EQ(a.L, b.L);
            EXPECT_EQ(a.C, b.C);
            EXPECT_EQ(a.h, b.h);
        }
    for (std::uint32_t n : L)
        total += n;
    EXPECT_EQ(total, 6u);

    // Without an LCh image, or without some histograms, the rest is still done.
    std::vector<std::uint32_t> L2(256);
    access.MakeByteLChImage(L2, {}, {}, nullptr, 3);
    EXPECT_EQ(L2, L);
}
