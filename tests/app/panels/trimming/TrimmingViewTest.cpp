// The trimming panel over the real project: entering fits the document to
// the image, the ratio list, the frame and output edits with their arrows
// (one undo state per scroll, the document taking the output size only at
// the scroll's end), the trim frame dragged through the drag-item face in
// image points and drawn on the preview, the custom ratios of the settings
// and their dialog, Reset, and the preview, undo, Cancel and OK against the
// project's document.

#include "app/panels/trimming/TrimmingView.h"
#include "controls/dialogs/HVRatioDlg.h"
#include "controls/support/ResourceImages.h"
#include "controls/widgets/EditEx.h"
#include "controls/widgets/UpDown.h"
#include "core/IniFile.h"
#include "correction/TrimmingDoc.h"
#include "tests/app/panels/StepPanelTestSupport.h"
#include "tests/correction/ProjectTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <memory>
#include <string>

namespace {

using projecttest::ProjectFixture;
using steppaneltest::PanelHost;
using trimming::TrimPart;

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kWhite = qRgb(255, 255, 255);

CRect FrameOf(const TrimmingRecord& r)
{
    return CRect(r.TrmPosX, r.TrmPosY, r.TrmPosX + r.TrmWidth, r.TrmPosY + r.TrmHeight);
}

class TrimmingViewTest : public ProjectFixture
{
protected:
    TrimmingViewTest() : panel(new CTrimmingView), host(panel, UWM_TRIMMINGVIEW_NOTIFY)
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
    CUpDown* Arrows(int id) const { return Control<CUpDown>(id); }
    QString Text(int id) const { return Edit(id)->text(); }

    TrimmingRecord& Record() { return panel->Doc().GetTrimRecord(); }

    // The panel's document set up for an image of that size (no image
    // loaded), shown in the controls.
    void SetUpFor(int width, int height, int dpi)
    {
        panel->Doc().SetOriginalSize(true, width, height, dpi);
        panel->UpdateControls(false);
    }

