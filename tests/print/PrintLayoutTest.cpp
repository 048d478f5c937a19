#include "print/PrintLayout.h"

#include "print/MyEdit.h"
#include "print/PrintImageDlg.h"
#include "print/PrintJob.h"
#include "print/PrintPreviewLogic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

PageGeometry Page(int physicalWidth, int physicalHeight, int printableWidth, int printableHeight,
                  int offsetX, int offsetY, int dpi)
{
    PageGeometry page;
    page.physicalWidth = physicalWidth;
    page.physicalHeight = physicalHeight;
    page.printableWidth = printableWidth;
    page.printableHeight = printableHeight;
    page.offsetX = offsetX;
    page.offsetY = offsetY;
    page.dpiX = dpi;
    page.dpiY = dpi;
    return page;
}

// A4 portrait at 300 dpi (2100 x 2970 in 0.1 mm) with even 50-dot margins:
// printable 2015 x 2885 from (42, 42).
PageGeometry EvenA4()
{
    return Page(2480, 3508, 2380, 3408, 50, 50, 300);
}
// The same sheet with margins of 100 left, 50 top, 80 right, 100 bottom
// dots: printable 1947 x 2843 from (85, 42).
PageGeometry UnevenA4()
{
    return Page(2480, 3508, 2300, 3358, 100, 50, 300);
}

CPrintLayout LaidOut(const PageGeometry& page, int width = 1200, int height = 800)
{
    CPrintLayout layout;
    layout.SetImageSize(width, height);
    layout.UpdatePaperLayout(page);
    return layout;
}

TEST(PrintLayoutTest, PageIsHeldInTenthsOfAMillimetre)
{
    const CPrintLayout layout = LaidOut(UnevenA4());
    EXPECT_EQ(layout.PhysicalWidthMM(), 2100);
    EXPECT_EQ(layout.PhysicalHeightMM(), 2970);
    EXPECT_EQ(layout.PrintableWidthMM(), 1947);
    EXPECT_EQ(layout.PrintableHeightMM(), 2843);
    EXPECT_EQ(layout.OffsetXMM(), 85);
    EXPECT_EQ(layout.OffsetYMM(), 42);
    EXPECT_EQ(layout.PaperSizeText(), "[ 210.0 x 297.0 mm ]");
}

// The fit scale is taken per mille, truncated, on each axis; fitting the
// whole image takes the smaller, filling the paper the larger. Centred on
// the paper only the area about the paper's centre counts; the origin
// centres the image on the paper or on the printable area.
TEST(PrintLayoutTest, FitAndCentringFollowModeAndMargins)
{
    struct Case
    {
        const char* name;
        PageGeometry page;
        PrintPositionMode position;
        PrintFitMode fit;
        double scale;
        int printWidth, printHeight, originX, originY;
    };
    const Case cases[] = {
        // Even margins: both centrings agree. The corner is worked out
        // from the page's dots and rounded once: (2970.1 - 1343) / 2 - 42.3
        // = 771.2 on the paper, (2885.5 - 1343) / 2 = 771.3 on the
        // printable area.
        {"even, paper", EvenA4(), PrintPositionMode::CentreOfPaper, PrintFitMode::WholeImage, 1.983,
         2014, 1343, 1, 771},
        {"even, printable", EvenA4(), PrintPositionMode::CentreOfPrintableArea,
         PrintFitMode::WholeImage, 1.983, 2014, 1343, 1, 771},
        // Uneven: about the paper's centre only 2 x 1140 dots across are
        // printable (sx 2280 / 1200 = 1.9); on the printable area 2300.
        {"uneven, paper", UnevenA4(), PrintPositionMode::CentreOfPaper, PrintFitMode::WholeImage,
         1.9, 1930, 1287, 0, 799},
        {"uneven, printable", UnevenA4(), PrintPositionMode::CentreOfPrintableArea,
         PrintFitMode::WholeImage, 1.916, 1946, 1297, 1, 773},
        // Fill: the larger scale (3358 / 800 = 4.1975 -> 4.197), the
        // image overhangs and starts left of the printable area.
        {"uneven, printable, fill", UnevenA4(), PrintPositionMode::CentreOfPrintableArea,
         PrintFitMode::FillPaper, 4.197, 4264, 2842, -1158, 1},
        {"uneven, paper, fill", UnevenA4(), PrintPositionMode::CentreOfPaper,
         PrintFitMode::FillPaper, 4.135, 4201, 2801, -1135, 42},
    };
    for (const Case& c : cases)
    {
        CPrintLayout layout;
        layout.SetImageSize(1200, 800);
        layout.SetFitMode(c.fit);
        layout.SetPositionMode(c.position);
        layout.UpdatePaperLayout(c.page);
        EXPECT_DOUBLE_EQ(layout.Scale(), c.scale) << c.name;
        EXPECT_EQ(layout.PrintWidth(), c.printWidth) << c.name;
        EXPECT_EQ(layout.PrintHeight(), c.printHeight) << c.name;
        EXPECT_EQ(layout.OriginX(), c.originX) << c.name;
        EXPECT_EQ(layout.OriginY(), c.originY) << c.name;
    }
}

TEST(PrintLayoutTest, FitScaleUsesTheTrimmedImage)
{
    CPrintLayout layout;
    layout.SetImageSize(1200, 800);
    layout.SetPositionMode(PrintPositionMode::CentreOfPrintableArea);
    layout.SetPixelMargins({100, 0, 100, 50});
    layout.UpdatePaperLayout(UnevenA4());
    // 2300 / 1000 = 2.3 across, 3358 / 750 = 4.477 down.
    EXPECT_DOUBLE_EQ(layout.Scale(), 2.3);
    EXPECT_EQ(layout.PrintWidth(), 2337);
    EXPECT_EQ(layout.TrimMarginsMM(), (PrintMargins{195, 0, 195, 97}));
    // The visible part (2337 - 390 wide) is what is centred.
    EXPECT_EQ(layout.OriginX(), -195);
    EXPECT_EQ(layout.OriginY(), 692);
    EXPECT_EQ(layout.VisibleLeft(), 0);
}

