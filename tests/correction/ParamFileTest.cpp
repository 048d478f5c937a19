#include "correction/ParamFile.h"

#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <dirent.h>
#include <limits>
#include <string>
#include <vector>

using testsupport::ReadTextFile;
using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str()))
    {
        while (const dirent* entry = ::readdir(dir))
        {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    return names;
}

class ParamFileTest : public testing::Test
{
protected:
    std::string Path() const { return m_dir.File("params.qzp"); }

    CParamFileReader Read(const std::string& text) const
    {
        WriteTextFile(Path(), text);
        CParamFileReader reader;
        EXPECT_TRUE(reader.Load(Path()));
        return reader;
    }

    TempDir m_dir;
};

// --- Writing ----------------------------------------------------------------

TEST_F(ParamFileTest, SaveDocFormatsNumbersAsTheFileExpects)
{
    CParamFileWriter file;
    ASSERT_TRUE(file.BeginSection("qzTest"));
    CSaveDoc save(file);
    const std::vector<double> list{1.5, 2.0};
    EXPECT_TRUE(save.WriteDoubleList("List", list));
    EXPECT_TRUE(save.WriteDoubleList("Empty", std::vector<double>{}));
    EXPECT_TRUE(save.WriteInt("Int", -42));
    EXPECT_TRUE(save.WriteDouble("Double", 0.1));
    EXPECT_TRUE(save.WriteKey("Text", "abc"));
    EXPECT_EQ(file.GetText(), "[qzTest]\n"
                              "List=1.5000000000,2.0000000000,\n"
                              "Empty=\n"
                              "Int=-42\n"
                              "Double=0.100000\n"
                              "Text=abc\n");
    EXPECT_TRUE(file.IsGood());
}

TEST_F(ParamFileTest, NumbersAreWrittenInTheCLocaleWhateverTheProcessLocale)
{
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "de_DE.utf8"))
        GTEST_SKIP() << "no German locale installed";
    CParamFileWriter file;
    file.BeginSection("s");
    CSaveDoc save(file);
    save.WriteDouble("d", 2.5);
    save.WriteDoubleList("l", std::vector<double>{0.25});
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(file.GetText(), "[s]\nd=2.500000\nl=0.2500000000,\n");
}

