#pragma once
// Geometry of the colour circle, Qt-free: circle coordinates and pixels,
// the hit test of the control points and one drag step.
//
// Circle coordinates: a point (a, b) = (C cos h, C sin h), C the chroma and
// h the hue of LCh, b growing upward; chroma 100 lies at 0.97 of the drawn
// radius. The circle is drawn in the square of side s = min(width, height)
// at the client's top-left corner; with s2 = s / 2 (integer):
//     px = left + s2 + trunc(s * 0.97 a / 200)
//     py = top + s2 - trunc(s * 0.97 b / 200)
//     a  = (px - s2 - left) / s * 200 / 0.97
//     b  = (s2 + top - py) / s * 200 / 0.97
// and a pixel is inside the circle when a^2 + b^2 < 100^2.
//
// Control points are (r, theta): r = C / 100 in [0.01, 1], theta the hue in
// radians in [0, 2 pi). They form a closed curve in counter-clockwise
// order; a drag never carries a point past its neighbours.

#include "core/LabFormula.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Hue arithmetic takes pi as the LCh conversions do (3.14159265358).
inline constexpr double kCirclePi = cielab::kHuePi;
inline constexpr double kCircleTwoPi = 2.0 * kCirclePi;

// Chroma 100 sits at this fraction of the drawn radius.
inline constexpr double kCircleEdge = 0.97;
// A control point is hit within 10 pixels (squared distance at most 100).
inline constexpr int kCircleHitDistanceSquared = 100;
// The limits of a control point's r.
inline constexpr double kCircleMinR = 0.01;
inline constexpr double kCircleMaxR = 1.0;

struct HuePoint
{
    double r = 0.0;
    double theta = 0.0;

    bool operator==(const HuePoint&) const = default;
};

struct CirclePixel
{
    int x = 0;
    int y = 0;

    bool operator==(const CirclePixel&) const = default;
};

// theta reduced into [0, 2 pi).
double ReduceAngle(double theta);

struct CircleSquare
{
    int left = 0;
    int top = 0;
    int side = 0;

    // The square of a client of width x height pixels.
    static CircleSquare FromClient(int width, int height);

    CirclePixel ToPixel(double a, double b) const;
    // The circle coordinates of a pixel; false (a, b = 0) for an empty
    // square, which has no pixel inside.
    bool ToCircle(int px, int py, double& a, double& b) const;
    bool IsInside(int px, int py) const;

    // The pixel of a control point, of a (chroma, hue in degrees) pair.
    CirclePixel PointPixel(const HuePoint& point) const;
    CirclePixel ChromaHuePixel(double chroma, double hueDegrees) const;
};

// The index of the control point hit by the mouse pixel, or -1: only
// inside the circle, the nearest point (the first of equals) when within
// 10 pixels.
int HitHueCurve(const CircleSquare& square, const std::vector<HuePoint>& curve, int mx, int my);

// Modifiers of a drag step.
struct CircleDragKeys
{
    bool keepChroma = false; // Shift without Alt: only the hue moves
    bool keepHue = false;    // Alt without Shift: only the chroma moves
    bool allPoints = false;  // Ctrl, or the control's all-points mode
};
// The keys as held: Shift and Alt together cancel each other.
CircleDragKeys MakeCircleDragKeys(bool shift, bool alt, bool allPoints);

// Whether a control point may take angle `theta`: strictly inside the arc
// that runs counter-clockwise from its previous point to its next one.
// Hue differences are taken over the whole circle, so any arc up to a full
// turn is allowed. One point moves freely; of two points, each keeps to
// the half turn on its own side of the other (the half from the other
// point counter-clockwise when it lies within half a turn of it that way,
// else the other half).
bool IsBetweenNeighbours(const std::vector<HuePoint>& curve, std::size_t index, double theta);

// One drag step of the grabbed point towards the mouse pixel (mx, my).
// Outside the circle nothing changes. The new r = |(a, b)| / 100 within
// [0.01, 1] and the new theta = atan2(b, a) in [0, 2 pi), one of them kept
// as the keys say; with allPoints every point's r is scaled by the grabbed
// point's change and every theta turned by it; otherwise the grabbed point
// alone moves, when it stays between its neighbours. True when the curve
// changed.
bool DragHueCurve(const CircleSquare& square, std::vector<HuePoint>& curve, std::size_t grabbed,
                  int mx, int my, const CircleDragKeys& keys);

// The closed curve of a hue histogram, one count per degree: bin i at
// radius 50 + 50 count / max and angle i degrees. Empty when every count
// is 0.
std::vector<CirclePixel> HistogramCurve(const CircleSquare& square,
                                        const std::vector<std::uint32_t>& counts);
