#include "app/shell/MainFrame.h"

#include "app/filelist/FileView.h"
#include "app/panels/StepPanel.h"
#include "app/panels/ViewCommon.h"
#include "app/preview/ImageView.h"
#include "app/shell/ChromivelApp.h"
#include "app/shell/FrameShell.h"
#include "app/shell/MainMenu.h"
#include "app/shell/PanelFactories.h"
#include "app/shell/ProgressAdapters.h"
#include "app/shell/X11DisplayProfile.h"
#include "controls/dialogs/MonitorList.h"
#include "controls/dialogs/PreferencesDlg.h"
#include "controls/dialogs/ProgDlg.h"
#include "controls/dialogs/SaveImageFileDlg.h"
#include "controls/support/PointerState.h"
#include "controls/support/ResourceImages.h"
#include "controls/support/StringTable.h"
#include "controls/widgets/FileTableCtrl.h"
#include "core/ColorProfile.h"
#include "core/ErrorRecord.h"
#include "core/GlobalSettings.h"
#include "core/IniFile.h"
#include "core/MessageSink.h"
#include "core/PathUtils.h"
#include "core/ProfileStore.h"
#include "core/UseOsCmm.h"
#include "correction/ProjectManage.h"
#include "imagefile/ImageFileInfo.h"
#include "imagefile/ReloadCache.h"
#include "monitor/Display.h"
#include "monitor/InitMsgDlg.h"
#include "platform/ColorDirectory.h"
#include "platform/ColorManagerBus.h"
#include "platform/Folders.h"
#include "print/PrintDialogs.h"

#include <QAction>
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QStackedWidget>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QWindow>

#include <fstream>
#include <limits>
#include <sstream>

namespace {

// ".ext" of an extension text. Built by appending to a fresh string: GCC 12
// warns falsely (-Wrestrict) when a short literal is put in front of a
// string or assigned over one.
std::string DottedExtension(int stringId)
{
    std::string dotted(1, '.');
    dotted += LoadString(stringId).toStdString();
    return dotted;
}

// The pause the design leaves the system after a change of the display's
// profiles before it reads them, and again before the second reading.
constexpr int kSettingChangeDelayMs = 200;

QString Text(const std::string& s)
{
    return QString::fromStdString(s);
}

// The monitor object as the preferences see it.
class CDisplayMonitorList final : public IMonitorList
{
public:
    explicit CDisplayMonitorList(CDisplay& display) : m_display(display) {}

    std::vector<std::string> GetMonitorDescriptions() const override
    {
        std::vector<QString> descriptions;
        m_display.GetMonitorDescriptions(descriptions);
        std::vector<std::string> out;
        out.reserve(descriptions.size());
        for (const QString& d : descriptions)
            out.push_back(d.toStdString());
        return out;
    }
    int GetCurrentMonitorIndex() const override { return m_display.SelectedIndex; }
    bool SelectMonitor(int index) override { return m_display.SelectMonitor(index); }

private:
    CDisplay& m_display;
};

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The plain files directly in a folder, in name order; nothing for what is
// not a folder.
std::vector<std::string> FilesInFolder(const std::string& path)
{
    std::vector<std::string> files;
    const QFileInfo info(Text(path));
    if (!info.isDir())
        return files;
    const QDir dir(info.absoluteFilePath());
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name))
        files.push_back(dir.filePath(name).toStdString());
    return files;
}

bool ProbeAccepts(const std::string& path)
{
    CImageFileInfo record;
    return record.ReadInfo(path) == 1;
}

} // namespace

CMainFrame::CMainFrame(MainFrameOptions options, QWidget* parent)
    : QMainWindow(parent), m_options(std::move(options)),
      m_project(std::make_unique<CProjectManage>()),
      m_shell(std::make_unique<CFrameShell>(this)),
      m_displayProfile(std::string(),
                       m_options.drmRoot.empty() ? std::string(platform::kDrmClassFolder)
                                                 : m_options.drmRoot)
{
    setWindowIcon(LoadIconResource(CInitMsgDlg::kIconApplication));
    setAcceptDrops(true);
    LoadSettings(GetIniFilePath());

    // The window's place: the stored size, within the work area, centred.
    setMinimumSize(kMinWindowWidth, kMinWindowHeight);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const WindowGeometry placed =
        PlaceInWorkArea(m_windowWidth, m_windowHeight,
                        CRect(work.left(), work.top(), work.right() + 1, work.bottom() + 1));
    m_windowWidth = placed.width;
    m_windowHeight = placed.height;
    // The size is the window's own (the desktop adds its frame); the place
    // is the frame's top-left corner.
    resize(placed.width, placed.height);
    move(placed.x, placed.y);

    OnCreate();
}

CMainFrame::~CMainFrame()
{
    OnDestroy();
    qApp->removeEventFilter(this);
    // The panels and the view refer to the project: they go first.
    delete takeCentralWidget();
    m_project->SetImageView(nullptr);
    m_project->SetShell(nullptr);
    m_project->SetPrintDialogs(nullptr);
    m_project.reset();
}

// ---- Creation

