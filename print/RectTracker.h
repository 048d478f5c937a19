#pragma once
// A rubber-band frame laid over a control: eight handles to resize it and
// its inside to move it, dragged with the mouse.
//
// The owner drives a drag: BeginTrack on the press (false when the point
// hits neither a handle nor the inside), TrackTo on every move, EndTrack on
// the release, which says whether the frame moved at all (a frame that did
// not move keeps its rectangle). Each step moves the edges the handle
// holds by the mouse's displacement from the press, then AdjustRect lets a
// subclass constrain the result.
//
// Handle codes (HitTest, AdjustRect):
//   0 top-left  1 top-right  2 bottom-right  3 bottom-left
//   4 top       5 right      6 bottom        7 left        8 inside (move)
//  -1 nothing

#include "core/Rect.h"

#include <Qt>

class QPainter;

class CRectTracker
{
public:
    enum Handle
    {
        hitNothing = -1,
        hitTopLeft = 0,
        hitTopRight = 1,
        hitBottomRight = 2,
        hitBottomLeft = 3,
        hitTop = 4,
        hitRight = 5,
        hitBottom = 6,
        hitLeft = 7,
        hitMiddle = 8
    };
    // Frame styles; the print preview's frames are dotted with their handles
    // outside the rectangle (dottedLine | resizeOutside = 18).
    static constexpr unsigned solidLine = 1;
    static constexpr unsigned dottedLine = 2;
    static constexpr unsigned resizeOutside = 16;

    CRectTracker() = default;
    CRectTracker(const CRect& rect, unsigned style) : m_rect(rect), m_nStyle(style) {}
    virtual ~CRectTracker() = default;

    CRect m_rect;
    unsigned m_nStyle = dottedLine | resizeOutside;
    // Side of a handle square, in pixels.
    int m_nHandleSize = 7;
    // Smallest width and height a resize leaves (the frame never turns
    // inside out).
    int m_minWidth = 14;
    int m_minHeight = 14;

    // The handle under the point, 8 inside the frame, -1 elsewhere.
    int HitTest(CPoint point) const;
    // The square of one of the eight handles.
    CRect HandleRect(int handle) const;
    // The cursor the handle shows.
    static Qt::CursorShape CursorForHandle(int handle);

    bool BeginTrack(CPoint point);
    // shift / control: the modifier keys held during this step.
    void TrackTo(CPoint point, bool shift, bool control);
    bool EndTrack();
    // Esc: the frame goes back to where the drag started.
    void CancelTrack();
    bool IsTracking() const { return m_trackHandle != hitNothing; }
    // The frame has changed since the drag began.
    bool HasMoved() const { return m_trackMoved; }
    int TrackHandle() const { return m_trackHandle; }

    void Draw(QPainter& painter) const;

protected:
    // Called after each step of a drag with the handle and the rectangle
    // the mouse gives. The base keeps the minimum size by moving the
    // dragged edge; overrides call it first.
    virtual void AdjustRect(int handle, CRect& rect);

    // The modifiers of the current step, for AdjustRect.
    bool m_shiftDown = false;
    bool m_controlDown = false;

private:
    int m_trackHandle = hitNothing;
    CPoint m_trackStart;
    CRect m_trackStartRect;
    bool m_trackMoved = false;
};