    // Types text into an edit and commits it with Enter.
    void Type(int id, const QString& text)
    {
        CEditEx* edit = Edit(id);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    // Lists and loads a 16-bit TIFF of a gradient at the given resolution.
    void LoadImage(const std::string& name, int width, int height, float dpi = 300.0f)
    {
        const std::string path = m_dir.File(name);
        CRGBImage image = projecttest::GradientImage(width, height);
        projecttest::WriteTiff16(path, image, projecttest::SRGBProfileBytes(), dpi);
        CImageFileInfo entry;
        ASSERT_EQ(entry.ReadInfo(path), 1);
        ASSERT_TRUE(m_project->AddFile(entry, m_project->GetCount()));
        Load(path);
        ASSERT_TRUE(m_project->IsImageReady());
    }

    const CTrimmingDoc* PreviewDoc() const
    {
        return dynamic_cast<const CTrimmingDoc*>(m_project->GetPreviewDoc());
    }

    CTrimmingView* panel; // owned by the host
    PanelHost host;
};

// ---- Entering -------------------------------------------------------------------------

TEST_F(TrimmingViewTest, EnteringFitsTheDocumentToTheImage)
{
    LoadImage("a.tif", 400, 300, 150.0f);
    panel->OnEnterStep();
    const TrimmingRecord& r = Record();
    EXPECT_EQ(r.OrgWidth, 400);
    EXPECT_EQ(r.OrgHeight, 300);
    EXPECT_EQ(FrameOf(r), CRect(0, 0, 400, 300));
    EXPECT_EQ(r.TrmRatioType, 9);
    EXPECT_EQ(r.SizePixelWidth, 400);
    EXPECT_EQ(r.SizePixelHeight, 300);
    EXPECT_EQ(r.SizeDPI, 150);
    EXPECT_EQ(r.SizeMMWidth100, 6773); // 400 / 150 x 25.4 = 67.733
    EXPECT_EQ(panel->Doc().GetSetupResolution(), 150);
    EXPECT_EQ(Text(CTrimmingView::kIdWidthEdit), QStringLiteral("400"));
    EXPECT_EQ(Text(CTrimmingView::kIdDPIEdit), QStringLiteral("150"));
    EXPECT_EQ(Text(CTrimmingView::kIdMMWidthEdit), QStringLiteral("67.73"));
    ASSERT_NE(PreviewDoc(), nullptr);
    EXPECT_TRUE(PreviewDoc()->IsEqual(panel->Doc()));
    // The edits' ranges follow the image.
    EXPECT_EQ(Edit(CTrimmingView::kIdLeftEdit)->IntMax, 400);
    EXPECT_EQ(Edit(CTrimmingView::kIdWidthEdit)->IntMin, 50);
    EXPECT_EQ(Edit(CTrimmingView::kIdPixelWidthEdit)->IntMax, 4000);
    EXPECT_EQ(Arrows(CTrimmingView::kIdMMWidthUpDown)->GetUpper(), 677); // 4000 px at 150 dpi

    // The committed frame stays for an image of the same size; another
    // size starts again on the whole image at its resolution.
    Control<QComboBox>(CTrimmingView::kIdRatioCombo)->setCurrentIndex(8);
    Control<QPushButton>(kIdOkButton)->click();
    EXPECT_EQ(FrameOf(m_project->GetTrimmingDoc().GetTrimRecord()), CRect(50, 0, 350, 300));
    panel->OnEnterStep();
    EXPECT_EQ(FrameOf(Record()), CRect(50, 0, 350, 300));
    panel->OnLeaveStep(false);
    LoadImage("b.tif", 200, 100, 72.0f);
    panel->OnEnterStep();
    EXPECT_EQ(FrameOf(Record()), CRect(0, 0, 200, 100));
    EXPECT_EQ(Record().TrmRatioType, 9);
    EXPECT_EQ(Record().SizePixelWidth, 200);
    EXPECT_EQ(Record().SizeDPI, 72);
}

// ---- Ratio list ------------------------------------------------------------------------

TEST_F(TrimmingViewTest, SixteenNineOnAFourThreeImage)
{
    SetUpFor(4000, 3000, 300);
    Control<QComboBox>(CTrimmingView::kIdRatioCombo)->setCurrentIndex(7);
    const TrimmingRecord& r = Record();
    EXPECT_EQ(FrameOf(r), CRect(0, 375, 4000, 2625));
    EXPECT_EQ(r.TrmRatioType, 7);
    EXPECT_EQ(r.SizePixelWidth, 4000);
    EXPECT_EQ(r.SizePixelHeight, 2250);
    EXPECT_EQ(r.SizeMMHeight100, 19050);
    EXPECT_EQ(Text(CTrimmingView::kIdTopEdit), QStringLiteral("375"));
    EXPECT_EQ(Text(CTrimmingView::kIdHeightEdit), QStringLiteral("2250"));
    EXPECT_FALSE(Control<QPushButton>(CTrimmingView::kIdCustomRatioButton)->isEnabled());
    EXPECT_EQ(host.Count(PanelNotify::Changed), 1);

    panel->Undo();
    EXPECT_EQ(FrameOf(Record()), CRect(0, 0, 4000, 3000));
    EXPECT_EQ(Control<QComboBox>(CTrimmingView::kIdRatioCombo)->currentIndex(), 9);
}

TEST_F(TrimmingViewTest, NoImageAndNoResolutionDivideByNothing)
{
    // The image's own ratio without an image: the frame stays as it is,
    // and a typed width is free.
    panel->Doc().Reset();
    panel->UpdateControls(false);
    Control<QComboBox>(CTrimmingView::kIdRatioCombo)->setCurrentIndex(10);
    EXPECT_EQ(Record().TrmRatioType, 10);
    EXPECT_EQ(FrameOf(Record()), CRect(0, 0, 0, 0));
    Type(CTrimmingView::kIdWidthEdit, QStringLiteral("120"));
    EXPECT_EQ(Record().TrmWidth, 0);
    EXPECT_EQ(Record().TrmHeight, 0);

    // A record with a resolution of 0: millimetres of 0, never infinities;
    // the edit shows the lowest resolution, which the document then takes.
    SetUpFor(4000, 3000, 300);
    Record().SizeDPI = 0;
    panel->UpdateControls(false);
    EXPECT_EQ(Text(CTrimmingView::kIdDPIEdit), QStringLiteral("50"));
    EXPECT_EQ(Text(CTrimmingView::kIdMMWidthEdit), QStringLiteral("0.00"));
    CUpDown* pixels = Arrows(CTrimmingView::kIdPixelWidthUpDown);
    pixels->Step(-1);
    EXPECT_EQ(Text(CTrimmingView::kIdMMWidthEdit), QStringLiteral("0.00"));
    pixels->EndScroll();
    EXPECT_EQ(Record().SizeDPI, 50);
    EXPECT_EQ(Record().SizePixelWidth, 3999);
    EXPECT_EQ(Record().SizeMMWidth100, 203149); // 3999 px at 50 dpi

    Record().SizeDPI = 0;
    Record().SizeMode = 1;
    panel->UpdateControls(false);
    CUpDown* mm = Arrows(CTrimmingView::kIdMMWidthUpDown);
    mm->Step(+1);
    EXPECT_EQ(Text(CTrimmingView::kIdPixelWidthEdit), QStringLiteral("50")); // 0 px, held
    mm->EndScroll();
    EXPECT_EQ(Record().SizeDPI, 50);
}

// ---- Edits and arrows -------------------------------------------------------------------

TEST_F(TrimmingViewTest, MillimetreArrowsWithTheRatioFixedTakeTheSizeAtTheEnd)
{
    SetUpFor(4000, 3000, 300);
    Control<QRadioButton>(CTrimmingView::kIdMMRadio)->click();
    ASSERT_EQ(Record().SizeMode, 1);
    ASSERT_EQ(Record().SizeRatioFix, 1);
    const int changesBefore = host.Count(PanelNotify::Changed);

    CUpDown* arrows = Arrows(CTrimmingView::kIdMMWidthUpDown);
    arrows->SetPos(102);
    arrows->Step(-1);
    arrows->Step(-1);
    EXPECT_EQ(Text(CTrimmingView::kIdMMWidthEdit), QStringLiteral("100.00"));
    EXPECT_EQ(Text(CTrimmingView::kIdMMHeightEdit), QStringLiteral("75.00"));
    EXPECT_EQ(Text(CTrimmingView::kIdPixelWidthEdit), QStringLiteral("1181"));
    EXPECT_EQ(Text(CTrimmingView::kIdPixelHeightEdit), QStringLiteral("886"));
    // Not taken while the arrow is held.
    EXPECT_EQ(Record().SizePixelWidth, 4000);
    EXPECT_EQ(Record().SizeMMWidth100, 33866);

    arrows->EndScroll();
    EXPECT_EQ(Record().SizeMMWidth100, 10000);
    EXPECT_EQ(Record().SizeMMHeight100, 7500);
    EXPECT_EQ(Record().SizePixelWidth, 1181);
    EXPECT_EQ(Record().SizePixelHeight, 886);
    EXPECT_FALSE(panel->IsEditing());
    // The whole scroll is one change, undone at once.
    EXPECT_EQ(host.Count(PanelNotify::Changed), changesBefore + 1);
    panel->Undo();
    EXPECT_EQ(Record().SizePixelWidth, 4000);
    EXPECT_EQ(Text(CTrimmingView::kIdMMWidthEdit), QStringLiteral("338.66"));
}

TEST_F(TrimmingViewTest, ResolutionArrowsKeepThePixels)
{
    SetUpFor(4000, 3000, 300);
    CUpDown* arrows = Arrows(CTrimmingView::kIdDPIUpDown);
    arrows->SetPos(201);
    arrows->Step(-1);
    EXPECT_EQ(Text(CTrimmingView::kIdDPIEdit), QStringLiteral("200"));
    EXPECT_EQ(Text(CTrimmingView::kIdMMWidthEdit), QStringLiteral("508.00"));
    EXPECT_EQ(Text(CTrimmingView::kIdMMHeightEdit), QStringLiteral("381.00"));
    EXPECT_EQ(Record().SizeDPI, 300);
    arrows->EndScroll();
    EXPECT_EQ(Record().SizeDPI, 200);
    EXPECT_EQ(Record().SizePixelWidth, 4000);
    EXPECT_EQ(Record().SizePixelHeight, 3000);
    EXPECT_EQ(Record().SizeMMWidth100, 50800);
    EXPECT_EQ(Record().SizeMMHeight100, 38100);
    // The millimetre limits follow the resolution.
    EXPECT_NEAR(Edit(CTrimmingView::kIdMMWidthEdit)->RealMax, 508.0, 1e-9);
}

TEST_F(TrimmingViewTest, TypedMillimetresKeepTheirHundredths)
{
    SetUpFor(40, 30, 1200);
    Control<QRadioButton>(CTrimmingView::kIdMMRadio)->click();
    Control<QCheckBox>(CTrimmingView::kIdRatioFixCheck)->click();
    ASSERT_EQ(Record().SizeRatioFix, 0);
    for (const char* typed : {"2.30", "1.15", "8.20"})
    {
        Type(CTrimmingView::kIdMMWidthEdit, QString::fromLatin1(typed));
        EXPECT_EQ(Text(CTrimmingView::kIdMMWidthEdit), QString::fromLatin1(typed));
        EXPECT_EQ(Record().SizeMMWidth100, qRound(QString::fromLatin1(typed).toDouble() * 100))
            << typed;
    }
    EXPECT_EQ(Record().SizePixelWidth, 387); // 8.20 mm at 1200 dpi
}

TEST_F(TrimmingViewTest, TypedNumbersAreDecimal)
{
    SetUpFor(4000, 3000, 300);
    Type(CTrimmingView::kIdDPIEdit, QStringLiteral("0250"));
    EXPECT_EQ(Record().SizeDPI, 250);
    Type(CTrimmingView::kIdWidthEdit, QStringLiteral("02000"));
    EXPECT_EQ(Record().TrmWidth, 2000);
    Type(CTrimmingView::kIdLeftEdit, QStringLiteral("010"));
    EXPECT_EQ(Record().TrmPosX, 10);
    // Left is held so that the frame stays inside the image.
    Type(CTrimmingView::kIdLeftEdit, QStringLiteral("3999"));
    EXPECT_EQ(Record().TrmPosX, 2000);
}

TEST_F(TrimmingViewTest, FrameArrowsAndTypedSizesKeepTheRatio)
{
    SetUpFor(4000, 3000, 300);
    Control<QComboBox>(CTrimmingView::kIdRatioCombo)->setCurrentIndex(6); // 4:3, whole image
    Type(CTrimmingView::kIdWidthEdit, QStringLiteral("2000"));
    EXPECT_EQ(Record().TrmWidth, 2000);
    EXPECT_EQ(Record().TrmHeight, 1500);
    EXPECT_EQ(Record().SizePixelHeight, 1500);

    const int changesBefore = host.Count(PanelNotify::Changed);
    CUpDown* arrows = Arrows(CTrimmingView::kIdHeightUpDown);
    arrows->Step(+1);
    arrows->Step(+1);
    arrows->Step(+1);
    arrows->EndScroll();
    EXPECT_EQ(Record().TrmHeight, 1503);
    EXPECT_EQ(Record().TrmWidth, 2004);
    EXPECT_EQ(host.Count(PanelNotify::Changed), changesBefore + 1);

    // Left stops where the frame meets the image's right edge.
    Arrows(CTrimmingView::kIdLeftUpDown)->SetPos(1995);
    for (int i = 0; i < 5; ++i)
        Arrows(CTrimmingView::kIdLeftUpDown)->Step(+1);
    Arrows(CTrimmingView::kIdLeftUpDown)->EndScroll();
    EXPECT_EQ(Record().TrmPosX, 1996);
}

// ---- The frame on the preview ------------------------------------------------------------

TEST_F(TrimmingViewTest, DraggingTheFrameChangesTheDocumentOnRelease)
{
    LoadImage("a.tif", 400, 300);
    panel->OnEnterStep();
    Control<QComboBox>(CTrimmingView::kIdRatioCombo)->setCurrentIndex(8); // 300 x 300 at 50
    ASSERT_EQ(FrameOf(Record()), CRect(50, 0, 350, 300));
    const CRect screen(0, 0, 400, 300);
    const CRect image(0, 0, 400, 300);
    const int changesBefore = host.Count(PanelNotify::Changed);

    ASSERT_TRUE(panel->HitTest(CPoint{200, 150}, 1));
    EXPECT_EQ(panel->GetCursorId(), kCursorTrimMove);
    panel->BeginDrag(CPoint{200, 150}, screen, image);
    EXPECT_TRUE(panel->IsDragging());
    panel->Drag(CPoint{180, 150}, screen, image);
    EXPECT_EQ(panel->GetFeedbackFrame(), CRect(30, 0, 330, 300));
    EXPECT_EQ(Text(CTrimmingView::kIdLeftEdit), QStringLiteral("30"));
    EXPECT_EQ(Record().TrmPosX, 50); // taken on release only
    panel->EndDrag(CPoint{100, 150});
    EXPECT_FALSE(panel->IsDragging());
    EXPECT_EQ(FrameOf(Record()), CRect(0, 0, 300, 300)); // pushed back inside, size kept
    ASSERT_NE(PreviewDoc(), nullptr);
    EXPECT_EQ(FrameOf(PreviewDoc()->GetTrimRecord()), CRect(0, 0, 300, 300));
    EXPECT_EQ(host.Count(PanelNotify::Changed), changesBefore + 1);

    // A corner of the square keeps it square.
    ASSERT_TRUE(panel->HitTest(CPoint{300, 300}, 1));
    EXPECT_EQ(panel->GetCursorId(), kCursorTrimDiagonalDown);
    panel->BeginDrag(CPoint{300, 300}, screen, image);
    panel->Drag(CPoint{250, 200}, screen, image);
    panel->EndDrag(CPoint{250, 200});
    EXPECT_EQ(FrameOf(Record()), CRect(0, 0, 200, 200));
    EXPECT_EQ(Record().SizePixelWidth, 200);

    panel->Undo();
    EXPECT_EQ(FrameOf(Record()), CRect(0, 0, 300, 300));
    EXPECT_EQ(FrameOf(PreviewDoc()->GetTrimRecord()), CRect(0, 0, 300, 300));

    // A release the view has no image point for takes the frame last shown.
    ASSERT_TRUE(panel->HitTest(CPoint{150, 150}, 1));
    panel->BeginDrag(CPoint{150, 150}, screen, image);
    panel->Drag(CPoint{200, 150}, screen, image);
    panel->EndDrag(CPoint{-1, -1});
    EXPECT_EQ(FrameOf(Record()), CRect(50, 0, 350, 300));
}

TEST_F(TrimmingViewTest, AFreeFrameOnTheWholeImageIsDrawnAnew)
{
    LoadImage("a.tif", 400, 300);
    panel->OnEnterStep();
    const CRect screen(0, 0, 400, 300);
    ASSERT_TRUE(panel->HitTest(CPoint{100, 80}, 1));
    EXPECT_EQ(panel->GetCursorId(), kCursorTrimNewFrame);
    panel->BeginDrag(CPoint{100, 80}, screen, screen);
    panel->Drag(CPoint{300, 230}, screen, screen);
    EXPECT_EQ(panel->GetFeedbackFrame(), CRect(100, 80, 300, 230));
    // Too small a frame is not taken: the last valid one stays.
    panel->Drag(CPoint{120, 90}, screen, screen);
    EXPECT_EQ(panel->GetFeedbackFrame(), CRect(100, 80, 300, 230));
    EXPECT_EQ(Text(CTrimmingView::kIdWidthEdit), QStringLiteral("200"));
    panel->EndDrag(CPoint{110, 85});
    EXPECT_EQ(FrameOf(Record()), CRect(100, 80, 300, 230));
    EXPECT_EQ(Record().SizePixelWidth, 200);
    EXPECT_EQ(Record().SizePixelHeight, 150);

    // Only the after view takes the frame.
    m_project->SetCompareMode(kCompareBefore);
    EXPECT_FALSE(panel->HitTest(CPoint{200, 150}, 1));
    EXPECT_EQ(panel->GetCursorId(), 0);
}

TEST_F(TrimmingViewTest, TheFrameIsDrawnWithHandlesAndGuides)
{
    LoadImage("a.tif", 400, 300);
    panel->OnEnterStep();
    const CRect screen(0, 0, 400, 300);
    const auto paint = [&] {
        QImage canvas(400, 300, QImage::Format_RGB32);
        canvas.fill(kBlack);
        QPainter painter(&canvas);
        panel->Draw(painter, screen, screen);
        return canvas;
    };
    const auto whitePixels = [](const QImage& image) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += image.pixel(x, y) == kWhite ? 1 : 0;
        return n;
    };
    // Free on the whole image: nothing to show.
    EXPECT_EQ(whitePixels(paint()), 0);

