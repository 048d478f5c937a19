#include "core/IniFile.h"

#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstdio>
#include <locale>
#include <string>
#include <vector>

using testsupport::ReadTextFile;
using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

class IniFileTest : public testing::Test
{
protected:
    std::string Path() const { return m_dir.File("settings.ini"); }
    // Writes the file as a user or an older version left it.
    void Store(const std::string& text) const { WriteTextFile(Path(), text); }

    TempDir m_dir;
};

TEST_F(IniFileTest, GetStringGivesTheDefaultForMissingOrEmptyValues)
{
    Store("[Folders]\nImage=/home/u/Pictures\nEmpty=\nBlank=   \n");
    const CIniFile ini(Path());
    EXPECT_EQ(ini.GetString("Folders", "Image", "x"), "/home/u/Pictures");
    EXPECT_EQ(ini.GetString("folders", "IMAGE", "x"), "/home/u/Pictures");
    EXPECT_EQ(ini.GetString("Folders", "Empty", "x"), "x");
    EXPECT_EQ(ini.GetString("Folders", "Blank", "x"), "x");
    EXPECT_EQ(ini.GetString("Folders", "Missing", "x"), "x");
    EXPECT_EQ(ini.GetString("Missing", "Image", "x"), "x");
    EXPECT_EQ(CIniFile(m_dir.File("nofile.ini")).GetString("Folders", "Image", "x"), "x");
}

TEST_F(IniFileTest, LongValuesAreNotCut)
{
    std::string value;
    for (int i = 0; i < 5000; ++i)
        value += static_cast<char>('a' + i % 26);
    CIniFile ini(Path());
    ASSERT_TRUE(ini.SetString("Long", "Value", value));
    EXPECT_EQ(CIniFile(Path()).GetString("Long", "Value", ""), value);
}

TEST_F(IniFileTest, GetIntReadsTheLeadingNumber)
{
    struct Case
    {
        const char* key;
        int expected;
    };
    Store("[N]\nPlain=42\nSpaced=  -17  \nPlus=+5\nTrailing=12abc\nText=abc\nEmpty=\n"
          "Huge=99999999999\nHugeNegative=-99999999999\n");
    const Case cases[] = {
        {"Plain", 42},          {"Spaced", -17},   {"Plus", 5},
        {"Trailing", 12},       {"Text", 0},       {"Empty", 77}, // empty reads as missing
        {"Missing", 77},        {"Huge", INT_MAX}, {"HugeNegative", INT_MIN},
    };
    const CIniFile ini(Path());
    for (const Case& c : cases)
        EXPECT_EQ(ini.GetInt("N", c.key, 77), c.expected) << c.key;
}

TEST_F(IniFileTest, GetDoubleLetsTheDefaultTravelAsText)
{
    Store("[D]\nValue=1.25e2\nText=abc\nComma=1,5\n");
    const CIniFile ini(Path());
    EXPECT_EQ(ini.GetDouble("D", "Missing", 2.2), 2.2);
    EXPECT_EQ(ini.GetDouble("D", "Value", 2.2), 125.0);
    EXPECT_EQ(ini.GetDouble("D", "Text", 2.2), 0.0);
    EXPECT_EQ(ini.GetDouble("D", "Comma", 2.2), 1.0);
    // The default passes through its "%f" text, six decimals.
    EXPECT_EQ(ini.GetDouble("D", "Missing", 1e-7), 0.0);
    EXPECT_EQ(ini.GetDouble("D", "Missing", 0.1234567), 0.123457);
}

