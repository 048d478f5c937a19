#include "print/MyEdit.h"

#include <QKeyEvent>

#include <algorithm>
#include <cmath>
#include <limits>

int MyEditScale(int decimals)
{
    int scale = 1;
    for (int i = std::clamp(decimals, 0, 9); i > 0; --i)
        scale *= 10;
    return scale;
}

int MyEditValueFromText(EditMode mode, int decimals, std::string_view text)
{
    if (mode != EditMode::Real)
        return SaturateToInt(ParseLeadingInteger(text));
    // The decimal text is rarely exact in binary, so the product lands a
    // hair below the whole number typed; a nudge far smaller than one unit
    // keeps that number while still dropping any further digits.
    constexpr double kNudge = 1e-7;
    const double scaled = ParseLeadingReal(text) * MyEditScale(decimals);
    const double value = std::trunc(scaled + (scaled >= 0 ? kNudge : -kNudge));
    constexpr double kMax = std::numeric_limits<int>::max();
    constexpr double kMin = std::numeric_limits<int>::min();
    if (value >= kMax)
        return std::numeric_limits<int>::max();
    if (value <= kMin)
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

std::string MyEditTextFromValue(EditMode mode, int decimals, int value)
{
    if (mode != EditMode::Real)
        return std::to_string(value);
    const int shown = std::clamp(decimals, 0, 9);
    return FormatReal(static_cast<double>(value) / MyEditScale(shown), shown);
}

CMyEdit::CMyEdit(QWidget* parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textEdited, this, [this] { sendNotify(kChange, GetValue()); });
}

int CMyEdit::GetValue() const
{
    return MyEditValueFromText(Mode, Decimals, text().toStdString());
}

void CMyEdit::SetValue(int value)
{
    setText(QString::fromStdString(MyEditTextFromValue(Mode, Decimals, value)));
    update();
}

void CMyEdit::keyPressEvent(QKeyEvent* event)
{
    const bool up = event->key() == Qt::Key_Up;
    const bool down = event->key() == Qt::Key_Down;
    if (!up && !down)
    {
        QLineEdit::keyPressEvent(event);
        return;
    }
    event->accept();
    const int value = GetValue();
    if (up && value < Maximum)
        SetValue(value + 1);
    else if (down && value > Minimum)
        SetValue(value - 1);
    else
        return;
    sendNotify(kChange, GetValue());
}
