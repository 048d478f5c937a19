// The chart item over the preview: default corners, the patch centres the
// corners span, one-row grids that grow and shrink, hits at the edge of the
// tolerance, drags held inside the image, and the markers it paints.

#include "app/panels/chart/ChartDragItem.h"

#include "controls/support/ResourceImages.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPen>

#include <initializer_list>
#include <ostream>
#include <set>
#include <string>
#include <vector>

void PrintTo(const CPoint& p, std::ostream* os)
{
    *os << "(" << p.x << ", " << p.y << ")";
}

void PrintTo(const T2DArray<CPoint>& grid, std::ostream* os)
{
    *os << grid.GetRows() << " x " << grid.GetColumns() << ":";
    for (const CPoint& p : grid.GetCells())
        *os << " (" << p.x << ", " << p.y << ")";
}

namespace {

T2DArray<CPoint> Grid(int rows, int columns, std::initializer_list<CPoint> points)
{
    T2DArray<CPoint> grid;
    grid.Resize(rows, columns, CPoint{});
    int i = 0;
    for (const CPoint& p : points)
    {
        grid.SetAt(i / columns, i % columns, p);
        ++i;
    }
    return grid;
}

std::vector<CPoint> Cells(const T2DArray<CPoint>& grid)
{
    return grid.GetCells();
}

// ---- Default corners

struct DefaultCornersCase
{
    const char* name;
    int placement;
    CRect image;
    int rows;
    int columns;
    T2DArray<CPoint> expected;
};

TEST(ChartDragItemLogicTest, DefaultCornersLieInTheShrunkHalfOfTheImage)
{
    const CRect square{0, 0, 500, 500};
    const CRect offset{10, 20, 110, 221};
    const std::vector<DefaultCornersCase> cases = {
        // Upper half 0..250 of a 500 x 500 image: a quarter off each side.
        {"upper", 1, square, 3, 6, Grid(2, 2, {{125, 62}, {375, 62}, {125, 188}, {375, 188}})},
        {"lower", 2, square, 3, 6, Grid(2, 2, {{125, 312}, {375, 312}, {125, 438}, {375, 438}})},
        {"any other placement is the lower half", 0, square, 2, 2,
         Grid(2, 2, {{125, 312}, {375, 312}, {125, 438}, {375, 438}})},
        // The band ends at bottom / 2 whatever the top: 20..110 and 110..221.
        {"upper, offset rectangle", 1, offset, 2, 6,
         Grid(2, 2, {{35, 42}, {85, 42}, {35, 88}, {85, 88}})},
        {"lower, offset rectangle", 2, offset, 2, 6,
         Grid(2, 2, {{35, 137}, {85, 137}, {35, 194}, {85, 194}})},
        {"one row keeps the upper corners", 1, square, 1, 6, Grid(1, 2, {{125, 62}, {375, 62}})},
        {"one column keeps the left corners", 2, square, 4, 1,
         Grid(2, 1, {{125, 312}, {125, 438}})},
        {"one patch keeps the top-left corner", 1, square, 1, 1, Grid(1, 1, {{125, 62}})},
        {"no rows", 1, square, 0, 6, T2DArray<CPoint>()},
        {"no columns", 1, square, 3, 0, T2DArray<CPoint>()},
        // Beyond 16 bits the coordinates stay whole.
        {"large image",
         2,
         {0, 0, 100000, 80000},
         2,
         2,
         Grid(2, 2, {{25000, 50000}, {75000, 50000}, {25000, 70000}, {75000, 70000}})},
    };
    for (const DefaultCornersCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DefaultChartCorners(c.placement, c.image, c.rows, c.columns), c.expected);
    }
}

// ---- Interpolated points

struct InterpolationCase
{
    const char* name;
    T2DArray<CPoint> corners;
    int rows;
    int columns;
    std::vector<CPoint> expected; // row-major
};

