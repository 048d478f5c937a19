#pragma once
// Small shared helpers: tiles of a rectangle, the screen's DPI factors and
// the splitting of a multi-string.

#include "core/Rect.h"

#include <cstddef>
#include <string>
#include <vector>

// Splits a rectangle that starts at the origin into tiles of a fixed size,
// row by row; the last column and row are narrower when the size does not
// divide the rectangle. One flag per tile lets the caller mark the tiles it
// has drawn.
class CSplitRect
{
public:
    CSplitRect() = default;
    CSplitRect(int tileWidth, int tileHeight) : m_tileWidth(tileWidth), m_tileHeight(tileHeight) {}
    virtual ~CSplitRect() = default;

    void SetTileSize(int tileWidth, int tileHeight);
    int GetTileWidth() const { return m_tileWidth; }
    int GetTileHeight() const { return m_tileHeight; }

    // Stores the rectangle and clears one flag per tile:
    // ceil(width / tile width) * ceil(height / tile height) tiles (none for
    // an empty rectangle or a tile side below 1).
    void SetRect(const CRect& rect);
    const CRect& GetRect() const { return m_rect; }

    int GetTileCount() const { return static_cast<int>(m_flags.size()); }
    int GetColumnCount() const;
    // Tile k: columns tile width * (k mod cols) to one tile further, rows
    // likewise with k div cols, cut to the rectangle. False (out untouched)
    // for an index outside 0 .. count - 1.
    bool GetTile(int k, CRect& out) const;

    bool IsTileDone(int k) const;
    void SetTileDone(int k, bool done = true);

private:
    int m_tileWidth = 256;
    int m_tileHeight = 256;
    CRect m_rect;
    std::vector<bool> m_flags;
};

// The screen's logical pixels per inch divided by 96, horizontally and
// vertically; 1.0 until the GUI sets them at start-up.
void SetScreenDpiScale(double scaleX, double scaleY);
double GetScreenDpiScaleX();
double GetScreenDpiScaleY();

// A list of zero-terminated strings ended by an empty one ("a\0bc\0\0"):
// out gets the strings in order, stopping at the first empty string or
// when `length` characters are used up, whichever comes first. A string
// that runs past `length` is cut there.
void SplitMultiString(std::vector<std::string>& out, const char* text, std::size_t length);
