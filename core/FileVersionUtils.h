#pragma once
// The version resource of a program file: "FileVersion" and "ProductName"
// of this program (system information) and of the outside DNG converter,
// a Windows program whose version decides whether it can be used.

#include "platform/PeVersion.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CFileVersionUtils
{
public:
    CFileVersionUtils() = default;
    virtual ~CFileVersionUtils() = default;

    // Reads the file's version block; true when the file has one that is
    // well formed. On failure the block is empty.
    bool Load(const std::string& path);

    // The text value `name` of the string table of the first translation
    // ("\StringFileInfo\<language><code page>\<name>", both as four upper-case
    // hex digits), in UTF-8. False when nothing is loaded, the block has no
    // translation, or the table has no such value.
    bool QueryValue(std::string_view name, std::string& out) const;

    const std::vector<std::uint8_t>& GetBlock() const { return m_block; }

private:
    std::vector<std::uint8_t> m_block;
    platform::VersionInfo m_info;
};

// The numbers of a version text, most significant first: "3.10.0.1" gives
// 3, 10, 0, 1. Resource scripts also write "3, 2, 0, 1", so a comma
// separates as a dot does, with blanks after either. Reading stops at the
// first part that does not start with a digit ("4.1 beta" gives 4, 1);
// a text that does not start with a digit gives no number at all. Numbers
// too large for int clamp to its maximum.
std::vector<int> ParseVersionNumbers(std::string_view text);

// Orders two versions part by part as numbers, so 3.10 comes after 3.2; a
// missing part counts as 0 (3.2 equals 3.2.0.0). Negative, 0 or positive
// as a is below, equal to or above b.
int CompareVersionNumbers(const std::vector<int>& a, const std::vector<int>& b);
