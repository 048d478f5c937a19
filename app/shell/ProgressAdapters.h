#pragma once
// The progress of the project's long operations, shown while they run on
// the user-interface thread. Each adapter puts its sinks into the
// project's callback slots for the life of one operation:
//
//     CSetupCallbackForFileLoad progress(&project, mainWindow);
//     project.LoadImage(entry, false);
//     // progress ends here: slots emptied, dialog closed
//
// A dialog opens on the first report only (an operation that reports
// nothing shows none), as a child of the main window, which takes no input
// while the dialog exists. Every report lets the event loop run, so the
// dialog repaints and its Cancel button works; Cancel only raises a flag
// that the next report reads, clears and answers with false. The slots'
// units are the project's (correction/ProjectManage.h). A null project
// makes an adapter do nothing. When two adapters of a kind overlap, the
// later one's sinks are in the slots, and whichever ends first empties them.

#include "app/shell/ProgressDialogs.h"
#include "core/Progress.h"

#include <QRect>

#include <array>
#include <memory>

class CImageFileInfo;
class CProgDlg;
class CProjectManage;
class QWidget;

// Lets every pending event of the user-interface thread be handled
// (through PumpEvents of controls/support/EventPump.h, so that the image view knows
// it is called from inside an operation that pumps and keeps its hands off
// the project).
void PumpMessages();

// The percent text of a progress dialog for position (one formula for
// every dialog: ProgressPercent of controls/dialogs/ProgDlg.h).
void SetProgressPercentText(int position, CProgDlg& dialog);

// The sink of the list-file load (percent 0..100) and of the image load
// or save (fraction 0..1): one progress dialog that opens on the first
// report and closes as soon as a report of 100 or more arrives (as
// reported: a fraction never reaches it, so the load and save dialogs stay
// until their adapter ends).
class CSingleProgressSink final : public IProgressSink
{
public:
    CSingleProgressSink(int captionId, ProgressUnit unit, QWidget* owner)
        : m_captionId(captionId), m_unit(unit), m_owner(owner)
    {
    }
    ~CSingleProgressSink() override;
    CSingleProgressSink(const CSingleProgressSink&) = delete;
    CSingleProgressSink& operator=(const CSingleProgressSink&) = delete;

    bool Report(double value) override;
    CProgDlg* Dialog() const { return m_dialog.get(); }

private:
    int m_captionId;
    ProgressUnit m_unit;
    QWidget* m_owner;
    std::unique_ptr<CProgDlg> m_dialog;
};

class CSetupCallbackForFileListLoad
{
public:
    CSetupCallbackForFileListLoad(CProjectManage* project, QWidget* mainWindow);
    virtual ~CSetupCallbackForFileListLoad();
    CSetupCallbackForFileListLoad(const CSetupCallbackForFileListLoad&) = delete;
    CSetupCallbackForFileListLoad& operator=(const CSetupCallbackForFileListLoad&) = delete;

    CProgDlg* Dialog() const { return m_sink.Dialog(); }

private:
    CProjectManage* m_project;
    CSingleProgressSink m_sink;
};

class CSetupCallbackForFileLoad
{
public:
    CSetupCallbackForFileLoad(CProjectManage* project, QWidget* mainWindow);
    virtual ~CSetupCallbackForFileLoad();
    CSetupCallbackForFileLoad(const CSetupCallbackForFileLoad&) = delete;
    CSetupCallbackForFileLoad& operator=(const CSetupCallbackForFileLoad&) = delete;

    CProgDlg* Dialog() const { return m_sink.Dialog(); }

private:
    CProjectManage* m_project;
    CSingleProgressSink m_sink;
};

class CSetupCallbackForFileSave
{
public:
    CSetupCallbackForFileSave(CProjectManage* project, QWidget* mainWindow);
    virtual ~CSetupCallbackForFileSave();
    CSetupCallbackForFileSave(const CSetupCallbackForFileSave&) = delete;
    CSetupCallbackForFileSave& operator=(const CSetupCallbackForFileSave&) = delete;

    CProgDlg* Dialog() const { return m_sink.Dialog(); }

private:
    CProjectManage* m_project;
    CSingleProgressSink m_sink;
};

// Re-processing up to a step: the seven step slots (percent) fill the
// first half of the bar, storing the snapshots the second half; reading a
// snapshot back has its own dialog. Neither dialog can be cancelled.
class CSetupCallbackForViewChange
{
public:
    CSetupCallbackForViewChange(CProjectManage* project, QWidget* mainWindow, int step,
                                bool force);
    virtual ~CSetupCallbackForViewChange();
    CSetupCallbackForViewChange(const CSetupCallbackForViewChange&) = delete;
    CSetupCallbackForViewChange& operator=(const CSetupCallbackForViewChange&) = delete;

    CViewChangeProgDlg* Dialog() const { return m_dialog.get(); }
    CProgDlg* RestoreDialog() const { return m_restoreDialog.get(); }
    const std::array<int, 7>& StepFlags() const { return m_flags; }

private:
    class StepSink;
    class StoreSink;
    class RestoreSink;

    bool ReportStep(int stage, double percent);
    bool ReportStore(std::int64_t done, std::int64_t total);
    bool ReportRestore(std::int64_t done, std::int64_t total);

    CProjectManage* m_project;
    QWidget* m_mainWindow;
    std::unique_ptr<CProgDlg> m_restoreDialog;
    std::unique_ptr<CViewChangeProgDlg> m_dialog;
    std::array<int, 7> m_flags{};
    std::array<std::unique_ptr<IProgressSink>, 7> m_stepSinks;
    std::unique_ptr<IProgressSink> m_restoreSink;
    std::unique_ptr<IProgressSink> m_storeSink;
};

// The batch: the next-file report opens the dialog (the project reports
// the next file before any stage of it); stages 1..7 are the step slots
// (percent), 8 the image load and 9 the image save (fractions).
class CSetupCallbackForBatch
{
public:
    // centreOn: the main window's frame, on which the dialog is centred.
    CSetupCallbackForBatch(CProjectManage* project, QWidget* mainWindow, const QRect& centreOn);
    virtual ~CSetupCallbackForBatch();
    CSetupCallbackForBatch(const CSetupCallbackForBatch&) = delete;
    CSetupCallbackForBatch& operator=(const CSetupCallbackForBatch&) = delete;

    CBatchProgDlg* Dialog() const { return m_dialog.get(); }

private:
    class StageSink;

    static int NextFile(int index, int total, CImageFileInfo* entry, int previousSaveFailed,
                        void* user);
    static void EnabledSteps(const std::array<int, 7>& flags, void* user);
    bool ReportStage(int stage, double percent);

    CProjectManage* m_project;
    QWidget* m_mainWindow;
    std::unique_ptr<CBatchProgDlg> m_dialog;
    QRect m_centreOn;
    std::array<int, 7> m_flags{};
    std::array<std::unique_ptr<IProgressSink>, 9> m_stageSinks;
};
