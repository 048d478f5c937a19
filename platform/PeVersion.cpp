#include "platform/PeVersion.h"

#include "platform/Bytes.h"
#include "platform/File.h"
#include "platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

namespace platform {

namespace {

// ---------------------------------------------------------------------------
// Byte sources: the image in memory (tests, already read files) or a file
// read piecewise, so a large program file is never loaded whole.

class ByteSource
{
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads exactly count bytes at offset; false when any of them lies
    // outside the source or the read fails.
    virtual bool Read(std::uint64_t offset, std::size_t count, std::uint8_t* out) const = 0;

protected:
    bool Contains(std::uint64_t offset, std::uint64_t count) const
    {
        const std::uint64_t size = Size();
        return offset <= size && count <= size - offset;
    }
};

class SpanSource final : public ByteSource
{
public:
    explicit SpanSource(std::span<const std::uint8_t> data) : m_data(data) {}
    std::uint64_t Size() const override { return m_data.size(); }
    bool Read(std::uint64_t offset, std::size_t count, std::uint8_t* out) const override
    {
        if (!Contains(offset, count))
            return false;
        std::copy_n(m_data.begin() + static_cast<std::ptrdiff_t>(offset), count, out);
        return true;
    }

private:
    std::span<const std::uint8_t> m_data;
};

class FileSource final : public ByteSource
{
public:
    explicit FileSource(const std::string& path)
    {
        if (!m_file.OpenRead(path) || !m_file.IsRegular() || !m_file.Size(&m_size))
        {
            m_file.Close();
            m_size = 0;
        }
    }

