#include "controls/widgets/ColorCellLogic.h"
#include "controls/widgets/ColorCheckerCtrl.h"

#include "tests/controls/FakePointerState.h"
#include "tests/controls/widgets/PaintCounter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include "tests/controls/NotifySpy.h"

#include <QSignalSpy>
#include <QTest>

#include <tuple>
#include <vector>

namespace {

constexpr int kMessage = 0x52C;

// Cell (row, column) gets a colour of its own.
RGBColor CellColor(int row, int column)
{
    return RGBColor{static_cast<std::uint16_t>((40 * row + 10) << 8),
                    static_cast<std::uint16_t>((30 * column + 20) << 8), 0x8000};
}

T2DArray<RGBColor> Chart(int rows, int columns)
{
    T2DArray<RGBColor> cells;
    cells.Resize(rows, columns, RGBColor{});
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column)
            cells.SetAt(row, column, CellColor(row, column));
    return cells;
}

QPoint Centre(const CellRect& r)
{
    return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

} // namespace

// Hand-computed edges: with C columns over W pixels and gap fraction g the
// cell is W / ((C + 1) g + C) wide and each edge is truncated on its own.
TEST(CheckerGeometryTest, CellEdgesTruncatedOneByOne)
{
    struct Case
    {
        int width, height, rows, columns;
        unsigned gap;
        int row, column;
        CellRect cell;
    };
    const Case cases[] = {
        // Columns of 120 / 7.4 = 16.216, gap 3.243: column 0 from 3.243 to
        // 19.459. Rows of 60 / 5 = 12, gap 2.4: row 0 from 2.4 to 14.4.
        {120, 60, 4, 6, 20, 0, 0, {3, 2, 19, 14}},
        // Column 5 from 3.243 + 5 x 19.459 = 100.54 to 116.76; row 3 from
        // 2.4 + 3 x 14.4 = 45.6 to 57.6.
        {120, 60, 4, 6, 20, 3, 5, {100, 45, 116, 57}},
        // No gap: thirds of 100 meet at truncated edges.
        {100, 30, 1, 3, 0, 0, 1, {33, 0, 66, 30}},
        {100, 30, 1, 3, 0, 0, 2, {66, 0, 100, 30}},
        // No size: every cell is empty.
        {0, 0, 2, 2, 20, 1, 1, {0, 0, 0, 0}},
    };
    for (const Case& c : cases)
    {
        const CheckerGeometry geometry(c.width, c.height, c.rows, c.columns, c.gap);
        EXPECT_EQ(geometry.Cell(c.row, c.column), c.cell)
            << c.width << " x " << c.height << " cell " << c.row << ", " << c.column;
    }
}

TEST(CheckerGeometryTest, HitTestFindsCellsAndNothingInGapsOrEmptyGrids)
{
    const CheckerGeometry geometry(120, 60, 4, 6, 20);
    const auto hit = geometry.HitTest(108, 50);
    ASSERT_TRUE(hit.has_value());
    EXPECT_EQ(hit->row, 3);
    EXPECT_EQ(hit->column, 5);
    EXPECT_FALSE(geometry.HitTest(1, 1).has_value());     // outer gap
    EXPECT_FALSE(geometry.HitTest(20, 5).has_value());    // between columns 0 and 1
    EXPECT_FALSE(geometry.HitTest(119, 59).has_value());  // outer gap, far corner
    EXPECT_FALSE(CheckerGeometry(120, 60, 0, 6, 20).HitTest(10, 10).has_value());
    EXPECT_FALSE(CheckerGeometry(120, 60, 4, 0, 20).HitTest(10, 10).has_value());
    EXPECT_FALSE(CheckerGeometry(0, 0, 4, 6, 20).HitTest(0, 0).has_value());
    EXPECT_EQ(CellClickValue(2, 5), 0x00020005);
}

class ColorCheckerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        checker.resize(240, 160);
        checker.SetColors(RGBColor{0x2000, 0x2000, 0x2000}, Chart(4, 6));
        checker.GapPercent = 20;
        checker.setNotifyMessage(kMessage);
        checker.setPointerState(pointer);
        checker.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&checker));
    }

    CheckerGeometry Geometry() const
    {
        return CheckerGeometry(checker.width(), checker.height(), 4, 6, checker.GapPercent);
    }

    FakePointerState pointer;
    CColorCheckerCtrl checker;
};

