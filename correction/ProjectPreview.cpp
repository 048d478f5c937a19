// The project's services to the image view, the step panels and printing:
// before and after previews of the visible part of the working image,
// colour measurements from rectangles of it, histograms, display images of
// whole images, the reaction to monitor-profile changes, and the entry
// points of printing.
//
// Display conversion. Every image shown goes one way from the working
// image (linear RGB in the image's input primaries) to monitor bytes: with
// UseOsCmm = 1 through the converter's LittleCMS transform, otherwise
// through the input-to-output matrix M_io = M_out^-1 M_in and the monitor's
// inverse tone tables. Where a colour-conversion LUT belongs to the image it
// follows as a second transform. DisplayConversionOf picks the path once per
// image; the previews, the display images and the index print's preview
// cells all use it, so the same pixels always give the same bytes.
//
// Print copies. What a printer gets never goes through the monitor's
// gamut: the print copy is the linear working image itself (or an entry
// developed the same way), labelled with the input profile's linear
// colour-space record, which describes those pixels exactly; printing
// converts it to the printer's profile or to sRGB.
//
// Threads. MakeDisplayImageOf and DevelopImageForPrint also run on the
// shell's cache threads. They load into images of their own, build a
// converter of their own (no LUT folder: it loads nothing and reports
// nothing), read the project's profiles and LUT transforms only (the
// transforms carry no pixel cache, so they may convert on several threads),
// and copy the step documents they apply under the document lock.

#include "correction/ProjectManage.h"

#include "core/ByteLChImage.h"
#include "core/Clamp.h"
#include "core/ColorDisplay.h"
#include "core/ImageAccess.h"
#include "core/ImageEx.h"
#include "core/LabRowKernel.h"
#include "core/MessageSink.h"
#include "core/ProfileStore.h"
#include "core/RowBands.h"
#include "core/UseOsCmm.h"
#include "core/VectorState.h"
#include "imagefile/ImageLoadSave.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace {

// What one display conversion reads; see the top of the file.
struct DisplayConversion
{
    const CRGBMatrix* matrix = nullptr;
    const CRGBGammaTable* tables = nullptr;
    const CColorTransform* transform = nullptr;
};

// The display conversion of a converter as UseOsCmm chooses it now. Without
// a transform the program's own path stands in, so that linear pixels are
// never shown as they are.
DisplayConversion DisplayConversionOf(const CColorConverter& converter)
{
    if (UseOsCmm.load() == 1)
    {
        if (const CColorTransform* transform = converter.GetTransform())
            return {nullptr, nullptr, transform};
    }
    return {&converter.GetInputToOutputMatrix(), &converter.GetOutputInverseTRC(), nullptr};
}

// Whole-image conversion into display (same size), on every hardware thread.
bool ConvertWholeImage(CRGBImage& image, CImageEx& display, const DisplayConversion& conversion,
                       const CColorTransform* lut)
{
    const CRect whole(0, 0, image.GetWidth(), image.GetHeight());
    return CopyRectConvertedParallel(image, display, whole, whole, conversion.matrix,
                                     conversion.tables, conversion.transform, lut);
}

// A new display image of the image's size converted from it; null when it
// cannot be made.
std::unique_ptr<CImageEx> MakeConvertedImage(CRGBImage& image, const DisplayConversion& conversion,
                                             const CColorTransform* lut)
{
    if (image.IsEmpty())
        return nullptr;
    auto display = std::make_unique<CImageEx>();
    if (!display->Create(image.GetWidth(), image.GetHeight()))
        return nullptr;
    if (!ConvertWholeImage(image, *display, conversion, lut))
        return nullptr;
    return display;
}

// The rectangle scaled by num / den on each axis with integer division
// (left and right by the widths, top and bottom by the heights); the
// rectangle itself when a denominator is not positive.
CRect ScaleRect(const CRect& in, int numWidth, int denWidth, int numHeight, int denHeight)
{
    if (denWidth <= 0 || denHeight <= 0)
        return in;
    const auto scale = [](int v, int num, int den) {
        return static_cast<int>(static_cast<long long>(v) * num / den);
    };
    return CRect(scale(in.left, numWidth, denWidth), scale(in.top, numHeight, denHeight),
                 scale(in.right, numWidth, denWidth), scale(in.bottom, numHeight, denHeight));
}

// Preview pixels to working-image pixels: the ratio of the image's size to
// the preview's.
void MapPreviewToImage(const CImageEx* preview, const CRGBImage& image, const CRect& in, CRect& out)
{
    if (!preview || preview->IsNull() || image.IsEmpty())
    {
        out = in;
        return;
    }
    out = ScaleRect(in, image.GetWidth(), preview->GetWidth(), image.GetHeight(),
                    preview->GetHeight());
}

// Working-image pixels to preview pixels.
void MapImageToPreview(const CImageEx* preview, const CRGBImage& image, const CRect& in, CRect& out)
{
    if (!preview || preview->IsNull() || image.IsEmpty())
    {
        out = in;
        return;
    }
    out = ScaleRect(in, preview->GetWidth(), image.GetWidth(), preview->GetHeight(),
                    image.GetHeight());
}

CRect Intersect(const CRect& a, const CRect& b)
{
    return CRect(std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                 std::min(a.bottom, b.bottom));
}

// White: every channel at its maximum.
constexpr RGB16 kWhite{65535, 65535, 65535};

// Keeps the preview when it has the rectangle's size, else replaces it by a
// new white one.
bool MakeWhitePreview(std::unique_ptr<CImageEx>& preview, const CRect& rect, int* created)
{
    if (created)
        *created = 0;
    if (preview && !preview->IsNull() && preview->GetWidth() == rect.Width() &&
        preview->GetHeight() == rect.Height())
        return true;
    preview.reset();
    auto image = std::make_unique<CImageEx>();
    if (rect.IsRectEmpty() || !image->Create(rect.Width(), rect.Height()))
        return false;
    FillDIB(*image, kWhite);
    preview = std::move(image);
    if (created)
        *created = 1;
    return true;
}

