#pragma once
// The arithmetic of an index page (a contact sheet of the marked images):
// how many pages the cells fill, where cell n of a page lies, how a cached
// or printed picture sits in its cell, and how the job's progress splits a
// bar. No Qt: the page model and the job paint with what these give.
//
// A page is the printable area of the paper in printer pixels (page width
// PW x page height PH at the printer's vertical resolution dpi). Bands are
// measured in printer pixels and scaled to the target being drawn (the
// preview's page buffer, or the page itself when printing):
//   title band     5 mm  = trunc(dpi x 5 / 25.4)   when the title is on
//   caption lines  3 mm  = trunc(dpi x 3 / 25.4)   per caption that is on
//   footer band    4 mm  = trunc(dpi x 4 / 25.4)   when page numbers are on
// Cells share the width evenly and the height left between title and
// footer evenly; each cell keeps its captions below the picture and gives
// up size x its width / 16 on each side (size 0..4: 0 fills the cell).

#include "core/Rect.h"

#include <array>

// The four correction modes of an index print: none, each image with its
// own corrections, every image with the corrections of the moment the
// dialog opened, every image with a chosen parameter file.
inline constexpr int kIndexCorrectionModes = 4;
inline constexpr int kIndexModeParamFile = 3;
// Columns and rows of a page.
inline constexpr int kIndexGridMin = 1;
inline constexpr int kIndexGridMax = 10;
// How much of its cell a picture gives up: 0..4 sixteenths a side.
inline constexpr int kIndexSizeMax = 4;

// Cells run across then down, or down then across.
enum class IndexOrder
{
    AcrossThenDown = 0,
    DownThenAcross = 1
};

// What the page shows besides the pictures.
struct IndexPageOptions
{
    int columns = 1;
    int rows = 1;
    IndexOrder order = IndexOrder::AcrossThenDown;
    int size = 0; // 0..4
    bool fileName = false;
    bool imageSize = false;
    bool frame = false;
    bool title = false;
    bool pageNumber = false;
};

// Cells on one page; 0 for a grid that has no cell.
int IndexCellsPerPage(int columns, int rows);

// Pages needed for count cells at cellsPerPage a page: 0 without cells or
// without a cell a page, else (count - 1) / cellsPerPage + 1.
int IndexPageCount(int count, int cellsPerPage);

// Cells on page `page` (1-based): a full page but the last, which holds
// what remains; 0 outside 1..page count.
int IndexCellsOnPage(int count, int cellsPerPage, int page);

// The page that holds global cell `first` in a grid of cellsPerPage: the
// page a grid change keeps in view (1 without a cell a page).
int IndexPageOfCell(int first, int cellsPerPage);

// The bands of the page in printer pixels (see the top of the file).
struct IndexBands
{
    int title = 0;
    int captions = 0; // all caption lines together
    int caption = 0;  // one caption line (whether or not one is on)
    int footer = 0;
};
IndexBands IndexPageBands(const IndexPageOptions& options, int dpi);

// Column and row of cell n of a page.
struct IndexCellPlace
{
    int column = 0;
    int row = 0;
};
IndexCellPlace IndexCellPosition(const IndexPageOptions& options, int n);

// The picture rectangle of cell n of a page inside a target of
// targetWidth x targetHeight that shows a page pageHeight printer pixels
// high. Empty for a grid without cells. Captions lie below its bottom.
CRect IndexCellRect(const IndexPageOptions& options, int dpi, int pageHeight, int targetWidth,
                    int targetHeight, int n);

// The rectangle r shrunk, centred, to the aspect ratio of a picture of
// width x height (the preview of a cached cell). A picture without size
// leaves r as it is.
CRect FitRectToAspect(const CRect& r, int width, int height);

// Where a printed picture of imageWidth x imageHeight goes in its cell r,
// and the size it is developed at. A picture larger than the cell is
// developed at the fitted size (every printed pixel a developed one); a
// smaller one is developed at its own size and stretched by the painter,
// so development never invents pixels.
struct IndexPrintPlacement
{
    CRect destination;
    int developWidth = 0;
    int developHeight = 0;
};
IndexPrintPlacement PlacePrintedPicture(const CRect& r, int imageWidth, int imageHeight);

// A text box measured in tenths of a millimetre, trunc(pixels x 254 /
// dpi); pixels as they are when the resolution is unknown.
int IndexBoxTenthMM(double pixels, int dpi);

// The step bar of the progress dialog: the load stage and each enabled
// step of the seven get an equal share of 100; start[k] is where stage k
// (0 load, 1..7 steps) begins.
struct IndexStepShares
{
    double share = 100.0;
    std::array<double, 8> start{};
};
IndexStepShares IndexStepSharesOf(const std::array<int, 7>& flags);
// The step bar for progress x (0..1) within stage 0..7: trunc(share x x +
// start[stage]), kept within 0..100.
int IndexStepBar(const IndexStepShares& shares, double x, int stage);

// Percent of the cells done: trunc(done / total x 100); 0 without cells.
int IndexDonePercent(int done, int total);
