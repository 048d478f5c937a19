// The file-list panel's monitor-wizard command in the started main window,
// against the simulated DDC/CI monitor: which wizard the frame's
// monitor-answered flag chooses, what the wizard is given, and the DDC/CI
// busy value around it (checked from inside the wizard while it is open).

#include "app/filelist/FileView.h"
#include "app/shell/MainFrame.h"
#include "tests/app/SimulatedMonitorFrame.h"

#include "controls/dialogs/DialogCodes.h"
#include "core/ColorProfile.h"
#include "core/GlobalSettings.h"
#include "core/MessageSink.h"
#include "core/ProfileStore.h"
#include "core/SRGBProfile.h"
#include "correction/ProjectManage.h"
#include "imagefile/ReloadCache.h"
#include "monitor/DetailModeSheet.h"
#include "monitor/Display.h"
#include "monitor/ManualModeDlg.h"
#include "platform/Registry.h"
#include "platform/ddc/SimulatedMonitors.h"

#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TestEnv.h"
#include "tests/support/qt/WaitFor.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>

using testsupport::PrivateUserFolders;
using testsupport::WaitFor;
using testsupport::RecordingMessageSink;
using testsupport::ScopedEnv;

namespace {

std::optional<std::uint32_t> BusyValue()
{
    return platform::RegistryStore().GetDword(kDdcBusyRegistryKey, kDdcBusyValueName);
}

class MonitorWizardCommandTest : public ::testing::Test
{
protected:
    MonitorWizardCommandTest()
        : simulated("QUILLBRAKE_SIMULATED_MONITORS", folders.File("monitors.ini")),
          monitorFile(folders.File("monitors.ini"))
    {
        for (const char* sub : {"config", "data", "cache", "no-drm"})
            std::filesystem::create_directories(folders.File(sub));
        previousSkip = GetSkipInitMsg();
        SetSkipInitMsg(1);
        EnsureSRGBProfileInstalled();
        EXPECT_TRUE(InitMonitorProfile());
    }

    ~MonitorWizardCommandTest() override
    {
        frame.reset();
        FreeMonitorProfile();
        ClearReloadImageCache();
        SetSkipInitMsg(previousSkip);
    }

    // The main window over one simulated monitor, started; the wizard's
    // pause is recorded instead of waited.
    CMainFrame& Start(const platform::SimulatedMonitorSetup& monitor)
    {
        EXPECT_TRUE(monitorFile.Write({monitor}));
        MainFrameOptions options =
            SimulatedMonitorFrameOptions(monitorFile.Path(), clock, folders.File("no-drm"));
        frame = std::make_unique<CMainFrame>(std::move(options));
        frame->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        EXPECT_TRUE(WaitFor([this] { return frame->IsStarted(); }));
        view().SetWizardClock(&clock);
        view().SetWizardPause([this](int ms) {
            pauses.push_back(ms);
            busyAtPause.push_back(BusyValue());
            if (onPause)
                onPause();
        });
        return *frame;
    }

    CFileView& view() { return *frame->GetFileView(); }

    // Presses the panel's wizard button; `act` runs on the modal window the
    // command opens (null when it opens none) once it is shown, and closes
    // it.
    void PressWizardButton(const std::function<void(QWidget*)>& act)
    {
        bool acted = false;
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal != nullptr)
            {
                EXPECT_TRUE(QTest::qWaitForWindowExposed(modal));
            }
            acted = true;
            act(modal);
            // A window that `act` failed to close is closed here, so that a
            // failing test cannot hang.
            if (auto* dialog = qobject_cast<QDialog*>(modal); dialog && dialog->isVisible())
            {
                ADD_FAILURE() << "the wizard was left open";
                dialog->done(-1);
            }
        });
        auto* button = view().findChild<QToolButton*>(QStringLiteral("1392"));
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
        QCoreApplication::processEvents();
        EXPECT_TRUE(acted);
    }

    PrivateUserFolders folders;
    ScopedEnv simulated;
    platform::SimulatedMonitorFile monitorFile;
    platform::VirtualClock clock;
    int previousSkip = 0;
    std::unique_ptr<CMainFrame> frame;
    std::vector<int> pauses;
    std::vector<std::optional<std::uint32_t>> busyAtPause;
    std::function<void()> onPause;
};

