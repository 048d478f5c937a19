#include "platform/ddc/DdcTransport.h"
#include "platform/ddc/SimulatedMonitors.h"

#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

using namespace platform;
using testsupport::ReadTextFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

// A fresh simulated-monitor file with the stock monitor, a virtual clock and
// a transport over both.
class SimulatedMonitorTest : public ::testing::Test
{
protected:
    SimulatedMonitorTest() : file(dir.File("monitors.ini")), transport(file.Path(), clock)
    {
        EXPECT_TRUE(file.Write());
    }

    PhysicalMonitor Only()
    {
        const auto monitors = transport.EnumerateMonitors();
        EXPECT_EQ(monitors.size(), 1u);
        return monitors.empty() ? PhysicalMonitor{} : monitors.front();
    }

    VcpValue Stored(std::uint8_t code)
    {
        const auto v = file.ReadVcp("SIM-1", code);
        EXPECT_TRUE(v.has_value()) << "code " << int(code);
        return v.value_or(VcpValue{});
    }

    int Exchanges()
    {
        return file.Counters("SIM-1").value_or(SimulatedMonitorCounters{-1, -1}).exchanges;
    }

    TempDir dir;
    VirtualClock clock;
    SimulatedMonitorFile file;
    SimulatedDdcTransport transport;
};

// ------------------------------------------------------------ enumeration

TEST_F(SimulatedMonitorTest, StockMonitorIsListedWithItsIdentity)
{
    const PhysicalMonitor m = Only();
    EXPECT_EQ(m.connector, "SIM-1");
    EXPECT_TRUE(m.primary);
    EXPECT_EQ(m.deviceId, "MONITOR\\QBX1234\\SIM-1");
    EXPECT_EQ(m.description, "QB SIM 24");
}

TEST_F(SimulatedMonitorTest, PrimaryMonitorsComeFirstAndUnpluggedOnesAreMissing)
{
    SimulatedMonitorSetup a = DefaultSimulatedMonitor();
    a.section = "Monitor1";
    a.connector = "LEFT";
    a.primary = false;
    SimulatedMonitorSetup b = a;
    b.section = "Monitor2";
    b.connector = "MIDDLE";
    b.primary = true;
    b.edid.maker = "ABC";
    b.edid.product = 0x00AF;
    b.description = "Main screen";
    SimulatedMonitorSetup c = a;
    c.section = "Monitor3";
    c.connector = "GONE";
    c.unplugged = true;
    ASSERT_TRUE(file.Write({a, b, c}));

    const auto monitors = transport.EnumerateMonitors();
    ASSERT_EQ(monitors.size(), 2u);
    EXPECT_EQ(monitors[0].connector, "MIDDLE");
    EXPECT_TRUE(monitors[0].primary);
    EXPECT_EQ(monitors[0].deviceId, "MONITOR\\ABC00AF\\MIDDLE");
    EXPECT_EQ(monitors[0].description, "Main screen");
    EXPECT_EQ(monitors[1].connector, "LEFT");
    EXPECT_FALSE(monitors[1].primary);

    // Plugging the third one back in lists it.
    ASSERT_TRUE(file.SetUnplugged("GONE", false));
    EXPECT_EQ(transport.EnumerateMonitors().size(), 3u);
}

