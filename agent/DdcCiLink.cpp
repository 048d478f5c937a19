#include "agent/DdcCiLink.h"

#include "agent/AgentSettings.h"

#include <utility>

namespace {

// Page-2 codes: the agent follows SimpleGamma (E8h) and GammaSelect (68h),
// which no monitor reports over DDC/CI; their answers are fixed here so
// that the rest of the agent can treat them like any other code.
constexpr std::uint8_t kGammaSelect = 0x68;
constexpr std::uint8_t kSimpleGamma = 0xE8;

} // namespace

CDdcCiLink::CDdcCiLink()
    : m_ownedTransport(platform::CreateDdcTransport(platform::SystemClock())),
      m_transport(m_ownedTransport.get()), m_clock(&platform::SystemClock())
{}

CDdcCiLink::CDdcCiLink(platform::DdcTransport& transport, platform::Clock& clock,
                       platform::RegistryStore registry, CTraceLog trace)
    : m_transport(&transport), m_clock(&clock), m_registry(std::move(registry)),
      m_trace(std::move(trace))
{}

bool CDdcCiLink::OpenPrimaryPhysicalMonitor(platform::PhysicalMonitor& monitor)
{
    for (platform::PhysicalMonitor& candidate : m_transport->EnumerateMonitors())
    {
        if (candidate.primary)
        {
            monitor = std::move(candidate);
            return true;
        }
    }
    return false;
}

void CDdcCiLink::TraceFailure(const char* what)
{
    if (!m_trace.IsEnabled())
        return;
    std::string line = "DDC/CI ";
    line += what;
    line += " failed";
    const std::string reason = m_transport->LastError();
    if (!reason.empty())
    {
        line += ": ";
        line += reason;
    }
    line += '\n';
    m_trace.Write(line);
}

int CDdcCiLink::GetVcp(int page, std::uint8_t code, VcpReply& reply)
{
    if (page == kPageLocal)
    {
        if (code == kGammaSelect)
        {
            reply = VcpReply{10, 10, 0};
            return 0;
        }
        if (code == kSimpleGamma)
        {
            reply = VcpReply{0xFFFF, 10, 0};
            return 0;
        }
        return -1;
    }
    if (page != kPageMonitor)
        return -1;

    platform::PhysicalMonitor monitor;
    if (!OpenPrimaryPhysicalMonitor(monitor))
    {
        TraceFailure("open");
        return -1;
    }
    platform::VcpValue value;
    if (!m_transport->GetVcp(monitor, code, &value))
    {
        TraceFailure("get VCP");
        return -1;
    }
    reply.current = value.current;
    reply.maximum = value.maximum;
    reply.codeType = static_cast<std::uint16_t>(value.type);
    return 0;
}

int CDdcCiLink::SetVcp(int page, std::uint8_t code, std::uint16_t value)
{
    if (page != kPageMonitor)
        return -1;
    platform::PhysicalMonitor monitor;
    if (!OpenPrimaryPhysicalMonitor(monitor))
    {
        TraceFailure("open");
        return -1;
    }
    if (!m_transport->SetVcp(monitor, code, value))
    {
        TraceFailure("set VCP");
        return -1;
    }
    return 0;
}

int CDdcCiLink::GetCapabilities(std::string& text)
{
    platform::PhysicalMonitor monitor;
    if (!OpenPrimaryPhysicalMonitor(monitor))
    {
        TraceFailure("open");
        return -1;
    }
    std::string caps;
    if (!m_transport->GetCapabilities(monitor, &caps))
    {
        TraceFailure("capabilities");
        return -1;
    }
    text = std::move(caps);
    return 0;
}

int CDdcCiLink::CheckChannelFree()
{
    std::uint32_t state = 0;
    if (ReadRegistryDword(m_registry, kDdcCiRegistryKey, kStateValueName, state) != 0)
        return -1;
    if (state != 0)
    {
        m_channelWasHeld = true;
        return -1;
    }
    return 0;
}

bool CDdcCiLink::TakeChannelWasHeld()
{
    return std::exchange(m_channelWasHeld, false);
}

int CDdcCiLink::GetVcpChecked(int page, std::uint8_t code, VcpReply& reply)
{
    int result = -1;
    for (int attempt = 0; attempt < kTries; ++attempt)
    {
        if (CheckChannelFree() != 0)
            return -1;
        result = GetVcp(page, code, reply);
        if (result == 0)
            return 0;
    }
    return result;
}

int CDdcCiLink::SetVcpChecked(int page, std::uint8_t code, std::uint16_t value)
{
    int result = -1;
    for (int attempt = 0; attempt < kTries; ++attempt)
    {
        if (CheckChannelFree() != 0)
            return -1;
        result = SetVcp(page, code, value);
        if (result == 0)
            return 0;
    }
    return result;
}

int CDdcCiLink::GetCapabilitiesChecked(std::string& text)
{
    int result = -1;
    for (int attempt = 0; attempt < kTries; ++attempt)
    {
        if (CheckChannelFree() != 0)
            return -1;
        result = GetCapabilities(text);
        if (result == 0)
            return 0;
    }
    return result;
}

int CDdcCiLink::SetVcpStepped(int page, std::uint8_t code, std::uint16_t target, bool stepped)
{
    if (stepped)
    {
        VcpReply reply;
        const int result = GetVcpChecked(page, code, reply);
        if (result != 0)
            return result;
        const int current = reply.current;
        const int halfRange = reply.maximum / 2;
        if (current < target && halfRange < target - current)
        {
            const int midpoint = current + (target - current) / 2;
            const int first = SetVcpChecked(page, code, static_cast<std::uint16_t>(midpoint));
            if (first != 0)
                return first;
            m_clock->SleepMs(kStepPauseMs);
        }
    }
    return SetVcpChecked(page, code, target);
}

int CDdcCiLink::ReadNewControlValue(VcpReply& reply)
{
    return GetVcpChecked(kPageMonitor, platform::vcp::kNewControlValue, reply);
}

int CDdcCiLink::WriteNewControlValue(std::uint16_t value)
{
    return SetVcpStepped(kPageMonitor, platform::vcp::kNewControlValue, value, false);
}

int CDdcCiLink::ProbeMonitors(ProbeTable& table)
{
    table.fill(0);
    for (std::size_t i = 0; i < table.size(); ++i)
    {
        VcpReply reply;
        if (GetVcpChecked(kPageMonitor, platform::vcp::kLuminance, reply) == 0)
        {
            table[i] = 1;
            return 0;
        }
    }
    return 2;
}

int CDdcCiLink::GetEdid(std::vector<std::uint8_t>& edid)
{
    platform::PhysicalMonitor monitor;
    if (!OpenPrimaryPhysicalMonitor(monitor))
    {
        TraceFailure("open");
        return -1;
    }
    std::vector<std::uint8_t> bytes;
    if (!m_transport->GetEdid(monitor, &bytes))
    {
        TraceFailure("EDID");
        return -1;
    }
    edid = std::move(bytes);
    return 0;
}

int CDdcCiLink::GetPrimaryMonitor(platform::PhysicalMonitor& monitor)
{
    return OpenPrimaryPhysicalMonitor(monitor) ? 0 : -1;
}
