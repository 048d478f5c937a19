// The colour value text: its lines per notation from a table (with and
// without a converter), the red of a colour outside the input space, and
// when it paints.

#include "controls/widgets/ColorValueText.h"
#include "controls/widgets/ColorValueTextLogic.h"
#include "core/ColorConverter.h"
#include "core/ColorProfile.h"
#include "core/SRGBProfile.h"
#include "tests/controls/SRGBConverter.h"

#include "tests/controls/widgets/PaintCounter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <array>
#include <memory>
#include <string>

namespace {

using Lines = std::array<ColorValueLine, 3>;

const CCIEXYZ kD65(95.043, 100.0, 108.879);

TEST(ColorValueLines, ByNotationWithoutConverter)
{
    struct Case
    {
        int notation;
        CCIEXYZ value;
        bool showValues;
        Lines expected;
    };
    const Case cases[] = {
        {1, CCIEXYZ(41.24, 21.26, 1.93), true, {{{"X :", "41.2"}, {"Y :", "21.3"}, {"Z :", "1.9"}}}},
        {2, CCIEXYZ(20.0, 30.0, 50.0), true, {{{"Y :", "30.0"}, {"x :", "0.200"}, {"y :", "0.300"}}}},
        // Lab against D65 without a converter: the white is L 100, an eighth
        // of it L 42 (116 x 0.5 - 16), both neutral.
        {3, kD65, true, {{{"L :", "100.0"}, {"a :", "0.0"}, {"b :", "0.0"}}}},
        {3, kD65 * 0.125, true, {{{"L :", "42.0"}, {"a :", "0.0"}, {"b :", "0.0"}}}},
        // RGB needs a converter.
        {4, kD65, true, {{{"R :", ""}, {"G :", ""}, {"B :", ""}}}},
        // Labels only.
        {1, CCIEXYZ(41.24, 21.26, 1.93), false, {{{"X :", ""}, {"Y :", ""}, {"Z :", ""}}}},
        {2, kD65, false, {{{"Y :", ""}, {"x :", ""}, {"y :", ""}}}},
        // Any other notation: nothing.
        {0, kD65, true, {}},
        {5, kD65, true, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BuildColorValueLines(c.notation, c.value, c.showValues, nullptr), c.expected)
            << "notation " << c.notation;
}

TEST(ColorValueLines, WithAnSRGBConverter)
{
    SRGBConverter srgb;
    ASSERT_TRUE(srgb.ok);
    const CCIEXYZ white = ColorValueWhite(&srgb.converter);
    EXPECT_NEAR(white[1], 100.0, 1e-9);
    const Lines rgb = BuildColorValueLines(4, white, true, &srgb.converter);
    EXPECT_EQ(rgb, (Lines{{{"R :", "255"}, {"G :", "255"}, {"B :", "255"}}}));
    const Lines black = BuildColorValueLines(4, CCIEXYZ(0.0, 0.0, 0.0), true, &srgb.converter);
    EXPECT_EQ(black, (Lines{{{"R :", "0"}, {"G :", "0"}, {"B :", "0"}}}));
    // Lab is taken against the converter's white.
    const Lines lab = BuildColorValueLines(3, white, true, &srgb.converter);
    EXPECT_EQ(lab[0].value, "100.0");

    EXPECT_FALSE(ColorValueOutOfRange(white, &srgb.converter));
    // A green far outside sRGB (its red channel would be negative).
    EXPECT_TRUE(ColorValueOutOfRange(CCIEXYZ(10.0, 80.0, 5.0), &srgb.converter));
    EXPECT_FALSE(ColorValueOutOfRange(CCIEXYZ(10.0, 80.0, 5.0), nullptr));
    EXPECT_EQ(ColorValueWhite(nullptr), kD65);
}

int CountPixels(const QImage& image, bool (*test)(const QColor&))
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += test(image.pixelColor(x, y)) ? 1 : 0;
    return count;
}

bool IsDark(const QColor& c)
{
    return c.red() < 100 && c.green() < 100 && c.blue() < 100;
}

bool IsRed(const QColor& c)
{
    return c.red() > 150 && c.green() < 100 && c.blue() < 100;
}

TEST(ColorValueText, NothingUntilAValueIsSet)
{
    QWidget parent;
    CColorValueText text(&parent);
    text.resize(120, 80);
    const QImage empty = text.renderToImage();
    const QColor face = text.palette().color(QPalette::Button);
    for (int y = 0; y < empty.height(); ++y)
        for (int x = 0; x < empty.width(); ++x)
            ASSERT_EQ(empty.pixelColor(x, y), face) << x << "," << y;

    text.SetValue(CCIEXYZ(41.24, 21.26, 1.93));
    EXPECT_TRUE(text.HasValue);
    EXPECT_TRUE(text.ShowValues);
    const QImage shown = text.renderToImage();
    EXPECT_GT(CountPixels(shown, IsDark), 0);
    EXPECT_EQ(CountPixels(shown, IsRed), 0);
}

TEST(ColorValueText, RedOutsideTheInputSpace)
{
    SRGBConverter srgb;
    ASSERT_TRUE(srgb.ok);
    QWidget parent;
    CColorValueText text(&parent);
    text.resize(120, 80);
    text.Converter = &srgb.converter;
    text.SetValue(CCIEXYZ(10.0, 80.0, 5.0));
    const QImage outside = text.renderToImage();
    EXPECT_GT(CountPixels(outside, IsRed), 0);
    EXPECT_EQ(CountPixels(outside, IsDark), 0);

    text.SetValue(ColorValueWhite(&srgb.converter));
    const QImage inside = text.renderToImage();
    EXPECT_EQ(CountPixels(inside, IsRed), 0);
    EXPECT_GT(CountPixels(inside, IsDark), 0);
}

// Lets pending updates be painted.
void Settle()
{
    for (int i = 0; i < 5; ++i)
    {
        QApplication::processEvents();
        QTest::qWait(5);
    }
}

TEST(ColorValueText, TheSameValueTwiceRepaintsOnce)
{
    CColorValueText text;
    text.resize(120, 80);
    text.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&text));
    Settle();
    PaintCounter counter(&text);

    const CCIEXYZ value(41.24, 21.26, 1.93);
    text.SetValue(value);
    Settle();
    EXPECT_EQ(counter.count, 1);
    text.SetValue(value);
    Settle();
    EXPECT_EQ(counter.count, 1);
    text.SetValue(CCIEXYZ(41.24, 21.26, 2.0));
    Settle();
    EXPECT_EQ(counter.count, 2);

    // With the values hidden by the owner, the same value shows them again.
    text.ShowValues = false;
    text.SetValue(CCIEXYZ(41.24, 21.26, 2.0));
    Settle();
    EXPECT_EQ(counter.count, 3);
    EXPECT_TRUE(text.ShowValues);
}

} // namespace
