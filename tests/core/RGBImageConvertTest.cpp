// Drawing the working image into an 8-bit display image and filling it
// from one: equal sizes line by line, other sizes by nearest neighbour,
// the conversions on the way, the progress callback and its cancelling.

#include "core/RGBImage.h"

#include "core/ColorTransform.h"
#include "core/GammaTable.h"
#include "core/ImageAccess.h"
#include "core/ImageEx.h"
#include "core/RowBands.h"
#include "core/StdMatrix.h"
#include "tests/core/CoreTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <utility>
#include <vector>

namespace {

using coretest::DistinctTables;
using coretest::LinearSRGBProfile;
using coretest::MixingMatrix;
using coretest::RandomImage;

struct Bgr
{
    int b, g, r;
    bool operator==(const Bgr&) const = default;
};

void PrintTo(const Bgr& p, std::ostream* os)
{
    *os << "bgr(" << p.b << ", " << p.g << ", " << p.r << ")";
}

Bgr DisplayPixel(const CImageEx& display, int x, int y)
{
    const std::uint8_t* p = display.GetPixelAddress(x, y);
    return {p[0], p[1], p[2]};
}

Bgr HighBytes(const RGB16& p)
{
    return {p.b >> 8, p.g >> 8, p.r >> 8};
}

RGB16 StoredPixel(CRGBImage& image, int x, int y)
{
    const RGB16 p = image.Lock()[static_cast<std::size_t>(x + y * image.GetWidth())];
    image.Unlock();
    return p;
}

// A display image of random bytes.
CImageEx RandomDisplay(int w, int h, unsigned seed)
{
    CImageEx display;
    EXPECT_TRUE(display.Create(w, h));
    std::mt19937 random(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            std::uint8_t* p = display.GetPixelAddress(x, y);
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<std::uint8_t>(random() & 0xFF);
        }
    return display;
}

// The converted pixel as the reader gives it one at a time.
RGB16 ReadConverted(CRGBImage& image, int x, int y, const CRGBGammaTable* tables,
                    const CRGBMatrix* matrix, const CColorTransform* transform = nullptr)
{
    CReadRGBImage reader(image, tables, matrix, transform);
    RGB16 p{};
    reader.GetPixel(x, y, p);
    return p;
}

// Records every progress call; cancels at call number cancelAt (0-based),
// or never when it is negative.
struct ProgressLog final : IProgressSink
{
    int cancelAt = -1;
    std::vector<std::pair<int, int>> calls;
    bool refused = false; // a report was answered false

    bool Report(double) override { return true; }
    bool Report(std::int64_t done, std::int64_t total) override
    {
        calls.emplace_back(static_cast<int>(done), static_cast<int>(total));
        if (static_cast<int>(calls.size()) - 1 == cancelAt)
            refused = true;
        return static_cast<int>(calls.size()) - 1 != cancelAt;
    }
};

} // namespace

// --- CopyRectConverted -------------------------------------------------------------

TEST(CopyRectConverted, EqualSizesConvertEachRowIntoTheDestination)
{
    CRGBImage image = RandomImage(6, 4, 1);
    const CRGBGammaTable tables = DistinctTables();
    const CRGBMatrix matrix = MixingMatrix();
    CImageEx display;
    ASSERT_TRUE(display.Create(7, 3));
    FillDIB(display, {0x1100, 0x2200, 0x3300});

    const CRect src(1, 1, 4, 3);
    const CRect dst(2, 1, 5, 3);
    ProgressLog log;
    EXPECT_TRUE(
        image.CopyRectConverted(display, src, dst, &matrix, &tables, log, nullptr, nullptr));
    EXPECT_FALSE(log.refused);
    EXPECT_FALSE(image.IsLocked());
    EXPECT_EQ(log.calls, (std::vector<std::pair<int, int>>{{0, 2}, {1, 2}}));

    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x)
        {
            const bool inside = x >= dst.left && x < dst.right && y >= dst.top && y < dst.bottom;
            const Bgr expected =
                inside ? HighBytes(ReadConverted(image, x - dst.left + src.left,
                                                 y - dst.top + src.top, &tables, &matrix))
                       : Bgr{0x33, 0x22, 0x11};
            EXPECT_EQ(DisplayPixel(display, x, y), expected) << x << "," << y;
        }
}

