#include "core/ImageEx.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

TEST(ImageEx, CreatePadsRowsToWholeWordsAndStartsBlack)
{
    struct Case
    {
        int width;
        int pitch;
    };
    for (const Case c :
         {Case{1, 4}, Case{2, 8}, Case{3, 12}, Case{4, 12}, Case{5, 16}, Case{8, 24}})
    {
        CImageEx image;
        ASSERT_TRUE(image.Create(c.width, 3)) << c.width;
        EXPECT_FALSE(image.IsNull());
        EXPECT_EQ(image.GetWidth(), c.width);
        EXPECT_EQ(image.GetHeight(), 3);
        EXPECT_EQ(image.GetPitch(), c.pitch) << c.width;
        EXPECT_EQ(image.GetBPP(), 24);
        const std::uint8_t* bits = image.GetBits();
        for (int i = 0; i < c.pitch * 3; ++i)
            ASSERT_EQ(bits[i], 0) << "byte " << i;
        EXPECT_EQ(image.GetPixelAddress(1, 2), bits + 2 * c.pitch + 3);
    }
}

TEST(ImageEx, CreateRefusesEmptyNegativeAndAbsurdSizes)
{
    struct Case
    {
        int width;
        int height;
    };
    for (const Case c : {Case{0, 5}, Case{5, 0}, Case{-1, 5}, Case{5, -3}, Case{65536, 1},
                         Case{1, 65536}, Case{0x7FFFFFFF, 0x7FFFFFFF}})
    {
        CImageEx image;
        ASSERT_TRUE(image.Create(4, 4));
        EXPECT_FALSE(image.Create(c.width, c.height)) << c.width << " x " << c.height;
        EXPECT_TRUE(image.IsNull());
        EXPECT_EQ(image.GetWidth(), 0);
        EXPECT_EQ(image.GetHeight(), 0);
        EXPECT_EQ(image.GetPitch(), 0);
    }
    CImageEx image;
    ASSERT_TRUE(image.Create(2, 2));
    image.Destroy();
    EXPECT_TRUE(image.IsNull());
}

// The display bytes are blue, green, red; a 16-bit channel narrows to its
// high byte and an 8-bit one widens as v * 257.
TEST(ImageEx, LineHelpersNarrowAndWiden)
{
    CImageEx image;
    ASSERT_TRUE(image.Create(3, 2));
    const RGB16 line[3] = {{0xFFFF, 0x80FF, 0x00FF}, {0xFF00, 0x0100, 0x7F80}, {1, 2, 3}};
    CopyRGB16ToDIBLine(image, line, 3, 1, 0);

    const std::uint8_t expected[9] = {0x00, 0x80, 0xFF, 0x7F, 0x01, 0xFF, 0, 0, 0};
    const std::uint8_t* row = image.GetPixelAddress(0, 1);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(row[i], expected[i]) << "byte " << i;
    // Row 0 and the row padding are untouched.
    for (int i = 0; i < image.GetPitch(); ++i)
        EXPECT_EQ(image.GetBits()[i], 0);
    for (int i = 9; i < image.GetPitch(); ++i)
        EXPECT_EQ(row[i], 0);

    RGB16 back[3] = {};
    CopyDIBLineToRGB16(3, image, back, 1, 0);
    const RGB16 widened[3] = {{0xFFFF, 0x8080, 0x0000}, {0xFFFF, 0x0101, 0x7F7F}, {0, 0, 0}};
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(back[i].r, widened[i].r) << i;
        EXPECT_EQ(back[i].g, widened[i].g) << i;
        EXPECT_EQ(back[i].b, widened[i].b) << i;
    }

    // A run from a column inside the row touches only its own pixels.
    const RGB16 white{0xFFFF, 0xFFFF, 0xFFFF};
    CopyRGB16ToDIBLine(image, &white, 1, 0, 2);
    EXPECT_EQ(image.GetPixelAddress(1, 0)[2], 0);
    EXPECT_EQ(image.GetPixelAddress(2, 0)[0], 0xFF);
    EXPECT_EQ(image.GetPixelAddress(2, 0)[2], 0xFF);
}

