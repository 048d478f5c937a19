// The chromaticity diagram: the pixel mapping and its edges, the keys and
// the click with what they report, the label placement, the markers, and
// the diagram's background picture.

#include "controls/widgets/CIExyCtrl.h"
#include "controls/support/ColorRef.h"
#include "controls/support/ResourceImages.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include <algorithm>

namespace {

// --- Mapping -----------------------------------------------------------------

TEST(CIExyMapping, CornersOfTheShrunkClientAreTheWindowsCorners)
{
    // 144 x 100: the mapped rectangle is (1, 1) - (143, 99).
    const CIExyMapping m = CIExyMapping::FromClient(144, 100);
    struct Case
    {
        int px, py;
        double x, y;
    };
    const Case cases[] = {
        {1, 99, 0.2939, 0.3093},  // bottom left
        {143, 1, 0.4362, 0.4061}, // top right
        {1, 1, 0.2939, 0.4061},   // top left
        {72, 50, 0.2939 + 0.1423 * 71 / 142, 0.3093 + 0.0968 * 49 / 98},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.px << ", " << c.py);
        double x = 0.0;
        double y = 0.0;
        m.PixelToXy(c.px, c.py, x, y);
        EXPECT_NEAR(x, c.x, 1e-12);
        EXPECT_NEAR(y, c.y, 1e-12);
        int px = 0;
        int py = 0;
        m.XyToPixel(x, y, px, py);
        EXPECT_EQ(px, c.px);
        EXPECT_EQ(py, c.py);
    }
}

TEST(CIExyMapping, EveryPixelOfTheMappedRectangleRoundTrips)
{
    // (The outer ring of pixels lies half a step or more outside the
    // window; truncation toward 0 takes it back to the ring inside.)
    for (const auto& [w, h] : {std::pair{144, 100}, {80, 80}, {37, 211}})
    {
        const CIExyMapping m = CIExyMapping::FromClient(w, h);
        for (int py = m.top; py <= m.bottom; ++py)
            for (int px = m.left; px <= m.right; ++px)
            {
                double x = 0.0;
                double y = 0.0;
                m.PixelToXy(px, py, x, y);
                int bx = 0;
                int by = 0;
                m.XyToPixel(x, y, bx, by);
                ASSERT_EQ(bx, px) << w << " x " << h << " at " << px << ", " << py;
                ASSERT_EQ(by, py) << w << " x " << h << " at " << px << ", " << py;
            }
    }
}

TEST(CIExyMapping, ValuesFarOutsideAndTinyClientsStayDefined)
{
    const CIExyMapping m = CIExyMapping::FromClient(144, 100);
    int px = 0;
    int py = 0;
    m.XyToPixel(1e300, -1e300, px, py); // limited before the conversion
    EXPECT_GT(px, 143);
    EXPECT_GT(py, 99);
    m.XyToPixel(0.0, 0.0, px, py); // truncation toward 0 of a negative
    EXPECT_EQ(px, 1 + static_cast<int>((0.0 - 0.2939) / (0.1423 / 142) + 0.5));

    // A client of 2 pixels a side has no span: no division by zero.
    const CIExyMapping tiny = CIExyMapping::FromClient(2, 2);
    EXPECT_FALSE(tiny.IsValid());
    double x = -1.0;
    double y = -1.0;
    tiny.PixelToXy(1, 1, x, y);
    EXPECT_EQ(x, 0.2939);
    EXPECT_EQ(y, 0.3093);
}

