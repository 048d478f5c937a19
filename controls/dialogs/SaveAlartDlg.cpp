#include "controls/dialogs/SaveAlartDlg.h"

#include "controls/support/StringTable.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

CSaveAlartDlg::CSaveAlartDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(LoadString(kStrApplicationName));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("1200"));
    const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(side, side));
    icon->setAlignment(Qt::AlignTop);
    auto* question = new QLabel(QStringLiteral("現在のリストを保存しますか？"), this);
    m_note = new QLabel(QStringLiteral("(変換中のファイルはリストに登録されません)"), this);
    m_note->setObjectName(QStringLiteral("1288"));

    auto* save = new QPushButton(QStringLiteral("保存"), this);
    save->setObjectName(QStringLiteral("6"));
    save->setDefault(true);
    auto* dontSave = new QPushButton(QStringLiteral("保存しない"), this);
    dontSave->setObjectName(QStringLiteral("7"));
    auto* cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    cancel->setObjectName(QStringLiteral("2"));
    connect(save, &QPushButton::clicked, this, [this] { done(kSave); });
    connect(dontSave, &QPushButton::clicked, this, [this] { done(kDontSave); });
    connect(cancel, &QPushButton::clicked, this, &CSaveAlartDlg::reject);

    auto* texts = new QVBoxLayout;
    texts->addWidget(question);
    texts->addWidget(m_note);
    texts->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(save);
    buttons->addWidget(dontSave);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CSaveAlartDlg::writeControls()
{
    m_note->setVisible(m_bShowConvertNote != 0);
}

int CSaveAlartDlg::exec()
{
    writeControls();
    QApplication::beep();
    return QDialog::exec();
}

void CSaveAlartDlg::reject()
{
    done(kCancel);
}
