#include "app/shell/ProgressAdapters.h"

#include "controls/support/EventPump.h"
#include "core/PathUtils.h"
#include "correction/ProjectManage.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace {

// Reads and clears the dialog's cancel request.
bool TakeCancel(CProgDlg& dialog)
{
    const bool cancelled = dialog.Cancelled;
    dialog.Cancelled = false;
    return cancelled;
}

void OpenDialog(CProgDlg& dialog)
{
    dialog.SetRange(0, 100);
    dialog.SetStep(1);
    dialog.Create();
}

// The bar and its percent text.
void MoveBar(CProgDlg& dialog, int position)
{
    dialog.SetPos(position);
}

// A report's value as a whole position on the 0..100 bar.
int Position(double value)
{
    if (!std::isfinite(value))
        return 0;
    return static_cast<int>(std::clamp(value, -1.0e6, 1.0e6));
}

// done / total with an empty total counted as one, so that no report
// divides by zero.
double Share(std::int64_t done, std::int64_t total)
{
    return static_cast<double>(done) / static_cast<double>(total > 0 ? total : 1);
}

} // namespace

void PumpMessages()
{
    PumpEvents();
}

void SetProgressPercentText(int position, CProgDlg& dialog)
{
    dialog.SetProgressPercentText(position);
}

// ---- One dialog: list load, image load and save

CSingleProgressSink::~CSingleProgressSink() = default;

bool CSingleProgressSink::Report(double value)
{
    if (!m_dialog)
    {
        m_dialog = std::make_unique<CProgDlg>(m_captionId, m_owner);
        OpenDialog(*m_dialog);
    }
    if (value >= 100.0)
    {
        m_dialog.reset();
        return true;
    }
    PumpMessages();
    MoveBar(*m_dialog, Position(m_unit == ProgressUnit::Fraction ? value * 100.0 : value));
    PumpMessages();
    return !TakeCancel(*m_dialog);
}

CSetupCallbackForFileListLoad::CSetupCallbackForFileListLoad(CProjectManage* project,
                                                             QWidget* mainWindow)
    : m_project(project), m_sink(kStrListLoadCaption, ProgressUnit::Percent, mainWindow)
{
    if (m_project)
        m_project->m_listLoadSlot = Progress(m_sink);
}

CSetupCallbackForFileListLoad::~CSetupCallbackForFileListLoad()
{
    if (m_project)
        m_project->m_listLoadSlot = Progress();
}

CSetupCallbackForFileLoad::CSetupCallbackForFileLoad(CProjectManage* project,
                                                     QWidget* mainWindow)
    : m_project(project), m_sink(kStrFileLoadCaption, ProgressUnit::Fraction, mainWindow)
{
    if (m_project)
        m_project->m_imageLoadSlot = Progress(m_sink);
}

CSetupCallbackForFileLoad::~CSetupCallbackForFileLoad()
{
    if (m_project)
        m_project->m_imageLoadSlot = Progress();
}

CSetupCallbackForFileSave::CSetupCallbackForFileSave(CProjectManage* project,
                                                     QWidget* mainWindow)
    : m_project(project), m_sink(kStrFileSaveCaption, ProgressUnit::Fraction, mainWindow)
{
    if (m_project)
        m_project->m_imageSaveSlot = Progress(m_sink);
}

CSetupCallbackForFileSave::~CSetupCallbackForFileSave()
{
    if (m_project)
        m_project->m_imageSaveSlot = Progress();
}

// ---- Re-processing

class CSetupCallbackForViewChange::StepSink final : public IProgressSink
{
public:
    StepSink(CSetupCallbackForViewChange& owner, int stage) : m_owner(owner), m_stage(stage) {}
    bool Report(double percent) override { return m_owner.ReportStep(m_stage, percent); }

private:
    CSetupCallbackForViewChange& m_owner;
    int m_stage;
};

