#include "controls/widgets/MultiSliderLogic.h"

#include "core/HueSwatch.h"

std::vector<RGB16> BuildHueRamp(int count)
{
    std::vector<RGB16> ramp;
    if (count <= 0)
        return ramp;
    ramp.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        HueSwatchColor(ramp[static_cast<std::size_t>(i)], i * 360.0 / count);
    return ramp;
}