// The mean XYZ of every pixel of the image through the RGB-to-XYZ matrix.
CCIEXYZ AverageXYZ(CRGBImage& pixels, const CStdMatrix& rgbToXyz)
{
    CAccessRGBImageByXYZ access(pixels, rgbToXyz);
    double sum[3] = {0.0, 0.0, 0.0};
    CCIEXYZ xyz;
    for (int y = 0; y < access.GetHeight(); ++y)
    {
        for (int x = 0; x < access.GetWidth(); ++x)
        {
            access.GetXYZAt(x, y, xyz);
            sum[0] += xyz[0];
            sum[1] += xyz[1];
            sum[2] += xyz[2];
        }
    }
    const double n = static_cast<double>(pixels.GetPixelCount());
    if (n <= 0.0)
        return CCIEXYZ();
    return CCIEXYZ(sum[0] / n, sum[1] / n, sum[2] / n);
}

// One image row of XYZ patch values as linear RGB through the inverse of
// the RGB-to-XYZ matrix (clamped to 16 bits). False for no patches.
bool MakePatchImage(const std::vector<CCIEXYZ>& patches, const CStdMatrix& rgbToXyz,
                    CRGBImage& image)
{
    if (patches.empty() || !image.Create(static_cast<int>(patches.size()), 1))
        return false;
    CAccessRGBImageByXYZ access(image, rgbToXyz);
    for (std::size_t i = 0; i < patches.size(); ++i)
    {
        RGB16 px{};
        access.GetXYZToRGB().XYZToPixel(px, patches[i]);
        access.SetPixel(static_cast<int>(i), 0, px);
    }
    return true;
}

// Prepares a document on the image and applies it to the whole image.
bool PrepareAndApply(CBaseDoc& doc, CRGBImage& image, const CStdMatrix& rgbToXyz,
                     const CDNGTranspose* raw)
{
    CAccessRGBImageByLab access(image, nullptr, rgbToXyz);
    if (!doc.PrepareApply(raw, access, nullptr, 1.0))
        return false;
    return doc.ApplyRect(access, nullptr, nullptr, nullptr, {}, 1);
}

bool HasInputMatrix(const CStdMatrix& matrix)
{
    return matrix.GetRows() == 3;
}

// Loads an entry apart from the project: a copy of the record (the list's
// entry is not written), the converter's input tone tables, no matrix (the
// working image keeps the input primaries), no converter progress window.
bool LoadEntryApart(const CImageFileInfo& entry, const CColorConverter& converter, CRGBImage& image,
                    Progress progress, CImageFileInfo* loaded)
{
    CImageFileInfo record(entry);
    CancelWatch watch(progress);
    const int result =
        LoadImage(record, image, &converter.GetInputTRC(), nullptr, watch.Watched(), false);
    if (result != 1 || watch.Cancelled() || image.IsEmpty())
        return false;
    if (loaded)
        *loaded = std::move(record);
    return true;
}

// Counts the display counter up for its lifetime.
class DisplayBuildScope
{
public:
    explicit DisplayBuildScope(std::atomic<int>& counter) : m_counter(counter) { ++m_counter; }
    ~DisplayBuildScope() { --m_counter; }
    DisplayBuildScope(const DisplayBuildScope&) = delete;
    DisplayBuildScope& operator=(const DisplayBuildScope&) = delete;

private:
    std::atomic<int>& m_counter;
};

// Draws the rows of a tile's worked pixels (width x height, pixels of the
// working image each) into the part of the preview that shows them, each
// row converted once: destination column k shows pixel column k x width /
// dw, destination row i pixel row i x height / dh. Rows may be drawn from
// several threads at once, each destination row by the one drawing the
// pixel row it shows.
class ShownRows
{
public:
    ShownRows(CImageEx& preview, const CRect& destination, const CReadRGBImage& reader, int width,
              int height)
        : m_preview(preview), m_destination(destination), m_reader(reader), m_width(width),
          m_height(height), m_columnOf(static_cast<std::size_t>(destination.Width()))
    {
        for (int k = 0; k < destination.Width(); ++k)
            m_columnOf[static_cast<std::size_t>(k)] = NearestIndex(k, width, destination.Width());
    }

    // Pixel rows [first, end), whose pixels start at pixels (rows packed).
    void Draw(const RGB16* pixels, int first, int end) const
    {
        const int shownWidth = m_destination.Width();
        std::vector<RGB16> converted(static_cast<std::size_t>(m_width));
        std::vector<RGB16> line(static_cast<std::size_t>(shownWidth));
        int convertedRow = -1;
        for (int i = FirstShowing(first); i < FirstShowing(end); ++i)
        {
            const int j = NearestIndex(i, m_height, m_destination.Height());
            if (j != convertedRow)
            {
                m_reader.ConvertPixels(pixels + static_cast<std::size_t>(j) * m_width,
                                       converted.data(), converted.size());
                for (std::size_t k = 0; k < line.size(); ++k)
                    line[k] = converted[static_cast<std::size_t>(m_columnOf[k])];
                convertedRow = j;
            }
            CopyRGB16ToDIBLine(m_preview, line.data(), shownWidth, m_destination.top + i,
                               m_destination.left);
        }
    }

private:
    // The first destination row that shows pixel row `row` or one below it:
    // ceil(row x dh / height).
    int FirstShowing(int row) const
    {
        const std::int64_t n = static_cast<std::int64_t>(row) * m_destination.Height();
        return static_cast<int>((n + m_height - 1) / m_height);
    }

    CImageEx& m_preview;
    const CRect m_destination;
    const CReadRGBImage& m_reader;
    const int m_width;
    const int m_height;
    std::vector<int> m_columnOf;
};

} // namespace

// ---- Index printing's cache size ---------------------------------------

void CalcIndexCacheSize(int& outHeight, int& outWidth, int width, int height)
{
    constexpr int kSide = 512;
    if (width <= 0 || height <= 0)
    {
        outHeight = 0;
        outWidth = 0;
        return;
    }
    if (width <= kSide || height <= kSide)
    {
        outHeight = height;
        outWidth = width;
        return;
    }
    if (width >= height)
    {
        outWidth = kSide;
        outHeight = static_cast<int>(static_cast<long long>(height) * kSide / width);
    }
    else
    {
        outHeight = kSide;
        outWidth = static_cast<int>(static_cast<long long>(width) * kSide / height);
    }
}

