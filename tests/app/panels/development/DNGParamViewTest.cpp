// The development panel on the real project, its image given a generated
// DNG's colour description: the temperature slider's ends, typed
// temperatures, the arrows' minimum step, the exposure slider's steps, the
// image's own white balance while AsShot is set, the picker shown only
// with Alt, Ctrl and Shift held on entering, the white-balance pick, the
// histogram, and the edit pattern with the preview, undo, Cancel and OK.

#include "app/panels/development/DNGParamView.h"

#include "app/panels/development/DNGParamViewLogic.h"
#include "app/shell/KeyState.h"
#include "controls/widgets/EditEx.h"
#include "controls/widgets/MultiSlider.h"
#include "controls/widgets/RGBHistogramCtrl.h"
#include "controls/widgets/UpDown.h"
#include "core/ImageEx.h"
#include "imagefile/DNGFile.h"
#include "tests/correction/ProjectTestSupport.h"
#include "tests/support/DngBuilder.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace {

class FakeKeys final : public IKeyState
{
public:
    bool spaceBarDown() const override { return false; }
    Qt::KeyboardModifiers modifiersDown() const override { return held; }
    Qt::KeyboardModifiers held = Qt::NoModifier;
};

// A project whose current image can be made a RAW one.
class RawProject : public CProjectManage
{
public:
    using CProjectManage::CProjectManage;

    // The image's DNG colour description and the RAW thumbnail, as a DNG
    // load leaves them.
    void TakeRawDescription(const CDNGTranspose& transform)
    {
        m_currentRecord.m_transform = std::make_unique<CDNGTranspose>(transform);
        m_rawThumbnail.Create(kRawThumbnailSize, kRawThumbnailSize);
        m_rawThumbnail.Resample(m_workingImage);
    }
};

int Count(const std::vector<int>& codes, PanelNotify code)
{
    return static_cast<int>(std::count(codes.begin(), codes.end(), static_cast<int>(code)));
}

class DNGParamViewTest : public projecttest::ProjectFixture
{
protected:
    DNGParamViewTest() : m_policy(StepEditionPolicy::AllStepsEnabled)
    {
        auto raw = std::make_unique<RawProject>(std::string());
        raw->SetImageView(&m_view);
        raw->SetShell(&m_shell);
        raw->SetPrintDialogs(&m_printDialogs);
        EXPECT_TRUE(raw->SetProjectProfiles(&m_monitor, &m_working, &m_input));
        m_raw = raw.get();
        m_project = std::move(raw);

        auto* layout = new QVBoxLayout(&m_host);
        m_panel = new CDNGParamView(&m_host);
        layout->addWidget(m_panel);
        m_host.resize(400, 1000);
        m_panel->SetProject(m_project.get());
        m_panel->SetNotifyMessage(UWM_DNGPARAMVIEW_NOTIFY);
        m_panel->SetKeyState(&m_keys);
        // The frame's part: OK and Cancel leave the step.
        QObject::connect(m_panel->Notifier(), &CViewNotifier::notify, m_panel,
                         [this](int, int code, qint64) {
                             m_codes.push_back(code);
                             if (code == static_cast<int>(PanelNotify::Ok) ||
                                 code == static_cast<int>(PanelNotify::Cancel))
                                 m_panel->OnLeaveStep(code == static_cast<int>(PanelNotify::Ok));
                         });
    }

    // The current image as a RAW image: the project's loader admits only
    // TIFF and JPEG files in this edition, so a generated DNG's colour
    // description (shot under a warm light) is given to a loaded TIFF, as
    // loading the DNG would leave it.
    void LoadDng()
    {
        testsupport::DngRecipe recipe;
        recipe.samples = 3;
        recipe.width = 64;
        recipe.height = 48;
        testsupport::DngBuilder builder(recipe);
        builder.Ifd0().Rationals(50728, {{35, 100}, {1, 1}, {90, 100}});
        const std::string path = m_dir.File("warm.dng");
        ASSERT_TRUE(builder.WriteFile(path));
        CDNGFile dng;
        ASSERT_TRUE(dng.Open(path));
        CDNGTranspose transform;
        dng.GetColorInfo(transform);
        Load(AddTiff("raw.tif", 96, 72));
        m_raw->TakeRawDescription(transform);
        ASSERT_NE(m_project->GetRawData(), nullptr);
    }

