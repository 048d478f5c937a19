// The comparison chart of the monitor wizard and the wizard's page
// pictures. The chart is what the user holds beside the screen: a grey
// wedge for the tone scale, skin tones, a plaster bust whose soft shading
// shows a colour cast at once, and a few colour patches. The same drawing
// makes the chart files of the program's data (at build time) and the
// small charts inside the page pictures.

#include "controls/art/ResourceArt.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <array>

namespace {

// The wedge's steps, black to white.
constexpr int kWedgeSteps = 11;

const std::array<QColor, 6> kSkinTones = {
    QColor(236, 200, 178), QColor(224, 178, 150), QColor(198, 150, 120),
    QColor(170, 120, 92),  QColor(132, 90, 66),   QColor(246, 218, 200),
};
const std::array<QColor, 6> kColourPatches = {
    QColor(176, 54, 50),  QColor(70, 148, 74),  QColor(56, 74, 150),
    QColor(70, 160, 178), QColor(176, 80, 150), QColor(226, 198, 56),
};

QRectF Part(const QRectF& area, double left, double top, double right, double bottom)
{
    return QRectF(area.left() + left * area.width(), area.top() + top * area.height(),
                  (right - left) * area.width(), (bottom - top) * area.height());
}

void DrawPatches(QPainter& p, const QRectF& box, const std::array<QColor, 6>& colours)
{
    constexpr int kColumns = 3;
    const double gap = box.width() * 0.03;
    const double w = (box.width() - gap * (kColumns - 1)) / kColumns;
    const double h = (box.height() - gap) / 2;
    for (std::size_t i = 0; i < colours.size(); ++i)
    {
        const int column = static_cast<int>(i) % kColumns;
        const int row = static_cast<int>(i) / kColumns;
        p.fillRect(QRectF(box.left() + column * (w + gap), box.top() + row * (h + gap), w, h),
                   colours[i]);
    }
}

// Head, neck and shoulders in white plaster, lit from the upper left.
void DrawBust(QPainter& p, const QRectF& box)
{
    QLinearGradient backdrop(box.topLeft(), box.bottomLeft());
    backdrop.setColorAt(0.0, QColor(96, 96, 96));
    backdrop.setColorAt(1.0, QColor(58, 58, 58));
    p.fillRect(box, backdrop);

    const double cx = box.center().x();
    const double w = box.width();
    const double h = box.height();
    const QPointF light(cx - 0.12 * w, box.top() + 0.22 * h);

    QPainterPath shoulders;
    shoulders.addEllipse(QRectF(cx - 0.42 * w, box.top() + 0.74 * h, 0.84 * w, 0.56 * h));
    QPainterPath neck;
    neck.addRect(QRectF(cx - 0.09 * w, box.top() + 0.50 * h, 0.18 * w, 0.32 * h));
    QPainterPath head;
    head.addEllipse(QRectF(cx - 0.19 * w, box.top() + 0.08 * h, 0.38 * w, 0.50 * h));
    const QPainterPath body = shoulders.united(neck).united(head);

    QRadialGradient shade(light, 0.75 * h, light);
    shade.setColorAt(0.0, QColor(248, 248, 246));
    shade.setColorAt(0.45, QColor(214, 214, 210));
    shade.setColorAt(1.0, QColor(120, 120, 118));
    p.save();
    p.setClipRect(box);
    p.setPen(Qt::NoPen);
    p.setBrush(shade);
    p.drawPath(body);
    p.restore();
}

} // namespace

QRectF DrawMonitor(QPainter& p, const QRectF& bezel)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(44, 44, 48));
    p.drawRoundedRect(bezel, 4, 4);
    const QPointF foot(bezel.center().x(), bezel.bottom());
    p.drawRect(QRectF(foot.x() - bezel.width() * 0.06, foot.y(), bezel.width() * 0.12,
                      bezel.height() * 0.16));
    p.drawRoundedRect(QRectF(foot.x() - bezel.width() * 0.22, foot.y() + bezel.height() * 0.16,
                             bezel.width() * 0.44, bezel.height() * 0.06),
                      2, 2);
    const double margin = bezel.width() * 0.05;
    return bezel.adjusted(margin, margin, -margin, -margin);
}

