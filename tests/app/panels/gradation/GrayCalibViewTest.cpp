// The gradation panel: the levels' rules (mid-tone thumb and gamma, the
// gap between black and white), typed numbers, the point controls of
// detailed correction, the graph, and the panel over the real project
// (preview, undo, Cancel, OK).

#include "app/panels/gradation/GrayCalibView.h"
#include "app/panels/StepPanelLogic.h"
#include "app/panels/gradation/GrayCalibViewLogic.h"
#include "controls/widgets/GrayScaleGraphCtrl.h"
#include "controls/widgets/UpDown.h"
#include "tests/app/panels/StepPanelTestSupport.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>

#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

namespace {

using steppaneltest::DragSlider;

TEST(GrayCalibLogic, MidThumbAndGammaDescribeOneCurve)
{
    // (black, white, gamma) -> mid = white - trunc(0.5^gamma (white - black))
    const std::vector<std::tuple<int, int, double, int>> mids = {
        {0, 255, 1.0, 128}, {0, 255, 0.1, 18},   {0, 255, 4.0, 240},
        {10, 200, 1.0, 105}, {32, 64, 2.0, 56}, {7, 7, 1.0, 7}, // no span: black
    };
    for (const auto& [black, white, gamma, mid] : mids)
        EXPECT_EQ(graycalib::MidFromGamma(black, white, gamma), mid) << black << " " << white << " " << gamma;

    // (black, white, mid) -> gamma, held to 0.1 .. 4
    const std::vector<std::tuple<int, int, int, double>> gammas = {
        {0, 255, 1, 0.1},   {0, 255, 0, 0.1},   {0, 255, 254, 4.0}, {0, 255, 255, 4.0},
        {0, 255, 300, 4.0}, {5, 5, 5, 1.0},     // no span: gamma 1
        {0, 255, 128, std::log(127.0 / 255.0) / std::log(0.5)},
        {10, 200, 105, std::log(95.0 / 190.0) / std::log(0.5)},
    };
    for (const auto& [black, white, mid, gamma] : gammas)
        EXPECT_DOUBLE_EQ(graycalib::GammaFromMid(black, white, mid), gamma) << black << " " << white << " " << mid;
}

TEST(GrayCalibLogic, BlackAndWhiteKeepTheirGap)
{
    // (black, white) -> black after an edit of black
    const std::vector<std::tuple<int, int, int>> blacks = {
        {240, 255, 223}, {223, 255, 223}, {222, 255, 222}, {10, 20, 0}, {0, 255, 0}, {254, 255, 223},
    };
    for (const auto& [black, white, expected] : blacks)
        EXPECT_EQ(graycalib::BlackWithGap(black, white), expected) << black << " " << white;
    // (black, white) -> white after an edit of white
    const std::vector<std::tuple<int, int, int>> whites = {
        {0, 20, 32}, {0, 32, 32}, {0, 33, 33}, {240, 250, 255}, {100, 132, 132}, {0, 255, 255},
    };
    for (const auto& [black, white, expected] : whites)
        EXPECT_EQ(graycalib::WhiteWithGap(black, white), expected) << black << " " << white;
    // (black, white, mid) -> mid strictly inside
    const std::vector<std::tuple<int, int, int, int>> mids = {
        {0, 255, 0, 1}, {10, 200, 5, 11}, {10, 200, 200, 199}, {10, 200, 250, 199}, {10, 200, 100, 100},
    };
    for (const auto& [black, white, mid, expected] : mids)
        EXPECT_EQ(graycalib::MidInside(black, white, mid), expected) << black << " " << white << " " << mid;
}

TEST(GrayCalibLogic, ShownValuesAreTruncatedAndHeld)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // y -> trunc(y x 255 + 0.4) held to 0..255
    const std::vector<std::pair<double, int>> values = {
        {0.0, 0}, {0.5, 127}, {1.0, 255}, {0.9999, 255}, {1.5, 255}, {-0.2, 0}, {nan, 0},
        {200.0 / 255.0, 200}, {0.5 / 255.0, 0}, {0.7 / 255.0, 1},
    };
    for (const auto& [y, shown] : values)
        EXPECT_EQ(graycalib::PointValue(y), shown) << y;
    // L* -> marker bin
    const std::vector<std::pair<double, int>> markers = {
        {0.0, 0}, {50.0, 127}, {100.0, 255}, {-3.0, 0}, {140.0, 255}, {nan, 0},
    };
    for (const auto& [lightness, bin] : markers)
        EXPECT_EQ(graycalib::SampleMarkerBin(lightness), bin) << lightness;
}

