#pragma once
// Choosing the monitor's profile for its current settings and making it the
// display's profile.
//
// When the monitor's colour preset (VCP 14h), colour temperature (0Bh x 0Ch)
// or gamma (72h, E8h, 68h) change, InstallColorProfile decides which
// profile belongs to the new settings:
// - pro mode ("Select"): the profile the user prepared for the colour
//   preset, named per preset in [COLOR_PROFILE_SELECT] of ZEPH.INI as
//   PN<preset name>=<file in the colour directory>;
// - easy mode ("Generate"): a profile built from the monitor's EDID
//   primaries, the daylight white of its colour temperature and its gamma,
//   named "<T>K_<gamma x 10>_<maker><product>" (6500K_22_ABC1234). The
//   display's current profile is kept when it still describes the monitor;
//   otherwise the closest matching profile of the colour directory is
//   reused, and only when none matches a new ICC file is written. With the
//   device-model format a ".cdmp" file is written instead.
//
// The chosen file is copied into the colour directory and associated with
// the display in the association store (platform/ColorDirectory.h), which
// is how other programs learn of the change. The new profile is associated
// BEFORE the previous one is taken off the display (ReplaceDisplayProfile,
// agent/DisplayProfileOps.h): whatever fails on the way, the display never
// ends up without a profile.
//
// Nothing here shows a message or touches a timer: results are codes and
// trace lines, and the owner (the agent's dialog) decides what the user sees
// and when to try again.

#include "agent/CdmpWriter.h"
#include "agent/DisplayProfileOps.h"
#include "agent/IccProfileBuilder.h"
#include "agent/MccsCapabilities.h"
#include "agent/MonitorProbe.h"
#include "agent/TraceLog.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

// VCP 14h (Select Color Preset) values 0..14: the colour temperature each
// preset stands for in easy mode (0 for "no preset") and the name the ini
// keys use ("PN" + name).
inline constexpr int kColorPresetCount = 15;
inline constexpr std::array<int, kColorPresetCount> PresetColorTemperatures = {
    0, 6500, 6500, 4000, 5000, 6500, 7500, 8200, 9300, 10000, 11500, 6500, 5500, 6500, 6000};
inline constexpr std::array<const char*, kColorPresetCount> SelectColorPresetNames = {
    "0",     "SRGB",   "NATIVE", "4000K",        "5000K", "6500K", "7500K", "8200K",
    "9300K", "10000K", "11500K", "PROGRAMMABLE", "5500K", "6500K", "6000K"};
// The preset whose colour temperature is the table's, never 0Bh x 0Ch.
inline constexpr int kPresetProgrammable = 11;

// VCP 68h (GammaSelect) values the agent understands; every other value is
// refused.
inline constexpr int kGammaSelectNoCorrection = 1;
inline constexpr int kGammaSelectProgrammable = 6;
inline constexpr int kGammaSelectOption = 7;
inline constexpr int kGammaSelectCustom = 9;
inline constexpr int kGammaSelectDefault = 10;

// Gamma types of GetDefaultGammaFromCapabilities.
inline constexpr int kGammaTypeAbsolute = 1; // 72h value v: gamma = v / 100 + 1
inline constexpr int kGammaTypeRelative = 2; // 72h value steps of 0.1 around the default
inline constexpr int kGammaTypeUnknown = 3;  // the capabilities describe no gamma

// The gamma the monitor's capabilities give as its default: the 72h value
// list (first, second) gives gamma = second / 100 + 1, of the relative type
// when first is FFh, else absolute. Capabilities not parsed: gamma 2.2 and
// kGammaTypeUnknown; no (or a too short) 72h list: kGammaTypeUnknown with
// gamma untouched.
int GetDefaultGammaFromCapabilities(const CMccsCapabilities& capabilities, double& gamma);

// The number of VCP 14h values the capabilities list (0 when not parsed or
// 14h has no list); the values are copied into `values` when given.
int GetColorPresetList(const CMccsCapabilities& capabilities, std::vector<int>* values);

// The gamma a 72h value stands for. Absolute type: value / 100 + 1.
// Relative type (the value as a signed 16-bit number): 400h the default,
// 401h..40Ah the default less 0.1 per step, 411h..41Ah the default plus 0.1
// per step, 420h -1 ("not a gamma": the caller falls back to E8h); any other
// value: 0 with gamma -1. Any other type: gamma = the default. 1 otherwise.
int GammaFromVcpValue(int type, double defaultGamma, std::uint16_t value, double& gamma);

