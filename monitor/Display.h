#pragma once
// The program's monitor: the physical monitors of the desktop, one selected
// monitor, and the few monitor controls the adjustment wizard drives
// (luminance, contrast, RGB gains, colour preset, resets), read and written
// by logical control number. CDdcApiDisplay speaks DDC/CI through the
// platform's transport (libddcutil, or the simulated monitor when
// QUILLBRAKE_SIMULATED_MONITORS names its file).
//
// Every exchange the main program has with a monitor is bracketed by the
// DDC/CI busy value "State" of the shared registry store, which keeps the
// tray agent off the channel meanwhile: 1 = the main program is talking to
// a monitor, 0 = the channel is free.

#include "monitor/MonitorModelData.h"
#include "platform/Clock.h"
#include "platform/DisplayDevices.h"
#include "platform/Registry.h"
#include "platform/ddc/DdcTransport.h"

#include <QRect>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

inline constexpr const char* kDdcBusyRegistryKey = "Software\\QUILLBRAKE\\CHROMIVEL\\DDCCI";
inline constexpr const char* kDdcBusyValueName = "State";

// Writes the DDC/CI busy value (1 busy, 0 free) into the user's registry
// store, or into `store`. False when the store cannot be written; callers
// go on all the same.
bool SetDdcBusyFlag(std::uint32_t state);
bool SetDdcBusyFlag(platform::RegistryStore& store, std::uint32_t state);

// Logical control numbers and the MCCS VCP codes they stand for. Numbers
// 7 and 9 do not exist.
struct DisplayControl
{
    int control;
    std::uint8_t vcp;
};
// The control numbers the wizard and the agent speak in.
inline constexpr int kControlLuminance = 0;
inline constexpr int kControlContrast = 1;
inline constexpr int kControlGainRed = 3;
inline constexpr int kControlGainGreen = 4;
inline constexpr int kControlGainBlue = 5;
inline constexpr int kControlPreset = 6;
inline constexpr int kControlAutoSetup = 8;
inline constexpr int kControlFactoryReset = 10;
inline constexpr int kControlManufacturer = 11;
inline constexpr int kControlResetLuminance = 12;
inline constexpr std::array<DisplayControl, 11> kDisplayControls = {{
    {kControlLuminance, 0x10},
    {kControlContrast, 0x12},
    {2, 0x92}, // not used by the wizard
    {kControlGainRed, 0x16},
    {kControlGainGreen, 0x18},
    {kControlGainBlue, 0x1A},
    {kControlPreset, 0x14},          // select colour preset
    {kControlAutoSetup, 0x1E},
    {kControlFactoryReset, 0x04},    // restore factory defaults
    {kControlManufacturer, 0xF9},    // manufacturer specific
    {kControlResetLuminance, 0x05},  // restore factory luminance/contrast defaults
}};
// The VCP code of a control number; empty for a number that is not in the table.
std::optional<std::uint8_t> VcpCodeOfControl(int control);

// The model groups: the maker's monitors (by EDID product code) that need
// their own way of being initialised and restored by the wizard.
//   reset group        restored with control 12, first given control 11 = 2
//   user-preset group  initialised with control 11 = 5, no factory reset
//   two-range group    brightness drives contrast on its lowest levels
//   refresh group      exactly user-preset + two-range: luminance is
//                      written again after every preset change
//   slow-reset group   control 12 instead of the factory reset, longer waits
//   auto-setup group   get control 8 at initialisation (unless user-preset)
std::span<const std::uint16_t> ResetModelCodes();
std::span<const std::uint16_t> UserPresetModelCodes();
std::span<const std::uint16_t> TwoRangeBrightnessModelCodes();
std::span<const std::uint16_t> RefreshModelCodes();
std::span<const std::uint16_t> SlowResetModelCodes();
std::span<const std::uint16_t> AutoSetupModelCodes();
bool IsModelIn(std::span<const std::uint16_t> group, int modelCode);

// One physical monitor of the desktop.
struct PhysicalMonitorInfo
{
    QString Description;
    platform::PhysicalMonitor Handle; // the transport's record of the monitor
    int ModelCode = 0;
    QString DeviceID;
    QString AdapterName; // the DRM connector ("card0-DP-1"), or the transport's name
    QRect MonitorRect;   // empty when no screen of the desktop shows it
    QString EdidMonitorName;
    QString EdidSerialNumber;
};

