#include "tests/support/TestProfiles.h"

#include <lcms2.h>

namespace testsupport {

namespace {

// A version-2.1 matrix/shaper profile of the chromaticities (red, green,
// blue, white as x, y pairs) with one gamma; the description when given.
std::vector<std::uint8_t> MatrixShaperBytes(const double (&xy)[8], double gamma,
                                            const char* description)
{
    const cmsCIExyY white{xy[6], xy[7], 1.0};
    const cmsCIExyYTRIPLE primaries{{xy[0], xy[1], 1.0}, {xy[2], xy[3], 1.0}, {xy[4], xy[5], 1.0}};
    cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
    if (!curve)
        return {};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    std::vector<std::uint8_t> bytes;
    if (profile)
    {
        cmsSetProfileVersion(profile, 2.1);
        if (description)
        {
            cmsMLU* text = cmsMLUalloc(nullptr, 1);
            cmsMLUsetASCII(text, "en", "US", description);
            cmsWriteTag(profile, cmsSigProfileDescriptionTag, text);
            cmsMLUfree(text);
        }
        cmsUInt32Number size = 0;
        if (cmsSaveProfileToMem(profile, nullptr, &size) && size > 0)
        {
            bytes.resize(size);
            if (!cmsSaveProfileToMem(profile, bytes.data(), &size))
                bytes.clear();
        }
        cmsCloseProfile(profile);
    }
    return bytes;
}

} // namespace

std::vector<std::uint8_t> WideGamutProfileBytes()
{
    static constexpr double kAdobeLike[8] = {0.64, 0.33, 0.21, 0.71, 0.15, 0.06, 0.3127, 0.3290};
    return MatrixShaperBytes(kAdobeLike, 2.2, nullptr);
}

std::vector<std::uint8_t> P3LikeProfileBytes()
{
    static constexpr double kP3Like[8] = {0.680, 0.320, 0.265, 0.690, 0.150, 0.060, 0.3127, 0.3290};
    return MatrixShaperBytes(kP3Like, 2.2, kP3LikeProfileDescription);
}

std::vector<std::uint8_t> ReferenceRgb16To8(const std::vector<std::uint8_t>& from,
                                            const std::vector<std::uint8_t>& to,
                                            const std::uint16_t* rgb, std::size_t count)
{
    std::vector<std::uint8_t> result;
    cmsHPROFILE in = cmsOpenProfileFromMem(from.data(), static_cast<cmsUInt32Number>(from.size()));
    cmsHPROFILE out = cmsOpenProfileFromMem(to.data(), static_cast<cmsUInt32Number>(to.size()));
    cmsHTRANSFORM t = in && out ? cmsCreateTransform(in, TYPE_RGB_DBL, out, TYPE_RGB_DBL,
                                                     INTENT_PERCEPTUAL,
                                                     cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE)
                                : nullptr;
    if (t)
    {
        std::vector<double> values(count * 3);
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = rgb[i] / 65535.0;
        cmsDoTransform(t, values.data(), values.data(), static_cast<cmsUInt32Number>(count));
        result.resize(values.size());
        for (std::size_t i = 0; i < values.size(); ++i)
        {
            const double v = values[i] < 0.0 ? 0.0 : values[i] > 1.0 ? 1.0 : values[i];
            result[i] = static_cast<std::uint8_t>(v * 255.0 + 0.5);
        }
        cmsDeleteTransform(t);
    }
    if (in)
        cmsCloseProfile(in);
    if (out)
        cmsCloseProfile(out);
    return result;
}

} // namespace testsupport
