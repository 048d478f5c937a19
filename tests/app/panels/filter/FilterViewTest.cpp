// The filter panel over the real project: its edits and trackbars (the
// radius and amount on their non-linear scale), one undo state per
// trackbar drag taken at its end or by the timer, amount and threshold
// waiting while the radius is 0, the preview switch, and the preview,
// undo, Cancel and OK against the project's document.

#include "app/panels/filter/FilterView.h"
#include "controls/widgets/EditEx.h"
#include "correction/FilterDoc.h"
#include "tests/app/panels/StepPanelTestSupport.h"
#include "tests/correction/ProjectTestSupport.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <memory>
#include <string>

namespace {

using projecttest::ProjectFixture;
using steppaneltest::PanelHost;

// Squares of 4 x 4 pixels alternating dark and light: an image the
// unsharp mask visibly changes.
CRGBImage Squares(int width, int height)
{
    CRGBImage image(width, height);
    RGB16* p = image.Lock();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p[static_cast<std::size_t>(y) * width + x] = ((x / 4 + y / 4) % 2 == 0)
                                                             ? RGB16{12000, 12000, 12000}
                                                             : RGB16{40000, 40000, 40000};
    image.Unlock();
    return image;
}

class FilterViewTest : public ProjectFixture
{
protected:
    FilterViewTest() : panel(new CFilterView), host(panel, UWM_FILTERVIEW_NOTIFY)
    {
        panel->SetProject(m_project.get());
        host.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&host));
    }

    template <class T> T* Control(int id) const
    {
        T* control = panel->findChild<T*>(QString::number(id));
        EXPECT_NE(control, nullptr) << id;
        return control;
    }
    CEditEx* Edit(int id) const { return Control<CEditEx>(id); }
    QSlider* Trackbar(int id) const { return Control<QSlider>(id); }
    QString Text(int id) const { return Edit(id)->text(); }
    FilterParams& Params() { return panel->Doc().GetParams(); }

    void Type(int id, const QString& text)
    {
        CEditEx* edit = Edit(id);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    // A drag of the trackbar's thumb through the positions, released at
    // the last.
    void DragThumb(QSlider* slider, std::initializer_list<int> positions)
    {
        slider->setSliderDown(true);
        for (int p : positions)
            slider->setValue(p);
        slider->setSliderDown(false);
    }

    void LoadSquares()
    {
        const std::string path = m_dir.File("squares.tif");
        CRGBImage image = Squares(64, 56);
        projecttest::WriteTiff16(path, image, projecttest::SRGBProfileBytes());
        CImageFileInfo entry;
        ASSERT_EQ(entry.ReadInfo(path), 1);
        ASSERT_TRUE(m_project->AddFile(entry, m_project->GetCount()));
        Load(path);
        ASSERT_TRUE(m_project->IsImageReady());
    }

    const CFilterDoc* PreviewDoc() const
    {
        return dynamic_cast<const CFilterDoc*>(m_project->GetPreviewDoc());
    }

    CFilterView* panel; // owned by the host
    PanelHost host;
};

TEST_F(FilterViewTest, ControlsShowTheDocument)
{
    // The document's defaults: no blur, amount 50, threshold 0.
    EXPECT_EQ(Text(CFilterView::kIdRadiusEdit), QStringLiteral("0.0"));
    EXPECT_EQ(Text(CFilterView::kIdAmountEdit), QStringLiteral("50"));
    EXPECT_EQ(Text(CFilterView::kIdThresholdEdit), QStringLiteral("0"));
    EXPECT_EQ(Trackbar(CFilterView::kIdRadiusTrackbar)->value(), 0);
    EXPECT_EQ(Trackbar(CFilterView::kIdAmountTrackbar)->value(), 98);
    EXPECT_EQ(Trackbar(CFilterView::kIdThresholdTrackbar)->value(), 0);
    EXPECT_EQ(Trackbar(CFilterView::kIdRadiusTrackbar)->maximum(), 255);
    EXPECT_EQ(Trackbar(CFilterView::kIdRadiusTrackbar)->pageStep(), 25);
    EXPECT_EQ(Edit(CFilterView::kIdAmountEdit)->IntMax, 500);
    EXPECT_EQ(Edit(CFilterView::kIdRadiusEdit)->RealMax, 100.0);

    // A radius of 0 leaves nothing to sharpen: amount and threshold wait.
    struct Case
    {
        int radius;
        bool enabled;
    };
    for (const Case c : {Case{0, false}, Case{1, true}, Case{20, true}, Case{1000, true}})
    {
        Params().Radius = c.radius;
        panel->UpdateControls(false);
        for (int id : {CFilterView::kIdAmountEdit, CFilterView::kIdAmountTrackbar,
                       CFilterView::kIdAmountLabel, CFilterView::kIdThresholdEdit,
                       CFilterView::kIdThresholdTrackbar, CFilterView::kIdThresholdLabel})
            EXPECT_EQ(Control<QWidget>(id)->isEnabled(), c.enabled) << c.radius << " " << id;
        EXPECT_TRUE(Edit(CFilterView::kIdRadiusEdit)->isEnabled());
    }
}

