#include "platform/IniStore.h"

#include "platform/FileReplace.h"
#include "platform/Text.h"

#include <cerrno>
#include <sys/stat.h>
#include <unordered_set>

// Duplicates in hand-edited files are resolved the way Windows resolves
// them: a section name that occurs twice means its first occurrence, and a
// key that occurs twice in it means its first occurrence. Reads, Write and
// DeleteKey all work on that first section only (later ones are shadowed,
// left as they are), ReadSection lists each key once with the value Read
// gives, Sections lists each name once. DeleteSection removes every
// section of the name, so that no shadowed copy comes to light afterwards.
//
// All work is a single pass over the lines of the file, so reads and
// rewrites stay linear in its size.

namespace platform {

namespace {

using Line = IniLine;
using LineKind = IniLineKind;

std::string_view Trim(std::string_view text)
{
    return TrimBlanks(text, kIniBlanks);
}

Line Classify(std::string_view text, bool inSection)
{
    Line line;
    line.text = text;
    const std::string_view body = Trim(text);
    if (body.empty() || body.front() == ';')
        return line;
    if (body.front() == '[')
    {
        const std::size_t close = body.rfind(']');
        if (close == std::string_view::npos)
            return line;
        line.kind = LineKind::Section;
        line.name = Trim(body.substr(1, close - 1));
        return line;
    }
    if (!inSection)
        return line;
    const std::size_t equals = body.find('=');
    if (equals == std::string_view::npos)
        return line;
    const std::string_view key = Trim(body.substr(0, equals));
    if (key.empty())
        return line;
    std::string_view value = Trim(body.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    line.kind = LineKind::Pair;
    line.name = key;
    line.value = value;
    return line;
}

} // namespace

std::vector<IniLine> ParseIniLines(std::string_view text)
{
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    std::vector<Line> lines;
    bool inSection = false;
    while (!text.empty())
    {
        const std::size_t end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!raw.empty() && raw.back() == '\r')
            raw.remove_suffix(1);
        lines.push_back(Classify(raw, inSection));
        if (lines.back().kind == LineKind::Section)
            inSection = true;
    }
    return lines;
}

// Values are read trimmed and lose one pair of surrounding quotes; a value
// that would be changed by that is written inside quotes, so that every
// value reads back exactly as written.
std::string EncodeIniValue(std::string_view value)
{
    const bool needsQuotes =
        !value.empty() &&
        (IsBlank(value.front(), kIniBlanks) || IsBlank(value.back(), kIniBlanks) ||
         (value.size() >= 2 && value.front() == '"' && value.back() == '"'));
    if (!needsQuotes)
        return std::string(value);
    std::string quoted;
    quoted.reserve(value.size() + 2);
    quoted.push_back('"');
    quoted.append(value);
    quoted.push_back('"');
    return quoted;
}

namespace {

// The first section called name: its header line and the end of its lines
// (the next header or the end of the file). header == npos when there is
// no such section.
struct SectionRange
{
    std::size_t header = std::string::npos;
    std::size_t end = 0;
    bool Found() const { return header != std::string::npos; }
};

SectionRange FindSection(const std::vector<Line>& lines, std::string_view name)
{
    SectionRange range;
    for (std::size_t i = 0; i < lines.size(); ++i)
    {
        if (lines[i].kind != LineKind::Section)
            continue;
        if (range.Found())
        {
            range.end = i;
            return range;
        }
        if (EqualsNoCase(lines[i].name, name))
            range.header = i;
    }
    range.end = lines.size();
    return range;
}

std::size_t FindKey(const std::vector<Line>& lines, const SectionRange& range, std::string_view key)
{
    for (std::size_t i = range.header + 1; i < range.end; ++i)
    {
        if (lines[i].kind == LineKind::Pair && EqualsNoCase(lines[i].name, key))
            return i;
    }
    return std::string::npos;
}

bool HasLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// A name that reads back as itself: no line break, and for a key nothing
// that would make its line a comment, a section header or split it early.
bool IsWritableSection(std::string_view section)
{
    return !HasLineBreak(section);
}

bool IsWritableKey(std::string_view key)
{
    return !key.empty() && !HasLineBreak(key) && key.find('=') == std::string_view::npos &&
           key.front() != ';' && key.front() != '[';
}

void AppendLine(std::string* out, std::string_view text)
{
    out->append(text);
    out->push_back('\n');
}

bool FileIsMissing(const std::string& path)
{
    struct stat info{};
    return ::stat(path.c_str(), &info) != 0 && errno == ENOENT;
}

// Reads the file; a missing file is empty text. False when the file exists
// but cannot be read: rewriting it then would throw its contents away.
bool ReadForUpdate(const std::string& path, std::string* text)
{
    if (ReadFileContents(path, text))
        return true;
    if (FileIsMissing(path))
    {
        text->clear();
        return true;
    }
    return false;
}

// One read-modify-write under the file's lock. edit receives the parsed
// lines and builds the new text; it returns false when nothing changes, and
// the file is then left alone.
template <typename Edit> bool Rewrite(const std::string& path, Edit edit)
{
    FileLock lock(path);
    if (!lock.IsLocked())
        return false;
    std::string text;
    if (!ReadForUpdate(path, &text))
        return false;
    const std::vector<Line> lines = ParseIniLines(text);
    std::string out;
    out.reserve(text.size() + 128);
    if (!edit(lines, &out))
        return true;
    return ReplaceFileContents(path, out);
}

std::vector<Line> ReadLines(const std::string& path, std::string* storage)
{
    if (!ReadFileContents(path, storage))
        return {};
    return ParseIniLines(*storage);
}

} // namespace

IniStore::IniStore(std::string path) : m_path(std::move(path)) {}

std::optional<std::string> IniStore::Read(std::string_view section, std::string_view key) const
{
    std::string text;
    const std::vector<Line> lines = ReadLines(m_path, &text);
    const SectionRange range = FindSection(lines, Trim(section));
    if (!range.Found())
        return std::nullopt;
    const std::size_t at = FindKey(lines, range, Trim(key));
    if (at == std::string::npos)
        return std::nullopt;
    return std::string(lines[at].value);
}

std::vector<std::pair<std::string, std::string>> IniStore::ReadSection(
    std::string_view section) const
{
    std::string text;
    const std::vector<Line> lines = ReadLines(m_path, &text);
    const SectionRange range = FindSection(lines, Trim(section));
    std::vector<std::pair<std::string, std::string>> pairs;
    if (!range.Found())
        return pairs;
    std::unordered_set<std::string> seen;
    for (std::size_t i = range.header + 1; i < range.end; ++i)
    {
        const Line& line = lines[i];
        if (line.kind == LineKind::Pair && seen.insert(ToLowerAscii(line.name)).second)
            pairs.emplace_back(line.name, line.value);
    }
    return pairs;
}

std::vector<std::string> IniStore::Sections() const
{
    std::string text;
    const std::vector<Line> lines = ReadLines(m_path, &text);
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    for (const Line& line : lines)
    {
        if (line.kind == LineKind::Section && seen.insert(ToLowerAscii(line.name)).second)
            names.emplace_back(line.name);
    }
    return names;
}

bool IniStore::Write(std::string_view section, std::string_view key, std::string_view value)
{
    section = Trim(section);
    key = Trim(key);
    if (!IsWritableSection(section) || !IsWritableKey(key) || HasLineBreak(value))
        return false;
    const std::string encoded = EncodeIniValue(value);

    return Rewrite(m_path,
                   [&](const std::vector<Line>& lines, std::string* out)
                   {
                       const SectionRange range = FindSection(lines, section);
                       const std::size_t at =
                           range.Found() ? FindKey(lines, range, key) : std::string::npos;
                       // Where a new key goes: after the last pair of the
                       // section, so that blank lines and comments ahead of
                       // the next section stay ahead of it.
                       std::size_t insertAfter = std::string::npos;
                       if (range.Found() && at == std::string::npos)
                       {
                           insertAfter = range.header;
                           for (std::size_t i = range.header + 1; i < range.end; ++i)
                           {
                               if (lines[i].kind == LineKind::Pair)
                                   insertAfter = i;
                           }
                       }
                       for (std::size_t i = 0; i < lines.size(); ++i)
                       {
                           if (i == at)
                           {
                               out->append(lines[i].name);
                               out->push_back('=');
                               AppendLine(out, encoded);
                               continue;
                           }
                           AppendLine(out, lines[i].text);
                           if (i == insertAfter)
                           {
                               out->append(key);
                               out->push_back('=');
                               AppendLine(out, encoded);
                           }
                       }
                       if (!range.Found())
                       {
                           if (!lines.empty() && !Trim(lines.back().text).empty())
                               out->push_back('\n');
                           out->push_back('[');
                           out->append(section);
                           AppendLine(out, "]");
                           out->append(key);
                           out->push_back('=');
                           AppendLine(out, encoded);
                       }
                       return true;
                   });
}

bool IniStore::DeleteKey(std::string_view section, std::string_view key)
{
    section = Trim(section);
    key = Trim(key);
    if (FileIsMissing(m_path))
        return true;
    return Rewrite(m_path,
                   [&](const std::vector<Line>& lines, std::string* out)
                   {
                       const SectionRange range = FindSection(lines, section);
                       if (!range.Found() || FindKey(lines, range, key) == std::string::npos)
                           return false;
                       // Every copy of the key in the section goes, or a
                       // shadowed duplicate would read as its new value.
                       for (std::size_t i = 0; i < lines.size(); ++i)
                       {
                           const bool inRange = i > range.header && i < range.end;
                           if (inRange && lines[i].kind == LineKind::Pair &&
                               EqualsNoCase(lines[i].name, key))
                               continue;
                           AppendLine(out, lines[i].text);
                       }
                       return true;
                   });
}

bool IniStore::DeleteSection(std::string_view section)
{
    section = Trim(section);
    if (FileIsMissing(m_path))
        return true;
    return Rewrite(m_path,
                   [&](const std::vector<Line>& lines, std::string* out)
                   {
                       bool removed = false;
                       bool skipping = false;
                       for (const Line& line : lines)
                       {
                           if (line.kind == LineKind::Section)
                           {
                               skipping = EqualsNoCase(line.name, section);
                               removed = removed || skipping;
                           }
                           if (!skipping)
                               AppendLine(out, line.text);
                       }
                       return removed;
                   });
}

} // namespace platform