TEST(CIExyMapping, ArrowsMoveTwoPixelsAndStopAtTheEdges)
{
    const CIExyMapping m = CIExyMapping::FromClient(144, 100);
    struct Case
    {
        CIExyKey key;
        int px, py;
        int ex, ey;
    };
    const Case cases[] = {
        {CIExyKey::Left, 50, 50, 48, 50},    {CIExyKey::Right, 50, 50, 52, 50},
        {CIExyKey::Up, 50, 50, 50, 48},      {CIExyKey::Down, 50, 50, 50, 52},
        {CIExyKey::Left, 2, 50, 1, 50},      {CIExyKey::Left, 1, 50, 1, 50},
        {CIExyKey::Right, 142, 50, 143, 50}, {CIExyKey::Right, 143, 50, 143, 50},
        {CIExyKey::Up, 50, 2, 50, 1},        {CIExyKey::Up, 50, 1, 50, 1},
        {CIExyKey::Down, 50, 98, 50, 99},    {CIExyKey::Down, 50, 99, 50, 99},
        {CIExyKey::Enter, 50, 50, 50, 50},   {CIExyKey::Other, 50, 50, 50, 50},
    };
    for (const Case& c : cases)
    {
        int px = c.px;
        int py = c.py;
        MoveCIExyPixel(m, c.key, px, py);
        EXPECT_EQ(px, c.ex) << static_cast<int>(c.key) << " from " << c.px << ", " << c.py;
        EXPECT_EQ(py, c.ey) << static_cast<int>(c.key) << " from " << c.px << ", " << c.py;
    }
}

TEST(CIExyMapping, LabelBoxesAreShiftedBackInside)
{
    struct Case
    {
        int x, y;
        int ex, ey;
    };
    const Case cases[] = {
        {10, 10, 10, 10},   // inside
        {-5, -3, 0, 0},     // left and top
        {120, 50, 104, 50}, // right: 144 - 40
        {50, 95, 50, 88},   // bottom: 100 - 12
        {130, 99, 104, 88}, // right and bottom
    };
    for (const Case& c : cases)
    {
        int x = c.x;
        int y = c.y;
        PlaceCIExyLabel(144, 100, x, y);
        EXPECT_EQ(x, c.ex) << c.x << ", " << c.y;
        EXPECT_EQ(y, c.ey) << c.x << ", " << c.y;
    }
}

// --- The control -------------------------------------------------------------

class CIExyCtrlTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ctrl.resize(144, 100);
        ctrl.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&ctrl));
        PlacePoint(50, 50);
        ctrl.RefPoint = ctrl.Point;
    }

    void PlacePoint(int px, int py)
    {
        ctrl.mapping().PixelToXy(px, py, ctrl.Point.x, ctrl.Point.y);
    }

    QPoint PointPixel() const
    {
        int px = 0;
        int py = 0;
        ctrl.mapping().XyToPixel(ctrl.Point.x, ctrl.Point.y, px, py);
        return QPoint(px, py);
    }

    CCIExyCtrl ctrl;
};

TEST_F(CIExyCtrlTest, ArrowsMoveQuietlyEnterAndClickPostThePoint)
{
    QSignalSpy spy(&ctrl, &CCIExyCtrl::pointChanged);
    QTest::keyClick(&ctrl, Qt::Key_Left);
    QTest::keyClick(&ctrl, Qt::Key_Up);
    QTest::keyClick(&ctrl, Qt::Key_Up);
    QCoreApplication::processEvents();
    EXPECT_EQ(PointPixel(), QPoint(48, 46));
    EXPECT_EQ(spy.count(), 0);

    // Enter posts: nothing until the event loop runs, then the point of
    // the moment of posting.
    QTest::keyClick(&ctrl, Qt::Key_Return);
    EXPECT_EQ(spy.count(), 0);
    const CIExyPoint committed = ctrl.Point;
    QCoreApplication::processEvents();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy[0][0].toDouble(), committed.x);
    EXPECT_EQ(spy[0][1].toDouble(), committed.y);

    // Other keys change nothing and report nothing.
    EXPECT_FALSE(ctrl.OnKeyDown(Qt::Key_A));
    EXPECT_EQ(PointPixel(), QPoint(48, 46));

    QTest::mouseClick(&ctrl, Qt::LeftButton, Qt::NoModifier, QPoint(30, 70));
    QCoreApplication::processEvents();
    ASSERT_EQ(spy.count(), 2);
    double x = 0.0;
    double y = 0.0;
    ctrl.mapping().PixelToXy(30, 70, x, y);
    EXPECT_EQ(spy[1][0].toDouble(), x);
    EXPECT_EQ(spy[1][1].toDouble(), y);
    EXPECT_EQ(PointPixel(), QPoint(30, 70));
}