    bool IsOpen() const { return m_file.IsOpen(); }
    std::uint64_t Size() const override { return m_size; }
    bool Read(std::uint64_t offset, std::size_t count, std::uint8_t* out) const override
    {
        if (!IsOpen() || !Contains(offset, count))
            return false;
        return m_file.ReadAt(offset, out, count);
    }

private:
    File m_file;
    std::uint64_t m_size = 0;
};

bool ReadU16(const ByteSource& src, std::uint64_t offset, std::uint16_t& value)
{
    std::uint8_t b[2];
    if (!src.Read(offset, 2, b))
        return false;
    value = GetU16LE(b, 0);
    return true;
}

bool ReadU32(const ByteSource& src, std::uint64_t offset, std::uint32_t& value)
{
    std::uint8_t b[4];
    if (!src.Read(offset, 4, b))
        return false;
    value = GetU32LE(b, 0);
    return true;
}

bool Fail(std::string* error, const char* reason)
{
    if (error != nullptr)
        *error = reason;
    return false;
}

// ---------------------------------------------------------------------------
// PE layout (all fields little-endian):
//   DOS header: "MZ" at 0, e_lfanew (offset of the PE headers) at 0x3C;
//   at e_lfanew: "PE\0\0", the 20-byte COFF header (section count at +2,
//   optional-header size at +16), then the optional header: magic 0x10B
//   (PE32) or 0x20B (PE32+), with the count of data directories at 92 / 108
//   and the directories (RVA, size; entry 2 = resources) from 96 / 112;
//   the section table (40 bytes per section) follows the optional header.
// Resources form a three-level tree (type, name, language) of directories:
//   a 16-byte header with the counts of named and numbered entries at 12 and
//   14, then 8-byte entries (name or id; offset, the high bit marking a
//   subdirectory, offsets relative to the start of the resources), ending
//   in a 16-byte data entry (RVA and size of the resource's bytes).

constexpr std::uint16_t kDosMagic = 0x5A4D;       // "MZ"
constexpr std::uint32_t kPeSignature = 0x00004550; // "PE\0\0"
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::uint32_t kSectionHeaderSize = 40;
// A version block is a tree whose root length is 16 bits; anything much
// larger is not a version resource.
constexpr std::uint32_t kMaxVersionBlockSize = 1u << 20;

struct Section
{
    std::uint32_t virtualAddress;
    std::uint32_t virtualSize;
    std::uint32_t rawPointer;
    std::uint32_t rawSize;
};

// File offset of the bytes [rva, rva + size): they must lie inside one
// section's stored data (memory beyond the stored data is zero fill that
// the file does not hold).
bool RvaToOffset(const std::vector<Section>& sections, std::uint64_t rva, std::uint64_t size,
                 std::uint64_t& offset)
{
    for (const Section& s : sections)
    {
        const std::uint64_t extent = s.virtualSize != 0 ? s.virtualSize : s.rawSize;
        if (rva < s.virtualAddress)
            continue;
        const std::uint64_t delta = rva - s.virtualAddress;
        if (delta >= extent || size > extent - delta || delta > s.rawSize ||
            size > s.rawSize - delta)
            continue;
        offset = static_cast<std::uint64_t>(s.rawPointer) + delta;
        return true;
    }
    return false;
}

struct DirectoryEntry
{
    std::uint32_t name;   // id, or (high bit) offset of a name string
    std::uint32_t target; // (high bit) subdirectory, else data entry
};

bool ReadDirectory(const ByteSource& src, const std::vector<Section>& sections,
                   std::uint64_t rva, std::vector<DirectoryEntry>& entries)
{
    std::uint64_t offset = 0;
    std::uint16_t named = 0;
    std::uint16_t numbered = 0;
    if (!RvaToOffset(sections, rva, 16, offset) || !ReadU16(src, offset + 12, named) ||
        !ReadU16(src, offset + 14, numbered))
        return false;
    // At most 131070 entries of 8 bytes; they must all lie in the section,
    // which bounds the allocation by the file itself.
    const std::uint64_t count = static_cast<std::uint64_t>(named) + numbered;
    std::uint64_t entriesOffset = 0;
    if (!RvaToOffset(sections, rva + 16, count * 8, entriesOffset))
        return false;
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(count * 8));
    if (!src.Read(entriesOffset, raw.size(), raw.data()))
        return false;
    entries.resize(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < entries.size(); ++i)
        entries[i] = {GetU32LE(raw, i * 8), GetU32LE(raw, i * 8 + 4)};
    return true;
}

bool Extract(const ByteSource& src, std::vector<std::uint8_t>& block, std::string* error)
{
    std::uint16_t dosMagic = 0;
    std::uint32_t peOffset = 0;
    if (!ReadU16(src, 0, dosMagic) || dosMagic != kDosMagic || !ReadU32(src, 0x3C, peOffset))
        return Fail(error, "not an MZ executable");

    std::uint32_t signature = 0;
    if (!ReadU32(src, peOffset, signature) || signature != kPeSignature)
        return Fail(error, "no PE signature");

    const std::uint64_t coff = static_cast<std::uint64_t>(peOffset) + 4;
    std::uint16_t sectionCount = 0;
    std::uint16_t optionalSize = 0;
    if (!ReadU16(src, coff + 2, sectionCount) || !ReadU16(src, coff + 16, optionalSize))
        return Fail(error, "truncated COFF header");

    const std::uint64_t optional = coff + 20;
    std::uint16_t magic = 0;
    if (!ReadU16(src, optional, magic))
        return Fail(error, "truncated optional header");
    std::uint32_t countField = 0;
    std::uint32_t directoriesField = 0;
    if (magic == kPe32Magic)
    {
        countField = 92;
        directoriesField = 96;
    }
    else if (magic == kPe32PlusMagic)
    {
        countField = 108;
        directoriesField = 112;
    }
    else
    {
        return Fail(error, "unknown optional header magic");
    }

    const std::uint32_t resourceField = directoriesField + kResourceDirectoryIndex * 8;
    std::uint32_t directoryCount = 0;
    if (optionalSize < resourceField + 8 || !ReadU32(src, optional + countField, directoryCount) ||
        directoryCount <= kResourceDirectoryIndex)
        return Fail(error, "no resource directory");
    std::uint32_t resourceRva = 0;
    std::uint32_t resourceSize = 0;
    if (!ReadU32(src, optional + resourceField, resourceRva) ||
        !ReadU32(src, optional + resourceField + 4, resourceSize) || resourceRva == 0 ||
        resourceSize == 0)
        return Fail(error, "no resources");

    if (sectionCount == 0)
        return Fail(error, "no sections");
    const std::uint64_t tableOffset = optional + optionalSize;
    std::vector<std::uint8_t> table(static_cast<std::size_t>(sectionCount) * kSectionHeaderSize);
    if (!src.Read(tableOffset, table.size(), table.data()))
        return Fail(error, "truncated section table");
    std::vector<Section> sections(sectionCount);
    for (std::size_t i = 0; i < sections.size(); ++i)
    {
        const std::size_t at = i * kSectionHeaderSize;
        sections[i] = {GetU32LE(table, at + 12), GetU32LE(table, at + 8), GetU32LE(table, at + 20),
                       GetU32LE(table, at + 16)};
    }

    // Type level: the numbered entry RT_VERSION; name and language levels:
    // the first entry each. Three fixed steps, so a directory that points
    // back at itself cannot loop.
    std::vector<DirectoryEntry> entries;
    if (!ReadDirectory(src, sections, resourceRva, entries))
        return Fail(error, "bad resource directory");
    const DirectoryEntry* type = nullptr;
    for (const DirectoryEntry& e : entries)
    {
        if (e.name == kRtVersion)
        {
            type = &e;
            break;
        }
    }
    if (type == nullptr)
        return Fail(error, "no version resource");
    if ((type->target & kHighBit) == 0)
        return Fail(error, "bad version resource directory");

    std::uint64_t levelRva = static_cast<std::uint64_t>(resourceRva) + (type->target & ~kHighBit);
    if (!ReadDirectory(src, sections, levelRva, entries) || entries.empty() ||
        (entries.front().target & kHighBit) == 0)
        return Fail(error, "bad version resource name directory");

    levelRva = static_cast<std::uint64_t>(resourceRva) + (entries.front().target & ~kHighBit);
    if (!ReadDirectory(src, sections, levelRva, entries) || entries.empty() ||
        (entries.front().target & kHighBit) != 0)
        return Fail(error, "bad version resource language directory");

    const std::uint64_t dataEntryRva =
        static_cast<std::uint64_t>(resourceRva) + entries.front().target;
    std::uint64_t dataEntry = 0;
    std::uint32_t dataRva = 0;
    std::uint32_t dataSize = 0;
    if (!RvaToOffset(sections, dataEntryRva, 16, dataEntry) || !ReadU32(src, dataEntry, dataRva) ||
        !ReadU32(src, dataEntry + 4, dataSize))
        return Fail(error, "bad version resource data entry");
    if (dataSize == 0 || dataSize > kMaxVersionBlockSize)
        return Fail(error, "implausible version resource size");

    std::uint64_t dataOffset = 0;
    if (!RvaToOffset(sections, dataRva, dataSize, dataOffset))
        return Fail(error, "version resource outside the file's sections");
    block.resize(dataSize);
    if (!src.Read(dataOffset, block.size(), block.data()))
    {
        block.clear();
        return Fail(error, "truncated version resource");
    }
    return true;
}

// ---------------------------------------------------------------------------
// VS_VERSIONINFO tree. Every node: wLength (the node with its children),
// wValueLength (in 16-bit units for text values, bytes otherwise), wType
// (1 text, 0 binary), the zero-terminated UTF-16 key, padding to 32 bits,
// the value, padding to 32 bits, the children one after another, each
// starting on a 32-bit boundary. Alignment counts from the block's start.

constexpr std::size_t kNodeHeaderSize = 6;

std::size_t Align4(std::size_t offset)
{
    return (offset + 3) & ~static_cast<std::size_t>(3);
}

class TreeParser
{
public:
    explicit TreeParser(std::span<const std::uint8_t> data) : m_data(data) {}

