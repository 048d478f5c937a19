// The gradation graph, the histogram with a selectable range and the RGB
// histogram: their arithmetic from tables, then the controls painted into
// images and driven by mouse, timer and a fake pointer.

#include "controls/widgets/GraphLogic.h"
#include "controls/widgets/GrayScaleGraphCtrl.h"
#include "controls/widgets/HistogramGraphCtrl.h"
#include "controls/widgets/RGBHistogramCtrl.h"
#include "tests/controls/FakePointerState.h"

#include <gtest/gtest.h>

#include <QMouseEvent>
#include "tests/controls/NotifySpy.h"

#include <QSignalSpy>
#include <QTest>

#include <cstdint>
#include <tuple>
#include <vector>

namespace {

constexpr int kMessage = 0x470;

bool IsBlack(QRgb pixel)
{
    return qRed(pixel) == 0 && qGreen(pixel) == 0 && qBlue(pixel) == 0;
}

bool IsWhite(QRgb pixel)
{
    return qRed(pixel) == 255 && qGreen(pixel) == 255 && qBlue(pixel) == 255;
}

// ---- arithmetic ----------------------------------------------------------

TEST(GraphLogic, BarHeightIsExactInSixtyFourBits)
{
    struct Case
    {
        std::int64_t span;
        std::uint64_t count;
        std::int64_t scale;
        std::int64_t expected;
    };
    const Case cases[] = {
        {99, 24'000'000, 1, 99LL * 24'000'000},  // one value of a 6000 x 4000 image
        {297, 24'000'000, 375'000, 297LL * 64},   // beyond 2^31 before the division
        {99, 50, 100, 49},                        // truncated
        {99, 50, 0, 99 * 50},                     // a scale of 0 counts as 1
        {0, 1000, 1, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(graphlogic::BarHeight(c.span, c.count, c.scale), c.expected) << c.span << " " << c.count;
}

TEST(GraphLogic, Scales)
{
    const std::vector<std::uint32_t> spike = {7, 10, 1000, 30, 20, 5000};
    // The ends take no part; below the maximum (5000, the last bin) the
    // largest inner count is 1000.
    EXPECT_EQ(graphlogic::SecondHighestScale(spike), 1000);
    const std::vector<std::uint32_t> innerSpike = {0, 10, 1000, 30, 20, 0};
    EXPECT_EQ(graphlogic::SecondHighestScale(innerSpike), 30);
    const std::vector<std::uint32_t> flat(256, 5);
    EXPECT_EQ(graphlogic::SecondHighestScale(flat), 1);
    EXPECT_EQ(graphlogic::SecondHighestScale({}), 1);

    const std::vector<std::uint32_t> mean = {4, 0, 0, 0};
    EXPECT_EQ(graphlogic::FourTimesMeanScale(mean), 4);
    EXPECT_EQ(graphlogic::FourTimesMeanScale(std::vector<std::uint32_t>(256, 0)), 1);
    EXPECT_EQ(graphlogic::FourTimesMeanScale({}), 1);
    // 4 x the mean of 256 bins each at 2^32 - 1 needs more than 32 bits.
    const std::vector<std::uint32_t> full(256, 0xFFFFFFFFu);
    EXPECT_EQ(graphlogic::FourTimesMeanScale(full), 4LL * 0xFFFFFFFFLL);

    const std::vector<std::uint32_t> r = {8, 0}, g = {0, 0}, b = {0, 40}, l = {2, 2};
    EXPECT_EQ(graphlogic::RGBHistogramScale(r, g, b, l), 80);
    EXPECT_EQ(graphlogic::RGBBarHeight(80, 80), 100);
    EXPECT_EQ(graphlogic::RGBBarHeight(1000, 80), 100);
    EXPECT_EQ(graphlogic::RGBBarHeight(79, 80), 98);
    EXPECT_EQ(graphlogic::RGBBarHeight(0, 80), 0);
}

TEST(GraphLogic, DragRange)
{
    struct Case
    {
        int anchor, c, n;
        bool hue;
        graphlogic::BinRange expected;
    };
    const Case cases[] = {
        {100, 150, 256, false, {100, 150}},
        {100, 20, 256, false, {20, 100}},
        {100, -20, 256, false, {0, 100}},  // clamped, no wrap
        {100, 300, 256, false, {100, 255}},
        {100, -20, 256, true, {236, 100}}, // wraps from the right end to the anchor
        {100, -200, 256, true, {101, 100}}, // at least the bin after the anchor
        {100, 270, 256, true, {100, 14}},  // wraps from the anchor round the left
        {100, 400, 256, true, {100, 99}},  // at most the bin before the anchor
        {255, -1, 256, true, {255, 255}},  // start beyond the last bin is clamped
        {0, 256, 256, true, {0, 0}},       // end before the first bin is clamped
        {30, 30, 256, true, {30, 30}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(graphlogic::DragRange(c.anchor, c.c, c.n, c.hue), c.expected)
            << c.anchor << " " << c.c << " " << c.hue;
}

TEST(GraphLogic, BinsAndColumns)
{
    EXPECT_EQ(graphlogic::BinAt(128, 256, 258), 128);
    EXPECT_EQ(graphlogic::BinAt(-20, 256, 258), -20);
    EXPECT_EQ(graphlogic::BinAt(300, 256, 258), 300);
    EXPECT_EQ(graphlogic::BinAt(5, 256, 2), 0); // no room: no division by 0
    EXPECT_EQ(graphlogic::ClampBin(-3, 256), 0);
    EXPECT_EQ(graphlogic::ClampBin(256, 256), 255);
    EXPECT_EQ(graphlogic::ClampBin(5, 0), 0);

    EXPECT_EQ(graphlogic::MarkerColumn(0, 256, 258), 1);
    EXPECT_EQ(graphlogic::MarkerColumn(255, 256, 258), 256);
    EXPECT_EQ(graphlogic::MarkerColumn(10, 0, 258), 1);

    struct Case
    {
        graphlogic::BinRange range;
        int count;
        graphlogic::ColumnBlock first, second;
    };
    const Case cases[] = {
        {{30, 30}, 1, {0, 257}, {}},
        {{10, 20}, 1, {11, 20}, {}},
        {{236, 100}, 2, {0, 100}, {237, 257}},
    };
    for (const Case& c : cases)
    {
        const auto columns = graphlogic::RangeToColumns(c.range, 256, 258);
        ASSERT_EQ(columns.count, c.count);
        EXPECT_EQ(columns.blocks[0], c.first);
        if (c.count == 2)
        {
            EXPECT_EQ(columns.blocks[1], c.second);
        }
    }

    struct Level
    {
        int x, width, expected;
    };
    const Level levels[] = {{0, 200, 0},   {199, 200, 255}, {100, 200, 128}, {-1, 200, -1},
                            {200, 200, -1}, {0, 1, 0}};
    for (const Level& l : levels)
        EXPECT_EQ(graphlogic::LevelAtColumn(l.x, l.width), l.expected) << l.x << " of " << l.width;
}

TEST(GraphLogic, GradationRowsAndHitTest)
{
    // Client 130 high around a 128-row plot: value v is drawn at row 128 - v.
    EXPECT_DOUBLE_EQ(graphlogic::LevelAtRow(128, 130, 128), 0.0);
    EXPECT_DOUBLE_EQ(graphlogic::LevelAtRow(1, 130, 128), 1.0);
    EXPECT_DOUBLE_EQ(graphlogic::LevelAtRow(65, 130, 128), 63.0 / 127.0);
    EXPECT_DOUBLE_EQ(graphlogic::LevelAtRow(-40, 130, 128), 1.0);
    EXPECT_DOUBLE_EQ(graphlogic::LevelAtRow(300, 130, 128), 0.0);
    EXPECT_DOUBLE_EQ(graphlogic::LevelAtRow(5, 130, 1), 0.0);

    std::vector<std::int16_t> curve(256);
    for (int i = 0; i < 256; ++i)
        curve[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i / 2);
    const std::vector<std::int16_t> points = {50, 100, 100, 400};
    struct Case
    {
        int x, y, expected;
    };
    const Case cases[] = {
        {51, 128 - 25, 0},    // on point 0
        {101, 128 - 50, 1},   // points 1 and 2 coincide: the first wins
        {110, 128 - 50, 1},   // 9 pixels off, still the nearest
        {500, 0, -1},         // too far from all: nothing
        {256, 128 - 127, 3},  // a column beyond the curve is taken as its last
    };
    for (const Case& c : cases)
        EXPECT_EQ(graphlogic::HitTestPoint(points, curve, c.x, c.y, 130), c.expected) << c.x << "," << c.y;
    EXPECT_EQ(graphlogic::HitTestPoint(points, {}, 51, 100, 130), -1);
}

// ---- histogram --------------------------------------------------------------

class HistogramGraph : public testing::Test
{
protected:
    void SetUp() override
    {
        graph.resize(258, 100);
        graph.setNotifyMessage(kMessage);
        graph.setPointerState(&pointer);
    }

    void Show()
    {
        graph.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&graph));
    }

    void PointAt(int x, int y, bool down)
    {
        pointer.position = graph.mapToGlobal(QPoint(x, y));
        pointer.buttonDown = down;
    }

    FakePointerState pointer;
    CHistogramGraphCtrl graph;
};

TEST_F(HistogramGraph, OneValueOfALargeImageDrawsAFullBar)
{
    std::vector<std::uint32_t> counts(256, 0);
    counts[128] = 6000u * 4000u;
    graph.SetHistogram(counts, 6);
    const QImage& bars = graph.bars();
    ASSERT_EQ(bars.size(), QSize(256, 100));
    for (int y = 0; y < 100; ++y)
        ASSERT_TRUE(IsWhite(bars.pixel(128, y))) << y;
    // An empty bin is one row at the bottom.
    EXPECT_TRUE(IsWhite(bars.pixel(10, 99)));
    EXPECT_TRUE(IsBlack(bars.pixel(10, 98)));
}

TEST_F(HistogramGraph, ASpikeIsClippedAndTheRestScaledToTheSecondHighest)
{
    std::vector<std::uint32_t> counts(256, 0);
    counts[100] = 1'000'000;
    counts[50] = 1000;
    counts[60] = 500;
    graph.SetHistogram(counts, 6);
    const QImage& bars = graph.bars();
    // Bin 50 reaches the top: e = 99 x 1000 / 1000.
    EXPECT_TRUE(IsWhite(bars.pixel(50, 0)));
    // Bin 60: e = 49, rows 50..99.
    EXPECT_TRUE(IsWhite(bars.pixel(60, 50)));
    EXPECT_TRUE(IsBlack(bars.pixel(60, 49)));
    // The spike is clipped to the picture.
    EXPECT_TRUE(IsWhite(bars.pixel(100, 0)));
}

TEST_F(HistogramGraph, BarColoursByKind)
{
    const std::vector<std::uint32_t> counts(256, 10);
    struct Case
    {
        int kind;
        int bin;
        QRgb expected;
    };
    const Case cases[] = {
        {0, 200, qRgb(200, 0, 0)}, {9, 17, qRgb(17, 0, 0)},  {1, 200, qRgb(0, 200, 0)},
        {10, 3, qRgb(0, 3, 0)},    {2, 200, qRgb(0, 0, 200)}, {11, 90, qRgb(0, 0, 90)},
        {6, 10, qRgb(255, 255, 255)}, {7, 10, qRgb(255, 255, 255)},
    };
    for (const Case& c : cases)
    {
        graph.SetHistogram(counts, c.kind);
        EXPECT_EQ(graph.bars().pixel(c.bin, 99) & 0xFFFFFF, c.expected & 0xFFFFFF) << c.kind;
    }
    // Hue: the swatch colour; hue 0 (bin 0) is a red, hue 180 (bin 128) is
    // not.
    graph.SetHistogram(counts, CHistogramGraphCtrl::kKindHue);
    const QRgb red = graph.bars().pixel(0, 99);
    const QRgb cyan = graph.bars().pixel(128, 99);
    EXPECT_GT(qRed(red), qBlue(red));
    EXPECT_GT(qBlue(cyan), qRed(cyan));
}

TEST_F(HistogramGraph, HueDragLeavingOnTheLeftSelectsTheWrappedRange)
{
    Show();
    graph.SetHistogram(std::vector<std::uint32_t>(256, 0), CHistogramGraphCtrl::kKindHue);
    QSignalSpy spy(&graph, &CHistogramGraphCtrl::notify);

    PointAt(100, 50, true); // where a tick of the running timer would find it
    QTest::mousePress(&graph, Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    EXPECT_EQ(graph.AnchorBin, 100);
    EXPECT_TRUE(graph.dragTimerActive());

    PointAt(-20, 50, true);
    graph.OnTimer(1);
    EXPECT_EQ(graph.RangeStart, 236);
    EXPECT_EQ(graph.RangeEnd, 100);
    graph.OnTimer(1); // no change: no event

    PointAt(-20, 50, false);
    graph.OnTimer(1); // the button is up: the drag ends here
    EXPECT_EQ(graph.AnchorBin, -1);
    EXPECT_FALSE(graph.dragTimerActive());
    QTest::mouseRelease(&graph, Qt::LeftButton, Qt::NoModifier, QPoint(-20, 50));

    const std::vector<Notification> expected = {{kMessage, 1, 0}, {kMessage, 1, 0}, {kMessage, 2, 0}};
    EXPECT_EQ(Notifications(spy), expected);

    // Two inverted blocks: columns 0..100 and 237..257 (rows above the bars
    // are black, so inverted they are white).
    const QImage image = graph.renderToImage();
    EXPECT_TRUE(IsWhite(image.pixel(50, 5)));
    EXPECT_TRUE(IsWhite(image.pixel(100, 5)));
    EXPECT_TRUE(IsBlack(image.pixel(101, 5)));
    EXPECT_TRUE(IsBlack(image.pixel(180, 5)));
    EXPECT_TRUE(IsBlack(image.pixel(236, 5)));
    EXPECT_TRUE(IsWhite(image.pixel(237, 5)));
    EXPECT_TRUE(IsWhite(image.pixel(250, 5)));
    // The frame stays black.
    EXPECT_TRUE(IsBlack(image.pixel(50, 0)));
    EXPECT_TRUE(IsBlack(image.pixel(257, 5)));
}

TEST_F(HistogramGraph, PressAndReleaseAreReportedOnce)
{
    Show();
    graph.SetHistogram(std::vector<std::uint32_t>(256, 1), 0);
    QSignalSpy spy(&graph, &CHistogramGraphCtrl::notify);
    // A press beyond the right edge is clamped to the last bin.
    PointAt(257, 50, true);
    QTest::mousePress(&graph, Qt::LeftButton, Qt::NoModifier, QPoint(257, 50));
    EXPECT_EQ(graph.RangeStart, 255);
    EXPECT_EQ(graph.RangeEnd, 255);
    PointAt(40, 50, true);
    graph.OnTimer(1);
    EXPECT_EQ(graph.RangeStart, 40);
    EXPECT_EQ(graph.RangeEnd, 255);
    QTest::mouseRelease(&graph, Qt::LeftButton, Qt::NoModifier, QPoint(40, 50));
    PointAt(40, 50, false);
    graph.OnTimer(1); // after the release: nothing more
    const std::vector<Notification> expected = {{kMessage, 1, 0}, {kMessage, 1, 0}, {kMessage, 2, 0}};
    EXPECT_EQ(Notifications(spy), expected);
    EXPECT_FALSE(graph.dragTimerActive());
}

TEST_F(HistogramGraph, PaintsBarsMarkersAndAPlainRange)
{
    std::vector<std::uint32_t> counts(256, 0);
    counts[1] = 10;
    counts[2] = 10;
    graph.SetHistogram(counts, 6);
    graph.RangeStart = 10;
    graph.RangeEnd = 20;
    graph.GreenMarker = 100;
    graph.RedMarker = 150;
    const QImage image = graph.renderToImage();
    // Bars occupy rows 9..93 (85 % from 100 - 85 - 5 - 1): bin 1's full bar
    // at column 2.
    EXPECT_TRUE(IsWhite(image.pixel(2, 9)));
    EXPECT_TRUE(IsWhite(image.pixel(2, 93)));
    EXPECT_TRUE(IsBlack(image.pixel(2, 8)));
    EXPECT_TRUE(IsBlack(image.pixel(2, 95)));
    // The range 10..20 is columns 11..20, inverted.
    EXPECT_TRUE(IsWhite(image.pixel(15, 5)));
    EXPECT_TRUE(IsBlack(image.pixel(25, 5)));
    EXPECT_EQ(image.pixel(101, 50) & 0xFFFFFF, qRgb(0x0F, 0xFF, 0x0F) & 0xFFFFFF);
    EXPECT_EQ(image.pixel(151, 50) & 0xFFFFFF, qRgb(0xFF, 0x7F, 0x7F) & 0xFFFFFF);

    // A disabled control shows no selection.
    graph.setEnabled(false);
    EXPECT_TRUE(IsBlack(graph.renderToImage().pixel(15, 5)));
}

// ---- RGB histogram ----------------------------------------------------------

TEST(RGBHistogram, AllZeroCountsPaintBlack)
{
    CRGBHistogramCtrl graph;
    graph.resize(200, 120);
    const std::vector<std::uint32_t> zero(256, 0);
    for (int mode : {0, 1})
    {
        graph.Mode = mode;
        graph.SetHistograms(zero, zero, zero, zero);
        EXPECT_EQ(graph.Bins, 256);
        const QImage image = graph.renderToImage();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ASSERT_TRUE(IsBlack(image.pixel(x, y))) << mode << " at " << x << "," << y;
    }
}

TEST(RGBHistogram, BandsAndOverlay)
{
    CRGBHistogramCtrl graph;
    graph.resize(256, 100);
    std::vector<std::uint32_t> r(256, 0), g(256, 0), b(256, 0), l(256, 0);
    // Scale: 4 x mean of r = 4 x 256 x 2 / 256 = 8 (the largest).
    r[10] = 512;
    g[10] = 4;
    b[20] = 8;
    l[30] = 2;
    graph.SetHistograms(r, g, b, l);
    const QImage& bands = graph.picture();
    // Red band rows 0..24: a full bar is 25 rows.
    EXPECT_EQ(bands.pixel(10, 24) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(bands.pixel(10, 0) & 0xFFFFFF, 0xFF0000u);
    // Green band rows 25..49: half the scale, 50 / 4 = 12 rows (38..49).
    EXPECT_EQ(bands.pixel(10, 49) & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(bands.pixel(10, 38) & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(bands.pixel(10, 37) & 0xFFFFFF, 0u);
    EXPECT_EQ(bands.pixel(20, 74) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(bands.pixel(30, 99) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(bands.pixel(30, 94) & 0xFFFFFF, 0xFFFFFFu); // 25 / 4 = 6 rows
    EXPECT_EQ(bands.pixel(30, 93) & 0xFFFFFF, 0u);

    // Overlaid: red and green add to yellow where both rise.
    graph.Mode = 1;
    graph.SetHistograms(r, g, b, l);
    const QImage& overlay = graph.picture();
    EXPECT_EQ(overlay.pixel(10, 99) & 0xFFFFFF, 0xFFFF00u);
    EXPECT_EQ(overlay.pixel(10, 50) & 0xFFFFFF, 0xFFFF00u);
    EXPECT_EQ(overlay.pixel(10, 49) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(overlay.pixel(30, 99) & 0xFFFFFF, 0u); // no luminance when overlaid
}

TEST(RGBHistogram, MarkersInFourBands)
{
    CRGBHistogramCtrl graph;
    graph.resize(256, 100);
    const std::vector<std::uint32_t> zero(256, 0);
    graph.SetHistograms(zero, zero, zero, zero);
    graph.MarkerLevels = {0, 255, 100, 50};
    graph.ShowMarkers = true;
    const QImage image = graph.renderToImage();
    const QRgb light = qRgb(0xFF, 0x80, 0x80) & 0xFFFFFF;
    EXPECT_EQ(image.pixel(0, 10) & 0xFFFFFF, light);
    EXPECT_EQ(image.pixel(0, 30) & 0xFFFFFF, 0u);
    EXPECT_EQ(image.pixel(255, 30) & 0xFFFFFF, 0u); // x = 256 is off the control
    EXPECT_EQ(image.pixel(100, 60) & 0xFFFFFF, light);
    EXPECT_EQ(image.pixel(50, 90) & 0xFFFFFF, light);
    EXPECT_EQ(image.pixel(50, 60) & 0xFFFFFF, 0u);

    graph.Mode = 1;
    EXPECT_EQ(graph.renderToImage().pixel(0, 10) & 0xFFFFFF, 0u);
}

TEST(RGBHistogram, MouseReportsLevels)
{
    CRGBHistogramCtrl graph;
    graph.resize(200, 100);
    graph.setNotifyMessage(kMessage);
    graph.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&graph));
    QSignalSpy spy(&graph, &CRGBHistogramCtrl::notify);

    const auto move = [&graph](int x) {
        QMouseEvent event(QEvent::MouseMove, QPointF(x, 50), graph.mapToGlobal(QPointF(x, 50)),
                          Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&graph, &event);
    };
    move(199);
    move(0);
    move(100);
    QTest::mouseClick(&graph, Qt::LeftButton, Qt::ShiftModifier, QPoint(199, 50));
    QTest::mouseClick(&graph, Qt::LeftButton, Qt::ControlModifier, QPoint(0, 50));
    QTest::mouseClick(&graph, Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier, QPoint(100, 50));
    QTest::mouseClick(&graph, Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));

    std::vector<Notification> events;
    for (const Notification& e : Notifications(spy))
        events.push_back(e);
    const std::vector<Notification> expected = {{kMessage, 2, 255}, {kMessage, 2, 0},   {kMessage, 2, 128},
                                         {kMessage, 1, 255}, {kMessage, 0, 0},   {kMessage, 1, 128}};
    // Clicks may come with moves of their own; compare the codes other than
    // those moves that QTest adds at the click positions.
    std::vector<Notification> withoutClickMoves;
    for (std::size_t i = 0; i < events.size(); ++i)
        if (i < 3 || std::get<1>(events[i]) != 2)
            withoutClickMoves.push_back(events[i]);
    EXPECT_EQ(withoutClickMoves, expected);
}

TEST(RGBHistogram, CtrlDoubleClickTogglesMode)
{
    CRGBHistogramCtrl graph;
    graph.resize(200, 100);
    graph.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&graph));
    struct Case
    {
        int before;
        Qt::KeyboardModifiers modifiers;
        int after;
    };
    const Case cases[] = {{0, Qt::ControlModifier, 1},
                          {1, Qt::ControlModifier, 0},
                          {5, Qt::ControlModifier, 0},
                          {0, Qt::NoModifier, 0},
                          {1, Qt::ShiftModifier, 1}};
    for (const Case& c : cases)
    {
        graph.Mode = c.before;
        QTest::mouseDClick(&graph, Qt::LeftButton, c.modifiers, QPoint(50, 50));
        EXPECT_EQ(graph.Mode, c.after) << c.before << " " << c.modifiers.toInt();
    }
}

// ---- gradation ----------------------------------------------------------------

GrayCalibParams DiagonalCurve()
{
    GrayCalibParams params;
    params.RandamScale = 1;
    params.ScaleCount = 3;
    params.ScaleTable[0] = CPointD(0.25, 0.25);
    params.ScaleTable[1] = CPointD(0.5, 0.5);
    params.ScaleTable[2] = CPointD(0.75, 0.75);
    return params;
}

class GradationGraph : public testing::Test
{
protected:
    void SetUp() override
    {
        // A 256 x 128 plot inside a one-pixel frame.
        graph.resize(258, 130);
        graph.setNotifyMessage(kMessage);
        graph.setPointerState(&pointer);
        const std::vector<std::uint32_t> counts(256, 100);
        graph.SetBackground(counts, counts, counts, counts);
        graph.SetCurve(DiagonalCurve(), 1);
    }

    FakePointerState pointer;
    CGrayScaleGraphCtrl graph;
};

TEST_F(GradationGraph, CurveAndPointsFromTheParameters)
{
    ASSERT_EQ(graph.plotRect(), QRect(0, 0, 256, 128));
    ASSERT_EQ(graph.Curve.size(), 256u);
    const std::vector<std::int16_t> points = {63, 127, 191};
    EXPECT_EQ(graph.PointX, points);
    // The spline through points on the diagonal is the diagonal, scaled to
    // the 127 rows above the bottom one.
    for (int i : {0, 64, 128, 255})
        EXPECT_NEAR(graph.Curve[static_cast<std::size_t>(i)], 127.0 * i / 255.0, 1.0) << i;

    GrayCalibParams levels;
    levels.InBlackLevel = 64;
    graph.SetCurve(levels, 0);
    EXPECT_TRUE(graph.PointX.empty());
    EXPECT_EQ(graph.Curve[0], 0);
    EXPECT_EQ(graph.Curve[64], 0);
    EXPECT_EQ(graph.Curve[255], 127);
    EXPECT_EQ(graph.Params.InBlackLevel, 64);
}

TEST_F(GradationGraph, BackgroundOfALargeImageIsClipped)
{
    std::vector<std::uint32_t> counts(256, 0);
    counts[40] = 6000u * 4000u;
    counts[41] = 6000u * 4000u / 64; // a quarter of 4 x the mean
    graph.SetBackground(counts, {}, {}, counts);
    const QImage& background = graph.background();
    ASSERT_EQ(background.size(), QSize(256, 128));
    EXPECT_TRUE(IsWhite(background.pixel(40, 0)));
    // Bin 41: f = 127 x count / (4 x mean count), below the top.
    const std::int64_t scale = graphlogic::FourTimesMeanScale(counts);
    const std::int64_t f = graphlogic::BarHeight(127, counts[41], scale);
    EXPECT_TRUE(IsWhite(background.pixel(41, static_cast<int>(127 - f))));
    EXPECT_TRUE(IsBlack(background.pixel(41, static_cast<int>(126 - f))));
    // An empty bin is one row.
    EXPECT_TRUE(IsWhite(background.pixel(0, 127)));
    EXPECT_TRUE(IsBlack(background.pixel(0, 126)));
}

TEST_F(GradationGraph, PaintsCurvePointsAndMarker)
{
    graph.LevelMarker = 200;
    const QImage image = graph.renderToImage();
    const QRgb green = qRgb(0, 255, 0) & 0xFFFFFF;
    // The curve: value v of column i at (i + 1, 128 - v).
    for (int i : {10, 100, 240})
        EXPECT_EQ(image.pixel(i + 1, 128 - graph.Curve[static_cast<std::size_t>(i)]) & 0xFFFFFF, green) << i;
    // The selected point 1 is 6 pixels wide, the others 4.
    const int y1 = 128 - graph.Curve[127];
    EXPECT_EQ(image.pixel(128 - 3, y1) & 0xFFFFFF, green);
    EXPECT_EQ(image.pixel(128 + 2, y1) & 0xFFFFFF, green);
    const int y0 = 128 - graph.Curve[63];
    EXPECT_EQ(image.pixel(64 - 2, y0 - 2) & 0xFFFFFF, green);
    EXPECT_NE(image.pixel(64 - 2, y0 - 3) & 0xFFFFFF, green);
    EXPECT_EQ(image.pixel(128 - 3, y1 - 3) & 0xFFFFFF, green);
    // The marker column at 200 x 256 / 256 + 1, over the whole height.
    EXPECT_EQ(image.pixel(201, 0) & 0xFFFFFF, qRgb(0xFF, 0x7F, 0x7F) & 0xFFFFFF);
    // The frame is black, the histogram behind is white.
    EXPECT_TRUE(IsBlack(image.pixel(0, 60)));
    EXPECT_TRUE(IsWhite(image.pixel(30, 128)));
}

TEST_F(GradationGraph, PressDragAndRelease)
{
    graph.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&graph));
    QSignalSpy spy(&graph, &CGrayScaleGraphCtrl::notify);
    const int y1 = 128 - graph.Curve[127]; // point 1 is drawn at (128, y1)

    enum Action { Press, Move, Release };
    struct Step
    {
        Action action;
        QPoint at;
        std::vector<Notification> events;
        int dragIndex;
        double level;
    };
    const Step steps[] = {
        {Press, {20, -150}, {}, -1, 0.0},                                    // no point near enough
        {Release, {20, -150}, {}, -1, 0.0},                                  // nothing to let go
        {Press, {129, y1 + 1}, {{kMessage, 1, 0}}, 1, (127.0 - y1) / 127.0},  // picks point 1 up
        {Move, {129, y1 + 1}, {}, 1, (127.0 - y1) / 127.0},                  // the press itself moved nothing
        {Move, {200, y1 + 1}, {}, 1, (127.0 - y1) / 127.0},                  // sideways: no change
        {Move, {129, 30}, {{kMessage, 1, 0}}, 1, 98.0 / 127.0},
        {Move, {129, -50}, {{kMessage, 1, 0}}, 1, 1.0},
        {Move, {129, -80}, {}, 1, 1.0},                                      // still 1
        {Release, {129, 500}, {{kMessage, 2, 1}}, -1, 0.0},
        {Release, {129, 30}, {}, -1, 0.0},                                   // reported once
    };
    for (std::size_t i = 0; i < std::size(steps); ++i)
    {
        const Step& step = steps[i];
        spy.clear();
        switch (step.action)
        {
        case Press:
            QTest::mousePress(&graph, Qt::LeftButton, Qt::NoModifier, step.at);
            break;
        case Move: {
            QMouseEvent event(QEvent::MouseMove, QPointF(step.at), graph.mapToGlobal(QPointF(step.at)),
                              Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&graph, &event);
            break;
        }
        case Release:
            QTest::mouseRelease(&graph, Qt::LeftButton, Qt::NoModifier, step.at);
            break;
        }
        EXPECT_EQ(Notifications(spy), step.events) << "step " << i;
        EXPECT_EQ(graph.DragIndex, step.dragIndex) << "step " << i;
        EXPECT_DOUBLE_EQ(graph.Level, step.level) << "step " << i;
    }
}

TEST_F(GradationGraph, TimerFollowsThePointerAndReleases)
{
    graph.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&graph));
    QSignalSpy spy(&graph, &CGrayScaleGraphCtrl::notify);
    graph.OnTimer(0); // not dragging: nothing
    const int y0 = 128 - graph.Curve[63];
    QTest::mousePress(&graph, Qt::LeftButton, Qt::NoModifier, QPoint(64, y0));
    ASSERT_EQ(graph.DragIndex, 0);

    pointer.position = graph.mapToGlobal(QPoint(64, 28));
    pointer.buttonDown = true;
    graph.OnTimer(0);
    EXPECT_DOUBLE_EQ(graph.Level, 100.0 / 127.0);
    graph.OnTimer(1); // another id: nothing
    pointer.buttonDown = false;
    pointer.position = graph.mapToGlobal(QPoint(64, 128));
    graph.OnTimer(0);
    EXPECT_EQ(graph.DragIndex, -1);
    EXPECT_DOUBLE_EQ(graph.Level, 0.0);
    QTest::mouseRelease(&graph, Qt::LeftButton, Qt::NoModifier, QPoint(64, 128));

    const std::vector<Notification> expected = {{kMessage, 1, 0}, {kMessage, 1, 0}, {kMessage, 2, 1}};
    EXPECT_EQ(Notifications(spy), expected);
}

} // namespace