// A monitor of the maker that does not answer over DDC/CI.
platform::SimulatedMonitorSetup SilentMonitor(const char* maker = "QBX")
{
    platform::SimulatedMonitorSetup monitor = platform::DefaultSimulatedMonitor();
    monitor.noAnswer = true;
    monitor.edid.maker = maker;
    return monitor;
}

// A value the program never writes, to see that nothing was written.
constexpr std::uint32_t kUntouched = 7;

const std::optional<std::uint32_t> kBusy(1);
const std::optional<std::uint32_t> kFree(0);

TEST_F(MonitorWizardCommandTest, AnsweringMonitorGetsTheDetailModeWizardInsideTheBusyValue)
{
    RecordingMessageSink messages(kMessageYes);
    Start(platform::DefaultSimulatedMonitor());
    ASSERT_TRUE(frame->MonitorAnswered());

    const struct
    {
        const char* what;
        std::function<void(CDetailModeSheet&)> close;
    } endings[] = {
        {"Cancel",
         [](CDetailModeSheet& s) { QTest::mouseClick(s.CancelButton(), Qt::LeftButton); }},
        {"Escape", [](CDetailModeSheet& s) { QTest::keyClick(&s, Qt::Key_Escape); }},
        {"the wizard's own end", [](CDetailModeSheet& s) { s.done(kDialogOk); }},
    };
    for (const auto& ending : endings)
    {
        ASSERT_EQ(BusyValue(), kFree) << ending.what;
        pauses.clear();
        busyAtPause.clear();
        PressWizardButton([&](QWidget* modal) {
            auto* sheet = qobject_cast<CDetailModeSheet*>(modal);
            ASSERT_NE(sheet, nullptr) << ending.what;
            EXPECT_EQ(sheet->Monitor(), frame->GetMonitor());
            EXPECT_EQ(sheet->Converter(), static_cast<CColorConverter*>(&frame->GetProject()));
            EXPECT_EQ(&sheet->Clock(), &clock);
            EXPECT_TRUE(view().IsWizardRunning());
            EXPECT_EQ(BusyValue(), kBusy) << ending.what << ": while the wizard is open";
            ending.close(*sheet);
            EXPECT_FALSE(sheet->isVisible()) << ending.what;
        });
        // 1 before the pause, 0 once the wizard has closed.
        EXPECT_EQ(pauses, std::vector<int>{CFileView::kWizardPauseMs}) << ending.what;
        EXPECT_EQ(busyAtPause, std::vector<std::optional<std::uint32_t>>{kBusy}) << ending.what;
        EXPECT_EQ(BusyValue(), kFree) << ending.what;
        EXPECT_FALSE(view().IsWizardRunning()) << ending.what;
    }
}

TEST_F(MonitorWizardCommandTest, MonitorSwitchedOffSinceStartUpStillGetsTheDetailModeWizard)
{
    RecordingMessageSink messages(kMessageYes);
    const platform::SimulatedMonitorSetup monitor = platform::DefaultSimulatedMonitor();
    Start(monitor);
    ASSERT_TRUE(frame->MonitorAnswered());
    ASSERT_TRUE(monitorFile.SetNoAnswer(monitor.connector, true));

    PressWizardButton([](QWidget* modal) {
        auto* sheet = qobject_cast<CDetailModeSheet*>(modal);
        ASSERT_NE(sheet, nullptr);
        sheet->done(kDialogCancel);
    });
    EXPECT_EQ(pauses.size(), 1u);
    EXPECT_EQ(BusyValue(), kFree);
}

