#pragma once
// Pictures made in the test.

#include "core/RGBImage.h"

#include <cstddef>

namespace testsupport {

// The colours of FlatQuadrants: top left, top right, bottom left, bottom
// right (reddish, greenish, bluish, grey; whole 8-bit levels).
inline constexpr RGB16 kQuadrantColours[4] = {{200 * 257, 60 * 257, 40 * 257},
                                              {50 * 257, 170 * 257, 70 * 257},
                                              {40 * 257, 60 * 257, 190 * 257},
                                              {128 * 257, 128 * 257, 128 * 257}};

// Four flat quadrants of kQuadrantColours. A JPEG keeps flat 8 x 8 blocks,
// reduced or not, so the middle of each quadrant has one colour in any
// decode.
inline CRGBImage FlatQuadrants(int width, int height)
{
    CRGBImage image(width, height);
    RGB16* p = image.Lock();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
              static_cast<std::size_t>(x)] =
                kQuadrantColours[(y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1)];
    image.Unlock();
    return image;
}

} // namespace testsupport