class CSetupCallbackForViewChange::StoreSink final : public IProgressSink
{
public:
    explicit StoreSink(CSetupCallbackForViewChange& owner) : m_owner(owner) {}
    bool Report(double fraction) override
    {
        return m_owner.ReportStore(static_cast<std::int64_t>(std::lround(fraction * 1000.0)),
                                   1000);
    }
    bool Report(std::int64_t done, std::int64_t total) override
    {
        return m_owner.ReportStore(done, total);
    }

private:
    CSetupCallbackForViewChange& m_owner;
};

class CSetupCallbackForViewChange::RestoreSink final : public IProgressSink
{
public:
    explicit RestoreSink(CSetupCallbackForViewChange& owner) : m_owner(owner) {}
    bool Report(double fraction) override
    {
        return m_owner.ReportRestore(static_cast<std::int64_t>(std::lround(fraction * 1000.0)),
                                     1000);
    }
    bool Report(std::int64_t done, std::int64_t total) override
    {
        return m_owner.ReportRestore(done, total);
    }

private:
    CSetupCallbackForViewChange& m_owner;
};

CSetupCallbackForViewChange::CSetupCallbackForViewChange(CProjectManage* project,
                                                         QWidget* mainWindow, int step,
                                                         bool force)
    : m_project(project), m_mainWindow(mainWindow)
{
    if (!m_project)
        return;
    m_project->GetStepsToProcess(force, step, m_flags);
    for (std::size_t i = 0; i < m_stepSinks.size(); ++i)
    {
        m_stepSinks[i] = std::make_unique<StepSink>(*this, static_cast<int>(i) + 1);
        m_project->m_stepSlots[i] = Progress(*m_stepSinks[i]);
    }
    m_restoreSink = std::make_unique<RestoreSink>(*this);
    m_project->m_snapshotRestoreSlot = Progress(*m_restoreSink);
    m_storeSink = std::make_unique<StoreSink>(*this);
    m_project->m_snapshotStoreSlot = Progress(*m_storeSink);
}

CSetupCallbackForViewChange::~CSetupCallbackForViewChange()
{
    if (!m_project)
        return;
    for (Progress& slot : m_project->m_stepSlots)
        slot = Progress();
    m_project->m_snapshotRestoreSlot = Progress();
    m_project->m_snapshotStoreSlot = Progress();
}

bool CSetupCallbackForViewChange::ReportStep(int stage, double percent)
{
    if (!m_dialog)
    {
        m_dialog = std::make_unique<CViewChangeProgDlg>(m_mainWindow);
        m_dialog->SetStepFlags(m_flags);
        OpenDialog(*m_dialog);
    }
    if (stage != m_dialog->GetStage())
        m_dialog->SetStage(stage);
    // The steps fill the first half of the bar.
    const int position = Position(percent * 0.5);
    PumpMessages();
    MoveBar(*m_dialog, position);
    return true;
}

bool CSetupCallbackForViewChange::ReportStore(std::int64_t done, std::int64_t total)
{
    if (!m_dialog)
        return false;
    PumpMessages();
    // Storing the snapshots fills the second half.
    MoveBar(*m_dialog, Position((Share(done, total) * 0.5 + 0.5) * 100.0));
    return true;
}

bool CSetupCallbackForViewChange::ReportRestore(std::int64_t done, std::int64_t total)
{
    const double value = Share(done, total) * 100.0;
    if (!m_restoreDialog)
    {
        // A child of the main window like every progress dialog, so the
        // window takes no input while the events are pumped.
        m_restoreDialog = std::make_unique<CProgDlg>(kStrProcessingCaption, m_mainWindow);
        m_restoreDialog->HideCancelButton();
        OpenDialog(*m_restoreDialog);
    }
    if (value >= 100.0)
    {
        m_restoreDialog.reset();
        return true;
    }
    PumpMessages();
    MoveBar(*m_restoreDialog, Position(value));
    return true;
}

