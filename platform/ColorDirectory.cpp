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
#include <dirent.h>
#include <sys/stat.h>

namespace platform {

namespace {

constexpr const char* kProfilesKey = "Profiles";
constexpr const char* kDefaultDisplaySection = "default";

std::atomic<DisplayProfileHook> g_displayProfileHook{nullptr};

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

bool AssociateDisplayProfile(const std::string& deviceId, const std::string& profile)
{
    const std::string name = FileNameOf(profile);
    if (name.empty())
        return false;
    if (!ModifyDisplayList(deviceId, [&](std::vector<std::string>& names) {
            std::erase(names, name);
            names.insert(names.begin(), name);
        }))
        return false;
    // The desktop's colour manager, where one runs, gets the same default;
    // whether it does or not, the store holds the association. colord
    // takes ICC profiles only (not the agent's device-model profiles).
    if (IsIccProfileName(name))
        MakeColorManagerDefault(deviceId, ResolveProfilePath(name));
    return true;
}

bool DisassociateDisplayProfile(const std::string& deviceId, const std::string& profile)
{
    const std::string name = FileNameOf(profile);
    if (name.empty())
        return true;
    return ModifyDisplayList(deviceId,
                             [&](std::vector<std::string>& names) { std::erase(names, name); });
}

void SetDisplayProfileHook(DisplayProfileHook hook)
{
    g_displayProfileHook.store(hook);
}

std::string MonitorProfileName(const std::string& deviceId)
{
    std::string name = DefaultDisplayProfile(deviceId);
    if (name.empty() && !deviceId.empty())
        name = DefaultDisplayProfile(std::string());
    if (!name.empty())
        return name;
    if (DisplayProfileHook hook = g_displayProfileHook.load())
    {
        name = hook(deviceId);
        if (!name.empty())
            return name;
    }
    return kSRGBProfileFileName;
}

} // namespace platform
