#include "core/HueSwatch.h"

#include "core/Clamp.h"
#include "core/StdMatrix.h"

#include <algorithm>
#include <cmath>

namespace {

// The inverse of the sRGB primaries matrix (columns: the XYZ of red, green
// and blue at full drive, white Y = 1), divided by 100 so that it takes XYZ
// on the scale white Y = 100 to linear RGB on 0..1.
CStdMatrix MakeXYZToLinearRGB()
{
    CStdMatrix m(0.4124, 0.3576, 0.1805, //
                 0.2126, 0.7152, 0.0722, //
                 0.0193, 0.1192, 0.9505);
    m.Invert();
    return m / 100.0;
}

// Clipped before the power: a negative base has no real power, and NaN
// gives 0.
double Encode(double linear)
{
    const double c = linear > 0.0 ? std::min(linear, 1.0) : 0.0;
    return std::pow(c, 1.0 / 2.4) * 65535.0;
}

} // namespace

void SwatchColorFromXYZ(RGB16& pixel, const CCIEXYZ& xyz)
{
    static const CStdMatrix toRGB = MakeXYZToLinearRGB();
    const CStdVector rgb = Multiply3x3(toRGB, xyz);
    pixel.r = ClampToU16(Encode(rgb[0]));
    pixel.g = ClampToU16(Encode(rgb[1]));
    pixel.b = ClampToU16(Encode(rgb[2]));
}

void HueSwatchColor(RGB16& pixel, double hue)
{
    SwatchColorFromXYZ(pixel, CCIELCh(65.0, 100.0, hue).ToLab().ToXYZ());
}
