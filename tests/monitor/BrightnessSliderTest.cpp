// The brightness bar's maths over a monitor with set answers: where the bar
// stands for the monitor's luminance and contrast, what a level writes, and
// the zero maxima that give no step.

#include "monitor/BrightnessSlider.h"

#include "tests/monitor/WizardTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

using Writes = std::vector<std::pair<int, int>>;
using Orientation = CBrightnessSlider::Orientation;
using Reason = CBrightnessSlider::Reason;

struct MonitorValues
{
    int luminanceMax; // -1: the range read fails
    int luminance;
    int contrastMax;  // -1: the range read fails
    int contrast;
};

class BrightnessSliderTest : public ::testing::Test
{
protected:
    void Set(const MonitorValues& v)
    {
        display.controls.clear();
        display.writes.clear();
        if (v.luminanceMax >= 0)
            display.controls[0] = {static_cast<std::uint16_t>(v.luminanceMax),
                                   static_cast<std::uint16_t>(v.luminance)};
        if (v.contrastMax >= 0)
            display.controls[1] = {static_cast<std::uint16_t>(v.contrastMax),
                                   static_cast<std::uint16_t>(v.contrast)};
    }

    platform::VirtualClock clock;
    wizardtest::TableDisplay display{clock};
};

TEST_F(BrightnessSliderTest, InitPlacesTheLevelAndSetsTheOtherRange)
{
    const struct
    {
        bool twoRange;
        MonitorValues values;
        int level;
        Writes writes;
        Reason reason;
    } cases[] = {
        // Ordinary: a twentieth of the range a level; nothing written.
        {false, {100, 80, 100, 50}, 16, {}, Reason::None},
        {false, {100, 33, 100, 50}, 7, {}, Reason::None}, // 6.6 rounds up
        {false, {255, 0, 100, 50}, 0, {}, Reason::None},
        {false, {-1, 0, 100, 50}, 0, {}, Reason::NotAnswered},
        {false, {0, 0, 100, 50}, 0, {}, Reason::NoRange},
        // Two-range, upper range: luminance above 0 or contrast at half or
        // more; contrast goes to half.
        {true, {100, 80, 100, 50}, 17, {{1, 50}}, Reason::None},
        {true, {100, 0, 100, 50}, 5, {{1, 50}}, Reason::None},
        {true, {100, 100, 255, 10}, 20, {{1, 127}}, Reason::None},
        // Lower range: luminance 0 and contrast below half; luminance is
        // written 0 and the level is the contrast's fifth of half.
        {true, {100, 0, 100, 30}, 3, {{0, 0}}, Reason::None},
        {true, {100, 0, 100, 0}, 0, {{0, 0}}, Reason::None},
        // No range: nothing is written (a contrast half of 0 would blacken
        // the screen).
        {true, {0, 0, 100, 50}, 0, {}, Reason::NoRange},
        {true, {100, 50, 1, 0}, 0, {}, Reason::NoRange},
        {true, {100, 50, 0, 0}, 0, {}, Reason::NoRange},
        {true, {-1, 0, 100, 50}, 0, {}, Reason::NotAnswered},
        {true, {100, 50, -1, 0}, 0, {}, Reason::NotAnswered},
    };
    for (const auto& c : cases)
    {
        Set(c.values);
        CBrightnessSlider slider;
        slider.Init(&display, c.twoRange);
        const std::string label = std::to_string(c.twoRange) + " " +
                                  std::to_string(c.values.luminanceMax) + "/" +
                                  std::to_string(c.values.luminance) + " " +
                                  std::to_string(c.values.contrastMax) + "/" +
                                  std::to_string(c.values.contrast);
        EXPECT_EQ(slider.Level(), c.level) << label;
        EXPECT_EQ(display.writes, c.writes) << label;
        EXPECT_EQ(slider.GetReason(), c.reason) << label;
        EXPECT_EQ(slider.Refused(), c.reason != Reason::None) << label;
    }
}

