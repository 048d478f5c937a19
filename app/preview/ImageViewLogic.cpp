#include "app/preview/ImageViewLogic.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace imageview {

namespace {

// Sides beyond this are not laid out (a zoom of 4 on a 60000-pixel image
// is 240000): far below the overflow of int scroll positions.
constexpr int kLargestInt = 1 << 28;
constexpr double kLargestSide = kLargestInt;

int TruncSide(double value)
{
    if (!(value > 0.0)) // also NaN
        return 0;
    return static_cast<int>(std::min(value, kLargestSide));
}

// floor(a * b / c) for c > 0, exact in 64 bits for the sides used here.
std::int64_t FloorMulDiv(std::int64_t a, std::int64_t b, std::int64_t c)
{
    const std::int64_t n = a * b;
    return n >= 0 ? n / c : -((-n + c - 1) / c);
}

std::int64_t CeilMulDiv(std::int64_t a, std::int64_t b, std::int64_t c)
{
    return -FloorMulDiv(-a, b, c);
}

int ClampToInt(std::int64_t v, int low, int high)
{
    return static_cast<int>(std::clamp<std::int64_t>(v, low, high));
}

} // namespace

ViewLayout ComputeLayout(int imageWidth, int imageHeight, int clientWidth, int clientHeight,
                         double zoom)
{
    ViewLayout layout;
    if (imageWidth <= 0 || imageHeight <= 0)
        return layout;
    const int w = std::max(clientWidth, 0);
    const int h = std::max(clientHeight, 0);
    int iw = 0;
    int ih = 0;
    if (zoom <= 0.0 || !std::isfinite(zoom))
    {
        const double aspect = static_cast<double>(imageWidth) / imageHeight;
        iw = TruncSide(aspect * h);
        ih = h;
        if (iw >= w)
        {
            iw = w;
            ih = TruncSide(w / aspect);
        }
    }
    else
    {
        iw = TruncSide(zoom * imageWidth);
        ih = TruncSide(zoom * imageHeight);
    }
    layout.scrollWidth = std::max(w, iw);
    layout.scrollHeight = std::max(h, ih);
    const int left = iw < layout.scrollWidth ? (layout.scrollWidth - iw) / 2 : 0;
    const int top = ih < layout.scrollHeight ? (layout.scrollHeight - ih) / 2 : 0;
    layout.imageRect = CRect(left, top, left + iw, top + ih);
    return layout;
}

bool ScrollToImagePixel(const CRect& imageRect, int imageWidth, int imageHeight, int x, int y,
                        CPoint& out)
{
    if (imageRect.IsRectEmpty() || imageWidth <= 0 || imageHeight <= 0)
        return false;
    // floor rather than truncation: a point just left of or above the image
    // is column or row -1, not 0.
    out.x = ClampToInt(
        FloorMulDiv(static_cast<std::int64_t>(x) - imageRect.left, imageWidth, imageRect.Width()),
        -kLargestInt, kLargestInt);
    out.y = ClampToInt(
        FloorMulDiv(static_cast<std::int64_t>(y) - imageRect.top, imageHeight, imageRect.Height()),
        -kLargestInt, kLargestInt);
    return true;
}

bool IsOnImage(const CPoint& pixel, int imageWidth, int imageHeight)
{
    return pixel.x >= 0 && pixel.x < imageWidth && pixel.y >= 0 && pixel.y < imageHeight;
}

bool ScrollToRelative(const CRect& imageRect, int imageWidth, int imageHeight, int x, int y,
                      CPointD& out)
{
    CPoint pixel;
    if (!ScrollToImagePixel(imageRect, imageWidth, imageHeight, x, y, pixel))
        return false;
    // (x - left) / iw in floating point can land an ulp below the pixel's
    // border when (x - left) x W / iw is a whole number; trunc(W x r) then
    // names the pixel before. Moving up by ulps restores it.
    const auto along = [](int offset, int shown, int size, int expected) {
        double r = static_cast<double>(offset) / shown;
        for (int i = 0; i < 4 && expected >= 0 && std::trunc(r * size) < expected; ++i)
            r = std::nextafter(r, 1.0);
        return r;
    };
    out = CPointD(along(x - imageRect.left, imageRect.Width(), imageWidth, pixel.x),
                  along(y - imageRect.top, imageRect.Height(), imageHeight, pixel.y));
    return true;
}

CPoint ImagePixelToScroll(const CRect& imageRect, int imageWidth, int imageHeight,
                          const CPoint& pixel)
{
    if (imageWidth <= 0 || imageHeight <= 0)
        return CPoint{imageRect.left, imageRect.top};
    return CPoint{imageRect.left + ClampToInt(FloorMulDiv(imageRect.Width(), pixel.x, imageWidth),
                                              -kLargestInt, kLargestInt),
                  imageRect.top + ClampToInt(FloorMulDiv(imageRect.Height(), pixel.y, imageHeight),
                                             -kLargestInt, kLargestInt)};
}