TEST(SimulatedMonitorFileTest, HandWrittenFileWithDefaultsIsUnderstood)
{
    TempDir dir;
    const std::string path = dir.File("hand.ini");
    // CR LF, comments, other sections, lower-case key names, no Connector
    // and no Primary key, a maker outside A-Z.
    WriteTextFile(path, "; my monitors\r\n"
                        "[General]\r\n"
                        "VCP_10=1,2\r\n"
                        "[MonitorA]\r\n"
                        "vcp_10 = 7 , 9\r\n"
                        "\r\n"
                        "[monitorB]\r\n"
                        "Maker=Q1X\r\n"
                        "VCP_10=3,4\r\n");
    VirtualClock clock;
    SimulatedDdcTransport transport(path, clock);
    const auto monitors = transport.EnumerateMonitors();
    ASSERT_EQ(monitors.size(), 2u);
    EXPECT_EQ(monitors[0].connector, "MonitorA");
    EXPECT_TRUE(monitors[0].primary);
    EXPECT_EQ(monitors[0].deviceId, "MONITOR\\QBX1234\\MonitorA"); // EDID from the default fields
    EXPECT_EQ(monitors[1].connector, "monitorB");
    EXPECT_FALSE(monitors[1].primary);
    EXPECT_EQ(monitors[1].deviceId, "MONITOR\\Default_Monitor\\monitorB");

    VcpValue v;
    ASSERT_TRUE(transport.GetVcp(monitors[0], vcp::kLuminance, &v));
    EXPECT_EQ(v.current, 7);
    EXPECT_EQ(v.maximum, 9);
    ASSERT_TRUE(transport.SetVcp(monitors[0], vcp::kLuminance, 8));

    // The rewrite keeps comments, other sections and the spelling of keys.
    const std::string text = ReadTextFile(path);
    EXPECT_NE(
        text.find(
            "; my "
            "monitors\n[General]\nVCP_10=1,2\n[MonitorA]\nvcp_10=8,9\nExchanges=2\n\n[monitorB]"),
        std::string::npos)
        << text;
}

TEST(SimulatedMonitorFileTest, MissingFileListsNothingAndFailsEveryCall)
{
    TempDir dir;
    VirtualClock clock;
    SimulatedDdcTransport transport(dir.File("absent.ini"), clock);
    EXPECT_TRUE(transport.EnumerateMonitors().empty());
    EXPECT_FALSE(transport.LastError().empty());
    PhysicalMonitor ghost;
    ghost.connector = "SIM-1";
    VcpValue v;
    EXPECT_FALSE(transport.GetVcp(ghost, vcp::kLuminance, &v));
    std::vector<std::uint8_t> edid;
    EXPECT_FALSE(transport.GetEdid(ghost, &edid));
    EXPECT_FALSE(std::filesystem::exists(dir.File("absent.ini")));
}

// ----------------------------------------------------------------- VCP

TEST_F(SimulatedMonitorTest, ReadsGiveCurrentMaximumAndType)
{
    const PhysicalMonitor m = Only();
    struct Case
    {
        std::uint8_t code;
        std::uint16_t current, maximum;
        VcpCodeType type;
    };
    const Case cases[] = {
        {vcp::kLuminance, 80, 100, VcpCodeType::SetParameter},
        {vcp::kSelectColorPreset, 5, 0x0D, VcpCodeType::SetParameter},
        {vcp::kNewControlValue, 1, 2, VcpCodeType::SetParameter},
        {vcp::kRestoreFactoryDefaults, 0, 1, VcpCodeType::Momentary},
        {vcp::kVersion, 0x0202, 0xFFFF, VcpCodeType::SetParameter},
    };
    for (const Case& c : cases)
    {
        VcpValue v{1, 1, VcpCodeType::Momentary};
        ASSERT_TRUE(transport.GetVcp(m, c.code, &v)) << int(c.code);
        EXPECT_EQ(v.current, c.current) << int(c.code);
        EXPECT_EQ(v.maximum, c.maximum) << int(c.code);
        EXPECT_EQ(v.type, c.type) << int(c.code);
    }
    std::uint16_t technology = 0;
    ASSERT_TRUE(transport.GetTechnologyType(m, &technology));
    EXPECT_EQ(technology, 3);
    EXPECT_EQ(Exchanges(), static_cast<int>(std::size(cases)) + 1);
}

