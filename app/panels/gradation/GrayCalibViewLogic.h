#pragma once
// The gradation panel's rules apart from Qt: the mid-tone thumb of the
// input levels and the gamma it stands for, the least gap between a black
// and a white level, the point value shown in the panel, the sample marker
// and the curve points taken from the chart's grey patches.
//
// Levels are on the 0..255 scale. The mid-tone thumb sits where the levels
// curve (x - black) / (white - black) raised to gamma reaches one half:
//     mid   = white - trunc(0.5^gamma (white - black))
//     gamma = ln((white - mid) / (white - black)) / ln(0.5)
// and the gamma is held to 0.1 .. 4, so a thumb dragged too near either
// end goes back to the place of the held gamma.

#include "correction/GrayCalibDoc.h"

#include <span>

namespace graycalib {

inline constexpr double kMinGamma = 0.1;
inline constexpr double kMaxGamma = 4.0;
// A black and a white level of one pair stay this far apart.
inline constexpr int kLevelGap = 32;
inline constexpr int kMinLevel = 0;
inline constexpr int kMaxLevel = 255;

// The mid-tone thumb of a gamma; black when the levels have no span.
int MidFromGamma(int black, int white, double gamma);
// The gamma of a mid-tone thumb, held to kMinGamma .. kMaxGamma; 1 when
// the levels have no span.
double GammaFromMid(int black, int white, int mid);

// An edited black level against its white: at most white - 32, not below 0.
int BlackWithGap(int black, int white);
// An edited white level against its black: at least black + 32, not above 255.
int WhiteWithGap(int black, int white);
// The mid-tone thumb strictly between black and white (black + 1 when not
// above black, else white - 1 when not below white).
int MidInside(int black, int white, int mid);

// A curve point's height 0..1 as the panel shows it: trunc(y x 255 + 0.4),
// held to 0..255.
int PointValue(double y);

// The column of the graph's sample marker for a picked L*: trunc(L* / 100
// x 255) held to 0..255.
int SampleMarkerBin(double lightness);

// The curve through the chart's grey values: with n values (1 .. 20 used),
// ScaleCount := n, point i := (g_i, g_i) for i below n and (0, 0) after;
// the selected point (1-based) is lowered to n when above it. Nothing
// changes without values.
void PointsFromGrayValues(GrayCalibParams& params, std::span<const double> values, int& selected);

} // namespace graycalib
