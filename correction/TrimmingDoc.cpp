#include "correction/TrimmingDoc.h"

#include "core/Clamp.h"
#include "core/ImageAccess.h"
#include "core/PathUtils.h"
#include "core/RGBImage.h"
#include "core/Resample.h"
#include "core/TempFiles.h"
#include "platform/Folders.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <new>
#include <vector>

namespace {

constexpr double kMMPerInch = 25.4;

// Width : height pairs of the ratio types 0 to 8.
struct PaperPair
{
    int width;
    int height;
};
constexpr PaperPair kPaperPairs[] = {
    {841, 1189}, {1189, 841}, {100, 143}, {143, 100}, {100, 148},
    {148, 100},  {3, 4},      {9, 16},    {1, 1},
};

// round(value) as the document rounds sizes: add 0.5 and truncate, into the
// range of an image side.
int RoundSide(double value)
{
    return static_cast<int>(ClampToInteger(value + 0.5, 0, CRGBImage::kMaxDimension));
}

// The hundredths of a millimetre of a limit, truncated.
long long MMLimit100(double mm)
{
    return ClampToInteger(mm * 100.0, -2147483648LL, 2147483647LL);
}

// The batch log's line for an image whose size is not the one the record
// was set up for (string 1026 of the string table), at most 255 bytes.
std::string SizeMismatchLine(int orgWidth, int orgHeight, int width, int height)
{
    char line[256];
    std::snprintf(line, sizeof line,
                  "トリミング設定時の画像サイズ (%d x %d) と画像のサイズ (%d x %d) が異なるため、"
                  "トリミングは行いませんでした。",
                  orgWidth, orgHeight, width, height);
    return line;
}

// Maps the progress of one phase into [low, high] percent of the step.
struct PhaseProgress
{
    Progress progress;
    double low;
    double high;

    bool Report(double fraction) const { return progress.Report(fraction * (high - low) + low); }
};

// A temporary file in the program's temporary folder ("TRM" and a unique
// part, ".tmp" so that the start-up clean-up finds a leftover), removed
// with the object.
class TemporaryRawFile
{
public:
    TemporaryRawFile()
    {
        const std::string folder = GetAppTempFolder();
        if (!platform::EnsureFolder(folder))
            return;
        m_file = OpenTempFile("TRM", m_path, ".tmp", folder);
    }
    ~TemporaryRawFile()
    {
        if (m_file.IsOpen())
        {
            m_file.Close();
            std::remove(m_path.c_str());
        }
    }
    TemporaryRawFile(const TemporaryRawFile&) = delete;
    TemporaryRawFile& operator=(const TemporaryRawFile&) = delete;

    platform::File& Get() { return m_file; }

private:
    platform::File m_file;
    std::string m_path;
};

} // namespace

// ---------------------------------------------------------------------------
// Resampling

