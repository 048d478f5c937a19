// The trimming panel's rules apart from the panel: ratios of the ratio
// types, the custom ratios of the settings, hit parts and their cursors,
// how a drag of each part reshapes the frame, typed frame sizes, the frame
// a ratio type starts with, and the output size in pixels and millimetres.

#include "app/panels/trimming/TrimmingViewLogic.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

namespace trimming {

std::ostream& operator<<(std::ostream& out, const Ratio& r)
{
    return out << r.width << ":" << r.height;
}

std::ostream& operator<<(std::ostream& out, const FrameSize& s)
{
    return out << s.width << "x" << s.height;
}

std::ostream& operator<<(std::ostream& out, TrimPart part)
{
    return out << static_cast<int>(part);
}

} // namespace trimming

namespace {

using namespace trimming;

std::string Text(const CRect& r)
{
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" +
           std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
}

FrameRules RulesOf(int orgWidth, int orgHeight, std::optional<Ratio> ratio)
{
    FrameRules rules;
    rules.orgWidth = orgWidth;
    rules.orgHeight = orgHeight;
    rules.ratio = ratio;
    return rules;
}

TEST(TrimmingViewLogic, RatioOfEveryType)
{
    const CustomRatios custom = {Ratio{2, 3}, Ratio{5, 1}, Ratio{1, 10}};
    struct Case
    {
        int type;
        int orgWidth;
        int orgHeight;
        std::optional<Ratio> ratio;
    };
    const Case cases[] = {
        {0, 4000, 3000, Ratio{1189, 841}}, // AB landscape: wider than high
        {1, 4000, 3000, Ratio{841, 1189}}, {2, 4000, 3000, Ratio{143, 100}},
        {3, 4000, 3000, Ratio{100, 143}},  {4, 4000, 3000, Ratio{148, 100}},
        {5, 4000, 3000, Ratio{100, 148}},  {6, 4000, 3000, Ratio{4, 3}},
        {7, 4000, 3000, Ratio{16, 9}},     {8, 4000, 3000, Ratio{1, 1}},
        {9, 4000, 3000, std::nullopt},     {10, 4000, 3000, Ratio{4000, 3000}},
        {10, 0, 0, std::nullopt}, // the image's ratio without an image
        {10, 640, 0, std::nullopt},        {11, 4000, 3000, Ratio{2, 3}},
        {12, 4000, 3000, Ratio{5, 1}},     {13, 4000, 3000, Ratio{1, 10}},
        {-1, 4000, 3000, std::nullopt},    {14, 4000, 3000, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RatioOfType(c.type, c.orgWidth, c.orgHeight, custom), c.ratio) << c.type;
}

TEST(TrimmingViewLogic, CustomRatioFromTheSettings)
{
    struct Case
    {
        int width;
        int height;
        Ratio expected;
    };
    const Case cases[] = {
        {3, 2, {3, 2}},           {1200, 5, {1, 5}}, // a side beyond 1000 keeps its default 1
        {1, 11, {1, 1}},                             // steeper than 1:10
        {10, 1, {10, 1}},                            // exactly 10:1 is allowed
        {1000, 100, {1000, 100}}, {1000, 99, {1, 1}},   {0, 7, {1, 7}},
        {-5, 3, {1, 3}},          {1001, 1001, {1, 1}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CustomRatioFromSettings(c.width, c.height), c.expected)
            << c.width << "," << c.height;
}

TEST(TrimmingViewLogic, HitPartsInTheirOrder)
{
    const CRect frame(100, 50, 300, 250);
    struct Case
    {
        CPoint p;
        int scale;
        TrimPart part;
    };
    const Case cases[] = {
        {{100, 50}, 1, TrimPart::TopLeft},
        {{96, 46}, 1, TrimPart::TopLeft}, // the square's far corner
        {{95, 50}, 1, TrimPart::None},
        {{104, 54}, 1, TrimPart::TopLeft},
        {{105, 55}, 1, TrimPart::Move},
        {{300, 50}, 1, TrimPart::TopRight},
        {{100, 250}, 1, TrimPart::BottomLeft},
        {{300, 250}, 1, TrimPart::BottomRight},
        {{100, 150}, 1, TrimPart::Left},
        {{200, 50}, 1, TrimPart::Top},
        {{300, 150}, 1, TrimPart::Right},
        {{200, 250}, 1, TrimPart::Bottom},
        {{200, 150}, 1, TrimPart::Move},
        {{299, 249}, 3, TrimPart::BottomRight},
        {{350, 150}, 1, TrimPart::None},
        {{200, 251}, 1, TrimPart::Bottom},
        {{200, 255}, 1, TrimPart::None},
        {{108, 58}, 2, TrimPart::TopLeft}, // the tolerance grows with the scale
        {{109, 58}, 2, TrimPart::Move},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HitTrimPart(frame, 400, 300, 6, c.p, c.scale), c.part)
            << c.p.x << "," << c.p.y << " scale " << c.scale;

    // A frame smaller than the handles: the corners come first.
    EXPECT_EQ(HitTrimPart(CRect(100, 100, 106, 106), 400, 300, 9, {103, 103}, 1),
              TrimPart::TopLeft);
    // Free on the whole image: every press draws a new frame.
    for (const CPoint p : {CPoint{0, 0}, CPoint{200, 150}, CPoint{399, 299}})
        EXPECT_EQ(HitTrimPart(CRect(0, 0, 400, 300), 400, 300, 9, p, 1), TrimPart::NewFrame);
    // With a fixed ratio the whole image is a frame like any other.
    EXPECT_EQ(HitTrimPart(CRect(0, 0, 400, 300), 400, 300, 6, {0, 0}, 1), TrimPart::TopLeft);
}

TEST(TrimmingViewLogic, CursorOfEachPart)
{
    const std::pair<TrimPart, int> cases[] = {
        {TrimPart::TopLeft, 200},    {TrimPart::BottomRight, 200}, {TrimPart::TopRight, 201},
        {TrimPart::BottomLeft, 201}, {TrimPart::Top, 202},         {TrimPart::Bottom, 202},
        {TrimPart::Left, 203},       {TrimPart::Right, 203},       {TrimPart::Move, 204},
        {TrimPart::NewFrame, 208},   {TrimPart::None, 0},
    };
    for (const auto& [part, cursor] : cases)
        EXPECT_EQ(CursorOfPart(part), cursor) << part;
}

TEST(TrimmingViewLogic, SidesForARatioAndValidFrames)
{
    const FrameRules fourThree = RulesOf(4000, 3000, Ratio{4, 3});
    EXPECT_EQ(fourThree.WidthForHeight(2250), 3000);
    EXPECT_EQ(fourThree.HeightForWidth(3000), 2250);
    EXPECT_EQ(fourThree.WidthForHeight(2), 50);   // never below the smallest width
    EXPECT_EQ(fourThree.HeightForWidth(101), 76); // 75.75 rounds up
    const FrameRules free = RulesOf(4000, 3000, std::nullopt);
    EXPECT_EQ(free.WidthForHeight(123), 123);
    EXPECT_EQ(free.HeightForWidth(77), 77);

    // The smallest sides: the image side below 50.
    EXPECT_EQ(RulesOf(40, 3000, std::nullopt).MinWidth(), 40);
    EXPECT_EQ(RulesOf(40, 3000, std::nullopt).MinHeight(), 50);
    EXPECT_EQ(RulesOf(0, 0, std::nullopt).MinWidth(), 50);

    const FrameRules sixteenNine = RulesOf(400, 300, Ratio{16, 9});
    struct Case
    {
        CRect frame;
        bool free;
        bool fixed;
    };
    const Case cases[] = {
        {{0, 0, 400, 300}, true, true},
        {{-1, 0, 399, 300}, false, false},
        {{0, -1, 400, 299}, false, false},
        {{1, 0, 401, 300}, false, false},
        {{0, 1, 400, 301}, false, false},
        {{10, 10, 60, 60}, true, false}, // 50 x 50: too narrow for 16:9 (89 for 50 high)
        {{10, 10, 99, 60}, true, true},
        {{10, 10, 59, 60}, false, false},  // 49 wide
        {{10, 10, 110, 59}, false, false}, // 49 high
        {{10, 10, 10, 10}, false, false},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(RulesOf(400, 300, std::nullopt).IsValid(c.frame), c.free) << Text(c.frame);
        EXPECT_EQ(sixteenNine.IsValid(c.frame), c.fixed) << Text(c.frame);
    }
}

TEST(TrimmingViewLogic, DraggingEachPart)
{
    const CRect start(100, 75, 300, 225); // 200 x 150 in a 400 x 300 image
    const CPoint anchor{150, 150};
    const FrameRules free = RulesOf(400, 300, std::nullopt);
    const FrameRules fourThree = RulesOf(400, 300, Ratio{4, 3});
    struct Case
    {
        const FrameRules* rules;
        TrimPart part;
        int dx;
        int dy;
        CRect expected;
    };
    const Case cases[] = {
        {&free, TrimPart::TopLeft, -10, -20, {90, 55, 300, 225}},
        {&free, TrimPart::TopRight, 10, -20, {100, 55, 310, 225}},
        {&free, TrimPart::BottomLeft, -10, 20, {90, 75, 300, 245}},
        {&free, TrimPart::BottomRight, 10, 5, {100, 75, 310, 230}},
        {&free, TrimPart::Left, -10, 99, {90, 75, 300, 225}},
        {&free, TrimPart::Right, 10, 99, {100, 75, 310, 225}},
        {&free, TrimPart::Top, 99, -5, {100, 70, 300, 225}},
        {&free, TrimPart::Bottom, 99, 5, {100, 75, 300, 230}},
        // With a ratio a corner follows dy and its side takes the width.
        {&fourThree, TrimPart::TopLeft, 99, -30, {60, 45, 300, 225}},
        {&fourThree, TrimPart::TopRight, -99, 15, {100, 90, 280, 225}},
        {&fourThree, TrimPart::BottomLeft, 99, 30, {60, 75, 300, 255}},
        {&fourThree, TrimPart::BottomRight, 99, -15, {100, 75, 280, 210}},
        // An edge keeps the ratio about the old centre across it.
        {&fourThree, TrimPart::Top, 99, -30, {80, 45, 320, 225}},
        {&fourThree, TrimPart::Bottom, 99, 15, {90, 75, 310, 240}},
        {&fourThree, TrimPart::Left, -40, 99, {60, 60, 300, 240}},
        {&fourThree, TrimPart::Right, 20, 99, {100, 67, 320, 232}},
        // Moving keeps the size against the image's edges.
        {&free, TrimPart::Move, 50, 30, {150, 105, 350, 255}},
        {&free, TrimPart::Move, 200, 200, {200, 150, 400, 300}},
        {&fourThree, TrimPart::Move, -500, -500, {0, 0, 200, 150}},
        {&free, TrimPart::None, 10, 10, start},
    };
    for (const Case& c : cases)
    {
        const CRect got =
            NewTrimFrame(*c.rules, c.part, start, anchor, CPoint{anchor.x + c.dx, anchor.y + c.dy});
        EXPECT_EQ(got, c.expected) << c.part << " " << c.dx << "," << c.dy << ": " << Text(got);
    }
    // The top edge of a 4:3 frame keeps 4:3 and the horizontal centre.
    const CRect top = NewTrimFrame(fourThree, TrimPart::Top, start, anchor, {150, 120});
    EXPECT_EQ(top.left + top.right, start.left + start.right);
    EXPECT_EQ(top.Width() * 3, top.Height() * 4);

    // A new frame runs from the press to the pointer, whichever way.
    EXPECT_EQ(NewTrimFrame(free, TrimPart::NewFrame, CRect(50, 40, 50, 40), {50, 40}, {20, 100}),
              CRect(20, 40, 50, 100));
}

TEST(TrimmingViewLogic, TypedFrameSizesFitTheImageAndTheRatio)
{
    struct Case
    {
        const char* what;
        FrameRules rules;
        bool height; // FitFrameHeight, else FitFrameWidth
        int value;
        int x;
        int y;
        int other;
        FrameSize expected;
    };
    const Case cases[] = {
        {"free, beyond the image",
         RulesOf(4000, 3000, std::nullopt),
         false,
         5000,
         1000,
         500,
         1000,
         {3000, 1000}},
        {"free, below the minimum",
         RulesOf(4000, 3000, std::nullopt),
         false,
         10,
         0,
         0,
         1000,
         {50, 1000}},
        {"4:3 fits", RulesOf(4000, 3000, Ratio{4, 3}), false, 2000, 1000, 500, 1000, {2000, 1500}},
        {"4:3, the height held below",
         RulesOf(4000, 3000, Ratio{4, 3}),
         false,
         3000,
         1000,
         1500,
         1000,
         {2000, 1500}},
        {"4:3, raised for the minimum height",
         RulesOf(4000, 3000, Ratio{4, 3}),
         false,
         10,
         0,
         0,
         1000,
         {67, 50}},
        {"4:3 height, the width held right",
         RulesOf(4000, 3000, Ratio{4, 3}),
         true,
         1500,
         3000,
         0,
         800,
         {1000, 750}},
        {"free height", RulesOf(4000, 3000, std::nullopt), true, 2999, 0, 10, 800, {800, 2990}},
    };
    for (const Case& c : cases)
    {
        const FrameSize got = c.height ? FitFrameHeight(c.rules, c.value, c.x, c.y, c.other)
                                       : FitFrameWidth(c.rules, c.value, c.x, c.y, c.other);
        EXPECT_EQ(got, c.expected) << c.what;
    }
}

TEST(TrimmingViewLogic, FrameEachRatioTypeStartsWith)
{
    const CustomRatios custom = {Ratio{1, 10}, Ratio{1, 1}, Ratio{1, 1}};
    const CRect current(10, 10, 60, 60);
    struct Case
    {
        int type;
        int width;
        int height;
        CRect expected;
    };
    const Case cases[] = {
        {7, 4000, 3000, {0, 375, 4000, 2625}}, // 16:9 across the whole width
        {6, 4000, 3000, {0, 0, 4000, 3000}},
        {1, 4000, 3000, {939, 0, 3061, 3000}}, // 841:1189 over the whole height
        {8, 4000, 3000, {500, 0, 3500, 3000}},
        {9, 4000, 3000, current},                 // free: the frame stays
        {10, 4000, 3000, {200, 150, 3800, 2850}}, // nine tenths
        {10, 40, 30, {0, 0, 40, 30}},             // nine tenths would be below the minimum
        {11, 4000, 3000, {1850, 0, 2150, 3000}},
        {3, 45, 3000, {0, 1468, 45, 1532}}, // 100:143 on a narrow image
        {7, 0, 0, current},                 // no image
        {10, 0, 0, current},
    };
    for (const Case& c : cases)
    {
        const FrameRules rules =
            RulesOf(c.width, c.height, RatioOfType(c.type, c.width, c.height, custom));
        const CRect got = FrameForRatioType(rules, c.type, current);
        EXPECT_EQ(got, c.expected)
            << c.type << " on " << c.width << "x" << c.height << ": " << Text(got);
    }
}

TEST(TrimmingViewLogic, PixelsAndMillimetres)
{
    EXPECT_NEAR(MMFromPixels(4000, 300), 338.6667, 1e-4);
    EXPECT_EQ(MMFromPixels(4000, 0), 0.0);
    EXPECT_EQ(MMFromPixels(4000, -300), 0.0);

    struct Hundredths
    {
        int pixels;
        int dpi;
        int mm100;
    };
    const Hundredths hundredths[] = {
        {4000, 300, 33866}, {4000, 200, 50800}, {3000, 200, 38100},
        {1181, 300, 9999},  {600, 254, 6000}, // 59.99999... when divided first
        {15, 100, 381},                       // likewise 380.99999...
        {4000, 0, 0},
    };
    for (const Hundredths& c : hundredths)
        EXPECT_EQ(MM100FromPixels(c.pixels, c.dpi), c.mm100) << c.pixels << " at " << c.dpi;

    EXPECT_EQ(PixelsFromMM(100.0, 300), 1181);
    EXPECT_EQ(PixelsFromMM(75.0, 300), 886);
    EXPECT_EQ(PixelsFromMM(100.0, 0), 0);

    // Two decimals shown are the hundredths kept, even where the binary
    // value lies just below (2.30 x 100 = 229.99999999999997).
    const std::pair<double, int> typed[] = {
        {2.30, 230}, {0.29, 29}, {1.15, 115}, {4.35, 435}, {8.20, 820}, {338.67, 33867}, {0.0, 0},
    };
    for (const auto& [mm, mm100] : typed)
        EXPECT_EQ(MM100FromMM(mm), mm100) << mm;
}

TEST(TrimmingViewLogic, OutputSizeKeepsTheFrameShapeWithinTheLimits)
{
    const OutputLimits heights = OutputLimitsOf(3000); // 50..4000
    const OutputLimits widths = OutputLimitsOf(4000);
    EXPECT_EQ(heights.minimum, 50);
    EXPECT_EQ(heights.maximum, 4000);
    EXPECT_EQ(OutputLimitsOf(6000).maximum, 6000);
    EXPECT_EQ(OutputLimitsOf(40).minimum, 40);

    struct Case
    {
        bool byHeight;
        int width;
        int height;
        int frameWidth;
        int frameHeight;
        FrameSize expected;
    };
    const Case cases[] = {
        {false, 1000, 1, 4000, 3000, {1000, 750}},
        {false, 6000, 1, 4000, 3000, {5333, 4000}}, // the height stops at its maximum
        {false, 10, 1, 4000, 3000, {67, 50}},       // ... and at its minimum
        {false, 1000, 77, 0, 3000, {1000, 77}},     // no frame: nothing derived
        {true, 1, 750, 4000, 3000, {1000, 750}},
        {true, 1, 9000, 3000, 4000, {4000, 5333}},
        {true, 33, 750, 4000, 0, {33, 750}},
    };
    for (const Case& c : cases)
    {
        const FrameSize got =
            c.byHeight
                ? OutputForPixelHeight(c.width, c.height, c.frameWidth, c.frameHeight, widths)
                : OutputForPixelWidth(c.width, c.height, c.frameWidth, c.frameHeight, heights);
        EXPECT_EQ(got, c.expected) << c.width << "x" << c.height;
    }

    const OutputLimitsMM mmHeights = OutputLimitsMMOf(3000, 300);
    EXPECT_NEAR(mmHeights.minimum, 50 / 300.0 * 25.4, 1e-9);
    EXPECT_NEAR(mmHeights.maximum, 4000 / 300.0 * 25.4, 1e-9);
    const SizeMM fits = OutputForMMWidth(100.0, 1.0, 4000, 3000, mmHeights);
    EXPECT_DOUBLE_EQ(fits.width, 100.0);
    EXPECT_DOUBLE_EQ(fits.height, 75.0);
    const SizeMM held = OutputForMMWidth(500.0, 1.0, 4000, 3000, mmHeights);
    EXPECT_DOUBLE_EQ(held.height, mmHeights.maximum);
    EXPECT_DOUBLE_EQ(held.width, mmHeights.maximum * 4000 / 3000);
    const SizeMM byHeight = OutputForMMHeight(1.0, 75.0, 4000, 3000, OutputLimitsMMOf(4000, 300));
    EXPECT_DOUBLE_EQ(byHeight.width, 100.0);
    const SizeMM noFrame = OutputForMMWidth(12.5, 7.0, 4000, 0, mmHeights);
    EXPECT_DOUBLE_EQ(noFrame.height, 7.0);
    // No resolution: no limits to divide by.
    EXPECT_EQ(OutputLimitsMMOf(3000, 0).maximum, 0.0);
}

TEST(TrimmingViewLogic, OutputFieldsReadFromTheControls)
{
    struct Case
    {
        const char* what;
        int mode;
        bool dpiChanged;
        int dpi;
        int pixelWidth;
        int pixelHeight;
        double mmWidth;
        double mmHeight;
        OutputFields expected;
    };
    const Case cases[] = {
        {"pixels", 0, false, 300, 4000, 3000, 1.0, 1.0, {4000, 3000, 33866, 25400}},
        {"millimetres", 1, false, 300, 1, 1, 100.0, 75.0, {1181, 886, 10000, 7500}},
        {"millimetres at a new resolution",
         1,
         true,
         200,
         4000,
         3000,
         1.0,
         1.0,
         {4000, 3000, 50800, 38100}},
        {"2.30 mm stays 2.30", 1, false, 1200, 1, 1, 2.30, 8.20, {109, 387, 230, 820}},
        {"no resolution, pixels", 0, false, 0, 4000, 3000, 1.0, 1.0, {4000, 3000, 0, 0}},
        {"no resolution, millimetres", 1, false, 0, 1, 1, 100.0, 75.0, {0, 0, 10000, 7500}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadOutputFields(c.mode, c.dpiChanged, c.dpi, c.pixelWidth, c.pixelHeight,
                                   c.mmWidth, c.mmHeight),
                  c.expected)
            << c.what;
}

} // namespace
