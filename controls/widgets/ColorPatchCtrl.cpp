#include "controls/widgets/ColorPatchCtrl.h"

#include "controls/support/PointerState.h"
#include "controls/widgets/ColorCellLogic.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionFocusRect>

CColorPatchCtrl::CColorPatchCtrl(QWidget* parent)
    : CControlWidget(parent), m_pointer(&SystemPointerState())
{
    m_repeatTimer.setInterval(kRepeatIntervalMs);
    connect(&m_repeatTimer, &QTimer::timeout, this, &CColorPatchCtrl::OnRepeatTimer);
}

void CColorPatchCtrl::SetColor(const RGBColor& color)
{
    if (color == Color)
        return;
    Color = color;
    update();
}

void CColorPatchCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Press();
    CControlWidget::mousePressEvent(event);
}

void CColorPatchCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Press();
    CControlWidget::mouseDoubleClickEvent(event);
}

void CColorPatchCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        EndPress();
    CControlWidget::mouseReleaseEvent(event);
}

void CColorPatchCtrl::Press()
{
    sendNotify(kPressed, 0);
    m_repeatTimer.start();
    setFocus(Qt::MouseFocusReason);
}

void CColorPatchCtrl::OnRepeatTimer()
{
    if (!m_repeatTimer.isActive())
        return;
    if (!m_pointer->primaryButtonDown())
    {
        EndPress();
        return;
    }
    if (rect().contains(mapFromGlobal(m_pointer->globalCursorPosition())))
        sendNotify(kPressed, 1);
}

// The running timer is the press: whoever stops it first reports the end,
// so a release seen both by a tick and by the button-up event is reported
// once.
void CColorPatchCtrl::EndPress()
{
    if (!m_repeatTimer.isActive())
        return;
    m_repeatTimer.stop();
    sendNotify(kReleased, 0);
}

void CColorPatchCtrl::focusInEvent(QFocusEvent* event)
{
    repaint();
    CControlWidget::focusInEvent(event);
}

void CColorPatchCtrl::focusOutEvent(QFocusEvent* event)
{
    repaint();
    CControlWidget::focusOutEvent(event);
}

void CColorPatchCtrl::paint(QPainter& painter) const
{
    PainterStateGuard guard(painter);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(rect(), ColorFromRGBColor(Color));

    QRect frame = rect();
    if (Selected != 0)
    {
        const CellRect square = CrossSquare(CellRect{0, 0, width(), height()});
        frame = QRect(QPoint(square.left, square.top), QPoint(square.right - 1, square.bottom - 1));
        // The black shadow one pixel below the red cross.
        painter.setPen(QPen(Qt::black, 2));
        painter.drawLine(square.left, square.top + 1, square.right - 1, square.bottom);
        painter.drawLine(square.left, square.bottom, square.right - 1, square.top + 1);
        painter.setPen(QPen(ColorFromRef(MakeColorRef(255, 0, 0)), 2));
        painter.drawLine(square.left, square.top, square.right - 1, square.bottom - 1);
        painter.drawLine(square.left, square.bottom - 1, square.right - 1, square.top);
    }

    if (hasFocus())
    {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = frame;
        option.backgroundColor = ColorFromRGBColor(Color);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}
