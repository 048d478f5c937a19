#include "core/RGBImage.h"

#include "core/Clamp.h"
#include "core/Resample.h"
#include "platform/Bytes.h"
#include "platform/FileReplace.h"
#include "platform/Memory.h"

#include <algorithm>
#include <bit>
#include <new>
#include <vector>

// The raw file holds its pixels exactly as RGB16 lies in memory on a
// little-endian host, so the pixel block goes to and from the file in one
// transfer with no per-pixel conversion.
static_assert(std::endian::native == std::endian::little,
              "raw image files are read and written as little-endian memory images");

namespace {

constexpr std::uint64_t kHeaderBytes = 8;
// Raw files are moved in chunks of this many pixels (rounded down to whole
// rows), so that a progress bar moves and the user can cancel.
constexpr int kChunkPixels = 1048576;
// The length of a raw file is a 32-bit quantity.
constexpr std::uint64_t kMaxRawFileBytes = 0xFFFFFFFFull;

// Sets the image's locked flag for as long as an operation works on the
// pixels, and clears it on every way out.
class PixelLock
{
public:
    explicit PixelLock(CRGBImage& image) : m_image(image), m_pixels(image.Lock()) {}
    ~PixelLock() { m_image.Unlock(); }
    PixelLock(const PixelLock&) = delete;
    PixelLock& operator=(const PixelLock&) = delete;

    RGB16* Pixels() const { return m_pixels; }

private:
    CRGBImage& m_image;
    RGB16* m_pixels;
};

bool WriteHeader(platform::File& file, int width, int height)
{
    std::uint8_t header[kHeaderBytes];
    platform::PutU32LE(header, 0, static_cast<std::uint32_t>(width));
    platform::PutU32LE(header, 4, static_cast<std::uint32_t>(height));
    return file.WriteAll(header, sizeof header);
}

// Rows per chunk of the chunked transfers: at least one, so that a chunk
// always moves the transfer on.
int ChunkRows(int width)
{
    return std::max(1, kChunkPixels / std::max(1, width));
}

std::size_t RowBytes(int width, int rows)
{
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(rows) * sizeof(RGB16);
}

} // namespace

// --- CRGBImage: storage ------------------------------------------------------

CRGBImage::CRGBImage(int width, int height)
{
    Create(width, height);
}

CRGBImage::CRGBImage(const CRGBImage& other)
{
    if (other.m_pixels)
    {
        const std::size_t count = other.GetPixelCount();
        m_pixels.reset(new RGB16[count]);
        std::copy_n(other.m_pixels.get(), count, m_pixels.get());
        m_width = other.m_width;
        m_height = other.m_height;
    }
}

CRGBImage& CRGBImage::operator=(const CRGBImage& other)
{
    if (this != &other)
    {
        CRGBImage copy(other);
        *this = std::move(copy);
    }
    return *this;
}

CRGBImage::CRGBImage(CRGBImage&& other) noexcept
    : m_pixels(std::move(other.m_pixels)), m_width(other.m_width), m_height(other.m_height)
{
    other.m_width = 0;
    other.m_height = 0;
    other.m_locked = false;
}

CRGBImage& CRGBImage::operator=(CRGBImage&& other) noexcept
{
    if (this != &other)
    {
        m_pixels = std::move(other.m_pixels);
        m_width = other.m_width;
        m_height = other.m_height;
        m_locked = false;
        other.m_width = 0;
        other.m_height = 0;
        other.m_locked = false;
    }
    return *this;
}

bool CRGBImage::Create(int width, int height)
{
    const bool valid =
        width >= 0 && height >= 0 && width <= kMaxDimension && height <= kMaxDimension;
    const std::size_t count =
        valid ? static_cast<std::size_t>(width) * static_cast<std::size_t>(height) : 0;
    if (valid && m_pixels && count == GetPixelCount())
    {
        m_width = width;
        m_height = height;
        return true;
    }
    m_pixels.reset();
    m_width = 0;
    m_height = 0;
    if (count == 0)
        return false;
    m_pixels.reset(new (std::nothrow) RGB16[count]);
    if (!m_pixels)
        return false;
    // Huge pages asked for before the first write, which maps the pages:
    // a new image is black.
    platform::AdviseHugePages(m_pixels.get(), count * sizeof(RGB16));
    std::fill_n(m_pixels.get(), count, RGB16{0, 0, 0});
    m_width = width;
    m_height = height;
    return true;
}

