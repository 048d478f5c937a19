#include "core/GammaTable.h"

#include "core/VectorState.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "core/Clamp.h"

namespace
{

// Samples of the inverse of a sampled curve: enough to follow any curve a
// profile or a gradation step produces, and one spline over them is far
// cheaper than a search per table entry.
constexpr int InverseSampleCount = 1024;

// The natural spline through (k/(n-1), curve[k]), built; not built for
// fewer than two values.
CInterpolation MakeCurveSpline(std::span<const double> curve)
{
    CInterpolation spline;
    if (curve.size() >= 2)
    {
        const double last = static_cast<double>(curve.size() - 1);
        for (std::size_t k = 0; k < curve.size(); ++k)
            spline.AddPoint(static_cast<double>(k) / last, curve[k]);
    }
    spline.BuildSpline();
    return spline;
}

} // namespace

// x runs over i/65535 exactly as the entry index does, so that a table of
// v = x is the identity: (i/65535)*65535 rounds back to i for every i.
// ClampToU16 truncates 65535*v after clamping v to [0, 1], with NaN as 0.
template <typename Function> void CGammaTable::Fill(Function&& valueAt)
{
    ClearUpperVectorState();
    if (m_entries.size() != EntryCount)
    {
        try
        {
            std::vector<std::uint16_t>(EntryCount).swap(m_entries);
        }
        catch (const std::bad_alloc&)
        {
            Free();
            return;
        }
    }
    for (std::size_t i = 0; i < EntryCount; ++i)
    {
        const double x = static_cast<double>(i) / 65535.0;
        m_entries[i] = ClampToU16(65535.0 * valueAt(x));
    }
}

void CGammaTable::BuildFromCurve(std::span<const double> curve)
{
    if (curve.size() == 1)
    {
        const double g = curve[0];
        Fill([g](double x) { return std::pow(x, g); });
        return;
    }
    const CInterpolation spline = MakeCurveSpline(curve);
    std::size_t segment = 0;
    Fill([&](double x) { return spline.GetSplineValue(x, segment); });
}

void CGammaTable::BuildInverseFromCurve(std::span<const double> curve)
{
    if (curve.size() == 1)
    {
        const double inverse = 1.0 / curve[0];
        Fill([inverse](double x) { return std::pow(x, inverse); });
        return;
    }
    const CInterpolation forward = MakeCurveSpline(curve);
    CInterpolation inverse;
    std::size_t segment = 0;
    for (int j = 0; j < InverseSampleCount; ++j)
    {
        const double x = static_cast<double>(j) / (InverseSampleCount - 1);
        // AddPoint keeps the first sample of an S value and refuses the later.
        inverse.AddPoint(forward.GetSplineValue(x, segment), x);
    }
    inverse.BuildSpline();
    segment = 0;
    Fill([&](double x) { return inverse.GetSplineValue(x, segment); });
}

void CGammaTable::BuildFromPoints(std::span<const CPointD> points)
{
    CInterpolation spline;
    for (const CPointD& p : points)
        spline.AddPoint(p.x, p.y);
    spline.BuildSpline();
    std::size_t segment = 0;
    Fill([&](double x) { return spline.GetSplineValue(x, segment); });
}

bool CGammaTable::SetTable(std::span<const std::uint16_t> values)
{
    if (values.size() != EntryCount)
        return false;
    try
    {
        m_entries.assign(values.begin(), values.end());
    }
    catch (const std::bad_alloc&)
    {
        Free();
        return false;
    }
    return true;
}

void CGammaTable::Free()
{
    std::vector<std::uint16_t>().swap(m_entries);
}

bool CRGBGammaTable::IsComplete() const
{
    return std::none_of(std::begin(m_tables), std::end(m_tables),
                        [](const CGammaTable& t) { return t.IsEmpty(); });
}

void CRGBGammaTable::Free()
{
    for (CGammaTable& t : m_tables)
        t.Free();
}

CLockGammaTable::CLockGammaTable(const CGammaTable& table) : m_table(table), m_entries(table.Lock())
{
}

CLockGammaTable::~CLockGammaTable()
{
    m_table.Unlock();
}

bool ApplyRGBGammaTable(RGB16* pixels, std::size_t n, const CRGBGammaTable& table)
{
    if (!table.IsComplete())
        return false;
    const std::uint16_t* r = table.Red().GetEntries().data();
    const std::uint16_t* g = table.Green().GetEntries().data();
    const std::uint16_t* b = table.Blue().GetEntries().data();
    for (std::size_t i = 0; i < n; ++i)
    {
        RGB16& px = pixels[i];
        px.r = r[px.r];
        px.g = g[px.g];
        px.b = b[px.b];
    }
    return true;
}
