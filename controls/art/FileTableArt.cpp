#include "controls/art/ResourceArt.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygon>

namespace {

constexpr int kSide = 16;

// A solid dark triangle in the middle of a 16 x 16 picture, pointing up
// (ascending order) or down (descending).
QIcon SortArrow(bool up)
{
    QPixmap pixmap(kSide, kSide);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, false);
    // Seven rows, 1 to 13 pixels wide, centred on column 7.
    for (int row = 0; row < 7; ++row)
    {
        const int y = up ? 4 + row : 10 - row;
        painter.fillRect(7 - row, y, 2 * row + 1, 1, QColor(64, 64, 64));
    }
    painter.end();
    return QIcon(pixmap);
}

} // namespace

// A small sheet with a header band and ruled rows: a table of files.
QIcon MakeFileTableIcon()
{
    QPixmap pixmap(kSide, kSide);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(1, 1, 14, 14, Qt::white);
    painter.fillRect(1, 1, 14, 3, QColor(96, 128, 192));
    painter.setPen(QColor(128, 128, 128));
    for (int y = 6; y < 15; y += 3)
        painter.drawLine(2, y, 13, y);
    painter.drawLine(5, 4, 5, 14);
    painter.setPen(QColor(64, 64, 64));
    painter.drawRect(1, 1, 13, 13);
    painter.end();
    return QIcon(pixmap);
}

QIcon MakeSortSetIcon()
{
    return SortArrow(true);
}

QIcon MakeSortClearIcon()
{
    return SortArrow(false);
}
