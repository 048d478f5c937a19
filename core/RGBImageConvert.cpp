// The two conversions between the working image and an 8-bit display
// image: drawing a rectangle for display (through a CReadRGBImage) and
// filling a rectangle from display pixels (through a CWriteRGBImage).

#include "core/RGBImage.h"

#include "core/ColorTransform.h"
#include "core/ImageAccess.h"
#include "core/ImageEx.h"
#include "core/RowBands.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// Rows per band of a parallel fill from a display image.
constexpr int kLoadBandRows = 64;

bool Inside(const CRect& r, int width, int height)
{
    return r.left >= 0 && r.top >= 0 && r.right <= width && r.bottom <= height;
}

} // namespace

// Equal sizes copy line by line. Otherwise nearest neighbour: destination
// row i shows source row top + i * srcHeight / dstHeight, destination
// column k source column left + k * srcWidth / dstWidth. Each distinct
// source pixel of a row is converted once (in one call for the row), and a
// row is converted again only when the source row changes.
bool CRGBImage::CopyRectConverted(CImageEx& display, const CRect& src, const CRect& dst,
                                  const CRGBMatrix* matrix, const CRGBGammaTable* tables,
                                  Progress progress, const CColorTransform* transform,
                                  const CColorTransform* secondTransform)
{
    if (src.IsRectEmpty() || dst.IsRectEmpty())
        return true;
    if (!Inside(src, m_width, m_height) || !Inside(dst, display.GetWidth(), display.GetHeight()))
        return false;

    CReadRGBImage reader(*this, tables, matrix, transform, secondTransform);
    const int srcWidth = src.Width();
    const int srcHeight = src.Height();
    const int dstWidth = dst.Width();
    const int dstHeight = dst.Height();

    if (srcWidth == dstWidth && srcHeight == dstHeight)
    {
        std::vector<RGB16> line(static_cast<std::size_t>(srcWidth));
        for (int i = 0; i < dstHeight; ++i)
        {
            reader.SetCursor(src.left, src.top + i);
            reader.ReadLine(line.data(), line.size());
            CopyRGB16ToDIBLine(display, line.data(), dstWidth, dst.top + i, dst.left);
            if (!progress.Report(i, dstHeight))
                return false;
        }
        return true;
    }

    // The source columns each destination column shows, and the distinct
    // ones among them in order (the columns are non-decreasing).
    std::vector<int> columnOf(static_cast<std::size_t>(dstWidth));
    std::vector<int> distinctColumns;
    distinctColumns.reserve(static_cast<std::size_t>(std::min(srcWidth, dstWidth)));
    for (int k = 0; k < dstWidth; ++k)
    {
        const int column = src.left + NearestIndex(k, srcWidth, dstWidth);
        if (distinctColumns.empty() || distinctColumns.back() != column)
            distinctColumns.push_back(column);
        columnOf[static_cast<std::size_t>(k)] = static_cast<int>(distinctColumns.size()) - 1;
    }

    std::vector<RGB16> distinct(distinctColumns.size());
    std::vector<RGB16> line(static_cast<std::size_t>(dstWidth));
    int shownRow = -1;
    for (int i = 0; i < dstHeight; ++i)
    {
        const int row = src.top + NearestIndex(i, srcHeight, dstHeight);
        if (row != shownRow)
        {
            for (std::size_t c = 0; c < distinctColumns.size(); ++c)
                distinct[c] = reader.GetStoredPixel(distinctColumns[c], row);
            reader.ConvertPixels(distinct.data(), distinct.data(), distinct.size());
            for (std::size_t k = 0; k < line.size(); ++k)
                line[k] = distinct[static_cast<std::size_t>(columnOf[k])];
            shownRow = row;
        }
        CopyRGB16ToDIBLine(display, line.data(), dstWidth, dst.top + i, dst.left);
        if (!progress.Report(i, dstHeight))
            return false;
    }
    return true;
}

// Equal sizes widen and write bands of rows in parallel (a row's result
// does not depend on the thread that wrote it). Otherwise nearest neighbour:
// destination row i takes display row top + i * srcHeight / dstHeight and
// destination pixel j the widened pixel j * srcWidth / dstWidth of it.
bool CRGBImage::LoadFromDIB(const CImageEx& display, const CRect& src, const CRect& dst,
                            const CRGBGammaTable* tables, const CRGBMatrix* matrix,
                            Progress progress)
{
    if (src.IsRectEmpty() || dst.IsRectEmpty())
        return true;
    if (!Inside(src, display.GetWidth(), display.GetHeight()) || !Inside(dst, m_width, m_height))
        return false;

    const int srcWidth = src.Width();
    const int srcHeight = src.Height();
    const int dstWidth = dst.Width();
    const int dstHeight = dst.Height();

    if (srcWidth == dstWidth && srcHeight == dstHeight)
    {
        // Every row on its own: bands of rows on all cores through one
        // writer, each band with its own lines, the progress told on this
        // thread as the bands finish in order.
        const CWriteRGBImage writer(*this, tables, matrix);
        const int bands = (dstHeight + kLoadBandRows - 1) / kLoadBandRows;
        return RunBands(
            bands, 0,
            [&](int, int band) {
                std::vector<RGB16> widened(static_cast<std::size_t>(srcWidth));
                std::vector<RGB16> scratch(widened.size());
                const int end = std::min(dstHeight, (band + 1) * kLoadBandRows);
                for (int i = band * kLoadBandRows; i < end; ++i)
                {
                    CopyDIBLineToRGB16(srcWidth, display, widened.data(), src.top + i, src.left);
                    writer.ConvertPixels(widened.data(), writer.StoredRow(dst.top + i) + dst.left,
                                         widened.size(), scratch.data());
                }
            },
            [&](int band) {
                const int end = std::min(dstHeight, (band + 1) * kLoadBandRows);
                for (int i = band * kLoadBandRows; i < end; ++i)
                    if (!progress.Report(i, dstHeight))
                        return false;
                return true;
            });
    }

    CWriteRGBImage writer(*this, tables, matrix);
    std::vector<RGB16> widened(static_cast<std::size_t>(srcWidth));

    // Each destination row is gathered and written in one call: the writer
    // converts a line pixel for pixel as SetPixel would.
    std::vector<RGB16> line(static_cast<std::size_t>(dstWidth));
    int widenedRow = -1;
    for (int i = 0; i < dstHeight; ++i)
    {
        const int row = src.top + NearestIndex(i, srcHeight, dstHeight);
        if (row != widenedRow)
        {
            CopyDIBLineToRGB16(srcWidth, display, widened.data(), row, src.left);
            widenedRow = row;
        }
        for (int j = 0; j < dstWidth; ++j)
            line[static_cast<std::size_t>(j)] =
                widened[static_cast<std::size_t>(NearestIndex(j, srcWidth, dstWidth))];
        writer.SetCursor(dst.left, dst.top + i);
        writer.WriteLine(line.data(), line.size());
        if (!progress.Report(i, dstHeight))
            return false;
    }
    return true;
}