TEST(StepPanelLogic, PointNumbersComeRoundAtBothEnds)
{
    // (position, minimum, maximum) -> number
    const std::vector<std::tuple<int, int, int, int>> table = {
        {6, 1, 5, 1}, {0, 1, 5, 5}, {3, 1, 5, 3}, {1, 1, 5, 1}, {5, 1, 5, 5},
        {2, 1, 1, 1}, {0, 1, 1, 1}, {25, 1, 24, 1}, {0, 1, 24, 24},
    };
    for (const auto& [position, minimum, maximum, number] : table)
        EXPECT_EQ(WrapPointNumber(position, minimum, maximum), number) << position << " in " << minimum << ".." << maximum;
}

TEST(GrayCalibLogic, PointsFromTheChartsGreyValues)
{
    struct Case
    {
        std::vector<double> values;
        int selectedBefore;
        int count;
        int selectedAfter;
    };
    const std::vector<Case> cases = {
        {{0.2, 0.5, 0.8}, 5, 3, 3},
        {{0.2, 0.5, 0.8}, 2, 3, 2},
        {std::vector<double>(25, 0.4), 20, 20, 20}, // more than 20: the first 20
        {{}, 4, 1, 4},                               // none: nothing changes
    };
    for (const Case& c : cases)
    {
        GrayCalibParams params = CGrayCalibDoc::DefaultParams();
        int selected = c.selectedBefore;
        graycalib::PointsFromGrayValues(params, c.values, selected);
        EXPECT_EQ(params.ScaleCount, c.count);
        EXPECT_EQ(selected, c.selectedAfter);
        if (c.values.empty())
        {
            EXPECT_EQ(params, CGrayCalibDoc::DefaultParams());
            continue;
        }
        for (int i = 0; i < GrayCalibParams::kMaxScalePoints; ++i)
        {
            const double g = i < c.count ? c.values[static_cast<std::size_t>(i)] : 0.0;
            EXPECT_EQ(params.ScaleTable[static_cast<std::size_t>(i)], CPointD(g, g)) << i;
        }
    }
}

class GrayCalibViewTest
    : public steppaneltest::StepPanelFixture<CGrayCalibView, UWM_GRAYCALIBVIEW_NOTIFY>
{
protected:
    const GrayCalibParams& Params() { return m_panel->Document().GetParams(); }
    std::vector<std::int16_t> InputThumbs()
    {
        return Control<CMultiSlider>(CGrayCalibView::kIdInputSlider)->Positions;
    }
    CEditEx* Edit(int id) { return Control<CEditEx>(id); }
    const CGrayCalibDoc* PreviewDoc() const
    {
        return dynamic_cast<const CGrayCalibDoc*>(m_project->GetPreviewDoc());
    }
    void SetDetailed()
    {
        Control<QCheckBox>(CGrayCalibView::kIdDetailed)->click();
        ASSERT_EQ(Params().RandamScale, 1);
    }
};

