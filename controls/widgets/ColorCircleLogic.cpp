#include "controls/widgets/ColorCircleLogic.h"

#include <algorithm>
#include <cmath>

namespace {

// The tolerance of "strictly between": angles closer than
// this to a neighbour count as on it.
constexpr double kNeighbourEpsilon = 1e-9;

// Truncation toward 0 of a pixel offset, limited first so that the
// conversion is defined for any value; NaN gives 0.
int TruncateOffset(double v)
{
    if (std::isnan(v))
        return 0;
    return static_cast<int>(std::clamp(v, -1.0e6, 1.0e6));
}

double Radians(double degrees)
{
    return degrees * kCirclePi / 180.0;
}

} // namespace

double ReduceAngle(double theta)
{
    if (!std::isfinite(theta))
        return 0.0;
    double reduced = std::fmod(theta, kCircleTwoPi);
    if (reduced < 0.0)
        reduced += kCircleTwoPi;
    // fmod of a value just below a multiple of 2 pi, plus 2 pi, may round
    // up to 2 pi itself.
    return reduced >= kCircleTwoPi ? 0.0 : reduced;
}

CircleSquare CircleSquare::FromClient(int width, int height)
{
    return CircleSquare{0, 0, std::max(0, std::min(width, height))};
}

CirclePixel CircleSquare::ToPixel(double a, double b) const
{
    const int s2 = side / 2;
    return CirclePixel{left + s2 + TruncateOffset(side * (a * kCircleEdge) * 0.5 / 100.0),
                       top + s2 - TruncateOffset(side * (b * kCircleEdge) * 0.5 / 100.0)};
}

bool CircleSquare::ToCircle(int px, int py, double& a, double& b) const
{
    if (side <= 0)
    {
        a = 0.0;
        b = 0.0;
        return false;
    }
    const int s2 = side / 2;
    a = static_cast<double>(px - s2 - left) / side * 2.0 * 100.0 / kCircleEdge;
    b = static_cast<double>(s2 + top - py) / side * 2.0 * 100.0 / kCircleEdge;
    return true;
}

bool CircleSquare::IsInside(int px, int py) const
{
    double a = 0.0;
    double b = 0.0;
    return ToCircle(px, py, a, b) && a * a + b * b < 100.0 * 100.0;
}

CirclePixel CircleSquare::PointPixel(const HuePoint& point) const
{
    return ToPixel(point.r * 100.0 * std::cos(point.theta),
                   point.r * 100.0 * std::sin(point.theta));
}

CirclePixel CircleSquare::ChromaHuePixel(double chroma, double hueDegrees) const
{
    const double h = Radians(hueDegrees);
    return ToPixel(chroma * std::cos(h), chroma * std::sin(h));
}

int HitHueCurve(const CircleSquare& square, const std::vector<HuePoint>& curve, int mx, int my)
{
    if (!square.IsInside(mx, my))
        return -1;
    int best = -1;
    long long bestDistance = 0;
    for (std::size_t i = 0; i < curve.size(); ++i)
    {
        const CirclePixel p = square.PointPixel(curve[i]);
        const long long dx = p.x - mx;
        const long long dy = p.y - my;
        const long long distance = dx * dx + dy * dy;
        if (best < 0 || distance < bestDistance)
        {
            best = static_cast<int>(i);
            bestDistance = distance;
        }
    }
    return best >= 0 && bestDistance <= kCircleHitDistanceSquared ? best : -1;
}

CircleDragKeys MakeCircleDragKeys(bool shift, bool alt, bool allPoints)
{
    return CircleDragKeys{shift && !alt, alt && !shift, allPoints};
}

bool IsBetweenNeighbours(const std::vector<HuePoint>& curve, std::size_t index, double theta)
{
    const std::size_t n = curve.size();
    if (index >= n)
        return false;
    if (n == 1)
        return true;
    const double angle = ReduceAngle(theta);
    if (n == 2)
    {
        // The other point splits the circle into the half turn that runs
        // counter-clockwise from it and the half that runs clockwise; the
        // point keeps to the half it is on (the first when exactly
        // opposite), so the pair never swaps its order round the circle.
        const double other = curve[1 - index].theta;
        const double side = ReduceAngle(curve[index].theta - other);
        const double to = ReduceAngle(angle - other);
        const double half = kCirclePi + kNeighbourEpsilon;
        if (side <= half)
            return to > kNeighbourEpsilon && to <= half;
        return to > half && to < kCircleTwoPi - kNeighbourEpsilon;
    }
    // Counter-clockwise distances from the previous point: the new angle
    // must come before the next point. Unlike a test on the sines of the
    // two differences, this holds for arcs of half a turn or more.
    const double prev = curve[(index + n - 1) % n].theta;
    const double next = curve[(index + 1) % n].theta;
    const double span = ReduceAngle(next - prev);
    const double to = ReduceAngle(angle - prev);
    return to > kNeighbourEpsilon && to < span - kNeighbourEpsilon;
}

bool DragHueCurve(const CircleSquare& square, std::vector<HuePoint>& curve, std::size_t grabbed,
                  int mx, int my, const CircleDragKeys& keys)
{
    if (grabbed >= curve.size() || !square.IsInside(mx, my))
        return false;
    double a = 0.0;
    double b = 0.0;
    square.ToCircle(mx, my, a, b);
    const HuePoint old = curve[grabbed];
    HuePoint moved{std::clamp(std::sqrt(a * a + b * b) / 100.0, kCircleMinR, kCircleMaxR),
                   ReduceAngle(std::atan2(b, a))};
    if (keys.keepChroma)
        moved.r = old.r;
    if (keys.keepHue)
        moved.theta = old.theta;

    if (keys.allPoints)
    {
        // A point at r 0 (chroma 0 from the owner) scales as if it were at
        // the smallest r a drag leaves.
        const double scale = moved.r / std::max(old.r, kCircleMinR);
        const double turn = moved.theta - old.theta;
        const std::vector<HuePoint> before = curve;
        for (HuePoint& p : curve)
        {
            p.r = std::clamp(p.r * scale, kCircleMinR, kCircleMaxR);
            p.theta = ReduceAngle(p.theta + turn);
        }
        return curve != before;
    }

    if (!IsBetweenNeighbours(curve, grabbed, moved.theta))
        return false;
    curve[grabbed] = moved;
    return !(moved == old);
}

std::vector<CirclePixel> HistogramCurve(const CircleSquare& square,
                                        const std::vector<std::uint32_t>& counts)
{
    std::vector<CirclePixel> points;
    const auto largest = std::max_element(counts.begin(), counts.end());
    if (largest == counts.end() || *largest == 0)
        return points;
    const double max = *largest;
    points.reserve(counts.size());
    for (std::size_t i = 0; i < counts.size(); ++i)
        points.push_back(
            square.ChromaHuePixel(50.0 + 50.0 * counts[i] / max, static_cast<double>(i)));
    return points;
}
