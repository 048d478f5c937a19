#pragma once
// The layout rules of the file table, apart from Qt: row heights by
// display mode, where a thumbnail goes in its cell, how the file-name cell
// marks camera-RAW entries and failed entries, and which row the previous
// and next buttons move to.

#include <cstdint>

namespace filetable {

// Display modes: 0 text rows, 1 small thumbnails, 2 large thumbnails.
inline constexpr int kTextRowHeight = 20; // the text line at the top of every row
int RowHeight(int displayMode);

// The column that carries the thumbnail under its text (the file name's).
inline constexpr int kThumbnailColumn = 1;
// The column whose text is marked by the entry's state.
inline constexpr int kFileNameColumn = 1;

struct Box
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Box&) const = default;
};

// The thumbnail's place in a cell: the cell shrunk by 3 pixels left and
// right, 20 at the top (the text line) and 3 at the bottom. The picture
// keeps its aspect ratio and is as large as fits: its longer side fills
// its side of the space unless the other side would then overflow (a wide
// picture in a flat row), in which case the other side fills. A landscape
// picture is centred vertically, a portrait one sits at the top left. An
// empty picture or space gives an empty box.
Box FitThumbnail(const Box& cell, int imageWidth, int imageHeight);

// How the file-name cell of an entry is marked. A camera-RAW entry (type
// 4) carries a prefix: string 1024 ("conversion error") when its error
// flag is set and its state is 3 (the converter failed), else string 1020
// ("converting"). Any other entry with the error flag is struck through;
// so is a camera-RAW entry with the flag in another state.
inline constexpr int kStrConverting = 1020;
inline constexpr int kStrConversionError = 1024;
struct NameMarking
{
    int prefixString = 0; // 0: no prefix
    bool strikeOut = false;
    bool operator==(const NameMarking&) const = default;
};
NameMarking MarkFileName(int type, int error, int state);

// The row that the previous (up) or next button moves to from the current
// row, -1 when there is none. Above the first row the move wraps to
// wrapRowCount - 1 (the owner's RowCount); below the last row it stops.
// The target must be a row of the table (0 .. rowCount - 1).
int StepTarget(int current, bool up, int rowCount, int wrapRowCount);

} // namespace filetable
