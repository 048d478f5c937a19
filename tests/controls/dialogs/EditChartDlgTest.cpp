// The chart editing dialog: the edit of a chart by table (limits, hue
// wrapping, real divisions of the positions), what happens without a
// usable converter, and the dialog's sliders driven through exec().

#include "controls/dialogs/EditChartDlg.h"
#include "controls/dialogs/EditChartLogic.h"
#include "controls/widgets/ColorCheckerCtrl.h"
#include "tests/controls/SRGBConverter.h"
#include "tests/controls/dialogs/DialogDriver.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

T2DArray<CCIEXYZ> OneCell(const CCIEXYZ& xyz)
{
    T2DArray<CCIEXYZ> cells;
    cells.Resize(1, 1, xyz);
    return cells;
}

TEST(EditChartLogic, EditsEveryCellInLCh)
{
    SRGBConverter srgb;
    ASSERT_TRUE(srgb.ok);
    const CCIEXYZ white = srgb.converter.GetWhiteXYZ();
    struct Case
    {
        CCIELCh from;
        EditChartPositions positions;
        CCIELCh expected;
    };
    const Case cases[] = {
        {{40, 20, 100}, {100, 100, 0}, {40, 20, 100}},
        // Lightness is limited to 100.
        {{80, 20, 100}, {150, 100, 0}, {100, 20, 100}},
        {{80, 20, 100}, {50, 100, 0}, {40, 20, 100}},
        // The hue wraps past 360 and below 0.
        {{50, 20, 350}, {100, 100, 50}, {50, 20, 20}},
        {{50, 20, 10}, {100, 100, -50}, {50, 20, 340}},
        {{50, 30, 120}, {100, 50, 0}, {50, 15, 120}},
        // Positions are divided as real numbers: 101 % is not 100 %, one
        // hue step is 0.6 degrees, 75 % is not 0.
        {{50, 40, 120}, {101, 75, 1}, {50.5, 30, 120.6}},
        {{60, 20, 200}, {100, 100, -1}, {60, 20, 199.4}},
    };
    for (const Case& c : cases)
    {
        const CCIEXYZ source = c.from.ToLab().ToXYZ(white);
        const T2DArray<CCIEXYZ> edited = EditChartColors(OneCell(source), c.positions, &srgb.converter);
        ASSERT_EQ(edited.GetRows(), 1);
        const CCIELCh lch = edited.GetAt(0, 0).ToLab(white).ToLCh();
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(lch[i], c.expected[i], 1e-6)
                << "L " << c.from[0] << " C " << c.from[1] << " h " << c.from[2] << " component " << i;
    }
}

TEST(EditChartLogic, NeutralStaysNeutralAndShapeIsKept)
{
    SRGBConverter srgb;
    ASSERT_TRUE(srgb.ok);
    const CCIEXYZ white = srgb.converter.GetWhiteXYZ();
    T2DArray<CCIEXYZ> chart;
    chart.Resize(2, 3, white * 0.2);
    chart.SetAt(1, 2, CCIELCh(50, 30, 40).ToLab().ToXYZ(white));
    const T2DArray<CCIEXYZ> edited = EditChartColors(chart, {120, 50, 20}, &srgb.converter);
    ASSERT_EQ(edited.GetRows(), 2);
    ASSERT_EQ(edited.GetColumns(), 3);
    const CCIELab grey = edited.GetAt(0, 1).ToLab(white);
    EXPECT_NEAR(grey[1], 0.0, 1e-9);
    EXPECT_NEAR(grey[2], 0.0, 1e-9);
    EXPECT_NEAR(edited.GetAt(1, 2).ToLab(white).ToLCh()[1], 15.0, 1e-6);

    const T2DArray<RGBColor> cells = EditChartGridCells(edited, &srgb.converter);
    EXPECT_EQ(cells.GetRows(), 2);
    EXPECT_EQ(cells.GetColumns(), 3);
}

