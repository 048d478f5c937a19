// The agent end to end: its dialog against the simulated monitor on a
// virtual clock, with the colour directory, the association store and the
// registry in a private folder and the message box recorded. The timer's
// job is run by calling OnTimer while the timer is armed, as its firing
// would.

#include "agent/ZephDlg.h"
#include "agent/AgentSettings.h"
#include "agent/ProfileSettingsDlg.h"
#include "agent/ZephApp.h"
#include "platform/ColorDirectory.h"
#include "platform/Folders.h"
#include "platform/Registry.h"
#include "platform/ddc/SimulatedMonitors.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSystemTrayIcon>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

void EnsureApplication()
{
    if (QCoreApplication::instance() != nullptr)
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "test_agent";
    static char* argv[] = {name, nullptr};
    // Lives as long as the test program.
    static QApplication* application = new QApplication(argc, argv);
    (void)application;
}

constexpr const char* kConnector = "SIM-1";
constexpr const char* kDeviceId = "MONITOR\\QBX1234\\SIM-1";
constexpr std::uint8_t kTemperature = 0x0C; // colour temperature request
constexpr std::uint8_t kPreset = 0x14;

std::string HexText(const std::vector<std::uint8_t>& bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (const std::uint8_t b : bytes)
    {
        text += kDigits[b >> 4];
        text += kDigits[b & 0xF];
    }
    return text;
}

platform::SimulatedMonitorSetup Without(platform::SimulatedMonitorSetup setup, std::uint8_t code)
{
    std::erase_if(setup.vcp, [code](const platform::SimulatedVcpCode& v) { return v.code == code; });
    if (code == kPreset)
        setup.presets.clear();
    return setup;
}

class ZephDlgTest : public ::testing::Test
{
protected:
    ZephDlgTest()
    {
        EnsureApplication();
        EXPECT_TRUE(platform::EnsureFolder(AgentFolder()));
        EXPECT_TRUE(monitor.Write());
        SetBusy(0);
    }

    void SetBusy(std::optional<std::uint32_t> state)
    {
        platform::RegistryStore store;
        if (state)
            EXPECT_TRUE(store.SetDword(kDdcCiRegistryKey, kStateValueName, *state));
        else
            EXPECT_TRUE(store.DeleteValue(kDdcCiRegistryKey, kStateValueName));
    }

    void SetMode(std::uint32_t mode)
    {
        platform::RegistryStore store;
        EXPECT_TRUE(store.SetDword(kModeRegistryKey, kStateValueName, mode));
    }

    std::optional<std::uint32_t> Mode() const
    {
        return platform::RegistryStore().GetDword(kModeRegistryKey, kStateValueName);
    }

    ZephEnvironment Environment(bool trayIcon = false)
    {
        ZephEnvironment environment;
        environment.transport = &transport;
        environment.clock = &clock;
        environment.messageBox = [this](const std::string& text) { messages.push_back(text); };
        environment.trayIcon = trayIcon;
        return environment;
    }

    std::unique_ptr<CZEPHDlg> Start(bool trayIcon = false)
    {
        auto dialog = std::make_unique<CZEPHDlg>(Environment(trayIcon));
        dialog->OnInitDialog();
        return dialog;
    }

    // The armed timer fires.
    static void Fire(CZEPHDlg& dialog)
    {
        ASSERT_TRUE(dialog.IsTimerRunning());
        dialog.OnTimer();
    }

    // Pro mode with a prepared profile for every preset the stock monitor
    // lists (01h, 04h, 05h, 06h, 08h, 0Bh); the files only need to exist.
    void PrepareProMode()
    {
        const char* presets[] = {"SRGB", "5000K", "6500K", "7500K", "9300K", "PROGRAMMABLE"};
        std::string ini = "[COLOR_PROFILE_SELECT]\n";
        for (const char* preset : presets)
        {
            const std::string file = std::string("pro-") + preset + ".icm";
            ini += std::string("PN") + preset + "=" + file + "\n";
            testsupport::WriteTextFile(ColorDir() + file, "prepared profile");
        }
        testsupport::WriteTextFile(AgentIniPath(), ini);
        SetMode(1);
    }

    std::string ColorDir() const
    {
        std::string folder;
        EXPECT_TRUE(platform::ColorDirectory(folder));
        return folder;
    }

    static std::string DisplayProfile() { return platform::DefaultDisplayProfile(kDeviceId); }

    // VCP codes read from the monitor since the log was cleared.
    std::vector<std::uint8_t> CodesRead() const
    {
        std::vector<std::uint8_t> codes;
        for (const platform::SimulatedExchange& e : transport.Log())
        {
            if (e.kind == platform::SimulatedExchange::Kind::GetVcp)
                codes.push_back(e.code);
        }
        return codes;
    }

    void FrontPanel(std::uint8_t code, std::uint16_t value)
    {
        ASSERT_TRUE(monitor.FrontPanelChange(kConnector, code, value));
    }

