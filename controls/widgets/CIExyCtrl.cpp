#include "controls/widgets/CIExyCtrl.h"

#include "controls/support/ColorRef.h"
#include "controls/support/ResourceImages.h"
#include "core/CIEColor.h"

#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPolygon>

#include <vector>

namespace {

// Pens and text of the diagram.
constexpr COLORREF kLocusColour = 0xA0A0A0;
constexpr COLORREF kLocusMarkColour = 0x7070FF; // light red
constexpr COLORREF kGridColour = 0xC0C0C0;
constexpr COLORREF kLabelColour = 0x606060;
constexpr COLORREF kRefMarkerColour = 0x4A4AFF;   // red
constexpr COLORREF kPointMarkerColour = 0xFF844A; // blue

CIExyKey KeyFromQt(int key)
{
    switch (key)
    {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return CIExyKey::Enter;
    case Qt::Key_Left:
        return CIExyKey::Left;
    case Qt::Key_Up:
        return CIExyKey::Up;
    case Qt::Key_Right:
        return CIExyKey::Right;
    case Qt::Key_Down:
        return CIExyKey::Down;
    default:
        return CIExyKey::Other;
    }
}

// A cosmetic (one pixel, whatever the transformation) solid pen.
QPen ThinPen(COLORREF colour)
{
    QPen pen(ColorFromRef(colour));
    pen.setWidth(0);
    return pen;
}

} // namespace

CCIExyCtrl::CCIExyCtrl(QWidget* parent) : CControlWidget(parent)
{
    setFocusPolicy(Qt::ClickFocus);
}

void CCIExyCtrl::RestorePoint()
{
    Point = RefPoint;
    repaint();
}

bool CCIExyCtrl::OnKeyDown(int qtKey)
{
    const CIExyKey key = KeyFromQt(qtKey);
    if (key == CIExyKey::Other)
        return false;
    const CIExyMapping m = mapping();
    int px = 0;
    int py = 0;
    m.XyToPixel(Point.x, Point.y, px, py);
    MoveCIExyPixel(m, key, px, py);
    setFocus(Qt::OtherFocusReason);
    m.PixelToXy(px, py, Point.x, Point.y);
    if (key == CIExyKey::Enter)
        postPointChanged();
    repaint();
    return true;
}

void CCIExyCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
    {
        CControlWidget::mousePressEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    mapping().PixelToXy(at.x(), at.y(), Point.x, Point.y);
    postPointChanged();
    repaint();
    CControlWidget::mousePressEvent(event);
}

void CCIExyCtrl::keyPressEvent(QKeyEvent* event)
{
    if (!OnKeyDown(event->key()))
        CControlWidget::keyPressEvent(event);
}

void CCIExyCtrl::postPointChanged()
{
    const CIExyPoint point = Point;
    QMetaObject::invokeMethod(
        this, [this, point] { emit pointChanged(point.x, point.y); }, Qt::QueuedConnection);
}

void CCIExyCtrl::drawMarker(QPainter& painter, const CIExyPoint& point, COLORREF colour) const
{
    int px = 0;
    int py = 0;
    mapping().XyToPixel(point.x, point.y, px, py);
    painter.setPen(ThinPen(colour));
    painter.setBrush(Qt::NoBrush);
    // A circle of diameter 21 about the pixel and a cross of arms 10.
    painter.drawEllipse(QRect(px - 10, py - 10, 20, 20));
    painter.drawLine(px - 10, py, px + 10, py);
    painter.drawLine(px, py + 10, px, py - 10);
}

void CCIExyCtrl::paint(QPainter& painter) const
{
    PainterStateGuard guard(painter);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QRect client = rect();
    const CIExyMapping m = mapping();

    {
        PainterStateGuard smooth(painter);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.drawImage(client, LoadBitmapResource(kBitmapChromaticity));
    }

    // The daylight locus, a pixel per 100 K.
    QPolygon locus;
    for (int kelvin = kCIExyLocusFirstKelvin; kelvin <= kCIExyLocusLastKelvin;
         kelvin += kCIExyLocusStep)
    {
        const CCIEYxy yxy = GetDaylightXYZ(kelvin).ToYxy();
        int px = 0;
        int py = 0;
        m.XyToPixel(yxy[1], yxy[2], px, py);
        locus << QPoint(px, py);
    }
    painter.setPen(ThinPen(kLocusColour));
    painter.drawPolyline(locus);
    const int marksEvery = kCIExyLabelStep / kCIExyLocusStep;
    for (int i = 0; i < locus.size(); ++i)
    {
        QPen stroke(ColorFromRef(i % marksEvery == 0 ? kLocusMarkColour : kLocusColour));
        stroke.setWidth(2);
        painter.setPen(stroke);
        const QPoint p = locus[i];
        painter.drawLine(p.x() - 1, p.y() - 1, p.x() + 1, p.y() + 1);
    }

    // The grid: the client cut into quarters both ways.
    painter.setPen(ThinPen(kGridColour));
    for (int i = 0; i <= 4; ++i)
    {
        const int x = static_cast<int>(i * (client.width() / 4.0));
        const int y = static_cast<int>(i * (client.height() / 4.0));
        painter.drawLine(x, 0, x, client.height());
        painter.drawLine(0, y, client.width(), y);
    }

    // Temperature labels beside the marked locus points.
    {
        PainterStateGuard text(painter);
        QFont font = painter.font();
        font.setPixelSize(9);
        font.setWeight(QFont::Thin);
        font.setStyleStrategy(QFont::PreferAntialias);
        painter.setFont(font);
        painter.setPen(ColorFromRef(kLabelColour));
        painter.setBackgroundMode(Qt::TransparentMode);
        for (int i = 0; i < locus.size(); i += marksEvery)
        {
            int x = locus[i].x();
            int y = locus[i].y();
            PlaceCIExyLabel(client.width(), client.height(), x, y);
            const int kelvin = kCIExyLocusFirstKelvin + i * kCIExyLocusStep;
            painter.drawText(QRect(x, y, kCIExyLabelWidth, kCIExyLabelHeight),
                             Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                             QStringLiteral("%1K").arg(kelvin));
        }
    }

    drawMarker(painter, RefPoint, kRefMarkerColour);
    drawMarker(painter, Point, kPointMarkerColour);
}
