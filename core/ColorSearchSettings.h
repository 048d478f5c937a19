#pragma once
// The colour search dialog's step and unit, shared by every dialog of the
// process: read once at start-up from section "ColorSearchDlg" of the
// settings file, replaced when a dialog ends with OK, never written back.
// UI thread only.

#include <string>
#include <string_view>

inline constexpr std::string_view kColorSearchSection = "ColorSearchDlg";

// One table for both values: key, range and default; the reader and the
// dialog's controls take their limits from here.
struct ColorSearchParam
{
    std::string_view key;
    int min;
    int max;
    int defaultValue;
};
inline constexpr ColorSearchParam kColorSearchStep{"Step", 1, 10, 8};
// 1 XYZ, 2 Yxy, 3 Lab, 4 RGB.
inline constexpr ColorSearchParam kColorSearchUnit{"ColorUnit", 1, 4, 4};

struct ColorSearchSettings
{
    int Step = kColorSearchStep.defaultValue;
    int Unit = kColorSearchUnit.defaultValue;
};

// Reads both keys (the main settings file when iniPath is empty); a value
// outside its range, or a missing key, gives the default.
void LoadColorSearchSettings(const std::string& iniPath = std::string());
// Writes no key: the values live for the process only. Kept so that the
// shut-down sequence reads as a load and a save per group.
void SaveColorSearchSettings(const std::string& iniPath = std::string());

ColorSearchSettings GetColorSearchSettings();
// Stores the values, each brought back to its default when out of range.
void SetColorSearchSettings(const ColorSearchSettings& settings);
