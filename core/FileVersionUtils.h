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
