#pragma once
// The arithmetic of the graph controls (gradation curve, histogram with a
// selectable range, RGB histogram), apart from Qt so that it can be checked
// with tables: scales and bar heights, mouse position to bin or level, the
// range a drag selects, and the gradation's hit test.
//
// Counts of a large image reach tens of millions, so every product of a
// count with a height is taken in 64 bits.

#include <cstdint>
#include <span>

namespace graphlogic {

// ---- bars -------------------------------------------------------------

// The height of a bar: span x count / scale, integer, in 64 bits (a
// 24-megapixel image of one value gives 2.4e7 in one bin, times a few
// hundred rows). scale below 1 counts as 1. The result may exceed span;
// the caller clips.
inline std::int64_t BarHeight(std::int64_t span, std::uint64_t count, std::int64_t scale)
{
    if (scale < 1)
        scale = 1;
    if (span <= 0)
        return 0;
    return span * static_cast<std::int64_t>(count) / scale;
}

// 4 x the mean count (integer), at least 1: the gradation background's
// scale, so that an ordinary histogram fills about a quarter of the height
// and peaks are clipped. An empty list gives 1.
std::int64_t FourTimesMeanScale(std::span<const std::uint32_t> counts);

// The histogram control's scale: the largest count among the bins other
// than the first and the last that is below the maximum of all bins, at
// least 1. One spike therefore does not flatten the rest: it is clipped,
// and the second-highest bar reaches the top.
std::int64_t SecondHighestScale(std::span<const std::uint32_t> counts);

// The RGB histogram's scale: the largest of the four lists' 4 x mean
// counts, at least 1.
std::int64_t RGBHistogramScale(std::span<const std::uint32_t> r, std::span<const std::uint32_t> g,
                               std::span<const std::uint32_t> b, std::span<const std::uint32_t> l);

// The RGB histogram's bar on its 100-row picture: min(count, scale) x 100
// / scale, truncated.
int RGBBarHeight(std::uint32_t count, std::int64_t scale);

// ---- histogram range ----------------------------------------------------

// The bin under client column x for n bins over a control width: x x n /
// (width - 2), truncated towards zero, not clamped (the drag needs to see
// a cursor beyond either end). A width of 2 or less gives 0.
int BinAt(int x, int n, int width);

inline int ClampBin(int bin, int n)
{
    if (n <= 0)
        return 0;
    return bin < 0 ? 0 : (bin >= n ? n - 1 : bin);
}

struct BinRange
{
    int start = 0;
    int end = 0;
    bool operator==(const BinRange&) const = default;
};

// The range selected by a drag from the anchor bin a to the (unclamped)
// bin c. Ordinarily the bins between the two. With hue (a circle), a
// cursor beyond the left end selects from the right end round to the
// anchor: end = a, start = c + n (but at least a + 1); beyond the right
// end it selects from the anchor round to the left: start = a, end = c - n
// (but at most a - 1). Both ends are then clamped to [0, n - 1].
BinRange DragRange(int anchor, int c, int n, bool hue);

// The client columns of a selected range as the control paints it, with
// W the client width and n the bins: xs = start x (W - 2) / n + 1, xe =
// end x (W - 2) / n. One block [first, last] (inclusive) when start <
// end, the whole width when start = end, and for a wrapped hue range
// (start > end) two blocks: [0, xe] and [xs, W - 1].
struct ColumnBlock
{
    int first = 0;
    int last = -1;
    bool operator==(const ColumnBlock&) const = default;
};
struct RangeColumns
{
    int count = 0;
    ColumnBlock blocks[2];
};
RangeColumns RangeToColumns(BinRange range, int n, int width);

// The column of a marker bin: bin x (W - 2) / n + 1 (n of 0 gives 1).
int MarkerColumn(int bin, int n, int width);

// ---- RGB histogram --------------------------------------------------------

// The level 0..255 under client column x: (int)(x / (width - 1) x 255),
// at most 255; -1 for x outside [0, width). A width of 1 gives 0.
int LevelAtColumn(int x, int width);

// ---- gradation --------------------------------------------------------------

// The gradation control draws the curve value v of column i at client
// pixel (i + 1, H - 2 - v) (inside a one-pixel frame; H the client height)
// and curve values run from 0 to h - 1, h the plotting height. Press,
// drag, timer and release all map a client row y back the same way:
//     Level = (H - 2 - y) / (h - 1), limited to [0, 1],
// so a point picked up is not moved by the press itself, and the level
// follows the cursor exactly over the drawn curve. An h of 1 or less
// gives 0.
double LevelAtRow(int y, int clientHeight, int plotHeight);

// The scale point under the mouse (mx, my) in client pixels: the point k
// drawn at (pointX[k] + 1, H - 2 - curve[pointX[k]]) with the smallest
// squared distance, when that is below 32767; the first on ties. -1 when
// none. Columns outside the curve are clamped to it.
int HitTestPoint(std::span<const std::int16_t> pointX, std::span<const std::int16_t> curve, int mx,
                 int my, int clientHeight);

} // namespace graphlogic