TEST_F(FilterViewTest, RadiusTwoSitsAtThirtyNineAndBack)
{
    Type(CFilterView::kIdRadiusEdit, QStringLiteral("2"));
    EXPECT_EQ(Params().Radius, 20);
    EXPECT_EQ(Text(CFilterView::kIdRadiusEdit), QStringLiteral("2.0"));
    EXPECT_EQ(Trackbar(CFilterView::kIdRadiusTrackbar)->value(), 39);

    // Position 39 shows 1.958 to one decimal and keeps 2.0.
    Params().Radius = 0;
    panel->UpdateControls(false);
    Trackbar(CFilterView::kIdRadiusTrackbar)->setValue(39); // a keyboard step
    EXPECT_EQ(Text(CFilterView::kIdRadiusEdit), QStringLiteral("2.0"));
    EXPECT_EQ(Params().Radius, 20);
    EXPECT_EQ(Trackbar(CFilterView::kIdRadiusTrackbar)->value(), 39);

    // The ends of the scales.
    struct Case
    {
        int trackbar;
        int position;
        int edit;
        const char* text;
    };
    const Case cases[] = {
        {CFilterView::kIdRadiusTrackbar, 255, CFilterView::kIdRadiusEdit, "100.0"},
        {CFilterView::kIdRadiusTrackbar, 0, CFilterView::kIdRadiusEdit, "0.0"},
        {CFilterView::kIdRadiusTrackbar, 39, CFilterView::kIdRadiusEdit, "2.0"},
        {CFilterView::kIdAmountTrackbar, 0, CFilterView::kIdAmountEdit, "1"},
        {CFilterView::kIdAmountTrackbar, 255, CFilterView::kIdAmountEdit, "500"},
        {CFilterView::kIdThresholdTrackbar, 77, CFilterView::kIdThresholdEdit, "77"},
        {CFilterView::kIdThresholdTrackbar, 255, CFilterView::kIdThresholdEdit, "255"},
    };
    for (const Case& c : cases)
    {
        Trackbar(c.trackbar)->setValue(c.position);
        EXPECT_EQ(Text(c.edit), QString::fromLatin1(c.text)) << c.trackbar << " " << c.position;
    }
    EXPECT_EQ(Params().Threshold, 255);
    EXPECT_EQ(Params().Amount, 500);
    // The threshold's trackbar is its value.
    Type(CFilterView::kIdThresholdEdit, QStringLiteral("0123"));
    EXPECT_EQ(Params().Threshold, 123);
    EXPECT_EQ(Trackbar(CFilterView::kIdThresholdTrackbar)->value(), 123);
    Type(CFilterView::kIdAmountEdit, QStringLiteral("50"));
    EXPECT_EQ(Trackbar(CFilterView::kIdAmountTrackbar)->value(), 98);
}

TEST_F(FilterViewTest, ADragIsOneChangeTakenAtItsEnd)
{
    LoadSquares();
    panel->OnEnterStep();
    const int changesBefore = host.Count(PanelNotify::Changed);
    QSlider* radius = Trackbar(CFilterView::kIdRadiusTrackbar);
    radius->setSliderDown(true);
    radius->setValue(20);
    radius->setValue(30);
    radius->setValue(39);
    // While the thumb moves only the edit follows it.
    EXPECT_EQ(Text(CFilterView::kIdRadiusEdit), QStringLiteral("2.0"));
    EXPECT_EQ(Params().Radius, 0);
    EXPECT_EQ(PreviewDoc()->GetParams().Radius, 0);
    radius->setSliderDown(false);
    EXPECT_EQ(Params().Radius, 20);
    EXPECT_EQ(PreviewDoc()->GetParams().Radius, 20);
    EXPECT_FALSE(panel->IsEditing());
    EXPECT_EQ(host.Count(PanelNotify::Changed), changesBefore + 1);
    EXPECT_FALSE(panel->findChild<QTimer*>(QString::number(CFilterView::kTrackTimer))->isActive());

    panel->Undo();
    EXPECT_EQ(Params().Radius, 0);
    EXPECT_EQ(radius->value(), 0);
}