TEST_F(GrayCalibViewTest, TypedLevelsKeepTheirGapAndAreReadAsDecimals)
{
    struct Case
    {
        int edit;
        const char* typed;
        const char* shown;
        int GrayCalibParams::*field;
    };
    const std::vector<Case> cases = {
        {CGrayCalibView::kIdInBlack, "240", "223", &GrayCalibParams::InBlackLevel},
        {CGrayCalibView::kIdInWhite, "20", "32", &GrayCalibParams::InWhiteLevel},
        {CGrayCalibView::kIdOutBlack, "250", "223", &GrayCalibParams::OutBlackLevel},
        {CGrayCalibView::kIdOutWhite, "10", "32", &GrayCalibParams::OutWhiteLevel},
        {CGrayCalibView::kIdInBlack, "0100", "100", &GrayCalibParams::InBlackLevel},
        {CGrayCalibView::kIdInBlack, "010", "10", &GrayCalibParams::InBlackLevel},
        {CGrayCalibView::kIdOutWhite, "0200", "200", &GrayCalibParams::OutWhiteLevel},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.typed);
        m_panel->ResetParameters();
        Type(Edit(c.edit), QString::fromLatin1(c.typed));
        EXPECT_EQ(Edit(c.edit)->text(), QString::fromLatin1(c.shown));
        EXPECT_EQ(Params().*(c.field), Edit(c.edit)->text().toInt());
    }
    // The input slider shows the typed levels.
    m_panel->ResetParameters();
    Type(Edit(CGrayCalibView::kIdInBlack), QStringLiteral("240"));
    EXPECT_EQ(InputThumbs(), (std::vector<std::int16_t>{
                                 223, static_cast<std::int16_t>(graycalib::MidFromGamma(223, 255, 1.0)), 255}));
}

TEST_F(GrayCalibViewTest, GammaTypedOutsideItsRangeIsHeldAndTheMidThumbMovesBack)
{
    // typed -> shown, gamma, mid thumb
    const std::vector<std::tuple<const char*, const char*, double, int>> table = {
        {"0.05", "0.10", 0.1, 18}, {"9", "4.00", 4.0, 240}, {"0", "0.10", 0.1, 18},
        {"1", "1.00", 1.0, 128},   {"2.5", "2.50", 2.5, 255 - 45},
    };
    for (const auto& [typed, shown, gamma, mid] : table)
    {
        SCOPED_TRACE(typed);
        Type(Edit(CGrayCalibView::kIdInGamma), QString::fromLatin1(typed));
        EXPECT_EQ(Edit(CGrayCalibView::kIdInGamma)->text(), QString::fromLatin1(shown));
        EXPECT_DOUBLE_EQ(Params().InGamma, gamma);
        EXPECT_EQ(InputThumbs()[1], mid);
    }
}

TEST_F(GrayCalibViewTest, TheMidThumbDraggedToAnEndHoldsTheGammaWithOneUndoState)
{
    EnterWithImage();
    auto* slider = Control<CMultiSlider>(CGrayCalibView::kIdInputSlider);
    // (path of the drag, gamma, where the thumb goes back to)
    const std::vector<std::tuple<std::vector<int>, double, int>> drags = {
        {{100, 60, 1}, 0.1, 18},
        {{180, 255}, 4.0, 240}, // the white thumb stops it
    };
    for (const auto& [path, gamma, thumb] : drags)
    {
        m_codes.clear();
        const int from = InputThumbs()[1];
        DragSlider(*slider, from, path);
        EXPECT_DOUBLE_EQ(Params().InGamma, gamma);
        EXPECT_EQ(InputThumbs()[1], thumb);
        EXPECT_EQ(UndoStatesSaved(), 1);
        ASSERT_NE(PreviewDoc(), nullptr);
        EXPECT_DOUBLE_EQ(PreviewDoc()->GetParams().InGamma, gamma);
        EXPECT_FALSE(m_panel->IsEditing());
    }
    m_panel->Undo();
    EXPECT_DOUBLE_EQ(Params().InGamma, 0.1);
    EXPECT_EQ(InputThumbs()[1], 18);
}

