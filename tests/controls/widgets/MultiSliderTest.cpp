#include "controls/widgets/MultiSlider.h"
#include "controls/support/ResourceImages.h"
#include "controls/widgets/MultiSliderLogic.h"
#include "core/CIEColor.h"

#include "tests/controls/widgets/PaintCounter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include "tests/controls/NotifySpy.h"

#include <QSignalSpy>
#include <QTest>

#include <array>
#include <cmath>
#include <tuple>
#include <vector>

namespace {

constexpr int kMessage = 0x5F6;

} // namespace

TEST(SliderAxisTest, PixelsAndValuesBothWays)
{
    struct Case
    {
        SliderAxis axis;
        int pixel;
        int value;
    };
    const SliderAxis horizontal{0, 111, 0, 100, false};
    const SliderAxis vertical{0, 111, 0, 100, true};
    const SliderAxis offset{20, 111, -50, 50, false};
    const Case toValue[] = {
        {horizontal, 5, 0},     {horizontal, 55, 50},  {horizontal, 105, 100},
        {horizontal, 300, 100}, {horizontal, 0, 0},    {horizontal, 56, 51},
        {vertical, 5, 100},     {vertical, 105, 0},    {vertical, 55, 50},
        {vertical, -40, 100},   {vertical, 500, 0},    {offset, 25, -50},
        {offset, 75, 0},
        // Below the track: -5.5 truncated to -5, then clamped.
        {SliderAxis{0, 111, -10, 100, false}, 0, -10},
        // An empty range, a track no longer than a thumb: the minimum.
        {SliderAxis{0, 111, 7, 7, false}, 60, 7},
        {SliderAxis{0, 11, 0, 100, false}, 8, 0},
        {SliderAxis{0, 3, 0, 100, true}, 1, 0},
    };
    for (const Case& c : toValue)
        EXPECT_EQ(c.axis.PixelToValue(c.pixel), c.value) << "pixel " << c.pixel;

    const Case toPixel[] = {
        {horizontal, 0, 0},   {horizontal, 50, 50}, {horizontal, 100, 100},
        {vertical, 0, 100},   {vertical, 100, 0},   {vertical, 25, 75},
        {offset, 20, -50},    {offset, 70, 0},     {offset, 120, 50},
        {SliderAxis{0, 111, 0, 3, false}, 33, 1}, // 1 / 3 x 100 truncated
        {SliderAxis{0, 111, 7, 7, false}, 0, 7},
        {SliderAxis{0, 111, 7, 7, true}, 100, 7},
    };
    for (const Case& c : toPixel)
        EXPECT_EQ(c.axis.ValueToPixel(c.value), c.pixel) << "value " << c.value;
}

TEST(SliderAxisTest, NearestThumbTakesTheFirstOfEquallyNearOnes)
{
    const SliderAxis axis{0, 111, 0, 100, false};
    const std::vector<std::int16_t> stacked = {40, 40, 90};
    EXPECT_EQ(axis.NearestThumb(stacked, 40), 0);
    EXPECT_EQ(axis.NearestThumb(stacked, 60), 0);
    EXPECT_EQ(axis.NearestThumb(stacked, 65), 0); // 25 from both 40 and 90
    EXPECT_EQ(axis.NearestThumb(stacked, 66), 2);
    EXPECT_EQ(axis.NearestThumb(std::vector<std::int16_t>{}, 10), -1);
    EXPECT_EQ(axis.NearestThumb(std::vector<std::int16_t>{0}, 40000), -1);
}