// Destination (k, i) shows source (left + k * sw / dw, top + i * sh / dh);
// the maps below are worked out by hand.
TEST(CopyRectConverted, OtherSizesPickTheNearestPixel)
{
    struct Case
    {
        const char* name;
        CRect src;
        CRect dst;
        std::vector<int> columns; // source column of each destination column
        std::vector<int> rows;    // source row of each destination row
    };
    const Case cases[] = {
        // 2 -> 5 columns: k * 2 / 5 = 0, 0, 0, 1, 1; 3 -> 4 rows: 0, 0, 1, 2.
        {"enlarging", CRect(1, 0, 3, 3), CRect(0, 0, 5, 4), {1, 1, 1, 2, 2}, {0, 0, 1, 2}},
        // 5 -> 2 columns: 0, 2; 4 -> 3 rows: i * 4 / 3 = 0, 1, 2.
        {"reducing", CRect(0, 1, 5, 5), CRect(1, 1, 3, 4), {0, 2}, {1, 2, 3}},
        // 3 -> 7 columns: 0, 0, 0, 1, 1, 2, 2; 5 -> 2 rows: 0, 2.
        {"wider and shorter", CRect(2, 0, 5, 5), CRect(0, 0, 7, 2), {2, 2, 2, 3, 3, 4, 4}, {0, 2}},
    };
    CRGBImage image = RandomImage(6, 5, 2);
    const CRGBGammaTable tables = DistinctTables();
    const CRGBMatrix matrix = MixingMatrix();
    for (const Case& c : cases)
    {
        CImageEx display;
        ASSERT_TRUE(display.Create(8, 5));
        ProgressLog log;
        ASSERT_TRUE(
            image.CopyRectConverted(display, c.src, c.dst, &matrix, &tables, log, nullptr, nullptr))
            << c.name;
        EXPECT_FALSE(log.refused);
        for (std::size_t i = 0; i < c.rows.size(); ++i)
            for (std::size_t k = 0; k < c.columns.size(); ++k)
            {
                const RGB16 expected =
                    ReadConverted(image, c.columns[k], c.rows[i], &tables, &matrix);
                EXPECT_EQ(DisplayPixel(display, c.dst.left + static_cast<int>(k),
                                       c.dst.top + static_cast<int>(i)),
                          HighBytes(expected))
                    << c.name << " destination " << k << "," << i;
            }
    }
}

TEST(CopyRectConverted, TransformsApplyInBothPaths)
{
    LcmsProfilePtr srgb(cmsCreate_sRGBProfile());
    LcmsProfilePtr linearProfile = LinearSRGBProfile();
    const CColorTransform transform = CColorTransform::Create(srgb.get(), linearProfile.get());
    ASSERT_TRUE(transform.IsValid());

    CRGBImage image = RandomImage(4, 4, 3);
    for (const CRect& dst : {CRect(0, 0, 4, 4), CRect(0, 0, 6, 3)})
    {
        CImageEx display;
        ASSERT_TRUE(display.Create(6, 4));
        ASSERT_TRUE(image.CopyRectConverted(display, CRect(0, 0, 4, 4), dst, nullptr, nullptr, {},
                                            &transform, nullptr));
        for (int i = 0; i < dst.Height(); ++i)
            for (int k = 0; k < dst.Width(); ++k)
            {
                const int x = k * 4 / dst.Width();
                const int y = i * 4 / dst.Height();
                RGB16 expected = StoredPixel(image, x, y);
                transform.Translate(&expected, &expected, 1);
                EXPECT_EQ(DisplayPixel(display, k, i), HighBytes(expected)) << k << "," << i;
            }
    }
}

TEST(CopyRectConverted, CancellingAtTheFirstRowStops)
{
    CRGBImage image = RandomImage(4, 4, 4);
    for (const CRect& dst : {CRect(0, 0, 4, 4), CRect(0, 0, 8, 8)})
    {
        CImageEx display;
        ASSERT_TRUE(display.Create(8, 8));
        ProgressLog log;
        log.cancelAt = 0;
        EXPECT_FALSE(image.CopyRectConverted(display, CRect(0, 0, 4, 4), dst, nullptr, nullptr, log,
                                             nullptr, nullptr));
        EXPECT_TRUE(log.refused);
        EXPECT_EQ(log.calls, (std::vector<std::pair<int, int>>{{0, dst.Height()}}));
        EXPECT_FALSE(image.IsLocked());
        // The first row was drawn, the second not.
        EXPECT_EQ(DisplayPixel(display, 0, 0), HighBytes(StoredPixel(image, 0, 0)));
        EXPECT_EQ(DisplayPixel(display, 0, 1), (Bgr{0, 0, 0}));
    }
}

