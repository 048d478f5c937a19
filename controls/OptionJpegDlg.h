#pragma once
// The JPEG quality option of the batch: a slider over the levels 0..4.

#include "controls/DialogCodes.h"

#include <QDialog>

class QSlider;

class COptionJpegDlg : public QDialog
{
    Q_OBJECT
public:
    explicit COptionJpegDlg(QWidget* parent = nullptr);

    // Set before exec(), read after OK. A level outside 0..4 opens at 2.
    int m_nQuality = 0;

    void writeControls();
    bool readControls();

public slots:
    // Shows the level (writeControls) and runs the dialog: 1 OK, 2 Cancel.
    int exec() override;
    void accept() override;
    // Cancel, Esc and the close box end with kDialogCancel.
    void reject() override;

private:
    QSlider* m_slider = nullptr;
};
