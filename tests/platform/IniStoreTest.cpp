#include "platform/IniStore.h"

#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace platform;
using testsupport::ReadTextFile;
using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// A hand-edited file with everything a reader must cope with.
const char* const kHandEdited = "; settings of the main program\r\n"
                                "orphan=before any section\r\n"
                                "\r\n"
                                "[MainFrame]\r\n"
                                "Width = 1024 \r\n"
                                "\tHeight=\t768\r\n"
                                "Title=\"  Quoted title  \"\r\n"
                                "Half=\"only one quote\r\n"
                                "Empty=\r\n"
                                "EmptyQuoted=\"\"\r\n"
                                "an unknown line\r\n"
                                "; Width=1\r\n"
                                "Expr=a=b\r\n"
                                "\r\n"
                                "  [ Print ]  \r\n"
                                "DefaultPrinter=PDF\r\n";

class IniStoreTest : public ::testing::Test
{
protected:
    std::string Path(const std::string& name = "test.ini") const { return m_dir.File(name); }
    const TempDir& Dir() const { return m_dir; }

private:
    TempDir m_dir;
};

TEST_F(IniStoreTest, ReadsHandEditedFile)
{
    WriteTextFile(Path(), kHandEdited);
    const IniStore ini(Path());
    struct Case
    {
        const char* section;
        const char* key;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"MainFrame", "Width", "1024"},
        {"mainframe", "WIDTH", "1024"},
        {" MainFrame ", " Width ", "1024"},
        {"MainFrame", "Height", "768"},
        {"MainFrame", "Title", "  Quoted title  "},
        {"MainFrame", "Half", "\"only one quote"},
        {"MainFrame", "Empty", ""},
        {"MainFrame", "EmptyQuoted", ""},
        {"MainFrame", "Expr", "a=b"},
        {"PRINT", "defaultprinter", "PDF"},
        {"MainFrame", "Missing", std::nullopt},
        {"Missing", "Width", std::nullopt},
        {"MainFrame", "; Width", std::nullopt},
        {"MainFrame", "an unknown line", std::nullopt},
        {"", "orphan", std::nullopt},
        {"Print", "Width", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ini.Read(c.section, c.key), c.expected) << c.section << "/" << c.key;

    EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"MainFrame", "Print"}));
    EXPECT_EQ(ini.ReadSection("MAINFRAME"), (Pairs{{"Width", "1024"},
                                                   {"Height", "768"},
                                                   {"Title", "  Quoted title  "},
                                                   {"Half", "\"only one quote"},
                                                   {"Empty", ""},
                                                   {"EmptyQuoted", ""},
                                                   {"Expr", "a=b"}}));
    EXPECT_TRUE(ini.ReadSection("Missing").empty());
}

TEST_F(IniStoreTest, MissingFileReadsAsAbsent)
{
    const IniStore ini(Path("none.ini"));
    EXPECT_EQ(ini.Read("a", "b"), std::nullopt);
    EXPECT_TRUE(ini.Sections().empty());
    EXPECT_TRUE(ini.ReadSection("a").empty());
    const IniStore folder(Dir().Path());
    EXPECT_EQ(folder.Read("a", "b"), std::nullopt);
}

TEST_F(IniStoreTest, ByteOrderMarkIsSkipped)
{
    WriteTextFile(Path(), "\xEF\xBB\xBF[Sec]\nk=v\n");
    IniStore ini(Path());
    EXPECT_EQ(ini.Read("sec", "k"), "v");
    ASSERT_TRUE(ini.Write("sec", "k", "w"));
    EXPECT_EQ(ReadTextFile(Path()), "[Sec]\nk=w\n");
}

TEST_F(IniStoreTest, RewritePreservesEverythingElse)
{
    WriteTextFile(Path(), kHandEdited);
    IniStore ini(Path());
    ASSERT_TRUE(ini.Write("MAINFRAME", "WIDTH", "800"));
    // Only the one line changes (keeping the key's spelling); line ends
    // become LF.
    EXPECT_EQ(ReadTextFile(Path()), "; settings of the main program\n"
                                    "orphan=before any section\n"
                                    "\n"
                                    "[MainFrame]\n"
                                    "Width=800\n"
                                    "\tHeight=\t768\n"
                                    "Title=\"  Quoted title  \"\n"
                                    "Half=\"only one quote\n"
                                    "Empty=\n"
                                    "EmptyQuoted=\"\"\n"
                                    "an unknown line\n"
                                    "; Width=1\n"
                                    "Expr=a=b\n"
                                    "\n"
                                    "  [ Print ]  \n"
                                    "DefaultPrinter=PDF\n");
}

