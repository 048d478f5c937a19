#include "app/panels/chart/ChartViewLogic.h"

#include <algorithm>
#include <vector>

namespace chartview {

std::string LayoutText(int index)
{
    ChartLayout layout;
    if (!LayoutAt(index, layout))
        return {};
    return std::to_string(layout.columns) + " x " + std::to_string(layout.rows);
}

bool FindChartLayout(int rows, int columns, int& index)
{
    for (std::size_t i = 0; i < kChartLayouts.size(); ++i)
    {
        if (kChartLayouts[i].rows == rows && kChartLayouts[i].columns == columns)
        {
            index = static_cast<int>(i);
            return true;
        }
    }
    index = kFallbackLayout;
    return false;
}

bool LayoutAt(int index, ChartLayout& layout)
{
    if (index < 0 || index >= static_cast<int>(kChartLayouts.size()))
        return false;
    layout = kChartLayouts[static_cast<std::size_t>(index)];
    return true;
}

bool IsUsableGrayTable(const T2DArray<CCIEXYZ>& table)
{
    return table.GetRows() == 1 && table.GetColumns() >= kMinGrayPatches &&
           table.GetColumns() <= kMaxGrayPatches;
}

bool IsUsableColorTable(const T2DArray<CCIEXYZ>& table)
{
    int index = 0;
    return FindChartLayout(table.GetRows(), table.GetColumns(), index);
}

T2DArray<CCIEXYZ> SortGrayPatches(const T2DArray<CCIEXYZ>& measured)
{
    std::vector<CCIEXYZ> cells = measured.GetCells();
    std::stable_sort(cells.begin(), cells.end(),
                     [](const CCIEXYZ& a, const CCIEXYZ& b) { return a[1] < b[1]; });
    T2DArray<CCIEXYZ> sorted;
    sorted.Resize(1, static_cast<std::int32_t>(cells.size()), CCIEXYZ());
    for (std::size_t i = 0; i < cells.size(); ++i)
        sorted.SetAt(0, static_cast<std::int32_t>(i), cells[i]);
    return sorted;
}

T2DArray<CCIEXYZ> ReverseTable(const T2DArray<CCIEXYZ>& table)
{
    T2DArray<CCIEXYZ> reversed = table;
    const std::int32_t columns = table.GetColumns();
    const std::vector<CCIEXYZ>& cells = table.GetCells();
    const std::size_t count = cells.size();
    for (std::size_t i = 0; i < count && columns > 0; ++i)
    {
        const auto k = static_cast<std::int32_t>(i);
        reversed.SetAt(k / columns, k % columns, cells[count - 1 - i]);
    }
    return reversed;
}

} // namespace chartview
