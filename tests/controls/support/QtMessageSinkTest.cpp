#include "controls/support/QtMessageSink.h"

#include "controls/support/MessageText.h"
#include "controls/support/StringTable.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

TEST(MessageTextTest, FillsFieldsInOrder)
{
    const struct
    {
        const char* what;
        const char* text;
        std::vector<std::string> args;
        const char* expected;
        int fields;
    } cases[] = {
        {"one number", "%d個のファイルが見つかりません", {"3"}, "3個のファイルが見つかりません", 1},
        {"two texts", "%s - %s", {"a.tif", "現像"}, "a.tif - 現像", 2},
        {"precision and percent signs", "比率は %.1f%% から %.1f%% まで", {"1.0", "10000.0"},
         "比率は 1.0% から 10000.0% まで", 2},
        {"length modifiers", "%lld / %lld MB, %ld, %hu, %I64d", {"1", "2", "3", "4", "5"},
         "1 / 2 MB, 3, 4, 5", 5},
        {"flags, width, star", "[%-3d|%03u|%+5.2f|%*d|%c|%x]", {"a", "b", "c", "d", "e", "f"},
         "[a|b|c|d|e|f]", 6},
        {"fewer arguments than fields", "%d から %d まで", {"1"}, "1 から  まで", 2},
        {"no arguments", "%d から %d まで", {}, " から  まで", 2},
        {"a path under a text without a field", "ファイルが見つかりません", {"/p/a.tif"},
         "ファイルが見つかりません\n\n/p/a.tif", 0},
        {"arguments left over, one a line", "%s", {"a", "b", "c"}, "a\n\nb\nc", 1},
        {"%% stays a percent sign and is no field", "%%d 100%%", {}, "%d 100%", 0},
        {"a stray % at the end", "100%", {}, "100%", 0},
        {"a stray % before a letter that ends no field", "50%個 %y", {}, "50%個 %y", 0},
        {"a lone %", "%", {}, "%", 0},
        {"an unfinished field", "%.", {"x"}, "%.\n\nx", 0},
        {"a length without a conversion", "%l", {}, "%l", 0},
        {"empty", "", {}, "", 0},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(FormatMessageText(c.text, c.args), c.expected) << c.what;
        EXPECT_EQ(CountMessageFields(c.text), c.fields) << c.what;
    }
}

TEST(MessageTextTest, TextOfTheTableOrOfTheNumber)
{
    EXPECT_EQ(QtMessageSink::MessageText(11074, {"1", "10"}),
              QStringLiteral("配置の列数は 1 から 10 まで設定可能です。"));
    EXPECT_EQ(QtMessageSink::MessageText(1002, {"/img/a.tif"}),
              QStringLiteral("ファイルが見つかりません\n\n/img/a.tif"));
    ASSERT_FALSE(HasString(999999));
    EXPECT_EQ(MissingMessageText(999999), "(message 999999)");
    EXPECT_EQ(QtMessageSink::MessageText(999999, {"x", "y"}),
              QStringLiteral("(message 999999)\n\nx\ny"));
    EXPECT_EQ(QtMessageSink::MessageTitle(), QStringLiteral("CHROMIVEL!2"));
}

TEST(MessageTextTest, AnswersOfTheButtons)
{
    const struct
    {
        MessageButtons buttons;
        QMessageBox::StandardButton clicked;
        int answer;
    } cases[] = {
        {MessageButtons::Ok, QMessageBox::Ok, kMessageOk},
        {MessageButtons::Ok, QMessageBox::NoButton, kMessageOk},
        {MessageButtons::OkCancel, QMessageBox::Ok, kMessageOk},
        {MessageButtons::OkCancel, QMessageBox::Cancel, kMessageCancel},
        {MessageButtons::OkCancel, QMessageBox::NoButton, kMessageCancel},
        {MessageButtons::YesNo, QMessageBox::Yes, kMessageYes},
        {MessageButtons::YesNo, QMessageBox::No, kMessageNo},
        {MessageButtons::YesNo, QMessageBox::NoButton, kMessageNo},
        // A button the box does not have answers as the escape button.
        {MessageButtons::YesNo, QMessageBox::Cancel, kMessageNo},
        {MessageButtons::YesNoCancel, QMessageBox::Yes, kMessageYes},
        {MessageButtons::YesNoCancel, QMessageBox::No, kMessageNo},
        {MessageButtons::YesNoCancel, QMessageBox::Cancel, kMessageCancel},
        {MessageButtons::YesNoCancel, QMessageBox::NoButton, kMessageCancel},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessageAnswer(c.clicked, c.buttons), c.answer)
            << static_cast<int>(c.buttons) << " " << c.clicked;
}

