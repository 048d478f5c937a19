// The colour circle: pixel mapping, hit test and drag steps with their
// modifiers and neighbour rule, the histogram curve; the control's mouse
// handling and reports, its setters and what it paints; the wheel picture.

#include "controls/support/ColorRef.h"
#include "controls/support/ResourceImages.h"
#include "controls/widgets/ColorCircleCtrl.h"
#include "core/HueSwatch.h"

#include <gtest/gtest.h>

#include "tests/controls/NotifySpy.h"
#include "tests/controls/widgets/PaintCounter.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <tuple>
#include <vector>

namespace {

double Rad(double degrees)
{
    return degrees * kCirclePi / 180.0;
}

double Deg(double radians)
{
    return radians * 180.0 / kCirclePi;
}

std::vector<HuePoint> ThreePoints()
{
    return {{0.5, Rad(0)}, {0.5, Rad(120)}, {0.5, Rad(240)}};
}

// --- Geometry ----------------------------------------------------------------

TEST(CircleSquare, MapsCircleUnitsToPixelsAndBack)
{
    const CircleSquare sq = CircleSquare::FromClient(300, 200); // side 200 at (0, 0)
    ASSERT_EQ(sq.side, 200);
    struct Case
    {
        double a, b;
        int px, py;
    };
    const Case cases[] = {
        {0, 0, 100, 100},  {100, 0, 197, 100}, // chroma 100 at 0.97 of the radius
        {0, 100, 100, 3},                      // b upward
        {-100, 0, 3, 100}, {0, -50, 100, 148}, // trunc(48.5)
        {-50, 0, 52, 100},                     // truncation toward 0: -48.5 -> -48
    };
    for (const Case& c : cases)
    {
        const CirclePixel p = sq.ToPixel(c.a, c.b);
        EXPECT_EQ(p.x, c.px) << c.a << ", " << c.b;
        EXPECT_EQ(p.y, c.py) << c.a << ", " << c.b;
    }
    double a = 0.0;
    double b = 0.0;
    ASSERT_TRUE(sq.ToCircle(197, 3, a, b));
    EXPECT_NEAR(a, 97.0 / 200.0 * 200.0 / 0.97, 1e-9);
    EXPECT_NEAR(b, 97.0 / 0.97, 1e-9);
    EXPECT_TRUE(sq.IsInside(100, 100));
    EXPECT_FALSE(sq.IsInside(197, 3)); // beyond chroma 100
    EXPECT_FALSE(sq.IsInside(199, 100));

    const CircleSquare empty = CircleSquare::FromClient(0, 50);
    EXPECT_FALSE(empty.ToCircle(0, 0, a, b));
    EXPECT_FALSE(empty.IsInside(0, 0));
}

TEST(CircleGeometry, HitTestTakesTheNearestWithinTenPixels)
{
    const CircleSquare sq = CircleSquare::FromClient(200, 200);
    // Pixels: (148, 100), (100, 52) and a twin of the first.
    const std::vector<HuePoint> curve = {{0.5, 0.0}, {0.5, Rad(90)}, {0.5, 0.0}};
    ASSERT_EQ(sq.PointPixel(curve[0]), (CirclePixel{148, 100}));
    ASSERT_EQ(sq.PointPixel(curve[1]), (CirclePixel{100, 52}));
    struct Case
    {
        int x, y, hit;
    };
    const Case cases[] = {
        {148, 100, 0},  // on the point; its twin comes later
        {156, 106, 0},  // 8^2 + 6^2 = 100: just within
        {157, 106, -1}, // 101
        {100, 60, 1},   // nearer the second
        {100, 100, -1}, // centre, far from all
        {199, 199, -1}, // outside the circle
    };
    for (const Case& c : cases)
        EXPECT_EQ(HitHueCurve(sq, curve, c.x, c.y), c.hit) << c.x << ", " << c.y;
    EXPECT_EQ(HitHueCurve(sq, {}, 148, 100), -1);
}

TEST(CircleGeometry, NeighbourRuleHoldsOverWholeSectors)
{
    struct Case
    {
        std::vector<double> degrees;
        std::size_t index;
        double to;
        bool allowed;
    };
    const Case cases[] = {
        // Three points a third of a turn apart: each sweeps its whole
        // sector of 240 degrees (a sine test would stop at 180).
        {{0, 120, 240}, 0, 110, true},
        {{0, 120, 240}, 0, 250, true},
        {{0, 120, 240}, 0, 359, true},
        {{0, 120, 240}, 0, 120, false},
        {{0, 120, 240}, 0, 130, false},
        {{0, 120, 240}, 0, 240, false},
        {{0, 120, 240}, 1, 10, true},
        {{0, 120, 240}, 1, 230, true},
        {{0, 120, 240}, 1, 250, false},
        {{0, 120, 240}, 1, 350, false},
        {{0, 120, 240}, 2, 130, true},
        {{0, 120, 240}, 2, 350, true},
        {{0, 120, 240}, 2, 110, false},
        {{0, 120, 240}, 2, 10, false},
        // Four close points: narrow sectors.
        {{10, 20, 30, 300}, 1, 15, true},
        {{10, 20, 30, 300}, 1, 35, false},
        {{10, 20, 30, 300}, 3, 100, true},
        {{10, 20, 30, 300}, 3, 5, true},
        {{10, 20, 30, 300}, 3, 15, false},
        // One point: anywhere.
        {{45}, 0, 300, true},
        // Two points: each keeps to its half turn from the other.
        {{0, 180}, 1, 10, true},
        {{0, 180}, 1, 179, true},
        {{0, 180}, 1, 190, false},
        {{0, 180}, 0, 190, true},
        {{0, 180}, 0, 350, true},
        {{0, 180}, 0, 170, false},
        {{0, 90}, 1, 170, true},
        {{0, 90}, 1, 200, false},
        {{0, 90}, 0, 80, true},   // may close in on the other...
        {{0, 90}, 0, 100, false}, // ...but not pass it
        {{0, 90}, 0, 260, false},
    };
    for (const Case& c : cases)
    {
        std::vector<HuePoint> curve;
        for (double d : c.degrees)
            curve.push_back({0.5, Rad(d)});
        EXPECT_EQ(IsBetweenNeighbours(curve, c.index, Rad(c.to)), c.allowed)
            << c.degrees.size() << " points, point " << c.index << " to " << c.to;
    }
    EXPECT_FALSE(IsBetweenNeighbours(ThreePoints(), 3, 0.0));
}

TEST(CircleGeometry, DragStepKeepsWhatTheKeysSay)
{
    const CircleSquare sq = CircleSquare::FromClient(200, 200);
    // The mouse at chroma 80, hue 100 degrees (near enough, as a pixel).
    const CirclePixel m = sq.ChromaHuePixel(80.0, 100.0);
    double a = 0.0;
    double b = 0.0;
    sq.ToCircle(m.x, m.y, a, b);
    const double mouseR = std::sqrt(a * a + b * b) / 100.0;
    const double mouseTheta = ReduceAngle(std::atan2(b, a));

    struct Case
    {
        bool shift, alt;
        double r, theta;
    };
    const Case cases[] = {
        {false, false, mouseR, mouseTheta},
        {true, false, 0.5, mouseTheta},   // Shift: chroma kept
        {false, true, mouseR, 0.0},       // Alt: hue kept
        {true, true, mouseR, mouseTheta}, // both: neither
    };
    for (const Case& c : cases)
    {
        std::vector<HuePoint> curve = ThreePoints();
        ASSERT_TRUE(DragHueCurve(sq, curve, 0, m.x, m.y, MakeCircleDragKeys(c.shift, c.alt, false)))
            << c.shift << c.alt;
        EXPECT_DOUBLE_EQ(curve[0].r, c.r) << c.shift << c.alt;
        EXPECT_DOUBLE_EQ(curve[0].theta, c.theta) << c.shift << c.alt;
        EXPECT_EQ(curve[1], ThreePoints()[1]);
        EXPECT_EQ(curve[2], ThreePoints()[2]);
    }
}

TEST(CircleGeometry, DragStepRefusals)
{
    const CircleSquare sq = CircleSquare::FromClient(200, 200);
    const CircleDragKeys plain = MakeCircleDragKeys(false, false, false);
    std::vector<HuePoint> curve = ThreePoints();
    // Outside the circle, past a neighbour, an index beyond the curve.
    EXPECT_FALSE(DragHueCurve(sq, curve, 0, 199, 199, plain));
    const CirclePixel past = sq.ChromaHuePixel(50.0, 130.0);
    EXPECT_FALSE(DragHueCurve(sq, curve, 0, past.x, past.y, plain));
    EXPECT_FALSE(DragHueCurve(sq, curve, 5, 120, 100, plain));
    EXPECT_EQ(curve, ThreePoints());

    // r is limited to [0.01, 1]: the centre pixel gives 0.01.
    ASSERT_TRUE(DragHueCurve(sq, curve, 1, 100, 100, MakeCircleDragKeys(false, true, false)));
    EXPECT_EQ(curve[1].r, 0.01);
}

TEST(CircleGeometry, AllPointsTurnAndScaleTogether)
{
    const CircleSquare sq = CircleSquare::FromClient(200, 200);
    std::vector<HuePoint> curve = {{0.5, Rad(0)}, {0.8, Rad(120)}, {0.2, Rad(350)}};
    // Grab point 0 and carry it to hue 300 (past point 2: allowed when all
    // move), chroma kept by Shift.
    const CirclePixel m = sq.ChromaHuePixel(50.0, 300.0);
    ASSERT_TRUE(DragHueCurve(sq, curve, 0, m.x, m.y, MakeCircleDragKeys(true, false, true)));
    const double turn = curve[0].theta; // from 0
    EXPECT_NEAR(Deg(turn), 300.0, 1.0);
    EXPECT_NEAR(curve[1].theta, ReduceAngle(Rad(120) + turn), 1e-12);
    EXPECT_NEAR(curve[2].theta, ReduceAngle(Rad(350) + turn), 1e-12);
    EXPECT_DOUBLE_EQ(curve[1].r, 0.8);

    // Doubling the grabbed point's chroma doubles every r, limited to 1.
    curve = {{0.5, 0.0}, {0.8, Rad(120)}, {0.2, Rad(240)}};
    const CirclePixel out = sq.ChromaHuePixel(99.0, 0.0);
    ASSERT_TRUE(DragHueCurve(sq, curve, 0, out.x, out.y, MakeCircleDragKeys(false, true, true)));
    const double scale = curve[0].r / 0.5;
    EXPECT_NEAR(curve[2].r, 0.2 * scale, 1e-12);
    EXPECT_EQ(curve[1].r, 1.0);
}

TEST(CircleGeometry, HistogramCurveOfCounts)
{
    const CircleSquare sq = CircleSquare::FromClient(200, 200);
    EXPECT_TRUE(HistogramCurve(sq, std::vector<std::uint32_t>(360, 0)).empty());
    EXPECT_TRUE(HistogramCurve(sq, {}).empty());
    std::vector<std::uint32_t> counts(360, 0);
    counts[90] = 40;
    counts[180] = 20;
    const std::vector<CirclePixel> curve = HistogramCurve(sq, counts);
    ASSERT_EQ(curve.size(), 360u);
    EXPECT_EQ(curve[0], sq.ToPixel(50.0, 0.0));           // empty bin: half the circle
    EXPECT_EQ(curve[90], sq.ChromaHuePixel(100.0, 90.0)); // largest: the edge
    EXPECT_EQ(curve[180], sq.ChromaHuePixel(75.0, 180.0));
}

TEST(CircleGeometry, AnglesReduceIntoOneTurn)
{
    for (const auto& [in, out] : {std::pair{0.0, 0.0},
                                  {-Rad(90), Rad(270)},
                                  {Rad(370), Rad(10)},
                                  {kCircleTwoPi, 0.0},
                                  {NAN, 0.0},
                                  {-1e-18, 0.0}})
    {
        const double r = ReduceAngle(in);
        EXPECT_GE(r, 0.0) << in;
        EXPECT_LT(r, kCircleTwoPi) << in;
        EXPECT_NEAR(r, out, 1e-9) << in;
    }
}

// --- The control -------------------------------------------------------------

constexpr int kMessage = 0x658;

class ColorCircleTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ctrl.resize(200, 200);
        ctrl.setNotifyMessage(kMessage);
        ctrl.SetHueCurve(ThreePoints());
        ctrl.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&ctrl));
    }

    QPoint PixelOf(double chroma, double degrees) const
    {
        const CirclePixel p = ctrl.square().ChromaHuePixel(chroma, degrees);
        return QPoint(p.x, p.y);
    }
    QPoint PointPixel(std::size_t i) const
    {
        const CirclePixel p = ctrl.square().PointPixel(ctrl.HueCurve()[i]);
        return QPoint(p.x, p.y);
    }

    // Press on point i, move through `via`, release at `to`, all with the
    // modifiers.
    void Drag(std::size_t i, const QPoint& to, Qt::KeyboardModifiers mods = Qt::NoModifier,
              const std::vector<QPoint>& via = {})
    {
        QTest::mousePress(&ctrl, Qt::LeftButton, mods, PointPixel(i));
        for (const QPoint& p : via)
            QTest::mouseMove(&ctrl, p);
        QTest::mouseRelease(&ctrl, Qt::LeftButton, mods, to);
    }

    CColorCircleCtrl ctrl;
};

