#pragma once
// The trimming panel's rules apart from Qt: the aspect ratio of each ratio
// type, the trim frame's hit parts and how a drag of each part reshapes the
// frame, the fitting of typed frame sizes, the frame a ratio type starts
// with, and the output size in pixels and in millimetres.
//
// The frame is a rectangle of image pixels (left and top inside, right and
// bottom one past). Every rounding adds 0.5 and truncates. A ratio that
// does not exist (the free type 9, or the original image's ratio while no
// image is known) leaves the frame free, so no rule ever divides by a side
// of 0; likewise a resolution of 0 dpi gives sizes of 0, never a division
// by zero.

#include "core/Rect.h"

#include <array>
#include <optional>

namespace trimming {

// The ratio types of the panel's list: 0..8 paper and fixed shapes, 9 free,
// 10 the original image's, 11..13 the three custom ratios.
inline constexpr int kRatioTypeCount = 14;
inline constexpr int kFreeType = 9;
inline constexpr int kOriginalType = 10;
inline constexpr int kFirstCustomType = 11;
inline constexpr int kCustomRatioCount = 3;

// width : height.
struct Ratio
{
    int width = 1;
    int height = 1;

    bool operator==(const Ratio&) const = default;
};
using CustomRatios = std::array<Ratio, kCustomRatioCount>;

// The ratio of a type: the paper pairs of 0..8 (CTrimmingDoc::GetPaperSizeMM
// gives them height part first), the image's width : height for 10, the
// custom pair for 11..13; nothing for the free type, for an unknown type and
// for a pair with a side below 1.
std::optional<Ratio> RatioOfType(int type, int orgWidth, int orgHeight, const CustomRatios& custom);

// A custom ratio as the settings give it: a side is taken only when it is
// 1..1000 (else it stays 1), and a pair whose longer side is more than ten
// times its shorter becomes 1 : 1.
Ratio CustomRatioFromSettings(int width, int height);

// The parts of the frame a press can take.
enum class TrimPart : int
{
    TopLeft = 0,
    TopRight = 1,
    BottomLeft = 2,
    BottomRight = 3,
    Left = 4,
    Top = 5,
    Right = 6,
    Bottom = 7,
    Move = 8,
    NewFrame = 9, // the frame is free and covers the image: a new one is drawn
    None = 10,
};

inline constexpr int kHitTolerance = 4; // screen pixels, times the hit scale

// The part under p: with the free type and the frame on the whole image,
// NewFrame; else the first of the corners (top-left, top-right,
// bottom-left, bottom-right) and edge centres (left, top, right, bottom)
// whose square of +-4 x scale around it holds p; else Move inside the
// frame; else None.
TrimPart HitTrimPart(const CRect& frame, int orgWidth, int orgHeight, int ratioType,
                     const CPoint& p, int scale);

// The cursor shown over a part: 200 the top-left and bottom-right corners,
// 201 the other two, 202 the top and bottom edges, 203 the left and right
// edges, 204 moving, 208 a new frame, 0 none.
int CursorOfPart(TrimPart part);

// The size rules of one image and one ratio.
struct FrameRules
{
    int orgWidth = 0;
    int orgHeight = 0;
    std::optional<Ratio> ratio; // none: a free frame

    bool IsFixed() const { return ratio.has_value(); }
    // The smallest frame side: the image side when it is 1..49, else 50.
    int MinWidth() const;
    int MinHeight() const;
    // The width that goes with height h under the ratio,
    // rw x h / rh + 0.5 truncated and at least the minimum width; h itself
    // for a free frame. HeightForWidth mirrors it.
    int WidthForHeight(int h) const;
    int HeightForWidth(int w) const;
    // A frame is valid inside the image and not below the smallest size;
    // with a ratio the smallest width is at least the width for the
    // smallest height and the smallest height the height for the smallest
    // width.
    bool IsValid(const CRect& frame) const;
};

// The frame after dragging part by the offset point - anchor from the
// start frame.
//   Corners: free, both edges at the corner follow the offset; with a
//     ratio the horizontal edge follows dy and the corner's vertical edge
//     is placed for the width of the new height.
//   Left and right edges: the edge follows dx; with a ratio the height is
//     the height for the new width, centred on the old vertical centre.
//   Top and bottom edges mirror them.
//   Move: the frame moves by the offset, pushed back inside the image
//     with its size kept.
//   NewFrame: the rectangle from the anchor to the point, normalised.
// The result may be invalid (FrameRules::IsValid decides whether it is
// taken).
CRect NewTrimFrame(const FrameRules& rules, TrimPart part, const CRect& start, const CPoint& anchor,
                   const CPoint& point);

struct FrameSize
{
    int width = 0;
    int height = 0;

