// The image view's geometry: fitted and zoomed layouts centred in the
// scroll area, scroll points to image pixels and back (floors, so a point
// left of the image is off it), the visible part of the image, the preview
// size, the hit-test scale, the coarse factor, pans and the wheel. Empty
// image rectangles (a client area of no width) divide by nothing.

#include "app/preview/ImageViewLogic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

using namespace imageview;

namespace {

std::string Text(const CRect& r)
{
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
           std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
}

} // namespace

TEST(ImageViewLayout, FitAndZoomCentreTheImageInTheScrollArea)
{
    struct Case
    {
        int W, H, w, h;
        double zoom;
        int scrollWidth, scrollHeight;
        CRect image;
    };
    const std::vector<Case> table = {
        // Fitted: the wider image takes the width, the taller one the height.
        {600, 400, 300, 300, 0.0, 300, 300, CRect(0, 50, 300, 250)},
        {400, 600, 300, 300, 0.0, 300, 300, CRect(50, 0, 250, 300)},
        {600, 400, 320, 200, 0.0, 320, 200, CRect(10, 0, 310, 200)},
        {100, 100, 300, 200, -1.0, 300, 200, CRect(50, 0, 250, 200)}, // below 0 fits too
        {1, 1, 300, 200, 0.0, 300, 200, CRect(50, 0, 250, 200)},      // one pixel fills the height
        {6000, 4000, 1920, 1080, 0.0, 1920, 1080, CRect(150, 0, 1770, 1080)},
        // Zoomed: smaller than the client area it is centred, larger it
        // makes the scroll area.
        {100, 50, 300, 200, 1.0, 300, 200, CRect(100, 75, 200, 125)},
        {1, 1, 300, 200, 1.0, 300, 200, CRect(149, 99, 150, 100)},
        {600, 400, 300, 200, 2.0, 1200, 800, CRect(0, 0, 1200, 800)},
        {601, 401, 100, 100, 0.5, 300, 200, CRect(0, 0, 300, 200)}, // truncated
        {100, 100, 50, 50, 1.0 / 3.0, 50, 50, CRect(8, 8, 41, 41)},
        {600, 100, 300, 200, 1.0, 600, 200, CRect(0, 50, 600, 150)}, // wider only
        // No client area: an empty image rectangle.
        {600, 400, 0, 0, 0.0, 0, 0, CRect(0, 0, 0, 0)},
        {600, 400, 0, 300, 0.0, 0, 300, CRect(0, 150, 0, 150)},
        {10, 10, 300, 200, 1.0 / 16.0, 300, 200, CRect(150, 100, 150, 100)},
        // No image: 100 x 100 and nothing shown.
        {0, 400, 300, 200, 0.0, 100, 100, CRect()},
        {600, 0, 300, 200, 2.0, 100, 100, CRect()},
    };
    for (const Case& c : table)
    {
        const ViewLayout layout = ComputeLayout(c.W, c.H, c.w, c.h, c.zoom);
        EXPECT_EQ(layout.scrollWidth, c.scrollWidth)
            << c.W << "x" << c.H << " in " << c.w << "x" << c.h << " zoom " << c.zoom;
        EXPECT_EQ(layout.scrollHeight, c.scrollHeight) << c.W << "x" << c.H << " zoom " << c.zoom;
        EXPECT_EQ(layout.imageRect, c.image)
            << c.W << "x" << c.H << " in " << c.w << "x" << c.h << " zoom " << c.zoom;
    }
}