TEST_F(SimulatedMonitorTest, UnlistedCodeFailsAsAnExchange)
{
    const PhysicalMonitor m = Only();
    VcpValue v{7, 8, VcpCodeType::SetParameter};
    EXPECT_FALSE(transport.GetVcp(m, 0x99, &v));
    EXPECT_EQ(v.current, 7); // untouched
    EXPECT_NE(transport.LastError().find("99"), std::string::npos);
    EXPECT_FALSE(transport.SetVcp(m, 0x99, 1));
    EXPECT_EQ(Exchanges(), 2);
    ASSERT_EQ(transport.Log().size(), 2u);
    EXPECT_FALSE(transport.Log()[0].answered);
}

TEST_F(SimulatedMonitorTest, WritesAreStoredClampedOrRefused)
{
    const PhysicalMonitor m = Only();
    ASSERT_TRUE(transport.SetVcp(m, vcp::kLuminance, 42));
    EXPECT_EQ(Stored(vcp::kLuminance).current, 42);
    ASSERT_TRUE(transport.SetVcp(m, vcp::kLuminance, 400)); // beyond the maximum of 100
    EXPECT_EQ(Stored(vcp::kLuminance).current, 100);
    EXPECT_FALSE(transport.SetVcp(m, vcp::kDisplayTechnologyType, 1)); // read-only
    EXPECT_EQ(Stored(vcp::kDisplayTechnologyType).current, 3);

    // A second transport (another program) reads what the first wrote.
    SimulatedDdcTransport other(file.Path(), clock);
    VcpValue v;
    ASSERT_TRUE(other.GetVcp(m, vcp::kLuminance, &v));
    EXPECT_EQ(v.current, 100);
}

// ----------------------------------------------------------- side effects

struct SideEffectCase
{
    const char* name;
    bool frontPanel;
    std::uint8_t code;
    std::uint16_t value;
    // Expected afterwards: 02h, 0Ch, 10h, 12h, 14h, 16h, 18h, 1Ah.
    std::array<std::uint16_t, 8> expected;
};

class SideEffectTest : public SimulatedMonitorTest,
                       public ::testing::WithParamInterface<SideEffectCase>
{};

TEST_P(SideEffectTest, WriteLeavesTheMonitorInTheExpectedState)
{
    const SideEffectCase& c = GetParam();
    const PhysicalMonitor m = Only();
    // Move away from the factory state first: preset 9300 K, other
    // luminance and contrast, front-panel flag cleared.
    ASSERT_TRUE(transport.SetVcp(m, vcp::kSelectColorPreset, 8));
    ASSERT_TRUE(transport.SetVcp(m, vcp::kLuminance, 30));
    ASSERT_TRUE(transport.SetVcp(m, vcp::kContrast, 60));

    if (c.frontPanel)
        ASSERT_TRUE(file.FrontPanelChange("SIM-1", c.code, c.value));
    else
        ASSERT_TRUE(transport.SetVcp(m, c.code, c.value));

    const std::uint8_t codes[] = {0x02, 0x0C, 0x10, 0x12, 0x14, 0x16, 0x18, 0x1A};
    for (std::size_t i = 0; i < std::size(codes); ++i)
        EXPECT_EQ(Stored(codes[i]).current, c.expected[i]) << "code " << std::hex << int(codes[i]);
}