    bool operator==(const FrameSize&) const = default;
};

// A width typed or stepped for the frame at (x, y) of the given height:
// at most what is left of the image right of x, at least the minimum
// width. With a ratio it is raised to the width for the minimum height and
// the height follows it; when that height has to be held to what is left
// below y (or raised to the minimum height), the width is derived from the
// held height again and held as before. FitFrameHeight mirrors it.
FrameSize FitFrameWidth(const FrameRules& rules, int width, int x, int y, int height);
FrameSize FitFrameHeight(const FrameRules& rules, int height, int x, int y, int width);

// The frame a ratio type starts with on the image (rules of that type):
//   free: the current frame;
//   the original ratio: nine tenths of the image each way (truncated),
//     the whole image when that is below the smallest size, centred;
//   the others: the largest frame of the ratio, each side at least the
//     smallest, centred.
// The current frame when the image has no positive size.
CRect FrameForRatioType(const FrameRules& rules, int type, const CRect& current);

// ---- Output size -----------------------------------------------------------

inline constexpr double kMMPerInch = 25.4;

// px / dpi x 25.4; 0 when dpi is not positive.
double MMFromPixels(int pixels, int dpi);
// The same in hundredths of a millimetre, truncated: px x 2540 / dpi in
// one division, so that a whole number of hundredths stays whole.
int MM100FromPixels(int pixels, int dpi);
// mm / 25.4 x dpi + 0.5, truncated; 0 when dpi is not positive.
int PixelsFromMM(double mm, int dpi);
// A millimetre value shown with two decimals as hundredths: x 100 + 0.5,
// truncated, so that 2.30 (229.999... x 100 in binary) stays 230.
int MM100FromMM(double mm);

// The output limits of an image side: the smallest frame side and at most
// the side itself when above 4000, else 4000. In millimetres at dpi.
struct OutputLimits
{
    int minimum = 0;
    int maximum = 0;
};
OutputLimits OutputLimitsOf(int side);
struct OutputLimitsMM
{
    double minimum = 0.0;
    double maximum = 0.0;
};
OutputLimitsMM OutputLimitsMMOf(int side, int dpi);

// The output height that keeps the frame's shape for a pixel width:
// width x frameHeight / frameWidth + 0.5 truncated; a height beyond the
// height limits becomes the limit and the width is derived from it
// (frameWidth x limit / frameHeight + 0.5). Without a frame of positive
// size the width is taken and the height stays. ForPixelHeight mirrors it.
FrameSize OutputForPixelWidth(int width, int height, int frameWidth, int frameHeight,
                              const OutputLimits& heightLimits);
FrameSize OutputForPixelHeight(int width, int height, int frameWidth, int frameHeight,
                               const OutputLimits& widthLimits);

// The same in millimetres, in reals without rounding.
struct SizeMM
{
    double width = 0.0;
    double height = 0.0;
};
SizeMM OutputForMMWidth(double width, double height, int frameWidth, int frameHeight,
                        const OutputLimitsMM& heightLimits);
SizeMM OutputForMMHeight(double width, double height, int frameWidth, int frameHeight,
                         const OutputLimitsMM& widthLimits);

// The output fields as the panel reads them from its controls. With the
// size in pixels, or when the resolution has just changed, the pixels are
// taken and the millimetres follow them; with the size in millimetres at
// an unchanged resolution the millimetres are taken and the pixels follow
// (mm100 / 100 / 25.4 x dpi + 0.5).
struct OutputFields
{
    int pixelWidth = 0;
    int pixelHeight = 0;
    int mm100Width = 0;
    int mm100Height = 0;

    bool operator==(const OutputFields&) const = default;
};
OutputFields ReadOutputFields(int sizeMode, bool dpiChanged, int dpi, int pixelWidth,
                              int pixelHeight, double mmWidth, double mmHeight);

} // namespace trimming
