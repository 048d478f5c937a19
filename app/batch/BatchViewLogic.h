#pragma once
// The batch panel's rules, apart from its widgets: the options it keeps,
// how the "BatchView" section of the settings falls back to them, which
// controls are live for a set of options, and what stops a run before it
// starts.
//
// The output size is a box of 50..4000 pixels a side (the project fits
// each image into it keeping its aspect ratio, never enlarging). The edits,
// the arrows, the settings reader and the run all take their limits from
// kBatchMinSize / kBatchMaxSize.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

class CIniFile;

inline constexpr int kBatchMinSize = 50;
inline constexpr int kBatchMaxSize = 4000;

// The correction modes of combo 1038, as the panel numbers them (0..2);
// the project counts them from 1 (kBatchAsTheyAre ...).
enum class BatchCorrection : int
{
    PerImage = 0,      // "画像毎の補正パラメータで補正"
    Current = 1,       // "現在の補正パラメータで補正"
    ParameterFile = 2, // "指定の補正パラメータで補正": needs the parameter file
};
inline constexpr int kBatchCorrectionCount = 3;

// What the panel holds between its controls and a run.
struct BatchSettings
{
    int width = kBatchMaxSize;
    int height = kBatchMaxSize;
    std::string saveFolder; // with a trailing '/'
    int fileFormat = 2;     // always JPEG (kOutputJpeg) once the settings are read
    int calibMode = 0;      // BatchCorrection as int
    std::string paramFile;  // the parameter file of mode ParameterFile
    int resize = 0;         // check box 1298: fit the images into width x height
    int jpegQuality = 2;    // 0..4
};

// One integer key of the "BatchView" section: accepted within [min, max];
// a missing key or a value outside gives `fallback`, or the value the
// member holds already when there is no fixed fallback.
struct BatchIntSetting
{
    std::string_view key;
    int BatchSettings::*member;
    int min;
    int max;
    std::optional<int> fallback;
};
std::span<const BatchIntSetting> BatchIntSettings();

inline constexpr std::string_view kBatchSection = "BatchView";

// Reads the section over the current values. "SaveFolder" must name an
// existing folder, else the save folder becomes picturesFolder; whatever it
// reads, the file format ends as JPEG: the panel offers no other.
void LoadBatchSettings(const CIniFile& ini, const std::string& picturesFolder,
                       BatchSettings& settings);

// An existing folder (a trailing '/' is ignored); false for a file.
bool IsExistingFolder(const std::string& path);

// A side of the output box as it is run: limited to 50..4000.
int ClampBatchSize(int value);

// The project's batch mode (1..3) of a panel mode (0..2); out of range
// counts as per-image.
int BatchProjectMode(int calibMode);

// A folder chosen for saving is kept only when shorter than 241
// characters (Unicode code points of the UTF-8 path), so that the names
// made inside it stay within what the program writes.
inline constexpr std::size_t kBatchFolderLimit = 241;
bool IsSaveFolderPathAccepted(std::string_view path);

// Which controls are live for the options and the number of entries
// marked for processing.
struct BatchControlStates
{
    bool options = false;    // 1037: JPEG options, only for the JPEG format
    bool run = false;        // 1032
    bool paramFile = false;  // 1039 and 1210: parameter file of mode ParameterFile
    bool sizeCheck = false;  // 1298 and its label 1299: not in the per-image mode
    bool sizeFields = false; // 1300..1305: with the size check box set too
};
BatchControlStates GetBatchControlStates(const BatchSettings& settings, std::size_t targetCount);

// Why a run stops before it starts.
enum class BatchRunRefusal
{
    None,
    ParamFileMissing,  // message 1015 with the path
    SaveFolderMissing, // message 3035
};
BatchRunRefusal CheckBatchRun(const BatchSettings& settings);
