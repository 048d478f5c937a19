#include "print/RectTracker.h"

#include <QPainter>

namespace {

bool Contains(const CRect& r, CPoint p)
{
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

// Which edges a handle drags.
bool MovesLeft(int h)
{
    return h == 0 || h == 3 || h == 7;
}
bool MovesRight(int h)
{
    return h == 1 || h == 2 || h == 5;
}
bool MovesTop(int h)
{
    return h == 0 || h == 1 || h == 4;
}
bool MovesBottom(int h)
{
    return h == 2 || h == 3 || h == 6;
}

} // namespace

CRect CRectTracker::HandleRect(int handle) const
{
    // Handles lie outside the frame's corners and sides (resizeOutside) or
    // just inside them; the side handles sit at the middle of their side.
    const int s = m_nHandleSize;
    const bool outside = (m_nStyle & resizeOutside) != 0;
    const int cx = m_rect.left + (m_rect.Width() - s) / 2;
    const int cy = m_rect.top + (m_rect.Height() - s) / 2;
    const int l = outside ? m_rect.left - s : m_rect.left;
    const int t = outside ? m_rect.top - s : m_rect.top;
    const int r = outside ? m_rect.right : m_rect.right - s;
    const int b = outside ? m_rect.bottom : m_rect.bottom - s;
    // Column and row of each handle: 0 the left (top) side, 1 the middle,
    // 2 the right (bottom) side.
    static constexpr int kColumn[8] = {0, 2, 2, 0, 1, 2, 1, 0};
    static constexpr int kRow[8] = {0, 0, 2, 2, 0, 1, 2, 1};
    if (handle < hitTopLeft || handle > hitLeft)
        return {};
    const int xs[3] = {l, cx, r};
    const int ys[3] = {t, cy, b};
    const int x = xs[kColumn[handle]];
    const int y = ys[kRow[handle]];
    return {x, y, x + s, y + s};
}

int CRectTracker::HitTest(CPoint point) const
{
    // Corners first: on a small frame they overlap the edge handles.
    for (int handle = hitTopLeft; handle <= hitLeft; ++handle)
        if (Contains(HandleRect(handle), point))
            return handle;
    return Contains(m_rect, point) ? hitMiddle : hitNothing;
}

Qt::CursorShape CRectTracker::CursorForHandle(int handle)
{
    switch (handle)
    {
    case hitTopLeft:
    case hitBottomRight:
        return Qt::SizeFDiagCursor;
    case hitTopRight:
    case hitBottomLeft:
        return Qt::SizeBDiagCursor;
    case hitTop:
    case hitBottom:
        return Qt::SizeVerCursor;
    case hitLeft:
    case hitRight:
        return Qt::SizeHorCursor;
    case hitMiddle:
        return Qt::SizeAllCursor;
    default:
        return Qt::ArrowCursor;
    }
}

bool CRectTracker::BeginTrack(CPoint point)
{
    const int handle = HitTest(point);
    if (handle == hitNothing)
        return false;
    m_trackHandle = handle;
    m_trackStart = point;
    m_trackStartRect = m_rect;
    m_trackMoved = false;
    return true;
}

void CRectTracker::TrackTo(CPoint point, bool shift, bool control)
{
    if (!IsTracking())
        return;
    const int dx = point.x - m_trackStart.x;
    const int dy = point.y - m_trackStart.y;
    CRect rect = m_trackStartRect;
    const int h = m_trackHandle;
    if (h == hitMiddle)
    {
        rect = {rect.left + dx, rect.top + dy, rect.right + dx, rect.bottom + dy};
    }
    else
    {
        if (MovesLeft(h))
            rect.left += dx;
        if (MovesRight(h))
            rect.right += dx;
        if (MovesTop(h))
            rect.top += dy;
        if (MovesBottom(h))
            rect.bottom += dy;
    }
    m_shiftDown = shift;
    m_controlDown = control;
    AdjustRect(h, rect);
    if (rect != m_rect)
        m_trackMoved = true;
    m_rect = rect;
}

bool CRectTracker::EndTrack()
{
    if (!IsTracking())
        return false;
    if (!m_trackMoved)
        m_rect = m_trackStartRect;
    m_trackHandle = hitNothing;
    return m_trackMoved;
}

void CRectTracker::CancelTrack()
{
    if (!IsTracking())
        return;
    m_rect = m_trackStartRect;
    m_trackHandle = hitNothing;
    m_trackMoved = false;
}

void CRectTracker::AdjustRect(int handle, CRect& rect)
{
    // A resize never makes the frame smaller than the minimum (nor turns it
    // inside out): the dragged edge stops at the minimum from the other.
    if (handle == hitMiddle || handle == hitNothing)
        return;
    if (rect.Width() < m_minWidth)
    {
        if (MovesLeft(handle))
            rect.left = rect.right - m_minWidth;
        else if (MovesRight(handle))
            rect.right = rect.left + m_minWidth;
    }
    if (rect.Height() < m_minHeight)
    {
        if (MovesTop(handle))
            rect.top = rect.bottom - m_minHeight;
        else if (MovesBottom(handle))
            rect.bottom = rect.top + m_minHeight;
    }
}

void CRectTracker::Draw(QPainter& painter) const
{
    if (m_rect.IsRectEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen pen(Qt::black, 0, (m_nStyle & dottedLine) ? Qt::DotLine : Qt::SolidLine);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(m_rect.left, m_rect.top, m_rect.Width() - 1, m_rect.Height() - 1);
    for (int handle = hitTopLeft; handle <= hitLeft; ++handle)
    {
        const CRect r = HandleRect(handle);
        painter.fillRect(r.left, r.top, r.Width(), r.Height(), Qt::black);
    }
    painter.restore();
}
