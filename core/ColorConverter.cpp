#include "core/ColorConverter.h"

#include "core/MessageSink.h"
#include "core/PathUtils.h"
#include "core/UseOsCmm.h"
#include "platform/Folders.h"
#include "platform/Text.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

struct ToneCurveFreer
{
    void operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
};
using ToneCurvePtr = std::unique_ptr<cmsToneCurve, ToneCurveFreer>;

double FromFxpt2Dot30(std::int32_t v)
{
    return static_cast<double>(v) / 1073741824.0;
}

double FromFxpt16Dot16(std::uint32_t v)
{
    return static_cast<double>(v) / 65536.0;
}

cmsCIEXYZ ToCmsXYZ(const LogCIEXYZ& v)
{
    return {FromFxpt2Dot30(v.ciexyzX), FromFxpt2Dot30(v.ciexyzY), FromFxpt2Dot30(v.ciexyzZ)};
}

bool IsCsvName(const std::string& name)
{
    return platform::EqualsNoCase(GetFileExtFromPath(name), ".csv");
}

// The inverse of a 3x3 matrix; the identity when it has none.
CRGBMatrix InverseOrIdentity(const CStdMatrix& m)
{
    if (m.GetRows() != 3 || m.GetCols() != 3)
        return CRGBMatrix();
    CStdMatrix inverse = m;
    if (!inverse.Invert())
        return CRGBMatrix();
    return CRGBMatrix(inverse);
}

bool Is3x3(const CStdMatrix& m)
{
    return m.GetRows() == 3 && m.GetCols() == 3;
}

} // namespace

// ---------------------------------------------------------------------------
// Colour-space records as LittleCMS profiles

cmsUInt32Number LcmsIntentFromLogColorSpace(const LogColorSpace& lcs)
{
    switch (lcs.lcsIntent)
    {
    case kLcsGmGraphics:
        return INTENT_RELATIVE_COLORIMETRIC;
    case kLcsGmBusiness:
        return INTENT_SATURATION;
    case kLcsGmAbsColorimetric:
        return INTENT_ABSOLUTE_COLORIMETRIC;
    default:
        return INTENT_PERCEPTUAL;
    }
}

LcmsProfilePtr CreateLcmsProfileFromLogColorSpace(const LogColorSpace& lcs)
{
    if (lcs.lcsCSType != kLcsCalibratedRGB)
        return nullptr;
    const cmsCIEXYZ red = ToCmsXYZ(lcs.lcsEndpoints.ciexyzRed);
    const cmsCIEXYZ green = ToCmsXYZ(lcs.lcsEndpoints.ciexyzGreen);
    const cmsCIEXYZ blue = ToCmsXYZ(lcs.lcsEndpoints.ciexyzBlue);
    // The endpoints are colorants in the connection space, so full drive of
    // all three is the white the profile is relative to.
    const cmsCIEXYZ white = {red.X + green.X + blue.X, red.Y + green.Y + blue.Y,
                             red.Z + green.Z + blue.Z};
    if (!(white.Y > 0.0))
        return nullptr;
    const double gammas[3] = {FromFxpt16Dot16(lcs.lcsGammaRed), FromFxpt16Dot16(lcs.lcsGammaGreen),
                              FromFxpt16Dot16(lcs.lcsGammaBlue)};
    for (const double g : gammas)
        if (!(g > 0.0))
            return nullptr;

    cmsContext context = QuietLcmsContext();
    LcmsProfilePtr profile(cmsCreateProfilePlaceholder(context));
    if (!profile)
        return nullptr;
    cmsHPROFILE h = profile.get();
    cmsSetProfileVersion(h, 2.1);
    cmsSetDeviceClass(h, cmsSigDisplayClass);
    cmsSetColorSpace(h, cmsSigRgbData);
    cmsSetPCS(h, cmsSigXYZData);
    cmsSetHeaderRenderingIntent(h, LcmsIntentFromLogColorSpace(lcs));
    bool ok = cmsWriteTag(h, cmsSigMediaWhitePointTag, &white) &&
              cmsWriteTag(h, cmsSigRedColorantTag, &red) &&
              cmsWriteTag(h, cmsSigGreenColorantTag, &green) &&
              cmsWriteTag(h, cmsSigBlueColorantTag, &blue);
    const cmsTagSignature curveTags[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int c = 0; c < 3 && ok; ++c)
    {
        // cmsWriteTag keeps a copy of the curve.
        const ToneCurvePtr curve(cmsBuildGamma(context, gammas[c]));
        ok = curve && cmsWriteTag(h, curveTags[c], curve.get());
    }
    if (!ok)
        return nullptr;
    return profile;
}

LcmsProfilePtr CreateLinearInputProfile(const CColorProfile& input)
{
    LogColorSpace lcs;
    if (!input.GetLogColorSpace(lcs, true))
        return nullptr;
    return CreateLcmsProfileFromLogColorSpace(lcs);
}