TEST_F(ColorCircleTest, ThreePointsEachSweepTheirWholeSector)
{
    Drag(0, PixelOf(50, 110));
    EXPECT_NEAR(Deg(ctrl.HueCurve()[0].theta), 110.0, 1.0);
    Drag(0, PixelOf(50, 250));
    EXPECT_NEAR(Deg(ctrl.HueCurve()[0].theta), 250.0, 1.0);
    // Past the neighbour at 120: the point stays.
    const HuePoint before = ctrl.HueCurve()[0];
    QTest::mousePress(&ctrl, Qt::LeftButton, Qt::NoModifier, PointPixel(0));
    const HuePoint grabbed = ctrl.HueCurve()[0]; // the press snaps it to the pixel
    QTest::mouseRelease(&ctrl, Qt::LeftButton, Qt::NoModifier, PixelOf(50, 130));
    EXPECT_EQ(ctrl.HueCurve()[0], grabbed);
    EXPECT_NEAR(grabbed.theta, before.theta, Rad(1.0));

    Drag(2, PixelOf(50, 130));
    EXPECT_NEAR(Deg(ctrl.HueCurve()[2].theta), 130.0, 1.0);
    Drag(1, PixelOf(50, 5));
    EXPECT_NEAR(Deg(ctrl.HueCurve()[1].theta), 5.0, 1.0);
}