// Stacked thumbs: a press on the stack or below it takes the first; a
// press beyond it takes the last, which alone can move that way without
// passing a neighbour.
TEST(SliderAxisTest, GrabTakesTheStackedThumbFreeToMoveTowardThePress)
{
    struct Case
    {
        std::vector<std::int16_t> positions;
        int pixel;
        int index;
    };
    const SliderAxis axis{0, 111, 0, 100, false};
    const SliderAxis vertical{0, 111, 0, 100, true};
    const Case cases[] = {
        {{40, 40}, 40, 0},          {{40, 40}, 44, 0},  // value 39: below the stack
        {{40, 40}, 45, 0},          {{40, 40}, 46, 1},  // values 40 and 41
        {{40, 40}, 30, 0},          {{0, 0, 100}, 50, 1},
        {{0, 0, 0, 100}, 20, 2},    {{100, 100}, 104, 0},
        {{10, 50, 50, 90}, 60, 2},  {{10, 50, 50, 90}, 52, 1},
        {{}, 50, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(axis.GrabThumb(c.positions, c.pixel), c.index) << "pixel " << c.pixel;
    // Vertical: larger values lie above.
    const std::vector<std::int16_t> stacked = {60, 60};
    EXPECT_EQ(vertical.GrabThumb(stacked, 30), 1);
    EXPECT_EQ(vertical.GrabThumb(stacked, 70), 0);
}

TEST(SliderAxisTest, DraggedThumbStaysBetweenItsNeighbours)
{
    const std::vector<std::int16_t> levels = {10, 127, 200};
    struct Case
    {
        std::size_t index;
        int value;
        int kept;
    };
    const Case cases[] = {
        {0, -5, -5}, {0, 150, 127}, {1, 5, 10},   {1, 250, 200},
        {1, 130, 130}, {2, 100, 127}, {2, 300, 300}, {1, 10, 10},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClampBetweenNeighbours(levels, c.index, c.value), c.kept) << c.index << " " << c.value;
    // Neighbours out of order do not bind.
    const std::vector<std::int16_t> muddled = {90, 50, 10};
    EXPECT_EQ(ClampBetweenNeighbours(muddled, 1, 70), 70);
}

TEST(SliderRampTest, LevelsAndHueIndicesOverTheTrack)
{
    struct Case
    {
        int i, n, level;
    };
    const Case levels[] = {
        {0, 111, 0}, {4, 111, 0}, {5, 111, 0}, {55, 111, 126}, {105, 111, 252},
        {106, 111, 255}, {110, 111, 255}, {5, 10, 255}, {4, 10, 0}, {0, 0, 0},
    };
    for (const Case& c : levels)
        EXPECT_EQ(RampLevel(c.i, c.n), c.level) << c.i << " of " << c.n;

    EXPECT_EQ(HueRampIndex(4, 111, 100), 0);
    EXPECT_EQ(HueRampIndex(5, 111, 100), 0);
    EXPECT_EQ(HueRampIndex(105, 111, 100), 99); // 100 x 100 / 101
    EXPECT_EQ(HueRampIndex(106, 111, 100), 99);
    EXPECT_EQ(HueRampIndex(55, 111, 100), 49);
    EXPECT_EQ(HueRampIndex(7, 111, 0), -1);
    EXPECT_EQ(HueRampIndex(5, 8, 3), 2);
}

TEST(SliderRampTest, RampEndColours)
{
    EXPECT_EQ(TemperatureRampColor(0), (RampRGB{64, 196, 255}));
    EXPECT_EQ(TemperatureRampColor(255), (RampRGB{255, 128, 64}));
    EXPECT_EQ(TintRampColor(0), (RampRGB{64, 255, 64}));
    EXPECT_EQ(TintRampColor(255), (RampRGB{255, 64, 255}));
    EXPECT_EQ(InverseGreyRampColor(0), (RampRGB{255, 255, 255}));
    EXPECT_EQ(ShownChannel(0x7FFF), 127);
    EXPECT_EQ(ShownChannel(0xFFFF), 255);
}

// The hue ramp computed the long way: LCh(65, 100, h) -> Lab -> XYZ under
// D65, through the inverse of the sRGB primaries matrix, then c^(1/2.4)
// clipped and scaled to 16 bits.
TEST(SliderRampTest, HueRampFollowsTheSwatchFormula)
{
    const double m[3][3] = {{0.4124, 0.3576, 0.1805}, {0.2126, 0.7152, 0.0722}, {0.0193, 0.1192, 0.9505}};
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    double inv[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
        {
            // Cofactor of (c, r), transposed.
            const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            inv[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
        }
    const int count = 360;
    const std::vector<RGB16> ramp = BuildHueRamp(count);
    ASSERT_EQ(ramp.size(), 360u);
    for (const int i : {0, 45, 90, 135, 200, 300, 359})
    {
        const CCIEXYZ xyz = CCIELCh(65.0, 100.0, i * 360.0 / count).ToLab().ToXYZ();
        std::array<int, 3> expected{};
        for (int ch = 0; ch < 3; ++ch)
        {
            double linear = 0.0;
            for (int k = 0; k < 3; ++k)
                linear += inv[ch][k] * xyz[k] / 100.0;
            const double clipped = linear < 0.0 ? 0.0 : (linear > 1.0 ? 1.0 : linear);
            expected[ch] = static_cast<int>(std::pow(clipped, 1.0 / 2.4) * 65535.0);
        }
        const RGB16 got = ramp[static_cast<std::size_t>(i)];
        EXPECT_NEAR(got.r, expected[0], 1) << "hue " << i;
        EXPECT_NEAR(got.g, expected[1], 1) << "hue " << i;
        EXPECT_NEAR(got.b, expected[2], 1) << "hue " << i;
    }
    EXPECT_TRUE(BuildHueRamp(0).empty());
    EXPECT_TRUE(BuildHueRamp(-4).empty());
}

class MultiSliderTest : public testing::Test
{
protected:
    void Show(int width, int height, std::int16_t maximum, const std::vector<std::int16_t>& positions,
              bool vertical = false)
    {
        slider.resize(width, height);
        slider.Init(std::nullopt, vertical ? kIconSliderThumbVertical : kIconSliderThumb, maximum,
                    positions, vertical, MultiSliderStyle::GreyRamp);
        slider.setNotifyMessage(kMessage);
        slider.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&slider));
    }

    CMultiSlider slider;
};

TEST_F(MultiSliderTest, PressPutsTheThumbUnderTheMouse)
{
    Show(111, 20, 100, {30});
    struct Case
    {
        int x;
        std::int16_t value;
    };
    const Case cases[] = {{5, 0}, {55, 50}, {105, 100}, {110, 100}, {0, 0}};
    for (const Case& c : cases)
    {
        QSignalSpy spy(&slider, &CMultiSlider::notify);
        QTest::mouseClick(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(c.x, 10));
        EXPECT_EQ(slider.Positions[0], c.value) << "x " << c.x;
        const std::vector<Notification> expected = {{kMessage, 1, 0}, {kMessage, 2, -1}};
        EXPECT_EQ(Notifications(spy), expected) << "x " << c.x;
        EXPECT_EQ(slider.DragIndex, -1);
    }
}

TEST_F(MultiSliderTest, StackedThumbsGiveThePressToTheFirstUnlessItCannotMoveThere)
{
    Show(111, 20, 100, {40, 40});
    QSignalSpy spy(&slider, &CMultiSlider::notify);
    QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(40, 10));
    EXPECT_EQ(slider.DragIndex, 0);
    QTest::mouseMove(&slider, QPoint(20, 10));
    QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(20, 10));
    EXPECT_EQ(slider.Positions, (std::vector<std::int16_t>{15, 40}));
    ASSERT_GE(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(1).toInt(), 1);
    EXPECT_EQ(spy.at(0).at(2).toLongLong(), 0);

    // Both at the minimum: a press beyond them takes the second, which can
    // leave; the first could not pass it.
    slider.Positions = {0, 0};
    QTest::mouseClick(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(55, 10));
    EXPECT_EQ(slider.Positions, (std::vector<std::int16_t>{0, 50}));
}

