#include "app/batch/BatchViewLogic.h"

#include "core/IniFile.h"
#include "core/PathUtils.h"
#include "platform/File.h"

#include <algorithm>
#include <climits>

namespace {

constexpr BatchIntSetting kIntSettings[] = {
    // The format is read and checked, then set to JPEG all the same.
    {"FileFormat", &BatchSettings::fileFormat, 0, 2, 0},
    {"JpegQuality", &BatchSettings::jpegQuality, 0, 4, 2},
    {"CalibMode", &BatchSettings::calibMode, 0, kBatchCorrectionCount - 1, std::nullopt},
    {"Size", &BatchSettings::resize, INT_MIN, INT_MAX, std::nullopt},
    {"Width", &BatchSettings::width, kBatchMinSize, kBatchMaxSize, std::nullopt},
    {"Height", &BatchSettings::height, kBatchMinSize, kBatchMaxSize, std::nullopt},
};

constexpr int kJpegFormat = 2;

} // namespace

std::span<const BatchIntSetting> BatchIntSettings()
{
    return kIntSettings;
}

bool IsExistingFolder(const std::string& path)
{
    if (path.empty())
        return false;
    platform::FileStatus status;
    return platform::ReadFileStatus(RemoveBackslash(path), status) && status.folder;
}

void LoadBatchSettings(const CIniFile& ini, const std::string& picturesFolder,
                       BatchSettings& settings)
{
    for (const BatchIntSetting& item : kIntSettings)
    {
        int& member = settings.*item.member;
        const int fallback = item.fallback.value_or(member);
        const int value = ini.GetInt(kBatchSection, item.key, fallback);
        member = value >= item.min && value <= item.max ? value : fallback;
    }
    settings.fileFormat = kJpegFormat;

    const std::string folder = ini.GetString(kBatchSection, "SaveFolder", picturesFolder);
    settings.saveFolder = AddBackslash(IsExistingFolder(folder) ? folder : picturesFolder);
    settings.paramFile = ini.GetString(kBatchSection, "DocFilePath", "");
}

int ClampBatchSize(int value)
{
    return std::clamp(value, kBatchMinSize, kBatchMaxSize);
}

int BatchProjectMode(int calibMode)
{
    if (calibMode < 0 || calibMode >= kBatchCorrectionCount)
        calibMode = static_cast<int>(BatchCorrection::PerImage);
    return calibMode + 1;
}

bool IsSaveFolderPathAccepted(std::string_view path)
{
    // Code points: every byte but the continuation bytes (10xxxxxx) of
    // UTF-8 starts one.
    const auto count = static_cast<std::size_t>(std::count_if(path.begin(), path.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
    return count < kBatchFolderLimit;
}

BatchControlStates GetBatchControlStates(const BatchSettings& settings, std::size_t targetCount)
{
    const bool needsFile = settings.calibMode == static_cast<int>(BatchCorrection::ParameterFile);
    BatchControlStates states;
    states.options = settings.fileFormat == kJpegFormat;
    states.run = !settings.saveFolder.empty() && targetCount > 0 &&
                 !(needsFile && settings.paramFile.empty());
    states.paramFile = needsFile;
    states.sizeCheck = settings.calibMode != static_cast<int>(BatchCorrection::PerImage);
    states.sizeFields = states.sizeCheck && settings.resize != 0;
    return states;
}

BatchRunRefusal CheckBatchRun(const BatchSettings& settings)
{
    if (settings.calibMode == static_cast<int>(BatchCorrection::ParameterFile) &&
        (settings.paramFile.empty() || !platform::IsRegularFile(settings.paramFile)))
        return BatchRunRefusal::ParamFileMissing;
    if (!IsExistingFolder(settings.saveFolder))
        return BatchRunRefusal::SaveFolderMissing;
    return BatchRunRefusal::None;
}
