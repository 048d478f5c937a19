#pragma once
// CMainFrame: the one top-level window of CHROMIVEL. It owns the project,
// a 1 x 2 splitter whose left pane is the image preview (CImageView) and
// whose right pane is the stack of nine panels (the file list at 0, the
// step panels 1..7, the batch at 8), the display's profile list and, after
// the deferred start-up, the DDC/CI monitor object. It wires panels,
// preview and project together, switches between the file list and the
// step panels, hands colour picks from the preview to the shown panel,
// opens what a second start or a drop gives it, follows changes of the
// monitor profile, and keeps its size in the settings ("MainFrame").
//
// Its commands are QActions on the frame, five of them with the design's
// shortcuts (Ctrl+O, Ctrl+S, Ctrl+P, Ctrl+Z, Ctrl+Shift+Z), offered in the
// menu bar and on two toolbars (app/shell/MainMenu.h): the File menu of the
// design's resources, which the frame keeps (a Linux desktop's user
// expects one), and the toolbars of the file commands and of the step
// commands with the batch. A command is carried out only while its enable
// rule (app/shell/MainFrameLogic.h) holds at that moment; the actions show the
// rules' answers, brought up to date when a menu opens, when the frame
// changes what the rules read (a step switch, a panel's notification,
// files added, a command carried out) and after each click or key in the
// window. Undo and redo reach the shown panel before a focused text field
// takes the keys for itself.

#include "app/shell/MainFrameLogic.h"
#include "app/shell/MySplitterWnd.h"
#include "monitor/EnumDisplay.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CChromivelApp;
class CDdcApiDisplay;
class CFrameShell;
class CFileView;
class CImageView;
class CProjectManage;
class IPrintDialogs;
class CViewCommon;
class IPointerState;
class QAction;
class QFileSystemWatcher;
class QKeyEvent;
class QToolBar;
class QTimer;
namespace platform {
class ColorManagerWatch;
}

// Messages of the frame besides the panels' (0x400 + index).
inline constexpr int UWM_DISPLAY_MODE = 0x40A;
inline constexpr int UWM_SETTING_CHANGED = 0x40F;

// Strings of the frame.
inline constexpr int kStrMainTitle = 130;         // "CHROMIVEL!2\n..." (the first line)
inline constexpr int kStrRegisterCaption = 2107;  // "ファイル登録 処理中"
inline constexpr int kStrIndexPrintConverting = 1021; // converting files are not printed; go on?

// The right pane's stack.
inline constexpr int kPanelCount = 9;
inline constexpr int kFileListPanel = 0;
inline constexpr int kDevelopPanel = 1;
inline constexpr int kGradationPanel = 4;
inline constexpr int kColorTonePanel = 5;
inline constexpr int kSpecifiedColorPanel = 6;
inline constexpr int kBatchPanel = 8;

// The "MainFrame" section.
inline constexpr const char* kMainFrameSection = "MainFrame";

// The files of the command line (or of a forwarded start).
struct CommandLineFiles
{
    std::vector<std::string> paths;
    bool listFile = false; // paths holds one list file
};

// What the frame is built with; the defaults are the program's own.
struct MainFrameOptions
{
    // Makers of the step panels at indices 1..8 (index 0, the file list,
    // is always the frame's own); an empty one gives the placeholder.
    std::array<CViewParam::Factory, kPanelCount> panels{};
    // The DRM folder the display's profile list looks at.
    std::string drmRoot;
    // Makes the DDC/CI monitor object at start-up (default: the
    // platform's transport).
    std::function<std::unique_ptr<CDdcApiDisplay>()> makeDisplay;
    // The application object: the command line's files come from it, the
    // frame takes its forwarded starts once started, and its shutdown runs
    // when the window goes. None in tests that need no application.
    CChromivelApp* application = nullptr;
    // The command line's files, read once by the deferred start-up (the
    // application's when not given).
    std::function<CommandLineFiles()> commandLine;
    // Runs when following the monitor profile switched the colour engine
    // to LittleCMS because the new profile cannot drive the program's own
    // path: a choice for this run, not the user's, which the settings must
    // not keep.
    std::function<void()> onUseOsCmmForced;
};