    Control<QComboBox>(CTrimmingView::kIdRatioCombo)->setCurrentIndex(8); // (50,0)-(350,300)
    const QImage drawn = paint();
    // The left edge's handle: a black square in a white outline.
    EXPECT_EQ(drawn.pixel(50, 150), kBlack);
    EXPECT_EQ(drawn.pixel(46, 150), kWhite);
    EXPECT_EQ(drawn.pixel(54, 150), kWhite);
    EXPECT_EQ(drawn.pixel(50, 146), kWhite);
    EXPECT_EQ(drawn.pixel(200, 4), kWhite); // the top edge's handle, cut at the image
    // The dotted guide of the left edge runs the image's whole height.
    int guide = 0;
    for (int y = 160; y < 300; ++y)
        guide += drawn.pixel(50, y) == kWhite ? 1 : 0;
    EXPECT_GT(guide, 20);
    EXPECT_EQ(drawn.pixel(48, 200), kBlack);
    // The crosshair at the centre, 15 pixels each way.
    int cross = 0;
    for (int x = 185; x <= 215; ++x)
        cross += drawn.pixel(x, 150) == kWhite ? 1 : 0;
    EXPECT_GT(cross, 5);
    EXPECT_EQ(drawn.pixel(230, 150), kBlack);

    // While dragging, the frame it would give shows as well.
    panel->HitTest(CPoint{200, 150}, 1);
    panel->BeginDrag(CPoint{200, 150}, screen, screen);
    panel->Drag(CPoint{170, 150}, screen, screen);
    const QImage dragging = paint();
    int feedback = 0; // the moved frame's left guide, in the drag's pen
    for (int y = 0; y < 300; ++y)
        feedback += dragging.pixel(20, y) != kBlack ? 1 : 0;
    EXPECT_GT(feedback, 10);
    panel->EndDrag(CPoint{170, 150});