// ---------------------------------------------------------------------------
// CColorConverter

CColorConverter::CColorConverter() : CColorConverter(platform::ProgramDataFolder() + "Lut/") {}

CColorConverter::CColorConverter(const std::string& lutFolder)
    : m_lutFolder(lutFolder.empty() ? std::string() : AddBackslash(lutFolder))
{
    LoadLUTTransforms();
}

CColorConverter::~CColorConverter() = default;

void CColorConverter::BuildInputTables()
{
    // A table the profile cannot give stays as it was.
    CRGBGammaTable table;
    if (m_inputProfile->GetTRC(table))
        m_inputTRC = std::move(table);
    CRGBGammaTable inverse;
    if (m_inputProfile->GetInverseTRC(inverse))
        m_inputInverseTRC = std::move(inverse);
    CStdMatrix matrix;
    if (m_inputProfile->GetRGBToXYZMatrix(matrix))
        m_inputMatrix = std::move(matrix);
}

void CColorConverter::BuildOutputTable()
{
    CRGBGammaTable inverse;
    if (m_outputProfile->GetInverseTRC(inverse))
        m_outputInverseTRC = std::move(inverse);
}

void CColorConverter::BuildMatrices()
{
    // M_io = M_out^-1 A M_in takes linear input RGB to XYZ relative to the
    // input's media white, adapts that white to the output's, and goes on to
    // linear output RGB. ICC colorimetry is relative to the PCS white D50,
    // so the adaptation goes through it the way each profile was made:
    //     A = P_out^-1 P_in
    // (P: media-relative XYZ to D50-relative, the profile's 'chad' or
    // Bradford), which makes M_out^-1 A M_in the product of the stored,
    // D50-relative colorant matrices, as the colour engine's relative
    // colorimetric transform of two matrix profiles is. Between profiles of
    // one white made the same way A is the identity. Without an output
    // matrix the input values are shown as they are.
    m_inputToOutputMatrix = CRGBMatrix();
    CStdMatrix outputMatrix;
    if (m_outputProfile && Is3x3(m_inputMatrix) &&
        m_outputProfile->GetRGBToXYZMatrix(outputMatrix) && Is3x3(outputMatrix) &&
        outputMatrix.Invert())
    {
        m_inputToOutputMatrix = outputMatrix * WhiteAdaptation() * m_inputMatrix;
    }
    m_xyzToInput = InverseOrIdentity(m_inputMatrix);
    m_xyzToOutput = m_inputToOutputMatrix * m_xyzToInput;
}

CStdMatrix CColorConverter::WhiteAdaptation() const
{
    CStdMatrix inputToPCS;
    CStdMatrix outputToPCS;
    if (!m_inputProfile || !m_outputProfile || !m_inputProfile->GetMediaToPCSMatrix(inputToPCS) ||
        !m_outputProfile->GetMediaToPCSMatrix(outputToPCS) || !outputToPCS.Invert())
        return CStdMatrix::Identity();
    return outputToPCS * inputToPCS;
}

bool CColorConverter::BuildTransform()
{
    // Whatever happens, the old transform is not kept: it belongs to other
    // profiles.
    m_transform = CColorTransform();
    if (!m_inputProfile || !m_outputProfile)
        return false;
    LogColorSpace lcs;
    if (!m_inputProfile->GetLogColorSpace(lcs, true))
        return false;
    const LcmsProfilePtr linearInput = CreateLcmsProfileFromLogColorSpace(lcs);
    const LcmsProfilePtr output = m_outputProfile->OpenLcmsProfile();
    if (!linearInput || !output)
        return false;
    m_transform = CColorTransform::Create(linearInput.get(), output.get(),
                                          LcmsIntentFromLogColorSpace(lcs), kWorkingTransformFlags);
    return m_transform.IsValid();
}

bool CColorConverter::SetProfiles(const CColorProfile* input, const CColorProfile* working,
                                  const CColorProfile* output)
{
    m_inputProfile.reset();
    m_workingProfile.reset();
    if (!input || !working || !output)
        return false;

    m_inputProfile = std::make_unique<CColorProfile>(*input);
    m_workingProfile = std::make_unique<CColorProfile>(*working);
    m_outputProfile = output;
    BuildInputTables();
    BuildOutputTable();
    BuildMatrices();
    return BuildTransform();
}

bool CColorConverter::SetInputProfile(const CColorProfile* profile)
{
    if (!profile || !m_outputProfile)
        return false;
    m_inputProfile = std::make_unique<CColorProfile>(*profile);
    BuildInputTables();
    BuildMatrices();
    return BuildTransform();
}

bool CColorConverter::SetOutputProfile(const CColorProfile* profile)
{
    if (!profile || !m_inputProfile)
        return false;
    m_outputProfile = profile;
    BuildOutputTable();
    BuildMatrices();
    return BuildTransform();
}

