#include "correction/FilterDoc.h"

#include "core/Clamp.h"
#include "core/ImageAccess.h"
#include "core/LabRowKernel.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>

namespace {

constexpr std::string_view kSection = CBaseDoc::kFilterSection;

constexpr IntParam kRadius{"Radius", 0, 0, 1000};
constexpr IntParam kAmount{"Amount", 50, 1, 500};
constexpr IntParam kThreshold{"Threshold", 0, 0, 255};

// The value of pi of the program's hue and kernel arithmetic.
constexpr double kPi = 3.14159265358;

// 1 / 655.35: a weighted sum of plane values is then L* directly.
constexpr double kPlaneToLightness = 0.0015259021896696422;

// The four passes of Apply share the progress range: own lightness up to
// 12.5 %, horizontal box 12.5..25, vertical box 25..50, sharpening 50..100.
// A pass reports through RunRowBands, whose per-row percent p
// (row / (rows - 1) x 100) this maps to offset + factor x p.
struct PassProgress
{
    Progress progress;
    double offset;
    double factor;
};

// One pass of Apply over count rows (or columns). A band that cannot get
// its scratch memory fails the pass: nothing may leave a band by an
// exception.
bool RunPass(int count, const PassProgress& pass, const std::function<void(int, int)>& band)
{
    std::atomic<bool> failed{false};
    const std::function<void(int, int)> guarded = [&](int begin, int end) {
        if (failed.load())
            return;
        try
        {
            band(begin, end);
        }
        catch (const std::bad_alloc&)
        {
            failed.store(true);
        }
    };
    ProgressFunction mapped([&pass](double percent) {
        return pass.progress.Report(pass.offset + pass.factor * percent);
    });
    const bool finished =
        RunRowBands(count, pass.progress ? Progress(mapped) : Progress(), guarded);
    return finished && !failed.load();
}

bool Inside(const CRect& rect, int width, int height)
{
    return rect.left >= 0 && rect.top >= 0 && rect.left <= rect.right && rect.top <= rect.bottom &&
           rect.right <= width && rect.bottom <= height;
}

std::uint16_t PlaneValue(double lightness)
{
    return ClampToU16(lightness * CFilterDoc::kLightnessScale);
}

} // namespace

CFilterDoc::CFilterDoc()
{
    CFilterDoc::Reset();
}

CFilterDoc::CFilterDoc(const CFilterDoc& other)
    : CBaseDoc(other), Radius(other.Radius), Amount(other.Amount), Threshold(other.Threshold)
{}

CFilterDoc& CFilterDoc::operator=(const CFilterDoc& other)
{
    if (this != &other)
    {
        CBaseDoc::operator=(other);
        Radius = other.Radius;
        Amount = other.Amount;
        Threshold = other.Threshold;
        DropPrepared();
    }
    return *this;
}

void CFilterDoc::Reset()
{
    CBaseDoc::Reset();
    Radius = kRadius.defaultValue;
    Amount = kAmount.defaultValue;
    Threshold = kThreshold.defaultValue;
    DropPrepared();
}

void CFilterDoc::DropPrepared()
{
    m_previewScale = 1.0;
    m_kernel.clear();
    m_kernelMargins = CRect();
    m_boxSpread = CRect();
    DropPlane();
}

std::unique_ptr<CBaseDoc> CFilterDoc::Clone() const
{
    return std::make_unique<CFilterDoc>(*this);
}

void CFilterDoc::Assign(const CBaseDoc& other)
{
    if (const auto* doc = dynamic_cast<const CFilterDoc*>(&other))
        *this = *doc;
}

bool CFilterDoc::IsEqual(const CBaseDoc& other) const
{
    const auto* doc = dynamic_cast<const CFilterDoc*>(&other);
    return doc && Radius == doc->Radius && Amount == doc->Amount && Threshold == doc->Threshold;
}

bool CFilterDoc::LoadParams(const CParamFileReader& file)
{
    if (!CBaseDoc::LoadParams(file))
        return false;
    Radius = file.GetInt(kSection, kRadius);
    Amount = file.GetInt(kSection, kAmount);
    Threshold = file.GetInt(kSection, kThreshold);
    return true;
}

bool CFilterDoc::SaveParams(CParamFileWriter& file) const
{
    if (!CBaseDoc::SaveParams(file))
        return false;
    CSaveDoc save(file);
    bool ok = save.WriteInt(kRadius.key, Radius);
    ok = save.WriteInt(kAmount.key, Amount) && ok;
    ok = save.WriteInt(kThreshold.key, Threshold) && ok;
    return ok;
}

