// The colour-tone panel: hues brought onto the circle, the hue points kept
// in their sectors (typed, stepped and dragged), the up-downs that come
// round at their ends, the balance from a picked colour, and the panel
// over the real project (preview, undo, Cancel, OK).

#include "app/panels/colour-tone/ColorCalibView.h"
#include "app/panels/StepPanelLogic.h"
#include "app/panels/colour-tone/ColorCalibViewLogic.h"
#include "app/panels/gradation/GrayCalibView.h"
#include "app/shell/PanelFactories.h"
#include "controls/widgets/ColorCircleCtrl.h"
#include "controls/widgets/GrayScaleGraphCtrl.h"
#include "controls/widgets/UpDown.h"
#include "tests/app/panels/StepPanelTestSupport.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QToolButton>

#include <cmath>
#include <limits>
#include <span>
#include <tuple>
#include <vector>

namespace {

using steppaneltest::DragSlider;

TEST(ColorCalibLogic, TypedHuesComeOntoTheCircle)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::pair<double, double>> table = {
        {-30.0, 330.0}, {725.0, 5.0},  {360.0, 0.0},   {-360.0, 0.0}, {-725.0, 355.0},
        {359.9, 359.9}, {0.0, 0.0},    {-0.5, 359.5},  {1080.5, 0.5}, {nan, 0.0},
    };
    for (const auto& [typed, wrapped] : table)
        EXPECT_NEAR(colorcalib::WrapHue(typed), wrapped, 1e-9) << typed;

    // Up-down positions in tenths: one past either end comes round.
    const std::vector<std::pair<int, int>> tenths = {
        {3600, 0}, {3601, 0}, {-1, 3599}, {-40, 3599}, {0, 0}, {3599, 3599}, {1234, 1234},
    };
    for (const auto& [position, wrapped] : tenths)
        EXPECT_EQ(WrapHueTenths(position), wrapped) << position;

    const std::vector<std::pair<double, double>> cut = {
        {12.34, 12.3}, {12.39, 12.3}, {-1.27, -1.2}, {0.05, 0.0}, {359.99, 359.9},
    };
    for (const auto& [value, result] : cut)
        EXPECT_NEAR(colorcalib::TruncateToTenth(value), result, 1e-9) << value;
}

TEST(ColorCalibLogic, AHuePointMovesOverItsWholeSectorAndNoFurther)
{
    const std::vector<CCIELCh> three = {CCIELCh(50, 50, 30), CCIELCh(50, 50, 150), CCIELCh(50, 50, 270)};
    const std::vector<CCIELCh> six = {CCIELCh(50, 50, 30),  CCIELCh(50, 50, 90),  CCIELCh(50, 50, 150),
                                      CCIELCh(50, 50, 210), CCIELCh(50, 50, 270), CCIELCh(50, 50, 330)};
    struct Case
    {
        const std::vector<CCIELCh>* points;
        int count;
        int index;
        double hue;
        bool accepted;
    };
    const std::vector<Case> cases = {
        // Point 150 between 30 and 270: a sector of 240 degrees.
        {&three, 3, 1, 250.0, true}, // more than half a turn from the previous point
        {&three, 3, 1, 40.0, true},
        {&three, 3, 1, 30.2, true},
        {&three, 3, 1, 30.05, false}, // within about 0.1 degree of the neighbour
        {&three, 3, 1, 269.95, false},
        {&three, 3, 1, 280.0, false}, // past the next point
        {&three, 3, 1, 10.0, false},  // past the previous point
        // The first point's sector runs from the last point through 0.
        {&three, 3, 0, 350.0, true},
        {&three, 3, 0, 0.0, true},
        {&three, 3, 0, 140.0, true},
        {&three, 3, 0, 200.0, false},
        // The last point's sector runs from 150 through 0 to 30.
        {&three, 3, 2, 20.0, true},
        {&three, 3, 2, 100.0, false},
        {&six, 6, 0, 340.0, true},
        {&six, 6, 0, 320.0, false},
        {&six, 6, 5, 25.0, true},
        {&six, 6, 5, 35.0, false},
        // Only the points in use count.
        {&six, 3, 2, 200.0, true},
        {&six, 1, 0, 200.0, true},
        {&three, 3, 3, 100.0, false}, // no such point
    };
    for (const Case& c : cases)
        EXPECT_EQ(colorcalib::AcceptsPointHue(*c.points, c.count, c.index, c.hue), c.accepted)
            << "point " << c.index << " of " << c.count << " to " << c.hue;
}