// E8h (SimpleGamma): value / 100 + 0.5.
double GammaFromSimpleGamma(std::uint16_t value);

// "<kelvin>K_<gamma x 10>_<manufacturer><product>". The gamma part is
// rounded to the nearest integer, so that a gamma computed as 2.3 - 0.1
// (2.1999...) is named 22. Empty when the gamma is not finite or not
// above 0.
std::string MakeProfileName(int kelvin, double gamma, const std::string& manufacturer,
                            const std::string& product);

// The profile settings in force, as the owner holds them.
struct ProfileSettings
{
    int easyMode = 1; // 1 easy mode ("Generate"), 0 pro mode ("Select")
    int format = 0;   // 0 ICC, 1 device model (.cdmp)
    int whiteLuminance = 200;
    int redLuminance = 45;
    int greenLuminance = 130;
    int blueLuminance = 25;
    bool gammaSelectSupported = false; // the support flag of 68h (GammaSelect)
};

class CProfileInstaller
{
public:
    // The seven followed VCP values, in this order; kNotRead where a value
    // was not read.
    static constexpr std::size_t kValueCount = 7;
    static constexpr std::size_t kNewControlValue = 0;           // 02h
    static constexpr std::size_t kColorTemperatureIncrement = 1; // 0Bh
    static constexpr std::size_t kColorTemperatureRequest = 2;   // 0Ch
    static constexpr std::size_t kSelectColorPreset = 3;         // 14h
    static constexpr std::size_t kGamma = 4;                     // 72h
    static constexpr std::size_t kSimpleGamma = 5;               // E8h
    static constexpr std::size_t kGammaSelect = 6;               // 68h
    static constexpr std::uint16_t kNotRead = 0xFFFF;
    using VcpValues = std::array<std::uint16_t, kValueCount>;

    // Results of InstallColorProfile.
    static constexpr int kResultOk = 0;
    static constexpr int kResultFailed = -1;
    // The gamma is CUSTOM but the capabilities do not describe 72h.
    static constexpr int kResultGammaNotDescribed = 3;
    static constexpr int kResultTemperatureOutOfRange = CMonitorProbe::kTemperatureOutOfRange;
    // Easy mode and the monitor gave no colour preset (14h not read): the
    // owner switches monitoring off and shows "NOT_SELCOLPRESET" (once).
    static constexpr int kResultNoColorPreset = -2;

    // Results of FileSubstitutionJudgment.
    static constexpr int kKeepFile = 0;
    static constexpr int kMakeNewFile = 1;

    // Both are borrowed and must outlive the installer. The probe reads the
    // EDID and gives the white of a colour temperature; the capabilities
    // give the gamma and the colour presets.
    CProfileInstaller(CMonitorProbe& probe, const CMccsCapabilities& capabilities,
                      CTraceLog& trace);

    // The display whose profile changes: its device ID in the association
    // store (the polled monitor's PhysicalMonitor::deviceId; empty: the
    // default display).
    void SetDeviceId(std::string deviceId);
    const std::string& DeviceId() const { return m_deviceId; }

    // Replaces the install and association operations (all three must be
    // set); the default is DisplayProfileOps::Platform().
    void SetDisplayProfileOps(DisplayProfileOps ops) { m_ops = std::move(ops); }

    // Chooses (and in easy mode builds or reuses) the profile for the
    // values and makes it the display's profile. kResultOk,
    // kResultFailed, kResultGammaNotDescribed, kResultTemperatureOutOfRange
    // or kResultNoColorPreset. After a failure RetryAdvised() says whether
    // the same values may succeed on another try (the EDID could not be
    // read, a file could not be written, installed or associated), as
    // opposed to values that no profile can be made for.
    int InstallColorProfile(std::span<const std::uint16_t, kValueCount> values,
                            const ProfileSettings& settings);
    bool RetryAdvised() const { return m_retryAdvised; }

