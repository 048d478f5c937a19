// The detail-mode wizard of the running main window and the tray agent ZEPH
// (the program itself, in a process of its own) on one simulated monitor,
// with private user folders shared by both: the preset the wizard leaves
// the monitor on gets the agent's profile, and the window's "表示色空間"
// follows it; a wizard that leaves the monitor's settings as they were
// leaves the association alone.
//
// The agent polls once a second. The test waits for states (the association
// store, the agent's trace) with a generous limit, never for a time.

#ifdef QB_ZEPH_BINARY

#include "app/filelist/FileView.h"
#include "app/shell/MainFrame.h"
#include "tests/app/SimulatedMonitorFrame.h"

#include "core/GlobalSettings.h"
#include "core/MessageSink.h"
#include "core/PathUtils.h"
#include "core/ProfileStore.h"
#include "core/SRGBProfile.h"
#include "correction/ProjectManage.h"
#include "imagefile/ReloadCache.h"
#include "monitor/DetailModePages1.h"
#include "monitor/DetailModeSheet.h"
#include "monitor/Display.h"
#include "platform/ColorDirectory.h"
#include "platform/Registry.h"
#include "platform/ddc/SimulatedMonitors.h"

#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TestEnv.h"
#include "tests/support/qt/WaitFor.h"

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using testsupport::PrivateUserFolders;
using testsupport::RecordingMessageSink;
using testsupport::ScopedEnv;
using testsupport::WaitFor;

namespace {

constexpr const char* kConnector = "SIM-1";
constexpr const char* kDeviceId = "MONITOR\\QBX1234\\SIM-1";
constexpr std::uint8_t kPreset = 0x14;
constexpr std::uint16_t kPreset9300K = 8;
// A few of the agent's one-second polls, with room for a slow machine.
constexpr int kAgentLimitMs = 60000;

class AgentAfterWizardTest : public ::testing::Test
{
protected:
    AgentAfterWizardTest()
        : simulated("QUILLBRAKE_SIMULATED_MONITORS", folders.File("monitors.ini")),
          monitorFile(folders.File("monitors.ini"))
    {
        for (const char* sub : {"config/Quillbrake/ZEPH", "data", "cache", "no-drm"})
            std::filesystem::create_directories(folders.File(sub));
        testsupport::WriteTextFile(folders.File("config/Quillbrake/ZEPH/ZEPH_D.INI"),
                                   "[FILEOUT]\nFILEOUT_FLG=1\n");
        EXPECT_TRUE(monitorFile.Write());
        previousSkip = GetSkipInitMsg();
        SetSkipInitMsg(1);
        EnsureSRGBProfileInstalled();
        EXPECT_TRUE(InitMonitorProfile());
    }

    ~AgentAfterWizardTest() override
    {
        StopAgent();
        frame.reset();
        FreeMonitorProfile();
        ClearReloadImageCache();
        SetSkipInitMsg(previousSkip);
    }

    // The main window over the simulated monitor, started (the DDC/CI
    // channel is free from then on); the wizard's pauses on a virtual
    // clock.
    void StartWindow()
    {
        MainFrameOptions options =
            SimulatedMonitorFrameOptions(monitorFile.Path(), clock, folders.File("no-drm"));
        frame = std::make_unique<CMainFrame>(std::move(options));
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        ASSERT_TRUE(WaitFor([this] { return frame->IsStarted(); }));
        frame->GetFileView()->SetWizardClock(&clock);
        frame->GetFileView()->SetWizardPause([](int) {});
    }

    // The agent on the monitor's colour preset `preset`, set with the
    // monitor's buttons; it has made that preset's profile the display's
    // and the window shows through it.
    void StartAgentOn(std::uint16_t preset, const std::string& profile)
    {
        ASSERT_TRUE(monitorFile.FrontPanelChange(kConnector, kPreset, preset));
        agent.setProcessChannelMode(QProcess::SeparateChannels);
        agent.start(QStringLiteral(QB_ZEPH_BINARY), {});
        ASSERT_TRUE(agent.waitForStarted());
        ExpectShownThrough(profile);
    }

