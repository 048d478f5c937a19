#include "app/shell/ChromivelApp.h"

#include "app/panels/ViewCommon.h"
#include "controls/dialogs/ViewerAboutDlg.h"
#include "controls/support/ResourceImages.h"
#include "controls/support/StringTable.h"
#include "core/ColorSearchSettings.h"
#include "core/ErrorRecord.h"
#include "core/GlobalSettings.h"
#include "core/MessageSink.h"
#include "core/PathUtils.h"
#include "core/Pow1by3Table.h"
#include "core/ProfileStore.h"
#include "core/SRGBProfile.h"
#include "core/TempFiles.h"
#include "core/UseOsCmm.h"
#include "imagefile/ImageFileInfo.h"
#include "imagefile/ReloadCache.h"
#include "monitor/Display.h"
#include "monitor/EnumDisplay.h"
#include "platform/Folders.h"
#include "platform/Text.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QScreen>

#include <algorithm>
#include <utility>

namespace {

// Forwarded starts kept while the main window is not ready for them; a
// flood beyond this is dropped.
constexpr std::size_t kMaxPendingForwards = 64;

bool IsAcceptedImage(const std::string& path)
{
    CImageFileInfo probe;
    return probe.ReadInfo(path) != 0;
}

// Brings a window to the front; a minimised one comes back in the state it
// had before (maximised stays maximised).
void BringToFront(QWidget* window)
{
    if (window == nullptr)
        return;
    if (window->isMinimized())
    {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->show();
    }
    window->raise();
    window->activateWindow();
}

} // namespace

// Tells once when the watched window is hidden or destroyed.
class CChromivelApp::ModalCloseWatch : public QObject
{
public:
    explicit ModalCloseWatch(std::function<void()> closed) : m_closed(std::move(closed)) {}

    void Watch(QWidget* window)
    {
        if (m_window == window)
            return;
        Stop();
        m_window = window;
        window->installEventFilter(this);
        m_destroyed = connect(window, &QObject::destroyed, this, [this] {
            m_window = nullptr;
            m_closed();
        });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window && event->type() == QEvent::Hide)
        {
            Stop();
            m_closed();
        }
        return false;
    }

private:
    void Stop()
    {
        if (m_window != nullptr)
            m_window->removeEventFilter(this);
        disconnect(m_destroyed);
        m_window = nullptr;
    }

    std::function<void()> m_closed;
    QPointer<QWidget> m_window;
    QMetaObject::Connection m_destroyed;
};

// ---- Command line -------------------------------------------------------

