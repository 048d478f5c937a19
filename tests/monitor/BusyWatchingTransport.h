#pragma once
// A transport over the simulated monitor that notes, at the moment of every
// exchange, the DDC/CI busy value as the agent would read it and which
// monitor was asked. Tests of the monitor layer and of the main window's
// start-up check with it when the busy value is raised and lowered.

#include "monitor/Display.h"
#include "platform/Registry.h"
#include "platform/ddc/SimulatedMonitors.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class BusyWatchingTransport final : public platform::DdcTransport
{
public:
    BusyWatchingTransport(std::string path, platform::Clock& clock) : inner(std::move(path), clock)
    {}

    std::vector<platform::PhysicalMonitor> EnumerateMonitors() override
    {
        return inner.EnumerateMonitors();
    }
    bool GetVcp(const platform::PhysicalMonitor& m, std::uint8_t code,
                platform::VcpValue* v) override
    {
        Note(m);
        return inner.GetVcp(m, code, v);
    }
    bool SetVcp(const platform::PhysicalMonitor& m, std::uint8_t code, std::uint16_t v) override
    {
        Note(m);
        return inner.SetVcp(m, code, v);
    }
    bool GetCapabilities(const platform::PhysicalMonitor& m, std::string* caps) override
    {
        Note(m);
        return inner.GetCapabilities(m, caps);
    }
    bool SaveCurrentSettings(const platform::PhysicalMonitor& m) override
    {
        Note(m);
        return inner.SaveCurrentSettings(m);
    }
    // Reading the EDID is no DDC/CI exchange.
    bool GetEdid(const platform::PhysicalMonitor& m, std::vector<std::uint8_t>* edid) override
    {
        return inner.GetEdid(m, edid);
    }
    bool GetTechnologyType(const platform::PhysicalMonitor& m, std::uint16_t* type) override
    {
        Note(m);
        return inner.GetTechnologyType(m, type);
    }
    std::string LastError() const override { return inner.LastError(); }

    void Note(const platform::PhysicalMonitor& m)
    {
        busy.push_back(platform::RegistryStore().GetDword(kDdcBusyRegistryKey, kDdcBusyValueName));
        monitors.push_back(m.connector);
    }

    platform::SimulatedDdcTransport inner;
    std::vector<std::optional<std::uint32_t>> busy; // at each exchange
    std::vector<std::string> monitors;             // the monitor of each exchange
};
