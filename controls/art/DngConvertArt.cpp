#include "controls/art/ResourceArt.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

// Twelve dots on a circle, like the hours of a clock; in frame n the dot at
// hour n is the darkest and the ones before it fade, so the frames in turn
// show a light running clockwise.
QImage MakeDngConvertFrame(int frame)
{
    constexpr int kSize = 32;
    constexpr int kDots = 12;
    constexpr double kRadius = 11.0;
    constexpr double kDot = 2.6;
    QImage image(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < kDots; ++i)
    {
        // Steps behind the lit dot: 0 for the lit one, 11 for the next.
        const int behind = ((frame - i) % kDots + kDots) % kDots;
        const int grey = 40 + behind * 17;
        painter.setBrush(QColor(grey, grey, std::min(255, grey + 30)));
        const double angle = i * 2.0 * 3.14159265358 / kDots;
        const QPointF centre(kSize / 2.0 + kRadius * std::sin(angle),
                             kSize / 2.0 - kRadius * std::cos(angle));
        painter.drawEllipse(centre, kDot, kDot);
    }
    return image;
}