void CMainFrame::OnCreateClient()
{
    m_splitter = new CMySplitterWnd(this);
    m_splitter->CreateStatic(1, 2);
    m_splitter->CreateViews(0, 0, {[](QWidget* parent) { return new CImageView(parent); }});

    std::vector<CViewParam::Factory> factories;
    factories.push_back([](QWidget* parent) { return new CFileView(parent); });
    for (int i = 1; i < kPanelCount; ++i)
    {
        CViewParam::Factory given = m_options.panels[static_cast<std::size_t>(i)];
        if (!given)
            given = DefaultPanelFactory(i);
        factories.push_back(given ? given : [](QWidget* parent) -> QWidget* {
            return new CStepPlaceholderView(parent);
        });
    }
    m_splitter->CreateViews(0, 1, factories);
    m_splitter->setStretchFactor(0, 1);
    m_splitter->setStretchFactor(1, 0);
    setCentralWidget(m_splitter);
    RecalcColumns(width(), height());

    m_imageView = qobject_cast<CImageView*>(m_splitter->GetView(0, 0, 0));
    for (int i = 0; i < kPanelCount; ++i)
    {
        QWidget* widget = m_splitter->GetView(0, 1, i);
        m_panelWidgets[static_cast<std::size_t>(i)] = widget;
        m_panels[static_cast<std::size_t>(i)] = dynamic_cast<CViewCommon*>(widget);
    }
    m_fileView = qobject_cast<CFileView*>(m_panelWidgets[kFileListPanel]);

    for (int i = 0; i < kPanelCount; ++i)
    {
        CViewCommon* panel = m_panels[static_cast<std::size_t>(i)];
        if (panel == nullptr)
            continue;
        panel->SetProject(m_project.get());
        panel->SetNotifyMessage(UWM_FILEVIEW_NOTIFY + i);
        panel->SetParameterPath(&m_docPath);
        connect(panel->Notifier(), &CViewNotifier::notify, this, &CMainFrame::onPanelNotify);
    }
    if (m_imageView != nullptr)
    {
        m_imageView->SetProject(m_project.get());
        m_project->SetImageView(m_imageView);
        m_imageView->setNotifyMessage(UWM_IMAGEVIEW_NOTIFY);
        connect(m_imageView, &CImageView::notify, this, &CMainFrame::onImageViewNotify);
    }
    m_project->SetShell(m_shell.get());
    m_printDialogs = std::make_unique<CPrintDialogs>(this);
    m_project->SetPrintDialogs(m_printDialogs.get());
    if (m_fileView != nullptr)
    {
        m_fileView->SetAddFilesHandler(
            [this](const std::vector<std::string>& paths, bool loadOne) {
                AddFiles(paths, loadOne);
            });
        CFileView::FrameHooks hooks;
        hooks.preferences = [this] { OnPreferences(); };
        hooks.about = [this] {
            (m_options.application ? *m_options.application : CChromivelApp::Instance())
                .OnAppAbout(this);
        };
        hooks.help = [this] {
            (m_options.application ? *m_options.application : CChromivelApp::Instance())
                .OnHelp(this);
        };
        hooks.monitorRect = [this] { return m_monitor ? m_monitor->MonitorRect : QRect(); };
        hooks.monitorAnswered = [this] { return m_monitorAnswered != 0; };
        hooks.monitor = [this]() -> CDisplay* { return m_monitor.get(); };
        hooks.displayProfile = [this] {
            QString name;
            return CDisplayProfile::GetFirstMonitorProfile(m_displayProfile.ProfileNames, name)
                       ? name.toStdString()
                       : std::string();
        };
        m_fileView->SetFrameHooks(std::move(hooks));
    }
    ApplyZoom();
    m_created = true;
}

void CMainFrame::OnCreate()
{
    OnCreateClient();
    CreateActions();
    CreateMenus();
    CreateToolBars();

    if (m_fileView != nullptr)
        m_fileView->SetProfileLabel(MonitorLabel());
    const QString text = LoadString(kStrMainTitle);
    m_title = text.isEmpty() ? windowTitle() : text.section(QLatin1Char('\n'), 0, 0);
    setWindowTitle(m_title);

    // The display's profiles: the listing posts when it finds the first.
    m_displayProfile.NotifyMessage = kUwmMonitorProfileFound;
    connect(&m_displayProfile, &CDisplayProfile::notify, this,
            &CMainFrame::onDisplayProfileNotify);
    m_settingTimer = new QTimer(this);
    m_settingTimer->setSingleShot(true);
    m_settingTimer->setInterval(kSettingChangeDelayMs);
    connect(m_settingTimer, &QTimer::timeout, this, &CMainFrame::OnSettingChange);
    m_retryTimer = new QTimer(this);
    m_retryTimer->setSingleShot(true);
    m_retryTimer->setInterval(kSettingChangeDelayMs);
    connect(m_retryTimer, &QTimer::timeout, this, &CMainFrame::OnDisplayChangeRetry);
    m_settingWatcher = new QFileSystemWatcher(this);
    connect(m_settingWatcher, &QFileSystemWatcher::fileChanged, this,
            &CMainFrame::onStoreChanged);
    connect(m_settingWatcher, &QFileSystemWatcher::directoryChanged, this,
            &CMainFrame::onStoreChanged);
    WatchStore();
    // Where colord runs, its changes may change the display's profile too
    // (the desktop's colour settings change colord's default profile). A
    // colord that started again knows none of the user's profiles: they are
    // made known to it again, and it gives its devices theirs back.
    m_colorManager = std::make_unique<platform::ColorManagerWatch>();
    if (const int socket = m_colorManager->SocketDescriptor(); socket >= 0)
    {
        auto* notifier = new QSocketNotifier(socket, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            bool started = false;
            if (!m_colorManager->TakeChanges(&started))
                return;
            if (started)
                platform::OfferDisplayProfilesToColorManager();
            m_settingTimer->start();
        });
    }

    // The desktop session ending: the same question as closing, and a
    // Cancel keeps the session (and the program) going.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (m_fileView == nullptr || !manager.allowsInteraction())
            return;
        const bool mayEnd = m_fileView->QuerySaveList();
        manager.release();
        if (!mayEnd)
            manager.cancel();
    });

    qApp->installEventFilter(this);
    QMetaObject::invokeMethod(this, &CMainFrame::OnPostCreate, Qt::QueuedConnection);
}

