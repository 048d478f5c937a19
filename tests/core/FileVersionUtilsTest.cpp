#include "core/FileVersionUtils.h"

#include "tests/support/PeBuilder.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

using testsupport::BuildPeImage;
using testsupport::BuildVersionBlock;
using testsupport::DefaultVersionRecipe;
using testsupport::VersionRecipe;
using testsupport::VersionTable;

namespace {

class FileVersionUtilsTest : public testing::Test
{
protected:
    // Writes a program image whose version resource follows recipe.
    std::string WriteProgram(const VersionRecipe& recipe, const std::string& name = "prog.exe")
    {
        const std::string path = m_dir.File(name);
        testsupport::WriteBinaryFile(path, BuildPeImage(BuildVersionBlock(recipe)).bytes);
        return path;
    }

    testsupport::TempDir m_dir;
};

TEST_F(FileVersionUtilsTest, ReadsTheValuesOfTheFirstTranslation)
{
    CFileVersionUtils version;
    ASSERT_TRUE(version.Load(WriteProgram(DefaultVersionRecipe())));
    EXPECT_FALSE(version.GetBlock().empty());
    std::string value;
    ASSERT_TRUE(version.QueryValue("FileVersion", value));
    EXPECT_EQ(value, "3.2.0.1");
    ASSERT_TRUE(version.QueryValue("ProductName", value));
    EXPECT_EQ(value, "クイルブレイク Converter");
    value = "kept";
    EXPECT_FALSE(version.QueryValue("LegalCopyright", value));
    EXPECT_EQ(value, "kept");
}

TEST_F(FileVersionUtilsTest, ChoosesTheTableOfTheFirstTranslationOnly)
{
    VersionRecipe recipe;
    VersionTable english;
    english.language = 0x0409;
    english.codePage = 0x04E4;
    english.key = "040904e4"; // lower-case hex as some tools write it
    english.strings = {{"FileVersion", "1.0 english"}, {"ProductName", "English"}};
    VersionTable japanese;
    japanese.strings = {{"FileVersion", "1.0 日本語"}, {"Comments", "only here"}};
    recipe.tables = {japanese, english};
    recipe.translations = {{0x0409, 0x04E4}, {0x0411, 0x04B0}};

    CFileVersionUtils version;
    ASSERT_TRUE(version.Load(WriteProgram(recipe)));
    std::string value;
    ASSERT_TRUE(version.QueryValue("FileVersion", value));
    EXPECT_EQ(value, "1.0 english");
    EXPECT_FALSE(version.QueryValue("Comments", value)); // not in the first table
}

TEST_F(FileVersionUtilsTest, QueryFailsWithoutBlockOrTranslation)
{
    CFileVersionUtils version;
    std::string value;
    EXPECT_FALSE(version.QueryValue("FileVersion", value)); // nothing loaded

    VersionRecipe recipe = DefaultVersionRecipe();
    recipe.translations.clear();
    ASSERT_TRUE(version.Load(WriteProgram(recipe)));
    EXPECT_FALSE(version.QueryValue("FileVersion", value));
}

TEST_F(FileVersionUtilsTest, FailedLoadsLeaveNoBlock)
{
    CFileVersionUtils version;
    ASSERT_TRUE(version.Load(WriteProgram(DefaultVersionRecipe())));

    // A file that is no program, a missing file, and a program whose block
    // is malformed (root length past the block) all clear what was loaded.
    testsupport::WriteTextFile(m_dir.File("notes.txt"), "just text");
    testsupport::Bytes block = BuildVersionBlock(DefaultVersionRecipe());
    testsupport::PutU16(block, 0, static_cast<std::uint16_t>(block.size() + 40));
    testsupport::WriteBinaryFile(m_dir.File("broken.exe"), BuildPeImage(block).bytes);

    for (const char* name : {"notes.txt", "missing.exe", "broken.exe"})
    {
        SCOPED_TRACE(name);
        EXPECT_FALSE(version.Load(m_dir.File(name)));
        EXPECT_TRUE(version.GetBlock().empty());
        std::string value;
        EXPECT_FALSE(version.QueryValue("FileVersion", value));
        ASSERT_TRUE(version.Load(WriteProgram(DefaultVersionRecipe())));
    }
}

} // namespace

TEST(VersionNumbersTest, ParsesTheLeadingNumbers)
{
    struct Case
    {
        const char* text;
        std::vector<int> numbers;
    };
    const Case cases[] = {
        {"3.2.0.1", {3, 2, 0, 1}},
        {"3.10", {3, 10}},
        {"3, 2, 0, 1", {3, 2, 0, 1}},
        {"4.1 beta", {4, 1}},
        {"5.", {5}},
        {"7.x.3", {7}},
        {"", {}},
        {"v3.2", {}},
        {" 3.2", {}},
        {"99999999999.1", {2147483647, 1}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseVersionNumbers(c.text), c.numbers) << c.text;
}

TEST(VersionNumbersTest, ComparesPartByPartAsNumbers)
{
    struct Case
    {
        std::vector<int> a, b;
        int order;
    };
    const Case cases[] = {
        {{3, 10}, {3, 2}, 1},      {{3, 1}, {3, 2}, -1}, {{3, 2}, {3, 2, 0, 0}, 0},
        {{3, 2, 0, 1}, {3, 2}, 1}, {{10}, {9, 99}, 1},   {{}, {0}, 0},
        {{2, 10}, {3}, -1},
    };
    for (const Case& c : cases)
    {
        const int order = CompareVersionNumbers(c.a, c.b);
        EXPECT_EQ((order > 0) - (order < 0), c.order);
        const int reverse = CompareVersionNumbers(c.b, c.a);
        EXPECT_EQ((reverse > 0) - (reverse < 0), -c.order);
    }
}
