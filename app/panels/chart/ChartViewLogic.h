#pragma once
// The chart-correction panel's rules apart from any widget: the chart
// layouts its list offers, which tables a chart document may hold when the
// panel takes it over, the order in which measured grey patches are kept,
// and the reversal of a table.

#include "core/CIEColor.h"
#include "core/T2DArray.h"

#include <array>
#include <string>

namespace chartview {

// A colour chart's shape: columns x rows of patches.
struct ChartLayout
{
    int columns = 0;
    int rows = 0;
};

// The layouts of the chart list, by index: 3, 4, 5 and 6 columns, each with
// 1 up to 3 (3 columns) or 4 rows.
inline constexpr std::array<ChartLayout, 15> kChartLayouts = {{
    {3, 1}, {3, 2}, {3, 3},
    {4, 1}, {4, 2}, {4, 3}, {4, 4},
    {5, 1}, {5, 2}, {5, 3}, {5, 4},
    {6, 1}, {6, 2}, {6, 3}, {6, 4},
}};
// The index the list shows for a shape it does not offer (6 x 3).
inline constexpr int kFallbackLayout = 13;

inline constexpr int kMinGrayPatches = 1;
inline constexpr int kMaxGrayPatches = 20;

// The list's text of a layout ("6 x 3"); empty outside the list.
std::string LayoutText(int index);

// The first layout of that shape. False, with index kFallbackLayout, when
// the list has none.
bool FindChartLayout(int rows, int columns, int& index);

// The layout of a list index; false (layout untouched) outside the list.
bool LayoutAt(int index, ChartLayout& layout);

// A grey table the panel can show: one row of 1..20 patches.
bool IsUsableGrayTable(const T2DArray<CCIEXYZ>& table);
// A colour table of one of the list's layouts.
bool IsUsableColorTable(const T2DArray<CCIEXYZ>& table);

// The measured grey patches as the document keeps them: one row, darkest
// (smallest Y) first, whatever order the patches were placed in. Equal
// luminances keep their placed order.
T2DArray<CCIEXYZ> SortGrayPatches(const T2DArray<CCIEXYZ>& measured);

// The cells in reverse row-major order (cell i and cell count - 1 - i
// change places); the shape stays.
T2DArray<CCIEXYZ> ReverseTable(const T2DArray<CCIEXYZ>& table);

} // namespace chartview
