#pragma once
// The program's own two-dimensional array: a count of rows, a count of
// columns and one contiguous row-major vector of cells, cell (row, column)
// at element row * columns + column. Used for chart patches, colour-checker
// cells and their selection (T = bool, the bit-packed vector), index-print
// cells, masks and view parameters.

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

template <typename T>
class T2DArray
{
public:
    T2DArray() = default;
    virtual ~T2DArray() = default;
    T2DArray(const T2DArray&) = default;
    T2DArray(T2DArray&&) noexcept = default;
    T2DArray& operator=(const T2DArray&) = default;
    T2DArray& operator=(T2DArray&&) noexcept = default;

    // Drops every cell and fills rows * columns copies of value. A negative
    // count, or a product beyond the 32-bit cell index, leaves an empty
    // array (0 x 0) rather than a shape whose cells cannot be addressed.
    void Resize(std::int32_t rows, std::int32_t columns, const T& value)
    {
        m_cells.clear();
        const std::int64_t count = static_cast<std::int64_t>(rows) * columns;
        if (rows < 0 || columns < 0 || count > std::numeric_limits<std::int32_t>::max())
        {
            m_rows = 0;
            m_columns = 0;
            return;
        }
        m_rows = rows;
        m_columns = columns;
        m_cells.assign(static_cast<std::size_t>(count), value);
    }

    // An index outside the array is a caller error: it asserts in debug
    // builds; otherwise reading gives a default-constructed value and
    // writing does nothing, so no memory outside the cells is ever touched.
    // Row and column are checked each on its own: a column past the end
    // would otherwise alias a cell of the next row.
    T GetAt(std::int32_t row, std::int32_t column) const
    {
        if (!IsInside(row, column))
            return T{};
        return m_cells[Index(row, column)];
    }

    void SetAt(std::int32_t row, std::int32_t column, const T& value)
    {
        if (!IsInside(row, column))
            return;
        m_cells[Index(row, column)] = value;
    }

    std::int32_t GetRows() const { return m_rows; }
    std::int32_t GetColumns() const { return m_columns; }
    bool IsEmpty() const { return m_cells.empty(); }
    // The cells in row-major order, for users that pass whole rows on.
    const std::vector<T>& GetCells() const { return m_cells; }

    // Same shape and every cell equal.
    bool operator==(const T2DArray& other) const
    {
        return m_rows == other.m_rows && m_columns == other.m_columns &&
               m_cells == other.m_cells;
    }

private:
    bool IsInside(std::int32_t row, std::int32_t column) const
    {
        const bool inside = row >= 0 && row < m_rows && column >= 0 && column < m_columns;
        assert(inside && "T2DArray index outside the array");
        return inside;
    }

    std::size_t Index(std::int32_t row, std::int32_t column) const
    {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(m_columns) +
               static_cast<std::size_t>(column);
    }

    std::int32_t m_rows = 0;
    std::int32_t m_columns = 0;
    std::vector<T> m_cells;
};
