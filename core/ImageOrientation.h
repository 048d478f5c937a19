#pragma once
// The TIFF / EXIF orientation (tag 274) as a placement of stored pixels in
// the upright image.
//
// A stored image of W x H pixels, pixel i of row n, lands in the upright
// image at
//   1: (i, n)                 2: (W-1-i, n)        mirrored left to right
//   3: (W-1-i, H-1-n)  turned half a turn   4: (i, H-1-n)  mirrored top to bottom
//   5: (n, i)          transposed           6: (H-1-n, i)  turned a quarter clockwise
//   7: (H-1-n, W-1-i)  transverse           8: (n, W-1-i)  turned a quarter anticlockwise
// Orientations 5 to 8 swap width and height; any value outside 1..8 is
// taken as 1. Each is affine in (i, n), so the whole placement is a start
// and two steps: one per stored column, one per stored row. They are
// worked out once per image, and the copy loop only adds.

#include <algorithm>
#include <cstddef>

struct OrientationMap
{
    int uprightWidth = 0;
    int uprightHeight = 0;
    // The upright position of stored pixel (0, 0), and how it moves per
    // stored column (i + 1) and per stored row (n + 1).
    int x0 = 0;
    int y0 = 0;
    int xPerColumn = 1;
    int yPerColumn = 0;
    int xPerRow = 0;
    int yPerRow = 1;

    // The same placement in elements of a buffer whose pixels are
    // pixelStride elements apart and whose rows rowStride elements apart.
    std::ptrdiff_t Start(std::ptrdiff_t pixelStride, std::ptrdiff_t rowStride) const
    {
        return x0 * pixelStride + y0 * rowStride;
    }
    std::ptrdiff_t ColumnStep(std::ptrdiff_t pixelStride, std::ptrdiff_t rowStride) const
    {
        return xPerColumn * pixelStride + yPerColumn * rowStride;
    }
    std::ptrdiff_t RowStep(std::ptrdiff_t pixelStride, std::ptrdiff_t rowStride) const
    {
        return xPerRow * pixelStride + yPerRow * rowStride;
    }
};

// The placement of a width x height stored image with this orientation.
OrientationMap MapOrientation(int orientation, int width, int height);

// Copies count pixels of one stored row, each of N elements, into out:
// the first to out[first], each next one step elements (a ColumnStep) on.
template <std::size_t N, class T>
void PlaceRow(const T* in, std::size_t count, T* out, std::ptrdiff_t first, std::ptrdiff_t step)
{
    if (step == static_cast<std::ptrdiff_t>(N))
    {
        std::copy(in, in + count * N, out + first); // upright rows copy whole
        return;
    }
    std::ptrdiff_t at = first;
    for (std::size_t i = 0; i < count; ++i, in += N, at += step)
    {
        for (std::size_t c = 0; c < N; ++c)
            out[at + static_cast<std::ptrdiff_t>(c)] = in[c];
    }
}
