// The application object: start-up (work folder clean-up, settings and the
// monitor profile with its fallbacks, the command line), the once-only
// shutdown, forwarded starts queued until the main window takes them, and
// the manual.

#include "app/shell/ChromivelApp.h"
#include "app/shell/SingleInstance.h"
#include "controls/dialogs/ViewerAboutDlg.h"
#include "controls/support/ResourceImages.h"
#include "core/ErrorRecord.h"
#include "core/GlobalSettings.h"
#include "core/PathUtils.h"
#include "core/ProfileDirectory.h"
#include "core/ProfileStore.h"
#include "core/SRGBProfile.h"
#include "core/UseOsCmm.h"
#include "monitor/Display.h"
#include "platform/ColorDirectory.h"
#include "platform/Folders.h"
#include "platform/Registry.h"
#include "tests/app/shell/InstanceHelperProcess.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <lcms2.h>

#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QImage>
#include <QPointer>
#include <QTimer>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

using Arguments = std::vector<std::string>;
namespace fs = std::filesystem;

const QString kName = QStringLiteral("CHROMIVEL!2");
// The per-user folders keep the program's plain name.
const std::string kFolderName = "CHROMIVEL";

std::vector<int> MessageIds(const testsupport::RecordingMessageSink& sink)
{
    std::vector<int> ids;
    for (const auto& message : sink.messages)
        ids.push_back(message.stringId);
    return ids;
}

std::optional<std::uint32_t> BusyValue()
{
    return platform::RegistryStore().GetDword(kDdcBusyRegistryKey, kDdcBusyValueName);
}

void WriteJpeg(const std::string& path)
{
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    ASSERT_TRUE(image.save(QString::fromStdString(path), "JPEG")) << path;
}