TEST(CopyRectConverted, RectanglesOutsideTheImagesAreRefused)
{
    CRGBImage image = RandomImage(4, 4, 5);
    struct Case
    {
        CRect src;
        CRect dst;
    };
    const Case cases[] = {
        {CRect(0, 0, 5, 4), CRect(0, 0, 5, 4)},  // source too wide
        {CRect(-1, 0, 3, 4), CRect(0, 0, 4, 4)}, // source left of the image
        {CRect(0, 0, 4, 4), CRect(0, 1, 4, 5)},  // destination below the display
        {CRect(0, 0, 4, 4), CRect(0, 0, 9, 2)},  // destination too wide
    };
    for (const Case& c : cases)
    {
        CImageEx display;
        ASSERT_TRUE(display.Create(8, 4));
        FillDIB(display, {0x4000, 0x4000, 0x4000});
        ProgressLog log;
        EXPECT_FALSE(image.CopyRectConverted(display, c.src, c.dst, nullptr, nullptr, log, nullptr,
                                             nullptr));
        EXPECT_FALSE(log.refused);
        EXPECT_EQ(DisplayPixel(display, 0, 0), (Bgr{0x40, 0x40, 0x40}));
        EXPECT_FALSE(image.IsLocked());
    }
    // Empty rectangles draw nothing and succeed.
    CImageEx display;
    ASSERT_TRUE(display.Create(2, 2));
    EXPECT_TRUE(image.CopyRectConverted(display, CRect(0, 0, 0, 0), CRect(0, 0, 2, 2), nullptr,
                                        nullptr, {}, nullptr, nullptr));
}

// --- LoadFromDIB ----------------------------------------------------------------

TEST(LoadFromDIB, EqualSizesWidenThroughTablesAndMatrix)
{
    const CImageEx display = RandomDisplay(5, 3, 6);
    const CRGBGammaTable tables = DistinctTables();
    const CRGBMatrix matrix = MixingMatrix();
    CRGBImage image(6, 4);
    ProgressLog log;
    const CRect src(1, 0, 4, 3);
    const CRect dst(2, 1, 5, 4);
    EXPECT_TRUE(image.LoadFromDIB(display, src, dst, &tables, &matrix, log));
    EXPECT_FALSE(log.refused);
    EXPECT_FALSE(image.IsLocked());
    EXPECT_EQ(log.calls, (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {2, 3}}));

    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
        {
            RGB16 expected{0, 0, 0};
            if (x >= dst.left && x < dst.right && y >= dst.top && y < dst.bottom)
            {
                const Bgr b = DisplayPixel(display, x - dst.left + src.left, y - dst.top + src.top);
                const RGB16 widened{static_cast<std::uint16_t>(b.r * 257),
                                    static_cast<std::uint16_t>(b.g * 257),
                                    static_cast<std::uint16_t>(b.b * 257)};
                const RGB16 toned{tables.Red().GetEntries()[widened.r],
                                  tables.Green().GetEntries()[widened.g],
                                  tables.Blue().GetEntries()[widened.b]};
                matrix.ConvertPixel(expected, toned);
            }
            const RGB16 got = StoredPixel(image, x, y);
            EXPECT_EQ(got.r, expected.r) << x << "," << y;
            EXPECT_EQ(got.g, expected.g) << x << "," << y;
            EXPECT_EQ(got.b, expected.b) << x << "," << y;
        }
}

TEST(LoadFromDIB, OtherSizesTakeTheNearestDisplayPixel)
{
    const CImageEx display = RandomDisplay(6, 5, 7);
    struct Case
    {
        const char* name;
        CRect src;
        CRect dst;
        std::vector<int> columns; // display column of each destination column
        std::vector<int> rows;    // display row of each destination row
    };
    const Case cases[] = {
        // 2 -> 5 columns: 0, 0, 0, 1, 1 from column 3; 3 -> 4 rows: 0, 0, 1, 2 from row 1.
        {"enlarging", CRect(3, 1, 5, 4), CRect(0, 0, 5, 4), {3, 3, 3, 4, 4}, {1, 1, 2, 3}},
        // 6 -> 4 columns: j * 6 / 4 = 0, 1, 3, 4; 5 -> 2 rows: 0, 2.
        {"reducing", CRect(0, 0, 6, 5), CRect(1, 2, 5, 4), {0, 1, 3, 4}, {0, 2}},
    };
    for (const Case& c : cases)
    {
        CRGBImage image(6, 5);
        ASSERT_TRUE(image.LoadFromDIB(display, c.src, c.dst, nullptr, nullptr, {})) << c.name;
        for (std::size_t i = 0; i < c.rows.size(); ++i)
            for (std::size_t j = 0; j < c.columns.size(); ++j)
            {
                const Bgr b = DisplayPixel(display, c.columns[j], c.rows[i]);
                const RGB16 got = StoredPixel(image, c.dst.left + static_cast<int>(j),
                                              c.dst.top + static_cast<int>(i));
                EXPECT_EQ(got.r, b.r * 257) << c.name << " " << j << "," << i;
                EXPECT_EQ(got.g, b.g * 257) << c.name << " " << j << "," << i;
                EXPECT_EQ(got.b, b.b * 257) << c.name << " " << j << "," << i;
            }
        // Nothing outside the destination rectangle changed.
        EXPECT_EQ(StoredPixel(image, 0, 4).r, 0) << c.name;
    }
}

