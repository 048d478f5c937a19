#pragma once
// The version resource of a Windows program file (PE image: .exe, .dll),
// read without Windows: the outside DNG converter is a Windows program run
// through wine, and its version decides whether we use it.
//
// Two steps, each trusting no field of the file:
// 1. ReadVersionBlock / ExtractVersionBlock find the RT_VERSION resource
//    (type 16; the first name, the first language) through the DOS header,
//    the PE headers (PE32 and PE32+), the section table and the resource
//    directory, and copy out the bytes of its VS_VERSIONINFO block.
// 2. VersionInfo parses such a block into its tree of nodes and answers
//    lookups by path the way applications ask for them:
//      "\"                                  the fixed file information
//      "\VarFileInfo\Translation"           language / code-page pairs
//      "\StringFileInfo\041104B0\FileVersion"  one text value
//    Path components match case-insensitively (ASCII); text values come
//    back as UTF-8.
// Every offset and size is checked against the data with overflow-safe
// arithmetic, counts and depth are capped; a truncated or hostile file
// gives failure, never a read outside the data.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Copies the VS_VERSIONINFO block of the PE image held in `image`. False
// (with *error set to a reason when given) when the image is not a PE file
// or has no usable version resource.
bool ExtractVersionBlock(std::span<const std::uint8_t> image, std::vector<std::uint8_t>& block,
                         std::string* error = nullptr);

// The same for a file on disk; reads only the parts it needs.
bool ReadVersionBlock(const std::string& path, std::vector<std::uint8_t>& block,
                      std::string* error = nullptr);

// VS_FIXEDFILEINFO: versions as two 32-bit halves (major << 16 | minor,
// build << 16 | revision).
struct FixedFileInfo
{
    std::uint32_t signature = 0; // 0xFEEF04BD
    std::uint32_t structVersion = 0;
    std::uint32_t fileVersionMS = 0;
    std::uint32_t fileVersionLS = 0;
    std::uint32_t productVersionMS = 0;
    std::uint32_t productVersionLS = 0;
    std::uint32_t fileFlagsMask = 0;
    std::uint32_t fileFlags = 0;
    std::uint32_t fileOS = 0;
    std::uint32_t fileType = 0;
    std::uint32_t fileSubtype = 0;
    std::uint32_t fileDateMS = 0;
    std::uint32_t fileDateLS = 0;
};

inline constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

// One language / code-page pair of "\VarFileInfo\Translation".
struct VersionTranslation
{
    std::uint16_t language = 0;
    std::uint16_t codePage = 0;
};

// One node of a VS_VERSIONINFO tree: wLength, wValueLength, wType, the
// UTF-16 key, padding to 32 bits, the value, padding, the children.
struct VersionNode
{
    std::string key;                // UTF-8
    bool isText = false;            // wType 1: the value is UTF-16LE text
    std::vector<std::uint8_t> value; // the value's bytes as stored
    std::vector<VersionNode> children;

    // The value read as UTF-16LE text up to its first zero, in UTF-8.
    std::string Text() const;
};

class VersionInfo
{
public:
    // Most nodes a block may hold and deepest nesting accepted. A real
    // block is four levels deep (root, StringFileInfo, string table,
    // string) and has a few dozen nodes.
    static constexpr int kMaxDepth = 8;
    static constexpr int kMaxNodes = 4096;

    // Parses a VS_VERSIONINFO block; false (and empty) when it is malformed.
    bool Parse(std::span<const std::uint8_t> block);
    bool IsValid() const { return m_valid; }
    const VersionNode& Root() const { return m_root; }

    // The node at a backslash-separated path ("\" is the root); null when
    // there is none.
    const VersionNode* Find(std::string_view path) const;

    // The text value at path, in UTF-8.
    bool QueryString(std::string_view path, std::string& out) const;
    // The raw value bytes at path.
    bool QueryBinary(std::string_view path, std::vector<std::uint8_t>& out) const;

    // The root's VS_FIXEDFILEINFO, when present with its signature.
    std::optional<FixedFileInfo> GetFixedFileInfo() const;
    // The pairs of "\VarFileInfo\Translation", in stored order.
    std::vector<VersionTranslation> GetTranslations() const;

private:
    VersionNode m_root;
    bool m_valid = false;
};

} // namespace platform
