#include "platform/DisplayDevices.h"
#include "platform/ddc/SimulatedMonitors.h"

#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace platform;
using testsupport::TempDir;
using testsupport::WriteBinaryFile;
using testsupport::WriteTextFile;

namespace {

TEST(DisplayDevicesTest, EdidChecksHeaderAndChecksum)
{
    const std::vector<std::uint8_t> good = BuildEdid(EdidFields{});
    EXPECT_TRUE(IsValidEdidBlock(good));

    std::vector<std::uint8_t> badSum = good;
    badSum[127] ^= 0x01;
    EXPECT_TRUE(HasEdidHeader(badSum));
    EXPECT_FALSE(IsValidEdidBlock(badSum));

    std::vector<std::uint8_t> badHeader = good;
    badHeader[0] = 0x01;
    badHeader[127] = static_cast<std::uint8_t>(badHeader[127] - 1); // sum stays 0
    EXPECT_FALSE(IsValidEdidBlock(badHeader));

    EXPECT_FALSE(IsValidEdidBlock(std::span(good).first(127)));
}

TEST(DisplayDevicesTest, HardwareIdFromMakerLettersAndProduct)
{
    const struct
    {
        const char* maker;
        std::uint16_t product;
        const char* expected;
    } cases[] = {
        {"QBX", 0x1234, "QBX1234"},
        {"ABC", 0x00AF, "ABC00AF"},
        {"ZZZ", 0xFFFF, "ZZZFFFF"},
        {"", 0x1234, ""}, // maker code 0: no letters
    };
    for (const auto& c : cases)
    {
        EdidFields fields;
        fields.maker = c.maker;
        fields.product = c.product;
        EXPECT_EQ(EdidHardwareId(BuildEdid(fields)), c.expected) << c.maker;
    }
}

TEST(DisplayDevicesTest, DeviceIdIsTheFormTheTransportsUse)
{
    TempDir dir;
    VirtualClock clock;
    SimulatedMonitorFile file(dir.File("monitors.ini"));
    SimulatedMonitorSetup plain = DefaultSimulatedMonitor();
    SimulatedMonitorSetup noMaker = DefaultSimulatedMonitor();
    noMaker.section = "Monitor2";
    noMaker.connector = "SIM-2";
    noMaker.primary = false;
    noMaker.edid.maker = "";
    ASSERT_TRUE(file.Write({plain, noMaker}));
    SimulatedDdcTransport transport(file.Path(), clock);
    const auto monitors = transport.EnumerateMonitors();
    ASSERT_EQ(monitors.size(), 2u);
    const char* expected[] = {"MONITOR\\QBX1234\\SIM-1", "MONITOR\\Default_Monitor\\SIM-2"};
    for (std::size_t i = 0; i < monitors.size(); ++i)
    {
        std::vector<std::uint8_t> edid;
        ASSERT_TRUE(transport.GetEdid(monitors[i], &edid));
        EXPECT_EQ(MonitorDeviceId(edid, monitors[i].connector), monitors[i].deviceId);
        EXPECT_EQ(monitors[i].deviceId, expected[i]);
    }
}

TEST(DisplayDevicesTest, EnumeratesConnectorsOfAFakeTree)
{
    TempDir dir;
    namespace fs = std::filesystem;
    const std::string root = dir.File("drm");
    for (const char* folder :
         {"card0", "card0-DP-1", "card0-HDMI-A-1", "card1-eDP-1", "renderD128"})
        fs::create_directories(fs::path(root) / folder);
    WriteTextFile(root + "/version", "drm 1.1.0\n");
    WriteTextFile(root + "/card1-eDP-1/status", "connected\n");
    WriteBinaryFile(root + "/card1-eDP-1/edid", BuildEdid(EdidFields{}));
    WriteTextFile(root + "/card0-DP-1/status", "connected\n");
    WriteBinaryFile(root + "/card0-DP-1/edid", {0x00, 0xFF});
    WriteTextFile(root + "/card0-HDMI-A-1/status", "disconnected\n");
    WriteBinaryFile(root + "/card0-HDMI-A-1/edid", {});

    const auto connectors = EnumerateDrmConnectors(root);
    ASSERT_EQ(connectors.size(), 3u);
    EXPECT_EQ(connectors[0].name, "card0-DP-1");
    EXPECT_EQ(connectors[0].card, "card0");
    EXPECT_EQ(connectors[0].port, "DP-1");
    EXPECT_TRUE(connectors[0].connected);
    EXPECT_TRUE(connectors[0].edidRead);
    EXPECT_EQ(connectors[0].edid.size(), 2u);
    EXPECT_EQ(connectors[1].name, "card0-HDMI-A-1");
    EXPECT_EQ(connectors[1].port, "HDMI-A-1");
    EXPECT_FALSE(connectors[1].connected);
    EXPECT_FALSE(connectors[1].edidRead);
    EXPECT_EQ(connectors[2].name, "card1-eDP-1");
    EXPECT_TRUE(IsValidEdidBlock(connectors[2].edid));

    EXPECT_TRUE(EnumerateDrmConnectors(dir.File("missing")).empty());
}

} // namespace