TEST(LoadFromDIB, CancellingAtTheFirstRowStops)
{
    const CImageEx display = RandomDisplay(3, 3, 8);
    for (const CRect& dst : {CRect(0, 0, 3, 3), CRect(0, 0, 2, 2)})
    {
        CRGBImage image(3, 3);
        ProgressLog log;
        log.cancelAt = 0;
        EXPECT_FALSE(image.LoadFromDIB(display, CRect(0, 0, 3, 3), dst, nullptr, nullptr, log));
        EXPECT_TRUE(log.refused);
        EXPECT_EQ(log.calls.size(), 1u);
        EXPECT_FALSE(image.IsLocked());
        EXPECT_EQ(StoredPixel(image, 0, 0).r, DisplayPixel(display, 0, 0).r * 257);
        if (dst.Width() != 3)
        {
            EXPECT_EQ(StoredPixel(image, 0, 1).r, 0);
        }
    }
}

// Equal sizes are filled in bands of rows on all cores; a stop answered at
// the first row leaves every later band unfilled (on one thread no band
// runs ahead), and the rows filled are the same for any thread count.
TEST(LoadFromDIB, EqualSizesGiveTheSameRowsForAnyThreadCountAndStopAtABand)
{
    const int rows = 300;
    const CImageEx display = RandomDisplay(7, rows, 9);
    const CRGBGammaTable tables = DistinctTables();
    const CRGBMatrix matrix = MixingMatrix();
    const CRect all(0, 0, 7, rows);
    std::vector<RGB16> first;
    for (int threads : {1, 3, 8})
    {
        SetRowThreadCount(threads);
        CRGBImage image(7, rows);
        ProgressLog log;
        ASSERT_TRUE(image.LoadFromDIB(display, all, all, &tables, &matrix, log)) << threads;
        ASSERT_EQ(log.calls.size(), static_cast<std::size_t>(rows)) << threads;
        for (int i = 0; i < rows; ++i)
            EXPECT_EQ(log.calls[static_cast<std::size_t>(i)], std::make_pair(i, rows)) << threads;
        std::vector<RGB16> pixels;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < 7; ++x)
                pixels.push_back(StoredPixel(image, x, y));
        if (first.empty())
            first = pixels;
        else
            EXPECT_TRUE(std::equal(first.begin(), first.end(), pixels.begin(),
                                   [](const RGB16& a, const RGB16& b) {
                                       return a.r == b.r && a.g == b.g && a.b == b.b;
                                   }))
                << threads;
    }

    SetRowThreadCount(1);
    CRGBImage image(7, rows);
    ProgressLog log;
    log.cancelAt = 0;
    EXPECT_FALSE(image.LoadFromDIB(display, all, all, nullptr, nullptr, log));
    EXPECT_EQ(log.calls.size(), 1u);
    EXPECT_NE(StoredPixel(image, 0, 0).r + StoredPixel(image, 1, 0).r + StoredPixel(image, 2, 0).r, 0);
    EXPECT_EQ(StoredPixel(image, 0, rows - 1).r, 0);
    SetRowThreadCount(0);
}

TEST(LoadFromDIB, RectanglesOutsideTheImagesAreRefused)
{
    const CImageEx display = RandomDisplay(3, 3, 9);
    CRGBImage image(3, 3);
    EXPECT_FALSE(
        image.LoadFromDIB(display, CRect(0, 0, 4, 3), CRect(0, 0, 3, 3), nullptr, nullptr, {}));
    EXPECT_FALSE(
        image.LoadFromDIB(display, CRect(0, 0, 3, 3), CRect(1, 1, 4, 4), nullptr, nullptr, {}));
    EXPECT_EQ(StoredPixel(image, 0, 0).r, 0);
    EXPECT_FALSE(image.IsLocked());
}