TEST_F(ColorCheckerTest, ClickReportsRowAndColumnAndAGapClickNothing)
{
    QSignalSpy spy(&checker, &CColorCheckerCtrl::notify);
    QTest::mouseClick(&checker, Qt::LeftButton, Qt::NoModifier, Centre(Geometry().Cell(2, 5)));
    QTest::mouseClick(&checker, Qt::LeftButton, Qt::NoModifier, Centre(Geometry().Cell(0, 0)));
    // Between column 0 and column 1, and in the outer margin.
    const CellRect first = Geometry().Cell(1, 0);
    const CellRect second = Geometry().Cell(1, 1);
    QTest::mouseClick(&checker, Qt::LeftButton, Qt::NoModifier,
                      QPoint((first.right + second.left) / 2, Centre(first).y()));
    QTest::mouseClick(&checker, Qt::LeftButton, Qt::NoModifier, QPoint(1, 1));
    const std::vector<Notification> expected = {{kMessage, 513, 0x00020005}, {kMessage, 513, 0}};
    EXPECT_EQ(Notifications(spy), expected);
}

TEST_F(ColorCheckerTest, EnterAndLeaveAreReportedOnceEach)
{
    for (const bool leaveEventFirst : {false, true})
    {
        SCOPED_TRACE(leaveEventFirst ? "leave event first" : "timer first");
        QSignalSpy spy(&checker, &CColorCheckerCtrl::notify);
        pointer.position = checker.mapToGlobal(QPoint(30, 30));
        QTest::mouseMove(&checker, QPoint(30, 30));
        QTest::mouseMove(&checker, QPoint(40, 30));
        EXPECT_EQ(checker.Hovering, 1);
        EXPECT_TRUE(checker.isHoverTimerActive());
        checker.OnHoverTimer(); // still inside

        pointer.position = checker.mapToGlobal(QPoint(300, 30));
        QEvent leave(QEvent::Leave);
        if (leaveEventFirst)
        {
            QApplication::sendEvent(&checker, &leave);
            checker.OnHoverTimer();
        }
        else
        {
            checker.OnHoverTimer();
            QApplication::sendEvent(&checker, &leave);
        }
        EXPECT_EQ(checker.Hovering, 0);
        EXPECT_FALSE(checker.isHoverTimerActive());
        const std::vector<Notification> expected = {{kMessage, 512, 1}, {kMessage, 512, 0}};
        EXPECT_EQ(Notifications(spy), expected);
    }
}

