#include "print/PrintPreviewLogic.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

int Trunc(double v)
{
    return static_cast<int>(std::trunc(v));
}

int Round(double v)
{
    return static_cast<int>(std::trunc(v + 0.5));
}

} // namespace

PreviewPaper PreviewPaperRect(const CRect& client, int physicalWidth, int physicalHeight)
{
    PreviewPaper result;
    CRect r(client.left + 5, client.top + 5, client.right - 5, client.bottom - 5);
    if (physicalWidth <= 0 || physicalHeight <= 0 || r.IsRectEmpty())
        return result;
    // The sheet's longer side (relative to the client's shape) fills the
    // client; the other is centred.
    const double f = static_cast<double>(r.Height()) / physicalHeight;
    const double g = static_cast<double>(r.Width()) / physicalWidth;
    if (f > g)
    {
        result.scale = g;
        const int shrink = (r.Height() - Trunc(g * physicalHeight)) / 2;
        r.top += shrink;
        r.bottom -= shrink;
    }
    else
    {
        result.scale = f;
        const int shrink = (r.Width() - Trunc(f * physicalWidth)) / 2;
        r.left += shrink;
        r.right -= shrink;
    }
    result.paper = r;
    return result;
}

CRect PreviewPrintableRect(const CRect& paper, double scale, int offsetX, int offsetY,
                           int printableWidth, int printableHeight)
{
    const int left = paper.left + Trunc(offsetX * scale);
    const int top = paper.top + Trunc(offsetY * scale);
    return {left, top, left + Trunc(printableWidth * scale), top + Trunc(printableHeight * scale)};
}

CRect PreviewImageRect(const CRect& printable, double scale, int originX, int originY,
                       int printWidth, int printHeight)
{
    const int left = printable.left + Round(originX * scale);
    const int top = printable.top + Round(originY * scale);
    return {left, top, left + Round(printWidth * scale), top + Round(printHeight * scale)};
}

CRect PreviewTrimRect(const CRect& image, int imageWidth, int imageHeight,
                      const PrintMargins& pixels)
{
    if (imageWidth <= 0 || imageHeight <= 0)
        return image;
    const double kx = static_cast<double>(image.Width()) / imageWidth;
    const double ky = static_cast<double>(image.Height()) / imageHeight;
    return {image.left + Round(kx * pixels.left), image.top + Round(ky * pixels.top),
            image.right - Round(kx * pixels.right), image.bottom - Round(ky * pixels.bottom)};
}

CRect PreviewImageFromTrim(const CRect& trim, int imageWidth, int imageHeight,
                           const PrintMargins& pixels)
{
    const PrintMargins m = KeepOnePixel(pixels, imageWidth, imageHeight);
    const int visibleWidth = imageWidth - m.left - m.right;
    const int visibleHeight = imageHeight - m.top - m.bottom;
    if (visibleWidth <= 0 || visibleHeight <= 0)
        return trim;
    const double kx = static_cast<double>(trim.Width()) / visibleWidth;
    const double ky = static_cast<double>(trim.Height()) / visibleHeight;
    return {trim.left - Round(kx * m.left), trim.top - Round(ky * m.top),
            trim.right + Round(kx * m.right), trim.bottom + Round(ky * m.bottom)};
}

PrintMargins PreviewMarginsFromTrim(const CRect& image, const CRect& trim, int imageWidth,
                                    int imageHeight, const PrintMargins& current)
{
    if (imageWidth <= 0 || imageHeight <= 0 || image.Width() <= 0 || image.Height() <= 0)
        return current;
    const double kx = static_cast<double>(image.Width()) / imageWidth;
    const double ky = static_cast<double>(image.Height()) / imageHeight;
    const PrintMargins m{Round((trim.left - image.left) / kx), Round((trim.top - image.top) / ky),
                         Round((image.right - trim.right) / kx),
                         Round((image.bottom - trim.bottom) / ky)};
    return KeepOnePixel(m, imageWidth, imageHeight);
}

