#include "core/ImageEx.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

namespace {

// The largest side of an 8-bit image: that of a JPEG file, and far beyond
// any display image or thumbnail.
constexpr long long kMaxSide = 65535;

} // namespace

bool CImageEx::Create(int width, int height)
{
    Destroy();
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
        return false;
    // Each row is padded to a whole number of 32-bit words, as a DIB's are.
    const long long pitch = (static_cast<long long>(width) * 3 + 3) / 4 * 4;
    const long long size = pitch * height;
    try
    {
        // Black: the allocator's zeros.
        m_bits.resize(static_cast<std::size_t>(size));
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    catch (const std::length_error&)
    {
        return false;
    }
    m_width = width;
    m_height = height;
    m_pitch = static_cast<int>(pitch);
    return true;
}

void CImageEx::Destroy()
{
    m_bits.clear();
    m_bits.shrink_to_fit();
    m_width = 0;
    m_height = 0;
    m_pitch = 0;
}

namespace {

// The part of a run of count pixels from (column, row) that lies inside
// the image: the first pixel of the run used and how many there are.
struct Span
{
    int skip = 0;  // pixels of the run left of the image
    int count = 0; // pixels inside
};

Span ClipRun(const CImageEx& image, int count, int row, int column)
{
    Span span;
    if (image.IsNull() || count <= 0 || row < 0 || row >= image.GetHeight())
        return span;
    const long long first = std::max<long long>(column, 0);
    const long long end =
        std::min<long long>(static_cast<long long>(column) + count, image.GetWidth());
    if (first >= end)
        return span;
    span.skip = static_cast<int>(first - column);
    span.count = static_cast<int>(end - first);
    return span;
}

} // namespace

// Pixels of a run that falls partly outside the image are skipped there;
// the rest land where they would have.
void CopyRGB16ToDIBLine(CImageEx& image, const RGB16* pixels, int count, int row, int column)
{
    const Span span = ClipRun(image, count, row, column);
    if (span.count == 0)
        return;
    std::uint8_t* out = image.GetPixelAddress(column + span.skip, row);
    const RGB16* in = pixels + span.skip;
    for (int i = 0; i < span.count; ++i, out += 3)
    {
        out[0] = static_cast<std::uint8_t>(in[i].b >> 8);
        out[1] = static_cast<std::uint8_t>(in[i].g >> 8);
        out[2] = static_cast<std::uint8_t>(in[i].r >> 8);
    }
}

// Pixels of the run outside the image are left as they were in pixels.
void CopyDIBLineToRGB16(int count, const CImageEx& image, RGB16* pixels, int row, int column)
{
    const Span span = ClipRun(image, count, row, column);
    if (span.count == 0)
        return;
    const std::uint8_t* in = image.GetPixelAddress(column + span.skip, row);
    RGB16* out = pixels + span.skip;
    for (int i = 0; i < span.count; ++i, in += 3)
    {
        // v * 257 puts v in both bytes: 0 -> 0, 0xFF -> 0xFFFF exactly.
        out[i].b = static_cast<std::uint16_t>(in[0] * 257);
        out[i].g = static_cast<std::uint16_t>(in[1] * 257);
        out[i].r = static_cast<std::uint16_t>(in[2] * 257);
    }
}

void FillDIB(CImageEx& image, const RGB16& colour)
{
    if (image.IsNull())
        return;
    const std::uint8_t bgr[3] = {static_cast<std::uint8_t>(colour.b >> 8),
                                 static_cast<std::uint8_t>(colour.g >> 8),
                                 static_cast<std::uint8_t>(colour.r >> 8)};
    const std::size_t rowBytes = static_cast<std::size_t>(image.GetWidth()) * 3;
    std::uint8_t* first = image.GetPixelAddress(0, 0);
    for (std::size_t i = 0; i < rowBytes; i += 3)
        std::memcpy(first + i, bgr, 3);
    for (int y = 1; y < image.GetHeight(); ++y)
        std::memcpy(image.GetPixelAddress(0, y), first, rowBytes);
}

void StretchDIB(const CImageEx& source, CImageEx& target)
{
    if (source.IsNull() || target.IsNull())
        return;
    const int width = target.GetWidth();
    std::vector<int> columns(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x)
        columns[static_cast<std::size_t>(x)] = NearestIndex(x, source.GetWidth(), width) * 3;
    int shown = -1;
    for (int y = 0; y < target.GetHeight(); ++y)
    {
        std::uint8_t* out = target.GetPixelAddress(0, y);
        const int row = NearestIndex(y, source.GetHeight(), target.GetHeight());
        if (row == shown)
        {
            // The same source row as the row above.
            std::memcpy(out, target.GetPixelAddress(0, y - 1), static_cast<std::size_t>(width) * 3);
            continue;
        }
        shown = row;
        const std::uint8_t* in = source.GetPixelAddress(0, row);
        for (int x = 0; x < width; ++x, out += 3)
            std::memcpy(out, in + columns[static_cast<std::size_t>(x)], 3);
    }
}
