// The monitor over the simulated DDC/CI monitor: the busy value around a
// selection, the retry rule on a virtual clock, enumeration with monitors
// that do not answer, the white gains and the luminance refresh.

#include "monitor/Display.h"

#include "platform/Registry.h"
#include "platform/ddc/SimulatedMonitors.h"

#include "tests/monitor/BusyWatchingTransport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using platform::SimulatedExchange;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

class DisplayTest : public ::testing::Test
{
protected:
    DisplayTest() : config("XDG_CONFIG_HOME", dir.File("config")), file(dir.File("monitors.ini"))
    {
        std::filesystem::create_directories(dir.File("config"));
    }

    // Writes the monitors and builds the display over them.
    void Start(const std::vector<platform::SimulatedMonitorSetup>& monitors = {})
    {
        ASSERT_TRUE(file.Write(monitors));
        auto t = std::make_unique<BusyWatchingTransport>(file.Path(), clock);
        transport = t.get();
        display = std::make_unique<CDdcApiDisplay>(std::move(t), clock, dir.File("no-drm"));
        display->SetProgramFolder(dir.File("program"));
        ASSERT_TRUE(display->EnumMonitors());
    }

    std::optional<std::uint32_t> Busy() const
    {
        return platform::RegistryStore().GetDword(kDdcBusyRegistryKey, kDdcBusyValueName);
    }

    static platform::SimulatedMonitorSetup Monitor(const char* connector, bool primary)
    {
        platform::SimulatedMonitorSetup m = platform::DefaultSimulatedMonitor();
        m.section = std::string("Monitor") + connector;
        m.connector = connector;
        m.primary = primary;
        return m;
    }

    TempDir dir;
    ScopedEnv config;
    platform::VirtualClock clock;
    platform::SimulatedMonitorFile file;
    BusyWatchingTransport* transport = nullptr;
    std::unique_ptr<CDdcApiDisplay> display;
};

TEST_F(DisplayTest, SelectionIsBracketedByTheBusyValue)
{
    Start();
    ASSERT_EQ(display->Monitors.size(), 1u);
    EXPECT_FALSE(Busy().has_value());

    ASSERT_TRUE(display->SelectMonitor(0));
    // The presence test ran while the value said busy; afterwards it is free.
    ASSERT_EQ(transport->busy.size(), 1u);
    EXPECT_EQ(transport->busy[0], std::optional<std::uint32_t>(1));
    EXPECT_EQ(Busy(), std::optional<std::uint32_t>(0));
    EXPECT_EQ(display->SelectedIndex, 0);
    EXPECT_EQ(display->DeviceID, QStringLiteral("MONITOR\\QBX1234\\SIM-1"));
    EXPECT_EQ(display->ModelCode, 0x1234);
    EXPECT_EQ(display->EdidMonitorName, QStringLiteral("QB SIM 24"));
    EXPECT_EQ(display->EdidSerialNumber, QStringLiteral("SIM0001"));
    QString text;
    EXPECT_TRUE(display->GetModelName(text));
    EXPECT_EQ(text, QStringLiteral("QB SIM 24"));
    EXPECT_TRUE(display->GetSerialNumber(text));
    EXPECT_EQ(text, QStringLiteral("SIM0001"));
}

TEST_F(DisplayTest, SelectionOutOfRangeWritesNoBusyValue)
{
    Start();
    for (const int index : {-1, 1})
    {
        EXPECT_FALSE(display->SelectMonitor(index)) << index;
        EXPECT_FALSE(Busy().has_value()) << index;
        EXPECT_EQ(display->SelectedIndex, -1);
    }
    EXPECT_TRUE(transport->busy.empty());
    EXPECT_TRUE(clock.Sleeps().empty());
}

TEST_F(DisplayTest, EndOfTheMonitorObjectLeavesTheChannelBusy)
{
    Start();
    ASSERT_TRUE(display->SelectMonitor(0));
    EXPECT_EQ(Busy(), std::optional<std::uint32_t>(0));
    display.reset();
    EXPECT_EQ(Busy(), std::optional<std::uint32_t>(1));
}