class CMainFrame : public QMainWindow
{
    Q_OBJECT
public:
    explicit CMainFrame(MainFrameOptions options = {}, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // ---- Operations of the frame
    // Shows panel `index` of the stack; commit: the panel left stores its
    // document in the project (OK), else drops it (Cancel).
    void SwitchStep(int index, bool commit);
    // The file-list panel's zoom choice to the preview.
    void ApplyZoom();
    // Window title and the file-list panel's information labels.
    void UpdateTitle();
    // Adds images to the list. One path (with loadOne) is loaded as well;
    // several are registered in file-name order with a progress window
    // that can be cancelled, a path already listed (or met earlier among
    // the new ones) not twice.
    void AddFiles(const std::vector<std::string>& paths, bool loadOne = true);
    // The monitor profile into the project's display conversion.
    void RefreshMonitorProfile();
    // Opens a command line's files: a list file, or images to add.
    void OpenCommandLine(const CommandLineFiles& files);
    // A second start's arguments (the program first), parsed as a command
    // line; the files that fail their probe are reported once.
    void OnForwardedStart(const std::vector<std::string>& arguments);
    CViewCommon* GetCurrentStepView() const;
    int GetCurrentStepIndex() const;
    void RecalcColumns(int width, int height);

    // ---- Commands
    bool IsCommandEnabled(FrameCommand command) const;
    // Carries the command out when it is enabled; false when it is not.
    bool ExecuteCommand(FrameCommand command);
    QAction* GetAction(FrameCommand command) const;
    CommandState GetCommandState() const;
    // Every action enabled as its command's rule answers now.
    void UpdateCommandStates();
    // Toolbar 128 (file commands) or 131 (step commands and batch).
    QToolBar* GetToolBar(int resource) const;

    // ---- Settings
    void LoadSettings(const std::string& iniPath);
    void SaveSettings(const std::string& iniPath);
    int GetWindowWidth() const { return m_windowWidth; }
    int GetWindowHeight() const { return m_windowHeight; }
    const std::string& GetDocumentPath() const { return m_docPath; }

    // ---- Parts
    CProjectManage& GetProject() { return *m_project; }
    // The services the project is given (pumping, progress, the desktop's opener).
    CFrameShell* GetShell() const { return m_shell.get(); }
    CFileView* GetFileView() const { return m_fileView; }
    CImageView* GetImageView() const { return m_imageView; }
    QWidget* GetPanel(int index) const;
    CMySplitterWnd* GetSplitter() const { return m_splitter; }
    CDisplayProfile& GetDisplayProfile() { return m_displayProfile; }
    CDdcApiDisplay* GetMonitor() const { return m_monitor.get(); }
    bool MonitorAnswered() const { return m_monitorAnswered != 0; }
    const QString& GetBaseTitle() const { return m_title; }
    // Whether the deferred start-up has run.
    bool IsStarted() const { return m_started; }
    // The mouse position the space-key rule looks at (the system's by default).
    void SetPointerState(const IPointerState* pointer) { m_pointer = pointer; }
    // The folder and file watched for changes of the display's profiles.
    QFileSystemWatcher* GetSettingWatcher() const { return m_settingWatcher; }

    // ---- The handlers (public for the tests; the frame calls them itself)
    void OnPostCreate();
    void OnSettingChange();
    void OnDisplayChangeRetry();
    void OnDisplayProfileFound();
    void OnImageViewMouse(int code);
    void OnRefreshImageView(int mode);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnCreateClient();
    void OnCreate();
    void OnDestroy();
    void CreateActions();
    void CreateMenus();
    void CreateToolBars();
    bool TakesEditShortcut(QObject* watched, const QKeyEvent& key);
    void onPanelNotify(int message, int code, qint64 value);
    void onImageViewNotify(int message, int code, qint64 value);
    void onDisplayProfileNotify(int message, int code, qint64 value);
    void onStoreChanged();
    void WatchStore();
    // The display profile of an X11 desktop is the one of the screen the
    // window is on.
    void NoteScreen();
    // The display the window is on becomes the one whose profile is shown
    // (CDisplayProfile::SelectDisplay with the DDC/CI monitor selected at
    // start-up), and its profiles are listed again.
    void FollowDisplay();
    // Lists the display's profiles; the first one found, or the fallback
    // when none is associated, reaches OnDisplayProfileFound.
    void ListDisplayProfiles();
    void DropFiles(const std::vector<std::string>& paths);
    void RedrawPreview();
    QString MonitorLabel() const;
    // Reports a switch of the colour engine from 0 to 1 made by following
    // the monitor profile (onUseOsCmmForced).
    void NoteEngineSwitch(int engineBefore);
    bool IsProjectReady() const;
    int DisplayMode() const;

    // Command handlers.
    void OnFileCommand(FrameCommand command);
    void OnStepCommand(FrameCommand command);
    void OnSaveImage();
    void OnPrint();
    void OnIndexPrint();
    void OnPreferences();

    MainFrameOptions m_options;
    std::unique_ptr<CProjectManage> m_project;
    std::unique_ptr<CFrameShell> m_shell;
    // The print dialogs the project opens (Ctrl+P).
    std::unique_ptr<IPrintDialogs> m_printDialogs;
    CMySplitterWnd* m_splitter = nullptr;
    std::array<QWidget*, kPanelCount> m_panelWidgets{};
    std::array<CViewCommon*, kPanelCount> m_panels{};
    CFileView* m_fileView = nullptr;
    CImageView* m_imageView = nullptr;
    std::string m_docPath;
    int m_windowWidth = kMinWindowWidth;
    int m_windowHeight = kMinWindowHeight;
    QString m_title;
    bool m_created = false;
    std::unique_ptr<CDdcApiDisplay> m_monitor;
    int m_monitorAnswered = 0;
    CDisplayProfile m_displayProfile;
    std::map<FrameCommand, QAction*> m_actions;
    QFileSystemWatcher* m_settingWatcher = nullptr;
    QTimer* m_settingTimer = nullptr;
    QTimer* m_retryTimer = nullptr;
    QTimer* m_commandTimer = nullptr; // brings the actions' states up to date
    // The actions' states follow whatever changed while the event loop ran
    // (a conversion or a load ending, files from a second start): they are
    // brought up to date each time the loop has nothing left to do.
    QMetaObject::Connection m_idleUpdate;
    std::string m_storeText; // the association store as last seen
    std::unique_ptr<platform::ColorManagerWatch> m_colorManager;
    const IPointerState* m_pointer = nullptr;
    bool m_started = false;
    bool m_destroyed = false;
};