    // Parses the node at offset that must end by limit; length receives its
    // wLength.
    bool ParseNode(std::size_t offset, std::size_t limit, int depth, VersionNode& node,
                   std::size_t& length)
    {
        if (depth > VersionInfo::kMaxDepth || ++m_nodes > VersionInfo::kMaxNodes)
            return false;
        if (offset > limit || limit - offset < kNodeHeaderSize)
            return false;
        const std::size_t nodeLength = GetU16LE(m_data, offset);
        const std::size_t valueLength = GetU16LE(m_data, offset + 2);
        const std::uint16_t type = GetU16LE(m_data, offset + 4);
        // The smallest node is its header and a one-unit key terminator.
        if (nodeLength < kNodeHeaderSize + 2 || nodeLength > limit - offset || type > 1)
            return false;
        const std::size_t end = offset + nodeLength;

        std::size_t pos = offset + kNodeHeaderSize;
        const std::size_t keyStart = pos;
        while (true)
        {
            if (end - pos < 2)
                return false; // key without its terminating zero
            const std::uint16_t unit = GetU16LE(m_data, pos);
            pos += 2;
            if (unit == 0)
                break;
        }
        node.key = Utf16ToUtf8(m_data.subspan(keyStart, pos - keyStart), false);
        node.isText = type == 1;

        // A node may end right after its key (an empty value and no
        // children), before the padding.
        pos = std::min(Align4(pos), end);
        std::size_t valueBytes = node.isText ? valueLength * 2 : valueLength;
        if (valueBytes > end - pos)
        {
            // Some resource compilers count text values in bytes, which
            // doubled overruns the node; the text ends at its zero anyway.
            if (!node.isText)
                return false;
            valueBytes = end - pos;
        }
        node.value.assign(m_data.begin() + static_cast<std::ptrdiff_t>(pos),
                          m_data.begin() + static_cast<std::ptrdiff_t>(pos + valueBytes));
        pos = std::min(Align4(pos + valueBytes), end);

        while (end - pos >= kNodeHeaderSize)
        {
            // Zero padding after the last child ends the list.
            if (GetU16LE(m_data, pos) == 0)
                break;
            VersionNode child;
            std::size_t childLength = 0;
            if (!ParseNode(pos, end, depth + 1, child, childLength))
                return false;
            node.children.push_back(std::move(child));
            pos = std::min(Align4(pos + childLength), end);
        }
        length = nodeLength;
        return true;
    }

private:
    std::span<const std::uint8_t> m_data;
    int m_nodes = 0;
};

} // namespace