TEST_F(FilterViewTest, ADragWithoutItsEndIsTakenByTheTimer)
{
    LoadSquares();
    panel->OnEnterStep();
    QTimer* timer = panel->findChild<QTimer*>(QString::number(CFilterView::kTrackTimer));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 500);
    QSlider* amount = Trackbar(CFilterView::kIdAmountTrackbar);
    {
        const QSignalBlocker quiet(amount);
        amount->setValue(255);
    }
    panel->OnTrackbar(CFilterView::kIdAmountTrackbar, TrackbarCode::ThumbTrack);
    panel->OnTrackbar(CFilterView::kIdAmountTrackbar, TrackbarCode::ThumbPosition);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(Text(CFilterView::kIdAmountEdit), QStringLiteral("500"));
    EXPECT_EQ(Params().Amount, 50);
    EXPECT_TRUE(panel->IsEditing());

    panel->OnTimer(CFilterView::kTrackTimer);
    EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(Params().Amount, 500);
    EXPECT_EQ(PreviewDoc()->GetParams().Amount, 500);
    EXPECT_FALSE(panel->IsEditing());

    // Leaving the step stops a running timer.
    panel->OnTrackbar(CFilterView::kIdAmountTrackbar, TrackbarCode::ThumbPosition);
    EXPECT_TRUE(timer->isActive());
    panel->OnLeaveStep(false);
    EXPECT_FALSE(timer->isActive());
}

TEST_F(FilterViewTest, AChangeShowsOnThePreviewAndUndoTakesItBack)
{
    LoadSquares();
    panel->OnEnterStep();
    const std::vector<std::uint8_t> before = steppaneltest::RenderAfterPreview(*m_project);
    Type(CFilterView::kIdRadiusEdit, QStringLiteral("3.5"));
    ASSERT_NE(PreviewDoc(), nullptr);
    EXPECT_EQ(PreviewDoc()->GetParams().Radius, 35);
    EXPECT_NE(steppaneltest::RenderAfterPreview(*m_project), before);

    panel->Undo();
    EXPECT_EQ(PreviewDoc()->GetParams().Radius, 0);
    EXPECT_EQ(Text(CFilterView::kIdRadiusEdit), QStringLiteral("0.0"));
    EXPECT_EQ(steppaneltest::RenderAfterPreview(*m_project), before);
    panel->Redo();
    EXPECT_EQ(PreviewDoc()->GetParams().Radius, 35);
}

TEST_F(FilterViewTest, PreviewOffShowsTheDefaultDocument)
{
    LoadSquares();
    panel->OnEnterStep();
    Type(CFilterView::kIdRadiusEdit, QStringLiteral("2.0"));
    auto* preview = Control<QCheckBox>(kIdPreviewCheck);
    ASSERT_TRUE(preview->isChecked());
    preview->click();
    EXPECT_FALSE(panel->GetPreview());
    EXPECT_EQ(PreviewDoc()->GetParams().Radius, 0);
    EXPECT_EQ(Params().Radius, 20);
    EXPECT_EQ(host.Count(PanelNotify::PreviewOff), 1);
    // Changes while the preview is off stay off the preview.
    Type(CFilterView::kIdRadiusEdit, QStringLiteral("5.0"));
    EXPECT_EQ(PreviewDoc()->GetParams().Radius, 0);
    preview->click();
    EXPECT_EQ(PreviewDoc()->GetParams().Radius, 50);
    EXPECT_EQ(host.Count(PanelNotify::PreviewOn), 1);
}

TEST_F(FilterViewTest, CancelLeavesTheProjectAndOkCommits)
{
    LoadSquares();
    m_project->GetFilterDoc().GetParams().Threshold = 9;
    panel->OnEnterStep();
    EXPECT_EQ(Text(CFilterView::kIdThresholdEdit), QStringLiteral("9"));
    Type(CFilterView::kIdRadiusEdit, QStringLiteral("1.5"));
    const int rebuilds = m_view.rebuilds;
    Control<QPushButton>(kIdCancelButton)->click();
    EXPECT_EQ(m_project->GetFilterDoc().GetParams(), (FilterParams{0, 50, 9}));
    EXPECT_EQ(m_project->GetPreviewDoc(), nullptr);
    EXPECT_EQ(m_view.rebuilds, rebuilds + 1);

    panel->OnEnterStep();
    EXPECT_EQ(Text(CFilterView::kIdRadiusEdit), QStringLiteral("0.0"));
    Type(CFilterView::kIdRadiusEdit, QStringLiteral("1.5"));
    Control<QPushButton>(kIdOkButton)->click();
    EXPECT_EQ(m_project->GetFilterDoc().GetParams(), (FilterParams{15, 50, 9}));
    EXPECT_EQ(m_project->GetPreviewDoc(), nullptr);
}

} // namespace
