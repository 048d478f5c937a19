#pragma once
// The mouse as a timer sees it between events: whether the primary button
// is held and where the cursor is. Controls that poll it from a timer (the
// auto-repeat of a pressed patch, the hover test of a grid, a drag that
// follows the cursor) read it through this interface, so a test can stand
// in for the mouse.

#include <QPoint>

class IPointerState
{
public:
    virtual ~IPointerState() = default;
    // The primary button is held (the left one, or the right one when the
    // buttons are swapped: Qt reports the primary button as LeftButton).
    virtual bool primaryButtonDown() const = 0;
    // The cursor in global (screen) coordinates.
    virtual QPoint globalCursorPosition() const = 0;
};

// The real mouse.
const IPointerState& SystemPointerState();