TEST(PrintLayoutTest, PaperCentreOutsideThePrintableAreaSwitchesToPrintableCentre)
{
    struct Case
    {
        const char* name;
        PageGeometry page;
        bool available;
    };
    const Case cases[] = {
        {"printable area shifted right", Page(2480, 3508, 1100, 3408, 1300, 50, 300), false},
        {"printable area shifted down", Page(2480, 3508, 2380, 1500, 50, 1900, 300), false},
        // The centre (1050) on the printable area's right edge (0 + 1050)
        // is outside it; one tenth wider and it is inside.
        {"centre on the right edge", Page(2480, 3508, 1240, 3408, 0, 50, 300), false},
        {"centre just inside", Page(2480, 3508, 1241, 3408, 0, 50, 300), true},
        {"even margins", EvenA4(), true},
    };
    for (const Case& c : cases)
    {
        CPrintLayout layout;
        layout.SetImageSize(1200, 800);
        const CPrintLayout::PaperLayoutResult result = layout.UpdatePaperLayout(c.page);
        EXPECT_EQ(result.centreOfPaperAvailable, c.available) << c.name;
        EXPECT_EQ(result.positionModeChanged, !c.available) << c.name;
        EXPECT_EQ(layout.PositionMode(), c.available ? PrintPositionMode::CentreOfPaper
                                                     : PrintPositionMode::CentreOfPrintableArea)
            << c.name;
        EXPECT_TRUE(layout.TrackerKeepsCentre()) << c.name;
    }

    // Another mode is left alone, and says nothing changed.
    CPrintLayout custom;
    custom.SetImageSize(1200, 800);
    custom.SetPositionMode(PrintPositionMode::Custom);
    const auto result = custom.UpdatePaperLayout(Page(2480, 3508, 1100, 3408, 1300, 50, 300));
    EXPECT_FALSE(result.centreOfPaperAvailable);
    EXPECT_FALSE(result.positionModeChanged);
    EXPECT_EQ(custom.PositionMode(), PrintPositionMode::Custom);
}

TEST(PrintLayoutTest, RatioOutsideOnePercentToTenThousandIsIgnored)
{
    struct Case
    {
        double scale;
        bool accepted;
    };
    const Case cases[] = {
        {0.005, false}, {0.0099, false}, {0.01, true},   {1.5, true},
        {100.0, true},  {100.01, false}, {200.0, false}, {std::nan(""), false},
    };
    for (const Case& c : cases)
    {
        CPrintLayout layout = LaidOut(EvenA4());
        layout.SetFit(false);
        ASSERT_TRUE(layout.SetRatio(1.0));
        EXPECT_EQ(layout.SetRatio(c.scale), c.accepted) << c.scale;
        EXPECT_DOUBLE_EQ(layout.Scale(), c.accepted ? c.scale : 1.0) << c.scale;
        EXPECT_EQ(CPrintLayout::IsValidScale(c.scale), c.accepted) << c.scale;
    }
    // The spin in thousandths: 0.5 % and 20000 % ignored as well.
    CPrintLayout layout = LaidOut(EvenA4());
    layout.SetFit(false);
    EXPECT_FALSE(layout.SetRatioSpin(5));
    EXPECT_FALSE(layout.SetRatioSpin(200000));
    EXPECT_DOUBLE_EQ(layout.Scale(), 1.0);
    EXPECT_TRUE(layout.SetRatioSpin(10));
    EXPECT_DOUBLE_EQ(layout.Scale(), 0.01);
    EXPECT_TRUE(layout.SetRatioSpin(100000));
    EXPECT_DOUBLE_EQ(layout.Scale(), 100.0);
}

TEST(PrintLayoutTest, AcceptedRatioSizesAndPlacesTheImage)
{
    CPrintLayout layout = LaidOut(EvenA4());
    layout.SetFit(false);
    ASSERT_TRUE(layout.SetRatio(2.0));
    EXPECT_EQ(layout.PrintWidth(), 2032);
    EXPECT_EQ(layout.PrintHeight(), 1355);
    EXPECT_EQ(layout.OriginX(), (2100 - 2032 + 1) / 2 - 42);
    EXPECT_EQ(layout.RatioText(), "200.0");
    EXPECT_EQ(layout.RatioSpinPosition(), 2000);
    EXPECT_EQ(layout.WidthText(), "203.2");
    EXPECT_EQ(layout.HeightText(), "135.5");
    EXPECT_EQ(layout.PrintWidthDots(), 2400);
    EXPECT_EQ(layout.PrintHeightDots(), 1600);
}

TEST(PrintLayoutTest, RatioSpinRoundsTheScale)
{
    CPrintLayout layout = LaidOut(EvenA4());
    layout.SetFit(false);
    // 1.005 x 1000 is 1004.99999... in binary: truncating would show 1004.
    ASSERT_TRUE(layout.SetRatio(1.005));
    EXPECT_EQ(layout.RatioSpinPosition(), 1005);
    ASSERT_TRUE(layout.SetRatio(1.983));
    EXPECT_EQ(layout.RatioSpinPosition(), 1983);
}