// What a test saw of the message box it answered.
struct SeenBox
{
    bool shown = false;
    QString title;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    std::map<QMessageBox::StandardButton, QString> buttonTexts;
};

// Answers the next message box as soon as it is shown (the box runs its own
// event loop, in which the timer fires).
void AnswerNextBox(std::function<void(QMessageBox&)> answer, SeenBox* seen)
{
    QTimer::singleShot(0, [answer, seen] {
        for (QWidget* widget : QApplication::topLevelWidgets())
        {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box == nullptr || !box->isVisible())
                continue;
            seen->shown = true;
            seen->title = box->windowTitle();
            seen->text = box->text();
            seen->format = box->textFormat();
            seen->icon = box->icon();
            seen->buttons = box->standardButtons();
            seen->defaultButton = box->standardButton(box->defaultButton());
            for (QAbstractButton* button : box->buttons())
                seen->buttonTexts[box->standardButton(button)] = button->text();
            answer(*box);
            return;
        }
        AnswerNextBox(answer, seen);
    });
}

std::function<void(QMessageBox&)> Click(QMessageBox::StandardButton which)
{
    return [which](QMessageBox& box) { box.button(which)->click(); };
}

std::function<void(QMessageBox&)> Press(Qt::Key key)
{
    return [key](QMessageBox& box) { QTest::keyClick(&box, key); };
}

class QtMessageSinkTest : public testing::Test
{
protected:
    QtMessageSink m_sink;
    ScopedMessageSink m_registration{m_sink};
};

TEST_F(QtMessageSinkTest, AnswersWithTheCodesOfTheButtons)
{
    const struct
    {
        const char* what;
        MessageButtons buttons;
        std::function<void(QMessageBox&)> answer;
        int expected;
    } cases[] = {
        {"OK", MessageButtons::Ok, Click(QMessageBox::Ok), kMessageOk},
        {"OK, Esc", MessageButtons::Ok, Press(Qt::Key_Escape), kMessageOk},
        {"OK/Cancel, OK", MessageButtons::OkCancel, Click(QMessageBox::Ok), kMessageOk},
        {"OK/Cancel, Cancel", MessageButtons::OkCancel, Click(QMessageBox::Cancel), kMessageCancel},
        {"OK/Cancel, Esc", MessageButtons::OkCancel, Press(Qt::Key_Escape), kMessageCancel},
        {"OK/Cancel, Enter", MessageButtons::OkCancel, Press(Qt::Key_Return), kMessageOk},
        {"Yes/No, Yes", MessageButtons::YesNo, Click(QMessageBox::Yes), kMessageYes},
        {"Yes/No, No", MessageButtons::YesNo, Click(QMessageBox::No), kMessageNo},
        {"Yes/No, Esc", MessageButtons::YesNo, Press(Qt::Key_Escape), kMessageNo},
        {"Yes/No, Enter", MessageButtons::YesNo, Press(Qt::Key_Return), kMessageYes},
        {"Yes/No/Cancel, Yes", MessageButtons::YesNoCancel, Click(QMessageBox::Yes), kMessageYes},
        {"Yes/No/Cancel, No", MessageButtons::YesNoCancel, Click(QMessageBox::No), kMessageNo},
        {"Yes/No/Cancel, Cancel", MessageButtons::YesNoCancel, Click(QMessageBox::Cancel),
         kMessageCancel},
        {"Yes/No/Cancel, Esc", MessageButtons::YesNoCancel, Press(Qt::Key_Escape),
         kMessageCancel},
    };
    for (const auto& c : cases)
    {
        SeenBox seen;
        AnswerNextBox(c.answer, &seen);
        // Through the registered sink, as the layers below the windows call it.
        EXPECT_EQ(ShowMessage(3049, {}, c.buttons, MessageIcon::Question), c.expected) << c.what;
        ASSERT_TRUE(seen.shown) << c.what;
        EXPECT_EQ(seen.buttons, MessageBoxButtons(c.buttons)) << c.what;
        // The first button is the default, as in the design's boxes.
        const auto first = c.buttons == MessageButtons::Ok || c.buttons == MessageButtons::OkCancel
                               ? QMessageBox::Ok
                               : QMessageBox::Yes;
        EXPECT_EQ(seen.defaultButton, first) << c.what;
    }
}

