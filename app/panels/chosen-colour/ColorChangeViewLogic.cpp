#include "app/panels/chosen-colour/ColorChangeViewLogic.h"

#include "core/HistogramData.h"

#include <algorithm>
#include <cmath>

namespace colorchangeview {

namespace {

// The strength slider's travel (0..40, 20 neutral) and the range slider's
// (0..41, 41 no limit), as the variation dialog has them.
constexpr int kStrengthMax = 40;
constexpr int kStrengthNeutral = 20;
constexpr int kRangeMax = 41;

// The limits of a dropped value's fallback range: lightness and chroma
// keep their scales, hue stays below a full turn.
double FallbackLimit(Axis axis)
{
    switch (axis)
    {
    case Axis::Hue:
        return 359.0;
    case Axis::Lightness:
        return kLightnessScale;
    case Axis::Chroma:
        return kChromaScale;
    }
    return 0.0;
}

// Whether (min, centre, max) keep their order going up the circle from
// the minimum: the centre is reached no later than the maximum.
bool HueOrdered(double min, double centre, double max)
{
    return HueDistanceUp(min, centre) <= HueDistanceUp(min, max);
}

} // namespace

double AxisScale(Axis axis)
{
    switch (axis)
    {
    case Axis::Hue:
        return kHueScale;
    case Axis::Lightness:
        return kLightnessScale;
    case Axis::Chroma:
        return kChromaScale;
    }
    return 1.0;
}

int AxisComponent(Axis axis)
{
    switch (axis)
    {
    case Axis::Lightness:
        return 0;
    case Axis::Chroma:
        return 1;
    case Axis::Hue:
        return 2;
    }
    return 0;
}

int ValueToBin(double value, double scale)
{
    if (!(scale > 0.0) || std::isnan(value))
        return 0;
    const double bin = std::trunc(value * 255.0 / scale);
    return static_cast<int>(std::clamp(bin, 0.0, static_cast<double>(kBinCount - 1)));
}

double BinToValue(int bin, double scale)
{
    return bin / 255.0 * scale;
}

double WrapHue(double h)
{
    if (!std::isfinite(h))
        return 0.0;
    double wrapped = h - 360.0 * std::trunc(h / 360.0);
    if (wrapped < 0.0)
        wrapped += 360.0;
    // A tiny negative value plus 360 rounds to 360 itself.
    return wrapped >= 360.0 ? 0.0 : wrapped;
}

double HueDistanceUp(double from, double to)
{
    return WrapHue(to - from);
}

bool HueInRange(double h, double min, double max)
{
    return HueOrdered(min, h, max);
}

bool CentreOutside(Axis axis, const AxisRange& range)
{
    if (axis == Axis::Hue && range.max < range.min)
        return range.centre > range.max && range.centre < range.min;
    return range.centre < range.min || range.centre > range.max;
}

double CorrectBound(Axis axis, Bound bound, double typed, const AxisRange& stored)
{
    if (axis == Axis::Hue)
    {
        const double h = WrapHue(typed);
        AxisRange candidate = stored;
        switch (bound)
        {
        case Bound::Minimum:
            candidate.min = h;
            break;
        case Bound::Centre:
            candidate.centre = h;
            break;
        case Bound::Maximum:
            candidate.max = h;
            break;
        }
        if (HueOrdered(candidate.min, candidate.centre, candidate.max))
            return h;
        switch (bound)
        {
        case Bound::Minimum:
            return stored.min;
        case Bound::Centre:
            return stored.centre;
        case Bound::Maximum:
            return stored.max;
        }
        return h;
    }
    switch (bound)
    {
    case Bound::Minimum:
        return typed > stored.centre ? stored.centre : typed;
    case Bound::Maximum:
        return typed < stored.centre ? stored.centre : typed;
    case Bound::Centre:
        if (typed < stored.min)
            return stored.min;
        if (typed > stored.max)
            return stored.max;
        return typed;
    }
    return typed;
}

int ValueToTenths(double value)
{
    if (std::isnan(value))
        return 0;
    // A value typed with one decimal (62.7) may lie a hair below its
    // tenths once multiplied; the hair is not a tenth less.
    const double tenths = std::trunc(value * 10.0 + 1e-9);
    return static_cast<int>(std::clamp(tenths, -1.0e9, 1.0e9));
}

std::array<int, 3> SampleMarkers(const CCIELCh& lch)
{
    return {ValueToBin(lch[2], kHueScale), ValueToBin(lch[0], kLightnessScale),
            ValueToBin(std::min(lch[1], kChromaScale), kChromaScale)};
}

std::optional<AxisRange> WidenBySample(Axis axis, const AxisRange& range, double value)
{
    AxisRange widened = range;
    if (axis == Axis::Hue)
    {
        const double h = value;
        if (HueInRange(h, range.min, range.max))
            return std::nullopt;
        if (range.max < range.min)
        {
            // In the gap between the maximum and the minimum.
            if (h - range.max <= range.min - h)
                widened.max = h;
            else
                widened.min = h;
        }
        else if (h < range.min)
        {
            if ((360.0 - range.max) + h <= range.min - h)
                widened.max = h;
            else
                widened.min = h;
        }
        else
        {
            if (range.min + 360.0 - h <= h - range.max)
                widened.min = h;
            else
                widened.max = h;
        }
        return widened;
    }
    const double top = AxisScale(axis);
    if (range.min > value)
        widened.min = std::max(value - 3.0, 0.0);
    else if (range.max < value)
        widened.max = std::min(value + 3.0, top);
    else
        return std::nullopt;
    return widened;
}

std::optional<AxisRange> NarrowHueBySample(const AxisRange& range, double h)
{
    if (!HueInRange(h, range.min, range.max))
        return std::nullopt;
    const double up = HueDistanceUp(range.min, h);
    const double centre = HueDistanceUp(range.min, range.centre);
    AxisRange narrowed = range;
    if (up > centre + 1.0)
        narrowed.max = h;
    else if (up < centre - 1.0)
        narrowed.min = h;
    else
        return std::nullopt;
    return narrowed;
}

double TruncateToTenth(double v)
{
    return std::trunc(v * 10.0) / 10.0;
}

FoundRange RangeAroundValue(Axis axis, std::span<const std::uint32_t> histogram, double value)
{
    const double scale = AxisScale(axis);
    FoundRange found;
    double lo = 0.0;
    double hi = 0.0;
    const CHistogramData data(histogram);
    if (!histogram.empty() && data.GetPeakRange(ValueToBin(value, scale), lo, hi))
    {
        found.min = BinToValue(static_cast<int>(lo), scale);
        found.max = BinToValue(static_cast<int>(hi), scale);
    }
    else
    {
        const double limit = FallbackLimit(axis);
        const double v = std::isnan(value) ? 0.0 : value;
        found.min = std::clamp(v - 5.0, 0.0, limit);
        found.max = std::clamp(v + 5.0, 0.0, limit);
    }
    found.min = TruncateToTenth(found.min);
    found.max = TruncateToTenth(found.max);
    return found;
}

ChromaFilterBins ChromaFilter(double lightnessMin, double lightnessMax, double hueMin,
                              double hueMax)
{
    return {ValueToBin(lightnessMin, kLightnessScale), ValueToBin(lightnessMax, kLightnessScale),
            ValueToBin(hueMin, kHueScale), ValueToBin(hueMax, kHueScale)};
}

int StrengthPosition(double k)
{
    if (std::isnan(k))
        return kStrengthNeutral;
    const double position = kStrengthNeutral + std::trunc(20.0 * std::clamp(k, -10.0, 10.0));
    return static_cast<int>(std::clamp(position, 0.0, static_cast<double>(kStrengthMax)));
}

int RangePosition(double deltaE)
{
    if (std::isnan(deltaE))
        return 0;
    const double position = std::trunc(std::clamp(deltaE, -1.0, 100.0));
    return static_cast<int>(std::clamp(position, 0.0, static_cast<double>(kRangeMax)));
}

} // namespace colorchangeview
