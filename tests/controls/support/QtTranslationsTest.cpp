// Qt's own texts under the Japanese catalogue the program installs at
// start-up: the file dialog's labels and buttons, and the standard buttons
// of a box that the program does not name itself.

#include "controls/support/QtTranslations.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

#include <gtest/gtest.h>

namespace {

class QtTranslationsTest : public testing::Test
{
protected:
    ~QtTranslationsTest() override
    {
        if (m_translator != nullptr)
        {
            QCoreApplication::removeTranslator(m_translator);
            delete m_translator;
        }
        QApplication::setAttribute(Qt::AA_DontUseNativeDialogs, false);
    }

    QTranslator* m_translator = InstallQtTranslations();
};

QString LabelText(const QFileDialog& dialog, const char* name)
{
    const auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
    return label != nullptr ? label->text() : QStringLiteral("(none)");
}

TEST_F(QtTranslationsTest, FileDialogsAndBoxesSpeakJapanese)
{
    // The setup installs the catalogue (qt6-translations-l10n) with the
    // program's packages: without it every dialog of Qt's speaks English.
    ASSERT_NE(m_translator, nullptr) << "Qt's Japanese catalogue qtbase_ja.qm was not found";
    EXPECT_TRUE(QApplication::testAttribute(Qt::AA_DontUseNativeDialogs));

    QFileDialog open;
    open.setFileMode(QFileDialog::ExistingFiles);
    EXPECT_EQ(LabelText(open, "lookInLabel"), QStringLiteral("アドレス:"));
    EXPECT_EQ(LabelText(open, "fileNameLabel"), QStringLiteral("ファイル名(&N):"));
    EXPECT_EQ(LabelText(open, "fileTypeLabel"), QStringLiteral("ファイルの種類:"));
    auto* buttons = open.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Open)->text(), QStringLiteral("開く(&O)"));
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));

    QFileDialog save;
    save.setAcceptMode(QFileDialog::AcceptSave);
    buttons = save.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Save)->text(), QStringLiteral("保存(&S)"));

    QMessageBox box(QMessageBox::Question, QStringLiteral("CHROMIVEL!2"), QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("はい(&Y)"));
    EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("いいえ(&N)"));
}

} // namespace
