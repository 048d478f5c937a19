#include "correction/BaseDoc.h"

#include "core/ImageAccess.h"
#include "core/RGBImage.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

std::atomic<StepEditionPolicy> g_editionPolicy{StepEditionPolicy::AllStepsDisabled};

bool RectInside(const CRect& rect, int width, int height)
{
    return rect.left >= 0 && rect.top >= 0 && rect.left <= rect.right && rect.top <= rect.bottom &&
           rect.right <= width && rect.bottom <= height;
}

} // namespace

// ---------------------------------------------------------------------------
// Edition policy

void SetStepEditionPolicy(StepEditionPolicy policy)
{
    g_editionPolicy.store(policy);
}

StepEditionPolicy GetStepEditionPolicy()
{
    return g_editionPolicy.load();
}

ScopedStepEditionPolicy::ScopedStepEditionPolicy(StepEditionPolicy policy)
    : m_previous(GetStepEditionPolicy())
{
    SetStepEditionPolicy(policy);
}

ScopedStepEditionPolicy::~ScopedStepEditionPolicy()
{
    SetStepEditionPolicy(m_previous);
}

// ---------------------------------------------------------------------------
// CBaseDoc

void CBaseDoc::Reset()
{
    m_title.clear();
}

bool CBaseDoc::IsEqual(const CBaseDoc&) const
{
    return true;
}

bool CBaseDoc::IsStepEnabled() const
{
    return GetStepEditionPolicy() == StepEditionPolicy::AllStepsEnabled;
}

bool CBaseDoc::LoadParams(const CParamFileReader& file)
{
    const std::string section = GetSectionName();
    if (!section.empty())
        m_title = file.GetString(section, "Title", "");
    return true;
}

bool CBaseDoc::SaveParams(CParamFileWriter& file) const
{
    const std::string section = GetSectionName();
    if (section.empty())
        return true;
    bool ok = file.BeginSection(section);
    ok = file.WriteKey("Ver", kParamVersion) && ok;
    ok = file.WriteKey("Title", m_title) && ok;
    return ok;
}

bool CBaseDoc::ProcessImage(CRGBImage& image, const CPow1by3Table* cubeRoots,
                            const CStdMatrix& rgbToXyz, const CDNGTranspose* raw, double scale,
                            const BatchSizeRequest*, Progress progress,
                            std::vector<std::string>* details)
{
    CAccessRGBImageByLab access(image, cubeRoots, rgbToXyz);
    if (!PrepareApply(raw, access, details, scale))
        return false;
    return ApplyRect(access, nullptr, nullptr, nullptr, progress, 1);
}

bool CBaseDoc::PrepareApply(const CDNGTranspose*, CAccessRGBImageByLab&, std::vector<std::string>*,
                            double)
{
    return true;
}

bool CBaseDoc::ApplyRect(CAccessRGBImageByLab& source, const CRect* sourceRect,
                         CAccessRGBImageByLab* destination, const CRect* destinationRect,
                         Progress progress, int mode)
{
    if (!destination)
        return Apply(source, sourceRect, progress, mode);

    const CRect src = sourceRect ? *sourceRect : CRect(0, 0, source.GetWidth(), source.GetHeight());
    const CRect dst = destinationRect
                          ? *destinationRect
                          : CRect(0, 0, destination->GetWidth(), destination->GetHeight());
    // Rectangles come from the project's own tiling; one reaching outside
    // its image is refused rather than read or written out of bounds.
    if (!RectInside(src, source.GetWidth(), source.GetHeight()) ||
        !RectInside(dst, destination->GetWidth(), destination->GetHeight()))
        return false;

    const int width = dst.Width();
    const int height = dst.Height();
    if (width > 0 && height > 0 && !src.IsRectEmpty())
    {
        if (src.Width() == width && src.Height() == height)
        {
            for (int y = 0; y < height; ++y)
            {
                std::memmove(PixelRow(*destination, dst.left, dst.top + y),
                             PixelRow(source, src.left, src.top + y),
                             static_cast<std::size_t>(width) * sizeof(RGB16));
            }
        }
        else
        {
            std::vector<int> columns(static_cast<std::size_t>(width));
            for (int x = 0; x < width; ++x)
                columns[x] = SampleIndex(x, src.left, src.Width(), width, source.GetWidth());
            const RGB16* base = PixelRow(source, 0, 0);
            const std::size_t stride = static_cast<std::size_t>(source.GetWidth());
            for (int y = 0; y < height; ++y)
            {
                const int row = SampleIndex(y, src.top, src.Height(), height, source.GetHeight());
                const RGB16* from = base + static_cast<std::size_t>(row) * stride;
                RGB16* to = PixelRow(*destination, dst.left, dst.top + y);
                for (int x = 0; x < width; ++x)
                    to[x] = from[columns[x]];
            }
        }
    }
    return Apply(*destination, &dst, progress, mode);
}

