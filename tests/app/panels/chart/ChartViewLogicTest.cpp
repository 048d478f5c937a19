// The chart panel's rules: the chart list and its look-up, which tables
// the panel takes over, measured greys kept dark to light, reversed tables.

#include "app/panels/chart/ChartViewLogic.h"

#include <gtest/gtest.h>

using namespace chartview;

namespace {

T2DArray<CCIEXYZ> Table(int rows, int columns)
{
    T2DArray<CCIEXYZ> table;
    table.Resize(rows, columns, CCIEXYZ());
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            table.SetAt(r, c, CCIEXYZ(r, c, 100.0 * r + c));
    return table;
}

TEST(ChartViewLogic, ChartListAndItsLookUp)
{
    struct Case
    {
        int index;
        const char* text;
        int rows;
        int columns;
    };
    const Case cases[] = {
        {0, "3 x 1", 1, 3},  {2, "3 x 3", 3, 3},  {3, "4 x 1", 1, 4},  {6, "4 x 4", 4, 4},
        {7, "5 x 1", 1, 5},  {10, "5 x 4", 4, 5}, {11, "6 x 1", 1, 6}, {13, "6 x 3", 3, 6},
        {14, "6 x 4", 4, 6},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(LayoutText(c.index), c.text);
        int index = -1;
        EXPECT_TRUE(FindChartLayout(c.rows, c.columns, index)) << c.text;
        EXPECT_EQ(index, c.index) << c.text;
    }
    EXPECT_EQ(LayoutText(-1), "");
    EXPECT_EQ(LayoutText(15), "");

    // Shapes the list does not offer: 6 x 3 is shown, and the look-up
    // says so.
    struct Missing
    {
        int rows;
        int columns;
    };
    for (const Missing& m : {Missing{2, 7}, Missing{4, 3}, Missing{0, 0}, Missing{5, 6},
                             Missing{6, 3}})
    {
        int index = -1;
        EXPECT_FALSE(FindChartLayout(m.rows, m.columns, index)) << m.rows << "x" << m.columns;
        EXPECT_EQ(index, kFallbackLayout);
    }
    ChartLayout layout{9, 9};
    EXPECT_FALSE(LayoutAt(15, layout));
    EXPECT_EQ(layout.columns, 9);
    ASSERT_TRUE(LayoutAt(5, layout));
    EXPECT_EQ(layout.columns, 4);
    EXPECT_EQ(layout.rows, 3);
}

TEST(ChartViewLogic, TablesThePanelTakesOver)
{
    struct Case
    {
        int rows;
        int columns;
        bool gray;
        bool color;
    };
    const Case cases[] = {
        {1, 1, true, false},  {1, 6, true, true},   {1, 20, true, false},
        {1, 21, false, false}, {1, 0, false, false}, {2, 6, false, true},
        {3, 6, false, true},  {2, 7, false, false}, {4, 6, false, true},
        {0, 0, false, false},
    };
    for (const Case& c : cases)
    {
        const T2DArray<CCIEXYZ> table = Table(c.rows, c.columns);
        EXPECT_EQ(IsUsableGrayTable(table), c.gray) << c.rows << "x" << c.columns;
        EXPECT_EQ(IsUsableColorTable(table), c.color) << c.rows << "x" << c.columns;
    }
}

TEST(ChartViewLogic, GreyPatchesAreKeptDarkToLight)
{
    // Placed right to left: the lightest first.
    T2DArray<CCIEXYZ> placed;
    placed.Resize(1, 5, CCIEXYZ());
    const double luminances[] = {90.0, 60.0, 35.0, 60.0, 5.0};
    for (int i = 0; i < 5; ++i)
        placed.SetAt(0, i, CCIEXYZ(i, luminances[i], 0.0));
    const T2DArray<CCIEXYZ> sorted = SortGrayPatches(placed);
    ASSERT_EQ(sorted.GetRows(), 1);
    ASSERT_EQ(sorted.GetColumns(), 5);
    const double expectedY[] = {5.0, 35.0, 60.0, 60.0, 90.0};
    // Equal luminances keep the order they were placed in (X tells them).
    const double expectedX[] = {4.0, 2.0, 1.0, 3.0, 0.0};
    for (int i = 0; i < 5; ++i)
    {
        EXPECT_EQ(sorted.GetAt(0, i)[1], expectedY[i]) << i;
        EXPECT_EQ(sorted.GetAt(0, i)[0], expectedX[i]) << i;
    }
    EXPECT_TRUE(SortGrayPatches(T2DArray<CCIEXYZ>()).IsEmpty());
}

TEST(ChartViewLogic, ReversingTwiceRestoresTheOrder)
{
    const T2DArray<CCIEXYZ> table = Table(4, 6);
    const T2DArray<CCIEXYZ> reversed = ReverseTable(table);
    ASSERT_EQ(reversed.GetRows(), 4);
    ASSERT_EQ(reversed.GetColumns(), 6);
    EXPECT_TRUE(reversed.GetAt(0, 0) == table.GetAt(3, 5));
    EXPECT_TRUE(reversed.GetAt(3, 5) == table.GetAt(0, 0));
    EXPECT_TRUE(reversed.GetAt(1, 0) == table.GetAt(2, 5));
    EXPECT_FALSE(reversed == table);
    EXPECT_TRUE(ReverseTable(reversed) == table);
    // An odd count keeps its middle cell.
    const T2DArray<CCIEXYZ> row = Table(1, 5);
    EXPECT_TRUE(ReverseTable(row).GetAt(0, 2) == row.GetAt(0, 2));
    EXPECT_TRUE(ReverseTable(T2DArray<CCIEXYZ>()).IsEmpty());
}

} // namespace