TEST_F(DisplayTest, TheBusyValueFunctionWritesWhatItIsGiven)
{
    for (const std::uint32_t state : {1u, 0u, 1u})
    {
        EXPECT_TRUE(SetDdcBusyFlag(state));
        EXPECT_EQ(Busy(), std::optional<std::uint32_t>(state));
    }
}

TEST_F(DisplayTest, SilentMonitorDoesNotEndTheEnumeration)
{
    platform::SimulatedMonitorSetup silent = Monitor("SIM-1", true);
    silent.noAnswer = true;
    platform::SimulatedMonitorSetup broken = Monitor("SIM-2", false);
    broken.rawEdidHex = "00FFFFFFFFFFFF00"; // a header and nothing else
    platform::SimulatedMonitorSetup good = Monitor("SIM-3", false);
    good.edid.product = 0x1301;
    Start({silent, broken, good});

    ASSERT_EQ(display->Monitors.size(), 3u);
    EXPECT_EQ(display->Monitors[0].ModelCode, 0x1234);
    EXPECT_EQ(display->Monitors[1].ModelCode, 0);
    EXPECT_TRUE(display->Monitors[1].EdidMonitorName.isEmpty());
    EXPECT_EQ(display->Monitors[2].ModelCode, 0x1301);

    // The owner's rule: select 0, 1, 2 ... until one answers.
    EXPECT_FALSE(display->SelectMonitor(0));
    EXPECT_EQ(Busy(), std::optional<std::uint32_t>(0));
    EXPECT_TRUE(display->SelectMonitor(1));
    EXPECT_TRUE(display->SelectMonitor(2));
    EXPECT_TRUE(display->IsResetModel());
    EXPECT_FALSE(display->IsRefreshModel());

    std::vector<QString> descriptions;
    display->GetMonitorDescriptions(descriptions);
    EXPECT_EQ(descriptions.size(), 3u);
}

TEST_F(DisplayTest, RetriesFiveTimesWithPausesOnTheClock)
{
    Start();
    ASSERT_TRUE(display->SelectMonitor(0));
    const struct
    {
        int failNext;
        bool answered;
        std::vector<std::int64_t> sleeps;
    } cases[] = {
        {0, true, {100, 100}},
        {2, true, {100, 100, 100, 100}}, // answers on the third attempt
        {4, true, {100, 100, 100, 100, 100, 100}},
        {5, false, {100, 100, 100, 100, 100}},
    };
    for (const auto& c : cases)
    {
        ASSERT_TRUE(file.SetFailNext("SIM-1", c.failNext));
        clock.ClearSleeps();
        std::uint16_t maximum = 7, current = 7;
        EXPECT_EQ(display->GetControlRange(0, &maximum, &current), c.answered) << c.failNext;
        EXPECT_EQ(clock.Sleeps(), c.sleeps) << c.failNext;
        EXPECT_EQ(maximum, c.answered ? 100 : 7) << c.failNext;
        EXPECT_EQ(current, c.answered ? 80 : 7) << c.failNext;
    }
}

TEST_F(DisplayTest, SaveSettingsWaitsLongerAfterSuccess)
{
    Start();
    ASSERT_TRUE(display->SelectMonitor(0));
    ASSERT_TRUE(file.SetFailNext("SIM-1", 1));
    clock.ClearSleeps();
    EXPECT_TRUE(display->SaveSettings());
    EXPECT_EQ(clock.Sleeps(), (std::vector<std::int64_t>{100, 100, 1000}));
    EXPECT_EQ(file.Counters("SIM-1")->saves, 1);
}

TEST_F(DisplayTest, UnknownControlsFailAtOnce)
{
    Start();
    ASSERT_TRUE(display->SelectMonitor(0));
    transport->inner.ClearLog();
    clock.ClearSleeps();
    for (const int control : {7, 9, -1, 13})
    {
        std::uint16_t maximum = 3, current = 4;
        EXPECT_FALSE(display->GetControlRange(control, &maximum, &current));
        EXPECT_FALSE(display->GetControlValue(control, &current));
        EXPECT_FALSE(display->GetControlMaximum(control, &maximum));
        EXPECT_FALSE(display->SetControlValue(control, 1));
        EXPECT_EQ(maximum, 3);
        EXPECT_EQ(current, 4);
    }
    EXPECT_TRUE(transport->inner.Log().empty());
    EXPECT_TRUE(clock.Sleeps().empty());
}