// A Lab identity profile: LittleCMS uses it, the program's own engine (RGB
// matrix profiles only) cannot.
std::vector<std::uint8_t> LabProfileBytes()
{
    cmsHPROFILE profile = cmsCreateLab4Profile(nullptr);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<std::uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// Private user folders and run-time folder; the process-wide state the
// start-up changes is put back afterwards.
class ChromivelAppTest : public testing::Test
{
protected:
    ChromivelAppTest() : m_runtimeEnv("XDG_RUNTIME_DIR", m_runtime.Path())
    {
        UseOsCmm = 1;
        ClearErrorFiles();
    }
    ~ChromivelAppTest() override
    {
        delete m_window;
        FreeMonitorProfile();
        UseOsCmm = 1;
        SetGlobalSettings(DefaultGlobalSettings());
        ClearErrorFiles();
        platform::SetApplicationName("");
        QCoreApplication::setApplicationName(QStringLiteral("qt_test"));
    }

    bool Start(CChromivelApp& app, const QStringList& arguments = {QStringLiteral("chromivel")})
    {
        return app.InitInstance(arguments, [this] {
            m_window = new QWidget;
            m_window->resize(320, 240);
            return m_window.data();
        });
    }

    // Where the settings file of the program lives (the start-up installs
    // the folder name; so does this).
    static std::string IniPath()
    {
        platform::SetApplicationName(kFolderName);
        return GetIniFilePath();
    }
    std::string WorkFolder() const { return m_user.File("cache/Quillbrake/CHROMIVEL/"); }

    // Associates a profile of these bytes with the default display.
    static void AssociateProfile(const std::string& name, const std::vector<std::uint8_t>& bytes)
    {
        std::string folder;
        ASSERT_TRUE(GetColorDirectory(folder));
        testsupport::WriteTextFile(folder + name, std::string(bytes.begin(), bytes.end()));
        ASSERT_TRUE(platform::AssociateDisplayProfile("", name));
    }

    testsupport::PrivateUserFolders m_user;
    testsupport::TempDir m_runtime;
    testsupport::ScopedEnv m_runtimeEnv;
    testsupport::RecordingMessageSink m_messages;
    QPointer<QWidget> m_window;
};

TEST_F(ChromivelAppTest, StartsFirstAndShutsDownOnce)
{
    CChromivelApp app;
    ASSERT_TRUE(Start(app));
    EXPECT_EQ(app.ExitCode(), 0);
    EXPECT_EQ(app.IsFinished(), 0);
    ASSERT_NE(m_window, nullptr);
    EXPECT_EQ(app.MainWindow(), m_window.data());
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_TRUE(m_window->acceptDrops());
    EXPECT_NE(GetMonitorProfile(), nullptr);
    EXPECT_TRUE(m_messages.messages.empty());
    EXPECT_EQ(QCoreApplication::applicationName(), kName);
    EXPECT_EQ(platform::ApplicationName(), kFolderName);
    {
        CSingleInstance probe(kName);
        EXPECT_EQ(probe.Acquire(), CSingleInstance::Start::Second);
    }
    // The busy value is the main window's to write during its start-up.
    EXPECT_FALSE(BusyValue().has_value());

    app.Shutdown();
    EXPECT_EQ(app.IsFinished(), 1);
    const std::string ini = testsupport::ReadTextFile(IniPath());
    EXPECT_NE(ini.find("UseOsCmm=1"), std::string::npos) << ini;
    EXPECT_NE(ini.find("SkipInitMsg=0"), std::string::npos) << ini;
    EXPECT_EQ(BusyValue(), 1u);
    EXPECT_EQ(GetMonitorProfile(), nullptr);
    {
        CSingleInstance probe(kName);
        EXPECT_EQ(probe.Acquire(), CSingleInstance::Start::First);
    }

    // The second call (the main window's destruction, then the exit) does
    // nothing at all.
    fs::remove(IniPath());
    ASSERT_TRUE(SetDdcBusyFlag(0));
    app.Shutdown();
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_FALSE(fs::exists(IniPath()));
    EXPECT_EQ(BusyValue(), 0u);
}

// The clean-up at start deletes the leftovers of the program's own work
// folder, and nothing else.
TEST_F(ChromivelAppTest, CleansOnlyTheWorkFoldersOwnTemporaryFiles)
{
    const std::string work = WorkFolder();
    const std::string other = m_user.File("cache/Quillbrake/ZEPH/");
    fs::create_directories(work + "inner");
    fs::create_directories(other);
    const std::vector<std::string> removed = {work + "PMSa1b2c3.tmp", work + "IFIx.rgb",
                                              work + "THMy.thm", work + "z.RAW"};
    const std::vector<std::string> kept = {work + "keep.txt",       work + "inner/PMSold.tmp",
                                           other + "PMSother.tmp",  m_user.File("cache/stray.tmp"),
                                           m_user.File("a.tmp"),    work + "tmp"};
    for (const std::string& path : removed)
        testsupport::WriteTextFile(path, "x");
    for (const std::string& path : kept)
        testsupport::WriteTextFile(path, "x");

    CChromivelApp app;
    ASSERT_TRUE(Start(app));
    EXPECT_EQ(GetAppTempFolder(), work);
    for (const std::string& path : removed)
        EXPECT_FALSE(fs::exists(path)) << path;
    for (const std::string& path : kept)
        EXPECT_TRUE(fs::exists(path)) << path;
    app.ExitInstance();
}

// A display profile the program cannot use: first LittleCMS instead of the
// own engine, then the sRGB profile with a warning. Either is this run's
// fallback, never the user's setting.
TEST_F(ChromivelAppTest, MonitorProfileFallbacksAreNotSaved)
{
    enum class Profile
    {
        None, // nothing associated: the sRGB profile
        LabOnly,
        Broken
    };
    struct Case
    {
        const char* what;
        int stored;
        Profile profile;
        std::vector<int> messages;
        int runtimeUseOsCmm;
        bool sRGB;
    };
    const Case cases[] = {
        {"own engine, the sRGB profile", 0, Profile::None, {}, 0, true},
        {"own engine, a profile only LittleCMS uses", 0, Profile::LabOnly, {}, 1, false},
        {"own engine, a broken profile", 0, Profile::Broken, {kStrNoUsableMonitorProfile}, 1, true},
        {"LittleCMS, a broken profile", 1, Profile::Broken, {kStrNoUsableMonitorProfile}, 1, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        testsupport::PrivateUserFolders user;
        m_messages.messages.clear();
        UseOsCmm = 1;
        const std::string iniText = "[CqzNewProjectDlg]\nUseOsCmm=" + std::to_string(c.stored) + "\n";
        testsupport::WriteTextFile(IniPath(), iniText);
        if (c.profile == Profile::LabOnly)
            AssociateProfile("Lab.icc", LabProfileBytes());
        else if (c.profile == Profile::Broken)
            AssociateProfile("Broken.icc", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'I', 'C', 'C'});

        CChromivelApp app;
        ASSERT_TRUE(Start(app));
        EXPECT_EQ(MessageIds(m_messages), c.messages);
        EXPECT_EQ(UseOsCmm.load(), c.runtimeUseOsCmm);
        ASSERT_NE(GetMonitorProfile(), nullptr);
        std::string description;
        GetMonitorProfile()->GetDescription(description);
        EXPECT_EQ(description == GetSRGBProfileDescription(), c.sRGB) << description;

        app.ExitInstance();
        const std::string saved = testsupport::ReadTextFile(IniPath());
        EXPECT_NE(saved.find("UseOsCmm=" + std::to_string(c.stored)), std::string::npos) << saved;
        delete m_window;
    }
}

// A start that does not reach its main window writes nothing over the
// user's settings, even with the engine switched; it still releases.
TEST_F(ChromivelAppTest, FailedStartLeavesTheSettingsAlone)
{
    const std::string iniText = "[CqzNewProjectDlg]\nUseOsCmm=0\nSkipInitMsg=1\n";
    testsupport::WriteTextFile(IniPath(), iniText);
    AssociateProfile("Lab.icc", LabProfileBytes());

    CChromivelApp app;
    EXPECT_FALSE(app.InitInstance({QStringLiteral("chromivel")}, [] { return nullptr; }));
    EXPECT_EQ(app.ExitCode(), 1);
    EXPECT_EQ(app.ExitInstance(), 1);
    EXPECT_EQ(testsupport::ReadTextFile(IniPath()), iniText);
    EXPECT_EQ(BusyValue(), 1u);
    EXPECT_EQ(GetMonitorProfile(), nullptr);
    CSingleInstance probe(kName);
    EXPECT_EQ(probe.Acquire(), CSingleInstance::Start::First);
}

// The command line is read during the start-up, with the files the probe
// refuses recorded for the main window to report; the recording ends with
// the start-up.
TEST_F(ChromivelAppTest, ReadsTheCommandLineAndRecordsRefusedFiles)
{
    const std::string image = m_user.File("a.jpg");
    const std::string fake = m_user.File("fake.jpg");
    WriteJpeg(image);
    testsupport::WriteTextFile(fake, "not a JPEG");

    CChromivelApp app;
    ASSERT_TRUE(Start(app, {"chromivel", QString::fromStdString(image), "-x",
                            QString::fromStdString(fake), QString::fromStdString(m_user.File("gone.jpg"))}));
    EXPECT_FALSE(app.GetCommandLineInfo().IsListFile());
    EXPECT_EQ(app.GetCommandLineInfo().GetPaths(), Arguments{image});
    EXPECT_EQ(GetErrorFiles(), Arguments{fake});
    EXPECT_FALSE(IsRecordingErrorFiles());
    app.ExitInstance();
}

// The windows are the desktop entry's: its name, and the program's icon
// for every window the program opens.
TEST_F(ChromivelAppTest, WindowsCarryTheDesktopEntrysNameAndIcon)
{
    CChromivelApp app;
    ASSERT_TRUE(Start(app));
    EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral("chromivel"));
    const QIcon icon = QApplication::windowIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.availableSizes(), LoadIconResource(kIconApplication).availableSizes());
    QDialog dialog(m_window);
    EXPECT_FALSE(dialog.windowIcon().isNull());
    app.ExitInstance();
}