TEST(ChartDragItemLogicTest, PatchPointsAreTheTruncatedBlendOfTheCorners)
{
    const std::vector<InterpolationCase> cases = {
        {"1 x 1: the corner itself", Grid(1, 1, {{7, 9}}), 1, 1, {{7, 9}}},
        {"1 x 5: along the upper corners",
         Grid(1, 2, {{0, 10}, {100, 30}}),
         1,
         5,
         {{0, 10}, {25, 15}, {50, 20}, {75, 25}, {100, 30}}},
        {"4 x 1: down the left corners",
         Grid(2, 1, {{10, 0}, {40, 90}}),
         4,
         1,
         {{10, 0}, {20, 30}, {30, 60}, {40, 90}}},
        {"1 x 3: negative halves truncate toward zero",
         Grid(1, 2, {{-10, 0}, {-1, -3}}),
         1,
         3,
         {{-10, 0}, {-5, -1}, {-1, -3}}},
        {"1 x 3: beyond 16 bits",
         Grid(1, 2, {{0, 0}, {100000, 70000}}),
         1,
         3,
         {{0, 0}, {50000, 35000}, {100000, 70000}}},
        // clang-format off
        {"4 x 6: a square grid", Grid(2, 2, {{100, 50}, {600, 50}, {100, 350}, {600, 350}}), 4, 6,
         {{100,  50}, {200,  50}, {300,  50}, {400,  50}, {500,  50}, {600,  50},
          {100, 150}, {200, 150}, {300, 150}, {400, 150}, {500, 150}, {600, 150},
          {100, 250}, {200, 250}, {300, 250}, {400, 250}, {500, 250}, {600, 250},
          {100, 350}, {200, 350}, {300, 350}, {400, 350}, {500, 350}, {600, 350}}},
        // x = 10u(1 + v), y = 10v(1 + u) with u = j / 5, v = i / 3: whole
        // results such as y(1, 1) = 4 must not come out as 3.999...
        {"4 x 6: a skewed grid", Grid(2, 2, {{0, 0}, {10, 0}, {0, 10}, {20, 20}}), 4, 6,
         {{0,  0}, {2,  0}, {4,  0}, {6,  0}, {8,  0}, {10,  0},
          {0,  3}, {2,  4}, {5,  4}, {8,  5}, {10, 6}, {13,  6},
          {0,  6}, {3,  8}, {6,  9}, {10, 10}, {13, 12}, {16, 13},
          {0, 10}, {4, 12}, {8, 14}, {12, 16}, {16, 18}, {20, 20}}},
        // clang-format on
        {"corners of the wrong shape", Grid(2, 2, {{0, 0}, {1, 0}, {0, 1}, {1, 1}}), 1, 6, {}},
        {"no corners", T2DArray<CPoint>(), 3, 6, {}},
        {"no rows", Grid(1, 2, {{0, 0}, {1, 0}}), 0, 6, {}},
        {"no columns", Grid(2, 1, {{0, 0}, {0, 1}}), 3, 0, {}},
    };
    for (const InterpolationCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        const T2DArray<CPoint> points = InterpolateChartPoints(c.corners, c.rows, c.columns);
        EXPECT_EQ(Cells(points), c.expected);
        if (!c.expected.empty())
        {
            EXPECT_EQ(points.GetRows(), c.rows);
            EXPECT_EQ(points.GetColumns(), c.columns);
        }
    }
}

// ---- Grid changes

// A 400 x 300 image, chart in the upper half, one row: corners (100, 37)
// and (300, 37), points 40 pixels apart.
ChartGridGeometry OneRowChart(const CRect& image = {0, 0, 400, 300})
{
    ChartGridGeometry chart;
    chart.Init(1, 1, image);
    return chart;
}

// Moves the handle at `from` to `to` by a press on it and a release at `to`.
void MoveHandle(ChartGridGeometry& chart, const CPoint& from, const CPoint& to)
{
    ASSERT_TRUE(chart.HitTest(from, 1));
    chart.BeginDrag(from);
    chart.Drag(to);
    chart.EndDrag(to);
}

TEST(ChartDragItemLogicTest, InitLaysOutSixColumnsInGridMode)
{
    const ChartGridGeometry chart = OneRowChart();
    EXPECT_EQ(chart.Rows(), 1);
    EXPECT_EQ(chart.Columns(), 6);
    EXPECT_FALSE(chart.IsFreePlacement());
    EXPECT_EQ(Cells(chart.Corners()), (std::vector<CPoint>{{100, 37}, {300, 37}}));
    EXPECT_EQ(
        Cells(chart.GetPatchPoints()),
        (std::vector<CPoint>{{100, 37}, {140, 37}, {180, 37}, {220, 37}, {260, 37}, {300, 37}}));
    EXPECT_EQ(Cells(chart.StoredPoints()), Cells(chart.GetPatchPoints()));
}

