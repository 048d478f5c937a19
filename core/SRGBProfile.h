#pragma once
// The sRGB profile that every colour directory holds, written by our own
// profile writers: a version-2 monitor profile with the description
// "sRGB IEC61966-2.1", the IEC 61966-2-1 primaries adapted to D50 with
// Bradford, D65 as media white, and the sRGB tone curve sampled at 1024
// points in each of rTRC, gTRC and bTRC.

#include <cstdint>
#include <string>
#include <vector>

// The profile's bytes. The header carries the local date and time of the
// call, so two calls differ in those bytes only.
std::vector<std::uint8_t> BuildSRGBProfileBytes();

// Writes "sRGB Color Space Profile.icm" into the colour directory (created
// when missing) unless a file of that name is there already. True when the
// file exists afterwards.
bool EnsureSRGBProfileInstalled();

// "sRGB Color Space Profile.icm" and "sRGB IEC61966-2.1".
std::string GetSRGBProfileFileName();
std::string GetSRGBProfileDescription();