TEST_F(ChromivelAppTest, ForwardedStartsWaitForTheHandlerAndRaiseTheWindow)
{
    CChromivelApp app;
    ASSERT_TRUE(Start(app));
    std::vector<Arguments> received;

    m_window->showMinimized();
    ASSERT_TRUE(m_window->isMinimized());
    app.OnForwardRequest({"/p", "/a.jpg"});
    app.OnForwardRequest({"/p", "/b.jpg"});
    EXPECT_FALSE(m_window->isMinimized());
    EXPECT_EQ(app.PendingForwardCount(), 2u);

    app.SetForwardHandler([&](const Arguments& arguments) { received.push_back(arguments); });
    EXPECT_EQ(received, (std::vector<Arguments>{{"/p", "/a.jpg"}, {"/p", "/b.jpg"}}));
    EXPECT_EQ(app.PendingForwardCount(), 0u);

    m_window->showMinimized();
    app.OnForwardRequest({"/p", "/c.jpg"});
    EXPECT_EQ(received.size(), 3u);
    EXPECT_EQ(received.back(), (Arguments{"/p", "/c.jpg"}));
    EXPECT_FALSE(m_window->isMinimized());

    // A dialog holding the user: it comes forward, and the requests wait
    // until it has closed; then they go in order, before a later one.
    {
        QDialog dialog(m_window);
        dialog.setModal(true);
        dialog.show();
        ASSERT_EQ(QApplication::activeModalWidget(), &dialog);
        app.OnForwardRequest({"/p", "/d.jpg"});
        app.OnForwardRequest({"/p", "/d2.jpg"});
        QCoreApplication::processEvents();
        EXPECT_EQ(received.size(), 3u);
        EXPECT_EQ(app.PendingForwardCount(), 2u);
    }
    app.OnForwardRequest({"/p", "/e.jpg"});
    EXPECT_EQ(received, (std::vector<Arguments>{{"/p", "/a.jpg"},
                                                {"/p", "/b.jpg"},
                                                {"/p", "/c.jpg"},
                                                {"/p", "/d.jpg"},
                                                {"/p", "/d2.jpg"},
                                                {"/p", "/e.jpg"}}));
    app.ExitInstance();
}