    // The before view shows no frame.
    m_project->SetCompareMode(kCompareBefore);
    EXPECT_EQ(whitePixels(paint()), 0);
}

TEST(TrimmingViewCursors, EveryHandleHasItsOwnCursor)
{
    for (const int id : {kCursorTrimDiagonalDown, kCursorTrimDiagonalUp, kCursorTrimVertical,
                         kCursorTrimHorizontal, kCursorTrimMove, kCursorTrimNewFrame})
    {
        const QCursor cursor = LoadCursorResource(id);
        EXPECT_EQ(cursor.shape(), Qt::BitmapCursor) << id;
        EXPECT_EQ(cursor.pixmap().size(), QSize(32, 32)) << id;
        EXPECT_TRUE(QRect(0, 0, 32, 32).contains(cursor.hotSpot())) << id;
        for (const int other : {kCursorTrimDiagonalDown, kCursorTrimDiagonalUp, kCursorTrimVertical,
                                kCursorTrimHorizontal, kCursorTrimMove, kCursorTrimNewFrame})
        {
            if (other != id)
            {
                EXPECT_NE(cursor.pixmap().toImage(), LoadCursorResource(other).pixmap().toImage())
                    << id << " " << other;
            }
        }
    }
}

// ---- Settings, custom ratios, reset ------------------------------------------------------

TEST_F(TrimmingViewTest, CustomRatiosFromTheSettingsAndTheirDialog)
{
    const std::string ini = m_dir.File("settings.ini");
    {
        CIniFile file(ini);
        file.SetInt("TrimmingView", "CustomRatioWidth1", 3);
        file.SetInt("TrimmingView", "CustomRatioHeight1", 2);
        file.SetInt("TrimmingView", "CustomRatioWidth2", 1200);
        file.SetInt("TrimmingView", "CustomRatioHeight2", 5);
        file.SetInt("TrimmingView", "CustomRatioWidth3", 1);
        file.SetInt("TrimmingView", "CustomRatioHeight3", 11);
    }
    panel->LoadSettings(ini);
    EXPECT_EQ(panel->GetCustomRatios(),
              (trimming::CustomRatios{trimming::Ratio{3, 2}, trimming::Ratio{1, 5},
                                      trimming::Ratio{1, 1}}));

    SetUpFor(4000, 3000, 300);
    auto* button = Control<QPushButton>(CTrimmingView::kIdCustomRatioButton);
    EXPECT_FALSE(button->isEnabled());
    Control<QComboBox>(CTrimmingView::kIdRatioCombo)->setCurrentIndex(11);
    EXPECT_TRUE(button->isEnabled());
    EXPECT_EQ(FrameOf(Record()), CRect(0, 166, 4000, 2833)); // 3:2
    ASSERT_TRUE(panel->CanUndo());

    QString shownName;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<CHVRatioDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        shownName = dialog->findChild<QLabel*>(QStringLiteral("1293"))->text();
        dialog->findChild<QSpinBox*>(QStringLiteral("1294"))->setValue(1);
        dialog->findChild<QSpinBox*>(QStringLiteral("1295"))->setValue(1);
        dialog->accept();
    });
    button->click();
    EXPECT_TRUE(shownName.contains(QStringLiteral("カスタム1")));
    EXPECT_EQ(panel->GetCustomRatios()[0], (trimming::Ratio{1, 1}));
    EXPECT_EQ(FrameOf(Record()), CRect(500, 0, 3500, 3000));
    // The old frame belongs to a ratio that is gone: no undo, no redo.
    EXPECT_FALSE(panel->CanUndo());
    EXPECT_FALSE(panel->CanRedo());
}

