// The chart-correction panel on the real project: documents it cannot show
// replaced by the defaults on entering, the controls and the document in
// both directions, measuring from the image (greys dark to light), one
// undo state per run of the count arrows, the drag-item face (which item a
// press takes, nothing with the chart off or the uncorrected view), the
// grids' clicks, and the edit pattern with the preview, undo, Cancel and
// OK (an edited table is stored).

#include "app/panels/chart/ChartView.h"

#include "app/panels/chart/ChartViewLogic.h"
#include "app/shell/KeyState.h"
#include "controls/dialogs/ColorSearchDlg.h"
#include "controls/dialogs/DialogCodes.h"
#include "controls/dialogs/EditChartDlg.h"
#include "controls/widgets/ColorCheckerCtrl.h"
#include "controls/widgets/EditEx.h"
#include "controls/widgets/UpDown.h"
#include "tests/correction/ProjectTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

class FakeKeys final : public IKeyState
{
public:
    bool spaceBarDown() const override { return false; }
    Qt::KeyboardModifiers modifiersDown() const override { return held; }
    Qt::KeyboardModifiers held = Qt::NoModifier;
};

int Count(const std::vector<int>& codes, PanelNotify code)
{
    return static_cast<int>(std::count(codes.begin(), codes.end(), static_cast<int>(code)));
}

class ChartViewTest : public projecttest::ProjectFixture
{
protected:
    ChartViewTest() : m_policy(StepEditionPolicy::AllStepsEnabled)
    {
        auto* layout = new QVBoxLayout(&m_host);
        m_panel = new CChartView(&m_host);
        layout->addWidget(m_panel);
        m_host.resize(400, 1100);
        m_panel->SetProject(m_project.get());
        m_panel->SetNotifyMessage(UWM_CHARTVIEW_NOTIFY);
        m_panel->SetKeyState(&m_keys);
        QObject::connect(m_panel->Notifier(), &CViewNotifier::notify, m_panel,
                         [this](int, int code, qint64) {
                             m_codes.push_back(code);
                             if (code == static_cast<int>(PanelNotify::Ok) ||
                                 code == static_cast<int>(PanelNotify::Cancel))
                                 m_panel->OnLeaveStep(code == static_cast<int>(PanelNotify::Ok));
                         });
    }

    void Show()
    {
        m_host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_host));
    }

    void LoadImage()
    {
        Load(AddTiff("chart.tif", 120, 90));
        ASSERT_TRUE(m_project->IsImageReady());
    }

    template <class T> T* Child(const char* id)
    {
        T* child = m_panel->findChild<T*>(QString::fromLatin1(id));
        EXPECT_NE(child, nullptr) << id;
        return child;
    }

    const ChartParams& Params() const { return m_panel->Document().GetParams(); }

    const CChartDoc* PreviewDoc() const
    {
        return dynamic_cast<const CChartDoc*>(m_project->GetPreviewDoc());
    }

    ScopedStepEditionPolicy m_policy;
    QWidget m_host;
    CChartView* m_panel = nullptr;
    FakeKeys m_keys;
    std::vector<int> m_codes;
};

