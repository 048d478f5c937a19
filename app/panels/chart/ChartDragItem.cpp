#include "app/panels/chart/ChartDragItem.h"

#include "controls/support/ResourceImages.h"
#include "controls/widgets/ControlWidget.h"

#include <QBrush>
#include <QPainter>
#include <QPen>
#include <QPolygon>

namespace {

constexpr int kCrossHalf = 4; // the cross spans +-4 pixels on both diagonals
constexpr int kMarkerPenWidth = 3;
constexpr int kOutlinePenWidth = 1;
constexpr int kMarkerShadowOffset = 2;
constexpr int kOutlineShadowOffset = 1;
constexpr COLORREF kShadow = MakeColorRef(0, 0, 0);
constexpr COLORREF kFeedbackFallback = MakeColorRef(0x80, 0x80, 0x80);

// A solid pen of the given width; wide pens end and join round.
QPen SolidPen(const QColor& colour, int width)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

} // namespace

CChartDragItem::CChartDragItem() : m_pattern(LoadBitmapResource(kBitmapDragPattern)) {}

void CChartDragItem::InitChartItem(int placement, COLORREF colour, int rows, const CRect& image)
{
    m_color = colour;
    m_geometry.Init(placement, rows, image);
}

void CChartDragItem::SetImageRect(const CRect& image)
{
    m_geometry.SetImageRect(image);
}

void CChartDragItem::SetFreePlacement(bool free)
{
    m_geometry.SetFreePlacement(free);
}

void CChartDragItem::SetGrid(int rows, int columns)
{
    m_geometry.SetGrid(rows, columns);
}

void CChartDragItem::GetPatchPoints(T2DArray<CPoint>& points) const
{
    points = m_geometry.GetPatchPoints();
}

bool CChartDragItem::HitTest(const CPoint& imagePoint, int scale)
{
    return m_geometry.HitTest(imagePoint, scale);
}

void CChartDragItem::BeginDrag(const CPoint& imagePoint, const CRect& /*screen*/,
                               const CRect& /*image*/)
{
    m_dragging = 1;
    m_geometry.BeginDrag(imagePoint);
}

void CChartDragItem::Drag(const CPoint& imagePoint, const CRect& /*screen*/, const CRect& /*image*/)
{
    m_geometry.Drag(imagePoint);
}

void CChartDragItem::EndDrag(const CPoint& imagePoint)
{
    m_dragging = 0;
    m_geometry.EndDrag(imagePoint);
}

QPen CChartDragItem::FeedbackPen(const QImage& pattern, int width)
{
    if (pattern.isNull())
        return SolidPen(ColorFromRef(kFeedbackFallback), width);
    return QPen(QBrush(pattern), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void CChartDragItem::Draw(QPainter& painter, const CRect& screen, const CRect& image) const
{
    const CRect& chartArea = m_geometry.ImageRect();
    if (m_geometry.Rows() == 0 || m_geometry.Columns() == 0 || chartArea.right == 0 ||
        chartArea.bottom == 0)
        return;
    // No image part shown: nothing maps to the screen.
    if (image.IsRectEmpty())
        return;

    PainterStateGuard guard(painter);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setClipRect(QRect(screen.left, screen.top, screen.Width(), screen.Height()));
    painter.setBrush(Qt::NoBrush);

    if (m_geometry.IsFreePlacement())
    {
        DrawMarkers(painter, m_geometry.StoredPoints(), screen, image);
    }
    else
    {
        DrawGridOutline(painter, m_geometry.Corners(), screen, image);
        DrawMarkers(painter, m_geometry.GetPatchPoints(), screen, image);
    }
    if (IsDragging() && m_geometry.HasHit())
        DrawFeedback(painter, screen, image);
}

void CChartDragItem::DrawOutline(QPainter& painter, const T2DArray<CPoint>& corners,
                                 const CRect& screen, const CRect& image, const QPen& pen,
                                 int offset) const
{
    const int rows = corners.GetRows();
    const int columns = corners.GetColumns();
    if (rows * columns < 2)
        return;
    QPolygon outline;
    // Clockwise from the top-left: with two corners only, the line between them.
    struct Cell
    {
        int row;
        int column;
    };
    constexpr Cell kOrder[4] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
    for (const Cell& cell : kOrder)
    {
        if (cell.row >= rows || cell.column >= columns)
            continue;
        QPoint at;
        if (!ImagePointToScreen(screen, image, corners.GetAt(cell.row, cell.column), at))
            return;
        outline << at + QPoint(offset, offset);
    }
    painter.setPen(pen);
    if (outline.size() == 2)
        painter.drawLine(outline[0], outline[1]);
    else
        painter.drawPolygon(outline);
}

void CChartDragItem::DrawCrosses(QPainter& painter, const T2DArray<CPoint>& points,
                                 const CRect& screen, const CRect& image, const QPen& pen,
                                 int offset) const
{
    painter.setPen(pen);
    for (const CPoint& p : points.GetCells())
    {
        QPoint at;
        if (!ImagePointToScreen(screen, image, p, at))
            return;
        at += QPoint(offset, offset);
        painter.drawLine(at + QPoint(-kCrossHalf, -kCrossHalf),
                         at + QPoint(kCrossHalf, kCrossHalf));
        painter.drawLine(at + QPoint(kCrossHalf, -kCrossHalf),
                         at + QPoint(-kCrossHalf, kCrossHalf));
    }
}

void CChartDragItem::DrawMarkers(QPainter& painter, const T2DArray<CPoint>& points,
                                 const CRect& screen, const CRect& image) const
{
    DrawCrosses(painter, points, screen, image, SolidPen(ColorFromRef(kShadow), kMarkerPenWidth),
                kMarkerShadowOffset);
    DrawCrosses(painter, points, screen, image, SolidPen(ColorFromRef(m_color), kMarkerPenWidth),
                0);
}

void CChartDragItem::DrawGridOutline(QPainter& painter, const T2DArray<CPoint>& corners,
                                     const CRect& screen, const CRect& image) const
{
    DrawOutline(painter, corners, screen, image, SolidPen(ColorFromRef(kShadow), kOutlinePenWidth),
                kOutlineShadowOffset);
    DrawOutline(painter, corners, screen, image, SolidPen(ColorFromRef(m_color), kOutlinePenWidth),
                0);
}

void CChartDragItem::DrawFeedback(QPainter& painter, const CRect& screen, const CRect& image) const
{
    const QPen crossPen = FeedbackPen(m_pattern, kMarkerPenWidth);
    if (m_geometry.IsFreePlacement())
    {
        T2DArray<CPoint> point;
        point.Resize(1, 1, m_geometry.LastFeedback());
        DrawCrosses(painter, point, screen, image, crossPen, 0);
        return;
    }
    const T2DArray<CPoint> corners = m_geometry.FeedbackCorners();
    DrawOutline(painter, corners, screen, image, FeedbackPen(m_pattern, kOutlinePenWidth), 0);
    DrawCrosses(painter, InterpolateChartPoints(corners, m_geometry.Rows(), m_geometry.Columns()),
                screen, image, crossPen, 0);
}
