#include "monitor/InitMsgDlg.h"

#include "controls/support/ResourceImages.h"
#include "controls/support/StringTable.h"
#include "controls/widgets/LinkText.h"
#include "core/GlobalSettings.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Texts of the dialog, numbered after its template.
inline constexpr int kStrInitMsgCaption = 27800;
inline constexpr int kStrInitMsgStartViewer = 27801;
inline constexpr int kStrInitMsgStartWizard = 27802;
inline constexpr int kStrInitMsgDoNotShow = 27803;
inline constexpr int kStrInitMsgTunerNote = 27804;
inline constexpr int kStrInitMsgProgramLine = 27805;
inline constexpr int kStrInitMsgWizardPointer = 27806;
inline constexpr int kStrInitMsgViewerPointer = 27807;
inline constexpr int kStrInitMsgLink = 27808;

// The statics' font: the GUI font at 16 pixels.
constexpr int kTextPixelSize = 16;

QString Id(int id)
{
    return QString::number(id);
}

QLabel* MakeText(QWidget* parent, int id, int stringId, const QFont& font)
{
    auto* label = new QLabel(LoadString(stringId), parent);
    label->setObjectName(Id(id));
    label->setFont(font);
    return label;
}

} // namespace

CInitMsgDlg::CInitMsgDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(LoadString(kStrInitMsgCaption));
    QFont font = this->font();
    font.setPixelSize(kTextPixelSize);

    auto* startViewer = new QPushButton(LoadString(kStrInitMsgStartViewer), this);
    startViewer->setObjectName(Id(kIdcStartViewer));
    startViewer->setDefault(true);
    connect(startViewer, &QPushButton::clicked, this, [this] { done(kIdOk); });

    auto* startWizard = new QPushButton(LoadString(kStrInitMsgStartWizard), this);
    startWizard->setObjectName(Id(kIdcStartWizard));
    connect(startWizard, &QPushButton::clicked, this, [this] { done(kIdStartWizard); });

    m_doNotShow = new QCheckBox(LoadString(kStrInitMsgDoNotShow), this);
    m_doNotShow->setObjectName(Id(kIdcDoNotShow));

    m_link = new CLinkText(this);
    m_link->setObjectName(Id(kIdcLink));
    m_link->setText(LoadString(kStrInitMsgLink));
    m_link->Target = QString::fromLatin1(kMakerPage);

    auto* picture = new QLabel(this);
    const QImage bitmap = LoadBitmapResource(kBitmapIntroduction);
    picture->setPixmap(QPixmap::fromImage(bitmap));
    picture->setVisible(!bitmap.isNull());

    auto* icon = new QLabel(this);
    const QIcon appIcon = LoadIconResource(kIconApplication);
    if (!appIcon.isNull())
        icon->setPixmap(appIcon.pixmap(32, 32));
    icon->setVisible(!appIcon.isNull());

    auto* head = new QHBoxLayout;
    head->addWidget(icon, 0, Qt::AlignTop);
    head->addWidget(MakeText(this, kIdcProgramLine, kStrInitMsgProgramLine, font), 1);

    auto* choices = new QGridLayout;
    choices->addWidget(MakeText(this, kIdcWizardPointer, kStrInitMsgWizardPointer, font), 0, 0);
    choices->addWidget(startWizard, 0, 1);
    choices->addWidget(MakeText(this, kIdcViewerPointer, kStrInitMsgViewerPointer, font), 1, 0);
    choices->addWidget(startViewer, 1, 1);
    choices->setColumnStretch(0, 1);

    auto* foot = new QHBoxLayout;
    foot->addWidget(m_doNotShow);
    foot->addStretch(1);
    foot->addWidget(m_link);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(picture, 0, Qt::AlignHCenter);
    layout->addWidget(MakeText(this, kIdcTunerNote, kStrInitMsgTunerNote, font));
    layout->addLayout(choices);
    layout->addLayout(foot);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    writeControls();
}

void CInitMsgDlg::writeControls()
{
    m_doNotShow->setChecked(DoNotShowAgain);
}

bool CInitMsgDlg::readControls()
{
    DoNotShowAgain = m_doNotShow->isChecked();
    return true;
}

// Every way out stores the check box: the caller reads it whichever
// button ended the dialog, the close box included.
void CInitMsgDlg::done(int code)
{
    readControls();
    QDialog::done(code);
}

void CInitMsgDlg::reject()
{
    done(kIdCancel);
}

int ShowInitMsgDlg(QWidget* parent)
{
    if (GetSkipInitMsg() != 0)
        return 0;
    CInitMsgDlg dialog(parent);
    const int code = dialog.exec();
    SetSkipInitMsg(dialog.DoNotShowAgain ? 1 : 0);
    return code;
}
