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

} // namespace testsupport