TEST_F(ColorCircleTest, PressMovesAndReleaseReportInOrderOnce)
{
    QSignalSpy spy(&ctrl, &CControlWidget::notify);
    Drag(1, PixelOf(60, 100), Qt::NoModifier, {PixelOf(55, 110), PixelOf(58, 105)});
    const std::vector<Notification> expected = {
        {kMessage, 0, 0}, {kMessage, 0, 0}, {kMessage, 0, 0}, {kMessage, 0, 1}};
    EXPECT_EQ(Notifications(spy), expected);
    EXPECT_FALSE(ctrl.Dragging());
    EXPECT_NEAR(ctrl.HueCurve()[1].r, 0.6, 0.02);

    // Off every point: nothing, neither on the press nor the release.
    spy.clear();
    QTest::mousePress(&ctrl, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    QTest::mouseMove(&ctrl, QPoint(110, 100));
    QTest::mouseRelease(&ctrl, Qt::LeftButton, Qt::NoModifier, QPoint(110, 100));
    QTest::mouseClick(&ctrl, Qt::LeftButton, Qt::NoModifier, QPoint(199, 199));
    EXPECT_TRUE(Notifications(spy).empty());
    EXPECT_FALSE(ctrl.Dragging());

    // Without a message number the drag works and says nothing.
    ctrl.setNotifyMessage(0);
    Drag(0, PixelOf(40, 20));
    EXPECT_TRUE(Notifications(spy).empty());
    EXPECT_NEAR(Deg(ctrl.HueCurve()[0].theta), 20.0, 1.5);
}

TEST_F(ColorCircleTest, ModifiersFromTheMouseEvents)
{
    const std::vector<HuePoint> start = ctrl.HueCurve();
    // Shift: the hue follows, the chroma stays.
    Drag(1, PixelOf(90, 100), Qt::ShiftModifier);
    EXPECT_EQ(ctrl.HueCurve()[1].r, start[1].r);
    EXPECT_NEAR(Deg(ctrl.HueCurve()[1].theta), 100.0, 1.0);

    // Alt: the chroma follows, the hue stays.
    const double hue = ctrl.HueCurve()[2].theta;
    Drag(2, PixelOf(80, 200), Qt::AltModifier);
    EXPECT_EQ(ctrl.HueCurve()[2].theta, hue);
    EXPECT_NEAR(ctrl.HueCurve()[2].r, 0.8, 0.02);

    // Ctrl: every point turns with the grabbed one.
    const std::vector<HuePoint> before = ctrl.HueCurve();
    Drag(0, PixelOf(50, 30), Qt::ControlModifier | Qt::ShiftModifier);
    const double turn = ctrl.HueCurve()[0].theta - before[0].theta;
    EXPECT_NEAR(Deg(turn), 30.0, 1.5);
    for (std::size_t i = 1; i < 3; ++i)
    {
        EXPECT_NEAR(ctrl.HueCurve()[i].theta, ReduceAngle(before[i].theta + turn), 1e-9) << i;
        EXPECT_DOUBLE_EQ(ctrl.HueCurve()[i].r, before[i].r) << i;
    }
}

TEST_F(ColorCircleTest, AllPointsModeActsAsCtrl)
{
    ctrl.AllPointsMode = true;
    const std::vector<HuePoint> before = ctrl.HueCurve();
    Drag(0, PixelOf(50, 300), Qt::ShiftModifier); // past point 2: all move
    const double turn = ReduceAngle(ctrl.HueCurve()[0].theta - before[0].theta);
    EXPECT_NEAR(Deg(turn), 300.0, 1.5);
    EXPECT_NEAR(ctrl.HueCurve()[1].theta, ReduceAngle(before[1].theta + turn), 1e-9);
}

TEST_F(ColorCircleTest, PointsRoundTripAndListsMayBeShort)
{
    const std::vector<CCIELCh> source = {{50, 30, 10}, {50, 40, 100}, {50, 20, 200}};
    const std::vector<CCIELCh> target = {{50, 35, 15}, {50, 45, 110}, {50, 25, 210}};
    const std::vector<CCIELCh> curve = {{0, 60, 20}, {0, 70, 140}, {0, 80, 260}, {0, 1, 1}};
    ctrl.SetPoints(source, target, curve, 4); // source and target hold 3
    ASSERT_EQ(ctrl.HueCurve().size(), 3u);
    ASSERT_EQ(ctrl.PointHues().size(), 3u);
    EXPECT_EQ(ctrl.PointHues()[1], 110.0);
    EXPECT_EQ(ctrl.TargetPoints()[2], ctrl.square().ChromaHuePixel(25, 210));
    EXPECT_EQ(ctrl.SourcePoints()[0], ctrl.square().ChromaHuePixel(30, 10));

    std::vector<CCIELCh> out(4, CCIELCh(42, 0, 0));
    ctrl.GetHueCurve(4, out);
    for (std::size_t i = 0; i < 3; ++i)
    {
        EXPECT_EQ(out[i][0], 42.0) << i; // L untouched
        EXPECT_NEAR(out[i][1], curve[i][1], 1e-9) << i;
        EXPECT_NEAR(out[i][2], curve[i][2], 1e-9) << i;
    }
    EXPECT_EQ(out[3][1], 0.0); // beyond the curve: untouched
}

TEST_F(ColorCircleTest, MarkersHiddenWithoutLightnessOrFromChroma100)
{
    struct Case
    {
        CCIELab lab;
        bool shown;
    };
    const Case cases[] = {
        {{50, 30, 40}, true},  {{50, 100, 0}, false}, // chroma exactly 100
        {{50, 80, 70}, false},                        // chroma 106
        {{0, 10, 10}, false},                         // no lightness
        {{-5, 10, 10}, false},
    };
    for (const Case& c : cases)
    {
        ctrl.SetMarkerLab(c.lab);
        const bool shown = !(ctrl.Marker2() == CirclePixel{});
        EXPECT_EQ(shown, c.shown) << c.lab[0] << ", " << c.lab[1] << ", " << c.lab[2];
        if (c.shown)
        {
            EXPECT_EQ(ctrl.Marker2(), ctrl.square().ToPixel(c.lab[1], c.lab[2]));
        }
    }
    ctrl.SetMarkerLCh(CCIELCh(50, 60, 45));
    EXPECT_EQ(ctrl.Marker1(), ctrl.square().ChromaHuePixel(60, 45));
    ctrl.SetMarkerLCh(CCIELCh(0, 60, 45));
    EXPECT_EQ(ctrl.Marker1(), CirclePixel{});
}

TEST_F(ColorCircleTest, PixelsFollowTheControlsSize)
{
    const std::vector<CCIELCh> colours = {{50, 35, 25}, {50, 45, 90}, {50, 40, 160}};
    ctrl.SetPoints(colours, colours, colours, 3);
    ctrl.SetMarkerLCh(CCIELCh(50, 60, 45));
    ctrl.SetMarkerLab(CCIELab(50, 30, 40));
    ctrl.SetHueHistogram(std::vector<std::uint32_t>(360, 3));
    ctrl.resize(320, 300);
    QCoreApplication::processEvents();
    const CircleSquare sq = ctrl.square();
    ASSERT_EQ(sq.side, 300);
    EXPECT_EQ(ctrl.Marker1(), sq.ChromaHuePixel(60, 45));
    EXPECT_EQ(ctrl.Marker2(), sq.ToPixel(30, 40));
    EXPECT_EQ(ctrl.TargetPoints()[1], sq.ChromaHuePixel(45, 90));
    EXPECT_EQ(ctrl.SourcePoints()[2], sq.ChromaHuePixel(40, 160));
    ASSERT_EQ(ctrl.HistogramPoints().size(), 360u);
    EXPECT_EQ(ctrl.HistogramPoints()[90], sq.ChromaHuePixel(100, 90));
}

TEST_F(ColorCircleTest, EqualCurveDoesNotRepaint)
{
    QCoreApplication::processEvents();
    PaintCounter counter(&ctrl);
    ctrl.SetHueCurve(ctrl.HueCurve());
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.count, 0);
    std::vector<HuePoint> moved = ctrl.HueCurve();
    moved[1].r = 0.7;
    ctrl.SetHueCurve(moved);
    QCoreApplication::processEvents();
    EXPECT_GE(counter.count, 1); // the counter does see paints
}

