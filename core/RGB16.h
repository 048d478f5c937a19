#pragma once
#include <cstdint>

// One pixel of the working image: three unsigned 16-bit channels, R, G, B
// in that order (6 bytes). 8-bit values widen as v * 257 and narrow by
// taking the high byte.
struct RGB16
{
    std::uint16_t r;
    std::uint16_t g;
    std::uint16_t b;
};
static_assert(sizeof(RGB16) == 6, "RGB16 is three packed 16-bit channels");