TEST(ImageViewMapping, ScrollPointsToImagePixels)
{
    struct Case
    {
        CRect image;
        int W, H, x, y;
        CPoint pixel;
        bool onImage;
    };
    const std::vector<Case> table = {
        // A one-pixel image shown 200 x 200.
        {CRect(50, 0, 250, 200), 1, 1, 50, 0, {0, 0}, true},
        {CRect(50, 0, 250, 200), 1, 1, 249, 199, {0, 0}, true},
        {CRect(50, 0, 250, 200), 1, 1, 250, 100, {1, 0}, false},
        {CRect(50, 0, 250, 200), 1, 1, 49, 100, {-1, 0}, false}, // floor, not truncation
        // Enlarged four times: a quarter pixel left of the image is off it.
        {CRect(0, 0, 400, 400), 100, 100, 3, 3, {0, 0}, true},
        {CRect(0, 0, 400, 400), 100, 100, 4, 7, {1, 1}, true},
        {CRect(0, 0, 400, 400), 100, 100, -1, 0, {-1, 0}, false},
        {CRect(0, 0, 400, 400), 100, 100, 399, 399, {99, 99}, true},
        // Halved and centred.
        {CRect(0, 50, 300, 250), 600, 400, 299, 249, {598, 398}, true},
        {CRect(0, 50, 300, 250), 600, 400, 0, 49, {0, -2}, false},
        {CRect(0, 50, 300, 250), 600, 400, 150, 250, {300, 400}, false},
    };
    for (const Case& c : table)
    {
        CPoint pixel{-99, -99};
        ASSERT_TRUE(ScrollToImagePixel(c.image, c.W, c.H, c.x, c.y, pixel)) << c.x << "," << c.y;
        EXPECT_EQ(pixel, c.pixel) << Text(c.image) << " " << c.x << "," << c.y;
        EXPECT_EQ(IsOnImage(pixel, c.W, c.H), c.onImage)
            << Text(c.image) << " " << c.x << "," << c.y;
    }

    // An empty image rectangle or image maps nothing (and divides by
    // nothing).
    CPoint untouched{7, 7};
    EXPECT_FALSE(ScrollToImagePixel(CRect(10, 10, 10, 50), 100, 100, 10, 20, untouched));
    EXPECT_FALSE(ScrollToImagePixel(CRect(0, 0, 100, 0), 100, 100, 10, 0, untouched));
    EXPECT_FALSE(ScrollToImagePixel(CRect(0, 0, 100, 100), 0, 100, 10, 10, untouched));
    EXPECT_EQ(untouched, (CPoint{7, 7}));
    CPointD relative(0.25, 0.25);
    EXPECT_FALSE(ScrollToRelative(CRect(5, 5, 5, 5), 10, 10, 5, 5, relative));
    EXPECT_EQ(relative, CPointD(0.25, 0.25));
}

TEST(ImageViewMapping, RelativePointsGiveTheirPixelBack)
{
    // The frame takes the pixel as trunc(W x rx): it must be the pixel the
    // view found, the last one included.
    struct Case
    {
        CRect image;
        int W, H, x, y;
    };
    const std::vector<Case> table = {
        {CRect(0, 50, 300, 250), 600, 400, 299, 249},
        {CRect(0, 50, 300, 250), 600, 400, 0, 50},
        {CRect(10, 0, 310, 200), 7, 3, 309, 199},
        {CRect(50, 0, 250, 200), 1, 1, 249, 199},
        {CRect(0, 0, 2400, 1600), 600, 400, 2399, 1599},
        {CRect(3, 4, 336, 226), 1000, 667, 200, 100},
        // (x - left) / iw x W is a whole number that floating point misses
        // from below: 240 / 398 x 199 is 119.99999...
        {CRect(0, 0, 398, 10), 199, 5, 240, 0},
    };
    for (const Case& c : table)
    {
        CPoint pixel;
        CPointD relative;
        ASSERT_TRUE(ScrollToImagePixel(c.image, c.W, c.H, c.x, c.y, pixel));
        ASSERT_TRUE(ScrollToRelative(c.image, c.W, c.H, c.x, c.y, relative));
        EXPECT_GE(relative.x, 0.0);
        EXPECT_LT(relative.x, 1.0);
        EXPECT_GE(relative.y, 0.0);
        EXPECT_LT(relative.y, 1.0);
        EXPECT_EQ(static_cast<int>(std::trunc(c.W * relative.x)), pixel.x) << c.x;
        EXPECT_EQ(static_cast<int>(std::trunc(c.H * relative.y)), pixel.y) << c.y;
    }
}