TEST_F(ColorCircleTest, HistogramOfZerosDrawsNoCurve)
{
    ctrl.SetHueCurve({});
    const QImage none = ctrl.renderToImage();
    ctrl.SetHueHistogram(std::vector<std::uint32_t>(360, 0));
    EXPECT_TRUE(ctrl.HistogramPoints().empty());
    EXPECT_EQ(ctrl.renderToImage(), none);

    // A flat histogram is a black circle at the edge.
    ctrl.SetHueHistogram(std::vector<std::uint32_t>(360, 7));
    const QImage flat = ctrl.renderToImage();
    const QPoint edge = PixelOf(100, 45);
    EXPECT_EQ(flat.pixelColor(edge), QColor(Qt::black));
    EXPECT_NE(none.pixelColor(edge), QColor(Qt::black));
}

TEST_F(ColorCircleTest, WheelInsideBackgroundOutside)
{
    QPalette palette = ctrl.palette();
    palette.setColor(QPalette::Window, QColor(12, 34, 56));
    ctrl.setPalette(palette);
    ctrl.SetHueCurve({});
    ctrl.resize(240, 200); // square of 200 at the left
    const QImage image = ctrl.renderToImage();
    for (const QPoint& p : {QPoint(1, 1), QPoint(198, 1), QPoint(1, 198), QPoint(230, 100)})
        EXPECT_EQ(image.pixelColor(p), QColor(12, 34, 56)) << p.x() << ", " << p.y();
    // Inside: the wheel, whose key colour never shows; near chroma 80 at
    // hue 90 the wheel is yellowish (b upward).
    const QColor yellow = image.pixelColor(PixelOf(80, 95));
    EXPECT_GT(yellow.red(), yellow.blue() + 60);
    EXPECT_GT(yellow.green(), yellow.blue() + 60);
    const QColor blue = image.pixelColor(PixelOf(80, 275));
    EXPECT_GT(blue.blue(), blue.red());
    EXPECT_NE(image.pixelColor(PixelOf(30, 10)), QColor(12, 34, 56));
}

