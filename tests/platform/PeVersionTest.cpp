#include "platform/PeVersion.h"

#include "tests/support/PeBuilder.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

using platform::ExtractVersionBlock;
using platform::VersionInfo;
using testsupport::Bytes;
using testsupport::BuildPeImage;
using testsupport::BuildVersionBlock;
using testsupport::DefaultVersionRecipe;
using testsupport::MakeVersionNode;
using testsupport::PeImage;
using testsupport::PutU16;
using testsupport::PutU32;
using testsupport::Utf16Z;

namespace {

constexpr const char* kFileVersionPath = "\\StringFileInfo\\041104B0\\FileVersion";

// ---------------------------------------------------------------------------
// Finding the block in a program image

class PeVersionImageTest : public testing::TestWithParam<bool>
{
};

TEST_P(PeVersionImageTest, FindsTheVersionBlockAndAnswersLookups)
{
    const Bytes block = BuildVersionBlock(DefaultVersionRecipe());
    testsupport::PeOptions options;
    options.pe32Plus = GetParam();
    const PeImage image = BuildPeImage(block, options);

    Bytes found;
    std::string error;
    ASSERT_TRUE(ExtractVersionBlock(image.bytes, found, &error)) << error;
    EXPECT_EQ(found, block);

    VersionInfo info;
    ASSERT_TRUE(info.Parse(found));
    std::string text;
    ASSERT_TRUE(info.QueryString(kFileVersionPath, text));
    EXPECT_EQ(text, "3.2.0.1");
    ASSERT_TRUE(info.QueryString("\\StringFileInfo\\041104B0\\ProductName", text));
    EXPECT_EQ(text, "クイルブレイク Converter");
    // Keys match without regard to ASCII case, and empty components are
    // skipped as the system's lookup does.
    ASSERT_TRUE(info.QueryString("\\stringfileinfo\\041104b0\\\\FILEVERSION", text));
    EXPECT_EQ(text, "3.2.0.1");
    EXPECT_FALSE(info.QueryString("\\StringFileInfo\\040904B0\\FileVersion", text));
    EXPECT_FALSE(info.QueryString("\\StringFileInfo\\041104B0\\Missing", text));

    const auto translations = info.GetTranslations();
    ASSERT_EQ(translations.size(), 1u);
    EXPECT_EQ(translations[0].language, 0x0411);
    EXPECT_EQ(translations[0].codePage, 0x04B0);

    const auto fixed = info.GetFixedFileInfo();
    ASSERT_TRUE(fixed.has_value());
    EXPECT_EQ(fixed->signature, platform::kFixedFileInfoSignature);
    EXPECT_EQ(fixed->fileVersionMS, 0x00030002u);
    EXPECT_EQ(fixed->fileVersionLS, 0x00000001u);
    Bytes root;
    ASSERT_TRUE(info.QueryBinary("\\", root));
    EXPECT_EQ(root.size(), 52u);
}

INSTANTIATE_TEST_SUITE_P(Pe32AndPe32Plus, PeVersionImageTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& p)
                         { return p.param ? std::string("Pe32Plus") : std::string("Pe32"); });

TEST(PeVersionFileTest, ReadsFromDiskAndFailsCleanlyOnMissingFiles)
{
    testsupport::TempDir dir;
    const Bytes block = BuildVersionBlock(DefaultVersionRecipe());
    const std::string path = dir.File("Converter.exe");
    testsupport::WriteBinaryFile(path, BuildPeImage(block).bytes);

    Bytes found;
    ASSERT_TRUE(platform::ReadVersionBlock(path, found));
    EXPECT_EQ(found, block);

    std::string error;
    EXPECT_FALSE(platform::ReadVersionBlock(dir.File("missing.exe"), found, &error));
    EXPECT_TRUE(found.empty());
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(platform::ReadVersionBlock(dir.Path(), found)); // a folder
    testsupport::WriteTextFile(dir.File("text.exe"), "MZ but nothing else");
    EXPECT_FALSE(platform::ReadVersionBlock(dir.File("text.exe"), found));
}