QString CMainFrame::MonitorLabel() const
{
    std::string description;
    if (const CColorProfile* monitor = GetMonitorProfile())
    {
        monitor->GetDescription(description);
        return Text(description);
    }
    return LoadString(kStrNoMonitorProfile);
}

void CMainFrame::OnPostCreate()
{
    if (m_started)
        return;
    m_started = true;
    setWindowTitle(m_title);
    if (m_fileView != nullptr)
        m_fileView->NewList();

    if (IsProjectReady() && (m_options.commandLine || m_options.application))
    {
        CommandLineFiles files;
        if (m_options.commandLine)
        {
            files = m_options.commandLine();
        }
        else
        {
            const CCommandLineInfoEx info = m_options.application->GetCommandLineInfo();
            files = CommandLineFiles{info.GetPaths(), info.IsListFile()};
        }
        if (!files.paths.empty())
        {
            if (files.listFile)
            {
                m_fileView->LoadList(files.paths.front());
                ClearErrorFiles();
            }
            else
            {
                AddFiles(files.paths);
            }
        }
        ShowErrorFiles();
    }

    const int introduction = ShowInitMsgDlg(this);

    // The busy value is written before the monitor object exists, so that
    // the agent sees a free channel whatever the previous run left.
    SetDdcBusyFlag(0);
    m_monitorAnswered = 0;
    m_monitor = m_options.makeDisplay ? m_options.makeDisplay()
                                      : std::make_unique<CDdcApiDisplay>();
    if (m_monitor && m_monitor->EnumMonitors())
    {
        for (int i = 0; i < static_cast<int>(m_monitor->Monitors.size()); ++i)
        {
            if (m_monitor->SelectMonitor(i))
            {
                m_monitorAnswered = 1;
                SetDisplayIndex(i);
                break;
            }
        }
    }

    // The monitor that answered names the display where the desktop's
    // displays cannot be enumerated: its profile is the one to show.
    FollowDisplay();

    if (introduction == CInitMsgDlg::kIdStartWizard && m_fileView != nullptr)
        m_fileView->RunMonitorWizard();
    if (m_options.application)
    {
        m_options.application->SetForwardHandler(
            [this](const std::vector<std::string>& arguments) { OnForwardedStart(arguments); });
    }
    UpdateCommandStates();
}

void CMainFrame::OnForwardedStart(const std::vector<std::string>& arguments)
{
    if (!IsProjectReady())
        return;
    {
        CRecordErrorFile record;
        const CCommandLineInfoEx info = ParseForwardedArguments(arguments);
        OpenCommandLine(CommandLineFiles{info.GetPaths(), info.IsListFile()});
    }
    ShowErrorFiles();
}

void CMainFrame::OnDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    disconnect(m_idleUpdate);
    // The size of the normal window, also when it is maximised or minimised
    // now: that is the size it comes back to.
    const QRect normal = normalGeometry();
    if (normal.isValid())
    {
        m_windowWidth = normal.width();
        m_windowHeight = normal.height();
    }
    SaveSettings(GetIniFilePath());
    m_monitor.reset();
    if (m_options.application)
        m_options.application->Shutdown();
}

void CMainFrame::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    NoteScreen();
    if (QWindow* window = windowHandle())
    {
        connect(window, &QWindow::screenChanged, this, &CMainFrame::NoteScreen,
                Qt::UniqueConnection);
    }
}

void CMainFrame::NoteScreen()
{
    const int index = static_cast<int>(QGuiApplication::screens().indexOf(screen()));
    if (index >= 0)
        SetX11DisplayProfileScreen(index);
    // Before the deferred start-up the monitor is not known yet; the
    // start-up follows the display itself.
    if (m_started)
        FollowDisplay();
}

void CMainFrame::FollowDisplay()
{
    const QString monitorId = m_monitor ? m_monitor->DeviceID : QString();
    m_displayProfile.SelectDisplay(screen(), monitorId);
    SetMonitorProfileDevice(m_displayProfile.DeviceID.toStdString());
    OnSettingChange();
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (m_fileView != nullptr && !m_fileView->QuerySaveList())
    {
        event->ignore();
        return;
    }
    event->accept();
    OnDestroy();
}

// ---- Layout and settings