    TempDir dir;
    ScopedEnv configHome{"XDG_CONFIG_HOME", dir.Path() + "config"};
    ScopedEnv dataHome{"XDG_DATA_HOME", dir.Path() + "data"};
    ScopedEnv cacheHome{"XDG_CACHE_HOME", dir.Path() + "cache"};
    platform::SimulatedMonitorFile monitor{dir.File("monitors.ini")};
    platform::VirtualClock clock;
    platform::SimulatedDdcTransport transport{monitor.Path(), clock};
    std::vector<std::string> messages;
};

// Start-up ends polling (the monitor answers), searching (no monitor, or the
// main program holds the channel: then without a single exchange) or idle
// (the monitor cannot announce changes: monitoring off, one message).
TEST_F(ZephDlgTest, StartUpEndsPollingSearchingOrIdle)
{
    struct Case
    {
        const char* name;
        bool unplugged;
        std::uint32_t busy;
        bool without02h;
        int status;
        int armed;
        bool monitoring;
        std::size_t messages;
    };
    const Case cases[] = {
        {"monitor answers", false, 0, false, CZEPHDlg::kStatusPolling, CZEPHDlg::kTimerPoll, true,
         0},
        {"no monitor", true, 0, false, CZEPHDlg::kStatusNotConnected, CZEPHDlg::kTimerSearch, true,
         0},
        {"channel busy", false, 1, false, CZEPHDlg::kStatusNotConnected, CZEPHDlg::kTimerSearch,
         true, 0},
        {"no VCP 02h", false, 0, true, CZEPHDlg::kStatusUnsuitable, CZEPHDlg::kTimerNone, false, 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        messages.clear();
        ASSERT_TRUE(c.without02h
                        ? monitor.Write({Without(platform::DefaultSimulatedMonitor(), 0x02)})
                        : monitor.Write());
        ASSERT_TRUE(monitor.SetUnplugged(kConnector, c.unplugged));
        SetBusy(c.busy);
        transport.ClearLog();

        auto dialog = Start();
        EXPECT_EQ(dialog->ConnectStatus(), c.status);
        EXPECT_EQ(dialog->ArmedTimer(), c.armed);
        EXPECT_EQ(dialog->IsTimerRunning(), c.armed != CZEPHDlg::kTimerNone);
        if (c.armed != CZEPHDlg::kTimerNone)
        {
            EXPECT_EQ(dialog->TimerIntervalMs(), 1000);
        }
        EXPECT_EQ(dialog->IsMonitoringOn(), c.monitoring);
        EXPECT_EQ(dialog->Action(CZEPHDlg::kIdMonitoringOff)->isChecked(), !c.monitoring);
        ASSERT_EQ(messages.size(), c.messages);
        if (c.messages != 0)
        {
            EXPECT_EQ(messages[0], CZEPHDlg::kMessageNoNewControlValue);
        }
        if (c.busy != 0)
        {
            EXPECT_TRUE(transport.Log().empty());
        }
    }
}

// The first poll after start-up builds the profile of the monitor's
// settings (preset 5: T = 50 x 70 + 3000 = 6500 K, gamma 2.2 where the
// capabilities describe none), installs it and makes it the display's; a
// preset changed at the front panel does the same for the new preset, and
// going back to a preset reuses its file instead of writing another.
TEST_F(ZephDlgTest, FrontPanelPresetChangeInstallsTheProfileAndReusesIt)
{
    auto dialog = Start();
    Fire(*dialog);
    EXPECT_EQ(DisplayProfile(), "6500K_22_QBX1234.icm");
    EXPECT_TRUE(std::filesystem::exists(ColorDir() + "6500K_22_QBX1234.icm"));
    EXPECT_TRUE(dialog->IsInitialised());
    EXPECT_EQ(dialog->ArmedTimer(), CZEPHDlg::kTimerPoll);

    FrontPanel(kPreset, 8); // 9300 K: 0Ch becomes 126
    Fire(*dialog);
    EXPECT_EQ(DisplayProfile(), "9300K_22_QBX1234.icm");
    EXPECT_EQ(monitor.ReadVcp(kConnector, 0x02)->current, 1) << "the change is acknowledged";
    // The agent's profile replaced its previous one; it did not pile up.
    EXPECT_EQ(platform::DisplayProfiles(kDeviceId),
              std::vector<std::string>{"9300K_22_QBX1234.icm"});

    const std::vector<std::string> files = platform::ListInstalledProfiles();
    const auto written = std::filesystem::last_write_time(ColorDir() + "9300K_22_QBX1234.icm");
    clock.Advance(5000);
    FrontPanel(kPreset, 5);
    Fire(*dialog);
    EXPECT_EQ(DisplayProfile(), "6500K_22_QBX1234.icm");
    FrontPanel(kPreset, 8);
    Fire(*dialog);
    EXPECT_EQ(DisplayProfile(), "9300K_22_QBX1234.icm");
    EXPECT_EQ(platform::ListInstalledProfiles(), files) << "no new file for a known setting";
    EXPECT_EQ(std::filesystem::last_write_time(ColorDir() + "9300K_22_QBX1234.icm"), written);
    EXPECT_EQ(dialog->ArmedTimer(), CZEPHDlg::kTimerPoll);
    EXPECT_TRUE(messages.empty());
}

// The first profile decision on a display nothing was associated with
// names no profile as the current one and takes nothing off; the next one
// names and takes off the profile the agent put on.
TEST_F(ZephDlgTest, FirstProfileDecisionTracesNoProfileItNeverAssociated)
{
    testsupport::WriteTextFile(AgentDebugIniPath(), "[FILEOUT]\nFILEOUT_FLG=1\n");
    ASSERT_TRUE(platform::DisplayProfiles(kDeviceId).empty());
    auto dialog = Start();
    Fire(*dialog);
    ASSERT_EQ(DisplayProfile(), "6500K_22_QBX1234.icm");
    std::string trace = testsupport::ReadTextFile(TraceFilePath());
    EXPECT_NE(trace.find(std::string("current profile: none associated with device ") + kDeviceId),
              std::string::npos)
        << trace;
    EXPECT_EQ(trace.find("current profile GetICMProfile name"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("Disassociate"), std::string::npos) << trace;

    std::filesystem::remove(TraceFilePath());
    FrontPanel(kPreset, 8);
    Fire(*dialog);
    ASSERT_EQ(DisplayProfile(), "9300K_22_QBX1234.icm");
    trace = testsupport::ReadTextFile(TraceFilePath());
    EXPECT_NE(trace.find("current profile GetICMProfile name = " + ColorDir() +
                         "6500K_22_QBX1234.icm,"),
              std::string::npos)
        << trace;
    EXPECT_NE(trace.find("DisassociateColorProfileFromDevice OK"), std::string::npos) << trace;
}

// With VCP 02h reading 1 and a profile in place, a poll reads nothing else
// and re-arms itself.
TEST_F(ZephDlgTest, QuietPollReadsOnlyTheNewControlValue)
{
    auto dialog = Start();
    Fire(*dialog);
    const std::string profile = DisplayProfile();
    transport.ClearLog();
    Fire(*dialog);
    EXPECT_EQ(CodesRead(), std::vector<std::uint8_t>{0x02});
    EXPECT_EQ(transport.Log().size(), 1u) << "nothing written either";
    EXPECT_EQ(dialog->ArmedTimer(), CZEPHDlg::kTimerPoll);
    EXPECT_EQ(dialog->TimerIntervalMs(), 1000);
    EXPECT_EQ(DisplayProfile(), profile);
}

// Easy mode follows every setting that shapes the profile; pro mode only
// the colour preset, which picks the user's prepared file.
TEST_F(ZephDlgTest, ProAndEasyModeReactToTheirOwnSettings)
{
    struct Case
    {
        const char* name;
        bool pro;
        std::uint8_t code;
        std::uint16_t value;
        const char* profileAfter;
        std::vector<std::uint8_t> codesRead;
    };
    // Easy mode reads every code the monitor lists (E8h and 68h it does not).
    const std::vector<std::uint8_t> kEasyCodes = {0x02, 0x0B, 0x0C, 0x14, 0x72};
    const Case cases[] = {
        {"easy, temperature", false, kTemperature, 80, "7000K_22_QBX1234.icm", kEasyCodes},
        {"easy, preset", false, kPreset, 4, "5000K_22_QBX1234.icm", kEasyCodes},
        {"pro, temperature", true, kTemperature, 80, "pro-6500K.icm", {0x02, 0x14}},
        {"pro, preset", true, kPreset, 8, "pro-9300K.icm", {0x02, 0x14}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(monitor.Write());
        if (c.pro)
            PrepareProMode();
        else
            SetMode(0);

        auto dialog = Start();
        EXPECT_EQ(dialog->IsProfileSelectOk(), c.pro);
        Fire(*dialog); // the first decision: the current preset's profile
        EXPECT_EQ(dialog->EasyMode(), c.pro ? 0 : 1);
        EXPECT_EQ(DisplayProfile(), c.pro ? "pro-6500K.icm" : "6500K_22_QBX1234.icm");

        FrontPanel(c.code, c.value);
        transport.ClearLog();
        Fire(*dialog);
        EXPECT_EQ(DisplayProfile(), c.profileAfter);
        EXPECT_EQ(CodesRead(), c.codesRead);
    }
}

// The mode menu writes the shared MODE value; a poll takes over what MODE
// says as long as every preset has a prepared profile, and forces easy mode
// otherwise.
TEST_F(ZephDlgTest, ModeFollowsTheMenuAndTheRegistry)
{
    PrepareProMode();
    auto dialog = Start();
    EXPECT_EQ(dialog->EasyMode(), 0);
    EXPECT_TRUE(dialog->Action(CZEPHDlg::kIdProMode)->isChecked());
    EXPECT_TRUE(dialog->ModeMenu()->menuAction()->isEnabled());

    dialog->Action(CZEPHDlg::kIdEasyMode)->trigger();
    EXPECT_EQ(Mode(), 0u);
    EXPECT_EQ(dialog->RequestedEasyMode(), 1);
    Fire(*dialog);
    EXPECT_EQ(dialog->EasyMode(), 1);
    EXPECT_EQ(DisplayProfile(), "6500K_22_QBX1234.icm");

    SetMode(1); // pro mode chosen elsewhere
    Fire(*dialog);
    EXPECT_EQ(dialog->EasyMode(), 0);
    EXPECT_TRUE(dialog->Action(CZEPHDlg::kIdProMode)->isChecked());

    // No prepared profiles: MODE says pro, the agent stays in easy mode.
    testsupport::WriteTextFile(AgentIniPath(), "");
    auto forced = Start();
    EXPECT_FALSE(forced->IsProfileSelectOk());
    EXPECT_FALSE(forced->ModeMenu()->menuAction()->isEnabled());
    Fire(*forced);
    EXPECT_EQ(forced->EasyMode(), 1);
    EXPECT_TRUE(forced->Action(CZEPHDlg::kIdEasyMode)->isChecked());
}

// While the main program holds the DDC/CI channel the agent sends nothing
// to the monitor and looks again every second; once the channel is free it
// finds the monitor and polls again.
TEST_F(ZephDlgTest, BusyChannelMeansNoTrafficAndOneSecondRetries)
{
    auto dialog = Start();
    Fire(*dialog);
    SetBusy(1);
    transport.ClearLog();
    for (int tick = 0; tick < 3; ++tick)
    {
        Fire(*dialog);
        EXPECT_EQ(dialog->ArmedTimer(), CZEPHDlg::kTimerSearch);
        EXPECT_EQ(dialog->TimerIntervalMs(), 1000);
    }
    EXPECT_TRUE(transport.Log().empty());
    EXPECT_FALSE(dialog->Action(CZEPHDlg::kIdMonitoringOn)->isEnabled());
    EXPECT_FALSE(dialog->Action(CZEPHDlg::kIdMonitoringOff)->isEnabled());

    SetBusy(std::nullopt); // an unreadable value is as busy as 1
    Fire(*dialog);
    EXPECT_TRUE(transport.Log().empty());

    SetBusy(0);
    Fire(*dialog);
    EXPECT_EQ(dialog->ConnectStatus(), CZEPHDlg::kStatusPolling);
    EXPECT_EQ(dialog->ArmedTimer(), CZEPHDlg::kTimerPoll);
    EXPECT_TRUE(dialog->Action(CZEPHDlg::kIdMonitoringOn)->isEnabled());
}

// The monitor announces only the changes made with its own buttons (02h =
// 2). Once the main program has held the DDC/CI channel and freed it, the
// first poll reads the settings once without that: a preset the main
// program wrote gets its profile, settings as they were leave the profile
// and its association alone, and no more is read at the polls after it.
// Without a hold (or before the main program ever ran: no busy value at
// all) a poll reads 02h alone, as before.
TEST_F(ZephDlgTest, SettingsWrittenWhileTheMainProgramHeldTheChannelAreReadOnce)
{
    testsupport::WriteTextFile(AgentDebugIniPath(), "[FILEOUT]\nFILEOUT_FLG=1\n");
    struct Case
    {
        const char* name;
        bool pro;
        std::optional<std::optional<std::uint32_t>> hold; // busy value meanwhile; none: no hold
        std::optional<std::uint16_t> presetWritten;        // by the main program
        const char* profileAfter;
        bool installed;
        std::vector<std::uint8_t> codesRead; // at the first poll on the free channel
    };
    const std::vector<std::uint8_t> kEasyCodes = {0x02, 0x0B, 0x0C, 0x14, 0x72};
    const std::optional<std::uint32_t> kHeld(1);
    const std::optional<std::uint32_t> kMissing;
    const Case cases[] = {
        {"held, another preset written", false, kHeld, 4, "5000K_22_QBX1234.icm", true, kEasyCodes},
        {"held, nothing written", false, kHeld, std::nullopt, "6500K_22_QBX1234.icm", false,
         kEasyCodes},
        {"held, the same preset written again", false, kHeld, 5, "6500K_22_QBX1234.icm", false,
         kEasyCodes},
        {"pro mode, held, another preset written", true, kHeld, 8, "pro-9300K.icm", true,
         {0x02, 0x14}},
        {"never held, another preset written", false, std::nullopt, 4, "6500K_22_QBX1234.icm",
         false, {0x02}},
        {"busy value missing, then free", false, kMissing, 4, "6500K_22_QBX1234.icm", false,
         {0x02}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(monitor.Write());
        SetBusy(0);
        if (c.pro)
            PrepareProMode();
        else
            SetMode(0);
        auto dialog = Start();
        Fire(*dialog);
        const std::string before = c.pro ? "pro-6500K.icm" : "6500K_22_QBX1234.icm";
        ASSERT_EQ(DisplayProfile(), before);
        const auto associated = std::filesystem::last_write_time(platform::DisplayProfileStorePath());

        std::filesystem::remove(TraceFilePath());
        if (c.hold)
        {
            SetBusy(*c.hold);
            Fire(*dialog); // the poll finds the channel held
            ASSERT_EQ(dialog->ArmedTimer(), CZEPHDlg::kTimerSearch);
        }
        if (c.presetWritten)
        {
            // The main program's own write: 02h stays as it was.
            platform::SimulatedDdcTransport host(monitor.Path(), clock);
            const std::vector<platform::PhysicalMonitor> monitors = host.EnumerateMonitors();
            ASSERT_FALSE(monitors.empty());
            ASSERT_TRUE(host.SetVcp(monitors.front(), kPreset, *c.presetWritten));
            ASSERT_EQ(monitor.ReadVcp(kConnector, 0x02)->current, 1);
        }
        if (c.hold)
        {
            SetBusy(0);
            Fire(*dialog); // the search finds the monitor again
            ASSERT_EQ(dialog->ArmedTimer(), CZEPHDlg::kTimerPoll);
        }
        transport.ClearLog();
        Fire(*dialog);
        EXPECT_EQ(CodesRead(), c.codesRead);
        for (const platform::SimulatedExchange& e : transport.Log())
        {
            EXPECT_EQ(e.kind, platform::SimulatedExchange::Kind::GetVcp) << "nothing written";
        }
        EXPECT_EQ(DisplayProfile(), c.profileAfter);
        EXPECT_EQ(platform::DisplayProfiles(kDeviceId), std::vector<std::string>{c.profileAfter});
        const std::string trace = testsupport::ReadTextFile(TraceFilePath());
        EXPECT_EQ(trace.find("ChangeColorProfile_Start") != std::string::npos, c.installed) << trace;
        if (!c.installed)
        {
            EXPECT_EQ(std::filesystem::last_write_time(platform::DisplayProfileStorePath()), associated)
                << "no new association";
        }
        const bool readAfterHold = c.codesRead.size() > 1;
        EXPECT_EQ(trace.find("DDCCI RELEASE BY REGISTRY:READ_VCP") != std::string::npos,
                  readAfterHold)
            << trace;
        EXPECT_EQ(trace.find("NO_CHANGE_COLOR_PROFILE") != std::string::npos,
                  readAfterHold && !c.installed)
            << trace;

        // Read once: the next poll is a quiet one again.
        transport.ClearLog();
        Fire(*dialog);
        EXPECT_EQ(CodesRead(), std::vector<std::uint8_t>{0x02});
        EXPECT_EQ(DisplayProfile(), c.profileAfter);
        EXPECT_TRUE(messages.empty());
    }
}

// On an account where CHROMIVEL never ran the busy value is missing, and
// the agent waits for it: its trace says why once, at start-up, and the
// retries after it only repeat the inhibit line. A value that is there,
// busy or free, is nothing to explain.
TEST_F(ZephDlgTest, StartUpTraceSaysOnceThatItWaitsForTheMainProgram)
{
    testsupport::WriteTextFile(AgentDebugIniPath(), "[FILEOUT]\nFILEOUT_FLG=1\n");
    const std::string waiting = "until CHROMIVEL has run once on this account";
    struct Case
    {
        const char* name;
        std::optional<std::uint32_t> busy;
        std::size_t said;
    };
    const Case cases[] = {
        {"no busy value", std::nullopt, 1},
        {"busy", 1, 0},
        {"free", 0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(TraceFilePath());
        SetBusy(c.busy);
        transport.ClearLog();
        auto dialog = Start();
        for (int tick = 0; tick < 3; ++tick)
            Fire(*dialog);

        const std::string trace = testsupport::ReadTextFile(TraceFilePath());
        std::size_t said = 0;
        std::size_t inhibited = 0;
        for (std::size_t at = trace.find(waiting); at != std::string::npos;
             at = trace.find(waiting, at + 1))
            ++said;
        for (std::size_t at = trace.find("DDCCI INHIBIT BY REGISTRY"); at != std::string::npos;
             at = trace.find("DDCCI INHIBIT BY REGISTRY", at + 1))
            ++inhibited;
        EXPECT_EQ(said, c.said) << trace;
        if (c.said != 0)
        {
            EXPECT_NE(trace.find(std::string("DDC/CI busy value ") + kDdcCiRegistryKey), std::string::npos)
                << trace;
        }
        // Busy or missing, the channel stays untouched and every retry says so.
        EXPECT_EQ(inhibited, c.busy == 0u ? 0u : 3u) << trace;
        EXPECT_EQ(transport.Log().empty(), c.busy != 0u);
    }
}

// A monitor that goes away sends the agent back to searching; when it
// comes back, polling resumes and a change made meanwhile is acted on.
TEST_F(ZephDlgTest, DisconnectAndReconnect)
{
    auto dialog = Start();
    Fire(*dialog);
    ASSERT_TRUE(monitor.SetUnplugged(kConnector, true));
    Fire(*dialog);
    EXPECT_EQ(dialog->ConnectStatus(), CZEPHDlg::kStatusNotConnected);
    EXPECT_EQ(dialog->ArmedTimer(), CZEPHDlg::kTimerSearch);
    Fire(*dialog);
    EXPECT_EQ(dialog->ArmedTimer(), CZEPHDlg::kTimerSearch);

    FrontPanel(kPreset, 6); // 7500 K, changed while unplugged
    ASSERT_TRUE(monitor.SetUnplugged(kConnector, false));
    Fire(*dialog);
    EXPECT_EQ(dialog->ConnectStatus(), CZEPHDlg::kStatusPolling);
    EXPECT_EQ(dialog->ArmedTimer(), CZEPHDlg::kTimerPoll);
    Fire(*dialog);
    EXPECT_EQ(DisplayProfile(), "7500K_22_QBX1234.icm");
    EXPECT_TRUE(messages.empty());
}

// Off stays off: switching monitoring off while the agent searches stops
// the search too, and nothing (a late tick, a new poll interval) starts
// polling or searching again until "On".
TEST_F(ZephDlgTest, OffWhileSearchingStaysOff)
{
    ASSERT_TRUE(monitor.SetUnplugged(kConnector, true));
    auto dialog = Start();
    ASSERT_EQ(dialog->ArmedTimer(), CZEPHDlg::kTimerSearch);

    dialog->Action(CZEPHDlg::kIdMonitoringOff)->trigger();
    EXPECT_FALSE(dialog->IsMonitoringOn());
    EXPECT_FALSE(dialog->IsTimerRunning());
    EXPECT_FALSE(dialog->ModeMenu()->menuAction()->isEnabled());

    ASSERT_TRUE(monitor.SetUnplugged(kConnector, false));
    transport.ClearLog();
    dialog->OnTimer(); // a tick that was already on its way
    dialog->OnPollInterval(2);
    EXPECT_FALSE(dialog->IsTimerRunning());
    EXPECT_TRUE(transport.Log().empty());
    EXPECT_TRUE(platform::DisplayProfiles(kDeviceId).empty());

    dialog->Action(CZEPHDlg::kIdMonitoringOn)->trigger();
    EXPECT_EQ(dialog->ArmedTimer(), CZEPHDlg::kTimerSearch);
    Fire(*dialog);
    EXPECT_EQ(dialog->ArmedTimer(), CZEPHDlg::kTimerPoll);
    EXPECT_EQ(dialog->TimerIntervalMs(), 2000);
    Fire(*dialog);
    EXPECT_EQ(DisplayProfile(), "6500K_22_QBX1234.icm");
}

// Switching off while polling stops the poll; "On" always makes a profile
// at the first poll, even when nothing changed at the monitor.
TEST_F(ZephDlgTest, OnAfterOffRebuildsAtTheFirstPoll)
{
    auto dialog = Start();
    Fire(*dialog);
    dialog->Action(CZEPHDlg::kIdMonitoringOff)->trigger();
    EXPECT_FALSE(dialog->IsTimerRunning());
    ASSERT_TRUE(platform::DisassociateDisplayProfile(kDeviceId, "6500K_22_QBX1234.icm"));

    dialog->Action(CZEPHDlg::kIdMonitoringOn)->trigger();
    EXPECT_FALSE(dialog->IsInitialised());
    Fire(*dialog); // search: found
    Fire(*dialog); // poll: 02h reads 1, but the agent was switched on
    EXPECT_EQ(DisplayProfile(), "6500K_22_QBX1234.icm");
}

// Easy mode on a monitor without a colour preset (14h): the agent says so
// once and switches monitoring off, instead of saying it every second.
TEST_F(ZephDlgTest, NoColorPresetIsReportedOnce)
{
    ASSERT_TRUE(monitor.Write({Without(platform::DefaultSimulatedMonitor(), kPreset)}));
    auto dialog = Start();
    ASSERT_EQ(dialog->ConnectStatus(), CZEPHDlg::kStatusPolling);
    EXPECT_EQ(dialog->EasyMode(), 1);

    Fire(*dialog);
    EXPECT_EQ(messages, std::vector<std::string>{CZEPHDlg::kMessageNoColorPreset});
    EXPECT_FALSE(dialog->IsMonitoringOn());
    EXPECT_FALSE(dialog->IsTimerRunning());
    EXPECT_TRUE(dialog->Action(CZEPHDlg::kIdMonitoringOff)->isChecked());

    transport.ClearLog();
    for (int tick = 0; tick < 3; ++tick)
        dialog->OnTimer();
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_TRUE(transport.Log().empty());
    EXPECT_TRUE(platform::DisplayProfiles(kDeviceId).empty());
}

// A profile that cannot be made now (here: the EDID cannot be read) is
// tried again at the next poll, without waiting for another change at the
// monitor; polling goes on meanwhile.
TEST_F(ZephDlgTest, FailedBuildIsRetriedAtTheNextPoll)
{
    auto dialog = Start();
    Fire(*dialog);
    ASSERT_EQ(DisplayProfile(), "6500K_22_QBX1234.icm");

    ASSERT_TRUE(monitor.SetKey(kConnector, "EdidHex", "00FF"));
    FrontPanel(kPreset, 8);
    Fire(*dialog);
    EXPECT_EQ(DisplayProfile(), "6500K_22_QBX1234.icm") << "the old profile stays";
    EXPECT_EQ(dialog->ArmedTimer(), CZEPHDlg::kTimerPoll);
    EXPECT_EQ(dialog->ConnectStatus(), CZEPHDlg::kStatusPolling);

    ASSERT_TRUE(monitor.SetKey(kConnector, "EdidHex",
                               HexText(platform::BuildEdid(platform::EdidFields()))));
    ASSERT_EQ(monitor.ReadVcp(kConnector, 0x02)->current, 1) << "no new change announced";
    Fire(*dialog);
    EXPECT_EQ(DisplayProfile(), "9300K_22_QBX1234.icm");
    EXPECT_TRUE(dialog->IsInitialised());
    EXPECT_TRUE(messages.empty());
}

// The profile settings: Cancel changes nothing and rebuilds nothing; OK
// takes effect at the next poll, which makes the profile anew in the chosen
// format.
TEST_F(ZephDlgTest, ProfileSettingsCancelKeepsEverythingOkRebuilds)
{
    auto dialog = Start();
    Fire(*dialog);
    const CProfileInstaller::VcpValues previous = dialog->PreviousValues();
    ProfileSettingsDlg* settings = dialog->SettingsDialog();

    QTimer::singleShot(0, settings, [settings] {
        settings->findChild<QRadioButton*>("1001")->setChecked(true);
        settings->findChild<QPushButton*>("2")->click();
    });
    dialog->OnProfileFormat();
    EXPECT_FALSE(dialog->HasPendingSettings());
    EXPECT_TRUE(dialog->IsInitialised());
    EXPECT_EQ(dialog->PreviousValues(), previous);
    transport.ClearLog();
    Fire(*dialog);
    EXPECT_EQ(CodesRead(), std::vector<std::uint8_t>{0x02}) << "no rebuild after Cancel";
    EXPECT_EQ(dialog->SettingsInForce().format, ProfileSettingsDlg::kFormatIcc);

    QTimer::singleShot(0, settings, [settings] {
        EXPECT_TRUE(settings->findChild<QRadioButton*>("1000")->isChecked());
        settings->findChild<QRadioButton*>("1001")->setChecked(true);
        settings->findChild<QPushButton*>("1")->click();
    });
    dialog->OnProfileFormat();
    EXPECT_TRUE(dialog->HasPendingSettings());
    EXPECT_FALSE(dialog->IsInitialised());
    EXPECT_EQ(dialog->SettingsInForce().format, ProfileSettingsDlg::kFormatIcc);

    Fire(*dialog);
    EXPECT_FALSE(dialog->HasPendingSettings());
    EXPECT_EQ(dialog->SettingsInForce().format, ProfileSettingsDlg::kFormatDeviceModel);
    EXPECT_EQ(dialog->SettingsInForce().whiteLuminance, 200);
    EXPECT_EQ(DisplayProfile(), "6500K_22_QBX1234.cdmp");
    EXPECT_TRUE(std::filesystem::exists(ColorDir() + "6500K_22_QBX1234.cdmp"));
}

// The tray menu as the user sees it, with its exclusive choices.
TEST_F(ZephDlgTest, TrayMenuHoldsTheDesignedEntries)
{
    auto dialog = Start(true);
    const QList<QAction*> entries = dialog->TrayMenu()->actions();
    ASSERT_EQ(entries.size(), 7);
    const char* texts[] = {"プロファイル形式選択", "モード設定", "", "オン", "オフ", "", "終了"};
    for (int i = 0; i < 7; ++i)
    {
        EXPECT_EQ(entries[i]->text(), QString::fromUtf8(texts[i])) << i;
        EXPECT_EQ(entries[i]->isSeparator(), texts[i][0] == '\0') << i;
    }
    EXPECT_EQ(entries[1]->menu(), dialog->ModeMenu());
    const QList<QAction*> modes = dialog->ModeMenu()->actions();
    ASSERT_EQ(modes.size(), 2);
    EXPECT_EQ(modes[0]->text(), QString::fromUtf8("プロモード"));
    EXPECT_EQ(modes[1]->text(), QString::fromUtf8("かんたんモード"));

    // Radio groups: checking one entry clears the other.
    EXPECT_TRUE(dialog->Action(CZEPHDlg::kIdMonitoringOn)->isChecked());
    dialog->Action(CZEPHDlg::kIdMonitoringOff)->trigger();
    EXPECT_FALSE(dialog->Action(CZEPHDlg::kIdMonitoringOn)->isChecked());
    dialog->Action(CZEPHDlg::kIdProMode)->trigger();
    EXPECT_FALSE(dialog->Action(CZEPHDlg::kIdEasyMode)->isChecked());
    EXPECT_EQ(Mode(), 1u);

    // Without a notification area (as under the offscreen platform) the
    // agent works on without an icon.
    EXPECT_EQ(dialog->TrayIcon() != nullptr, QSystemTrayIcon::isSystemTrayAvailable());
    if (dialog->TrayIcon() != nullptr)
    {
        EXPECT_EQ(dialog->TrayIcon()->toolTip(), QStringLiteral("ZEPH"));
    }
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("ZEPH"));
    EXPECT_FALSE(dialog->isVisible());
}

// Exit ends the agent's event loop, the tray icon goes, the lock is
// released; a second agent started while one runs ends at once.
TEST_F(ZephDlgTest, ApplicationRunsUntilExitAndOnlyOnce)
{
    const ZephEnvironment environment = Environment();
    {
        const std::unique_ptr<QLockFile> running = AcquireAgentLock(CZEPHApp::LockFilePath());
        ASSERT_NE(running, nullptr);
        CZEPHApp second(environment);
        EXPECT_EQ(second.InitInstance(), CZEPHApp::kExitAlreadyRunning);
        EXPECT_TRUE(platform::DisplayProfiles(kDeviceId).empty()) << "the second did nothing";
    }

    bool sawDialog = false;
    QTimer::singleShot(0, [&sawDialog] {
        for (QWidget* widget : QApplication::topLevelWidgets())
        {
            if (auto* dialog = qobject_cast<CZEPHDlg*>(widget))
            {
                sawDialog = true;
                EXPECT_EQ(dialog->ConnectStatus(), CZEPHDlg::kStatusPolling);
                EXPECT_EQ(AcquireAgentLock(CZEPHApp::LockFilePath()), nullptr);
                dialog->Action(CZEPHDlg::kIdExit)->trigger();
            }
        }
    });
    CZEPHApp agent(environment);
    EXPECT_EQ(agent.InitInstance(), CZEPHApp::kExitOk);
    EXPECT_TRUE(sawDialog);
    EXPECT_NE(AcquireAgentLock(CZEPHApp::LockFilePath()), nullptr) << "lock released";
}

// SIGINT, SIGTERM and SIGHUP end the agent as Exit does (the lock is
// released, InitInstance returns its normal code), also while the profile
// settings dialog holds its own loop; afterwards the signals' handlers are
// those from before.
TEST_F(ZephDlgTest, TerminationSignalsEndTheAgentAsExitDoes)
{
    const ZephEnvironment environment = Environment();
    struct Case
    {
        int signal;
        bool settingsOpen;
    };
    for (const Case c : {Case{SIGTERM, false}, Case{SIGINT, false}, Case{SIGHUP, false},
                         Case{SIGTERM, true}})
    {
        SCOPED_TRACE(::testing::Message() << "signal " << c.signal << " settings open "
                                          << c.settingsOpen);
        // The default actions, as a desktop starts the agent (whoever runs
        // the tests may have some of them ignored).
        struct sigaction defaults = {};
        defaults.sa_handler = SIG_DFL;
        sigemptyset(&defaults.sa_mask);
        struct sigaction before = {};
        ASSERT_EQ(::sigaction(c.signal, &defaults, &before), 0);

        bool sawDialog = false;
        bool sawSettings = false;
        QTimer::singleShot(0, [&] {
            for (QWidget* widget : QApplication::topLevelWidgets())
            {
                auto* dialog = qobject_cast<CZEPHDlg*>(widget);
                if (dialog == nullptr)
                    continue;
                sawDialog = true;
                if (!c.settingsOpen)
                {
                    ::raise(c.signal);
                    return;
                }
                // Runs inside the settings dialog's own loop.
                QTimer::singleShot(0, [&] {
                    for (QWidget* open : QApplication::topLevelWidgets())
                        sawSettings |= qobject_cast<ProfileSettingsDlg*>(open) != nullptr &&
                                       open->isVisible();
                    ::raise(c.signal);
                });
                dialog->Action(CZEPHDlg::kIdProfileFormat)->trigger();
                return;
            }
        });
        CZEPHApp agent(environment);
        EXPECT_EQ(agent.InitInstance(), CZEPHApp::kExitOk);
        EXPECT_TRUE(sawDialog);
        EXPECT_EQ(sawSettings, c.settingsOpen);
        EXPECT_NE(AcquireAgentLock(CZEPHApp::LockFilePath()), nullptr) << "lock released";

        struct sigaction after = {};
        ASSERT_EQ(::sigaction(c.signal, &before, &after), 0);
        EXPECT_EQ(after.sa_handler, SIG_DFL);
    }
}

// Two agents started at the same moment: exactly one gets the lock.
TEST(ZephSingleInstance, ExactlyOneOfTwoProcessesRuns)
{
    TempDir dir;
    const QString lockPath = QString::fromStdString(dir.File("ZEPH.lock"));
    const std::string tried = dir.File("tried");
    const bool ran = testsupport::RunInTwoProcesses([&](bool isChild) {
        const std::unique_ptr<QLockFile> lock = AcquireAgentLock(lockPath);
        const std::string mark =
            dir.File(std::string(lock ? "won-" : "lost-") + (isChild ? "child" : "parent"));
        testsupport::WriteTextFile(mark, "");
        testsupport::WriteTextFile(tried + (isChild ? "-child" : "-parent"), "");
        // Hold the lock until the other has tried too.
        for (int wait = 0; wait < 500; ++wait)
        {
            if (std::filesystem::exists(tried + "-child") &&
                std::filesystem::exists(tried + "-parent"))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    });
    ASSERT_TRUE(ran);
    int winners = 0;
    int losers = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
    {
        const std::string name = entry.path().filename().string();
        winners += name.starts_with("won-") ? 1 : 0;
        losers += name.starts_with("lost-") ? 1 : 0;
    }
    EXPECT_EQ(winners, 1);
    EXPECT_EQ(losers, 1);

    // Within one process the same holds, and a released lock can be taken.
    auto first = AcquireAgentLock(lockPath);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(AcquireAgentLock(lockPath), nullptr);
    first.reset();
    EXPECT_NE(AcquireAgentLock(lockPath), nullptr);
}

} // namespace