    void Show()
    {
        m_host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_host));
    }

    // Types text into an edit and commits it with Enter.
    static void Type(CEditEx* edit, const QString& text)
    {
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    // A drag of a slider as the control reports it: thumb at each position
    // in turn, then the release.
    static void DragSlider(CMultiSlider* slider, std::initializer_list<int> positions)
    {
        for (int p : positions)
        {
            slider->Positions.front() = static_cast<std::int16_t>(p);
            emit slider->notify(slider->notifyMessage(), CMultiSlider::kDragging, 0);
        }
        emit slider->notify(slider->notifyMessage(), CMultiSlider::kReleased, -1);
    }

    const DNGParams& Params() { return m_panel->Document().GetParams(); }
    void SetDocument(const DNGParams& p)
    {
        m_panel->Document().GetParams() = p;
        m_panel->UpdateControls(false);
    }

    // The after preview of the whole image, rendered at full resolution.
    std::vector<std::uint8_t> RenderPreview()
    {
        const CRGBImage& image = m_project->GetWorkingImage();
        const CRect rect(0, 0, image.GetWidth(), image.GetHeight());
        int created = 0;
        EXPECT_TRUE(m_project->MakeAfterPreview(rect, &created));
        EXPECT_TRUE(m_project->RenderAfterPreview(rect, 1));
        const CImageEx* preview = m_project->GetAfterPreview();
        if (preview == nullptr)
            return {};
        std::vector<std::uint8_t> pixels;
        for (int y = 0; y < preview->GetHeight(); ++y)
        {
            const std::uint8_t* row = preview->GetPixelAddress(0, y);
            pixels.insert(pixels.end(), row, row + preview->GetWidth() * 3);
        }
        return pixels;
    }

    const DNGParams* PreviewParams() const
    {
        const auto* doc = dynamic_cast<const CDNGParamDoc*>(m_project->GetPreviewDoc());
        return doc != nullptr ? &doc->GetParams() : nullptr;
    }

    ScopedStepEditionPolicy m_policy;
    RawProject* m_raw = nullptr;
    QWidget m_host;
    CDNGParamView* m_panel = nullptr;
    FakeKeys m_keys;
    std::vector<int> m_codes;
};

TEST_F(DNGParamViewTest, TemperatureSliderEndsAndBack)
{
    Show();
    DNGParams p;
    p.AsShot = 0;
    p.Temperature = 5000;
    SetDocument(p);
    CMultiSlider* slider = m_panel->Slider(CDNGParamView::kTemperature);
    struct Case
    {
        int x;
        int kelvin;
        int position;
    };
    for (const Case& c : {Case{0, 2000, 0}, Case{slider->width() - 1, 50000, 255}})
    {
        const QPoint at(c.x, slider->height() / 2);
        QTest::mousePress(slider, Qt::LeftButton, {}, at);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, at);
        EXPECT_EQ(Params().Temperature, c.kelvin);
        EXPECT_EQ(m_panel->Edit(CDNGParamView::kTemperature)->text(), QString::number(c.kelvin));
        // And back: the stored temperature puts the thumb and the arrows at
        // the end again.
        EXPECT_EQ(slider->Positions.front(), c.position);
        EXPECT_EQ(m_panel->Arrows(CDNGParamView::kTemperature)->GetPos(), c.position);
    }
}

