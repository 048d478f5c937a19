#include "core/ProfileStore.h"

#include "core/ColorProfile.h"
#include "core/PathUtils.h"
#include "core/ProfileDirectory.h"
#include "core/SRGBProfile.h"
#include "core/UseOsCmm.h"
#include "platform/ColorDirectory.h"

#include <memory>
#include <utility>

namespace {

constexpr std::uint32_t kSigRGB = IccSignature("RGB ");
constexpr std::uint32_t kSigXYZSpace = IccSignature("XYZ ");

bool IsColorModelExtension(const std::string& path)
{
    const std::string ext = GetFileExtFromPath(path);
    return ext == ".camp" || ext == ".gmmp";
}

std::unique_ptr<CColorProfile>& MonitorProfileSlot()
{
    static std::unique_ptr<CColorProfile> profile;
    return profile;
}

std::string& MonitorDeviceSlot()
{
    static std::string deviceId;
    return deviceId;
}

} // namespace

void SetMonitorProfileDevice(const std::string& deviceId)
{
    MonitorDeviceSlot() = deviceId;
}

const std::string& GetMonitorProfileDevice()
{
    return MonitorDeviceSlot();
}

bool InitMonitorProfile(const std::string& deviceId, bool* switchedToOsCmm)
{
    if (switchedToOsCmm)
        *switchedToOsCmm = false;
    SetMonitorProfileDevice(deviceId);
    auto& slot = MonitorProfileSlot();
    slot = std::make_unique<CColorProfile>();
    if (LoadMonitorProfile())
        return true;
    if (switchedToOsCmm && UseOsCmm.load() == 0)
    {
        UseOsCmm = 1;
        if (LoadMonitorProfile())
        {
            *switchedToOsCmm = true;
            return true;
        }
        UseOsCmm = 0;
    }
    slot.reset();
    return false;
}

bool LoadMonitorProfile()
{
    CColorProfile* profile = MonitorProfileSlot().get();
    if (!profile)
        return false;
    const std::string name = platform::MonitorProfileName(GetMonitorProfileDevice());
    if (name.empty() || IsColorModelExtension(name))
        return false;
    return profile->Open(name);
}

bool SetMonitorProfile(const std::string& path)
{
    if (IsColorModelExtension(path))
        return false;
    auto& slot = MonitorProfileSlot();
    slot = std::make_unique<CColorProfile>();
    if (!slot->Open(path))
    {
        slot.reset();
        return false;
    }
    return true;
}

CColorProfile* GetMonitorProfile()
{
    return MonitorProfileSlot().get();
}

void FreeMonitorProfile()
{
    MonitorProfileSlot().reset();
}

void EnumInstalledProfiles(std::vector<std::pair<std::string, std::string>>& list)
{
    list.clear();
    std::string folder;
    GetColorDirectory(folder);
    const std::string srgbDescription = GetSRGBProfileDescription();

    // An RGB profile with an XYZ connection space that opens and has a
    // description of its own.
    const auto describe = [](const std::string& path, std::string& description) {
        CColorProfile profile;
        std::uint32_t space = 0;
        std::uint32_t connection = 0;
        return profile.Open(path) && profile.GetDataColorSpace(space) && space == kSigRGB &&
               profile.GetConnectionSpace(connection) && connection == kSigXYZSpace &&
               profile.GetDescription(description);
    };

    bool haveSRGB = false;
    if (!folder.empty())
    {
        for (const std::string& name : platform::ListInstalledProfiles())
        {
            std::string description;
            if (!describe(folder + name, description))
                continue;
            if (description == srgbDescription)
                haveSRGB = true;
            list.emplace_back(name, std::move(description));
        }
    }
    if (!haveSRGB)
    {
        std::string description;
        if (describe(GetSRGBProfileFileName(), description))
            list.emplace_back(GetSRGBProfileFileName(), std::move(description));
    }
}

std::string FindProfileByDescription(const std::string& description)
{
    std::vector<std::pair<std::string, std::string>> list;
    EnumInstalledProfiles(list);
    for (const auto& [name, text] : list)
        if (text == description)
            return name;
    return std::string();
}