TEST_F(ColorCircleTest, ControlPointsPaintedWithTheirHuesUnlessDragging)
{
    std::vector<CCIELCh> lch = {{50, 50, 0}, {50, 50, 120}, {50, 50, 240}};
    ctrl.SetPoints(lch, lch, lch, 3);
    for (std::size_t i = 0; i < 3; ++i)
    {
        RGB16 swatch{0, 0, 0};
        HueSwatchColor(swatch, lch[i][2]);
        EXPECT_EQ(ctrl.pointColor(i), QColor(swatch.r >> 8, swatch.g >> 8, swatch.b >> 8)) << i;
    }
    const QImage image = ctrl.renderToImage();
    const QPoint p = PointPixel(1);
    EXPECT_EQ(image.pixelColor(p + QPoint(-3, -3)), ctrl.pointColor(1));
    EXPECT_EQ(image.pixelColor(p + QPoint(2, 2)), ctrl.pointColor(1));
    EXPECT_EQ(image.pixelColor(p + QPoint(4, 4)), QColor(Qt::black)); // the shadow

    // The selected point is larger.
    ctrl.SelectedIndex = 1;
    EXPECT_EQ(ctrl.renderToImage().pixelColor(p + QPoint(3, -4)), ctrl.pointColor(1));

    // While dragging only the dotted outline: no squares.
    QTest::mousePress(&ctrl, Qt::LeftButton, Qt::NoModifier, PointPixel(1));
    ASSERT_TRUE(ctrl.Dragging());
    const QImage dragging = ctrl.renderToImage();
    const QPoint q = PointPixel(1);
    EXPECT_NE(dragging.pixelColor(q + QPoint(-2, -3)), ctrl.pointColor(1));
    QTest::mouseRelease(&ctrl, Qt::LeftButton, Qt::NoModifier, q);
    EXPECT_FALSE(ctrl.Dragging());
}

