#pragma once
// The filter panel's trackbar scales apart from Qt. The radius and the
// amount run on a scale that gives small values most of the travel: with
// e = 0.3^4 (the scale's value at position 0 before it is stretched),
//     t = (0.3 + 0.7 p / 255)^4,
//     value = minimum + (t / (1 - e) - e) (maximum - minimum),
// and back
//     p = trunc((((v - minimum) / (maximum - minimum) + e) (1 - e))^(1/4) - 0.3) / 0.7 x 255).
// Position 0 gives the minimum (plus a trace below the edit's last digit),
// position 255 the maximum (likewise); a radius of 2.0 sits at 39, an
// amount of 50 at 98. The threshold's trackbar is linear: position =
// value.

namespace filterview {

inline constexpr int kTrackbarMax = 255;
inline constexpr int kTrackbarPage = 25;

// e of the scale: 0.3^4.
inline constexpr double kScaleFloor = 0.3 * 0.3 * 0.3 * 0.3;

// The value at a trackbar position (held to 0..255).
double NonLinearValue(int position, double minimum, double maximum);
// The position of a value, held to 0..255; 0 for an empty range.
int NonLinearPosition(double value, double minimum, double maximum);

// The document's radius (tenths of a pixel) for the radius edit's value
// (pixels, one decimal): value x 10 truncated, held to 0..maxTenths.
int RadiusTenthsFromEdit(double radius, int maxTenths);

} // namespace filterview
