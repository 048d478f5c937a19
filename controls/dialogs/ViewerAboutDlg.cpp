#include "controls/dialogs/ViewerAboutDlg.h"

#include "controls/dialogs/SysInfoDlg.h"
#include "controls/support/StringTable.h"
#include "controls/widgets/LinkText.h"
#include "core/PathUtils.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#ifndef QB_PROGRAM_VERSION
#error "QB_PROGRAM_VERSION comes from the project version in CMakeLists.txt"
#endif

namespace {

// The system information dialog, run modally over the About box.
void RunSystemInformation(QWidget* parent)
{
    CSysInfoDlg dialog(parent);
    dialog.exec();
}

std::function<void(QWidget*)>& SystemInfoOpener()
{
    static std::function<void(QWidget*)> opener = &RunSystemInformation;
    return opener;
}

CLinkText* MakeLink(const char* id, const char* address, QWidget* parent)
{
    auto* link = new CLinkText(parent);
    link->setObjectName(QString::fromLatin1(id));
    link->setText(QString::fromLatin1(address));
    return link;
}

} // namespace

QString ProgramNameAndVersion()
{
    return QStringLiteral("%1 Version %2")
        .arg(LoadString(kStrApplicationName), QStringLiteral(QB_PROGRAM_VERSION));
}

void CViewerAboutDlg::SetSystemInfoOpener(std::function<void(QWidget*)> opener)
{
    SystemInfoOpener() = opener ? std::move(opener) : &RunSystemInformation;
}

CViewerAboutDlg::CViewerAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("バージョン情報"));

    auto* icon = new QLabel(this);
    const QIcon programIcon = QApplication::windowIcon();
    if (!programIcon.isNull())
        icon->setPixmap(programIcon.pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    auto* name = new QLabel(ProgramNameAndVersion(), this);
    QFont nameFont = name->font();
    nameFont.setBold(true);
    name->setFont(nameFont);
    auto* maker = new QLabel(QStringLiteral("Copyright (C) %1")
                                 .arg(QString::fromStdString(GetMakerName())),
                             this);

    auto* contact = new QGroupBox(QStringLiteral("お問い合わせ先"), this);
    m_supportLink = MakeLink("1316", kSupportHomePage, contact);
    m_displayLink = MakeLink("1317", kDisplayHomePage, contact);
    auto* contactLayout = new QVBoxLayout(contact);
    contactLayout->addWidget(m_supportLink);
    contactLayout->addWidget(m_displayLink);

    auto* systemInfo = new QPushButton(QStringLiteral("システム情報..."), this);
    systemInfo->setObjectName(QStringLiteral("1315"));
    connect(systemInfo, &QPushButton::clicked, this, [this] { SystemInfoOpener()(this); });
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CViewerAboutDlg::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(maker);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(systemInfo);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(contact);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