TEST_F(DNGParamViewTest, TypedTemperaturesAreDecimalAndGoToTheNearest50)
{
    Show();
    struct Case
    {
        const char* typed;
        int stored;
    };
    for (const Case& c : {Case{"5012", 5000}, Case{"5038", 5050}, Case{"06500", 6500},
                          Case{"01000", 2000}, Case{"60000", 50000}})
    {
        SetDocument(DNGParams{}); // as shot
        Type(m_panel->Edit(CDNGParamView::kTemperature), QString::fromLatin1(c.typed));
        EXPECT_EQ(Params().Temperature, c.stored) << c.typed;
        EXPECT_EQ(Params().AsShot, 0) << c.typed;
        EXPECT_EQ(m_panel->Edit(CDNGParamView::kTemperature)->text(), QString::number(c.stored))
            << c.typed;
        EXPECT_EQ(m_panel->Slider(CDNGParamView::kTemperature)->Positions.front(),
                  dngview::PositionFromTemperature(c.stored));
    }
    // Exposure and black level leave AsShot as it is.
    SetDocument(DNGParams{});
    Type(m_panel->Edit(CDNGParamView::kExposure), QStringLiteral("0.29"));
    Type(m_panel->Edit(CDNGParamView::kBlackLevel), QStringLiteral("12"));
    EXPECT_EQ(Params().Exposure, 29);
    EXPECT_EQ(Params().Shadow, 12);
    EXPECT_EQ(Params().AsShot, 1);
}

TEST_F(DNGParamViewTest, ArrowStepsMoveTheTemperatureByAtLeast50WithOneUndoState)
{
    struct Case
    {
        int from;
        int direction;
        int steps;
    };
    for (const Case& c : {Case{5000, 1, 1}, Case{5000, -1, 1}, Case{2000, 1, 1}, Case{8000, 1, 3},
                          Case{3000, -1, 4}})
    {
        DNGParams p;
        p.AsShot = 0;
        p.Temperature = c.from;
        SetDocument(p);
        m_codes.clear();
        CUpDown* arrows = m_panel->Arrows(CDNGParamView::kTemperature);
        int shown = c.from;
        for (int i = 0; i < c.steps; ++i)
        {
            arrows->Step(c.direction);
            const int now = m_panel->Edit(CDNGParamView::kTemperature)->GetInt();
            EXPECT_GE((now - shown) * c.direction, 50) << c.from << " step " << i;
            shown = now;
        }
        // The document takes the value when the arrow is let go.
        EXPECT_EQ(Params().Temperature, c.from);
        arrows->EndScroll();
        EXPECT_EQ(Params().Temperature, shown) << c.from;
        EXPECT_EQ(Count(m_codes, PanelNotify::Changed), 1) << c.from;
        m_panel->Undo();
        EXPECT_EQ(Params().Temperature, c.from) << c.from;
    }
}

// The arrows take no focus: a temperature typed but not committed yet is
// read as its commit would take it (clamped, to 50 K), whatever its size.
TEST_F(DNGParamViewTest, ArrowStepFromAnUncommittedTemperatureReadsItClamped)
{
    struct Case
    {
        const char* typed;
        int direction;
        int committed; // what the commit makes of the text
    };
    for (const Case& c : {Case{"-9999999999", 1, 2000}, Case{"9999999999", -1, 50000},
                          Case{"99999999999999999999999", 1, 50000}, Case{"-2147483648", -1, 2000},
                          Case{"5012", 1, 5000}})
    {
        DNGParams p;
        p.AsShot = 0;
        p.Temperature = 5000;
        SetDocument(p);
        CEditEx* edit = m_panel->Edit(CDNGParamView::kTemperature);
        edit->setText(QString::fromLatin1(c.typed)); // typed, no commit yet
        CUpDown* arrows = m_panel->Arrows(CDNGParamView::kTemperature);
        const int position = arrows->GetPos() + c.direction;
        arrows->Step(c.direction);
        const int expected = dngview::StepTemperature(
            c.committed, dngview::TemperatureFromPosition(position), c.direction);
        EXPECT_EQ(edit->text(), QString::number(expected)) << c.typed;
        arrows->EndScroll();
        EXPECT_EQ(Params().Temperature, expected) << c.typed;
        EXPECT_GE(Params().Temperature, 2000);
        EXPECT_LE(Params().Temperature, 50000);
    }
}