    void StopAgent()
    {
        if (agent.state() == QProcess::NotRunning)
            return;
        agent.terminate();
        EXPECT_TRUE(agent.waitForFinished(kAgentLimitMs));
        EXPECT_EQ(agent.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(agent.exitCode(), 0) << agent.readAllStandardError().toStdString();
    }

    // The agent associates `profile` with the window's display, and the
    // window's preview converts to it.
    void ExpectShownThrough(const std::string& profile)
    {
        const std::string description = profile.substr(0, profile.rfind('.'));
        EXPECT_TRUE(WaitFor([&] { return platform::DefaultDisplayProfile(kDeviceId) == profile; },
                            kAgentLimitMs))
            << platform::DefaultDisplayProfile(kDeviceId) << "\n"
            << Trace();
        EXPECT_TRUE(WaitFor([&] {
            return frame->GetFileView()->GetDisplayColorSpaceText().toStdString() == description;
        })) << frame->GetFileView()->GetDisplayColorSpaceText().toStdString();
        EXPECT_EQ(GetFileNameFromPath(frame->GetProject().GetOutputProfileName()), profile);
    }

    std::string Trace() const
    {
        return testsupport::ReadTextFile(folders.File("config/Quillbrake/ZEPH/fprintf.txt"));
    }

    // Waits until the agent's trace has `line` after `from` (a length of
    // the trace); the trace's length then.
    bool WaitForTraceLine(const std::string& line, std::size_t from)
    {
        return WaitFor(
            [&] {
                const std::string trace = Trace();
                return trace.size() > from && trace.find(line, from) != std::string::npos;
            },
            kAgentLimitMs);
    }

    // Waits until the agent has found the DDC/CI channel held from now on,
    // as it does while a user reads a page of the wizard.
    void WaitUntilTheAgentFindsTheChannelHeld()
    {
        const std::size_t from = Trace().size();
        ASSERT_TRUE(WaitForTraceLine("SET_TIMER:DDCCI INHIBIT BY REGISTRY", from)) << Trace();
    }

    // The detail-mode wizard from the file-list panel's button; `steps`
    // drives the open wizard until it closes.
    void RunWizard(const std::function<void(CDetailModeSheet&)>& steps)
    {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto* sheet = qobject_cast<CDetailModeSheet*>(QApplication::activeModalWidget());
            ASSERT_NE(sheet, nullptr);
            ran = true;
            const auto closeOnFailure = qScopeGuard([sheet] {
                if (sheet->isVisible())
                {
                    ADD_FAILURE() << "the wizard was left open";
                    sheet->done(-1);
                }
            });
            ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
            steps(*sheet);
        });
        auto* button = frame->GetFileView()->findChild<QToolButton*>(QStringLiteral("1392"));
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
        QCoreApplication::processEvents();
        ASSERT_TRUE(ran);
        EXPECT_EQ(platform::RegistryStore().GetDword(kDdcBusyRegistryKey, kDdcBusyValueName), 0u);
    }

    // Next from the first page to the room-light page (the factory reset
    // that it asks for is answered Yes), where the monitor is on 5000 K.
    static void ToTheRoomLightPage(CDetailModeSheet& sheet)
    {
        sheet.NextButton()->click();
        ASSERT_EQ(sheet.ActivePageId(), kDetailModePage2Id);
    }

    // The wizard as a user goes through it: factory reset, the first room
    // light (5000 K), the brightness and the confirmation page, Finish.
    // Before Finish the agent has found the channel held; `beforeFinish` is
    // the trace's length at that point.
    void RunWizardToFinish(std::size_t& beforeFinish)
    {
        RunWizard([&](CDetailModeSheet& sheet) {
            ToTheRoomLightPage(sheet);
            auto* daylight =
                sheet.ActivePage()->findChild<QRadioButton*>(QString::number(kIdcRadioFirst));
            ASSERT_NE(daylight, nullptr);
            daylight->click();
            sheet.NextButton()->click();
            ASSERT_EQ(sheet.ActivePageId(), kDetailModePage3Id);
            WaitUntilTheAgentFindsTheChannelHeld();
            sheet.NextButton()->click();
            ASSERT_EQ(sheet.ActivePageId(), kDetailModePage3_5Id);
            beforeFinish = Trace().size();
            sheet.FinishButton()->click();
            EXPECT_FALSE(sheet.isVisible());
            EXPECT_EQ(sheet.result(), QDialog::Accepted);
        });
    }