// Before each case: 02h 1, 0Ch 126, 10h 30, 12h 60, 14h 8, gains 80/90/100.
INSTANTIATE_TEST_SUITE_P(
    Cases, SideEffectTest,
    ::testing::Values(
        SideEffectCase{"PresetLoadsItsGains", false, 0x14, 4, {1, 40, 30, 60, 4, 100, 86, 70}},
        SideEffectCase{
            "UserPresetKeepsGains", false, 0x14, 0x0B, {1, 126, 30, 60, 11, 80, 90, 100}},
        SideEffectCase{
            "PresetWithoutEntryKeepsGains", false, 0x14, 2, {1, 126, 30, 60, 2, 80, 90, 100}},
        SideEffectCase{"FactoryResetRestoresAll", false, 0x04, 1, {1, 70, 80, 50, 5, 100, 95, 90}},
        SideEffectCase{
            "ZeroWriteToResetDoesNothing", false, 0x04, 0, {1, 126, 30, 60, 8, 80, 90, 100}},
        SideEffectCase{"LuminanceContrastReset", false, 0x05, 1, {1, 126, 80, 50, 8, 80, 90, 100}},
        SideEffectCase{"ColourReset", false, 0x08, 1, {1, 70, 30, 60, 5, 100, 95, 90}},
        SideEffectCase{"HostGainWriteLeavesNewControlValue",
                       false,
                       0x16,
                       20,
                       {1, 126, 30, 60, 8, 20, 90, 100}},
        SideEffectCase{
            "FrontPanelPresetSetsNewControlValue", true, 0x14, 5, {2, 70, 30, 60, 5, 100, 95, 90}},
        SideEffectCase{"FrontPanelLuminanceSetsNewControlValue",
                       true,
                       0x10,
                       55,
                       {2, 126, 55, 60, 8, 80, 90, 100}},
        SideEffectCase{
            "FrontPanelResetSetsNewControlValue", true, 0x04, 1, {2, 70, 80, 50, 5, 100, 95, 90}}),
    [](const ::testing::TestParamInfo<SideEffectCase>& info) {
        return std::string(info.param.name);
    });

TEST_F(SimulatedMonitorTest, HostAcknowledgesAFrontPanelChange)
{
    const PhysicalMonitor m = Only();
    ASSERT_TRUE(file.FrontPanelChange("SIM-1", vcp::kGamma, 0x8C));
    VcpValue v;
    ASSERT_TRUE(transport.GetVcp(m, vcp::kNewControlValue, &v));
    EXPECT_EQ(v.current, 2);
    ASSERT_TRUE(transport.SetVcp(m, vcp::kNewControlValue, 1));
    ASSERT_TRUE(transport.GetVcp(m, vcp::kNewControlValue, &v));
    EXPECT_EQ(v.current, 1);
    // Front-panel changes are the user's, not exchanges.
    EXPECT_EQ(Exchanges(), 3);
    EXPECT_FALSE(file.FrontPanelChange("SIM-1", vcp::kVersion, 1)); // read-only
    EXPECT_FALSE(file.FrontPanelChange("SIM-1", 0x99, 1));
    EXPECT_FALSE(file.FrontPanelChange("NOPE", vcp::kLuminance, 1));
}

TEST_F(SimulatedMonitorTest, SaveCurrentSettingsIsCounted)
{
    const PhysicalMonitor m = Only();
    ASSERT_TRUE(transport.SaveCurrentSettings(m));
    ASSERT_TRUE(transport.SaveCurrentSettings(m));
    ASSERT_TRUE(file.SetFailNext("SIM-1", 1));
    EXPECT_FALSE(transport.SaveCurrentSettings(m));
    const auto counters = file.Counters("SIM-1");
    ASSERT_TRUE(counters.has_value());
    EXPECT_EQ(counters->saves, 2);
    EXPECT_EQ(counters->exchanges, 3);
}

// ----------------------------------------------------------- capabilities

TEST_F(SimulatedMonitorTest, CapabilitiesComeFromTheVcpList)
{
    std::string caps;
    ASSERT_TRUE(transport.GetCapabilities(Only(), &caps));
    EXPECT_EQ(caps, MakeCapabilitiesString(DefaultSimulatedMonitor()));
    EXPECT_EQ(
        caps,
        "(prot(monitor)type(lcd)model(QB SIM 24)cmds(01 02 03 07 0C E3 F3)"
        "vcp(02 04 05 08 0B 0C 10 12 14(01 04 05 06 08 0B) 16 18 1A 72 B6 DF F9)mccs_ver(2.2))");
}

