// The buttons of the slide show's control bar, 24 x 24 each, one picture
// raised (up) and one pressed in (down) per button. The face is the light
// grey of a classic button with a one-pixel bevel; the glyph is dark grey
// and moves one pixel right and down when pressed, as a pushed button's
// face does.

#include "controls/art/ResourceArt.h"

#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int kSide = 24;

enum class Glyph
{
    Play,
    Pause,
    Previous,
    Next,
    Close,
    Settings
};

void DrawGlyph(QPainter& painter, Glyph glyph)
{
    const QColor ink(0x30, 0x30, 0x30);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    switch (glyph)
    {
    case Glyph::Play:
    {
        QPainterPath path;
        path.moveTo(8, 6);
        path.lineTo(17, 12);
        path.lineTo(8, 18);
        path.closeSubpath();
        painter.drawPath(path);
        break;
    }
    case Glyph::Pause:
        painter.drawRect(QRectF(7, 6, 3.5, 12));
        painter.drawRect(QRectF(13.5, 6, 3.5, 12));
        break;
    case Glyph::Previous:
    {
        painter.drawRect(QRectF(6, 6, 2.5, 12));
        QPainterPath path;
        path.moveTo(17, 6);
        path.lineTo(9, 12);
        path.lineTo(17, 18);
        path.closeSubpath();
        painter.drawPath(path);
        break;
    }
    case Glyph::Next:
    {
        QPainterPath path;
        path.moveTo(7, 6);
        path.lineTo(15, 12);
        path.lineTo(7, 18);
        path.closeSubpath();
        painter.drawPath(path);
        painter.drawRect(QRectF(15.5, 6, 2.5, 12));
        break;
    }
    case Glyph::Close:
        painter.setPen(QPen(ink, 2.5, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(7.5, 7.5), QPointF(16.5, 16.5));
        painter.drawLine(QPointF(16.5, 7.5), QPointF(7.5, 16.5));
        break;
    case Glyph::Settings:
    {
        QFont font;
        font.setPixelSize(15);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(ink);
        painter.drawText(QRect(0, 0, kSide, kSide), Qt::AlignCenter, QStringLiteral("S"));
        break;
    }
    }
}

QImage DrawButton(Glyph glyph, bool down)
{
    QImage image(kSide, kSide, QImage::Format_RGB32);
    image.fill(QColor(0xd4, 0xd0, 0xc8));
    QPainter painter(&image);
    const QColor light = down ? QColor(0x80, 0x80, 0x80) : Qt::white;
    const QColor dark = down ? Qt::white : QColor(0x40, 0x40, 0x40);
    painter.setPen(light);
    painter.drawLine(0, 0, kSide - 2, 0);
    painter.drawLine(0, 0, 0, kSide - 2);
    painter.setPen(dark);
    painter.drawLine(kSide - 1, 0, kSide - 1, kSide - 1);
    painter.drawLine(0, kSide - 1, kSide - 1, kSide - 1);
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (down)
        painter.translate(1, 1);
    DrawGlyph(painter, glyph);
    return image;
}

} // namespace

QImage MakeSlidePlayUpBitmap() { return DrawButton(Glyph::Play, false); }
QImage MakeSlidePlayDownBitmap() { return DrawButton(Glyph::Play, true); }
QImage MakeSlidePauseUpBitmap() { return DrawButton(Glyph::Pause, false); }
QImage MakeSlidePauseDownBitmap() { return DrawButton(Glyph::Pause, true); }
QImage MakeSlidePreviousUpBitmap() { return DrawButton(Glyph::Previous, false); }
QImage MakeSlidePreviousDownBitmap() { return DrawButton(Glyph::Previous, true); }
QImage MakeSlideNextUpBitmap() { return DrawButton(Glyph::Next, false); }
QImage MakeSlideNextDownBitmap() { return DrawButton(Glyph::Next, true); }
QImage MakeSlideCloseUpBitmap() { return DrawButton(Glyph::Close, false); }
QImage MakeSlideCloseDownBitmap() { return DrawButton(Glyph::Close, true); }
QImage MakeSlideSettingsUpBitmap() { return DrawButton(Glyph::Settings, false); }
QImage MakeSlideSettingsDownBitmap() { return DrawButton(Glyph::Settings, true); }
