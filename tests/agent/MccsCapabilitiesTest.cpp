#include "agent/MccsCapabilities.h"
#include "agent/AgentSettings.h"
#include "agent/DdcCiLink.h"
#include "platform/Clock.h"
#include "platform/Registry.h"
#include "tests/agent/FakeDdcTransport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

using namespace std::string_view_literals;

namespace {

std::vector<int> ToVector(std::span<const int> values)
{
    return {values.begin(), values.end()};
}

std::string Hex(int byte)
{
    char text[3];
    std::snprintf(text, sizeof text, "%02X", byte & 0xFF);
    return text;
}

struct ValueList
{
    int key;
    std::vector<int> values;
};

struct ParseCase
{
    const char* name;
    std::string_view text;
    bool parsed;
    std::vector<int> supported;
    std::vector<ValueList> listed;
    int displayType;
};

void PrintTo(const ParseCase& c, std::ostream* os)
{
    *os << c.name;
}

class CapabilitiesParseTest : public ::testing::TestWithParam<ParseCase>
{};

TEST_P(CapabilitiesParseTest, CodesListsAndType)
{
    const ParseCase& c = GetParam();
    CMccsCapabilities caps(nullptr);
    caps.Parse(c.text);
    EXPECT_EQ(caps.IsParsed(), c.parsed);
    EXPECT_EQ(caps.GetSupportedKeys(), c.supported);
    std::vector<int> listedKeys;
    for (const ValueList& list : c.listed)
    {
        listedKeys.push_back(list.key);
        EXPECT_EQ(ToVector(caps.GetValueList(list.key)), list.values) << std::hex << list.key;
        EXPECT_EQ(caps.GetValueCount(list.key), static_cast<int>(list.values.size()));
    }
    EXPECT_EQ(caps.GetListedKeys(), listedKeys);
    EXPECT_EQ(caps.DisplayType(), c.displayType);
    for (const int key : c.supported)
        EXPECT_EQ(caps.IsVcpSupported(key), c.parsed ? 1 : -1) << std::hex << key;
    EXPECT_EQ(caps.IsVcpSupported(0x99), c.parsed ? 0 : -1);
    EXPECT_FALSE(caps.IsFetched()); // only Fetch sets it
}

const ParseCase kParseCases[] = {
    {"example",
     "(prot(monitor)type(lcd)model(X)cmds(01 02 03)vcp(02 04 10 14(01 05 08 0B) 72(78 FF) "
     "DF)mccs_ver(2.1))",
     true,
     {0x02, 0x04, 0x10, 0x14, 0x72, 0xDF},
     {{0x14, {0x01, 0x05, 0x08, 0x0B}}, {0x72, {0x78, 0xFF}}},
     2},
    {"page two tag", "(vcp(10)vcp_p02(E8 68))", true, {0x10, 0x2E8, 0x268}, {}, 0},
    {"page tag without vcp", "(vcp_p02(E8 68))", false, {0x2E8, 0x268}, {}, 0},
    {"unclosed vcp", "(type(lcd)vcp(02 10 14(01 05)", false, {}, {}, 2},
    {"type LCD_X", "(type(LCD_X)vcp(10))", true, {0x10}, {}, 0},
    {"type Lcd", "(type(Lcd)vcp(10))", true, {0x10}, {}, 0},
    {"type LCD", "(type(LCD)vcp(10))", true, {0x10}, {}, 2},
    {"type CRT_AG", "(type(CRT_AG)vcp(10))", true, {0x10}, {}, 1},
    {"type crt", "(type(crt)vcp(10))", true, {0x10}, {}, 1},
    // Page numbers are hexadecimal: "page10" is page 16, "page08" page 8.
    {"page inside vcp",
     "(vcp(10 page10(20 30(01)) 40 page08(20)))",
     true,
     {0x10, 0x1020, 0x1030, 0x40, 0x0820},
     {{0x1030, {0x01}}},
     0},
    // An unreadable page number: its codes are on no page we know.
    {"page number too long", "(vcp(10 page123(20) 40))", true, {0x10, 0x40}, {}, 0},
    // Only pairs of hexadecimal digits are codes: no lone digits, signs,
    // prefixes or letters beyond F.
    {"strict tokens", "(vcp(1 2 14 G5 F 1A2 +3 -4))", true, {0x14, 0x1A}, {}, 0},
    {"no blanks", "(vcp(021014(0508)DF))", true, {0x02, 0x10, 0x14, 0xDF}, {{0x14, {5, 8}}}, 0},
    {"lower case", "(vcp(df e8(0a)))", true, {0xDF, 0xE8}, {{0xE8, {0x0A}}}, 0},
    {"nested parentheses in a list",
     "(vcp(60(01 (0F) 03) 62))",
     true,
     {0x60, 0x62},
     {{0x60, {0x01, 0x0F, 0x03}}},
     0},
    {"codes listed twice", "(vcp(10 10 14(01) 14(02)))", true, {0x10, 0x14}, {{0x14, {1, 2}}}, 0},
    {"list without a code", "(vcp((01 02) 10))", true, {0x10}, {}, 0},
    {"tag inside a word", "(model(xvcp(10))vcp(20))", true, {0x20}, {}, 0},
    {"text ends at a zero", "(vcp(10))\0vcp(20)"sv, true, {0x10}, {}, 0},
    {"empty", "", false, {}, {}, 0},
};

INSTANTIATE_TEST_SUITE_P(Cases, CapabilitiesParseTest, ::testing::ValuesIn(kParseCases),
                         [](const ::testing::TestParamInfo<ParseCase>& info) {
                             std::string name;
                             for (const char c : std::string_view(info.param.name))
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

TEST(CapabilitiesTest, ValueListsKeepAtMost255Values)
{
    std::string text = "(vcp(14(";
    for (int i = 0; i < 300; ++i)
        text += Hex(i) + " ";
    text += ") DF))";
    CMccsCapabilities caps(nullptr);
    caps.Parse(text);
    ASSERT_TRUE(caps.IsParsed());
    ASSERT_EQ(caps.GetValueCount(0x14), CMccsCapabilities::kMaxListValues);
    const std::vector<int> values = ToVector(caps.GetValueList(0x14));
    for (int i = 0; i < CMccsCapabilities::kMaxListValues; ++i)
        ASSERT_EQ(values[static_cast<std::size_t>(i)], i & 0xFF);
    // The scan goes on after the dropped values.
    EXPECT_EQ(caps.IsVcpSupported(0xDF), 1);
    EXPECT_EQ(caps.GetSupportedKeys(), (std::vector<int>{0x14, 0xDF}));
}

TEST(CapabilitiesTest, MakerTags)
{
    struct Case
    {
        const char* text;
        int assetMemory;
        int offset;
    };
    // The asset size reads as hexadecimal; 100 and 50 stand for 64 and 32.
    const Case cases[] = {
        {"(asset_eep(64)c_tmp_ofst(1A))", 64, 0x1A},
        {"(asset_eep(40)c_tmp_ofst( 7))", 64, 7},
        {"(asset_eep(32))", 32, 0},
        {"(asset_eep(1F)c_tmp_ofst(x1))", 0x1F, 0},
        {"(asset_eep(FFFFFFFF)c_tmp_ofst(123456789))", 0, 0},
        {"(asset_eep()", 0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.text);
        CMccsCapabilities caps(nullptr);
        caps.Parse(c.text);
        EXPECT_EQ(caps.AssetMemory(), c.assetMemory);
        EXPECT_EQ(caps.ColorTemperatureOffset(), c.offset);
        EXPECT_FALSE(caps.IsParsed());
    }
}

TEST(CapabilitiesTest, GammaTableIsReadUpToTheFirstMismatch)
{
    struct Case
    {
        const char* text;
        CMccsCapabilities::GammaTable table;
    };
    const Case cases[] = {
        {"(gamma_table(size(100)r_ofs(0)g_ofs(100)b_ofs(200)))", {1, 0x100, 0, 0x100, 0x200}},
        {"(gamma_table(size(10)r_ofs(2)x(3)b_ofs(4)))", {1, 0x10, 2, 0, 0}},
        {"(gamma_table())", {1, 0, 0, 0, 0}},
        {"(vcp(10))", {0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.text);
        CMccsCapabilities caps(nullptr);
        caps.Parse(c.text);
        const CMccsCapabilities::GammaTable& t = caps.GetGammaTable();
        EXPECT_EQ(t.present, c.table.present);
        EXPECT_EQ(t.size, c.table.size);
        EXPECT_EQ(t.redOffset, c.table.redOffset);
        EXPECT_EQ(t.greenOffset, c.table.greenOffset);
        EXPECT_EQ(t.blueOffset, c.table.blueOffset);
    }
}

TEST(CapabilitiesTest, TextsAndCommandsAndClearing)
{
    CMccsCapabilities caps(nullptr);
    caps.Parse("(prot(monitor)type(lcd)cmds(01 02)cmds_c2(01 E3(04 05))vcp(10 14(01))"
               "mccs_ver(2.2)mpu_ver(1.05)gamma_table(size(10))asset_eep(40))");
    EXPECT_EQ(caps.TypeText(), "lcd");
    EXPECT_EQ(caps.MccsVersion(), "2.2");
    EXPECT_EQ(caps.MpuVersion(), "1.05");
    EXPECT_EQ(caps.GetCommandKeys(), (std::vector<int>{0x01, 0xE3}));
    EXPECT_EQ(caps.GetListedCommandKeys(), std::vector<int>{0xE3});
    EXPECT_EQ(ToVector(caps.GetCommandValueList(0xE3)), (std::vector<int>{4, 5}));
    // The command lists and the VCP lists are apart.
    EXPECT_EQ(caps.IsVcpSupported(0xE3), 0);
    EXPECT_TRUE(caps.GetCommandValueList(0x14).empty());

    // A new parse starts from nothing.
    caps.Parse("(vcp(20))");
    EXPECT_EQ(caps.GetSupportedKeys(), std::vector<int>{0x20});
    EXPECT_TRUE(caps.GetListedKeys().empty());
    EXPECT_TRUE(caps.GetValueList(0x14).empty());
    EXPECT_TRUE(caps.GetCommandKeys().empty());
    EXPECT_EQ(caps.TypeText(), "");
    EXPECT_EQ(caps.MccsVersion(), "");
    EXPECT_EQ(caps.DisplayType(), 0);
    EXPECT_EQ(caps.AssetMemory(), 0);
    EXPECT_EQ(caps.GetGammaTable().present, 0);
}

class CapabilitiesFetchTest : public ::testing::Test
{
protected:
    CapabilitiesFetchTest()
    {
        EXPECT_TRUE(platform::RegistryStore(dir.File("registry.ini"))
                        .SetDword(kDdcCiRegistryKey, kStateValueName, 0));
    }

    testsupport::TempDir dir;
    agenttest::FakeDdcTransport fake;
    platform::VirtualClock clock;
    CDdcCiLink link{fake, clock, platform::RegistryStore(dir.File("registry.ini")),
                    CTraceLog(dir.File("none.ini"), dir.File("trace.txt"))};
    CMccsCapabilities caps{&link};
};

// A long capabilities string comes through whole: nothing is cut at a
// fixed buffer size, and nothing is written past one.
TEST_F(CapabilitiesFetchTest, LongStringIsKeptWhole)
{
    for (const std::size_t length :
         {std::size_t{1023}, std::size_t{1024}, std::size_t{1025}, std::size_t{4096}})
    {
        SCOPED_TRACE(length);
        std::string text = "(prot(monitor)type(lcd)vcp(";
        const std::string tail = "DF))";
        int code = 0x20;
        while (text.size() + tail.size() + 3 <= length)
        {
            text += Hex(code) + " ";
            code = code == 0xDE ? 0x20 : code + 1;
        }
        text.append(length - text.size() - tail.size(), ' ');
        text += tail;
        ASSERT_EQ(text.size(), length);
        fake.capabilities = text;

        ASSERT_EQ(caps.Fetch(), 0);
        EXPECT_TRUE(caps.IsFetched());
        EXPECT_EQ(caps.RawText(), text);
        EXPECT_EQ(caps.IsVcpSupported(0xDF), 1);
        EXPECT_EQ(caps.IsVcpSupported(0x20), 1);
        EXPECT_EQ(caps.DisplayType(), 2);
    }
}

TEST_F(CapabilitiesFetchTest, FailedFetchClearsEverything)
{
    fake.capabilities = "(vcp(10 14(01 05)))";
    ASSERT_EQ(caps.Fetch(), 0);
    ASSERT_TRUE(caps.IsFetched());
    ASSERT_EQ(caps.GetValueCount(0x14), 2);

    fake.failNext = -1;
    EXPECT_EQ(caps.Fetch(), -1);
    EXPECT_EQ(fake.capabilityCalls, 1 + CDdcCiLink::kTries);
    EXPECT_FALSE(caps.IsFetched());
    EXPECT_EQ(caps.IsVcpSupported(0x10), -1);
    EXPECT_EQ(caps.GetValueCount(0x14), 0);
    EXPECT_EQ(caps.RawText(), "");
}

TEST_F(CapabilitiesFetchTest, TextWithoutVcpIsFetchedButNotUsable)
{
    fake.capabilities = "(prot(monitor)type(lcd))";
    EXPECT_EQ(caps.Fetch(), 0);
    EXPECT_FALSE(caps.IsFetched());
    EXPECT_EQ(caps.IsVcpSupported(0x10), -1);
    EXPECT_EQ(caps.DisplayType(), 2);

    CMccsCapabilities unbound(nullptr);
    EXPECT_EQ(unbound.Fetch(), -1);
}

} // namespace
