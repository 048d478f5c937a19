#pragma once
// The question whether to save the current list before it is closed or
// replaced: exec() returns 6 (save), 7 (don't save) or 2 (cancel, also the
// window's close box and Esc).

#include "controls/dialogs/DialogCodes.h"

#include <QDialog>

class QLabel;

class CSaveAlartDlg : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kSave = 6;
    static constexpr int kDontSave = 7;
    static constexpr int kCancel = kDialogCancel;

    explicit CSaveAlartDlg(QWidget* parent = nullptr);

    // Set before exec(): show the note that files still being converted
    // are not put in the list.
    int m_bShowConvertNote = 0;

    void writeControls();

public slots:
    // Shows the note as the flag says, sounds the warning and runs the
    // dialog.
    int exec() override;
    void reject() override;

private:
    QLabel* m_note = nullptr;
};