// Runs that stick out of the image are cut to the part inside it, at the
// columns where they would have landed.
TEST(ImageEx, LineHelpersClipToTheImage)
{
    CImageEx image;
    ASSERT_TRUE(image.Create(3, 2));
    const RGB16 line[4] = {{0x1100, 0, 0}, {0x2200, 0, 0}, {0x3300, 0, 0}, {0x4400, 0, 0}};

    struct Case
    {
        int count;
        int row;
        int column;
        std::vector<int> reds; // expected red bytes of row 0 afterwards
    };
    const Case cases[] = {
        {4, 0, -1, {0x22, 0x33, 0x44}}, {4, 0, 1, {0, 0x11, 0x22}}, {2, 0, -2, {0, 0, 0}},
        {2, 0, 3, {0, 0, 0}},           {4, -1, 0, {0, 0, 0}},      {4, 2, 0, {0, 0, 0}},
        {0, 0, 0, {0, 0, 0}},           {-5, 0, 0, {0, 0, 0}},
    };
    for (const Case& c : cases)
    {
        FillDIB(image, RGB16{0, 0, 0});
        CopyRGB16ToDIBLine(image, line, c.count, c.row, c.column);
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(image.GetPixelAddress(x, 0)[2], c.reds[x])
                << "count " << c.count << " row " << c.row << " column " << c.column << " x " << x;
        for (int i = 0; i < image.GetPitch(); ++i)
            EXPECT_EQ(image.GetPixelAddress(0, 1)[i], 0) << "row 1 touched";
    }

    // Reading back: pixels of the run outside the image keep their values.
    FillDIB(image, RGB16{0x0500, 0x0600, 0x0700});
    RGB16 read[4];
    for (RGB16& p : read)
        p = RGB16{1, 2, 3};
    CopyDIBLineToRGB16(4, image, read, 1, -1);
    EXPECT_EQ(read[0].r, 1);
    for (int i = 1; i < 4; ++i)
    {
        EXPECT_EQ(read[i].r, 0x0505) << i;
        EXPECT_EQ(read[i].g, 0x0606) << i;
        EXPECT_EQ(read[i].b, 0x0707) << i;
    }
    for (RGB16& p : read)
        p = RGB16{1, 2, 3};
    CopyDIBLineToRGB16(4, image, read, 2, 0);
    EXPECT_EQ(read[0].r, 1);
}

TEST(ImageEx, FillDIBSetsEveryPixelAndLeavesPadding)
{
    CImageEx image;
    ASSERT_TRUE(image.Create(5, 3)); // 15 bytes of pixels, pitch 16
    FillDIB(image, RGB16{0x12FF, 0x3400, 0x56AB});
    for (int y = 0; y < 3; ++y)
    {
        for (int x = 0; x < 5; ++x)
        {
            const std::uint8_t* p = image.GetPixelAddress(x, y);
            EXPECT_EQ(p[0], 0x56);
            EXPECT_EQ(p[1], 0x34);
            EXPECT_EQ(p[2], 0x12);
        }
        EXPECT_EQ(image.GetPixelAddress(0, y)[15], 0) << "padding of row " << y;
    }
    CImageEx empty;
    FillDIB(empty, RGB16{1, 1, 1}); // nothing to do, nothing to break
    EXPECT_TRUE(empty.IsNull());
}

// Each target pixel takes the source pixel at i * from / to on each axis:
// a 2 x 2 picture into 5 x 3 gives columns 0 0 0 1 1 and rows 0 0 1.
TEST(ImageEx, StretchDIBTakesTheNearestPixel)
{
    CImageEx source;
    ASSERT_TRUE(source.Create(2, 2));
    const std::uint8_t values[2][2] = {{10, 20}, {30, 40}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
        {
            std::uint8_t* p = source.GetPixelAddress(x, y);
            p[0] = values[y][x];
            p[1] = static_cast<std::uint8_t>(values[y][x] + 1);
            p[2] = static_cast<std::uint8_t>(values[y][x] + 2);
        }
    CImageEx target;
    ASSERT_TRUE(target.Create(5, 3));
    StretchDIB(source, target);
    const int columns[5] = {0, 0, 0, 1, 1};
    const int rows[3] = {0, 0, 1};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
        {
            const std::uint8_t* p = target.GetPixelAddress(x, y);
            const std::uint8_t v = values[rows[y]][columns[x]];
            EXPECT_EQ(p[0], v) << x << "," << y;
            EXPECT_EQ(p[1], v + 1) << x << "," << y;
            EXPECT_EQ(p[2], v + 2) << x << "," << y;
        }

    // Nothing to stretch from: the target stays as it was.
    FillDIB(target, RGB16{257, 257, 257});
    StretchDIB(CImageEx(), target);
    EXPECT_EQ(target.GetPixelAddress(4, 2)[0], 1);
}

} // namespace
