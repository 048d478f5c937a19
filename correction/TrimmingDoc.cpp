#include "correction/TrimmingDoc.h"

#include "core/Clamp.h"
#include "core/ImageAccess.h"
#include "core/PathUtils.h"
#include "core/RGBImage.h"
#include "platform/Folders.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <iterator>
#include <new>
#include <unistd.h>

namespace {

constexpr double kMMPerInch = 25.4;

// The keys of the record, in the order they are written.
struct RecordKey
{
    std::string_view key;
    int CTrimmingDoc::TrimRecord::*member;
};
constexpr RecordKey kRecordKeys[] = {
    {"OrgWidth", &CTrimmingDoc::TrimRecord::OrgWidth},
    {"OrgHeight", &CTrimmingDoc::TrimRecord::OrgHeight},
    {"TrmPosX", &CTrimmingDoc::TrimRecord::TrmPosX},
    {"TrmPosY", &CTrimmingDoc::TrimRecord::TrmPosY},
    {"TrmWidth", &CTrimmingDoc::TrimRecord::TrmWidth},
    {"TrmHeight", &CTrimmingDoc::TrimRecord::TrmHeight},
    {"TrmRatioType", &CTrimmingDoc::TrimRecord::TrmRatioType},
    {"SizeMode", &CTrimmingDoc::TrimRecord::SizeMode},
    {"SizePixelWidth", &CTrimmingDoc::TrimRecord::SizePixelWidth},
    {"SizePixelHeight", &CTrimmingDoc::TrimRecord::SizePixelHeight},
    {"SizeMMWidth100", &CTrimmingDoc::TrimRecord::SizeMMWidth100},
    {"SizeMMHeight100", &CTrimmingDoc::TrimRecord::SizeMMHeight100},
    {"SizeDPI", &CTrimmingDoc::TrimRecord::SizeDPI},
    {"SizeRatioFix", &CTrimmingDoc::TrimRecord::SizeRatioFix},
};

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
    ProgressCallback callback;
    void* user;
    double low;
    double high;
    bool cancelled = false;

    bool Report(double fraction)
    {
        if (!callback)
            return true;
        if (callback(fraction * (high - low) + low, user) == 0)
            cancelled = true;
        return !cancelled;
    }
};

int ForwardPercent(double percent, void* context)
{
    return static_cast<PhaseProgress*>(context)->Report(percent / 100.0) ? 1 : 0;
}

int ForwardDoneTotal(int done, int total, void* context)
{
    const double fraction = total > 0 ? static_cast<double>(done) / total : 1.0;
    return static_cast<PhaseProgress*>(context)->Report(fraction) ? 1 : 0;
}

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
        std::string pattern = folder + "TRMXXXXXX.tmp";
        m_fd = ::mkostemps(pattern.data(), 4, O_CLOEXEC);
        if (m_fd >= 0)
            m_path = pattern;
    }
    ~TemporaryRawFile()
    {
        if (m_fd >= 0)
        {
            ::close(m_fd);
            ::unlink(m_path.c_str());
        }
    }
    TemporaryRawFile(const TemporaryRawFile&) = delete;
    TemporaryRawFile& operator=(const TemporaryRawFile&) = delete;

    int Fd() const { return m_fd; }

private:
    int m_fd = -1;
    std::string m_path;
};

// How one axis is resampled: the raw image writer's filter. Enlarging
// (new length >= source length, r = new / source): destination d sits at
// p = origin + d / r between a = floor(p) and a + 1, weights 1 - f and f,
// f = p - a. Reducing: each destination pixel covers s = 1 / r source
// pixels from c = floor(origin + d s); the odd window of n whole pixels
// centred on c weighs 1, the pixel just outside it on either side
// w = (s - n) / 2, so that the weights add up to s, and the sum is divided
// by s (for s = 2 the filter [1/4 1/2 1/4]). Positions clamp to the image.
struct AxisFilter
{
    bool enlarge = true;
    int taps = 2;
    double s = 1.0;
    double w = 0.0;
    std::vector<int> index;       // taps source positions per destination
    std::vector<double> fraction; // enlarging: the weight f of the second