void CMainFrame::RecalcColumns(int width, int /*height*/)
{
    if (m_splitter == nullptr)
        return;
    const int right = RightColumnWidth(1.0);
    const int left = std::max(width - right, 0);
    m_splitter->setSizes({left, right});
}

void CMainFrame::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (m_created && !isMinimized())
        RecalcColumns(width(), height());
}

void CMainFrame::LoadSettings(const std::string& iniPath)
{
    const CIniFile ini(iniPath);
    m_docPath = ini.GetString(kMainFrameSection, "strDocPath", GetDocumentsFolder());
    const WindowGeometry size =
        RaiseToMinimumSize(ini.GetInt(kMainFrameSection, "WindowWidth", kMinWindowWidth),
                           ini.GetInt(kMainFrameSection, "WindowHeight", kMinWindowHeight));
    m_windowWidth = size.width;
    m_windowHeight = size.height;
}

void CMainFrame::SaveSettings(const std::string& iniPath)
{
    CIniFile ini(iniPath);
    ini.SetInt(kMainFrameSection, "WindowWidth", m_windowWidth);
    ini.SetInt(kMainFrameSection, "WindowHeight", m_windowHeight);
}

// ---- Panels

QWidget* CMainFrame::GetPanel(int index) const
{
    if (index < 0 || index >= kPanelCount)
        return nullptr;
    return m_panelWidgets[static_cast<std::size_t>(index)];
}

int CMainFrame::GetCurrentStepIndex() const
{
    return m_splitter ? m_splitter->GetActiveIndex(0, 1) : -1;
}

CViewCommon* CMainFrame::GetCurrentStepView() const
{
    const int index = GetCurrentStepIndex();
    if (index < 0 || index >= kPanelCount)
        return nullptr;
    return m_panels[static_cast<std::size_t>(index)];
}

bool CMainFrame::IsProjectReady() const
{
    return m_project->GetInputProfile() != nullptr && m_project->GetWorkingProfile() != nullptr;
}

int CMainFrame::DisplayMode() const
{
    // The display mode is the compare mode: 1 the image before the steps,
    // 2 after them.
    return m_project->GetCompareMode();
}

void CMainFrame::SwitchStep(int index, bool commit)
{
    if (index < 0 || index >= kPanelCount)
        return;
    if (index == kFileListPanel && m_fileView != nullptr)
        m_fileView->SetReprocessStep(CProjectManage::kStepCount);
    CViewCommon* previous = GetCurrentStepView();
    CViewCommon* next = m_panels[static_cast<std::size_t>(index)];
    if (previous == nullptr || next == nullptr)
        return;
    previous->OnLeaveStep(commit);
    next->OnEnterStep();
    m_splitter->ShowView(0, 1, index);
    RecalcColumns(width(), height());
    if (m_imageView != nullptr)
    {
        m_imageView->SetDragItem(next->GetDragItem());
        m_imageView->SetColorChangeMode(DisplayMode() == kCompareAfter &&
                                        index == kSpecifiedColorPanel);
    }
    UpdateCommandStates();
}

void CMainFrame::ApplyZoom()
{
    if (m_imageView != nullptr && m_fileView != nullptr)
        m_imageView->SetZoom(ZoomFactorForIndex(m_fileView->GetZoomIndex()));
}

void CMainFrame::RedrawPreview()
{
    if (m_imageView != nullptr)
        m_imageView->viewport()->repaint();
}

void CMainFrame::onPanelNotify(int message, int code, qint64 /*value*/)
{
    const PanelResponse response = RespondToPanel(message, code);
    if (response.applyZoom)
        ApplyZoom();
    if (response.updateTitle)
        UpdateTitle();
    if (response.switchToList)
        SwitchStep(kFileListPanel, response.commit);
    if (response.compareFlag >= 0 && m_imageView != nullptr)
        m_imageView->SetCompareFlag(response.compareFlag != 0);
    if (response.redraw)
        RedrawPreview();
    UpdateCommandStates();
}

void CMainFrame::OnRefreshImageView(int mode)
{
    if (mode == 0)
    {
        ApplyZoom();
        return;
    }
    if (mode != 1)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_project->SetCompareMode(kCompareAfter);
    if (m_imageView != nullptr)
        m_imageView->SetColorChangeMode(DisplayMode() == kCompareAfter &&
                                        GetCurrentStepIndex() == kSpecifiedColorPanel);
    QApplication::restoreOverrideCursor();
}

void CMainFrame::UpdateTitle()
{
    QString title = m_title;
    std::string name;
    m_project->GetImageName(name);
    if (!name.empty())
        title += QStringLiteral(" - ") + Text(name);
    if (m_fileView != nullptr)
    {
        const std::string list = m_fileView->GetListTitle();
        if (!list.empty())
            title += QStringLiteral(" - ") + Text(list);
    }
    if (windowTitle() != title)
        setWindowTitle(title);

    if (m_fileView == nullptr)
        return;
    std::string format;
    m_project->GetImageFormatText(format);
    m_fileView->SetImageText(Text(format));
    m_fileView->SetInputColorSpaceText(
        m_project->IsImageReady() ? Text(m_project->GetInputProfileText()) : QString());
    std::string display;
    std::string working;
    if (IsProjectReady())
    {
        if (const CColorProfile* output = m_project->GetOutputProfile())
            output->GetDescription(display);
        m_project->GetWorkingProfile()->GetDescription(working);
    }
    m_fileView->SetDisplayColorSpaceText(Text(display));
    m_fileView->SetWorkingColorSpaceText(Text(working));
}

