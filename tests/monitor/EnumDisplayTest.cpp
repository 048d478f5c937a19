// The displays from a fake /sys/class/drm tree: EDID checks, device IDs in
// the form the transports use, descriptor texts, the join with screens and
// the display's profiles from the association store.

#include "monitor/EnumDisplay.h"

#include "core/IniFile.h"
#include "platform/ColorDirectory.h"
#include "platform/DisplayDevices.h"
#include "platform/ddc/SimulatedMonitors.h"

#include "tests/support/TestEnv.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteBinaryFile;
using testsupport::WriteTextFile;

namespace {

void AddConnector(const std::string& root, const std::string& name, const char* status,
                  const std::vector<std::uint8_t>& edid)
{
    std::filesystem::create_directories(root + "/" + name);
    WriteTextFile(root + "/" + name + "/status", std::string(status) + "\n");
    WriteBinaryFile(root + "/" + name + "/edid", edid);
}

// card0-DP-1: a good EDID; card0-DP-2: nothing connected; card0-HDMI-A-1:
// an EDID whose checksum is wrong.
class FakeDrmTree : public ::testing::Test
{
protected:
    FakeDrmTree() : root(dir.File("drm"))
    {
        std::filesystem::create_directories(root + "/card0");
        good = platform::BuildEdid(platform::EdidFields{});
        broken = good;
        broken[127] ^= 0x5A;
        AddConnector(root, "card0-DP-1", "connected", good);
        AddConnector(root, "card0-DP-2", "disconnected", {});
        AddConnector(root, "card0-HDMI-A-1", "connected", broken);
    }
    TempDir dir;
    std::string root;
    std::vector<std::uint8_t> good, broken;
};

TEST_F(FakeDrmTree, ListsConnectedDisplaysAndRefusesABrokenEdid)
{
    const CEnumDisplay displays(root);
    EXPECT_TRUE(displays.Ok);
    ASSERT_EQ(displays.Count, 2);

    const DisplayDeviceInfo* first = displays.FindDisplay(1);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->DeviceName, QStringLiteral("card0-DP-1"));
    EXPECT_EQ(first->DeviceID, QStringLiteral("MONITOR\\QBX1234\\card0-DP-1"));
    EXPECT_TRUE(first->EdidRead);
    EXPECT_EQ(first->MonitorName, QStringLiteral("QB SIM 24"));
    EXPECT_TRUE(std::equal(good.begin(), good.end(), first->Edid.begin()));

    const DisplayDeviceInfo* second = displays.FindDisplay(2);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->DeviceName, QStringLiteral("card0-HDMI-A-1"));
    EXPECT_FALSE(second->EdidRead);
    EXPECT_EQ(second->MonitorName, QStringLiteral("Default Monitor"));
    EXPECT_TRUE(
        std::all_of(second->Edid.begin(), second->Edid.end(), [](auto b) { return b == 0; }));

    EXPECT_EQ(displays.FindDisplay(3), nullptr);
    EXPECT_EQ(displays.FindConnector(QStringLiteral("card0-DP-2")), nullptr);

    std::uint8_t edid[256];
    EXPECT_TRUE(displays.ReadEdid(edid, QStringLiteral("card0-DP-1")));
    EXPECT_FALSE(displays.ReadEdid(edid, QStringLiteral("card0-HDMI-A-1")));
    EXPECT_FALSE(displays.ReadEdid(edid, QStringLiteral("card9-DP-1")));
}

TEST_F(FakeDrmTree, DeviceIdIsTheOneTheTransportGivesTheSameEdid)
{
    // The simulated monitor with the same EDID on a connector of the same
    // name: the agent and the association store know it by this ID.
    platform::VirtualClock clock;
    platform::SimulatedMonitorFile file(dir.File("monitors.ini"));
    platform::SimulatedMonitorSetup setup = platform::DefaultSimulatedMonitor();
    setup.connector = "card0-DP-1";
    ASSERT_TRUE(file.Write({setup}));
    platform::SimulatedDdcTransport transport(file.Path(), clock);
    const auto monitors = transport.EnumerateMonitors();
    ASSERT_EQ(monitors.size(), 1u);
    const CEnumDisplay displays(root);
    EXPECT_EQ(displays.FindDisplay(1)->DeviceID.toStdString(), monitors[0].deviceId);
}

