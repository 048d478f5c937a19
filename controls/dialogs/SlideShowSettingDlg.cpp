#include "controls/dialogs/SlideShowSettingDlg.h"

#include "controls/dialogs/DialogButtons.h"

#include "controls/widgets/ImageScreenLogic.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

constexpr int kSecondsMin = kSlideInterval.minValue / 1000;
constexpr int kSecondsMax = kSlideInterval.maxValue / 1000;

} // namespace

CSlideShowSettingDlg::CSlideShowSettingDlg(QWidget* parent) : CDataDialog(parent)
{
    setWindowTitle(QStringLiteral("スライドショーの設定"));
    auto* group = new QGroupBox(QStringLiteral("間隔（秒）"), this);
    // The edit and its up-down control are one spin box.
    m_seconds = new QSpinBox(group);
    m_seconds->setObjectName(QStringLiteral("1321"));
    m_seconds->setRange(kSecondsMin, kSecondsMax);
    auto* hint = new QLabel(QStringLiteral("[ %1 - %2 ]").arg(kSecondsMin).arg(kSecondsMax), group);
    auto* groupLayout = new QHBoxLayout(group);
    groupLayout->addWidget(m_seconds);
    groupLayout->addWidget(hint);
    groupLayout->addStretch(1);

    QDialogButtonBox* buttons = MakeOkCancelButtons(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CSlideShowSettingDlg::writeControls()
{
    m_seconds->setValue(m_nSeconds);
}

bool CSlideShowSettingDlg::readControls()
{
    m_seconds->interpretText();
    if (!m_seconds->hasAcceptableInput())
    {
        m_seconds->setFocus();
        m_seconds->selectAll();
        return false;
    }
    m_nSeconds = m_seconds->value();
    return true;
}
