// The pictures of the progress windows, 16 x 16 each: a picture per
// correction step (in colour when the step runs, faded to light grey when
// it does not), the marker under the step that runs, and the batch
// window's stage bullets. Also the pattern of the chart item's drag
// feedback.

#include "controls/art/ResourceArt.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

#include <array>

namespace {

constexpr int kSide = 16;
const QColor kInk(0x30, 0x30, 0x30);

QImage Blank()
{
    QImage image(kSide, kSide, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

// A film frame with sprocket holes along its top and bottom: raw data
// being developed.
void DrawDevelopment(QPainter& painter)
{
    painter.fillRect(1, 2, 14, 12, kInk);
    painter.fillRect(3, 5, 10, 6, QColor(0xE0, 0x90, 0x30));
    for (int x = 2; x < 15; x += 3)
    {
        painter.fillRect(x, 3, 1, 1, Qt::white);
        painter.fillRect(x, 12, 1, 1, Qt::white);
    }
}

// Six patches of a colour-checker chart, two rows of three.
void DrawChart(QPainter& painter)
{
    static const std::array<QColor, 6> patches = {
        QColor(0x73, 0x52, 0x44), QColor(0xC2, 0x96, 0x82), QColor(0x62, 0x7A, 0x9D),
        QColor(0x57, 0x6C, 0x43), QColor(0x85, 0x80, 0xB1), QColor(0x67, 0xBD, 0xAA)};
    painter.fillRect(0, 2, 16, 12, kInk);
    for (int i = 0; i < 6; ++i)
        painter.fillRect(1 + (i % 3) * 5, 3 + (i / 3) * 5, 4, 5 - 1,
                         patches[static_cast<std::size_t>(i)]);
}

// Two crop corners over a picture: trimming.
void DrawTrimming(QPainter& painter)
{
    painter.fillRect(4, 4, 8, 8, QColor(0x70, 0xA8, 0xE0));
    painter.fillRect(2, 4, 2, 10, kInk);  // upper-left corner's upright
    painter.fillRect(2, 12, 10, 2, kInk); // ... and its foot
    painter.fillRect(12, 2, 2, 10, kInk); // lower-right corner's upright
    painter.fillRect(4, 2, 10, 2, kInk);  // ... and its head
}

// A tone curve bending up through a graph's frame.
void DrawGradation(QPainter& painter)
{
    painter.fillRect(1, 1, 14, 14, Qt::white);
    painter.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
    painter.drawRect(1, 1, 13, 13);
    painter.setRenderHint(QPainter::Antialiasing, true);
    QPainterPath curve;
    curve.moveTo(2.5, 13.5);
    curve.cubicTo(5.0, 4.0, 9.0, 2.5, 13.5, 2.5);
    painter.setPen(QPen(QColor(0x20, 0x40, 0xC0), 1.6));
    painter.drawPath(curve);
}

// A ring of six hues: the colour tone.
void DrawColourTone(QPainter& painter)
{
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    const QRectF ring(1, 1, 14, 14);
    for (int i = 0; i < 6; ++i)
    {
        painter.setBrush(QColor::fromHsv(i * 60, 220, 240));
        painter.drawPie(ring, (90 - i * 60) * 16, -60 * 16);
    }
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(5, 5, 6, 6));
}

// One colour turned into another: a patch, an arrow, a second patch.
void DrawSpecifiedColour(QPainter& painter)
{
    painter.fillRect(0, 1, 7, 7, kInk);
    painter.fillRect(1, 2, 5, 5, QColor(0xD0, 0x40, 0x30));
    painter.fillRect(9, 8, 7, 7, kInk);
    painter.fillRect(10, 9, 5, 5, QColor(0x30, 0x80, 0xD0));
    painter.setPen(QPen(kInk, 1));
    painter.drawLine(4, 9, 4, 11);
    painter.drawLine(4, 11, 7, 11);
    painter.fillRect(7, 9, 1, 5, kInk);
    painter.fillRect(8, 10, 1, 3, kInk);
}

// A sharpening wedge over a hard edge: the filter.
void DrawFilter(QPainter& painter)
{
    painter.fillRect(1, 1, 7, 14, Qt::white);
    painter.fillRect(8, 1, 7, 14, kInk);
    painter.fillRect(7, 1, 1, 14, QColor(0xFF, 0xFF, 0xFF));
    painter.fillRect(8, 1, 1, 14, QColor(0x00, 0x00, 0x00));
    painter.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
    painter.drawRect(0, 0, 15, 15);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(QColor(0x20, 0x60, 0xD0));
    painter.drawPolygon(QPolygonF({QPointF(8, 3), QPointF(13, 13), QPointF(3, 13)}));
}

// The picture of a step that does not run: its own picture in light greys,
// as a disabled button shows its face.
QImage Faded(const QImage& picture)
{
    QImage faded = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < faded.height(); ++y)
    {
        auto* line = reinterpret_cast<QRgb*>(faded.scanLine(y));
        for (int x = 0; x < faded.width(); ++x)
        {
            const int grey = 150 + qGray(line[x]) * 90 / 255;
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]));
        }
    }
    return faded;
}