TEST(ColorCalibLogic, PointsFromTheChartsMeasuredColours)
{
    std::vector<colorcalib::MeasuredPair> pairs;
    for (int i = 0; i < 4; ++i)
        pairs.push_back({CCIELCh(50, 20 + i, 10.07 + 80 * i), CCIELCh(60, 30 + i, 12.34 + 80 * i)});
    CColorCalibData data = CColorCalibDoc::DefaultParams();
    int selected = 6;
    colorcalib::PointsFromMeasuredPairs(data, pairs, selected);
    EXPECT_EQ(data.ColorCount, 4);
    EXPECT_EQ(selected, 4);
    EXPECT_DOUBLE_EQ(data.startHue, 12.3);
    for (std::size_t i = 0; i < CColorCalibData::kMaxColors; ++i)
    {
        const CCIELCh first = i < 4 ? pairs[i].first : CCIELCh(0, 0, 0);
        const CCIELCh second = i < 4 ? pairs[i].second : CCIELCh(0, 0, 0);
        for (int k = 0; k < 3; ++k)
        {
            EXPECT_EQ(data.ChartLchRef[i][k], second[k]) << i;
            EXPECT_EQ(data.LchBefore[i][k], first[k]) << i;
            EXPECT_EQ(data.LchAfter[i][k], first[k]) << i;
        }
    }
    // Fewer than three pairs change nothing.
    CColorCalibData kept = CColorCalibDoc::DefaultParams();
    selected = 6;
    colorcalib::PointsFromMeasuredPairs(kept, std::span(pairs).first(2), selected);
    EXPECT_EQ(kept, CColorCalibDoc::DefaultParams());
    EXPECT_EQ(selected, 6);
}

class ColorCalibViewTest
    : public steppaneltest::StepPanelFixture<CColorCalibView, UWM_COLORCALIBVIEW_NOTIFY>
{
protected:
    const CColorCalibData& Data() { return m_panel->Document().GetCalibData(); }
    CEditEx* Edit(int id) { return Control<CEditEx>(id); }
    CColorCircleCtrl* Circle() { return Control<CColorCircleCtrl>(CColorCalibView::kIdCircle); }
    const CColorCalibDoc* PreviewDoc() const
    {
        return dynamic_cast<const CColorCalibDoc*>(m_project->GetPreviewDoc());
    }
    void SetDetailed()
    {
        Control<QCheckBox>(CColorCalibView::kIdDetailed)->click();
        ASSERT_EQ(Data().fRandamCalib, 1);
    }
    // Detailed, three points at 30, 150 and 270 degrees, the second selected.
    void ThreePoints()
    {
        SetDetailed();
        Type(Edit(CColorCalibView::kIdHueCount), QStringLiteral("3"));
        Type(Edit(CColorCalibView::kIdPointNo), QStringLiteral("2"));
        ASSERT_EQ(Data().ColorCount, 3);
        ASSERT_EQ(m_panel->GetSelectedPoint(), 2);
        ASSERT_DOUBLE_EQ(Data().LchAfter[1][2], 150.0);
    }
    QPoint CirclePoint(double chroma, double hue)
    {
        const CirclePixel pixel = Circle()->square().ChromaHuePixel(chroma, hue);
        return QPoint(pixel.x, pixel.y);
    }
};