TEST_F(MultiSliderTest, DragReportsEachMoveKeepsTheOrderAndReleasesWithMinusOne)
{
    Show(111, 20, 100, {20, 60, 90});
    QSignalSpy spy(&slider, &CMultiSlider::notify);
    // A press far from every thumb takes the nearest (60) and moves it.
    QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(70, 10));
    EXPECT_EQ(slider.DragIndex, 1);
    EXPECT_EQ(slider.Positions, (std::vector<std::int16_t>{20, 65, 90}));
    // Dragged past the left neighbour it stops on it.
    QTest::mouseMove(&slider, QPoint(2, 10));
    EXPECT_EQ(slider.Positions, (std::vector<std::int16_t>{20, 20, 90}));
    // And past the right one.
    QTest::mouseMove(&slider, QPoint(108, 10));
    EXPECT_EQ(slider.Positions, (std::vector<std::int16_t>{20, 90, 90}));
    QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(108, 10));
    EXPECT_EQ(slider.DragIndex, -1);
    // A second release reports nothing more.
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(108, 10), slider.mapToGlobal(QPointF(108, 10)),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&slider, &release);

    std::vector<Notification> received;
    for (const Notification& n : Notifications(spy))
        received.push_back(n);
    ASSERT_GE(received.size(), 4u);
    EXPECT_EQ(received.front(), (Notification{kMessage, 1, 1}));
    EXPECT_EQ(received.back(), (Notification{kMessage, 2, -1}));
    for (std::size_t i = 0; i + 1 < received.size(); ++i)
        EXPECT_EQ(received[i], (Notification{kMessage, 1, 1}));
}

