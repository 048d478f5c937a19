#pragma once
// Geometry of the colour patch and of the colour-checker grid, apart from
// Qt: the square that carries a selection cross, the cells of a grid and
// the cell under a point.
//
// Rectangles are kept as the window system kept them: left and top inside,
// right and bottom one past the last pixel.

#include <cstdint>
#include <optional>

struct CellRect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool operator==(const CellRect&) const = default;
};

// The square, centred in rect and 2 pixels inside it, on which a selected
// patch or cell draws its cross. The longer side gives up half the
// difference at each end (the half truncated toward 0), both sides then 2
// pixels more.
inline CellRect CrossSquare(const CellRect& rect)
{
    const int w = rect.width();
    const int h = rect.height();
    const int dx = w < h ? 2 : (w - h) / 2 + 2;
    const int dy = w < h ? (h - w) / 2 + 2 : 2;
    return CellRect{rect.left + dx, rect.top + dy, rect.right - dx, rect.bottom - dy};
}

// A grid of rows x columns cells over a client area of width x height, with
// a gap of gapPercent percent of a cell's size between the cells and
// around them. Along one axis of extent E with N cells and gap fraction
// g = gapPercent / 100 there are N cells and N + 1 gaps:
//     cell = E / ((N + 1) g + N),   gap = cell g,
// and cell k starts at gap + (gap + cell) k. Every edge is computed in
// floating point and truncated on its own, so neighbouring cells may be a
// pixel apart or touch, but never overlap.
class CheckerGeometry
{
public:
    CheckerGeometry(int width, int height, int rows, int columns, std::uint32_t gapPercent)
        : m_rows(rows > 0 ? rows : 0), m_columns(columns > 0 ? columns : 0)
    {
        const double g = gapPercent / 100.0;
        if (m_columns > 0 && width > 0)
        {
            m_cellWidth = width / ((m_columns + 1) * g + m_columns);
            m_gapX = m_cellWidth * g;
        }
        if (m_rows > 0 && height > 0)
        {
            m_cellHeight = height / ((m_rows + 1) * g + m_rows);
            m_gapY = m_cellHeight * g;
        }
    }

    int rows() const { return m_rows; }
    int columns() const { return m_columns; }

    CellRect Cell(int row, int column) const
    {
        const double left = m_gapX + (m_gapX + m_cellWidth) * column;
        const double top = m_gapY + (m_gapY + m_cellHeight) * row;
        return CellRect{static_cast<int>(left), static_cast<int>(top),
                        static_cast<int>(left + m_cellWidth), static_cast<int>(top + m_cellHeight)};
    }

    struct Hit
    {
        int row = 0;
        int column = 0;
    };

    // The cell holding (x, y), looked for column by column and within each
    // column row by row; the first one found wins. None in a gap.
    std::optional<Hit> HitTest(int x, int y) const
    {
        for (int column = 0; column < m_columns; ++column)
            for (int row = 0; row < m_rows; ++row)
                if (Cell(row, column).contains(x, y))
                    return Hit{row, column};
        return std::nullopt;
    }

private:
    int m_rows = 0;
    int m_columns = 0;
    double m_cellWidth = 0.0;
    double m_cellHeight = 0.0;
    double m_gapX = 0.0;
    double m_gapY = 0.0;
};

// The value a click on a cell reports: the row in the high 16 bits, the
// column in the low 16.
constexpr std::int64_t CellClickValue(int row, int column)
{
    return (static_cast<std::int64_t>(row) << 16) | (column & 0xFFFF);
}