TEST_F(ColorCircleTest, TargetsJoinedOnlyFromThreePoints)
{
    // Control points far out, so that only the targets' lines cross the
    // middle of each target segment.
    const std::vector<CCIELCh> targets = {
        {50, 35, 25}, {50, 45, 90}, {50, 40, 160}, {50, 30, 230}, {50, 45, 300}};
    const std::vector<CCIELCh> far = {
        {50, 95, 25}, {50, 95, 90}, {50, 95, 160}, {50, 95, 230}, {50, 95, 300}};
    const QColor grey = ColorFromRef(0x9F9F9F);
    for (const std::size_t count : {std::size_t{5}, std::size_t{3}, std::size_t{2}})
    {
        ctrl.SetPoints(targets, targets, far, count);
        const QImage image = ctrl.renderToImage();
        const std::vector<CirclePixel>& t = ctrl.TargetPoints();
        for (std::size_t i = 0; i < t.size(); ++i)
        {
            const CirclePixel& p = t[i];
            const CirclePixel& q = t[(i + 1) % t.size()];
            // The segment passes next to its middle (the line's own
            // rounding), and the square fills its corner.
            const QPoint middle((p.x + q.x) / 2, (p.y + q.y) / 2);
            bool nearMiddle = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    nearMiddle = nearMiddle || image.pixelColor(middle + QPoint(dx, dy)) == grey;
            if (count >= 3)
            {
                EXPECT_TRUE(nearMiddle) << count << ": " << i;
                EXPECT_EQ(image.pixelColor(p.x - 3, p.y - 3), grey) << count << ": " << i;
            }
            else
            {
                EXPECT_NE(image.pixelColor(p.x - 3, p.y - 3), grey) << count << ": " << i;
            }
        }
    }
}