// ---- Colour picks

void CMainFrame::onImageViewNotify(int message, int code, qint64 /*value*/)
{
    if (message == UWM_IMAGEVIEW_NOTIFY)
        OnImageViewMouse(code);
}

void CMainFrame::OnImageViewMouse(int code)
{
    if (m_imageView == nullptr || !m_project->IsImageReady() || m_project->IsBusy())
        return;
    if (code != CImageView::kPressed && code != CImageView::kReleased)
        return;
    const CRGBImage& image = m_project->GetWorkingImage();
    const CPointD relative = m_imageView->GetLastPressedPoint();
    const CPoint pixel = PickPixel(relative.x, relative.y, image.GetWidth(), image.GetHeight());
    const CRect rect = SampleRect(pixel, SampleSideForAverageSize(GetAverageSize()),
                                  image.GetWidth(), image.GetHeight());
    if (rect.IsRectEmpty())
        return;
    const int index = GetCurrentStepIndex();
    auto* target = dynamic_cast<IColorPickTarget*>(GetPanel(index));
    if (target == nullptr)
        return;

    CCIELab lab;
    if (code == CImageView::kReleased)
    {
        if (index == kSpecifiedColorPanel && m_project->PickAverageLab(rect, lab, 1))
            target->SetDragAndDropLab(rect, lab, m_imageView->GetReleaseScreenPoint());
        return;
    }

    if (index == kDevelopPanel)
    {
        CCIEXYZ white;
        if (m_project->PickRawWhiteXYZ(rect, white))
            target->PickWhiteBalance(white);
        else
            QApplication::beep();
        RGB16 pixelValue{};
        if (m_project->PickAverageRGB(rect, pixelValue) &&
            m_project->PickAverageLab(rect, lab, 0))
            target->ShowSampleOnHistogram(lab[0], pixelValue);
    }
    CCIEXYZ xyz;
    if (index == kColorTonePanel && m_project->PickAverageXYZ(rect, xyz))
        target->SetWhiteBalanceSample(xyz);
    if ((index == kGradationPanel || index == kColorTonePanel) &&
        m_project->PickAverageLab(rect, lab, 0))
        target->SetSampleLab(lab);
    if (index == kSpecifiedColorPanel && m_project->PickAverageLab(rect, lab, 1))
        target->SetColorSample(lab);
}

// ---- Files

void CMainFrame::AddFiles(const std::vector<std::string>& paths, bool loadOne)
{
    CFileTableCtrl* list = m_fileView ? m_fileView->GetListCtrl() : nullptr;
    if (list != nullptr)
        list->setUpdatesEnabled(false);
    if (m_fileView != nullptr)
        m_fileView->DetachRows();
    const bool listShown = GetCurrentStepIndex() == kFileListPanel;
    const std::string lutName =
        m_fileView ? m_fileView->GetCurrentLutName() : std::string(kNoLutName);

    bool loaded = false;
    CImageFileInfo loadedRecord;
    if (paths.size() == 1 && loadOne)
    {
        CImageFileInfo record;
        if (record.ReadInfo(paths.front()) == 1)
        {
            // The LUT first: the load converts the first preview through it.
            record.m_lutName = lutName;
            if (listShown && m_fileView != nullptr)
            {
                m_fileView->LoadImage(record, CProjectManage::kStepCount);
                loadedRecord = record;
                loaded = true;
            }
            m_project->AddFile(record, std::numeric_limits<std::size_t>::max());
        }
    }
    else if (!paths.empty())
    {
        const std::vector<std::string> sorted = SortPathsByFileName(paths);
        CProgDlg progress(kStrRegisterCaption, this);
        progress.SetRange(0, static_cast<int>(sorted.size()));
        progress.SetStep(1);
        progress.SetPos(0);
        progress.Create();
        SetProgressPercentText(0, progress);
        int position = 0;
        for (const std::string& path : sorted)
        {
            CImageFileInfo record;
            if (record.ReadInfo(path) == 1)
            {
                record.m_lutName = lutName;
                // The whole list, the paths added in this run included: a
                // path given twice is registered once.
                m_project->AddFile(record, std::numeric_limits<std::size_t>::max());
            }
            PumpMessages();
            progress.StepIt();
            SetProgressPercentText(++position, progress);
            PumpMessages();
            if (progress.Cancelled)
                break;
        }
    }

    if (listShown && m_fileView != nullptr)
    {
        m_fileView->RefreshList();
        m_fileView->UpdateControls(true);
        m_fileView->UpdateControls(false);
    }
    if (GetCurrentStepIndex() == kBatchPanel && m_panels[kBatchPanel] != nullptr)
        m_panels[kBatchPanel]->UpdateControls(false);
    if (listShown && loaded && list != nullptr)
        list->SelectItem(loadedRecord);
    if (list != nullptr)
    {
        list->setUpdatesEnabled(true);
        list->viewport()->update();
    }
    UpdateCommandStates();
}

