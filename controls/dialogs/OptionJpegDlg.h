#pragma once
// The JPEG quality option of the batch: a slider over the levels 0..4.

#include "controls/dialogs/DataDialog.h"

class QSlider;

class COptionJpegDlg : public CDataDialog
{
    Q_OBJECT
public:
    explicit COptionJpegDlg(QWidget* parent = nullptr);

    // Set before exec(), read after OK. A level outside 0..4 opens at 2.
    int m_nQuality = 0;

    void writeControls() override;
    bool readControls() override;

private:
    QSlider* m_slider = nullptr;
};
