#pragma once
// The process-wide preferences record: input and working colour spaces,
// the colour picker's sample size, the outside DNG converter's path with
// the user's extra camera-RAW extensions, the introduction-screen switch
// and the display the monitor functions talk to. The colour-engine switch
// lives in core/UseOsCmm.h and is loaded and saved here.
//
// Ini section "CqzNewProjectDlg" of the main settings file. Only
// "UseOsCmm" and "SkipInitMsg" are ever written; the converter path and
// the RAW extensions are read but emptied again, so every start begins
// without them (the preferences dialog can set them for the session).
//
// The record is read by the thumbnail thread (converter path, RAW
// extensions, DNG output folder), so every access goes through these
// functions, which hold one lock; the functions taking or returning a
// whole record copy it.

#include <array>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view kGlobalSettingsSection = "CqzNewProjectDlg";

// The camera-RAW extensions known without any setting, lower case with
// their dot, in this order.
inline constexpr std::array<std::string_view, 9> kBuiltinRawExtensions = {
    ".cr2", ".crw", ".dcr", ".mrw", ".nef", ".orf", ".raw", ".pef", ".x3f"};
// True when the extension (with its dot) is one of the nine, ignoring case.
bool IsBuiltinRawExt(std::string_view extension);

struct GlobalSettings
{
    std::string INProfile;                  // description of the input-space profile
    std::string WcsProfile;                 // description of the working-space profile
    int InMode = 0;                         // 0 working space, 1 INProfile, 2 profile of InFilePath
    int WcsMode = 0;                        // 0 WcsProfile, 1 profile of WcsFilePath
    std::string InFilePath;                 // image whose embedded profile is the input space
    std::string WcsFilePath;                // image whose embedded profile is the working space
    int AverageSize = 1;                    // 0..3: sample of 1, 5, 10 or 50 pixels a side
    std::string DNGConvPath;                // the outside converter; empty at every start
    std::vector<std::string> RawExtensions; // user RAW extensions, none built in
    int SkipInitMsg = 0;                    // 1: no introduction screen at start
    int DisplayIndex = 0;                   // index into the monitor object's list
};

// The start values: sRGB profiles ("sRGB IEC61966-2.1") and the pictures
// folder for both spaces, everything else as declared above.
GlobalSettings DefaultGlobalSettings();

// A copy of the record, and replacing it whole (the preferences dialog).
GlobalSettings GetGlobalSettings();
void SetGlobalSettings(const GlobalSettings& settings);

// Fills the record from the ini file (the main settings file when empty):
// start values first, then each key read with the current value as its
// default and kept only within its range; the converter path and RAW
// extensions are read and then emptied.
void LoadGlobalSettings(const std::string& iniPath = std::string());
// Reads "UseOsCmm" with the current value as default; kept when 0 or 1.
void LoadUseOsCmm(const std::string& iniPath = std::string());
// Writes "UseOsCmm" and "SkipInitMsg" and nothing else. False when the
// file cannot be written.
bool SaveGlobalSettings(const std::string& iniPath = std::string());

// True for a built-in RAW extension or one of the user's (ignoring case).
bool IsRawExtension(std::string_view extension);

// Plain reads and writes of single fields.
std::string GetDNGConverterPath();
void SetDNGConverterPath(const std::string& path);
std::vector<std::string> GetRawExtensions();
void SetRawExtensions(const std::vector<std::string>& extensions);
int GetAverageSize();
int GetSkipInitMsg();
void SetSkipInitMsg(int value);
int GetDisplayIndex();
void SetDisplayIndex(int value);

// Copies out the six colour-space values after repairing the stored ones:
// a working space whose installed profile is not found (mode 0) or whose
// image has no usable profile (mode 1) falls back to mode 0 with sRGB; an
// input space whose installed profile is not found (mode 1) or whose image
// has no usable profile (mode 2) falls back to mode 0. Always true.
bool GetColorSpaceSettings(std::string& inProfile, std::string& wcsProfile, int& inMode,
                           int& wcsMode, std::string& inFilePath, std::string& wcsFilePath);

// Whether the program file can serve as the outside converter: it has a
// version resource whose "FileVersion" is at least 3.2, compared part by
// part as numbers (ParseVersionNumbers: "3.10" is accepted, "3.1.9"
// refused, a text without a leading number refused), and its file name is
// "Adobe DNG Converter.exe" ignoring case. The version text is returned
// whole (also when the name is refused).
bool CheckDngConverter(const std::string& path, std::string& version);

// True when the image file's embedded ICC profile opens as a CColorProfile.
bool ImageFileHasProfile(const std::string& path);

// The folder into which converted DNG files are written: the pictures
// folder, or key "DNGPath" of section "CDNGPathDlg" when present. Set once
// at start-up; read for every conversion (from any thread).
inline constexpr std::string_view kDngPathSection = "CDNGPathDlg";
void LoadDngOutputPath(const std::string& iniPath = std::string());
// The shutdown's counterpart of LoadDngOutputPath: the folder is never
// written back, so this writes no key. Always true.
bool SaveDngOutputPath(const std::string& iniPath = std::string());
// Replaces the folder for the rest of the session (the folder dialog).
void SetDngOutputPath(const std::string& folder);
std::string GetDngOutputPath();