// ---- The unprocessed view ----------------------------------------------

// Snapshot 0 of a RAW image holds the camera's undeveloped values, so
// whatever shows or measures the unprocessed image develops its pixels with
// the default development first.
bool CProjectManage::ApplyUnprocessedView(CRGBImage& pixels)
{
    const CDNGTranspose* raw = GetRawData();
    if (m_compareMode != kCompareBefore || !raw || pixels.IsEmpty())
        return true;
    CDNGParamDoc development;
    CAccessRGBImageByLab access(pixels, nullptr, GetWorkingMatrix());
    development.PrepareApply(raw, access, nullptr, 1.0);
    return development.Apply(access, nullptr, {}, 1);
}

bool CProjectManage::TakeRectPixels(const CRect& rect, bool throughPreviewDoc, CRGBImage& pixels)
{
    if (m_workingImage.IsEmpty() || m_workingImage.IsLocked())
        return false;
    const CRect inside =
        Intersect(rect, CRect(0, 0, m_workingImage.GetWidth(), m_workingImage.GetHeight()));
    if (inside.IsRectEmpty() || !pixels.Create(inside.Width(), inside.Height()))
        return false;
    CopyWorkingRect(inside, pixels, throughPreviewDoc);
    return true;
}

void CProjectManage::CopyWorkingRect(const CRect& inside, CRGBImage& pixels, bool throughPreviewDoc)
{
    const CRect whole(0, 0, pixels.GetWidth(), pixels.GetHeight());
    if (throughPreviewDoc && m_previewDoc)
    {
        CAccessRGBImageByLab source(m_workingImage, nullptr, GetWorkingMatrix());
        CAccessRGBImageByLab destination(pixels, nullptr, GetWorkingMatrix());
        m_previewDoc->ApplyRect(source, &inside, &destination, &whole, {}, 2);
    }
    else
    {
        pixels.CopyRectFrom(inside, m_workingImage, whole);
    }
}

// ---- Previews of the image view ----------------------------------------

bool CProjectManage::MakePreview(std::unique_ptr<CImageEx>& preview, const CRect& rect,
                                 int* created)
{
    int made = 0;
    if (!MakeWhitePreview(preview, rect, &made))
    {
        if (created)
            *created = 0;
        return false;
    }
    if (made != 0)
    {
        made = kPreviewWhite;
        if (m_previewSeed)
        {
            StretchDIB(*m_previewSeed, *preview);
            made = kPreviewFirstLook;
        }
    }
    if (created)
        *created = made;
    return true;
}

bool CProjectManage::MakeBeforePreview(const CRect& rect, int* created)
{
    return MakePreview(m_beforePreview, rect, created);
}

bool CProjectManage::MakeAfterPreview(const CRect& rect, int* created)
{
    return MakePreview(m_afterPreview, rect, created);
}

void CProjectManage::ClearAfterPreview()
{
    if (m_afterPreview && !m_afterPreview->IsNull())
        FillDIB(*m_afterPreview, kWhite);
}

void CProjectManage::DeletePreviews()
{
    m_beforePreview.reset();
    m_afterPreview.reset();
}

// A tile of the working image, reduced by the factor f (one sample per
// f x f pixels, the size rounded up), is converted for display into the
// part of the preview that shows it.
//
// At full resolution the preview pixel (k, i) of the tile's destination
// shows the working-image pixel (left + k x w / dw, top + i x h / dh) of
// the tile's w x h pixels drawn into dw x dh: only those pixels are read
// and converted, straight from the working image and on every hardware
// thread, rather than the whole tile copied first. A panel's preview
// document and the default development of an unprocessed RAW image work on
// those pixels alone too: a step that works pixel by pixel on each of them
// as it is gathered, in the same row bands as the conversion
// (RenderWorkedPixels); any other step through its ApplySamples, which
// gives what it makes of each of them in its place (the sharpening from the
// pixel's neighbourhood at full resolution), so that the picture is that of
// the whole image worked out and then reduced. Each pixel converts on its
// own, so the picture depends neither on the path nor on the thread count.
//
// The coarse pass (f > 1) samples the tile as CopyRectFrom reduces it
// (SampleIndex) and applies the document to those pixels, as a quick
// stand-in until the full pass comes; a step that is not pixel by pixel
// gets the reduced tile through its ApplyRect.
bool CProjectManage::RenderPreview(CImageEx* preview, const CRect& rect, int factor, bool after)
{
    // The pixel loops below (and the libraries they call) run at full speed
    // only with the vector unit's upper state clear.
    ClearUpperVectorState();
    if (m_workingImage.IsEmpty() || m_workingImage.IsLocked())
        return false;
    if (!preview || preview->IsNull() || factor < 1)
        return false;
    const CRect inside =
        Intersect(rect, CRect(0, 0, m_workingImage.GetWidth(), m_workingImage.GetHeight()));
    if (inside.IsRectEmpty())
        return false;

    CRect destination;
    MapImageToPreview(preview, m_workingImage, inside, destination);
    destination = Intersect(destination, CRect(0, 0, preview->GetWidth(), preview->GetHeight()));
    if (destination.IsRectEmpty())
        return false;

    const DisplayConversion conversion = DisplayConversionOf(*this);
    const CColorTransform* lut = after && m_lutIndex >= 1
                                     ? GetLUTTransform(static_cast<std::size_t>(m_lutIndex - 1))
                                     : nullptr;
    const bool throughDoc = after && m_previewDoc;
    const bool develops = m_compareMode == kCompareBefore && GetRawData() != nullptr;
    if (!throughDoc && !develops)
    {
        if (factor == 1)
            return CopyRectConvertedParallel(m_workingImage, *preview, inside, destination,
                                             conversion.matrix, conversion.tables,
                                             conversion.transform, lut);
        CRGBImage pixels;
        if (!pixels.Create((factor + inside.Width() - 1) / factor,
                           (factor + inside.Height() - 1) / factor))
            return false;
        CopyWorkingRect(inside, pixels, false);
        return pixels.CopyRectConverted(
            *preview, CRect(0, 0, pixels.GetWidth(), pixels.GetHeight()), destination,
            conversion.matrix, conversion.tables, {}, conversion.transform, lut);
    }
    if (!throughDoc || m_previewDoc->WorksPixelByPixel())
        return RenderWorkedPixels(*preview, inside, destination, factor, throughDoc, lut);

    if (factor == 1 && !develops)
        return RenderShownSamples(*preview, inside, destination, lut);
    CRGBImage pixels;
    if (!pixels.Create((factor + inside.Width() - 1) / factor,
                       (factor + inside.Height() - 1) / factor))
        return false;
    // A coarse tile is small work all through: its conversion for display
    // too stays on this thread.
    const ScopedRowThreads threads(IsSmallWork(pixels.GetWidth(), pixels.GetHeight()) ? 1 : 0);
    CopyWorkingRect(inside, pixels, true);
    ApplyUnprocessedView(pixels);
    const CRect reduced(0, 0, pixels.GetWidth(), pixels.GetHeight());
    return CopyRectConvertedParallel(pixels, *preview, reduced, destination, conversion.matrix,
                                     conversion.tables, conversion.transform, lut);
}