TEST_F(SimulatedMonitorTest, CapabilitiesAreReturnedWhateverTheirLength)
{
    // Longer than the 1024 bytes a caller's buffer may hold: the transport
    // gives it whole, cutting is the caller's business.
    std::string longCaps = "(prot(monitor)vcp(";
    while (longCaps.size() < 3000)
        longCaps += "10 ";
    longCaps += "))";
    SimulatedMonitorSetup setup = DefaultSimulatedMonitor();
    setup.capabilities = longCaps;
    ASSERT_TRUE(file.Write({setup}));
    std::string caps;
    ASSERT_TRUE(transport.GetCapabilities(Only(), &caps));
    EXPECT_EQ(caps, longCaps);

    ASSERT_TRUE(file.SetNoAnswer("SIM-1", true));
    caps = "unchanged";
    EXPECT_FALSE(transport.GetCapabilities(Only(), &caps));
    EXPECT_EQ(caps, "unchanged");
}

// ------------------------------------------------------------------- EDID

unsigned Chromaticity(const std::vector<std::uint8_t>& e, std::size_t high, std::size_t lowByte,
                      int shift)
{
    return static_cast<unsigned>(e[high]) << 2 | ((e[lowByte] >> shift) & 3);
}

TEST_F(SimulatedMonitorTest, EdidIsAValidBlockWithTheConfiguredFields)
{
    SimulatedMonitorSetup setup = DefaultSimulatedMonitor();
    setup.edid.maker = "ABC";
    setup.edid.product = 0x1234;
    setup.edid.serialNumber = 0x01020304;
    setup.edid.name = "Desk Monitor";
    setup.edid.serial = "A-77";
    setup.edid.redX = 0.640;
    setup.edid.redY = 0.330;
    setup.edid.blueX = 0.150;
    setup.edid.whiteY = 0.3290;
    ASSERT_TRUE(file.Write({setup}));

    std::vector<std::uint8_t> edid;
    ASSERT_TRUE(transport.GetEdid(Only(), &edid));
    ASSERT_EQ(edid.size(), 128u);
    const std::vector<std::uint8_t> header = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    EXPECT_TRUE(std::equal(header.begin(), header.end(), edid.begin()));
    EXPECT_EQ(std::accumulate(edid.begin(), edid.end(), 0u) % 256, 0u);
    EXPECT_EQ(edid[8], 0x04); // A B C = 1 2 3 in 5-bit codes
    EXPECT_EQ(edid[9], 0x43);
    EXPECT_EQ(edid[10], 0x34); // product code, low byte first
    EXPECT_EQ(edid[11], 0x12);
    EXPECT_EQ(edid[12], 0x04);
    EXPECT_EQ(edid[15], 0x01);
    EXPECT_EQ(edid[18], 1);
    EXPECT_EQ(edid[19], 3);

    // 10-bit chromaticities, within one step of the value.
    struct Xy
    {
        std::size_t high, lowByte;
        int shift;
        double value;
    };
    for (const Xy& c :
         {Xy{27, 25, 6, 0.640}, Xy{28, 25, 4, 0.330}, Xy{29, 25, 2, 0.300}, Xy{30, 25, 0, 0.600},
          Xy{31, 26, 6, 0.150}, Xy{32, 26, 4, 0.060}, Xy{33, 26, 2, 0.3127}, Xy{34, 26, 0, 0.3290}})
        EXPECT_NEAR(Chromaticity(edid, c.high, c.lowByte, c.shift) / 1024.0, c.value, 1.0 / 1024)
            << c.high;
    EXPECT_EQ(Chromaticity(edid, 27, 25, 6), 655u); // round(0.640 x 1024)

    // Name and serial descriptors: tag, text, line feed, blank padding.
    auto descriptor = [&edid](std::uint8_t tag) {
        for (std::size_t at = 54; at < 126; at += 18)
        {
            if (edid[at] == 0 && edid[at + 1] == 0 && edid[at + 3] == tag)
                return std::string(edid.begin() + static_cast<long>(at) + 5,
                                   edid.begin() + static_cast<long>(at) + 18);
        }
        return std::string();
    };
    EXPECT_EQ(descriptor(0xFC), "Desk Monitor\n");
    EXPECT_EQ(descriptor(0xFF), "A-77\n        ");
    // The first descriptor is the preferred timing (non-zero pixel clock).
    EXPECT_NE(edid[54] | edid[55], 0);
}

