#pragma once
// The geometry of the print preview, apart from Qt: the sheet scaled into
// the control, the rectangles of the printable area, the image and its
// trimming in client pixels, the way back from client pixels to 0.1 mm and
// image pixels, and the parts of the image the preview lightens.
//
// Scale: the preview scale s is client pixels per 0.1 mm. A length L in
// 0.1 mm spans trunc(L x s) pixels for the page and trunc(L x s + 0.5) for
// the image (the page is cut down, the image rounded); a length back from
// pixels is trunc(P / s). Every division by s, by a rectangle's size or by
// an image's size is guarded: a degenerate divisor gives an empty or
// unchanged result, never a division by zero.

#include "core/Rect.h"
#include "print/PrintLayout.h"

#include <vector>

struct PreviewPaper
{
    CRect paper;
    double scale = 0.0; // client pixels per 0.1 mm; 0 when nothing fits
};

// The sheet centred in the client rectangle less a 5-pixel border, as large
// as fits. A sheet without a size gives a zero scale.
PreviewPaper PreviewPaperRect(const CRect& client, int physicalWidth, int physicalHeight);

// The printable area on the sheet: offsets and size scaled and truncated.
CRect PreviewPrintableRect(const CRect& paper, double scale, int offsetX, int offsetY,
                           int printableWidth, int printableHeight);

// The whole image at its origin and print size (0.1 mm from the printable
// area), rounded to pixels.
CRect PreviewImageRect(const CRect& printable, double scale, int originX, int originY,
                       int printWidth, int printHeight);

// The visible part of an image rectangle with pixel margins cut away (the
// image's pixels scaled to the rectangle's pixels).
CRect PreviewTrimRect(const CRect& image, int imageWidth, int imageHeight,
                      const PrintMargins& pixels);

// The whole image rectangle from its visible part and the pixel margins:
// the inverse of PreviewTrimRect. Margins that leave no pixel are taken as
// leaving one.
CRect PreviewImageFromTrim(const CRect& trim, int imageWidth, int imageHeight,
                           const PrintMargins& pixels);

// The pixel margins that cut the image rectangle down to the trimming
// rectangle; unchanged margins when the image rectangle has no size.
PrintMargins PreviewMarginsFromTrim(const CRect& image, const CRect& trim, int imageWidth,
                                    int imageHeight, const PrintMargins& current);

// A client rectangle relative to the printable rectangle in 0.1 mm
// (truncated); all zero without a scale.
PrintRectTenthMM PreviewRectToTenthMM(const CRect& rect, const CRect& printable, double scale);

// a less b where the rest is one rectangle (b covers a across its whole
// width or height); a itself otherwise; empty when b covers a.
CRect SubtractRect(const CRect& a, const CRect& b);
CRect IntersectRect(const CRect& a, const CRect& b);

// The parts of `shown` left of, above, right of and below `inner`, each
// clipped to `clip`, the left and right parts without what the top and
// bottom parts already hold; empty parts are left out. `gap` is added to
// the inner rectangle's right and bottom before cutting (1 for the
// printable area, whose right and bottom lines stay unmasked; 0 for the
// trimming rectangle).
std::vector<CRect> PreviewOutsideParts(const CRect& shown, const CRect& inner, const CRect& clip,
                                       int gap);

// Where drawing a w x h image stretched into `dest` is cut to `clip`: the
// destination and the source rectangle that still maps onto it (the source
// is cut by trunc(k x cut) per side, k = source size / destination size).
struct StretchPart
{
    CRect dest;
    CRect source;
};
StretchPart ClipStretch(const CRect& dest, const CRect& source, const CRect& clip);

// Which edges of the printable area the visible part of the image crosses
// by more than 0.1 mm (all in 0.1 mm from the printable area's corner).
struct PrintableEdgeWarnings
{
    bool left = false;
    bool top = false;
    bool right = false;
    bool bottom = false;
    bool operator==(const PrintableEdgeWarnings&) const = default;
};
PrintableEdgeWarnings PreviewEdgeWarnings(int originX, int originY, int printWidth, int printHeight,
                                          const PrintMargins& trimMM, int printableWidth,
                                          int printableHeight);