// ---- Batch

class CSetupCallbackForBatch::StageSink final : public IProgressSink
{
public:
    StageSink(CSetupCallbackForBatch& owner, int stage) : m_owner(owner), m_stage(stage) {}
    bool Report(double value) override
    {
        // The steps report percent, loading and saving fractions.
        const bool fraction =
            m_stage == CBatchProgDlg::kStageLoad || m_stage == CBatchProgDlg::kStageSave;
        return m_owner.ReportStage(m_stage, fraction ? value * 100.0 : value);
    }

private:
    CSetupCallbackForBatch& m_owner;
    int m_stage;
};

CSetupCallbackForBatch::CSetupCallbackForBatch(CProjectManage* project, QWidget* mainWindow,
                                               const QRect& centreOn)
    : m_project(project), m_mainWindow(mainWindow), m_centreOn(centreOn)
{
    if (!m_project)
        return;
    for (std::size_t i = 0; i < m_stageSinks.size(); ++i)
        m_stageSinks[i] = std::make_unique<StageSink>(*this, static_cast<int>(i) + 1);

    m_project->GetBatchStepFlags(m_flags);
    m_project->m_batchEntrySlot = BatchEntrySlot{&CSetupCallbackForBatch::NextFile, this};
    m_project->m_imageLoadSlot = Progress(*m_stageSinks[CBatchProgDlg::kStageLoad - 1]);
    m_project->m_batchStepsSlot = BatchStepsSlot{&CSetupCallbackForBatch::EnabledSteps, this};
    for (std::size_t i = 0; i < m_project->m_stepSlots.size(); ++i)
        m_project->m_stepSlots[i] = Progress(*m_stageSinks[i]);
    m_project->m_imageSaveSlot = Progress(*m_stageSinks[CBatchProgDlg::kStageSave - 1]);
}

CSetupCallbackForBatch::~CSetupCallbackForBatch()
{
    if (!m_project)
        return;
    m_project->m_batchEntrySlot = BatchEntrySlot{};
    m_project->m_imageLoadSlot = Progress();
    m_project->m_batchStepsSlot = BatchStepsSlot{};
    for (Progress& slot : m_project->m_stepSlots)
        slot = Progress();
    m_project->m_imageSaveSlot = Progress();
}

int CSetupCallbackForBatch::NextFile(int index, int total, CImageFileInfo* entry,
                                     int previousSaveFailed, void* user)
{
    auto& self = *static_cast<CSetupCallbackForBatch*>(user);
    if (!self.m_dialog)
    {
        self.m_dialog = std::make_unique<CBatchProgDlg>(self.m_mainWindow);
        CBatchProgDlg& dialog = *self.m_dialog;
        dialog.SetStepFlags(self.m_flags);
        dialog.adjustSize();
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QRect desktop = screen != nullptr ? screen->geometry() : QRect();
        dialog.move(CenteredOnDesktop(self.m_centreOn, dialog.size(), desktop));
        OpenDialog(dialog);
    }
    const QString name =
        entry != nullptr ? QString::fromStdString(GetFileNameFromPath(entry->m_path)) : QString();
    self.m_dialog->ShowFile(index, total, name, previousSaveFailed == 1);
    PumpMessages();
    return TakeCancel(*self.m_dialog) ? 0 : 1;
}

void CSetupCallbackForBatch::EnabledSteps(const std::array<int, 7>& flags, void* user)
{
    auto& self = *static_cast<CSetupCallbackForBatch*>(user);
    if (self.m_dialog)
        self.m_dialog->SetStepFlags(flags);
}

bool CSetupCallbackForBatch::ReportStage(int stage, double percent)
{
    PumpMessages();
    if (!m_dialog)
        return true; // the project always reports the next file first
    MoveBar(*m_dialog, Position(percent));
    m_dialog->SetStage(stage);
    PumpMessages();
    return !TakeCancel(*m_dialog);
}
