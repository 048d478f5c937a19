#include "controls/art/ResourceArt.h"

#include "controls/support/ColorRef.h"
#include "controls/widgets/ColorCircleLogic.h"
#include "core/CIEColor.h"
#include "core/HueSwatch.h"
#include "core/RGB16.h"

#include <cmath>

namespace {

constexpr int kSide = 256;
// The key colour that fills everything outside the circle; the colour
// circle control masks it out. No pixel inside is ever this colour.
constexpr COLORREF kKeyColour = MakeColorRef(0xFF, 0x00, 0xFF);
// The lightness of the wheel: light enough that the hues read as colours
// of a photograph rather than of the night.
constexpr double kLightness = 70.0;

} // namespace

// The hue and chroma plane of CIE LCh at one lightness: hue by the angle
// (0 degrees to the right, b upward), chroma by the radius, chroma 100 at
// 0.97 of the radius as the colour circle draws its points. Colours outside
// sRGB are clipped, channel by channel, as the hue swatches are.
QImage MakeColorWheelBitmap()
{
    QImage image(kSide, kSide, QImage::Format_RGB32);
    const QRgb key = ColorFromRef(kKeyColour).rgb();
    const double radius = kSide / 2.0;
    for (int y = 0; y < kSide; ++y)
    {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kSide; ++x)
        {
            const double dx = x + 0.5 - radius;
            const double dy = radius - (y + 0.5);
            const double distance = std::sqrt(dx * dx + dy * dy);
            if (distance >= radius)
            {
                row[x] = key;
                continue;
            }
            const double chroma = distance / radius / kCircleEdge * 100.0;
            const double hue = std::atan2(dy, dx) * 180.0 / kCirclePi;
            RGB16 pixel{0, 0, 0};
            SwatchColorFromXYZ(pixel, CCIELCh(kLightness, chroma, hue).ToLab().ToXYZ());
            QRgb colour = qRgb(pixel.r >> 8, pixel.g >> 8, pixel.b >> 8);
            if (colour == key)
                colour = qRgb(0xFE, 0x00, 0xFF);
            row[x] = colour;
        }
    }
    return image;
}