CRect ImageRectToScroll(const CRect& imageRect, int imageWidth, int imageHeight,
                        const CRect& pixels)
{
    const CPoint topLeft =
        ImagePixelToScroll(imageRect, imageWidth, imageHeight, CPoint{pixels.left, pixels.top});
    const CPoint bottomRight =
        ImagePixelToScroll(imageRect, imageWidth, imageHeight, CPoint{pixels.right, pixels.bottom});
    return CRect(topLeft.x, topLeft.y, bottomRight.x, bottomRight.y);
}

CRect VisibleImageRect(const CRect& imageRect, int imageWidth, int imageHeight, int scrollX,
                       int scrollY, int clientWidth, int clientHeight)
{
    if (imageRect.IsRectEmpty() || imageWidth <= 0 || imageHeight <= 0 || clientWidth <= 0 ||
        clientHeight <= 0)
        return CRect();
    const std::int64_t a = std::max<std::int64_t>(imageRect.left, scrollX);
    const std::int64_t b =
        std::min<std::int64_t>(imageRect.right, static_cast<std::int64_t>(scrollX) + clientWidth);
    const std::int64_t c = std::max<std::int64_t>(imageRect.top, scrollY);
    const std::int64_t d =
        std::min<std::int64_t>(imageRect.bottom, static_cast<std::int64_t>(scrollY) + clientHeight);
    if (b <= a || d <= c)
        return CRect();
    const CRect shown(
        ClampToInt(FloorMulDiv(a - imageRect.left, imageWidth, imageRect.Width()), 0, imageWidth),
        ClampToInt(FloorMulDiv(c - imageRect.top, imageHeight, imageRect.Height()), 0, imageHeight),
        ClampToInt(CeilMulDiv(b - imageRect.left, imageWidth, imageRect.Width()), 0, imageWidth),
        ClampToInt(CeilMulDiv(d - imageRect.top, imageHeight, imageRect.Height()), 0, imageHeight));
    return shown.IsRectEmpty() ? CRect() : shown;
}

CRect PreviewRect(const CRect& imageRect, int imageWidth, int imageHeight)
{
    if (imageRect.IsRectEmpty() || imageWidth <= 0 || imageHeight <= 0)
        return CRect();
    return CRect(0, 0, std::min(imageRect.Width(), imageWidth),
                 std::min(imageRect.Height(), imageHeight));
}

int HitScale(const CRect& imageRect, int imageWidth, int x)
{
    if (imageRect.IsRectEmpty() || imageWidth <= 0)
        return 1;
    const std::int64_t here =
        FloorMulDiv(static_cast<std::int64_t>(x) - imageRect.left, imageWidth, imageRect.Width());
    const std::int64_t next = FloorMulDiv(static_cast<std::int64_t>(x) + 1 - imageRect.left,
                                          imageWidth, imageRect.Width());
    return ClampToInt(next - here, 1, imageWidth);
}

int CoarseFactor(int imageWidth, int previewWidth)
{
    constexpr int kCoarse = 4;
    if (imageWidth <= 0 || previewWidth <= 0)
        return kCoarse;
    return ClampToInt(static_cast<std::int64_t>(kCoarse) * imageWidth / previewWidth, kCoarse,
                      std::max(kCoarse, imageWidth));
}

bool TickHasRoom(std::int64_t elapsedMs, int rendered, int budgetMs)
{
    if (rendered <= 0)
        return true;
    // A clock that went back counts as no time spent.
    const std::int64_t elapsed = std::max<std::int64_t>(elapsedMs, 0);
    return elapsed + elapsed / rendered <= budgetMs;
}

int PanPosition(int start, int point, int maximum)
{
    return ClampToInt(static_cast<std::int64_t>(start) - point, 0, std::max(maximum, 0));
}

int WheelAccumulator::Add(int delta)
{
    constexpr int kNotch = 120;
    // A turn back the other way starts afresh, so that what was left of
    // the last direction does not swallow it.
    if ((delta > 0 && m_rest < 0) || (delta < 0 && m_rest > 0))
        m_rest = 0;
    const std::int64_t sum = static_cast<std::int64_t>(m_rest) + delta;
    const std::int64_t lines = sum / kNotch; // towards zero: a part notch waits
    m_rest = static_cast<int>(sum - lines * kNotch);
    return static_cast<int>(std::clamp<std::int64_t>(lines, -(1 << 20), 1 << 20));
}

} // namespace imageview