void CMainFrame::OpenCommandLine(const CommandLineFiles& files)
{
    if (!IsProjectReady() || files.paths.empty() || m_fileView == nullptr)
        return;
    if (files.listFile)
        m_fileView->LoadList(files.paths.front());
    else
        AddFiles(files.paths);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
    {
        if (url.isLocalFile())
            paths.push_back(url.toLocalFile().toStdString());
    }
    event->acceptProposedAction();
    DropFiles(paths);
}

void CMainFrame::DropFiles(const std::vector<std::string>& paths)
{
    if (!IsProjectReady())
        return;
    {
        CRecordErrorFile record;
        DropRules rules;
        rules.listExtension = DottedExtension(kStrListFileExtension);
        rules.parameterExtension = DottedExtension(kStrParamFileExtension);
        rules.acceptsImage = ProbeAccepts;
        rules.filesInFolder = FilesInFolder;
        const DropPlan plan = PlanDrop(paths, rules);
        switch (plan.kind)
        {
        case DropKind::ListFile:
            if (GetCurrentStepIndex() == kFileListPanel && m_fileView != nullptr)
            {
                m_fileView->LoadList(plan.path);
                ClearErrorFiles();
            }
            break;
        case DropKind::ParameterFile:
            if (CViewCommon* panel = GetCurrentStepView())
            {
                panel->ImportParameters(plan.path);
                ClearErrorFiles();
            }
            break;
        case DropKind::Images:
            AddFiles(plan.images);
            break;
        case DropKind::Nothing:
            break;
        }
    }
    ShowErrorFiles();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type())
    {
    case QEvent::ShortcutOverride:
        if (TakesEditShortcut(watched, *static_cast<QKeyEvent*>(event)))
        {
            // Not taken by the focused field: the frame's shortcut fires.
            event->ignore();
            return true;
        }
        break;
    case QEvent::MouseButtonRelease:
    case QEvent::KeyRelease:
        // What the user just did (a tick in the list, a load) may change
        // what the commands' rules read: the buttons follow once the
        // event is handled, as a frame updates its toolbars when idle.
        if (auto* widget = qobject_cast<QWidget*>(watched); widget && widget->window() == this)
            m_commandTimer->start();
        break;
    default:
        break;
    }
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return QMainWindow::eventFilter(watched, event);
    // The space bar pans the preview: while the mouse is over the preview,
    // a space typed into the right pane's panel would press its focused
    // button.
    const auto* key = static_cast<QKeyEvent*>(event);
    auto* widget = qobject_cast<QWidget*>(watched);
    QWidget* rightPane = m_splitter ? m_splitter->GetPane(0, 1) : nullptr;
    if (key->key() != Qt::Key_Space || widget == nullptr || rightPane == nullptr ||
        m_imageView == nullptr || !isActiveWindow() ||
        !(widget == rightPane || rightPane->isAncestorOf(widget)))
        return QMainWindow::eventFilter(watched, event);
    const IPointerState& pointer = m_pointer ? *m_pointer : SystemPointerState();
    const QPoint local = m_imageView->mapFromGlobal(pointer.globalCursorPosition());
    if (m_imageView->rect().contains(local))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

// The frame's accelerators come before the focused control, as a frame
// translates them before a control sees the key: undo and redo reach the
// shown panel even from a text field, which would take the two keys for its
// own text otherwise. While the panel has nothing to undo (or redo) the
// field keeps the keys.
bool CMainFrame::TakesEditShortcut(QObject* watched, const QKeyEvent& key)
{
    auto* widget = qobject_cast<QWidget*>(watched);
    const bool inWindow =
        widget != nullptr ? widget->window() == this : watched == windowHandle();
    if (!inWindow || !isActiveWindow())
        return false;
    // The shortcuts fire only for enabled actions: their states are made
    // current before the key is matched.
    UpdateCommandStates();
    const QKeySequence pressed(key.keyCombination());
    for (FrameCommand command : {FrameCommand::Undo, FrameCommand::Redo})
    {
        const QAction* action = GetAction(command);
        if (action != nullptr && action->isEnabled() && action->shortcut() == pressed)
            return true;
    }
    return false;
}

// ---- Monitor profile

void CMainFrame::WatchStore()
{
    const std::string store = platform::DisplayProfileStorePath();
    const std::string folder = GetFolderFromPath(store);
    platform::EnsureFolder(folder);
    if (!m_settingWatcher->directories().contains(Text(folder)))
        m_settingWatcher->addPath(Text(folder));
    // A replacement by rename drops the watch on the file: it is set again
    // whenever the file is there and not watched.
    if (QFileInfo::exists(Text(store)) && !m_settingWatcher->files().contains(Text(store)))
        m_settingWatcher->addPath(Text(store));
    m_storeText = ReadWholeFile(store);
}

void CMainFrame::onStoreChanged()
{
    // The folder also holds the registry store and other programs' files:
    // only a change of the association store's text counts.
    const std::string previous = m_storeText;
    WatchStore();
    if (m_storeText != previous)
        m_settingTimer->start();
}

void CMainFrame::OnSettingChange()
{
    ListDisplayProfiles();
    m_retryTimer->start();
}

void CMainFrame::OnDisplayChangeRetry()
{
    ListDisplayProfiles();
}

