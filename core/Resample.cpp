#include "core/Resample.h"

#include "core/Clamp.h"

#include <algorithm>
#include <new>
#include <vector>

void ResampleAxis::Prepare(int origin, int sourceLength, int newLength, int imageLength)
{
    const int last = imageLength - 1;
    const double r = static_cast<double>(newLength) / sourceLength;
    enlarge = r >= 1.0;
    if (enlarge)
    {
        taps = 2;
        index.resize(static_cast<std::size_t>(newLength) * 2);
        fraction.resize(static_cast<std::size_t>(newLength));
        for (int d = 0; d < newLength; ++d)
        {
            const double p = origin + d / r;
            const int a = static_cast<int>(ClampToInteger(p, 0, last));
            fraction[d] = p - a;
            index[2 * d] = a;
            index[2 * d + 1] = std::min(a + 1, last);
        }
        return;
    }
    s = 1.0 / r;
    const int whole = static_cast<int>(ClampToInteger(s, 1, kMaxWindow));
    const int n = 2 * ((whole - 1) / 2) + 1;
    const int half = n / 2;
    w = (s - n) * 0.5;
    taps = n + 2;
    index.resize(static_cast<std::size_t>(newLength) * taps);
    for (int d = 0; d < newLength; ++d)
    {
        const int c = static_cast<int>(ClampToInteger(origin + d * s, 0, last));
        int* out = &index[static_cast<std::size_t>(d) * taps];
        for (int k = -half; k <= half; ++k)
            *out++ = std::clamp(c + k, 0, last);
        *out++ = std::clamp(c - half - 1, 0, last);
        *out = std::clamp(c + half + 1, 0, last);
    }
}

void ResampleRow(const RGB16* row, const ResampleAxis& horizontal, int newWidth, double* out)
{
    if (horizontal.enlarge)
    {
        const int* index = horizontal.index.data();
        const double* fraction = horizontal.fraction.data();
        for (int x = 0; x < newWidth; ++x, out += 3)
        {
            const RGB16& a = row[index[2 * x]];
            const RGB16& b = row[index[2 * x + 1]];
            const double f = fraction[x];
            const double g = 1.0 - f;
            out[0] = g * a.r + f * b.r;
            out[1] = g * a.g + f * b.g;
            out[2] = g * a.b + f * b.b;
        }
        return;
    }
    const int n = horizontal.taps - 2;
    const double w = horizontal.w;
    const double s = horizontal.s;
    for (int x = 0; x < newWidth; ++x, out += 3)
    {
        const int* t = horizontal.Taps(x);
        double r = 0.0;
        double g = 0.0;
        double b = 0.0;
        for (int k = 0; k < n; ++k)
        {
            const RGB16& p = row[t[k]];
            r += p.r;
            g += p.g;
            b += p.b;
        }
        const RGB16& e0 = row[t[n]];
        const RGB16& e1 = row[t[n + 1]];
        r += w * e0.r;
        g += w * e0.g;
        b += w * e0.b;
        r += w * e1.r;
        g += w * e1.g;
        b += w * e1.b;
        out[0] = r / s;
        out[1] = g / s;
        out[2] = b / s;
    }
}

void CombineResampledRows(const ResampleAxis& vertical, int y, const double* const* rows,
                          int newWidth, double* sums, RGB16* line)
{
    if (vertical.enlarge)
    {
        const double f = vertical.fraction[y];
        const double g = 1.0 - f;
        const double* a = rows[0];
        const double* b = rows[1];
        for (int x = 0; x < newWidth; ++x, a += 3, b += 3)
        {
            line[x].r = RoundToU16(g * a[0] + f * b[0]);
            line[x].g = RoundToU16(g * a[1] + f * b[1]);
            line[x].b = RoundToU16(g * a[2] + f * b[2]);
        }
        return;
    }
    // Summed row by row into one accumulator line, so that the loops run
    // over contiguous doubles.
    const std::size_t stride = static_cast<std::size_t>(newWidth) * 3;
    const int n = vertical.taps - 2;
    const double w = vertical.w;
    const double s = vertical.s;
    std::fill(sums, sums + stride, 0.0);
    for (int k = 0; k < n; ++k)
    {
        const double* row = rows[k];
        for (std::size_t i = 0; i < stride; ++i)
            sums[i] += row[i];
    }
    for (int e = n; e < n + 2; ++e)
    {
        const double* row = rows[e];
        for (std::size_t i = 0; i < stride; ++i)
            sums[i] += w * row[i];
    }
    const double* acc = sums;
    for (int x = 0; x < newWidth; ++x, acc += 3)
    {
        line[x].r = RoundToU16(acc[0] / s);
        line[x].g = RoundToU16(acc[1] / s);
        line[x].b = RoundToU16(acc[2] / s);
    }
}

bool ResampleRows(const RGB16* source, std::size_t sourceStride, const ResampleAxis& horizontal,
                  const ResampleAxis& vertical, int newWidth, int first, int end, RGB16* out,
                  std::size_t outStride)
{
    if (first >= end)
        return true;
    int low = vertical.Taps(first)[0];
    int high = low;
    for (int y = first; y < end; ++y)
    {
        const int* t = vertical.Taps(y);
        for (int k = 0; k < vertical.taps; ++k)
        {
            low = std::min(low, t[k]);
            high = std::max(high, t[k]);
        }
    }
    const std::size_t stride = static_cast<std::size_t>(newWidth) * 3;
    std::vector<double> filtered;
    std::vector<double> sums;
    std::vector<const double*> rows;
    try
    {
        filtered.resize(static_cast<std::size_t>(high - low + 1) * stride);
        sums.resize(stride);
        rows.resize(static_cast<std::size_t>(vertical.taps));
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    for (int row = low; row <= high; ++row)
        ResampleRow(source + static_cast<std::size_t>(row) * sourceStride, horizontal, newWidth,
                    &filtered[static_cast<std::size_t>(row - low) * stride]);
    for (int y = first; y < end; ++y)
    {
        const int* t = vertical.Taps(y);
        for (int k = 0; k < vertical.taps; ++k)
            rows[k] = &filtered[static_cast<std::size_t>(t[k] - low) * stride];
        CombineResampledRows(vertical, y, rows.data(), newWidth, sums.data(),
                             out + static_cast<std::size_t>(y - first) * outStride);
    }
    return true;
}
