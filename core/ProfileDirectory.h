#pragma once
// The colour directory as the profile code sees it: the platform's folder,
// always holding the sRGB profile, so that the sRGB profile's bare name
// opens on a fresh set-up. CColorProfile resolves bare names here.

#include <string>

// The colour directory with a trailing '/', created when missing and given
// the sRGB profile when it lacks one. False (path untouched) when the folder
// cannot be created.
bool GetColorDirectory(std::string& path);