TEST(EdidDecodeTest, ManufacturerLetters)
{
    std::uint8_t edid[128] = {};
    EXPECT_EQ(CEnumDisplay::ManufacturerId(edid), QStringLiteral("@@@"));
    edid[8] = 0x04;
    edid[9] = 0x43;
    EXPECT_EQ(CEnumDisplay::ManufacturerId(edid), QStringLiteral("ABC"));
    std::uint16_t code = 77;
    EXPECT_FALSE(CEnumDisplay::GetMakerProductCode(edid, &code));
    EXPECT_EQ(code, 77);

    const auto qbx = platform::BuildEdid(platform::EdidFields{});
    EXPECT_TRUE(CEnumDisplay::GetMakerProductCode(qbx.data(), &code));
    EXPECT_EQ(code, 0x1234);
}

TEST(EdidDecodeTest, DescriptorTexts)
{
    const struct
    {
        int at;
        std::uint8_t lead; // byte 0 of the descriptor
        const char* bytes; // 13 bytes from offset 5
        bool found;
        const char* text;
    } cases[] = {
        {72, 0, "ABC\n         ", true, "ABC"},
        {90, 0, "ABCDEFGHIJKLM", true, "ABCDEFGHIJKLM"}, // no line feed: whole
        {108, 0, "A\nB\n         ", true, "A\nB"},       // cut at the last line feed
        {54, 0, "ABC\n         ", false, ""},            // the first descriptor is not examined
        {72, 1, "ABC\n         ", false, ""},            // a timing, not a display descriptor
    };
    for (const auto& c : cases)
    {
        std::uint8_t edid[128] = {};
        edid[c.at] = c.lead;
        edid[c.at + 3] = 0xFC;
        std::memcpy(edid + c.at + 5, c.bytes, 13);
        QString out = QStringLiteral("untouched");
        EXPECT_EQ(CEnumDisplay::GetEdidDescriptorText(edid, 0xFC, out), c.found) << c.at;
        EXPECT_EQ(out, c.found ? QString::fromLatin1(c.text) : QStringLiteral("untouched")) << c.at;
        EXPECT_FALSE(CEnumDisplay::GetEdidDescriptorText(edid, 0xFF, out));
    }
}

TEST(MatchScreenTest, ByPortNameThenByEdidIdentity)
{
    platform::DrmConnector dp;
    dp.name = "card0-DP-1";
    dp.port = "DP-1";
    const std::vector<ScreenFacts> screens = {
        {"HDMI-1", "QB SIM 24", "SIM0001"},
        {"DP-1", "", ""},
    };
    EXPECT_EQ(MatchScreen(dp, "QB SIM 24", "SIM0001", screens, {}), 1);
    EXPECT_EQ(MatchScreen(dp, "QB SIM 24", "SIM0001", screens, {false, true}), 0);
    EXPECT_EQ(MatchScreen(dp, "QB SIM 24", "", screens, {false, true}), -1);
    EXPECT_EQ(MatchScreen(dp, "QB SIM 24", "SIM0001", screens, {true, true}), -1);
    EXPECT_EQ(MatchScreen(dp, "", "", {}, {}), -1);
}

class DisplayProfileTest : public FakeDrmTree
{
protected:
    DisplayProfileTest()
        : config("XDG_CONFIG_HOME", dir.File("config")), data("XDG_DATA_HOME", dir.File("data"))
    {
        std::filesystem::create_directories(dir.File("config"));
        ini = dir.File("settings.ini");
    }
    ScopedEnv config;
    ScopedEnv data;
    std::string ini;
};

TEST_F(DisplayProfileTest, ListsTheDisplaysProfilesAndPostsOnceForTheFirst)
{
    const std::string id = "MONITOR\\QBX1234\\card0-DP-1";
    ASSERT_TRUE(platform::AssociateDisplayProfile(id, "second.icc"));
    ASSERT_TRUE(platform::AssociateDisplayProfile(id, "first.icc"));

    CDisplayProfile profile(ini, root);
    EXPECT_EQ(profile.DisplayID, 1);
    QSignalSpy spy(&profile, &CDisplayProfile::notify);
    profile.EnumMonitorProfiles(true);
    ASSERT_EQ(profile.ProfileNames.size(), 2u);
    EXPECT_EQ(profile.ProfileNames[0], QStringLiteral("first.icc"));
    EXPECT_EQ(profile.ProfileNames[1], QStringLiteral("second.icc"));
    EXPECT_EQ(spy.count(), 0); // posted, not sent
    QCoreApplication::processEvents();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy[0][0].toInt(), kUwmMonitorProfileFound);
    EXPECT_EQ(spy[0][1].toInt(), 0);
    EXPECT_EQ(spy[0][2].toLongLong(), 0);

    QString first;
    EXPECT_TRUE(CDisplayProfile::GetFirstMonitorProfile(profile.ProfileNames, first));
    EXPECT_EQ(first, QStringLiteral("first.icc"));
    QString untouched = QStringLiteral("x");
    EXPECT_FALSE(CDisplayProfile::GetFirstMonitorProfile({}, untouched));
    EXPECT_EQ(untouched, QStringLiteral("x"));
}