TEST_F(ColorCalibViewTest, TypedHuesAndPhasesComeOntoTheCircle)
{
    // (edit, typed, shown)
    const std::vector<std::tuple<int, const char*, const char*>> table = {
        {CColorCalibView::kIdHue, "-30", "330.0"},  {CColorCalibView::kIdHue, "725", "5.0"},
        {CColorCalibView::kIdHue, "360", "0.0"},    {CColorCalibView::kIdHue, "-725", "355.0"},
        {CColorCalibView::kIdHue, "0120", "120.0"}, // decimal
        {CColorCalibView::kIdPhase, "-30", "330.0"}, {CColorCalibView::kIdPhase, "725", "5.0"},
    };
    for (const auto& [id, typed, shown] : table)
    {
        SCOPED_TRACE(typed);
        if (id == CColorCalibView::kIdPhase && Data().fRandamCalib == 0)
            SetDetailed();
        Type(Edit(id), QString::fromLatin1(typed));
        EXPECT_EQ(Edit(id)->text(), QString::fromLatin1(shown));
        const double value = Edit(id)->GetDouble();
        if (id == CColorCalibView::kIdHue)
        {
            EXPECT_DOUBLE_EQ(Data().Hue, value);
        }
        else
        {
            // A new phase spreads the points anew from it.
            EXPECT_DOUBLE_EQ(Data().startHue, value);
            bool found = false;
            for (int i = 0; i < Data().ColorCount; ++i)
                found = found || std::abs(Data().ChartLchRef[static_cast<std::size_t>(i)][2] - value) < 1e-9;
            EXPECT_TRUE(found);
        }
    }
}

TEST_F(ColorCalibViewTest, ThePointNumberUpDownComesRoundAtBothEnds)
{
    SetDetailed();
    ASSERT_EQ(Data().ColorCount, 6);
    auto* spin = Control<CUpDown>(CColorCalibView::kIdPointNoSpin);
    const std::vector<std::pair<int, int>> table = {
        {+1, 2}, {+1, 3}, {+1, 4}, {+1, 5}, {+1, 6}, {+1, 1}, {-1, 6}, {-1, 5},
    };
    m_codes.clear();
    for (const auto& [step, shown] : table)
    {
        spin->Step(step);
        EXPECT_EQ(Edit(CColorCalibView::kIdPointNo)->GetInt(), shown);
        EXPECT_EQ(Circle()->SelectedIndex, shown - 1);
        spin->EndScroll();
        EXPECT_EQ(m_panel->GetSelectedPoint(), shown);
        EXPECT_DOUBLE_EQ(Edit(CColorCalibView::kIdPointHue)->GetDouble(),
                         std::trunc(Data().LchAfter[static_cast<std::size_t>(shown - 1)][2] * 10.0 + 0.5) / 10.0);
    }
    EXPECT_EQ(UndoStatesSaved(), 0);
}

TEST_F(ColorCalibViewTest, APointHueTypedPastItsNeighbourSnapsBack)
{
    ThreePoints();
    // (typed, hue kept): the sector of point 2 runs from 30 to 270.
    const std::vector<std::pair<const char*, double>> table = {
        {"250", 250.0},  // more than half a turn past the previous point
        {"280", 250.0},  // past the next point
        {"270", 250.0},  // on the next point
        {"30", 250.0},   // on the previous point
        {"30.1", 30.1},  // a tenth from it
        {"-300", 60.0},  // brought onto the circle first
        {"10", 60.0},
    };
    for (const auto& [typed, kept] : table)
    {
        SCOPED_TRACE(typed);
        Type(Edit(CColorCalibView::kIdPointHue), QString::fromLatin1(typed));
        EXPECT_DOUBLE_EQ(Data().LchAfter[1][2], kept);
        EXPECT_DOUBLE_EQ(Edit(CColorCalibView::kIdPointHue)->GetDouble(), kept);
        EXPECT_DOUBLE_EQ(Data().LchAfter[0][2], 30.0);
        EXPECT_DOUBLE_EQ(Data().LchAfter[2][2], 270.0);
    }
}