bool CProjectManage::RenderWorkedPixels(CImageEx& preview, const CRect& inside,
                                        const CRect& destination, int factor, bool throughDoc,
                                        const CColorTransform* lut)
{
    // The working-image pixels of the picture: at full resolution those
    // the destination shows, one each (ShownPositions); reduced, those
    // CopyRectFrom samples.
    std::vector<int> columns;
    std::vector<int> rows;
    if (factor == 1)
    {
        ShownPositions(inside.left, inside.Width(), destination.Width(), columns);
        ShownPositions(inside.top, inside.Height(), destination.Height(), rows);
    }
    else
    {
        const auto sampled = [factor](int start, int length, int limit, std::vector<int>& out) {
            out.resize(static_cast<std::size_t>((factor + length - 1) / factor));
            for (std::size_t i = 0; i < out.size(); ++i)
                out[i] = CBaseDoc::SampleIndex(static_cast<int>(i), start, length,
                                               static_cast<int>(out.size()), limit);
        };
        sampled(inside.left, inside.Width(), m_workingImage.GetWidth(), columns);
        sampled(inside.top, inside.Height(), m_workingImage.GetHeight(), rows);
    }
    const int width = static_cast<int>(columns.size());
    const int height = static_cast<int>(rows.size());
    CRGBImage pixels;
    if (!pixels.Create(width, height))
        return false;

    CAccessRGBImageByLab access(pixels, nullptr, GetWorkingMatrix());
    const CBaseDoc* doc = throughDoc ? m_previewDoc.get() : nullptr;
    CDNGParamDoc development;
    const bool develops = m_compareMode == kCompareBefore && GetRawData() != nullptr;
    if (develops)
        development.PrepareApply(GetRawData(), access, nullptr, 1.0);
    const DisplayConversion conversion = DisplayConversionOf(*this);
    const CReadRGBImage reader(pixels, conversion.tables, conversion.matrix, conversion.transform,
                               lut);

    const ShownRows shown(preview, destination, reader, width, height);
    const RGB16* working = m_workingImage.GetPixels();
    const std::size_t stride = static_cast<std::size_t>(m_workingImage.GetWidth());
    std::atomic<bool> applied{true};
    const ScopedRowThreads threads(IsSmallWork(width, height) ? 1 : 0);
    RunRowBands(height, {}, [&](int first, int end) {
        // The step's own row loops run inside this band.
        const ScopedRowThreads inside(1);
        for (int j = first; j < end; ++j)
        {
            const RGB16* from =
                working + static_cast<std::size_t>(rows[static_cast<std::size_t>(j)]) * stride;
            RGB16* to = access.StoredPixels(0, j);
            for (int c = 0; c < width; ++c)
                to[c] = from[columns[static_cast<std::size_t>(c)]];
        }
        const CRect band(0, first, width, end);
        bool ok = doc == nullptr || doc->Apply(access, &band, {}, 2);
        if (develops)
            ok = development.Apply(access, &band, {}, 1) && ok;
        if (!ok)
            applied.store(false);
        shown.Draw(access.StoredPixels(0, 0), first, end);
    });
    return applied.load();
}

// The distinct working-image positions that a destination of `shown`
// pixels shows of `length` pixels from `start` (as CopyRectConvertedParallel
// picks them): min(length, shown) positions start + c x length / min(length,
// shown). Drawn into the destination by the nearest pixel they give each
// destination pixel its own working-image pixel.
void CProjectManage::ShownPositions(int start, int length, int shown, std::vector<int>& positions)
{
    const int count = std::min(length, shown);
    positions.resize(static_cast<std::size_t>(std::max(count, 0)));
    for (int c = 0; c < count; ++c)
        positions[static_cast<std::size_t>(c)] = start + NearestIndex(c, length, count);
}

bool CProjectManage::RenderShownSamples(CImageEx& preview, const CRect& inside,
                                        const CRect& destination, const CColorTransform* lut)
{
    std::vector<int> columns;
    std::vector<int> rows;
    ShownPositions(inside.left, inside.Width(), destination.Width(), columns);
    ShownPositions(inside.top, inside.Height(), destination.Height(), rows);
    const int width = static_cast<int>(columns.size());
    const int height = static_cast<int>(rows.size());
    CRGBImage pixels;
    if (!pixels.Create(width, height))
        return false;
    CAccessRGBImageByLab source(m_workingImage, nullptr, GetWorkingMatrix());
    CAccessRGBImageByLab worked(pixels, nullptr, GetWorkingMatrix());
    const DisplayConversion conversion = DisplayConversionOf(*this);
    const CReadRGBImage reader(pixels, conversion.tables, conversion.matrix, conversion.transform,
                               lut);
    const ShownRows shown(preview, destination, reader, width, height);
    const RGB16* first = worked.StoredPixels(0, 0);
    if (auto* filter = dynamic_cast<CFilterDoc*>(m_previewDoc.get());
        filter != nullptr && filter->GetParams().Radius != 0)
    {
        filter->UseSourceLightness(nullptr);
        filter->UseSourceLightness(WorkingLightness(source));
    }
    return m_previewDoc->ApplySamples(source, columns, rows, worked, {},
                                      [&](int begin, int end) { shown.Draw(first, begin, end); });
}

