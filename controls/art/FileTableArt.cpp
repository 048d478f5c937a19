#include "controls/art/ResourceArt.h"

#include <QPixmap>

namespace {
QIcon Blank()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    return QIcon(pixmap);
}
} // namespace

QIcon MakeFileTableIcon() { return Blank(); }
QIcon MakeSortSetIcon() { return Blank(); }
QIcon MakeSortClearIcon() { return Blank(); }