TEST_F(ColorCalibViewTest, TheHueUpDownsStepByATenthAndComeRound)
{
    ThreePoints();
    auto* phase = Control<CUpDown>(CColorCalibView::kIdPhaseSpin);
    Type(Edit(CColorCalibView::kIdPhase), QStringLiteral("359.9"));
    ASSERT_EQ(phase->GetPos(), 3599);
    // (step, phase shown)
    const std::vector<std::pair<int, const char*>> phases = {
        {+1, "0.0"}, {+1, "0.1"}, {-1, "0.0"}, {-1, "359.9"}, {-1, "359.8"},
    };
    for (const auto& [step, shown] : phases)
    {
        phase->Step(step);
        EXPECT_EQ(Edit(CColorCalibView::kIdPhase)->text(), QString::fromLatin1(shown));
    }
    m_codes.clear();
    phase->EndScroll();
    EXPECT_NEAR(Data().startHue, 359.8, 1e-9);
    EXPECT_NEAR(Data().ChartLchRef[0][2], 359.8 - 240.0, 1e-9); // spread anew, by hue

    // A point's hue steps within its sector only.
    Type(Edit(CColorCalibView::kIdPointNo), QStringLiteral("2"));
    const double start = Data().LchAfter[1][2];
    auto* hue = Control<CUpDown>(CColorCalibView::kIdPointHueSpin);
    hue->Step(+1);
    EXPECT_NEAR(Edit(CColorCalibView::kIdPointHue)->GetDouble(), start + 0.1, 1e-9);
    hue->EndScroll();
    EXPECT_NEAR(Data().LchAfter[1][2], start + 0.1, 1e-9);
    Type(Edit(CColorCalibView::kIdPointHue),
         QString::number(Data().LchAfter[2][2] - 0.2, 'f', 1)); // just before the next point
    const double nearNext = Data().LchAfter[1][2];
    hue->Step(+1);
    hue->Step(+1);
    hue->Step(+1);
    hue->EndScroll();
    EXPECT_LT(Data().LchAfter[1][2], Data().LchAfter[2][2]);
    EXPECT_GE(Data().LchAfter[1][2], nearNext);
}

TEST_F(ColorCalibViewTest, APointDraggedAcrossItsNeighbourStaysInItsSector)
{
    EnterWithImage();
    ThreePoints();
    m_codes.clear();
    auto* circle = Circle();
    const QPoint from = CirclePoint(50.0, 150.0);
    QTest::mousePress(circle, Qt::LeftButton, Qt::NoModifier, from);
    ASSERT_TRUE(circle->Dragging());
    QTest::mouseMove(circle, CirclePoint(50.0, 200.0));
    QTest::mouseMove(circle, CirclePoint(50.0, 250.0)); // over half a turn from the previous point
    const double reached = Data().LchAfter[1][2];
    EXPECT_NEAR(reached, 250.0, 2.0);
    QTest::mouseMove(circle, CirclePoint(50.0, 300.0)); // past the next point at 270
    QTest::mouseRelease(circle, Qt::LeftButton, Qt::NoModifier, CirclePoint(50.0, 300.0));
    EXPECT_NEAR(Data().LchAfter[1][2], reached, 0.05);
    EXPECT_GT(Data().LchAfter[1][2], 30.0);
    EXPECT_LT(Data().LchAfter[1][2], 270.0);
    EXPECT_DOUBLE_EQ(Data().LchAfter[2][2], 270.0);
    EXPECT_EQ(m_panel->GetSelectedPoint(), 2);
    EXPECT_EQ(UndoStatesSaved(), 1);
    ASSERT_NE(PreviewDoc(), nullptr);
    EXPECT_DOUBLE_EQ(PreviewDoc()->GetCalibData().LchAfter[1][2], Data().LchAfter[1][2]);
}

TEST_F(ColorCalibViewTest, InBalanceModeTheRingCarriesHueAndChroma)
{
    auto* circle = Circle();
    QTest::mousePress(circle, Qt::LeftButton, Qt::NoModifier, CirclePoint(50.0, 0.0));
    ASSERT_TRUE(circle->Dragging());
    QTest::mouseMove(circle, CirclePoint(70.0, 40.0));
    QTest::mouseRelease(circle, Qt::LeftButton, Qt::NoModifier, CirclePoint(70.0, 40.0));
    EXPECT_NEAR(Data().Hue, 40.0, 2.0);
    EXPECT_NEAR(Data().Sat, 70.0, 2.0);
    EXPECT_DOUBLE_EQ(Edit(CColorCalibView::kIdHue)->GetDouble(), Data().Hue);
    EXPECT_DOUBLE_EQ(Edit(CColorCalibView::kIdChroma)->GetDouble(), Data().Sat);
    EXPECT_EQ(UndoStatesSaved(), 1);
    EXPECT_EQ(Circle()->SelectedIndex, -1);
}