    void Prepare(int origin, int sourceLength, int newLength, int imageLength)
    {
        // Whole source pixels a reduction averages at most (the writer's
        // own bound).
        constexpr int kMaxWindow = 1048576;
        const int last = imageLength - 1;
        const double r = static_cast<double>(newLength) / sourceLength;
        enlarge = r >= 1.0;
        if (enlarge)
        {
            taps = 2;
            index.resize(static_cast<std::size_t>(newLength) * 2);
            fraction.resize(static_cast<std::size_t>(newLength));
            for (int d = 0; d < newLength; ++d)
            {
                const double p = origin + d / r;
                const int a = static_cast<int>(ClampToInteger(p, 0, last));
                fraction[d] = p - a;
                index[2 * d] = a;
                index[2 * d + 1] = std::min(a + 1, last);
            }
            return;
        }
        s = 1.0 / r;
        const int whole = static_cast<int>(ClampToInteger(s, 1, kMaxWindow));
        const int n = 2 * ((whole - 1) / 2) + 1;
        const int half = n / 2;
        w = (s - n) * 0.5;
        taps = n + 2;
        index.resize(static_cast<std::size_t>(newLength) * taps);
        for (int d = 0; d < newLength; ++d)
        {
            const int c = static_cast<int>(ClampToInteger(origin + d * s, 0, last));
            int* out = &index[static_cast<std::size_t>(d) * taps];
            for (int k = -half; k <= half; ++k)
                *out++ = std::clamp(c + k, 0, last);
            *out++ = std::clamp(c - half - 1, 0, last);
            *out = std::clamp(c + half + 1, 0, last);
        }
    }

    const int* Taps(int d) const { return &index[static_cast<std::size_t>(d) * taps]; }
};

