#include "app/panels/chart/ChartDragItemLogic.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

constexpr int kDefaultColumns = 6;
// New points of a growing one-row grid: 20 pixels in from the image's
// top-left corner, a twentieth of the image width apart.
constexpr int kRowInset = 20;
constexpr int kRowSteps = 20;

// Weighted sum of four integers over a positive denominator, truncated
// toward zero as a floating-point blend would be, but exact. The weights
// are non-negative and add up to the denominator, so the sum stays within
// the largest |value| times the denominator.
int Blend(std::int64_t a, std::int64_t wa, std::int64_t b, std::int64_t wb, std::int64_t c,
          std::int64_t wc, std::int64_t d, std::int64_t wd, std::int64_t denominator)
{
    return static_cast<int>((a * wa + b * wb + c * wc + d * wd) / denominator);
}

// A 64-bit position as a point, each coordinate limited to the int range.
CPoint Saturated(std::int64_t x, std::int64_t y)
{
    const auto limit = [](std::int64_t v) {
        return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(),
                                                         std::numeric_limits<int>::max()));
    };
    return {limit(x), limit(y)};
}

} // namespace

bool PtInRect(const CRect& rect, const CPoint& p)
{
    return p.x >= rect.left && p.x < rect.right && p.y >= rect.top && p.y < rect.bottom;
}

CPoint ClampToRect(std::int64_t x, std::int64_t y, const CRect& rect)
{
    // right - 1 and bottom - 1 in 64 bits: an edge at INT_MIN has no last pixel.
    const auto limit = [](std::int64_t v, std::int64_t low, std::int64_t high) {
        return static_cast<int>(std::max(low, std::min(v, high)));
    };
    return {limit(x, rect.left, std::int64_t{rect.right} - 1),
            limit(y, rect.top, std::int64_t{rect.bottom} - 1)};
}

T2DArray<CPoint> DefaultChartCorners(int placement, const CRect& image, int rows, int columns)
{
    T2DArray<CPoint> corners;
    if (rows <= 0 || columns <= 0)
        return corners;
    // The quarters are taken of the band's extent in 64 bits; the band's
    // edges lie between the rectangle's, so the corners do too.
    std::int64_t top = placement == 1 ? image.top : image.bottom / 2;
    std::int64_t bottom = placement == 1 ? image.bottom / 2 : image.bottom;
    const std::int64_t quarterWidth = (std::int64_t{image.right} - image.left) / 4;
    const std::int64_t quarterHeight = (bottom - top) / 4;
    const int left = static_cast<int>(image.left + quarterWidth);
    const int right = static_cast<int>(image.right - quarterWidth);
    top += quarterHeight;
    bottom -= quarterHeight;

    const int cornerRows = std::min(rows, 2);
    const int cornerColumns = std::min(columns, 2);
    corners.Resize(cornerRows, cornerColumns, CPoint{});
    for (int r = 0; r < cornerRows; ++r)
        for (int c = 0; c < cornerColumns; ++c)
            corners.SetAt(r, c,
                          CPoint{c == 0 ? left : right, static_cast<int>(r == 0 ? top : bottom)});
    return corners;
}

T2DArray<CPoint> InterpolateChartPoints(const T2DArray<CPoint>& corners, int rows, int columns)
{
    T2DArray<CPoint> points;
    if (rows <= 0 || columns <= 0 || corners.GetRows() != std::min(rows, 2) ||
        corners.GetColumns() != std::min(columns, 2))
        return points;
    points.Resize(rows, columns, CPoint{});
    if (points.IsEmpty())
        return points;

    // A missing corner stands in for the one it would be blended with:
    // one row has no lower corners, one column no right-hand ones.
    const CPoint tl = corners.GetAt(0, 0);
    const CPoint tr = columns > 1 ? corners.GetAt(0, 1) : tl;
    const CPoint bl = rows > 1 ? corners.GetAt(1, 0) : tl;
    const CPoint br = rows > 1 ? (columns > 1 ? corners.GetAt(1, 1) : bl) : tr;
    const std::int64_t spanU = std::max(columns - 1, 1);
    const std::int64_t spanV = std::max(rows - 1, 1);
    for (int i = 0; i < rows; ++i)
    {
        const std::int64_t v = i;
        for (int j = 0; j < columns; ++j)
        {
            const std::int64_t u = j;
            const std::int64_t wTL = (spanU - u) * (spanV - v);
            const std::int64_t wTR = u * (spanV - v);
            const std::int64_t wBL = (spanU - u) * v;
            const std::int64_t wBR = u * v;
            const std::int64_t denominator = spanU * spanV;
            points.SetAt(i, j,
                         CPoint{Blend(tl.x, wTL, tr.x, wTR, bl.x, wBL, br.x, wBR, denominator),
                                Blend(tl.y, wTL, tr.y, wTR, bl.y, wBL, br.y, wBR, denominator)});
        }
    }
    return points;
}

