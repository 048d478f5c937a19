#include "controls/widgets/ColorValueText.h"

#include "controls/support/ColorRef.h"
#include "controls/widgets/ColorValueTextLogic.h"

#include <QFontInfo>

#include <algorithm>
#include <cstdlib>

CColorValueText::CColorValueText(QWidget* parent) : CControlWidget(parent)
{
}

void CColorValueText::SetValue(const CCIEXYZ& value)
{
    HasValue = true;
    if (ShowValues && value == Value)
        return;
    ShowValues = true;
    Value = value;
    update();
}

CCIEXYZ CColorValueText::GetWhite() const
{
    return ColorValueWhite(Converter);
}

void CColorValueText::paint(QPainter& painter) const
{
    const PainterStateGuard guard(painter);
    painter.fillRect(rect(), palette().color(QPalette::Button));
    if (!HasValue)
        return;
    // The parent's font sets the layout: labels at 5/6 of its height, the
    // values 5/3 of it further right, lines every 1.25 heights.
    const QFont font = parentWidget() != nullptr ? parentWidget()->font() : this->font();
    painter.setFont(font);
    const int fh = std::abs(QFontInfo(font).pixelSize());
    const int labelX = static_cast<int>(fh * 0.8333);
    const int valueX = static_cast<int>(fh * 1.6667) + labelX;
    const int lineY[3] = {static_cast<int>(fh * 1.25), static_cast<int>(fh * 2.5),
                          static_cast<int>(fh * 3.75)};
    painter.setPen(ColorValueOutOfRange(Value, Converter) ? ColorFromRef(0x0000FF) : QColor(Qt::black));
    const auto lines = BuildColorValueLines(Notation, Value, ShowValues, Converter);
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    for (std::size_t i = 0; i < lines.size(); ++i)
    {
        painter.drawText(QRect(labelX, lineY[i], std::max(valueX - labelX, 1), 2 * fh), flags,
                         QString::fromStdString(lines[i].label));
        painter.drawText(QRect(valueX, lineY[i], std::max(width() - valueX, 1), 2 * fh), flags,
                         QString::fromStdString(lines[i].value));
    }
}
