#pragma once
// CColorPatchCtrl: one colour, shown as a filled rectangle, that can be
// pressed. A press reports (1, 0); while the primary button stays down the
// control repeats (1, 1) every 166 ms as long as the cursor is over it (off
// it the repeats pause, the press goes on); the end of the press reports
// (2, 0) once, whichever notices it first: the button-up event or a timer
// tick that finds the button up.
//
// Selected draws a red cross with a black shadow; the focus draws a focus
// frame.

#include "controls/support/ColorRef.h"
#include "controls/widgets/ControlWidget.h"

#include <QTimer>

#include <cstdint>

class IPointerState;

class CColorPatchCtrl : public CControlWidget
{
    Q_OBJECT
public:
    // Notification codes.
    static constexpr int kPressed = 1;   // value 0 on the press, 1 on each repeat
    static constexpr int kReleased = 2;  // value 0
    static constexpr int kRepeatIntervalMs = 166;

    explicit CColorPatchCtrl(QWidget* parent = nullptr);

    // Stores the colour and repaints, unless it is the colour shown.
    void SetColor(const RGBColor& color);
    RGBColor GetColor() const { return Color; }

    // The mouse the repeat timer polls; the system's unless a test sets one.
    void setPointerState(const IPointerState& pointer) { m_pointer = &pointer; }

    // One tick of the repeat timer (public so that tests can drive it).
    void OnRepeatTimer();
    bool isRepeating() const { return m_repeatTimer.isActive(); }

    void paint(QPainter& painter) const override;

    RGBColor Color;
    std::uint8_t Selected = 0;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void Press();
    void EndPress();

    const IPointerState* m_pointer;
    QTimer m_repeatTimer;
};
