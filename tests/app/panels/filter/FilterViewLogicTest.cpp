// The filter panel's trackbar scales: the non-linear scale of the radius
// and the amount, both ways, and the radius edit read into tenths.

#include "app/panels/filter/FilterViewLogic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using namespace filterview;

TEST(FilterViewLogic, NonLinearScaleBothWays)
{
    // (minimum, maximum, position, value shown by the edit, position of that value)
    struct Case
    {
        double minimum;
        double maximum;
        int position;
        double value; // the scale's value at the position
        double tolerance;
    };
    const Case toValue[] = {
        {0.0, 100.0, 0, 0.0, 0.01}, // a trace above 0: 0.0 to one decimal
        {0.0, 100.0, 255, 100.0, 0.01},
        {0.0, 100.0, 39, 1.958, 0.001}, // shows 2.0
        {1.0, 500.0, 0, 1.0, 0.05},     // truncated to the amount 1
        {1.0, 500.0, 255, 500.0, 0.05},
        {0.0, 100.0, -7, 0.0, 0.01}, // positions held to the trackbar
        {0.0, 100.0, 300, 100.0, 0.01},
    };
    for (const Case& c : toValue)
        EXPECT_NEAR(NonLinearValue(c.position, c.minimum, c.maximum), c.value, c.tolerance)
            << c.position;
    EXPECT_EQ(static_cast<int>(NonLinearValue(0, 1.0, 500.0)), 1);
    EXPECT_EQ(static_cast<int>(NonLinearValue(255, 1.0, 500.0)), 500);

    struct Back
    {
        double minimum;
        double maximum;
        double value;
        int position;
    };
    const Back toPosition[] = {
        {0.0, 100.0, 2.0, 39},    {1.0, 500.0, 50.0, 98},
        {0.0, 100.0, 0.0, 0},     {1.0, 500.0, 1.0, 0},
        {0.0, 100.0, 100.0, 254}, // the scale's stretch puts the top just short of 255
        {0.0, 100.0, -5.0, 0},    // below the minimum: no fourth root of a negative
        {0.0, 100.0, 1e9, 255},   {0.0, 100.0, std::numeric_limits<double>::quiet_NaN(), 0},
        {5.0, 5.0, 5.0, 0}, // an empty range divides by nothing
    };
    for (const Back& c : toPosition)
        EXPECT_EQ(NonLinearPosition(c.value, c.minimum, c.maximum), c.position) << c.value;

    // Small values get most of the travel, and the scale never turns back.
    EXPECT_GT(NonLinearPosition(10.0, 0.0, 100.0), 255 / 3);
    int previous = 0;
    for (int p = 0; p <= 255; ++p)
    {
        const double value = NonLinearValue(p, 0.0, 100.0);
        const int back = NonLinearPosition(value, 0.0, 100.0);
        EXPECT_GE(back, previous) << p;
        EXPECT_LE(std::abs(back - p), 1) << p;
        previous = back;
    }
}

TEST(FilterViewLogic, RadiusEditInTenths)
{
    const std::pair<double, int> cases[] = {
        {2.0, 20},     {2.3, 23},     {0.1, 1},  {57.3, 573},
        {100.0, 1000}, {100.5, 1000}, {-1.0, 0}, {0.0, 0},
    };
    for (const auto& [radius, tenths] : cases)
        EXPECT_EQ(RadiusTenthsFromEdit(radius, 1000), tenths) << radius;
}

} // namespace
