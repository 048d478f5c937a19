#include "monitor/MonitorModelData.h"

#include "core/IniFile.h"
#include "platform/File.h"
#include "platform/Folders.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

constexpr const char* kPrimarySection = "PrimaryColor";
constexpr const char* kSettingsSection = "Settings";
constexpr const char* kTextSection = "Text";
constexpr const char* kPresetSection = "ColorPreset";

std::string ThreeDigits(int n)
{
    char text[16];
    std::snprintf(text, sizeof text, "%03d", n);
    return text;
}

} // namespace

std::string ModelDataFolder(int modelCode, const std::string& programFolder)
{
    std::string folder = programFolder.empty() ? platform::ProgramDataFolder() : programFolder;
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    char code[8];
    std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(modelCode) & 0xFFFF);
    return folder + "Data/" + code;
}

std::string ModelIniPath(int modelCode, const std::string& programFolder)
{
    char name[16];
    std::snprintf(name, sizeof name, "/%04X.ini", static_cast<unsigned>(modelCode) & 0xFFFF);
    return ModelDataFolder(modelCode, programFolder) + name;
}

std::string ModelStepPicturePath(int modelCode, int step, const std::string& programFolder)
{
    return ModelDataFolder(modelCode, programFolder) + "/" + ThreeDigits(step) + ".jpg";
}

// Whether value i of the nine can describe a monitor: a chromaticity lies
// inside the diagram (x and y above 0, x + y at most 1, so that
// z = 1 - x - y is not negative: a red on the diagram's long edge, as Display
// P3's (0.680, 0.320), has z = 0), the gamma within the range of real displays. NaN,
// infinities and numbers such as 1e308 are refused here, as the profile
// and the white gains computed from them would be of no use to anything.
bool IsUsablePrimaryValue(const MonitorPrimaries& values, std::size_t i)
{
    const double v = values[i];
    if (!std::isfinite(v))
        return false;
    if (i == kGamma)
        return v >= kMinModelGamma && v <= kMaxModelGamma;
    if (v <= 0.0 || v >= 1.0)
        return false;
    // A y completes its chromaticity with the x before it.
    return i % 2 == 0 || values[i - 1] + v <= 1.0 + 1e-9;
}

bool ReadPrimaryColors(const std::string& iniPath, const char* section, MonitorPrimaries& out)
{
    static constexpr const char* kKeys[9] = {"Red_x",  "Red_y",   "Green_x", "Green_y", "Blue_x",
                                             "Blue_y", "White_x", "White_y", "Gamma"};
    out.fill(0.0);
    const CIniFile ini(iniPath);
    for (std::size_t i = 0; i < out.size(); ++i)
    {
        out[i] = ini.GetDouble(section, kKeys[i], 0.0);
        if (out[i] == 0.0)
            return false;
        if (!IsUsablePrimaryValue(out, i))
        {
            // Unusable data is no data: it ends the reading as a 0 does.
            out[i] = 0.0;
            return false;
        }
    }
    return true;
}

CMonitorModelData::CMonitorModelData(int modelCode, std::string programFolder)
    : m_modelCode(modelCode), m_programFolder(std::move(programFolder)),
      m_folder(ModelDataFolder(modelCode, m_programFolder)),
      m_iniPath(ModelIniPath(modelCode, m_programFolder))
{}

bool CMonitorModelData::FolderExists() const
{
    std::error_code error;
    return std::filesystem::is_directory(m_folder, error);
}

bool CMonitorModelData::IniExists() const
{
    return platform::PathExists(m_iniPath);
}

bool CMonitorModelData::LoadPrimaryColors(MonitorPrimaries& out) const
{
    return ReadPrimaryColors(m_iniPath, kPrimarySection, out);
}

int CMonitorModelData::StepCount() const
{
    if (!FolderExists())
        return -1;
    return CIniFile(m_iniPath).GetInt(kSettingsSection, "Count", -1);
}

std::string CMonitorModelData::ModelName() const
{
    return CIniFile(m_iniPath).GetString(kSettingsSection, "ModelName", "");
}

std::string CMonitorModelData::StepText(int step) const
{
    return CIniFile(m_iniPath).GetString(kTextSection, ThreeDigits(step), "");
}

std::string CMonitorModelData::StepPicturePath(int step) const
{
    return ModelStepPicturePath(m_modelCode, step, m_programFolder);
}

int CMonitorModelData::PresetCount() const
{
    return CIniFile(m_iniPath).GetInt(kPresetSection, "Count", 0);
}

std::vector<std::string> CMonitorModelData::Presets() const
{
    const CIniFile ini(m_iniPath);
    std::vector<std::string> presets;
    const int count = ini.GetInt(kPresetSection, "Count", 0);
    for (int i = 1; i <= count; ++i)
        presets.push_back(ini.GetString(kPresetSection, "Preset" + std::to_string(i), ""));
    return presets;
}

int CMonitorModelData::MinTemperature() const
{
    return CIniFile(m_iniPath).GetInt(kPresetSection, "MinTemperature", kDefaultMinTemperature);
}

int CMonitorModelData::MaxTemperature() const
{
    return CIniFile(m_iniPath).GetInt(kPresetSection, "MaxTemperature", kDefaultMaxTemperature);
}