TEST_F(ParamFileTest, WritesThatCannotReadBackFailTheWholeFile)
{
    struct Case
    {
        const char* name;
        bool (*write)(CParamFileWriter&);
    };
    const Case cases[] = {
        {"key before any section", [](CParamFileWriter& f) { return f.WriteKey("k", "v"); }},
        {"line break in a value",
         [](CParamFileWriter& f) { return f.BeginSection("s") && f.WriteKey("k", "a\nb"); }},
        {"carriage return in a value",
         [](CParamFileWriter& f) { return f.BeginSection("s") && f.WriteKey("k", "a\rb"); }},
        {"empty key",
         [](CParamFileWriter& f) { return f.BeginSection("s") && f.WriteKey("", "v"); }},
        {"key with '='",
         [](CParamFileWriter& f) { return f.BeginSection("s") && f.WriteKey("a=b", "v"); }},
        {"key starting a comment",
         [](CParamFileWriter& f) { return f.BeginSection("s") && f.WriteKey(";k", "v"); }},
        {"empty section", [](CParamFileWriter& f) { return f.BeginSection(""); }},
        {"section with ']'", [](CParamFileWriter& f) { return f.BeginSection("a]b"); }},
        {"NaN double",
         [](CParamFileWriter& f) {
             CSaveDoc save(f);
             return f.BeginSection("s") && save.WriteDouble("d", std::nan(""));
         }},
        {"infinite list value",
         [](CParamFileWriter& f) {
             CSaveDoc save(f);
             const std::vector<double> list{1.0, std::numeric_limits<double>::infinity()};
             return f.BeginSection("s") && save.WriteDoubleList("l", list);
         }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        WriteTextFile(Path(), "old contents\n");
        CParamFileWriter file;
        EXPECT_FALSE(c.write(file));
        EXPECT_FALSE(file.IsGood());
        EXPECT_FALSE(file.SaveToFile(Path()));
        EXPECT_EQ(ReadTextFile(Path()), "old contents\n");
    }
}

TEST_F(ParamFileTest, SaveReplacesTheWholeFileAndLeavesNoTemporary)
{
    WriteTextFile(Path(), "[Old]\nKey=1\n");
    CParamFileWriter file;
    file.BeginSection("New");
    file.WriteKey("A", "1");
    ASSERT_TRUE(file.SaveToFile(Path()));
    EXPECT_EQ(ReadTextFile(Path()), "[New]\nA=1\n");
    EXPECT_EQ(FolderEntries(m_dir.Path()), std::vector<std::string>{"params.qzp"});

    // A folder that does not exist: nothing is written, nothing reported done.
    EXPECT_FALSE(file.SaveToFile(m_dir.File("missing/params.qzp")));
}

TEST_F(ParamFileTest, ValuesReadBackExactlyAsWritten)
{
    const std::string values[] = {"",           "plain",     "  leading",   "trailing\t",
                                  "\"quoted\"", "a \"b\" c", "ümlaut 日本", "=",
                                  ";x",         "[x]"};
    CParamFileWriter file;
    file.BeginSection("Titles");
    for (std::size_t i = 0; i < std::size(values); ++i)
        ASSERT_TRUE(file.WriteKey("K" + std::to_string(i), values[i]));
    ASSERT_TRUE(file.SaveToFile(Path()));

    CParamFileReader reader;
    ASSERT_TRUE(reader.Load(Path()));
    for (std::size_t i = 0; i < std::size(values); ++i)
    {
        const auto value = reader.GetValue("Titles", "K" + std::to_string(i));
        ASSERT_TRUE(value.has_value()) << i;
        EXPECT_EQ(*value, values[i]) << i;
    }
}

// --- Reading ----------------------------------------------------------------

TEST_F(ParamFileTest, ReadsLfAndCrLfInAnySectionOrder)
{
    const char* texts[] = {
        "[B]\nx=2\n[A]\nx=1\n",
        "[B]\r\nx=2\r\n[A]\r\nx=1\r\n",
        "[A]\r\nx=1\n[B]\nx=2",
        "; comment\n\n[a]\n  X = 1 \n[b]\nX=2\n",
    };
    for (const char* text : texts)
    {
        SCOPED_TRACE(text);
        const CParamFileReader reader = Read(text);
        EXPECT_EQ(reader.GetInt("A", "x", 0), 1);
        EXPECT_EQ(reader.GetInt("B", "X", 0), 2);
        EXPECT_TRUE(reader.HasSection("a"));
        EXPECT_FALSE(reader.HasSection("C"));
    }
}

TEST_F(ParamFileTest, FirstSectionAndFirstKeyOfANameWin)
{
    const CParamFileReader reader = Read("[S]\nk=1\nk=2\n[T]\nk=5\n[s]\nk=3\nj=4\n");
    EXPECT_EQ(reader.GetInt("S", "k", 0), 1);
    // The later copy of the section is shadowed as a whole.
    EXPECT_EQ(reader.GetInt("S", "j", 0), 0);
    EXPECT_EQ(reader.GetInt("T", "k", 0), 5);
}

TEST_F(ParamFileTest, IntegersMustBeWholeNumbersInRange)
{
    struct Case
    {
        const char* stored;
        int expected;
    };
    const Case cases[] = {
        {"12", 12},
        {" -7 ", -7},
        {"+3", 3},
        {"0", 0},
        {"abc", 99},
        {"12abc", 99},
        {"1.5", 99},
        {"", 99},
        {"0x10", 99},
        {"2147483647", 2147483647},
        {"2147483648", 99},
        {"-2147483649", 99},
        {"99999999999999999999999", 99},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.stored);
        const CParamFileReader reader = Read(std::string("[S]\nk=") + c.stored + "\n");
        EXPECT_EQ(reader.GetInt("S", "k", 99), c.expected);
    }
    const CParamFileReader reader = Read("[S]\n");
    EXPECT_EQ(reader.GetInt("S", "missing", 99), 99);
    EXPECT_EQ(reader.GetInt("Missing", "k", 99), 99);
}