std::string CColorConverter::GetOutputProfileName() const
{
    return m_outputProfile ? m_outputProfile->GetName() : std::string();
}

void CColorConverter::XYZToOutputRGB(const CCIEXYZ* xyz, RGB16* pixels, std::size_t count) const
{
    if (count == 0)
        return;
    if (UseOsCmm.load() != 0)
    {
        m_xyzToInput.XYZLineToPixels(count, pixels, xyz);
        // One call for the whole list: LittleCMS converts a run of pixels
        // far faster than the same pixels one by one.
        m_transform.Translate(pixels, pixels, count);
        return;
    }
    m_xyzToOutput.XYZLineToPixels(count, pixels, xyz);
    ApplyRGBGammaTable(pixels, count, m_outputInverseTRC);
}

void CColorConverter::XYZToInputRGB(const CCIEXYZ& xyz, RGB16& pixel) const
{
    m_xyzToInput.XYZLineToPixels(1, &pixel, &xyz);
    ApplyRGBGammaTable(&pixel, 1, m_inputInverseTRC);
}

void CColorConverter::InputRGBToXYZ(const RGB16& pixel, CCIEXYZ& xyz) const
{
    RGB16 linear = pixel;
    ApplyRGBGammaTable(&linear, 1, m_inputTRC);
    CRGBMatrix(m_inputMatrix).LineToXYZ(1, &linear, &xyz);
}

bool CColorConverter::IsInInputGamut(bool& inside, std::span<const CCIEXYZ> xyz) const
{
    inside = false;
    if (xyz.empty() || !Is3x3(m_inputMatrix))
        return false;
    m_xyzToInput.IsInGamut(xyz.front(), &inside);
    return inside;
}

CCIEXYZ CColorConverter::GetWhiteXYZ() const
{
    if (!Is3x3(m_inputMatrix))
        return CCIEXYZ();
    const CStdVector white = Multiply3x3(m_inputMatrix, CStdVector{1.0, 1.0, 1.0});
    if (!(white[1] > 0.0))
        return CCIEXYZ();
    const double scale = 100.0 / white[1];
    return CCIEXYZ(white[0] * scale, 100.0, white[2] * scale);
}

// ---------------------------------------------------------------------------
// LUT transforms

void CColorConverter::FreeLUTTransforms()
{
    m_lutTransforms.clear();
    m_lutNames.clear();
}

bool CColorConverter::CreateLUTTransform(const std::string& path, std::string* error)
{
    CColorProfile link;
    std::string reason;
    if (!link.LoadLUTFromCSV(path, &reason))
    {
        if (error)
            *error = reason.empty() ? path + ": cannot be read" : reason;
        return false;
    }
    const LcmsProfilePtr handle = link.OpenLcmsProfile();
    // The grid carries perceptual (intent 0) corrections, as its 'A2B0' tag
    // says.
    CColorTransform transform =
        handle ? CColorTransform::CreateFromDeviceLink(handle.get(), INTENT_PERCEPTUAL,
                                                       kWorkingTransformFlags)
               : CColorTransform();
    if (!transform.IsValid())
    {
        if (error)
            *error = path + ": the colour engine cannot make a transform of it";
        return false;
    }
    m_lutTransforms.push_back(std::move(transform));
    m_lutNames.push_back(GetFileTitleFromPath(path));
    return true;
}

void CColorConverter::LoadLUTTransforms()
{
    FreeLUTTransforms();
    if (m_lutFolder.empty())
        return;

    // Regular files (symbolic links followed) named *.csv, in byte order of
    // their names, so every start lists the same LUTs in the same order.
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(m_lutFolder, ec), end; !ec && it != end;
         it.increment(ec))
    {
        std::error_code typeError;
        if (!it->is_regular_file(typeError))
            continue;
        std::string name = it->path().filename().string();
        if (IsCsvName(name))
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());

    for (const std::string& name : names)
    {
        if (m_lutTransforms.size() >= kMaxLUTTransforms)
        {
            ShowMessage(kStrLutLimitReached, {std::to_string(kMaxLUTTransforms)},
                        MessageButtons::Ok, MessageIcon::Warning);
            return;
        }
        std::string reason;
        if (!CreateLUTTransform(m_lutFolder + name, &reason))
            ShowMessage(kStrLutFileRejected, {reason}, MessageButtons::Ok, MessageIcon::Warning);
    }
}

const CColorTransform* CColorConverter::GetLUTTransform(std::size_t index) const
{
    return index < m_lutTransforms.size() ? &m_lutTransforms[index] : nullptr;
}

const CColorTransform* CColorConverter::FindLUTTransform(const std::string& name) const
{
    for (std::size_t i = 0; i < m_lutNames.size(); ++i)
        if (m_lutNames[i] == name)
            return &m_lutTransforms[i];
    return nullptr;
}