TEST(BuildEdidTest, OddFieldsStayWithinTheFormat)
{
    EdidFields f;
    f.maker = "ab1"; // not three letters A-Z
    f.name = "A name far longer than thirteen";
    f.redX = std::nan("");
    f.greenY = 5.0;
    f.blueX = -1.0;
    const std::vector<std::uint8_t> edid = BuildEdid(f);
    ASSERT_EQ(edid.size(), 128u);
    EXPECT_EQ(edid[8], 0);
    EXPECT_EQ(edid[9], 0);
    EXPECT_EQ(Chromaticity(edid, 27, 25, 6), 0u);
    EXPECT_EQ(Chromaticity(edid, 30, 25, 0), 1023u);
    EXPECT_EQ(Chromaticity(edid, 31, 26, 6), 0u);
    EXPECT_EQ(std::string(edid.begin() + 77, edid.begin() + 90), "A name far lo");
    EXPECT_EQ(std::accumulate(edid.begin(), edid.end(), 0u) % 256, 0u);
}

TEST_F(SimulatedMonitorTest, RawEdidIsPassedOnUnchecked)
{
    const PhysicalMonitor m = Only();
    ASSERT_TRUE(file.SetKey("SIM-1", "EdidHex", "00 FF ff FF 12"));
    std::vector<std::uint8_t> edid;
    ASSERT_TRUE(transport.GetEdid(m, &edid));
    EXPECT_EQ(edid, (std::vector<std::uint8_t>{0x00, 0xFF, 0xFF, 0xFF, 0x12}));
    // A broken EDID gives a generic device ID.
    EXPECT_EQ(Only().deviceId, "MONITOR\\Default_Monitor\\SIM-1");

    for (const char* bad : {"0G", "123", ""})
    {
        ASSERT_TRUE(file.SetKey("SIM-1", "EdidHex", bad));
        edid = {1};
        EXPECT_FALSE(transport.GetEdid(m, &edid)) << bad;
        EXPECT_EQ(edid, std::vector<std::uint8_t>{1}) << bad;
    }
}

TEST_F(SimulatedMonitorTest, EdidIsReadableWithoutDdcButNotWhenUnplugged)
{
    const PhysicalMonitor m = Only();
    ASSERT_TRUE(file.SetNoAnswer("SIM-1", true));
    ASSERT_TRUE(file.SetFailNext("SIM-1", 5));
    ASSERT_TRUE(file.SetDelayMs("SIM-1", 100));
    std::vector<std::uint8_t> edid;
    EXPECT_TRUE(transport.GetEdid(m, &edid));
    EXPECT_EQ(Exchanges(), 0);
    EXPECT_EQ(clock.NowMs(), 0);
    EXPECT_TRUE(transport.Log().empty());

    ASSERT_TRUE(file.SetUnplugged("SIM-1", true));
    EXPECT_FALSE(transport.GetEdid(m, &edid));
}

// ---------------------------------------------------------------- faults

