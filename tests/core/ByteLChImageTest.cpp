// The compact LCh image: its block rules, the scoped accessor and the
// chroma histogram with its lightness range and (wrapping) hue window.

#include "core/ByteLChImage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace {

// Fills the image through an accessor, pixel i = pixels[i].
void Fill(CByteLChImage& image, const std::vector<ByteLCh>& pixels)
{
    CAccessByteLChImage access(image);
    access.SetCursor(0, 0);
    for (const ByteLCh& p : pixels)
        access.WriteNext(p);
}

std::vector<ByteLCh> Read(CByteLChImage& image)
{
    CAccessByteLChImage access(image);
    std::vector<ByteLCh> pixels(image.GetPixelCount());
    for (ByteLCh& p : pixels)
        p = access.ReadNext();
    return pixels;
}

bool Same(const std::vector<ByteLCh>& a, const std::vector<ByteLCh>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].L != b[i].L || a[i].C != b[i].C || a[i].h != b[i].h)
            return false;
    return true;
}

} // namespace

TEST(ByteLChImage, CreateKeepsBytesOfTheSameSizeAndFreesForZero)
{
    CByteLChImage image;
    EXPECT_TRUE(image.IsEmpty());
    ASSERT_TRUE(image.Create(3, 2));
    EXPECT_EQ(image.GetPixelCount(), 6u);
    const std::vector<ByteLCh> zeros(6, ByteLCh{0, 0, 0});
    EXPECT_TRUE(Same(Read(image), zeros));

    const std::vector<ByteLCh> pixels = {{1, 2, 3},    {4, 5, 6},    {7, 8, 9},
                                         {10, 11, 12}, {13, 14, 15}, {255, 254, 253}};
    Fill(image, pixels);
    // The same pixel count in other dimensions keeps the contents.
    ASSERT_TRUE(image.Create(2, 3));
    EXPECT_EQ(image.GetWidth(), 2);
    EXPECT_EQ(image.GetHeight(), 3);
    EXPECT_TRUE(Same(Read(image), pixels));
    // Another size starts from zeros.
    ASSERT_TRUE(image.Create(4, 2));
    EXPECT_TRUE(Same(Read(image), std::vector<ByteLCh>(8, ByteLCh{0, 0, 0})));

    for (const auto& [w, h] : {std::pair{0, 0}, std::pair{0, 5}, std::pair{-2, 3}})
    {
        ASSERT_TRUE(image.Create(4, 2));
        EXPECT_FALSE(image.Create(w, h)) << w << "x" << h;
        EXPECT_TRUE(image.IsEmpty());
        EXPECT_EQ(image.GetWidth(), 0);
        EXPECT_EQ(image.GetHeight(), 0);
    }
}

TEST(ByteLChImage, CopiesAreDeepAndMovesEmptyTheSource)
{
    CByteLChImage image;
    ASSERT_TRUE(image.Create(2, 1));
    Fill(image, {{1, 2, 3}, {4, 5, 6}});
    CByteLChImage copy(image);
    Fill(image, {{9, 9, 9}, {9, 9, 9}});
    EXPECT_TRUE(Same(Read(copy), {{1, 2, 3}, {4, 5, 6}}));

    CByteLChImage moved(std::move(copy));
    EXPECT_TRUE(copy.IsEmpty());
    EXPECT_TRUE(Same(Read(moved), {{1, 2, 3}, {4, 5, 6}}));
    image = moved;
    EXPECT_TRUE(Same(Read(image), {{1, 2, 3}, {4, 5, 6}}));
}

TEST(AccessByteLChImage, LocksForItsLifeAndMovesTheCursor)
{
    CByteLChImage image;
    ASSERT_TRUE(image.Create(3, 2));
    {
        CAccessByteLChImage access(image);
        EXPECT_TRUE(image.IsLocked());
        access.SetCursor(2, 0);
        access.WriteNext({1, 2, 3});
        access.WriteNext({4, 5, 6}); // runs on into the next row
        EXPECT_EQ(access.GetCursorOffset(), 4u);
        const ByteLCh p = access.GetPixel(0, 1);
        EXPECT_EQ(p.L, 4);
        EXPECT_EQ(p.C, 5);
        EXPECT_EQ(p.h, 6);
        access.SetCursor(2, 0);
        EXPECT_EQ(access.ReadNext().L, 1);
        EXPECT_EQ(access.GetCursorOffset(), 3u);
    }
    EXPECT_FALSE(image.IsLocked());
}

// One pixel for every combination of three lightness bytes, three chroma
// bytes and the hue bytes that matter at the window edges.
TEST(AccessByteLChImage, ChromaHistogramCountsPixelsInsideBothWindows)
{
    const std::vector<std::uint8_t> lightness = {9, 10, 200};
    const std::vector<std::uint8_t> chroma = {0, 7, 255};
    const std::vector<std::uint8_t> hues = {0, 16, 17, 100, 239, 240, 255};
    std::vector<ByteLCh> pixels;
    for (std::uint8_t L : lightness)
        for (std::uint8_t C : chroma)
            for (std::uint8_t h : hues)
                pixels.push_back({L, C, h});
    CByteLChImage image;
    ASSERT_TRUE(image.Create(static_cast<int>(pixels.size()), 1));
    Fill(image, pixels);

    struct Case
    {
        const char* name;
        int lLow, lHigh, hLow, hHigh;
        bool (*inside)(std::uint8_t L, std::uint8_t h);
    };
    const Case cases[] = {
        {"everything", 0, 255, 0, 255, [](std::uint8_t, std::uint8_t) { return true; }},
        {"bounds are inclusive", 10, 200, 16, 240,
         [](std::uint8_t L, std::uint8_t h) { return L >= 10 && L <= 200 && h >= 16 && h <= 240; }},
        {"hue window wraps through 0", 0, 255, 240, 16,
         [](std::uint8_t, std::uint8_t h) { return h >= 240 || h <= 16; }},
        {"lightness range and wrapped hue", 9, 9, 255, 0,
         [](std::uint8_t L, std::uint8_t h) { return L == 9 && (h == 255 || h == 0); }},
        {"empty lightness range", 201, 10, 0, 255,
         [](std::uint8_t, std::uint8_t) { return false; }},
    };
    for (const Case& c : cases)
    {
        std::vector<std::uint32_t> expected(256, 0);
        for (const ByteLCh& p : pixels)
            if (c.inside(p.L, p.h))
                ++expected[p.C];
        std::vector<std::uint32_t> bins(256, 77);
        CAccessByteLChImage access(image);
        access.GetChromaHistogram(bins, c.lLow, c.lHigh, c.hLow, c.hHigh);
        EXPECT_EQ(bins, expected) << c.name;
    }

    // Fewer bins than chroma bytes: the high ones go to the last bin.
    std::vector<std::uint32_t> few(8, 0);
    CAccessByteLChImage access(image);
    access.GetChromaHistogram(few, 0, 255, 0, 255);
    const std::uint32_t perChroma = static_cast<std::uint32_t>(lightness.size() * hues.size());
    EXPECT_EQ(few, (std::vector<std::uint32_t>{perChroma, 0, 0, 0, 0, 0, 0, 2 * perChroma}));
}

TEST(AccessByteLChImage, ChromaHistogramOfAnEmptyImageIsZero)
{
    CByteLChImage image;
    std::vector<std::uint32_t> bins(256, 3);
    CAccessByteLChImage access(image);
    access.GetChromaHistogram(bins, 0, 255, 0, 255);
    EXPECT_EQ(bins, std::vector<std::uint32_t>(256, 0));
}