struct OneRowGridCase
{
    const char* name;
    CRect image;
    std::vector<int> columnSteps; // SetGrid(1, n) in turn
    std::vector<CPoint> expected;
};

TEST(ChartDragItemLogicTest, OneRowGridInFreeModeKeepsItsPointsAndAddsNewOnesAlongTheTop)
{
    // Point 2 of the six is moved to (185, 45) first. New point j stands at
    // x = j * (image width / 20) + left + 20, y = top + 20.
    const std::vector<OneRowGridCase> cases = {
        {"grow to 8",
         {0, 0, 400, 300},
         {8},
         {{100, 37}, {140, 37}, {185, 45}, {220, 37}, {260, 37}, {300, 37}, {140, 20}, {160, 20}}},
        {"shrink to 3", {0, 0, 400, 300}, {3}, {{100, 37}, {140, 37}, {185, 45}}},
        {"grow, then shrink below the start",
         {0, 0, 400, 300},
         {8, 4},
         {{100, 37}, {140, 37}, {185, 45}, {220, 37}}},
        {"shrink, then grow: the dropped points come back at the top",
         {0, 0, 400, 300},
         {2, 4},
         {{100, 37}, {140, 37}, {60, 20}, {80, 20}}},
        {"offset image",
         {50, 10, 450, 310},
         {7},
         {{150, 46}, {190, 46}, {185, 45}, {270, 46}, {310, 46}, {350, 46}, {190, 30}}},
    };
    for (const OneRowGridCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        ChartGridGeometry chart = OneRowChart(c.image);
        chart.SetFreePlacement(true);
        const CPoint third = chart.GetPatchPoints().GetAt(0, 2);
        MoveHandle(chart, third, {185, 45});
        for (int columns : c.columnSteps)
            chart.SetGrid(1, columns);
        EXPECT_EQ(chart.Columns(), c.columnSteps.back());
        EXPECT_EQ(Cells(chart.GetPatchPoints()), c.expected);
        // The corners keep their one-row shape throughout.
        EXPECT_EQ(chart.Corners().GetRows(), 1);
        EXPECT_EQ(chart.Corners().GetColumns(), 2);
    }
}

TEST(ChartDragItemLogicTest, OtherGridChangesRefillFromTheCorners)
{
    // Grid mode: the right corner moved to (340, 60).
    ChartGridGeometry chart = OneRowChart();
    MoveHandle(chart, {300, 37}, {340, 60});
    ASSERT_EQ(Cells(chart.Corners()), (std::vector<CPoint>{{100, 37}, {340, 60}}));

    // Same corner shape: the moved corner stays, the points spread between.
    chart.SetGrid(1, 3);
    EXPECT_EQ(Cells(chart.GetPatchPoints()),
              (std::vector<CPoint>{{100, 37}, {220, 48}, {340, 60}}));

    // A second row changes the corner shape: back to the default corners.
    chart.SetGrid(3, 3);
    EXPECT_EQ(Cells(chart.Corners()),
              (std::vector<CPoint>{{100, 37}, {300, 37}, {100, 113}, {300, 113}}));
    EXPECT_EQ(Cells(chart.StoredPoints()), Cells(chart.GetPatchPoints()));
    EXPECT_EQ(chart.GetPatchPoints().GetRows(), 3);

    // Free mode, several rows: a new shape refills every point, the moved one too.
    chart.SetFreePlacement(true);
    MoveHandle(chart, {100, 37}, {90, 30});
    chart.SetGrid(3, 4);
    EXPECT_EQ(chart.GetPatchPoints().GetAt(0, 0), (CPoint{100, 37}));
    // The same shape again changes nothing.
    MoveHandle(chart, {100, 37}, {90, 30});
    chart.SetGrid(3, 4);
    EXPECT_EQ(chart.GetPatchPoints().GetAt(0, 0), (CPoint{90, 30}));
}

