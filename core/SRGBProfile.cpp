#include "core/SRGBProfile.h"

#include "core/Clamp.h"
#include "core/ColorProfile.h"
#include "core/StdMatrix.h"
#include "core/StdVector.h"
#include "platform/ColorDirectory.h"
#include "platform/File.h"
#include "platform/FileReplace.h"

#include <cmath>
#include <string_view>

namespace {

constexpr std::size_t kCurveSamples = 1024;

// XYZ with Y = 1 of the chromaticity (x, y).
CStdVector XYZFromChromaticity(double x, double y)
{
    return CStdVector{x / y, 1.0, (1.0 - x - y) / y};
}

// IEC 61966-2-1: the encoded value V (0..1) to linear light,
//     L = V / 12.92                      for V <= 0.04045,
//     L = ((V + 0.055) / 1.055)^2.4      above.
double SRGBToLinear(double v)
{
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

// A 'curv' element sampling the sRGB curve at kCurveSamples evenly spaced
// points, each rounded to 16 bits.
std::vector<std::uint8_t> SRGBCurveElement()
{
    std::vector<std::uint8_t> element(12 + 2 * kCurveSamples, 0);
    const auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            element[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    };
    put32(0, IccSignature("curv"));
    put32(8, static_cast<std::uint32_t>(kCurveSamples));
    for (std::size_t i = 0; i < kCurveSamples; ++i)
    {
        const double v = SRGBToLinear(static_cast<double>(i) / (kCurveSamples - 1));
        const std::uint16_t entry = ClampToU16(v * 65535.0 + 0.5);
        element[12 + 2 * i] = static_cast<std::uint8_t>(entry >> 8);
        element[13 + 2 * i] = static_cast<std::uint8_t>(entry & 0xFF);
    }
    return element;
}

} // namespace

std::vector<std::uint8_t> BuildSRGBProfileBytes()
{
    // Primaries and white of IEC 61966-2-1 (those of ITU-R BT.709, white D65).
    const CStdVector white = XYZFromChromaticity(0.3127, 0.3290);
    const CStdVector primaries[3] = {XYZFromChromaticity(0.64, 0.33),
                                     XYZFromChromaticity(0.30, 0.60),
                                     XYZFromChromaticity(0.15, 0.06)};

    // The colorants are the primaries scaled so that they add up to the
    // white: with P the matrix of the primaries as columns, S = P^-1 W gives
    // each primary's luminance.
    CStdMatrix p(3, 3);
    for (std::uint32_t c = 0; c < 3; ++c)
        for (std::uint32_t r = 0; r < 3; ++r)
            p.SetAt(r, c, primaries[c][r]);
    CStdMatrix inverse = p;
    inverse.Invert();
    const CStdVector s = inverse.MultiplyVector(white);
    CStdVector red = primaries[0];
    CStdVector green = primaries[1];
    CStdVector blue = primaries[2];
    red *= s[0];
    green *= s[1];
    blue *= s[2];
    // A version-2 profile stores the colorants adapted to the PCS white D50.
    BradfordAdapt(red, green, blue, white);

    CColorProfile profile;
    profile.CreateInMemory(GetSRGBProfileFileName());
    profile.SetHeader(IccSignature("mntr"), IccSignature("XYZ "));
    profile.SetDescriptionTag(IccSignature("desc"), GetSRGBProfileDescription());
    profile.SetCopyrightTag("No copyright, use freely");
    profile.SetXYZTag(white, IccSignature("wtpt"));
    profile.SetXYZTag(red, IccSignature("rXYZ"));
    profile.SetXYZTag(green, IccSignature("gXYZ"));
    profile.SetXYZTag(blue, IccSignature("bXYZ"));
    const std::vector<std::uint8_t> curve = SRGBCurveElement();
    profile.SetTagElement(IccSignature("rTRC"), curve);
    profile.SetTagElement(IccSignature("gTRC"), curve);
    profile.SetTagElement(IccSignature("bTRC"), curve);

    std::vector<std::uint8_t> bytes;
    profile.GetProfileBytes(bytes);
    return bytes;
}

bool EnsureSRGBProfileInstalled()
{
    std::string folder;
    if (!platform::ColorDirectory(folder))
        return false;
    const std::string path = folder + platform::kSRGBProfileFileName;
    if (platform::IsRegularFile(path))
        return true;
    const std::vector<std::uint8_t> bytes = BuildSRGBProfileBytes();
    return platform::ReplaceFileContents(
        path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string GetSRGBProfileFileName()
{
    return platform::kSRGBProfileFileName;
}

std::string GetSRGBProfileDescription()
{
    return "sRGB IEC61966-2.1";
}