    // Pro mode: finds for each colour preset the monitor lists the profile
    // that the ini pairs (keys[i], values[i], i = 0..maxIndex) name, when
    // that file is in the colour directory; fills PresetProfileNames(). 1
    // when every listed preset has one, else 0 (also for a monitor that
    // lists no presets).
    int SelectProfileFromIni(const std::vector<std::string>& keys,
                             const std::vector<std::string>& values, int maxIndex);
    const std::array<std::string, kColorPresetCount>& PresetProfileNames() const
    {
        return m_presetProfileNames;
    }

    // Whether the profile at path still describes the monitor the builder
    // holds (kKeepFile) or a new one is needed (kMakeNewFile: also when the
    // builder is incomplete or the file cannot be decoded). Chromaticities
    // of the adapted colorants within 0.002 (red, blue) and 0.005 (green,
    // white), the tone curves within 5 % at drive values 64, 92, 128, 192.
    int FileSubstitutionJudgment(const CIccProfileBuilder& builder, const std::string& path) const;

    // The profile of the colour directory closest to the builder's among
    // those strictly within the tolerances above: 1 with its path in name,
    // else 0 (name untouched). Closest = the smallest sum of the absolute
    // differences (eight chromaticities, twelve relative curve samples).
    int FindNearestProfile(const CIccProfileBuilder& builder, std::string& name) const;

    // The file for the builder's profile: a matching one of the colour
    // directory, else a new "<name>.icm" written there (description = name).
    // name becomes the file's path. False when the builder is incomplete or
    // the file cannot be written.
    bool WriteIccProfile(CIccProfileBuilder& builder, std::string& name) const;

    // Makes the profile the display's: in easy mode the current profile
    // (the builder's remembered path, else the display's) when it still
    // matches, else WriteIccProfile's file; in pro mode the colour
    // directory's file `name`. Installs it, associates it, and only then
    // takes the previous profile off the display. 1 when the new profile is
    // associated (the builder then remembers its path), else 0 with the
    // display's associations as they were.
    int InstallIccProfile(CIccProfileBuilder& builder, const std::string& name);

    // The device-model twin of InstallIccProfile: in easy mode the writer's
    // document is saved as "<name>.cdmp" in the colour directory, in pro mode
    // the colour directory's file `name` is used. 1 when associated, else 0.
    int InstallDeviceModelProfile(CdmpWriter& writer, const std::string& name, int easyMode);

    // Bookkeeping across decisions: whether a decision has run, and the
    // profile the agent associated last (before the first decision: the
    // display's profile as it was).
    bool AlreadyCreated() const { return m_alreadyCreated; }
    const std::string& CurrentProfileName() const { return m_currentProfileName; }

    // Red, green and blue luminances of the last device-model profile.
    const std::array<double, 3>& LuminanceResults() const { return m_luminanceResults; }

private:
    struct EasyProfileInputs
    {
        IccXyz red;
        IccXyz green;
        IccXyz blue;
        IccXyz white;
        double gamma = 2.2;
        std::string name;
    };

    int ComputeEasyInputs(std::span<const std::uint16_t, kValueCount> values,
                          const ProfileSettings& settings, EasyProfileInputs& inputs);
    int ComputeGamma(std::span<const std::uint16_t, kValueCount> values,
                     const ProfileSettings& settings, double& gamma);
    int InstallIcc(std::span<const std::uint16_t, kValueCount> values,
                   const ProfileSettings& settings, const EasyProfileInputs& inputs);
    int InstallDeviceModel(std::span<const std::uint16_t, kValueCount> values,
                           const ProfileSettings& settings, const EasyProfileInputs& inputs);
    bool ProName(std::span<const std::uint16_t, kValueCount> values, std::string& name);
    // The profile the next installation takes off the display.
    std::string PreviousProfile(const std::string& displayProfile);
    // ReplaceDisplayProfile with the installer's ops and display; a failure
    // advises a retry.
    bool ReplaceProfile(const std::string& file, const std::string& previous,
                        std::string& associated);

    CMonitorProbe& m_probe;
    const CMccsCapabilities& m_capabilities;
    CTraceLog& m_trace;
    std::string m_deviceId;
    DisplayProfileOps m_ops = DisplayProfileOps::Platform();
    std::array<std::string, kColorPresetCount> m_presetProfileNames;
    bool m_alreadyCreated = false;
    std::string m_currentProfileName;
    std::array<double, 3> m_luminanceResults{};
    bool m_retryAdvised = false;
};
