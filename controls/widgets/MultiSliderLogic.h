#pragma once
// The maths of CMultiSlider apart from Qt: value <-> pixel along the
// track, the thumb a press takes, and the colour of each line of the
// painted track.
//
// A thumb is an 11 x 11 box. Along a track of extent E pixels (the
// client's width, or its height when vertical) a value maps to the box's
// near corner, so the box's centre runs from pixel 5 to pixel E - 6 and
// the usable span is E - 11 pixels for the range r = maximum - minimum:
//     horizontal: x = (v - min) / r * (E - 11),     v = min + (x - 5) / (E - 11) * r
//     vertical:   y = (1 - (v - min) / r) * (E - 11), v = min + (1 - (y - 5) / (E - 11)) * r
// (minimum at the left, or at the bottom). Reals become integers by
// truncation toward 0; a value from a pixel is clamped to the range. An
// empty range or a track shorter than a thumb maps every pixel to the
// minimum and every value to the minimum's place.

#include "core/Clamp.h"
#include "core/RGB16.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <span>
#include <vector>

inline constexpr int kThumbSize = 11;
inline constexpr int kThumbHalf = 5;

struct SliderAxis
{
    int nearEdge = 0; // left, or top when vertical
    int extent = 0;   // width, or height when vertical
    int minimum = 0;
    int maximum = 100;
    bool vertical = false;

    int range() const { return maximum - minimum; }
    int span() const { return extent - kThumbSize; }

    int PixelToValue(int pixel) const
    {
        if (range() <= 0 || span() <= 0)
            return minimum;
        double t = static_cast<double>(pixel - nearEdge - kThumbHalf) / span();
        if (vertical)
            t = 1.0 - t;
        return static_cast<int>(ClampToInteger(minimum + std::trunc(t * range()), minimum, maximum));
    }

    int ValueToPixel(int value) const
    {
        double t = range() > 0 ? static_cast<double>(value - minimum) / range() : 0.0;
        if (vertical)
            t = 1.0 - t;
        return nearEdge + static_cast<int>(ClampToInteger(t * span(), -0x7FFFFFFFLL, 0x7FFFFFFFLL));
    }

    // The thumb a press at pixel takes: the one whose place lies nearest
    // along the track; of equally near thumbs the first. -1 when there is
    // none (no thumbs, or all 32767 or more pixels away).
    int NearestThumb(std::span<const std::int16_t> positions, int pixel) const
    {
        int best = -1;
        long long bestDistance = 32767;
        for (std::size_t i = 0; i < positions.size(); ++i)
        {
            const long long distance = std::llabs(static_cast<long long>(pixel) - ValueToPixel(positions[i]));
            if (distance < bestDistance)
            {
                bestDistance = distance;
                best = static_cast<int>(i);
            }
        }
        return best;
    }

    // The thumb a press at pixel drags. The nearest thumb, as above; but
    // since a dragged thumb may not pass its neighbours, the first of a
    // stack of thumbs on one value could never leave it toward larger
    // values: a press beyond such a stack takes its last thumb instead,
    // the one free to move that way.
    int GrabThumb(std::span<const std::int16_t> positions, int pixel) const
    {
        int index = NearestThumb(positions, pixel);
        if (index < 0 || PixelToValue(pixel) <= positions[static_cast<std::size_t>(index)])
            return index;
        while (static_cast<std::size_t>(index) + 1 < positions.size() &&
               positions[static_cast<std::size_t>(index) + 1] == positions[static_cast<std::size_t>(index)])
            ++index;
        return index;
    }
};

// The value a dragged thumb may take: thumbs keep their order, so thumb
// index stays between its neighbours' values (it may meet a neighbour,
// never pass it). Neighbours that the owner left out of order (the earlier
// above the later) do not bind.
inline int ClampBetweenNeighbours(std::span<const std::int16_t> positions, std::size_t index, int value)
{
    const int lo = index > 0 ? positions[index - 1] : std::numeric_limits<int>::min();
    const int hi = index + 1 < positions.size() ? positions[index + 1] : std::numeric_limits<int>::max();
    if (lo > hi)
        return value;
    return value < lo ? lo : (value > hi ? hi : value);
}

// Ramp level 0..255 of track line i of n: 0 on the first 5 lines and 255
// on the last 5 (under the thumb's half at either end), linear between.
inline int RampLevel(int i, int n)
{
    if (i < kThumbHalf)
        return 0;
    if (i >= n - kThumbHalf)
        return 255;
    const int steps = n - 2 * kThumbHalf;
    return steps > 0 ? (i - kThumbHalf) * 255 / steps : 0;
}

// The entry of a hue table of count entries shown on track line i of n:
// the first and last entries under the thumb's half at the ends, the table
// stretched over the lines between. -1 for an empty table.
inline int HueRampIndex(int i, int n, std::size_t count)
{
    if (count == 0)
        return -1;
    const int last = static_cast<int>(count) - 1;
    if (i <= kThumbHalf - 1)
        return 0;
    if (i >= n - kThumbHalf)
        return last;
    const int steps = n - 2 * kThumbHalf;
    if (steps <= 0)
        return 0;
    const long long index = static_cast<long long>(i - kThumbHalf) * static_cast<long long>(count) / steps;
    return index > last ? last : static_cast<int>(index);
}

struct RampRGB
{
    int r = 0;
    int g = 0;
    int b = 0;
    bool operator==(const RampRGB&) const = default;
};

// Styles 1 to 4 at level l (integer divisions):
//   1 grey, dark at the minimum; 2 grey, light at the minimum;
//   3 colour temperature from (64, 196, 255) to (255, 128, 64);
//   4 tint from (64, 255, 64) to (255, 64, 255).
inline RampRGB GreyRampColor(int l) { return {l, l, l}; }
inline RampRGB InverseGreyRampColor(int l) { return {255 - l, 255 - l, 255 - l}; }
inline RampRGB TemperatureRampColor(int l)
{
    return {(191 * l + 16320) / 255, (735 - l) * 68 / 255, (65025 - 191 * l) / 255};
}
inline RampRGB TintRampColor(int l)
{
    const int rb = (191 * l + 16320) / 255;
    return {rb, (65025 - 191 * l) / 255, rb};
}

// A full-scale 16-bit channel shown as 8 bits: c * 255 / 65535.
constexpr int ShownChannel(std::uint16_t c) { return c * 255 / 65535; }

// The hue ramp: count entries, entry i the swatch colour of hue
// i * 360 / count degrees (see core/HueSwatch.h). Empty for count <= 0.
std::vector<RGB16> BuildHueRamp(int count);