TEST_F(MultiSliderTest, MoveWithoutTheLeftButtonEndsTheDrag)
{
    Show(111, 20, 100, {50});
    QSignalSpy spy(&slider, &CMultiSlider::notify);
    QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(30, 10));
    QMouseEvent move(QEvent::MouseMove, QPointF(80, 10), slider.mapToGlobal(QPointF(80, 10)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&slider, &move);
    EXPECT_EQ(slider.DragIndex, -1);
    EXPECT_EQ(slider.Positions[0], 25);
    const std::vector<Notification> expected = {{kMessage, 1, 0}, {kMessage, 2, -1}};
    EXPECT_EQ(Notifications(spy), expected);
}

TEST_F(MultiSliderTest, VerticalSliderHasItsMinimumAtTheBottom)
{
    Show(20, 111, 100, {0}, true);
    QTest::mouseClick(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(10, 25));
    EXPECT_EQ(slider.Positions[0], 80);
    QTest::mouseClick(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(10, 110));
    EXPECT_EQ(slider.Positions[0], 0);
}

TEST_F(MultiSliderTest, SetPosRepaintsOnChangeOrForceAndSendsNothing)
{
    Show(111, 20, 100, {10, 50});
    QApplication::processEvents();
    QSignalSpy spy(&slider, &CMultiSlider::notify);
    PaintCounter paints(&slider);
    slider.SetPos(1, 50);
    QApplication::processEvents();
    EXPECT_EQ(paints.count, 0);
    slider.SetPos(1, 50, true);
    QApplication::processEvents();
    EXPECT_GT(paints.count, 0);
    slider.SetPos(0, 30);
    slider.SetPos(2, 70);
    slider.SetPos(-1, 70);
    EXPECT_EQ(slider.Positions, (std::vector<std::int16_t>{30, 50}));
    EXPECT_EQ(spy.count(), 0);
}

TEST(MultiSliderPaintTest, RampColumnsOfTheFourRampStyles)
{
    struct Case
    {
        MultiSliderStyle style;
        int column;
        QColor colour;
    };
    // A 111-pixel track: column 55 has level 50 x 255 / 101 = 126.
    const Case cases[] = {
        {MultiSliderStyle::GreyRamp, 2, QColor(0, 0, 0)},
        {MultiSliderStyle::GreyRamp, 55, QColor(126, 126, 126)},
        {MultiSliderStyle::GreyRamp, 108, QColor(255, 255, 255)},
        {MultiSliderStyle::InverseGreyRamp, 2, QColor(255, 255, 255)},
        {MultiSliderStyle::InverseGreyRamp, 55, QColor(129, 129, 129)},
        {MultiSliderStyle::Temperature, 2, QColor(64, 196, 255)},
        {MultiSliderStyle::Temperature, 55, QColor(158, 162, 160)},
        {MultiSliderStyle::Temperature, 108, QColor(255, 128, 64)},
        {MultiSliderStyle::Tint, 2, QColor(64, 255, 64)},
        {MultiSliderStyle::Tint, 55, QColor(158, 160, 158)},
        {MultiSliderStyle::Tint, 108, QColor(255, 64, 255)},
    };
    for (const Case& c : cases)
    {
        CMultiSlider slider;
        slider.resize(111, 20);
        slider.Init(std::nullopt, kIconSliderThumb, 100, {}, false, c.style);
        const QImage image = slider.renderToImage();
        EXPECT_EQ(image.pixelColor(c.column, 15), c.colour)
            << "style " << static_cast<int>(c.style) << " column " << c.column;
        EXPECT_EQ(image.pixelColor(0, 15), QColor(Qt::black));
        EXPECT_EQ(image.pixelColor(c.column, 19), QColor(Qt::black));
    }
    for (const int style : {5, 0, 7})
    {
        CMultiSlider slider;
        slider.resize(111, 20);
        slider.Init(RGBColor{0x7FFF, 0xFFFF, 0}, kIconSliderThumb, 100, {}, false,
                    static_cast<MultiSliderStyle>(style));
        const QImage image = slider.renderToImage(); // starts black: no fill stays black
        EXPECT_EQ(image.pixelColor(55, 10), style == 5 ? QColor(127, 255, 0) : QColor(Qt::black));
    }
}

