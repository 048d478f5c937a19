#pragma once
// The geometry of a colour-checker chart laid over the preview, apart from
// any drawing: where the patch centres start, how the grid's corners give
// every patch centre, which handle a press hits and where a drag leaves it.
//
// Every position is in image pixels. The image rectangle is the part of the
// image the points must stay in (right and bottom one past the last pixel).
// In grid mode the four (at most) corners are the handles and the patch
// centres follow them; in free mode every patch centre is a handle of its
// own.

#include "core/Rect.h"
#include "core/T2DArray.h"

#include <cstdint>

// Whether p lies in rect (left and top inside, right and bottom outside).
bool PtInRect(const CRect& rect, const CPoint& p);

// The position (x, y) moved into rect: x limited to left .. right - 1, y to
// top .. bottom - 1. An empty rectangle gives its left-top corner. The
// position is 64-bit so that a point plus a mouse offset cannot wrap.
CPoint ClampToRect(std::int64_t x, std::int64_t y, const CRect& rect);

// The corners the chart starts with. Placement 1 puts the chart in the
// upper half of the image (top .. bottom / 2), any other value in the lower
// half (bottom / 2 .. bottom); that band loses a quarter of its width on
// the left and on the right and a quarter of its height at the top and at
// the bottom, and its corners are the chart's. The result has the shape
// min(rows, 2) x min(columns, 2): row 0 the top, row 1 the bottom, column 0
// the left, column 1 the right corner; empty for no rows or no columns.
T2DArray<CPoint> DefaultChartCorners(int placement, const CRect& image, int rows, int columns);

// The patch centres of a rows x columns grid spanned by its corners.
// The centre of row i and column j is the bilinear blend
//   (1-u)(1-v) TL + u(1-v) TR + (1-u)v BL + uv BR,  u = j / (columns - 1),
//                                                   v = i / (rows - 1),
// truncated toward zero. A single row blends the two upper corners only, a
// single column the two left corners, a single patch is the one corner.
// The sum is taken in 64-bit integers over the common denominator
// (columns - 1)(rows - 1), so a centre that falls on a whole pixel is
// exact and no division by a zero count can happen. Empty when rows or
// columns is not positive or the corners do not have the shape
// min(rows, 2) x min(columns, 2).
T2DArray<CPoint> InterpolateChartPoints(const T2DArray<CPoint>& corners, int rows, int columns);

// The chart item's state apart from its colour and its drawing.
class ChartGridGeometry
{
public:
    static constexpr int kHitRadius = 8; // screen pixels, times the HitTest scale

    // Placement, rows, six columns, the image rectangle and grid mode; the
    // default corners, and the patch points filled from them.
    void Init(int placement, int rows, const CRect& image);

    // Stores the rectangle; a new right or bottom edge (the image changed)
    // puts the chart back to its default corners and refills the points.
    void SetImageRect(const CRect& image);

    // Switching from grid to free mode first fills the patch points from
    // the corners, so the free points start where the grid was.
    void SetFreePlacement(bool free);

    // A new grid shape. The corners start again from the default placement
    // when their shape changes. A one-row grid that only changes its number
    // of columns keeps its points (the first ones, when it shrinks) and
    // lines new ones up along the top of the image, 20 pixels in from the
    // top-left and a twentieth of the image width apart. Any other change
    // of shape refills every point from the corners.
    void SetGrid(int rows, int columns);

    // The patch centres: the stored points in free mode, the points spanned
    // by the corners in grid mode.
    T2DArray<CPoint> GetPatchPoints() const;

    // The handle nearest to p among those inside the image rectangle (the
    // patch points in free mode, the corners in grid mode; the first of
    // equals wins), when it lies within kHitRadius * scale of p. A hit
    // remembers the handle, takes p as the anchor of the drag and the
    // handle's position as the last feedback point.
    bool HitTest(const CPoint& p, int scale);

    // Where the handle hit would go for the mouse at p: its stored position
    // plus the mouse's offset from the anchor, kept inside the image.
    CPoint DragPosition(const CPoint& p) const;

    // The drag's first feedback.
    void BeginDrag(const CPoint& p);
    // The feedback follows the mouse while it stays inside the image.
    void Drag(const CPoint& p);
    // The handle takes its place: where the mouse points when it is inside
    // the image, else where the feedback was last shown. The hit ends.
    void EndDrag(const CPoint& p);

    // A handle is hit (and still exists: the grid may have changed since).
    bool HasHit() const
    {
        return m_hitRow >= 0 && m_hitColumn >= 0 && m_hitRow < Handles().GetRows() &&
               m_hitColumn < Handles().GetColumns();
    }
    // The corners with the handle hit at the last feedback point (grid
    // mode); the corners as they are without a hit.
    T2DArray<CPoint> FeedbackCorners() const;

    int Placement() const { return m_placement; }
    int Rows() const { return m_rows; }
    int Columns() const { return m_columns; }
    const CRect& ImageRect() const { return m_image; }
    bool IsFreePlacement() const { return m_free; }
    const T2DArray<CPoint>& Corners() const { return m_corners; }
    const T2DArray<CPoint>& StoredPoints() const { return m_points; }
    int HitRow() const { return m_hitRow; }
    int HitColumn() const { return m_hitColumn; }
    const CPoint& Anchor() const { return m_anchor; }
    const CPoint& LastFeedback() const { return m_lastFeedback; }

private:
    // The handles of the current mode.
    const T2DArray<CPoint>& Handles() const { return m_free ? m_points : m_corners; }
    T2DArray<CPoint>& Handles() { return m_free ? m_points : m_corners; }
    void ResetCorners();
    void ClearHit();

    int m_placement = 1;
    int m_rows = 0;
    int m_columns = 0;
    CRect m_image;
    bool m_free = false;
    T2DArray<CPoint> m_points;
    T2DArray<CPoint> m_corners;
    int m_hitRow = -1;
    int m_hitColumn = -1;
    CPoint m_anchor{-1, -1};
    CPoint m_lastFeedback{-1, -1};
};