std::shared_ptr<const FilterLightness>
CProjectManage::WorkingLightness(const CAccessRGBImageByLab& source)
{
    const std::array<double, 9> matrix = MatrixCoefficients(GetWorkingMatrix());
    const KeptLightness& kept = m_workingLightness;
    if (kept.lightness && kept.generation == m_workingGeneration &&
        kept.pixels == m_workingImage.GetPixels() &&
        kept.lightness->width == m_workingImage.GetWidth() &&
        kept.lightness->height == m_workingImage.GetHeight() && kept.matrix == matrix)
        return kept.lightness;
    // The old lightness goes before the new one is made: the two are never
    // held together.
    m_workingLightness = KeptLightness();
    std::shared_ptr<const FilterLightness> lightness = CFilterDoc::MakeSourceLightness(source);
    if (lightness)
        m_workingLightness = {lightness, m_workingGeneration, m_workingImage.GetPixels(), matrix};
    return lightness;
}

// Work of fewer pixels than this (a coarse tile) costs less on one thread
// than handing it out to the others.
bool CProjectManage::IsSmallWork(int width, int height)
{
    constexpr std::int64_t kSmallPixels = 2048;
    return static_cast<std::int64_t>(width) * height < kSmallPixels;
}

bool CProjectManage::RenderBeforePreview(const CRect& rect, int factor)
{
    return RenderPreview(m_beforePreview.get(), rect, factor, false);
}

bool CProjectManage::RenderAfterPreview(const CRect& rect, int factor)
{
    return RenderPreview(m_afterPreview.get(), rect, factor, true);
}

void CProjectManage::MapBeforePreviewRect(const CRect& in, CRect& out) const
{
    MapPreviewToImage(m_beforePreview.get(), m_workingImage, in, out);
}

void CProjectManage::MapAfterPreviewRect(const CRect& in, CRect& out) const
{
    MapPreviewToImage(m_afterPreview.get(), m_workingImage, in, out);
}

void CProjectManage::ReverseMapBeforePreviewRect(const CRect& in, CRect& out) const
{
    MapImageToPreview(m_beforePreview.get(), m_workingImage, in, out);
}

void CProjectManage::ReverseMapAfterPreviewRect(const CRect& in, CRect& out) const
{
    MapImageToPreview(m_afterPreview.get(), m_workingImage, in, out);
}

bool CProjectManage::DrawPreview(const CRect& rect, IPreviewCanvas& canvas,
                                 const CRect& destination)
{
    CRect source;
    if (m_compareMode == kCompareBefore)
    {
        if (!m_beforePreview || m_beforePreview->IsNull())
            return true;
        ReverseMapBeforePreviewRect(rect, source);
        canvas.DrawImage(*m_beforePreview, source, destination);
    }
    else if (m_compareMode == kCompareAfter)
    {
        if (!m_afterPreview || m_afterPreview->IsNull())
            return true;
        ReverseMapAfterPreviewRect(rect, source);
        canvas.DrawImage(*m_afterPreview, source, destination);
    }
    return true;
}

// ---- The first look of an image being loaded ---------------------------

// The reduced picture goes the previews' way to the display: the LUT of the
// image only where the after preview is shown.
void CProjectManage::TakeFirstLook(CRGBImage& reduced, int width, int height)
{
    if (width < 1 || height < 1)
        return;
    const CColorTransform* lut =
        m_compareMode != kCompareBefore && m_lutIndex >= 1
            ? GetLUTTransform(static_cast<std::size_t>(m_lutIndex - 1))
            : nullptr;
    m_firstLook = MakeConvertedImage(reduced, DisplayConversionOf(*this), lut);
    if (!m_firstLook)
        return;
    m_firstLookWidth = width;
    m_firstLookHeight = height;
    if (m_imageView != nullptr)
        m_imageView->ShowFirstLook();
}

bool CProjectManage::DrawFirstLook(const CRect& rect, IPreviewCanvas& canvas,
                                   const CRect& destination)
{
    if (!m_firstLook || m_firstLook->IsNull())
        return false;
    canvas.DrawImage(*m_firstLook,
                     ScaleRect(rect, m_firstLook->GetWidth(), m_firstLookWidth,
                               m_firstLook->GetHeight(), m_firstLookHeight),
                     destination);
    return true;
}

// ---- Measuring ---------------------------------------------------------

bool CProjectManage::PickAverageXYZ(const CRect& rect, CCIEXYZ& out)
{
    CRGBImage pixels;
    if (!TakeRectPixels(rect, false, pixels))
        return false;
    ApplyUnprocessedView(pixels);
    out = AverageXYZ(pixels, GetWorkingMatrix());
    return true;
}

bool CProjectManage::PickAverageLab(const CRect& rect, CCIELab& out, int flag)
{
    CRGBImage pixels;
    const bool through = flag == 0 && m_compareMode == kCompareAfter && m_previewDoc;
    if (!TakeRectPixels(rect, through, pixels))
        return false;
    ApplyUnprocessedView(pixels);
    CAccessRGBImageByLab access(pixels, nullptr, GetWorkingMatrix());
    access.GetAverageLab(CRect(0, 0, pixels.GetWidth(), pixels.GetHeight()), out);
    return true;
}

bool CProjectManage::PickAverageRGB(const CRect& rect, RGB16& out)
{
    CRGBImage pixels;
    const bool through = m_compareMode == kCompareAfter && m_previewDoc;
    if (!TakeRectPixels(rect, through, pixels))
        return false;
    ApplyUnprocessedView(pixels);
    CReadRGBImage reader(pixels, &GetOutputInverseTRC(), nullptr);
    reader.GetAverage(CRect(0, 0, pixels.GetWidth(), pixels.GetHeight()), out);
    return true;
}