TEST(PeVersionImageTruncationTest, EveryPrefixEndingInsideTheBlockFails)
{
    testsupport::VersionRecipe recipe = DefaultVersionRecipe();
    recipe.tables[0].strings.push_back({"Comments", "ends the block off the file alignment"});
    const Bytes block = BuildVersionBlock(recipe);
    const PeImage image = BuildPeImage(block);
    const std::size_t blockEnd = image.blockOffset + image.blockSize;
    ASSERT_LT(blockEnd, image.bytes.size()); // the file is padded after it

    for (std::size_t length = 0; length <= image.bytes.size(); ++length)
    {
        const std::span<const std::uint8_t> prefix(image.bytes.data(), length);
        Bytes found;
        const bool ok = ExtractVersionBlock(prefix, found);
        EXPECT_EQ(ok, length >= blockEnd) << "length " << length;
        if (ok)
            EXPECT_EQ(found, block);
        else
            EXPECT_TRUE(found.empty());
    }
}

struct Corruption
{
    const char* name;
    std::function<void(PeImage&)> apply;
};

class PeVersionCorruptionTest : public testing::TestWithParam<Corruption>
{
};

TEST_P(PeVersionCorruptionTest, FailsWithAReason)
{
    PeImage image = BuildPeImage(BuildVersionBlock(DefaultVersionRecipe()));
    GetParam().apply(image);
    Bytes found;
    std::string error;
    EXPECT_FALSE(ExtractVersionBlock(image.bytes, found, &error));
    EXPECT_TRUE(found.empty());
    EXPECT_FALSE(error.empty());
}

const Corruption kCorruptions[] = {
    {"NoMzMagic", [](PeImage& i) { i.bytes[0] = 'Z'; }},
    {"PeOffsetPastTheEnd", [](PeImage& i) { PutU32(i.bytes, 0x3C, 0x00100000); }},
    {"PeOffsetNearFourGiB", [](PeImage& i) { PutU32(i.bytes, 0x3C, 0xFFFFFFFE); }},
    {"NoPeSignature", [](PeImage& i) { i.bytes[i.peOffset + 1] = 'X'; }},
    {"UnknownOptionalMagic", [](PeImage& i) { PutU16(i.bytes, i.optionalHeaderOffset, 0x107); }},
    {"TooFewDataDirectories", [](PeImage& i) { PutU32(i.bytes, i.directoryCountOffset, 2); }},
    {"OptionalHeaderTooSmall",
     [](PeImage& i) { PutU16(i.bytes, i.peOffset + 4 + 16, 96 + 16); }},
    {"NoResourceDirectory", [](PeImage& i) { PutU32(i.bytes, i.resourceDirectoryOffset, 0); }},
    {"ResourceRvaOutsideSections",
     [](PeImage& i) { PutU32(i.bytes, i.resourceDirectoryOffset, 0x00900000); }},
    {"NoSections", [](PeImage& i) { PutU16(i.bytes, i.peOffset + 4 + 2, 0); }},
    {"SectionTableBeyondTheFile", [](PeImage& i) { PutU16(i.bytes, i.peOffset + 4 + 2, 0xFFFF); }},
    {"SectionRawPointerPastTheEnd",
     [](PeImage& i) { PutU32(i.bytes, i.resourceSectionHeaderOffset + 20, 0xFFFFFE00); }},
    {"SectionRawSizeTooSmall",
     [](PeImage& i) { PutU32(i.bytes, i.resourceSectionHeaderOffset + 16, 0x10); }},
    {"SectionRvaWraps",
     [](PeImage& i)
     {
         PutU32(i.bytes, i.resourceSectionHeaderOffset + 12, 0xFFFFF000);
         PutU32(i.bytes, i.resourceSectionHeaderOffset + 8, 0xFFFFFFFF);
     }},
    {"RootEntryCountHuge", [](PeImage& i) { PutU16(i.bytes, i.rootDirectoryOffset + 14, 0xFFFF); }},
    {"NoVersionType", [](PeImage& i) { PutU32(i.bytes, i.versionTypeEntryOffset, 6); }},
    {"VersionTypeIsNotADirectory",
     [](PeImage& i) { PutU32(i.bytes, i.versionTypeEntryOffset + 4, 0x28); }},
    {"VersionTypeDirectoryFarAway",
     [](PeImage& i) { PutU32(i.bytes, i.versionTypeEntryOffset + 4, 0xFFFFFFF0); }},
    {"NameDirectoryEmpty", [](PeImage& i) { PutU16(i.bytes, i.nameDirectoryOffset + 14, 0); }},
    {"NameEntryIsNotADirectory",
     [](PeImage& i) { PutU32(i.bytes, i.nameDirectoryOffset + 20, 0x58); }},
    {"LanguageEntryIsADirectory",
     [](PeImage& i) { PutU32(i.bytes, i.languageDirectoryOffset + 20, 0x80000040); }},
    {"LanguageEntryPointsOutside",
     [](PeImage& i) { PutU32(i.bytes, i.languageDirectoryOffset + 20, 0x7FFFFFF8); }},
    {"DataSizeZero", [](PeImage& i) { PutU32(i.bytes, i.dataEntryOffset + 4, 0); }},
    {"DataSizeHuge", [](PeImage& i) { PutU32(i.bytes, i.dataEntryOffset + 4, 0xFFFFFFFF); }},
    {"DataSizePastTheSection",
     [](PeImage& i) { PutU32(i.bytes, i.dataEntryOffset + 4, 0x10000); }},
    {"DataRvaWraps", [](PeImage& i) { PutU32(i.bytes, i.dataEntryOffset, 0xFFFFFFF0); }},
    {"DataOverrunsItsSection",
     [](PeImage& i) { PutU32(i.bytes, i.dataEntryOffset, 0x1000 + 0x8); }},
};

