#include "controls/widgets/GraphLogic.h"

#include <algorithm>

namespace graphlogic {

std::int64_t FourTimesMeanScale(std::span<const std::uint32_t> counts)
{
    if (counts.empty())
        return 1;
    std::uint64_t sum = 0;
    for (std::uint32_t c : counts)
        sum += c;
    const auto scale = static_cast<std::int64_t>(4 * sum / counts.size());
    return std::max<std::int64_t>(scale, 1);
}

std::int64_t SecondHighestScale(std::span<const std::uint32_t> counts)
{
    std::uint32_t highest = 0;
    for (std::uint32_t c : counts)
        highest = std::max(highest, c);
    std::int64_t scale = 0;
    for (std::size_t i = 1; i + 1 < counts.size(); ++i)
        if (counts[i] < highest)
            scale = std::max<std::int64_t>(scale, counts[i]);
    return std::max<std::int64_t>(scale, 1);
}

std::int64_t RGBHistogramScale(std::span<const std::uint32_t> r, std::span<const std::uint32_t> g,
                               std::span<const std::uint32_t> b, std::span<const std::uint32_t> l)
{
    return std::max({FourTimesMeanScale(r), FourTimesMeanScale(g), FourTimesMeanScale(b),
                     FourTimesMeanScale(l)});
}

int RGBBarHeight(std::uint32_t count, std::int64_t scale)
{
    if (scale < 1)
        scale = 1;
    const std::int64_t limited = std::min<std::int64_t>(count, scale);
    return static_cast<int>(limited * 100 / scale);
}

int BinAt(int x, int n, int width)
{
    if (width <= 2 || n <= 0)
        return 0;
    return static_cast<int>(static_cast<std::int64_t>(x) * n / (width - 2));
}

BinRange DragRange(int anchor, int c, int n, bool hue)
{
    BinRange range{std::min(anchor, c), std::max(anchor, c)};
    if (hue && c < 0)
        range = {std::max(c + n, anchor + 1), anchor};
    else if (hue && c >= n)
        range = {anchor, std::min(c - n, anchor - 1)};
    range.start = ClampBin(range.start, n);
    range.end = ClampBin(range.end, n);
    return range;
}

int MarkerColumn(int bin, int n, int width)
{
    if (n <= 0)
        return 1;
    return static_cast<int>(static_cast<std::int64_t>(bin) * (width - 2) / n) + 1;
}

RangeColumns RangeToColumns(BinRange range, int n, int width)
{
    RangeColumns columns;
    if (range.start == range.end || n <= 0)
    {
        columns.count = 1;
        columns.blocks[0] = {0, width - 1};
        return columns;
    }
    const int xs = MarkerColumn(range.start, n, width);
    const int xe = MarkerColumn(range.end, n, width) - 1;
    if (range.start < range.end)
    {
        columns.count = 1;
        columns.blocks[0] = {xs, xe};
    }
    else
    {
        columns.count = 2;
        columns.blocks[0] = {0, xe};
        columns.blocks[1] = {xs, width - 1};
    }
    return columns;
}

int LevelAtColumn(int x, int width)
{
    if (x < 0 || x >= width)
        return -1;
    if (width <= 1)
        return 0;
    const int v = static_cast<int>(static_cast<double>(x) / (width - 1) * 255.0);
    return std::min(v, 255);
}

double LevelAtRow(int y, int clientHeight, int plotHeight)
{
    if (plotHeight <= 1)
        return 0.0;
    const double level = static_cast<double>(clientHeight - 2 - y) / (plotHeight - 1);
    return std::clamp(level, 0.0, 1.0);
}

int HitTestPoint(std::span<const std::int16_t> pointX, std::span<const std::int16_t> curve, int mx,
                 int my, int clientHeight)
{
    if (curve.empty())
        return -1;
    const int last = static_cast<int>(curve.size()) - 1;
    int hit = -1;
    std::int64_t best = 32767;
    for (std::size_t k = 0; k < pointX.size(); ++k)
    {
        const int c = std::clamp<int>(pointX[k], 0, last);
        const std::int64_t dx = c + 1 - mx;
        const std::int64_t dy = clientHeight - 2 - curve[static_cast<std::size_t>(c)] - my;
        const std::int64_t d = dx * dx + dy * dy;
        if (d < best)
        {
            best = d;
            hit = static_cast<int>(k);
        }
    }
    return hit;
}

} // namespace graphlogic
