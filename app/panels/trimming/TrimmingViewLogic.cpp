#include "app/panels/trimming/TrimmingViewLogic.h"

#include "core/Clamp.h"
#include "correction/TrimmingDoc.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace trimming {

namespace {

constexpr int kCustomSideMin = 1;
constexpr int kCustomSideMax = 1000;
constexpr int kCustomRatioMax = 10;

// a + 0.5 truncated, into int.
int RoundHalfUp(double a)
{
    return static_cast<int>(ClampToInteger(a + 0.5, INT_MIN, INT_MAX));
}

// Floor division by 2, so that a centred side moves the same way for
// either sign of the change.
int HalfFloor(long long a)
{
    return static_cast<int>(a >= 0 ? a / 2 : -((-a + 1) / 2));
}

bool WithinSquare(const CPoint& p, long long x, long long y, long long tolerance)
{
    return std::llabs(p.x - x) <= tolerance && std::llabs(p.y - y) <= tolerance;
}

} // namespace

std::optional<Ratio> RatioOfType(int type, int orgWidth, int orgHeight, const CustomRatios& custom)
{
    Ratio ratio;
    if (type >= 0 && type < kFreeType)
    {
        // The document's pairs read height part first: type 0 (AB landscape)
        // is 841 high for 1189 wide.
        if (!CTrimmingDoc::GetPaperSizeMM(ratio.height, ratio.width, type))
            return std::nullopt;
    }
    else if (type == kOriginalType)
    {
        ratio = {orgWidth, orgHeight};
    }
    else if (type >= kFirstCustomType && type < kFirstCustomType + kCustomRatioCount)
    {
        ratio = custom[static_cast<std::size_t>(type - kFirstCustomType)];
    }
    else
    {
        return std::nullopt;
    }
    if (ratio.width < 1 || ratio.height < 1)
        return std::nullopt;
    return ratio;
}

Ratio CustomRatioFromSettings(int width, int height)
{
    Ratio ratio;
    if (width >= kCustomSideMin && width <= kCustomSideMax)
        ratio.width = width;
    if (height >= kCustomSideMin && height <= kCustomSideMax)
        ratio.height = height;
    const int longer = std::max(ratio.width, ratio.height);
    const int shorter = std::min(ratio.width, ratio.height);
    if (longer > kCustomRatioMax * shorter)
        ratio = {};
    return ratio;
}

TrimPart HitTrimPart(const CRect& frame, int orgWidth, int orgHeight, int ratioType,
                     const CPoint& p, int scale)
{
    if (ratioType == kFreeType && frame.Width() == orgWidth && frame.Height() == orgHeight)
        return TrimPart::NewFrame;
    const long long t = static_cast<long long>(kHitTolerance) * std::max(scale, 1);
    const long long l = frame.left;
    const long long top = frame.top;
    const long long r = frame.right;
    const long long b = frame.bottom;
    const long long cx = l + frame.Width() / 2;
    const long long cy = top + frame.Height() / 2;
    struct Handle
    {
        TrimPart part;
        long long x;
        long long y;
    };
    const Handle handles[] = {
        {TrimPart::TopLeft, l, top},   {TrimPart::TopRight, r, top}, {TrimPart::BottomLeft, l, b},
        {TrimPart::BottomRight, r, b}, {TrimPart::Left, l, cy},      {TrimPart::Top, cx, top},
        {TrimPart::Right, r, cy},      {TrimPart::Bottom, cx, b},
    };
    for (const Handle& h : handles)
        if (WithinSquare(p, h.x, h.y, t))
            return h.part;
    if (p.x >= frame.left && p.x < frame.right && p.y >= frame.top && p.y < frame.bottom)
        return TrimPart::Move;
    return TrimPart::None;
}

int CursorOfPart(TrimPart part)
{
    switch (part)
    {
    case TrimPart::TopLeft:
    case TrimPart::BottomRight:
        return 200;
    case TrimPart::TopRight:
    case TrimPart::BottomLeft:
        return 201;
    case TrimPart::Top:
    case TrimPart::Bottom:
        return 202;
    case TrimPart::Left:
    case TrimPart::Right:
        return 203;
    case TrimPart::Move:
        return 204;
    case TrimPart::NewFrame:
        return 208;
    case TrimPart::None:
        break;
    }
    return 0;
}

// ---- FrameRules ----------------------------------------------------------------

int FrameRules::MinWidth() const
{
    return CTrimmingDoc::MinTrimSize(orgWidth);
}

int FrameRules::MinHeight() const
{
    return CTrimmingDoc::MinTrimSize(orgHeight);
}

int FrameRules::WidthForHeight(int h) const
{
    if (!ratio)
        return h;
    const double w = static_cast<double>(ratio->width) * h / ratio->height;
    return std::max(RoundHalfUp(w), MinWidth());
}