TEST_F(DNGParamViewTest, ExposureSliderMovesInTwentiethsCutTowardZero)
{
    struct Case
    {
        int position;
        const char* shown;
        int stored;
    };
    for (const Case& c : {Case{403, "0.00", 0}, Case{405, "0.05", 5}, Case{397, "0.00", 0},
                          Case{394, "-0.05", -5}, Case{800, "4.00", 400}})
    {
        SetDocument(DNGParams{});
        CMultiSlider* slider = m_panel->Slider(CDNGParamView::kExposure);
        slider->Positions.front() = static_cast<std::int16_t>(c.position);
        emit slider->notify(slider->notifyMessage(), CMultiSlider::kDragging, 0);
        EXPECT_EQ(m_panel->Edit(CDNGParamView::kExposure)->text(), QString::fromLatin1(c.shown));
        emit slider->notify(slider->notifyMessage(), CMultiSlider::kReleased, -1);
        EXPECT_EQ(Params().Exposure, c.stored) << c.position;
        EXPECT_EQ(slider->Positions.front(), c.stored + 400);
    }
}

TEST_F(DNGParamViewTest, AsShotShowsTheImagesOwnWhiteBalanceUntilTemperatureOrTintMoves)
{
    LoadDng();
    int kelvin = 0;
    int tint = 0;
    ASSERT_TRUE(m_project->GetAsShotWhiteBalance(&kelvin, &tint));
    const int shownKelvin = dngview::RoundTemperature(kelvin);
    ASSERT_NE(shownKelvin, 3000);

    // Whatever the document holds.
    DNGParams& projectParams = m_project->GetDNGParamDoc().GetParams();
    projectParams.AsShot = 1;
    projectParams.Temperature = 3000;
    projectParams.Tint = 40;
    m_panel->OnEnterStep();
    EXPECT_TRUE(m_panel->IsAsShot());
    EXPECT_EQ(m_panel->Edit(CDNGParamView::kTemperature)->GetInt(), shownKelvin);
    EXPECT_EQ(m_panel->Edit(CDNGParamView::kTint)->GetInt(), tint);
    EXPECT_EQ(m_panel->Slider(CDNGParamView::kTemperature)->Positions.front(),
              dngview::PositionFromTemperature(shownKelvin));

    // Exposure leaves it on; a tint drag switches it off and keeps what the
    // edits show.
    DragSlider(m_panel->Slider(CDNGParamView::kExposure), {420, 430});
    EXPECT_TRUE(m_panel->IsAsShot());
    EXPECT_EQ(Params().AsShot, 1);
    DragSlider(m_panel->Slider(CDNGParamView::kTint), {200});
    EXPECT_FALSE(m_panel->IsAsShot());
    EXPECT_EQ(Params().AsShot, 0);
    EXPECT_EQ(Params().Tint, 50);
    EXPECT_EQ(Params().Temperature, shownKelvin);

    // Without AsShot the document's own values show.
    projectParams.AsShot = 0;
    m_panel->OnEnterStep();
    EXPECT_EQ(m_panel->Edit(CDNGParamView::kTemperature)->GetInt(), 3000);
    EXPECT_EQ(m_panel->Edit(CDNGParamView::kTint)->GetInt(), 40);
}

