#include "app/panels/development/DNGParamViewLogic.h"

#include "correction/DNGParamDoc.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <limits>

namespace dngview {

namespace {

// 0.3^5: the bend of the temperature scale at position 0.
const double kBend = std::pow(0.3, 5.0);

int Truncate(double value)
{
    return static_cast<int>(value);
}

} // namespace

const ParamDef<DNGParams>& Param(std::string_view key)
{
    for (const ParamDef<DNGParams>& param : CDNGParamDoc::GetParamTable())
        if (param.key == key)
            return param;
    assert(false && "no such development parameter");
    return CDNGParamDoc::GetParamTable().front();
}

int ParamMin(std::string_view key)
{
    return Truncate(Param(key).minValue);
}

int ParamMax(std::string_view key)
{
    return Truncate(Param(key).maxValue);
}

int TemperatureFromPosition(int position)
{
    const int p = std::clamp(position, 0, kTemperaturePositions);
    const double a = std::pow(0.3 + 0.7 * p / kTemperaturePositions, 5.0);
    const int low = ParamMin("Temperature");
    const int span = ParamMax("Temperature") - low;
    const int kelvin = Truncate((a / (1.0 - kBend) - kBend) * span + low);
    return RoundTemperature(kelvin);
}

int PositionFromTemperature(int kelvin)
{
    const int low = ParamMin("Temperature");
    const int high = ParamMax("Temperature");
    if (high <= low)
        return 0;
    const int t = std::clamp(kelvin, low, high);
    const double a =
        static_cast<double>(t - low) * (1.0 - kBend) / (high - low) + kBend * (1.0 - kBend);
    const int p = Truncate((std::pow(a, 0.2) - 0.3) / 0.7 * kTemperaturePositions + 0.5);
    return std::clamp(p, 0, kTemperaturePositions);
}

int RoundTemperature(int kelvin)
{
    // In 64 bits, so that the ends of int round without overflow; above
    // the last multiple of 50 that int holds, that one.
    std::int64_t rounded = (std::int64_t{kelvin} + 25) / 50 * 50;
    if (rounded > std::numeric_limits<int>::max())
        rounded -= 50;
    return static_cast<int>(rounded);
}

int StepTemperature(int shown, int mapped, int direction)
{
    // Differences and steps in 64 bits: any two ints, the ends included.
    const std::int64_t from = shown;
    const std::int64_t to = mapped;
    std::int64_t kelvin = to;
    if (to > from)
        kelvin = to - from > 49 ? RoundTemperature(mapped) : from + 50;
    else if (to < from)
        kelvin = from - to > 49 ? RoundTemperature(mapped) : from - 50;
    else if (direction != 0)
        kelvin = from + (direction > 0 ? 50 : -50);
    return static_cast<int>(std::clamp<std::int64_t>(kelvin, ParamMin("Temperature"),
                                                      ParamMax("Temperature")));
}

int TintFromPosition(int position)
{
    return std::clamp(position, 0, TintPositions()) + ParamMin("Tint");
}

int PositionFromTint(int tint)
{
    return std::clamp(tint - ParamMin("Tint"), 0, TintPositions());
}

int TintPositions()
{
    return ParamMax("Tint") - ParamMin("Tint");
}

int BlackLevelFromPosition(int position)
{
    return std::clamp(position, 0, BlackLevelPositions()) + ParamMin("Shadow");
}

int PositionFromBlackLevel(int level)
{
    return std::clamp(level - ParamMin("Shadow"), 0, BlackLevelPositions());
}

int BlackLevelPositions()
{
    return ParamMax("Shadow") - ParamMin("Shadow");
}

int ExposurePositions()
{
    return ParamMax("Exposure") - ParamMin("Exposure");
}

int ExposureFromSliderPosition(int position)
{
    // Integer division cuts toward zero: 403 and 397 are both 0.00.
    const int offset = std::clamp(position, 0, ExposurePositions()) + ParamMin("Exposure");
    return offset / 5 * 5;
}

int ExposureFromArrowPosition(int position)
{
    return std::clamp(position, 0, ExposurePositions()) + ParamMin("Exposure");
}

int PositionFromExposure(int hundredths)
{
    return std::clamp(hundredths - ParamMin("Exposure"), 0, ExposurePositions());
}

int ExposureFromStops(double stops)
{
    if (!std::isfinite(stops))
        return 0;
    const double hundredths = stops * 100.0 + (stops >= 0.0 ? 0.1 : -0.1);
    const double limit = 1e9;
    return Truncate(std::clamp(hundredths, -limit, limit));
}

std::optional<WhiteBalance> WhiteBalanceFromSample(const CCIEXYZ& white)
{
    const double X = white[0];
    const double Y = white[1];
    const double Z = white[2];
    if (!(X > 0.1 && Y > 0.1 && Z > 0.1))
        return std::nullopt;
    const double sum = X + Y + Z;
    double duv = 0.0;
    std::uint16_t kelvin = 0;
    if (!CalcColorTemperature(X / sum, Y / sum, &duv, &kelvin))
        return std::nullopt;
    WhiteBalance balance;
    balance.temperature = std::clamp<int>(kelvin, ParamMin("Temperature"), ParamMax("Temperature"));
    const double tint = std::clamp(duv * 3000.0 + 0.5, -1e6, 1e6);
    balance.tint = std::clamp(Truncate(tint), ParamMin("Tint"), ParamMax("Tint"));
    return balance;
}

int LevelFromLightness(double lightness)
{
    if (!std::isfinite(lightness))
        return 0;
    return Truncate(std::clamp(lightness / 100.0 * 255.0, 0.0, 255.0));
}

} // namespace dngview
