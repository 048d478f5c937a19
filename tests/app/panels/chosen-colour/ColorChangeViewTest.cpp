// The chosen-colour panel: its rules apart from Qt (bins, hue wrapping,
// the edits' corrections, widening and narrowing by a sample, the range
// round a dropped colour, the variation sliders' positions), and the panel
// on the real project with a generated image: drops on the rows, typed
// values, bar drags and up-down scrolls with one undo state each, samples
// with Ctrl and Alt, the two dialogs, and the preview, undo, Cancel and OK.

#include "app/panels/chosen-colour/ColorChangeView.h"
#include "app/panels/StepPanelLogic.h"
#include "app/panels/chosen-colour/ColorChangeViewLogic.h"
#include "controls/dialogs/ColorSearchDlg.h"
#include "controls/dialogs/HendouCustomDlg.h"
#include "controls/widgets/ColorChangeList.h"
#include "controls/widgets/ColorPatchCtrl.h"
#include "controls/widgets/EditEx.h"
#include "controls/widgets/HistogramGraphCtrl.h"
#include "controls/widgets/UpDown.h"
#include "core/ImageEx.h"
#include "correction/ColorChangeDoc.h"
#include "tests/controls/NotifySpy.h"
#include "tests/correction/ProjectTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace {

using namespace colorchangeview;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// One bound of one axis of an element.
double BoundValue(const CLChRange& entry, Axis axis, Bound bound)
{
    const CCIELCh& colour = bound == Bound::Minimum  ? entry.LChBeforMin
                            : bound == Bound::Centre ? entry.LChBeforCenter
                                                     : entry.LChBeforMax;
    return colour[AxisComponent(axis)];
}

// ---- Rules apart from Qt

