#include "print/IndexImageLogic.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

int Trunc(double v)
{
    return static_cast<int>(v);
}

// Printer pixels of a band `tenthMM` tenths of a millimetre high:
// trunc(dpi x mm / 25.4).
int BandPixels(int dpi, int tenthMM)
{
    return dpi > 0 ? static_cast<int>(static_cast<long long>(dpi) * tenthMM / 254) : 0;
}

} // namespace

int IndexCellsPerPage(int columns, int rows)
{
    if (columns <= 0 || rows <= 0)
        return 0;
    // In 64 bits and saturated: a grid of any size never wraps round into
    // a small or negative number of cells.
    const long long cells = static_cast<long long>(columns) * rows;
    return static_cast<int>(std::min<long long>(cells, std::numeric_limits<int>::max()));
}

int IndexPageCount(int count, int cellsPerPage)
{
    if (count <= 0 || cellsPerPage <= 0)
        return 0;
    return (count - 1) / cellsPerPage + 1;
}

int IndexCellsOnPage(int count, int cellsPerPage, int page)
{
    const int pages = IndexPageCount(count, cellsPerPage);
    if (page < 1 || page > pages)
        return 0;
    return page < pages ? cellsPerPage : count - (pages - 1) * cellsPerPage;
}

int IndexPageOfCell(int first, int cellsPerPage)
{
    if (cellsPerPage <= 0 || first < 0)
        return 1;
    return first / cellsPerPage + 1;
}

IndexBands IndexPageBands(const IndexPageOptions& options, int dpi)
{
    IndexBands bands;
    bands.caption = BandPixels(dpi, 30);
    if (options.title)
        bands.title = BandPixels(dpi, 50);
    if (options.fileName)
        bands.captions += bands.caption;
    if (options.imageSize)
        bands.captions += bands.caption;
    if (options.pageNumber)
        bands.footer = BandPixels(dpi, 40);
    return bands;
}

IndexCellPlace IndexCellPosition(const IndexPageOptions& options, int n)
{
    IndexCellPlace place;
    if (options.order == IndexOrder::DownThenAcross)
    {
        if (options.rows > 0)
        {
            place.column = n / options.rows;
            place.row = n % options.rows;
        }
    }
    else if (options.columns > 0)
    {
        place.column = n % options.columns;
        place.row = n / options.columns;
    }
    return place;
}

CRect IndexCellRect(const IndexPageOptions& options, int dpi, int pageHeight, int targetWidth,
                    int targetHeight, int n)
{
    if (IndexCellsPerPage(options.columns, options.rows) == 0)
        return {};
    const IndexBands bands = IndexPageBands(options, dpi);
    const IndexCellPlace place = IndexCellPosition(options, n);

    const double cellWidth = static_cast<double>(targetWidth) / options.columns;
    CRect r;
    r.left = Trunc(cellWidth * place.column);
    r.right = r.left + Trunc(cellWidth);

    // The bands are printer pixels; the target may be a reduced picture
    // of the page.
    const double sy = pageHeight > 0 ? static_cast<double>(targetHeight) / pageHeight : 0.0;
    const int topBand = Trunc(sy * bands.title);
    const double cellHeight =
        static_cast<double>(targetHeight - Trunc(sy * bands.footer) - topBand) / options.rows;
    r.top = topBand + Trunc(cellHeight * place.row);
    r.bottom = r.top + Trunc(cellHeight) - Trunc(sy * bands.captions);

    const int size = std::clamp(options.size, 0, kIndexSizeMax);
    const int dx = size * r.Width() / 16;
    const int dy = size * r.Height() / 16;
    r.left += dx;
    r.right -= dx;
    r.top += dy;
    r.bottom -= dy;
    return r;
}

CRect FitRectToAspect(const CRect& r, int width, int height)
{
    if (width <= 0 || height <= 0 || r.IsRectEmpty())
        return r;
    CRect out = r;
    const double gx = static_cast<double>(r.Width()) / width;
    const double gy = static_cast<double>(r.Height()) / height;
    if (gy > gx)
    {
        const int lose = r.Height() - Trunc(gx * height);
        out.top += lose / 2;
        out.bottom -= lose / 2;
    }
    else
    {
        const int lose = r.Width() - Trunc(gy * width);
        out.left += lose / 2;
        out.right -= lose / 2;
    }
    return out;
}

IndexPrintPlacement PlacePrintedPicture(const CRect& r, int imageWidth, int imageHeight)
{
    IndexPrintPlacement placement;
    if (imageWidth <= 0 || imageHeight <= 0 || r.IsRectEmpty())
        return placement;
    const double gx = static_cast<double>(r.Width()) / imageWidth;
    const double gy = static_cast<double>(r.Height()) / imageHeight;
    // The picture scaled by the smaller ratio fills the cell one way.
    const double g = std::min(gx, gy);
    const int width = std::max(1, std::min(r.Width(), Trunc(g * imageWidth)));
    const int height = std::max(1, std::min(r.Height(), Trunc(g * imageHeight)));
    placement.destination.left = r.left + ((r.Width() - width) >> 1);
    placement.destination.top = r.top + ((r.Height() - height) >> 1);
    placement.destination.right = placement.destination.left + width;
    placement.destination.bottom = placement.destination.top + height;
    if (g < 1.0)
    {
        placement.developWidth = width;
        placement.developHeight = height;
    }
    else
    {
        placement.developWidth = imageWidth;
        placement.developHeight = imageHeight;
    }
    return placement;
}

int IndexBoxTenthMM(double pixels, int dpi)
{
    if (dpi <= 0)
        return Trunc(pixels);
    return Trunc(pixels * 254.0 / dpi);
}

IndexStepShares IndexStepSharesOf(const std::array<int, 7>& flags)
{
    IndexStepShares shares;
    const int enabled = static_cast<int>(std::count_if(flags.begin(), flags.end(),
                                                       [](int f) { return f != 0; }));
    shares.share = 100.0 / (enabled + 1);
    shares.start[0] = 0.0;
    for (std::size_t k = 1; k < shares.start.size(); ++k)
        shares.start[k] = shares.start[k - 1] + (flags[k - 1] != 0 ? shares.share : 0.0);
    return shares;
}

int IndexStepBar(const IndexStepShares& shares, double x, int stage)
{
    if (!(x >= 0.0)) // also NaN
        x = 0.0;
    x = std::min(x, 1.0);
    stage = std::clamp(stage, 0, 7);
    const double start = shares.start[static_cast<std::size_t>(stage)];
    return std::clamp(Trunc(shares.share * x + start), 0, 100);
}

int IndexDonePercent(int done, int total)
{
    if (total <= 0)
        return 0;
    return Trunc(static_cast<double>(done) / total * 100.0);
}
