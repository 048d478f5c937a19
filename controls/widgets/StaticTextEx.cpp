#include "controls/widgets/StaticTextEx.h"

#include <QPainter>

CStaticTextEx::CStaticTextEx(QWidget* parent)
    : QLabel(parent), m_textColor(RefFromColor(palette().color(QPalette::WindowText)))
{
    setTextFormat(Qt::PlainText);
}

void CStaticTextEx::SetTextColor(COLORREF color)
{
    m_textColor = color;
    update();
}

void CStaticTextEx::paint(QPainter& painter) const
{
    painter.setFont(parentWidget() != nullptr ? parentWidget()->font() : font());
    painter.setPen(ColorFromRef(m_textColor));
    painter.drawText(QRect(QPoint(0, 0), size()), Qt::AlignLeft | Qt::AlignTop, text());
}

void CStaticTextEx::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paint(painter);
}