TEST_F(ChartViewTest, DocumentsThePanelCannotShowStartFromTheDefaults)
{
    LoadImage();
    struct Case
    {
        const char* what;
        int grayColumns;
        int colorRows;
        int colorColumns;
        bool kept;
    };
    const Case cases[] = {
        {"21 grey patches", 21, 3, 6, false},
        {"grey table of two rows", 0, 3, 6, false},
        {"colour tables 7 x 2", 12, 2, 7, false},
        {"12 greys, 6 x 4 colours", 12, 4, 6, true},
        {"1 grey, 3 x 1 colours", 1, 1, 3, true},
    };
    for (const Case& c : cases)
    {
        CChartDoc& project = m_project->GetChartDoc();
        project.Reset();
        project.GetParams().AdjustBlackLevel = 1;
        if (c.grayColumns > 0)
            project.SetGrayScaleCount(c.grayColumns, CCIEXYZ(10.0, 10.0, 10.0));
        else
            project.GetParams().grayScaleTable.Resize(2, 6, CCIEXYZ());
        project.SetColorChartSize(c.colorRows, c.colorColumns, CCIEXYZ(5.0, 5.0, 5.0));
        m_panel->OnEnterStep();
        if (c.kept)
        {
            EXPECT_TRUE(m_panel->Document().IsEqual(project)) << c.what;
            EXPECT_EQ(Child<CEditEx>("1043")->GetInt(), c.grayColumns) << c.what;
            int layout = -1;
            ASSERT_TRUE(chartview::FindChartLayout(c.colorRows, c.colorColumns, layout));
            EXPECT_EQ(Child<QComboBox>("1051")->currentIndex(), layout) << c.what;
        }
        else
        {
            EXPECT_TRUE(m_panel->Document().IsEqual(CChartDoc())) << c.what;
            EXPECT_EQ(Child<CEditEx>("1043")->GetInt(), 6) << c.what;
            EXPECT_EQ(Child<QComboBox>("1051")->currentIndex(), 13) << c.what;
        }
        // The project previews what the panel holds.
        ASSERT_NE(PreviewDoc(), nullptr);
        EXPECT_TRUE(PreviewDoc()->IsEqual(m_panel->Document())) << c.what;
        m_panel->OnLeaveStep(false);
    }
}

TEST_F(ChartViewTest, ControlsFollowTheDocumentAndTheItemsTheImage)
{
    LoadImage();
    CChartDoc& project = m_project->GetChartDoc();
    project.GetParams().UseGrayScale = 0;
    project.SetGrayScaleCount(9, CCIEXYZ());
    project.SetColorChartSize(2, 5, CCIEXYZ());
    m_panel->OnEnterStep();

    EXPECT_FALSE(Child<QCheckBox>("1042")->isChecked());
    for (const char* id : {"1045", "1043", "1044", "1038", "1046", "1047"})
        EXPECT_FALSE(Child<QWidget>(id)->isEnabled()) << id;
    EXPECT_TRUE(Child<QCheckBox>("1050")->isChecked());
    for (const char* id : {"1052", "1051", "1039", "1054", "1056", "1057"})
        EXPECT_TRUE(Child<QWidget>(id)->isEnabled()) << id;
    EXPECT_EQ(Child<QComboBox>("1051")->currentText(), QStringLiteral("5 x 2"));
    EXPECT_EQ(Child<CUpDown>("1044")->GetPos(), 9);
    // The grids show the tables' shapes; the items span the image.
    EXPECT_EQ(Child<CColorCheckerCtrl>("1048")->Cells.GetColumns(), 9);
    EXPECT_EQ(Child<CColorCheckerCtrl>("1049")->Cells.GetColumns(), 9);
    EXPECT_EQ(Child<CColorCheckerCtrl>("1053")->Cells.GetRows(), 2);
    EXPECT_EQ(Child<CColorCheckerCtrl>("1055")->Cells.GetColumns(), 5);
    EXPECT_EQ(m_panel->GrayItem().Geometry().ImageRect(), CRect(0, 0, 120, 90));
    EXPECT_EQ(m_panel->GrayItem().Geometry().Columns(), 9);
    EXPECT_EQ(m_panel->ColorItem().Geometry().Rows(), 2);
    EXPECT_EQ(m_panel->ColorItem().Geometry().Columns(), 5);

    // Choosing a layout gives the tables its shape, with one undo state.
    m_codes.clear();
    QComboBox* list = Child<QComboBox>("1051");
    list->setCurrentIndex(14);
    emit list->activated(14);
    EXPECT_EQ(Params().colorChartTable.GetRows(), 4);
    EXPECT_EQ(Params().colorChartReference.GetColumns(), 6);
    EXPECT_EQ(m_panel->ColorItem().Geometry().Rows(), 4);
    EXPECT_EQ(Count(m_codes, PanelNotify::Changed), 1);
    m_panel->Undo();
    EXPECT_EQ(Params().colorChartTable.GetRows(), 2);
    EXPECT_EQ(list->currentIndex(), 8);

    // Free placement of the grey patches follows its box.
    Child<QCheckBox>("1042")->click();
    ASSERT_EQ(Params().UseGrayScale, 1);
    Child<QCheckBox>("1045")->click();
    EXPECT_TRUE(m_panel->GrayItem().Geometry().IsFreePlacement());
}

