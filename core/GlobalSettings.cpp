#include "core/GlobalSettings.h"

#include "core/ColorProfile.h"
#include "core/FileVersionUtils.h"
#include "core/IniFile.h"
#include "core/PathUtils.h"
#include "core/ProfileStore.h"
#include "core/SRGBProfile.h"
#include "core/UseOsCmm.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace {

// Highest count of user RAW extensions read ("RAWExt0000".."RAWExt9998").
constexpr int kMaxRawExtensions = 9999;

// The lowest converter version that writes the DNG files we read.
const std::vector<int> kMinConverterVersion = {3, 2};

struct SettingsStore
{
    std::mutex lock;
    GlobalSettings settings;
    std::string dngOutputPath;
    bool initialised = false;
};

SettingsStore& Store()
{
    static SettingsStore store;
    return store;
}

// The record, given its start values on first use. The caller holds the lock.
GlobalSettings& Locked(SettingsStore& store)
{
    if (!store.initialised)
    {
        store.settings = DefaultGlobalSettings();
        store.dngOutputPath = GetPicturesFolder();
        store.initialised = true;
    }
    return store.settings;
}

std::string IniPathOrDefault(const std::string& iniPath)
{
    return iniPath.empty() ? GetIniFilePath() : iniPath;
}

// The integer of the key when it lies within [lo, hi], else the current value.
int ReadRanged(const CIniFile& ini, std::string_view key, int current, int lo, int hi)
{
    const int value = ini.GetInt(kGlobalSettingsSection, key, current);
    return value >= lo && value <= hi ? value : current;
}

} // namespace

bool IsBuiltinRawExt(std::string_view extension)
{
    return std::any_of(
        kBuiltinRawExtensions.begin(), kBuiltinRawExtensions.end(),
        [&](std::string_view builtin) { return platform::EqualsNoCase(builtin, extension); });
}

GlobalSettings DefaultGlobalSettings()
{
    GlobalSettings settings;
    settings.INProfile = GetSRGBProfileDescription();
    settings.WcsProfile = settings.INProfile;
    settings.InFilePath = GetPicturesFolder();
    settings.WcsFilePath = settings.InFilePath;
    return settings;
}

GlobalSettings GetGlobalSettings()
{
    SettingsStore& store = Store();
    std::lock_guard guard(store.lock);
    return Locked(store);
}

void SetGlobalSettings(const GlobalSettings& settings)
{
    SettingsStore& store = Store();
    std::lock_guard guard(store.lock);
    Locked(store) = settings;
}

void LoadGlobalSettings(const std::string& iniPath)
{
    const CIniFile ini(IniPathOrDefault(iniPath));
    GlobalSettings s = GetGlobalSettings();
    const std::string sRGB = GetSRGBProfileDescription();
    s.InFilePath = GetPicturesFolder();
    s.WcsFilePath = s.InFilePath;
    s.INProfile = sRGB;
    s.WcsProfile = sRGB;

    const std::string_view section = kGlobalSettingsSection;
    s.INProfile = ini.GetString(section, "INProfile", s.INProfile);
    s.WcsProfile = ini.GetString(section, "WcsProfile", s.WcsProfile);
    s.InMode = ReadRanged(ini, "InMode", s.InMode, 0, 2);
    s.WcsMode = ReadRanged(ini, "WcsMode", s.WcsMode, 0, 1);
    s.InFilePath = ini.GetString(section, "InFilePath", s.InFilePath);
    s.WcsFilePath = ini.GetString(section, "WcsFilePath", s.WcsFilePath);
    s.AverageSize = ReadRanged(ini, "AverageSize", s.AverageSize, 0, 3);

    // The converter and the user's extensions are read as the file has
    // them, then dropped: no session starts with an outside program set.
    s.DNGConvPath = ini.GetString(section, "DNGConvPath", s.DNGConvPath);
    const int count = std::clamp(ini.GetInt(section, "RAWExtCount", 0), 0, kMaxRawExtensions);
    s.RawExtensions.clear();
    for (int i = 0; i < count; ++i)
    {
        char key[24];
        std::snprintf(key, sizeof key, "RAWExt%04d", i);
        std::string ext = ini.GetString(section, key, "");
        if (!ext.empty() && !IsBuiltinRawExt(ext))
            s.RawExtensions.push_back(std::move(ext));
    }

    s.SkipInitMsg = ini.GetInt(section, "SkipInitMsg", s.SkipInitMsg);

    s.DNGConvPath.clear();
    s.RawExtensions.clear();
    SetGlobalSettings(s);
}

void LoadUseOsCmm(const std::string& iniPath)
{
    const CIniFile ini(IniPathOrDefault(iniPath));
    const int current = UseOsCmm.load();
    const int value = ini.GetInt(kGlobalSettingsSection, "UseOsCmm", current);
    UseOsCmm = value == 0 || value == 1 ? value : current;
}