// --- The wheel picture ---------------------------------------------------------

TEST(ColorWheelBitmap, KeyColourOutsideOnly)
{
    const QImage wheel = LoadBitmapResource(kBitmapColorWheel);
    ASSERT_EQ(wheel.size(), QSize(256, 256));
    const QRgb key = wheel.pixel(0, 0);
    int inside = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
        {
            const double dx = x + 0.5 - 128.0;
            const double dy = y + 0.5 - 128.0;
            const bool in = dx * dx + dy * dy < 128.0 * 128.0;
            if (in)
                ++inside;
            ASSERT_EQ(wheel.pixel(x, y) == key, !in) << x << ", " << y;
        }
    EXPECT_GT(inside, 50000);
    // Near the centre a neutral colour.
    const QColor centre = wheel.pixelColor(128, 128);
    EXPECT_LE(std::abs(centre.red() - centre.blue()), 12);
    EXPECT_LE(std::abs(centre.green() - centre.blue()), 12);
}

TEST(Cursors, DrawnWithHotSpotsInside)
{
    for (const int id : {kCursorHover, kCursorDrag, kCursorColorDrag})
    {
        const QCursor cursor = LoadCursorResource(id);
        EXPECT_EQ(cursor.shape(), Qt::BitmapCursor) << id;
        EXPECT_EQ(cursor.pixmap().size(), QSize(32, 32)) << id;
        EXPECT_TRUE(QRect(0, 0, 32, 32).contains(cursor.hotSpot())) << id;
    }
    // Hovering and dragging look different.
    EXPECT_NE(LoadCursorResource(kCursorHover).pixmap().toImage(),
              LoadCursorResource(kCursorDrag).pixmap().toImage());
}

} // namespace
