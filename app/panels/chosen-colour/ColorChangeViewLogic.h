#pragma once
// The rules of the chosen-colour panel apart from Qt: the range bars'
// bins and values, the three range edits' corrections, widening and
// narrowing a range by a sampled colour, the range built round a dropped
// colour from the image's histograms, and the variation dialog's slider
// positions.
//
// A range is a minimum, a centre and a maximum on each of lightness L
// (0..100), chroma C (0..150) and hue h (degrees, 0..360). Lightness and
// chroma ranges are ordered intervals. A hue range runs upwards from its
// minimum to its maximum and may pass through 0 degrees: with the maximum
// below the minimum it covers [min, 360) and [0, max].
//
// The bars work in 256 bins: a value v of an axis of scale s (100, 150,
// 360) stands at bin trunc(v x 255 / s), and bin b stands for b / 255 x s.

#include "core/CIEColor.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace colorchangeview {

inline constexpr int kBinCount = 256;
inline constexpr double kLightnessScale = 100.0;
inline constexpr double kChromaScale = 150.0;
inline constexpr double kHueScale = 360.0;

// The three axes of an element's range, in the order of the panel's rows of
// edits (hue, lightness, chroma) and of the LCh components (L 0, C 1, h 2).
enum class Axis
{
    Hue,
    Lightness,
    Chroma,
};

// Which of the three edits of an axis.
enum class Bound
{
    Minimum,
    Centre,
    Maximum,
};

double AxisScale(Axis axis);
// The LCh component of an axis: L 0, C 1, h 2.
int AxisComponent(Axis axis);

// trunc(value x 255 / scale), held to the 256 bins (a chroma above 150 or a
// negative value stays on the bar). A scale of 0 or less gives bin 0.
int ValueToBin(double value, double scale);
// bin / 255 x scale.
double BinToValue(int bin, double scale);

// h - 360 x trunc(h / 360), plus 360 when negative: into [0, 360).
double WrapHue(double h);
// The way up the circle from `from` to `to`, in [0, 360).
double HueDistanceUp(double from, double to);
// Whether h lies in the hue range (through 0 when max < min), ends included.
bool HueInRange(double h, double min, double max);

// One axis of a range.
struct AxisRange
{
    double min = 0.0;
    double centre = 0.0;
    double max = 0.0;

    bool operator==(const AxisRange&) const = default;
};

// Whether the centre lies outside the range: for lightness and chroma
// below the minimum or above the maximum; for hue, with the maximum above
// the minimum, the same, otherwise (through 0) above the maximum and below
// the minimum.
bool CentreOutside(Axis axis, const AxisRange& range);

// A typed value for one bound of an axis, corrected against the stored
// range:
//   lightness and chroma: a minimum above the centre, or a maximum below
//   it, becomes the centre; a centre below the minimum becomes the
//   minimum, one above the maximum the maximum;
//   hue: the value is wrapped into [0, 360); the three must keep their
//   order going up the circle from the minimum (the centre no further up
//   than the maximum), else the bound keeps its stored value.
double CorrectBound(Axis axis, Bound bound, double typed, const AxisRange& stored);

// The up-down positions of the edits are tenths of the value; hue
// positions wrap (WrapHueTenths, app/panels/StepPanelLogic.h).
// trunc(value x 10), a value shown with one decimal giving its own tenths.
int ValueToTenths(double value);

// The bars' markers for a sampled colour: bins of h / 360, L / 100 and
// min(C, 150) / 150, in the order hue, lightness, chroma.
std::array<int, 3> SampleMarkers(const CCIELCh& lch);

// A sampled colour with Ctrl held: the range grows to take it in.
//   Hue outside the range: through 0 with the hue in the gap, the nearer
//   bound moves onto the hue (the maximum on a tie); a plain range below
//   its minimum moves the maximum when the way up from the maximum round
//   through 360 is no longer than the way up to the minimum, else the
//   minimum; above its maximum moves the minimum when (min + 360 - h) is
//   no greater than (h - max), else the maximum.
//   Lightness: a minimum above L becomes max(L - 3, 0), else a maximum
//   below L becomes min(L + 3, 100). Chroma: the same with 0 and 150.
// Returns the new range of the axis; nothing when it does not change.
std::optional<AxisRange> WidenBySample(Axis axis, const AxisRange& range, double value);

// A sampled hue with Alt held: inside the range more than 1 degree above
// the centre (going up from the minimum) it becomes the maximum, more than
// 1 degree below it the minimum. Nothing when it changes nothing.
std::optional<AxisRange> NarrowHueBySample(const AxisRange& range, double h);

// trunc(v x 10) / 10.
double TruncateToTenth(double v);

// The range round a dropped value on one axis from its 256-bin histogram:
// the hill of the histogram holding the value's bin (CHistogramData), its
// bins scaled back to the axis; without a hill the value minus 5 to plus 5
// held to 0..100, 0..359 or 0..150. Both bounds truncated to a tenth.
struct FoundRange
{
    double min = 0.0;
    double max = 0.0;

    bool operator==(const FoundRange&) const = default;
};
FoundRange RangeAroundValue(Axis axis, std::span<const std::uint32_t> histogram, double value);

// The bounds of GetChromaHistogram for the pixels inside a lightness and
// a hue range: each bound in bins (0..255).
struct ChromaFilterBins
{
    int lightnessLow = 0;
    int lightnessHigh = 0;
    int hueLow = 0;
    int hueHigh = 0;

    bool operator==(const ChromaFilterBins&) const = default;
};
ChromaFilterBins ChromaFilter(double lightnessMin, double lightnessMax, double hueMin,
                              double hueMax);

// The variation dialog's sliders for an element: strength 20 + trunc(20 K)
// held to 0..40, colour-difference range trunc(deltaE) held to 0..41 (any
// K or deltaE, infinities included, stays on its slider; a NaN strength
// gives the neutral 20, a NaN range 0).
int StrengthPosition(double k);
int RangePosition(double deltaE);

} // namespace colorchangeview
