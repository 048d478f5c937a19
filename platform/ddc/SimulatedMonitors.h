#pragma once
// The simulated DDC/CI monitor: a stand-in for real monitors that tests, and
// anyone without a DDC/CI monitor, talk to through the same DdcTransport
// interface. Its whole state is one ini file (named by the environment
// variable QUILLBRAKE_SIMULATED_MONITORS), read and written under an
// exclusive flock for every exchange, so that the main program and the agent
// running at the same time share one monitor and see each other's writes.
//
// File format (UTF-8, LF or CR LF; ';' starts a comment line). Every section
// whose name starts with "Monitor" (any case) is one physical monitor, in
// file order; other sections are ignored. Code and preset numbers in key
// names are two hexadecimal digits (as capabilities strings write them);
// values are decimal.
//
//   [Monitor1]
//   Connector=SIM-1          ; identity of the monitor (default: the section name)
//   Primary=1                ; 1 on the primary display (default: only the first monitor)
//   Description=...          ; text for monitor lists (default: the EDID name)
//
//   ; EDID: raw bytes as hexadecimal (blanks allowed; not checked, so broken
//   ; EDIDs can be simulated) ...
//   EdidHex=00FFFFFFFFFFFF00...
//   ; ... or, without EdidHex, a 128-byte EDID 1.3 block built from these keys
//   ; (valid header and checksum):
//   Maker=QBX                ; three letters A-Z
//   Product=1234             ; product code, four hexadecimal digits
//   SerialNumber=1           ; 32-bit serial number field, decimal
//   Name=QB SIM 24           ; monitor name descriptor (at most 13 characters)
//   Serial=SIM0001           ; serial text descriptor (at most 13 characters)
//   Red=0.640,0.330          ; chromaticities x,y of the primaries and the white
//   Green=0.300,0.600
//   Blue=0.150,0.060
//   White=0.3127,0.3290
//
//   Capabilities=(prot(monitor)type(lcd)...)   ; the MCCS capabilities string
//
//   ; VCP codes the monitor supports: current,maximum[,flags], with the flags
//   ; "momentary" (a write acts but stores nothing; reads report the
//   ; momentary type) and "readonly" (writes fail). Codes not listed fail.
//   ; Written values above the maximum are stored as the maximum.
//   VCP_10=80,100
//   ; A write to 14h (select colour preset) also loads that preset's settings,
//   ; a list of code:value pairs:
//   Preset_05=16:100,18:95,1A:90,0C:70
//   ; Factory values, restored by a non-zero write to 04h (all of them), 05h
//   ; (10h and 12h) or 08h (the colour codes 0Bh, 0Ch, 14h, 16h, 18h, 1Ah,
//   ; 6Ch, 6Eh, 70h, 72h), where those codes are listed as VCP_ keys:
//   Default_10=80
//
//   ; Injected faults and pacing:
//   FailNext=0               ; the next N exchanges fail (counts down)
//   NoAnswer=0               ; 1: every exchange fails (the EDID is still readable)
//   Unplugged=0              ; 1: not listed; every call fails, EDID included
//   DelayMs=0                ; every exchange takes this long on the caller's clock
//
//   ; Counters kept by the simulation:
//   Exchanges=0              ; exchanges that reached the monitor (failed ones too)
//   Saves=0                  ; successful "save current settings" commands
//
// The New Control Value (02h) follows MCCS: the host's writes store what
// they write (the host writes 1 to acknowledge); a front-panel change
// (SimulatedMonitorFile::FrontPanelChange, the user pressing the monitor's
// buttons) sets it to 2 when 02h is listed.
//
// An exchange is one GetVcp, SetVcp, GetCapabilities, SaveCurrentSettings or
// GetTechnologyType (VCP B6h). Reading the EDID is not an exchange: it is
// neither counted, delayed nor failed by FailNext or NoAnswer.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Clock.h"
#include "platform/ddc/DdcTransport.h"