// The buttons read as the design's boxes do, and as its messages name them
// ("［いいえ］を選択し..."), whatever language Qt's own texts are in.
TEST_F(QtMessageSinkTest, ButtonsShowTheDesignsJapaneseTexts)
{
    SeenBox seen;
    AnswerNextBox(Click(QMessageBox::No), &seen);
    EXPECT_EQ(ShowMessage(3051, {}, MessageButtons::YesNo, MessageIcon::Question), kMessageNo);
    const std::map<QMessageBox::StandardButton, QString> yesNo = {
        {QMessageBox::Yes, QStringLiteral("はい(&Y)")}, {QMessageBox::No, QStringLiteral("いいえ(&N)")}};
    EXPECT_EQ(seen.buttonTexts, yesNo);

    AnswerNextBox(Click(QMessageBox::Cancel), &seen);
    seen.buttonTexts.clear();
    EXPECT_EQ(ShowMessage(2158, {}, MessageButtons::OkCancel, MessageIcon::Question),
              kMessageCancel);
    const std::map<QMessageBox::StandardButton, QString> okCancel = {
        {QMessageBox::Ok, QStringLiteral("OK")}, {QMessageBox::Cancel, QStringLiteral("キャンセル")}};
    EXPECT_EQ(seen.buttonTexts, okCancel);
}

TEST_F(QtMessageSinkTest, ShowsTheTableTextWithItsArgumentsUnderTheApplicationName)
{
    const struct
    {
        int id;
        std::vector<std::string> args;
        MessageIcon icon;
        const char16_t* text;
        QMessageBox::Icon shownIcon;
    } cases[] = {
        {11074, {"1", "10"}, MessageIcon::Warning, u"配置の列数は 1 から 10 まで設定可能です。",
         QMessageBox::Warning},
        // A path is shown as it is, never read as markup.
        {1002, {"/img/<b>a</b>.tif"}, MessageIcon::Error,
         u"ファイルが見つかりません\n\n/img/<b>a</b>.tif", QMessageBox::Critical},
        {999999, {"x"}, MessageIcon::None, u"(message 999999)\n\nx", QMessageBox::NoIcon},
        {3050, {}, MessageIcon::Question,
         u"選択したディスプレイはDDC/CI通信に対応してません。選択しますか？", QMessageBox::Question},
        {1003, {"2"}, MessageIcon::Information, u"2個のファイルが見つかりません",
         QMessageBox::Information},
    };
    for (const auto& c : cases)
    {
        SeenBox seen;
        AnswerNextBox(Click(QMessageBox::Ok), &seen);
        EXPECT_EQ(ShowMessage(c.id, c.args, MessageButtons::Ok, c.icon), kMessageOk) << c.id;
        ASSERT_TRUE(seen.shown) << c.id;
        EXPECT_EQ(seen.title, QStringLiteral("CHROMIVEL!2")) << c.id;
        EXPECT_EQ(seen.text, QString::fromUtf16(c.text)) << c.id;
        EXPECT_EQ(seen.format, Qt::PlainText) << c.id;
        EXPECT_EQ(seen.icon, c.shownIcon) << c.id;
    }
}

TEST(ScopedMessageSinkTest, RegistersForItsLifetimeAndPutsBackThePrevious)
{
    IMessageSink* const before = GetMessageSink();
    QtMessageSink outer;
    QtMessageSink inner;
    {
        ScopedMessageSink first(outer);
        EXPECT_EQ(GetMessageSink(), &outer);
        {
            ScopedMessageSink second(inner);
            EXPECT_EQ(GetMessageSink(), &inner);
        }
        EXPECT_EQ(GetMessageSink(), &outer);
    }
    EXPECT_EQ(GetMessageSink(), before);
}

} // namespace