// The white of the undeveloped data: the rectangle developed with the
// default development, its mean XYZ divided component by component by the
// camera's white, and the ratio scaled to Y = 100. A rectangle this dark
// (any component at 0.1 or below) says nothing about the light.
bool CProjectManage::PickRawWhiteXYZ(const CRect& rect, CCIEXYZ& out)
{
    const CDNGTranspose* raw = GetRawData();
    if (!raw || FindLastEnabledStep(m_currentStep) != 0)
        return false;
    CRGBImage pixels;
    if (!TakeRectPixels(rect, false, pixels))
        return false;
    CDNGParamDoc development;
    if (!PrepareAndApply(development, pixels, GetWorkingMatrix(), raw))
        return false;
    const CCIEXYZ xyz = AverageXYZ(pixels, GetWorkingMatrix());
    constexpr double kDarkest = 0.1;
    if (xyz[0] <= kDarkest || xyz[1] <= kDarkest || xyz[2] <= kDarkest)
        return false;
    const CCIEXYZ& white = raw->GetWhite();
    if (!(white[0] > 0.0 && white[1] > 0.0 && white[2] > 0.0))
        return false;
    const double ratio[3] = {xyz[0] / white[0], xyz[1] / white[1], xyz[2] / white[2]};
    out = CCIEXYZ(ratio[0] / ratio[1] * 100.0, 100.0, ratio[2] / ratio[1] * 100.0);
    return true;
}

void CProjectManage::MeasureChartPatches(const T2DArray<CPoint>& centres, T2DArray<CCIEXYZ>& out)
{
    out.Resize(centres.GetRows(), centres.GetColumns(), CCIEXYZ());
    for (std::int32_t row = 0; row < centres.GetRows(); ++row)
    {
        for (std::int32_t column = 0; column < centres.GetColumns(); ++column)
        {
            const CPoint c = centres.GetAt(row, column);
            // An 11 x 11 box around the centre; PickAverageXYZ clips it.
            CCIEXYZ xyz;
            if (PickAverageXYZ(CRect(c.x - 5, c.y - 5, c.x + 6, c.y + 6), xyz))
                out.SetAt(row, column, xyz);
        }
    }
}

// The grey levels the gradation panel marks: each grey patch of the chart
// corrected by the chart step, as the 8-bit lightness level n = L* / 100 *
// 255 (truncated), given as n / 255.
void CProjectManage::MeasureGrayPatches(std::vector<double>& out)
{
    out.clear();
    if (!m_chartDoc.GetParams().UseGrayScale || !HasInputMatrix(GetWorkingMatrix()))
        return;
    CRGBImage patches;
    if (!MakePatchImage(m_chartDoc.GetGrayScaleTable().GetCells(), GetWorkingMatrix(), patches))
        return;
    std::unique_ptr<CBaseDoc> chart = m_chartDoc.Clone();
    if (!PrepareAndApply(*chart, patches, GetWorkingMatrix(), GetRawData()))
        return;
    CAccessRGBImageByLab access(patches, nullptr, GetWorkingMatrix());
    for (int x = 0; x < access.GetWidth(); ++x)
    {
        CCIELab lab;
        access.GetLabAt(x, 0, lab);
        const double level = static_cast<double>(ClampToInteger(lab[0] / 100.0 * 255.0, 0, 255));
        const double value = level / 255.0;
        if (std::find(out.begin(), out.end(), value) == out.end())
            out.push_back(value);
    }
}

// The colour patches the colour-tone panel marks: the chart's measured
// patches whose colour survives the chart and gradation steps (processed
// L* above 0), as LCh against the converter's white, by hue, one per hue.
void CProjectManage::MeasureColorPatches(std::vector<CCIELCh>& out)
{
    out.clear();
    if (!m_chartDoc.GetParams().UseColorChart || !HasInputMatrix(GetWorkingMatrix()))
        return;
    const std::vector<CCIEXYZ> stored = m_chartDoc.GetColorChartTable().GetCells();
    CRGBImage patches;
    if (!MakePatchImage(stored, GetWorkingMatrix(), patches))
        return;
    std::unique_ptr<CBaseDoc> chart = m_chartDoc.Clone();
    std::unique_ptr<CBaseDoc> gradation = m_grayCalibDoc.Clone();
    if (!PrepareAndApply(*chart, patches, GetWorkingMatrix(), GetRawData()) ||
        !PrepareAndApply(*gradation, patches, GetWorkingMatrix(), GetRawData()))
        return;

    const CCIEXYZ white = GetWhiteXYZ();
    CAccessRGBImageByLab access(patches, nullptr, GetWorkingMatrix());
    std::vector<CCIELCh> kept;
    for (std::size_t i = 0; i < stored.size(); ++i)
    {
        CCIELab processed;
        access.GetLabAt(static_cast<int>(i), 0, processed);
        if (processed[0] > 0.0)
            kept.push_back(stored[i].ToLab(white).ToLCh());
    }
    if (kept.size() > 2)
    {
        std::stable_sort(kept.begin(), kept.end(),
                         [](const CCIELCh& a, const CCIELCh& b) { return a[2] < b[2]; });
    }
    for (const CCIELCh& lch : kept)
    {
        if (out.empty() || out.back()[2] != lch[2])
            out.push_back(lch);
    }
}

void CProjectManage::GetChromaHistogram(std::span<std::uint32_t> bins, int lightnessLow,
                                        int lightnessHigh, int hueLow, int hueHigh)
{
    if (m_lchImage.IsEmpty())
    {
        std::fill(bins.begin(), bins.end(), 0u);
        return;
    }
    CAccessByteLChImage access(m_lchImage);
    access.GetChromaHistogram(bins, lightnessLow, lightnessHigh, hueLow, hueHigh);
}

