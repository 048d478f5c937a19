#include "agent/AgentSettings.h"

#include "platform/Folders.h"
#include "platform/IniStore.h"
#include "platform/Numbers.h"

#include <optional>

std::string AgentFolder()
{
    return platform::ConfigHome() + platform::kMakerName + "/ZEPH/";
}

std::string AgentIniPath()
{
    return AgentFolder() + kAgentIniName;
}

std::string AgentDebugIniPath()
{
    return AgentFolder() + kAgentDebugIniName;
}

std::string TraceFilePath()
{
    return AgentFolder() + kTraceFileName;
}

int ReadRegistryDword(std::string_view key, std::string_view name, std::uint32_t& value)
{
    return ReadRegistryDword(platform::RegistryStore(), key, name, value);
}

int ReadRegistryDword(const platform::RegistryStore& store, std::string_view key,
                      std::string_view name, std::uint32_t& value)
{
    const std::optional<std::uint32_t> stored = store.GetDword(key, name);
    if (!stored)
        return kRegistryNotFound;
    value = *stored;
    return 0;
}

int WriteRegistryDword(std::string_view key, std::string_view name, std::uint32_t value)
{
    platform::RegistryStore store;
    return WriteRegistryDword(store, key, name, value);
}

int WriteRegistryDword(platform::RegistryStore& store, std::string_view key, std::string_view name,
                       std::uint32_t value)
{
    return store.SetDword(key, name, value) ? 0 : kRegistryWriteFailed;
}

int ReadIniInt(const std::string& file, std::string_view section, std::string_view key,
               int defaultValue)
{
    const std::optional<std::string> text = platform::IniStore(file).Read(section, key);
    if (!text)
        return defaultValue;
    return platform::ParseInt(*text);
}

int ReadIniSection(std::string_view section, const std::string& file,
                   std::vector<std::string>& keys, std::vector<std::string>& values)
{
    for (auto& [key, value] : platform::IniStore(file).ReadSection(section))
    {
        keys.push_back(std::move(key));
        values.push_back(std::move(value));
    }
    return static_cast<int>(keys.size()) - 1;
}

int ReadStartMode()
{
    return ReadStartMode(platform::RegistryStore(), AgentIniPath());
}

int ReadStartMode(const platform::RegistryStore& store, const std::string& agentIni)
{
    // The agent's easy flag has always been 1 - mode, non-zero meaning easy:
    // only a mode of exactly 1 is pro mode.
    std::uint32_t mode = 0;
    if (ReadRegistryDword(store, kModeRegistryKey, kStateValueName, mode) == 0)
        return mode == 1 ? 1 : 0;
    return ReadIniInt(agentIni, "INITIAL_SETTING", "MODE", 1) == 1 ? 1 : 0;
}

int ReadMonitorId()
{
    return ReadIniInt(AgentIniPath(), "MONITOR", "MONITOR_ID", -1);
}
