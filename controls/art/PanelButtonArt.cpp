#include "controls/art/ResourceArt.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygon>

namespace {

constexpr int kSide = 16;
const QColor kInk(48, 48, 48);

} // namespace

// An arrow to the right over an arrow to the left: the order turned round.
QIcon MakeReverseOrderIcon()
{
    QPixmap pixmap(kSide, kSide);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(2, 4, 9, 2, kInk);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kInk);
    painter.drawPolygon(QPolygon({QPoint(10, 1), QPoint(14, 5), QPoint(10, 9)}));
    painter.fillRect(5, 10, 9, 2, kInk);
    painter.drawPolygon(QPolygon({QPoint(5, 7), QPoint(1, 11), QPoint(5, 15)}));
    painter.end();
    return QIcon(pixmap);
}

// A dropper: a bulb at the upper right, a glass tube down to a point at
// the lower left, and a drop of neutral grey beneath it.
QIcon MakeWhiteBalancePickerIcon()
{
    QPixmap pixmap(kSide, kSide);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kInk);
    painter.drawEllipse(10, 1, 5, 5);
    painter.setPen(QPen(kInk, 3));
    painter.drawLine(10, 6, 4, 12);
    painter.setPen(QPen(QColor(224, 224, 224), 1));
    painter.drawLine(9, 6, 4, 11);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(160, 160, 160));
    painter.drawRect(1, 13, 2, 2);
    painter.end();
    return QIcon(pixmap);
}