TEST_F(DNGParamViewTest, PickerShowsOnlyWithAltCtrlShiftHeldOnEntering)
{
    struct Case
    {
        Qt::KeyboardModifiers held;
        bool shown;
    };
    const Case cases[] = {
        {Qt::AltModifier | Qt::ControlModifier | Qt::ShiftModifier, true},
        {Qt::AltModifier | Qt::ControlModifier | Qt::ShiftModifier | Qt::MetaModifier, true},
        {Qt::ControlModifier | Qt::ShiftModifier, false},
        {Qt::AltModifier | Qt::ShiftModifier, false},
        {Qt::AltModifier | Qt::ControlModifier, false},
        {Qt::NoModifier, false},
    };
    for (const Case& c : cases)
    {
        m_keys.held = c.held;
        m_panel->OnEnterStep();
        EXPECT_EQ(m_panel->Picker()->isVisibleTo(m_panel), c.shown) << c.held.toInt();
        EXPECT_FALSE(m_panel->Picker()->isChecked());
        // Keys let go after entering change nothing.
        m_keys.held = Qt::NoModifier;
        EXPECT_EQ(m_panel->Picker()->isVisibleTo(m_panel), c.shown);
    }
}

TEST_F(DNGParamViewTest, PickedWhiteBecomesTheWhiteBalanceWhilePickerIsOn)
{
    Show();
    LoadDng();
    m_keys.held = Qt::AltModifier | Qt::ControlModifier | Qt::ShiftModifier;
    m_panel->OnEnterStep();
    const DNGParams before = Params();
    const CCIEXYZ d65(95.047, 100.0, 108.883);

    // The picker is off: a pick changes nothing.
    m_codes.clear();
    m_panel->PickWhiteBalance(d65);
    EXPECT_EQ(Params(), before);
    EXPECT_TRUE(m_codes.empty());

    // On: the preview compares, and the white's balance is taken.
    m_panel->Picker()->click();
    ASSERT_TRUE(m_panel->Picker()->isChecked());
    EXPECT_EQ(m_codes, std::vector<int>{static_cast<int>(PanelNotify::CompareOn)});
    m_panel->PickWhiteBalance(CCIEXYZ(0.05, 0.05, 0.05)); // too dark: refused
    EXPECT_EQ(Params(), before);
    m_panel->PickWhiteBalance(d65);
    const auto balance = dngview::WhiteBalanceFromSample(d65);
    ASSERT_TRUE(balance.has_value());
    EXPECT_EQ(Params().AsShot, 0);
    // The picked temperature is kept to the kelvin.
    EXPECT_EQ(Params().Temperature, balance->temperature);
    EXPECT_EQ(Params().Tint, balance->tint);
    EXPECT_EQ(Count(m_codes, PanelNotify::Changed), 1);
    ASSERT_NE(PreviewParams(), nullptr);
    EXPECT_EQ(*PreviewParams(), Params());

    // Leaving switches the picker off and the comparison with it.
    m_codes.clear();
    m_panel->OnLeaveStep(false);
    EXPECT_FALSE(m_panel->Picker()->isChecked());
    EXPECT_EQ(m_codes, std::vector<int>{static_cast<int>(PanelNotify::CompareOff)});
}

TEST_F(DNGParamViewTest, HistogramOfTheDevelopedPreviewAndItsMarker)
{
    Show();
    LoadDng();
    m_panel->OnEnterStep();
    CRGBHistogramCtrl* histogram = m_panel->Histogram();
    const QImage& picture = histogram->picture();
    ASSERT_FALSE(picture.isNull());
    int lit = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            lit += (picture.pixel(x, y) & 0xFFFFFF) != 0 ? 1 : 0;
    EXPECT_GT(lit, 0);
    EXPECT_FALSE(histogram->ShowMarkers);

    m_panel->ShowSampleOnHistogram(50.0, RGB16{0x8000, 0x40FF, 0xFFFF});
    EXPECT_TRUE(histogram->ShowMarkers);
    EXPECT_EQ(histogram->MarkerLevels, (std::array<std::uint8_t, 4>{0x80, 0x40, 0xFF, 127}));
    emit histogram->notify(UWM_DNGPARAM_HISTOGRAM, 2, 77);
    EXPECT_EQ(m_panel->LevelText()->text(), QStringLiteral("77"));
    emit histogram->notify(UWM_DNGPARAM_HISTOGRAM, 1, 12); // Shift-click: ignored
    EXPECT_EQ(m_panel->LevelText()->text(), QStringLiteral("77"));

    // Entering again: the marker goes and the level text is emptied.
    m_panel->OnEnterStep();
    EXPECT_FALSE(histogram->ShowMarkers);
    EXPECT_TRUE(m_panel->LevelText()->text().isEmpty());
}