bool ExtractVersionBlock(std::span<const std::uint8_t> image, std::vector<std::uint8_t>& block,
                         std::string* error)
{
    block.clear();
    return Extract(SpanSource(image), block, error);
}

bool ReadVersionBlock(const std::string& path, std::vector<std::uint8_t>& block,
                      std::string* error)
{
    block.clear();
    FileSource source(path);
    if (!source.IsOpen())
        return Fail(error, "cannot open the file");
    return Extract(source, block, error);
}

std::string VersionNode::Text() const
{
    return Utf16ToUtf8(value, false);
}

bool VersionInfo::Parse(std::span<const std::uint8_t> block)
{
    m_root = VersionNode{};
    m_valid = false;
    VersionNode root;
    std::size_t length = 0;
    TreeParser parser(block);
    if (!parser.ParseNode(0, block.size(), 0, root, length) || root.key != "VS_VERSION_INFO")
        return false;
    m_root = std::move(root);
    m_valid = true;
    return true;
}

const VersionNode* VersionInfo::Find(std::string_view path) const
{
    if (!m_valid)
        return nullptr;
    const VersionNode* node = &m_root;
    while (!path.empty())
    {
        const std::size_t slash = path.find('\\');
        const std::string_view part = path.substr(0, slash);
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
        if (part.empty())
            continue;
        const VersionNode* next = nullptr;
        for (const VersionNode& child : node->children)
        {
            if (EqualsNoCase(child.key, part))
            {
                next = &child;
                break;
            }
        }
        if (next == nullptr)
            return nullptr;
        node = next;
    }
    return node;
}

bool VersionInfo::QueryString(std::string_view path, std::string& out) const
{
    const VersionNode* node = Find(path);
    if (node == nullptr)
        return false;
    out = node->Text();
    return true;
}

bool VersionInfo::QueryBinary(std::string_view path, std::vector<std::uint8_t>& out) const
{
    const VersionNode* node = Find(path);
    if (node == nullptr)
        return false;
    out = node->value;
    return true;
}

std::optional<FixedFileInfo> VersionInfo::GetFixedFileInfo() const
{
    constexpr std::size_t kFixedFileInfoSize = 52;
    if (!m_valid || m_root.value.size() < kFixedFileInfoSize)
        return std::nullopt;
    const std::span<const std::uint8_t> v = m_root.value;
    FixedFileInfo info;
    std::uint32_t* fields[] = {&info.signature,        &info.structVersion,  &info.fileVersionMS,
                               &info.fileVersionLS,    &info.productVersionMS,
                               &info.productVersionLS, &info.fileFlagsMask,  &info.fileFlags,
                               &info.fileOS,           &info.fileType,       &info.fileSubtype,
                               &info.fileDateMS,       &info.fileDateLS};
    for (std::size_t i = 0; i < std::size(fields); ++i)
        *fields[i] = GetU32LE(v, i * 4);
    if (info.signature != kFixedFileInfoSignature)
        return std::nullopt;
    return info;
}

std::vector<VersionTranslation> VersionInfo::GetTranslations() const
{
    std::vector<VersionTranslation> result;
    const VersionNode* node = Find("\\VarFileInfo\\Translation");
    if (node == nullptr)
        return result;
    for (std::size_t at = 0; at + 4 <= node->value.size(); at += 4)
        result.push_back({GetU16LE(node->value, at), GetU16LE(node->value, at + 2)});
    return result;
}

} // namespace platform
