#include "app/panels/gradation/GrayCalibViewLogic.h"

#include <algorithm>
#include <cmath>

namespace graycalib {

int MidFromGamma(int black, int white, double gamma)
{
    const int span = white - black;
    if (span <= 0 || !std::isfinite(gamma))
        return black;
    return white - static_cast<int>(std::trunc(std::pow(0.5, gamma) * span));
}

double GammaFromMid(int black, int white, int mid)
{
    const int span = white - black;
    if (span <= 0)
        return 1.0;
    // A thumb at white (ratio 0) asks for an infinite gamma, one beyond
    // white for none: both are the steepest gamma there is.
    const double ratio = static_cast<double>(white - mid) / span;
    if (!(ratio > 0.0))
        return kMaxGamma;
    const double gamma = std::log(ratio) / std::log(0.5);
    return std::clamp(gamma, kMinGamma, kMaxGamma);
}

int BlackWithGap(int black, int white)
{
    if (black >= white - kLevelGap)
        return std::max(white - kLevelGap, kMinLevel);
    return black;
}

int WhiteWithGap(int black, int white)
{
    if (black + kLevelGap >= white)
        return std::min(black + kLevelGap, kMaxLevel);
    return white;
}

int MidInside(int black, int white, int mid)
{
    if (mid <= black)
        return black + 1;
    if (mid >= white)
        return white - 1;
    return mid;
}

int PointValue(double y)
{
    if (!std::isfinite(y))
        return 0;
    return static_cast<int>(std::clamp(std::trunc(y * 255.0 + 0.4), 0.0, 255.0));
}

int SampleMarkerBin(double lightness)
{
    if (!std::isfinite(lightness))
        return 0;
    return static_cast<int>(std::clamp(std::trunc(lightness / 100.0 * 255.0), 0.0, 255.0));
}

void PointsFromGrayValues(GrayCalibParams& params, std::span<const double> values, int& selected)
{
    const int n = static_cast<int>(std::min<std::size_t>(values.size(), GrayCalibParams::kMaxScalePoints));
    if (n <= 0)
        return;
    params.ScaleCount = static_cast<std::int16_t>(n);
    if (selected > n)
        selected = n;
    for (int i = 0; i < GrayCalibParams::kMaxScalePoints; ++i)
    {
        const double g = i < n ? values[static_cast<std::size_t>(i)] : 0.0;
        params.ScaleTable[static_cast<std::size_t>(i)] = CPointD(g, g);
    }
}

} // namespace graycalib