void CCommandLineInfoEx::ParseParam(const std::string& param, bool flag, bool /*last*/)
{
    if (flag || m_listFile != 0 || param.empty())
        return;
    const QFileInfo info(QString::fromStdString(param));
    // A list file, an image or a folder: a named pipe, a device or a
    // socket is none of them, and opening a pipe would wait for a writer.
    if (!info.isFile() && !info.isDir())
        return;
    const std::string path = info.absoluteFilePath().toStdString();

    std::string listExtension = ".";
    listExtension += LoadString(kStrListFileExtension).toStdString();
    if (platform::EqualsNoCase(GetFileExtFromPath(path), listExtension))
    {
        m_listFile = 1;
        m_paths.assign(1, path);
        return;
    }
    if (IsAcceptedImage(path))
    {
        m_paths.push_back(path);
        return;
    }
    if (!info.isDir())
        return;

    QFileInfoList entries = QDir(info.absoluteFilePath()).entryInfoList(QDir::Files, QDir::Unsorted);
    std::sort(entries.begin(), entries.end(), [](const QFileInfo& a, const QFileInfo& b) {
        const int folded = a.fileName().compare(b.fileName(), Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a.fileName() < b.fileName();
    });
    for (const QFileInfo& entry : entries)
    {
        const std::string file = entry.absoluteFilePath().toStdString();
        if (IsAcceptedImage(file))
            m_paths.push_back(file);
    }
}

CCommandLineInfoEx ParseForwardedArguments(const std::vector<std::string>& arguments)
{
    CCommandLineInfoEx info;
    for (std::size_t i = 1; i < arguments.size(); ++i)
    {
        const std::string& argument = arguments[i];
        const bool last = i + 1 == arguments.size();
        if (!argument.empty() && argument.front() == '-')
            info.ParseParam(argument.substr(1), true, last);
        else
            info.ParseParam(argument, false, last);
    }
    return info;
}

// ---- Application object -------------------------------------------------

CChromivelApp& CChromivelApp::Instance()
{
    static CChromivelApp app;
    return app;
}

CChromivelApp::CChromivelApp() = default;

CChromivelApp::~CChromivelApp()
{
    if (m_messageSinkRegistered && GetMessageSink() == &m_messageSink)
        SetMessageSink(nullptr);
}

bool CChromivelApp::InitInstance(const QStringList& arguments,
                                 const std::function<QWidget*()>& makeMainWindow)
{
    // Messages of the start-up already need a sink; a test's stays.
    if (GetMessageSink() == nullptr)
    {
        SetMessageSink(&m_messageSink);
        m_messageSinkRegistered = true;
    }

    // The application name names the instance lock and its socket and is
    // the title of every message box. The per-user folders keep the
    // program's plain name ("CHROMIVEL", beside the agent's "ZEPH"), where
    // the README tells users to find their settings.
    QString name = LoadString(kStrApplicationName);
    if (name.isEmpty())
        name = QStringLiteral("CHROMIVEL");
    platform::SetApplicationName("CHROMIVEL");
    QCoreApplication::setApplicationName(name);
    // The desktop entry (chromivel.desktop) and its icon are the windows':
    // every window, dialogs included, shows the program's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("chromivel"));
    QApplication::setWindowIcon(LoadIconResource(kIconApplication));

    // Files that fail their probe while the command line is read are
    // collected for the main window's start-up to show.
    const CRecordErrorFile recordErrors;

    m_instance = std::make_unique<CSingleInstance>(name);
    if (m_instance->Acquire() == CSingleInstance::Start::Second)
    {
        // Set first, so that this process's Shutdown writes nothing and
        // leaves the DDC/CI busy value alone.
        m_finished = 1;
        const bool sent = m_instance->Forward(MakeForwardArguments(arguments, QDir::currentPath()));
        m_instance.reset();
        m_exitCode = sent ? 0 : 1;
        return false;
    }
    m_instance->SetRequestHandler(
        [this](const std::vector<std::string>& forwarded) { OnForwardRequest(forwarded); });

    DeleteTempFiles();
    // The design's DPI scale factors stay 1.0: Qt scales the windows.
    GetPow1by3Table();
    if (!LoadProcessSettings())
    {
        m_exitCode = 1;
        return false;
    }

    std::vector<std::string> argumentList;
    argumentList.reserve(static_cast<std::size_t>(arguments.size()));
    for (const QString& argument : arguments)
        argumentList.push_back(argument.toStdString());
    m_commandLine = ParseForwardedArguments(argumentList);

    QWidget* window = makeMainWindow ? makeMainWindow() : nullptr;
    if (window == nullptr)
    {
        m_exitCode = 1;
        return false;
    }
    m_mainWindow = window;
    window->show();
    window->setAcceptDrops(true);
    m_started = true;
    m_exitCode = 0;
    return true;
}

// The settings, and the monitor profile between them (it depends on the
// colour engine and decides whether the engine must change).
bool CChromivelApp::LoadProcessSettings()
{
    LoadUseOsCmm();
    m_storedUseOsCmm = UseOsCmm.load();
    m_useOsCmmForced = false;
    // The display the main window opens on: the primary screen's where the
    // desktop's displays can be enumerated. Elsewhere the default display
    // stands in until the main window has found its DDC/CI monitor.
    QScreen* primary = QGuiApplication::primaryScreen();
    const std::string display =
        DisplayDeviceIdOf(CEnumDisplay(), primary, primary, QString()).toStdString();
    InitMonitorProfile(display);
    LoadGlobalSettings();
    LoadColorSearchSettings();
    LoadDngOutputPath();
    if (GetMonitorProfile() != nullptr)
        return true;

    // The program's own engine serves only matrix profiles: LittleCMS may
    // still use the display's profile.
    if (UseOsCmm.load() != 1)
    {
        UseOsCmm = 1;
        m_useOsCmmForced = true;
    }
    InitMonitorProfile(display);
    if (GetMonitorProfile() != nullptr)
        return true;

    // The display has a profile, but not one that can be used. The colour
    // directory always holds the sRGB profile: say so and go on with it.
    ShowMessage(kStrNoUsableMonitorProfile, {}, MessageButtons::Ok, MessageIcon::Warning);
    return SetMonitorProfile(GetSRGBProfileFileName());
}

void CChromivelApp::SaveProcessSettings()
{
    SaveDngOutputPath();
    SaveColorSearchSettings();
    if (m_useOsCmmForced && UseOsCmm.load() == 1)
    {
        // The engine was switched for this run's monitor profile, not by
        // the user: the stored choice is written back as it was.
        const int runtime = UseOsCmm.exchange(m_storedUseOsCmm);
        SaveGlobalSettings();
        UseOsCmm = runtime;
    }
    else
    {
        SaveGlobalSettings();
    }
}

int CChromivelApp::ExitInstance()
{
    Shutdown();
    m_modalWatch.reset();
    if (m_messageSinkRegistered && GetMessageSink() == &m_messageSink)
        SetMessageSink(nullptr);
    m_messageSinkRegistered = false;
    return m_exitCode;
}

void CChromivelApp::Shutdown()
{
    if (m_finished != 0)
        return;
    m_finished = 1;

    // A start-up that failed has not been the user's session: whatever it
    // loaded or fell back to is not written over the user's settings.
    if (m_started)
        SaveProcessSettings();
    // The cube-root table is immutable and may be read by a worker until
    // the process ends: it lives until then (core/Pow1by3Table.h).
    FreeMonitorProfile();
    ClearReloadImageCache();
    ClearReloadThumbnailCache();
    if (m_instance)
    {
        m_instance->Release();
        m_instance.reset();
    }
    SetDdcBusyFlag(1);
}

void CChromivelApp::OnAppAbout(QWidget* parent)
{
    CViewerAboutDlg dialog(parent);
    dialog.exec();
}

std::string CChromivelApp::ManualPath() const
{
    const std::string folder = m_manualFolder.empty() ? GetModuleFolder() : AddBackslash(m_manualFolder);
    return folder + kManualFileName;
}

void CChromivelApp::OnHelp(QWidget* /*parent*/)
{
    const QString path = QString::fromStdString(ManualPath());
    if (!QFileInfo(path).isFile())
    {
        ShowMessage(kStrManualNotFound);
        return;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    const bool opened = m_urlOpener ? m_urlOpener(url) : QDesktopServices::openUrl(url);
    if (!opened)
        ShowMessage(kStrManualOpenFailed);
}

// ---- Forwarded starts ---------------------------------------------------

void CChromivelApp::SetForwardHandler(
    std::function<void(const std::vector<std::string>& arguments)> handler)
{
    m_forwardHandler = std::move(handler);
    DeliverPendingForwards();
}

void CChromivelApp::OnForwardRequest(const std::vector<std::string>& arguments)
{
    if (m_pendingForwards.size() < kMaxPendingForwards)
        m_pendingForwards.push_back(arguments);
    DeliverPendingForwards();
}

void CChromivelApp::DeliverPendingForwards()
{
    if (!m_forwardHandler)
    {
        if (!m_pendingForwards.empty())
            BringToFront(m_mainWindow);
        return;
    }
    // Delivered in order, one at a time: a request that comes while an
    // earlier one is being opened waits for the loop below (a dialog of
    // that opening comes forward).
    if (m_deliveringForwards != 0)
    {
        BringToFront(QApplication::activeModalWidget());
        return;
    }
    m_deliveringForwards = 1;
    CStFlag delivering(m_deliveringForwards);
    while (m_forwardHandler && !m_pendingForwards.empty())
    {
        // While a dialog of the running instance holds the user (a
        // message, a progress window of a long operation), only that
        // dialog comes forward and the requests wait until it has closed:
        // opening files under it would start a second operation inside
        // the first.
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal != m_mainWindow)
        {
            BringToFront(modal);
            WaitForModalToClose(modal);
            return;
        }
        BringToFront(m_mainWindow);
        const std::vector<std::string> arguments = std::move(m_pendingForwards.front());
        m_pendingForwards.pop_front();
        m_forwardHandler(arguments);
    }
}

void CChromivelApp::WaitForModalToClose(QWidget* modal)
{
    if (m_modalWatch == nullptr)
    {
        m_modalWatch = std::make_unique<ModalCloseWatch>([this] {
            // Once the closing dialog's own handling is over; another
            // dialog still open then is waited for in turn.
            QTimer::singleShot(0, m_modalWatch.get(), [this] { DeliverPendingForwards(); });
        });
    }
    m_modalWatch->Watch(modal);
}