// One source row resampled horizontally: three doubles per destination
// column, summed in the writer's order so that the results agree bit for
// bit.
void FilterRow(const RGB16* row, const AxisFilter& h, int newWidth, double* out)
{
    if (h.enlarge)
    {
        const int* index = h.index.data();
        const double* fraction = h.fraction.data();
        for (int x = 0; x < newWidth; ++x, out += 3)
        {
            const RGB16& a = row[index[2 * x]];
            const RGB16& b = row[index[2 * x + 1]];
            const double f = fraction[x];
            const double g = 1.0 - f;
            out[0] = g * a.r + f * b.r;
            out[1] = g * a.g + f * b.g;
            out[2] = g * a.b + f * b.b;
        }
        return;
    }
    const int n = h.taps - 2;
    const double w = h.w;
    const double s = h.s;
    for (int x = 0; x < newWidth; ++x, out += 3)
    {
        const int* t = h.Taps(x);
        double r = 0.0;
        double g = 0.0;
        double b = 0.0;
        for (int k = 0; k < n; ++k)
        {
            const RGB16& p = row[t[k]];
            r += p.r;
            g += p.g;
            b += p.b;
        }
        const RGB16& e0 = row[t[n]];
        const RGB16& e1 = row[t[n + 1]];
        r += w * e0.r;
        g += w * e0.g;
        b += w * e0.b;
        r += w * e1.r;
        g += w * e1.g;
        b += w * e1.b;
        out[0] = r / s;
        out[1] = g / s;
        out[2] = b / s;
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Resampling

bool ResampleImageRect(CRGBImage& source, const CRect& rect, int newWidth, int newHeight,
                       CRGBImage& out, void* user, ProgressCallback callback)
{
    const int imageWidth = source.GetWidth();
    const int imageHeight = source.GetHeight();
    if (source.IsEmpty() || rect.IsRectEmpty() || rect.left < 0 || rect.top < 0 ||
        rect.right > imageWidth || rect.bottom > imageHeight || newWidth <= 0 || newHeight <= 0 ||
        newWidth > CRGBImage::kMaxDimension || newHeight > CRGBImage::kMaxDimension)
        return false;

    AxisFilter horizontal;
    AxisFilter vertical;
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
    const std::size_t stride = static_cast<std::size_t>(newWidth) * 3;
    bool memoryShort = false;

    // A band of output rows needs the source rows from its first row's
    // first tap to its last row's last tap; each is filtered horizontally
    // once into the band's scratch, then the rows are combined vertically.
    auto band = [&](int first, int end) {
        int low = imageHeight;
        int high = -1;
        for (int y = first; y < end; ++y)
        {
            const int* t = vertical.Taps(y);
            for (int k = 0; k < vertical.taps; ++k)
            {
                low = std::min(low, t[k]);
                high = std::max(high, t[k]);
            }
        }
        std::vector<double> filtered;
        std::vector<double> sums;
        try
        {
            filtered.resize(static_cast<std::size_t>(high - low + 1) * stride);
            sums.resize(vertical.enlarge ? 0 : stride);
        }
        catch (const std::bad_alloc&)
        {
            memoryShort = true; // read only after the bands have finished
            return;
        }
        for (int row = low; row <= high; ++row)
            FilterRow(pixels + static_cast<std::size_t>(row) * sourceStride, horizontal, newWidth,
                      &filtered[static_cast<std::size_t>(row - low) * stride]);

        const int n = vertical.taps - 2;
        for (int y = first; y < end; ++y)
        {
            const int* t = vertical.Taps(y);
            RGB16* line = target + static_cast<std::size_t>(y) * newWidth;
            if (vertical.enlarge)
            {
                const double f = vertical.fraction[y];
                const double g = 1.0 - f;
                const double* a = &filtered[static_cast<std::size_t>(t[0] - low) * stride];
                const double* b = &filtered[static_cast<std::size_t>(t[1] - low) * stride];
                for (int x = 0; x < newWidth; ++x, a += 3, b += 3)
                {
                    line[x].r = ClampToU16(g * a[0] + f * b[0]);
                    line[x].g = ClampToU16(g * a[1] + f * b[1]);
                    line[x].b = ClampToU16(g * a[2] + f * b[2]);
                }
                continue;
            }
            // Summed row by row into one accumulator line: every channel
            // still adds its terms in the writer's order (the whole pixels,
            // then the two edge pixels), and the loops run over contiguous
            // doubles.
            const double w = vertical.w;
            const double s = vertical.s;
            std::fill(sums.begin(), sums.end(), 0.0);
            double* acc = sums.data();
            for (int k = 0; k < n; ++k)
            {
                const double* row = &filtered[static_cast<std::size_t>(t[k] - low) * stride];
                for (std::size_t i = 0; i < stride; ++i)
                    acc[i] += row[i];
            }
            for (int e = n; e < n + 2; ++e)
            {
                const double* row = &filtered[static_cast<std::size_t>(t[e] - low) * stride];
                for (std::size_t i = 0; i < stride; ++i)
                    acc[i] += w * row[i];
            }
            for (int x = 0; x < newWidth; ++x, acc += 3)
            {
                line[x].r = ClampToU16(acc[0] / s);
                line[x].g = ClampToU16(acc[1] / s);
                line[x].b = ClampToU16(acc[2] / s);
            }
        }
    };
    const bool finished = RunRowBands(newHeight, user, callback, band);

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

CTrimmingDoc::CTrimmingDoc()
{
    Reset();
}

void CTrimmingDoc::Reset()
{
    CBaseDoc::Reset();
    m_setupResolution = -1;
    m_record = TrimRecord{};
}

std::unique_ptr<CBaseDoc> CTrimmingDoc::Clone() const
{
    return std::make_unique<CTrimmingDoc>(*this);
}

void CTrimmingDoc::Assign(const CBaseDoc& other)
{
    if (const auto* doc = dynamic_cast<const CTrimmingDoc*>(&other); doc && doc != this)
        *this = *doc;
}

bool CTrimmingDoc::IsEqual(const CBaseDoc& other) const
{
    const auto* doc = dynamic_cast<const CTrimmingDoc*>(&other);
    return doc && doc->m_record == m_record && doc->m_setupResolution == m_setupResolution;
}

bool CTrimmingDoc::LoadParams(const CParamFileReader& file)
{
    if (!CBaseDoc::LoadParams(file))
        return false;
    const std::string section = GetSectionName();
    const TrimRecord defaults;
    TrimRecord record;
    for (const RecordKey& key : kRecordKeys)
        record.*key.member = file.GetInt(section, key.key, defaults.*key.member);
    // A record belongs to an image the program can hold; one set up for a
    // larger image could only come from a damaged or forged file.
    const bool plausible = record.OrgWidth > 0 && record.OrgWidth <= CRGBImage::kMaxDimension &&
                           record.OrgHeight <= CRGBImage::kMaxDimension;
    m_record = plausible && IsValidTrimRecord(record) ? record : defaults;
    m_setupResolution = -1;
    return true;
}

bool CTrimmingDoc::SaveParams(CParamFileWriter& file) const
{
    if (!CBaseDoc::SaveParams(file))
        return false;
    CSaveDoc save(file);
    bool ok = true;
    for (const RecordKey& key : kRecordKeys)
        ok = save.WriteInt(key.key, m_record.*key.member) && ok;
    return ok;
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
    return MinTrimSize(m_record.OrgWidth);
}

int CTrimmingDoc::GetMinTrimHeight() const
{
    return MinTrimSize(m_record.OrgHeight);
}

int CTrimmingDoc::GetMaxTrimWidth() const
{
    return MaxTrimSize(m_record.OrgWidth);
}

int CTrimmingDoc::GetMaxTrimHeight() const
{
    return MaxTrimSize(m_record.OrgHeight);
}

double CTrimmingDoc::GetMinTrimWidthMM() const
{
    return MinTrimSizeToMM(m_record.OrgWidth, m_record.SizeDPI);
}

double CTrimmingDoc::GetMinTrimHeightMM() const
{
    return MinTrimSizeToMM(m_record.OrgHeight, m_record.SizeDPI);
}

double CTrimmingDoc::GetMaxTrimWidthMM() const
{
    return MaxTrimSizeToMM(m_record.OrgWidth, m_record.SizeDPI);
}

double CTrimmingDoc::GetMaxTrimHeightMM() const
{
    return MaxTrimSizeToMM(m_record.OrgHeight, m_record.SizeDPI);
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
    const bool changed = width != m_record.OrgWidth || height != m_record.OrgHeight;
    m_record.OrgWidth = width;
    m_record.OrgHeight = height;
    if (reset || changed)
    {
        m_record.TrmPosX = 0;
        m_record.TrmPosY = 0;
        m_record.TrmWidth = width;
        m_record.TrmHeight = height;
        m_record.TrmRatioType = kFreeRatioType;
    }
    if (reset || changed || m_record.SizePixelWidth == 0 || m_record.SizePixelHeight == 0)
    {
        m_setupResolution = resolution;
        m_record.SizeMode = 0;
        m_record.SizePixelWidth = width;
        m_record.SizePixelHeight = height;
        m_record.SizeDPI = resolution;
        m_record.SizeMMWidth100 =
            static_cast<int>(MMLimit100(width / static_cast<double>(resolution) * kMMPerInch));
        m_record.SizeMMHeight100 =
            static_cast<int>(MMLimit100(height / static_cast<double>(resolution) * kMMPerInch));
        m_record.SizeRatioFix = 1;
    }
    else if (m_setupResolution == -1)
    {
        m_setupResolution = resolution;
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
                                void* user, ProgressCallback callback,
                                std::vector<std::string>* details)
{
    const BatchSizeRequest request = sizeRequest ? *sizeRequest : BatchSizeRequest{};
    auto finish = [&] { return !callback || callback(100.0, user) != 0; };

    const bool enabled = IsStepEnabled();
    bool crop = enabled;
    if (request.sizeMode != 3 && !enabled)
        return finish();

    const int imageWidth = image.GetWidth();
    const int imageHeight = image.GetHeight();
    if (image.IsEmpty())
        return finish();
    if (crop && (imageWidth != m_record.OrgWidth || imageHeight != m_record.OrgHeight))
    {
        crop = false;
        if (details)
            details->push_back(
                SizeMismatchLine(m_record.OrgWidth, m_record.OrgHeight, imageWidth, imageHeight));
    }

    CRect source(0, 0, imageWidth, imageHeight);
    if (crop)
    {
        const CRect trim(m_record.TrmPosX, m_record.TrmPosY, m_record.TrmPosX + m_record.TrmWidth,
                         m_record.TrmPosY + m_record.TrmHeight);
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
        if (m_record.SizePixelWidth > 0 && m_record.SizePixelHeight > 0)
        {
            newWidth = m_record.SizePixelWidth;
            newHeight = m_record.SizePixelHeight;
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
    PhaseProgress resampling{callback, user, 0.0, 70.0};
    PhaseProgress reading{callback, user, 70.0, 100.0};
    CRGBImage spare;
    {
        TemporaryRawFile file;
        if (file.Fd() < 0)
            return false;
        {
            CRGBImage resized;
            if (!ResampleImageRect(image, source, newWidth, newHeight, resized, &resampling,
                                   callback ? ForwardPercent : nullptr))
                return false;
            if (!resized.WriteRaw(file.Fd()))
                return false;
        }
        int cancelled = 0;
        if (!spare.ReadRawChunked(file.Fd(), callback ? ForwardDoneTotal : nullptr, &reading,
                                  &cancelled))
            return false;
    }
    // The read reports only between chunks; the last word is 100, before
    // the image is replaced, so that a cancel still leaves it as it was.
    if (spare.GetWidth() != newWidth || spare.GetHeight() != newHeight || !reading.Report(1.0))
        return false;
    image = std::move(spare);
    return true;
}

bool CTrimmingDoc::ApplyRect(CAccessRGBImageByLab& source, const CRect* sourceRect,
                             CAccessRGBImageByLab* destination, const CRect* destinationRect,
                             void* user, ProgressCallback callback, int mode)
{
    if (mode != 2 || !destination)
        return CBaseDoc::ApplyRect(source, sourceRect, destination, destinationRect, user, callback,
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

    const CRect trim(m_record.TrmPosX, m_record.TrmPosY, m_record.TrmPosX + m_record.TrmWidth,
                     m_record.TrmPosY + m_record.TrmHeight);
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
            RGB16 pixel = from[columns[x]];
            // Outside the trimming rectangle the preview shows a quarter of
            // the brightness.
            if (!rowInside || !columnInside[x])
            {
                pixel.r = static_cast<std::uint16_t>(pixel.r >> 2);
                pixel.g = static_cast<std::uint16_t>(pixel.g >> 2);
                pixel.b = static_cast<std::uint16_t>(pixel.b >> 2);
            }
            to[x] = pixel;
        }
    }
    return true;
}
