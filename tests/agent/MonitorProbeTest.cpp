#include "agent/MonitorProbe.h"
#include "agent/AgentSettings.h"
#include "agent/DdcCiLink.h"
#include "agent/MccsCapabilities.h"
#include "platform/Clock.h"
#include "platform/Registry.h"
#include "platform/ddc/SimulatedMonitors.h"
#include "tests/agent/FakeDdcTransport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

using testsupport::TempDir;

namespace {

// An EDID (the stock simulated one by default) with some bytes changed and
// the checksum made right again.
std::vector<std::uint8_t> EdidWith(std::initializer_list<std::pair<int, std::uint8_t>> bytes,
                                   std::vector<std::uint8_t> edid = {})
{
    if (edid.empty())
        edid = platform::BuildEdid(platform::EdidFields{});
    for (const auto& [index, value] : bytes)
        edid[static_cast<std::size_t>(index)] = value;
    unsigned sum = 0;
    for (std::size_t i = 0; i < 127; ++i)
        sum += edid[i];
    edid[127] = static_cast<std::uint8_t>((256 - sum % 256) % 256);
    return edid;
}

// The link, capabilities and probe over a scripted transport, with the
// trace switched on.
class MonitorProbeTest : public ::testing::Test
{
protected:
    MonitorProbeTest()
    {
        EXPECT_TRUE(platform::RegistryStore(dir.File("registry.ini"))
                        .SetDword(kDdcCiRegistryKey, kStateValueName, 0));
        fake.values[0x10] = {80, 100, platform::VcpCodeType::SetParameter};
        fake.values[0x02] = {1, 2, platform::VcpCodeType::SetParameter};
        fake.capabilities = "(prot(monitor)type(lcd)vcp(02 10 14(01 05)))";
        fake.edid = platform::BuildEdid(platform::EdidFields{});
    }

    std::string Trace() const { return testsupport::ReadTextFile(dir.File("fprintf.txt")); }
    bool Traced(const std::string& text) const
    {
        return Trace().find("-" + text) != std::string::npos;
    }

    static std::string DebugIniWithTraceOn(const TempDir& dir)
    {
        testsupport::WriteTextFile(dir.File("ZEPH_D.INI"), "[FILEOUT]\nFILEOUT_FLG=1\n");
        return dir.File("ZEPH_D.INI");
    }

    TempDir dir;
    agenttest::FakeDdcTransport fake;
    platform::VirtualClock clock;
    CTraceLog trace{DebugIniWithTraceOn(dir), dir.File("fprintf.txt")};
    CDdcCiLink link{fake, clock, platform::RegistryStore(dir.File("registry.ini")), trace};
    CMccsCapabilities caps{&link};
    CMonitorProbe probe{link, caps, trace};
};

TEST(EdidTest, HeaderAndChecksumAreChecked)
{
    const std::vector<std::uint8_t> good = EdidWith({});
    EXPECT_TRUE(IsValidEdid(good));

    std::vector<std::uint8_t> withExtension = good;
    withExtension.resize(256, 0x55);
    EXPECT_TRUE(IsValidEdid(withExtension));

    std::vector<std::uint8_t> badSum = good;
    badSum[127] = static_cast<std::uint8_t>(badSum[127] + 1);
    EXPECT_FALSE(IsValidEdid(badSum));

    EXPECT_FALSE(IsValidEdid(EdidWith({{0, 0x01}})));
    EXPECT_FALSE(IsValidEdid(EdidWith({{7, 0xFF}})));
    EXPECT_FALSE(IsValidEdid(std::span(good).first(127)));
    EXPECT_FALSE(IsValidEdid({}));
}

TEST_F(MonitorProbeTest, ManufacturerAndProductIds)
{
    struct Case
    {
        std::uint8_t b8, b9, b10, b11;
        int result;
        const char* maker;
        const char* product;
    };
    // Three five-bit codes: 0 aaaaa bb | bbb ccccc, 1 = "A".
    const Case cases[] = {
        {0x04, 0x43, 0x34, 0x12, 0, "ABC", "1234"},
        {0x44, 0x58, 0xCD, 0xAB, 0, "QBX", "abcd"},
        {0x6B, 0x5A, 0x00, 0x00, 0, "ZZZ", "0000"},
        {0x00, 0x43, 0x01, 0x00, -1, "", "0001"}, // first code 0
        {0x04, 0x03, 0x00, 0x01, -1, "", "0100"}, // second code 0
        {0x6C, 0x21, 0x00, 0x00, -1, "", "0000"}, // first code 27
        {0x04, 0x5F, 0x00, 0x00, -1, "", "0000"}, // last code 31
        {0x07, 0xE1, 0x00, 0x00, -1, "", "0000"}, // second code 31
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << std::hex << int(c.b8) << " " << int(c.b9));
        ASSERT_TRUE(probe.SetEdid(EdidWith({{8, c.b8}, {9, c.b9}, {10, c.b10}, {11, c.b11}})));
        std::string maker = "unchanged";
        EXPECT_EQ(probe.GetManufactureIDFromEDID(maker), c.result);
        EXPECT_EQ(maker, c.result == 0 ? std::string(c.maker) : std::string("unchanged"));
        std::string product;
        EXPECT_EQ(probe.GetProductIDFromEDID(product), 0);
        EXPECT_EQ(product, c.product);
    }
    EXPECT_TRUE(Traced("ManufactureID = ABC\n"));
    EXPECT_TRUE(Traced("PrdID = 1234\n"));
}