std::string CFilterDoc::GetSectionName() const
{
    return std::string(kSection);
}

bool CFilterDoc::PrepareApply(const CDNGTranspose*, CAccessRGBImageByLab&,
                              std::vector<std::string>*, double scale)
{
    m_previewScale = scale;
    return true;
}

void CFilterDoc::GetTileSize(int& width, int& height) const
{
    width = kTileWidth;
    height = kTileHeight;
}

void CFilterDoc::BuildKernel(double s)
{
    s = std::isnan(s) ? kMinBlurSize : std::clamp(s, kMinBlurSize, kMaxBlurSize);

    const double a = 1.0 / (2.0 * s * s);
    const double n = a / kPi;
    // n exp(-r^2 a) = n / 20 at r^2 = -ln((n / 20) / n) / a = ln 20 / a.
    const double r = std::sqrt(-std::log((n / 20.0) / n) / a);
    const double R = std::max(r, 3.0);
    const double step = R / 3.0;

    m_kernel.clear();
    m_kernelMargins = CRect();
    double sum = 0.0;
    for (int i = 0; i < 7; ++i)
    {
        for (int j = 0; j < 7; ++j)
        {
            const int dy = static_cast<int>((i - 3) * step);
            const int dx = static_cast<int>((j - 3) * step);
            const int d2 = dx * dx + dy * dy;
            if (d2 > R * R)
                continue;
            const double weight = n * std::exp(-d2 * a);
            m_kernel.push_back({dx, dy, weight});
            sum += weight;
            m_kernelMargins.left = std::min(m_kernelMargins.left, dx);
            m_kernelMargins.top = std::min(m_kernelMargins.top, dy);
            m_kernelMargins.right = std::max(m_kernelMargins.right, dx);
            m_kernelMargins.bottom = std::max(m_kernelMargins.bottom, dy);
        }
    }

    const int h = static_cast<int>(step) / 2;
    m_boxSpread = CRect(-h, -h, h + 1, h + 1);
    m_kernelMargins.left -= h;
    m_kernelMargins.top -= h;
    m_kernelMargins.right += h + 1;
    m_kernelMargins.bottom += h + 1;

    for (KernelSample& sample : m_kernel)
        sample.weight = sample.weight / sum * kPlaneToLightness;
}

void CFilterDoc::DropPlane()
{
    std::vector<std::uint16_t>().swap(m_lightnessPlane);
    m_planeWidth = 0;
    m_planeHeight = 0;
    m_planeReady = false;
}

bool CFilterDoc::PreparePlane(CAccessRGBImageByLab& source, const CRect& sourceRegion, int width,
                              int height, double blurSize)
{
    BuildKernel(blurSize);
    const CRect& m = m_kernelMargins;
    const int planeWidth = width + m.right - m.left;
    const int planeHeight = height + m.bottom - m.top;
    try
    {
        m_lightnessPlane.assign(
            static_cast<std::size_t>(planeWidth) * static_cast<std::size_t>(planeHeight), 0);
    }
    catch (const std::bad_alloc&)
    {
        DropPlane();
        return false;
    }
    m_planeWidth = planeWidth;
    m_planeHeight = planeHeight;

    // The border: cells whose region position lies outside width x height
    // take the lightness of the source pixel that the base's nearest-pixel
    // sampling would give that position (beyond the image: its edge).
    const int sourceWidth = source.GetWidth();
    const int sourceHeight = source.GetHeight();
    std::vector<int> columns(static_cast<std::size_t>(planeWidth));
    for (int px = 0; px < planeWidth; ++px)
        columns[px] =
            SampleIndex(px + m.left, sourceRegion.left, sourceRegion.Width(), width, sourceWidth);
    const CLabRowKernel kernel(source);
    const RGB16* pixels = PixelRow(source, 0, 0);
    for (int py = 0; py < planeHeight; ++py)
    {
        const int y = py + m.top;
        const int row =
            SampleIndex(y, sourceRegion.top, sourceRegion.Height(), height, sourceHeight);
        const RGB16* from = pixels + static_cast<std::size_t>(row) * sourceWidth;
        std::uint16_t* cells = m_lightnessPlane.data() + static_cast<std::size_t>(py) * planeWidth;
        const bool borderRow = y < 0 || y >= height;
        for (int px = 0; px < planeWidth; ++px)
        {
            const int x = px + m.left;
            if (!borderRow && x == 0)
            {
                px = width - 1 - m.left; // skip the region's own cells
                continue;
            }
            cells[px] = PlaneValue(kernel.Lightness(from[columns[px]]));
        }
    }
    return true;
}