void DrawComparisonChart(QPainter& p, const QRectF& area)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.fillRect(area, QColor(128, 128, 128));

    DrawBust(p, Part(area, 0.03, 0.04, 0.50, 0.78));
    DrawPatches(p, Part(area, 0.54, 0.04, 0.97, 0.37), kSkinTones);
    DrawPatches(p, Part(area, 0.54, 0.45, 0.97, 0.78), kColourPatches);

    // The wedge fills its band without seams between the steps.
    const QRectF wedge = Part(area, 0.03, 0.83, 0.97, 0.96);
    for (int i = 0; i < kWedgeSteps; ++i)
    {
        const int level = (255 * i + (kWedgeSteps - 1) / 2) / (kWedgeSteps - 1);
        const double left = wedge.left() + wedge.width() * i / kWedgeSteps;
        const double right = wedge.left() + wedge.width() * (i + 1) / kWedgeSteps;
        p.fillRect(QRectF(left, wedge.top(), right - left, wedge.height()),
                   QColor(level, level, level));
    }
    // A dark edge keeps the middle steps apart from the chart's own grey.
    p.setPen(QPen(QColor(32, 32, 32), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(wedge);
    p.restore();
}

// The room, the monitor showing the chart and the printed chart beside
// it on a stand, under the room's light.
QImage MakeChartSetupBitmap()
{
    constexpr int kWidth = 300;
    constexpr int kHeight = 180;
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(QColor(236, 234, 228));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);

    // The ceiling light and its glow.
    QRadialGradient glow(QPointF(210, 10), 120);
    glow.setColorAt(0.0, QColor(255, 252, 236));
    glow.setColorAt(1.0, QColor(236, 234, 228, 0));
    p.fillRect(QRectF(90, 0, 210, 150), glow);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 250, 246));
    p.drawRoundedRect(QRectF(170, 4, 80, 8), 3, 3);

    // The desk.
    p.setBrush(QColor(168, 132, 96));
    p.drawRect(QRectF(0, 148, kWidth, 10));
    p.setBrush(QColor(140, 108, 78));
    p.drawRect(QRectF(0, 158, kWidth, 22));

    const QRectF screen = DrawMonitor(p, QRectF(18, 38, 150, 96));
    DrawComparisonChart(p, screen);

    // The print on its stand, turned a little toward the viewer.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 90, 90));
    QPolygonF stand;
    stand << QPointF(212, 146) << QPointF(250, 146) << QPointF(236, 110) << QPointF(226, 110);
    p.drawPolygon(stand);
    const QRectF print(188, 64, 84, 56);
    p.fillRect(print.adjusted(-3, -3, 3, 3), QColor(252, 252, 252));
    DrawComparisonChart(p, print);

    // The eyes compare the two.
    p.setPen(QPen(QColor(60, 110, 190), 2, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(170, 86), QPointF(184, 90));
    return image;
}

// Pointing on the chromaticity diagram: the diagram with a marked point.
QImage MakeWhiteByDiagramBitmap()
{
    constexpr int kWidth = 120;
    constexpr int kHeight = 90;
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(QColor(240, 240, 240));
    QPainter p(&image);
    const QImage diagram = MakeChromaticityBitmap();
    const QRectF box(20, 5, 80, 80);
    p.drawImage(box, diagram);
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(box.adjusted(-0.5, -0.5, 0.5, 0.5));
    const QPointF point(box.left() + 46, box.top() + 36);
    p.setPen(QPen(QColor(200, 30, 30), 2));
    p.drawLine(point - QPointF(6, 0), point + QPointF(6, 0));
    p.drawLine(point - QPointF(0, 6), point + QPointF(0, 6));
    // The mouse pointer that sets it.
    p.setRenderHint(QPainter::Antialiasing, true);
    QPolygonF arrow;
    arrow << QPointF(0, 0) << QPointF(0, 14) << QPointF(4, 10) << QPointF(7, 16)
          << QPointF(9, 15) << QPointF(6, 9) << QPointF(11, 9);
    arrow.translate(point + QPointF(5, 5));
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawPolygon(arrow);
    return image;
}

// Choosing among pictures: nine small charts under neighbouring whites,
// the centre one framed.
QImage MakeWhiteByPicturesBitmap()
{
    constexpr int kWidth = 120;
    constexpr int kHeight = 90;
    constexpr int kCell = 3;
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(QColor(240, 240, 240));
    QPainter p(&image);
    const double w = 36;
    const double h = 26;
    for (int row = 0; row < kCell; ++row)
        for (int column = 0; column < kCell; ++column)
        {
            const QRectF cell(4 + column * (w + 2), 4 + row * (h + 3), w, h);
            DrawComparisonChart(p, cell);
            // Left to right bluer to redder, top to bottom greener to
            // magenta, as the candidate whites move.
            const int red = (column - 1) * 28;
            const int green = (1 - row) * 24;
            const QColor tint(std::clamp(128 + red, 0, 255), std::clamp(128 + green, 0, 255),
                              std::clamp(128 - red, 0, 255), 70);
            p.save();
            p.setCompositionMode(QPainter::CompositionMode_Overlay);
            p.fillRect(cell, tint);
            p.restore();
            if (row == 1 && column == 1)
            {
                p.setPen(QPen(QColor(200, 30, 30), 2));
                p.setBrush(Qt::NoBrush);
                p.drawRect(cell.adjusted(-1, -1, 1, 1));
            }
        }
    return image;
}