TEST_F(GrayCalibViewTest, ADragChangesThePreviewUndoRestoresItCancelKeepsAndOkCommits)
{
    EnterWithImage();
    const std::vector<std::uint8_t> before = RenderedPreview();
    auto* output = Control<CMultiSlider>(CGrayCalibView::kIdOutputSlider);
    DragSlider(*output, 255, {230, 200});
    EXPECT_EQ(Params().OutWhiteLevel, 200);
    EXPECT_EQ(Edit(CGrayCalibView::kIdOutWhite)->text(), QStringLiteral("200"));
    EXPECT_EQ(UndoStatesSaved(), 1);
    ASSERT_NE(PreviewDoc(), nullptr);
    EXPECT_EQ(PreviewDoc()->GetParams().OutWhiteLevel, 200);
    const std::vector<std::uint8_t> changed = RenderedPreview();
    EXPECT_NE(changed, before);

    m_panel->Undo();
    EXPECT_EQ(Params().OutWhiteLevel, 255);
    EXPECT_EQ(output->Positions[1], 255);
    EXPECT_EQ(PreviewDoc()->GetParams().OutWhiteLevel, 255);
    EXPECT_EQ(RenderedPreview(), before);
    m_panel->Redo();
    EXPECT_EQ(RenderedPreview(), changed);

    Control<QPushButton>(kIdCancelButton)->click();
    EXPECT_EQ(m_codes.back(), static_cast<int>(PanelNotify::Cancel));
    EXPECT_EQ(m_project->GetGrayCalibDoc().GetParams().OutWhiteLevel, 255);
    EXPECT_EQ(m_project->GetPreviewDoc(), nullptr);

    m_panel->OnEnterStep();
    EXPECT_EQ(Params().OutWhiteLevel, 255); // the project's document again
    DragSlider(*output, 255, {200});
    Control<QPushButton>(kIdOkButton)->click();
    EXPECT_EQ(m_codes.back(), static_cast<int>(PanelNotify::Ok));
    EXPECT_EQ(m_project->GetGrayCalibDoc().GetParams().OutWhiteLevel, 200);
    EXPECT_EQ(m_project->GetPreviewDoc(), nullptr);
}

TEST_F(GrayCalibViewTest, WithPreviewOffTheProjectPreviewsADefaultDocument)
{
    EnterWithImage();
    Type(Edit(CGrayCalibView::kIdInBlack), QStringLiteral("40"));
    ASSERT_EQ(PreviewDoc()->GetParams().InBlackLevel, 40);
    Control<QCheckBox>(kIdPreviewCheck)->click();
    EXPECT_FALSE(m_panel->GetPreview());
    EXPECT_EQ(m_codes.back(), static_cast<int>(PanelNotify::PreviewOff));
    EXPECT_EQ(PreviewDoc()->GetParams(), CGrayCalibDoc::DefaultParams());
    EXPECT_EQ(Params().InBlackLevel, 40);
    // Edits go on into the panel's document only.
    Type(Edit(CGrayCalibView::kIdInBlack), QStringLiteral("50"));
    EXPECT_EQ(Params().InBlackLevel, 50);
    EXPECT_EQ(PreviewDoc()->GetParams(), CGrayCalibDoc::DefaultParams());
}

