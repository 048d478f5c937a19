#include "core/ProfileDirectory.h"

#include "core/PathUtils.h"
#include "core/SRGBProfile.h"
#include "platform/ColorDirectory.h"

bool GetColorDirectory(std::string& path)
{
    std::string folder;
    if (!platform::ColorDirectory(folder))
        return false;
    EnsureSRGBProfileInstalled();
    path = AddBackslash(folder);
    return true;
}
