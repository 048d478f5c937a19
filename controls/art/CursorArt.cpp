#include "controls/art/ResourceArt.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygon>
#include <QTransform>

namespace {

constexpr int kSide = 32;
constexpr int kCentre = 15;

// A shape drawn black with a white rim, as system cursors are, so that it
// reads on light and dark ground alike.
void DrawOutlined(QPainter& painter, const QPainterPath& path)
{
    painter.strokePath(path, QPen(Qt::white, 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.fillPath(path, Qt::black);
}

// Four arrows from the centre: up, down, left and right, each a shaft
// and a head, reaching arm pixels out.
QPainterPath FourWayArrows(int arm)
{
    QPainterPath path;
    const int c = kCentre;
    path.addRect(c - arm + 3, c, 2 * arm - 5, 1);
    path.addRect(c, c - arm + 3, 1, 2 * arm - 5);
    path.addPolygon(
        QPolygon({QPoint(c - arm, c), QPoint(c - arm + 4, c - 4), QPoint(c - arm + 4, c + 4)}));
    path.addPolygon(
        QPolygon({QPoint(c + arm, c), QPoint(c + arm - 4, c - 4), QPoint(c + arm - 4, c + 4)}));
    path.addPolygon(
        QPolygon({QPoint(c, c - arm), QPoint(c - 4, c - arm + 4), QPoint(c + 4, c - arm + 4)}));
    path.addPolygon(
        QPolygon({QPoint(c, c + arm), QPoint(c - 4, c + arm - 4), QPoint(c + 4, c + arm - 4)}));
    path.closeSubpath();
    return path;
}

QPixmap BlankCursor()
{
    QPixmap pixmap(kSide, kSide);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

} // namespace

// Over a control point: a hollow ring on a four-way cross, the point that
// can be taken and the directions it can go.
QCursor MakeHoverCursor()
{
    QPixmap pixmap = BlankCursor();
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing, false);
        QPainterPath path = FourWayArrows(11);
        DrawOutlined(painter, path);
        painter.setPen(QPen(Qt::white, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(kCentre - 4, kCentre - 4, 8, 8);
        painter.setPen(QPen(Qt::black, 1));
        painter.drawRect(kCentre - 3, kCentre - 3, 6, 6);
    }
    return QCursor(pixmap, kCentre, kCentre);
}

// While dragging a point: the cross with the point held, a filled square.
QCursor MakeDragCursor()
{
    QPixmap pixmap = BlankCursor();
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing, false);
        QPainterPath path = FourWayArrows(11);
        path.addRect(kCentre - 3, kCentre - 3, 7, 7);
        DrawOutlined(painter, path);
    }
    return QCursor(pixmap, kCentre, kCentre);
}

// While dragging a colour: an arrow carrying a small colour patch.
QCursor MakeColorDragCursor()
{
    QPixmap pixmap = BlankCursor();
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing, false);
        QPainterPath arrow;
        arrow.addPolygon(QPolygon({QPoint(1, 1), QPoint(1, 17), QPoint(5, 13), QPoint(8, 20),
                                   QPoint(11, 19), QPoint(8, 12), QPoint(13, 12)}));
        arrow.closeSubpath();
        DrawOutlined(painter, arrow);
        const QRect patch(16, 16, 13, 13);
        painter.fillRect(patch.adjusted(-1, -1, 1, 1), Qt::white);
        painter.fillRect(patch, Qt::black);
        const QRect inside = patch.adjusted(1, 1, -1, -1);
        const int half = inside.width() / 2;
        painter.fillRect(QRect(inside.left(), inside.top(), half, half), QColor(220, 40, 40));
        painter.fillRect(QRect(inside.left() + half, inside.top(), inside.width() - half, half),
                         QColor(40, 170, 60));
        painter.fillRect(QRect(inside.left(), inside.top() + half, half, inside.height() - half),
                         QColor(50, 80, 220));
        painter.fillRect(QRect(inside.left() + half, inside.top() + half, inside.width() - half,
                               inside.height() - half),
                         QColor(240, 210, 40));
    }
    return QCursor(pixmap, 1, 1);
}

namespace {

// A vertical two-way arrow through the centre, reaching arm pixels up and
// down; the other directions are this one turned about the centre.
QPainterPath TwoWayArrow(int arm)
{
    QPainterPath path;
    const int c = kCentre;
    path.addRect(c, c - arm + 4, 1, 2 * arm - 7);
    path.addPolygon(QPolygon({QPoint(c, c - arm), QPoint(c - 4, c - arm + 4),
                              QPoint(c + 5, c - arm + 4), QPoint(c + 1, c - arm)}));
    path.addPolygon(QPolygon({QPoint(c, c + arm), QPoint(c - 4, c + arm - 4),
                              QPoint(c + 5, c + arm - 4), QPoint(c + 1, c + arm)}));
    path.closeSubpath();
    return path;
}

QPainterPath Turned(const QPainterPath& path, double degrees)
{
    QTransform turn;
    turn.translate(kCentre + 0.5, kCentre + 0.5);
    turn.rotate(degrees);
    turn.translate(-kCentre - 0.5, -kCentre - 0.5);
    return turn.map(path);
}

} // namespace

QCursor MakeTrimCursor(TrimCursorShape shape)
{
    QPixmap pixmap = BlankCursor();
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing, false);
        QPainterPath path;
        switch (shape)
        {
        case TrimCursorShape::ResizeDiagonalDown:
            path = Turned(TwoWayArrow(10), -45.0);
            break;
        case TrimCursorShape::ResizeDiagonalUp:
            path = Turned(TwoWayArrow(10), 45.0);
            break;
        case TrimCursorShape::ResizeVertical:
            path = TwoWayArrow(11);
            break;
        case TrimCursorShape::ResizeHorizontal:
            path = Turned(TwoWayArrow(11), 90.0);
            break;
        case TrimCursorShape::Move:
            path = FourWayArrows(11);
            break;
        case TrimCursorShape::NewFrame:
            // A thin crosshair with a gap at its centre.
            path.addRect(kCentre - 10, kCentre, 8, 1);
            path.addRect(kCentre + 3, kCentre, 8, 1);
            path.addRect(kCentre, kCentre - 10, 1, 8);
            path.addRect(kCentre, kCentre + 3, 1, 8);
            break;
        }
        DrawOutlined(painter, path);
    }
    return QCursor(pixmap, kCentre, kCentre);
}
