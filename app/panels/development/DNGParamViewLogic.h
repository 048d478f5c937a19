#pragma once
// The development panel's mappings between control positions and the
// development document's values, apart from any widget.
//
// Colour temperature: the slider and its arrows run over 256 positions, and
// the kelvin scale is bent so that the warm end (where a photographer's
// temperatures lie) gets most of the positions:
//     a = (0.3 + 0.7 p / 255)^5,  b = 0.3^5,
//     T = (a / (1 - b) - b) * 48000 + 2000,
// truncated and then rounded to a multiple of 50 K. The way back inverts the
// power: a = (T - 2000)(1 - b) / 48000 + b(1 - b), p = (a^0.2 - 0.3) / 0.7
// * 255 + 0.5, truncated, at most 255. Position 0 is 2000 K and position 255
// is 50000 K; every temperature in between maps back to a position whose
// temperature is the nearest one the slider can show.
//
// Tint, exposure and black level are straight offsets of their document
// ranges: the position is the value minus the range's minimum (exposure in
// hundredths of a stop). The exposure slider moves in steps of 0.05 stop
// (the offset cut toward zero to a multiple of 5 hundredths); its arrows
// move by single hundredths.
//
// Ranges and defaults are the document's (CDNGParamDoc::kParamTable).

#include "core/CIEColor.h"

#include <optional>
#include <string_view>

struct DNGParams;
template <class P> struct ParamDef;

namespace dngview {

// The table entry of a development parameter ("Temperature", "Tint",
// "Exposure", "Shadow", "AsShot"); the program fails an assertion for an
// unknown key and answers the first entry.
const ParamDef<DNGParams>& Param(std::string_view key);
int ParamMin(std::string_view key);
int ParamMax(std::string_view key);

inline constexpr int kTemperaturePositions = 255; // slider and arrows 0..255

// The slider's temperature for position p (held within 0..255).
int TemperatureFromPosition(int position);
// The position of temperature T (held within the document's range).
int PositionFromTemperature(int kelvin);
// T rounded to the nearest multiple of 50 K, halves upward:
// (T + 25) / 50 * 50 in integers.
int RoundTemperature(int kelvin);
// One step of the temperature arrows: shown is the temperature in the edit,
// mapped the temperature of the arrows' new position, direction the sign
// of the step (+1 up, -1 down, 0 for a step that stopped at an end). A
// step always moves the temperature by at least 50 K: a mapped value more
// than 49 K away is rounded to 50 K, a nearer one becomes shown +- 50.
// Near 2000 K several positions round to the same temperature, so a mapped
// value equal to the shown one moves 50 K in the step's direction (without
// that, the arrows could never leave 2000 K). The result stays within the
// document's range.
int StepTemperature(int shown, int mapped, int direction);

// Tint, black level: the value of a position and back.
int TintFromPosition(int position);
int PositionFromTint(int tint);
int TintPositions(); // the last position (max - min)
int BlackLevelFromPosition(int position);
int PositionFromBlackLevel(int level);
int BlackLevelPositions();

// Exposure in hundredths of a stop.
int ExposurePositions();
int ExposureFromSliderPosition(int position);
int ExposureFromArrowPosition(int position);
int PositionFromExposure(int hundredths);
// The edit's value in stops as stored hundredths: 100 v, moved 0.1 away
// from zero and truncated, so that 0.29 (binary 0.28999...) is 29.
int ExposureFromStops(double stops);

// The white balance that makes a sampled white neutral: the correlated
// colour temperature of its chromaticity (held within the document's
// range) and the tint Duv * 3000, rounded half up then truncated toward
// zero (held within the tint range). Nothing when any of X, Y, Z is 0.1 or
// less (too dark to tell) or the chromaticity has no temperature.
struct WhiteBalance
{
    int temperature = 0;
    int tint = 0;
    bool operator==(const WhiteBalance&) const = default;
};
std::optional<WhiteBalance> WhiteBalanceFromSample(const CCIEXYZ& white);

// The histogram's marker level of a lightness L* (0..100): L* / 100 * 255,
// truncated, held within 0..255.
int LevelFromLightness(double lightness);

} // namespace dngview
