#include "platform/Registry.h"

#include "platform/Folders.h"
#include "platform/IniStore.h"
#include "platform/Text.h"

namespace platform {

namespace {

// Type tags of the stored values, the prefixes .reg files use.
constexpr std::string_view kDwordTag = "dword:";
constexpr std::string_view kStringTag = "sz:";

// The folder of the store's file is created on the first write, so that
// merely reading a value leaves no trace.
bool EnsureParentFolder(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return true;
    return EnsureFolder(path.substr(0, slash + 1));
}

} // namespace

RegistryStore::RegistryStore() : m_path(DefaultPath()) {}

RegistryStore::RegistryStore(std::string path) : m_path(std::move(path)) {}

std::string RegistryStore::DefaultPath()
{
    return ConfigHome() + kMakerName + "/registry.ini";
}

std::optional<std::uint32_t> RegistryStore::GetDword(std::string_view keyPath,
                                                     std::string_view name) const
{
    const std::optional<std::string> stored = IniStore(m_path).Read(keyPath, name);
    if (!stored || !StartsWithNoCase(*stored, kDwordTag))
        return std::nullopt;
    // One to eight hex digits and nothing else, as a .reg file writes them.
    const std::string_view digits = std::string_view(*stored).substr(kDwordTag.size());
    if (digits.empty() || digits.size() > 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : digits)
    {
        const int digit = HexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::optional<std::string> RegistryStore::GetString(std::string_view keyPath,
                                                    std::string_view name) const
{
    std::optional<std::string> stored = IniStore(m_path).Read(keyPath, name);
    if (!stored || !StartsWithNoCase(*stored, kStringTag))
        return std::nullopt;
    return stored->substr(kStringTag.size());
}

bool RegistryStore::SetDword(std::string_view keyPath, std::string_view name, std::uint32_t value)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text(kDwordTag);
    for (int shift = 28; shift >= 0; shift -= 4)
        text.push_back(kHex[(value >> shift) & 0xF]);
    return EnsureParentFolder(m_path) && IniStore(m_path).Write(keyPath, name, text);
}

bool RegistryStore::SetString(std::string_view keyPath, std::string_view name,
                              std::string_view value)
{
    std::string text(kStringTag);
    text.append(value);
    return EnsureParentFolder(m_path) && IniStore(m_path).Write(keyPath, name, text);
}

bool RegistryStore::DeleteValue(std::string_view keyPath, std::string_view name)
{
    return IniStore(m_path).DeleteKey(keyPath, name);
}

} // namespace platform
