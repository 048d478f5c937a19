#include "agent/ProfileSettingsDlg.h"

#include <QButtonGroup>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <optional>

namespace {

QLineEdit* MakeHiddenNumberEdit(const char* id, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(id));
    edit->setValidator(new QIntValidator(edit));
    edit->setVisible(false);
    return edit;
}

QLabel* MakeHiddenLabel(const char* id, const char* text, QWidget* parent)
{
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(QString::fromLatin1(id));
    label->setVisible(false);
    return label;
}

std::optional<int> EditNumber(const QLineEdit* edit)
{
    bool ok = false;
    const int value = edit->text().trimmed().toInt(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

} // namespace

ProfileSettingsDlg::ProfileSettingsDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("140"));
    setWindowTitle(QString::fromUtf8("プロファイル形式選択"));

    auto* formatBox = new QGroupBox(QString::fromUtf8("カラープロファイル形式"), this);
    m_iccButton = new QRadioButton(QString::fromUtf8("ICC 形式"), formatBox);
    m_iccButton->setObjectName(QStringLiteral("1000"));
    m_deviceModelButton = new QRadioButton(QString::fromUtf8("CDMP 形式"), formatBox);
    m_deviceModelButton->setObjectName(QStringLiteral("1001"));
    m_formatGroup = new QButtonGroup(this);
    m_formatGroup->addButton(m_iccButton, kFormatIcc);
    m_formatGroup->addButton(m_deviceModelButton, kFormatDeviceModel);
    auto* formatLayout = new QVBoxLayout(formatBox);
    formatLayout->addWidget(m_iccButton);
    formatLayout->addWidget(m_deviceModelButton);

    // The luminances of a device-model profile: kept in the dialog so that
    // OK hands them back, but not offered to the user.
    m_luminanceBox = new QGroupBox(QStringLiteral("Luminunce"), this);
    m_whiteEdit = MakeHiddenNumberEdit("1002", m_luminanceBox);
    m_redEdit = MakeHiddenNumberEdit("1003", m_luminanceBox);
    m_greenEdit = MakeHiddenNumberEdit("1004", m_luminanceBox);
    m_blueEdit = MakeHiddenNumberEdit("1005", m_luminanceBox);
    auto* luminanceLayout = new QFormLayout(m_luminanceBox);
    luminanceLayout->addRow(MakeHiddenLabel("1010", "White Point Luminunce", m_luminanceBox),
                            m_whiteEdit);
    luminanceLayout->addRow(MakeHiddenLabel("1007", "Red Primary Luminunce", m_luminanceBox),
                            m_redEdit);
    luminanceLayout->addRow(MakeHiddenLabel("1008", "Green Primary Luminunce", m_luminanceBox),
                            m_greenEdit);
    luminanceLayout->addRow(MakeHiddenLabel("1009", "Blue Primary Luminunce", m_luminanceBox),
                            m_blueEdit);
    m_luminanceBox->setVisible(false);

    auto* okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("1"));
    okButton->setDefault(true);
    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("2"));
    connect(okButton, &QPushButton::clicked, this, &ProfileSettingsDlg::accept);
    connect(cancelButton, &QPushButton::clicked, this, &ProfileSettingsDlg::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(formatBox);
    layout->addWidget(m_luminanceBox);
    layout->addLayout(buttons);
}

void ProfileSettingsDlg::SetLuminances(int white, int red, int green, int blue)
{
    m_white = white;
    m_red = red;
    m_green = green;
    m_blue = blue;
}

int ProfileSettingsDlg::exec()
{
    writeControls();
    return QDialog::exec();
}

void ProfileSettingsDlg::writeControls()
{
    // An exclusive group cannot uncheck its last checked button; a format
    // that is neither kind leaves both buttons clear.
    m_formatGroup->setExclusive(false);
    m_iccButton->setChecked(m_format == kFormatIcc);
    m_deviceModelButton->setChecked(m_format == kFormatDeviceModel);
    m_formatGroup->setExclusive(true);

    m_whiteEdit->setText(QString::number(m_white));
    m_redEdit->setText(QString::number(m_red));
    m_greenEdit->setText(QString::number(m_green));
    m_blueEdit->setText(QString::number(m_blue));
}

bool ProfileSettingsDlg::readControls()
{
    const std::optional<int> white = EditNumber(m_whiteEdit);
    const std::optional<int> red = EditNumber(m_redEdit);
    const std::optional<int> green = EditNumber(m_greenEdit);
    const std::optional<int> blue = EditNumber(m_blueEdit);
    if (!white || !red || !green || !blue)
        return false;

    if (m_iccButton->isChecked())
        m_format = kFormatIcc;
    else if (m_deviceModelButton->isChecked())
        m_format = kFormatDeviceModel;
    SetLuminances(*white, *red, *green, *blue);
    return true;
}

void ProfileSettingsDlg::accept()
{
    if (!readControls())
        return;
    done(kIdOk);
}

void ProfileSettingsDlg::reject()
{
    done(kIdCancel);
}