TEST_F(MonitorProbeTest, PrimariesAreTenBitCodesOver1023)
{
    // Codes of red x, red y, green x, green y, blue x, blue y.
    const int codes[6] = {649, 338, 307, 614, 154, 61};
    const auto low = [&](int i, int shift) { return (codes[i] & 3) << shift; };
    const std::uint8_t byte25 =
        static_cast<std::uint8_t>(low(0, 6) | low(1, 4) | low(2, 2) | low(3, 0));
    const std::uint8_t byte26 = static_cast<std::uint8_t>(low(4, 6) | low(5, 4) | 0x0F);
    std::vector<std::uint8_t> edid = EdidWith({});
    edid[25] = byte25;
    edid[26] = byte26;
    for (int i = 0; i < 6; ++i)
        edid[static_cast<std::size_t>(27 + i)] = static_cast<std::uint8_t>(codes[i] >> 2);
    edid = EdidWith({}, edid);
    ASSERT_TRUE(probe.SetEdid(edid));
    // The worked example: EDID[27] = A2h with bits 7-6 of EDID[25] = 01b.
    ASSERT_EQ(edid[27], 0xA2);
    ASSERT_EQ(edid[25] >> 6, 1);

    XyzTriple red;
    XyzTriple green;
    XyzTriple blue;
    ASSERT_EQ(probe.GetPrimaryColorChromaticityFromEDID(red, green, blue), 0);
    const XyzTriple* primaries[3] = {&red, &green, &blue};
    for (int p = 0; p < 3; ++p)
    {
        SCOPED_TRACE(p);
        const double x = codes[2 * p] / 1023.0;
        const double y = codes[2 * p + 1] / 1023.0;
        EXPECT_NEAR(primaries[p]->X, x / y, 1e-12);
        EXPECT_EQ(primaries[p]->Y, 1.0);
        EXPECT_NEAR(primaries[p]->Z, (1.0 - x - y) / y, 1e-12);
    }
    EXPECT_NEAR(red.X * (338 / 1023.0), 0.634, 5e-4);
    EXPECT_TRUE(Traced("GetPrimaryColorChromaticityFromEDID\n"));
}

// A primary with y = 0 has no XYZ: the decode fails and hands nothing on.
TEST_F(MonitorProbeTest, PrimaryWithZeroYFails)
{
    struct Case
    {
        const char* name;
        int highByte; // the y byte cleared
        int packedByte;
        std::uint8_t packedMask; // the y bits kept
    };
    const Case cases[] = {{"red", 28, 25, 0xCF}, {"green", 30, 25, 0xFC}, {"blue", 32, 26, 0xCF}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> edid = platform::BuildEdid(platform::EdidFields{});
        const std::uint8_t packed =
            static_cast<std::uint8_t>(edid[static_cast<std::size_t>(c.packedByte)] & c.packedMask);
        ASSERT_TRUE(probe.SetEdid(EdidWith({{c.highByte, 0}, {c.packedByte, packed}})));
        XyzTriple red{7, 7, 7};
        XyzTriple green{7, 7, 7};
        XyzTriple blue{7, 7, 7};
        EXPECT_EQ(probe.GetPrimaryColorChromaticityFromEDID(red, green, blue), -1);
        for (const XyzTriple* xyz : {&red, &green, &blue})
        {
            EXPECT_EQ(xyz->X, 7);
            EXPECT_EQ(xyz->Z, 7);
        }
    }
}

