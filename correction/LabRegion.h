#pragma once
// Per-pixel L*a*b* work on a region of an image, spread over the step
// threads: the loop of the steps that change each pixel on its own
// (colour calibration, colour change).

#include "core/ImageAccess.h"
#include "core/LabRowKernel.h"
#include "core/RGB16.h"
#include "core/Rect.h"
#include "correction/BaseDoc.h"

#include <algorithm>
#include <cstddef>
#include <type_traits>

// Converts each pixel of rect (the whole image when rect is null) to
// L*a*b* with the kernel and calls work(L, a, b) on it. A work that returns
// bool writes the pixel back only when it answers true, so that a pixel it
// leaves alone keeps its exact value rather than the round trip's; a work
// that returns nothing writes every pixel back. The rows run as RunRowBands
// runs them (threads, progress, cancel); work is called from several
// threads at once. False when rect does not lie inside the image or
// progress asked to stop.
template <class Work>
bool RunLabRegion(CAccessRGBImageByLab& image, const CRect* rect, const CLabRowKernel& kernel,
                  Progress progress, Work&& work)
{
    const CRect region = rect ? *rect : CRect(0, 0, image.GetWidth(), image.GetHeight());
    if (region.left < 0 || region.top < 0 || region.right > image.GetWidth() ||
        region.bottom > image.GetHeight())
        return false;
    const std::size_t width = static_cast<std::size_t>(std::max(region.Width(), 0));
    const int rows = std::max(region.Height(), 0);
    RGB16* const origin =
        width > 0 && rows > 0 ? CBaseDoc::PixelRow(image, region.left, region.top) : nullptr;
    const std::size_t stride = static_cast<std::size_t>(image.GetWidth());
    constexpr bool kAlwaysWrite =
        std::is_void_v<std::invoke_result_t<Work&, double&, double&, double&>>;

    return RunRowBands(rows, progress, [&](int first, int end) {
        for (int y = first; y < end; ++y)
        {
            RGB16* pixels = origin + static_cast<std::size_t>(y) * stride;
            for (std::size_t x = 0; x < width; ++x)
            {
                double L;
                double a;
                double b;
                kernel.ToLab(pixels[x], L, a, b);
                if constexpr (kAlwaysWrite)
                {
                    work(L, a, b);
                    pixels[x] = kernel.FromLab(L, a, b);
                }
                else if (work(L, a, b))
                    pixels[x] = kernel.FromLab(L, a, b);
            }
        }
    });
}