void CMainFrame::ListDisplayProfiles()
{
    m_displayProfile.EnumMonitorProfiles(true);
    // No profile associated at all: the display's profile is the desktop's
    // (X11) or the sRGB profile, which is looked at the same way.
    if (m_displayProfile.ProfileNames.empty())
        QMetaObject::invokeMethod(this, &CMainFrame::OnDisplayProfileFound, Qt::QueuedConnection);
}

void CMainFrame::onDisplayProfileNotify(int message, int /*code*/, qint64 /*value*/)
{
    if (message == kUwmMonitorProfileFound)
        OnDisplayProfileFound();
}

void CMainFrame::OnDisplayProfileFound()
{
    QString name;
    if (!CDisplayProfile::GetFirstMonitorProfile(m_displayProfile.ProfileNames, name))
        name = Text(platform::MonitorProfileName(m_displayProfile.DeviceID.toStdString()));
    const int engineBefore = UseOsCmm.load();
    const bool changed = m_project->OnMonitorProfileChanged(name.toStdString());
    NoteEngineSwitch(engineBefore);
    if (!changed)
        return;
    if (m_fileView != nullptr)
        m_fileView->SetCachePaused(true);
    RefreshMonitorProfile();
    if (m_fileView != nullptr)
    {
        m_fileView->SetProfileLabel(MonitorLabel());
        m_fileView->SetCachePaused(false);
    }
}

void CMainFrame::NoteEngineSwitch(int engineBefore)
{
    if (engineBefore == 0 && UseOsCmm.load() == 1 && m_options.onUseOsCmmForced)
        m_options.onUseOsCmmForced();
}

void CMainFrame::RefreshMonitorProfile()
{
    const int engineBefore = UseOsCmm.load();
    if (!m_project->IsBusy())
        m_project->RefreshDisplayConversion();
    NoteEngineSwitch(engineBefore);
    if (m_fileView != nullptr)
        m_fileView->RefreshScreenImage();
}

// ---- Commands

void CMainFrame::CreateActions()
{
    const std::map<FrameCommand, QKeySequence> shortcuts = {
        {FrameCommand::OpenFiles, QKeySequence(Qt::CTRL | Qt::Key_O)},
        {FrameCommand::SaveImage, QKeySequence(Qt::CTRL | Qt::Key_S)},
        {FrameCommand::Print, QKeySequence(Qt::CTRL | Qt::Key_P)},
        {FrameCommand::Undo, QKeySequence(Qt::CTRL | Qt::Key_Z)},
        {FrameCommand::Redo, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
    };
    for (FrameCommand command : AllFrameCommands())
    {
        auto* action = new QAction(CommandMenuText(command), this);
        action->setObjectName(QString::number(static_cast<int>(command)));
        action->setToolTip(CommandToolTip(command));
        action->setIcon(LoadIconResource(static_cast<int>(command)));
        // Menus show their texts alone, as the design's menus do.
        action->setIconVisibleInMenu(false);
        const auto shortcut = shortcuts.find(command);
        if (shortcut != shortcuts.end())
        {
            action->setShortcut(shortcut->second);
            action->setShortcutContext(Qt::WindowShortcut);
        }
        connect(action, &QAction::triggered, this, [this, command] { ExecuteCommand(command); });
        addAction(action);
        m_actions[command] = action;
    }
}

void CMainFrame::CreateMenus()
{
    QMenuBar* bar = menuBar();
    for (const MenuPopup& popup : MainMenuPopups())
    {
        QMenu* menu = bar->addMenu(popup.title);
        for (int id : popup.commands)
        {
            if (id == 0)
                menu->addSeparator();
            else
                menu->addAction(GetAction(static_cast<FrameCommand>(id)));
        }
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    }
}

void CMainFrame::CreateToolBars()
{
    m_commandTimer = new QTimer(this);
    m_commandTimer->setSingleShot(true);
    m_commandTimer->setInterval(0);
    connect(m_commandTimer, &QTimer::timeout, this, &CMainFrame::UpdateCommandStates);
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread()))
    {
        m_idleUpdate = connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                               &CMainFrame::UpdateCommandStates);
    }
    for (int resource : {kFileToolBarResource, kStepToolBarResource})
    {
        QToolBar* toolBar = addToolBar(QString());
        toolBar->setObjectName(QString::number(resource));
        toolBar->setIconSize(QSize(24, 24));
        toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
        // The buttons stay where the window puts them.
        toolBar->setMovable(false);
        toolBar->setFloatable(false);
        toolBar->toggleViewAction()->setEnabled(false);
        for (int id : ToolBarCommands(resource))
        {
            if (id == 0)
                toolBar->addSeparator();
            else
                toolBar->addAction(GetAction(static_cast<FrameCommand>(id)));
        }
    }
    setContextMenuPolicy(Qt::NoContextMenu);
    UpdateCommandStates();
}

void CMainFrame::UpdateCommandStates()
{
    const CommandState state = GetCommandState();
    for (const auto& [command, action] : m_actions)
        action->setEnabled(IsFrameCommandEnabled(command, state));
}

QToolBar* CMainFrame::GetToolBar(int resource) const
{
    return findChild<QToolBar*>(QString::number(resource), Qt::FindDirectChildrenOnly);
}