TEST_F(ChartViewTest, CountArrowsMakeOneUndoStatePerRun)
{
    LoadImage();
    m_panel->OnEnterStep();
    m_codes.clear();
    CUpDown* arrows = Child<CUpDown>("1044");
    arrows->Step(1);
    arrows->Step(1);
    arrows->Step(1);
    EXPECT_EQ(Child<CEditEx>("1043")->GetInt(), 9);
    EXPECT_EQ(Params().grayScaleTable.GetColumns(), 6); // taken when let go
    arrows->EndScroll();
    EXPECT_EQ(Params().grayScaleTable.GetColumns(), 9);
    EXPECT_EQ(m_panel->GrayItem().Geometry().Columns(), 9);
    EXPECT_EQ(Count(m_codes, PanelNotify::Changed), 1);
    m_panel->Undo();
    EXPECT_EQ(Params().grayScaleTable.GetColumns(), 6);

    // A typed count: its own undo state.
    m_codes.clear();
    CEditEx* edit = Child<CEditEx>("1043");
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("25"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(Params().grayScaleTable.GetColumns(), 20);
    EXPECT_EQ(Count(m_codes, PanelNotify::Changed), 1);
}

TEST_F(ChartViewTest, MeasuringTakesThePatchesFromTheImage)
{
    LoadImage();
    m_panel->OnEnterStep();
    // The grey patches, placed one by one, come out dark to light.
    CChartDragItem& gray = m_panel->GrayItem();
    gray.SetFreePlacement(true);
    Child<QCheckBox>("1045")->setChecked(true);
    T2DArray<CPoint> before;
    gray.GetPatchPoints(before);
    ASSERT_EQ(before.GetColumns(), 6);
    m_codes.clear();
    m_panel->MeasureGray();
    EXPECT_EQ(Count(m_codes, PanelNotify::Changed), 1);
    const T2DArray<CCIEXYZ>& greys = Params().grayScaleTable;
    ASSERT_EQ(greys.GetColumns(), 6);
    for (int i = 1; i < greys.GetColumns(); ++i)
        EXPECT_LE(greys.GetAt(0, i - 1)[1], greys.GetAt(0, i)[1]) << i;
    EXPECT_FALSE(CChartDoc::IsZeroXYZTable(greys));

    m_panel->MeasureColor(false);
    EXPECT_FALSE(CChartDoc::IsZeroXYZTable(Params().colorChartTable));
    EXPECT_TRUE(CChartDoc::IsZeroXYZTable(Params().colorChartReference));
    m_panel->MeasureColor(true);
    EXPECT_TRUE(CChartDoc::IsEqualXYZTable(Params().colorChartTable, Params().colorChartReference));

    // Reversing twice restores the measured table.
    const T2DArray<CCIEXYZ> measured = Params().colorChartTable;
    m_panel->ReverseColorTable(false);
    EXPECT_FALSE(CChartDoc::IsEqualXYZTable(Params().colorChartTable, measured));
    m_panel->ReverseColorTable(false);
    EXPECT_TRUE(CChartDoc::IsEqualXYZTable(Params().colorChartTable, measured));

    // Nothing is measured while the uncorrected image is shown.
    m_project->SetCompareMode(kCompareBefore);
    const ChartParams kept = Params();
    m_codes.clear();
    m_panel->MeasureColor(false);
    EXPECT_EQ(Params(), kept);
    EXPECT_TRUE(m_codes.empty());
}

TEST_F(ChartViewTest, DragFaceHandsPressesToTheItemInUse)
{
    LoadImage();
    m_panel->OnEnterStep();
    CBaseDragItem* face = m_panel->GetDragItem();
    ASSERT_EQ(face, static_cast<CBaseDragItem*>(m_panel));
    const CPoint grayCorner = m_panel->GrayItem().Geometry().Corners().GetAt(0, 0);
    const CPoint colorCorner = m_panel->ColorItem().Geometry().Corners().GetAt(1, 1);

    // A grey corner moved by a drag.
    ASSERT_TRUE(face->HitTest(grayCorner, 1));
    face->BeginDrag(grayCorner, CRect(0, 0, 120, 90), CRect(0, 0, 120, 90));
    EXPECT_TRUE(face->IsDragging());
    face->Drag(CPoint{grayCorner.x + 5, grayCorner.y + 3}, CRect(0, 0, 120, 90),
               CRect(0, 0, 120, 90));
    face->EndDrag(CPoint{grayCorner.x + 5, grayCorner.y + 3});
    EXPECT_FALSE(face->IsDragging());
    EXPECT_EQ(m_panel->GrayItem().Geometry().Corners().GetAt(0, 0),
              (CPoint{grayCorner.x + 5, grayCorner.y + 3}));

    EXPECT_TRUE(face->HitTest(colorCorner, 1));
    EXPECT_FALSE(face->HitTest(CPoint{60, 45}, 1)); // between the items

    // The colour chart off: its item is not hit.
    Child<QCheckBox>("1050")->click();
    ASSERT_EQ(Params().UseColorChart, 0);
    EXPECT_FALSE(face->HitTest(colorCorner, 1));
    // Nothing is hit while the uncorrected image shows.
    m_project->SetCompareMode(kCompareBefore);
    EXPECT_FALSE(face->HitTest(m_panel->GrayItem().Geometry().Corners().GetAt(0, 0), 1));
}

TEST_F(ChartViewTest, GridClicksEditTheTableOnlyWithTheColourChartOn)
{
    Show();
    LoadImage();
    m_panel->OnEnterStep();
    m_panel->MeasureColor(false);
    const T2DArray<CCIEXYZ> measured = Params().colorChartTable;
    CColorCheckerCtrl* grid = Child<CColorCheckerCtrl>("1053");

    // Each click runs one dialog; `act` does the user's part in it.
    int opened = 0;
    const auto onDialog = [&opened](std::function<void(QDialog&)> act) {
        QTimer::singleShot(0, [&opened, act] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            ++opened;
            act(*dialog);
        });
    };
    const auto click = [grid](int row, int column) {
        emit grid->notify(UWM_CHART_IMAGE_CHECKER, CColorCheckerCtrl::kCellClicked,
                          (row << 16) | column);
    };
    const auto changedCells = [this, &measured] {
        int changed = 0;
        for (int r = 0; r < measured.GetRows(); ++r)
            for (int c = 0; c < measured.GetColumns(); ++c)
                changed += Params().colorChartTable.GetAt(r, c) == measured.GetAt(r, c) ? 0 : 1;
        return changed;
    };

    // A plain click opens the chart editor on the whole table; Cancel, or
    // OK with the table as it was, changes nothing and saves no undo state.
    m_codes.clear();
    onDialog([](QDialog& dialog) {
        EXPECT_NE(qobject_cast<CEditChartDlg*>(&dialog), nullptr);
        dialog.reject();
    });
    click(1, 2);
    onDialog([](QDialog& dialog) { dialog.accept(); });
    click(0, 0);
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(changedCells(), 0);
    EXPECT_TRUE(m_codes.empty());

    // Ctrl-click: the colour search on the clicked patch changes that one.
    m_keys.held = Qt::ControlModifier;
    CCIEXYZ chosen;
    onDialog([&chosen](QDialog& dialog) {
        auto* search = qobject_cast<CColorSearchDlg*>(&dialog);
        ASSERT_NE(search, nullptr);
        search->SetStartColor(CCIEXYZ(30.0, 20.0, 10.0));
        chosen = search->GetResultColor();
        search->accept();
    });
    click(1, 2);
    EXPECT_EQ(changedCells(), 1);
    EXPECT_NEAR(chosen[1], 20.0, 0.01);
    EXPECT_TRUE(Params().colorChartTable.GetAt(1, 2) == chosen);
    EXPECT_EQ(Count(m_codes, PanelNotify::Changed), 1);
    m_panel->Undo();
    EXPECT_EQ(changedCells(), 0);

    // A plain click with the lightness raised changes them all.
    m_keys.held = Qt::NoModifier;
    m_codes.clear();
    onDialog([](QDialog& dialog) {
        auto* lightness = dialog.findChild<QSlider*>(QStringLiteral("1134"));
        ASSERT_NE(lightness, nullptr);
        lightness->setValue(lightness->value() + 20);
        dialog.accept();
    });
    click(0, 0);
    EXPECT_EQ(changedCells(), measured.GetRows() * measured.GetColumns());
    EXPECT_EQ(Count(m_codes, PanelNotify::Changed), 1);
    EXPECT_EQ(opened, 4);

    // The mouse over a grid shows the hints.
    emit grid->notify(UWM_CHART_IMAGE_CHECKER, CColorCheckerCtrl::kHover, 1);
    EXPECT_TRUE(Child<QLabel>("1058")->isVisible());
    EXPECT_TRUE(Child<QLabel>("1059")->isVisible());
    emit grid->notify(UWM_CHART_IMAGE_CHECKER, CColorCheckerCtrl::kHover, 0);
    EXPECT_FALSE(Child<QLabel>("1058")->isVisible());

    // The colour chart off: clicks open nothing.
    Child<QCheckBox>("1050")->click();
    emit grid->notify(UWM_CHART_TARGET_CHECKER, CColorCheckerCtrl::kCellClicked, 0);
    click(0, 0);
    EXPECT_EQ(opened, 4);
}