TEST(EditChartLogic, WithoutUsableConverterColoursStayAndTheGridIsOneBlackCell)
{
    CColorConverter noProfiles("");
    T2DArray<CCIEXYZ> chart;
    chart.Resize(4, 6, CCIEXYZ(20, 30, 40));
    for (const CColorConverter* converter : {static_cast<const CColorConverter*>(nullptr),
                                             static_cast<const CColorConverter*>(&noProfiles)})
    {
        EXPECT_EQ(EditChartColors(chart, {150, 50, 50}, converter), chart);
        const T2DArray<RGBColor> cells = EditChartGridCells(chart, converter);
        ASSERT_EQ(cells.GetRows(), 1);
        ASSERT_EQ(cells.GetColumns(), 1);
        EXPECT_EQ(cells.GetAt(0, 0), (RGBColor{0, 0, 0}));
    }
}

TEST(EditChartDlg, SlidersStartNeutralAndActOnlyWhenReleasedOrStepped)
{
    SRGBConverter srgb;
    ASSERT_TRUE(srgb.ok);
    const CCIEXYZ white = srgb.converter.GetWhiteXYZ();
    const T2DArray<CCIEXYZ> chart = OneCell(CCIELCh(80, 20, 350).ToLab().ToXYZ(white));
    CEditChartDlg dialog;
    dialog.Converter = &srgb.converter;
    dialog.SetColors(chart);
    EXPECT_EQ(dialog.LightnessPos, 50);

    const int code = RunDialog(
        dialog,
        [&] {
            auto* lightness = Child<QSlider>(dialog, "1134");
            auto* chroma = Child<QSlider>(dialog, "1135");
            auto* hue = Child<QSlider>(dialog, "1136");
            EXPECT_EQ(lightness->minimum(), 50);
            EXPECT_EQ(lightness->maximum(), 150);
            EXPECT_EQ(lightness->value(), 100);
            EXPECT_EQ(chroma->value(), 100);
            EXPECT_EQ(hue->minimum(), -50);
            EXPECT_EQ(hue->maximum(), 50);
            EXPECT_EQ(hue->value(), 0);
            EXPECT_EQ(dialog.GetEditedColors(), chart);

            // A drag changes nothing until the thumb is released.
            hue->setSliderDown(true);
            hue->setValue(50);
            EXPECT_EQ(dialog.GetEditedColors(), chart);
            hue->setSliderDown(false);
            EXPECT_NEAR(dialog.GetEditedColors().GetAt(0, 0).ToLab(white).ToLCh()[2], 20.0, 1e-6);

            // A key acts at once, and the edit starts from the source.
            lightness->setFocus();
            QTest::keyClick(lightness, Qt::Key_End);
        },
        "1");

    EXPECT_EQ(code, kDialogOk);
    EXPECT_EQ(dialog.LightnessPos, 150);
    const CCIELCh lch = dialog.GetEditedColors().GetAt(0, 0).ToLab(white).ToLCh();
    EXPECT_NEAR(lch[0], 100.0, 1e-6);
    EXPECT_NEAR(lch[1], 20.0, 1e-6);
    EXPECT_NEAR(lch[2], 20.0, 1e-6);
}

TEST(EditChartDlg, GridShowsTheColoursOnWhiteOrOneBlackCell)
{
    SRGBConverter srgb;
    ASSERT_TRUE(srgb.ok);
    T2DArray<CCIEXYZ> chart;
    chart.Resize(4, 6, srgb.converter.GetWhiteXYZ() * 0.5);

    CEditChartDlg withConverter;
    withConverter.Converter = &srgb.converter;
    withConverter.SetColors(chart);
    withConverter.writeControls();
    const auto* grid = Child<CColorCheckerCtrl>(withConverter, "1137");
    EXPECT_EQ(grid->Cells.GetRows(), 4);
    EXPECT_EQ(grid->Cells.GetColumns(), 6);
    EXPECT_EQ(grid->FrameColor, (RGBColor{65535, 65535, 65535}));

    CEditChartDlg withoutConverter;
    withoutConverter.SetColors(chart);
    const int code = RunDialog(withoutConverter, [] {}, "2");
    EXPECT_EQ(code, kDialogCancel);
    const auto* blackGrid = Child<CColorCheckerCtrl>(withoutConverter, "1137");
    ASSERT_EQ(blackGrid->Cells.GetRows(), 1);
    EXPECT_EQ(blackGrid->Cells.GetAt(0, 0), (RGBColor{0, 0, 0}));
    EXPECT_EQ(withoutConverter.GetEditedColors(), chart);
}

} // namespace
