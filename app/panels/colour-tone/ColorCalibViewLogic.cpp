#include "app/panels/colour-tone/ColorCalibViewLogic.h"

#include "controls/widgets/ColorCircleLogic.h"

#include <algorithm>
#include <cmath>

namespace colorcalib {

double WrapHue(double hue)
{
    if (!std::isfinite(hue))
        return 0.0;
    const double turns = std::trunc(std::trunc(hue) / 360.0);
    double wrapped = hue - 360.0 * turns;
    if (wrapped < 0.0)
        wrapped += 360.0;
    return wrapped;
}

double TruncateToTenth(double value)
{
    if (!std::isfinite(value))
        return 0.0;
    return std::trunc(value * 10.0) / 10.0;
}

bool AcceptsPointHue(std::span<const CCIELCh> points, int count, int index, double hue)
{
    const int n = std::min(count, static_cast<int>(points.size()));
    if (index < 0 || index >= n)
        return false;
    if (n < 2)
        return true;
    const auto radians = [](double degrees) { return degrees * kCirclePi / 180.0; };
    const double previous = radians(points[static_cast<std::size_t>((index + n - 1) % n)][2]);
    const double next = radians(points[static_cast<std::size_t>((index + 1) % n)][2]);
    // Forward (counter-clockwise) distances from the previous point.
    const double sector = ReduceAngle(next - previous);
    const double from = ReduceAngle(radians(hue) - previous);
    // Two points: each one's sector is the whole turn but the other point.
    const double arc = n == 2 ? kCircleTwoPi : sector;
    return from > kHueOrderMargin && from < arc - kHueOrderMargin;
}

void PointsFromMeasuredPairs(CColorCalibData& data, std::span<const MeasuredPair> pairs,
                             int& selected)
{
    const int n = static_cast<int>(std::min<std::size_t>(pairs.size(), CColorCalibData::kMaxColors));
    if (n < 3)
        return;
    data.ColorCount = static_cast<std::int16_t>(n);
    if (selected > n)
        selected = n;
    for (int i = 0; i < CColorCalibData::kMaxColors; ++i)
    {
        const auto k = static_cast<std::size_t>(i);
        if (i < n)
        {
            data.ChartLchRef[k] = pairs[k].second;
            data.LchBefore[k] = pairs[k].first;
            data.LchAfter[k] = pairs[k].first;
        }
        else
        {
            data.ChartLchRef[k] = CCIELCh(0.0, 0.0, 0.0);
            data.LchBefore[k] = CCIELCh(0.0, 0.0, 0.0);
            data.LchAfter[k] = CCIELCh(0.0, 0.0, 0.0);
        }
    }
    data.startHue = TruncateToTenth(data.ChartLchRef[0][2]);
}

} // namespace colorcalib
