#include "correction/ParamFile.h"

#include "platform/File.h"
#include "platform/FileReplace.h"
#include "platform/IniStore.h"
#include "platform/Numbers.h"

#include <climits>
#include <cmath>

namespace {

// A parameter file of seven sections is a few kilobytes; anything beyond
// this is not one, and is refused before it is read into memory.
constexpr long long kMaxParamFileBytes = 4 * 1024 * 1024;

constexpr char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerCopy(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        c = LowerAscii(c);
    return lower;
}

constexpr bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool HasLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// A number that fills the whole text and is finite.
bool ParseFiniteDouble(std::string_view text, double* out)
{
    double value = 0.0;
    if (!platform::TryParseDouble(text, &value) || !std::isfinite(value))
        return false;
    *out = value;
    return true;
}

// Splits "v1,v2,...,vn," into at most limit values; false when a value does
// not parse or the text holds more than limit values. Text after the last
// comma is not a value.
bool ParseDoubleList(std::string_view text, std::size_t limit, std::vector<double>& values)
{
    values.clear();
    for (std::size_t comma = text.find(','); comma != std::string_view::npos;
         comma = text.find(','))
    {
        if (values.size() == limit)
            return false;
        double value = 0.0;
        if (!ParseFiniteDouble(text.substr(0, comma), &value))
            return false;
        values.push_back(value);
        text.remove_prefix(comma + 1);
    }
    return true;
}

} // namespace

// ---------------------------------------------------------------------------
// Reading

bool CParamFileReader::Load(const std::string& path)
{
    m_sections.clear();
    platform::FileStatus status;
    if (!platform::ReadFileStatus(path, status) || !status.regular ||
        status.size > static_cast<std::uint64_t>(kMaxParamFileBytes))
        return false;
    std::string probe;
    if (!platform::ReadFileContents(path, &probe))
        return false;

    // The settings store's parser gives the private-profile semantics
    // (first section and first key of a name win, trimmed and unquoted
    // values); it is the only ini parser of the program.
    const platform::IniStore store(path);
    for (const std::string& section : store.Sections())
    {
        auto& keys = m_sections[LowerCopy(section)];
        for (auto& [key, value] : store.ReadSection(section))
            keys.emplace(LowerCopy(key), std::move(value));
    }
    return true;
}

bool CParamFileReader::HasSection(std::string_view section) const
{
    return m_sections.contains(LowerCopy(Trim(section)));
}

std::optional<std::string> CParamFileReader::GetValue(std::string_view section,
                                                      std::string_view key) const
{
    const auto found = m_sections.find(LowerCopy(Trim(section)));
    if (found == m_sections.end())
        return std::nullopt;
    const auto value = found->second.find(LowerCopy(Trim(key)));
    if (value == found->second.end())
        return std::nullopt;
    return value->second;
}

std::string CParamFileReader::GetString(std::string_view section, std::string_view key,
                                        std::string_view defaultValue) const
{
    std::optional<std::string> value = GetValue(section, key);
    if (!value || value->empty())
        return std::string(defaultValue);
    return std::move(*value);
}

int CParamFileReader::GetInt(std::string_view section, std::string_view key, int defaultValue) const
{
    const std::optional<std::string> value = GetValue(section, key);
    long long parsed = 0;
    if (!value || !platform::TryParseInt(*value, &parsed) || parsed < INT_MIN || parsed > INT_MAX)
        return defaultValue;
    return static_cast<int>(parsed);
}

int CParamFileReader::GetInt(std::string_view section, const IntParam& param) const
{
    const int value = GetInt(section, param.key, param.defaultValue);
    return value < param.minValue || value > param.maxValue ? param.defaultValue : value;
}

double CParamFileReader::GetDouble(std::string_view section, std::string_view key,
                                   double defaultValue) const
{
    const std::optional<std::string> value = GetValue(section, key);
    double parsed = 0.0;
    if (!value || !ParseFiniteDouble(*value, &parsed))
        return defaultValue;
    return parsed;
}

double CParamFileReader::GetDouble(std::string_view section, const DoubleParam& param) const
{
    const double value = GetDouble(section, param.key, param.defaultValue);
    return value < param.minValue || value > param.maxValue ? param.defaultValue : value;
}

bool CParamFileReader::GetDoubleList(std::string_view section, std::string_view key,
                                     const std::vector<double>& defaultList,
                                     std::vector<double>& out) const
{
    std::vector<double> values;
    if (GetDoubleList(section, key, defaultList.size(), values))
    {
        out = std::move(values);
        return true;
    }
    out = defaultList;
    return false;
}

bool CParamFileReader::GetDoubleList(std::string_view section, std::string_view key,
                                     std::size_t expectedCount, std::vector<double>& out) const
{
    out.clear();
    const std::optional<std::string> value = GetValue(section, key);
    if (!value || value->empty())
        return false;
    std::vector<double> values;
    values.reserve(expectedCount);
    if (!ParseDoubleList(*value, expectedCount, values) || values.size() != expectedCount)
        return false;
    out = std::move(values);
    return true;
}

// ---------------------------------------------------------------------------
// Writing

bool CParamFileWriter::BeginSection(std::string_view section)
{
    if (section.empty() || Trim(section) != section || HasLineBreak(section) ||
        section.find_first_of("[]") != std::string_view::npos)
    {
        m_failed = true;
        return false;
    }
    m_text += '[';
    m_text += section;
    m_text += "]\n";
    m_inSection = true;
    return true;
}

bool CParamFileWriter::WriteKey(std::string_view key, std::string_view value)
{
    // What the reader would not give back as written is refused: the key
    // must survive trimming and must not start a comment or a section head.
    const bool keyOk = !key.empty() && Trim(key) == key && !HasLineBreak(key) &&
                       key.find('=') == std::string_view::npos && key.front() != ';' &&
                       key.front() != '[';
    if (!m_inSection || !keyOk || HasLineBreak(value))
    {
        m_failed = true;
        return false;
    }
    // Values are read trimmed and lose one pair of enclosing quotes; a value
    // that either would change is written inside one more pair.
    const bool quote =
        !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) ||
                           (value.size() >= 2 && value.front() == '"' && value.back() == '"'));
    m_text += key;
    m_text += '=';
    if (quote)
        m_text += '"';
    m_text += value;
    if (quote)
        m_text += '"';
    m_text += '\n';
    return true;
}

bool CParamFileWriter::SaveToFile(const std::string& path) const
{
    if (m_failed)
        return false;
    return platform::ReplaceFileContents(path, m_text);
}

bool CSaveDoc::WriteKey(std::string_view key, std::string_view value)
{
    return m_file.WriteKey(key, value);
}

bool CSaveDoc::WriteInt(std::string_view key, int value)
{
    return m_file.WriteKey(key, platform::FormatInt(value));
}

bool CSaveDoc::WriteDouble(std::string_view key, double value)
{
    if (!std::isfinite(value))
    {
        m_file.SetFailed();
        return false;
    }
    return m_file.WriteKey(key, platform::FormatDouble(value));
}

bool CSaveDoc::WriteDoubleList(std::string_view key, std::span<const double> values)
{
    std::string text;
    for (double value : values)
    {
        if (!std::isfinite(value))
        {
            m_file.SetFailed();
            return false;
        }
        text += platform::FormatDouble(value, 10);
        text += ',';
    }
    return m_file.WriteKey(key, text);
}