TEST_F(MonitorProbeTest, EdidFromTheMonitorIsTakenOnlyWhenValid)
{
    const std::vector<std::uint8_t> first = EdidWith({{8, 0x04}, {9, 0x43}});
    fake.edid = first;
    fake.edid.resize(256, 0x70); // an extension block follows
    ASSERT_EQ(probe.GetEDIDFromMon(), 0);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), probe.Edid().begin()));
    EXPECT_TRUE(Traced("GetEDIDFromMon\n"));
    EXPECT_TRUE(Traced("00FFFFFFFFFFFF00"));

    struct Case
    {
        const char* name;
        std::vector<std::uint8_t> edid;
        bool answer;
    };
    std::vector<std::uint8_t> badSum = EdidWith({});
    badSum[127] ^= 1;
    const Case failures[] = {
        {"bad checksum", badSum, true},
        {"bad header", EdidWith({{1, 0x00}}), true},
        {"short", std::vector<std::uint8_t>(first.begin(), first.begin() + 100), true},
        {"no answer", first, false},
    };
    for (const Case& c : failures)
    {
        SCOPED_TRACE(c.name);
        fake.edid = c.edid;
        fake.edidAnswer = c.answer;
        EXPECT_EQ(probe.GetEDIDFromMon(), 1);
        EXPECT_TRUE(std::equal(first.begin(), first.end(), probe.Edid().begin()));
    }
    std::string maker;
    ASSERT_EQ(probe.GetManufactureIDFromEDID(maker), 0);
    EXPECT_EQ(maker, "ABC");
}

TEST_F(MonitorProbeTest, ColourTemperatureOnTheDaylightLocus)
{
    struct Case
    {
        int kelvin;
        int result;
        double x;
        double y;
    };
    // Reference: the CIE daylight locus; D65 at 6504 K is (0.3127, 0.3290),
    // D50 at 5003 K (0.3457, 0.3585), D75 at 7504 K (0.2990, 0.3149).
    const Case cases[] = {
        {6500, 0, 0.3128, 0.3292},  {5000, 0, 0.3457, 0.3586},
        {7500, 0, 0.2990, 0.3150},  {4000, 0, 0.3823, 0.3838},
        {25000, 0, 0.2499, 0.2548}, {3999, 17, 0, 0},
        {25001, 17, 0, 0},          {0, 17, 0, 0},
        {-6500, 17, 0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.kelvin);
        XyzTriple white{7, 7, 7};
        EXPECT_EQ(probe.ConvertFromColorTempIntoColorChrom(c.kelvin, white), c.result);
        if (c.result != 0)
        {
            EXPECT_EQ(white.X, 7);
            continue;
        }
        const double sum = white.X + white.Y + white.Z;
        EXPECT_EQ(white.Y, 1.0);
        EXPECT_NEAR(white.X / sum, c.x, 1e-4);
        EXPECT_NEAR(white.Y / sum, c.y, 1e-4);
    }
    // The two branches of the locus meet at 7000 K.
    XyzTriple below;
    XyzTriple at;
    ASSERT_EQ(probe.ConvertFromColorTempIntoColorChrom(6999, below), 0);
    ASSERT_EQ(probe.ConvertFromColorTempIntoColorChrom(7000, at), 0);
    EXPECT_NEAR(below.X / (below.X + 1 + below.Z), at.X / (at.X + 1 + at.Z), 2e-4);
    EXPECT_TRUE(Traced("ColorTemperature = 6500\n"));
}

TEST_F(MonitorProbeTest, ConnectedWithCapabilities)
{
    EXPECT_EQ(probe.GetCapabilityString(), CMonitorProbe::kConnected);
    EXPECT_EQ(probe.MonitorNumber(), 0);
    EXPECT_EQ(probe.Probe()[0], 1u);
    EXPECT_TRUE(caps.IsFetched());
    EXPECT_EQ(caps.GetValueCount(0x14), 2);
    EXPECT_TRUE(Traced("MonitorNo = 0\n"));
    EXPECT_TRUE(Traced("GetCapabilityString_Success\n"));
    EXPECT_TRUE(Traced("GetCapabilityString:" + fake.capabilities + "\n"));
}

