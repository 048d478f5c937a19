#pragma once
// CStaticTextEx: a text in a colour of its own, drawn from the top-left
// corner in its parent's font on the parent's background.

#include "controls/support/ColorRef.h"

#include <QLabel>

class CStaticTextEx : public QLabel
{
    Q_OBJECT
public:
    explicit CStaticTextEx(QWidget* parent = nullptr);

    // The text colour; the palette's window text colour at construction.
    void SetTextColor(COLORREF color);
    COLORREF TextColor() const { return m_textColor; }

    // Draws the text at (0, 0) without filling a background.
    void paint(QPainter& painter) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    COLORREF m_textColor;
};