TEST_F(MonitorWizardCommandTest, SecondStartDuringThePauseStartsNothing)
{
    RecordingMessageSink messages(kMessageYes);
    Start(platform::DefaultSimulatedMonitor());
    // The window answers during the pause: the button pressed again.
    onPause = [this] { view().RunMonitorWizard(); };

    int sheets = 0;
    PressWizardButton([&sheets](QWidget* modal) {
        if (auto* sheet = qobject_cast<CDetailModeSheet*>(modal))
        {
            ++sheets;
            sheet->done(kDialogCancel);
        }
    });
    EXPECT_EQ(sheets, 1);
    EXPECT_EQ(pauses.size(), 1u);
    EXPECT_FALSE(QApplication::activeModalWidget());
    EXPECT_EQ(BusyValue(), kFree);
}

TEST_F(MonitorWizardCommandTest, BusyValueIsFreedWhenTheWizardEndsByAnException)
{
    RecordingMessageSink messages(kMessageYes);
    Start(platform::DefaultSimulatedMonitor());
    onPause = [] { throw std::runtime_error("out of memory"); };

    EXPECT_THROW(view().RunMonitorWizard(), std::runtime_error);
    EXPECT_EQ(busyAtPause, std::vector<std::optional<std::uint32_t>>{kBusy});
    EXPECT_EQ(BusyValue(), kFree);
    EXPECT_FALSE(view().IsWizardRunning());
}

TEST_F(MonitorWizardCommandTest, SilentMonitorOfTheMakerGetsTheManualModeAndTheBusyValueIsLeftAlone)
{
    RecordingMessageSink messages(kMessageYes);
    Start(SilentMonitor());
    ASSERT_FALSE(frame->MonitorAnswered());
    ASSERT_TRUE(
        platform::RegistryStore().SetDword(kDdcBusyRegistryKey, kDdcBusyValueName, kUntouched));

    PressWizardButton([&](QWidget* modal) {
        auto* dialog = qobject_cast<CManualModeDlg*>(modal);
        ASSERT_NE(dialog, nullptr);
        const CDisplay& monitor = *frame->GetMonitor();
        EXPECT_EQ(dialog->ModelCode(), 0x1234);
        EXPECT_EQ(dialog->DeviceID(), monitor.DeviceID);
        EXPECT_FALSE(dialog->DeviceID().isEmpty());
        EXPECT_EQ(dialog->AdapterName(), monitor.AdapterName);
        EXPECT_EQ(dialog->Converter(), static_cast<const CColorConverter*>(&frame->GetProject()));
        EXPECT_EQ(dialog->StepCount(), 4);
        EXPECT_TRUE(view().IsWizardRunning());
        EXPECT_EQ(BusyValue(), std::optional<std::uint32_t>(kUntouched));
        // A second press while the dialog is open starts nothing.
        view().RunMonitorWizard();
        dialog->findChild<QPushButton*>(QStringLiteral("2"))->click();
    });
    EXPECT_FALSE(QApplication::activeModalWidget());
    EXPECT_FALSE(view().IsWizardRunning());
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].stringId, 3048);
    EXPECT_TRUE(pauses.empty());
    EXPECT_EQ(BusyValue(), std::optional<std::uint32_t>(kUntouched));
}

TEST_F(MonitorWizardCommandTest, SilentMonitorOfAnotherMakerGetsNothing)
{
    RecordingMessageSink messages(kMessageYes);
    Start(SilentMonitor("ABC"));
    ASSERT_FALSE(frame->MonitorAnswered());
    ASSERT_EQ(frame->GetMonitor()->ModelCode, 0);
    ASSERT_TRUE(
        platform::RegistryStore().SetDword(kDdcBusyRegistryKey, kDdcBusyValueName, kUntouched));

    PressWizardButton([](QWidget* modal) { EXPECT_EQ(modal, nullptr); });
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(pauses.empty());
    EXPECT_FALSE(view().IsWizardRunning());
    EXPECT_EQ(BusyValue(), std::optional<std::uint32_t>(kUntouched));
}

} // namespace