TEST_F(ColorCalibViewTest, ADragChangesThePreviewUndoRestoresItCancelKeepsAndOkCommits)
{
    EnterWithImage();
    const std::vector<std::uint8_t> before = RenderedPreview();
    auto* offset = Control<CMultiSlider>(CColorCalibView::kIdOffsetSlider);
    DragSlider(*offset, 0, {10, 20, 30});
    EXPECT_DOUBLE_EQ(Data().Offset, 30.0);
    EXPECT_EQ(Edit(CColorCalibView::kIdOffset)->text(), QStringLiteral("30.0"));
    EXPECT_EQ(UndoStatesSaved(), 1);
    ASSERT_NE(PreviewDoc(), nullptr);
    EXPECT_DOUBLE_EQ(PreviewDoc()->GetCalibData().Offset, 30.0);
    const std::vector<std::uint8_t> changed = RenderedPreview();
    EXPECT_NE(changed, before);

    m_panel->Undo();
    EXPECT_DOUBLE_EQ(Data().Offset, 0.0);
    EXPECT_EQ(offset->Positions[0], 0);
    EXPECT_EQ(RenderedPreview(), before);
    m_panel->Redo();
    EXPECT_EQ(RenderedPreview(), changed);

    Control<QPushButton>(kIdCancelButton)->click();
    EXPECT_EQ(m_project->GetColorCalibDoc().GetCalibData().Offset, 0.0);
    EXPECT_EQ(m_project->GetPreviewDoc(), nullptr);

    m_panel->OnEnterStep();
    EXPECT_DOUBLE_EQ(Data().Offset, 0.0);
    auto* direction = Control<CMultiSlider>(CColorCalibView::kIdDirectionSlider);
    DragSlider(*offset, 0, {25});
    DragSlider(*direction, 0, {90});
    EXPECT_DOUBLE_EQ(Data().Direction, 90.0);
    Control<QPushButton>(kIdOkButton)->click();
    EXPECT_DOUBLE_EQ(m_project->GetColorCalibDoc().GetCalibData().Offset, 25.0);
    EXPECT_DOUBLE_EQ(m_project->GetColorCalibDoc().GetCalibData().Direction, 90.0);
    EXPECT_EQ(m_project->GetPreviewDoc(), nullptr);
}

TEST_F(ColorCalibViewTest, APickedColourSetsTheBalanceOnlyWithTheWhiteBalanceButtonDown)
{
    EnterWithImage();
    auto* button = Control<QToolButton>(CColorCalibView::kIdWhiteBalance);
    const CCIEXYZ sample(40.0, 42.0, 30.0);
    m_panel->SetWhiteBalanceSample(sample);
    EXPECT_DOUBLE_EQ(Data().Offset, 0.0);

    button->click();
    EXPECT_EQ(m_codes.back(), static_cast<int>(PanelNotify::CompareOn));
    m_codes.clear();
    // A component at 0.1 or below is no colour to balance.
    m_panel->SetWhiteBalanceSample(CCIEXYZ(40.0, 0.1, 30.0));
    EXPECT_DOUBLE_EQ(Data().Offset, 0.0);
    EXPECT_EQ(UndoStatesSaved(), 0);

    m_panel->SetWhiteBalanceSample(sample);
    double offset = 0.0;
    double direction = 0.0;
    ASSERT_TRUE(CColorCalibDoc::MeasureHueShift(m_project->GetWhiteXYZ(), sample, offset, direction));
    EXPECT_NEAR(Data().Offset, offset, 0.05 + 1e-9);
    EXPECT_NEAR(Data().Direction, direction, 0.05 + 1e-9);
    EXPECT_GT(Data().Offset, 0.0);
    EXPECT_EQ(UndoStatesSaved(), 1);
    ASSERT_NE(PreviewDoc(), nullptr);
    EXPECT_DOUBLE_EQ(PreviewDoc()->GetCalibData().Offset, Data().Offset);

    // Leaving lets the button go and ends the comparison.
    m_codes.clear();
    Control<QPushButton>(kIdCancelButton)->click();
    EXPECT_FALSE(button->isChecked());
    EXPECT_EQ(m_codes, (std::vector<int>{static_cast<int>(PanelNotify::Cancel),
                                         static_cast<int>(PanelNotify::CompareOff)}));
}

