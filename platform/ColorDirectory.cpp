#include "platform/ColorDirectory.h"

#include "platform/ColorManagerBus.h"
#include "platform/File.h"
#include "platform/FileReplace.h"
#include "platform/Folders.h"
#include "platform/IniStore.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <dirent.h>
#include <sys/stat.h>

namespace platform {

namespace {

constexpr const char* kProfilesKey = "Profiles";
constexpr const char* kDefaultDisplaySection = "default";

std::atomic<DisplayProfileHook> g_displayProfileHook{nullptr};
std::atomic<bool> g_colorManagerLookup{false};

std::string FileNameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string SectionFor(const std::string& deviceId)
{
    return deviceId.empty() ? std::string(kDefaultDisplaySection) : deviceId;
}

std::vector<std::string> SplitList(const std::string& text)
{
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= text.size())
    {
        std::size_t end = text.find('/', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            names.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

std::string JoinList(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
    {
        if (!text.empty())
            text += '/';
        text += name;
    }
    return text;
}

bool IsIccProfileName(const std::string& name)
{
    if (name.size() < 4)
        return false;
    std::string ext = name.substr(name.size() - 4);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".icm" || ext == ".icc";
}

// A profile file a display can be shown through: readable, with an ICC
// header ("acsp") of an RGB display ('mntr') profile whose size the file
// holds.
bool IsUsableDisplayProfile(const std::string& path)
{
    File file;
    std::uint8_t header[128];
    std::uint64_t size = 0;
    if (!file.OpenRead(path) || !file.IsRegular() || !file.Size(&size) ||
        !file.ReadAt(0, header, sizeof header))
        return false;
    const auto tag = [&header](std::size_t at, const char (&text)[5]) {
        return std::equal(text, text + 4, header + at);
    };
    const std::uint64_t declared = (std::uint64_t{header[0]} << 24) |
                                   (std::uint64_t{header[1]} << 16) |
                                   (std::uint64_t{header[2]} << 8) | header[3];
    return tag(36, "acsp") && tag(12, "mntr") && tag(16, "RGB ") && declared >= sizeof header &&
           declared <= size;
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa = {};
    struct stat sb = {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Changes one display's list as a read-modify-write under a lock of its own
// (the store's writes take the store's lock themselves, and flock does not
// nest across two descriptors of one file).
template <typename Change> bool ModifyDisplayList(const std::string& deviceId, Change&& change)
{
    const std::string path = DisplayProfileStorePath();
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && !EnsureFolder(path.substr(0, slash + 1)))
        return false;
    FileLock lock(path + ".assoc");
    if (!lock.IsLocked())
        return false;
    IniStore store(path);
    const std::string section = SectionFor(deviceId);
    std::vector<std::string> names = SplitList(store.Read(section, kProfilesKey).value_or(""));
    change(names);
    if (names.empty())
        return store.DeleteSection(section);
    return store.Write(section, kProfilesKey, JoinList(names));
}

} // namespace

bool ColorDirectory(std::string& folder)
{
    folder = DataHome() + "icc/";
    return EnsureFolder(folder);
}

std::string ResolveProfilePath(const std::string& name)
{
    if (name.empty() || name.find('/') != std::string::npos)
        return name;
    return DataHome() + "icc/" + name;
}

bool InstallProfile(const std::string& sourcePath, std::string* installedPath)
{
    const std::string name = FileNameOf(sourcePath);
    if (name.empty() || name == "." || name == "..")
        return false;
    std::string folder;
    if (!ColorDirectory(folder))
        return false;
    const std::string target = folder + name;
    if (installedPath)
        *installedPath = target;
    if (SameFile(sourcePath, target))
        return true;
    std::string data;
    if (!ReadFileContents(sourcePath, &data))
        return false;
    return ReplaceFileContents(target, data);
}

std::vector<std::string> ListInstalledProfiles()
{
    std::vector<std::string> names;
    const std::string folder = DataHome() + "icc/";
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir))
    {
        const std::string name = entry->d_name;
        // Hidden names are skipped: "." and "..", and the temporaries of a
        // replacement in progress (ReplaceFileContents names them ".<name>.tmp-...").
        if (name.empty() || name[0] == '.')
            continue;
        if (IsRegularFile(folder + name))
            names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string DisplayProfileStorePath()
{
    return ConfigHome() + kMakerName + "/display-profiles.ini";
}

std::vector<std::string> DisplayProfiles(const std::string& deviceId)
{
    IniStore store(DisplayProfileStorePath());
    return SplitList(store.Read(SectionFor(deviceId), kProfilesKey).value_or(""));
}

std::string DefaultDisplayProfile(const std::string& deviceId)
{
    std::vector<std::string> names = DisplayProfiles(deviceId);
    return names.empty() ? std::string() : names.front();
}

namespace {

// colord is told about ICC profiles only (not the agent's device-model
// profiles), and only for a display it can have a device for.
bool ForColorManager(const std::string& deviceId, const std::string& name)
{
    return IsIccProfileName(name) && !OutputNameOfDevice(deviceId).empty();
}

ColorManagerReport& Fill(ColorManagerReport* report, ColorManagerReport& own)
{
    return report ? *report : own;
}

} // namespace

bool AssociateDisplayProfile(const std::string& deviceId, const std::string& profile,
                             ColorManagerReport* report)
{
    ColorManagerReport own;
    ColorManagerReport& colord = Fill(report, own);
    colord = ColorManagerReport{};
    const std::string name = FileNameOf(profile);
    if (name.empty())
        return false;
    // The desktop's colour manager, where one runs, gets the profile first:
    // should it refuse, the display keeps what it had, here as in colord.
    if (ForColorManager(deviceId, name))
    {
        colord.outcome =
            MakeColorManagerDefault(deviceId, ResolveProfilePath(name), &colord.detail);
        if (colord.outcome == ColorManagerOutcome::Failed)
            return false;
    }
    return ModifyDisplayList(deviceId, [&](std::vector<std::string>& names) {
        std::erase(names, name);
        names.insert(names.begin(), name);
    });
}

bool DisassociateDisplayProfile(const std::string& deviceId, const std::string& profile,
                                ColorManagerReport* report)
{
    ColorManagerReport own;
    ColorManagerReport& colord = Fill(report, own);
    colord = ColorManagerReport{};
    const std::string name = FileNameOf(profile);
    if (name.empty())
        return true;
    if (ForColorManager(deviceId, name))
    {
        colord.outcome =
            RemoveColorManagerProfile(deviceId, ResolveProfilePath(name), &colord.detail);
        if (colord.outcome == ColorManagerOutcome::Failed)
            return false;
    }
    return ModifyDisplayList(deviceId,
                             [&](std::vector<std::string>& names) { std::erase(names, name); });
}

int OfferDisplayProfilesToColorManager()
{
    int refused = 0;
    IniStore store(DisplayProfileStorePath());
    for (const std::string& section : store.Sections())
    {
        if (!ForColorManager(section, "x.icm"))
            continue;
        for (const std::string& name : SplitList(store.Read(section, kProfilesKey).value_or("")))
        {
            if (!IsIccProfileName(name))
                continue;
            const ColorManagerOutcome outcome = OfferColorManagerProfile(ResolveProfilePath(name));
            if (outcome == ColorManagerOutcome::NoBus ||
                outcome == ColorManagerOutcome::NoColorManager)
                return refused;
            refused += outcome == ColorManagerOutcome::Done ? 0 : 1;
        }
    }
    return refused;
}

void SetDisplayProfileHook(DisplayProfileHook hook)
{
    g_displayProfileHook.store(hook);
}

void SetColorManagerLookup(bool on)
{
    g_colorManagerLookup.store(on);
}

std::vector<std::string> DisplayProfileSources(const std::string& deviceId)
{
    std::vector<std::string> names = DisplayProfiles(deviceId);
    if (names.empty() && !deviceId.empty())
        names = DisplayProfiles(std::string());
    if (g_colorManagerLookup.load())
    {
        const std::string chosen = ColorManagerDefaultProfile(deviceId);
        if (!chosen.empty() && IsUsableDisplayProfile(chosen))
        {
            // The store names installed profiles by file name: colord's
            // choice of one of them is not listed a second time.
            std::erase_if(names, [&](const std::string& name) {
                return ResolveProfilePath(name) == chosen;
            });
            names.insert(names.begin(), chosen);
        }
    }
    return names;
}

std::string MonitorProfileName(const std::string& deviceId)
{
    const std::vector<std::string> names = DisplayProfileSources(deviceId);
    if (!names.empty())
        return names.front();
    if (DisplayProfileHook hook = g_displayProfileHook.load())
    {
        std::string name = hook(deviceId);
        if (!name.empty())
            return name;
    }
    return kSRGBProfileFileName;
}

} // namespace platform
