#pragma once
// Float-to-integer conversion of pixel and table values: clamp to the
// target range, then truncate (RoundToU16: round to the nearest). NaN gives
// 0; infinities clamp to the ends.
// Casting an out-of-range double to an integer is undefined behaviour in
// C++, so every such conversion in the program goes through these.

#include <cstdint>

constexpr std::uint16_t ClampToU16(double v)
{
    if (!(v > 0.0)) // also NaN
        return 0;
    if (v >= 65535.0)
        return 65535;
    return static_cast<std::uint16_t>(v);
}

// The nearest 16-bit value (halves up), for results that are a weighted
// mean of 16-bit values: truncation would take a mean a rounding error
// below v down to v - 1.
constexpr std::uint16_t RoundToU16(double v)
{
    return ClampToU16(v + 0.5);
}

constexpr std::uint8_t ClampToU8(double v)
{
    if (!(v > 0.0))
        return 0;
    if (v >= 255.0)
        return 255;
    return static_cast<std::uint8_t>(v);
}

// Clamp to [lo, hi] and truncate towards zero; NaN gives 0 when 0 lies in
// the range, else lo.
constexpr long long ClampToInteger(double v, long long lo, long long hi)
{
    if (v != v)
        return (lo <= 0 && 0 <= hi) ? 0 : lo;
    if (v <= static_cast<double>(lo))
        return lo;
    if (v >= static_cast<double>(hi))
        return hi;
    return static_cast<long long>(v);
}
