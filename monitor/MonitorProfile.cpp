#include "monitor/MonitorProfile.h"

#include "core/CIEColor.h"
#include "core/ColorProfile.h"
#include "core/ProfileDirectory.h"
#include "core/StdMatrix.h"
#include "monitor/MonitorModelData.h"
#include "platform/ColorDirectory.h"
#include "platform/Numbers.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr const char* kNativePreset = "Native";
constexpr const char* kCopyright = "Copyright Quillbrake. Monitor profile written by CHROMIVEL.";

MonitorProfileResult Refuse(int messageId, std::vector<std::string> args = {})
{
    MonitorProfileResult result;
    result.messageId = messageId;
    result.messageArgs = std::move(args);
    return result;
}

// The chromaticity of CIE daylight at the temperature. The daylight
// formula is extended below its 4000 K on purpose: monitors offer warmer
// whites than daylight has, and the locus continues smoothly there.
void DaylightChromaticity(int kelvin, double& x, double& y)
{
    const CCIEYxy yxy = GetDaylightXYZ(kelvin).ToYxy();
    x = yxy[1];
    y = yxy[2];
}

CCIEXYZ XYZOf(double Y, double x, double y)
{
    return CCIEYxy(Y, x, y).ToXYZ();
}

std::string FileNameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string SafeFileNamePart(const std::string& text)
{
    std::string safe;
    for (const char c : text)
    {
        const auto u = static_cast<unsigned char>(c);
        const bool unsafe = c == '/' || c == '\\' || u < 0x20 || u == 0x7F;
        // A dot after a dot would make "..", and a leading one a hidden
        // file that the colour directory's listing skips.
        const bool badDot = c == '.' && (safe.empty() || safe.back() == '.');
        safe += unsafe || badDot ? '_' : c;
    }
    return safe.empty() ? std::string("_") : safe;
}

std::string MonitorProfileFileName(const std::string& modelName, const std::string& temperature,
                                   double gamma)
{
    // Gamma times ten, truncated (2.45 gives 24), within the gammas model
    // data may give.
    const double clamped = std::isfinite(gamma) ? std::clamp(gamma, 0.0, kMaxModelGamma) : 0.0;
    const int gamma10 = static_cast<int>(clamped * 10.0);
    return SafeFileNamePart(modelName) + "_" + SafeFileNamePart(temperature) + "K_" +
           platform::FormatInt(gamma10) + ".icm";
}