TEST_F(DisplayTest, ControlsReachTheirVcpCodes)
{
    Start();
    ASSERT_TRUE(display->SelectMonitor(0));
    EXPECT_TRUE(display->SetControlValue(1, 60));
    EXPECT_EQ(file.ReadVcp("SIM-1", 0x12)->current, 60);
    // The value is cut to 16 bits: 0x10000 + 40 writes 40.
    EXPECT_TRUE(display->SetControlValue(3, 0x10000 + 40));
    EXPECT_EQ(file.ReadVcp("SIM-1", 0x16)->current, 40);
    std::uint16_t value = 0;
    EXPECT_TRUE(display->GetControlValue(3, &value));
    EXPECT_EQ(value, 40);
    EXPECT_TRUE(display->GetControlMaximum(1, &value));
    EXPECT_EQ(value, 100);
}

TEST_F(DisplayTest, RefreshLuminanceWritesBackWhatItRead)
{
    Start();
    ASSERT_TRUE(display->SelectMonitor(0));
    transport->inner.ClearLog();
    clock.ClearSleeps();
    display->RefreshLuminanceFlag = true;
    display->RefreshLuminance();
    const auto& log = transport->inner.Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].kind, SimulatedExchange::Kind::SetVcp);
    EXPECT_EQ(log[1].code, 0x10);
    EXPECT_EQ(log[1].value, 80);
    EXPECT_EQ(clock.Sleeps().front(), 500);
}

TEST_F(DisplayTest, FailedLuminanceReadWritesNothing)
{
    Start();
    ASSERT_TRUE(display->SelectMonitor(0));
    transport->inner.ClearLog();
    ASSERT_TRUE(file.SetFailNext("SIM-1", 5));
    display->RefreshLuminanceFlag = true;
    display->RefreshLuminance();
    for (const SimulatedExchange& e : transport->inner.Log())
        EXPECT_NE(e.kind, SimulatedExchange::Kind::SetVcp);
    EXPECT_EQ(file.ReadVcp("SIM-1", 0x10)->current, 80);
}

TEST_F(DisplayTest, RefreshLuminanceOffOnlyWaits)
{
    Start();
    ASSERT_TRUE(display->SelectMonitor(0));
    transport->inner.ClearLog();
    clock.ClearSleeps();
    display->RefreshLuminanceFlag = false;
    display->RefreshLuminance();
    EXPECT_TRUE(transport->inner.Log().empty());
    EXPECT_EQ(clock.Sleeps(), (std::vector<std::int64_t>{500}));
}

TEST_F(DisplayTest, SelectionLoadsTheModelsPrimaries)
{
    std::filesystem::create_directories(dir.File("program/Data/1234"));
    const std::string full = "[PrimaryColor]\nRed_x=0.64\nRed_y=0.33\nGreen_x=0.30\nGreen_y=0.60\n"
                             "Blue_x=0.15\nBlue_y=0.06\nWhite_x=0.3127\nWhite_y=0.3290\n";
    WriteTextFile(dir.File("program/Data/1234/1234.ini"), full + "Gamma=2.2\n");
    Start();
    EXPECT_EQ(ModelIniPath(0x1234, dir.File("program")), dir.File("program/Data/1234/1234.ini"));
    ASSERT_TRUE(display->SelectMonitor(0));
    EXPECT_TRUE(display->PrimariesLoaded);
    EXPECT_DOUBLE_EQ(display->Primaries[8], 2.2);

    // Without the gamma the eight chromaticities are read and the set refused.
    WriteTextFile(dir.File("program/Data/1234/1234.ini"), full);
    ASSERT_TRUE(display->SelectMonitor(0));
    EXPECT_FALSE(display->PrimariesLoaded);
    double values[9] = {};
    EXPECT_FALSE(CDisplay::LoadPrimaryColors("PrimaryColor", values,
                                             dir.File("program/Data/1234/1234.ini")));
    EXPECT_DOUBLE_EQ(values[7], 0.3290);
    EXPECT_DOUBLE_EQ(values[8], 0.0);
}