TEST_F(SimulatedMonitorTest, InjectedFailuresCountDown)
{
    const PhysicalMonitor m = Only();
    ASSERT_TRUE(file.SetFailNext("SIM-1", 2));
    VcpValue v;
    EXPECT_FALSE(transport.GetVcp(m, vcp::kLuminance, &v));
    EXPECT_EQ(transport.LastError(), "injected failure");
    EXPECT_FALSE(transport.SetVcp(m, vcp::kLuminance, 10));
    EXPECT_TRUE(transport.GetVcp(m, vcp::kLuminance, &v));
    EXPECT_TRUE(transport.LastError().empty());
    EXPECT_EQ(v.current, 80); // the failed write changed nothing
    EXPECT_EQ(Exchanges(), 3);

    const auto& log = transport.Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].kind, SimulatedExchange::Kind::GetVcp);
    EXPECT_FALSE(log[0].answered);
    EXPECT_EQ(log[1].kind, SimulatedExchange::Kind::SetVcp);
    EXPECT_EQ(log[1].value, 10);
    EXPECT_FALSE(log[1].answered);
    EXPECT_TRUE(log[2].answered);
    EXPECT_EQ(log[2].value, 80);
    EXPECT_NE(ReadTextFile(file.Path()).find("FailNext=0"), std::string::npos);
}

TEST_F(SimulatedMonitorTest, SilentMonitorIsListedButNeverAnswers)
{
    ASSERT_TRUE(file.SetNoAnswer("SIM-1", true));
    const PhysicalMonitor m = Only();
    VcpValue v;
    std::string caps;
    std::uint16_t type = 0;
    EXPECT_FALSE(transport.GetVcp(m, vcp::kLuminance, &v));
    EXPECT_FALSE(transport.SetVcp(m, vcp::kLuminance, 1));
    EXPECT_FALSE(transport.GetCapabilities(m, &caps));
    EXPECT_FALSE(transport.SaveCurrentSettings(m));
    EXPECT_FALSE(transport.GetTechnologyType(m, &type));
    EXPECT_EQ(transport.LastError(), "no answer");
    EXPECT_EQ(Exchanges(), 5);

    ASSERT_TRUE(file.SetNoAnswer("SIM-1", false));
    EXPECT_TRUE(transport.GetTechnologyType(m, &type));
}

TEST_F(SimulatedMonitorTest, UnpluggedMonitorFailsWithoutAnExchange)
{
    const PhysicalMonitor m = Only();
    ASSERT_TRUE(file.SetUnplugged("SIM-1", true));
    ASSERT_TRUE(file.SetDelayMs("SIM-1", 500));
    EXPECT_TRUE(transport.EnumerateMonitors().empty());
    VcpValue v;
    EXPECT_FALSE(transport.GetVcp(m, vcp::kLuminance, &v));
    EXPECT_NE(transport.LastError().find("unplugged"), std::string::npos);
    EXPECT_EQ(Exchanges(), 0);
    EXPECT_EQ(clock.NowMs(), 0);
}

TEST_F(SimulatedMonitorTest, DelaysAdvanceTheVirtualClock)
{
    const PhysicalMonitor m = Only();
    ASSERT_TRUE(file.SetDelayMs("SIM-1", 250));
    ASSERT_TRUE(file.SetFailNext("SIM-1", 1));
    VcpValue v;
    EXPECT_FALSE(transport.GetVcp(m, vcp::kLuminance, &v)); // a failed exchange takes its time too
    EXPECT_TRUE(transport.SetVcp(m, vcp::kLuminance, 20));
    std::string caps;
    EXPECT_TRUE(transport.GetCapabilities(m, &caps));
    EXPECT_EQ(clock.NowMs(), 750);
    EXPECT_EQ(clock.Sleeps(), (std::vector<std::int64_t>{250, 250, 250}));
    const auto& log = transport.Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].timeMs, 0);
    EXPECT_EQ(log[1].timeMs, 250);
    EXPECT_EQ(log[2].timeMs, 500);
}

// -------------------------------------------------------- two processes