bool ResampleImageRect(CRGBImage& source, const CRect& rect, int newWidth, int newHeight,
                       CRGBImage& out, Progress progress)
{
    const int imageWidth = source.GetWidth();
    const int imageHeight = source.GetHeight();
    if (source.IsEmpty() || rect.IsRectEmpty() || rect.left < 0 || rect.top < 0 ||
        rect.right > imageWidth || rect.bottom > imageHeight || newWidth <= 0 || newHeight <= 0 ||
        newWidth > CRGBImage::kMaxDimension || newHeight > CRGBImage::kMaxDimension)
        return false;

    ResampleAxis horizontal;
    ResampleAxis vertical;
    try
    {
        horizontal.Prepare(rect.left, rect.Width(), newWidth, imageWidth);
        vertical.Prepare(rect.top, rect.Height(), newHeight, imageHeight);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    if (!out.Create(newWidth, newHeight))
        return false;

    const bool wasLocked = source.IsLocked();
    const RGB16* pixels = source.Lock();
    RGB16* target = out.Lock();
    const std::size_t sourceStride = static_cast<std::size_t>(imageWidth);
    // Set by any band that runs short of memory (bands may fail at once on
    // several threads); read after they have all finished.
    std::atomic<bool> memoryShort{false};

    // A band of output rows needs the source rows from its first row's
    // first tap to its last row's last tap; each is filtered horizontally
    // once into the band's scratch, then the rows are combined vertically.
    auto band = [&](int first, int end) {
        if (!ResampleRows(pixels, sourceStride, horizontal, vertical, newWidth, first, end,
                          target + static_cast<std::size_t>(first) * newWidth,
                          static_cast<std::size_t>(newWidth)))
            memoryShort = true;
    };
    const bool finished = RunRowBands(newHeight, progress, band);

    out.Unlock();
    if (!wasLocked)
        source.Unlock();
    if (!finished || memoryShort)
    {
        out.Create(0, 0);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// CTrimmingDoc

bool CTrimmingDoc::LoadParams(const CParamFileReader& file)
{
    if (!CBaseDoc::LoadParams(file))
        return false;
    const TrimmingParams defaults = DefaultParams();
    TrimmingParams record = defaults;
    ReadParams(file, GetSectionName(), GetParamTable(), record);
    // A record belongs to an image the program can hold; one set up for a
    // larger image could only come from a damaged or forged file.
    const bool plausible = record.OrgWidth > 0 && record.OrgWidth <= CRGBImage::kMaxDimension &&
                           record.OrgHeight <= CRGBImage::kMaxDimension;
    m_params = plausible && IsValidTrimRecord(record) ? record : defaults;
    m_params.SetupResolution = -1;
    return true;
}

bool CTrimmingDoc::SaveParams(CParamFileWriter& file) const
{
    if (!CBaseDoc::SaveParams(file))
        return false;
    CSaveDoc save(file);
    return WriteParams(save, GetParamTable(), m_params);
}

std::string CTrimmingDoc::GetSectionName() const
{
    return std::string(kTrimmingSection);
}

int CTrimmingDoc::MinTrimSize(int size)
{
    return size >= 1 && size < kMinTrimSide ? size : kMinTrimSide;
}

int CTrimmingDoc::MaxTrimSize(int size)
{
    return size > kMaxOutputSide ? size : kMaxOutputSide;
}

double CTrimmingDoc::MinTrimSizeToMM(int size, int resolution)
{
    return resolution > 0 ? MinTrimSize(size) / static_cast<double>(resolution) * kMMPerInch : 0.0;
}

double CTrimmingDoc::MaxTrimSizeToMM(int size, int resolution)
{
    return resolution > 0 ? MaxTrimSize(size) / static_cast<double>(resolution) * kMMPerInch : 0.0;
}

int CTrimmingDoc::GetMinTrimWidth() const
{
    return MinTrimSize(m_params.OrgWidth);
}

int CTrimmingDoc::GetMinTrimHeight() const
{
    return MinTrimSize(m_params.OrgHeight);
}

int CTrimmingDoc::GetMaxTrimWidth() const
{
    return MaxTrimSize(m_params.OrgWidth);
}

int CTrimmingDoc::GetMaxTrimHeight() const
{
    return MaxTrimSize(m_params.OrgHeight);
}

double CTrimmingDoc::GetMinTrimWidthMM() const
{
    return MinTrimSizeToMM(m_params.OrgWidth, m_params.SizeDPI);
}

double CTrimmingDoc::GetMinTrimHeightMM() const
{
    return MinTrimSizeToMM(m_params.OrgHeight, m_params.SizeDPI);
}

double CTrimmingDoc::GetMaxTrimWidthMM() const
{
    return MaxTrimSizeToMM(m_params.OrgWidth, m_params.SizeDPI);
}

double CTrimmingDoc::GetMaxTrimHeightMM() const
{
    return MaxTrimSizeToMM(m_params.OrgHeight, m_params.SizeDPI);
}

bool CTrimmingDoc::GetPaperSizeMM(int& width, int& height, int ratioType)
{
    if (ratioType < 0 || ratioType >= static_cast<int>(std::size(kPaperPairs)))
        return false;
    width = kPaperPairs[ratioType].width;
    height = kPaperPairs[ratioType].height;
    return true;
}

bool CTrimmingDoc::IsValidTrimRecord(const TrimRecord& r)
{
    const int w = r.OrgWidth;
    const int h = r.OrgHeight;
    if (h < 1)
        return false;
    if (r.TrmPosX < 0 || r.TrmPosX >= w || r.TrmPosY < 0 || r.TrmPosY >= h)
        return false;
    if (r.TrmWidth < std::min(w, kMinTrimSide) || r.TrmWidth > w - r.TrmPosX ||
        r.TrmHeight < std::min(h, kMinTrimSide) || r.TrmHeight > h - r.TrmPosY)
        return false;
    if (r.TrmRatioType < 0 || r.TrmRatioType > kMaxRatioType || r.SizeMode < 0 || r.SizeMode > 1 ||
        r.SizeDPI < kMinDPI || r.SizeDPI > kMaxDPI)
        return false;
    if (r.SizePixelWidth < MinTrimSize(w) || r.SizePixelWidth > MaxTrimSize(w) ||
        r.SizePixelHeight < MinTrimSize(h) || r.SizePixelHeight > MaxTrimSize(h))
        return false;
    const int dpi = r.SizeDPI;
    return r.SizeMMWidth100 >= MMLimit100(MinTrimSizeToMM(w, dpi)) &&
           r.SizeMMWidth100 <= MMLimit100(MaxTrimSizeToMM(w, dpi)) &&
           r.SizeMMHeight100 >= MMLimit100(MinTrimSizeToMM(h, dpi)) &&
           r.SizeMMHeight100 <= MMLimit100(MaxTrimSizeToMM(h, dpi));
}

void CTrimmingDoc::SetOriginalSize(bool reset, int width, int height, int resolution)
{
    if (resolution <= 0)
        resolution = 300;
    const bool changed = width != m_params.OrgWidth || height != m_params.OrgHeight;
    m_params.OrgWidth = width;
    m_params.OrgHeight = height;
    if (reset || changed)
    {
        m_params.TrmPosX = 0;
        m_params.TrmPosY = 0;
        m_params.TrmWidth = width;
        m_params.TrmHeight = height;
        m_params.TrmRatioType = kFreeRatioType;
    }
    if (reset || changed || m_params.SizePixelWidth == 0 || m_params.SizePixelHeight == 0)
    {
        m_params.SetupResolution = resolution;
        m_params.SizeMode = 0;
        m_params.SizePixelWidth = width;
        m_params.SizePixelHeight = height;
        m_params.SizeDPI = resolution;
        m_params.SizeMMWidth100 =
            static_cast<int>(MMLimit100(width / static_cast<double>(resolution) * kMMPerInch));
        m_params.SizeMMHeight100 =
            static_cast<int>(MMLimit100(height / static_cast<double>(resolution) * kMMPerInch));
        m_params.SizeRatioFix = 1;
    }
    else if (m_params.SetupResolution == -1)
    {
        m_params.SetupResolution = resolution;
    }
}

void CTrimmingDoc::FitIntoBox(int w, int h, int boxWidth, int boxHeight, int& outWidth,
                              int& outHeight)
{
    outWidth = w;
    outHeight = h;
    if (w <= 0 || h <= 0 || (boxWidth >= w && boxHeight >= h))
        return;
    outHeight = boxHeight;
    outWidth = RoundSide(static_cast<double>(w) * boxHeight / h);
    if (outWidth > boxWidth)
    {
        outWidth = boxWidth;
        outHeight = RoundSide(static_cast<double>(h) * boxWidth / w);
    }
    // A very flat or very tall image may round a side to nothing.
    outWidth = std::max(outWidth, 1);
    outHeight = std::max(outHeight, 1);
}

bool CTrimmingDoc::ProcessImage(CRGBImage& image, const CPow1by3Table*, const CStdMatrix&,
                                const CDNGTranspose*, double, const BatchSizeRequest* sizeRequest,
                                Progress progress, std::vector<std::string>* details)
{
    const BatchSizeRequest request = sizeRequest ? *sizeRequest : BatchSizeRequest{};
    auto finish = [&] { return progress.Report(100.0); };

    const bool enabled = IsStepEnabled();
    bool crop = enabled;
    if (request.sizeMode != 3 && !enabled)
        return finish();

    const int imageWidth = image.GetWidth();
    const int imageHeight = image.GetHeight();
    if (image.IsEmpty())
        return finish();
    if (crop && (imageWidth != m_params.OrgWidth || imageHeight != m_params.OrgHeight))
    {
        crop = false;
        if (details)
            details->push_back(
                SizeMismatchLine(m_params.OrgWidth, m_params.OrgHeight, imageWidth, imageHeight));
    }

    CRect source(0, 0, imageWidth, imageHeight);
    if (crop)
    {
        const CRect trim(m_params.TrmPosX, m_params.TrmPosY, m_params.TrmPosX + m_params.TrmWidth,
                         m_params.TrmPosY + m_params.TrmHeight);
        // A record edited into something outside the image crops nothing.
        if (!trim.IsRectEmpty() && trim.left >= 0 && trim.top >= 0 && trim.right <= imageWidth &&
            trim.bottom <= imageHeight)
            source = trim;
    }

    const int w = source.Width();
    const int h = source.Height();
    int newWidth = w;
    int newHeight = h;
    if (request.sizeMode == 1)
    {
        if (m_params.SizePixelWidth > 0 && m_params.SizePixelHeight > 0)
        {
            newWidth = m_params.SizePixelWidth;
            newHeight = m_params.SizePixelHeight;
        }
    }
    else if (request.sizeMode == 3)
    {
        FitIntoBox(w, h, request.width, request.height, newWidth, newHeight);
    }

    if (source == CRect(0, 0, imageWidth, imageHeight) && newWidth == imageWidth &&
        newHeight == imageHeight)
        return finish();

    // Resample (0..70 %), write to a temporary raw file and read it back into
    // a spare image (70..100 %): the working image is replaced only once
    // the whole new image is in memory.
    PhaseProgress resampling{progress, 0.0, 70.0};
    PhaseProgress reading{progress, 70.0, 100.0};
    ProgressFunction resamplingRows(
        [&](double percent) { return resampling.Report(percent / 100.0); });
    ProgressFunction readingRows([&](std::int64_t done, std::int64_t total) {
        return reading.Report(CountFraction(done, total));
    });
    CRGBImage spare;
    {
        TemporaryRawFile file;
        if (!file.Get().IsOpen())
            return false;
        {
            CRGBImage resized;
            if (!ResampleImageRect(image, source, newWidth, newHeight, resized,
                                   progress ? Progress(resamplingRows) : Progress()))
                return false;
            if (!resized.WriteRaw(file.Get()))
                return false;
        }
        if (!spare.ReadRawChunked(file.Get(), progress ? Progress(readingRows) : Progress()))
            return false;
    }
    // The read reports only between chunks; the last word is 100, before
    // the image is replaced, so that a cancel still leaves it as it was.
    if (spare.GetWidth() != newWidth || spare.GetHeight() != newHeight || !reading.Report(1.0))
        return false;
    image = std::move(spare);
    return true;
}

namespace {

// Outside the trimming rectangle the preview shows a quarter of the
// brightness.
RGB16 DarkenedOutside(RGB16 pixel)
{
    pixel.r = static_cast<std::uint16_t>(pixel.r >> 2);
    pixel.g = static_cast<std::uint16_t>(pixel.g >> 2);
    pixel.b = static_cast<std::uint16_t>(pixel.b >> 2);
    return pixel;
}

} // namespace

bool CTrimmingDoc::ApplySamples(CAccessRGBImageByLab& source, std::span<const int> columns,
                                std::span<const int> rows, CAccessRGBImageByLab& destination,
                                Progress progress, const SampleRowsDone& done)
{
    if (!SamplesFit(source, columns, rows, destination))
        return false;
    CopySamples(source, columns, rows, destination);
    const int width = static_cast<int>(columns.size());
    if (width == 0)
        return true;
    const CRect trim(m_params.TrmPosX, m_params.TrmPosY, m_params.TrmPosX + m_params.TrmWidth,
                     m_params.TrmPosY + m_params.TrmHeight);
    return RunRowBands(static_cast<int>(rows.size()), progress, [&](int first, int end) {
        for (int j = first; j < end; ++j)
        {
            const bool rowInside = rows[j] >= trim.top && rows[j] < trim.bottom;
            RGB16* pixels = PixelRow(destination, 0, j);
            for (int i = 0; i < width; ++i)
            {
                if (!rowInside || columns[i] < trim.left || columns[i] >= trim.right)
                    pixels[i] = DarkenedOutside(pixels[i]);
            }
        }
        if (done)
            done(first, end);
    });
}

bool CTrimmingDoc::ApplyRect(CAccessRGBImageByLab& source, const CRect* sourceRect,
                             CAccessRGBImageByLab* destination, const CRect* destinationRect,
                             Progress progress, int mode)
{
    if (mode != 2 || !destination)
        return CBaseDoc::ApplyRect(source, sourceRect, destination, destinationRect, progress,
                                   mode);

    const CRect src = sourceRect ? *sourceRect : CRect(0, 0, source.GetWidth(), source.GetHeight());
    const CRect dst = destinationRect
                          ? *destinationRect
                          : CRect(0, 0, destination->GetWidth(), destination->GetHeight());
    auto inside = [](const CRect& r, int width, int height) {
        return r.left >= 0 && r.top >= 0 && r.left <= r.right && r.top <= r.bottom &&
               r.right <= width && r.bottom <= height;
    };
    if (!inside(src, source.GetWidth(), source.GetHeight()) ||
        !inside(dst, destination->GetWidth(), destination->GetHeight()))
        return false;
    if (src.IsRectEmpty() || dst.IsRectEmpty())
        return true;

    const CRect trim(m_params.TrmPosX, m_params.TrmPosY, m_params.TrmPosX + m_params.TrmWidth,
                     m_params.TrmPosY + m_params.TrmHeight);
    const int width = dst.Width();
    std::vector<int> columns(static_cast<std::size_t>(width));
    std::vector<char> columnInside(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x)
    {
        columns[x] = SampleIndex(x, src.left, src.Width(), width, source.GetWidth());
        columnInside[x] = columns[x] >= trim.left && columns[x] < trim.right;
    }
    const RGB16* base = PixelRow(source, 0, 0);
    const std::size_t stride = static_cast<std::size_t>(source.GetWidth());
    for (int y = 0; y < dst.Height(); ++y)
    {
        const int row = SampleIndex(y, src.top, src.Height(), dst.Height(), source.GetHeight());
        const bool rowInside = row >= trim.top && row < trim.bottom;
        const RGB16* from = base + static_cast<std::size_t>(row) * stride;
        RGB16* to = PixelRow(*destination, dst.left, dst.top + y);
        for (int x = 0; x < width; ++x)
        {
            const RGB16 pixel = from[columns[x]];
            to[x] = rowInside && columnInside[x] ? pixel : DarkenedOutside(pixel);
        }
    }
    return true;
}
