#pragma once
// Private-profile (ini) files.
//
// Format: "[section]" lines open a section; "key=value" lines belong to the
// last section; lines before the first section, blank lines and lines
// starting with ';' are kept as they are but hold no values. Files are read
// with LF or CR LF line ends and written with LF, UTF-8.
//
// Semantics as applications expect of private-profile files:
// - section and key names match case-insensitively (ASCII), the spelling of
//   the first occurrence is kept when a value is replaced;
// - names and values are trimmed of spaces, tabs and carriage returns; a
//   value enclosed in one pair of matching double quotes loses them. A CR
//   is a blank wherever it stands, so a stray CR a hand edit left at the
//   end of a line (CR CR LF) reads as nothing, and reads the same before
//   and after the file is rewritten with LF line ends;
// - a missing file, section or key reads as absent;
// - in a hand-edited file with a section name twice, the first section of
//   that name is the one read and written, and in it the first copy of a
//   key (as Windows does); ReadSection and Sections list each name once,
//   DeleteKey removes every copy of the key from that section and
//   DeleteSection removes every section of the name.
//
// Write stores a value so that Read gives it back exactly: a value with
// blanks at either end, or enclosed in double quotes itself, is written in
// one more pair of quotes. A line break in a value (or in a name) cannot be
// stored in a line-based file: Write refuses it and changes nothing, as it
// does a key that is empty, holds '=' or starts with ';' or '['.
//
// Every change is a read-modify-write of the whole file under an exclusive
// flock (FileLock), written back through ReplaceFileContents, so two
// objects, threads or processes writing the same file lose no write and a
// reader never sees a half-written file.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// Space, tab and carriage return: the blanks around ini names and values.
inline constexpr std::string_view kIniBlanks = " \t\r";

// The reading rules of IniStore, for code that keeps a whole ini text in
// memory and changes several keys of it under one lock (the simulated
// monitors' file). One line of the text as these rules read it:
enum class IniLineKind
{
    Other, // comment, blank, text before the first section, anything else
    Section,
    Pair
};

struct IniLine
{
    std::string_view text;  // as in the file, without its line end
    IniLineKind kind = IniLineKind::Other;
    std::string_view name;  // trimmed section name or key
    std::string_view value; // trimmed value without its quotes
};

// Splits an ini text into classified lines (LF or CR LF ends, a leading
// UTF-8 byte order mark skipped). The views point into text.
std::vector<IniLine> ParseIniLines(std::string_view text);

// The text to write after "key=" so that the line reads back as value: the
// value itself, or the value in one more pair of quotes when trimming or
// unquoting would change it.
std::string EncodeIniValue(std::string_view value);

class IniStore
{
public:
    explicit IniStore(std::string path);

    const std::string& Path() const { return m_path; }

    // Absent when the file, section or key is missing.
    std::optional<std::string> Read(std::string_view section, std::string_view key) const;

    // All key/value pairs of one section, in file order (empty when absent).
    std::vector<std::pair<std::string, std::string>> ReadSection(std::string_view section) const;

    // Section names in file order.
    std::vector<std::string> Sections() const;

    // Sets one value, creating the file, section and key as needed; the
    // folder must exist. False when the file cannot be written.
    bool Write(std::string_view section, std::string_view key, std::string_view value);

    // Removes one key, or a whole section; removing what is absent succeeds.
    bool DeleteKey(std::string_view section, std::string_view key);
    bool DeleteSection(std::string_view section);

private:
    std::string m_path;
};

} // namespace platform