// A display with sRGB primaries, D65 white and gamma 2.2 loaded, for the
// white gains.
class WhiteGainsTest : public ::testing::Test
{
protected:
    WhiteGainsTest() : config("XDG_CONFIG_HOME", dir.File("config"))
    {
        display.Primaries = {0.64, 0.33, 0.30, 0.60, 0.15, 0.06, 0.3127, 0.3290, 2.2};
        display.PrimariesLoaded = true;
    }
    TempDir dir;
    ScopedEnv config;
    platform::VirtualClock clock;
    CDdcApiDisplay display{std::make_unique<platform::SimulatedDdcTransport>("", clock), clock};
};

TEST_F(WhiteGainsTest, GainsForTheMonitorsOwnWhite)
{
    const double white[2] = {0.3127, 0.3290};
    const struct
    {
        std::vector<std::uint16_t> maxima;
        std::vector<int> gains;
    } cases[] = {
        {{255, 255, 255}, {255, 255, 255}},
        {{255, 255, 200}, {200, 200, 145}}, // lowered by 255 - 200
        {{255, 255, 10}, {10, 10, 0}},      // blue would go below 0: it stays 0
    };
    for (const auto& c : cases)
    {
        std::vector<std::uint16_t> gains;
        ASSERT_TRUE(display.ComputeWhiteGains(white, gains, c.maxima));
        ASSERT_EQ(gains.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_NEAR(gains[i], c.gains[i], 1) << "channel " << i << " max " << c.maxima[2];
    }
}

TEST_F(WhiteGainsTest, WarmerTargetLowersBlue)
{
    const double warm[2] = {0.3457, 0.3585}; // D50
    std::vector<std::uint16_t> gains;
    ASSERT_TRUE(display.ComputeWhiteGains(warm, gains, {255, 255, 255}));
    ASSERT_EQ(gains.size(), 3u);
    EXPECT_LT(gains[2], gains[1]);
    EXPECT_LE(*std::max_element(gains.begin(), gains.end()), 255);
}

TEST_F(WhiteGainsTest, NothingWithoutPrimaries)
{
    display.PrimariesLoaded = false;
    const double white[2] = {0.3127, 0.3290};
    std::vector<std::uint16_t> gains;
    EXPECT_FALSE(display.ComputeWhiteGains(white, gains, {255, 255, 255}));
    EXPECT_TRUE(gains.empty());
}

bool Contains(std::span<const std::uint16_t> group, std::uint16_t code)
{
    return IsModelIn(group, code);
}

TEST(ModelGroupsTest, SizesAndRelationsHold)
{
    EXPECT_EQ(ResetModelCodes().size(), 9u);
    EXPECT_EQ(UserPresetModelCodes().size(), 32u);
    EXPECT_EQ(TwoRangeBrightnessModelCodes().size(), 3u);
    EXPECT_EQ(RefreshModelCodes().size(), 35u);
    EXPECT_EQ(SlowResetModelCodes().size(), 3u);
    EXPECT_EQ(AutoSetupModelCodes().size(), 11u);

    for (const std::uint16_t code : RefreshModelCodes())
        EXPECT_TRUE(Contains(UserPresetModelCodes(), code) !=
                    Contains(TwoRangeBrightnessModelCodes(), code))
            << std::hex << code;
    for (const std::uint16_t code : ResetModelCodes())
        for (auto group : {UserPresetModelCodes(), TwoRangeBrightnessModelCodes(),
                           RefreshModelCodes(), SlowResetModelCodes(), AutoSetupModelCodes()})
            EXPECT_FALSE(Contains(group, code)) << std::hex << code;
    for (const std::uint16_t code : SlowResetModelCodes())
        for (auto group :
             {UserPresetModelCodes(), TwoRangeBrightnessModelCodes(), RefreshModelCodes()})
            EXPECT_FALSE(Contains(group, code)) << std::hex << code;
    int user = 0, twoRange = 0, slow = 0;
    for (const std::uint16_t code : AutoSetupModelCodes())
    {
        user += Contains(UserPresetModelCodes(), code);
        twoRange += Contains(TwoRangeBrightnessModelCodes(), code);
        slow += Contains(SlowResetModelCodes(), code);
    }
    EXPECT_EQ(user, 9);
    EXPECT_EQ(twoRange, 1);
    EXPECT_EQ(slow, 1);
}

} // namespace
