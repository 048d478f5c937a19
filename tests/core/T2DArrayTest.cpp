#include "core/T2DArray.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

TEST(T2DArrayTest, CellsAreRowMajor)
{
    T2DArray<int> array;
    array.Resize(3, 4, 0);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            array.SetAt(r, c, r * 10 + c);
    const std::vector<int> expected = {0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23};
    EXPECT_EQ(array.GetCells(), expected);
    EXPECT_EQ(array.GetRows(), 3);
    EXPECT_EQ(array.GetColumns(), 4);
    EXPECT_EQ(array.GetAt(2, 1), 21);
}

TEST(T2DArrayTest, ResizeDropsEveryOldCell)
{
    T2DArray<int> array;
    array.Resize(2, 2, 1);
    array.SetAt(1, 1, 5);
    array.Resize(2, 3, 7);
    EXPECT_EQ(array.GetCells(), std::vector<int>(6, 7));
    array.Resize(2, 3, 9); // same shape: still refilled
    EXPECT_EQ(array.GetCells(), std::vector<int>(6, 9));
}

TEST(T2DArrayTest, BadShapesGiveAnEmptyArray)
{
    struct Case
    {
        std::int32_t rows;
        std::int32_t columns;
    };
    const Case cases[] = {
        {-1, 3},
        {3, -1},
        {65536, 65536},
        {std::numeric_limits<std::int32_t>::max(), 2},
        {std::numeric_limits<std::int32_t>::min(), -1},
    };
    for (const Case& c : cases)
    {
        T2DArray<std::uint8_t> array;
        array.Resize(2, 2, 1);
        array.Resize(c.rows, c.columns, 0);
        EXPECT_EQ(array.GetRows(), 0) << c.rows << " x " << c.columns;
        EXPECT_EQ(array.GetColumns(), 0);
        EXPECT_TRUE(array.IsEmpty());
    }
}

TEST(T2DArrayTest, EqualityComparesShapeAndCells)
{
    T2DArray<int> a;
    T2DArray<int> b;
    EXPECT_EQ(a, b);
    a.Resize(2, 3, 0);
    b.Resize(3, 2, 0); // same count, other shape
    EXPECT_NE(a, b);
    b.Resize(2, 3, 0);
    EXPECT_EQ(a, b);
    b.SetAt(1, 2, 4);
    EXPECT_NE(a, b);

    T2DArray<int> copy = b;
    EXPECT_EQ(copy, b);
    copy.SetAt(0, 0, 8);
    EXPECT_EQ(b.GetAt(0, 0), 0); // copies own their cells
}

TEST(T2DArrayTest, BoolCellsWork)
{
    T2DArray<bool> selection;
    selection.Resize(4, 6, false);
    selection.SetAt(3, 5, true);
    selection.SetAt(0, 1, true);
    int marked = 0;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 6; ++c)
            marked += selection.GetAt(r, c) ? 1 : 0;
    EXPECT_EQ(marked, 2);
    EXPECT_TRUE(selection.GetAt(3, 5));
    EXPECT_FALSE(selection.GetAt(3, 4));
}

#ifndef NDEBUG
TEST(T2DArrayDeathTest, IndexOutsideTheArrayAsserts)
{
    T2DArray<int> array;
    array.Resize(2, 3, 0);
    EXPECT_DEATH(array.GetAt(2, 0), "outside");
    EXPECT_DEATH(array.GetAt(0, 3), "outside"); // would alias cell (1, 0)
    EXPECT_DEATH(array.SetAt(-1, 0, 1), "outside");
}
#else
TEST(T2DArrayTest, IndexOutsideTheArrayTouchesNothing)
{
    T2DArray<int> array;
    array.Resize(2, 3, 5);
    EXPECT_EQ(array.GetAt(2, 0), 0);
    EXPECT_EQ(array.GetAt(0, 3), 0);
    array.SetAt(-1, 0, 1);
    array.SetAt(0, 3, 1);
    EXPECT_EQ(array.GetCells(), std::vector<int>(6, 5));
}
#endif

} // namespace