// A request that comes while a dialog runs its own event loop (exec) is
// opened once the dialog has closed, also when a second dialog opened
// from the first was in front meanwhile.
TEST_F(ChromivelAppTest, ForwardedStartDuringAModalDialogIsDeliveredWhenItCloses)
{
    CChromivelApp app;
    ASSERT_TRUE(Start(app));
    std::vector<Arguments> received;
    std::vector<bool> modalWhenReceived;
    app.SetForwardHandler([&](const Arguments& arguments) {
        received.push_back(arguments);
        modalWhenReceived.push_back(QApplication::activeModalWidget() != nullptr);
    });

    QDialog outer(m_window);
    QDialog inner(&outer);
    bool raised = false;
    bool otherWasActive = false;
    QTimer::singleShot(0, &outer, [&] {
        QTimer::singleShot(0, &inner, [&] {
            // Another window of the program is in front (one the dialog
            // opened, so that the dialog does not block it): the request
            // brings the dialog forward again.
            QWidget other(&inner, Qt::Window);
            other.resize(120, 80);
            other.show();
            other.activateWindow();
            otherWasActive = QTest::qWaitForWindowActive(&other);
            app.OnForwardRequest({"/p", "/f.jpg"});
            raised = QTest::qWaitFor([&] { return QApplication::activeWindow() == &inner; }, 5000);
            QTimer::singleShot(0, &inner, [&] { inner.accept(); });
        });
        inner.exec();
        EXPECT_TRUE(received.empty()); // the outer dialog is still open
        QTimer::singleShot(0, &outer, [&] { outer.accept(); });
    });
    outer.exec();
    ASSERT_TRUE(otherWasActive);
    EXPECT_TRUE(raised);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !received.empty(); }, 5000));
    EXPECT_EQ(received, (std::vector<Arguments>{{"/p", "/f.jpg"}}));
    EXPECT_EQ(modalWhenReceived, std::vector<bool>{false});
    EXPECT_EQ(app.PendingForwardCount(), 0u);
    app.ExitInstance();
}

// A real second start while the main window has not set its handler yet:
// the request waits and is delivered when the handler comes.
TEST_F(ChromivelAppTest, SecondProcessBeforeTheHandlerIsDeliveredWhenItIsSet)
{
    CChromivelApp app;
    ASSERT_TRUE(Start(app));
    const QString marker = QString::fromStdString(m_user.File("window-made"));
    ASSERT_EQ(RunInstanceHelper({"start", marker, "/abs/early.jpg", "-s"}), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return app.PendingForwardCount() == 1; }, 10000));
    EXPECT_FALSE(QFileInfo::exists(marker));

    std::vector<Arguments> received;
    app.SetForwardHandler([&](const Arguments& arguments) { received.push_back(arguments); });
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], (Arguments{QB_INSTANCE_HELPER, "/abs/early.jpg", "-s"}));
    app.ExitInstance();
}

TEST_F(ChromivelAppTest, HelpOpensTheManualOrSaysWhy)
{
    struct Case
    {
        const char* what;
        bool present;
        bool opens;
        std::vector<int> messages;
        int openCalls;
    };
    const Case cases[] = {
        {"no manual", false, true, {kStrManualNotFound}, 0},
        {"the manual opens", true, true, {}, 1},
        {"the desktop cannot open it", true, false, {kStrManualOpenFailed}, 1},
    };
    for (const Case& c : cases)
    {
        testsupport::TempDir folder;
        if (c.present)
            testsupport::WriteTextFile(folder.File(kManualFileName), "%PDF-1.4\n");
        CChromivelApp app;
        app.SetManualFolder(folder.Path());
        std::vector<QUrl> opened;
        app.SetUrlOpener([&](const QUrl& url) {
            opened.push_back(url);
            return c.opens;
        });
        m_messages.messages.clear();
        app.OnHelp(nullptr);
        EXPECT_EQ(MessageIds(m_messages), c.messages) << c.what;
        ASSERT_EQ(static_cast<int>(opened.size()), c.openCalls) << c.what;
        if (!opened.empty())
        {
            EXPECT_EQ(opened[0], QUrl::fromLocalFile(QString::fromStdString(folder.File(kManualFileName))));
        }
    }
    CChromivelApp app;
    EXPECT_EQ(app.ManualPath(), GetModuleFolder() + "CHROMIVEL_Manual.pdf");
}

TEST_F(ChromivelAppTest, AboutRunsTheAboutBoxModally)
{
    QWidget owner;
    bool seen = false;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        seen = dynamic_cast<CViewerAboutDlg*>(modal) != nullptr && modal->parentWidget() == &owner;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
    });
    CChromivelApp app;
    app.OnAppAbout(&owner);
    EXPECT_TRUE(seen);
}

} // namespace