TEST(ColorChangeViewLogic, ValuesToBinsStayOnTheBars)
{
    struct Case
    {
        double value;
        double scale;
        int bin;
    };
    const Case cases[] = {
        {0.0, kLightnessScale, 0},   {100.0, kLightnessScale, 255}, {50.0, kLightnessScale, 127},
        {39.2, kLightnessScale, 99}, {150.0, kChromaScale, 255},     {200.0, kChromaScale, 255},
        {1e300, kChromaScale, 255},  {-5.0, kLightnessScale, 0},     {359.9, kHueScale, 254},
        {360.0, kHueScale, 255},     {kNaN, kHueScale, 0},           {10.0, 0.0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ValueToBin(c.value, c.scale), c.bin) << c.value << " / " << c.scale;
    EXPECT_DOUBLE_EQ(BinToValue(255, kHueScale), 360.0);
    EXPECT_DOUBLE_EQ(BinToValue(51, kLightnessScale), 20.0);
}

TEST(ColorChangeViewLogic, HueWrapsIntoOneTurn)
{
    const std::pair<double, double> cases[] = {
        {370.0, 10.0}, {-10.0, 350.0}, {360.0, 0.0}, {720.5, 0.5}, {-360.0, 0.0},
        {0.0, 0.0},    {359.9, 359.9}, {-1e-18, 0.0}, {kInf, 0.0},
    };
    for (const auto& [h, wrapped] : cases)
        EXPECT_NEAR(WrapHue(h), wrapped, 1e-9) << h;
    EXPECT_EQ(WrapHueTenths(3600), 0);
    EXPECT_EQ(WrapHueTenths(3601), 0);
    EXPECT_EQ(WrapHueTenths(-1), 3599);
    EXPECT_EQ(WrapHueTenths(1800), 1800);
}

TEST(ColorChangeViewLogic, CentreOutsideTheRangeWithHueThroughZero)
{
    struct Case
    {
        Axis axis;
        AxisRange range;
        bool outside;
    };
    const Case cases[] = {
        {Axis::Hue, {30, 45, 60}, false},      {Axis::Hue, {30, 20, 60}, true},
        {Axis::Hue, {30, 61, 60}, true},       {Axis::Hue, {350, 10, 20}, false},
        {Axis::Hue, {350, 355, 20}, false},    {Axis::Hue, {350, 100, 20}, true},
        {Axis::Lightness, {45, 60, 55}, true}, {Axis::Lightness, {45, 45, 55}, false},
        // Lightness and chroma never run through 0.
        {Axis::Chroma, {50, 10, 20}, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CentreOutside(c.axis, c.range), c.outside)
            << c.range.min << " " << c.range.centre << " " << c.range.max;
}

TEST(ColorChangeViewLogic, TypedBoundsAreCorrectedAgainstTheStoredRange)
{
    struct Case
    {
        Axis axis;
        Bound bound;
        double typed;
        AxisRange stored;
        double result;
    };
    const Case cases[] = {
        // Lightness and chroma: a bound never passes the centre, the centre
        // never leaves the range.
        {Axis::Lightness, Bound::Minimum, 60, {45, 50, 55}, 50},
        {Axis::Lightness, Bound::Minimum, 40, {45, 50, 55}, 40},
        {Axis::Lightness, Bound::Maximum, 40, {45, 50, 55}, 50},
        {Axis::Lightness, Bound::Centre, 40, {45, 50, 55}, 45},
        {Axis::Chroma, Bound::Centre, 60, {45, 50, 55}, 55},
        {Axis::Chroma, Bound::Centre, 52, {45, 50, 55}, 52},
        // Hue: wrapped, and the order min -> centre -> max kept going up
        // the circle; a value that breaks it keeps the stored one.
        {Axis::Hue, Bound::Minimum, 182, {175, 180, 185}, 175},
        {Axis::Hue, Bound::Minimum, 190, {175, 180, 185}, 190},
        {Axis::Hue, Bound::Maximum, 178, {175, 180, 185}, 185},
        {Axis::Hue, Bound::Centre, 190, {175, 180, 185}, 180},
        {Axis::Hue, Bound::Centre, 176, {175, 180, 185}, 176},
        {Axis::Hue, Bound::Minimum, 535, {175, 180, 185}, 175},
        {Axis::Hue, Bound::Centre, 355, {350, 5, 20}, 355},
        {Axis::Hue, Bound::Centre, 30, {350, 5, 20}, 5},
        {Axis::Hue, Bound::Minimum, 10, {350, 5, 20}, 350},
        {Axis::Hue, Bound::Minimum, 0, {350, 5, 20}, 0},
        {Axis::Hue, Bound::Maximum, 359, {350, 5, 20}, 20},
        {Axis::Hue, Bound::Maximum, -340, {350, 5, 20}, 20},
        {Axis::Hue, Bound::Maximum, 400, {350, 5, 20}, 40},
        {Axis::Hue, Bound::Minimum, 710, {340, 5, 20}, 350},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(CorrectBound(c.axis, c.bound, c.typed, c.stored), c.result, 1e-9)
            << static_cast<int>(c.axis) << "/" << static_cast<int>(c.bound) << " typed " << c.typed;
}

TEST(ColorChangeViewLogic, CtrlSampleWidensTheRangeToTakeItIn)
{
    struct Case
    {
        Axis axis;
        AxisRange range;
        double value;
        std::optional<AxisRange> widened;
    };
    const Case cases[] = {
        // Inside (through 0 as well): nothing.
        {Axis::Hue, {350, 0, 20}, 10, std::nullopt},
        {Axis::Hue, {30, 45, 60}, 45, std::nullopt},
        // Below a plain range: the shorter way decides.
        {Axis::Hue, {30, 45, 60}, 10, AxisRange{10, 45, 60}},
        {Axis::Hue, {100, 150, 200}, 10, AxisRange{10, 150, 200}},
        {Axis::Hue, {100, 150, 300}, 10, AxisRange{100, 150, 10}},
        // Above it.
        {Axis::Hue, {30, 45, 60}, 350, AxisRange{350, 45, 60}},
        {Axis::Hue, {30, 45, 60}, 100, AxisRange{30, 45, 100}},
        // In the gap of a range through 0: the nearer end, the maximum on
        // a tie.
        {Axis::Hue, {300, 350, 20}, 100, AxisRange{300, 350, 100}},
        {Axis::Hue, {300, 350, 20}, 250, AxisRange{250, 350, 20}},
        {Axis::Hue, {300, 350, 100}, 200, AxisRange{300, 350, 200}},
        // Lightness and chroma by 3 beyond the value, within their scales.
        {Axis::Lightness, {40, 50, 60}, 30, AxisRange{27, 50, 60}},
        {Axis::Lightness, {40, 50, 60}, 1, AxisRange{0, 50, 60}},
        {Axis::Lightness, {40, 50, 60}, 70, AxisRange{40, 50, 73}},
        {Axis::Lightness, {40, 50, 60}, 99, AxisRange{40, 50, 100}},
        {Axis::Lightness, {40, 50, 60}, 50, std::nullopt},
        {Axis::Chroma, {40, 50, 60}, 149, AxisRange{40, 50, 150}},
        {Axis::Chroma, {40, 50, 60}, 200, AxisRange{40, 50, 150}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WidenBySample(c.axis, c.range, c.value), c.widened)
            << static_cast<int>(c.axis) << " " << c.range.min << ".." << c.range.max << " by " << c.value;
}

TEST(ColorChangeViewLogic, AltSampleNarrowsTheHueOnTheSideOfTheCentre)
{
    struct Case
    {
        AxisRange range;
        double h;
        std::optional<AxisRange> narrowed;
    };
    const Case cases[] = {
        {{30, 45, 60}, 55, AxisRange{30, 45, 55}},
        {{30, 45, 60}, 35, AxisRange{35, 45, 60}},
        // Within a degree of the centre, or outside the range: nothing.
        {{30, 45, 60}, 45.5, std::nullopt},
        {{30, 45, 60}, 44.5, std::nullopt},
        {{30, 45, 60}, 70, std::nullopt},
        {{350, 10, 40}, 355, AxisRange{355, 10, 40}},
        {{350, 10, 40}, 30, AxisRange{350, 10, 30}},
        {{350, 10, 40}, 5, AxisRange{5, 10, 40}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NarrowHueBySample(c.range, c.h), c.narrowed) << c.h;
}

TEST(ColorChangeViewLogic, SampleMarkersHoldChromaToTheBar)
{
    using Markers = std::array<int, 3>;
    EXPECT_EQ(SampleMarkers(CCIELCh(50.0, 200.0, 180.0)), (Markers{127, 127, 255}));
    EXPECT_EQ(SampleMarkers(CCIELCh(100.0, 75.0, 359.0)), (Markers{254, 255, 127}));
    EXPECT_EQ(SampleMarkers(CCIELCh(0.0, 0.0, 0.0)), (Markers{0, 0, 0}));
}

TEST(ColorChangeViewLogic, RangeRoundADroppedValueFromItsHistogram)
{
    // A hill over bins 90..150 of the lightness histogram.
    std::vector<std::uint32_t> hill(kBinCount, 0u);
    for (int b = 90; b <= 150; ++b)
        hill[static_cast<std::size_t>(b)] = static_cast<std::uint32_t>(1000 - 30 * std::abs(b - 120));
    const FoundRange inHill = RangeAroundValue(Axis::Lightness, hill, 47.0);
    EXPECT_LE(inHill.min, 47.0);
    EXPECT_GE(inHill.max, 47.0);
    EXPECT_GE(inHill.min, BinToValue(80, kLightnessScale));
    EXPECT_LE(inHill.max, BinToValue(160, kLightnessScale));
    EXPECT_DOUBLE_EQ(inHill.min, TruncateToTenth(inHill.min));
    EXPECT_DOUBLE_EQ(inHill.max, TruncateToTenth(inHill.max));

    // Off every hill: five either way, held to the axis and truncated to
    // a tenth. A chroma above 150 reads bin 255 and stays at 150.
    const std::vector<std::uint32_t> none(kBinCount, 0u);
    struct Case
    {
        Axis axis;
        double value;
        FoundRange range;
    };
    const Case cases[] = {
        {Axis::Lightness, 2.0, {0.0, 7.0}},      {Axis::Lightness, 50.37, {45.3, 55.3}},
        {Axis::Lightness, 98.0, {93.0, 100.0}},  {Axis::Hue, 357.0, {352.0, 359.0}},
        {Axis::Hue, 3.0, {0.0, 8.0}},            {Axis::Chroma, 148.0, {143.0, 150.0}},
        {Axis::Chroma, 200.0, {150.0, 150.0}},   {Axis::Lightness, 10.0, {5.0, 15.0}},
    };
    for (const Case& c : cases)
    {
        const FoundRange found = RangeAroundValue(c.axis, none, c.value);
        EXPECT_NEAR(found.min, c.range.min, 1e-9) << c.value;
        EXPECT_NEAR(found.max, c.range.max, 1e-9) << c.value;
    }
    // The hill is not found from a value beyond it.
    EXPECT_EQ(RangeAroundValue(Axis::Lightness, hill, 90.0), (FoundRange{85.0, 95.0}));
}

TEST(ColorChangeViewLogic, ChromaFilterBinsOfTheLightnessAndHueRange)
{
    EXPECT_EQ(ChromaFilter(0, 100, 0, 360), (ChromaFilterBins{0, 255, 0, 255}));
    EXPECT_EQ(ChromaFilter(45, 55, 350, 10), (ChromaFilterBins{114, 140, 247, 7}));
}

TEST(ColorChangeViewLogic, VariationSliderPositionsStayOnTheirSliders)
{
    const std::pair<double, int> strength[] = {
        {0.0, 20},  {1.0, 40},  {-1.0, 0},  {0.33, 26},
        {-0.33, 14}, {5.0, 40}, {-5.0, 0},  {kInf, 40},
        {-kInf, 0}, {std::numeric_limits<double>::lowest(), 0}, {kNaN, 20},
    };
    for (const auto& [k, position] : strength)
        EXPECT_EQ(StrengthPosition(k), position) << k;
    const std::pair<double, int> range[] = {
        {20.0, 20}, {41.0, 41}, {40.9, 40}, {0.9, 0}, {-3.0, 0},
        {std::numeric_limits<double>::max(), 41}, {kInf, 41}, {kNaN, 0},
    };
    for (const auto& [deltaE, position] : range)
        EXPECT_EQ(RangePosition(deltaE), position) << deltaE;
}

// ---- The panel on the project

class ColorChangeViewTest : public projecttest::ProjectFixture
{
protected:
    static constexpr int kWidth = 96;
    static constexpr int kHeight = 64;

    ColorChangeViewTest()
    {
        m_path = AddTiff("colours.tif", kWidth, kHeight);
        Load(m_path);
        m_host.resize(400, 900);
        m_panel = new CColorChangeView(&m_host);
        m_panel->resize(400, 900);
        m_panel->SetProject(m_project.get());
        m_panel->SetNotifyMessage(UWM_COLORCHANGEVIEW_NOTIFY);
        m_host.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&m_host));
        m_panel->OnEnterStep();
    }

    ~ColorChangeViewTest() override
    {
        m_panel->SetProject(nullptr);
        m_project->DeletePreviewDoc();
    }

    CColorChangeSubElement* Row(int i) const { return m_panel->SubList()->Rows[static_cast<std::size_t>(i)]; }

    static QPoint CentreOnScreen(QWidget* widget) { return widget->mapToGlobal(widget->rect().center()); }

    // A picked colour dropped on a row's source or target patch.
    void DropOnSource(int row, const CCIELab& lab, const CRect& rect = CRect(10, 10, 15, 15))
    {
        m_panel->SubList()->ensureWidgetVisible(Row(row));
        m_panel->SetDragAndDropLab(rect, lab, CentreOnScreen(Row(row)->SourcePatch));
    }
    void DropOnTarget(int row, const CCIELab& lab)
    {
        m_panel->SubList()->ensureWidgetVisible(Row(row));
        m_panel->SetDragAndDropLab(CRect(1, 1, 2, 2), lab, CentreOnScreen(Row(row)->TargetPatch));
    }

    // The colour of the image under a pick at (x, y).
    CCIELab PickedLab(int x, int y)
    {
        CCIELab lab;
        EXPECT_TRUE(m_project->PickAverageLab(CRect(x, y, x + 1, y + 1), lab, 1));
        return lab;
    }

    // The whole image rendered through the project's preview document.
    std::vector<std::uint8_t> RenderedPreview()
    {
        const CRect whole(0, 0, kWidth, kHeight);
        int created = 0;
        EXPECT_TRUE(m_project->MakeAfterPreview(whole, &created));
        EXPECT_TRUE(m_project->RenderAfterPreview(whole, 1));
        const CImageEx* preview = m_project->GetAfterPreview();
        const std::uint8_t* bits = preview->GetBits();
        return {bits, bits + static_cast<std::ptrdiff_t>(preview->GetPitch()) * preview->GetHeight()};
    }

    // The panel's notifications to the frame with the "changed" code: one
    // per undo state saved.
    int ChangedCount(const QSignalSpy& spy) const
    {
        int count = 0;
        for (const Notification& n : Notifications(spy))
            if (std::get<1>(n) == static_cast<int>(PanelNotify::Changed))
                ++count;
        return count;
    }

    const CLChRange& Entry(int i) const { return m_panel->Document().GetEntry(i); }

    // Element 0 made from a colour of the image, with a hue range set
    // directly (min, centre, max).
    void MakeElementWithHue(double min, double centre, double max)
    {
        DropOnSource(0, PickedLab(20, 20));
        CLChRange& entry = m_panel->Document().GetParams().entries[0];
        entry.LChBeforMin[2] = min;
        entry.LChBeforCenter[2] = centre;
        entry.LChBeforMax[2] = max;
        m_panel->UpdateControls(false);
    }

    // Runs a modal dialog that the panel opens, doing steps on it once it
    // is shown, then pressing the button of the given id.
    template <class Dialog, class Steps>
    void WhenDialogOpens(Steps steps, const char* closeWith)
    {
        QTimer::singleShot(0, [steps, closeWith] {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            steps(*dialog);
            auto* button = dialog->template findChild<QPushButton*>(QString::fromLatin1(closeWith));
            ASSERT_NE(button, nullptr);
            button->click();
        });
    }

    std::string m_path;
    QWidget m_host;
    CColorChangeView* m_panel = nullptr;
};

TEST_F(ColorChangeViewTest, DropOnTheSourceBuildsTheRangeAndOnTheTargetOnlyTheTarget)
{
    const CCIELab lab = PickedLab(20, 20);
    const CCIELCh lch = CColorChangeDoc::LabToLCh(lab);
    DropOnSource(2, lab, CRect(18, 18, 23, 23));

    EXPECT_EQ(m_panel->GetActiveElement(), 2);
    EXPECT_TRUE(m_panel->CanUndo());
    const CLChRange& entry = Entry(2);
    EXPECT_EQ(entry.RectImage, CRect(0, 0, kWidth, kHeight));
    EXPECT_EQ(entry.RectData, CRect(18, 18, 23, 23));
    for (int c = 0; c < 3; ++c)
    {
        EXPECT_DOUBLE_EQ(entry.LChBeforCenter[c], lch[c]);
        EXPECT_DOUBLE_EQ(entry.LChSetting[c], lch[c]);
        EXPECT_DOUBLE_EQ(entry.LChAfter[c], lch[c]);
        EXPECT_DOUBLE_EQ(entry.LChBeforMin[c], TruncateToTenth(entry.LChBeforMin[c]));
        EXPECT_DOUBLE_EQ(entry.LChBeforMax[c], TruncateToTenth(entry.LChBeforMax[c]));
    }
    EXPECT_LE(entry.LChBeforMin[0], lch[0]);
    EXPECT_GE(entry.LChBeforMax[0], lch[0]);
    EXPECT_TRUE(HueInRange(lch[2], entry.LChBeforMin[2], entry.LChBeforMax[2]));
    // The row is in use, its edits and bars show the range.
    EXPECT_TRUE(Row(2)->isEnabled());
    EXPECT_TRUE(Row(2)->Active);
    EXPECT_EQ(m_panel->Edit(Axis::Lightness, Bound::Centre)->text(),
              QString::fromStdString(FormatReal(lch[0], 1)));
    EXPECT_EQ(m_panel->Bar(Axis::Lightness)->GreenMarker, ValueToBin(lch[0], kLightnessScale));

    // A second colour on the target patch changes the target alone.
    const CLChRange before = Entry(2);
    const CCIELab other(70.0, -20.0, 30.0);
    DropOnTarget(2, other);
    CLChRange expected = before;
    expected.LChAfter = CColorChangeDoc::LabToLCh(other);
    EXPECT_EQ(Entry(2), expected);
}

TEST_F(ColorChangeViewTest, ADroppedChromaAbove150StaysInTheLastBin)
{
    const CCIELab vivid(50.0, 200.0, 0.0); // C 200, h 0
    DropOnSource(1, vivid);
    ASSERT_EQ(m_panel->GetActiveElement(), 1);
    const CLChRange& entry = Entry(1);
    EXPECT_NEAR(entry.LChBeforCenter[1], 200.0, 1e-9);
    EXPECT_LE(entry.LChBeforMin[1], 150.0);
    EXPECT_LE(entry.LChBeforMax[1], 150.0);
    const CHistogramGraphCtrl* chroma = m_panel->Bar(Axis::Chroma);
    EXPECT_EQ(chroma->GreenMarker, 255);
    EXPECT_GE(chroma->RangeStart, 0);
    EXPECT_LE(chroma->RangeEnd, 255);

    // With the chroma histogram restricted to the found ranges as well.
    m_panel->Document().GetParams().entries[1] = CLChRange();
    m_panel->UpdateControls(false);
    m_panel->findChild<QCheckBox*>("1125")->click();
    ASSERT_TRUE(m_panel->GetOnlyInRange());
    DropOnSource(1, vivid);
    EXPECT_EQ(m_panel->Bar(Axis::Chroma)->GreenMarker, 255);
    EXPECT_LE(Entry(1).LChBeforMax[1], 150.0);
}

TEST_F(ColorChangeViewTest, ADropBesideThePatchesChangesNothing)
{
    const ColorChangeParams before = m_panel->Document().GetParams();
    const QPoint beside = CentreOnScreen(m_panel->findChild<QPushButton*>("1038"));
    m_panel->SetDragAndDropLab(CRect(1, 1, 2, 2), CCIELab(50, 10, 10), beside);
    m_panel->SetDragAndDropLab(CRect(1, 1, 2, 2), CCIELab(50, 10, 10), CentreOnScreen(Row(0)->Number));
    EXPECT_EQ(m_panel->Document().GetParams(), before);
    EXPECT_FALSE(m_panel->CanUndo());
    EXPECT_EQ(m_panel->GetActiveElement(), -1);
}

TEST_F(ColorChangeViewTest, AChangeShowsOnThePreviewUndoTakesItBackCancelKeepsTheProjectsDocument)
{
    const CColorChangeDoc original = m_project->GetColorChangeDoc();
    const std::vector<std::uint8_t> plain = RenderedPreview();

    DropOnSource(0, PickedLab(32, 24));
    const std::vector<std::uint8_t> picked = RenderedPreview();

    DropOnTarget(0, CCIELab(60.0, 60.0, -40.0));
    ASSERT_NE(m_project->GetPreviewDoc(), nullptr);
    EXPECT_TRUE(m_project->GetPreviewDoc()->IsEqual(m_panel->Document()));
    const std::vector<std::uint8_t> changed = RenderedPreview();
    EXPECT_NE(changed, plain);

    m_panel->Undo();
    EXPECT_TRUE(m_project->GetPreviewDoc()->IsEqual(m_panel->Document()));
    EXPECT_EQ(RenderedPreview(), picked);
    m_panel->Redo();
    EXPECT_EQ(RenderedPreview(), changed);

    // Preview off: a default document; on again: the panel's.
    QTest::mouseClick(m_panel->findChild<QCheckBox*>("1040"), Qt::LeftButton);
    EXPECT_EQ(RenderedPreview(), plain);
    QTest::mouseClick(m_panel->findChild<QCheckBox*>("1040"), Qt::LeftButton);
    EXPECT_EQ(RenderedPreview(), changed);

    m_panel->OnLeaveStep(false);
    EXPECT_EQ(m_project->GetPreviewDoc(), nullptr);
    EXPECT_TRUE(m_project->GetColorChangeDoc().IsEqual(original));
    EXPECT_EQ(m_project->GetColorChangeDoc().GetParams(), original.GetParams());
}

TEST_F(ColorChangeViewTest, OkCommitsThePanelsDocumentAndEnteringAgainTakesItBack)
{
    DropOnSource(0, PickedLab(32, 24));
    DropOnTarget(0, CCIELab(60.0, 60.0, -40.0));
    m_panel->OnLeaveStep(true);
    EXPECT_TRUE(m_project->GetColorChangeDoc().IsEqual(m_panel->Document()));
    EXPECT_EQ(m_project->GetColorChangeDoc().GetActiveElement(), -1);

    // The same document on entering keeps the active element; another one
    // drops it.
    m_panel->OnEnterStep();
    EXPECT_EQ(m_panel->GetActiveElement(), 0);
    m_panel->OnLeaveStep(false);
    m_project->GetColorChangeDoc().Reset();
    m_panel->OnEnterStep();
    EXPECT_EQ(m_panel->GetActiveElement(), -1);
    EXPECT_FALSE(Row(0)->isEnabled());
}

TEST_F(ColorChangeViewTest, TypedBoundsAreDecimalAndCorrected)
{
    DropOnSource(0, CCIELab(50.0, 20.0, 20.0));
    const double centre = Entry(0).LChBeforCenter[0];
    ASSERT_NEAR(centre, 50.0, 1e-9);
    QSignalSpy spy(m_panel->Notifier(), &CViewNotifier::notify);

    struct Case
    {
        Axis axis;
        Bound bound;
        const char* typed;
        double stored;
    };
    const Case cases[] = {
        // "060" is sixty, not an octal 48.
        {Axis::Lightness, Bound::Maximum, "060", 60.0},
        // A minimum above the centre becomes the centre.
        {Axis::Lightness, Bound::Minimum, "99", 50.0},
        {Axis::Chroma, Bound::Maximum, "0100", 100.0},
    };
    int changes = 0;
    for (const Case& c : cases)
    {
        CEditEx* edit = m_panel->Edit(c.axis, c.bound);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, QString::fromLatin1(c.typed));
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_NEAR(BoundValue(Entry(0), c.axis, c.bound), c.stored, 1e-9) << c.typed;
        EXPECT_EQ(edit->text(), QString::fromStdString(FormatReal(c.stored, 1)));
        EXPECT_EQ(ChangedCount(spy), ++changes) << "one undo state per typed value";
    }
    // The same text committed again (the focus leaving) is no change.
    m_panel->Edit(Axis::Chroma, Bound::Maximum)->ValidateAndNotify();
    EXPECT_EQ(ChangedCount(spy), changes);
    // A new centre forgets the pick rectangle.
    CEditEx* centreEdit = m_panel->Edit(Axis::Lightness, Bound::Centre);
    centreEdit->setFocus();
    centreEdit->selectAll();
    QTest::keyClicks(centreEdit, "55");
    QTest::keyClick(centreEdit, Qt::Key_Return);
    EXPECT_NEAR(Entry(0).LChBeforCenter[0], 55.0, 1e-9);
    EXPECT_TRUE(Entry(0).RectData.IsRectEmpty());
    EXPECT_FALSE(Entry(0).RectImage.IsRectEmpty());
}

TEST_F(ColorChangeViewTest, ABarDragSavesOneUndoStateAndARangeWithoutItsCentreIsTakenBack)
{
    DropOnSource(0, CCIELab(50.0, 20.0, 20.0));
    const ColorChangeParams before = m_panel->Document().GetParams();
    CHistogramGraphCtrl* bar = m_panel->Bar(Axis::Lightness);
    QSignalSpy spy(m_panel->Notifier(), &CViewNotifier::notify);
    const auto report = [bar](int start, int end, int code) {
        bar->RangeStart = static_cast<std::int16_t>(start);
        bar->RangeEnd = static_cast<std::int16_t>(end);
        emit bar->notify(UWM_COLORCHANGE_LIGHTNESS_SLIDER, code, 0);
    };

    // The press leaves the selection empty: set back from the edits.
    report(40, 40, 1);
    EXPECT_EQ(bar->RangeStart, ValueToBin(Entry(0).LChBeforMin[0], kLightnessScale));
    EXPECT_EQ(bar->RangeEnd, ValueToBin(Entry(0).LChBeforMax[0], kLightnessScale));
    EXPECT_EQ(m_panel->Document().GetParams(), before);
    report(51, 153, 1);
    report(51, 204, 1);
    report(51, 204, 2);
    EXPECT_EQ(ChangedCount(spy), 1);
    EXPECT_NEAR(Entry(0).LChBeforMin[0], 20.0, 1e-9);
    EXPECT_NEAR(Entry(0).LChBeforMax[0], 80.0, 1e-9);
    EXPECT_TRUE(m_project->GetPreviewDoc()->IsEqual(m_panel->Document()));
    m_panel->Undo();
    EXPECT_EQ(m_panel->Document().GetParams(), before);
    m_panel->Redo();

    // A drag that leaves the centre (50) outside is taken back on release.
    const ColorChangeParams widened = m_panel->Document().GetParams();
    report(153, 160, 1);
    report(153, 204, 1);
    EXPECT_NEAR(Entry(0).LChBeforMin[0], 60.0, 1e-9);
    report(153, 204, 2);
    EXPECT_EQ(m_panel->Document().GetParams(), widened);
    EXPECT_EQ(bar->RangeStart, 51);
}

TEST_F(ColorChangeViewTest, AnUpDownScrollSavesOneUndoStateAndPreviewsWhenItEnds)
{
    DropOnSource(0, CCIELab(50.0, 20.0, 20.0));
    CUpDown* upDown = m_panel->UpDown(Axis::Lightness, Bound::Maximum);
    const double max = Entry(0).LChBeforMax[0];
    QSignalSpy spy(m_panel->Notifier(), &CViewNotifier::notify);
    upDown->Step(+1);
    upDown->Step(+1);
    upDown->Step(+1);
    EXPECT_EQ(ChangedCount(spy), 1);
    EXPECT_NEAR(Entry(0).LChBeforMax[0], (ValueToTenths(max) + 3) / 10.0, 1e-9);
    EXPECT_FALSE(m_project->GetPreviewDoc()->IsEqual(m_panel->Document()));
    upDown->EndScroll();
    EXPECT_TRUE(m_project->GetPreviewDoc()->IsEqual(m_panel->Document()));
    // Below the centre the maximum stops at the centre.
    CUpDown* down = m_panel->UpDown(Axis::Lightness, Bound::Maximum);
    down->SetPos(ValueToTenths(Entry(0).LChBeforCenter[0]));
    down->Step(-1);
    down->EndScroll();
    EXPECT_NEAR(Entry(0).LChBeforMax[0], Entry(0).LChBeforCenter[0], 1e-9);
}

TEST_F(ColorChangeViewTest, SamplesMoveTheMarkersAndWithCtrlOrAltChangeTheHueRange)
{
    MakeElementWithHue(30.0, 45.0, 60.0);
    const ColorChangeParams before = m_panel->Document().GetParams();
    const double l = Entry(0).LChBeforCenter[0];
    const double c = Entry(0).LChBeforCenter[1];
    const auto at = [l, c](double h) { return CColorChangeDoc::LChToLab(CCIELCh(l, c, h)); };
    QSignalSpy spy(m_panel->Notifier(), &CViewNotifier::notify);

    // A plain click, or Ctrl and Alt together: only the markers.
    m_panel->ApplyColorSample(at(10.0), Qt::NoModifier);
    m_panel->ApplyColorSample(at(10.0), Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(m_panel->Document().GetParams(), before);
    EXPECT_EQ(m_panel->Bar(Axis::Hue)->RedMarker, ValueToBin(10.0, kHueScale));
    EXPECT_EQ(ChangedCount(spy), 0);

    // Ctrl with hue 10 below 30..60: the minimum comes down to it.
    m_panel->ApplyColorSample(at(10.0), Qt::ControlModifier);
    EXPECT_NEAR(Entry(0).LChBeforMin[2], 10.0, 1e-6);
    EXPECT_NEAR(Entry(0).LChBeforMax[2], 60.0, 1e-9);
    EXPECT_EQ(ChangedCount(spy), 1);
    m_panel->Undo();
    EXPECT_EQ(m_panel->Document().GetParams(), before);

    // Alt with hue 55 on the maximum's side: the maximum comes down to it.
    m_panel->ApplyColorSample(at(55.0), Qt::AltModifier);
    EXPECT_NEAR(Entry(0).LChBeforMax[2], 55.0, 1e-6);
    EXPECT_NEAR(Entry(0).LChBeforMin[2], 30.0, 1e-9);

    // Without an active element neither changes anything.
    QTest::mouseClick(m_panel->findChild<QPushButton*>("1038"), Qt::LeftButton);
    ASSERT_EQ(m_panel->GetActiveElement(), -1);
    const ColorChangeParams deleted = m_panel->Document().GetParams();
    m_panel->ApplyColorSample(at(200.0), Qt::ControlModifier);
    EXPECT_EQ(m_panel->Document().GetParams(), deleted);
}

TEST_F(ColorChangeViewTest, DeleteResetsTheActiveElement)
{
    DropOnSource(3, PickedLab(5, 5));
    ASSERT_EQ(m_panel->GetActiveElement(), 3);
    QTest::mouseClick(m_panel->findChild<QPushButton*>("1038"), Qt::LeftButton);
    CLChRange fresh;
    CColorChangeDoc::ResetEntry(fresh);
    EXPECT_EQ(Entry(3), fresh);
    EXPECT_EQ(m_panel->GetActiveElement(), -1);
    EXPECT_FALSE(m_panel->findChild<QPushButton*>("1038")->isEnabled());
    m_panel->Undo();
    EXPECT_FALSE(Entry(3).RectImage.IsRectEmpty());
}

TEST_F(ColorChangeViewTest, VariationDialogStartsOnItsSliderAndCancelPutsTheValuesBack)
{
    DropOnSource(0, PickedLab(20, 20));
    QTest::mouseClick(Row(0)->Check, Qt::LeftButton);
    ASSERT_EQ(Entry(0).Hendou, 1);
    ASSERT_TRUE(Row(0)->Settings->isEnabled());
    // A strength far beyond the slider's travel, as a parameter file may
    // hold it.
    m_panel->Document().GetParams().entries[0].HendouEffectK = 5.0;
    m_panel->Document().GetParams().entries[0].HendouRangeDeltaE = 1e300;

    int strengthShown = -1;
    int rangeShown = -1;
    WhenDialogOpens<CHendouCustomDlg>(
        [&](CHendouCustomDlg& dialog) {
            strengthShown = dialog.StrengthPos;
            rangeShown = dialog.RangePos;
        },
        "2");
    QTest::mouseClick(Row(0)->Settings, Qt::LeftButton);
    EXPECT_EQ(strengthShown, 40);
    EXPECT_EQ(rangeShown, 41);
    EXPECT_EQ(Entry(0).HendouEffectK, 5.0);
    EXPECT_EQ(Entry(0).HendouRangeDeltaE, 1e300);

    // OK keeps the dialog's values; undo brings back those before it.
    WhenDialogOpens<CHendouCustomDlg>([](CHendouCustomDlg&) {}, "1");
    QTest::mouseClick(Row(0)->Settings, Qt::LeftButton);
    EXPECT_DOUBLE_EQ(Entry(0).HendouEffectK, HendouStrength(40));
    m_panel->Undo();
    EXPECT_EQ(Entry(0).HendouEffectK, 5.0);
}

TEST_F(ColorChangeViewTest, CancellingTheColourSearchLeavesTheDocumentAsBefore)
{
    DropOnSource(0, PickedLab(20, 20));
    DropOnTarget(0, CCIELab(60.0, 30.0, 30.0));
    const ColorChangeParams before = m_panel->Document().GetParams();
    QSignalSpy spy(m_panel->Notifier(), &CViewNotifier::notify);

    // The dialog's live changes reach the preview while it is open.
    bool changedWhileOpen = false;
    WhenDialogOpens<CColorSearchDlg>(
        [&](CColorSearchDlg& dialog) {
            ASSERT_TRUE(dialog.TryMove(CCIELab(40.0, -30.0, 10.0).ToXYZ(m_project->GetWhiteXYZ()), {}));
            dialog.Refresh(CColorSearchDlg::kChanged);
            changedWhileOpen = !(m_panel->Document().GetParams() == before) &&
                               m_project->GetPreviewDoc()->IsEqual(m_panel->Document());
        },
        "2");
    QTest::mouseClick(Row(0)->TargetPatch, Qt::LeftButton);
    EXPECT_TRUE(changedWhileOpen);
    EXPECT_EQ(m_panel->Document().GetParams(), before);
    EXPECT_EQ(ChangedCount(spy), 0);

    WhenDialogOpens<CColorSearchDlg>(
        [&](CColorSearchDlg& dialog) {
            dialog.TryMove(CCIELab(40.0, -30.0, 10.0).ToXYZ(m_project->GetWhiteXYZ()), {});
            dialog.Refresh(CColorSearchDlg::kChanged);
        },
        "1");
    QTest::mouseClick(Row(0)->TargetPatch, Qt::LeftButton);
    EXPECT_NEAR(Entry(0).LChAfter[0], 40.0, 1e-6);
    EXPECT_EQ(ChangedCount(spy), 1);
    m_panel->Undo();
    EXPECT_EQ(m_panel->Document().GetParams(), before);
}

} // namespace