// Carriage returns a hand edit left inside lines (CR CR LF ends, a CR
// before "=" or inside quotes) read as blanks, so the rewrite with LF ends
// that any write makes leaves every key it does not touch reading exactly
// as before: every value of every section is compared, quoted ones too.
TEST_F(IniStoreTest, StrayCarriageReturnsReadTheSameAfterAnotherKeyIsWritten)
{
    WriteTextFile(Path(), "[Stray]\r\n"
                          "K=1\r\r\n"
                          "Q=\"\"x\"\r\r\n"
                          "Quoted=\"x\"\r\r\n"
                          "Inner=\" a \r\"\r\n"
                          "Middle=a\rb\r\r\n"
                          "Before\r=2\r\n"
                          "Only\r\r\r\n"
                          "Empty=\r\r\n"
                          "Last=end\r\r"
                          "\n[Other\r]\r\r\n"
                          "\rO=\r3\r\r\n");
    IniStore ini(Path());
    const std::vector<std::pair<std::string, Pairs>> expected = {
        {"Stray",
         {{"K", "1"},
          {"Q", "\"x"},
          {"Quoted", "x"},
          {"Inner", " a \r"},
          {"Middle", "a\rb"},
          {"Before", "2"},
          {"Empty", ""},
          {"Last", "end"}}},
        {"Other", {{"O", "3"}}},
    };
    const auto readAll = [&]
    {
        std::vector<std::pair<std::string, Pairs>> all;
        for (const std::string& section : ini.Sections())
            all.emplace_back(section, ini.ReadSection(section));
        return all;
    };
    ASSERT_EQ(readAll(), expected);
    for (const auto& [section, pairs] : expected)
    {
        for (const auto& [key, value] : pairs)
            EXPECT_EQ(ini.Read(section, key), value) << section << "/" << key;
    }

    ASSERT_TRUE(ini.Write("Other", "New", "v"));
    std::vector<std::pair<std::string, Pairs>> after = expected;
    after[1].second.emplace_back("New", "v");
    EXPECT_EQ(readAll(), after);
    ASSERT_TRUE(ini.Write("Stray", "K", "one"));
    after[0].second[0].second = "one";
    EXPECT_EQ(readAll(), after);
    ASSERT_TRUE(ini.DeleteKey("Stray", "Middle"));
    after[0].second.erase(after[0].second.begin() + 4);
    EXPECT_EQ(readAll(), after);
}

TEST_F(IniStoreTest, NewKeysAndSectionsGoWhereExpected)
{
    WriteTextFile(Path(), "[A]\nx=1\n\n; about B\n[B]\ny=2\n");
    IniStore ini(Path());
    ASSERT_TRUE(ini.Write("a", "New", "n"));
    ASSERT_TRUE(ini.Write("C", "z", "3"));
    EXPECT_EQ(ReadTextFile(Path()), "[A]\nx=1\nNew=n\n\n; about B\n[B]\ny=2\n\n[C]\nz=3\n");

    // A section without keys gets the key right after its header.
    WriteTextFile(Path(), "[Empty]\n; nothing yet\n[Next]\n");
    ASSERT_TRUE(ini.Write("Empty", "k", "v"));
    EXPECT_EQ(ReadTextFile(Path()), "[Empty]\nk=v\n; nothing yet\n[Next]\n");
}

