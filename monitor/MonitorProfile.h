#pragma once
// The monitor profile of the manual mode: an ICC monitor profile built from
// the model's primaries and gamma (monitor/MonitorModelData.h) and the white
// of the colour temperature the user set on the monitor, written into the
// colour directory, installed and made the display's profile in place of
// the one it had.
//
// No windows here: the caller (the manual-mode dialog) hands in what the
// user chose and shows the message of a refusal, by its string number and
// arguments, through the program's message sink.

#include <optional>
#include <string>
#include <vector>

// How the user gave the temperature at the end of the manual mode.
enum class MonitorTemperatureMode
{
    Preset, // one of the model's "ColorPreset" texts, or none chosen
    Typed   // a number typed within the model's MinTemperature..MaxTemperature
};

struct MonitorProfileRequest
{
    int modelCode = 0;
    // The display the profile is made for (the monitor's device ID).
    std::string deviceId;
    // The program data folder the model data is read from (empty: the
    // installed one).
    std::string programFolder;

    MonitorTemperatureMode mode = MonitorTemperatureMode::Preset;
    int typedKelvin = 0;
    // The chosen preset's text ("6500", "Native" ...); empty: none chosen.
    std::optional<std::string> preset;

    // The profile the display has now, taken off once the new one is on.
    // Empty: the display's default profile in the association store.
    std::string previousProfile;
};

// String numbers of the refusals.
inline constexpr int kStrProfileCreationFailed = 3060;
inline constexpr int kStrEnterNumberInRange = 3062; // "%d から %d ..." (lowest, highest)

struct MonitorProfileResult
{
    bool ok = false;
    // On a refusal: the message's string number and its arguments.
    int messageId = 0;
    std::vector<std::string> messageArgs;
    // The profile written (its path in the colour directory), once written.
    std::string profilePath;
};

// The lowest and highest temperature a preset may name.
inline constexpr int kLowestPresetKelvin = 2600;
inline constexpr int kHighestPresetKelvin = 25000;

// Builds, installs and associates the profile (see the .cpp for the
// algorithm). Refusals: no valid primaries, no chosen preset, a preset
// outside 2600..25000 K, a failed write, install or association give 3060;
// a typed temperature outside the model's range gives 3062 with the range.
// Nothing is written on a refusal before the file, and the display keeps
// the profile it had on any refusal.
MonitorProfileResult CreateMonitorProfile(const MonitorProfileRequest& request);

// The profile's file name: "<model>_<temperature>K_<gamma x 10>.icm", the
// model name and temperature text made safe as parts of one file name.
std::string MonitorProfileFileName(const std::string& modelName, const std::string& temperature,
                                   double gamma);

// A text as part of a file name: no '/' or '\\', no control characters
// (each becomes '_'), no ".." and no leading '.', never empty ("_").
std::string SafeFileNamePart(const std::string& text);