bool SaveGlobalSettings(const std::string& iniPath)
{
    CIniFile ini(IniPathOrDefault(iniPath));
    const bool a = ini.SetInt(kGlobalSettingsSection, "UseOsCmm", UseOsCmm.load());
    const bool b = ini.SetInt(kGlobalSettingsSection, "SkipInitMsg", GetSkipInitMsg());
    return a && b;
}

bool IsRawExtension(std::string_view extension)
{
    if (IsBuiltinRawExt(extension))
        return true;
    SettingsStore& store = Store();
    std::lock_guard guard(store.lock);
    const std::vector<std::string>& user = Locked(store).RawExtensions;
    return std::any_of(user.begin(), user.end(), [&](const std::string& ext) {
        return platform::EqualsNoCase(ext, extension);
    });
}

std::string GetDNGConverterPath()
{
    return GetGlobalSettings().DNGConvPath;
}

void SetDNGConverterPath(const std::string& path)
{
    SettingsStore& store = Store();
    std::lock_guard guard(store.lock);
    Locked(store).DNGConvPath = path;
}

std::vector<std::string> GetRawExtensions()
{
    return GetGlobalSettings().RawExtensions;
}

void SetRawExtensions(const std::vector<std::string>& extensions)
{
    SettingsStore& store = Store();
    std::lock_guard guard(store.lock);
    Locked(store).RawExtensions = extensions;
}

int GetAverageSize()
{
    return GetGlobalSettings().AverageSize;
}

int GetSkipInitMsg()
{
    return GetGlobalSettings().SkipInitMsg;
}

void SetSkipInitMsg(int value)
{
    SettingsStore& store = Store();
    std::lock_guard guard(store.lock);
    Locked(store).SkipInitMsg = value;
}

int GetDisplayIndex()
{
    return GetGlobalSettings().DisplayIndex;
}

void SetDisplayIndex(int value)
{
    SettingsStore& store = Store();
    std::lock_guard guard(store.lock);
    Locked(store).DisplayIndex = value;
}

bool GetColorSpaceSettings(std::string& inProfile, std::string& wcsProfile, int& inMode,
                           int& wcsMode, std::string& inFilePath, std::string& wcsFilePath)
{
    // The checks open profile files: they run on a copy, without the lock.
    GlobalSettings s = GetGlobalSettings();

    const bool wcsUsable = s.WcsMode == 0 ? !FindProfileByDescription(s.WcsProfile).empty()
                                          : ImageFileHasProfile(s.WcsFilePath);
    const bool inUsable = s.InMode == 1   ? !FindProfileByDescription(s.INProfile).empty()
                          : s.InMode == 2 ? ImageFileHasProfile(s.InFilePath)
                                          : true;
    if (!wcsUsable || !inUsable)
    {
        SettingsStore& store = Store();
        std::lock_guard guard(store.lock);
        GlobalSettings& stored = Locked(store);
        if (!wcsUsable)
        {
            stored.WcsMode = 0;
            stored.WcsProfile = GetSRGBProfileDescription();
            s.WcsMode = stored.WcsMode;
            s.WcsProfile = stored.WcsProfile;
        }
        if (!inUsable)
        {
            stored.InMode = 0;
            s.InMode = 0;
        }
    }
    inProfile = s.INProfile;
    wcsProfile = s.WcsProfile;
    inMode = s.InMode;
    wcsMode = s.WcsMode;
    inFilePath = s.InFilePath;
    wcsFilePath = s.WcsFilePath;
    return true;
}

bool CheckDngConverter(const std::string& path, std::string& version)
{
    CFileVersionUtils file;
    if (!file.Load(path) || !file.QueryValue("FileVersion", version))
        return false;
    // Compared as numbers part by part: "3.10" is a later converter than
    // "3.2", though its text sorts before it.
    const std::vector<int> numbers = ParseVersionNumbers(version);
    if (numbers.empty() || CompareVersionNumbers(numbers, kMinConverterVersion) < 0)
        return false;
    return platform::EqualsNoCase(GetFileNameFromPath(path), "Adobe DNG Converter.exe");
}

bool ImageFileHasProfile(const std::string& path)
{
    if (path.empty())
        return false;
    CColorProfile profile;
    return profile.Open(path);
}

void LoadDngOutputPath(const std::string& iniPath)
{
    const CIniFile ini(IniPathOrDefault(iniPath));
    const std::string folder = ini.GetString(kDngPathSection, "DNGPath", GetPicturesFolder());
    SettingsStore& store = Store();
    std::lock_guard guard(store.lock);
    Locked(store);
    store.dngOutputPath = folder;
}

bool SaveDngOutputPath(const std::string& iniPath)
{
    // The folder is chosen for the session only; the file keeps whatever
    // another program or the user wrote there, so nothing is written.
    (void)iniPath;
    return true;
}

void SetDngOutputPath(const std::string& folder)
{
    SettingsStore& store = Store();
    std::lock_guard guard(store.lock);
    Locked(store);
    store.dngOutputPath = folder;
}

std::string GetDngOutputPath()
{
    SettingsStore& store = Store();
    std::lock_guard guard(store.lock);
    Locked(store);
    return store.dngOutputPath;
}