namespace platform {

// The fields an EDID 1.3 base block is built from.
struct EdidFields
{
    std::string maker = "QBX";      // three letters A-Z
    std::uint16_t product = 0x1234; // product code
    std::uint32_t serialNumber = 1; // numeric serial field (bytes 12-15)
    std::string name = "QB SIM 24"; // monitor name descriptor (FCh)
    std::string serial = "SIM0001"; // serial text descriptor (FFh)
    double redX = 0.640, redY = 0.330;
    double greenX = 0.300, greenY = 0.600;
    double blueX = 0.150, blueY = 0.060;
    double whiteX = 0.3127, whiteY = 0.3290;
};

// A 128-byte EDID 1.3 base block with valid header and checksum, no
// extensions, one 1920x1080 60 Hz preferred timing, the name, serial and
// range-limit descriptors. Chromaticities are stored as round(v x 1024),
// clamped to the 10-bit range; a maker with other than three letters A-Z
// gives the maker code 0. Names longer than 13 characters are cut.
std::vector<std::uint8_t> BuildEdid(const EdidFields& fields);

// One VCP code of a simulated monitor.
struct SimulatedVcpCode
{
    std::uint8_t code = 0;
    std::uint16_t current = 0;
    std::uint16_t maximum = 0;
    bool momentary = false;
    bool readOnly = false;
    std::optional<std::uint16_t> factoryDefault; // written as Default_xx
};

// The settings a colour preset (VCP 14h value) loads: code, value.
struct SimulatedPreset
{
    std::uint16_t value = 0;
    std::vector<std::pair<std::uint8_t, std::uint16_t>> settings;
};

// Everything one [Monitor...] section holds. The default is a plausible LCD
// (see DefaultSimulatedMonitor).
struct SimulatedMonitorSetup
{
    std::string section = "Monitor1";
    std::string connector = "SIM-1";
    bool primary = true;
    std::string description; // empty: the EDID name
    EdidFields edid;
    std::string rawEdidHex;   // non-empty: EdidHex instead of the fields
    std::string capabilities; // empty: made up from vcp and presets
    std::vector<SimulatedVcpCode> vcp;
    std::vector<SimulatedPreset> presets;
    int failNext = 0;
    bool noAnswer = false;
    bool unplugged = false;
    int delayMs = 0;
};

// The stock monitor: connector "SIM-1", maker QBX, product 1234h, sRGB
// primaries, D65 white; VCP 02h (1 of 2), 04h/05h/08h (momentary), 0Bh
// (50 K steps, read-only), 0Ch (70 = 6500 K), 10h (80/100), 12h (50/100),
// 14h (preset 5 of 0Dh), 16h/18h/1Ah (gains of preset 5), 72h (gamma 78h
// of FFh), B6h (LCD, read-only), DFh (MCCS 2.2, read-only), F9h (0 of 5);
// presets 01h, 04h, 05h, 06h, 08h with their gains and 0Ch values, and 0Bh
// (user, no settings); factory defaults of 0Ch, 10h, 12h, 14h, 16h, 18h,
// 1Ah and 72h.
SimulatedMonitorSetup DefaultSimulatedMonitor();

// The capabilities string a setup's VCP list and presets make: protocol,
// type lcd, model = EDID name, commands 01 02 03 07 0C E3 F3, vcp(...) with
// the presets as the value list of 14h, mccs_ver(2.2).
std::string MakeCapabilitiesString(const SimulatedMonitorSetup& setup);

// The counters of one simulated monitor.
struct SimulatedMonitorCounters
{
    int exchanges = 0;
    int saves = 0;
};

// Test and tool access to a simulated-monitor file, without going through
// DDC/CI: writing a fresh file, looking at the state, and acting as the
// user at the monitor's buttons. Every call takes the file's lock. A
// monitor is named by its connector.
class SimulatedMonitorFile
{
public:
    explicit SimulatedMonitorFile(std::string path) : m_path(std::move(path)) {}

    const std::string& Path() const { return m_path; }

    // Replaces the file with these monitors (one stock monitor when empty).
    bool Write(const std::vector<SimulatedMonitorSetup>& monitors = {}) const;

    // The user changes a setting at the monitor: the value is stored (with
    // the preset and restore side effects of a host write) and 02h becomes 2
    // where listed. Neither counted nor failed. False when the monitor or
    // code does not exist.
    bool FrontPanelChange(const std::string& connector, std::uint8_t code,
                          std::uint16_t value) const;

    // The stored state of one code (no exchange).
    std::optional<VcpValue> ReadVcp(const std::string& connector, std::uint8_t code) const;

    std::optional<SimulatedMonitorCounters> Counters(const std::string& connector) const;

    // Fault injection: see FailNext, NoAnswer, Unplugged, DelayMs above.
    bool SetFailNext(const std::string& connector, int count) const;
    bool SetNoAnswer(const std::string& connector, bool on) const;
    bool SetUnplugged(const std::string& connector, bool on) const;
    bool SetDelayMs(const std::string& connector, int ms) const;

    // Any key of a monitor's section, as text (for cases the typed calls
    // above do not cover, such as a raw EDID).
    bool SetKey(const std::string& connector, const std::string& key,
                const std::string& value) const;

private:
    std::string m_path;
};

// One exchange as the transport saw it, for tests that check what was sent
// and when.
struct SimulatedExchange
{
    enum class Kind
    {
        GetVcp,
        SetVcp,
        GetCapabilities,
        SaveCurrentSettings,
        GetTechnologyType,
    };
    Kind kind = Kind::GetVcp;
    std::string connector;
    std::uint8_t code = 0;   // VCP code (B6h for GetTechnologyType)
    std::uint16_t value = 0; // value written, or current value read
    bool answered = false;   // the monitor answered (the call returned true)
    std::int64_t timeMs = 0; // the clock when the exchange began
};

// The DdcTransport over a simulated-monitor file. Exchanges wait DelayMs on
// the given clock (outside the file lock, so that another process is not
// held up by this one's delay).
class SimulatedDdcTransport final : public DdcTransport
{
public:
    SimulatedDdcTransport(std::string path, Clock& clock);

    std::vector<PhysicalMonitor> EnumerateMonitors() override;
    bool GetVcp(const PhysicalMonitor& monitor, std::uint8_t code, VcpValue* value) override;
    bool SetVcp(const PhysicalMonitor& monitor, std::uint8_t code, std::uint16_t value) override;
    bool GetCapabilities(const PhysicalMonitor& monitor, std::string* caps) override;
    bool SaveCurrentSettings(const PhysicalMonitor& monitor) override;
    bool GetEdid(const PhysicalMonitor& monitor, std::vector<std::uint8_t>* edid) override;
    bool GetTechnologyType(const PhysicalMonitor& monitor, std::uint16_t* type) override;
    std::string LastError() const override { return m_lastError; }

    // Every exchange made through this object, in order (EDID reads and
    // enumerations are not exchanges).
    const std::vector<SimulatedExchange>& Log() const { return m_log; }
    void ClearLog() { m_log.clear(); }

    const std::string& Path() const { return m_path; }

private:
    // Runs one exchange: takes the lock, loads the file, lets `act` work on
    // the monitor's state, writes the file back when anything changed, then
    // waits the monitor's delay and logs the exchange.
    template <typename Act>
    bool Exchange(SimulatedExchange::Kind kind, const PhysicalMonitor& monitor, std::uint8_t code,
                  std::uint16_t value, Act&& act);

    std::string m_path;
    Clock& m_clock;
    std::string m_lastError;
    std::vector<SimulatedExchange> m_log;
};

} // namespace platform