// A display that cannot be identified is the default display.
TEST_F(DisplayProfileTest, UnknownDisplayListsTheDefaultDisplaysAndTheNumberIsKept)
{
    {
        CIniFile(ini).SetInt("Displays", "DisplayID", 7);
        CDisplayProfile profile(ini, root);
        EXPECT_EQ(profile.DisplayID, 7);
        EXPECT_TRUE(profile.DeviceID.isEmpty());
        profile.ProfileNames = {QStringLiteral("dropped.icc")};
        QSignalSpy spy(&profile, &CDisplayProfile::notify);
        profile.EnumMonitorProfiles(true);
        QCoreApplication::processEvents();
        EXPECT_EQ(spy.count(), 0);
        EXPECT_TRUE(profile.ProfileNames.empty());

        ASSERT_TRUE(platform::AssociateDisplayProfile("", "default.icc"));
        profile.EnumMonitorProfiles(true);
        QCoreApplication::processEvents();
        EXPECT_EQ(spy.count(), 1);
        EXPECT_EQ(profile.ProfileNames, std::vector<QString>{QStringLiteral("default.icc")});
        profile.DisplayID = 2;
    }
    EXPECT_EQ(CIniFile(ini).GetInt("Displays", "DisplayID", 1), 2);
}

// The display of the window's screen: the enumeration's where it shows that
// screen; without an enumeration (no DRM folder) the DDC/CI monitor's on
// the primary screen; else the default display. A display without profiles
// of its own lists the default display's.
TEST_F(DisplayProfileTest, TheWindowsDisplayIsTheEnumerationsElseTheMonitorsOnThePrimaryScreen)
{
    QScreen* primary = QGuiApplication::primaryScreen();
    ASSERT_NE(primary, nullptr);
    const QString monitorId = QStringLiteral("MONITOR\\QBX1234\\SIM-1");

    CEnumDisplay none(dir.File("no-drm"));
    EXPECT_EQ(DisplayDeviceIdOf(none, primary, primary, monitorId), monitorId);
    EXPECT_EQ(DisplayDeviceIdOf(none, nullptr, primary, monitorId), monitorId);
    int other = 0; // any screen object that is not the primary one
    EXPECT_EQ(DisplayDeviceIdOf(none, reinterpret_cast<const QScreen*>(&other), primary, monitorId),
              QString());

    // The fake tree's display shows no screen of the offscreen platform:
    // it is known, but not this screen's.
    CEnumDisplay drm(root);
    ASSERT_GT(drm.Count, 0);
    EXPECT_EQ(DisplayDeviceIdOf(drm, primary, primary, monitorId), QString());
    CEnumDisplay shown(root);
    shown.Entries.begin()->second.Monitor = primary;
    EXPECT_EQ(DisplayDeviceIdOf(shown, primary, primary, monitorId),
              shown.Entries.begin()->second.DeviceID);

    CDisplayProfile profile(ini, dir.File("no-drm"));
    EXPECT_TRUE(profile.SelectDisplay(primary, monitorId));
    EXPECT_FALSE(profile.SelectDisplay(primary, monitorId));
    EXPECT_EQ(profile.DeviceID, monitorId);
    ASSERT_TRUE(platform::AssociateDisplayProfile("", "default.icc"));
    profile.EnumMonitorProfiles(false);
    EXPECT_EQ(profile.ProfileNames, std::vector<QString>{QStringLiteral("default.icc")});
    ASSERT_TRUE(platform::AssociateDisplayProfile(monitorId.toStdString(), "own.icc"));
    profile.EnumMonitorProfiles(false);
    EXPECT_EQ(profile.ProfileNames, std::vector<QString>{QStringLiteral("own.icc")});
}

} // namespace
