#include "print/PageGeometry.h"

#include <gtest/gtest.h>

namespace {

TEST(PageGeometryTest, ConversionsRoundOnceHalfUp)
{
    struct Case
    {
        double dots;
        int dpi;
        int tenthMM;
    };
    const Case cases[] = {
        {600, 600, 254},   // one inch
        {4960, 600, 2100}, // A4 width at 600 dpi: 2099.73 -> 2100
        {1, 600, 0},       // 0.423 -> 0
        {2, 600, 1},       // 0.847 -> 1
        {-2, 600, -1},     // a negative position rounds as a positive one
        {-600, 600, -254},
        {100, 0, 0},       // no resolution: nothing to divide by
    };
    for (const Case& c : cases)
        EXPECT_EQ(DotsToTenthMM(c.dots, c.dpi), c.tenthMM) << c.dots << " at " << c.dpi;
    EXPECT_EQ(TenthMMToDots(2100, 600), 4961); // 4960.63
    EXPECT_EQ(TenthMMToDots(-1, 300), -1);     // -1.18
    EXPECT_EQ(TenthMMToDots(100, 0), 0);
}

TEST(PageGeometryTest, TenthsOfAMillimetreSurviveTheRoundTrip)
{
    for (const int dpi : {300, 360, 600, 720, 1200})
        for (int v = -3000; v <= 3000; v += 7)
            EXPECT_NEAR(DotsToTenthMM(TenthMMToDots(v, dpi), dpi), v, 1) << v << " at " << dpi;
}

TEST(PageGeometryTest, PairFormsNeedBothResolutions)
{
    PageGeometry page;
    page.dpiX = 600;
    int x = 600, y = 600;
    EXPECT_FALSE(DotsToTenthMM(page, x, y));
    EXPECT_EQ(x, 600);
    page.dpiY = 300;
    EXPECT_TRUE(DotsToTenthMM(page, x, y));
    EXPECT_EQ(x, 254);
    EXPECT_EQ(y, 508);
    EXPECT_TRUE(TenthMMToDots(page, x, y));
    EXPECT_EQ(x, 600);
    EXPECT_EQ(y, 600);
}

} // namespace