bool CFilterDoc::ApplyRect(CAccessRGBImageByLab& source, const CRect* sourceRect,
                           CAccessRGBImageByLab* destination, const CRect* destinationRect,
                           Progress progress, int mode)
{
    if (Radius == 0)
        return CBaseDoc::ApplyRect(source, sourceRect, destination, destinationRect, progress,
                                   mode);

    const CRect src = sourceRect ? *sourceRect : CRect(0, 0, source.GetWidth(), source.GetHeight());
    CRect dst = src;
    if (destination)
        dst = destinationRect ? *destinationRect
                              : CRect(0, 0, destination->GetWidth(), destination->GetHeight());
    // Rectangles outside their images and empty regions are the base's to
    // refuse or pass by.
    if (!Inside(src, source.GetWidth(), source.GetHeight()) || src.IsRectEmpty() ||
        dst.IsRectEmpty() ||
        (destination && !Inside(dst, destination->GetWidth(), destination->GetHeight())))
        return CBaseDoc::ApplyRect(source, sourceRect, destination, destinationRect, progress,
                                   mode);

    // The blur shrinks with the region when it is drawn smaller (and
    // grows when drawn larger), by the square root of the area ratio.
    const double ratio = (static_cast<double>(dst.Height()) * dst.Width()) /
                         (static_cast<double>(src.Height()) * src.Width());
    const double s = std::sqrt(ratio) * m_previewScale * Radius / 10.0;
    if (!PreparePlane(source, src, dst.Width(), dst.Height(), s))
        return false;
    m_planeReady = true;
    const bool result =
        CBaseDoc::ApplyRect(source, sourceRect, destination, destinationRect, progress, mode);
    DropPlane();
    return result;
}

