#pragma once
// What the monitor wizard's tests share: one log in which the simulated
// monitor's exchanges and the wizard's own pauses appear in the order they
// happen ("get 14", "set 14=4", "wait 500"), so that a test compares a
// whole sequence with the design's; and a monitor object with set answers
// for the brightness bar's tables.

#include "monitor/Display.h"
#include "platform/Clock.h"
#include "platform/Registry.h"
#include "platform/ddc/SimulatedMonitors.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace wizardtest {

inline std::string Hex(std::uint8_t code)
{
    static const char* digits = "0123456789ABCDEF";
    return {digits[code >> 4], digits[code & 15]};
}

inline std::optional<std::uint32_t> BusyValue()
{
    return platform::RegistryStore().GetDword(kDdcBusyRegistryKey, kDdcBusyValueName);
}

// The simulated monitor, each answered exchange logged; a failed attempt
// is logged with "!" (the monitor object tries five times).
class LoggingTransport final : public platform::DdcTransport
{
public:
    LoggingTransport(std::string path, platform::Clock& clock, std::vector<std::string>& log)
        : inner(std::move(path), clock), m_log(log)
    {}

    std::vector<platform::PhysicalMonitor> EnumerateMonitors() override
    {
        return inner.EnumerateMonitors();
    }
    bool GetVcp(const platform::PhysicalMonitor& m, std::uint8_t code,
                platform::VcpValue* v) override
    {
        busy.push_back(BusyValue());
        const bool ok = inner.GetVcp(m, code, v);
        m_log.push_back("get " + Hex(code) + (ok ? "" : "!"));
        return ok;
    }
    bool SetVcp(const platform::PhysicalMonitor& m, std::uint8_t code, std::uint16_t v) override
    {
        busy.push_back(BusyValue());
        const bool ok = inner.SetVcp(m, code, v);
        m_log.push_back("set " + Hex(code) + "=" + std::to_string(v) + (ok ? "" : "!"));
        return ok;
    }
    bool GetCapabilities(const platform::PhysicalMonitor& m, std::string* caps) override
    {
        return inner.GetCapabilities(m, caps);
    }
    bool SaveCurrentSettings(const platform::PhysicalMonitor& m) override
    {
        busy.push_back(BusyValue());
        const bool ok = inner.SaveCurrentSettings(m);
        m_log.push_back(ok ? "save" : "save!");
        return ok;
    }
    bool GetEdid(const platform::PhysicalMonitor& m, std::vector<std::uint8_t>* edid) override
    {
        return inner.GetEdid(m, edid);
    }
    bool GetTechnologyType(const platform::PhysicalMonitor& m, std::uint16_t* type) override
    {
        return inner.GetTechnologyType(m, type);
    }
    std::string LastError() const override { return inner.LastError(); }

    platform::SimulatedDdcTransport inner;
    std::vector<std::optional<std::uint32_t>> busy; // the busy value at each exchange

private:
    std::vector<std::string>& m_log;
};

// The wizard's clock: virtual, each pause logged.
class LoggingClock final : public platform::Clock
{
public:
    explicit LoggingClock(std::vector<std::string>& log) : m_log(log) {}
    std::int64_t NowMs() override { return inner.NowMs(); }
    void SleepMs(std::int64_t ms) override
    {
        m_log.push_back("wait " + std::to_string(ms));
        if (whileWaiting)
            whileWaiting(ms);
        inner.SleepMs(ms);
    }
    platform::VirtualClock inner;
    // Called at each pause, before the time passes: what the user sees
    // while the wizard waits.
    std::function<void(std::int64_t)> whileWaiting;

private:
    std::vector<std::string>& m_log;
};

// A monitor whose controls answer from a table: (maximum, current) per
// control, absent controls fail. Writes are logged as (control, value) and
// stored.
class TableDisplay final : public CDisplay
{
public:
    explicit TableDisplay(platform::Clock& clock) : CDisplay(clock) {}

    bool EnumMonitors() override { return true; }
    bool GetControlRange(int control, std::uint16_t* maximum, std::uint16_t* current) override
    {
        const auto it = controls.find(control);
        if (it == controls.end())
            return false;
        *maximum = it->second.first;
        *current = it->second.second;
        return true;
    }
    bool GetControlValue(int control, std::uint16_t* current) override
    {
        std::uint16_t maximum = 0;
        return GetControlRange(control, &maximum, current);
    }
    bool GetControlMaximum(int control, std::uint16_t* maximum) override
    {
        std::uint16_t current = 0;
        return GetControlRange(control, maximum, &current);
    }
    bool SetControlValue(int control, int value) override
    {
        writes.emplace_back(control, value);
        const auto it = controls.find(control);
        if (it == controls.end())
            return false;
        it->second.second = static_cast<std::uint16_t>(value);
        return true;
    }
    bool SaveSettings() override { return true; }
    bool GetSerialNumber(QString&) override { return false; }
    bool GetModelName(QString&) override { return false; }
    bool CheckConnection() override { return true; }
    bool IsDdcSupported() override { return true; }
    void SelectPhysicalMonitor(unsigned) override {}

    std::map<int, std::pair<std::uint16_t, std::uint16_t>> controls;
    std::vector<std::pair<int, int>> writes;
};

} // namespace wizardtest
