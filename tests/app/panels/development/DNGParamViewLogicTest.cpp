// The development panel's mappings: temperature scale ends and round trip,
// the 50 K rounding of typed values, the arrows' minimum step, the exposure
// slider's 0.05 stop steps cut toward zero, the edit's hundredths, tint and
// black level offsets, the white balance of a sampled white and the
// histogram marker level.

#include "app/panels/development/DNGParamViewLogic.h"

#include "correction/DNGParamDoc.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

using namespace dngview;

namespace {

TEST(DNGParamViewLogic, TemperatureScaleEndsAndWayBack)
{
    struct Case
    {
        int position;
        int kelvin;
    };
    for (const Case& c : {Case{0, 2000}, Case{255, 50000}})
    {
        EXPECT_EQ(TemperatureFromPosition(c.position), c.kelvin) << c.position;
        EXPECT_EQ(PositionFromTemperature(c.kelvin), c.position) << c.kelvin;
    }
    // Positions and temperatures outside the scale are held at its ends.
    EXPECT_EQ(TemperatureFromPosition(-3), 2000);
    EXPECT_EQ(TemperatureFromPosition(300), 50000);
    EXPECT_EQ(PositionFromTemperature(1000), 0);
    EXPECT_EQ(PositionFromTemperature(0), 0);
    EXPECT_EQ(PositionFromTemperature(90000), 255);

    // Every position shows a multiple of 50 K, never less than the one
    // before, and the temperature it shows finds a position showing it.
    int previous = 0;
    for (int p = 0; p <= kTemperaturePositions; ++p)
    {
        const int t = TemperatureFromPosition(p);
        EXPECT_EQ(t % 50, 0) << p;
        EXPECT_GE(t, previous) << p;
        EXPECT_EQ(TemperatureFromPosition(PositionFromTemperature(t)), t) << p;
        previous = t;
    }
    // Most positions lie at the warm end.
    EXPECT_LT(TemperatureFromPosition(128), 10000);
}

TEST(DNGParamViewLogic, TypedTemperaturesGoToTheNearest50)
{
    struct Case
    {
        int typed;
        int stored;
    };
    for (const Case& c : {Case{5012, 5000}, Case{5038, 5050}, Case{5024, 5000}, Case{5025, 5050},
                          Case{6500, 6500}, Case{2000, 2000}, Case{49990, 50000},
                          Case{INT_MAX, INT_MAX / 50 * 50}, Case{INT_MIN, (INT_MIN + 25) / 50 * 50}})
        EXPECT_EQ(RoundTemperature(c.typed), c.stored) << c.typed;
}

TEST(DNGParamViewLogic, ArrowStepsMoveTheTemperatureByAtLeast50)
{
    struct Case
    {
        int shown;
        int mapped;
        int direction;
        int result;
    };
    const Case cases[] = {
        {5000, 5010, 1, 5050},   // near: one 50 K step up
        {5000, 5049, 1, 5050},   // 49 K is still near
        {5000, 5050, 1, 5050},   // 50 K away: rounded
        {5000, 5120, 1, 5100},   // far: rounded to 50 K
        {5000, 4990, -1, 4950},  // near: one step down
        {5000, 4880, -1, 4900},  // far down: rounded
        {2000, 2000, 1, 2050},   // positions rounding to the same kelvin still move
        {2050, 2050, -1, 2000},
        {2000, 2000, -1, 2000},  // held at the scale's ends
        {50000, 50000, 1, 50000},
        {49980, 50000, 1, 50000},
        {6500, 6500, 0, 6500},   // a step that stopped at an end changes nothing
        // The ends of int, as an unchecked field could hand them over.
        {INT_MIN, 5000, 1, 5000},
        {INT_MAX, 5000, -1, 5000},
        {INT_MIN, INT_MIN, -1, 2000},
        {INT_MAX, INT_MAX, 1, 50000},
        {5000, INT_MAX, 1, 50000},
        {5000, INT_MIN, -1, 2000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StepTemperature(c.shown, c.mapped, c.direction), c.result)
            << c.shown << " " << c.mapped << " " << c.direction;

    // A run of up steps from every position of the scale never goes down
    // and moves each time until the top.
    int shown = 2000;
    int position = PositionFromTemperature(shown);
    while (shown < 50000)
    {
        const int next = StepTemperature(shown, TemperatureFromPosition(position + 1), 1);
        ASSERT_GE(next - shown, 50) << shown;
        shown = next;
        position = PositionFromTemperature(shown);
    }
}

TEST(DNGParamViewLogic, ExposurePositionsAndEditValues)
{
    struct SliderCase
    {
        int position;
        int hundredths;
    };
    for (const SliderCase& c : {SliderCase{403, 0}, SliderCase{405, 5}, SliderCase{397, 0},
                                SliderCase{395, -5}, SliderCase{409, 5}, SliderCase{0, -400},
                                SliderCase{800, 400}, SliderCase{900, 400}})
        EXPECT_EQ(ExposureFromSliderPosition(c.position), c.hundredths) << c.position;

    // The arrows move by single hundredths.
    EXPECT_EQ(ExposureFromArrowPosition(403), 3);
    EXPECT_EQ(ExposureFromArrowPosition(397), -3);
    EXPECT_EQ(ExposurePositions(), 800);
    EXPECT_EQ(PositionFromExposure(0), 400);
    EXPECT_EQ(PositionFromExposure(-400), 0);
    EXPECT_EQ(PositionFromExposure(650), 800);

    struct EditCase
    {
        double stops;
        int hundredths;
    };
    for (const EditCase& c : {EditCase{0.29, 29}, EditCase{-0.29, -29}, EditCase{0.05, 5},
                              EditCase{1.15, 115}, EditCase{-4.0, -400}, EditCase{0.0, 0},
                              EditCase{std::numeric_limits<double>::quiet_NaN(), 0}})
        EXPECT_EQ(ExposureFromStops(c.stops), c.hundredths) << c.stops;
}

TEST(DNGParamViewLogic, TintAndBlackLevelAreOffsetsOfTheDocumentRanges)
{
    EXPECT_EQ(TintPositions(), 300);
    EXPECT_EQ(BlackLevelPositions(), 100);
    struct Case
    {
        int position;
        int tint;
    };
    for (const Case& c : {Case{0, -150}, Case{150, 0}, Case{300, 150}, Case{73, -77}})
    {
        EXPECT_EQ(TintFromPosition(c.position), c.tint);
        EXPECT_EQ(PositionFromTint(c.tint), c.position);
    }
    EXPECT_EQ(PositionFromTint(400), 300);
    EXPECT_EQ(BlackLevelFromPosition(42), 42);
    EXPECT_EQ(PositionFromBlackLevel(-5), 0);
    EXPECT_EQ(PositionFromBlackLevel(140), 100);

    // The ranges are the document's.
    EXPECT_EQ(ParamMin("Temperature"), 2000);
    EXPECT_EQ(ParamMax("Temperature"), 50000);
    EXPECT_EQ(ParamMin("Exposure"), -400);
}

TEST(DNGParamViewLogic, WhiteBalanceOfASampledWhite)
{
    // Too dark, or without colour: refused.
    for (const CCIEXYZ& dark : {CCIEXYZ(0.1, 0.1, 0.1), CCIEXYZ(50.0, 0.05, 50.0),
                                CCIEXYZ(0.0, 0.0, 0.0), CCIEXYZ(40.0, 50.0, 0.1)})
        EXPECT_FALSE(WhiteBalanceFromSample(dark).has_value()) << dark[0] << " " << dark[1];

    // Daylight D65 and illuminant A: their correlated temperatures, and
    // tints of Duv * 3000 (both lie close to the Planckian locus).
    const auto d65 = WhiteBalanceFromSample(CCIEXYZ(95.047, 100.0, 108.883));
    ASSERT_TRUE(d65.has_value());
    EXPECT_NEAR(d65->temperature, 6504, 10);
    EXPECT_NEAR(d65->tint, 10, 2);
    const auto a = WhiteBalanceFromSample(CCIEXYZ(109.85, 100.0, 35.585));
    ASSERT_TRUE(a.has_value());
    EXPECT_NEAR(a->temperature, 2856, 5);
    EXPECT_NEAR(a->tint, 0, 1);

    // A candle-warm white is held at 2000 K; a strongly green one at the
    // largest tint.
    const auto candle = WhiteBalanceFromSample(CCIEYxy(100.0, 0.55, 0.41).ToXYZ());
    ASSERT_TRUE(candle.has_value());
    EXPECT_EQ(candle->temperature, 2000);
    const auto green = WhiteBalanceFromSample(CCIEYxy(100.0, 0.30, 0.46).ToXYZ());
    ASSERT_TRUE(green.has_value());
    EXPECT_EQ(green->tint, 150);
}

TEST(DNGParamViewLogic, HistogramLevelOfALightness)
{
    struct Case
    {
        double lightness;
        int level;
    };
    for (const Case& c : {Case{0.0, 0}, Case{100.0, 255}, Case{50.0, 127}, Case{120.0, 255},
                          Case{-5.0, 0}, Case{std::numeric_limits<double>::quiet_NaN(), 0}})
        EXPECT_EQ(LevelFromLightness(c.lightness), c.level) << c.lightness;
}

} // namespace
