#pragma once
// The application object: one per process. It prepares the process-wide
// services (settings, the monitor profile, the cube-root table), makes sure
// that only one CHROMIVEL runs per user (app/shell/SingleInstance.h: a second
// start hands its arguments to the running one and ends), reads the command
// line, has the main window made and, at the end, releases everything once.
// Everything after the main window exists is driven by the window.

#include "app/shell/SingleInstance.h"
#include "controls/support/QtMessageSink.h"
#include "controls/support/StringTable.h"

#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Process-wide constants of two panels' non-linear scales: 0.3^5, the
// offset of the development panel's colour-temperature curve, and 0.3^4,
// that of the filter panel's radius and amount trackbars.
inline constexpr double kDevelopmentTemperatureCurveBase = 0.3 * 0.3 * 0.3 * 0.3 * 0.3; // 0.00243
inline constexpr double kFilterTrackbarCurveBase = 0.3 * 0.3 * 0.3 * 0.3;               // 0.0081

// The manual, looked for in the program's folder.
inline constexpr char kManualFileName[] = "CHROMIVEL_Manual.pdf";

// String numbers of the start-up and the manual (the application's name,
// kStrApplicationName, is the string table's).
inline constexpr int kStrListFileExtension = 2007; // "cvl"
inline constexpr int kStrNoUsableMonitorProfile = 1012;
inline constexpr int kStrManualNotFound = 3053;
inline constexpr int kStrManualOpenFailed = 3055;

// The files a command line names. An argument is taken only when it is not
// a switch and no list file was taken yet:
// - a list file (extension "." + string 2007, any case) replaces every path
//   taken so far and ends the taking: later arguments are not looked at;
// - an image file the probe (CImageFileInfo::ReadInfo) accepts is added;
// - a folder adds the accepted files directly in it (not those of its
//   sub-folders, nor hidden files), sorted by name ignoring case;
// - anything else, and a path that does not exist, is dropped silently.
// Paths are stored absolute (QFileInfo::absoluteFilePath: against the
// working folder, "." and ".." removed, symbolic links kept as named: the
// path is only ever opened, never compared with a resolved one).
class CCommandLineInfoEx
{
public:
    void ParseParam(const std::string& param, bool flag, bool last);
    bool IsListFile() const { return m_listFile != 0; }
    const std::vector<std::string>& GetPaths() const { return m_paths; }

private:
    int m_listFile = 0;
    std::vector<std::string> m_paths;
};

// Arguments of a forwarded start, each through a fresh CCommandLineInfoEx
// the way the forwarded text is parsed: an argument that begins with "-" is
// a switch (first character removed, flag true); the first argument (the
// program) is skipped.
CCommandLineInfoEx ParseForwardedArguments(const std::vector<std::string>& arguments);

class CChromivelApp
{
public:
    using UrlOpener = std::function<bool(const QUrl& url)>;

    // The process's one object (made on first use, destroyed at exit).
    static CChromivelApp& Instance();
    // Tests make their own; the program uses Instance().
    CChromivelApp();
    ~CChromivelApp();
    CChromivelApp(const CChromivelApp&) = delete;
    CChromivelApp& operator=(const CChromivelApp&) = delete;

    // The start-up steps in order, with the QApplication made by main();
    // makeMainWindow builds and returns the main window (the frame); false
    // ends the process (the exit code is then ExitCode()).
    bool InitInstance(const QStringList& arguments, const std::function<QWidget*()>& makeMainWindow);
    // Shutdown, then the process's exit code.
    int ExitInstance();
    // Once only: settings written (unless the start-up failed), the monitor
    // profile freed, the reload caches cleared, the instance lock released
    // and the DDC/CI busy value set to 1.
    void Shutdown();
    void OnAppAbout(QWidget* parent);
    void OnHelp(QWidget* parent);
    const CCommandLineInfoEx& GetCommandLineInfo() const { return m_commandLine; }
    // Forwarded starts: requests that arrive before a handler is set, or
    // while a dialog of the running instance holds the user, are queued;
    // setting the handler (the frame does it at the end of its deferred
    // start-up) and the closing of the dialog deliver the queue in order,
    // later ones go at once.
    void SetForwardHandler(std::function<void(const std::vector<std::string>& arguments)> handler);
    // The main window switched the colour engine to LittleCMS while it
    // followed a new monitor profile that the program's own path cannot
    // drive: like the start-up's own switch, a choice of this run that the
    // settings do not keep.
    void NoteUseOsCmmForced() { m_useOsCmmForced = true; }
    std::size_t PendingForwardCount() const { return m_pendingForwards.size(); }

    // 0 after a normal run and after a second start handed its arguments
    // over; 1 when the start-up failed or the running instance could not
    // be reached.
    int ExitCode() const { return m_exitCode; }
    // 1 once Shutdown has run, or from the start of a second instance on.
    int IsFinished() const { return m_finished; }
    QWidget* MainWindow() const { return m_mainWindow; }

    // What OnHelp opens the manual with: the desktop's opener unless a test
    // puts its own in place (an empty function puts the desktop's back).
    void SetUrlOpener(UrlOpener opener) { m_urlOpener = std::move(opener); }
    // The folder OnHelp looks in: the program's folder unless set.
    void SetManualFolder(const std::string& folder) { m_manualFolder = folder; }
    std::string ManualPath() const;

    // A forwarded request as the instance's socket delivers it (public for
    // the tests of the queue; the socket is the only other caller).
    void OnForwardRequest(const std::vector<std::string>& arguments);

private:
    class ModalCloseWatch;

    bool LoadProcessSettings();
    void SaveProcessSettings();
    // Hands the queued forwarded starts to the handler in order; while a
    // dialog holds the user they wait, and go on when it has closed.
    void DeliverPendingForwards();
    void WaitForModalToClose(QWidget* modal);

    CCommandLineInfoEx m_commandLine;
    std::unique_ptr<CSingleInstance> m_instance; // null before start-up and after release
    int m_finished = 0;
    int m_exitCode = 0;
    bool m_started = false; // InitInstance reached its end with a main window
    // UseOsCmm as the settings hold it, and whether start-up switched the
    // engine because the monitor profile needed it: a runtime fallback is
    // not the user's choice and is not written back.
    int m_storedUseOsCmm = 1;
    bool m_useOsCmmForced = false;
    QPointer<QWidget> m_mainWindow;
    std::function<void(const std::vector<std::string>&)> m_forwardHandler;
    std::deque<std::vector<std::string>> m_pendingForwards;
    int m_deliveringForwards = 0;
    std::unique_ptr<ModalCloseWatch> m_modalWatch;
    QtMessageSink m_messageSink;
    bool m_messageSinkRegistered = false;
    UrlOpener m_urlOpener;
    std::string m_manualFolder;
};