int FrameRules::HeightForWidth(int w) const
{
    if (!ratio)
        return w;
    const double h = static_cast<double>(ratio->height) * w / ratio->width;
    return std::max(RoundHalfUp(h), MinHeight());
}

bool FrameRules::IsValid(const CRect& frame) const
{
    int minWidth = MinWidth();
    int minHeight = MinHeight();
    if (IsFixed())
    {
        minWidth = std::max(minWidth, WidthForHeight(MinHeight()));
        minHeight = std::max(minHeight, HeightForWidth(MinWidth()));
    }
    return frame.left >= 0 && frame.top >= 0 && frame.right <= orgWidth &&
           frame.bottom <= orgHeight && frame.Width() >= minWidth && frame.Height() >= minHeight;
}

// ---- Dragging ------------------------------------------------------------------

CRect NewTrimFrame(const FrameRules& rules, TrimPart part, const CRect& start, const CPoint& anchor,
                   const CPoint& point)
{
    // Offsets of image points; the sums below stay far inside int for
    // any image the program holds.
    const int dx = point.x - anchor.x;
    const int dy = point.y - anchor.y;
    const bool fixed = rules.IsFixed();
    CRect f = start;
    switch (part)
    {
    case TrimPart::TopLeft:
        f.top += dy;
        if (fixed)
            f.left = f.right - rules.WidthForHeight(f.Height());
        else
            f.left += dx;
        break;
    case TrimPart::TopRight:
        f.top += dy;
        if (fixed)
            f.right = f.left + rules.WidthForHeight(f.Height());
        else
            f.right += dx;
        break;
    case TrimPart::BottomLeft:
        f.bottom += dy;
        if (fixed)
            f.left = f.right - rules.WidthForHeight(f.Height());
        else
            f.left += dx;
        break;
    case TrimPart::BottomRight:
        f.bottom += dy;
        if (fixed)
            f.right = f.left + rules.WidthForHeight(f.Height());
        else
            f.right += dx;
        break;
    case TrimPart::Left:
    case TrimPart::Right:
        if (part == TrimPart::Left)
            f.left += dx;
        else
            f.right += dx;
        if (fixed)
        {
            const int h = rules.HeightForWidth(f.Width());
            f.top = start.top + HalfFloor(static_cast<long long>(start.Height()) - h);
            f.bottom = f.top + h;
        }
        break;
    case TrimPart::Top:
    case TrimPart::Bottom:
        if (part == TrimPart::Top)
            f.top += dy;
        else
            f.bottom += dy;
        if (fixed)
        {
            const int w = rules.WidthForHeight(f.Height());
            f.left = start.left + HalfFloor(static_cast<long long>(start.Width()) - w);
            f.right = f.left + w;
        }
        break;
    case TrimPart::Move:
    {
        const int w = start.Width();
        const int h = start.Height();
        f.left = std::max(0, std::min(start.left + dx, rules.orgWidth - w));
        f.top = std::max(0, std::min(start.top + dy, rules.orgHeight - h));
        f.right = f.left + w;
        f.bottom = f.top + h;
        break;
    }
    case TrimPart::NewFrame:
        f = CRect(std::min(anchor.x, point.x), std::min(anchor.y, point.y),
                  std::max(anchor.x, point.x), std::max(anchor.y, point.y));
        break;
    case TrimPart::None:
        break;
    }
    return f;
}

// ---- Typed sizes ---------------------------------------------------------------

namespace {

// The mirror of a rule: the same rules with the axes swapped.
FrameRules Transposed(const FrameRules& rules)
{
    FrameRules t;
    t.orgWidth = rules.orgHeight;
    t.orgHeight = rules.orgWidth;
    if (rules.ratio)
        t.ratio = Ratio{rules.ratio->height, rules.ratio->width};
    return t;
}

} // namespace

FrameSize FitFrameWidth(const FrameRules& rules, int width, int x, int y, int height)
{
    const auto holdWidth = [&](int w) {
        w = std::min(w, rules.orgWidth - x);
        return std::max(w, rules.MinWidth());
    };
    int w = holdWidth(width);
    if (!rules.IsFixed())
        return {w, height};
    w = std::max(w, rules.WidthForHeight(rules.MinHeight()));
    const int h = rules.HeightForWidth(w);
    const int held = std::max(std::min(h, rules.orgHeight - y), rules.MinHeight());
    if (held != h)
        w = holdWidth(rules.WidthForHeight(held));
    return {w, held};
}

FrameSize FitFrameHeight(const FrameRules& rules, int height, int x, int y, int width)
{
    const FrameSize t = FitFrameWidth(Transposed(rules), height, y, x, width);
    return {t.height, t.width};
}

