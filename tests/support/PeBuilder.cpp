#include "tests/support/PeBuilder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace testsupport {

namespace {

void PadTo4(Bytes& bytes)
{
    while (bytes.size() % 4 != 0)
        bytes.push_back(0);
}

void Append(Bytes& bytes, const Bytes& more)
{
    bytes.insert(bytes.end(), more.begin(), more.end());
}

void AppendU32(Bytes& bytes, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::size_t AlignUp(std::size_t value, std::size_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

void PutBytes(Bytes& bytes, std::size_t offset, std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(text[i]);
}

} // namespace

void PutU16(Bytes& bytes, std::size_t offset, std::uint16_t value)
{
    bytes.at(offset) = static_cast<std::uint8_t>(value);
    bytes.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
}

void PutU32(Bytes& bytes, std::size_t offset, std::uint32_t value)
{
    PutU16(bytes, offset, static_cast<std::uint16_t>(value));
    PutU16(bytes, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

Bytes Utf16Z(std::string_view utf8)
{
    Bytes out;
    auto unit = [&out](std::uint32_t u) {
        out.push_back(static_cast<std::uint8_t>(u));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    };
    for (std::size_t i = 0; i < utf8.size();)
    {
        const auto c = static_cast<unsigned char>(utf8[i]);
        std::uint32_t cp = c;
        int extra = 0;
        if (c >= 0xF0)
        {
            cp = c & 0x07;
            extra = 3;
        }
        else if (c >= 0xE0)
        {
            cp = c & 0x0F;
            extra = 2;
        }
        else if (c >= 0xC0)
        {
            cp = c & 0x1F;
            extra = 1;
        }
        ++i;
        for (int k = 0; k < extra && i < utf8.size(); ++k, ++i)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3F);
        if (cp >= 0x10000)
        {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        }
        else
        {
            unit(cp);
        }
    }
    unit(0);
    return out;
}

Bytes MakeVersionNode(std::string_view key, bool isText, const Bytes& value,
                  const std::vector<Bytes>& children)
{
    Bytes node(6, 0);
    Append(node, Utf16Z(key));
    PadTo4(node);
    Append(node, value);
    for (const Bytes& child : children)
    {
        PadTo4(node);
        Append(node, child);
    }
    PutU16(node, 0, static_cast<std::uint16_t>(node.size()));
    PutU16(node, 2, static_cast<std::uint16_t>(isText ? value.size() / 2 : value.size()));
    PutU16(node, 4, isText ? 1 : 0);
    return node;
}

Bytes BuildVersionBlock(const VersionRecipe& recipe)
{
    Bytes fixed;
    if (recipe.withFixedInfo)
    {
        const std::uint32_t fields[13] = {0xFEEF04BD,
                                          0x00010000,
                                          recipe.fileVersionMS,
                                          recipe.fileVersionLS,
                                          recipe.productVersionMS,
                                          recipe.productVersionLS,
                                          0x3F,
                                          0,
                                          0x00040004, // VOS_NT_WINDOWS32
                                          1,          // VFT_APP
                                          0,
                                          0,
                                          0};
        for (std::uint32_t f : fields)
            AppendU32(fixed, f);
    }

    std::vector<Bytes> children;
    if (!recipe.tables.empty())
    {
        std::vector<Bytes> tables;
        for (const VersionTable& table : recipe.tables)
        {
            std::vector<Bytes> strings;
            for (const auto& [name, text] : table.strings)
                strings.push_back(MakeVersionNode(name, true, Utf16Z(text)));
            std::string key = table.key;
            if (key.empty())
            {
                char hex[9];
                std::snprintf(hex, sizeof hex, "%04X%04X", static_cast<unsigned>(table.language),
                              static_cast<unsigned>(table.codePage));
                key = hex;
            }
            tables.push_back(MakeVersionNode(key, true, {}, strings));
        }
        children.push_back(MakeVersionNode("StringFileInfo", true, {}, tables));
    }
    if (!recipe.translations.empty())
    {
        Bytes pairs;
        for (const auto& [language, codePage] : recipe.translations)
            AppendU32(pairs, static_cast<std::uint32_t>(language) |
                                 (static_cast<std::uint32_t>(codePage) << 16));
        children.push_back(MakeVersionNode("VarFileInfo", true, {},
                                           {MakeVersionNode("Translation", false, pairs)}));
    }
    return MakeVersionNode("VS_VERSION_INFO", false, fixed, children);
}

VersionRecipe DefaultVersionRecipe()
{
    VersionRecipe recipe;
    VersionTable table;
    table.strings = {{"CompanyName", "Quillbrake"},
                     {"FileVersion", "3.2.0.1"},
                     {"ProductName", "クイルブレイク Converter"}};
    recipe.tables.push_back(table);
    recipe.translations = {{0x0411, 0x04B0}};
    return recipe;
}

// Layout: DOS header with e_lfanew 0x80; PE headers; section table; .text
// at file 0x400 (RVA 0x1000); .rsrc at file 0x600 (RVA 0x2000) holding the
// resource tree followed by the version block.
PeImage BuildPeImage(const Bytes& versionBlock, const PeOptions& options)
{
    constexpr std::size_t kFileAlignment = 0x200;
    constexpr std::uint32_t kSectionAlignment = 0x1000;
    constexpr std::uint32_t kTextRva = 0x1000;
    constexpr std::size_t kTextFile = 0x400;
    constexpr std::uint32_t kRsrcRva = 0x2000;
    constexpr std::size_t kRsrcFile = 0x600;

    // Resource section, offsets from its start.
    constexpr std::size_t kRoot = 0x00;       // 16 + 3 entries
    constexpr std::size_t kNameDir = 0x28;    // 16 + 1 entry
    constexpr std::size_t kLangDir = 0x40;    // 16 + 1 entry
    constexpr std::size_t kDataEntry = 0x58;  // 16
    constexpr std::size_t kTypeName = 0x68;   // length + "MYTYPE"
    constexpr std::size_t kBlock = 0x78;

    PeImage image;
    const std::size_t rsrcSize = kBlock + versionBlock.size();
    const std::size_t rsrcRaw = AlignUp(rsrcSize, kFileAlignment);
    image.bytes.assign(options.padFile ? kRsrcFile + rsrcRaw : kRsrcFile + rsrcSize, 0);
    Bytes& b = image.bytes;

    PutBytes(b, 0, "MZ");
    PutU32(b, 0x3C, 0x80);
    PutBytes(b, 0x40, "This program cannot be run in DOS mode.");

    image.peOffset = 0x80;
    PutBytes(b, image.peOffset, std::string_view("PE\0\0", 4));
    const std::size_t coff = image.peOffset + 4;
    const std::size_t directories = options.pe32Plus ? 112 : 96;
    const std::size_t optionalSize = directories + 16 * 8;
    PutU16(b, coff + 0, options.pe32Plus ? 0x8664 : 0x014C);
    PutU16(b, coff + 2, 2);
    PutU16(b, coff + 16, static_cast<std::uint16_t>(optionalSize));
    PutU16(b, coff + 18, options.pe32Plus ? 0x0022 : 0x0102);

    const std::size_t opt = coff + 20;
    image.optionalHeaderOffset = opt;
    PutU16(b, opt, options.pe32Plus ? 0x20B : 0x10B);
    PutU32(b, opt + 16, kTextRva); // entry point
    PutU32(b, opt + 32, kSectionAlignment);
    PutU32(b, opt + 36, static_cast<std::uint32_t>(kFileAlignment));
    PutU32(b, opt + 56,
           kRsrcRva + static_cast<std::uint32_t>(AlignUp(rsrcSize, kSectionAlignment)));
    PutU32(b, opt + 60, static_cast<std::uint32_t>(kTextFile)); // size of headers
    PutU16(b, opt + 68, 2);                                      // GUI subsystem
    image.directoryCountOffset = opt + directories - 4;
    PutU32(b, image.directoryCountOffset, 16);
    image.resourceDirectoryOffset = opt + directories + 2 * 8;
    PutU32(b, image.resourceDirectoryOffset, kRsrcRva);
    PutU32(b, image.resourceDirectoryOffset + 4, static_cast<std::uint32_t>(rsrcSize));

    image.sectionTableOffset = opt + optionalSize;
    const std::size_t text = image.sectionTableOffset;
    PutBytes(b, text, ".text");
    PutU32(b, text + 8, 0x10);
    PutU32(b, text + 12, kTextRva);
    PutU32(b, text + 16, static_cast<std::uint32_t>(kFileAlignment));
    PutU32(b, text + 20, static_cast<std::uint32_t>(kTextFile));
    PutU32(b, text + 36, 0x60000020);
    b[kTextFile] = 0xC3; // ret

    const std::size_t rsrc = text + 40;
    image.resourceSectionHeaderOffset = rsrc;
    PutBytes(b, rsrc, ".rsrc");
    PutU32(b, rsrc + 8, static_cast<std::uint32_t>(rsrcSize));
    PutU32(b, rsrc + 12, kRsrcRva);
    PutU32(b, rsrc + 16, static_cast<std::uint32_t>(rsrcRaw));
    PutU32(b, rsrc + 20, static_cast<std::uint32_t>(kRsrcFile));
    PutU32(b, rsrc + 36, 0x40000040);

    // Root: one named type ("MYTYPE"), then the numbered types 3 and 16.
    // Named entries come first, numbered ones in ascending order.
    constexpr std::uint32_t kSubdirectory = 0x80000000u;
    image.rootDirectoryOffset = kRsrcFile + kRoot;
    PutU16(b, image.rootDirectoryOffset + 12, 1);
    PutU16(b, image.rootDirectoryOffset + 14, 2);
    const std::size_t entries = image.rootDirectoryOffset + 16;
    PutU32(b, entries + 0, kSubdirectory | static_cast<std::uint32_t>(kTypeName));
    PutU32(b, entries + 4, kSubdirectory | static_cast<std::uint32_t>(kNameDir));
    PutU32(b, entries + 8, 3);
    PutU32(b, entries + 12, kSubdirectory | static_cast<std::uint32_t>(kNameDir));
    image.versionTypeEntryOffset = entries + 16;
    PutU32(b, entries + 16, 16);
    PutU32(b, entries + 20, kSubdirectory | static_cast<std::uint32_t>(kNameDir));

    image.nameDirectoryOffset = kRsrcFile + kNameDir;
    PutU16(b, image.nameDirectoryOffset + 14, 1);
    PutU32(b, image.nameDirectoryOffset + 16, 1);
    PutU32(b, image.nameDirectoryOffset + 20, kSubdirectory | static_cast<std::uint32_t>(kLangDir));

    image.languageDirectoryOffset = kRsrcFile + kLangDir;
    PutU16(b, image.languageDirectoryOffset + 14, 1);
    PutU32(b, image.languageDirectoryOffset + 16, options.language);
    PutU32(b, image.languageDirectoryOffset + 20, static_cast<std::uint32_t>(kDataEntry));

    image.dataEntryOffset = kRsrcFile + kDataEntry;
    PutU32(b, image.dataEntryOffset, kRsrcRva + static_cast<std::uint32_t>(kBlock));
    PutU32(b, image.dataEntryOffset + 4, static_cast<std::uint32_t>(versionBlock.size()));

    const Bytes typeName = Utf16Z("MYTYPE");
    PutU16(b, kRsrcFile + kTypeName, 6);
    std::copy(typeName.begin(), typeName.end() - 2, b.begin() + kRsrcFile + kTypeName + 2);

    image.blockOffset = kRsrcFile + kBlock;
    image.blockSize = versionBlock.size();
    std::copy(versionBlock.begin(), versionBlock.end(), b.begin() + image.blockOffset);
    return image;
}


} // namespace testsupport