TEST_F(DNGParamViewTest, ChangeShowsOnThePreviewUndoRestoresCancelKeepsOkCommits)
{
    Show();
    LoadDng();
    m_panel->OnEnterStep();
    const CDNGParamDoc original = m_project->GetDNGParamDoc();
    ASSERT_NE(PreviewParams(), nullptr);
    const std::vector<std::uint8_t> before = RenderPreview();
    ASSERT_FALSE(before.empty());

    // One edit: one undo state, the preview document and the picture change.
    m_codes.clear();
    Type(m_panel->Edit(CDNGParamView::kExposure), QStringLiteral("1.00"));
    EXPECT_EQ(Count(m_codes, PanelNotify::Changed), 1);
    ASSERT_NE(PreviewParams(), nullptr);
    EXPECT_EQ(PreviewParams()->Exposure, 100);
    const std::vector<std::uint8_t> brighter = RenderPreview();
    EXPECT_NE(brighter, before);

    // Undo gives the picture back.
    ASSERT_TRUE(m_panel->CanUndo());
    m_panel->Undo();
    EXPECT_EQ(Params().Exposure, 0);
    EXPECT_EQ(m_panel->Edit(CDNGParamView::kExposure)->text(), QStringLiteral("0.00"));
    EXPECT_EQ(PreviewParams()->Exposure, 0);
    EXPECT_EQ(RenderPreview(), before);

    // A slider drag: one undo state for the whole drag.
    m_codes.clear();
    DragSlider(m_panel->Slider(CDNGParamView::kBlackLevel), {5, 10, 20});
    EXPECT_EQ(Count(m_codes, PanelNotify::Changed), 1);
    EXPECT_EQ(PreviewParams()->Shadow, 20);

    // Cancel: the project's document stays as it was.
    m_panel->findChild<QPushButton*>(QStringLiteral("1210"))->click();
    EXPECT_EQ(Count(m_codes, PanelNotify::Cancel), 1);
    EXPECT_TRUE(m_project->GetDNGParamDoc().IsEqual(original));
    EXPECT_EQ(m_project->GetPreviewDoc(), nullptr);

    // OK: the edited document is stored.
    m_panel->OnEnterStep();
    Type(m_panel->Edit(CDNGParamView::kExposure), QStringLiteral("-0.50"));
    m_panel->findChild<QPushButton*>(QStringLiteral("1209"))->click();
    EXPECT_EQ(m_project->GetDNGParamDoc().GetParams().Exposure, -50);
    EXPECT_TRUE(m_project->GetDNGParamDoc().IsEqual(m_panel->Document()));
}

TEST_F(DNGParamViewTest, PreviewOffShowsTheDefaultDevelopment)
{
    LoadDng();
    m_panel->OnEnterStep();
    DragSlider(m_panel->Slider(CDNGParamView::kExposure), {600});
    ASSERT_EQ(PreviewParams()->Exposure, 200);
    m_codes.clear();
    QCheckBox* preview = m_panel->findChild<QCheckBox*>(QStringLiteral("1040"));
    ASSERT_NE(preview, nullptr);
    preview->click();
    EXPECT_FALSE(m_panel->GetPreview());
    EXPECT_EQ(*PreviewParams(), CDNGParamDoc().GetParams());
    EXPECT_EQ(m_codes, std::vector<int>{static_cast<int>(PanelNotify::PreviewOff)});
    // Changes made while it is off reach the preview when it is on again.
    DragSlider(m_panel->Slider(CDNGParamView::kExposure), {700});
    EXPECT_EQ(*PreviewParams(), CDNGParamDoc().GetParams());
    preview->click();
    EXPECT_EQ(PreviewParams()->Exposure, 300);
}

} // namespace
