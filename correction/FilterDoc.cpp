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

bool CFilterDoc::LoadParams(const CParamFileReader& file)
{
    if (!CBaseDoc::LoadParams(file))
        return false;
    ReadParams(file, kSection, GetParamTable(), m_params);
    return true;
}

bool CFilterDoc::SaveParams(CParamFileWriter& file) const
{
    if (!CBaseDoc::SaveParams(file))
        return false;
    CSaveDoc save(file);
    return WriteParams(save, GetParamTable(), m_params);
}

std::string CFilterDoc::GetSectionName() const
{
    return std::string(kSection);
}

bool CFilterDoc::PrepareApply(const CDNGTranspose*, CAccessRGBImageByLab&,
                              std::vector<std::string>*, double scale)
{
    m_prepared.previewScale = scale;
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

    FilterPrepared& p = m_prepared;
    p.kernel.clear();
    p.kernelMargins = CRect();
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
            p.kernel.push_back({dx, dy, weight});
            sum += weight;
            p.kernelMargins.left = std::min(p.kernelMargins.left, dx);
            p.kernelMargins.top = std::min(p.kernelMargins.top, dy);
            p.kernelMargins.right = std::max(p.kernelMargins.right, dx);
            p.kernelMargins.bottom = std::max(p.kernelMargins.bottom, dy);
        }
    }

    const int h = static_cast<int>(step) / 2;
    p.boxSpread = CRect(-h, -h, h + 1, h + 1);
    p.kernelMargins.left -= h;
    p.kernelMargins.top -= h;
    p.kernelMargins.right += h + 1;
    p.kernelMargins.bottom += h + 1;

    for (KernelSample& sample : p.kernel)
        sample.weight = sample.weight / sum * kPlaneToLightness;
}

void CFilterDoc::DropPlane()
{
    std::vector<std::uint16_t>().swap(m_prepared.plane);
    m_prepared.planeWidth = 0;
    m_prepared.planeHeight = 0;
    m_prepared.planeReady = false;
}

bool CFilterDoc::PreparePlane(CAccessRGBImageByLab& source, const CRect& sourceRegion, int width,
                              int height, double blurSize)
{
    BuildKernel(blurSize);
    FilterPrepared& p = m_prepared;
    const CRect& m = p.kernelMargins;
    const int planeWidth = width + m.right - m.left;
    const int planeHeight = height + m.bottom - m.top;
    try
    {
        p.plane.assign(static_cast<std::size_t>(planeWidth) * static_cast<std::size_t>(planeHeight),
                       0);
    }
    catch (const std::bad_alloc&)
    {
        DropPlane();
        return false;
    }
    p.planeWidth = planeWidth;
    p.planeHeight = planeHeight;

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
        std::uint16_t* cells = p.plane.data() + static_cast<std::size_t>(py) * planeWidth;
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
    p.planeReady = true;
    return true;
}

bool CFilterDoc::ApplyRect(CAccessRGBImageByLab& source, const CRect* sourceRect,
                           CAccessRGBImageByLab* destination, const CRect* destinationRect,
                           Progress progress, int mode)
{
    if (m_params.Radius == 0)
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
    const double s = std::sqrt(ratio) * m_prepared.previewScale * m_params.Radius / 10.0;
    if (!PreparePlane(source, src, dst.Width(), dst.Height(), s))
        return false;
    const bool result =
        CBaseDoc::ApplyRect(source, sourceRect, destination, destinationRect, progress, mode);
    DropPlane();
    return result;
}

bool CFilterDoc::Apply(CAccessRGBImageByLab& image, const CRect* rect, Progress progress, int) const
{
    if (m_params.Radius == 0)
        return true;
    const CRect region = rect ? *rect : CRect(0, 0, image.GetWidth(), image.GetHeight());
    if (!Inside(region, image.GetWidth(), image.GetHeight()))
        return false;
    if (region.IsRectEmpty())
        return true;
    const int width = region.Width();
    const int height = region.Height();

    const FilterPrepared& prepared = m_prepared;
    const CRect margins = prepared.kernelMargins;
    const int planeWidth = prepared.planeWidth;
    const int planeHeight = prepared.planeHeight;
    if (!prepared.planeReady || planeWidth != width + margins.right - margins.left ||
        planeHeight != height + margins.bottom - margins.top)
        return false;
    std::uint16_t* const plane = prepared.plane.data();
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
    const int h = -prepared.boxSpread.left;
    if (prepared.boxSpread.Width() >= 2)
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
    if (prepared.boxSpread.Height() >= 2)
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
    const std::vector<KernelSample>& samples = prepared.kernel;
    const double threshold = m_params.Threshold / 255.0 * 20.0;
    const int amount = m_params.Amount;
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
                    L = std::clamp(L + d * amount / 100.0, 0.0, 100.0);
                row[x] = kernel.FromLab(L, a, b);
            }
        }
    });
}
