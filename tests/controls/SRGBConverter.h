#pragma once
// A converter whose input, working and output spaces are all sRGB.

#include "core/ColorConverter.h"
#include "core/ColorProfile.h"
#include "core/SRGBProfile.h"

class SRGBConverter
{
public:
    SRGBConverter() : converter("")
    {
        ok = profile.OpenFromMemory(BuildSRGBProfileBytes(), "sRGB") &&
             converter.SetProfiles(&profile, &profile, &profile);
    }
    CColorProfile profile;
    CColorConverter converter;
    bool ok = false;
};
