#pragma once
// The slide interval in whole seconds, 1..60.

#include "controls/DialogCodes.h"

#include <QDialog>

class QSpinBox;

class CSlideShowSettingDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CSlideShowSettingDlg(QWidget* parent = nullptr);

    // Set before exec(), read after OK.
    int m_nSeconds = 5;

    void writeControls();
    bool readControls();

public slots:
    int exec() override;
    void accept() override;
    // Cancel, Esc and the close box end with kDialogCancel.
    void reject() override;

private:
    QSpinBox* m_seconds = nullptr;
};