TEST(ChartDragItemLogicTest, SetFreePlacementStartsTheFreePointsWhereTheGridWas)
{
    ChartGridGeometry chart;
    chart.Init(2, 3, {0, 0, 500, 500}); // corners (125, 312) .. (375, 438), 3 x 6
    MoveHandle(chart, {375, 312}, {425, 280});
    const T2DArray<CPoint> grid = chart.GetPatchPoints();
    ASSERT_EQ(grid.GetAt(0, 5), (CPoint{425, 280}));

    chart.SetFreePlacement(true);
    EXPECT_TRUE(chart.IsFreePlacement());
    EXPECT_EQ(Cells(chart.GetPatchPoints()), Cells(grid));

    // Already free: a moved point is not refilled.
    MoveHandle(chart, {125, 312}, {120, 300});
    chart.SetFreePlacement(true);
    EXPECT_EQ(chart.GetPatchPoints().GetAt(0, 0), (CPoint{120, 300}));

    // Back to the grid: the corners span the points again, and the next
    // switch to free mode starts from them, not from the free points.
    chart.SetFreePlacement(false);
    EXPECT_EQ(Cells(chart.GetPatchPoints()), Cells(grid));
    chart.SetFreePlacement(true);
    EXPECT_EQ(Cells(chart.GetPatchPoints()), Cells(grid));
}

TEST(ChartDragItemLogicTest, SetImageRectResetsTheChartOnlyWhenTheImageSizeChanges)
{
    ChartGridGeometry chart = OneRowChart();
    MoveHandle(chart, {100, 37}, {90, 30});

    chart.SetImageRect({0, 0, 400, 300});
    EXPECT_EQ(chart.Corners().GetAt(0, 0), (CPoint{90, 30}));
    // Left and top alone are not a new image.
    chart.SetImageRect({5, 5, 400, 300});
    EXPECT_EQ(chart.Corners().GetAt(0, 0), (CPoint{90, 30}));
    EXPECT_EQ(chart.ImageRect(), (CRect{5, 5, 400, 300}));

    const std::vector<CRect> resized = {{0, 0, 800, 300}, {0, 0, 800, 600}};
    for (const CRect& image : resized)
    {
        chart.SetImageRect(image);
        EXPECT_EQ(Cells(chart.Corners()), Cells(DefaultChartCorners(1, image, 1, 6)));
        EXPECT_EQ(Cells(chart.StoredPoints()), Cells(chart.GetPatchPoints()));
    }
}

// ---- Hit test

struct HitCase
{
    const char* name;
    CPoint mouse;
    int scale;
    bool hit;
    int row;
    int column;
};

TEST(ChartDragItemLogicTest, HitTestReachesExactlyEightPixelsTimesTheScale)
{
    // Grid mode, one row: corners (100, 37) and (300, 37).
    const std::vector<HitCase> cases = {
        {"on the corner", {100, 37}, 1, true, 0, 0},
        {"8 to the right", {108, 37}, 1, true, 0, 0},
        {"9 to the right", {109, 37}, 1, false, -1, -1},
        {"8 above the right corner", {300, 29}, 1, true, 0, 1},
        {"6, 6 off: 72 > 64", {106, 43}, 1, false, -1, -1},
        {"16 below at scale 2", {100, 53}, 2, true, 0, 0},
        {"17 below at scale 2", {100, 54}, 2, false, -1, -1},
        {"24 left at scale 3", {276, 37}, 3, true, 0, 1},
        {"25 left at scale 3", {275, 37}, 3, false, -1, -1},
        {"halfway: far from both", {200, 37}, 1, false, -1, -1},
    };
    for (const HitCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        ChartGridGeometry chart = OneRowChart();
        EXPECT_EQ(chart.HitTest(c.mouse, c.scale), c.hit);
        EXPECT_EQ(chart.HitRow(), c.row);
        EXPECT_EQ(chart.HitColumn(), c.column);
        if (c.hit)
        {
            EXPECT_EQ(chart.Anchor(), c.mouse);
            EXPECT_EQ(chart.LastFeedback(), chart.Corners().GetAt(c.row, c.column));
        }
        else
        {
            EXPECT_EQ(chart.Anchor(), (CPoint{-1, -1}));
        }
    }
}