class CDisplay
{
public:
    // Pauses go through `clock` (a virtual one in tests), which must outlive
    // the object.
    explicit CDisplay(platform::Clock& clock = platform::SystemClock());
    virtual ~CDisplay();

    CDisplay(const CDisplay&) = delete;
    CDisplay& operator=(const CDisplay&) = delete;

    virtual bool EnumMonitors() = 0;
    virtual bool GetControlRange(int control, std::uint16_t* maximum, std::uint16_t* current) = 0;
    virtual bool GetControlValue(int control, std::uint16_t* current) = 0;
    virtual bool GetControlMaximum(int control, std::uint16_t* maximum) = 0;
    // The value is cut to 16 bits.
    virtual bool SetControlValue(int control, int value) = 0;
    virtual bool SaveSettings() = 0;
    virtual bool GetSerialNumber(QString& out) = 0;
    virtual bool GetModelName(QString& out) = 0;
    // The presence test of DDC/CI: whether the selected monitor answers.
    virtual bool CheckConnection() = 0;
    virtual bool IsDdcSupported() = 0;
    // The caller guarantees a valid index.
    virtual void SelectPhysicalMonitor(unsigned index) = 0;

    // Selects record `index` (busy value 1 around the presence test, then
    // 0) and loads its model data. False for an index out of range (nothing
    // written, nothing changed) or a monitor that does not answer.
    bool SelectMonitor(int index);
    // 500 ms, then RewriteLuminance.
    void RefreshLuminance();
    // For monitors that need it (RefreshLuminanceFlag), the luminance read
    // and written back; nothing is written when the read fails.
    void RewriteLuminance();
    void GetMonitorDescriptions(std::vector<QString>& out) const;
    // The RGB gains that move the monitor's white to targetXy (see the .cpp).
    bool ComputeWhiteGains(const double targetXy[2], std::vector<std::uint16_t>& gains,
                           const std::vector<std::uint16_t>& maxima) const;
    // Red x, y, green x, y, blue x, y, white x, y, gamma from `section`
    // (ReadPrimaryColors); false at the first value that reads as 0 (those
    // before it stay in out).
    static bool LoadPrimaryColors(const char* section, double out[9], const std::string& iniPath);

    bool IsResetModel() const;
    bool IsRefreshModel() const;
    bool IsUserPresetModel() const;
    bool IsAutoSetupModel() const;

    // The program data folder the model data is read from (empty: the
    // installed one).
    void SetProgramFolder(std::string folder) { m_programFolder = std::move(folder); }

    std::vector<PhysicalMonitorInfo> Monitors;
    int SelectedIndex = -1;
    int ModelCode = 0;
    QString DeviceID;
    QString AdapterName;
    std::array<double, 9> Primaries{};
    bool PrimariesLoaded = false;
    bool RefreshLuminanceFlag = true;
    QRect MonitorRect;
    QString EdidMonitorName;
    QString EdidSerialNumber;

protected:
    platform::Clock& m_clock;

private:
    std::string m_programFolder;
};

class CDdcApiDisplay final : public CDisplay
{
public:
    // Over the platform's transport (the simulated monitor when the
    // environment names one). sysfsRoot is the DRM folder the monitors'
    // screen places are looked up in.
    explicit CDdcApiDisplay(platform::Clock& clock = platform::SystemClock());
    CDdcApiDisplay(std::unique_ptr<platform::DdcTransport> transport, platform::Clock& clock,
                   std::string sysfsRoot = platform::kDrmClassFolder);
    // Writes the busy value 1: the main program is ending.
    ~CDdcApiDisplay() override;

    bool EnumMonitors() override;
    bool GetControlRange(int control, std::uint16_t* maximum, std::uint16_t* current) override;
    bool GetControlValue(int control, std::uint16_t* current) override;
    bool GetControlMaximum(int control, std::uint16_t* maximum) override;
    bool SetControlValue(int control, int value) override;
    bool SaveSettings() override;
    bool GetSerialNumber(QString& out) override;
    bool GetModelName(QString& out) override;
    bool CheckConnection() override;
    bool IsDdcSupported() override { return true; }
    void SelectPhysicalMonitor(unsigned index) override;

    platform::DdcTransport& Transport() { return *m_transport; }

private:
    template <typename Attempt> bool Retry(Attempt&& attempt, std::int64_t settleMs);
    bool ReadVcp(int control, platform::VcpValue* value);

    std::unique_ptr<platform::DdcTransport> m_transport;
    std::string m_sysfsRoot;
    std::optional<platform::PhysicalMonitor> m_handle;
};