// The development panel's histograms: the RAW thumbnail developed row by
// row with the panel's development, each row's L* into the lightness bins
// (bin = L* / 100 * (bins - 1)) and its display bytes into the colour bins.
void CProjectManage::DevelopRawPreview(std::span<std::uint32_t> red, std::span<std::uint32_t> green,
                                       std::span<std::uint32_t> blue,
                                       std::span<std::uint32_t> lightness)
{
    for (std::span<std::uint32_t> bins : {red, green, blue, lightness})
        std::fill(bins.begin(), bins.end(), 0u);
    const CDNGTranspose* raw = GetRawData();
    const auto* panelDoc = dynamic_cast<const CDNGParamDoc*>(m_previewDoc.get());
    if (!panelDoc || !raw || m_rawThumbnail.IsEmpty() || m_rawThumbnail.IsLocked())
        return;

    CDNGParamDoc development(*panelDoc);
    {
        CAccessRGBImageByLab access(m_rawThumbnail, nullptr, GetWorkingMatrix());
        development.PrepareApply(raw, access, nullptr, 1.0);
    }
    const DisplayConversion conversion = DisplayConversionOf(*this);
    const int width = m_rawThumbnail.GetWidth();
    CRGBImage row;
    if (!row.Create(width, 1))
        return;
    std::vector<double> L(static_cast<std::size_t>(width));
    std::vector<RGB16> shown(static_cast<std::size_t>(width));
    const auto count = [](std::span<std::uint32_t> bins, long long index) {
        if (!bins.empty())
            ++bins[static_cast<std::size_t>(
                std::clamp<long long>(index, 0, static_cast<long long>(bins.size()) - 1))];
    };
    for (int y = 0; y < m_rawThumbnail.GetHeight(); ++y)
    {
        row.CopyRectFrom(CRect(0, y, width, y + 1), m_rawThumbnail, CRect(0, 0, width, 1));
        {
            CAccessRGBImageByLab access(row, nullptr, GetWorkingMatrix());
            development.ApplyRect(access, nullptr, nullptr, nullptr, {}, 2);
            access.SetCursor(0, 0);
            access.ReadLightnessLine(L.size(), L.data());
        }
        const long long lastBin = static_cast<long long>(lightness.size()) - 1;
        for (double l : L)
            count(lightness, ClampToInteger(l / 100.0 * static_cast<double>(lastBin), 0, lastBin));
        CReadRGBImage reader(row, conversion.tables, conversion.matrix, conversion.transform);
        reader.SetCursor(0, 0);
        reader.ReadLine(shown.data(), shown.size());
        for (const RGB16& px : shown)
        {
            count(red, px.r >> 8);
            count(green, px.g >> 8);
            count(blue, px.b >> 8);
        }
    }
}

// ---- Display images and monitor changes --------------------------------

bool CProjectManage::MakeConverterOf(const CImageFileInfo& entry, CColorConverter& converter) const
{
    CColorProfile input;
    return MakeInputProfile(entry, input) &&
           converter.SetProfiles(&input, GetWorkingProfile(), GetOutputProfile());
}

std::unique_ptr<CImageEx> CProjectManage::MakeDisplayImage()
{
    if (m_workingImage.IsEmpty() || m_workingImage.IsLocked())
        return nullptr;
    const CColorTransform* lut =
        m_lutIndex >= 1 ? GetLUTTransform(static_cast<std::size_t>(m_lutIndex - 1)) : nullptr;
    return MakeConvertedImage(m_workingImage, DisplayConversionOf(*this), lut);
}

std::unique_ptr<CImageEx> CProjectManage::MakeDisplayImageOf(const CImageFileInfo& entry,
                                                             int maxWidth, int maxHeight)
{
    DisplayBuildScope building(m_displayBuilding);
    CColorConverter converter{std::string()};
    if (!MakeConverterOf(entry, converter))
        return nullptr;
    CRGBImage image;
    if (!LoadEntryApart(entry, converter, image, {}, nullptr))
        return nullptr;
    if (maxWidth > 0 && maxHeight > 0)
    {
        // Reduced in the linear working pixels (area averaging), so that
        // the conversion has only the pixels that will be shown to do.
        int width = 0;
        int height = 0;
        CTrimmingDoc::FitIntoBox(image.GetWidth(), image.GetHeight(), maxWidth, maxHeight, width,
                                 height);
        if (width != image.GetWidth() || height != image.GetHeight())
        {
            CRGBImage reduced;
            const CRect whole(0, 0, image.GetWidth(), image.GetHeight());
            if (!ResampleImageRect(image, whole, width, height, reduced))
                return nullptr;
            image = std::move(reduced);
        }
    }
    return MakeConvertedImage(image, DisplayConversionOf(converter),
                              FindLUTTransform(entry.m_lutName));
}

void CProjectManage::OnMonitorProfileLoaded(const CColorProfile* monitor,
                                            const CColorProfile* working,
                                            const CColorProfile* input)
{
    // The image was shown through the old profiles: it goes, the list and
    // the documents stay.
    m_currentStep = -1;
    m_dirtyStep = -1;
    DeletePreviews();
    m_workingImage = CRGBImage();
    WorkingImageChanged();
    m_rawThumbnail = CRGBImage();
    m_lchImage = CByteLChImage();
    m_currentRecord = CImageFileInfo();
    m_inputProfileText.clear();
    m_lutIndex = 0;
    if (monitor && working && input)
        SetProjectProfiles(monitor, working, input);
    SetModified(false);
    RedrawView(true);
}

namespace {

// The display's profile is another one than the converter shows through:
// another name, or the same file now holding other bytes (a profile written
// again under its name, as the X11 desktop's copy in the work folder is).
bool IsOtherMonitorProfile(const CColorProfile& current, const std::string& profileName)
{
    if (current.GetName() != profileName)
        return true;
    CColorProfile fresh;
    std::vector<std::uint8_t> now;
    std::vector<std::uint8_t> shown;
    return !fresh.Open(profileName) || !fresh.GetProfileBytes(now) ||
           !current.GetProfileBytes(shown) || now != shown;
}

} // namespace

bool CProjectManage::OnMonitorProfileChanged(const std::string& profileName)
{
    if (!GetOutputProfile() || !IsOtherMonitorProfile(*GetOutputProfile(), profileName) ||
        m_busy != 0 || m_displayBuilding.load() != 0)
        return false;
    if (!LoadMonitorProfile() || !GetMonitorProfile())
    {
        UseOsCmm = 1;
        LoadMonitorProfile();
    }
    return true;
}

void CProjectManage::RefreshDisplayConversion()
{
    if (m_displayBuilding.load() != 0)
        return;
    CColorProfile* monitor = GetMonitorProfile();
    if (monitor)
    {
        SetOutputProfile(monitor);
        if (!monitor->HasMatrixTRC())
            UseOsCmm = 1;
    }
    RedrawView(true);
}

