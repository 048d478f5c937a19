#include "controls/art/ResourceArt.h"

#include <QConicalGradient>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>

#include <array>

namespace {

// The icon's drawing on a 256-unit square, scaled to the side asked for.
constexpr double kUnits = 256.0;

// A hue wheel that whitens towards its centre: the colours a monitor is
// matched for.
void DrawHueWheel(QPainter& p, const QPointF& centre, double radius)
{
    QConicalGradient hues(centre, 90.0);
    const std::array<QColor, 7> stops = {QColor(230, 40, 40),  QColor(230, 40, 230),
                                         QColor(40, 60, 230),  QColor(40, 200, 230),
                                         QColor(40, 200, 60),  QColor(240, 220, 40),
                                         QColor(230, 40, 40)};
    for (std::size_t i = 0; i < stops.size(); ++i)
        hues.setColorAt(static_cast<double>(i) / (stops.size() - 1), stops[i]);
    p.setPen(Qt::NoPen);
    p.setBrush(hues);
    p.drawEllipse(centre, radius, radius);
    QRadialGradient white(centre, radius);
    white.setColorAt(0.0, QColor(255, 255, 255, 255));
    white.setColorAt(0.25, QColor(255, 255, 255, 200));
    white.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setBrush(white);
    p.drawEllipse(centre, radius, radius);
}

// A photograph's landscape filling `picture`: sky, sun and a green hill.
void DrawLandscape(QPainter& p, const QRectF& picture)
{
    p.setPen(Qt::NoPen);
    QLinearGradient sky(picture.topLeft(), picture.bottomLeft());
    sky.setColorAt(0.0, QColor(70, 140, 220));
    sky.setColorAt(1.0, QColor(195, 223, 246));
    p.setBrush(sky);
    p.drawRect(picture);
    const double sun = picture.height() * 0.12;
    p.setBrush(QColor(250, 200, 60));
    p.drawEllipse(QPointF(picture.right() - 2.2 * sun, picture.top() + 2 * sun), sun, sun);
    QPainterPath hill;
    hill.moveTo(picture.bottomLeft());
    hill.lineTo(picture.left(), picture.bottom() - picture.height() * 0.32);
    hill.quadTo(QPointF(picture.center().x() - picture.width() * 0.05,
                        picture.top() + picture.height() * 0.2),
                QPointF(picture.right(), picture.bottom() - picture.height() * 0.25));
    hill.lineTo(picture.bottomRight());
    hill.closeSubpath();
    p.setBrush(QColor(62, 148, 72));
    p.drawPath(hill);
}

// The program's sign: a monitor on its foot whose screen holds the hue
// wheel, with a photograph's corner leaning on its lower right.
void DrawApplicationSign(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);

    // The foot and the neck.
    p.setBrush(QColor(70, 74, 84));
    p.drawRoundedRect(QRectF(76, 218, 104, 18), 8, 8);
    p.drawRect(QRectF(114, 190, 28, 32));

    // The bezel and the screen.
    QLinearGradient bezel(QPointF(0, 20), QPointF(0, 196));
    bezel.setColorAt(0.0, QColor(62, 66, 76));
    bezel.setColorAt(1.0, QColor(36, 38, 44));
    p.setBrush(bezel);
    p.drawRoundedRect(QRectF(16, 20, 224, 176), 18, 18);
    const QRectF screen(30, 34, 196, 148);
    QLinearGradient glass(screen.topLeft(), screen.bottomLeft());
    glass.setColorAt(0.0, QColor(58, 64, 80));
    glass.setColorAt(1.0, QColor(28, 30, 38));
    p.setBrush(glass);
    p.drawRoundedRect(screen, 8, 8);

    DrawHueWheel(p, QPointF(112, 108), 58);

    // The photograph: a white sheet with sky, sun and a hill.
    p.save();
    p.translate(186, 150);
    p.rotate(-12);
    const QRectF sheet(-42, -34, 84, 68);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawRoundedRect(sheet.translated(3, 4), 4, 4);
    p.setBrush(QColor(252, 252, 250));
    p.drawRoundedRect(sheet, 4, 4);
    DrawLandscape(p, sheet.adjusted(6, 6, -6, -6));
    p.restore();
}


} // namespace

QImage MakeApplicationIconImage(int side)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.scale(side / kUnits, side / kUnits);
    DrawApplicationSign(p);
    p.end();
    return image;
}

QIcon MakeApplicationIcon()
{
    QIcon icon;
    for (const int side : kApplicationIconSides)
        icon.addPixmap(QPixmap::fromImage(MakeApplicationIconImage(side)));
    return icon;
}

// The two ways in: the monitor whose colours the wizard matches (the
// comparison chart on its screen, the hue wheel beside it) and the
// photographs the viewer shows, on a light band.
QImage MakeIntroductionBitmap()
{
    constexpr int kWidth = 400;
    constexpr int kHeight = 150;
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient band(QPointF(0, 0), QPointF(0, kHeight));
    band.setColorAt(0.0, QColor(246, 248, 252));
    band.setColorAt(1.0, QColor(222, 228, 238));
    p.fillRect(QRectF(0, 0, kWidth, kHeight), band);

    // The monitor with the chart, and the hue wheel at its side.
    const QRectF screen = DrawMonitor(p, QRectF(20, 14, 170, 108));
    DrawComparisonChart(p, screen);
    DrawHueWheel(p, QPointF(210, 46), 22);

    // The photographs, fanned: three sheets, the front one a landscape.
    const std::array<double, 3> turns = {-14.0, 6.0, -3.0};
    const std::array<QColor, 3> tints = {QColor(214, 160, 120), QColor(120, 150, 190),
                                         QColor(0, 0, 0)};
    for (std::size_t i = 0; i < turns.size(); ++i)
    {
        p.save();
        p.translate(312 + 10 * static_cast<double>(i), 80);
        p.rotate(turns[i]);
        const QRectF sheet(-56, -42, 112, 84);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 50));
        p.drawRect(sheet.translated(3, 3));
        p.setBrush(QColor(252, 252, 250));
        p.drawRect(sheet);
        const QRectF picture = sheet.adjusted(6, 6, -6, -6);
        if (i + 1 < turns.size())
        {
            p.setBrush(tints[i]);
            p.drawRect(picture);
        }
        else
        {
            DrawLandscape(p, picture);
        }
        p.restore();
    }
    p.end();
    return image;
}
