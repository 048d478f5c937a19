#include "app/panels/filter/FilterViewLogic.h"

#include "core/Clamp.h"

#include <algorithm>
#include <cmath>

namespace filterview {

double NonLinearValue(int position, double minimum, double maximum)
{
    const int p = std::clamp(position, 0, kTrackbarMax);
    const double t = std::pow(0.3 + 0.7 * p / kTrackbarMax, 4.0);
    const double e = kScaleFloor;
    return minimum + (t / (1.0 - e) - e) * (maximum - minimum);
}

int NonLinearPosition(double value, double minimum, double maximum)
{
    const double range = maximum - minimum;
    if (!(range > 0.0))
        return 0;
    const double e = kScaleFloor;
    // Below the minimum the fourth root would have no real value.
    const double base = std::max(((value - minimum) / range + e) * (1.0 - e), 0.0);
    const double p = (std::pow(base, 0.25) - 0.3) / 0.7 * kTrackbarMax;
    return static_cast<int>(ClampToInteger(p, 0, kTrackbarMax));
}

int RadiusTenthsFromEdit(double radius, int maxTenths)
{
    return static_cast<int>(ClampToInteger(radius * 10.0, 0, std::max(maxTenths, 0)));
}

} // namespace filterview
