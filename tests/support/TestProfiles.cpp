#include "tests/support/TestProfiles.h"

#include <lcms2.h>

namespace testsupport {

std::vector<std::uint8_t> WideGamutProfileBytes()
{
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 2.2);
    if (!curve)
        return {};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    std::vector<std::uint8_t> bytes;
    if (profile)
    {
        cmsSetProfileVersion(profile, 2.1);
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

namespace {

std::vector<std::uint8_t> SavedBytes(cmsHPROFILE profile)
{
    std::vector<std::uint8_t> bytes;
    if (!profile)
        return bytes;
    cmsSetProfileVersion(profile, 2.1);
    cmsUInt32Number size = 0;
    if (cmsSaveProfileToMem(profile, nullptr, &size) && size > 0)
    {
        bytes.resize(size);
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size))
            bytes.clear();
    }
    cmsCloseProfile(profile);
    return bytes;
}

} // namespace

std::vector<std::uint8_t> P3LikeProfileBytes()
{
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    // The sRGB curve: (a x + b)^2.4 above 0.04045, x / 12.92 below.
    const cmsFloat64Number parameters[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, parameters);
    if (!curve)
        return {};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    return SavedBytes(profile);
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