TEST(ImageViewMapping, ImagePixelsToScrollPoints)
{
    struct Case
    {
        CRect image;
        int W, H;
        CPoint pixel;
        CPoint scroll;
    };
    const std::vector<Case> table = {
        {CRect(0, 0, 300, 200), 600, 400, {599, 399}, {299, 199}},
        {CRect(0, 0, 300, 200), 600, 400, {600, 400}, {300, 200}}, // the far edge
        {CRect(10, 20, 1210, 820), 600, 400, {1, 1}, {12, 22}},
        {CRect(50, 0, 250, 200), 1, 1, {0, 0}, {50, 0}},
        {CRect(50, 0, 250, 200), 1, 1, {1, 1}, {250, 200}},
        {CRect(0, 0, 333, 100), 1000, 300, {3, 3}, {0, 1}},
        {CRect(5, 5, 105, 105), 0, 0, {3, 3}, {5, 5}}, // no image: the corner
    };
    for (const Case& c : table)
        EXPECT_EQ(ImagePixelToScroll(c.image, c.W, c.H, c.pixel), c.scroll)
            << Text(c.image) << " " << c.pixel.x << "," << c.pixel.y;

    // Enlarged, every pixel maps back to itself from where it begins.
    const CRect enlarged(0, 0, 300, 300);
    for (int p = 0; p < 100; ++p)
    {
        const CPoint scroll = ImagePixelToScroll(enlarged, 100, 100, CPoint{p, p});
        CPoint back;
        ASSERT_TRUE(ScrollToImagePixel(enlarged, 100, 100, scroll.x, scroll.y, back));
        EXPECT_EQ(back, (CPoint{p, p}));
    }
    EXPECT_EQ(ImageRectToScroll(CRect(10, 20, 1210, 820), 600, 400, CRect(0, 0, 600, 400)),
              CRect(10, 20, 1210, 820));
}

TEST(ImageViewMapping, VisibleImagePart)
{
    struct Case
    {
        CRect image;
        int W, H, scrollX, scrollY, w, h;
        CRect visible;
    };
    const std::vector<Case> table = {
        // Twice enlarged, scrolled.
        {CRect(0, 0, 1200, 800), 600, 400, 100, 50, 300, 200, CRect(50, 25, 200, 125)},
        // Three times: a pixel partly shown counts.
        {CRect(0, 0, 300, 300), 100, 100, 1, 1, 10, 10, CRect(0, 0, 4, 4)},
        {CRect(0, 0, 300, 300), 100, 100, 290, 290, 10, 10, CRect(96, 96, 100, 100)},
        // Centred and smaller than the client area: all of it.
        {CRect(100, 75, 200, 125), 100, 50, 0, 0, 300, 200, CRect(0, 0, 100, 50)},
        // Reduced: all of it.
        {CRect(150, 0, 1770, 1080), 6000, 4000, 0, 0, 1920, 1080, CRect(0, 0, 6000, 4000)},
        // Scrolled out of sight, no client area, no image rectangle.
        {CRect(0, 0, 300, 200), 600, 400, 1000, 0, 100, 100, CRect()},
        {CRect(0, 0, 300, 200), 600, 400, 0, 0, 0, 100, CRect()},
        {CRect(50, 0, 50, 200), 600, 400, 0, 0, 300, 200, CRect()},
        {CRect(0, 0, 300, 200), 0, 400, 0, 0, 300, 200, CRect()},
    };
    for (const Case& c : table)
        EXPECT_EQ(VisibleImageRect(c.image, c.W, c.H, c.scrollX, c.scrollY, c.w, c.h), c.visible)
            << Text(c.image) << " at " << c.scrollX << "," << c.scrollY;
}

TEST(ImageViewMapping, PreviewIsTheShownSizeButNeverLargerThanTheImage)
{
    struct Case
    {
        CRect image;
        int W, H;
        CRect preview;
    };
    const std::vector<Case> table = {
        {CRect(150, 0, 1770, 1080), 6000, 4000, CRect(0, 0, 1620, 1080)},
        {CRect(0, 0, 1200, 800), 600, 400, CRect(0, 0, 600, 400)},
        {CRect(50, 0, 250, 200), 1, 1, CRect(0, 0, 1, 1)},
        {CRect(0, 0, 600, 150), 600, 400, CRect(0, 0, 600, 150)},
        {CRect(0, 0, 0, 150), 600, 400, CRect()},
        {CRect(0, 0, 100, 100), 0, 0, CRect()},
    };
    for (const Case& c : table)
        EXPECT_EQ(PreviewRect(c.image, c.W, c.H), c.preview) << Text(c.image);
}

