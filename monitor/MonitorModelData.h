#pragma once
// The program's data about each monitor model it knows: the primaries,
// white and gamma (for the white gains and the monitor profile), and the
// manual-mode steps with their pictures, texts and colour presets. The
// data of a model lives in its own folder under the program data folder
// (platform::ProgramDataFolder(), <executable>/../share/chromivel/):
//
//     Data/XXXX/XXXX.ini      the model ini (XXXX: the model code, the EDID
//                             product code of the maker's monitors, as four
//                             upper-case hexadecimal digits)
//     Data/XXXX/001.jpg ...   the picture of each manual step
//
// The build lays out its own bin/ and share/ the same way, so a program
// or test run from the build tree reads the copy of resources/monitor-data/
// that the build puts into share/chromivel/Data.
//
// The files are read only; the program never writes them. Every reader of
// the data builds its paths here and reads through CMonitorModelData.

#include <array>
#include <string>
#include <vector>

// Model folder, model ini and step picture paths. An empty programFolder
// means the installed program data folder.
std::string ModelDataFolder(int modelCode, const std::string& programFolder = std::string());
std::string ModelIniPath(int modelCode, const std::string& programFolder = std::string());
std::string ModelStepPicturePath(int modelCode, int step,
                                 const std::string& programFolder = std::string());

// Red x, y, green x, y, blue x, y, white x, y, gamma, in the order of the
// "PrimaryColor" keys.
using MonitorPrimaries = std::array<double, 9>;
enum PrimaryIndex
{
    kRedX,
    kRedY,
    kGreenX,
    kGreenY,
    kBlueX,
    kBlueY,
    kWhiteX,
    kWhiteY,
    kGamma
};

// The gammas model data may give: the tone curves of real displays lie
// well inside this range.
inline constexpr double kMinModelGamma = 1.0;
inline constexpr double kMaxModelGamma = 4.0;

// Reads the nine primaries values of `section` of an ini file, in the
// order above. A value that is missing, empty or not a number reads as 0,
// and the first 0 ends the reading: false, with the values before it in
// out and the rest 0. A value no monitor can have ends it the same way (it
// reads as 0): a chromaticity outside the diagram (x or y not above 0, x +
// y not below 1), a gamma outside kMinModelGamma..kMaxModelGamma, NaN or an
// infinity.
bool ReadPrimaryColors(const std::string& iniPath, const char* section, MonitorPrimaries& out);

// The lowest and highest colour temperature that may be typed when a
// model offers no presets, unless its data says otherwise.
inline constexpr int kDefaultMinTemperature = 2600;
inline constexpr int kDefaultMaxTemperature = 10000;

class CMonitorModelData
{
public:
    explicit CMonitorModelData(int modelCode, std::string programFolder = std::string());

    int ModelCode() const { return m_modelCode; }
    const std::string& Folder() const { return m_folder; }
    const std::string& IniPath() const { return m_iniPath; }
    bool FolderExists() const;
    bool IniExists() const;

    // "PrimaryColor": valid only when all nine values are non-zero.
    bool LoadPrimaryColors(MonitorPrimaries& out) const;

    // "Settings"/"Count": the manual mode's steps, -1 when the model folder
    // is missing or the key is absent.
    int StepCount() const;
    // "Settings"/"ModelName", empty when absent.
    std::string ModelName() const;
    // "Text"/"NNN" of step n (three digits), empty when absent.
    std::string StepText(int step) const;
    std::string StepPicturePath(int step) const;

    // "ColorPreset": Count (0 when absent) and the texts of Preset1 ...
    // PresetN in order; MinTemperature and MaxTemperature (2600 and 10000
    // when absent).
    int PresetCount() const;
    std::vector<std::string> Presets() const;
    int MinTemperature() const;
    int MaxTemperature() const;

private:
    int m_modelCode;
    std::string m_programFolder;
    std::string m_folder;
    std::string m_iniPath;
};
