#include "controls/widgets/LinkText.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>

#include <utility>

namespace {

CLinkText::UrlOpener& Opener()
{
    static CLinkText::UrlOpener opener;
    return opener;
}

} // namespace

CLinkText::CLinkText(QWidget* parent) : QLabel(parent), m_textColor(0xff0000) // blue
{
    setTextFormat(Qt::PlainText);
    QFont underlined = QApplication::font();
    underlined.setUnderline(true);
    setFont(underlined);
    setCursor(Qt::PointingHandCursor);
    SetTextColor(m_textColor);
}

void CLinkText::SetTextColor(COLORREF color)
{
    m_textColor = color;
    QPalette colors = palette();
    colors.setColor(QPalette::WindowText, ColorFromRef(color));
    setPalette(colors);
}

QUrl CLinkText::LinkUrl() const
{
    return QUrl::fromUserInput(Target.isEmpty() ? text() : Target);
}

CLinkText::UrlOpener CLinkText::SetUrlOpener(UrlOpener opener)
{
    return std::exchange(Opener(), std::move(opener));
}

void CLinkText::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
    {
        const QUrl url = LinkUrl();
        if (Opener())
            Opener()(url);
        else
            QDesktopServices::openUrl(url);
    }
    QLabel::mousePressEvent(event);
}
