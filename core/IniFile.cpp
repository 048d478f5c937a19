#include "core/IniFile.h"

#include "platform/Numbers.h"

#include <optional>

namespace {

constexpr std::string_view kDetailModeSection = "DetailMode";

// The text that stands for "no value" in a stored list. A key that is
// missing or empty reads as this text too.
constexpr std::string_view kNoData = "NoData!";

} // namespace

CIniFile::CIniFile(std::string path) : m_store(std::move(path))
{
}

// Every write has already replaced the file on disk (IniStore writes the
// whole file under its lock), so there is no cache left to flush.
CIniFile::~CIniFile()
{
    m_dirty = false;
}

std::string CIniFile::GetString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const
{
    std::optional<std::string> value = m_store.Read(section, key);
    if (!value || value->empty())
        return std::string(defaultValue);
    return std::move(*value);
}

int CIniFile::GetInt(std::string_view section, std::string_view key, int defaultValue) const
{
    std::optional<std::string> value = m_store.Read(section, key);
    if (!value || value->empty())
        return defaultValue;
    return platform::ParseInt(*value);
}

double CIniFile::GetDouble(std::string_view section, std::string_view key,
                           double defaultValue) const
{
    return platform::ParseDouble(GetString(section, key, platform::FormatDouble(defaultValue)));
}

bool CIniFile::GetDoubleList(std::string_view key, const std::vector<double>& defaultList,
                             std::vector<double>& out, std::string_view section) const
{
    const std::string text = GetString(section, key, kNoData);
    if (text == kNoData)
    {
        out = defaultList;
        return false;
    }

    // Every value is followed by a comma, the last one included; whatever
    // follows the last comma is not a value.
    std::vector<double> values;
    std::string_view rest = text;
    for (std::size_t comma = rest.find(','); comma != std::string_view::npos;
         comma = rest.find(','))
    {
        values.push_back(platform::ParseDouble(rest.substr(0, comma)));
        rest.remove_prefix(comma + 1);
    }

    if (values.size() != defaultList.size())
    {
        out = defaultList;
        return false;
    }
    out = std::move(values);
    return true;
}

std::vector<std::pair<std::string, std::string>>
CIniFile::GetSection(std::string_view section) const
{
    return m_store.ReadSection(section);
}

bool CIniFile::SetString(std::string_view section, std::string_view key, std::string_view value)
{
    m_dirty = true;
    return m_store.Write(section, key, value);
}

bool CIniFile::SetInt(std::string_view section, std::string_view key, int value)
{
    return SetString(section, key, platform::FormatInt(value));
}

bool CIniFile::SetDouble(std::string_view section, std::string_view key, double value)
{
    return SetString(section, key, platform::FormatDouble(value));
}

bool CIniFile::SetDouble(std::string_view key, double value)
{
    return SetDouble(kDetailModeSection, key, value);
}

bool CIniFile::SetDoubleList(std::string_view section, std::string_view key,
                             std::span<const double> values, int precision)
{
    std::string text;
    for (double value : values)
    {
        text += platform::FormatDouble(value, precision);
        text += ',';
    }
    return SetString(section, key, text);
}

bool CIniFile::DeleteKey(std::string_view section, std::string_view key)
{
    m_dirty = true;
    return m_store.DeleteKey(section, key);
}

bool CIniFile::DeleteSection(std::string_view section)
{
    m_dirty = true;
    return m_store.DeleteSection(section);
}
