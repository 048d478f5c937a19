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

// The box pre-filter's running mean of width w = 2h + 1 along one row of
// the plane in place, indices held at the row's ends. The sum is an exact
// integer and each mean its quotient, truncated; the mean reads the row's
// unfiltered copy (line, planeWidth cells), so no mean is built from values
// already averaged.
void BoxRow(std::uint16_t* cells, int planeWidth, int h, std::vector<std::uint16_t>& line)
{
    const double dw = 2 * h + 1;
    const int last = planeWidth - 1;
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

// The box pre-filter along the columns of the plane (planeWidth x
// planeHeight cells) in place, as BoxRow along the rows. False when progress
// asked to stop.
bool BoxColumns(std::uint16_t* plane, int planeWidth, int planeHeight, int h, Progress progress)
{
    const int w = 2 * h + 1;
    const double dw = w;
    PassProgress vertical{progress, 25.0, 0.25};
    return RunPass(planeWidth, vertical, [&](int begin, int end) {
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
    });
}

// The box pre-filter of the plane (planeWidth x planeHeight cells) in
// place: the running mean of width 2h + 1 (h = -spread.left) along the rows
// (BoxRow), then along the columns (BoxColumns). False when progress asked
// to stop.
bool BoxFilterPlane(std::uint16_t* plane, int planeWidth, int planeHeight, const CRect& spread,
                    Progress progress)
{
    const int h = -spread.left;
    if (spread.Width() >= 2)
    {
        PassProgress horizontal{progress, 12.5, 0.125};
        if (!RunPass(planeHeight, horizontal, [&](int begin, int end) {
                std::vector<std::uint16_t> line(static_cast<std::size_t>(planeWidth));
                for (int py = begin; py < end; ++py)
                    BoxRow(plane + static_cast<std::size_t>(py) * planeWidth, planeWidth, h, line);
            }))
            return false;
    }
    if (spread.Height() >= 2 && !BoxColumns(plane, planeWidth, planeHeight, h, progress))
        return false;
    return true;
}

// L* of the pixel moved away from the blurred lightness by Amount percent
// of their difference when it reaches the threshold; a* and b* kept.
RGB16 Sharpened(const CLabRowKernel& kernel, const RGB16& pixel, double blurred, double threshold,
                int amount)
{
    double L;
    double a;
    double b;
    kernel.ToLab(pixel, L, a, b);
    const double d = L - std::min(blurred, 100.0);
    if (std::fabs(d) >= threshold)
        L = std::clamp(L + d * amount / 100.0, 0.0, 100.0);
    return kernel.FromLab(L, a, b);
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

    // 2. and 3. The box pre-filter.
    if (!BoxFilterPlane(plane, planeWidth, planeHeight, prepared.boxSpread, progress))
        return false;

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
                row[x] = Sharpened(kernel, row[x], blurred[x], threshold, amount);
        }
    });
}

