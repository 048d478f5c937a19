#pragma once
// DDC/CI: how both programs talk to a monitor over its display cable.
//
// One interface, two backends:
// - libddcutil, for real monitors (I2C over /dev/i2c-*). The library is
//   loaded when this backend is first created, not at start-up; its own
//   retries are switched off (one try per exchange), so that the callers'
//   retry rules are the only ones in force;
// - the simulated monitor (SimulatedMonitors.h), chosen when the
//   environment variable QUILLBRAKE_SIMULATED_MONITORS names its ini file.
//   Tests, and anyone without a DDC/CI monitor, use it; the main program
//   and the agent share one simulated monitor through that file.
//
// Every operation is one exchange with the monitor (the monitor is opened
// and closed inside it; no handle is kept between calls) and answers
// true/false as the monitor did. Nothing is retried and nothing waits here
// beyond the exchange itself: retries and pauses belong to the callers, who
// take them from a Clock so that tests run them on virtual time.
//
// A transport object is used by one thread at a time.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Clock.h"

namespace platform {

// One physical monitor as enumerated. The fields are the backend's handle
// for later calls; hold on to the record, not to any of its parts.
struct PhysicalMonitor
{
    // Text for lists of monitors: the EDID monitor name where there is one,
    // else a generic text naming the connection.
    std::string description;
    // "MONITOR\<maker><product>\<connector>", e.g. "MONITOR\QBX1234\card0-DP-1":
    // the three EDID maker letters, the product code as four upper-case hex
    // digits, and the connector the monitor hangs on. The key of the
    // display-profile association store.
    std::string deviceId;
    // The connector ("card0-DP-1" for a real monitor; the ini's name for a
    // simulated one).
    std::string connector;
    // True for the physical monitors of the primary display.
    bool primary = false;
    // Backend-private: position in the backend's own list.
    std::size_t index = 0;
};

// The VCP type byte of a monitor's reply to a VCP read, as MCCS defines it:
// 0 for a set parameter (the feature keeps the value written; nearly every
// control), 1 for a momentary feature (acts when written: restore
// defaults, degauss). The numeric value is the byte itself, so callers that
// test the type against 0 test for a set parameter.
enum class VcpCodeType : std::uint8_t
{
    SetParameter = 0,
    Momentary = 1,
};

// A VCP read: current and maximum value (16 bits each, as MCCS sends them)
// and the feature's type.
struct VcpValue
{
    std::uint16_t current = 0;
    std::uint16_t maximum = 0;
    VcpCodeType type = VcpCodeType::SetParameter;
};

// MCCS VCP codes the programs use.
namespace vcp {
inline constexpr std::uint8_t kNewControlValue = 0x02; // 1 none, 2 changed at the front panel
inline constexpr std::uint8_t kRestoreFactoryDefaults = 0x04;
inline constexpr std::uint8_t kRestoreLuminanceContrast = 0x05;
inline constexpr std::uint8_t kRestoreColorDefaults = 0x08;
inline constexpr std::uint8_t kLuminance = 0x10;
inline constexpr std::uint8_t kContrast = 0x12;
inline constexpr std::uint8_t kSelectColorPreset = 0x14;
inline constexpr std::uint8_t kVideoGainRed = 0x16;
inline constexpr std::uint8_t kVideoGainGreen = 0x18;
inline constexpr std::uint8_t kVideoGainBlue = 0x1A;
inline constexpr std::uint8_t kAutoSetup = 0x1E;
inline constexpr std::uint8_t kGamma = 0x72;
inline constexpr std::uint8_t kDisplayTechnologyType = 0xB6;
inline constexpr std::uint8_t kVersion = 0xDF;
} // namespace vcp

class DdcTransport
{
public:
    virtual ~DdcTransport() = default;

    // The physical monitors found, those of the primary display first
    // (several when the primary display is cloned). A monitor that does not
    // speak DDC/CI is listed all the same (its EDID can be read; every
    // exchange with it fails), as the caller's presence test decides which
    // one answers. Empty when there are none or the backend cannot work (no
    // I2C devices, no permission, no simulated-monitor file).
    virtual std::vector<PhysicalMonitor> EnumerateMonitors() = 0;

    // Reads one non-table VCP feature (MCCS "Get VCP Feature").
    virtual bool GetVcp(const PhysicalMonitor& monitor, std::uint8_t code, VcpValue* value) = 0;

    // Writes one non-table VCP feature (MCCS "Set VCP Feature").
    virtual bool SetVcp(const PhysicalMonitor& monitor, std::uint8_t code, std::uint16_t value) = 0;

    // The monitor's MCCS capabilities string, whole (no fixed-size buffer:
    // the caller decides what to keep).
    virtual bool GetCapabilities(const PhysicalMonitor& monitor, std::string* caps) = 0;

    // Makes the monitor store its current settings (DDC/CI command 0x0C).
    virtual bool SaveCurrentSettings(const PhysicalMonitor& monitor) = 0;

    // The monitor's EDID: the 128-byte base block, followed by any extension
    // blocks the backend has. Not a DDC/CI exchange: no busy rules apply.
    virtual bool GetEdid(const PhysicalMonitor& monitor, std::vector<std::uint8_t>* edid) = 0;

    // The display technology type (VCP B6h, current value): the presence
    // test of DDC/CI.
    virtual bool GetTechnologyType(const PhysicalMonitor& monitor, std::uint16_t* type) = 0;

    // A short readable reason for the last failure, for trace logs; empty
    // after a success.
    virtual std::string LastError() const = 0;
};

// The name of the environment variable that selects the simulated monitor.
inline constexpr const char* kSimulatedMonitorsEnv = "QUILLBRAKE_SIMULATED_MONITORS";

// The simulated monitor when QUILLBRAKE_SIMULATED_MONITORS is set and not
// empty, else libddcutil. The clock paces the simulated monitor's delays
// and must outlive the transport. Never null.
std::unique_ptr<DdcTransport> CreateDdcTransport(Clock& clock = SystemClock());

// The libddcutil backend itself (CreateDdcTransport without the simulated
// monitor). The first call loads the library; when it cannot be loaded the
// backend finds no monitors, fails every exchange, and LastError() says
// why.
std::unique_ptr<DdcTransport> CreateLibDdcutilTransport();

// True when libddcutil is loaded in this process: never before the
// libddcutil backend has been created.
bool IsDdcutilLoaded();

} // namespace platform