// The profile describes the monitor as a matrix-and-curve display: its
// primaries (x, y) from the model data, the white W of the chosen
// temperature at Y = 1, and one gamma for all three channels.
//
// Colorants: with M the matrix whose columns are the primaries' XYZ at
// Y = 1, S = M^-1 W are the luminances of red, green and blue that add up
// to W, and primary c at luminance S_c is its colorant. The profile
// connection space is D50, so the colorants are stored Bradford-adapted
// from W to D50, while 'wtpt' keeps W itself (version-2 profiles carry the
// media white unadapted).
//
// Installation: the new profile goes on the display first, and only once
// that succeeded does the previous one come off (the agent's order), so a
// failure never leaves the display without the profile it had. The change
// of the association store is what running programs watch to learn that
// the display's profile changed.
MonitorProfileResult CreateMonitorProfile(const MonitorProfileRequest& request)
{
    const CMonitorModelData model(request.modelCode, request.programFolder);
    MonitorPrimaries p{};
    if (!model.LoadPrimaryColors(p))
        return Refuse(kStrProfileCreationFailed);

    double x = 0.0;
    double y = 0.0;
    std::string temperature;
    if (request.mode == MonitorTemperatureMode::Typed)
    {
        const int lowest = model.MinTemperature();
        const int highest = model.MaxTemperature();
        if (request.typedKelvin < lowest || request.typedKelvin > highest)
            return Refuse(kStrEnterNumberInRange,
                          {platform::FormatInt(lowest), platform::FormatInt(highest)});
        temperature = platform::FormatInt(request.typedKelvin);
        DaylightChromaticity(request.typedKelvin, x, y);
    }
    else
    {
        if (!request.preset)
            return Refuse(kStrProfileCreationFailed);
        temperature = *request.preset;
        if (temperature == kNativePreset)
        {
            x = p[kWhiteX];
            y = p[kWhiteY];
        }
        else
        {
            const int kelvin = platform::ParseInt(temperature);
            if (kelvin < kLowestPresetKelvin || kelvin > kHighestPresetKelvin)
                return Refuse(kStrProfileCreationFailed);
            DaylightChromaticity(kelvin, x, y);
        }
    }

    const std::string modelName = model.ModelName();
    std::string folder;
    if (!GetColorDirectory(folder))
        return Refuse(kStrProfileCreationFailed);
    const std::string path = folder + MonitorProfileFileName(modelName, temperature, p[kGamma]);

    const CCIEXYZ white = XYZOf(1.0, x, y);
    const CCIEXYZ r1 = XYZOf(1, p[kRedX], p[kRedY]);
    const CCIEXYZ g1 = XYZOf(1, p[kGreenX], p[kGreenY]);
    const CCIEXYZ b1 = XYZOf(1, p[kBlueX], p[kBlueY]);
    CStdMatrix m(r1[0], g1[0], b1[0], r1[1], g1[1], b1[1], r1[2], g1[2], b1[2]);
    if (!m.Invert())
        return Refuse(kStrProfileCreationFailed);
    const CStdVector s = m.MultiplyVector(white);
    CStdVector red = XYZOf(s[0], p[kRedX], p[kRedY]);
    CStdVector green = XYZOf(s[1], p[kGreenX], p[kGreenY]);
    CStdVector blue = XYZOf(s[2], p[kBlueX], p[kBlueY]);
    BradfordAdapt(red, green, blue, white);

    {
        CColorProfile profile;
        if (!profile.CreateNew(path))
            return Refuse(kStrProfileCreationFailed);
        const std::string description =
            modelName + " " + temperature + "K " + platform::FormatDouble(p[kGamma], 1) + " Profile";
        const bool written =
            profile.SetHeader(IccSignature("mntr"), IccSignature("XYZ ")) &&
            profile.SetDescriptionTag(IccSignature("desc"), description) &&
            profile.SetCopyrightTag(kCopyright) && profile.SetXYZTag(white, IccSignature("wtpt")) &&
            profile.SetXYZTag(red, IccSignature("rXYZ")) &&
            profile.SetXYZTag(green, IccSignature("gXYZ")) &&
            profile.SetXYZTag(blue, IccSignature("bXYZ")) &&
            profile.SetGammaTag(p[kGamma], IccSignature("rTRC")) &&
            profile.SetGammaTag(p[kGamma], IccSignature("gTRC")) &&
            profile.SetGammaTag(p[kGamma], IccSignature("bTRC"));
        if (!written || !profile.Close())
            return Refuse(kStrProfileCreationFailed);
    }

    const std::string previous = request.previousProfile.empty()
                                     ? platform::DefaultDisplayProfile(request.deviceId)
                                     : request.previousProfile;
    std::string installed;
    if (!platform::InstallProfile(path, &installed))
        return Refuse(kStrProfileCreationFailed);
    if (!platform::AssociateDisplayProfile(request.deviceId, installed))
    {
        MonitorProfileResult refused = Refuse(kStrProfileCreationFailed);
        refused.profilePath = installed;
        return refused;
    }
    // A failure to take the old profile off leaves it second in the
    // display's list: the new one is the default either way.
    if (!previous.empty() && FileNameOf(previous) != FileNameOf(installed))
        platform::DisassociateDisplayProfile(request.deviceId, previous);

    MonitorProfileResult result;
    result.ok = true;
    result.profilePath = installed;
    return result;
}