// ---- Printing ----------------------------------------------------------

void CProjectManage::PrintImage()
{
    if (!m_printDialogs || m_workingImage.IsEmpty() || m_workingImage.IsLocked())
        return;
    // The print copy is the working image itself, lent to the modal dialog:
    // linear RGB in the input primaries, which the input profile's linear
    // record describes exactly. It is never converted for the monitor, so
    // the printer receives the image's own colours whatever the display's
    // gamut.
    LogColorSpace colorSpace;
    const CColorProfile* input = GetInputProfile();
    if (!input || !input->GetLogColorSpace(colorSpace, true))
    {
        ShowMessage(kStrPrintError);
        return;
    }
    std::string name;
    GetImageName(name);
    m_printDialogs->RunPrintImageDialog(GetOutputProfileName(), m_workingImage, name, colorSpace,
                                        m_printers.get());
}

// The index dialog develops every checked entry itself, so the working
// image is parked in a file meanwhile; the documents are kept as print
// clones (mode 2 develops with them) and restored afterwards.
void CProjectManage::PrintIndex()
{
    const bool loaded = m_currentStep >= 0 && !m_workingImage.IsEmpty();
    const bool parked = loaded && ParkWorkingImage();
    {
        std::lock_guard lock(m_docMutex);
        for (std::size_t i = 0; i < m_printClones.size(); ++i)
        {
            m_printClones[i].reset();
            if (m_docs[i + 1])
                m_printClones[i] = m_docs[i + 1]->Clone();
        }
    }
    if (m_printDialogs)
        m_printDialogs->RunPrintIndexDialog(*this, m_printers.get());
    {
        std::lock_guard lock(m_docMutex);
        for (std::size_t i = 0; i < m_printClones.size(); ++i)
        {
            if (m_printClones[i] && m_docs[i + 1])
                m_docs[i + 1]->Assign(*m_printClones[i]);
            m_printClones[i].reset();
        }
    }
    if (parked)
        RestoreParkedImage();
}

std::unique_ptr<CImageEx> CProjectManage::DevelopImageForPrint(
    std::size_t checkedIndex, int width, int height, int mode, const std::string& paramFile,
    bool fit, IPrintStepProgress* stepProgress, const PrintDevelopProgress* progress)
{
    CColorConverter converter{std::string()};
    CRGBImage image;
    if (!DevelopForPrint(checkedIndex, width, height, mode, paramFile, fit, stepProgress, progress,
                         converter, image))
        return nullptr;
    return MakeConvertedImage(image, DisplayConversionOf(converter), nullptr);
}

bool CProjectManage::DevelopPrintCopy(std::size_t checkedIndex, int width, int height, int mode,
                                      const std::string& paramFile, bool fit,
                                      IPrintStepProgress* stepProgress,
                                      const PrintDevelopProgress* progress, CRGBImage& image,
                                      LogColorSpace& colorSpace)
{
    CColorConverter converter{std::string()};
    if (!DevelopForPrint(checkedIndex, width, height, mode, paramFile, fit, stepProgress, progress,
                         converter, image))
        return false;
    const CColorProfile* input = converter.GetInputProfile();
    return input && input->GetLogColorSpace(colorSpace, true);
}

bool CProjectManage::DevelopForPrint(std::size_t checkedIndex, int width, int height, int mode,
                                     const std::string& paramFile, bool fit,
                                     IPrintStepProgress* stepProgress,
                                     const PrintDevelopProgress* progress,
                                     CColorConverter& converter, CRGBImage& image)
{
    const CImageFileInfo* checked = GetCheckedItem(checkedIndex);
    if (!checked)
        return false;
    const CImageFileInfo entry(*checked);

    if (!MakeConverterOf(entry, converter))
        return false;
    CImageFileInfo loaded;
    if (!LoadEntryApart(entry, converter, image, progress ? progress->load : Progress(), &loaded))
        return false;

    const int loadedWidth = image.GetWidth();
    if (fit && (width == 0 || height == 0))
        CalcIndexCacheSize(height, width, image.GetWidth(), image.GetHeight());
    if (width <= 0 || height <= 0)
        return false;
    if (width != image.GetWidth() || height != image.GetHeight())
    {
        CRGBImage resized;
        if (!resized.Create(width, height))
            return false;
        resized.Resample(image);
        image = std::move(resized);
    }

    // The documents this development applies, copied under the lock: the
    // UI thread may commit a panel's document meanwhile.
    std::array<std::unique_ptr<CBaseDoc>, kStepCount> docs;
    {
        std::lock_guard lock(m_docMutex);
        for (std::size_t i = 0; i < docs.size(); ++i)
        {
            const CBaseDoc* source = m_docs[i + 1];
            if (mode == kBatchAsAtStart && m_printClones[i])
                source = m_printClones[i].get();
            if (source)
                docs[i] = source->Clone();
        }
    }
    if (mode == kBatchFromParamFile)
    {
        std::array<CBaseDoc*, kStepCount> fresh{};
        for (std::size_t i = 0; i < docs.size(); ++i)
        {
            if (docs[i])
                docs[i]->Reset();
            fresh[i] = docs[i].get();
        }
        if (!::LoadParamFile(paramFile, fresh))
            return false;
    }

    std::array<int, kStepCount> flags{};
    GetBatchStepFlags(flags);
    if (stepProgress)
        stepProgress->SetSteps(flags);

    const CDNGTranspose* raw = loaded.m_transform.get();
    const double scale = static_cast<double>(width) / loadedWidth;
    for (int step = 1; step <= kStepCount; ++step)
    {
        CBaseDoc* doc = docs[static_cast<std::size_t>(step - 1)].get();
        const bool run = mode != 0 && doc && doc->IsStepEnabled() && step != kStepTrimming &&
                         (step != kStepDNGParam || raw);
        if (run)
        {
            const Progress slot =
                progress ? progress->steps[static_cast<std::size_t>(step - 1)] : Progress();
            if (!ApplyStep(*doc, image, converter.GetInputMatrix(), raw, scale, nullptr, slot,
                           nullptr))
                return false;
        }
        if (stepProgress)
            stepProgress->SetStepProgress(step);
    }
    return true;
}