// A 1200 x 800 image at 300 dpi prints 1016 x 677 tenths at one dot per
// pixel; the limits are 1 % and 10000 % of that, each taken from dots.
TEST(PrintLayoutTest, WidthAndHeightTypedWithinTheLimitsSetTheScale)
{
    const CPrintLayout base = LaidOut(EvenA4());
    EXPECT_EQ(base.MinWidth(), 10);
    EXPECT_EQ(base.MinHeight(), 7);
    EXPECT_EQ(base.MaxWidth(), 101600);
    EXPECT_EQ(base.MaxHeight(), 67733);

    struct Case
    {
        const char* name;
        bool height;
        int value;
        bool accepted;
        double scale;
        int printWidth, printHeight;
    };
    const Case cases[] = {
        {"width", false, 2032, true, 2.0, 2032, 1355},
        // The size printed is the scale's dots rounded again: 10 tenths ask
        // for 11.8 dots, 11 are printed (9 tenths).
        {"width at the minimum", false, 10, true, 10.0 / 1016, 9, 6},
        {"width below", false, 9, false, 1.0, 1016, 677},
        {"width at the maximum", false, 101600, true, 100.0, 101600, 67733},
        {"width above", false, 101601, false, 1.0, 1016, 677},
        {"height", true, 1355, true, 1355.0 / 677, 2033, 1356},
        {"height below", true, 6, false, 1.0, 1016, 677},
        {"height above", true, 67734, false, 1.0, 1016, 677},
    };
    for (const Case& c : cases)
    {
        CPrintLayout layout = base;
        layout.SetFit(false); // 100 %
        const bool accepted =
            c.height ? layout.SetHeightTenthMM(c.value) : layout.SetWidthTenthMM(c.value);
        EXPECT_EQ(accepted, c.accepted) << c.name;
        EXPECT_DOUBLE_EQ(layout.Scale(), c.scale) << c.name;
        EXPECT_EQ(layout.PrintWidth(), c.printWidth) << c.name;
        EXPECT_EQ(layout.PrintHeight(), c.printHeight) << c.name;
    }
}

// The same scale prints the same dots at any resolution; the tenths of a
// millimetre are those dots rounded once.
TEST(PrintLayoutTest, PrintSizeRoundsOnceAtEveryResolution)
{
    struct Case
    {
        int dpi;
        int minWidth, maxWidth, printWidth, printHeight, widthDots, heightDots;
    };
    const Case cases[] = {
        {300, 10, 101600, 2014, 1343, 2379, 1586},
        {600, 5, 50800, 1007, 671, 2379, 1585},
        {720, 4, 42333, 839, 560, 2378, 1587},
    };
    for (const Case& c : cases)
    {
        // A page far larger than the image at any of these resolutions.
        CPrintLayout layout =
            LaidOut(Page(20 * c.dpi, 20 * c.dpi, 18 * c.dpi, 18 * c.dpi, c.dpi, c.dpi, c.dpi));
        layout.SetFit(false);
        ASSERT_TRUE(layout.SetRatio(1.983)) << c.dpi;
        EXPECT_EQ(layout.MinWidth(), c.minWidth) << c.dpi;
        EXPECT_EQ(layout.MaxWidth(), c.maxWidth) << c.dpi;
        EXPECT_EQ(layout.PrintWidth(), c.printWidth) << c.dpi;
        EXPECT_EQ(layout.PrintHeight(), c.printHeight) << c.dpi;
        // 11034 / 11035 show the tenths back in dots: within one dot of
        // trunc(1200 x 1.983) = 2379 and trunc(800 x 1.983) = 1586.
        EXPECT_EQ(layout.PrintWidthDots(), c.widthDots) << c.dpi;
        EXPECT_EQ(layout.PrintHeightDots(), c.heightDots) << c.dpi;
    }
}

TEST(PrintLayoutTest, FitOffRestoresTheRememberedScaleThatANewPaperResets)
{
    CPrintLayout layout = LaidOut(EvenA4());
    ASSERT_TRUE(layout.Fit());
    layout.SetFit(false);
    ASSERT_TRUE(layout.SetRatio(1.5));
    layout.SetFit(true);
    EXPECT_DOUBLE_EQ(layout.Scale(), 1.983);
    layout.SetFit(false);
    EXPECT_DOUBLE_EQ(layout.Scale(), 1.5);

    // With fit on, a new paper forgets the manual scale: fit off is 100 %.
    layout.SetFit(true);
    layout.UpdatePaperLayout(UnevenA4());
    EXPECT_DOUBLE_EQ(layout.RememberedScale(), 1.0);
    layout.SetFit(false);
    EXPECT_DOUBLE_EQ(layout.Scale(), 1.0);
    EXPECT_EQ(layout.PrintWidth(), 1016);
}

TEST(PrintLayoutTest, FitOnTurnsACustomPositionIntoPrintableCentre)
{
    CPrintLayout layout = LaidOut(UnevenA4());
    layout.SetFit(false);
    layout.SetPositionMode(PrintPositionMode::Custom);
    layout.SetLeftTop(300, 400);
    EXPECT_EQ(layout.OriginX(), 300);
    EXPECT_FALSE(layout.TrackerKeepsCentre());

    const CPrintLayout::FitResult result = layout.SetFit(true);
    EXPECT_TRUE(result.positionModeChanged);
    EXPECT_EQ(layout.PositionMode(), PrintPositionMode::CentreOfPrintableArea);
    EXPECT_TRUE(layout.TrackerKeepsCentre());
    EXPECT_FALSE(layout.CustomPositionEnabled());
    EXPECT_DOUBLE_EQ(layout.Scale(), 1.916);
    EXPECT_EQ(layout.OriginX(), 1);
    EXPECT_EQ(layout.OriginY(), 773);

    // The fit radios do the same, leaving the remembered scale.
    layout.SetPositionMode(PrintPositionMode::Custom);
    const double remembered = layout.RememberedScale();
    EXPECT_TRUE(layout.SetFitMode(PrintFitMode::FillPaper).positionModeChanged);
    EXPECT_DOUBLE_EQ(layout.Scale(), 4.197);
    EXPECT_DOUBLE_EQ(layout.RememberedScale(), remembered);
}

