#pragma once
// CProgDlg: the modeless progress window of every long operation on the
// UI thread (registering files, loading a list, re-processing and saving
// images, printing). A bar, a percent text and a Cancel button that only
// raises a flag the operation polls.
//
// The operation stays on the UI thread and keeps the window alive by
// letting the event loop run between its steps (CProgDlgSink does that for
// operations that report through core/Progress.h). While the window exists
// its owner's window takes no input: Create shows it window-modal to the
// owner's top-level window, which stands in for disabling the owner, so
// that the owner's other dialogs stay usable. The window never closes
// itself: Enter does nothing, Esc, the close box and Cancel only set
// Cancelled. Its owner ends it by destroying it, which ends the modality
// (an owner disabled before stays disabled: the dialog never touches it).

#include "core/Progress.h"

#include <QDialog>

#include <cstdint>

class QLabel;
class QProgressBar;
class QPushButton;

// The number the percent text shows for position in [low, high]:
// (position - low) * 100 / (high - low) in integer division; 100 stays
// 100 and any other value is taken modulo 100. A zero range shows 0.
int ProgressPercent(std::int64_t position, std::int64_t low, std::int64_t high);

// The position after one step of a bar: past either end of [low, high] it
// starts over from low, as a stepping bar does.
int ProgressStep(int position, int step, int low, int high);

class CProgDlg : public QDialog
{
    Q_OBJECT
public:
    // titleId: string-table number of the caption; 0 keeps the caption
    // empty. parent: the window whose top-level window the dialog blocks
    // while it exists; none blocks nothing.
    explicit CProgDlg(int titleId, QWidget* parent = nullptr);

    int TitleId;
    int RangeMin = 0;
    int RangeMax = 100;
    int StepSize = 10;
    bool Cancelled = false;
    // The owner's window was enabled when the dialog was created, so the
    // dialog is what blocks it now.
    bool ParentDisabled = false;

    // Sets the bar to the range, step and RangeMin, the caption from
    // TitleId, and shows the dialog modeless and window-modal over the
    // owner's top-level window. True when the dialog is shown.
    bool Create();

    // The bar's range and step, kept in RangeMin, RangeMax and StepSize.
    void SetRange(int low, int high);
    void SetStep(int step);
    // Moves the bar and rewrites the percent text.
    void SetPos(int position);
    void StepIt();
    int GetPos() const;

    // The percent text for position within RangeMin..RangeMax ("50 %");
    // the label is rewritten only when the text changes.
    void SetProgressPercentText(int position);

    // Hides the Cancel button (the operations that cannot be cancelled).
    void HideCancelButton();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

public slots:
    void reject() override;
    void accept() override;

private:
    QProgressBar* m_bar;
    QLabel* m_percent;
    QPushButton* m_cancel;
};

// What one report's value is measured in.
enum class ProgressUnit
{
    Fraction, // 0..1
    Percent   // 0..100
};

// Shows the reports of an operation on a progress dialog: a value (in the
// given unit) or a count moves the bar to the same share of its range and
// rewrites the percent text; then the event loop runs, so the window
// repaints and its Cancel button can be pressed. Once Cancelled is set
// every answer is false.
class CProgDlgSink final : public IProgressSink
{
public:
    CProgDlgSink(CProgDlg& dialog, ProgressUnit unit) : m_dialog(dialog), m_unit(unit) {}

    bool Report(double value) override;
    bool Report(std::int64_t done, std::int64_t total) override;

private:
    bool Show(double fraction);

    CProgDlg& m_dialog;
    ProgressUnit m_unit;
};
