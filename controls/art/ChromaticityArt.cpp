#include "controls/art/ResourceArt.h"

#include "controls/widgets/CIExyLogic.h"
#include "core/CIEColor.h"
#include "core/HueSwatch.h"
#include "core/RGB16.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kSide = 80;
// The brightest channel of each pixel is brought to this fraction of full
// (linear): near white without the clipping that would flatten the tints.
constexpr double kPeak = 0.97;
// The luminance at which each chromaticity is first put into sRGB; low
// enough that no channel clips before the scaling.
constexpr double kProbeY = 20.0;

} // namespace

// The diagram's window, x 0.2939..0.4362 left to right and y 0.3093..0.4061
// bottom to top: each pixel centre's chromaticity at a fixed luminance, put
// into sRGB and scaled so that its brightest channel is near full. Scaling
// in linear light keeps the channel ratios, so the pixel keeps its
// chromaticity: the pale tints of white from warm to cool that the daylight
// locus crosses.
QImage MakeChromaticityBitmap()
{
    QImage image(kSide, kSide, QImage::Format_RGB32);
    for (int row = 0; row < kSide; ++row)
    {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
        const double y = kCIExyBottom + kCIExyHeight * (kSide - row - 0.5) / kSide;
        for (int column = 0; column < kSide; ++column)
        {
            const double x = kCIExyLeft + kCIExyWidth * (column + 0.5) / kSide;
            const CCIEXYZ probe = CCIEYxy(kProbeY, x, y).ToXYZ();
            RGB16 pixel{0, 0, 0};
            SwatchColorFromXYZ(pixel, probe);
            // The swatch encodes linear light with the exponent 1/2.4: the
            // brightest channel back to linear gives the scale.
            const double brightest = std::max({pixel.r, pixel.g, pixel.b}) / 65535.0;
            const double linear = std::pow(brightest, 2.4);
            if (linear > 0.0)
                SwatchColorFromXYZ(pixel, probe * (kPeak / linear));
            line[column] = qRgb(pixel.r >> 8, pixel.g >> 8, pixel.b >> 8);
        }
    }
    return image;
}