TEST_F(GrayCalibViewTest, DetailedCorrectionSwitchesTheLevelsForThePoints)
{
    const std::vector<int> levels = {CGrayCalibView::kIdInBlack, CGrayCalibView::kIdInGamma,
                                     CGrayCalibView::kIdInWhite, CGrayCalibView::kIdOutBlack,
                                     CGrayCalibView::kIdOutWhite};
    const std::vector<int> points = {CGrayCalibView::kIdScaleCount, CGrayCalibView::kIdScaleNo,
                                     CGrayCalibView::kIdScaleValue};
    for (bool detailed : {false, true})
    {
        if (detailed)
            SetDetailed();
        for (int id : levels)
            EXPECT_EQ(Edit(id)->isEnabled(), !detailed) << id;
        for (int id : {CGrayCalibView::kIdInputSlider, CGrayCalibView::kIdOutputSlider})
            EXPECT_EQ(Control<CMultiSlider>(id)->isEnabled(), !detailed) << id;
        for (int id : points)
            EXPECT_EQ(Edit(id)->isEnabled(), detailed) << id;
        for (int id : {CGrayCalibView::kIdScaleCountSpin, CGrayCalibView::kIdScaleNoSpin,
                       CGrayCalibView::kIdScaleValueSpin})
            EXPECT_EQ(Control<CUpDown>(id)->isEnabled(), detailed) << id;
        EXPECT_TRUE(Control<QPushButton>(CGrayCalibView::kIdPointsFromChart)->isHidden());
        EXPECT_EQ(Control<CMultiSlider>(CGrayCalibView::kIdInputSlider)->toolTip().isEmpty(), detailed);
    }
}

TEST_F(GrayCalibViewTest, ThePointNumberUpDownComesRoundAtBothEnds)
{
    SetDetailed();
    Type(Edit(CGrayCalibView::kIdScaleCount), QStringLiteral("5"));
    ASSERT_EQ(Params().ScaleCount, 5);
    auto* spin = Control<CUpDown>(CGrayCalibView::kIdScaleNoSpin);
    auto* number = Edit(CGrayCalibView::kIdScaleNo);
    auto* graph = Control<CGrayScaleGraphCtrl>(CGrayCalibView::kIdGraph);
    // (steps, number shown)
    const std::vector<std::pair<int, int>> table = {
        {+1, 2}, {+1, 3}, {+1, 4}, {+1, 5}, {+1, 1}, {-1, 5}, {-1, 4},
    };
    const int undoStates = UndoStatesSaved();
    for (const auto& [step, shown] : table)
    {
        spin->Step(step);
        EXPECT_EQ(number->GetInt(), shown);
        EXPECT_EQ(spin->GetPos(), shown);
        EXPECT_EQ(graph->SelectedPoint, shown - 1);
        spin->EndScroll();
        EXPECT_EQ(m_panel->GetSelectedPoint(), shown);
    }
    // Choosing a point is no edit.
    EXPECT_EQ(UndoStatesSaved(), undoStates);
}

TEST_F(GrayCalibViewTest, ANewCountRespreadsThePointsAndAValueMovesOnlyItsPoint)
{
    SetDetailed();
    Type(Edit(CGrayCalibView::kIdScaleCount), QStringLiteral("4"));
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_DOUBLE_EQ(Params().ScaleTable[static_cast<std::size_t>(i)].x, (i + 1) / 5.0) << i;
        EXPECT_DOUBLE_EQ(Params().ScaleTable[static_cast<std::size_t>(i)].y, (i + 1) / 5.0) << i;
    }
    Type(Edit(CGrayCalibView::kIdScaleNo), QStringLiteral("2"));
    Type(Edit(CGrayCalibView::kIdScaleValue), QStringLiteral("200"));
    for (int i = 0; i < 4; ++i)
    {
        const double y = i == 1 ? 200.0 / 255.0 : (i + 1) / 5.0;
        EXPECT_DOUBLE_EQ(Params().ScaleTable[static_cast<std::size_t>(i)].x, (i + 1) / 5.0) << i;
        EXPECT_DOUBLE_EQ(Params().ScaleTable[static_cast<std::size_t>(i)].y, y) << i;
    }
    // The value up-down: one undo state for the scroll, the point follows.
    m_codes.clear();
    auto* spin = Control<CUpDown>(CGrayCalibView::kIdScaleValueSpin);
    spin->Step(+1);
    spin->Step(+1);
    spin->EndScroll();
    EXPECT_EQ(Params().ScaleTable[1].y, 202.0 / 255.0);
    EXPECT_EQ(UndoStatesSaved(), 1);
    m_panel->Undo();
    EXPECT_EQ(Params().ScaleTable[1].y, 200.0 / 255.0);
}