TEST_F(IniStoreTest, WriteCreatesFileAndValuesRoundTripExactly)
{
    IniStore ini(Path("fresh.ini"));
    const std::string values[] = {
        "plain",
        "",
        "  padded  ",
        "\ttab",
        "\"quoted\"",
        "\"",
        "\"\"",
        "a=b=c",
        "; not a comment",
        "[not a section]",
        "1.500000,2.000000,-3.250000",
        "日本語のテキスト",
        std::string(5000, 'x'),
    };
    for (std::size_t i = 0; i < std::size(values); ++i)
    {
        const std::string key = "Key" + std::to_string(i);
        ASSERT_TRUE(ini.Write("Values", key, values[i])) << key;
        EXPECT_EQ(ini.Read("Values", key), values[i]) << key;
    }
    // Earlier values survive the later writes.
    for (std::size_t i = 0; i < std::size(values); ++i)
        EXPECT_EQ(ini.Read("values", "key" + std::to_string(i)), values[i]);
    EXPECT_EQ(ini.Sections(), std::vector<std::string>{"Values"});
}

TEST_F(IniStoreTest, LineBreaksAndUnwritableNamesAreRefused)
{
    WriteTextFile(Path(), "[S]\nk=old\n");
    IniStore ini(Path());
    struct Case
    {
        std::string section;
        std::string key;
        std::string value;
    };
    const Case cases[] = {
        {"S", "k", "two\nlines"},
        {"S", "k", "two\r\nlines"},
        {"S", "k", "trailing\r"},
        {"S", "k\nx", "v"},
        {"S\n[T]", "k", "v"},
        {"S", "a=b", "v"},
        {"S", "", "v"},
        {"S", "   ", "v"},
        {"S", ";k", "v"},
        {"S", "[k", "v"},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(ini.Write(c.section, c.key, c.value)) << c.section << "/" << c.key;
    EXPECT_EQ(ReadTextFile(Path()), "[S]\nk=old\n");
}

TEST_F(IniStoreTest, WriteFailsWhenFolderIsMissing)
{
    IniStore ini(Dir().File("no-folder/x.ini"));
    EXPECT_FALSE(ini.Write("a", "b", "c"));
}

TEST_F(IniStoreTest, DeleteKeyAndSection)
{
    WriteTextFile(Path(), "[A]\nx=1\ny=2\n; keep me\n[B]\nz=3\n");
    IniStore ini(Path());
    ASSERT_TRUE(ini.DeleteKey("a", "X"));
    EXPECT_EQ(ini.Read("A", "x"), std::nullopt);
    EXPECT_EQ(ini.Read("A", "y"), "2");
    EXPECT_EQ(ReadTextFile(Path()), "[A]\ny=2\n; keep me\n[B]\nz=3\n");

    ASSERT_TRUE(ini.DeleteSection("a"));
    EXPECT_EQ(ini.Sections(), std::vector<std::string>{"B"});
    EXPECT_EQ(ini.Read("B", "z"), "3");
    EXPECT_EQ(ReadTextFile(Path()), "[B]\nz=3\n");

    // Removing what is absent succeeds and leaves the file alone.
    WriteTextFile(Path(), "[B]\r\nz=3\r\n");
    EXPECT_TRUE(ini.DeleteKey("B", "nope"));
    EXPECT_TRUE(ini.DeleteKey("Nope", "z"));
    EXPECT_TRUE(ini.DeleteSection("Nope"));
    EXPECT_EQ(ReadTextFile(Path()), "[B]\r\nz=3\r\n");

    // A missing file (even in a missing folder) has nothing to remove.
    IniStore missing(Dir().File("no-folder/none.ini"));
    EXPECT_TRUE(missing.DeleteKey("a", "b"));
    EXPECT_TRUE(missing.DeleteSection("a"));
    EXPECT_FALSE(std::filesystem::exists(Dir().File("no-folder")));
}

// Windows reads the first section of a name and the first copy of a key in
// it; writes and deletions must agree with what reads show.
TEST_F(IniStoreTest, DuplicatesResolveToFirstOccurrence)
{
    WriteTextFile(Path(), "[A]\nk=1\nk=2\n[B]\nx=1\n[a]\nk=3\nm=4\n");
    IniStore ini(Path());
    EXPECT_EQ(ini.Read("A", "k"), "1");
    EXPECT_EQ(ini.Read("A", "m"), std::nullopt);
    EXPECT_EQ(ini.ReadSection("A"), (Pairs{{"k", "1"}}));
    EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"A", "B"}));

    ASSERT_TRUE(ini.Write("A", "k", "9"));
    EXPECT_EQ(ini.Read("A", "k"), "9");
    ASSERT_TRUE(ini.Write("A", "m", "5"));
    EXPECT_EQ(ini.Read("A", "m"), "5");
    EXPECT_EQ(ReadTextFile(Path()), "[A]\nk=9\nk=2\nm=5\n[B]\nx=1\n[a]\nk=3\nm=4\n");

    ASSERT_TRUE(ini.DeleteKey("A", "k"));
    EXPECT_EQ(ini.Read("A", "k"), std::nullopt);

    ASSERT_TRUE(ini.DeleteSection("A"));
    EXPECT_EQ(ini.Read("A", "k"), std::nullopt);
    EXPECT_EQ(ini.Read("A", "m"), std::nullopt);
    EXPECT_EQ(ReadTextFile(Path()), "[B]\nx=1\n");
}