QAction* CMainFrame::GetAction(FrameCommand command) const
{
    const auto found = m_actions.find(command);
    return found == m_actions.end() ? nullptr : found->second;
}

CommandState CMainFrame::GetCommandState() const
{
    CommandState s;
    s.fileListShown = GetCurrentStepIndex() == kFileListPanel;
    s.projectReady = IsProjectReady();
    s.imageLoaded = m_project->IsImageReady();
    s.displayMode = DisplayMode();
    s.hasRawData = m_project->GetRawData() != nullptr;
    s.imageWidth = m_project->GetWorkingImage().GetWidth();
    s.imageHeight = m_project->GetWorkingImage().GetHeight();
    s.checkedOtherThanType4 = m_project->HasCheckedOtherThanType4();
    s.checkedCount = static_cast<int>(m_project->GetCheckedCount());
    const CViewCommon* panel = GetCurrentStepView();
    s.hasPanel = panel != nullptr;
    s.panelCanUndo = panel != nullptr && panel->CanUndo();
    s.panelCanRedo = panel != nullptr && panel->CanRedo();
    if (m_fileView != nullptr)
    {
        const CFileView* fileView = m_fileView;
        s.fileViewEnabled = [fileView](int index) { return fileView->IsCommandEnabled(index); };
    }
    return s;
}

bool CMainFrame::IsCommandEnabled(FrameCommand command) const
{
    return IsFrameCommandEnabled(command, GetCommandState());
}

bool CMainFrame::ExecuteCommand(FrameCommand command)
{
    if (!IsCommandEnabled(command))
        return false;
    if (StepIndexOfCommand(command) != 0)
    {
        OnStepCommand(command);
        UpdateCommandStates();
        return true;
    }
    switch (command)
    {
    case FrameCommand::Undo:
        GetCurrentStepView()->Undo();
        break;
    case FrameCommand::Redo:
        GetCurrentStepView()->Redo();
        break;
    case FrameCommand::AppExit:
        // As the close box: the list's save question may keep the window.
        close();
        break;
    default:
        OnFileCommand(command);
        break;
    }
    UpdateCommandStates();
    return true;
}

void CMainFrame::OnStepCommand(FrameCommand command)
{
    if (GetCurrentStepIndex() == kFileListPanel)
        SwitchStep(StepIndexOfCommand(command), true);
}

void CMainFrame::OnFileCommand(FrameCommand command)
{
    if (command == FrameCommand::Preferences)
    {
        OnPreferences();
        return;
    }
    if (GetCurrentStepIndex() != kFileListPanel || m_fileView == nullptr)
        return;
    switch (command)
    {
    case FrameCommand::OpenFiles:
        m_fileView->OnFileOpen();
        break;
    case FrameCommand::OpenFolder:
        m_fileView->OnFolderOpen();
        break;
    case FrameCommand::SaveImage:
        OnSaveImage();
        break;
    case FrameCommand::LoadList:
        m_fileView->OnLoadList();
        break;
    case FrameCommand::SaveList:
        m_fileView->OnSaveList();
        break;
    case FrameCommand::ImportParameters:
        m_fileView->ImportParametersDialog();
        break;
    case FrameCommand::ExportParameters:
        m_fileView->ExportParameters();
        break;
    case FrameCommand::ResetParameters:
        m_fileView->ResetAllParameters();
        break;
    case FrameCommand::Print:
        OnPrint();
        break;
    case FrameCommand::IndexPrint:
        OnIndexPrint();
        break;
    default:
        break;
    }
}

void CMainFrame::OnSaveImage()
{
    if (!m_project->IsImageReady() || DisplayMode() != kCompareAfter)
        return;
    std::string name;
    m_project->GetImageName(name);
    const std::string& folder = m_fileView->GetSaveFolder();
    QString path = Text(folder.empty() ? name : AddBackslash(folder) + name);
    int format = m_fileView->GetSaveFormat();
    int quality = m_fileView->GetJpegQuality();
    if (RunSaveImageFileDialog(path, format, quality, this))
        m_fileView->SaveImage(format, quality, path.toStdString());
}

void CMainFrame::OnPrint()
{
    if (!m_project->IsImageReady() || DisplayMode() != kCompareAfter)
        return;
    m_project->BeginBatch();
    m_project->PrintImage();
    m_project->EndBatch();
}

void CMainFrame::OnIndexPrint()
{
    if (!IsProjectReady() || !m_project->HasCheckedOtherThanType4())
        return;
    if (m_project->HasCheckedType4() &&
        ShowMessage(kStrIndexPrintConverting, {}, MessageButtons::YesNo,
                    MessageIcon::Question) != kMessageYes)
        return;
    m_project->BeginBatch();
    m_project->PrintIndex();
    m_project->EndBatch();
    m_fileView->RefreshList();
}

void CMainFrame::OnPreferences()
{
    const CColorProfile* output = m_project->GetOutputProfile();
    const bool ownPathUsable = output != nullptr && output->HasMatrixTRC();
    std::unique_ptr<CDisplayMonitorList> monitors;
    if (m_monitor)
        monitors = std::make_unique<CDisplayMonitorList>(*m_monitor);
    if (RunPreferencesDialog(this, ownPathUsable, monitors.get(),
                             [this] { RefreshMonitorProfile(); }) != 0)
        ClearReloadImageCache();
}