TEST(MultiSliderPaintTest, VerticalRampStartsAtTheBottom)
{
    CMultiSlider slider;
    slider.resize(20, 111);
    slider.Init(std::nullopt, kIconSliderThumbVertical, 100, {}, true, MultiSliderStyle::GreyRamp);
    const QImage image = slider.renderToImage();
    EXPECT_EQ(image.pixelColor(5, 108), QColor(0, 0, 0));
    EXPECT_EQ(image.pixelColor(5, 110 - 55), QColor(126, 126, 126));
    EXPECT_EQ(image.pixelColor(5, 2), QColor(255, 255, 255));
}

TEST(MultiSliderPaintTest, ThumbsAreDrawnOnlyWhenEnabledAndWithAnIcon)
{
    CMultiSlider slider;
    slider.resize(111, 20);
    slider.Init(std::nullopt, kIconSliderThumb, 100, {50}, false, MultiSliderStyle::InverseGreyRamp);
    // The pointer's middle column, near the top of the thumb's box at x = 50.
    const QPoint tip(55, 3);
    const QColor track(129, 129, 129);
    EXPECT_NE(slider.renderToImage().pixelColor(tip), track);

    slider.setEnabled(false);
    const QImage disabled = slider.renderToImage();
    EXPECT_EQ(disabled.pixelColor(tip), QColor(129, 129, 129));
    EXPECT_EQ(disabled.pixelColor(0, 10), QColor(Qt::black));

    slider.setEnabled(true);
    slider.Init(std::nullopt, 0, 100, {50}, false, MultiSliderStyle::InverseGreyRamp);
    EXPECT_TRUE(slider.ThumbIcon.isNull());
    EXPECT_EQ(slider.renderToImage().pixelColor(tip), track);
}

// Init may come before the layout gives the control its size: the hue
// ramp is built for the length the track has when it is shown, and again
// when that length changes.
TEST(MultiSliderPaintTest, HueRampIsBuiltForTheRealLength)
{
    CMultiSlider slider;
    slider.resize(5, 20);
    slider.Init(std::nullopt, kIconSliderThumb, 359, {0}, false, MultiSliderStyle::Hue);
    EXPECT_TRUE(slider.HueColors.empty());
    EXPECT_FALSE(slider.renderToImage().isNull());

    slider.resize(311, 20);
    slider.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&slider));
    ASSERT_EQ(slider.HueColors.size(), 300u);
    EXPECT_EQ(slider.HueColors.front().r, BuildHueRamp(300).front().r);

    const QImage image = slider.renderToImage();
    const auto shown = [](const RGB16& c) {
        return QColor(ShownChannel(c.r), ShownChannel(c.g), ShownChannel(c.b));
    };
    EXPECT_EQ(image.pixelColor(3, 15), shown(slider.HueColors.front()));
    EXPECT_EQ(image.pixelColor(155, 15), shown(slider.HueColors[150 * 300 / 301]));
    EXPECT_EQ(image.pixelColor(307, 15), shown(slider.HueColors.back()));

    slider.resize(211, 20);
    QApplication::processEvents();
    EXPECT_EQ(slider.HueColors.size(), 200u);
}