TEST_F(IniFileTest, GetDoubleListNeedsACommaAfterEveryValueAndTheExpectedCount)
{
    struct Case
    {
        const char* key;
        bool ok;
        std::vector<double> values;
    };
    const std::vector<double> fallback = {9.0, 8.0, 7.0};
    Store("[L]\nTrailing=1.5,2.5,3.5,\nNoTrailing=1.5,2.5,3.5\nTail=1.5,2.5,3.5,junk\n"
          "Short=1,2,\nLong=1,2,3,4,\nSpaces= 1.5 , 2.5 ,3.5 ,\nText=a,b,c,\nEmpty=\n"
          "Marker=NoData!\nNegative=-1e-3,0,65535,\n");
    const Case cases[] = {
        {"Trailing", true, {1.5, 2.5, 3.5}},
        {"NoTrailing", false, fallback},
        {"Tail", true, {1.5, 2.5, 3.5}},
        {"Short", false, fallback},
        {"Long", false, fallback},
        {"Spaces", true, {1.5, 2.5, 3.5}},
        {"Text", true, {0.0, 0.0, 0.0}}, // each piece parsed as a number
        {"Empty", false, fallback},
        {"Marker", false, fallback},
        {"Missing", false, fallback},
        {"Negative", true, {-1e-3, 0.0, 65535.0}},
    };
    const CIniFile ini(Path());
    for (const Case& c : cases)
    {
        std::vector<double> out = {1.0};
        EXPECT_EQ(ini.GetDoubleList(c.key, fallback, out, "L"), c.ok) << c.key;
        EXPECT_EQ(out, c.values) << c.key;
    }
}

TEST_F(IniFileTest, DoubleListsRoundTripWithoutALengthLimit)
{
    std::vector<double> values;
    for (int i = 0; i < 2000; ++i)
        values.push_back(i * 0.5 - 100.0);
    CIniFile ini(Path());
    ASSERT_TRUE(ini.SetDoubleList("Lists", "Many", values));
    ASSERT_TRUE(ini.SetDoubleList("Lists", "Short", std::vector<double>{1.5, 2.5}));
    ASSERT_TRUE(ini.SetDoubleList("Lists", "Precise", std::vector<double>{0.1234567891}, 10));
    EXPECT_NE(ReadTextFile(Path()).find("Short=1.500000,2.500000,\n"), std::string::npos);
    EXPECT_NE(ReadTextFile(Path()).find("Precise=0.1234567891,\n"), std::string::npos);

    std::vector<double> out;
    ASSERT_TRUE(CIniFile(Path()).GetDoubleList("Many", std::vector<double>(2000), out, "Lists"));
    EXPECT_EQ(out, values);
}

TEST_F(IniFileTest, WritesUseCFormatsAndMarkTheObjectDirty)
{
    CIniFile ini(Path());
    EXPECT_FALSE(ini.IsDirty());
    ASSERT_TRUE(ini.SetInt("Window", "Width", -640));
    EXPECT_TRUE(ini.IsDirty());
    ASSERT_TRUE(ini.SetDouble("Window", "Zoom", 0.25));
    ASSERT_TRUE(ini.SetString("Window", "Title", "夕焼け"));

    const std::string text = ReadTextFile(Path());
    EXPECT_NE(text.find("Width=-640\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Zoom=0.250000\n"), std::string::npos) << text;
    const CIniFile again(Path());
    EXPECT_EQ(again.GetInt("Window", "Width", 0), -640);
    EXPECT_EQ(again.GetDouble("Window", "Zoom", 0.0), 0.25);
    EXPECT_EQ(again.GetString("Window", "Title", ""), "夕焼け");
}

TEST_F(IniFileTest, SetDoubleWithoutSectionWritesDetailMode)
{
    CIniFile ini(Path());
    ASSERT_TRUE(ini.SetDouble("CurCIEx", 0.3127));
    ASSERT_TRUE(ini.SetDouble("CurCIEy", 0.329));
    const auto pairs = ini.GetSection("DetailMode");
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0], std::make_pair(std::string("CurCIEx"), std::string("0.312700")));
    EXPECT_EQ(pairs[1], std::make_pair(std::string("CurCIEy"), std::string("0.329000")));
}

