// The introduction dialog driven through exec() by objectName.

#include "monitor/InitMsgDlg.h"

#include "controls/support/StringTable.h"
#include "controls/widgets/LinkText.h"
#include "core/GlobalSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

// Runs `act` on the dialog once exec() has shown it.
int ExecWith(CInitMsgDlg& dialog, const std::function<void(CInitMsgDlg&)>& act)
{
    QTimer::singleShot(0, &dialog, [&dialog, act] {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        act(dialog);
    });
    return dialog.exec();
}

template <typename T> T* Control(QWidget& dialog, int id)
{
    T* control = dialog.findChild<T*>(QString::number(id));
    EXPECT_NE(control, nullptr) << id;
    return control;
}

void Click(QWidget& dialog, int id)
{
    if (auto* button = Control<QPushButton>(dialog, id))
        QTest::mouseClick(button, Qt::LeftButton);
}

TEST(InitMsgDlgTest, ButtonsEndWithTheirCodesAndTheCheckBoxIsRead)
{
    const struct
    {
        const char* what;
        bool check;
        std::function<void(CInitMsgDlg&)> act;
        int code;
    } cases[] = {
        {"viewer", false, [](CInitMsgDlg& d) { Click(d, CInitMsgDlg::kIdcStartViewer); }, 1},
        {"wizard", true, [](CInitMsgDlg& d) { Click(d, CInitMsgDlg::kIdcStartWizard); }, 5},
        {"close box", true, [](CInitMsgDlg& d) { d.close(); }, 2},
        {"escape", false, [](CInitMsgDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); }, 2},
        {"return", true, [](CInitMsgDlg& d) { QTest::keyClick(&d, Qt::Key_Return); }, 1},
    };
    for (const auto& c : cases)
    {
        CInitMsgDlg dialog;
        const int code = ExecWith(dialog, [&c](CInitMsgDlg& d) {
            if (c.check)
                QTest::mouseClick(Control<QCheckBox>(d, CInitMsgDlg::kIdcDoNotShow), Qt::LeftButton,
                                  {}, QPoint(5, 5));
            c.act(d);
        });
        EXPECT_EQ(code, c.code) << c.what;
        EXPECT_EQ(dialog.DoNotShowAgain, c.check) << c.what;
    }
}

// The picture and the program's icon are shown, at their own sizes.
TEST(InitMsgDlgTest, ShowsItsPictureAndTheProgramsIcon)
{
    CInitMsgDlg dialog;
    std::vector<QSize> shown;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
    {
        if (!label->pixmap().isNull())
        {
            EXPECT_FALSE(label->isHidden());
            shown.push_back(label->pixmap().size());
        }
    }
    std::sort(shown.begin(), shown.end(),
              [](const QSize& a, const QSize& b) { return a.width() < b.width(); });
    EXPECT_EQ(shown, (std::vector<QSize>{QSize(32, 32), QSize(400, 150)}));
}

TEST(InitMsgDlgTest, TextsComeFromTheStringTable)
{
    CInitMsgDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("はじめに"));
    EXPECT_EQ(Control<QPushButton>(dialog, 1)->text(), QStringLiteral("ビューアを開始"));
    EXPECT_TRUE(Control<QPushButton>(dialog, 1)->isDefault());
    EXPECT_EQ(Control<QPushButton>(dialog, 1315)->text(), QStringLiteral("色調整ウィザードを開始"));
    EXPECT_EQ(Control<QCheckBox>(dialog, 1305)->text(),
              QStringLiteral("次回よりこの画面を表示しない"));
    EXPECT_EQ(Control<QLabel>(dialog, 1395)->text(),
              QStringLiteral("ディスプレイの色あわせはここから →"));
    EXPECT_EQ(Control<QLabel>(dialog, 1396)->text(),
              QStringLiteral("画像ビューアをお使いの方はここから →"));
    for (const int id : {1393, 1394, 1395, 1396})
    {
        QLabel* text = Control<QLabel>(dialog, id);
        EXPECT_FALSE(text->text().isEmpty()) << id;
        EXPECT_EQ(text->font().pixelSize(), 16) << id;
    }
    CLinkText* link = Control<CLinkText>(dialog, 1397);
    EXPECT_FALSE(link->text().isEmpty());
    EXPECT_EQ(link->LinkUrl(), QUrl(QString::fromLatin1(CInitMsgDlg::kMakerPage)));
}

TEST(InitMsgDlgTest, LinkOpensTheMakersPage)
{
    QList<QUrl> opened;
    const auto before = CLinkText::SetUrlOpener([&opened](const QUrl& url) {
        opened.append(url);
        return true;
    });
    CInitMsgDlg dialog;
    const int code = ExecWith(dialog, [](CInitMsgDlg& d) {
        QTest::mouseClick(Control<CLinkText>(d, CInitMsgDlg::kIdcLink), Qt::LeftButton, {},
                          QPoint(3, 3));
        Click(d, CInitMsgDlg::kIdcStartViewer);
    });
    CLinkText::SetUrlOpener(before);
    EXPECT_EQ(code, CInitMsgDlg::kIdOk);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0], QUrl(QString::fromLatin1(CInitMsgDlg::kMakerPage)));
}

TEST(InitMsgDlgTest, StartUpUseFollowsSkipInitMsg)
{
    const int saved = GetSkipInitMsg();
    SetSkipInitMsg(0);
    // Shown: the check box set, the wizard started; the setting follows.
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<CInitMsgDlg*>(w); d != nullptr && d->isVisible())
            {
                EXPECT_TRUE(QTest::qWaitForWindowExposed(d));
                QTest::mouseClick(Control<QCheckBox>(*d, CInitMsgDlg::kIdcDoNotShow),
                                  Qt::LeftButton, {}, QPoint(5, 5));
                Click(*d, CInitMsgDlg::kIdcStartWizard);
            }
    });
    EXPECT_EQ(ShowInitMsgDlg(), CInitMsgDlg::kIdStartWizard);
    EXPECT_EQ(GetSkipInitMsg(), 1);
    // Switched off: nothing is shown.
    EXPECT_EQ(ShowInitMsgDlg(), 0);
    SetSkipInitMsg(saved);
}

} // namespace