// Without a capabilities string, a readable New Control Value still makes
// the monitor usable.
TEST_F(MonitorProbeTest, CapabilitiesMissingFallsBackToNewControlValue)
{
    fake.capabilitiesAnswer = false;
    EXPECT_EQ(probe.GetCapabilityString(), CMonitorProbe::kConnected);
    EXPECT_EQ(probe.NewControlValueSupported(), 1);
    EXPECT_FALSE(caps.IsFetched());
    EXPECT_TRUE(Traced("GetCapabilityString_Error\n"));
    EXPECT_TRUE(Traced("GetNewControlValue_Success\n"));

    fake.values.erase(0x02);
    EXPECT_EQ(probe.GetCapabilityString(), CMonitorProbe::kNotConnected);
    EXPECT_EQ(probe.NewControlValueSupported(), 0);
    EXPECT_TRUE(Traced("GetNewControlValue_Error\n"));
}

TEST_F(MonitorProbeTest, SilentOrBusyMonitorIsNotConnected)
{
    fake.failNext = -1;
    EXPECT_EQ(probe.GetCapabilityString(), CMonitorProbe::kNotConnected);
    EXPECT_EQ(probe.Probe(), ProbeTable{});
    EXPECT_EQ(fake.capabilityCalls, 0);

    fake.failNext = 0;
    ASSERT_TRUE(platform::RegistryStore(dir.File("registry.ini"))
                    .SetDword(kDdcCiRegistryKey, kStateValueName, 1));
    fake.getCalls = 0;
    EXPECT_EQ(probe.GetCapabilityString(), CMonitorProbe::kNotConnected);
    EXPECT_EQ(fake.Exchanges(), 0);
}

// The whole road against the simulated monitor: probe (the first attempt
// fails), capabilities, EDID and its decoding.
TEST(MonitorProbeSimulatedTest, ProbeAndIdentifyTheStockMonitor)
{
    TempDir dir;
    platform::SimulatedMonitorFile file(dir.File("monitors.ini"));
    ASSERT_TRUE(file.Write());
    ASSERT_TRUE(file.SetFailNext("SIM-1", 3));
    ASSERT_TRUE(platform::RegistryStore(dir.File("registry.ini"))
                    .SetDword(kDdcCiRegistryKey, kStateValueName, 0));
    platform::VirtualClock clock;
    platform::SimulatedDdcTransport transport(file.Path(), clock);
    CTraceLog trace(dir.File("none.ini"), dir.File("fprintf.txt"));
    CDdcCiLink link(transport, clock, platform::RegistryStore(dir.File("registry.ini")), trace);
    CMccsCapabilities caps(&link);
    CMonitorProbe probe(link, caps, trace);

    ASSERT_EQ(probe.GetCapabilityString(), CMonitorProbe::kConnected);
    EXPECT_EQ(probe.MonitorNumber(), 1);
    EXPECT_EQ(caps.IsVcpSupported(platform::vcp::kSelectColorPreset), 1);
    EXPECT_EQ(caps.IsVcpSupported(platform::vcp::kNewControlValue), 1);
    EXPECT_GT(caps.GetValueCount(platform::vcp::kSelectColorPreset), 0);

    ASSERT_EQ(probe.GetEDIDFromMon(), 0);
    std::string maker;
    std::string product;
    ASSERT_EQ(probe.GetManufactureIDFromEDID(maker), 0);
    ASSERT_EQ(probe.GetProductIDFromEDID(product), 0);
    EXPECT_EQ(maker, "QBX");
    EXPECT_EQ(product, "1234");

    // sRGB primaries, within the EDID's ten-bit resolution.
    XyzTriple red;
    XyzTriple green;
    XyzTriple blue;
    ASSERT_EQ(probe.GetPrimaryColorChromaticityFromEDID(red, green, blue), 0);
    const double expected[3][2] = {{0.640, 0.330}, {0.300, 0.600}, {0.150, 0.060}};
    const XyzTriple* primaries[3] = {&red, &green, &blue};
    for (int p = 0; p < 3; ++p)
    {
        const double sum = primaries[p]->X + primaries[p]->Y + primaries[p]->Z;
        EXPECT_NEAR(primaries[p]->X / sum, expected[p][0], 2e-3) << p;
        EXPECT_NEAR(primaries[p]->Y / sum, expected[p][1], 2e-3) << p;
    }
}

} // namespace