TEST_F(ColorCalibViewTest, APickedColourMarksTheCircle)
{
    const CCIELab lab(60.0, 20.0, -30.0);
    m_panel->SetSampleLab(lab);
    const CCIELCh lch = lab.ToLCh();
    EXPECT_EQ(Circle()->Marker2(), Circle()->square().ChromaHuePixel(lch[1], lch[2]));
}

TEST_F(ColorCalibViewTest, AChromaStepKeepsTheOtherPointsAndANewCountRespreadsThem)
{
    ThreePoints();
    const CColorCalibData before = Data();
    m_codes.clear();
    auto* chroma = Control<CUpDown>(CColorCalibView::kIdPointChromaSpin);
    chroma->Step(+1);
    chroma->Step(+1);
    chroma->EndScroll();
    EXPECT_EQ(UndoStatesSaved(), 1);
    EXPECT_NEAR(Data().LchAfter[1][1], before.LchAfter[1][1] + 0.2, 1e-9);
    for (std::size_t i : {0u, 2u})
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(Data().LchAfter[i][k], before.LchAfter[i][k]) << i;

    Type(Edit(CColorCalibView::kIdHueCount), QStringLiteral("4"));
    EXPECT_EQ(Data().ColorCount, 4);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_NEAR(Data().LchAfter[i][2], 30.0 + 90.0 * static_cast<double>(i), 1e-9) << i;
    EXPECT_DOUBLE_EQ(Data().LchAfter[1][1], 50.0);
    // The count edit takes 3 .. 24.
    Type(Edit(CColorCalibView::kIdHueCount), QStringLiteral("2"));
    EXPECT_EQ(Data().ColorCount, 3);
}

TEST_F(ColorCalibViewTest, TheFramesPicksReachBothPanelsAtTheirStackIndices)
{
    // The frame makes its panels by stack index and hands picks to the
    // shown one as an IColorPickTarget.
    QWidget parent;
    QWidget* gradation = DefaultPanelFactory(4)(&parent);
    QWidget* tone = DefaultPanelFactory(5)(&parent);
    ASSERT_NE(dynamic_cast<CGrayCalibView*>(gradation), nullptr);
    ASSERT_NE(dynamic_cast<CColorCalibView*>(tone), nullptr);
    auto* gradationTarget = dynamic_cast<IColorPickTarget*>(gradation);
    auto* toneTarget = dynamic_cast<IColorPickTarget*>(tone);
    ASSERT_NE(gradationTarget, nullptr);
    ASSERT_NE(toneTarget, nullptr);

    gradationTarget->SetSampleLab(CCIELab(40.0, 0.0, 0.0));
    EXPECT_EQ(gradation->findChild<CGrayScaleGraphCtrl*>(QStringLiteral("1059"))->LevelMarker, 102);

    const CCIELab lab(70.0, -20.0, 10.0);
    toneTarget->SetSampleLab(lab);
    auto* circle = tone->findChild<CColorCircleCtrl*>(QStringLiteral("1075"));
    const CCIELCh lch = lab.ToLCh();
    EXPECT_EQ(circle->Marker2(), circle->square().ChromaHuePixel(lch[1], lch[2]));

    // Without a project the balance cannot be measured: nothing changes.
    auto* toneView = static_cast<CColorCalibView*>(tone);
    toneView->findChild<QToolButton*>(QStringLiteral("1253"))->setChecked(true);
    toneTarget->SetWhiteBalanceSample(CCIEXYZ(40.0, 42.0, 30.0));
    EXPECT_DOUBLE_EQ(toneView->Document().GetCalibData().Offset, 0.0);
}

} // namespace