std::shared_ptr<const FilterLightness>
CFilterDoc::MakeSourceLightness(const CAccessRGBImageByLab& source)
{
    const int width = source.GetWidth();
    const int height = source.GetHeight();
    if (width <= 0 || height <= 0)
        return nullptr;
    try
    {
        auto lightness = std::make_shared<FilterLightness>();
        lightness->cells.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        lightness->width = width;
        lightness->height = height;
        const CLabRowKernel kernel(source);
        const RGB16* const pixels = source.StoredPixels(0, 0);
        std::uint16_t* const cells = lightness->cells.data();
        RunRowBands(height, {}, [&](int begin, int end) {
            const std::size_t from = static_cast<std::size_t>(begin) * width;
            const std::size_t to = static_cast<std::size_t>(end) * width;
            for (std::size_t i = from; i < to; ++i)
                cells[i] = PlaneValue(kernel.Lightness(pixels[i]));
        });
        return lightness;
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

bool CFilterDoc::ApplySamples(CAccessRGBImageByLab& source, std::span<const int> columns,
                              std::span<const int> rows, CAccessRGBImageByLab& destination,
                              Progress progress, const SampleRowsDone& done)
{
    if (m_params.Radius == 0 || columns.empty() || rows.empty())
        return CBaseDoc::ApplySamples(source, columns, rows, destination, progress, done);
    if (!SamplesFit(source, columns, rows, destination))
        return false;

    // The blur of the image at its own size over the pixels shown and their
    // neighbourhood; beyond the image its edge stands in, as when the whole
    // image is sharpened. Plane cell (px, py) stands for the image pixel
    // (region.left + margins.left + px, region.top + margins.top + py).
    BuildKernel(m_prepared.previewScale * m_params.Radius / 10.0);
    const FilterPrepared& prepared = m_prepared;
    const CRect margins = prepared.kernelMargins;
    const CRect region(columns.front(), rows.front(), columns.back() + 1, rows.back() + 1);
    const int planeWidth = region.Width() + margins.right - margins.left;
    const int planeHeight = region.Height() + margins.bottom - margins.top;
    const int sourceWidth = source.GetWidth();
    const int sourceHeight = source.GetHeight();
    // Cell px of a plane row reads source column base + px, held at the
    // image's first and last columns outside [inFirst, inEnd).
    const int base = region.left + margins.left;
    const int inFirst = std::clamp(-base, 0, planeWidth);
    const int inEnd = std::clamp(sourceWidth - base, inFirst, planeWidth);
    const CLabRowKernel kernel(source);
    const RGB16* const pixels = PixelRow(source, 0, 0);
    const auto sourceRow = [&](int y) {
        return pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(sourceWidth);
    };
    const std::vector<KernelSample>& samples = prepared.kernel;
    int dyLow = 0;
    int dyHigh = 0;
    for (const KernelSample& sample : samples)
    {
        dyLow = std::min(dyLow, sample.dy);
        dyHigh = std::max(dyHigh, sample.dy);
    }
    const int h = -prepared.boxSpread.left;
    const bool boxRows = prepared.boxSpread.Width() >= 2;
    const int boxHalf = prepared.boxSpread.Height() >= 2 ? h : 0;
    const double boxWidth = 2 * boxHalf + 1;
    const int lastPlaneRow = planeHeight - 1;
    const double threshold = m_params.Threshold / 255.0 * 20.0;
    const int amount = m_params.Amount;
    const std::size_t width = columns.size();
    const FilterLightness* const known = prepared.sourceLightness &&
                                                 prepared.sourceLightness->width == sourceWidth &&
                                                 prepared.sourceLightness->height == sourceHeight
                                             ? prepared.sourceLightness.get()
                                             : nullptr;

    // One band per row thread, each on its own rows of the pixels shown
    // from the lightness on: the plane rows they read (their box means
    // along the rows, then along the columns) and the sharpening. Bands
    // share only the rows of their neighbourhood, which each works out the
    // same; one set of bands per tile keeps the threads' hand-overs few.
    const int rowCount = static_cast<int>(rows.size());
    const int bandCount = std::clamp(GetRowThreadCount(), 1, rowCount);
    std::atomic<bool> failed{false};
    const auto work = [&](int, int band) {
        const int first = static_cast<int>(static_cast<std::int64_t>(band) * rowCount / bandCount);
        const int end =
            static_cast<int>(static_cast<std::int64_t>(band + 1) * rowCount / bandCount);
        if (first >= end || failed.load())
            return;
        // The plane rows of the box means the band's kernel reads, and the
        // rows of lightness those means read.
        const int boxTop = rows[first] - region.top - margins.top + dyLow;
        const int boxBottom = rows[end - 1] - region.top - margins.top + dyHigh;
        const int lightTop = std::max(boxTop - boxHalf, 0);
        const int lightBottom = std::min(boxBottom + boxHalf, lastPlaneRow);
        try
        {
            std::vector<std::uint16_t> light(static_cast<std::size_t>(lightBottom - lightTop + 1) *
                                             planeWidth);
            std::vector<std::uint16_t> line(boxRows ? static_cast<std::size_t>(planeWidth) : 0);
            const auto lightRow = [&](int py) {
                return light.data() + static_cast<std::size_t>(py - lightTop) * planeWidth;
            };
            for (int py = lightTop; py <= lightBottom; ++py)
            {
                const int sourceY = std::clamp(region.top + margins.top + py, 0, sourceHeight - 1);
                std::uint16_t* cells = lightRow(py);
                if (known)
                {
                    const std::uint16_t* from =
                        known->cells.data() +
                        static_cast<std::size_t>(sourceY) * static_cast<std::size_t>(sourceWidth);
                    std::fill(cells, cells + inFirst, from[0]);
                    std::copy(from + base + inFirst, from + base + inEnd, cells + inFirst);
                    std::fill(cells + inEnd, cells + planeWidth, from[sourceWidth - 1]);
                }
                else
                {
                    const RGB16* from = sourceRow(sourceY);
                    const std::uint16_t firstValue = PlaneValue(kernel.Lightness(from[0]));
                    const std::uint16_t lastValue =
                        PlaneValue(kernel.Lightness(from[sourceWidth - 1]));
                    std::fill(cells, cells + inFirst, firstValue);
                    for (int px = inFirst; px < inEnd; ++px)
                        cells[px] = PlaneValue(kernel.Lightness(from[base + px]));
                    std::fill(cells + inEnd, cells + planeWidth, lastValue);
                }
                if (boxRows)
                    BoxRow(cells, planeWidth, h, line);
            }

            // The box means along the columns, as BoxColumns makes them:
            // the sum over rows p - h .. p + h (held at the plane's first
            // and last rows), divided and truncated.
            // The blurred lightness the kernel reads: plane rows from
            // blurTop on.
            std::vector<std::uint16_t> boxed;
            const std::uint16_t* blurRows = light.data();
            int blurTop = lightTop;
            if (boxHalf > 0)
            {
                boxed.resize(static_cast<std::size_t>(boxBottom - boxTop + 1) * planeWidth);
                std::vector<std::int32_t> sums(static_cast<std::size_t>(planeWidth), 0);
                const auto held = [&](int q) { return lightRow(std::clamp(q, 0, lastPlaneRow)); };
                for (int q = boxTop - boxHalf; q <= boxTop + boxHalf; ++q)
                {
                    const std::uint16_t* v = held(q);
                    for (int c = 0; c < planeWidth; ++c)
                        sums[c] += v[c];
                }
                for (int p = boxTop; p <= boxBottom; ++p)
                {
                    if (p > boxTop)
                    {
                        const std::uint16_t* add = held(p + boxHalf);
                        const std::uint16_t* drop = held(p - boxHalf - 1);
                        for (int c = 0; c < planeWidth; ++c)
                            sums[c] += add[c] - drop[c];
                    }
                    std::uint16_t* out =
                        boxed.data() + static_cast<std::size_t>(p - boxTop) * planeWidth;
                    for (int c = 0; c < planeWidth; ++c)
                        out[c] = static_cast<std::uint16_t>(sums[c] / boxWidth);
                }
                blurRows = boxed.data();
                blurTop = boxTop;
            }

            // Only the pixels shown are sharpened, each summing the kernel's
            // samples in the same order as Apply does.
            std::vector<double> blurred(width);
            for (int j = first; j < end; ++j)
            {
                const int y = rows[j] - region.top;
                std::fill(blurred.begin(), blurred.end(), 0.0);
                for (const KernelSample& sample : samples)
                {
                    const std::uint16_t* cells =
                        blurRows +
                        static_cast<std::ptrdiff_t>(y - margins.top + sample.dy - blurTop) *
                            planeWidth;
                    const int shift = sample.dx - margins.left - region.left;
                    const double weight = sample.weight;
                    for (std::size_t i = 0; i < width; ++i)
                        blurred[i] += weight * cells[columns[i] + shift];
                }
                const RGB16* from = sourceRow(rows[j]);
                RGB16* to = PixelRow(destination, 0, j);
                for (std::size_t i = 0; i < width; ++i)
                    to[i] = Sharpened(kernel, from[columns[i]], blurred[i], threshold, amount);
            }
            if (done)
                done(first, end);
        }
        catch (const std::bad_alloc&)
        {
            failed.store(true);
        }
    };
    const bool finished = RunBands(bandCount, bandCount, work, [&](int band) {
        return !progress || progress.Report(100.0 * (band + 1) / bandCount);
    });
    return finished && !failed.load();
}