TEST_F(ChartViewTest, ChangeReachesThePreviewUndoRestoresCancelKeepsOkCommits)
{
    LoadImage();
    m_panel->OnEnterStep();
    const CChartDoc original = m_project->GetChartDoc();
    ASSERT_NE(PreviewDoc(), nullptr);
    ASSERT_EQ(PreviewDoc()->GetParams().AdjustWhiteLevel, 0);

    m_codes.clear();
    Child<QCheckBox>("1047")->click();
    EXPECT_EQ(Count(m_codes, PanelNotify::Changed), 1);
    ASSERT_NE(PreviewDoc(), nullptr);
    EXPECT_EQ(PreviewDoc()->GetParams().AdjustWhiteLevel, 1);
    m_panel->Undo();
    EXPECT_EQ(Params().AdjustWhiteLevel, 0);
    EXPECT_FALSE(Child<QCheckBox>("1047")->isChecked());
    EXPECT_EQ(PreviewDoc()->GetParams().AdjustWhiteLevel, 0);

    // Cancel keeps the project's document.
    m_panel->MeasureColor(true);
    Child<QPushButton>("1210")->click();
    EXPECT_EQ(Count(m_codes, PanelNotify::Cancel), 1);
    EXPECT_TRUE(m_project->GetChartDoc().IsEqual(original));
    EXPECT_EQ(m_project->GetPreviewDoc(), nullptr);

    // OK stores an edited document: the measured tables and a switch.
    m_panel->OnEnterStep();
    m_panel->MeasureColor(false);
    m_panel->MeasureGray();
    Child<QCheckBox>("1046")->click();
    const CChartDoc edited = m_panel->Document();
    ASSERT_FALSE(edited.IsEqual(original));
    Child<QPushButton>("1209")->click();
    const CChartDoc& stored = m_project->GetChartDoc();
    EXPECT_TRUE(stored.IsEqual(edited));
    EXPECT_EQ(stored.GetParams().AdjustBlackLevel, 1);
    EXPECT_TRUE(CChartDoc::IsEqualXYZTable(stored.GetParams().colorChartTable,
                                           edited.GetParams().colorChartTable));
    EXPECT_FALSE(CChartDoc::IsZeroXYZTable(stored.GetParams().grayScaleTable));
}

} // namespace