TEST(ChartDragItemLogicTest, HitTestPicksTheNearestHandleAndTheFirstOfEquals)
{
    ChartGridGeometry chart = OneRowChart();
    chart.SetFreePlacement(true); // points 40 apart from x = 100
    EXPECT_TRUE(chart.HitTest({158, 40}, 3));
    EXPECT_EQ(chart.HitColumn(), 1); // 18.2 from (140, 37), 22.2 from (180, 37)
    EXPECT_TRUE(chart.HitTest({160, 37}, 3));
    EXPECT_EQ(chart.HitColumn(), 1); // 20 from both: the first wins

    // A miss clears the previous hit.
    EXPECT_FALSE(chart.HitTest({160, 37}, 1));
    EXPECT_FALSE(chart.HasHit());
}

TEST(ChartDragItemLogicTest, HandlesOutsideTheImageAreNeverHit)
{
    struct Case
    {
        const char* name;
        bool free;
        CRect image; // right and bottom unchanged: the handles stay put
        CPoint mouse;
    };
    const std::vector<Case> cases = {
        {"free point left of the image", true, {150, 0, 400, 300}, {100, 37}},
        {"free point above the image", true, {0, 38, 400, 300}, {140, 37}},
        {"corner left of the image", false, {101, 0, 400, 300}, {100, 37}},
        {"corner above the image", false, {0, 40, 400, 300}, {300, 37}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ChartGridGeometry chart = OneRowChart();
        chart.SetFreePlacement(c.free);
        chart.SetImageRect(c.image);
        EXPECT_FALSE(chart.HitTest(c.mouse, 4));
        EXPECT_FALSE(chart.HasHit());
    }

    // A corner on the last pixel inside is hit.
    ChartGridGeometry edge;
    edge.Init(1, 1, {0, 0, 400, 300});
    MoveHandle(edge, {300, 37}, {399, 37});
    edge.SetImageRect({0, 0, 400, 300});
    ASSERT_EQ(edge.Corners().GetAt(0, 1), (CPoint{399, 37}));
    EXPECT_TRUE(edge.HitTest({399, 37}, 1));
}

// ---- Drags

struct DragCase
{
    const char* name;
    bool free;
    CPoint press;              // on the handle or near it
    std::vector<CPoint> moves; // Drag in turn
    CPoint release;            // EndDrag
    CPoint expectedFeedback;   // after the moves
    CPoint expectedHandle;     // after the release
};

TEST(ChartDragItemLogicTest, DragsStayInsideTheImageAndAReleaseOutsideKeepsTheLastFeedback)
{
    // 400 x 300 image, one row: the right corner (grid) or the last point
    // (free) is at (300, 37); the press is 5 pixels left of it.
    const std::vector<DragCase> cases = {
        {"follows the mouse", false, {295, 37}, {{315, 57}}, {325, 67}, {320, 57}, {330, 67}},
        {"right edge: the last pixel inside",
         false,
         {295, 37},
         {{398, 37}},
         {398, 37},
         {399, 37},
         {399, 37}},
        {"bottom edge: the last row inside",
         true,
         {300, 32},
         {{300, 290}, {300, 296}},
         {300, 296},
         {300, 299},
         {300, 299}},
        {"left and top edges", true, {305, 42}, {{2, 3}}, {2, 3}, {0, 0}, {0, 0}},
        {"a move outside leaves the feedback",
         false,
         {295, 37},
         {{375, 37}, {450, 60}},
         {380, 40},
         {380, 37},
         {385, 40}},
        {"release outside: the last feedback",
         false,
         {295, 37},
         {{375, 37}, {450, 60}},
         {450, 60},
         {380, 37},
         {380, 37}},
        {"release outside, free mode",
         true,
         {295, 37},
         {{390, 37}, {-3, 40}},
         {-3, 40},
         {395, 37},
         {395, 37}},
        {"release far below", true, {295, 37}, {{295, 120}}, {295, 900}, {300, 120}, {300, 120}},
    };
    for (const DragCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        ChartGridGeometry chart = OneRowChart();
        chart.SetFreePlacement(c.free);
        ASSERT_TRUE(chart.HitTest(c.press, 1));
        const int row = chart.HitRow();
        const int column = chart.HitColumn();
        chart.BeginDrag(c.press);
        EXPECT_EQ(chart.LastFeedback(), (CPoint{300, 37}));
        for (const CPoint& move : c.moves)
            chart.Drag(move);
        EXPECT_EQ(chart.LastFeedback(), c.expectedFeedback);
        chart.EndDrag(c.release);
        EXPECT_FALSE(chart.HasHit());
        EXPECT_EQ(chart.Anchor(), (CPoint{-1, -1}));
        const T2DArray<CPoint>& handles = c.free ? chart.StoredPoints() : chart.Corners();
        EXPECT_EQ(handles.GetAt(row, column), c.expectedHandle);
    }
}

TEST(ChartDragItemLogicTest, GridFeedbackMovesOnlyTheCornerHit)
{
    ChartGridGeometry chart;
    chart.Init(2, 3, {0, 0, 500, 500});
    const T2DArray<CPoint> before = chart.Corners();
    ASSERT_TRUE(chart.HitTest({125, 438}, 1)); // bottom-left
    chart.BeginDrag({125, 438});
    chart.Drag({100, 450});
    const T2DArray<CPoint> feedback = chart.FeedbackCorners();
    EXPECT_EQ(feedback.GetAt(1, 0), (CPoint{100, 450}));
    EXPECT_EQ(feedback.GetAt(0, 0), before.GetAt(0, 0));
    EXPECT_EQ(feedback.GetAt(1, 1), before.GetAt(1, 1));
    // The stored corners move only on release.
    EXPECT_EQ(Cells(chart.Corners()), Cells(before));
}

TEST(ChartDragItemLogicTest, DragWithoutAHitChangesNothing)
{
    ChartGridGeometry chart = OneRowChart();
    const T2DArray<CPoint> before = chart.GetPatchPoints();
    EXPECT_FALSE(chart.HitTest({200, 200}, 1));
    chart.BeginDrag({200, 200});
    chart.Drag({210, 210});
    chart.EndDrag({210, 210});
    EXPECT_EQ(Cells(chart.GetPatchPoints()), Cells(before));
    EXPECT_EQ(Cells(chart.FeedbackCorners()), Cells(chart.Corners()));
}

// ---- The item: painting

constexpr QRgb kBackground = qRgb(0x20, 0x60, 0x20);
constexpr COLORREF kYellow = MakeColorRef(255, 255, 0);

QImage Canvas(int width = 240, int height = 180)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(kBackground);
    return image;
}