TEST_F(BrightnessSliderTest, MoveWritesLuminanceAndContrast)
{
    const struct
    {
        bool twoRange;
        MonitorValues values;
        int level;
        Writes writes;
    } cases[] = {
        {false, {100, 80, 100, 50}, 7, {{0, 35}}},
        {false, {255, 80, 100, 50}, 13, {{0, 166}}},    // 165.75
        {false, {100, 80, 100, 50}, 25, {{0, 100}}},    // clamped to 20
        {false, {100, 80, 100, 50}, -3, {{0, 0}}},      // clamped to 0
        // Level 12: luminance nearest(7 x Lmax / 15), then contrast half.
        {true, {100, 80, 100, 50}, 12, {{0, 47}, {1, 50}}},
        {true, {150, 80, 100, 50}, 12, {{0, 70}, {1, 50}}},
        {true, {100, 80, 100, 50}, 5, {{0, 0}, {1, 50}}},
        {true, {100, 80, 100, 50}, 20, {{0, 100}, {1, 50}}},
        // Level 3: contrast nearest(3 x half / 5), then luminance 0.
        {true, {100, 80, 100, 50}, 3, {{1, 30}, {0, 0}}},
        {true, {100, 80, 255, 50}, 3, {{1, 76}, {0, 0}}}, // half 127: 76.2
        {true, {100, 80, 100, 50}, 4, {{1, 40}, {0, 0}}},
        {true, {100, 80, 100, 50}, 0, {{1, 0}, {0, 0}}},
    };
    for (const auto& c : cases)
    {
        Set(c.values);
        CBrightnessSlider slider;
        slider.Init(&display, c.twoRange);
        display.writes.clear();
        slider.Move(c.level);
        EXPECT_EQ(display.writes, c.writes) << c.twoRange << " level " << c.level;
        EXPECT_EQ(slider.Level(), std::clamp(c.level, 0, 20)) << c.level;
    }
}

TEST_F(BrightnessSliderTest, RefusedBarWritesNothing)
{
    for (const MonitorValues values : {MonitorValues{0, 0, 100, 50}, MonitorValues{100, 50, 0, 0},
                                       MonitorValues{-1, 0, -1, 0}})
        for (const bool twoRange : {false, true})
        {
            Set(values);
            CBrightnessSlider slider;
            slider.Init(&display, twoRange);
            if (!slider.Refused())
                continue; // an ordinary monitor ignores contrast
            display.writes.clear();
            for (const int level : {0, 3, 12, 20})
                slider.Move(level);
            slider.Reread(true);
            EXPECT_TRUE(display.writes.empty()) << twoRange << " " << values.luminanceMax;
        }
    CBrightnessSlider none;
    none.Init(nullptr, true);
    EXPECT_TRUE(none.Refused());
    none.Move(10);
}

TEST_F(BrightnessSliderTest, RereadPlacesTheBarForWhatTheMonitorHasNow)
{
    const struct
    {
        bool twoRange;
        bool firstPage;
        int luminance; // after Init, -1: the read fails
        int contrast;
        int level;
    } cases[] = {
        {false, false, 40, 50, 8},
        {false, true, -1, 50, 16}, // the read fails: the bar stays
        {true, false, 60, 50, 14},
        {true, false, 0, 50, 5},
        // Lower range: the first brightness page stands at 5, the others
        // at the contrast's level.
        {true, true, 0, 20, 5},
        {true, false, 0, 20, 2},
        {true, false, -1, 20, 17},
    };
    for (const auto& c : cases)
    {
        Set({100, 80, 100, 50});
        CBrightnessSlider slider;
        slider.Init(&display, c.twoRange);
        if (c.luminance < 0)
            display.controls.erase(0);
        else
            display.controls[0].second = static_cast<std::uint16_t>(c.luminance);
        display.controls[1].second = static_cast<std::uint16_t>(c.contrast);
        display.writes.clear();
        slider.Reread(c.firstPage);
        EXPECT_EQ(slider.Level(), c.level) << c.twoRange << c.firstPage << " " << c.luminance;
        EXPECT_TRUE(display.writes.empty());
    }
}

TEST(BrightnessSliderPositionTest, VerticalBarHasItsBrightEndAtTheTop)
{
    const struct
    {
        int level;
        Orientation orientation;
        int position;
    } cases[] = {
        {20, Orientation::Vertical, 0},    {0, Orientation::Vertical, 20},
        {7, Orientation::Vertical, 13},    {20, Orientation::Horizontal, 20},
        {7, Orientation::Horizontal, 7},   {0, Orientation::Horizontal, 0},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(CBrightnessSlider::PositionOfLevel(c.level, c.orientation), c.position);
        EXPECT_EQ(CBrightnessSlider::LevelOfPosition(c.position, c.orientation), c.level);
    }
    // Out of the bar's range: clamped to it.
    EXPECT_EQ(CBrightnessSlider::LevelOfPosition(-4, Orientation::Vertical), 20);
    EXPECT_EQ(CBrightnessSlider::LevelOfPosition(99, Orientation::Horizontal), 20);
    EXPECT_EQ(CBrightnessSlider::PositionOfLevel(30, Orientation::Vertical), 0);
}

} // namespace
