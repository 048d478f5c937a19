#include "core/HistogramData.h"

#include "core/Clamp.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>

CHistogramData::CHistogramData(std::span<const std::uint32_t> counts)
    : m_counts(counts.begin(), counts.end())
{
    Smooth(1);
}

void CHistogramData::Smooth(int w)
{
    SmoothCounts(m_counts, w);
}

// Running window sum: the sum of at most n 32-bit counts is exact in a
// double (n * 2^32 stays far below 2^53), so adding the bin entering and
// subtracting the bin leaving gives the same sum as adding the window anew.
void CHistogramData::SmoothCounts(std::vector<std::uint32_t>& counts, int w)
{
    if (w < 1 || counts.empty())
        return;
    const std::vector<std::uint32_t> src = counts;
    const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(src.size());
    const std::ptrdiff_t half = w;

    // The window of bin 0 is 0 .. min(w, n - 1).
    double sum = 0.0;
    for (std::ptrdiff_t k = 0; k <= std::min(half, n - 1); ++k)
        sum += src[static_cast<std::size_t>(k)];

    for (std::ptrdiff_t j = 0; j < n; ++j)
    {
        const std::ptrdiff_t lo = std::max<std::ptrdiff_t>(0, j - half);
        const std::ptrdiff_t hi = std::min(n - 1, j + half);
        // The mean of unsigned 32-bit values stays within their range.
        counts[static_cast<std::size_t>(j)] =
            static_cast<std::uint32_t>(sum / static_cast<double>(hi - lo + 1));

        // Move the window on to bin j + 1.
        if (j + 1 + half < n)
            sum += src[static_cast<std::size_t>(j + 1 + half)];
        if (j - half >= 0)
            sum -= src[static_cast<std::size_t>(j - half)];
    }
}

void CHistogramData::WalkPeaks(std::span<const std::uint32_t> counts,
                               std::vector<Segment>& segments)
{
    segments.clear();
    enum class State
    {
        Outside,
        Rising,
        Falling,
    };
    State state = State::Outside;
    Segment current;
    for (std::size_t i = 0; i < counts.size(); ++i)
    {
        const std::uint32_t c = counts[i];
        const double bin = static_cast<double>(i);
        switch (state)
        {
        case State::Outside:
            if (c != 0)
            {
                current.start = bin;
                state = State::Rising;
            }
            break;
        case State::Rising:
            if (c == 0)
                state = State::Outside;
            else if (c < counts[i - 1])
            {
                current.peak = bin;
                state = State::Falling;
            }
            break;
        case State::Falling:
            if (c == 0 || c > counts[i - 1])
            {
                current.end = bin;
                segments.push_back(current);
                state = State::Outside;
            }
            break;
        }
    }
}

void CHistogramData::FindPeaks(std::vector<Segment>& segments) const
{
    std::vector<std::uint32_t> smoothed = m_counts;
    SmoothCounts(smoothed, kPeakSmoothing);
    WalkPeaks(smoothed, segments);
}

bool CHistogramData::FindSegment(std::span<const Segment> segments, int bin, Segment& segment)
{
    const double b = bin;
    for (const Segment& s : segments)
    {
        if (s.start <= b && b <= s.end)
        {
            segment = s;
            return true;
        }
    }
    return false;
}

bool CHistogramData::GetPeakRange(double x, double& lo, double& hi) const
{
    if (std::isnan(x))
        return false;
    std::vector<Segment> segments;
    FindPeaks(segments);
    const int bin = static_cast<int>(ClampToInteger(x, INT_MIN, INT_MAX));
    Segment s;
    if (!FindSegment(segments, bin, s))
        return false;
    lo = s.start;
    hi = s.end;
    return true;
}
