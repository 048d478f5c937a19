#pragma once
// Builds small Windows program images (PE32 or PE32+) holding a version
// resource, so the version reader is tested on files made in the test. The
// offsets of every structure are returned, so a test can break one field.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// WriteBinaryFile, with the other file helpers of the tests.
#include "tests/support/TestEnv.h"

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// UTF-8 to UTF-16LE units as bytes, followed by a zero unit.
Bytes Utf16Z(std::string_view utf8);

// One VS_VERSIONINFO node: wLength, wValueLength (16-bit units for text,
// bytes otherwise), wType, the key, padding, the value, padding, the
// children (each starting on a 32-bit boundary). The node must be placed
// on a 32-bit boundary of the block.
Bytes MakeVersionNode(std::string_view key, bool isText, const Bytes& value,
                  const std::vector<Bytes>& children = {});

// The fields of a version block the tests vary.
struct VersionTable
{
    std::uint16_t language = 0x0411;
    std::uint16_t codePage = 0x04B0;
    // The table key as written; empty means "%04X%04X" of language and
    // code page.
    std::string key;
    std::vector<std::pair<std::string, std::string>> strings;
};

struct VersionRecipe
{
    bool withFixedInfo = true;
    std::uint32_t fileVersionMS = 0x00030002; // 3.2
    std::uint32_t fileVersionLS = 0x00000001; // 0.1
    std::uint32_t productVersionMS = 0x00030002;
    std::uint32_t productVersionLS = 0x00000000;
    std::vector<VersionTable> tables;
    // Language / code-page pairs of "\VarFileInfo\Translation"; no
    // VarFileInfo node at all when empty.
    std::vector<std::pair<std::uint16_t, std::uint16_t>> translations;
};

// A well-formed block: VS_VERSION_INFO with the fixed information, a
// StringFileInfo with one string table per entry, and a VarFileInfo.
Bytes BuildVersionBlock(const VersionRecipe& recipe);

// The usual recipe: one Japanese table (0411, 04B0) with FileVersion
// "3.2.0.1", ProductName "クイルブレイク Converter" and CompanyName, and its
// translation.
VersionRecipe DefaultVersionRecipe();

struct PeOptions
{
    bool pe32Plus = false;
    std::uint16_t language = 0x0411;
    // Pad the file to the file alignment after the resources, as linkers
    // do; without padding the version block ends the file.
    bool padFile = true;
};

struct PeImage
{
    Bytes bytes;
    std::size_t peOffset = 0;            // "PE\0\0"
    std::size_t optionalHeaderOffset = 0;
    std::size_t directoryCountOffset = 0; // NumberOfRvaAndSizes
    std::size_t resourceDirectoryOffset = 0; // data directory 2 (RVA, size)
    std::size_t sectionTableOffset = 0;
    std::size_t resourceSectionHeaderOffset = 0;
    std::size_t rootDirectoryOffset = 0;  // resource tree, file offsets
    std::size_t versionTypeEntryOffset = 0;
    std::size_t nameDirectoryOffset = 0;
    std::size_t languageDirectoryOffset = 0;
    std::size_t dataEntryOffset = 0;
    std::size_t blockOffset = 0;
    std::size_t blockSize = 0;
};

// A program image with a .text and a .rsrc section; the resource tree holds
// a named type, an icon type and RT_VERSION (name 1, the given language)
// whose data is the block.
PeImage BuildPeImage(const Bytes& versionBlock, const PeOptions& options = {});

void PutU16(Bytes& bytes, std::size_t offset, std::uint16_t value);
void PutU32(Bytes& bytes, std::size_t offset, std::uint32_t value);

} // namespace testsupport