TEST_F(GrayCalibViewTest, DraggingAPointOnTheGraphSelectsItAndSetsItsValue)
{
    EnterWithImage();
    SetDetailed();
    Type(Edit(CGrayCalibView::kIdScaleCount), QStringLiteral("3"));
    m_codes.clear();
    auto* graph = Control<CGrayScaleGraphCtrl>(CGrayCalibView::kIdGraph);
    ASSERT_EQ(graph->PointX.size(), 3u);
    // The third point, drawn at (x + 1, H - 2 - curve(x)).
    const int column = graph->PointX[2];
    const QPoint at(column + 1, graph->height() - 2 - graph->Curve[static_cast<std::size_t>(column)]);
    QTest::mousePress(graph, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseMove(graph, at - QPoint(0, 20));
    QTest::mouseMove(graph, at - QPoint(0, 40));
    const double level = graph->Level;
    QTest::mouseRelease(graph, Qt::LeftButton, Qt::NoModifier, at - QPoint(0, 40));
    EXPECT_EQ(m_panel->GetSelectedPoint(), 3);
    EXPECT_EQ(Edit(CGrayCalibView::kIdScaleNo)->GetInt(), 3);
    EXPECT_EQ(Edit(CGrayCalibView::kIdScaleValue)->GetInt(), graycalib::PointValue(level));
    EXPECT_EQ(Params().ScaleTable[2].y, graycalib::PointValue(level) / 255.0);
    EXPECT_GT(Params().ScaleTable[2].y, 0.75);
    EXPECT_EQ(UndoStatesSaved(), 1);
    EXPECT_EQ(PreviewDoc()->GetParams().ScaleTable[2].y, Params().ScaleTable[2].y);
}

TEST_F(GrayCalibViewTest, APickedLightnessMarksTheGraph)
{
    auto* graph = Control<CGrayScaleGraphCtrl>(CGrayCalibView::kIdGraph);
    const std::vector<std::pair<double, int>> table = {{50.0, 127}, {100.0, 255}, {120.0, 255}, {0.0, 0}};
    for (const auto& [lightness, bin] : table)
    {
        m_panel->SetSampleLab(CCIELab(lightness, 10.0, -5.0));
        EXPECT_EQ(graph->LevelMarker, bin) << lightness;
    }
}

TEST_F(GrayCalibViewTest, EnteringTakesTheProjectsDocumentAndTheImagesHistogram)
{
    GrayCalibParams params = CGrayCalibDoc::DefaultParams();
    params.InBlackLevel = 20;
    params.OutWhiteLevel = 230;
    m_project->GetGrayCalibDoc().GetParams() = params;
    EnterWithImage();
    EXPECT_EQ(Edit(CGrayCalibView::kIdInBlack)->text(), QStringLiteral("20"));
    EXPECT_EQ(Edit(CGrayCalibView::kIdOutWhite)->text(), QStringLiteral("230"));
    EXPECT_EQ(Control<CMultiSlider>(CGrayCalibView::kIdOutputSlider)->Positions[1], 230);
    ASSERT_NE(PreviewDoc(), nullptr);
    EXPECT_EQ(PreviewDoc()->GetParams(), params);
    // The gradient's tone histogram stands behind the curve.
    const QImage& background = Control<CGrayScaleGraphCtrl>(CGrayCalibView::kIdGraph)->background();
    ASSERT_FALSE(background.isNull());
    bool anyBar = false;
    for (int x = 0; x < background.width(); ++x)
        anyBar = anyBar || background.pixel(x, background.height() - 1) == qRgb(255, 255, 255);
    EXPECT_TRUE(anyBar);
}

} // namespace
