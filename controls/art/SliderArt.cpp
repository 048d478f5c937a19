// The thumbs of the multi-thumb slider: an 11 x 11 box, transparent but
// for a pointer whose tip marks the value's pixel (the box's middle line).
// The pointer is dark with a white rim, so it reads on dark and light
// ramps and on every hue.

#include "controls/art/ResourceArt.h"

#include <QPainter>
#include <QPolygon>

namespace {

constexpr int kSize = 11;

// points: the pointer's corners, tip first, in the box's pixels.
QIcon MakeThumb(const QPolygon& points)
{
    QImage image(kSize, kSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(QColor(32, 32, 32));
    painter.drawPolygon(points);
    painter.end();
    return QIcon(QPixmap::fromImage(image));
}

} // namespace

// Horizontal track: the thumb sits at the top edge and points down at the
// value's column.
QIcon MakeSliderThumbIcon()
{
    return MakeThumb(QPolygon({QPoint(5, 9), QPoint(0, 0), QPoint(10, 0)}));
}

// Vertical track: the thumb sits at the right edge and points left at the
// value's row.
QIcon MakeSliderThumbVerticalIcon()
{
    return MakeThumb(QPolygon({QPoint(1, 5), QPoint(10, 0), QPoint(10, 10)}));
}