void Paint(const CChartDragItem& item, QImage& canvas, const CRect& screen, const CRect& image)
{
    QPainter painter(&canvas);
    item.Draw(painter, screen, image);
}

// The view point of an image point shown at half size from (10, 10).
const CRect kScreen{10, 10, 210, 160};
const CRect kShown{0, 0, 400, 300};
QPoint OnScreen(const CPoint& p)
{
    return {10 + p.x / 2, 10 + p.y / 2};
}

bool Untouched(const QImage& canvas)
{
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x)
            if (canvas.pixel(x, y) != kBackground)
                return false;
    return true;
}

TEST(ChartDragItemTest, StartsEmptyAndWhite)
{
    CChartDragItem item;
    EXPECT_FALSE(item.IsDragging());
    EXPECT_EQ(item.GetColor(), MakeColorRef(255, 255, 255));
    EXPECT_EQ(item.GetCursorId(), kCursorPan);
    EXPECT_EQ(item.Geometry().Placement(), 1);
    EXPECT_EQ(item.Geometry().Rows(), 0);
    EXPECT_EQ(item.Geometry().Columns(), 0);
    EXPECT_EQ(item.Geometry().HitRow(), -1);
    T2DArray<CPoint> points;
    item.GetPatchPoints(points);
    EXPECT_TRUE(points.IsEmpty());
}

