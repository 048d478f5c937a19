#pragma once
// A scripted DdcTransport for the agent's tests: it counts every call, can
// fail a number of exchanges before answering, and lets a test act between
// exchanges (as the main program would when it takes the DDC/CI channel).

#include "platform/ddc/DdcTransport.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace agenttest {

class FakeDdcTransport final : public platform::DdcTransport
{
public:
    FakeDdcTransport()
    {
        platform::PhysicalMonitor monitor;
        monitor.description = "fake";
        monitor.deviceId = "MONITOR\\QBX1234\\FAKE-1";
        monitor.connector = "FAKE-1";
        monitor.primary = true;
        monitors.push_back(monitor);
    }

    std::vector<platform::PhysicalMonitor> EnumerateMonitors() override
    {
        ++enumerations;
        return monitors;
    }

    bool GetVcp(const platform::PhysicalMonitor&, std::uint8_t code,
                platform::VcpValue* value) override
    {
        ++getCalls;
        gets.push_back(code);
        if (!Answer())
            return false;
        const auto it = values.find(code);
        if (it == values.end())
            return false;
        *value = it->second;
        return true;
    }

    bool SetVcp(const platform::PhysicalMonitor&, std::uint8_t code, std::uint16_t value) override
    {
        ++setCalls;
        sets.push_back({code, value});
        if (!Answer())
            return false;
        values[code].current = value;
        return true;
    }

    bool GetCapabilities(const platform::PhysicalMonitor&, std::string* caps) override
    {
        ++capabilityCalls;
        if (!capabilitiesAnswer || !Answer())
            return false;
        *caps = capabilities;
        return true;
    }

    bool SaveCurrentSettings(const platform::PhysicalMonitor&) override { return Answer(); }

    bool GetEdid(const platform::PhysicalMonitor&, std::vector<std::uint8_t>* out) override
    {
        ++edidCalls;
        if (!edidAnswer)
            return false;
        *out = edid;
        return true;
    }

    bool GetTechnologyType(const platform::PhysicalMonitor&, std::uint16_t* type) override
    {
        *type = 3;
        return Answer();
    }

    std::string LastError() const override { return lastError; }

    // Exchanges (VCP get/set, capabilities) so far.
    int Exchanges() const { return getCalls + setCalls + capabilityCalls; }

    struct Write
    {
        std::uint8_t code;
        std::uint16_t value;
        bool operator==(const Write&) const = default;
    };

    std::vector<platform::PhysicalMonitor> monitors;
    std::map<std::uint8_t, platform::VcpValue> values;
    std::string capabilities = "(vcp(02 10))";
    bool capabilitiesAnswer = true;
    std::vector<std::uint8_t> edid;
    bool edidAnswer = true;
    // Exchanges that fail before the monitor answers again; -1: never answers.
    int failNext = 0;
    // Called at the start of every exchange with its number (1, 2, ...).
    std::function<void(int)> onExchange;

    int enumerations = 0;
    int getCalls = 0;
    int setCalls = 0;
    int capabilityCalls = 0;
    int edidCalls = 0;
    std::vector<std::uint8_t> gets;
    std::vector<Write> sets;
    std::string lastError;

private:
    bool Answer()
    {
        if (onExchange)
            onExchange(Exchanges());
        if (failNext < 0)
        {
            lastError = "no answer";
            return false;
        }
        if (failNext > 0)
        {
            --failNext;
            lastError = "no answer";
            return false;
        }
        lastError.clear();
        return true;
    }
};

} // namespace agenttest
