#pragma once
// A shape that a step panel lays over the image preview and that the user
// moves with the mouse (the chart's patch grid, the trim frame). The image
// view holds the shown panel's item (not owned), draws it after the image,
// asks it for the mouse cursor and hands it press, move and release.
//
// Every position the item keeps is in image pixels. The view passes mouse
// positions already in image pixels and, as the scale of HitTest, the
// number of image pixels one screen pixel covers at the current zoom (at
// least 1), so that hit tolerances stay about constant on the screen.
//
// Qt paints only inside a paint event, so an item never draws on its own:
// BeginDrag and Drag update the item's drag state and the view repaints;
// Draw paints the item and, while a drag runs, its drag feedback.

#include "core/Rect.h"

#include <QPoint>

class QPainter;

inline constexpr int kCursorPan = 167;     // open hand: panning, and the default of an item
inline constexpr int kCursorDragItem = 168; // an item's point is being dragged
inline constexpr int kCursorPick = 169;     // a picked colour is carried, or the compare view

class CBaseDragItem
{
public:
    CBaseDragItem() = default;
    virtual ~CBaseDragItem() = default;
    CBaseDragItem(const CBaseDragItem&) = default;
    CBaseDragItem& operator=(const CBaseDragItem&) = default;

    // Whether the image point hits one of the item's handles.
    virtual bool HitTest(const CPoint& /*imagePoint*/, int /*scale*/) { return false; }
    // screen: where the image part is shown (view coordinates); image: the
    // image part shown there (image pixels).
    virtual void BeginDrag(const CPoint& /*imagePoint*/, const CRect& /*screen*/, const CRect& /*image*/)
    {
        m_dragging = 0;
    }
    virtual void Drag(const CPoint& /*imagePoint*/, const CRect& /*screen*/, const CRect& /*image*/) {}
    virtual void EndDrag(const CPoint& /*imagePoint*/) { m_dragging = 0; }
    virtual bool IsDragging() const { return m_dragging != 0; }
    // The cursor resource shown over the handle last hit.
    virtual int GetCursorId() const { return kCursorPan; }
    // Paints the item (and its drag feedback while dragging), clipped to
    // the screen rectangle.
    virtual void Draw(QPainter& /*painter*/, const CRect& /*screen*/, const CRect& /*image*/) const {}

protected:
    int m_dragging = 0;
};

// The image point p as a view point, for the image part `image` shown in
// `screen`: x = screen.left + screen width / image width * (p.x - image.left),
// likewise y, in floating point and truncated. False (out untouched) for an
// empty image rectangle; otherwise `inside` tells whether p lies in `image`.
bool ImagePointToScreen(const CRect& screen, const CRect& image, const CPoint& p, QPoint& out,
                        bool* inside = nullptr);
