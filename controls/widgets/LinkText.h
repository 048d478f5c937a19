#pragma once
// CLinkText: a text that opens a link when clicked, drawn as a link is:
// the program's GUI font underlined, blue, with the hand cursor.
//
// The link opened is the target, or the text itself when no target is
// set. Opening goes through a function, the desktop's opener unless a test
// puts its own in place.

#include "controls/support/ColorRef.h"

#include <QLabel>
#include <QUrl>

#include <functional>

class CLinkText : public QLabel
{
    Q_OBJECT
public:
    // Opens a link; false when it could not be opened.
    using UrlOpener = std::function<bool(const QUrl& url)>;

    explicit CLinkText(QWidget* parent = nullptr);

    // What a click opens: a web address or a path. Empty opens the text.
    QString Target;

    // The text colour; blue at construction.
    void SetTextColor(COLORREF color);
    COLORREF TextColor() const { return m_textColor; }

    // The link a click opens now.
    QUrl LinkUrl() const;

    // Puts opener in place of the desktop's opener for every CLinkText; an
    // empty function restores the desktop's. Returns the one in place
    // before (empty for the desktop's).
    static UrlOpener SetUrlOpener(UrlOpener opener);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    COLORREF m_textColor;
};