// --- Raw image files ---------------------------------------------------------

namespace {

// Steps shared by both readers: the header is read and the file's length
// checked against it before anything is allocated, so a damaged or hostile
// header can neither make us allocate nor change the image.
bool ReadRawHeader(platform::File& file, int* width, int* height)
{
    std::uint8_t header[kHeaderBytes];
    if (!file.Rewind() || file.Read(header, sizeof header) != sizeof header)
        return false;
    const std::uint32_t w = platform::GetU32LE(header, 0);
    const std::uint32_t h = platform::GetU32LE(header, 4);
    // A file without pixels is refused here too, so that it leaves the
    // image as it was rather than emptying it.
    if (w == 0 || h == 0 || w > static_cast<std::uint32_t>(CRGBImage::kMaxDimension) ||
        h > static_cast<std::uint32_t>(CRGBImage::kMaxDimension))
        return false;
    const std::uint64_t expected = kHeaderBytes + std::uint64_t{w} * h * sizeof(RGB16);
    std::uint64_t length = 0;
    if (!file.Size(&length) || length != expected || length > kMaxRawFileBytes)
        return false;
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

} // namespace

bool CRGBImage::LoadRaw(const std::string& path, Progress progress)
{
    platform::File file;
    if (!file.OpenRead(path))
        return false;
    file.AdviseSequential();
    return ReadRawChunked(file, progress);
}

bool CRGBImage::ReadRaw(platform::File& file)
{
    return ReadRawChunked(file, {});
}

bool CRGBImage::ReadRawChunked(platform::File& file, Progress progress)
{
    int width = 0;
    int height = 0;
    if (!ReadRawHeader(file, &width, &height) || !Create(width, height))
        return false;

    PixelLock lock(*this);
    RGB16* pixels = lock.Pixels();
    const std::size_t total = GetPixelCount() * sizeof(RGB16);
    // The plain reader and images of at most one chunk go in one read.
    const int chunk = ChunkRows(width);
    if (!progress || height <= chunk)
        return file.Read(pixels, total) == total;

    for (int row = 0; row < height; row += chunk)
    {
        const int rows = std::min(chunk, height - row);
        const std::size_t bytes = RowBytes(width, rows);
        if (file.Read(pixels + static_cast<std::size_t>(row) * width, bytes) != bytes)
            return false;
        if (!progress.Report(row, height))
            return false;
    }
    return true;
}

bool CRGBImage::SaveRaw(const std::string& path)
{
    platform::ReplacementFile file;
    return file.Open(path) && WriteRaw(file.Output()) && file.Commit();
}

bool CRGBImage::WriteRaw(platform::File& file)
{
    return WriteRawChunked(file, {});
}

bool CRGBImage::WriteRawChunked(platform::File& file, Progress progress)
{
    PixelLock lock(*this);
    const RGB16* pixels = lock.Pixels();
    const std::size_t total = GetPixelCount() * sizeof(RGB16);
    if (!file.Rewind() || !WriteHeader(file, m_width, m_height))
        return false;

    const int chunk = ChunkRows(m_width);
    if (!progress || m_height <= chunk)
    {
        if (total > 0 && !file.WriteAll(pixels, total))
            return false;
    }
    else
    {
        for (int row = 0; row < m_height; row += chunk)
        {
            const int rows = std::min(chunk, m_height - row);
            if (!file.WriteAll(pixels + static_cast<std::size_t>(row) * m_width,
                               RowBytes(m_width, rows)))
                return false;
            if (!progress.Report(row, m_height))
                return false;
        }
    }
    // The file may have been longer before; only an exact length is a raw
    // file that reads back.
    std::uint64_t length = 0;
    return file.Size(&length) && length == kHeaderBytes + total;
}

bool CRGBImage::WriteScaledRaw(platform::File& file, int srcLeft, int srcTop, int srcWidth,
                               int srcHeight, int newWidth, int newHeight, Progress progress)
{
    // The source rectangle must lie inside the image; sampling near its
    // right and bottom edges still clamps to the image's last column and row.
    if (!m_pixels || srcWidth <= 0 || srcHeight <= 0 || srcLeft < 0 || srcTop < 0 ||
        srcWidth > m_width - srcLeft || srcHeight > m_height - srcTop || newWidth <= 0 ||
        newHeight <= 0 || newWidth > kMaxDimension || newHeight > kMaxDimension)
        return false;

    PixelLock lock(*this);
    const RGB16* pixels = lock.Pixels();

    ResampleAxis horizontal;
    ResampleAxis vertical;
    std::vector<double> sampled;
    std::vector<double> sums;
    std::vector<const double*> rows;
    std::vector<RGB16> line;
    try
    {
        horizontal.Prepare(srcLeft, srcWidth, newWidth, m_width);
        vertical.Prepare(srcTop, srcHeight, newHeight, m_height);
        const std::size_t stride = static_cast<std::size_t>(newWidth) * 3;
        sampled.resize(static_cast<std::size_t>(vertical.taps) * stride);
        sums.resize(stride);
        rows.resize(static_cast<std::size_t>(vertical.taps));
        line.resize(static_cast<std::size_t>(newWidth));
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }

    if (!file.Rewind() || !WriteHeader(file, newWidth, newHeight))
        return false;

    // Each output row resamples the source rows of its own taps afresh, so
    // memory holds one row's taps whatever the image's height.
    const std::size_t stride = static_cast<std::size_t>(newWidth) * 3;
    for (int k = 0; k < vertical.taps; ++k)
        rows[k] = &sampled[k * stride];
    for (int y = 0; y < newHeight; ++y)
    {
        const int* taps = vertical.Taps(y);
        for (int k = 0; k < vertical.taps; ++k)
            ResampleRow(pixels + static_cast<std::size_t>(taps[k]) * m_width, horizontal, newWidth,
                        &sampled[k * stride]);
        CombineResampledRows(vertical, y, rows.data(), newWidth, sums.data(), line.data());

        if (!file.WriteAll(line.data(), line.size() * sizeof(RGB16)))
            return false;
        if (!progress.Report(y, newHeight))
            return false;
    }
    return true;
}

// --- Copies between images ---------------------------------------------------

void CRGBImage::CopyRectFrom(const CRect& src, const CRGBImage& source, const CRect& dst)
{
    if (&source == this || !m_pixels || !source.m_pixels)
        return;
    // Widths in 64 bits: a rectangle's corners may be anything a caller
    // computed, and right - left must not overflow.
    const long long srcW = static_cast<long long>(src.right) - src.left;
    const long long srcH = static_cast<long long>(src.bottom) - src.top;
    const long long dstW = static_cast<long long>(dst.right) - dst.left;
    const long long dstH = static_cast<long long>(dst.bottom) - dst.top;
    constexpr long long kMaxSide = 0x7FFFFFFF;
    if (srcW <= 0 || srcH <= 0 || dstW <= 0 || dstH <= 0 || srcW > kMaxSide || srcH > kMaxSide ||
        dstW > kMaxSide || dstH > kMaxSide)
        return;

    // Only the part of the destination inside this image is written.
    const long long x0 = std::max<long long>(dst.left, 0);
    const long long x1 = std::min<long long>(dst.right, m_width);
    const long long y0 = std::max<long long>(dst.top, 0);
    const long long y1 = std::min<long long>(dst.bottom, m_height);
    if (x0 >= x1 || y0 >= y1)
        return;

    // Destination column i (row g) of the rectangle takes the source column
    // left + (srcW * i) div dstW + (srcW div dstW) div 2: the start of the
    // source span it covers, moved to the span's middle when reducing. For
    // equal sizes this is left + i. A position outside the source image
    // takes the nearest edge pixel.
    const long long lastCol = source.m_width - 1;
    const long long lastRow = source.m_height - 1;
    auto sourceColumn = [&](long long x) {
        const long long i = x - dst.left;
        return std::clamp(src.left + (srcW * i) / dstW + (srcW / dstW) / 2, 0LL, lastCol);
    };
    auto sourceRow = [&](long long y) {
        const long long g = y - dst.top;
        return std::clamp(src.top + (srcH * g) / dstH + (srcH / dstH) / 2, 0LL, lastRow);
    };

    PixelLock lock(*this);
    RGB16* pixels = lock.Pixels();
    const RGB16* from = source.m_pixels.get();
    const std::size_t count = static_cast<std::size_t>(x1 - x0);

    // Equal widths with the whole span inside the source: plain row copies.
    const bool straight = srcW == dstW && src.left + (x0 - dst.left) >= 0 &&
                          src.left + (x1 - 1 - dst.left) <= lastCol;
    std::vector<int> columns;
    if (!straight)
    {
        columns.resize(count);
        for (std::size_t k = 0; k < count; ++k)
            columns[k] = static_cast<int>(sourceColumn(x0 + static_cast<long long>(k)));
    }
    const std::size_t firstColumn = straight ? static_cast<std::size_t>(sourceColumn(x0)) : 0;

    for (long long y = y0; y < y1; ++y)
    {
        const RGB16* in = from + static_cast<std::size_t>(sourceRow(y)) * source.m_width;
        RGB16* out = pixels + static_cast<std::size_t>(y) * m_width + static_cast<std::size_t>(x0);
        if (straight)
            std::copy_n(in + firstColumn, count, out);
        else
            for (std::size_t k = 0; k < count; ++k)
                out[k] = in[columns[k]];
    }
}

void CRGBImage::Resample(const CRGBImage& source)
{
    if (&source == this || !m_pixels || !source.m_pixels)
        return;
    PixelLock lock(*this);
    RGB16* pixels = lock.Pixels();
    const RGB16* from = source.m_pixels.get();
    const int sw = source.m_width;
    const int sh = source.m_height;
    if (sw == m_width && sh == m_height)
    {
        std::copy_n(from, GetPixelCount(), pixels);
        return;
    }

    // Bilinear: destination (j, i) samples the source at
    // (j / (dw / sw), i / (dh / sh)), between the four pixels around that
    // point (clamped to the last column and row), and rounds by adding 0.5.
    struct Tap
    {
        int a;
        int a1;
        double f;
    };
    std::vector<Tap> columns;
    try
    {
        columns.resize(static_cast<std::size_t>(m_width));
    }
    catch (const std::bad_alloc&)
    {
        return;
    }
    const double rx = static_cast<double>(m_width) / sw;
    for (int j = 0; j < m_width; ++j)
    {
        const double x = j / rx;
        const int a = static_cast<int>(ClampToInteger(x, 0, sw - 1));
        columns[j] = {a, std::min(a + 1, sw - 1), x - a};
    }
    const double ry = static_cast<double>(m_height) / sh;
    for (int i = 0; i < m_height; ++i)
    {
        const double y = i / ry;
        const int b = static_cast<int>(ClampToInteger(y, 0, sh - 1));
        const double fy = y - b;
        const double gy = 1.0 - fy;
        const RGB16* row0 = from + static_cast<std::size_t>(b) * sw;
        const RGB16* row1 = from + static_cast<std::size_t>(std::min(b + 1, sh - 1)) * sw;
        RGB16* out = pixels + static_cast<std::size_t>(i) * m_width;
        for (int j = 0; j < m_width; ++j)
        {
            const Tap& t = columns[j];
            const double fx = t.f;
            const double gx = 1.0 - fx;
            const RGB16& p00 = row0[t.a];
            const RGB16& p10 = row0[t.a1];
            const RGB16& p01 = row1[t.a];
            const RGB16& p11 = row1[t.a1];
            out[j].r = RoundToU16(gy * (gx * p00.r + fx * p10.r) + fy * (gx * p01.r + fx * p11.r));
            out[j].g = RoundToU16(gy * (gx * p00.g + fx * p10.g) + fy * (gx * p01.g + fx * p11.g));
            out[j].b = RoundToU16(gy * (gx * p00.b + fx * p10.b) + fy * (gx * p01.b + fx * p11.b));
        }
    }
}

// --- CDIBMemDC ---------------------------------------------------------------

CDIBMemDC::CDIBMemDC(const CRect& rect) : m_rect(rect)
{
    const long long width = static_cast<long long>(rect.right) - rect.left;
    const long long height = static_cast<long long>(rect.bottom) - rect.top;
    if (width <= 0 || height <= 0 || width > CRGBImage::kMaxDimension ||
        height > CRGBImage::kMaxDimension)
        return;
    m_bits.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(width * height * 4)]());
}
