#include "controls/widgets/ColorCellLogic.h"
#include "controls/widgets/ColorPatchCtrl.h"

#include "tests/controls/FakePointerState.h"
#include "tests/controls/widgets/PaintCounter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include "tests/controls/NotifySpy.h"

#include <QSignalSpy>
#include <QTest>

#include <tuple>
#include <vector>

namespace {

constexpr int kMessage = 0x7E8;

class ColorPatchTest : public testing::Test
{
protected:
    void SetUp() override
    {
        patch.resize(40, 30);
        patch.setNotifyMessage(kMessage);
        patch.setPointerState(pointer);
        patch.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&patch));
        patch.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&patch));
    }

    QPoint Inside() const { return patch.mapToGlobal(QPoint(20, 15)); }
    QPoint Outside() const { return patch.mapToGlobal(QPoint(60, 15)); }

    FakePointerState pointer;
    CColorPatchCtrl patch;
};

} // namespace

// A press held over the patch repeats; moving off pauses the repeats
// without ending the press; the end is reported once, whether the timer or
// the button-up event sees it first.
TEST_F(ColorPatchTest, HeldPressRepeatsOverThePatchAndEndsOnce)
{
    for (const bool tickSeesReleaseFirst : {true, false})
    {
        SCOPED_TRACE(tickSeesReleaseFirst ? "tick first" : "button-up first");
        QSignalSpy spy(&patch, &CColorPatchCtrl::notify);
        pointer.buttonDown = true;
        pointer.position = Inside();
        QTest::mousePress(&patch, Qt::LeftButton, Qt::NoModifier, QPoint(20, 15));
        EXPECT_TRUE(patch.isRepeating());
        EXPECT_TRUE(patch.hasFocus());

        // About half a second: three ticks over the patch.
        for (int tick = 0; tick < 3; ++tick)
            patch.OnRepeatTimer();
        pointer.position = Outside();
        patch.OnRepeatTimer();
        pointer.position = Inside();
        patch.OnRepeatTimer();
        EXPECT_TRUE(patch.isRepeating());

        pointer.buttonDown = false;
        if (tickSeesReleaseFirst)
        {
            patch.OnRepeatTimer();
            QTest::mouseRelease(&patch, Qt::LeftButton, Qt::NoModifier, QPoint(20, 15));
        }
        else
        {
            QTest::mouseRelease(&patch, Qt::LeftButton, Qt::NoModifier, QPoint(20, 15));
            patch.OnRepeatTimer();
        }
        EXPECT_FALSE(patch.isRepeating());

        const std::vector<Notification> expected = {
            {kMessage, 1, 0}, {kMessage, 1, 1}, {kMessage, 1, 1}, {kMessage, 1, 1},
            {kMessage, 1, 1}, {kMessage, 2, 0},
        };
        EXPECT_EQ(Notifications(spy), expected);
    }
}

TEST_F(ColorPatchTest, WithoutMessageNumberNothingIsSentButThePressStillRuns)
{
    patch.setNotifyMessage(0);
    QSignalSpy spy(&patch, &CColorPatchCtrl::notify);
    QTest::mousePress(&patch, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_TRUE(patch.isRepeating());
    QTest::mouseRelease(&patch, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_FALSE(patch.isRepeating());
    EXPECT_EQ(spy.count(), 0);
}

TEST_F(ColorPatchTest, SetColorRepaintsOnlyForAnotherColour)
{
    PaintCounter paints(&patch);
    const RGBColor shown{0x1200, 0x3400, 0x5600};
    patch.SetColor(shown);
    QApplication::processEvents();
    EXPECT_EQ(patch.GetColor(), shown);
    const int afterFirst = paints.count;
    EXPECT_GE(afterFirst, 1);

    patch.SetColor(shown);
    QApplication::processEvents();
    EXPECT_EQ(paints.count, afterFirst);

    // One byte of six differs: a new colour.
    patch.SetColor(RGBColor{0x1200, 0x3400, 0x5601});
    QApplication::processEvents();
    EXPECT_GT(paints.count, afterFirst);
}

TEST(CrossSquareTest, CentredSquareTwoPixelsInside)
{
    struct Case
    {
        CellRect rect;
        CellRect square;
    };
    const Case cases[] = {
        {{0, 0, 20, 20}, {2, 2, 18, 18}},
        {{0, 0, 20, 40}, {2, 12, 18, 28}},
        {{0, 0, 41, 20}, {12, 2, 29, 18}},  // odd difference: the half truncated
        {{10, 5, 30, 26}, {12, 7, 28, 24}}, // 20 x 21: (21 - 20) / 2 = 0
    };
    for (const Case& c : cases)
        EXPECT_EQ(CrossSquare(c.rect), c.square);
}

TEST(ColorPatchPaintTest, FillsWithTheHighBytesAndDrawsTheSelectedCross)
{
    CColorPatchCtrl patch;
    patch.resize(40, 30);
    patch.Color = RGBColor{0x10ff, 0x80ff, 0xc0ff};
    const QColor fill(0x10, 0x80, 0xc0);

    QImage plain = patch.renderToImage();
    EXPECT_EQ(plain.pixelColor(20, 15), fill);
    EXPECT_EQ(plain.pixelColor(0, 0), fill);

    patch.Selected = 1;
    const QImage selected = patch.renderToImage();
    const CellRect square = CrossSquare(CellRect{0, 0, 40, 30});
    // The square's corners are outside the cross's reach along the long
    // side: the fill stays there.
    EXPECT_EQ(selected.pixelColor(1, 15), fill);
    EXPECT_EQ(selected.pixelColor(38, 15), fill);
    // Both diagonals cross in the middle, red.
    const int k = (square.right - square.left) / 2;
    EXPECT_EQ(selected.pixelColor(square.left + k, square.top + k), QColor(255, 0, 0));
    EXPECT_EQ(selected.pixelColor(square.left + 2, square.top + 2), QColor(255, 0, 0));
    EXPECT_EQ(selected.pixelColor(square.left + 2, square.bottom - 3), QColor(255, 0, 0));
    // The black shadow shows just below the red line.
    bool shadow = false;
    for (int dy = 1; dy <= 3; ++dy)
        shadow = shadow || selected.pixelColor(square.left + 4, square.top + 4 + dy) == QColor(Qt::black);
    EXPECT_TRUE(shadow);
}
