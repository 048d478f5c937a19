#pragma once
// The colour-tone panel's rules apart from Qt: hues typed or stepped into
// the panel brought onto the circle, the order of the hue points kept
// while one of them is edited, and the points taken from the chart's
// measured colours.

#include "core/CIEColor.h"
#include "correction/ColorCalibDoc.h"

#include <span>

namespace colorcalib {

// A typed hue or phase on 0 .. 360: h - 360 k with k the integer part of
// (integer part of h) / 360, plus 360 when that is negative. -30 gives
// 330, 725 gives 5.
double WrapHue(double hue);

// A value cut to one decimal (toward 0).
double TruncateToTenth(double value);

// A hue point keeps its place in the order round the circle: point index
// (0-based) of the first count points may take hue (degrees) only strictly
// inside the arc that runs counter-clockwise from the previous point (the
// last for the first) to the next (the first for the last), more than
// kHueOrderMargin from either. The arc is measured forward over the whole
// circle, so a point whose neighbours lie more than half a turn apart
// moves over all of its sector. With fewer than two points, any hue.
inline constexpr double kHueOrderMargin = 0.0017278759594690002; // radians, about 0.099 degrees
bool AcceptsPointHue(std::span<const CCIELCh> points, int count, int index, double hue);

// One measured chart colour as the panel takes it: the colour the point
// stands for before the correction and the one it becomes.
struct MeasuredPair
{
    CCIELCh first;
    CCIELCh second;
};

// The hue points from the chart's measured pairs (3 .. 24 used): with n
// pairs, ColorCount := n, for i below n the first table's point i := the
// pair's second value, the second and third tables' := its first value;
// entries from n on become (0, 0, 0); the phase := the first table's first
// hue cut to one decimal; the selected point (1-based) is lowered to n
// when above it. Nothing changes with fewer than 3 pairs.
void PointsFromMeasuredPairs(CColorCalibData& data, std::span<const MeasuredPair> pairs,
                             int& selected);

} // namespace colorcalib