TEST_F(IniStoreTest, ManyKeysKeepOrder)
{
    IniStore ini(Path());
    std::string text = "[List]\n";
    for (int i = 0; i < 3000; ++i)
        text += "File" + std::to_string(i) + "=/photos/img" + std::to_string(i) + ".tif\n";
    WriteTextFile(Path(), text);
    ASSERT_TRUE(ini.Write("List", "File1500", "/photos/changed.tif"));
    ASSERT_TRUE(ini.Write("List", "File3000", "/photos/new.tif"));
    const Pairs pairs = ini.ReadSection("List");
    ASSERT_EQ(pairs.size(), 3001u);
    EXPECT_EQ(pairs[1500].second, "/photos/changed.tif");
    EXPECT_EQ(pairs[2999].first, "File2999");
    EXPECT_EQ(pairs[3000], (std::pair<std::string, std::string>{"File3000", "/photos/new.tif"}));
}

// Every write is a locked read-modify-write, so writers with their own
// objects lose nothing.
TEST_F(IniStoreTest, ConcurrentWritersInThreadsLoseNothing)
{
    constexpr int kThreads = 4;
    constexpr int kKeys = 50;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back(
            [&, t]
            {
                IniStore own(Path());
                for (int k = 0; k < kKeys; ++k)
                {
                    const std::string key = "T" + std::to_string(t) + "K" + std::to_string(k);
                    if (!own.Write(t % 2 ? "Odd" : "Even", key, std::to_string(t * 1000 + k)))
                        ++failures;
                }
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
    const IniStore ini(Path());
    int found = 0;
    for (int t = 0; t < kThreads; ++t)
        for (int k = 0; k < kKeys; ++k)
        {
            const std::string key = "T" + std::to_string(t) + "K" + std::to_string(k);
            found += ini.Read(t % 2 ? "Odd" : "Even", key) == std::to_string(t * 1000 + k);
        }
    EXPECT_EQ(found, kThreads * kKeys);
}

TEST_F(IniStoreTest, ConcurrentWritersInProcessesLoseNothing)
{
    constexpr int kKeys = 50;
    const bool ok = testsupport::RunInTwoProcesses(
        [&](bool isChild)
        {
            IniStore own(Path());
            bool written = true;
            for (int k = 0; k < kKeys; ++k)
                written = own.Write("Shared", (isChild ? "Child" : "Parent") + std::to_string(k),
                                    "v") &&
                          written;
            return written;
        });
    EXPECT_TRUE(ok);
    EXPECT_EQ(IniStore(Path()).ReadSection("Shared").size(), 2u * kKeys);
}

TEST_F(IniStoreTest, ReaderNeverSeesPartialFile)
{
    IniStore ini(Path());
    ASSERT_TRUE(ini.Write("Fixed", "Key", "value"));
    std::atomic<bool> done{false};
    std::atomic<int> writeFailures{0};
    std::thread writer(
        [&]
        {
            IniStore own(Path());
            for (int i = 0; i < 100; ++i)
            {
                // The file grows and shrinks, so a torn read would show.
                if (!own.Write("Padding", "Data", std::string(i % 2 ? 10 : 50000, 'p')))
                    ++writeFailures;
            }
            done = true;
        });
    int reads = 0;
    int bad = 0;
    while (!done || reads < 10)
    {
        if (ini.Read("Fixed", "Key") != "value")
            ++bad;
        ++reads;
    }
    writer.join();
    EXPECT_EQ(writeFailures, 0);
    EXPECT_EQ(bad, 0) << "of " << reads << " reads";
}

} // namespace
