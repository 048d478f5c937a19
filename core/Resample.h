#pragma once
// The area resampler of the scaled raw writer and of the trimming: the
// filter is separable, so a source row is first resampled horizontally into
// doubles (ResampleRow) and the resampled rows are then combined vertically
// into one output row (CombineResampledRows).

#include "core/RGB16.h"

#include <cstddef>
#include <vector>

// How one axis samples its source span.
//  - Enlarging (ratio r = new / source >= 1): destination d sits at
//    p = origin + d / r between a = floor(p) and b = a + 1, weighted 1 - f
//    and f with f = p - a: linear interpolation.
//  - Reducing (r < 1): each destination pixel covers s = 1 / r source
//    pixels around c = floor(origin + d s). The odd window of n whole
//    pixels centred on c weighs 1, the pixel just outside it on either side
//    w = (s - n) / 2, so that the weights add up to s; the sum is divided
//    by s. For s = 2: n = 1, w = 0.5, the filter [1/4 1/2 1/4].
// Positions clamp to the image, so a span near the image's edge repeats the
// edge pixel. Each result is rounded to the nearest 16-bit value: the
// weights add up to one only within the rounding of doubles, and a
// truncated result would take a flat area one step down.
struct ResampleAxis
{
    // Whole source pixels a reduction averages at most.
    static constexpr int kMaxWindow = 1048576;

    bool enlarge = true;
    int taps = 2;                 // source positions per destination position
    double s = 1.0;               // reducing: source pixels per destination pixel
    double w = 0.0;               // reducing: weight of the two edge pixels
    std::vector<int> index;       // taps entries per destination position
    std::vector<double> fraction; // enlarging: weight f of the second tap

    // Samples [origin, origin + sourceLength) of an axis imageLength long
    // onto newLength positions (all lengths positive). Throws
    // std::bad_alloc when the tables do not fit.
    void Prepare(int origin, int sourceLength, int newLength, int imageLength);

    // The source positions destination d reads: for a reduction the n whole
    // pixels, then the two edge pixels; for an enlargement a and b.
    const int* Taps(int d) const { return &index[static_cast<std::size_t>(d) * taps]; }
};

// One source row resampled by the horizontal axis: three doubles (R, G, B)
// per destination column, newWidth columns.
void ResampleRow(const RGB16* row, const ResampleAxis& horizontal, int newWidth, double* out);

// Output row y from the horizontally resampled rows of its vertical taps:
// rows[k] holds the row of vertical.Taps(y)[k]. sums is scratch of
// 3 * newWidth doubles (used when reducing). Every channel adds its terms
// in one fixed order (the whole pixels, then the two edge pixels), so any
// caller gets the same values bit for bit.
void CombineResampledRows(const ResampleAxis& vertical, int y, const double* const* rows,
                          int newWidth, double* sums, RGB16* line);

// Output rows [first, end) of the resampling of source (rows sourceStride
// pixels apart) by the two prepared axes into out (rows outStride pixels
// apart, first row = row `first`): every source row the band's vertical
// taps read is filtered horizontally once, then the rows are combined.
// Each output row depends on its own taps only, so bands of any size, on
// any thread, give the same rows. False when the scratch memory cannot be
// had (nothing is written then).
bool ResampleRows(const RGB16* source, std::size_t sourceStride, const ResampleAxis& horizontal,
                  const ResampleAxis& vertical, int newWidth, int first, int end, RGB16* out,
                  std::size_t outStride);