bool CBaseDoc::ApplySamples(CAccessRGBImageByLab& source, std::span<const int> columns,
                            std::span<const int> rows, CAccessRGBImageByLab& destination,
                            Progress progress, const SampleRowsDone& done)
{
    if (!SamplesFit(source, columns, rows, destination))
        return false;
    if (columns.empty() || rows.empty())
        return true;
    CopySamples(source, columns, rows, destination);
    if (!Apply(destination, nullptr, progress, 2))
        return false;
    if (done)
        RunRowBands(static_cast<int>(rows.size()), {}, done);
    return true;
}

bool CBaseDoc::SamplesFit(const CAccessRGBImage& source, std::span<const int> columns,
                          std::span<const int> rows, const CAccessRGBImage& destination)
{
    if (destination.GetWidth() != static_cast<int>(columns.size()) ||
        destination.GetHeight() != static_cast<int>(rows.size()))
        return false;
    const auto fits = [](std::span<const int> positions, int limit) {
        return std::is_sorted(positions.begin(), positions.end()) &&
               (positions.empty() || (positions.front() >= 0 && positions.back() < limit));
    };
    return fits(columns, source.GetWidth()) && fits(rows, source.GetHeight());
}

void CBaseDoc::CopySamples(CAccessRGBImage& source, std::span<const int> columns,
                           std::span<const int> rows, CAccessRGBImage& destination)
{
    if (columns.empty() || rows.empty())
        return;
    const RGB16* base = PixelRow(source, 0, 0);
    const std::size_t stride = static_cast<std::size_t>(source.GetWidth());
    const std::size_t width = columns.size();
    RunRowBands(static_cast<int>(rows.size()), {}, [&](int first, int end) {
        for (int j = first; j < end; ++j)
        {
            const RGB16* from = base + static_cast<std::size_t>(rows[j]) * stride;
            RGB16* to = PixelRow(destination, 0, j);
            for (std::size_t i = 0; i < width; ++i)
                to[i] = from[columns[i]];
        }
    });
}

void CBaseDoc::GetTileSize(int& width, int& height) const
{
    width = kDefaultTileWidth;
    height = kDefaultTileHeight;
}

bool CBaseDoc::Apply(CAccessRGBImageByLab& image, const CRect* rect, Progress progress, int) const
{
    const int rows = rect ? rect->Height() : image.GetHeight();
    if (!progress)
        return true;
    for (int row = 0; row < rows; ++row)
    {
        if (!ReportRowPercent(progress, row, rows))
            return false;
    }
    return true;
}

std::string CBaseDoc::GetSectionName() const
{
    return {};
}

int CBaseDoc::SampleIndex(int i, int srcStart, int srcLength, int dstLength, int limit)
{
    if (dstLength <= 0 || limit <= 0)
        return 0;
    const long long offset = static_cast<long long>(i) * srcLength / dstLength;
    const long long index = srcStart + offset + (srcLength / dstLength) / 2;
    return static_cast<int>(std::clamp<long long>(index, 0, limit - 1));
}

RGB16* CBaseDoc::PixelRow(CAccessRGBImage& access, int x, int y)
{
    // The accessor holds the image locked for its lifetime: its pixels are
    // used as they are, so that the rows of one image may be worked on from
    // several threads at once.
    return access.StoredPixels(x, y);
}

// ---------------------------------------------------------------------------
// Parameter file

bool SaveParamFile(const std::string& path, std::span<const CBaseDoc* const> docs)
{
    CParamFileWriter file;
    bool ok = true;
    for (const CBaseDoc* doc : docs)
    {
        if (doc)
            ok = doc->SaveParams(file) && ok;
    }
    return ok && file.IsGood() && file.SaveToFile(path);
}

bool LoadParamFile(const std::string& path, std::span<CBaseDoc* const> docs)
{
    CParamFileReader file;
    if (!file.Load(path))
        return false;
    bool ok = true;
    for (CBaseDoc* doc : docs)
    {
        if (doc)
            ok = doc->LoadParams(file) && ok;
    }
    return ok;
}