bool CFilterDoc::Apply(CAccessRGBImageByLab& image, const CRect* rect, Progress progress, int)
{
    if (Radius == 0)
        return true;
    const CRect region = rect ? *rect : CRect(0, 0, image.GetWidth(), image.GetHeight());
    if (!Inside(region, image.GetWidth(), image.GetHeight()))
        return false;
    if (region.IsRectEmpty())
        return true;
    const int width = region.Width();
    const int height = region.Height();

    // Called on its own (not from ApplyRect), or for a region of another
    // size than the prepared one: the plane's border comes from this image.
    const bool own = !m_planeReady ||
                     m_planeWidth != width + m_kernelMargins.right - m_kernelMargins.left ||
                     m_planeHeight != height + m_kernelMargins.bottom - m_kernelMargins.top;
    if (own && !PreparePlane(image, region, width, height, m_previewScale * Radius / 10.0))
        return false;
    struct DropOwnPlane
    {
        CFilterDoc& doc;
        bool own;
        ~DropOwnPlane()
        {
            if (own)
                doc.DropPlane();
        }
    } dropOwnPlane{*this, own};

    const CRect margins = m_kernelMargins;
    const int planeWidth = m_planeWidth;
    const int planeHeight = m_planeHeight;
    std::uint16_t* const plane = m_lightnessPlane.data();
    const CLabRowKernel kernel(image);
    RGB16* const first = PixelRow(image, region.left, region.top);
    const std::size_t stride = static_cast<std::size_t>(image.GetWidth());

    // 1. The region's own lightness into the plane.
    PassProgress ownLightness{progress, 0.0, 0.125 * (height - 1) / height};
    if (!RunPass(height, ownLightness, [&](int begin, int end) {
            for (int y = begin; y < end; ++y)
            {
                const RGB16* row = first + static_cast<std::size_t>(y) * stride;
                std::uint16_t* cells = plane +
                                       static_cast<std::ptrdiff_t>(y - margins.top) * planeWidth -
                                       margins.left;
                for (int x = 0; x < width; ++x)
                    cells[x] = PlaneValue(kernel.Lightness(row[x]));
            }
        }))
        return false;

    // 2. and 3. The box pre-filter: a running mean of width w = 2h + 1 with
    // indices held at the plane's edges, along the rows, then along the
    // columns. The sums are exact integers and each mean is their quotient,
    // truncated; every pass reads an unfiltered copy of its line, so no
    // mean is built from values already averaged in the same pass.
    const int h = -m_boxSpread.left;
    if (m_boxSpread.Width() >= 2)
    {
        const int w = 2 * h + 1;
        const double dw = w;
        PassProgress horizontal{progress, 12.5, 0.125};
        if (!RunPass(planeHeight, horizontal, [&](int begin, int end) {
                std::vector<std::uint16_t> line(static_cast<std::size_t>(planeWidth));
                const int last = planeWidth - 1;
                for (int py = begin; py < end; ++py)
                {
                    std::uint16_t* cells = plane + static_cast<std::size_t>(py) * planeWidth;
                    std::copy(cells, cells + planeWidth, line.begin());
                    std::int32_t sum = h * line[0];
                    for (int i = 0; i <= h; ++i)
                        sum += line[std::min(i, last)];
                    cells[0] = static_cast<std::uint16_t>(sum / dw);
                    for (int x = 1; x < planeWidth; ++x)
                    {
                        sum += line[std::min(x + h, last)] - line[std::max(x - h - 1, 0)];
                        cells[x] = static_cast<std::uint16_t>(sum / dw);
                    }
                }
            }))
            return false;
    }
    if (m_boxSpread.Height() >= 2)
    {
        const int w = 2 * h + 1;
        const double dw = w;
        PassProgress vertical{progress, 25.0, 0.25};
        if (!RunPass(planeWidth, vertical, [&](int begin, int end) {
                // The band's columns, walked down row by row together.
                const int bandWidth = end - begin;
                const int last = planeHeight - 1;
                std::vector<std::uint16_t> copy(static_cast<std::size_t>(bandWidth) * planeHeight);
                std::vector<std::int32_t> sums(static_cast<std::size_t>(bandWidth));
                auto original = [&](int py) {
                    return copy.data() + static_cast<std::size_t>(py) * bandWidth;
                };
                auto cells = [&](int py) {
                    return plane + static_cast<std::size_t>(py) * planeWidth + begin;
                };
                for (int py = 0; py < planeHeight; ++py)
                    std::copy(cells(py), cells(py) + bandWidth, original(py));
                const std::uint16_t* top = original(0);
                for (int c = 0; c < bandWidth; ++c)
                    sums[c] = h * top[c];
                for (int i = 0; i <= h; ++i)
                {
                    const std::uint16_t* v = original(std::min(i, last));
                    for (int c = 0; c < bandWidth; ++c)
                        sums[c] += v[c];
                }
                for (int py = 0; py < planeHeight; ++py)
                {
                    if (py > 0)
                    {
                        const std::uint16_t* add = original(std::min(py + h, last));
                        const std::uint16_t* drop = original(std::max(py - h - 1, 0));
                        for (int c = 0; c < bandWidth; ++c)
                            sums[c] += add[c] - drop[c];
                    }
                    std::uint16_t* out = cells(py);
                    for (int c = 0; c < bandWidth; ++c)
                        out[c] = static_cast<std::uint16_t>(sums[c] / dw);
                }
            }))
            return false;
    }

    // 4. Sharpening. The kernel's offsets lie within the plane's margins,
    // so no sample index needs clamping for a pixel of the region.
    const std::vector<KernelSample>& samples = m_kernel;
    const double threshold = Threshold / 255.0 * 20.0;
    PassProgress sharpen{progress, 50.0, 0.5};
    return RunPass(height, sharpen, [&](int begin, int end) {
        std::vector<double> blurred(static_cast<std::size_t>(width));
        for (int y = begin; y < end; ++y)
        {
            std::fill(blurred.begin(), blurred.end(), 0.0);
            for (const KernelSample& sample : samples)
            {
                const std::uint16_t* cells =
                    plane + static_cast<std::ptrdiff_t>(y - margins.top + sample.dy) * planeWidth +
                    (sample.dx - margins.left);
                const double weight = sample.weight;
                double* acc = blurred.data();
                for (int x = 0; x < width; ++x)
                    acc[x] += weight * cells[x];
            }
            RGB16* row = first + static_cast<std::size_t>(y) * stride;
            for (int x = 0; x < width; ++x)
            {
                double L;
                double a;
                double b;
                kernel.ToLab(row[x], L, a, b);
                const double d = L - std::min(blurred[x], 100.0);
                if (std::fabs(d) >= threshold)
                    L = std::clamp(L + d * Amount / 100.0, 0.0, 100.0);
                row[x] = kernel.FromLab(L, a, b);
            }
        }
    });
}