TEST(ChartDragItemTest, MarkersStandAtTheMappedPatchCentresOverTheirShadow)
{
    CChartDragItem item;
    item.InitChartItem(2, kYellow, 3, {0, 0, 400, 300}); // corners (100, 187) .. (300, 263)
    QImage canvas = Canvas();
    Paint(item, canvas, kScreen, kShown);

    T2DArray<CPoint> points;
    item.GetPatchPoints(points);
    ASSERT_EQ(points.GetCells().size(), 18u);
    for (const CPoint& p : points.GetCells())
    {
        const QPoint at = OnScreen(p);
        SCOPED_TRACE(std::to_string(at.x()) + ", " + std::to_string(at.y()));
        EXPECT_EQ(canvas.pixel(at), qRgb(255, 255, 0));
        EXPECT_EQ(canvas.pixel(at + QPoint(3, 3)), qRgb(255, 255, 0));
        EXPECT_EQ(canvas.pixel(at + QPoint(-3, 3)), qRgb(255, 255, 0));
    }
    // The shadow of the bottom-right cross shows beyond its lower-right arm.
    const QPoint last = OnScreen(points.GetAt(2, 5));
    EXPECT_EQ(canvas.pixel(last + QPoint(6, 6)), qRgb(0, 0, 0));
    // The outline's left edge, between the first two rows: the colour over
    // a shadow one pixel to the right.
    const QPoint left = OnScreen(points.GetAt(0, 0));
    const int between = (OnScreen(points.GetAt(0, 0)).y() + OnScreen(points.GetAt(1, 0)).y()) / 2;
    EXPECT_EQ(canvas.pixel(left.x(), between), qRgb(255, 255, 0));
    EXPECT_EQ(canvas.pixel(left.x() + 1, between), qRgb(0, 0, 0));
    // Away from the grid: the image as it was.
    EXPECT_EQ(canvas.pixel(OnScreen({50, 50})), kBackground);
}

TEST(ChartDragItemTest, FreeModeDrawsMarkersWithoutTheOutline)
{
    CChartDragItem item;
    item.InitChartItem(2, kYellow, 3, {0, 0, 400, 300});
    item.SetFreePlacement(true);
    QImage canvas = Canvas();
    Paint(item, canvas, kScreen, kShown);
    T2DArray<CPoint> points;
    item.GetPatchPoints(points);
    for (const CPoint& p : points.GetCells())
        EXPECT_EQ(canvas.pixel(OnScreen(p)), qRgb(255, 255, 0));
    const QPoint left = OnScreen(points.GetAt(0, 0));
    const int between = (left.y() + OnScreen(points.GetAt(1, 0)).y()) / 2;
    EXPECT_EQ(canvas.pixel(left.x(), between), kBackground);
}

TEST(ChartDragItemTest, NothingOutsideTheScreenRectangleOfTheImage)
{
    // The shown part is the chart's upper-left quarter, enlarged: most
    // markers map beyond the screen rectangle and are clipped.
    CChartDragItem item;
    item.InitChartItem(1, kYellow, 1, {0, 0, 400, 300});
    QImage canvas = Canvas();
    const CRect screen{20, 20, 120, 100};
    Paint(item, canvas, screen, {90, 20, 190, 100});
    bool drewInside = false;
    for (int y = 0; y < canvas.height(); ++y)
    {
        for (int x = 0; x < canvas.width(); ++x)
        {
            const bool inside =
                x >= screen.left && x < screen.right && y >= screen.top && y < screen.bottom;
            if (!inside)
                ASSERT_EQ(canvas.pixel(x, y), kBackground) << x << ", " << y;
            else if (canvas.pixel(x, y) != kBackground)
                drewInside = true;
        }
    }
    EXPECT_TRUE(drewInside);
}