INSTANTIATE_TEST_SUITE_P(BrokenImages, PeVersionCorruptionTest, testing::ValuesIn(kCorruptions),
                         [](const testing::TestParamInfo<Corruption>& p)
                         { return std::string(p.param.name); });

// Random damage anywhere must never lead outside the data (the sanitizers
// watch); whatever comes out either fails or is a block that lies inside
// the file.
TEST(PeVersionFuzzTest, RandomDamageNeverReadsOutsideTheData)
{
    const PeImage original = BuildPeImage(BuildVersionBlock(DefaultVersionRecipe()));
    std::mt19937 random(20240517);
    std::uniform_int_distribution<std::size_t> headerByte(0, original.blockOffset + 64);
    std::uniform_int_distribution<int> byteValue(0, 255);
    std::uniform_int_distribution<int> flips(1, 4);
    for (int round = 0; round < 3000; ++round)
    {
        Bytes bytes = original.bytes;
        for (int k = flips(random); k > 0; --k)
            bytes[headerByte(random)] = static_cast<std::uint8_t>(byteValue(random));
        Bytes found;
        if (ExtractVersionBlock(bytes, found))
        {
            EXPECT_LE(found.size(), bytes.size());
            VersionInfo info;
            if (info.Parse(found))
            {
                std::string text;
                info.QueryString(kFileVersionPath, text);
                info.GetTranslations();
                info.GetFixedFileInfo();
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Parsing the block

TEST(VersionInfoTest, EveryTruncatedBlockFailsAndTheWholeOneParses)
{
    const Bytes block = BuildVersionBlock(DefaultVersionRecipe());
    for (std::size_t length = 0; length < block.size(); ++length)
    {
        VersionInfo info;
        EXPECT_FALSE(info.Parse(std::span(block.data(), length))) << "length " << length;
        EXPECT_FALSE(info.IsValid());
        EXPECT_EQ(info.Find("\\"), nullptr);
    }
    VersionInfo info;
    EXPECT_TRUE(info.Parse(block));
}

struct BrokenBlock
{
    const char* name;
    std::function<Bytes()> make;
};

class VersionInfoBrokenTest : public testing::TestWithParam<BrokenBlock>
{
};

TEST_P(VersionInfoBrokenTest, Fails)
{
    const Bytes block = GetParam().make();
    VersionInfo info;
    EXPECT_FALSE(info.Parse(block));
    std::string text;
    EXPECT_FALSE(info.QueryString(kFileVersionPath, text));
    EXPECT_TRUE(info.GetTranslations().empty());
    EXPECT_FALSE(info.GetFixedFileInfo().has_value());
}

Bytes NestedBlock(int depth)
{
    Bytes node = MakeVersionNode("leaf", true, Utf16Z("x"));
    for (int i = 0; i < depth; ++i)
        node = MakeVersionNode("n", true, {}, {node});
    return MakeVersionNode("VS_VERSION_INFO", false, {}, {node});
}

const BrokenBlock kBrokenBlocks[] = {
    {"Empty", [] { return Bytes(); }},
    {"HeaderOnly", [] { return Bytes{8, 0, 0, 0, 0, 0}; }},
    {"WrongRootKey", [] { return MakeVersionNode("VS_VERSION", false, {}); }},
    {"RootLongerThanBlock",
     []
     {
         Bytes b = BuildVersionBlock(DefaultVersionRecipe());
         PutU16(b, 0, static_cast<std::uint16_t>(b.size() + 4));
         return b;
     }},
    {"RootShorterThanItsHeader",
     []
     {
         Bytes b = BuildVersionBlock(DefaultVersionRecipe());
         PutU16(b, 0, 6);
         return b;
     }},
    {"KeyWithoutTerminator",
     []
     {
         Bytes b = MakeVersionNode("VS_VERSION_INFO", false, {});
         PutU16(b, 0, 6 + 10); // ends inside the key
         return b;
     }},
    {"UnknownValueType",
     []
     {
         Bytes b = BuildVersionBlock(DefaultVersionRecipe());
         PutU16(b, 4, 7);
         return b;
     }},
    {"BinaryValueOverrunsItsNode",
     []
     {
         Bytes b = BuildVersionBlock(DefaultVersionRecipe());
         PutU16(b, 2, 0xF000);
         return b;
     }},
    {"ChildLongerThanItsParent",
     []
     {
         Bytes child = MakeVersionNode("StringFileInfo", true, {});
         Bytes b = MakeVersionNode("VS_VERSION_INFO", false, {}, {child});
         PutU16(b, b.size() - child.size(), static_cast<std::uint16_t>(child.size() + 8));
         return b;
     }},
    {"ChildShorterThanAHeader",
     []
     {
         Bytes child = MakeVersionNode("StringFileInfo", true, {});
         Bytes b = MakeVersionNode("VS_VERSION_INFO", false, {}, {child});
         PutU16(b, b.size() - child.size(), 3);
         return b;
     }},
    {"TooDeep", [] { return NestedBlock(VersionInfo::kMaxDepth); }},
    {"TooManyNodes",
     []
     {
         // Nodes of eight bytes (header and an empty key): more of them
         // than the cap fit easily in a 16-bit block length.
         const std::vector<Bytes> children(VersionInfo::kMaxNodes + 1,
                                           MakeVersionNode("", true, {}));
         return MakeVersionNode("VS_VERSION_INFO", false, {}, children);
     }},
};

INSTANTIATE_TEST_SUITE_P(Blocks, VersionInfoBrokenTest, testing::ValuesIn(kBrokenBlocks),
                         [](const testing::TestParamInfo<BrokenBlock>& p)
                         { return std::string(p.param.name); });

TEST(VersionInfoTest, NestingUpToTheCapParses)
{
    VersionInfo info;
    EXPECT_TRUE(info.Parse(NestedBlock(VersionInfo::kMaxDepth - 1)));
}

TEST(VersionInfoTest, ToleratesWhatResourceCompilersWrite)
{
    // A text value counted in bytes instead of 16-bit units claims twice
    // its size; the text still reads up to its zero. Zero padding after the
    // last child ends the child list.
    Bytes value = MakeVersionNode("FileVersion", true, Utf16Z("1.0"));
    PutU16(value, 2, static_cast<std::uint16_t>(Utf16Z("1.0").size()));
    Bytes table = MakeVersionNode("041104B0", true, {}, {value});
    table.insert(table.end(), 8, 0);
    PutU16(table, 0, static_cast<std::uint16_t>(table.size()));
    const Bytes block = MakeVersionNode(
        "VS_VERSION_INFO", false, {}, {MakeVersionNode("StringFileInfo", true, {}, {table})});

    VersionInfo info;
    ASSERT_TRUE(info.Parse(block));
    std::string text;
    ASSERT_TRUE(info.QueryString(kFileVersionPath, text));
    EXPECT_EQ(text, "1.0");
    EXPECT_EQ(info.Find("\\StringFileInfo\\041104B0")->children.size(), 1u);
    // No fixed information and no translations: both absent, not errors.
    EXPECT_FALSE(info.GetFixedFileInfo().has_value());
    EXPECT_TRUE(info.GetTranslations().empty());
}

TEST(VersionInfoTest, FixedInfoNeedsItsSignature)
{
    Bytes block = BuildVersionBlock(DefaultVersionRecipe());
    const std::size_t fixedAt = 6 + Utf16Z("VS_VERSION_INFO").size() + 2; // padded to 40
    ASSERT_EQ(fixedAt, 40u);
    PutU32(block, fixedAt, 0x12345678);
    VersionInfo info;
    ASSERT_TRUE(info.Parse(block));
    EXPECT_FALSE(info.GetFixedFileInfo().has_value());
}

} // namespace