void ChartGridGeometry::Init(int placement, int rows, const CRect& image)
{
    m_placement = placement;
    m_rows = std::max(rows, 0);
    m_columns = kDefaultColumns;
    m_image = image;
    m_free = false;
    ResetCorners();
    m_points = InterpolateChartPoints(m_corners, m_rows, m_columns);
}

void ChartGridGeometry::SetImageRect(const CRect& image)
{
    const bool moved = image.right != m_image.right || image.bottom != m_image.bottom;
    m_image = image;
    if (!moved)
        return;
    ResetCorners();
    m_points = InterpolateChartPoints(m_corners, m_rows, m_columns);
}

void ChartGridGeometry::SetFreePlacement(bool free)
{
    if (!m_free && free)
        m_points = InterpolateChartPoints(m_corners, m_rows, m_columns);
    m_free = free;
}

void ChartGridGeometry::SetGrid(int rows, int columns)
{
    rows = std::max(rows, 0);
    columns = std::max(columns, 0);
    if (m_corners.GetRows() != std::min(rows, 2) || m_corners.GetColumns() != std::min(columns, 2))
        m_corners = DefaultChartCorners(m_placement, m_image, rows, columns);

    if (m_rows == 1 && rows == 1 && columns != m_columns)
    {
        const T2DArray<CPoint> old = m_points;
        const int kept = old.GetRows() >= 1 ? std::min(old.GetColumns(), columns) : 0;
        const std::int64_t step = (std::int64_t{m_image.right} - m_image.left) / kRowSteps;
        m_points.Resize(1, columns, CPoint{});
        for (int j = 0; j < columns; ++j)
        {
            m_points.SetAt(0, j,
                           j < kept ? old.GetAt(0, j)
                                    : Saturated(j * step + m_image.left + kRowInset,
                                                std::int64_t{m_image.top} + kRowInset));
        }
        m_columns = columns;
        return;
    }
    if (rows == m_rows && columns == m_columns)
        return;
    m_rows = rows;
    m_columns = columns;
    m_points = InterpolateChartPoints(m_corners, m_rows, m_columns);
}

T2DArray<CPoint> ChartGridGeometry::GetPatchPoints() const
{
    return m_free ? m_points : InterpolateChartPoints(m_corners, m_rows, m_columns);
}

bool ChartGridGeometry::HitTest(const CPoint& p, int scale)
{
    ClearHit();
    const T2DArray<CPoint>& handles = Handles();
    std::int64_t best = -1;
    int bestRow = -1;
    int bestColumn = -1;
    for (int r = 0; r < handles.GetRows(); ++r)
    {
        for (int c = 0; c < handles.GetColumns(); ++c)
        {
            const CPoint h = handles.GetAt(r, c);
            if (!PtInRect(m_image, h))
                continue;
            const std::int64_t dx = static_cast<std::int64_t>(h.x) - p.x;
            const std::int64_t dy = static_cast<std::int64_t>(h.y) - p.y;
            const std::int64_t distance = dx * dx + dy * dy;
            if (best < 0 || distance < best)
            {
                best = distance;
                bestRow = r;
                bestColumn = c;
            }
        }
    }
    const std::int64_t radius = static_cast<std::int64_t>(kHitRadius) * scale;
    if (best < 0 || radius * radius < best)
        return false;
    m_hitRow = bestRow;
    m_hitColumn = bestColumn;
    m_anchor = p;
    m_lastFeedback = handles.GetAt(bestRow, bestColumn);
    return true;
}

CPoint ChartGridGeometry::DragPosition(const CPoint& p) const
{
    const CPoint stored = HasHit() ? Handles().GetAt(m_hitRow, m_hitColumn) : m_lastFeedback;
    return ClampToRect(std::int64_t{stored.x} + p.x - m_anchor.x,
                       std::int64_t{stored.y} + p.y - m_anchor.y, m_image);
}

void ChartGridGeometry::BeginDrag(const CPoint& p)
{
    if (HasHit())
        m_lastFeedback = DragPosition(p);
}

void ChartGridGeometry::Drag(const CPoint& p)
{
    if (HasHit() && PtInRect(m_image, p))
        m_lastFeedback = DragPosition(p);
}

void ChartGridGeometry::EndDrag(const CPoint& p)
{
    if (HasHit())
    {
        const CPoint target = PtInRect(m_image, p) ? DragPosition(p) : m_lastFeedback;
        Handles().SetAt(m_hitRow, m_hitColumn, target);
    }
    ClearHit();
}

T2DArray<CPoint> ChartGridGeometry::FeedbackCorners() const
{
    T2DArray<CPoint> corners = m_corners;
    if (HasHit() && !m_free)
        corners.SetAt(m_hitRow, m_hitColumn, m_lastFeedback);
    return corners;
}

void ChartGridGeometry::ResetCorners()
{
    m_corners = DefaultChartCorners(m_placement, m_image, m_rows, m_columns);
}

void ChartGridGeometry::ClearHit()
{
    m_hitRow = -1;
    m_hitColumn = -1;
    m_anchor = CPoint{-1, -1};
}
