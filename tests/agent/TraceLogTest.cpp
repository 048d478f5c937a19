#include "agent/TraceLog.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>

using testsupport::ReadTextFile;
using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

// The switch FILEOUT_FLG of the debug ini: any non-zero number turns the
// log on; no ini, no key or zero leaves it off, and then no file appears.
TEST(TraceLogTest, OnlyANonZeroFlagWritesTheLog)
{
    struct Case
    {
        const char* name;
        const char* ini; // null: no debug ini
        bool enabled;
    };
    const Case cases[] = {
        {"no ini", nullptr, false},
        {"flag 0", "[FILEOUT]\nFILEOUT_FLG=0\n", false},
        {"no key", "[FILEOUT]\nOTHER=1\n", false},
        {"other section", "[DEBUG]\nFILEOUT_FLG=1\n", false},
        {"not a number", "[FILEOUT]\nFILEOUT_FLG=yes\n", false},
        {"flag 1", "[FILEOUT]\nFILEOUT_FLG=1\n", true},
        {"flag 5", "[FILEOUT]\nFILEOUT_FLG=5\n", true},
        {"flag -1", "[FILEOUT]\nFILEOUT_FLG=-1\n", true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        TempDir dir;
        if (c.ini != nullptr)
            WriteTextFile(dir.File("ZEPH_D.INI"), c.ini);
        const CTraceLog trace(dir.File("ZEPH_D.INI"), dir.File("fprintf.txt"));
        EXPECT_EQ(trace.IsEnabled(), c.enabled);
        trace.Write("MonitorNo = 0\n");
        EXPECT_EQ(std::filesystem::exists(dir.File("fprintf.txt")), c.enabled);
    }
}

// Entries are "<minute>:<second>-<text>" in local time, appended to what
// the file holds, by one log object or another.
TEST(TraceLogTest, EntriesAreTimeStampedAndAppended)
{
    TempDir dir;
    WriteTextFile(dir.File("ZEPH_D.INI"), "[FILEOUT]\nFILEOUT_FLG=1\n");
    WriteTextFile(dir.File("fprintf.txt"), "earlier\n");

    const std::time_t before = std::time(nullptr);
    {
        const CTraceLog trace(dir.File("ZEPH_D.INI"), dir.File("fprintf.txt"));
        trace.Write("GetCapabilityString_Success\n");
        trace.Write("two\nlines\n");
    }
    const CTraceLog again(dir.File("ZEPH_D.INI"), dir.File("fprintf.txt"));
    again.Write("SEARCH_MONITOR\n");
    const std::time_t after = std::time(nullptr);

    // Split the file into its entries: the earlier text, then three
    // "<minute>:<second>-<text>" entries.
    std::string text = ReadTextFile(dir.File("fprintf.txt"));
    ASSERT_EQ(text.substr(0, 8), "earlier\n");
    text.erase(0, 8);
    const char* const texts[] = {"GetCapabilityString_Success\n", "two\nlines\n",
                                 "SEARCH_MONITOR\n"};
    std::tm first{};
    std::tm last{};
    ASSERT_NE(::localtime_r(&before, &first), nullptr);
    ASSERT_NE(::localtime_r(&after, &last), nullptr);
    for (const char* entry : texts)
    {
        SCOPED_TRACE(entry);
        const std::size_t colon = text.find(':');
        const std::size_t dash = text.find('-');
        ASSERT_TRUE(colon != std::string::npos && dash != std::string::npos && colon < dash)
            << text;
        const std::string minute = text.substr(0, colon);
        const std::string second = text.substr(colon + 1, dash - colon - 1);
        for (const std::string& number : {minute, second})
        {
            ASSERT_FALSE(number.empty());
            ASSERT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << number;
        }
        // The stamps are the minute and second of the moment of writing.
        EXPECT_TRUE(std::stoi(minute) == first.tm_min || std::stoi(minute) == last.tm_min);
        EXPECT_LE(std::stoi(second), 60);
        if (before == after)
        {
            EXPECT_EQ(std::stoi(second), first.tm_sec);
        }
        ASSERT_EQ(text.substr(dash + 1, std::strlen(entry)), entry);
        text.erase(0, dash + 1 + std::strlen(entry));
    }
    EXPECT_EQ(text, "");
}

TEST(TraceLogTest, DefaultLogLivesInTheAgentsFolder)
{
    TempDir dir;
    testsupport::ScopedEnv config("XDG_CONFIG_HOME", dir.Path() + "config");
    const std::string folder = dir.Path() + "config/Quillbrake/ZEPH/";
    std::filesystem::create_directories(folder);
    WriteTextFile(folder + "ZEPH_D.INI", "[FILEOUT]\nFILEOUT_FLG=1\n");

    const CTraceLog trace;
    EXPECT_TRUE(trace.IsEnabled());
    EXPECT_EQ(trace.Path(), folder + "fprintf.txt");
    trace.Write("x\n");
    EXPECT_NE(ReadTextFile(folder + "fprintf.txt").find("-x\n"), std::string::npos);
}

TEST(TraceLogTest, AnEntryThatCannotBeWrittenIsDropped)
{
    TempDir dir;
    WriteTextFile(dir.File("ZEPH_D.INI"), "[FILEOUT]\nFILEOUT_FLG=1\n");
    const CTraceLog trace(dir.File("ZEPH_D.INI"), dir.File("missing/fprintf.txt"));
    trace.Write("lost\n");
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
}

} // namespace
