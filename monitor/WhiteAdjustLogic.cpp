#include "monitor/WhiteAdjustLogic.h"

#include "core/CIEColor.h"
#include "core/IniFile.h"
#include "monitor/Display.h"
#include "platform/Numbers.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

constexpr const char* kSection = "DetailMode";
constexpr const char* kKeySetCIExy = "SetCIExy";
constexpr const char* kKeyCurX = "CurCIEx";
constexpr const char* kKeyCurY = "CurCIEy";


WhiteXy XyOf(const CCIEXYZ& xyz)
{
    const CCIEYxy yxy = xyz.ToYxy();
    return {yxy[1], yxy[2]};
}

// A stored real, or nothing when the key is missing, empty or not a number.
std::optional<double> ReadReal(const CIniFile& ini, const char* key)
{
    const std::string text = ini.GetString(kSection, key, "");
    double value = 0.0;
    if (text.empty() || !platform::TryParseDouble(text, &value) || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

WhiteXy ChartWhiteXy()
{
    return XyOf(CCIEXYZ(95.043, 100.0, 108.879));
}

WhiteXy D50WhiteXy()
{
    return XyOf(CCIEXYZ(96.42, 100.0, 82.49));
}

CandidateDirection CandidateDirectionOf(int cell)
{
    if (cell < 0 || cell >= kCandidateCount)
        return {};
    // Row 0 is the top (y + step), column 0 the left (x - step).
    return {cell % 3 - 1, 1 - cell / 3};
}

WhiteXy MoveTarget(WhiteXy target, CandidateDirection direction, double step)
{
    if (direction.dx != 0)
        target.x = std::clamp(target.x + direction.dx * step, kTargetMinX, kTargetMaxX);
    if (direction.dy != 0)
        target.y = std::clamp(target.y + direction.dy * step, kTargetMinY, kTargetMaxY);
    return target;
}

WhiteXy CandidateWhite(WhiteXy target, int cell, double step)
{
    const CandidateDirection d = CandidateDirectionOf(cell);
    return {target.x + d.dx * step, target.y + d.dy * step};
}

std::array<double, 3> WhiteXYZ(WhiteXy xy)
{
    const CCIEXYZ xyz = CCIEYxy(100.0, xy.x, xy.y).ToXYZ();
    return {xyz[0], xyz[1], xyz[2]};
}

std::optional<WhiteXy> SeedPointForPreset(int preset)
{
    switch (preset) {
    case 4:
        return D50WhiteXy();
    case 5:
        return ChartWhiteXy();
    default:
        return std::nullopt;
    }
}

bool IsMeasurableChromaticity(WhiteXy xy)
{
    return std::isfinite(xy.x) && std::isfinite(xy.y) && xy.x > 0.0 && xy.y > 0.0 &&
           xy.x + xy.y < 1.0;
}

WhiteGainStatus WhiteGainRanges::Usable() const
{
    for (std::size_t c = 0; c < 3; ++c)
        if (!read[c])
            return WhiteGainStatus::NotAnswered;
    for (std::size_t c = 0; c < 3; ++c)
        if (maxima[c] == 0)
            return WhiteGainStatus::NoGainRange;
    return WhiteGainStatus::Written;
}

WhiteGainRanges ReadWhiteGainRanges(CDisplay& display, const std::function<void(int)>& wait)
{
    WhiteGainRanges ranges;
    for (std::size_t c = 0; c < 3; ++c) {
        std::uint16_t maximum = 0;
        std::uint16_t current = 0;
        ranges.read[c] =
            display.GetControlRange(kControlGainRed + static_cast<int>(c), &maximum, &current);
        if (ranges.read[c]) {
            ranges.maxima[c] = maximum;
            ranges.initial[c] = current;
        }
        if (wait)
            wait(200);
    }
    return ranges;
}

void ClampGainsToMaxima(std::vector<std::uint16_t>& gains, const std::array<std::uint16_t, 3>& maxima)
{
    for (std::size_t c = 0; c < gains.size() && c < maxima.size(); ++c)
        gains[c] = std::min(gains[c], maxima[c]);
}

WhiteGainStatus PrepareWhiteGains(const CDisplay& display, const std::optional<WhiteXy>& target,
                                  const WhiteGainRanges& ranges, std::vector<std::uint16_t>& gains)
{
    gains.clear();
    if (!target || !IsMeasurableChromaticity(*target))
        return WhiteGainStatus::NoPoint;
    if (const WhiteGainStatus usable = ranges.Usable(); usable != WhiteGainStatus::Written)
        return usable;
    const double xy[2] = {target->x, target->y};
    if (!display.ComputeWhiteGains(xy, gains, ranges.Maxima()) || gains.size() != 3) {
        gains.clear();
        return WhiteGainStatus::NoModelData;
    }
    ClampGainsToMaxima(gains, ranges.maxima);
    return WhiteGainStatus::Written;
}

DetailModeSettings LoadDetailModeSettings(const CIniFile& ini)
{
    DetailModeSettings settings;
    settings.setCIExy = ini.GetInt(kSection, kKeySetCIExy, 0);
    const std::optional<double> x = ReadReal(ini, kKeyCurX);
    const std::optional<double> y = ReadReal(ini, kKeyCurY);
    if (x && y)
        settings.current = WhiteXy{*x, *y};
    return settings;
}

void SavePointSetFlag(CIniFile& ini, int setCIExy)
{
    ini.SetInt(kSection, kKeySetCIExy, setCIExy);
}

void SaveCurrentPoint(CIniFile& ini, WhiteXy point)
{
    ini.SetDouble(kKeyCurX, point.x);
    ini.SetDouble(kKeyCurY, point.y);
}