PrintRectTenthMM PreviewRectToTenthMM(const CRect& rect, const CRect& printable, double scale)
{
    if (!(scale > 0.0))
        return {};
    return {Trunc((rect.left - printable.left) / scale), Trunc((rect.top - printable.top) / scale),
            Trunc((rect.right - printable.left) / scale),
            Trunc((rect.bottom - printable.top) / scale)};
}

CRect IntersectRect(const CRect& a, const CRect& b)
{
    const CRect r(std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                  std::min(a.bottom, b.bottom));
    return r.IsRectEmpty() ? CRect() : r;
}

CRect SubtractRect(const CRect& a, const CRect& b)
{
    if (a.IsRectEmpty() || IntersectRect(a, b).IsRectEmpty())
        return a;
    CRect r = a;
    const bool spansWidth = b.left <= a.left && b.right >= a.right;
    const bool spansHeight = b.top <= a.top && b.bottom >= a.bottom;
    if (spansWidth && spansHeight)
        return {};
    if (spansWidth)
    {
        if (b.top <= a.top)
            r.top = b.bottom;
        else if (b.bottom >= a.bottom)
            r.bottom = b.top;
    }
    else if (spansHeight)
    {
        if (b.left <= a.left)
            r.left = b.right;
        else if (b.right >= a.right)
            r.right = b.left;
    }
    return r;
}

std::vector<CRect> PreviewOutsideParts(const CRect& shown, const CRect& inner, const CRect& clip,
                                       int gap)
{
    std::vector<CRect> parts;
    if (shown.IsRectEmpty())
        return parts;
    const int innerRight = inner.right + gap;
    const int innerBottom = inner.bottom + gap;
    auto part = [&](int l, int t, int r, int b) {
        const CRect p(l, t, r, b);
        return p.IsRectEmpty() ? CRect() : IntersectRect(p, clip);
    };
    CRect left = part(shown.left, shown.top, std::min(shown.right, inner.left), shown.bottom);
    const CRect top = part(shown.left, shown.top, shown.right, std::min(shown.bottom, inner.top));
    CRect right = part(std::max(shown.left, innerRight), shown.top, shown.right, shown.bottom);
    const CRect bottom =
        part(shown.left, std::max(shown.top, innerBottom), shown.right, shown.bottom);
    left = SubtractRect(SubtractRect(left, top), bottom);
    right = SubtractRect(SubtractRect(right, top), bottom);
    for (const CRect& p : {left, top, right, bottom})
        if (!p.IsRectEmpty())
            parts.push_back(p);
    return parts;
}

StretchPart ClipStretch(const CRect& dest, const CRect& source, const CRect& clip)
{
    StretchPart result{dest, source};
    if (dest.IsRectEmpty() || source.IsRectEmpty())
        return {};
    const CRect clipped = IntersectRect(dest, clip);
    if (clipped.IsRectEmpty())
        return {};
    const double kx = static_cast<double>(source.Width()) / dest.Width();
    const double ky = static_cast<double>(source.Height()) / dest.Height();
    result.dest = clipped;
    result.source.left += Trunc(kx * (clipped.left - dest.left));
    result.source.top += Trunc(ky * (clipped.top - dest.top));
    result.source.right -= Trunc(kx * (dest.right - clipped.right));
    result.source.bottom -= Trunc(ky * (dest.bottom - clipped.bottom));
    if (result.source.IsRectEmpty())
        return {};
    return result;
}

PrintableEdgeWarnings PreviewEdgeWarnings(int originX, int originY, int printWidth, int printHeight,
                                          const PrintMargins& trimMM, int printableWidth,
                                          int printableHeight)
{
    // In 64 bits: the sizes and margins of an extreme scale lie at the ends
    // of int's range.
    const std::int64_t left = std::int64_t{originX} + trimMM.left;
    const std::int64_t top = std::int64_t{originY} + trimMM.top;
    const std::int64_t width = std::int64_t{printWidth} - trimMM.left - trimMM.right;
    const std::int64_t height = std::int64_t{printHeight} - trimMM.top - trimMM.bottom;
    return {left < -1, top < -1, std::int64_t{printableWidth} + 1 < left + width,
            std::int64_t{printableHeight} + 1 < top + height};
}
