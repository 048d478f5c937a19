#pragma once
// The geometry of the image view, apart from Qt.
//
// Three coordinate systems meet here:
// - scroll points: the whole scrollable area, (0, 0) at its top-left; a
//   client (viewport) point plus the scroll position is a scroll point;
// - image pixels: the working image, W x H;
// - preview pixels: the project's preview image, which stands for the
//   whole image at the size it is shown (never more pixels than the image
//   has), so that converting it costs what the screen shows and no more.
//
// The image rectangle (where the image lies in scroll points) is iw x ih:
// fitted, the largest rectangle of the image's aspect ratio inside the
// client area; zoomed, zoom x W by zoom x H. It is centred in the scroll
// area, which is at least the client area. A scroll point x maps to the
// image column floor((x - left) / iw x W) and an image column px back to
// left + floor(iw x px / W); rows likewise. Every function here answers
// sensibly for an empty image rectangle (a client area of width or height
// 0) and for an empty image: nothing is divided by zero.

#include "core/Interpolation.h"
#include "core/Rect.h"

#include <cstdint>

namespace imageview {

// The scroll area without an image.
inline constexpr int kEmptyScrollSize = 100;

struct ViewLayout
{
    int scrollWidth = kEmptyScrollSize;
    int scrollHeight = kEmptyScrollSize;
    CRect imageRect; // in scroll points; empty without an image
};

// The layout for an image of imageWidth x imageHeight in a client area of
// clientWidth x clientHeight. zoom <= 0 fits the image:
//   iw = trunc(W / H x h), ih = h; when iw >= w: iw = w, ih = trunc(w / (W / H));
// otherwise iw = trunc(zoom x W), ih = trunc(zoom x H). The scroll size is
// (max(w, iw), max(h, ih)) and the image is centred in it. Without an image
// (a side not positive) the scroll size is 100 x 100 and the rectangle empty.
ViewLayout ComputeLayout(int imageWidth, int imageHeight, int clientWidth, int clientHeight,
                         double zoom);

// The image pixel under the scroll point. False (out untouched) for an
// empty image rectangle or image; the pixel may lie off the image.
bool ScrollToImagePixel(const CRect& imageRect, int imageWidth, int imageHeight, int x, int y,
                        CPoint& out);
// 0 <= x < W and 0 <= y < H.
bool IsOnImage(const CPoint& pixel, int imageWidth, int imageHeight);
// The scroll point relative to the image rectangle: (x - left) / iw,
// (y - top) / ih; in [0, 1) on the image, and trunc(W x rx) is the column
// of ScrollToImagePixel (likewise rows), as the frame computes the pixel
// from it. False for an empty image rectangle or image.
bool ScrollToRelative(const CRect& imageRect, int imageWidth, int imageHeight, int x, int y,
                      CPointD& out);
// The scroll point where the image pixel begins.
CPoint ImagePixelToScroll(const CRect& imageRect, int imageWidth, int imageHeight,
                          const CPoint& pixel);
// A rectangle of image pixels in scroll points (each corner mapped).
CRect ImageRectToScroll(const CRect& imageRect, int imageWidth, int imageHeight,
                        const CRect& pixels);

// The image pixels that the client area shows at the scroll position: the
// image rectangle cut to the client area, widened to whole pixels (a pixel
// partly shown counts) and clipped to W x H. Empty when nothing is shown.
CRect VisibleImageRect(const CRect& imageRect, int imageWidth, int imageHeight, int scrollX,
                       int scrollY, int clientWidth, int clientHeight);

// The preview that stands for the whole image: (0, 0, min(iw, W), min(ih, H)).
CRect PreviewRect(const CRect& imageRect, int imageWidth, int imageHeight);

// The number of image pixels one client pixel covers to the right of the
// scroll point x: the column under x + 1 minus the column under x, at
// least 1 (the scale of a drag item's hit test).
int HitScale(const CRect& imageRect, int imageWidth, int x);

// The reduction of the coarse pass: one sample per 4 x 4 preview pixels,
// in image pixels (4 x W / preview width, at least 4).
int CoarseFactor(int imageWidth, int previewWidth);

// Whether a tick of the refinement, elapsedMs into it with `rendered`
// tiles done, renders one more: always the first; after that only while
// the elapsed time plus the mean time of its tiles so far stays within the
// budget, so that a tick ends before its budget rather than a tile beyond
// it (the window's events wait for the tick).
bool TickHasRoom(std::int64_t elapsedMs, int rendered, int budgetMs);

// The scroll position a pan asks for: the pan's start (scroll position plus
// point at the press) minus the point, within 0 .. maximum.
int PanPosition(int start, int point, int maximum);

// A wheel turns by angle deltas of 120 per notch, touchpads by smaller
// ones: they add up, and each full 120 is one line.
class WheelAccumulator
{
public:
    // The whole lines the delta completes: positive up (away from the
    // user), negative down.
    int Add(int delta);
    void Reset() { m_rest = 0; }

private:
    int m_rest = 0;
};

} // namespace imageview
