#pragma once
// The agent's only path to the monitor over DDC/CI.
//
// Every exchange addresses the primary monitor afresh (no monitor is held
// between calls) and the guarded ("Checked") operations respect the main
// program's claim on the channel: before every attempt they read the busy
// value "State" under Software\QUILLBRAKE\CHROMIVEL\DDCCI in the shared
// registry store, and talk to no monitor unless it reads 0 (a missing value
// counts as busy). A guarded operation makes up to three attempts in a row
// without pausing; the main program may take the channel between any two.
//
// VCP page 2 is not sent to the monitor: its two codes the agent follows
// are answered here (68h GammaSelect: 10 of 10; E8h SimpleGamma: FFFFh,
// i.e. not available, of 10).
//
// Results are integer codes: 0 success, -1 failure (or busy), and the
// guarded forms return the last attempt's code. Nothing here shows a message.

#include "agent/TraceLog.h"
#include "platform/Clock.h"
#include "platform/Registry.h"
#include "platform/ddc/DdcTransport.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A VCP read as the agent keeps it: current value, maximum value and the
// code type, the MCCS "VCP type" byte of the monitor's reply as it stands:
// 0 for a set parameter (nearly every control), 1 for a momentary feature.
// The agent's callers treat a code whose type is 0 as usable.
struct VcpReply
{
    std::uint16_t current = 0;
    std::uint16_t maximum = 0;
    std::uint16_t codeType = 0;
};

// The result of ProbeMonitors: one flag per probe attempt, 1 for the
// attempt that found the monitor answering.
inline constexpr std::size_t kProbeEntries = 8;
using ProbeTable = std::array<std::uint32_t, kProbeEntries>;

class CDdcCiLink
{
public:
    // VCP pages the agent addresses.
    static constexpr int kPageMonitor = 0;
    static constexpr int kPageLocal = 2;
    // The pause between the two halves of a large stepped write.
    static constexpr std::int64_t kStepPauseMs = 1000;
    static constexpr int kTries = 3;

    // The transport of platform::CreateDdcTransport on the system clock,
    // the current user's registry store and the agent's trace log.
    CDdcCiLink();
    // A borrowed transport and clock (both must outlive the link), the given
    // registry store and trace log.
    CDdcCiLink(platform::DdcTransport& transport, platform::Clock& clock,
               platform::RegistryStore registry = platform::RegistryStore(),
               CTraceLog trace = CTraceLog());

    CDdcCiLink(const CDdcCiLink&) = delete;
    CDdcCiLink& operator=(const CDdcCiLink&) = delete;

    // One exchange each, unguarded.
    int GetVcp(int page, std::uint8_t code, VcpReply& reply);
    int SetVcp(int page, std::uint8_t code, std::uint16_t value);
    // The whole capabilities string (no fixed buffer to overrun).
    int GetCapabilities(std::string& text);

    // Busy check before each attempt, up to kTries attempts.
    int GetVcpChecked(int page, std::uint8_t code, VcpReply& reply);
    int SetVcpChecked(int page, std::uint8_t code, std::uint16_t value);
    int GetCapabilitiesChecked(std::string& text);

    // Writes target; with `stepped`, a rise of more than half the control's
    // range is made in two moves, first to the midpoint, then (after
    // kStepPauseMs) to the target, so that a monitor is never asked for a
    // large jump of, say, its luminance at once.
    int SetVcpStepped(int page, std::uint8_t code, std::uint16_t target, bool stepped);

    // VCP 02h, New Control Value: 2 when the user changed something at the
    // monitor's front panel; the agent writes 1 once it has taken notice.
    int ReadNewControlValue(VcpReply& reply);
    int WriteNewControlValue(std::uint16_t value);

    // Tries up to kProbeEntries times to read the luminance (10h) of the
    // primary monitor; the table is cleared and the flag of the attempt that
    // answered set. 0 when a monitor answered, 2 when none did.
    int ProbeMonitors(ProbeTable& table);

    // The primary monitor's EDID (base block and any extensions). Not a
    // DDC/CI exchange: no busy check, one try. 0 or -1.
    int GetEdid(std::vector<std::uint8_t>& edid);

    // The primary monitor's record (its device ID keys the display-profile
    // associations). 0 or -1.
    int GetPrimaryMonitor(platform::PhysicalMonitor& monitor);

    // 0 when the DDC/CI channel is free; -1 when the main program holds it
    // or the busy value cannot be read.
    int CheckChannelFree();

    // True when the busy value has been read as held by the main program
    // (present and not 0) since the last call: the main program may have
    // written to the monitor meanwhile, which the monitor does not announce
    // through VCP 02h. A missing or unreadable value does not count: then
    // the main program has not run.
    bool TakeChannelWasHeld();

    CTraceLog& Trace() { return m_trace; }

private:
    bool OpenPrimaryPhysicalMonitor(platform::PhysicalMonitor& monitor);
    void TraceFailure(const char* what);

    std::unique_ptr<platform::DdcTransport> m_ownedTransport;
    platform::DdcTransport* m_transport;
    platform::Clock* m_clock;
    platform::RegistryStore m_registry;
    CTraceLog m_trace;
    bool m_channelWasHeld = false;
};
