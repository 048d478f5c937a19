#include "core/WinOSVersion.h"

#include "platform/SystemInfo.h"
#include "platform/Text.h"

#include <climits>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads the digits at pos, clamping at INT_MAX; false when there are none.
bool ReadNumber(std::string_view text, std::size_t& pos, int& value)
{
    if (pos >= text.size() || !IsDigit(text[pos]))
        return false;
    long long number = 0;
    for (; pos < text.size() && IsDigit(text[pos]); ++pos)
    {
        number = number * 10 + (text[pos] - '0');
        if (number > INT_MAX)
            number = INT_MAX;
    }
    value = static_cast<int>(number);
    return true;
}

// An os-release value: shell-like, either bare or in single or double
// quotes; inside double quotes a backslash escapes the next character.
std::string UnquoteValue(std::string_view value)
{
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
        value.remove_suffix(1);
    if (value.size() < 2 || (value.front() != '"' && value.front() != '\'') ||
        value.back() != value.front())
        return std::string(value);
    const char quote = value.front();
    value = value.substr(1, value.size() - 2);
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i)
    {
        if (quote == '"' && value[i] == '\\' && i + 1 < value.size())
            ++i;
        out += value[i];
    }
    return out;
}

} // namespace

CWinOSVersion::CWinOSVersion()
{
    platform::KernelNames names;
    if (platform::ReadKernelNames(names))
    {
        m_valid = 1;
        m_systemName = names.system;
        m_release = names.release;
        ParseRelease(m_release, m_major, m_minor);
    }

    m_description = FindPrettyName(platform::ReadOsRelease());
    if (m_description.empty())
        m_description = m_release.empty() ? m_systemName : m_systemName + " " + m_release;
}

bool CWinOSVersion::ParseRelease(std::string_view release, int& major, int& minor)
{
    major = 0;
    minor = 0;
    std::size_t pos = 0;
    if (!ReadNumber(release, pos, major))
        return false;
    if (pos < release.size() && release[pos] == '.')
    {
        ++pos;
        ReadNumber(release, pos, minor);
    }
    return true;
}

std::string CWinOSVersion::FindPrettyName(std::string_view osRelease)
{
    constexpr std::string_view kKey = "PRETTY_NAME=";
    while (!osRelease.empty())
    {
        const std::size_t eol = osRelease.find('\n');
        std::string_view line = osRelease.substr(0, eol);
        osRelease = eol == std::string_view::npos ? std::string_view() : osRelease.substr(eol + 1);
        line = platform::TrimLeadingBlanks(line);
        if (line.starts_with(kKey))
            return UnquoteValue(line.substr(kKey.size()));
    }
    return {};
}