TEST_F(ColorCheckerTest, SetColorsRepaintsOnlyWhenThePictureChanges)
{
    struct Case
    {
        const char* name;
        bool selectBefore;
        RGBColor frame;
        T2DArray<RGBColor> cells;
        bool repaint;
    };
    const RGBColor frame{0x2000, 0x2000, 0x2000};
    T2DArray<RGBColor> oneChanged = Chart(4, 6);
    oneChanged.SetAt(3, 5, RGBColor{0, 0, 1});
    const Case cases[] = {
        {"same", false, frame, Chart(4, 6), false},
        {"same with a cell selected", true, frame, Chart(4, 6), true},
        {"one channel of one cell", false, frame, oneChanged, true},
        {"other shape", false, frame, Chart(6, 4), true},
        {"other frame", false, RGBColor{0x2100, 0x2000, 0x2000}, Chart(4, 6), true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        checker.SetColors(frame, Chart(4, 6));
        if (c.selectBefore)
            checker.Selection.SetAt(1, 2, true);
        QApplication::processEvents();
        PaintCounter paints(&checker);
        checker.SetColors(c.frame, c.cells);
        QApplication::processEvents();
        EXPECT_EQ(paints.count > 0, c.repaint);
        EXPECT_EQ(checker.Cells, c.cells);
        EXPECT_EQ(checker.Selection.GetRows(), c.cells.GetRows());
        EXPECT_EQ(checker.Selection.GetColumns(), c.cells.GetColumns());
        for (const bool bit : checker.Selection.GetCells())
            EXPECT_FALSE(bit);
        EXPECT_EQ(checker.GapPercent, 0u);
    }
    // A gap left from before always repaints: the cells move.
    checker.GapPercent = 20;
    QApplication::processEvents();
    PaintCounter paints(&checker);
    checker.SetColors(frame, Chart(4, 6));
    QApplication::processEvents();
    EXPECT_GT(paints.count, 0);
}

TEST_F(ColorCheckerTest, ClearMakesOneWhiteCellWithoutRepainting)
{
    QApplication::processEvents();
    PaintCounter paints(&checker);
    checker.Selection.SetAt(0, 0, true);
    checker.Clear(RGBColor{0x1000, 0x2000, 0x3000});
    QApplication::processEvents();
    EXPECT_EQ(paints.count, 0);
    EXPECT_EQ(checker.Cells.GetRows(), 1);
    EXPECT_EQ(checker.Cells.GetColumns(), 1);
    EXPECT_EQ(checker.Cells.GetAt(0, 0), (RGBColor{0xff00, 0xff00, 0xff00}));
    EXPECT_EQ(checker.Selection.GetRows(), 1);
    EXPECT_FALSE(checker.Selection.GetAt(0, 0));
    EXPECT_EQ(checker.GapPercent, 0u);
    EXPECT_EQ(checker.FrameColor, (RGBColor{0x1000, 0x2000, 0x3000}));
    checker.Clear();
    EXPECT_EQ(checker.FrameColor, RGBColor{});
}

TEST(ColorCheckerPaintTest, CellsGapsAndTheRedCross)
{
    CColorCheckerCtrl checker;
    checker.resize(240, 160);
    checker.SetColors(RGBColor{0x2000, 0x2100, 0x2200}, Chart(4, 6));
    checker.GapPercent = 20;
    checker.Selection.SetAt(1, 2, true);
    const QImage image = checker.renderToImage();
    const CheckerGeometry geometry(240, 160, 4, 6, 20);

    for (int row = 0; row < 4; ++row)
    {
        for (int column = 0; column < 6; ++column)
        {
            const CellRect cell = geometry.Cell(row, column);
            const QColor expected = ColorFromRGBColor(CellColor(row, column));
            EXPECT_EQ(image.pixelColor(cell.left + 1, cell.bottom - 2), expected)
                << "cell " << row << ", " << column;
            if (row == 1 && column == 2)
                EXPECT_EQ(image.pixelColor(Centre(CrossSquare(cell))), QColor(255, 0, 0));
            else
                EXPECT_EQ(image.pixelColor(Centre(cell)), expected) << "cell " << row << ", " << column;
        }
    }
    EXPECT_EQ(image.pixelColor(1, 1), QColor(0x20, 0x21, 0x22));
    const CellRect first = geometry.Cell(0, 0);
    EXPECT_EQ(image.pixelColor(first.right + 1, first.top + 2), QColor(0x20, 0x21, 0x22));
}

// Owners write Selection directly; a shape that differs from the cells is
// read only where both exist.
TEST(ColorCheckerPaintTest, SelectionOfAnotherShapeIsReadOnlyWhereItOverlaps)
{
    CColorCheckerCtrl checker;
    checker.resize(120, 80);
    checker.SetColors(std::nullopt, Chart(4, 6));
    for (const auto& [rows, columns] : {std::pair{2, 2}, std::pair{10, 10}, std::pair{0, 0}, std::pair{1, 9}})
    {
        checker.Selection.Resize(rows, columns, true);
        const QImage image = checker.renderToImage();
        const CheckerGeometry geometry(120, 80, 4, 6, 0);
        const bool crossed = rows > 3 && columns > 5;
        const CellRect last = geometry.Cell(3, 5);
        EXPECT_EQ(image.pixelColor(Centre(CrossSquare(last))) == QColor(255, 0, 0), crossed)
            << rows << " x " << columns;
    }
    // No cells: the frame colour alone.
    checker.Cells.Resize(0, 0, RGBColor{});
    EXPECT_EQ(checker.renderToImage().pixelColor(60, 40), QColor(0, 0, 0));
}