QIcon Icon(const QImage& image)
{
    return QIcon(QPixmap::fromImage(image));
}

} // namespace

void DrawStepPicture(QPainter& painter, StepPicture step)
{
    switch (step)
    {
    case StepPicture::Development:
        DrawDevelopment(painter);
        break;
    case StepPicture::Chart:
        DrawChart(painter);
        break;
    case StepPicture::Trimming:
        DrawTrimming(painter);
        break;
    case StepPicture::Gradation:
        DrawGradation(painter);
        break;
    case StepPicture::ColourTone:
        DrawColourTone(painter);
        break;
    case StepPicture::SpecifiedColour:
        DrawSpecifiedColour(painter);
        break;
    case StepPicture::Filter:
        DrawFilter(painter);
        break;
    }
}

QIcon MakeStepIcon(StepPicture step, bool runs)
{
    QImage image = Blank();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    DrawStepPicture(painter, step);
    painter.end();
    return Icon(runs ? image : Faded(image));
}

// A red wedge pointing up at the step above it.
QIcon MakeStageMarkerIcon()
{
    QImage image = Blank();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xD0, 0x20, 0x20));
    painter.drawPolygon(QPolygon({QPoint(8, 3), QPoint(14, 12), QPoint(2, 12)}));
    painter.end();
    return Icon(image);
}

// A green arrow pointing at the stage's name: this stage runs now.
QIcon MakeStageCurrentIcon()
{
    QImage image = Blank();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(0x10, 0x60, 0x10), 1));
    painter.setBrush(QColor(0x30, 0xB0, 0x30));
    painter.drawPolygon(QPolygon({QPoint(2, 5), QPoint(8, 5), QPoint(8, 1), QPoint(14, 8),
                                  QPoint(8, 14), QPoint(8, 10), QPoint(2, 10)}));
    painter.end();
    return Icon(image);
}

// A small blue square bullet: a stage of the run.
QIcon MakeStageNormalIcon()
{
    QImage image = Blank();
    QPainter painter(&image);
    painter.fillRect(5, 5, 6, 6, QColor(0x20, 0x50, 0xA0));
    painter.fillRect(6, 6, 4, 4, QColor(0x60, 0x90, 0xE0));
    painter.end();
    return Icon(image);
}

// The bullet's outline in light grey: a step the run passes by.
QIcon MakeStageNotRunIcon()
{
    QImage image = Blank();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(0xA8, 0xA8, 0xA8), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(5, 5, 5, 5);
    painter.end();
    return Icon(image);
}

// An 8 x 8 checker of single black and white pixels: as a pen's brush it
// makes a dotted line that shows on light and dark parts of an image alike.
QImage MakeDragPatternBitmap()
{
    constexpr int kPattern = 8;
    QImage image(kPattern, kPattern, QImage::Format_RGB32);
    for (int y = 0; y < kPattern; ++y)
        for (int x = 0; x < kPattern; ++x)
            image.setPixel(x, y, (x + y) % 2 == 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    return image;
}