TEST_F(IniFileTest, DeletesKeysAndSections)
{
    CIniFile ini(Path());
    ASSERT_TRUE(ini.SetInt("A", "One", 1));
    ASSERT_TRUE(ini.SetInt("A", "Two", 2));
    ASSERT_TRUE(ini.SetInt("B", "Three", 3));
    ASSERT_TRUE(ini.DeleteKey("A", "One"));
    EXPECT_EQ(ini.GetInt("A", "One", -1), -1);
    EXPECT_EQ(ini.GetInt("A", "Two", -1), 2);
    ASSERT_TRUE(ini.DeleteSection("B"));
    EXPECT_EQ(ini.GetInt("B", "Three", -1), -1);
    EXPECT_TRUE(ini.GetSection("B").empty());
    EXPECT_TRUE(ini.DeleteKey("Nothing", "Here"));
}

TEST_F(IniFileTest, WriteIntoAMissingFolderFailsAndStaysDirty)
{
    CIniFile ini(m_dir.File("no/such/folder/settings.ini"));
    EXPECT_FALSE(ini.SetInt("A", "B", 1));
    EXPECT_FALSE(ini.SetDouble("B", 1.0));
    EXPECT_TRUE(ini.IsDirty());
    EXPECT_EQ(ini.GetInt("A", "B", 5), 5);
}

TEST_F(IniFileTest, TwoObjectsOnOneFileLoseNoWrite)
{
    CIniFile first(Path());
    CIniFile second(Path());
    for (int i = 0; i < 20; ++i)
    {
        ASSERT_TRUE(first.SetInt("First", "Key" + std::to_string(i), i));
        ASSERT_TRUE(second.SetInt("Second", "Key" + std::to_string(i), -i));
    }
    const CIniFile reader(Path());
    for (int i = 0; i < 20; ++i)
    {
        EXPECT_EQ(reader.GetInt("First", "Key" + std::to_string(i), 999), i);
        EXPECT_EQ(reader.GetInt("Second", "Key" + std::to_string(i), 999), -i);
    }
}

// Sets a locale that writes a decimal comma for the C library and the C++
// global locale, and puts both back afterwards.
class DecimalCommaLocale
{
public:
    DecimalCommaLocale() : m_savedC(std::setlocale(LC_ALL, nullptr)), m_savedGlobal(std::locale())
    {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"})
        {
            try
            {
                std::locale::global(std::locale(name));
            }
            catch (const std::runtime_error&)
            {
                continue;
            }
            if (std::string(std::localeconv()->decimal_point) == ",")
            {
                m_active = true;
                return;
            }
        }
    }
    ~DecimalCommaLocale()
    {
        std::locale::global(m_savedGlobal);
        std::setlocale(LC_ALL, m_savedC.c_str());
    }
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

    bool IsActive() const { return m_active; }

private:
    std::string m_savedC;
    std::locale m_savedGlobal;
    bool m_active = false;
};

TEST_F(IniFileTest, NumbersIgnoreADecimalCommaLocale)
{
    DecimalCommaLocale locale;
    if (!locale.IsActive())
        GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5"); // the process locale really writes a comma

    CIniFile ini(Path());
    ASSERT_TRUE(ini.SetDouble("Locale", "Value", 1.5));
    ASSERT_TRUE(ini.SetDoubleList("Locale", "List", std::vector<double>{0.5, 0.25}));
    const std::string text = ReadTextFile(Path());
    EXPECT_NE(text.find("Value=1.500000\n"), std::string::npos) << text;
    EXPECT_NE(text.find("List=0.500000,0.250000,\n"), std::string::npos) << text;
    EXPECT_EQ(ini.GetDouble("Locale", "Value", 0.0), 1.5);
    EXPECT_EQ(ini.GetDouble("Locale", "Missing", 2.2), 2.2);

    ASSERT_TRUE(ini.SetString("Locale", "Stored", "1.5,2.5,3.5,"));
    std::vector<double> out;
    EXPECT_TRUE(ini.GetDoubleList("Stored", {0.0, 0.0, 0.0}, out, "Locale"));
    EXPECT_EQ(out, (std::vector<double>{1.5, 2.5, 3.5}));
}

} // namespace