TEST(PrintLayoutTest, CentringModesRecomputeTheFitScale)
{
    CPrintLayout layout = LaidOut(UnevenA4());
    EXPECT_DOUBLE_EQ(layout.Scale(), 1.9);
    layout.SetPositionMode(PrintPositionMode::CentreOfPrintableArea);
    EXPECT_DOUBLE_EQ(layout.Scale(), 1.916);
    EXPECT_EQ(layout.PrintWidth(), 1946);
    // Custom keeps scale and origin.
    layout.SetPositionMode(PrintPositionMode::Custom);
    EXPECT_DOUBLE_EQ(layout.Scale(), 1.916);
    EXPECT_EQ(layout.OriginX(), 1);
    EXPECT_EQ(layout.OriginY(), 773);
}

TEST(PrintLayoutTest, TypedLeftAndTopPlaceTheVisiblePart)
{
    CPrintLayout layout = LaidOut(EvenA4());
    layout.SetFit(false);
    layout.SetPositionMode(PrintPositionMode::Custom);
    layout.ApplyTrimmingDialog({100, 50, 0, 0});
    layout.SetLeftTop(200, -30);
    EXPECT_EQ(layout.VisibleLeft(), 200);
    EXPECT_EQ(layout.VisibleTop(), -30);
    EXPECT_EQ(layout.OriginX(), 200 - layout.TrimMarginsMM().left);
    EXPECT_EQ(layout.OriginY(), -30 - layout.TrimMarginsMM().top);
    EXPECT_EQ(layout.LeftText(), "20.0");
    EXPECT_EQ(layout.TopText(), "-3.0");
    EXPECT_EQ(layout.PositionMode(), PrintPositionMode::Custom);
}

TEST(PrintLayoutTest, FrameMovedKeepsTheScaleAndResizedSetsIt)
{
    struct Case
    {
        const char* name;
        int handle;
        PrintRectTenthMM rect;
        PrintPositionMode mode;
        double scale;
        int printWidth, printHeight;
    };
    // At 100 % the image is 1016 x 677; a move keeps that size.
    const Case cases[] = {
        {"move", 8, {100, 200, 1116, 877}, PrintPositionMode::Custom, 1.0, 1016, 677},
        // A resize takes its scale from the width: 3048 / 1016 = 3.
        {"resize bottom-right",
         2,
         {100, 200, 3148, 2230},
         PrintPositionMode::CentreOfPaper,
         3.0,
         3048,
         2032},
        {"resize left",
         7,
         {-500, 200, 1532, 1555},
         PrintPositionMode::CentreOfPaper,
         2.0,
         2032,
         1355},
        // No handle: the rectangle is taken as it is.
        {"no handle", -1, {10, 20, 1010, 700}, PrintPositionMode::CentreOfPaper, 1.0, 1000, 680},
        // The end of a drag comes as handle 0; as wide as printed, it keeps
        // the fit's scale (2014 / 1016 would print 2013).
        {"end of a move",
         0,
         {-300, 40, 1714, 1383},
         PrintPositionMode::CentreOfPaper,
         1.983,
         2014,
         1343},
    };
    for (const Case& c : cases)
    {
        CPrintLayout layout = LaidOut(EvenA4());
        layout.SetFit(false);
        layout.SetFit(true);
        layout.OnFrameChanged(c.rect, c.handle);
        EXPECT_FALSE(layout.Fit()) << c.name;
        EXPECT_EQ(layout.PositionMode(), c.mode) << c.name;
        EXPECT_EQ(layout.OriginX(), c.rect.left) << c.name;
        EXPECT_EQ(layout.OriginY(), c.rect.top) << c.name;
        // The fit's scale is replaced only by a resize; a move or no handle
        // keeps what fit had computed.
        EXPECT_DOUBLE_EQ(layout.Scale(), c.handle == 8 || c.handle == -1 ? 1.983 : c.scale)
            << c.name;
        EXPECT_EQ(layout.PrintWidth(), c.printWidth) << c.name;
        EXPECT_EQ(layout.PrintWidth(), c.printWidth) << c.name;
        EXPECT_EQ(layout.PrintHeight(), c.printHeight) << c.name;
    }
}

TEST(PrintLayoutTest, TrimmingDialogMarginsBecomePixelMargins)
{
    struct Case
    {
        const char* name;
        int dpi;
        double scale;
        PrintMargins tenthMM;
        PrintMargins pixels;
        PrintMargins tenthMMAfter; // the pixels back on paper
    };
    const Case cases[] = {
        // 10 mm = 118 dots = 59 pixels at 2 dots a pixel; 5 mm = 59 dots
        // = 29.5 -> 30 pixels, which print 5.1 mm.
        {"300 dpi", 300, 2.0, {100, 50, 100, 0}, {59, 30, 59, 0}, {100, 51, 100, 0}},
        {"720 dpi", 720, 1.5, {100, 55, 0, 100}, {189, 104, 0, 189}, {100, 55, 0, 100}},
        // Margins as wide as the whole image leave one pixel: the right
        // margin gives way.
        {"nothing left",
         300,
         2.0,
         {1016, 677, 1016, 677},
         {600, 400, 599, 399},
         {1016, 677, 1014, 676}},
    };
    for (const Case& c : cases)
    {
        CPrintLayout layout =
            LaidOut(Page(20 * c.dpi, 20 * c.dpi, 18 * c.dpi, 18 * c.dpi, c.dpi, c.dpi, c.dpi));
        ASSERT_TRUE(layout.SetRatio(c.scale)) << c.name;
        const PrintMargins pixels = layout.ApplyTrimmingDialog(c.tenthMM);
        EXPECT_EQ(pixels, c.pixels) << c.name;
        EXPECT_EQ(layout.PixelMargins(), c.pixels) << c.name;
        EXPECT_EQ(layout.TrimMarginsMM(), c.tenthMMAfter) << c.name;
        EXPECT_FALSE(layout.Fit()) << c.name;
        EXPECT_EQ(layout.PositionMode(), PrintPositionMode::Custom) << c.name;
    }
}