TEST(ChartDragItemTest, NothingIsDrawnWithoutRowsColumnsOrImage)
{
    struct Case
    {
        const char* name;
        int rows;
        int columns;
        CRect chartArea;
        CRect shown;
    };
    const std::vector<Case> cases = {
        {"no rows", 0, 6, {0, 0, 400, 300}, kShown},
        {"no columns", 3, 0, {0, 0, 400, 300}, kShown},
        {"image rectangle with right 0", 3, 6, {0, 0, 0, 300}, kShown},
        {"image rectangle with bottom 0", 3, 6, {0, 0, 400, 0}, kShown},
        {"zero-width part shown", 3, 6, {0, 0, 400, 300}, {100, 0, 100, 300}},
        {"zero-height part shown", 3, 6, {0, 0, 400, 300}, {0, 50, 400, 50}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CChartDragItem item;
        item.InitChartItem(1, kYellow, 3, {0, 0, 400, 300});
        item.SetGrid(c.rows, c.columns);
        item.SetImageRect(c.chartArea);
        QImage canvas = Canvas();
        Paint(item, canvas, kScreen, c.shown);
        EXPECT_TRUE(Untouched(canvas));
    }
    CChartDragItem fresh;
    QImage canvas = Canvas();
    Paint(fresh, canvas, kScreen, kShown);
    EXPECT_TRUE(Untouched(canvas));
}

bool IsPattern(QRgb pixel)
{
    return pixel == qRgb(0, 0, 0) || pixel == qRgb(255, 255, 255);
}

TEST(ChartDragItemTest, DragFeedbackFollowsTheMouseUntilTheRelease)
{
    // Free mode, shown 1:1: the last point of one row at (300, 37) is
    // dragged to (350, 120).
    CChartDragItem item;
    item.InitChartItem(1, kYellow, 1, {0, 0, 400, 300});
    item.SetFreePlacement(true);
    const CRect screen{0, 0, 400, 300};
    ASSERT_TRUE(item.HitTest({300, 37}, 1));
    item.BeginDrag({300, 37}, screen, screen);
    EXPECT_TRUE(item.IsDragging());
    item.Drag({350, 120}, screen, screen);

    QImage canvas = Canvas(400, 300);
    Paint(item, canvas, screen, screen);
    // The feedback cross in the black-and-white pattern (both arms cover
    // the 3 x 3 pixels round the centre), the item still at its old place.
    std::set<QRgb> centre;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            centre.insert(canvas.pixel(350 + dx, 120 + dy));
    EXPECT_EQ(centre, (std::set<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)}));
    for (int d = -4; d <= 4; ++d)
    {
        EXPECT_TRUE(IsPattern(canvas.pixel(350 + d, 120 + d))) << d;
        EXPECT_TRUE(IsPattern(canvas.pixel(350 + d, 120 - d))) << d;
    }
    EXPECT_EQ(canvas.pixel(300, 37), qRgb(255, 255, 0));

    item.EndDrag({350, 120});
    EXPECT_FALSE(item.IsDragging());
    canvas = Canvas(400, 300);
    Paint(item, canvas, screen, screen);
    EXPECT_EQ(canvas.pixel(350, 120), qRgb(255, 255, 0));
    EXPECT_EQ(canvas.pixel(300, 37), kBackground);
}

TEST(ChartDragItemTest, GridFeedbackDrawsTheMovedOutlineAndItsCrosses)
{
    CChartDragItem item;
    item.InitChartItem(1, kYellow, 1, {0, 0, 400, 300}); // (100, 37) .. (300, 37), 6 points
    const CRect screen{0, 0, 400, 300};
    ASSERT_TRUE(item.HitTest({300, 37}, 1));
    item.BeginDrag({300, 37}, screen, screen);
    item.Drag({300, 137}, screen, screen);
    QImage canvas = Canvas(400, 300);
    Paint(item, canvas, screen, screen);
    // Crosses at (100 + 40 j, 37 + 20 j), the line between them patterned.
    for (int j = 1; j < 6; ++j)
        EXPECT_TRUE(IsPattern(canvas.pixel(100 + 40 * j, 37 + 20 * j))) << j;
    EXPECT_TRUE(IsPattern(canvas.pixel(120, 47)));
    // The item itself is still where it was.
    EXPECT_EQ(canvas.pixel(300, 37), qRgb(255, 255, 0));
}

TEST(ChartDragItemTest, FeedbackPenUsesThePatternOrSolidGrey)
{
    const QImage pattern = LoadBitmapResource(kBitmapDragPattern);
    ASSERT_FALSE(pattern.isNull());
    const QPen patterned = CChartDragItem::FeedbackPen(pattern, 3);
    EXPECT_EQ(patterned.brush().style(), Qt::TexturePattern);
    EXPECT_EQ(patterned.width(), 3);

    const QPen grey = CChartDragItem::FeedbackPen(QImage(), 1);
    EXPECT_EQ(grey.brush().style(), Qt::SolidPattern);
    EXPECT_EQ(grey.color(), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(grey.width(), 1);
}

} // namespace
