#include "controls/ViewerAboutDlg.h"

#include "controls/StringTable.h"
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

std::function<void(QWidget*)>& SystemInfoOpener()
{
    static std::function<void(QWidget*)> opener;
    return opener;
}

QLabel* MakeLink(const char* id, const char* address, QWidget* parent)
{
    const QString target = QString::fromLatin1(address);
    auto* link = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(target.toHtmlEscaped()),
                            parent);
    link->setObjectName(QString::fromLatin1(id));
    link->setTextFormat(Qt::RichText);
    link->setTextInteractionFlags(Qt::TextBrowserInteraction);
    link->setOpenExternalLinks(true);
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
    SystemInfoOpener() = std::move(opener);
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
    systemInfo->setVisible(static_cast<bool>(SystemInfoOpener()));
    connect(systemInfo, &QPushButton::clicked, this, [this] {
        if (SystemInfoOpener())
            SystemInfoOpener()(this);
    });
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