TEST_F(TrimmingViewTest, ResetPutsTheFrameBackOnTheImage)
{
    LoadImage("a.tif", 400, 300);
    panel->OnEnterStep();
    Control<QComboBox>(CTrimmingView::kIdRatioCombo)->setCurrentIndex(7);
    Type(CTrimmingView::kIdDPIEdit, QStringLiteral("600"));
    const int changesBefore = host.Count(PanelNotify::Changed);
    Control<QPushButton>(kIdResetButton)->click();
    EXPECT_EQ(FrameOf(Record()), CRect(0, 0, 400, 300));
    EXPECT_EQ(Record().OrgWidth, 400);
    EXPECT_EQ(Record().TrmRatioType, 9);
    EXPECT_EQ(Record().SizeDPI, 300);
    EXPECT_EQ(host.Count(PanelNotify::Changed), changesBefore + 1);
    EXPECT_EQ(FrameOf(PreviewDoc()->GetTrimRecord()), CRect(0, 0, 400, 300));
    panel->Undo();
    EXPECT_EQ(Record().SizeDPI, 600);
}

TEST_F(TrimmingViewTest, ImportedParametersAreFittedToTheImage)
{
    LoadImage("a.tif", 400, 300);
    const std::string other = m_dir.File("other.qzp");
    const std::string same = m_dir.File("same.qzp");
    CTrimmingDoc& projectDoc = m_project->GetTrimmingDoc();
    projectDoc.SetOriginalSize(true, 800, 600, 300);
    projectDoc.GetTrimRecord().TrmRatioType = 8;
    projectDoc.GetTrimRecord().TrmPosX = 100;
    projectDoc.GetTrimRecord().TrmWidth = 600;
    ASSERT_TRUE(m_project->SaveParamFile(other));
    projectDoc.SetOriginalSize(true, 400, 300, 300);
    projectDoc.GetTrimRecord().TrmRatioType = 8;
    projectDoc.GetTrimRecord().TrmPosX = 50;
    projectDoc.GetTrimRecord().TrmWidth = 300;
    ASSERT_TRUE(m_project->SaveParamFile(same));
    projectDoc.Reset();

    panel->OnEnterStep();
    // Set up for another size: the frame goes back on the whole image.
    ASSERT_TRUE(panel->ImportParameters(other));
    EXPECT_EQ(FrameOf(Record()), CRect(0, 0, 400, 300));
    EXPECT_EQ(Record().TrmRatioType, 9);
    EXPECT_EQ(Record().OrgWidth, 400);
    // Set up for this size: taken as it is.
    ASSERT_TRUE(panel->ImportParameters(same));
    EXPECT_EQ(FrameOf(Record()), CRect(50, 0, 350, 300));
    EXPECT_EQ(Record().TrmRatioType, 8);
    EXPECT_EQ(Text(CTrimmingView::kIdLeftEdit), QStringLiteral("50"));
    EXPECT_EQ(FrameOf(PreviewDoc()->GetTrimRecord()), CRect(50, 0, 350, 300));
    panel->Undo();
    EXPECT_EQ(FrameOf(Record()), CRect(0, 0, 400, 300));
}

