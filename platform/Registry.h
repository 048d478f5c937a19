#pragma once
// The per-user registry values that both programs share, kept in
// $XDG_CONFIG_HOME/Quillbrake/registry.ini: one section per key path
// (for instance "[Software\QUILLBRAKE\CHROMIVEL\DDCCI]"), one line per
// value, typed:
//     State=dword:00000001
//     Name=sz:text
// Reads and writes go through IniStore (flock around read-modify-write,
// atomic replacement), so the main program and the agent can use the same
// value at once. Key paths and value names match case-insensitively.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class RegistryStore
{
public:
    // The store of the current user.
    RegistryStore();
    // A store in another file (tests).
    explicit RegistryStore(std::string path);

    const std::string& Path() const { return m_path; }

    // Absent when the value is missing or is not of the asked type.
    std::optional<std::uint32_t> GetDword(std::string_view keyPath, std::string_view name) const;
    std::optional<std::string> GetString(std::string_view keyPath, std::string_view name) const;

    bool SetDword(std::string_view keyPath, std::string_view name, std::uint32_t value);
    bool SetString(std::string_view keyPath, std::string_view name, std::string_view value);
    bool DeleteValue(std::string_view keyPath, std::string_view name);

    // $XDG_CONFIG_HOME/Quillbrake/registry.ini
    static std::string DefaultPath();

private:
    std::string m_path;
};

} // namespace platform
