#pragma once
// The slide interval in whole seconds, 1..60.

#include "controls/dialogs/DataDialog.h"

class QSpinBox;

class CSlideShowSettingDlg : public CDataDialog
{
    Q_OBJECT
public:
    explicit CSlideShowSettingDlg(QWidget* parent = nullptr);

    // Set before exec(), read after OK.
    int m_nSeconds = 5;

    void writeControls() override;
    bool readControls() override;

private:
    QSpinBox* m_seconds = nullptr;
};