TEST(PrintLayoutTest, TrimmingFromThePreviewSwitchesToCustom)
{
    CPrintLayout layout = LaidOut(EvenA4());
    ASSERT_TRUE(layout.Fit());
    const int originX = layout.OriginX();
    layout.OnTrimmingChanged({120, 0, 0, 80});
    EXPECT_FALSE(layout.Fit());
    EXPECT_EQ(layout.PositionMode(), PrintPositionMode::Custom);
    EXPECT_EQ(layout.PixelMargins(), (PrintMargins{120, 0, 0, 80}));
    // 120 px x 1.983 = 237.96 -> 238 dots = 201.5 -> 202 tenths.
    EXPECT_EQ(layout.TrimMarginsMM(), (PrintMargins{202, 0, 0, 135}));
    EXPECT_EQ(layout.OriginX(), originX);
    EXPECT_EQ(layout.VisibleLeft(), originX + 202);
    EXPECT_EQ(layout.TrimWidthLimit(), layout.PrintWidth() - 1);
}

TEST(PrintLayoutTest, PageFitCheckAllowsATenthOverEachEdge)
{
    CPrintLayout layout = LaidOut(EvenA4());
    layout.SetFit(false);
    ASSERT_TRUE(layout.SetWidthTenthMM(2015)); // as wide as the printable area
    const int width = layout.PrintWidth();
    const int height = layout.PrintHeight();
    ASSERT_LE(width, 2016);
    struct Case
    {
        int left, top;
        bool fits;
    };
    const Case cases[] = {
        {0, 0, true},
        {-1, 0, true},
        {-2, 0, false},
        {0, -2, false},
        {2016 - width, 0, true},
        {2017 - width, 0, false},
        {0, 2886 - height, true},
        {0, 2887 - height, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(layout.FitsPage(c.left, c.top), c.fits) << c.left << ", " << c.top;

    // Trim margins shrink the part that has to fit.
    layout.ApplyTrimmingDialog({0, 0, 100, 0});
    EXPECT_TRUE(layout.FitsPage(2017 - width, 0));
}

TEST(PrintLayoutTest, DegeneratePagesAndImagesDivideByNothing)
{
    // No image: limits and sizes are 0, nothing is accepted that needs the
    // image's size.
    CPrintLayout empty;
    empty.UpdatePaperLayout(EvenA4());
    EXPECT_EQ(empty.PrintWidth(), 0);
    EXPECT_EQ(empty.MaxWidth(), 0);
    EXPECT_DOUBLE_EQ(empty.Scale(), 1.0);
    EXPECT_FALSE(empty.SetWidthTenthMM(0));
    EXPECT_FALSE(empty.SetHeightTenthMM(0));
    empty.OnFrameChanged({0, 0, 100, 100}, 2);
    EXPECT_DOUBLE_EQ(empty.Scale(), 1.0);
    EXPECT_EQ(empty.ApplyTrimmingDialog({10, 10, 10, 10}), (PrintMargins{}));

    // No printable area: fitting leaves the scale as it was.
    CPrintLayout noArea = LaidOut(Page(2480, 3508, 0, 0, 0, 0, 300));
    EXPECT_DOUBLE_EQ(noArea.Scale(), 1.0);
    EXPECT_FALSE(noArea.CentreOfPaperAvailable());

    // A printable dot for a 2000-pixel image: the fit scale truncates to
    // 0; the trimming dialog must not divide by it.
    CPrintLayout tiny;
    tiny.SetImageSize(2000, 2000);
    tiny.SetPositionMode(PrintPositionMode::CentreOfPrintableArea);
    tiny.UpdatePaperLayout(Page(2480, 3508, 1, 1, 1240, 1754, 300));
    EXPECT_DOUBLE_EQ(tiny.Scale(), 0.0);
    EXPECT_EQ(tiny.PrintWidth(), 0);
    EXPECT_EQ(tiny.ApplyTrimmingDialog({10, 10, 10, 10}), (PrintMargins{}));

    // No resolution: every tenth is 0 and nothing divides by it.
    CPrintLayout noDpi = LaidOut(Page(2480, 3508, 2380, 3408, 50, 50, 0));
    EXPECT_EQ(noDpi.PhysicalWidthMM(), 0);
    EXPECT_FALSE(noDpi.SetWidthTenthMM(0));
    noDpi.OnFrameChanged({0, 0, 100, 100}, 2);
    EXPECT_EQ(noDpi.PrintWidthDots(), 0);
}

TEST(PrintLayoutTest, KeepOnePixelLeavesAPixelAcrossAndDown)
{
    struct Case
    {
        PrintMargins in;
        int width, height;
        PrintMargins out;
    };
    const Case cases[] = {
        {{10, 20, 30, 40}, 100, 100, {10, 20, 30, 40}},
        {{50, 0, 50, 0}, 100, 100, {50, 0, 49, 0}},
        {{120, 0, 5, 100}, 100, 100, {99, 0, 0, 99}},
        {{-3, -1, 2, 0}, 100, 100, {0, 0, 2, 0}},
        {{5, 5, 5, 5}, 0, 0, {0, 0, 0, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KeepOnePixel(c.in, c.width, c.height), c.out);
}

TEST(PrintLayoutTest, TypedMillimetresKeepTheirTenth)
{
    struct Case
    {
        double mm;
        int tenths;
    };
    // 2.3 x 10 is 22.999... in binary.
    const Case cases[] = {{2.3, 23}, {0.1, 1}, {12.34, 123}, {-2.3, -23}, {-0.06, 0}, {0.0, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(TenthMMFromMM(c.mm), c.tenths) << c.mm;
    EXPECT_EQ(FormatTenthMM(-5), "-0.5");
    EXPECT_EQ(FormatTenthMM(2100), "210.0");
}

} // namespace

// A fitted image centred on the paper or on the printable area lies on the
// printable area, so printing never asks whether to cut it off: checked
// over sheets of the common paper sizes at the screen-like resolutions
// whose dots are coarser than a tenth (72 and 96 dpi, where each rounding
// to tenths counts most), with every combination of margins, photographs of
// the usual aspects, untrimmed and trimmed.
TEST(PrintLayoutTest, FittedCentredImageNeverOverhangs)
{
    const int resolutions[] = {72, 96};
    // A4, Letter, A5, A3, 4 x 6 in, 3.5 x 5 in, postcard; in 0.1 mm.
    const int papers[][2] = {{2100, 2970}, {2159, 2794}, {1480, 2100}, {2970, 4200},
                             {1020, 1520}, {890, 1270},  {1000, 1480}};
    const int margins[] = {0, 5, 7, 12, 17, 36};
    const int images[][2] = {{6000, 4000}, {4000, 6000}, {3000, 3000}, {4032, 3024},
                             {1920, 1080}, {333, 777}};
    int layouts = 0;
    int failures = 0;
    for (const int dpi : resolutions)
        for (const auto& paper : papers)
            for (const int left : margins)
                for (const int top : margins)
                    for (const int right : margins)
                        for (const int bottom : margins)
                        {
                            const int width = static_cast<int>(paper[0] * dpi / 254.0 + 0.5);
                            const int height = static_cast<int>(paper[1] * dpi / 254.0 + 0.5);
                            const PageGeometry page = Page(width, height, width - left - right,
                                                           height - top - bottom, left, top, dpi);
                            for (const auto& image : images)
                                for (const PrintPositionMode mode :
                                     {PrintPositionMode::CentreOfPaper,
                                      PrintPositionMode::CentreOfPrintableArea})
                                    for (const bool trimmed : {false, true})
                                    {
                                        CPrintLayout layout;
                                        layout.SetImageSize(image[0], image[1]);
                                        layout.SetPositionMode(mode);
                                        if (trimmed)
                                            layout.SetPixelMargins({image[0] / 7, image[1] / 9,
                                                                    image[0] / 11, image[1] / 5});
                                        layout.UpdatePaperLayout(page);
                                        ++layouts;
                                        if (layout.FitsPage(layout.VisibleLeft(), layout.VisibleTop()))
                                            continue;
                                        if (++failures <= 5)
                                            ADD_FAILURE()
                                                << dpi << " dpi, " << paper[0] << " x " << paper[1]
                                                << ", margins " << left << " " << top << " "
                                                << right << " " << bottom << ", image " << image[0]
                                                << " x " << image[1] << ", mode "
                                                << static_cast<int>(mode) << ", trimmed " << trimmed
                                                << ": corner " << layout.VisibleLeft() << ", "
                                                << layout.VisibleTop();
                                    }
                        }
    EXPECT_EQ(failures, 0) << "of " << layouts << " layouts";
}

// Where the print job puts the visible part of a fitted, centred layout, in
// dots of the page: on the printable area, every dot of it; a side that
// rounds to no dot has its corner on the area all the same. Empty when it
// holds; else what is wrong.
std::string JobPlacementOffTheArea(const CPrintLayout& layout, const PageGeometry& page)
{
    std::string wrong;
    if (!layout.FitsPage(layout.VisibleLeft(), layout.VisibleTop()))
        wrong += "the layout's corner " + std::to_string(layout.VisibleLeft()) + ", " +
                 std::to_string(layout.VisibleTop()) + " is off the page; ";
    PrintImageRequest request;
    request.originX = layout.OriginX();
    request.originY = layout.OriginY();
    request.printWidth = layout.PrintWidth();
    request.printHeight = layout.PrintHeight();
    request.trimTenthMM = layout.TrimMarginsMM();
    const PrintDotsRect dots = PrintDestinationOnPage(request, page);
    const auto axis = [&wrong](const char* name, int start, int size, int area) {
        if (start < 0 || start + std::max(size, 0) > area)
            wrong += std::string(name) + " " + std::to_string(start) + " + " +
                     std::to_string(size) + " dots on " + std::to_string(area) + "; ";
    };
    axis("across", dots.x, dots.width, page.printableWidth);
    axis("down", dots.y, dots.height, page.printableHeight);
    return wrong;
}

// A fitted image centred on the paper or on the printable area lies on the
// printable area as the job prints it, to the dot, also where a side
// rounds to no dot (a one-pixel line) and after the image had been moved
// off the page by hand.
TEST(PrintLayoutTest, FittedCentredImageIsPrintedOnThePrintableArea)
{
    const struct
    {
        const char* name;
        PageGeometry page;
        int width, height;
        PrintMargins trim;
        PrintPositionMode mode;
    } cases[] = {
        {"1 x 2000 on A4 at 72 dpi",
         Page(595, 842, 567, 814, 14, 14, 72),
         1,
         2000,
         {},
         PrintPositionMode::CentreOfPrintableArea},
        {"2000 x 1 on A4 at 72 dpi",
         Page(595, 842, 567, 814, 14, 14, 72),
         2000,
         1,
         {},
         PrintPositionMode::CentreOfPaper},
        {"1 x 20000 on A4 at 300 dpi", EvenA4(), 1, 20000, {}, PrintPositionMode::CentreOfPaper},
        {"trimmed to one column",
         UnevenA4(),
         3000,
         2000,
         {1000, 0, 1999, 0},
         PrintPositionMode::CentreOfPrintableArea},
        {"6000 x 4000 on A4 at 600 dpi",
         Page(4960, 7016, 4760, 6816, 100, 100, 600),
         6000,
         4000,
         {},
         PrintPositionMode::CentreOfPaper},
        {"uneven margins at 1200 dpi",
         Page(9921, 14031, 9521, 13591, 240, 200, 1200),
         4032,
         3024,
         {10, 20, 30, 40},
         PrintPositionMode::CentreOfPrintableArea},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        CPrintLayout layout;
        layout.SetImageSize(c.width, c.height);
        layout.SetPixelMargins(c.trim);
        layout.UpdatePaperLayout(c.page);
        // Moved far off the page by hand, then fitted and centred again.
        layout.OnFrameChanged(
            {50000, 50000, 50000 + layout.PrintWidth(), 50000 + layout.PrintHeight()},
            kTrackerHandleMove);
        layout.SetFit(true);
        layout.SetPositionMode(c.mode);
        EXPECT_EQ(JobPlacementOffTheArea(layout, c.page), "");
    }
}

// The same over a seeded sweep of pages (papers of 5 to 500 mm, margins up
// to a quarter of the sheet, 72 to 2400 dpi), images (one to 8000 pixels a
// side, often a line of one to three) and trimmings, in both centred modes.
TEST(PrintLayoutTest, FittedCentredImageIsPrintedOnThePrintableAreaOverASweep)
{
    std::uint64_t state = 0x5EED;
    const auto next = [&state](int lowest, int highest) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return lowest +
               static_cast<int>((state >> 33) % static_cast<std::uint64_t>(highest - lowest + 1));
    };
    const int resolutions[] = {72, 96, 150, 180, 200, 240, 300, 360, 600, 720, 1200, 1440, 2400};
    int layouts = 0;
    int failures = 0;
    while (layouts < 200000)
    {
        const int dpi = resolutions[next(0, 12)];
        const int width = next(50, 5000) * dpi / 254 + 1;
        const int height = next(50, 5000) * dpi / 254 + 1;
        const int left = next(0, width / 4);
        const int top = next(0, height / 4);
        const PageGeometry page = Page(width, height, width - left - next(0, width / 4),
                                       height - top - next(0, height / 4), left, top, dpi);
        const int imageWidth = next(0, 9) == 0 ? next(1, 3) : next(1, 8000);
        const int imageHeight = next(0, 9) == 0 ? next(1, 3) : next(1, 8000);
        CPrintLayout layout;
        layout.SetImageSize(imageWidth, imageHeight);
        layout.SetPositionMode(next(0, 1) == 0 ? PrintPositionMode::CentreOfPaper
                                               : PrintPositionMode::CentreOfPrintableArea);
        if (next(0, 1) == 0)
            layout.SetPixelMargins({next(0, imageWidth / 3), next(0, imageHeight / 3),
                                    next(0, imageWidth / 3), next(0, imageHeight / 3)});
        layout.UpdatePaperLayout(page);
        ++layouts;
        const std::string wrong = JobPlacementOffTheArea(layout, page);
        if (!wrong.empty() && ++failures <= 5)
            ADD_FAILURE() << dpi << " dpi, sheet " << width << " x " << height << ", printable "
                          << page.printableWidth << " x " << page.printableHeight << " from "
                          << left << ", " << top << ", image " << imageWidth << " x " << imageHeight
                          << ", mode " << static_cast<int>(layout.PositionMode()) << ": " << wrong;
    }
    EXPECT_EQ(failures, 0) << "of " << layouts << " layouts";
}

// A position typed with nine or more digits (or any number the edit reads)
// leaves the image off the page: the check before printing asks whether to
// cut it off instead of sending a blank sheet. Nothing worked out from it
// wraps round.
TEST(PrintLayoutTest, TypedPositionOfManyDigitsIsOutsideThePage)
{
    const char* const typed[] = {"123456789",  "999999999",  "-999999999",
                                 "2147483647", "-2147483648", "99999999999999999999",
                                 "1e308",      "-1e308",      "214748364.7"};
    for (const char* text : typed)
    {
        const int value = MyEditValueFromText(EditMode::Real, 1, text);
        for (const bool left : {true, false})
        {
            CPrintLayout layout = LaidOut(EvenA4());
            layout.SetFit(false);
            layout.SetPositionMode(PrintPositionMode::Custom);
            layout.ApplyTrimmingDialog({30, 20, 10, 40});
            if (left)
                layout.SetLeft(value);
            else
                layout.SetTop(value);
            PrintSettingsInput input;
            input.ratioPercent = layout.Scale() * 100.0;
            input.widthTenthMM = layout.PrintWidth();
            input.heightTenthMM = layout.PrintHeight();
            input.leftTenthMM = left ? value : 0;
            input.topTenthMM = left ? 0 : value;
            EXPECT_EQ(CheckPrintSettings(input, layout),
                      (PrintSettingsProblem{kStrPrintOutsideArea, {}, 0, true}))
                << text << (left ? " left" : " top");
            // What the layout keeps stays off the page too, on the side the
            // user typed, within a sheet's size of it.
            EXPECT_FALSE(layout.FitsPage(layout.VisibleLeft(), layout.VisibleTop())) << text;
            const int corner = left ? layout.VisibleLeft() : layout.VisibleTop();
            const int paper = left ? layout.PhysicalWidthMM() : layout.PhysicalHeightMM();
            EXPECT_EQ(corner > 0, value > 0) << text;
            EXPECT_LE(std::abs(corner), 2 * paper) << text;
        }
    }
}

// The conversions saturate: a fit scale of thousands of dots per pixel (a
// trimming that leaves one pixel of a wide image on a long roll) and a
// scale the preview's frame gave cannot wrap round into a small or
// negative size.
TEST(PrintLayoutTest, ExtremeScalesSaturateTheConversions)
{
    EXPECT_EQ(DotsToTenthMM(1e12, 72), std::numeric_limits<int>::max());
    EXPECT_EQ(DotsToTenthMM(-1e12, 72), std::numeric_limits<int>::min());
    EXPECT_EQ(TenthMMToDots(1e12, 1200), std::numeric_limits<int>::max());
    EXPECT_EQ(DotsToTenthMM(std::numeric_limits<double>::quiet_NaN(), 72), 0);
    EXPECT_EQ(DotsToTenthMM(2.5, 254), 3);
    EXPECT_EQ(DotsToTenthMM(-2.5, 254), -2);

    CPrintLayout layout;
    layout.SetImageSize(100000, 100000);
    layout.SetPositionMode(PrintPositionMode::CentreOfPrintableArea);
    layout.SetPixelMargins({0, 0, 99999, 99999});
    layout.UpdatePaperLayout(Page(9000, 9000, 8000, 8000, 500, 500, 72));
    EXPECT_DOUBLE_EQ(layout.Scale(), 8000.0);
    EXPECT_EQ(layout.PrintWidth(), std::numeric_limits<int>::max());
    EXPECT_GT(layout.PrintWidthDots(), 0);
    EXPECT_GT(layout.RatioSpinPosition(), 0);
}

// Scales far beyond 10000 % (a fit onto one remaining pixel, a frame
// dragged out to kilometres) saturate the trim margins in 0.1 mm; the
// visible part's corner, the preview's edge warnings and the print job's
// rectangle built on them saturate or compare in a wider type instead of
// overflowing, and the image stays off the page.
TEST(PrintLayoutTest, SaturatedTrimMarginsDoNotOverflowTheCorner)
{
    constexpr int kMax = std::numeric_limits<int>::max();
    struct Case
    {
        const char* name;
        int imageWidth, imageHeight;
        PrintMargins pixelMargins;
        PageGeometry page;
        // A frame dragged in the preview after the fit, with its handle.
        PrintRectTenthMM frame;
        int handle;
        bool leftSaturated;
    };
    const Case cases[] = {
        // Fit gives 8000 dots per pixel to the one pixel left; the frame
        // is then moved (its size as far as int holds it).
        {"fit onto one pixel, moved",
         100000,
         100000,
         {99999, 99999, 0, 0},
         Page(9000, 9000, 8000, 8000, 500, 500, 72),
         {49999, 49999, kMax, kMax},
         kTrackerHandleMove,
         true},
        // A one-pixel-wide column stretched to 200 km across at 72 dpi:
        // its height and its top margin saturate.
        {"frame stretched far",
         1,
         100000,
         {0, 50000, 0, 0},
         Page(595, 842, 567, 814, 14, 14, 72),
         {49999, 49999, 49999 + 2000000000, 50000},
         2,
         false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CPrintLayout layout;
        layout.SetImageSize(c.imageWidth, c.imageHeight);
        layout.SetPositionMode(PrintPositionMode::CentreOfPrintableArea);
        layout.SetPixelMargins(c.pixelMargins);
        layout.UpdatePaperLayout(c.page);
        layout.OnFrameChanged(c.frame, c.handle);
        EXPECT_EQ(layout.TrimMarginsMM().top, kMax);

        EXPECT_EQ(layout.VisibleLeft() == kMax, c.leftSaturated) << layout.VisibleLeft();
        EXPECT_EQ(layout.VisibleTop(), kMax);
        EXPECT_FALSE(layout.LeftText().empty());
        EXPECT_EQ(layout.TopText(), FormatTenthMM(kMax));
        EXPECT_FALSE(layout.FitsPage(layout.VisibleLeft(), layout.VisibleTop()));

        const PrintableEdgeWarnings warnings = PreviewEdgeWarnings(
            layout.OriginX(), layout.OriginY(), layout.PrintWidth(), layout.PrintHeight(),
            layout.TrimMarginsMM(), layout.PrintableWidthMM(), layout.PrintableHeightMM());
        EXPECT_FALSE(warnings.left);
        EXPECT_FALSE(warnings.top);
        EXPECT_TRUE(warnings.bottom);
        EXPECT_TRUE(warnings.right);

        PrintImageRequest request;
        request.originX = layout.OriginX();
        request.originY = layout.OriginY();
        request.printWidth = layout.PrintWidth();
        request.printHeight = layout.PrintHeight();
        request.trimTenthMM = layout.TrimMarginsMM();
        const PrintDotsRect dots = PrintDestinationRect(request, c.page.dpiX, c.page.dpiY);
        EXPECT_GT(dots.y, c.page.printableHeight);
    }
}
