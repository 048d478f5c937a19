#include "core/ColorSearchSettings.h"

#include "core/IniFile.h"
#include "core/PathUtils.h"

namespace {

ColorSearchSettings& Current()
{
    static ColorSearchSettings settings;
    return settings;
}

int Ranged(const ColorSearchParam& param, int value)
{
    return value >= param.min && value <= param.max ? value : param.defaultValue;
}

} // namespace

void LoadColorSearchSettings(const std::string& iniPath)
{
    const CIniFile ini(iniPath.empty() ? GetIniFilePath() : iniPath);
    ColorSearchSettings settings;
    settings.Step = ini.GetInt(kColorSearchSection, kColorSearchStep.key, kColorSearchStep.defaultValue);
    settings.Unit = ini.GetInt(kColorSearchSection, kColorSearchUnit.key, kColorSearchUnit.defaultValue);
    SetColorSearchSettings(settings);
}

void SaveColorSearchSettings(const std::string&)
{
}

ColorSearchSettings GetColorSearchSettings()
{
    return Current();
}

void SetColorSearchSettings(const ColorSearchSettings& settings)
{
    Current().Step = Ranged(kColorSearchStep, settings.Step);
    Current().Unit = Ranged(kColorSearchUnit, settings.Unit);
}
