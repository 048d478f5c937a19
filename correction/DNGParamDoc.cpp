#include "correction/DNGParamDoc.h"

#include "core/Clamp.h"
#include "core/ImageAccess.h"
#include "imagefile/DNGTranspose.h"

#include <algorithm>

CDNGParamDoc::CDNGParamDoc()
{
    Reset();
}

CDNGParamDoc::CDNGParamDoc(const CDNGParamDoc& other) : CBaseDoc()
{
    CopyFrom(other);
}

CDNGParamDoc& CDNGParamDoc::operator=(const CDNGParamDoc& other)
{
    CopyFrom(other);
    return *this;
}

// A copy takes the title and the parameters; the development prepared for
// one image never travels with it.
void CDNGParamDoc::CopyFrom(const CDNGParamDoc& other)
{
    if (&other == this)
        return;
    AssignBase(other);
    AsShot = other.AsShot;
    Temperature = other.Temperature;
    Tint = other.Tint;
    Exposure = other.Exposure;
    Shadow = other.Shadow;
    ResetPrepared();
}

void CDNGParamDoc::ResetPrepared()
{
    prepared = 0;
    clipLevel = {65535, 65535, 65535};
    blackOffset = 0;
    developMatrix = CStdMatrix::Identity(3);
    m_matrix = {1, 0, 0, 0, 1, 0, 0, 0, 1};
}

void CDNGParamDoc::Reset()
{
    CBaseDoc::Reset();
    AsShot = kAsShot.defaultValue;
    Temperature = kTemperature.defaultValue;
    Tint = kTint.defaultValue;
    Exposure = kExposure.defaultValue;
    Shadow = kShadow.defaultValue;
    ResetPrepared();
}

std::unique_ptr<CBaseDoc> CDNGParamDoc::Clone() const
{
    return std::make_unique<CDNGParamDoc>(*this);
}

void CDNGParamDoc::Assign(const CBaseDoc& other)
{
    if (const auto* doc = dynamic_cast<const CDNGParamDoc*>(&other))
        CopyFrom(*doc);
}

bool CDNGParamDoc::IsEqual(const CBaseDoc& other) const
{
    const auto* doc = dynamic_cast<const CDNGParamDoc*>(&other);
    if (!doc)
        return false;
    if (AsShot != doc->AsShot || Exposure != doc->Exposure || Shadow != doc->Shadow)
        return false;
    // With the as-shot white, temperature and tint play no part.
    return AsShot != 0 || (Temperature == doc->Temperature && Tint == doc->Tint);
}

bool CDNGParamDoc::LoadParams(const CParamFileReader& file)
{
    if (!CBaseDoc::LoadParams(file))
        return false;
    const std::string section = GetSectionName();
    // Only 1 means "as shot" to the development; any other stored value is
    // kept as 0 so that comparing and applying agree on what it means.
    AsShot = file.GetInt(section, kAsShot) == 1 ? 1 : 0;
    Temperature = file.GetInt(section, kTemperature);
    Tint = file.GetInt(section, kTint);
    Exposure = file.GetInt(section, kExposure);
    Shadow = file.GetInt(section, kShadow);
    return true;
}

bool CDNGParamDoc::SaveParams(CParamFileWriter& file) const
{
    if (!CBaseDoc::SaveParams(file))
        return false;
    CSaveDoc save(file);
    bool ok = save.WriteInt(kAsShot.key, AsShot);
    ok = save.WriteInt(kTemperature.key, Temperature) && ok;
    ok = save.WriteInt(kTint.key, Tint) && ok;
    ok = save.WriteInt(kExposure.key, Exposure) && ok;
    ok = save.WriteInt(kShadow.key, Shadow) && ok;
    return ok;
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
        prepared = 0;
        return true;
    }
    const CStdMatrix working = source.GetRGBToXYZ();
    std::array<std::uint16_t, 3> white{65535, 65535, 65535};
    CStdMatrix matrix = CStdMatrix::Identity(3);
    int black = 0;
    raw->SetWhiteBalance(Temperature, Tint, AsShot == 1, Exposure, Shadow, working, white, matrix,
                         black);
    SetDevelopment(white, matrix, black);
    return true;
}

void CDNGParamDoc::SetDevelopment(const std::array<std::uint16_t, 3>& clip,
                                  const CStdMatrix& matrix, int black)
{
    prepared = 1;
    clipLevel = clip;
    blackOffset = black;
    developMatrix = matrix;
    if (matrix.GetRows() == 3 && matrix.GetCols() == 3)
        std::copy_n(matrix.GetData().begin(), 9, m_matrix.begin());
    else
        m_matrix = {1, 0, 0, 0, 1, 0, 0, 0, 1};
}

void CDNGParamDoc::MultiplyMatrixVector(const double* m, const double* in, double* out)
{
    for (int i = 0; i < 3; ++i)
        out[i] = m[3 * i] * in[0] + m[3 * i + 1] * in[1] + m[3 * i + 2] * in[2];
}

bool CDNGParamDoc::Apply(CAccessRGBImageByLab& image, const CRect* rect, Progress progress, int)
{
    if (!prepared)
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

    const double black = blackOffset;
    const std::array<std::uint16_t, 3> clip = clipLevel;
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
            MultiplyMatrixVector(m_matrix.data(), in, out);
            pixel->r = ClampToU16(out[0] - black);
            pixel->g = ClampToU16(out[1] - black);
            pixel->b = ClampToU16(out[2] - black);
        }
        if (!ReportRowPercent(progress, y, rows))
            return false;
    }
    return true;
}
