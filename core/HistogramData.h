#pragma once
// A histogram of unsigned counts, smoothed by a moving average and split
// into peak segments. A segment runs from the first non-zero bin of a hill
// over its top down to the bin where the counts reach zero or start to
// climb again; the colour-change panel uses it to find the range of values
// that belong with a chosen value.

#include <cstdint>
#include <span>
#include <vector>

class CHistogramData
{
public:
    // One hill of the histogram, as bin indices: start (first non-zero bin),
    // peak (first bin after the maximum) and end (the zero bin or the bin
    // that climbs again).
    struct Segment
    {
        double start = 0.0;
        double peak = 0.0;
        double end = 0.0;

        bool operator==(const Segment&) const = default;
    };

    // The half-width of the smoothing that FindPeaks applies to a copy of
    // the counts before looking for hills.
    static constexpr int kPeakSmoothing = 5;

    // Copies the counts and smooths them with half-width 1.
    explicit CHistogramData(std::span<const std::uint32_t> counts);
    CHistogramData(const CHistogramData&) = default;
    CHistogramData& operator=(const CHistogramData&) = default;
    CHistogramData(CHistogramData&&) = default;
    CHistogramData& operator=(CHistogramData&&) = default;
    virtual ~CHistogramData() = default;

    // Moving average of half-width w: bin j becomes the mean of the bins
    // j - w .. j + w that exist, truncated. Near the ends fewer bins take
    // part, so the ends are not pulled towards zero. A w below 1 changes
    // nothing.
    void Smooth(int w);

    // The segments of a copy of the counts smoothed with half-width 5.
    void FindPeaks(std::vector<Segment>& segments) const;

    // The first segment with start <= bin <= end; false when none holds it.
    static bool FindSegment(std::span<const Segment> segments, int bin, Segment& segment);

    // FindPeaks, then the segment around x truncated to a bin; lo and hi are
    // its start and end. False (lo and hi untouched) when no segment holds
    // it or x is NaN.
    bool GetPeakRange(double x, double& lo, double& hi) const;

    // The hills of counts taken as they are (no smoothing), walking the bins
    // in order through three states:
    //   outside: a non-zero bin starts a segment;
    //   rising:  a zero bin drops it, a bin lower than the one before marks
    //            the peak and the descent begins;
    //   falling: a zero bin or a bin higher than the one before ends the
    //            segment and stores it; that bin does not start the next.
    // A segment still open at the last bin is not stored.
    static void WalkPeaks(std::span<const std::uint32_t> counts, std::vector<Segment>& segments);

    // The moving average of Smooth applied to a list of counts in place.
    static void SmoothCounts(std::vector<std::uint32_t>& counts, int w);

    const std::vector<std::uint32_t>& GetCounts() const { return m_counts; }

private:
    std::vector<std::uint32_t> m_counts;
};
