#include "correction/DNGParamDoc.h"

#include "core/Clamp.h"
#include "core/ImageAccess.h"
#include "imagefile/DNGTranspose.h"

#include <algorithm>

bool CDNGParamDoc::SameParams(const DNGParams& a, const DNGParams& b)
{
    if (a.AsShot != b.AsShot || a.Exposure != b.Exposure || a.Shadow != b.Shadow)
        return false;
    // With the as-shot white, temperature and tint play no part.
    return a.AsShot != 0 || (a.Temperature == b.Temperature && a.Tint == b.Tint);
}

bool CDNGParamDoc::LoadParams(const CParamFileReader& file)
{
    if (!CBaseDoc::LoadParams(file))
        return false;
    DNGParams params = DefaultParams();
    ReadParams(file, GetSectionName(), GetParamTable(), params);
    // Only 1 means "as shot" to the development; any other stored value is
    // kept as 0 so that comparing and applying agree on what it means.
    params.AsShot = params.AsShot == 1 ? 1 : 0;
    m_params = params;
    return true;
}

bool CDNGParamDoc::SaveParams(CParamFileWriter& file) const
{
    if (!CBaseDoc::SaveParams(file))
        return false;
    CSaveDoc save(file);
    return WriteParams(save, GetParamTable(), m_params);
}

std::string CDNGParamDoc::GetSectionName() const
{
    return std::string(kDNGParamSection);
}

bool CDNGParamDoc::PrepareApply(const CDNGTranspose* raw, CAccessRGBImageByLab& source,
                                std::vector<std::string>*, double)
{
    if (!raw)
    {
        m_prepared.prepared = false;
        return true;
    }
    const CStdMatrix working = source.GetRGBToXYZ();
    std::array<std::uint16_t, 3> white{65535, 65535, 65535};
    CStdMatrix matrix = CStdMatrix::Identity(3);
    int black = 0;
    const DNGParams& p = m_params;
    raw->SetWhiteBalance(p.Temperature, p.Tint, p.AsShot == 1, p.Exposure, p.Shadow, working, white,
                         matrix, black);
    SetDevelopment(white, matrix, black);
    return true;
}

void CDNGParamDoc::SetDevelopment(const std::array<std::uint16_t, 3>& clip,
                                  const CStdMatrix& matrix, int black)
{
    DNGDevelopment& d = m_prepared;
    d.prepared = true;
    d.clipLevel = clip;
    d.blackOffset = black;
    d.developMatrix = matrix;
    if (matrix.GetRows() == 3 && matrix.GetCols() == 3)
        std::copy_n(matrix.GetData().begin(), 9, d.matrix.begin());
    else
        d.matrix = {1, 0, 0, 0, 1, 0, 0, 0, 1};
}

void CDNGParamDoc::MultiplyMatrixVector(const double* m, const double* in, double* out)
{
    for (int i = 0; i < 3; ++i)
        out[i] = m[3 * i] * in[0] + m[3 * i + 1] * in[1] + m[3 * i + 2] * in[2];
}

bool CDNGParamDoc::Apply(CAccessRGBImageByLab& image, const CRect* rect, Progress progress, int) const
{
    const DNGDevelopment& d = m_prepared;
    if (!d.prepared)
        return true;
    const int width = image.GetWidth();
    const int height = image.GetHeight();
    CRect region = rect ? *rect : CRect(0, 0, width, height);
    // Only the part of the rectangle inside the image is developed.
    region.left = std::clamp(region.left, 0, width);
    region.top = std::clamp(region.top, 0, height);
    region.right = std::clamp(region.right, region.left, width);
    region.bottom = std::clamp(region.bottom, region.top, height);
    const int rows = region.Height();
    const int columns = region.Width();

    const double black = d.blackOffset;
    const std::array<std::uint16_t, 3> clip = d.clipLevel;
    double in[3];
    double out[3];
    for (int y = 0; y < rows; ++y)
    {
        RGB16* pixel = PixelRow(image, region.left, region.top + y);
        for (int x = 0; x < columns; ++x, ++pixel)
        {
            in[0] = std::min(pixel->r, clip[0]);
            in[1] = std::min(pixel->g, clip[1]);
            in[2] = std::min(pixel->b, clip[2]);
            MultiplyMatrixVector(d.matrix.data(), in, out);
            pixel->r = ClampToU16(out[0] - black);
            pixel->g = ClampToU16(out[1] - black);
            pixel->b = ClampToU16(out[2] - black);
        }
        if (!ReportRowPercent(progress, y, rows))
            return false;
    }
    return true;
}
