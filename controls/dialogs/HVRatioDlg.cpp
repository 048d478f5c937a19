#include "controls/dialogs/HVRatioDlg.h"

#include "controls/dialogs/DialogButtons.h"

#include "core/MessageSink.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

CHVRatioDlg::CHVRatioDlg(QWidget* parent) : CDataDialog(parent)
{
    setWindowTitle(QStringLiteral("縦横比カスタム設定"));
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("1293"));
    const auto makeEdit = [this](const char* id) {
        auto* edit = new QSpinBox(this);
        edit->setObjectName(QString::fromLatin1(id));
        edit->setRange(kRatioSideMin, kRatioSideMax);
        edit->setButtonSymbols(QAbstractSpinBox::NoButtons);
        edit->setMinimumWidth(80);
        return edit;
    };
    m_width = makeEdit("1294");
    m_height = makeEdit("1295");

    QDialogButtonBox* buttons = MakeOkCancelButtons(this);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("幅"), m_width);
    form->addRow(QStringLiteral("高さ"), m_height);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addLayout(form);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CHVRatioDlg::writeControls()
{
    m_title->setText(QStringLiteral("%1 の縦横比を変更します").arg(m_strName));
    m_width->setValue(m_nWidth);
    m_height->setValue(m_nHeight);
}

bool CHVRatioDlg::readControls()
{
    for (QSpinBox* edit : {m_width, m_height})
    {
        edit->interpretText();
        if (!edit->hasAcceptableInput())
        {
            edit->setFocus();
            edit->selectAll();
            return false;
        }
    }
    m_nWidth = m_width->value();
    m_nHeight = m_height->value();
    return true;
}

void CHVRatioDlg::accept()
{
    if (!readControls())
        return;
    if (!IsAspectRatioAllowed(m_nWidth, m_nHeight))
    {
        ShowMessage(kStrAspectRatioRange);
        return;
    }
    done(kDialogOk);
}