TEST_F(SimulatedMonitorTest, TwoProcessesShareOneMonitor)
{
    const PhysicalMonitor m = Only();
    constexpr int kReadsEach = 25;
    // Each process writes its own code, then waits (on real time) for the
    // other's write to show; both also read many times, and no count of an
    // exchange may be lost between them.
    const bool ok = testsupport::RunInTwoProcesses([&](bool isChild) {
        SimulatedDdcTransport own(file.Path(), SystemClock());
        if (!own.SetVcp(m, isChild ? vcp::kLuminance : vcp::kContrast, isChild ? 33 : 44))
            return false;
        const std::uint8_t theirs = isChild ? vcp::kContrast : vcp::kLuminance;
        const std::uint16_t expected = isChild ? 44 : 33;
        bool seen = false;
        for (int i = 0; i < kReadsEach || !seen; ++i)
        {
            VcpValue v;
            if (!own.GetVcp(m, theirs, &v))
                return false;
            seen = seen || v.current == expected;
            if (!seen)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (i > 5000)
                return false;
        }
        return true;
    });
    ASSERT_TRUE(ok);
    EXPECT_EQ(Stored(vcp::kLuminance).current, 33);
    EXPECT_EQ(Stored(vcp::kContrast).current, 44);
    EXPECT_GE(Exchanges(), 2 * (kReadsEach + 1));
    // Every exchange of both processes is counted: the log of this process
    // holds its own share only.
    EXPECT_GT(Exchanges(), static_cast<int>(transport.Log().size()) + kReadsEach);
}

// -------------------------------------------------------------- factory

TEST(CreateDdcTransportTest, EnvironmentSelectsTheSimulatedMonitor)
{
    TempDir dir;
    SimulatedMonitorFile file(dir.File("sim.ini"));
    ASSERT_TRUE(file.Write());
    VirtualClock clock;
    {
        ScopedEnv env(kSimulatedMonitorsEnv, file.Path());
        auto transport = CreateDdcTransport(clock);
        auto* simulated = dynamic_cast<SimulatedDdcTransport*>(transport.get());
        ASSERT_NE(simulated, nullptr);
        EXPECT_EQ(simulated->Path(), file.Path());
        ASSERT_TRUE(file.SetDelayMs("SIM-1", 40));
        const auto monitors = transport->EnumerateMonitors();
        ASSERT_EQ(monitors.size(), 1u);
        VcpValue v;
        EXPECT_TRUE(transport->GetVcp(monitors[0], vcp::kLuminance, &v));
        EXPECT_EQ(clock.NowMs(), 40); // the given clock paces it
    }
    {
        ScopedEnv env(kSimulatedMonitorsEnv, "");
        EXPECT_EQ(dynamic_cast<SimulatedDdcTransport*>(CreateDdcTransport(clock).get()), nullptr);
    }
}

TEST(CreateDdcTransportTest, RealBackendFailsCleanlyForAnUnknownMonitor)
{
    ScopedEnv env(kSimulatedMonitorsEnv);
    auto transport = CreateDdcTransport();
    ASSERT_NE(transport, nullptr);
    EXPECT_EQ(dynamic_cast<SimulatedDdcTransport*>(transport.get()), nullptr);
    // Whatever this machine has (usually nothing), a bus that does not
    // exist is no monitor.
    (void)transport->EnumerateMonitors();
    PhysicalMonitor ghost;
    ghost.connector = "nowhere";
    ghost.index = 9999;
    VcpValue v;
    std::string caps;
    std::vector<std::uint8_t> edid;
    std::uint16_t type = 0;
    EXPECT_FALSE(transport->GetVcp(ghost, vcp::kLuminance, &v));
    EXPECT_FALSE(transport->LastError().empty());
    EXPECT_FALSE(transport->SetVcp(ghost, vcp::kLuminance, 1));
    EXPECT_FALSE(transport->GetCapabilities(ghost, &caps));
    EXPECT_FALSE(transport->SaveCurrentSettings(ghost));
    EXPECT_FALSE(transport->GetEdid(ghost, &edid));
    EXPECT_FALSE(transport->GetTechnologyType(ghost, &type));
}

} // namespace
