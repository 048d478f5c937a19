#include "controls/dialogs/OptionJpegDlg.h"

#include "controls/dialogs/DialogButtons.h"

#include "controls/dialogs/SaveDialogsLogic.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

COptionJpegDlg::COptionJpegDlg(QWidget* parent) : CDataDialog(parent)
{
    setWindowTitle(QStringLiteral("オプション"));
    auto* caption = new QLabel(QStringLiteral("JPEG保存品質 :"), this);
    auto* low = new QLabel(QStringLiteral("低"), this);
    auto* high = new QLabel(QStringLiteral("高"), this);
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName(QStringLiteral("1130"));
    m_slider->setRange(kJpegQualityMin, kJpegQualityMax);
    m_slider->setPageStep(1);
    m_slider->setTickPosition(QSlider::TicksBelow);
    m_slider->setMinimumWidth(160);

    QDialogButtonBox* buttons = MakeOkCancelButtons(this);

    auto* sliderRow = new QHBoxLayout;
    sliderRow->addWidget(low);
    sliderRow->addWidget(m_slider, 1);
    sliderRow->addWidget(high);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addLayout(sliderRow);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void COptionJpegDlg::writeControls()
{
    m_slider->setValue(JpegQualityForSlider(m_nQuality));
}

bool COptionJpegDlg::readControls()
{
    m_nQuality = m_slider->value();
    return true;
}