TEST_F(CIExyCtrlTest, ForwardedKeysStayOnTheEdgePixel)
{
    PlacePoint(2, 98);
    ASSERT_TRUE(ctrl.OnKeyDown(Qt::Key_Left));
    ASSERT_TRUE(ctrl.OnKeyDown(Qt::Key_Down));
    EXPECT_EQ(PointPixel(), QPoint(1, 99));
    EXPECT_EQ(ctrl.Point.x, 0.2939);
    EXPECT_EQ(ctrl.Point.y, 0.3093);
    ASSERT_TRUE(ctrl.OnKeyDown(Qt::Key_Left));
    EXPECT_EQ(PointPixel(), QPoint(1, 99));
}

TEST_F(CIExyCtrlTest, RestorePointTakesTheReference)
{
    PlacePoint(100, 20);
    ctrl.RestorePoint();
    EXPECT_EQ(PointPixel(), QPoint(50, 50));
}

TEST_F(CIExyCtrlTest, MarkersArePaintedInTheirColours)
{
    // Ref at (40, 60), point at (100, 30): the arms of each cross carry the
    // marker's colour; the ring passes 10 pixels from the centre.
    ctrl.mapping().PixelToXy(40, 60, ctrl.RefPoint.x, ctrl.RefPoint.y);
    PlacePoint(100, 30);
    const QImage image = ctrl.renderToImage();
    const QColor red = ColorFromRef(0x4A4AFF);
    const QColor blue = ColorFromRef(0xFF844A);
    for (const QPoint& p :
         {QPoint(40, 60), QPoint(35, 60), QPoint(40, 55), QPoint(40, 70), QPoint(30, 60)})
        EXPECT_EQ(image.pixelColor(p), red) << p.x() << ", " << p.y();
    for (const QPoint& p :
         {QPoint(100, 30), QPoint(95, 30), QPoint(100, 36), QPoint(100, 20), QPoint(110, 30)})
        EXPECT_EQ(image.pixelColor(p), blue) << p.x() << ", " << p.y();
    // Off the marker: not its colour.
    EXPECT_NE(image.pixelColor(QPoint(105, 35)), blue);
}

TEST_F(CIExyCtrlTest, BackgroundFillsTheClient)
{
    // Nothing outside the diagram's own drawing: a corner pixel well away
    // from lines, labels and markers shows the near-white background.
    ctrl.RefPoint = ctrl.Point;
    const QImage image = ctrl.renderToImage();
    const QColor c = image.pixelColor(QPoint(130, 90));
    EXPECT_GE(std::max({c.red(), c.green(), c.blue()}), 220);
}

// --- The background picture --------------------------------------------------

TEST(ChromaticityBitmap, PaleTintsWarmerToTheRightGreenerToTheTop)
{
    const QImage image = LoadBitmapResource(kBitmapChromaticity);
    ASSERT_EQ(image.size(), QSize(80, 80));
    for (int y = 0; y < 80; y += 7)
        for (int x = 0; x < 80; x += 7)
        {
            const QColor c = image.pixelColor(x, y);
            // The brightest channel is near full, the others not far below
            // (the warmest corner, beyond 3000 K, is the deepest tint):
            // tints of white, not colours.
            EXPECT_GE(std::max({c.red(), c.green(), c.blue()}), 245) << x << ", " << y;
            EXPECT_GE(std::min({c.red(), c.green(), c.blue()}), 110) << x << ", " << y;
        }
    // Larger x is redder (the warm end of the locus), larger y greener.
    const QColor leftBottom = image.pixelColor(2, 77);
    const QColor rightBottom = image.pixelColor(77, 77);
    EXPECT_GT(rightBottom.red() - rightBottom.blue(), leftBottom.red() - leftBottom.blue() + 30);
    const QColor leftTop = image.pixelColor(2, 2);
    EXPECT_GT(leftTop.green() - leftTop.red(), leftBottom.green() - leftBottom.red());
}

} // namespace