// ---- Preview, undo, Cancel and OK ---------------------------------------------------------

TEST_F(TrimmingViewTest, AChangeShowsOnThePreviewAndUndoTakesItBack)
{
    LoadImage("a.tif", 160, 120);
    panel->OnEnterStep();
    const std::vector<std::uint8_t> before = steppaneltest::RenderAfterPreview(*m_project);
    Control<QComboBox>(CTrimmingView::kIdRatioCombo)->setCurrentIndex(8);
    ASSERT_NE(PreviewDoc(), nullptr);
    EXPECT_EQ(FrameOf(PreviewDoc()->GetTrimRecord()), CRect(20, 0, 140, 120));
    const std::vector<std::uint8_t> changed = steppaneltest::RenderAfterPreview(*m_project);
    EXPECT_NE(changed, before); // outside the frame is darkened
    panel->Undo();
    EXPECT_EQ(FrameOf(PreviewDoc()->GetTrimRecord()), CRect(0, 0, 160, 120));
    EXPECT_EQ(steppaneltest::RenderAfterPreview(*m_project), before);
}

TEST_F(TrimmingViewTest, CancelLeavesTheProjectAndOkCommits)
{
    LoadImage("a.tif", 160, 120);
    const std::unique_ptr<CBaseDoc> original = m_project->GetTrimmingDoc().Clone();
    panel->OnEnterStep();
    Control<QComboBox>(CTrimmingView::kIdRatioCombo)->setCurrentIndex(8);
    const int rebuilds = m_view.rebuilds;
    Control<QPushButton>(kIdCancelButton)->click();
    EXPECT_TRUE(m_project->GetTrimmingDoc().IsEqual(*original));
    EXPECT_EQ(m_project->GetPreviewDoc(), nullptr);
    EXPECT_EQ(m_view.rebuilds, rebuilds + 1);

    panel->OnEnterStep();
    Control<QComboBox>(CTrimmingView::kIdRatioCombo)->setCurrentIndex(8);
    Control<QPushButton>(kIdOkButton)->click();
    EXPECT_TRUE(m_project->GetTrimmingDoc().IsEqual(panel->Doc()));
    EXPECT_EQ(FrameOf(m_project->GetTrimmingDoc().GetTrimRecord()), CRect(20, 0, 140, 120));
    EXPECT_EQ(m_project->GetPreviewDoc(), nullptr);
}

} // namespace