CRect FrameForRatioType(const FrameRules& rules, int type, const CRect& current)
{
    const int W = rules.orgWidth;
    const int H = rules.orgHeight;
    if (W <= 0 || H <= 0 || type == kFreeType || (type != kOriginalType && !rules.ratio))
        return current;
    int w = 0;
    int h = 0;
    if (type == kOriginalType)
    {
        // Nine tenths of the image; integer arithmetic keeps 0.9 x W exact.
        w = static_cast<int>(static_cast<long long>(W) * 9 / 10);
        h = static_cast<int>(static_cast<long long>(H) * 9 / 10);
        if (w < rules.MinWidth() || h < rules.MinHeight())
        {
            w = W;
            h = H;
        }
    }
    else
    {
        const Ratio r = *rules.ratio;
        const int heightForW = RoundHalfUp(static_cast<double>(W) * r.height / r.width);
        if (heightForW > H)
        {
            h = H;
            w = RoundHalfUp(static_cast<double>(H) * r.width / r.height);
        }
        else
        {
            w = W;
            h = heightForW;
        }
        w = std::max(w, rules.MinWidth());
        h = std::max(h, rules.MinHeight());
    }
    const int left = (W - w) / 2;
    const int top = (H - h) / 2;
    return CRect(left, top, left + w, top + h);
}

// ---- Output size ---------------------------------------------------------------

double MMFromPixels(int pixels, int dpi)
{
    return dpi > 0 ? pixels / static_cast<double>(dpi) * kMMPerInch : 0.0;
}

int MM100FromPixels(int pixels, int dpi)
{
    if (dpi <= 0)
        return 0;
    // 2540 x px is exact in a double and the quotient is correctly
    // rounded, so a whole number of hundredths never truncates below.
    return static_cast<int>(
        ClampToInteger(static_cast<double>(pixels) * (kMMPerInch * 100.0) / dpi, INT_MIN, INT_MAX));
}

int PixelsFromMM(double mm, int dpi)
{
    return dpi > 0 ? RoundHalfUp(mm / kMMPerInch * dpi) : 0;
}

int MM100FromMM(double mm)
{
    return RoundHalfUp(mm * 100.0);
}

OutputLimits OutputLimitsOf(int side)
{
    return {CTrimmingDoc::MinTrimSize(side), CTrimmingDoc::MaxTrimSize(side)};
}

OutputLimitsMM OutputLimitsMMOf(int side, int dpi)
{
    return {CTrimmingDoc::MinTrimSizeToMM(side, dpi), CTrimmingDoc::MaxTrimSizeToMM(side, dpi)};
}

FrameSize OutputForPixelWidth(int width, int height, int frameWidth, int frameHeight,
                              const OutputLimits& heightLimits)
{
    if (frameWidth <= 0 || frameHeight <= 0)
        return {width, height};
    int h = RoundHalfUp(static_cast<double>(width) * frameHeight / frameWidth);
    int limit = h;
    if (h < heightLimits.minimum)
        limit = heightLimits.minimum;
    else if (h > heightLimits.maximum)
        limit = heightLimits.maximum;
    if (limit == h)
        return {width, h};
    return {RoundHalfUp(static_cast<double>(frameWidth) * limit / frameHeight), limit};
}

FrameSize OutputForPixelHeight(int width, int height, int frameWidth, int frameHeight,
                               const OutputLimits& widthLimits)
{
    const FrameSize t = OutputForPixelWidth(height, width, frameHeight, frameWidth, widthLimits);
    return {t.height, t.width};
}

SizeMM OutputForMMWidth(double width, double height, int frameWidth, int frameHeight,
                        const OutputLimitsMM& heightLimits)
{
    if (frameWidth <= 0 || frameHeight <= 0)
        return {width, height};
    const double h = width * frameHeight / frameWidth;
    double limit = h;
    if (h < heightLimits.minimum)
        limit = heightLimits.minimum;
    else if (h > heightLimits.maximum)
        limit = heightLimits.maximum;
    if (limit == h)
        return {width, h};
    return {limit * frameWidth / frameHeight, limit};
}

SizeMM OutputForMMHeight(double width, double height, int frameWidth, int frameHeight,
                         const OutputLimitsMM& widthLimits)
{
    const SizeMM t = OutputForMMWidth(height, width, frameHeight, frameWidth, widthLimits);
    return {t.height, t.width};
}

OutputFields ReadOutputFields(int sizeMode, bool dpiChanged, int dpi, int pixelWidth,
                              int pixelHeight, double mmWidth, double mmHeight)
{
    OutputFields out;
    if (dpiChanged || sizeMode == 0)
    {
        out.pixelWidth = pixelWidth;
        out.pixelHeight = pixelHeight;
        out.mm100Width = MM100FromPixels(pixelWidth, dpi);
        out.mm100Height = MM100FromPixels(pixelHeight, dpi);
        return out;
    }
    out.mm100Width = MM100FromMM(mmWidth);
    out.mm100Height = MM100FromMM(mmHeight);
    out.pixelWidth = PixelsFromMM(out.mm100Width / 100.0, dpi);
    out.pixelHeight = PixelsFromMM(out.mm100Height / 100.0, dpi);
    return out;
}

} // namespace trimming
