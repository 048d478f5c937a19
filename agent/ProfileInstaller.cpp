#include "agent/ProfileInstaller.h"

#include "platform/ColorDirectory.h"
#include "platform/Numbers.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>

namespace {

using platform::FormatDouble;
using platform::FormatInt;

constexpr double kFallbackGamma = 2.2;

// Texts the agent writes into its profiles.
constexpr const char* kIccNotice = "Created by Quillbrake ZEPH";
constexpr const char* kCdmpDescription = "LCD device model profile";
constexpr const char* kCdmpAuthor = "Quillbrake ZEPH";

// How far a profile on disk may be from the monitor's settings and still be
// used for them. Chromaticities (x, y) of the adapted colorants: the red and
// blue corners of the gamut are tied tighter than green, whose x, y moves
// least visibly; the white point as loose as green. Tone curves: relative
// difference at four drive values spread over the mid-tones, where a gamma
// change shows first.
constexpr std::array<double, 8> kChromaTolerance = {0.002, 0.002, 0.005, 0.005,
                                                    0.002, 0.002, 0.005, 0.005};
constexpr std::array<const char*, 8> kChromaNames = {"Red x",  "Red y",  "Green x", "Green y",
                                                     "Blue x", "Blue y", "White x", "White y"};
constexpr double kCurveTolerance = 0.05;
constexpr std::array<int, 4> kCurveSamples = {64, 92, 128, 192};

std::string Lf(double value)
{
    return FormatDouble(value, 6);
}

bool EndsWithIcm(const std::string& name)
{
    if (name.size() < 4)
        return false;
    std::string ext = name.substr(name.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".icm";
}

// x, y of a triple; nullopt when it has no chromaticity (sums to 0 or is not
// finite), as a damaged profile may give.
std::optional<std::pair<double, double>> Chromaticity(const IccXyz& v)
{
    const IccXyz xy = XyzToXy(v.X, v.Y, v.Z);
    if (!std::isfinite(xy.X) || !std::isfinite(xy.Y))
        return std::nullopt;
    return std::make_pair(xy.X, xy.Y);
}

// The relative difference of a curve sample, measured against the stored
// profile's sample. A stored sample of 0 has no scale to measure against:
// equal samples do not differ, any other is infinitely far.
double RelativeDifference(double stored, double current)
{
    if (stored == 0.0)
        return current == 0.0 ? 0.0 : std::numeric_limits<double>::infinity();
    return (stored - current) / stored;
}

// How a stored profile differs from the one the monitor calls for: eight
// chromaticity differences (current - stored) and twelve relative curve
// differences ((stored - current) / stored), red, green, blue channel by
// channel. Infinite where a value cannot be compared.
struct ProfileDifferences
{
    std::array<double, 8> chroma{};
    std::array<double, 12> curve{};
};

ProfileDifferences Compare(const IccCompareRecord& current, const IccCompareRecord& stored)
{
    ProfileDifferences d;
    const IccXyz* const now[4] = {&current.red, &current.green, &current.blue, &current.white};
    const IccXyz* const old[4] = {&stored.red, &stored.green, &stored.blue, &stored.white};
    for (int i = 0; i < 4; ++i)
    {
        const auto a = Chromaticity(*now[i]);
        const auto b = Chromaticity(*old[i]);
        const double inf = std::numeric_limits<double>::infinity();
        d.chroma[2 * i] = a && b ? a->first - b->first : inf;
        d.chroma[2 * i + 1] = a && b ? a->second - b->second : inf;
    }
    for (int c = 0; c < 3; ++c)
    {
        for (std::size_t s = 0; s < kCurveSamples.size(); ++s)
        {
            const int at = kCurveSamples[s];
            d.curve[c * kCurveSamples.size() + s] =
                RelativeDifference(stored.curves[c][at], current.curves[c][at]);
        }
    }
    return d;
}

// Within the tolerances: inclusive (the substitution judgement) or strict
// (the search for the nearest profile). NaN is never within.
bool WithinTolerances(const ProfileDifferences& d, bool inclusive)
{
    auto within = [inclusive](double difference, double tolerance) {
        const double a = std::fabs(difference);
        return inclusive ? a <= tolerance : a < tolerance;
    };
    for (std::size_t i = 0; i < d.chroma.size(); ++i)
    {
        if (!within(d.chroma[i], kChromaTolerance[i]))
            return false;
    }
    for (const double r : d.curve)
    {
        if (!within(r, kCurveTolerance))
            return false;
    }
    return true;
}

// Distance of a stored profile: the sum of the absolute differences, so
// that deviations in opposite directions never cancel out.
double Distance(const ProfileDifferences& d)
{
    double sum = 0.0;
    for (const double v : d.chroma)
        sum += std::fabs(v);
    for (const double v : d.curve)
        sum += std::fabs(v);
    return sum;
}

// The exported record with its primaries adapted to D50, as a decoded
// profile holds them. False when the builder is incomplete.
bool CurrentRecord(const CIccProfileBuilder& builder, IccCompareRecord& record)
{
    return builder.Export(record) && AdaptPrimaries(record);
}

void TraceChromaticities(const CTraceLog& trace, const char* label, const IccCompareRecord& record)
{
    std::string text = label;
    const IccXyz* const triples[4] = {&record.red, &record.green, &record.blue, &record.white};
    for (int i = 0; i < 4; ++i)
    {
        const IccXyz xy = XyzToXy(triples[i]->X, triples[i]->Y, triples[i]->Z);
        text += std::string(" ") + kChromaNames[2 * i] + "=" + Lf(xy.X) + " " +
                kChromaNames[2 * i + 1] + "=" + Lf(xy.Y);
    }
    trace.Write(text + "\n");
}

// Solves P (r, g, b) = v for P with columns a, b, c (Cramer's rule). False
// when P is singular or the result is not finite.
bool SolveColumns(const IccXyz& a, const IccXyz& b, const IccXyz& c, const IccXyz& v,
                  std::array<double, 3>& out)
{
    auto det = [](const IccXyz& p, const IccXyz& q, const IccXyz& r) {
        return p.X * (q.Y * r.Z - r.Y * q.Z) - q.X * (p.Y * r.Z - r.Y * p.Z) +
               r.X * (p.Y * q.Z - q.Y * p.Z);
    };
    const double d = det(a, b, c);
    if (!std::isfinite(d) || d == 0.0)
        return false;
    out = {det(v, b, c) / d, det(a, v, c) / d, det(a, b, v) / d};
    return std::isfinite(out[0]) && std::isfinite(out[1]) && std::isfinite(out[2]);
}

IccXyz Scaled(const IccXyz& v, double factor)
{
    return {v.X * factor, v.Y * factor, v.Z * factor};
}

CdmpXyz ToCdmp(const IccXyz& v)
{
    return {v.X, v.Y, v.Z};
}

} // namespace

int GetDefaultGammaFromCapabilities(const CMccsCapabilities& capabilities, double& gamma)
{
    if (!capabilities.IsParsed())
    {
        gamma = kFallbackGamma;
        return kGammaTypeUnknown;
    }
    const std::span<const int> list = capabilities.GetValueList(0x72);
    if (list.size() < 2)
        return kGammaTypeUnknown;
    gamma = list[1] / 100.0 + 1.0;
    return list[0] == 0xFF ? kGammaTypeRelative : kGammaTypeAbsolute;
}

int GetColorPresetList(const CMccsCapabilities& capabilities, std::vector<int>* values)
{
    if (!capabilities.IsParsed())
        return 0;
    const std::span<const int> list = capabilities.GetValueList(0x14);
    if (values)
        values->assign(list.begin(), list.end());
    return static_cast<int>(list.size());
}

int GammaFromVcpValue(int type, double defaultGamma, std::uint16_t value, double& gamma)
{
    if (type == kGammaTypeAbsolute)
    {
        gamma = value / 100.0 + 1.0;
        return 1;
    }
    if (type != kGammaTypeRelative)
    {
        gamma = defaultGamma;
        return 1;
    }
    // Relative: 400h is the default, 40nh n tenths below, 41nh n tenths
    // above (n = 1..10), 420h "no gamma".
    const int v = static_cast<std::int16_t>(value);
    if (v == 0x400)
        gamma = defaultGamma;
    else if (v >= 0x401 && v <= 0x40A)
        gamma = defaultGamma - 0.1 * (v - 0x400);
    else if (v >= 0x411 && v <= 0x41A)
        gamma = defaultGamma + 0.1 * (v - 0x410);
    else if (v == 0x420)
        gamma = -1.0;
    else
    {
        gamma = -1.0;
        return 0;
    }
    return 1;
}

double GammaFromSimpleGamma(std::uint16_t value)
{
    return value / 100.0 + 0.5;
}

std::string MakeProfileName(int kelvin, double gamma, const std::string& manufacturer,
                            const std::string& product)
{
    // A gamma from the monitor is at most 655.35 + 1; anything far beyond is
    // no gamma and must not reach the integer conversion.
    if (!std::isfinite(gamma) || gamma <= 0.0 || gamma > 1.0e6)
        return std::string();
    const long tenths = std::lround(gamma * 10.0);
    return FormatInt(kelvin) + "K_" + FormatInt(tenths) + "_" + manufacturer + product;
}

CProfileInstaller::CProfileInstaller(CMonitorProbe& probe, const CMccsCapabilities& capabilities,
                                     CTraceLog& trace)
    : m_probe(probe), m_capabilities(capabilities), m_trace(trace)
{}

void CProfileInstaller::SetDeviceId(std::string deviceId)
{
    m_deviceId = std::move(deviceId);
}

int CProfileInstaller::SelectProfileFromIni(const std::vector<std::string>& keys,
                                            const std::vector<std::string>& values, int maxIndex)
{
    m_presetProfileNames = {};
    std::vector<int> presets;
    const int count = GetColorPresetList(m_capabilities, &presets);
    if (count == 0)
        return 0;
    m_trace.Write("Correspondence Color Select Num = " + FormatInt(count) + "\n");
    std::string listed;
    for (const int v : presets)
        listed += FormatInt(v) + " ";
    m_trace.Write("This Monitor ColorSelect = " + listed + "\n");

    std::string folder;
    platform::ColorDirectory(folder);
    std::vector<std::string> profiles = platform::ListInstalledProfiles();
    std::erase_if(profiles, [](const std::string& name) { return !EndsWithIcm(name); });

    const std::size_t pairs =
        std::min({keys.size(), values.size(),
                  maxIndex < 0 ? std::size_t{0} : static_cast<std::size_t>(maxIndex) + 1});
    int found = 0;
    for (const int preset : presets)
    {
        if (preset < 0 || preset >= kColorPresetCount)
            continue;
        const std::string key = std::string("PN") + SelectColorPresetNames[preset];
        // The first pair naming an installed file is the preset's profile; a
        // preset counts once however many pairs name it.
        for (std::size_t i = 0; i < pairs; ++i)
        {
            if (keys[i] != key || values[i].empty())
                continue;
            if (std::find(profiles.begin(), profiles.end(), values[i]) == profiles.end())
                continue;
            m_presetProfileNames[preset] = values[i];
            m_trace.Write(key + " = " + folder + values[i] + "\n");
            ++found;
            break;
        }
    }
    m_trace.Write("find SelectColorPreset for INI = " + FormatInt(found) + "\n");
    return found == count ? 1 : 0;
}

int CProfileInstaller::InstallColorProfile(std::span<const std::uint16_t, kValueCount> values,
                                           const ProfileSettings& settings)
{
    m_retryAdvised = false;
    m_trace.Write("InstallColorProfile\n");
    m_trace.Write("SelectColorPreset = " + FormatInt(values[kSelectColorPreset]) +
                  "\nColorTemperatureIncrement = " + FormatInt(values[kColorTemperatureIncrement]) +
                  "\nColorTemperatureRequest = " + FormatInt(values[kColorTemperatureRequest]) +
                  "\n");
    m_trace.Write("m_nProfileStatus = " + FormatInt(settings.easyMode) + "\n");

    EasyProfileInputs inputs;
    if (settings.easyMode != 0)
    {
        const int result = ComputeEasyInputs(values, settings, inputs);
        if (result != kResultOk)
            return result;
    }
    if (settings.format == 1)
        return InstallDeviceModel(values, settings, inputs);
    return InstallIcc(values, settings, inputs);
}

int CProfileInstaller::ComputeEasyInputs(std::span<const std::uint16_t, kValueCount> values,
                                         const ProfileSettings& settings, EasyProfileInputs& inputs)
{
    const std::uint16_t preset = values[kSelectColorPreset];
    if (preset == kNotRead)
    {
        m_trace.Write("Error_ NOT_SELCOLPRESET: CheckNewControlValue(3)\n");
        return kResultNoColorPreset;
    }

    // The colour temperature: the monitor's own request (a count of
    // increments above 3000 K) unless the preset names one by itself.
    std::int64_t kelvin = 0;
    const std::uint16_t increment = values[kColorTemperatureIncrement];
    const std::uint16_t request = values[kColorTemperatureRequest];
    if (preset != kPresetProgrammable && increment != kNotRead && request != kNotRead)
    {
        kelvin = static_cast<std::int64_t>(increment) * request + 3000;
        m_trace.Write("ColTemp(1) = " + FormatInt(kelvin) + "\n");
    }
    else if (preset < kColorPresetCount)
    {
        kelvin = PresetColorTemperatures[preset];
        m_trace.Write("ColTemp(2) = " + FormatInt(kelvin) + "\n");
    }
    else
    {
        m_trace.Write("SelectColorPreset out of the table: " + FormatInt(preset) + "\n");
        return kResultFailed;
    }
    // 0Bh x 0Ch may exceed int; any such value is out of range anyway.
    const int kelvinInt =
        static_cast<int>(std::min<std::int64_t>(kelvin, CMonitorProbe::kMaxKelvin + 1));
    const int white = m_probe.ConvertFromColorTempIntoColorChrom(kelvinInt, inputs.white);
    if (white != 0)
        return white;

    if (m_probe.GetEDIDFromMon() != 0)
    {
        // The monitor may be between a disconnect and a reconnect.
        m_retryAdvised = true;
        return kResultFailed;
    }
    std::string manufacturer;
    std::string product;
    if (m_probe.GetManufactureIDFromEDID(manufacturer) != 0 ||
        m_probe.GetProductIDFromEDID(product) != 0 ||
        m_probe.GetPrimaryColorChromaticityFromEDID(inputs.red, inputs.green, inputs.blue) != 0)
        return kResultFailed;

    const int gammaResult = ComputeGamma(values, settings, inputs.gamma);
    if (gammaResult != kResultOk)
        return gammaResult;

    inputs.name = MakeProfileName(kelvinInt, inputs.gamma, manufacturer, product);
    if (inputs.name.empty())
    {
        m_trace.Write("error_Gamma_not_usable = " + Lf(inputs.gamma) + "\n");
        return kResultFailed;
    }
    m_trace.Write("SetFileName = " + inputs.name + "\n");
    return kResultOk;
}

int CProfileInstaller::ComputeGamma(std::span<const std::uint16_t, kValueCount> values,
                                    const ProfileSettings& settings, double& gamma)
{
    gamma = kFallbackGamma;
    if (!settings.gammaSelectSupported)
        return kResultOk;

    const std::uint16_t vcpGamma = values[kGamma];
    const std::uint16_t simpleGamma = values[kSimpleGamma];
    switch (values[kGammaSelect])
    {
    case kGammaSelectNoCorrection:
        m_trace.Write("GammaSelect = NO_CORRECTION\n");
        return kResultOk;
    case kGammaSelectProgrammable:
        m_trace.Write("GammaSelect = PROGRAMMABLE\n");
        return kResultOk;
    case kGammaSelectOption:
        m_trace.Write("GammaSelect = OPTION\n");
        return kResultOk;
    case kGammaSelectDefault:
    {
        m_trace.Write("GammaSelect = DEFAULT\n");
        double defaultGamma = kFallbackGamma;
        if (GetDefaultGammaFromCapabilities(m_capabilities, defaultGamma) != kGammaTypeUnknown)
            gamma = defaultGamma;
        return kResultOk;
    }
    case kGammaSelectCustom:
        m_trace.Write("GammaSelect = CUSTOM\n");
        if (vcpGamma != kNotRead)
        {
            m_trace.Write("use Gamma!!\n");
            double defaultGamma = kFallbackGamma;
            const int type = GetDefaultGammaFromCapabilities(m_capabilities, defaultGamma);
            if (type == kGammaTypeUnknown)
            {
                m_trace.Write("error_NON_CORRESPODENCE\n");
                return kResultGammaNotDescribed;
            }
            m_trace.Write("GAMMA_TYPE = " + FormatInt(type) +
                          "\nDefaultGamma = " + Lf(defaultGamma) + "\n");
            if (GammaFromVcpValue(type, defaultGamma, vcpGamma, gamma) == 0 || gamma < 0.0)
            {
                m_trace.Write("error_Gamma_not_support(1)\n");
                if (simpleGamma == kNotRead)
                {
                    m_trace.Write("error_SimpleGamma_not_support(1)\n");
                    return kResultFailed;
                }
                gamma = GammaFromSimpleGamma(simpleGamma);
            }
            m_trace.Write("CurrentGamma = " + Lf(gamma) + "\n");
            return kResultOk;
        }
        if (simpleGamma != kNotRead)
        {
            m_trace.Write("use SimpleGamma!!\n");
            gamma = GammaFromSimpleGamma(simpleGamma);
            return kResultOk;
        }
        m_trace.Write("error_Gamma and SimpleGamma not support\n");
        return kResultFailed;
    default:
        m_trace.Write("GammaSelect not supported = " + FormatInt(values[kGammaSelect]) + "\n");
        return kResultFailed;
    }
}

bool CProfileInstaller::ProName(std::span<const std::uint16_t, kValueCount> values,
                                std::string& name)
{
    const std::uint16_t preset = values[kSelectColorPreset];
    if (preset >= kColorPresetCount || m_presetProfileNames[preset].empty())
    {
        m_trace.Write("no profile for SelectColorPreset = " + FormatInt(preset) + "\n");
        return false;
    }
    name = m_presetProfileNames[preset];
    return true;
}

// The first decision records the display's profile as it was before the
// agent acted; every later one hands the profile it associated last to the
// tool, which takes it off the display once the new one is on.
template <typename Tool>
static void StartBookkeeping(Tool& tool, bool& alreadyCreated, std::string& currentName,
                             const CTraceLog& trace)
{
    trace.Write("m_AlreadyCreate = " + FormatInt(alreadyCreated ? 1 : 0) + "\n");
    if (alreadyCreated)
    {
        trace.Write("SetCurrentICMFileName = " + currentName + "\n");
        tool.SetCurrentProfilePath(currentName);
        return;
    }
    std::string name;
    if (tool.GetCurrentIcmProfileName(0, name))
        currentName = name;
    alreadyCreated = true;
    trace.Write("GetCurrentICMFileName = " + currentName + "\n");
}

int CProfileInstaller::InstallIcc(std::span<const std::uint16_t, kValueCount> values,
                                  const ProfileSettings& settings, const EasyProfileInputs& inputs)
{
    CIccProfileBuilder builder;
    builder.SetEasyMode(settings.easyMode);
    builder.SetDeviceId(m_deviceId);
    if (settings.easyMode != 0 &&
        (!builder.SetPrimaries(inputs.red, inputs.green, inputs.blue, inputs.white) ||
         !builder.SetGamma(inputs.gamma)))
    {
        m_trace.Write("primaries or gamma not usable\n");
        return kResultFailed;
    }

    StartBookkeeping(builder, m_alreadyCreated, m_currentProfileName, m_trace);

    std::string name = inputs.name;
    if (settings.easyMode == 0 && !ProName(values, name))
        return kResultFailed;

    m_trace.Write("InstallWindowsICMProfile_Start\n");
    if (InstallIccProfile(builder, name) != 1)
        return kResultFailed;

    builder.GetCurrentIcmProfileName(1, m_currentProfileName);
    m_trace.Write("GetCurrentICMFileName = " + m_currentProfileName + "\n");
    return kResultOk;
}

int CProfileInstaller::InstallDeviceModel(std::span<const std::uint16_t, kValueCount> values,
                                          const ProfileSettings& settings,
                                          const EasyProfileInputs& inputs)
{
    m_trace.Write("WCS_PROFILE\n");
    CdmpWriter writer;
    writer.SetWriteDocument(settings.easyMode);
    writer.SetDeviceId(m_deviceId);
    if (settings.easyMode != 0)
    {
        // The white at its luminance, and the luminance each primary needs
        // to make it: with P the matrix of the primaries' XYZ (Y = 1) as
        // columns, (r, g, b) = P^-1 (Lw white).
        const double whiteLuminance = settings.whiteLuminance;
        const IccXyz white = Scaled(inputs.white, whiteLuminance);
        std::array<double, 3> rgb{};
        if (!SolveColumns(inputs.red, inputs.green, inputs.blue, white, rgb))
        {
            m_trace.Write("primaries do not span a gamut\n");
            return kResultFailed;
        }
        m_luminanceResults = rgb;
        m_trace.Write("Ruminance:W=" + FormatInt(settings.whiteLuminance) + ",R=" + Lf(rgb[0]) +
                      ",G=" + Lf(rgb[1]) + ",B=" + Lf(rgb[2]) + "\n");
        const IccXyz red = Scaled(inputs.red, rgb[0]);
        const IccXyz green = Scaled(inputs.green, rgb[1]);
        const IccXyz blue = Scaled(inputs.blue, rgb[2]);
        const IccXyz gray = {red.X + green.X + blue.X, red.Y + green.Y + blue.Y,
                             red.Z + green.Z + blue.Z};
        const CdmpXyz black{};

        writer.SetProfileName(inputs.name + ".cdmp");
        writer.SetDescription(kCdmpDescription);
        writer.SetAuthor(kCdmpAuthor);
        writer.SetColorSpace("CIEXYZ");
        const bool ok =
            writer.SetWhitePoint(white.X, white.Y, white.Z) && writer.SetGeometry(0) &&
            writer.SetApertureSize(10) && writer.SetSelfLuminous(1) && writer.SetMaxColorant(255) &&
            writer.SetMinColorant(0) && writer.SetRedPrimary(red.X, red.Y, red.Z) &&
            writer.SetGreenPrimary(green.X, green.Y, green.Z) &&
            writer.SetBluePrimary(blue.X, blue.Y, blue.Z) && writer.SetBlackPrimary(0, 0, 0) &&
            writer.SetWhitePrimary(white.X, white.Y, white.Z);
        writer.SetTimeStamp();
        if (!ok || !writer.SetRamp(0, ToCdmp(gray), black, inputs.gamma) ||
            !writer.SetRamp(1, ToCdmp(red), black, inputs.gamma) ||
            !writer.SetRamp(2, ToCdmp(green), black, inputs.gamma) ||
            !writer.SetRamp(3, ToCdmp(blue), black, inputs.gamma))
        {
            m_trace.Write("device model values refused\n");
            return kResultFailed;
        }
    }

    StartBookkeeping(writer, m_alreadyCreated, m_currentProfileName, m_trace);

    std::string name = inputs.name;
    if (settings.easyMode == 0 && !ProName(values, name))
        return kResultFailed;

    m_trace.Write("InstallWindowsICMProfile_Start\n");
    if (InstallDeviceModelProfile(writer, name, settings.easyMode) != 1)
        return kResultFailed;

    m_currentProfileName = writer.CurrentProfilePath();
    m_trace.Write("GetCurrentICMFileName = " + m_currentProfileName + "\n");
    return kResultOk;
}

int CProfileInstaller::FileSubstitutionJudgment(const CIccProfileBuilder& builder,
                                                const std::string& path) const
{
    m_trace.Write("FileSubstitutionJudgment\n");
    IccCompareRecord current;
    if (!CurrentRecord(builder, current))
        return kMakeNewFile;
    IccCompareRecord stored;
    if (!builder.Load(path, stored))
    {
        m_trace.Write("CHANGE_FILE\n");
        return kMakeNewFile;
    }
    TraceChromaticities(m_trace, "outCurrentColChrom:", current);
    TraceChromaticities(m_trace, "outOldColChrom:", stored);

    const ProfileDifferences d = Compare(current, stored);
    std::string text = "Difference:";
    for (std::size_t i = 0; i < d.chroma.size(); ++i)
        text += std::string(" ") + kChromaNames[i] + "=" + Lf(d.chroma[i]);
    m_trace.Write(text + "\n");
    for (int c = 0; c < 3; ++c)
    {
        for (std::size_t s = 0; s < kCurveSamples.size(); ++s)
        {
            const int at = kCurveSamples[s];
            m_trace.Write("TRC[" + FormatInt(c) + "][" + FormatInt(at) +
                          "]: decodeIcc = " + FormatInt(stored.curves[c][at]) +
                          ", inRgbTrc = " + FormatInt(current.curves[c][at]) +
                          ", ratio = " + Lf(d.curve[c * kCurveSamples.size() + s]) + "\n");
        }
    }
    if (!WithinTolerances(d, true))
    {
        m_trace.Write("CHANGE_FILE\n");
        return kMakeNewFile;
    }
    m_trace.Write("NO_CHANGE_FILE\n");
    return kKeepFile;
}

int CProfileInstaller::FindNearestProfile(const CIccProfileBuilder& builder,
                                          std::string& name) const
{
    IccCompareRecord current;
    if (!CurrentRecord(builder, current))
        return 0;

    const std::string& folder = builder.ColorDirectoryPath();
    std::optional<double> best;
    std::string bestPath;
    int index = 0;
    for (const std::string& file : platform::ListInstalledProfiles())
    {
        if (!EndsWithIcm(file))
            continue;
        const std::string path = folder + file;
        std::string line = "(";
        line += FormatInt(index++);
        line += ")DecodeFileName = " + path + "\n";
        m_trace.Write(line);
        IccCompareRecord stored;
        if (!builder.Load(path, stored))
        {
            m_trace.Write("NOT_COMPARE\n\n");
            continue;
        }
        const ProfileDifferences d = Compare(current, stored);
        if (!WithinTolerances(d, false))
            continue;
        const double local = Distance(d);
        if (!best || local < *best)
        {
            best = local;
            bestPath = path;
            m_trace.Write("dDelta = " + Lf(*best) + "\ndlocalDelta = " + Lf(local) +
                          "\nnear file name = " + path + "\n\n");
        }
    }
    if (!best)
        return 0;
    name = bestPath;
    m_trace.Write("decision file name = " + name + "\n\n");
    return 1;
}

bool CProfileInstaller::WriteIccProfile(CIccProfileBuilder& builder, std::string& name) const
{
    IccCompareRecord record;
    if (!builder.Export(record))
        return false;
    if (FindNearestProfile(builder, name) == 1)
        return true;
    if (name.empty() || name.find('/') != std::string::npos)
        return false;

    builder.SetDescription(name);
    builder.SetNotice(kIccNotice);
    builder.ClearTags();
    if (!builder.BuildTags())
        return false;
    const std::string path = builder.ColorDirectoryPath() + name + ".icm";
    if (!builder.Save(path))
    {
        m_trace.Write("profile not saved: " + path + "\n");
        return false;
    }
    name = path;
    return true;
}

int CProfileInstaller::InstallIccProfile(CIccProfileBuilder& builder, const std::string& name)
{
    std::string previous;
    if (builder.HasCurrentProfilePath())
    {
        builder.GetCurrentIcmProfileName(1, previous);
    }
    else if (builder.GetCurrentIcmProfileName(0, previous))
    {
        builder.SetCurrentProfilePath(previous);
    }
    else
    {
        m_trace.Write("GetICMProfile error\n");
    }
    TracePreviousProfile(m_ops, m_deviceId, previous, m_trace);

    std::string file;
    if (builder.EasyMode() != 0)
    {
        if (!previous.empty() && FileSubstitutionJudgment(builder, previous) == kKeepFile)
        {
            file = previous;
        }
        else
        {
            file = name;
            if (!WriteIccProfile(builder, file))
            {
                m_retryAdvised = true;
                return 0;
            }
        }
    }
    else
    {
        file = builder.ColorDirectoryPath() + name;
    }

    std::string associated;
    if (!ReplaceProfile(file, previous, associated))
        return 0;
    builder.SetCurrentProfilePath(associated);
    return 1;
}

int CProfileInstaller::InstallDeviceModelProfile(CdmpWriter& writer, const std::string& name,
                                                 int easyMode)
{
    std::string previous;
    if (writer.CurrentProfileKnown())
    {
        previous = writer.CurrentProfilePath();
    }
    else if (writer.GetCurrentIcmProfileName(0, previous))
    {
        writer.SetCurrentProfilePath(previous);
    }
    else
    {
        m_trace.Write("GetICMProfile error\n");
    }
    TracePreviousProfile(m_ops, m_deviceId, previous, m_trace);

    std::string file = name;
    if (easyMode != 0)
    {
        if (!writer.Write(file))
        {
            m_retryAdvised = true;
            return 0;
        }
    }
    else
    {
        file = writer.ColorDirectoryPath() + name;
    }

    std::string associated;
    if (!ReplaceProfile(file, previous, associated))
        return 0;
    writer.SetCurrentProfilePath(associated);
    return 1;
}

bool CProfileInstaller::ReplaceProfile(const std::string& file, const std::string& previous,
                                       std::string& associated)
{
    if (ReplaceDisplayProfile(m_ops, m_deviceId, file, previous, m_trace, associated))
        return true;
    m_retryAdvised = true;
    return false;
}
