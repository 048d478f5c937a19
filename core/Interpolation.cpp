#include "core/Interpolation.h"

#include <cmath>
#include <cstdint>

bool CInterpolation::AddPoint(double x, double y)
{
    // A NaN key would break the strict weak order of the set.
    if (!std::isfinite(x))
        return false;
    return m_samples.emplace(x, y).second;
}

// Natural cubic spline: on each interval the curve is the cubic whose second
// derivative runs linearly between y2[i] and y2[i+1]. Continuity of the first
// derivative at the inner samples gives the tridiagonal system
//   (x[i]-x[i-1]) y2[i-1] + 2 (x[i+1]-x[i-1]) y2[i] + (x[i+1]-x[i]) y2[i+1]
//     = 6 ((y[i+1]-y[i])/(x[i+1]-x[i]) - (y[i]-y[i-1])/(x[i]-x[i-1])),
// with y2 = 0 at both ends. It is solved by one forward elimination (sig is
// the relative position of x[i] in [x[i-1], x[i+1]]) and a back substitution.
bool CInterpolation::BuildSpline()
{
    m_table.assign(m_samples.begin(), m_samples.end());
    const std::size_t n = m_table.size();
    m_y2.assign(n, 0.0);
    m_xMin = n > 0 ? m_table.front().x : 0.0;
    m_xMax = n > 0 ? m_table.back().x : 0.0;
    if (n < 2)
        return false;

    std::vector<double> u(n, 0.0);
    for (std::size_t i = 1; i + 1 < n; ++i)
    {
        const MyTable& prev = m_table[i - 1];
        const MyTable& cur = m_table[i];
        const MyTable& next = m_table[i + 1];
        const double sig = (cur.x - prev.x) / (next.x - prev.x);
        const double p = sig * m_y2[i - 1] + 2.0;
        m_y2[i] = (sig - 1.0) / p;
        const double d = (next.y - cur.y) / (next.x - cur.x) - (cur.y - prev.y) / (cur.x - prev.x);
        u[i] = (6.0 * d / (next.x - prev.x) - sig * u[i - 1]) / p;
    }
    m_y2[n - 1] = 0.0;
    for (std::size_t k = n - 1; k-- > 0;)
        m_y2[k] = m_y2[k] * m_y2[k + 1] + u[k];
    return true;
}

// The interval [x[lo], x[lo+1]] used for x: the last one whose left end is at
// or below x, the first one for x below the samples, the last one beyond them.
std::size_t CInterpolation::FindSegment(double x) const
{
    std::size_t lo = 0;
    std::size_t hi = m_table.size() - 1;
    while (hi - lo > 1)
    {
        const std::size_t mid = (hi + lo) / 2;
        if (m_table[mid].x > x)
            hi = mid;
        else
            lo = mid;
    }
    return lo;
}

// With a = (x[hi] - x)/h and b = (x - x[lo])/h (a + b = 1), the spline is
//   a*y[lo] + b*y[hi] + ((a^3 - a)*y2[lo] + (b^3 - b)*y2[hi]) * h^2/6.
// The linear part is evaluated as y[lo] + b*(y[hi] - y[lo]), the same value,
// written so that an interval with equal ends gives exactly that y: a flat
// curve then samples as one value, not as values one rounding apart.
double CInterpolation::EvaluateSegment(std::size_t lo, double x) const
{
    const std::size_t hi = lo + 1;
    const double h = m_table[hi].x - m_table[lo].x;
    const double a = (m_table[hi].x - x) / h;
    const double b = (x - m_table[lo].x) / h;
    return m_table[lo].y + b * (m_table[hi].y - m_table[lo].y) +
           ((a * a * a - a) * m_y2[lo] + (b * b * b - b) * m_y2[hi]) * (h * h) / 6.0;
}

double CInterpolation::GetSplineValue(double x) const
{
    if (m_table.size() < 2)
        return m_table.empty() ? 0.0 : m_table.front().y;
    return EvaluateSegment(FindSegment(x), x);
}

double CInterpolation::GetSplineValue(double x, std::size_t& segment) const
{
    const std::size_t n = m_table.size();
    if (n < 2)
        return n == 0 ? 0.0 : m_table.front().y;

    const std::size_t last = n - 2;
    if (segment > last || (segment > 0 && !(m_table[segment].x <= x)))
    {
        // x went backwards (or the hint is stale): search afresh.
        segment = FindSegment(x);
    }
    else
    {
        while (segment < last && m_table[segment + 1].x <= x)
            ++segment;
    }
    return EvaluateSegment(segment, x);
}

double CInterpolation::GetLinearValue(double x) const
{
    if (m_samples.empty())
        return 0.0;
    auto it = m_samples.begin();
    if (x <= it->x)
        return it->y;
    for (auto prev = it++; it != m_samples.end(); prev = it++)
    {
        if (prev->x < x && x <= it->x)
        {
            CLinearFunction line;
            line.SetPoints(CPointD(prev->x, prev->y), CPointD(it->x, it->y));
            return line.GetValue(x);
        }
    }
    return m_samples.rbegin()->y;
}

void CLinearFunction::SetPoints(const CPointD& p1, const CPointD& p2)
{
    if (p1.x == p2.x && p1.y == p2.y)
        return;
    if (p1.x == p2.x)
    {
        m_vertical = true;
        m_xVertical = p1.x;
        m_slope = 0.0;
        m_intercept = 0.0;
        return;
    }
    m_vertical = false;
    if (p1.y == p2.y)
    {
        m_slope = 0.0;
        m_intercept = p1.y;
        return;
    }
    const double dx = p1.x - p2.x;
    m_slope = (p1.y - p2.y) / dx;
    m_intercept = (p2.y * p1.x - p1.y * p2.x) / dx;
}

double CExponential::Fit(double gFrom, double gTo, double gStep)
{
    if (m_points.empty())
        return 1.0;
    const double x0 = m_points.front().x;
    const double y0 = m_points.front().y;
    const double dx = m_points.back().x - x0;
    const double dy = m_points.back().y - y0;
    if (dx == 0.0 || dy == 0.0 || !std::isfinite(dx) || !std::isfinite(dy))
        return 1.0;

    for (CPointD& p : m_points)
    {
        p.x = (p.x - x0) / dx;
        p.y = (p.y - y0) / dy;
    }

    double result = 1.0;
    if (!(gStep > 0.0) || !std::isfinite(gFrom) || !std::isfinite(gTo) || !std::isfinite(gStep))
        return result;

    // Each exponent is computed from its index, not by adding the step over
    // and over, so that 0.9 + 13*0.1 is the same double as the literal 2.2
    // and the grid does not drift off the values a reader expects.
    double best = 1e99;
    for (std::uint64_t k = 0;; ++k)
    {
        const double g = gFrom + static_cast<double>(k) * gStep;
        if (!(g < gTo))
            break;
        double e = 0.0;
        for (const CPointD& p : m_points)
        {
            const double r = p.y - std::pow(p.x, g);
            e += r * r;
        }
        if (e < best)
        {
            best = e;
            result = g;
        }
    }
    return result;
}
