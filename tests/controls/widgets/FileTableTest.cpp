// The file table: its layout rules from tables, then a table of 40 rows
// (the first five with entries) driven by mouse and keys as the file-list
// panel uses it, and its rows painted.

#include "controls/support/StringTable.h"
#include "controls/widgets/FileTableCtrl.h"
#include "controls/widgets/FileTableLogic.h"
#include "imagefile/ImageFileInfo.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include "tests/controls/NotifySpy.h"

#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <array>
#include <tuple>
#include <vector>

namespace {

constexpr int kMessage = 0x464;

// ---- layout rules -------------------------------------------------------------

TEST(FileTableLogic, RowHeights)
{
    EXPECT_EQ(filetable::RowHeight(0), 20);
    EXPECT_EQ(filetable::RowHeight(1), 80);
    EXPECT_EQ(filetable::RowHeight(2), 180);
    EXPECT_EQ(filetable::RowHeight(7), 20);
}

TEST(FileTableLogic, FitThumbnail)
{
    using filetable::Box;
    struct Case
    {
        Box cell;
        int width, height;
        Box expected;
    };
    const Case cases[] = {
        // Space 164 x 157: a landscape picture fills the width, centred.
        {{0, 0, 170, 180}, 400, 300, {3, 20 + (157 - 123) / 2, 164, 123}},
        // A portrait picture fills the height, at the left.
        {{0, 0, 170, 180}, 300, 400, {3, 20, 117, 157}},
        // Square: the height (the smaller side of the space) limits it.
        {{10, 100, 170, 180}, 50, 50, {13, 120 + (157 - 157) / 2, 157, 157}},
        // A flat row (space 164 x 57): a landscape picture is limited by the
        // height and stays inside.
        {{0, 0, 170, 80}, 400, 300, {3, 20, 76, 57}},
        {{0, 0, 170, 20}, 400, 300, {}},  // no room under the text line
        {{0, 0, 170, 180}, 0, 300, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(filetable::FitThumbnail(c.cell, c.width, c.height), c.expected)
            << c.width << "x" << c.height << " in " << c.cell.width << "x" << c.cell.height;
}

TEST(FileTableLogic, FileNameMarking)
{
    using filetable::NameMarking;
    struct Case
    {
        int type, error, state;
        NameMarking expected;
    };
    const Case cases[] = {
        {kImageFileJpeg, 0, kLoadStateDone, {0, false}},
        {kImageFileJpeg, 1, kLoadStateNoMemory, {0, true}},
        {kImageFileTiff16, 1, kLoadStateConverter, {0, true}},
        {kImageFileRaw, 0, kLoadStateDone, {filetable::kStrConverting, false}},
        {kImageFileRaw, 1, kLoadStateConverter, {filetable::kStrConversionError, false}},
        {kImageFileRaw, 0, kLoadStateConverter, {filetable::kStrConverting, false}},
        {kImageFileRaw, 1, kLoadStateOther, {filetable::kStrConverting, true}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(filetable::MarkFileName(c.type, c.error, c.state), c.expected)
            << c.type << " " << c.error << " " << c.state;
    EXPECT_EQ(LoadString(filetable::kStrConverting), QString::fromUtf8("変換中： "));
    EXPECT_EQ(LoadString(filetable::kStrConversionError), QString::fromUtf8("変換エラー： "));
}

TEST(FileTableLogic, StepTarget)
{
    struct Case
    {
        int current;
        bool up;
        int rows, wrap, expected;
    };
    const Case cases[] = {
        {3, true, 40, 5, 2},   {3, false, 40, 5, 4},  {0, true, 40, 5, 4},  // wraps to the owner's count
        {0, true, 40, 40, 39}, {39, false, 40, 5, -1},                      // stops at the last row
        {0, true, 40, 0, -1},  {0, true, 40, 90, -1},                       // a wrap outside the table
        {-1, false, 40, 5, -1}, {40, true, 40, 5, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(filetable::StepTarget(c.current, c.up, c.rows, c.wrap), c.expected)
            << c.current << (c.up ? " up" : " down");
}

// ---- the table -------------------------------------------------------------------

class FileTable : public testing::Test
{
protected:
    static constexpr int kEntries = 5;
    static constexpr int kRows = 40;

    void SetUp() override
    {
        table.resize(860, 300);
        table.setNotifyMessage(kMessage);
        table.InsertColumn(0, QStringLiteral("NO."), Qt::AlignLeft, 40);
        table.InsertColumn(1, QStringLiteral("Name"), Qt::AlignLeft, 170);
        table.InsertColumn(2, QStringLiteral("LUT"), Qt::AlignLeft, 100);
        table.InsertColumn(3, QStringLiteral("Path"), Qt::AlignLeft, 540);
        CFileTableModel* model = table.fileModel();
        model->setRowTotal(kRows);
        for (int i = 0; i < kEntries; ++i)
        {
            CImageFileInfo& entry = entries[static_cast<std::size_t>(i)];
            entry.m_path = "/pictures/image" + std::to_string(i) + ".jpg";
            entry.m_type = kImageFileJpeg;
            // Row 2's box is unchecked.
            model->setRow(i, &entry,
                          {QString::asprintf("%3d", i + 1), QStringLiteral("image%1.jpg").arg(i),
                           QStringLiteral("none"), QStringLiteral("/pictures")},
                          i != 2);
        }
    }

    void Show()
    {
        table.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&table));
    }

    QPoint CellCentre(int row, int column) const
    {
        return table.visualRect(table.fileModel()->index(row, column)).center();
    }

    // A point in the cell below the text line's centre, away from the text.
    void Click(int row, int column = 2)
    {
        QTest::mouseClick(table.viewport(), Qt::LeftButton, Qt::NoModifier, CellCentre(row, column));
    }

    std::vector<int> SelectedRows() const
    {
        std::vector<int> rows;
        for (const QModelIndex& index : table.selectionModel()->selectedRows())
            rows.push_back(index.row());
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    std::array<CImageFileInfo, kEntries> entries;
    CFileTableCtrl table;
};

TEST_F(FileTable, RowCountFollowsTheModel)
{
    EXPECT_EQ(table.RowCount, kRows);
    table.fileModel()->setRowTotal(41);
    EXPECT_EQ(table.RowCount, 41);
    table.RowCount = kEntries; // the owner's number of entries
    table.fileModel()->setRowTotal(kRows);
    EXPECT_EQ(table.RowCount, kRows);
}

TEST_F(FileTable, ClickOnARowWithAnEntrySelectsAndReports)
{
    Show();
    QSignalSpy spy(&table, &CFileTableCtrl::notify);
    Click(3);
    EXPECT_EQ(SelectedRows(), std::vector<int>{3});
    EXPECT_EQ(Notifications(spy), (std::vector<Notification>{{kMessage, 4, 3}}));
}

TEST_F(FileTable, ClickOnABlankRowSelectsNothingAndSendsNothing)
{
    Show();
    Click(1);
    QSignalSpy spy(&table, &CFileTableCtrl::notify);
    Click(10);
    EXPECT_TRUE(spy.isEmpty());
    EXPECT_EQ(SelectedRows(), std::vector<int>{1});
    EXPECT_NE(table.currentIndex().row(), 10);
}

TEST_F(FileTable, CheckBoxClickReportsTheRow)
{
    Show();
    QSignalSpy spy(&table, &CFileTableCtrl::notify);
    const QRect box = table.checkBoxRect(table.visualRect(table.fileModel()->index(2, 0)));
    QTest::mouseClick(table.viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
    EXPECT_TRUE(table.fileModel()->isChecked(2));
    EXPECT_EQ(table.fileModel()->data(table.fileModel()->index(2, 0), Qt::CheckStateRole).toInt(), Qt::Checked);
    QTest::mouseClick(table.viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
    EXPECT_FALSE(table.fileModel()->isChecked(2));
    EXPECT_EQ(Notifications(spy), (std::vector<Notification>{{kMessage, 1, 2}, {kMessage, 1, 2}}));
    // The owner's own changes of a box are not reported.
    spy.clear();
    table.fileModel()->setChecked(2, true);
    EXPECT_TRUE(spy.isEmpty());
}

TEST_F(FileTable, DoubleClickActivatesTheRow)
{
    Show();
    QSignalSpy spy(&table, &CFileTableCtrl::notify);
    QTest::mouseDClick(table.viewport(), Qt::LeftButton, Qt::NoModifier, CellCentre(4, 3));
    std::vector<Notification> activations;
    for (const Notification& e : Notifications(spy))
        if (std::get<1>(e) != 4)
            activations.push_back(e);
    EXPECT_EQ(activations, (std::vector<Notification>{{kMessage, 0, 4}}));
}

TEST_F(FileTable, HeaderClickReportsTheColumn)
{
    Show();
    QSignalSpy spy(&table, &CFileTableCtrl::notify);
    QHeaderView* header = table.horizontalHeader();
    for (int column : {2, 0})
    {
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, header->height() / 2));
    }
    EXPECT_EQ(Notifications(spy), (std::vector<Notification>{{kMessage, 2, 2}, {kMessage, 2, 0}}));
}

TEST_F(FileTable, CtrlASelectsOnlyRowsWithEntries)
{
    Show();
    Click(0);
    QTest::keyClick(&table, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(SelectedRows(), (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST_F(FileTable, SwitchingModesKeepsTheTopRow)
{
    Show();
    table.scrollTo(table.fileModel()->index(10, 0), QAbstractItemView::PositionAtTop);
    ASSERT_EQ(table.rowAt(0), 10);
    table.SetItemHeight(2);
    EXPECT_EQ(table.DisplayMode, 2);
    EXPECT_EQ(table.rowHeight(10), 180);
    EXPECT_EQ(table.rowAt(0), 10);
    table.SetItemHeight(1);
    EXPECT_EQ(table.rowHeight(0), 80);
    EXPECT_EQ(table.rowAt(0), 10);
    table.SetItemHeight(0);
    EXPECT_EQ(table.rowHeight(0), 20);
    EXPECT_EQ(table.rowAt(0), 10);
}

TEST_F(FileTable, PreviousAndNextMoveToCheckedRows)
{
    Show();
    table.RowCount = kEntries; // the panel's number of entries
    QSignalSpy spy(&table, &CFileTableCtrl::notify);
    Click(1);
    spy.clear();

    struct Step
    {
        bool up;
        std::vector<int> selected;
        std::vector<Notification> events;
    };
    const Step steps[] = {
        {false, {1}, {}},                 // row 2 is unchecked: refused
        {true, {0}, {{kMessage, 0, 0}}},
        {true, {4}, {{kMessage, 0, 4}}},  // above the first row: RowCount - 1
        {false, {4}, {}},                 // row 5 has no entry (unchecked)
        {true, {3}, {{kMessage, 0, 3}}},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i)
    {
        spy.clear();
        if (steps[i].up)
            table.SelectPrevItem();
        else
            table.SelectNextItem();
        EXPECT_EQ(SelectedRows(), steps[i].selected) << "step " << i;
        EXPECT_EQ(Notifications(spy), steps[i].events) << "step " << i;
        EXPECT_EQ(table.currentIndex().row(), steps[i].selected.front()) << "step " << i;
    }

    // With two rows selected nothing moves.
    QTest::mouseClick(table.viewport(), Qt::LeftButton, Qt::ControlModifier, CellCentre(0, 2));
    ASSERT_EQ(SelectedRows(), (std::vector<int>{0, 3}));
    spy.clear();
    table.SelectNextItem();
    EXPECT_EQ(SelectedRows(), (std::vector<int>{0, 3}));
    EXPECT_TRUE(spy.isEmpty());
}

TEST_F(FileTable, SelectByPath)
{
    Show();
    Click(0);
    EXPECT_EQ(table.SelectItemByPath("/pictures/image3.jpg"), 3);
    EXPECT_EQ(SelectedRows(), std::vector<int>{3});
    EXPECT_EQ(table.currentIndex().row(), 3);
    // Paths compare exactly; no match leaves the selection.
    EXPECT_EQ(table.SelectItemByPath("/pictures/IMAGE1.jpg"), -1);
    EXPECT_EQ(SelectedRows(), std::vector<int>{3});
    table.SelectItem(entries[1]);
    EXPECT_EQ(SelectedRows(), std::vector<int>{1});
}

TEST_F(FileTable, KeyboardMoveAsksToShowTheRow)
{
    Show();
    Click(1);
    QSignalSpy spy(&table, &CFileTableCtrl::notify);
    QTest::keyClick(&table, Qt::Key_Down);
    QTest::keyClick(&table, Qt::Key_Up);
    EXPECT_EQ(Notifications(spy), (std::vector<Notification>{{kMessage, 3, 2}, {kMessage, 3, 1}}));
    // Selecting by path is the owner's doing: not reported.
    spy.clear();
    table.SelectItemByPath("/pictures/image4.jpg");
    EXPECT_TRUE(spy.isEmpty());
}

TEST_F(FileTable, PaintsGridAndSelection)
{
    Show();
    Click(1);
    table.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&table));
    table.setFocus();
    ASSERT_TRUE(table.hasFocus());
    const QRect cell = table.visualRect(table.fileModel()->index(1, 3));
    const QRect blank = table.visualRect(table.fileModel()->index(8, 3));
    const QPoint away(cell.right() - 20, cell.center().y()); // right of the short path text
    const QColor grid(0x7F, 0x7F, 0x7F);

    QImage image = table.viewport()->grab().toImage();
    const QPalette& palette = table.palette();
    EXPECT_EQ(image.pixelColor(away), palette.color(QPalette::Highlight));
    EXPECT_EQ(image.pixelColor(blank.right() - 20, blank.center().y()), palette.color(QPalette::Base));
    // Grid lines along the bottom of each row and left of each column but
    // the first.
    EXPECT_EQ(image.pixelColor(blank.center().x(), blank.bottom()), grid);
    EXPECT_EQ(image.pixelColor(blank.left() - 1, blank.center().y()), grid);
    EXPECT_NE(image.pixelColor(table.visualRect(table.fileModel()->index(8, 0)).left(), blank.center().y()),
              grid);

    // Without the focus the selected row is on the button colour.
    table.clearFocus();
    ASSERT_FALSE(table.hasFocus());
    image = table.viewport()->grab().toImage();
    EXPECT_EQ(image.pixelColor(away), palette.color(QPalette::Button));
}

TEST_F(FileTable, PaintsThumbnailsUnderTheText)
{
    Show();
    std::vector<int> asked;
    table.ThumbnailProvider = [&asked](int row) {
        asked.push_back(row);
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(QColor(200, 0, 0));
        return image;
    };
    table.SetItemHeight(2);
    table.scrollToTop();
    const QImage image = table.viewport()->grab().toImage();
    const QRect cell = table.visualRect(table.fileModel()->index(0, filetable::kThumbnailColumn));
    const filetable::Box box =
        filetable::FitThumbnail({cell.left(), cell.top(), cell.width(), cell.height()}, 40, 30);
    EXPECT_EQ(image.pixelColor(box.x + box.width / 2, box.y + box.height / 2), QColor(200, 0, 0));
    EXPECT_EQ(image.pixelColor(box.x + 1, box.y + 1), QColor(200, 0, 0));
    // The text line above stays clear of it.
    EXPECT_NE(image.pixelColor(box.x + box.width - 2, cell.top() + 2), QColor(200, 0, 0));
    EXPECT_FALSE(asked.empty());

    // Mode 0 draws no thumbnails.
    asked.clear();
    table.SetItemHeight(0);
    (void)table.viewport()->grab();
    EXPECT_TRUE(asked.empty());
}

} // namespace