TEST(ImageViewMapping, HitScaleAndCoarseFactor)
{
    // (image rectangle, W, x) -> image pixels under one client pixel.
    struct ScaleCase
    {
        CRect image;
        int W, x, scale;
    };
    const std::vector<ScaleCase> scales = {
        {CRect(0, 0, 300, 200), 600, 10, 2}, {CRect(0, 0, 400, 400), 100, 5, 1},
        {CRect(0, 0, 300, 100), 1000, 0, 3}, {CRect(0, 0, 300, 100), 1000, 2, 4},
        {CRect(7, 0, 107, 100), 100, 50, 1}, {CRect(0, 0, 0, 100), 1000, 0, 1},
        {CRect(0, 0, 100, 100), 0, 0, 1},
    };
    for (const ScaleCase& c : scales)
        EXPECT_EQ(HitScale(c.image, c.W, c.x), c.scale) << Text(c.image) << " x " << c.x;

    // (W, preview width) -> one sample per 4 x 4 preview pixels.
    const std::vector<std::tuple<int, int, int>> factors = {
        {6000, 1920, 12}, {6000, 1620, 14}, {600, 600, 4}, {1, 1, 4}, {0, 100, 4}, {100, 0, 4},
    };
    for (const auto& [W, preview, factor] : factors)
        EXPECT_EQ(CoarseFactor(W, preview), factor) << W << " on " << preview;
}

TEST(ImageViewMapping, PanStaysWithinTheScrollRange)
{
    // (start, point, maximum) -> position
    const std::vector<std::tuple<int, int, int, int>> table = {
        {150, 100, 100, 50}, {150, 30, 100, 100}, {10, 50, 100, 0}, {10, 5, -3, 0}, {0, 0, 0, 0},
    };
    for (const auto& [start, point, maximum, position] : table)
        EXPECT_EQ(PanPosition(start, point, maximum), position) << start << " " << point;
}

TEST(ImageViewRefinement, ATickRendersAnotherTileOnlyWhenItIsExpectedToFit)
{
    // (elapsed ms, tiles rendered, budget ms) -> one more tile
    const std::vector<std::tuple<std::int64_t, int, int, bool>> table = {
        {0, 0, 50, true},     // the first tile always
        {500, 0, 50, true},   // even on a clock that ran ahead
        {20, 1, 50, true},    // 20 + 20 = 40
        {25, 1, 50, true},    // 25 + 25 = 50, just within
        {26, 1, 50, false},   // 26 + 26 = 52: the next tile would overrun
        {40, 2, 50, false},   // 40 + 20 = 60
        {45, 9, 50, true},    // 45 + 5 = 50
        {49, 100, 50, true},  // small tiles fill the budget
        {51, 100, 50, false}, // over already
        {0, 5, 50, true},     // a standing clock never ends a tick
        {-30, 3, 50, true},   // nor one that went back
        {10, 1, 0, false},    // no budget: one tile a tick
    };
    for (const auto& [elapsed, rendered, budget, more] : table)
        EXPECT_EQ(TickHasRoom(elapsed, rendered, budget), more)
            << elapsed << " ms, " << rendered << " tiles, budget " << budget;
}

TEST(ImageViewWheel, DeltasAddUpToWholeLines)
{
    struct Case
    {
        std::vector<int> deltas;
        std::vector<int> lines;
    };
    const std::vector<Case> table = {
        {{120}, {1}},
        {{-120}, {-1}},
        {{240, -360}, {2, -3}},
        {{40, 40, 40, 40}, {0, 0, 1, 0}},
        {{-100, -20}, {0, -1}},
        {{60, -60, -60}, {0, 0, -1}}, // turning back forgets the part notch
        {{119, 1, 119}, {0, 1, 0}},
    };
    for (const Case& c : table)
    {
        WheelAccumulator wheel;
        std::vector<int> lines;
        for (int delta : c.deltas)
            lines.push_back(wheel.Add(delta));
        EXPECT_EQ(lines, c.lines);
    }
}