    PrivateUserFolders folders;
    ScopedEnv simulated;
    platform::SimulatedMonitorFile monitorFile;
    platform::VirtualClock clock;
    RecordingMessageSink answers{kMessageYes};
    int previousSkip = 0;
    std::unique_ptr<CMainFrame> frame;
    QProcess agent;
};

// The monitor was on 9300 K; the wizard leaves it on 5000 K (its own
// DDC/CI writes, which the monitor does not announce): the agent makes the
// 5000 K profile the display's and the preview follows.
TEST_F(AgentAfterWizardTest, PresetTheWizardLeavesGetsTheAgentsProfileAndThePreviewFollows)
{
    StartWindow();
    StartAgentOn(kPreset9300K, "9300K_22_QBX1234.icm");

    std::size_t beforeFinish = 0;
    RunWizardToFinish(beforeFinish);
    ASSERT_EQ(monitorFile.ReadVcp(kConnector, kPreset)->current, kPreset5000K);
    ASSERT_EQ(monitorFile.ReadVcp(kConnector, 0x02)->current, 1) << "nothing announced";

    ExpectShownThrough("5000K_22_QBX1234.icm");
    EXPECT_EQ(platform::DisplayProfiles(kDeviceId),
              std::vector<std::string>{"5000K_22_QBX1234.icm"});
}

// The monitor was on 5000 K already: after the wizard the agent reads the
// settings once, finds them as its profile was made for, and neither makes
// nor associates anything.
TEST_F(AgentAfterWizardTest, WizardThatChangesNothingLeavesTheAssociationAlone)
{
    StartWindow();
    StartAgentOn(kPreset5000K, "5000K_22_QBX1234.icm");
    const std::string store = platform::DisplayProfileStorePath();
    const auto associated = std::filesystem::last_write_time(store);
    const std::size_t beforeWizard = Trace().size();

    std::size_t beforeFinish = 0;
    RunWizardToFinish(beforeFinish);
    ASSERT_EQ(monitorFile.ReadVcp(kConnector, kPreset)->current, kPreset5000K);

    ASSERT_TRUE(WaitForTraceLine("NO_CHANGE_COLOR_PROFILE", beforeFinish)) << Trace();
    const std::string trace = Trace();
    EXPECT_EQ(trace.find("ChangeColorProfile_Start", beforeWizard), std::string::npos) << trace;
    EXPECT_EQ(trace.find("AssociateColorProfileWithDevice", beforeWizard), std::string::npos)
        << trace;
    EXPECT_EQ(std::filesystem::last_write_time(store), associated);
    EXPECT_EQ(platform::DisplayProfiles(kDeviceId),
              std::vector<std::string>{"5000K_22_QBX1234.icm"});
    EXPECT_EQ(frame->GetFileView()->GetDisplayColorSpaceText().toStdString(), "5000K_22_QBX1234");
}

// The agent follows the room-light page (the channel is free there) to
// 5000 K; Cancel then puts the monitor back on 9300 K while the channel is
// held, which only the read after the wizard sees: the agent's profile goes
// back to 9300 K with it.
TEST_F(AgentAfterWizardTest, CancelPutsBackThePresetAndTheAgentsProfileFollows)
{
    StartWindow();
    StartAgentOn(kPreset9300K, "9300K_22_QBX1234.icm");

    RunWizard([&](CDetailModeSheet& sheet) {
        WaitUntilTheAgentFindsTheChannelHeld();
        ToTheRoomLightPage(sheet);
        ExpectShownThrough("5000K_22_QBX1234.icm");
        sheet.NextButton()->click();
        ASSERT_EQ(sheet.ActivePageId(), kDetailModePage3Id);
        WaitUntilTheAgentFindsTheChannelHeld();
        sheet.CancelButton()->click();
        EXPECT_FALSE(sheet.isVisible());
    });
    ASSERT_EQ(monitorFile.ReadVcp(kConnector, kPreset)->current, kPreset9300K);
    ASSERT_EQ(monitorFile.ReadVcp(kConnector, 0x02)->current, 1) << "nothing announced";

    ExpectShownThrough("9300K_22_QBX1234.icm");
    EXPECT_EQ(platform::DisplayProfiles(kDeviceId),
              std::vector<std::string>{"9300K_22_QBX1234.icm"});
}

} // namespace

#endif
