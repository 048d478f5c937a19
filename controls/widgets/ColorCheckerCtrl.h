#pragma once
// CColorCheckerCtrl: a grid of colours (a colour-checker chart). A click on
// a cell reports (513, row << 16 | column); the mouse coming in reports
// (512, 1) and going out (512, 0), each once. Selected cells carry a red
// cross. The cells lie on a background of FrameColor with a gap of
// GapPercent percent of a cell around each (see ColorCellLogic.h).

#include "controls/support/ColorRef.h"
#include "controls/widgets/ControlWidget.h"
#include "core/T2DArray.h"

#include <QTimer>

#include <cstdint>
#include <optional>

class IPointerState;

class CColorCheckerCtrl : public CControlWidget
{
    Q_OBJECT
public:
    // Notification codes.
    static constexpr int kHover = 512;       // value 1 entered, 0 left
    static constexpr int kCellClicked = 513; // value row << 16 | column
    static constexpr int kHoverIntervalMs = 10;

    explicit CColorCheckerCtrl(QWidget* parent = nullptr);

    // One white cell, nothing selected, no gap, the frame colour given or
    // black. Repaints nothing: the old picture stays until the next paint.
    void Clear(std::optional<RGBColor> frame = std::nullopt);

    // Takes over the cells, clears the selection (same shape as the cells),
    // sets the frame colour (given or black) and the gap to 0. Repaints
    // unless the picture cannot have changed.
    void SetColors(std::optional<RGBColor> frame, const T2DArray<RGBColor>& cells);

    // The mouse the hover timer polls; the system's unless a test sets one.
    void setPointerState(const IPointerState& pointer) { m_pointer = &pointer; }

    // One tick of the hover timer (public so that tests can drive it).
    void OnHoverTimer();
    bool isHoverTimerActive() const { return m_hoverTimer.isActive(); }

    void paint(QPainter& painter) const override;

    T2DArray<RGBColor> Cells;
    // Written by the owner; a shape other than the cells' is read only
    // where it overlaps them.
    T2DArray<bool> Selection;
    std::uint32_t GapPercent = 20;
    RGBColor FrameColor;
    std::uint8_t Hovering = 0;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void EndHover();
    bool IsSelected(int row, int column) const;

    const IPointerState* m_pointer;
    QTimer m_hoverTimer;
};