TEST_F(ParamFileTest, RangeCheckedIntegersFallBackToTheirDefault)
{
    constexpr IntParam param{"Shadow", 7, 0, 100};
    const struct
    {
        const char* stored;
        int expected;
    } cases[] = {{"0", 0}, {"100", 100}, {"101", 7}, {"-1", 7}, {"x", 7}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(Read(std::string("[S]\nShadow=") + c.stored + "\n").GetInt("S", param),
                  c.expected);
    }
}

TEST_F(ParamFileTest, DoublesRefuseNonFiniteAndPartialNumbers)
{
    constexpr DoubleParam param{"d", 0.5, -10.0, 10.0};
    const struct
    {
        const char* stored;
        double plain;   // GetDouble with default 0.5
        double checked; // GetDouble with the range
    } cases[] = {
        {"1.250000", 1.25, 1.25}, {"-3", -3.0, -3.0}, {"1e1", 10.0, 10.0}, {"11", 11.0, 0.5},
        {"nan", 0.5, 0.5},        {"inf", 0.5, 0.5},  {"-inf", 0.5, 0.5},  {"1e999", 0.5, 0.5},
        {"1.5x", 0.5, 0.5},       {"", 0.5, 0.5},     {"1,5", 0.5, 0.5},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.stored);
        const CParamFileReader reader = Read(std::string("[S]\nd=") + c.stored + "\n");
        EXPECT_EQ(reader.GetDouble("S", "d", 0.5), c.plain);
        EXPECT_EQ(reader.GetDouble("S", param), c.checked);
    }
}

TEST_F(ParamFileTest, DoubleListsAreAcceptedOnlyWithTheExpectedCount)
{
    const std::vector<double> defaults{0.0, 0.0, 0.0};
    const struct
    {
        const char* stored;
        bool accepted;
        std::vector<double> values;
    } cases[] = {
        {"1.5,2.5,3.5,", true, {1.5, 2.5, 3.5}},
        {"1.5,2.5,3.5,junk after the last comma", true, {1.5, 2.5, 3.5}},
        // Without the trailing comma the last number is no value: two values.
        {"1.5,2.5,3.5", false, defaults},
        {"1,2,", false, defaults},
        {"1,2,3,4,", false, defaults},
        {"1,nan,3,", false, defaults},
        {"1,inf,3,", false, defaults},
        {"1,,3,", false, defaults},
        {"1,x,3,", false, defaults},
        {"", false, defaults},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.stored);
        const CParamFileReader reader = Read(std::string("[S]\nl=") + c.stored + "\n");
        std::vector<double> out{9.0};
        EXPECT_EQ(reader.GetDoubleList("S", "l", defaults, out), c.accepted);
        EXPECT_EQ(out, c.values);

        std::vector<double> counted{9.0};
        EXPECT_EQ(reader.GetDoubleList("S", "l", 3, counted), c.accepted);
        EXPECT_EQ(counted.size(), c.accepted ? 3u : 0u);
    }
}

TEST_F(ParamFileTest, AHugeListIsRefusedWithoutReadingItAll)
{
    std::string list;
    for (int i = 0; i < 200000; ++i)
        list += "1,";
    const CParamFileReader reader = Read("[S]\nl=" + list + "\n");
    std::vector<double> out;
    EXPECT_FALSE(reader.GetDoubleList("S", "l", 4, out));
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(reader.GetDoubleList("S", "l", 200000, out));
}

TEST_F(ParamFileTest, UnreadableFilesLoadNothing)
{
    CParamFileReader reader;
    EXPECT_FALSE(reader.Load(m_dir.File("missing.qzp")));
    EXPECT_FALSE(reader.Load(m_dir.Path()));

    // Far larger than any parameter file: refused before it is read.
    WriteTextFile(Path(), "[S]\nk=1\n" + std::string(5 * 1024 * 1024, ';'));
    EXPECT_FALSE(reader.Load(Path()));
    EXPECT_EQ(reader.GetInt("S", "k", 0), 0);

    // Binary garbage is a file without sections.
    WriteTextFile(Path(), std::string("\0\x01[\xff]\n=\n\x80", 9));
    EXPECT_TRUE(reader.Load(Path()));
    EXPECT_EQ(reader.GetString("S", "k", "default"), "default");
}

} // namespace
