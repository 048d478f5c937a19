#include "controls/widgets/EditEx.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include "tests/controls/NotifySpy.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimerEvent>
#include <QVBoxLayout>

#include <climits>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr int kMessage = 0x0400 + 21;

const std::vector<Notification> kOneReport = {{kMessage, 0, 0}};

// ---- The rules apart from the widget -----------------------------------

TEST(EditExLogicTest, LeadingIntegerReadsBaseTenAndSaturates)
{
    struct Case
    {
        const char* text;
        std::int64_t value;
    };
    const Case cases[] = {
        {"123", 123},
        {"012", 12},
        {"08", 8},
        {"  -42abc", -42},
        {"+7", 7},
        {"0x1f", 0},
        {"abc", 0},
        {"", 0},
        {"-", 0},
        {"12.9", 12},
        {"99999999999999999999", std::numeric_limits<std::int64_t>::max()},
        {"-99999999999999999999", std::numeric_limits<std::int64_t>::min()},
        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseLeadingInteger(c.text), c.value) << c.text;
    EXPECT_EQ(SaturateToInt(ParseLeadingInteger("5000000000")), INT_MAX);
    EXPECT_EQ(SaturateToInt(ParseLeadingInteger("-5000000000")), INT_MIN);
}

// Texts found by fuzzing the field's reader: "." and 330 zeros before a 1
// (below the smallest double: 0), a 320-digit mantissa with "e-5" (1e314,
// beyond the largest: infinite), such a tiny fraction with a long tail and
// an exponent (0), and 1 written with 400 decimal zeros.
const std::string kTinyFraction = "." + std::string(330, '0') + "1";
const std::string kLongMantissa = "1" + std::string(319, '0') + "e-5";
const std::string kLongTinyMantissa = "0." + std::string(330, '0') + "1" + std::string(319, '0') + "e-5";
const std::string kLongOne = "1." + std::string(400, '0');

TEST(EditExLogicTest, LeadingRealReadsLikeStrtodInTheCLocale)
{
    struct Case
    {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"3.25", 3.25},
        {"  -0.5x", -0.5},
        {".5", 0.5},
        {"5.", 5.0},
        {"1,5", 1.0}, // no locale
                      // comma
        {"1.2.3", 1.2},
        {"2e3", 2000.0},
        {"2e", 2.0}, // an exponent without digits is not read
        {"2e+", 2.0},
        {"-", 0.0},
        {".", 0.0},
        {"abc", 0.0},
        {"nan", 0.0},
        {"in", 0.0},
        {"0x10", 0.0},
        {"1e-999", 0.0},
        // Long digit runs: the value, not the length, decides.
        {kTinyFraction.c_str(), 0.0},
        {kLongTinyMantissa.c_str(), 0.0},
        {kLongOne.c_str(), 1.0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(ParseLeadingReal(c.text), c.value) << c.text;
    EXPECT_EQ(ParseLeadingReal(kLongMantissa), std::numeric_limits<double>::infinity());
    EXPECT_EQ(ParseLeadingReal("1e999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(ParseLeadingReal(" INF"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(ParseLeadingReal("-infinity"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(ParseLeadingReal("-1e999"), -std::numeric_limits<double>::infinity());
}

TEST(EditExLogicTest, ValidatedTextClampsMinThenMaxAndPrintsCanonically)
{
    struct Case
    {
        EditMode mode;
        const char* text;
        EditExLimits limits;
        const char* expected;
    };
    const EditExLimits percent{2, 0.1, 100.0, 0, 0};
    const EditExLimits size{0, 0, 0, 50, 4000};
    const Case cases[] = {
        {EditMode::Real, "3.14159", percent, "3.14"},
        {EditMode::Real, "250", percent, "100.00"},
        {EditMode::Real, "0", percent, "0.10"},
        {EditMode::Real, "abc", percent, "0.10"},
        {EditMode::Real, "1e999", percent, "100.00"},
        {EditMode::Real, "inf", percent, "100.00"},
        {EditMode::Real, "-inf", percent, "0.10"},
        {EditMode::Real, "nan", percent, "0.10"},
        {EditMode::Real, "-0", EditExLimits{1, -10.0, 10.0, 0, 0}, "0.0"},
        {EditMode::Real, "-0.001", EditExLimits{2, -10.0, 10.0, 0, 0}, "0.00"},
        {EditMode::Real, "-0.004", EditExLimits{2, -10.0, 10.0, 0, 0}, "0.00"},
        {EditMode::Real, "-0.006", EditExLimits{2, -10.0, 10.0, 0, 0}, "-0.01"},
        {EditMode::Real, kTinyFraction.c_str(), EditExLimits{2, -10.0, 10.0, 0, 0}, "0.00"},
        {EditMode::Real, kLongMantissa.c_str(), percent, "100.00"},
        {EditMode::Real, "5", EditExLimits{1, 10.0, 1.0, 0, 0}, "1.0"}, // min > max gives max
        {EditMode::Real, "1.5", EditExLimits{99, 0.0, 10.0, 0, 0}, "1.500000000000000"},
        {EditMode::Real, "1.5", EditExLimits{-3, 0.0, 10.0, 0, 0}, "2"},
        {EditMode::Real, "7", EditExLimits{}, "0"}, // the initial range clamps to 0
        {EditMode::Real, "2147483647", EditExLimits{1, -2147483648.0, 2147483647.0, 0, 0},
         "2147483647.0"},
        {EditMode::Integer, "20", size, "50"},
        {EditMode::Integer, "50", size, "50"},
        {EditMode::Integer, "012", size, "50"},
        {EditMode::Integer, "0120", size, "120"},
        {EditMode::Integer, "9999999999", size, "4000"},
        {EditMode::Integer, "-9999999999", EditExLimits{0, 0, 0, INT_MIN, INT_MAX}, "-2147483648"},
        {EditMode::Integer, "5", EditExLimits{0, 0, 0, 10, 1}, "1"},
        {EditMode::Integer, "12.7", EditExLimits{0, 0, 0, 0, 100}, "12"},
        {EditMode::CharFilter, "a/b", size, "a/b"},
        {static_cast<EditMode>(0), "anything", size, "anything"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ValidatedEditText(c.mode, c.text, c.limits), c.expected)
            << static_cast<int>(c.mode) << " " << c.text;
}

TEST(EditExLogicTest, CharFilterByModeSelectionAndSign)
{
    struct Case
    {
        EditMode mode;
        char32_t ch;
        bool startsWithMinus;
        int selStart;
        int selEnd;
        bool taken;
    };
    const Case cases[] = {
        {EditMode::Integer, U'7', false, 0, 0, true},
        {EditMode::Integer, U'a', false, 0, 0, false},
        {EditMode::Integer, 8, false, 1, 1, true},
        {EditMode::Integer, U'.', false, 1, 1, false},
        {EditMode::Real, U'.', false, 1, 1, true},
        {EditMode::Real, U'.', false, 3, 3, true}, // a second point too
        {EditMode::Real, U',', false, 1, 1, false},
        {EditMode::Integer, U'５', false, 0, 0, false}, // a full-width digit is no digit
        // nothing may stand before a leading minus
        {EditMode::Integer, U'3', true, 0, 0, false},
        {EditMode::Integer, U'3', true, 1, 1, true},
        {EditMode::Integer, U'3', true, 0, 2, true},
        // the minus only at the start, and only once
        {EditMode::Integer, U'-', true, 0, 0, false},
        {EditMode::Integer, U'-', false, 0, 0, true},
        {EditMode::Integer, U'-', false, 1, 1, false},
        {EditMode::Integer, U'-', true, 0, 2, true},
        {EditMode::Real, U'-', true, 1, 2, false},
        {EditMode::CharFilter, U':', false, 0, 0, false},
        {EditMode::CharFilter, U'/', false, 0, 0, false},
        {EditMode::CharFilter, U'a', false, 0, 0, true},
        {EditMode::CharFilter, U'写', false, 0, 0, true},
        {static_cast<EditMode>(4), U'1', false, 0, 0, false},
        {static_cast<EditMode>(0), 8, false, 1, 1, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EditExTakesChar(c.mode, c.ch, c.startsWithMinus, c.selStart, c.selEnd, U"/:"),
                  c.taken)
            << static_cast<int>(c.mode) << " " << static_cast<std::uint32_t>(c.ch) << " "
            << c.selStart << ".." << c.selEnd;
    EXPECT_TRUE(EditExTakesChar(EditMode::CharFilter, U':', false, 0, 0, U""));
}

TEST(EditExLogicTest, PasteRefusedWhenItHoldsAnExcludedCharAnywhere)
{
    EXPECT_FALSE(EditExTakesPaste(U"abc:def", U"/:"));
    EXPECT_FALSE(EditExTakesPaste(U"/", U"/:"));
    EXPECT_TRUE(EditExTakesPaste(U"abc", U"/:"));
    EXPECT_TRUE(EditExTakesPaste(U"a:b", U""));
    EXPECT_TRUE(EditExTakesPaste(U"", U"/:"));
}

// ---- The widget ----------------------------------------------------------

class EditExTest : public testing::Test
{
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        edit = new CEditEx(window.get());
        other = new QLineEdit(window.get());
        layout->addWidget(edit);
        layout->addWidget(other);
        edit->setNotifyMessage(kMessage);
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        edit->setFocus();
        spy = std::make_unique<QSignalSpy>(edit, &CEditEx::notify);
    }

    void Integers(int low, int high)
    {
        edit->Mode = EditMode::Integer;
        edit->IntMin = low;
        edit->IntMax = high;
    }

    void Reals(int decimals, double low, double high)
    {
        edit->Mode = EditMode::Real;
        edit->Decimals = static_cast<short>(decimals);
        edit->RealMin = low;
        edit->RealMax = high;
    }

    // Writes text without validating it, as the user's typing would stand.
    void Raw(const QString& text) { edit->QLineEdit::setText(text); }

    static void Fire(const QTimer& timer)
    {
        ASSERT_TRUE(timer.isActive());
        QTimerEvent tick(timer.timerId());
        QCoreApplication::sendEvent(const_cast<QTimer*>(&timer), &tick);
    }

    std::unique_ptr<QWidget> window;
    CEditEx* edit = nullptr;
    QLineEdit* other = nullptr;
    std::unique_ptr<QSignalSpy> spy;
};

TEST_F(EditExTest, TypingDropsWhatTheModeRefuses)
{
    Integers(0, 10000);
    QTest::keyClicks(edit, QStringLiteral("12a3"));
    EXPECT_EQ(edit->text(), QStringLiteral("123"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), QStringLiteral("12"));
    EXPECT_TRUE(spy->empty()); // typing alone is no commit point

    edit->clear();
    Reals(1, 0.0, 100.0);
    QTest::keyClicks(edit, QStringLiteral("4,.5x"));
    EXPECT_EQ(edit->text(), QStringLiteral("4.5"));

    edit->clear();
    edit->Mode = static_cast<EditMode>(7);
    QTest::keyClicks(edit, QStringLiteral("1a-"));
    EXPECT_TRUE(edit->text().isEmpty());
}

TEST_F(EditExTest, ControlKeysPassUnfiltered)
{
    Integers(0, 10000);
    Raw(QStringLiteral("1234"));
    // The filter would drop 'a' and 'c': with Ctrl they are commands.
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(edit->selectedText(), QStringLiteral("1234"));
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("1234"));
    EXPECT_EQ(edit->text(), QStringLiteral("1234"));
}

TEST_F(EditExTest, MinusOnlyAtTheStart)
{
    Integers(-100, 100);
    Raw(QStringLiteral("-5"));
    edit->setCursorPosition(0);
    QTest::keyClick(edit, Qt::Key_7);
    QTest::keyClick(edit, Qt::Key_Minus);
    EXPECT_EQ(edit->text(), QStringLiteral("-5"));

    edit->setCursorPosition(2);
    QTest::keyClick(edit, Qt::Key_Minus);
    EXPECT_EQ(edit->text(), QStringLiteral("-5"));

    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Minus);
    EXPECT_EQ(edit->text(), QStringLiteral("-"));
    QTest::keyClick(edit, Qt::Key_8);
    EXPECT_EQ(edit->text(), QStringLiteral("-8"));
}

TEST_F(EditExTest, EnterClampsReportsOnceAndLeavesACanonicalTextAlone)
{
    Integers(50, 4000);
    Raw(QStringLiteral("20"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(edit->text(), QStringLiteral("50"));
    EXPECT_EQ(Notifications(*spy), kOneReport);

    spy->clear();
    edit->setCursorPosition(1);
    QSignalSpy changes(edit, &QLineEdit::textChanged);
    QTest::keyClick(edit, Qt::Key_Enter);
    EXPECT_TRUE(changes.empty()); // not rewritten
    EXPECT_EQ(edit->cursorPosition(), 1);
    EXPECT_EQ(Notifications(*spy), kOneReport);
}

TEST(EditExDialogTest, EnterDoesNotPressTheDefaultButton)
{
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* edit = new CEditEx(&dialog);
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    ok->setDefault(true);
    layout->addWidget(edit);
    layout->addWidget(ok);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    edit->IntMax = 10;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    edit->setFocus();
    QSignalSpy clicks(ok, &QPushButton::clicked);
    QTest::keyClicks(edit, QStringLiteral("25"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(clicks.empty());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(edit->text(), QStringLiteral("10"));
}

TEST_F(EditExTest, SetDoubleFormatsClampsAndReportsUnlessSwitchedOff)
{
    Reals(2, 0.1, 100.0);
    edit->SetDouble(3.14159);
    EXPECT_EQ(edit->text(), QStringLiteral("3.14"));
    EXPECT_DOUBLE_EQ(edit->GetDouble(), 3.14);
    EXPECT_EQ(Notifications(*spy), kOneReport);

    spy->clear();
    edit->SetDouble(250.0);
    EXPECT_EQ(edit->text(), QStringLiteral("100.00"));
    EXPECT_EQ(Notifications(*spy), kOneReport);

    spy->clear();
    edit->SetDouble(3.0);
    edit->NotifyEnabled = false;
    edit->SetDouble(250.0);
    EXPECT_EQ(edit->text(), QStringLiteral("100.00"));
    EXPECT_EQ(Notifications(*spy), kOneReport); // only the write before
}

TEST_F(EditExTest, SetDoubleOfNonFiniteValuesEndsInTheRange)
{
    Reals(1, -5.0, 5.0);
    edit->SetDouble(std::numeric_limits<double>::infinity());
    EXPECT_EQ(edit->text(), QStringLiteral("5.0"));
    edit->SetDouble(-std::numeric_limits<double>::infinity());
    EXPECT_EQ(edit->text(), QStringLiteral("-5.0"));
    edit->SetDouble(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(edit->text(), QStringLiteral("0.0"));
}

TEST_F(EditExTest, NoReportWithoutAMessageNumber)
{
    Integers(0, 10);
    edit->setNotifyMessage(0);
    edit->SetInt(5);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(spy->empty());
    EXPECT_EQ(edit->GetInt(), 5);
}

TEST_F(EditExTest, OwnerWritingFromItsNotifySlotDoesNotRecurse)
{
    Integers(0, 4000);
    int calls = 0;
    QObject::connect(edit, &CEditEx::notify, edit, [&](int, int, qint64) {
        ++calls;
        if (calls > 5)
            return; // a recursion would come back here
        edit->SetWindowText(QStringLiteral("5000"));
    });
    edit->SetInt(12);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(edit->text(), QStringLiteral("4000")); // the slot's write is still clamped
}

TEST_F(EditExTest, GetIntReadsBaseTenFromAnyWindow)
{
    Integers(0, 1000);
    Raw(QStringLiteral("012"));
    EXPECT_EQ(edit->GetInt(), 12);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(edit->text(), QStringLiteral("12"));

    struct Case
    {
        const char* text;
        int value;
    };
    const Case cases[] = {{"012", 12},
                          {"08", 8},
                          {"-3 items", -3},
                          {"none", 0},
                          {"", 0},
                          {"9999999999", INT_MAX},
                          {"-9999999999", INT_MIN}};
    QLabel label;
    QLineEdit plain;
    for (const Case& c : cases)
    {
        label.setText(QString::fromLatin1(c.text));
        plain.setText(QString::fromLatin1(c.text));
        EXPECT_EQ(CEditEx::GetInt(&label), c.value) << c.text;
        EXPECT_EQ(CEditEx::GetInt(&plain), c.value) << c.text;
    }
    CEditEx::SetInt(&label, -42);
    CEditEx::SetInt(&plain, 7);
    EXPECT_EQ(label.text(), QStringLiteral("-42"));
    EXPECT_EQ(plain.text(), QStringLiteral("7"));
    QWidget nothing;
    EXPECT_EQ(CEditEx::GetInt(&nothing), 0);
    EXPECT_EQ(CEditEx::GetInt(nullptr), 0);

    // Through the static form a CEditEx still validates and reports.
    spy->clear();
    CEditEx::SetInt(edit, 5000);
    EXPECT_EQ(edit->text(), QStringLiteral("1000"));
    EXPECT_EQ(Notifications(*spy), kOneReport);
}

TEST_F(EditExTest, CharFilterRefusesExcludedTypingAndPaste)
{
    edit->Mode = EditMode::CharFilter;
    edit->ExcludedChars = QStringLiteral("/:");
    QTest::keyClicks(edit, QStringLiteral("a:b/c"));
    EXPECT_EQ(edit->text(), QStringLiteral("abc"));
    EXPECT_TRUE(spy->empty());

    QGuiApplication::clipboard()->setText(QStringLiteral("x:y"));
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), QStringLiteral("abc"));
    EXPECT_TRUE(spy->empty());

    QGuiApplication::clipboard()->setText(QStringLiteral("名前"));
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), QStringLiteral("abc名前"));
    EXPECT_EQ(Notifications(*spy), kOneReport); // a paste is a commit point
}

TEST_F(EditExTest, ContextMenuPasteIsCheckedToo)
{
    edit->Mode = EditMode::CharFilter;
    edit->ExcludedChars = QStringLiteral("/:");
    edit->SetWindowText(QStringLiteral("abc"));
    QGuiApplication::clipboard()->setText(QStringLiteral("x:y"));

    // Choose Paste in the menu once it is open.
    bool chosen = false;
    QTimer::singleShot(0, edit, [&chosen] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (QAction* action : menu->actions())
            if (action->text().contains(QStringLiteral("Paste")))
            {
                action->trigger();
                chosen = true;
            }
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            edit->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(edit, &event);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(edit->text(), QStringLiteral("abc"));
}

TEST_F(EditExTest, PasteInNumberModesIsCutToItsLeadingNumber)
{
    Integers(0, 500);
    QGuiApplication::clipboard()->setText(QStringLiteral("1234 px"));
    edit->Paste();
    EXPECT_EQ(edit->text(), QStringLiteral("500"));
    EXPECT_EQ(Notifications(*spy), kOneReport);
}

TEST_F(EditExTest, FocusLossCommitsUnlessTheTimerDoes)
{
    Integers(50, 4000);
    QTest::keyClicks(edit, QStringLiteral("7"));
    other->setFocus();
    EXPECT_EQ(edit->text(), QStringLiteral("50"));
    EXPECT_EQ(Notifications(*spy), kOneReport);

    spy->clear();
    edit->CommitTimer = true;
    edit->setFocus();
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("8"));
    other->setFocus();
    EXPECT_TRUE(spy->empty());
    EXPECT_EQ(edit->text(), QStringLiteral("8"));
}

TEST_F(EditExTest, CommitTimerFiresOnceAfterTheLastKey)
{
    Integers(50, 4000);
    edit->CommitTimer = true;
    const QTimer& timer = edit->commitTimer();
    EXPECT_FALSE(timer.isActive());
    EXPECT_EQ(timer.interval(), 1000);
    EXPECT_TRUE(timer.isSingleShot());

    QTest::keyClicks(edit, QStringLiteral("2"));
    EXPECT_TRUE(timer.isActive());
    QTest::keyClicks(edit, QStringLiteral("x")); // refused: restarts nothing, commits nothing
    EXPECT_TRUE(spy->empty());
    Fire(timer);
    EXPECT_FALSE(timer.isActive());
    EXPECT_EQ(edit->text(), QStringLiteral("50"));
    EXPECT_EQ(Notifications(*spy), kOneReport);

    // Delete starts it again.
    spy->clear();
    edit->setCursorPosition(0);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_TRUE(timer.isActive());
    Fire(timer);
    EXPECT_EQ(edit->text(), QStringLiteral("50"));
    EXPECT_EQ(Notifications(*spy), kOneReport);

    // Without CommitTimer no key starts it.
    edit->CommitTimer = false;
    QTest::keyClicks(edit, QStringLiteral("1"));
    EXPECT_FALSE(timer.isActive());
}

TEST_F(EditExTest, SelectAllOnFocus)
{
    Integers(0, 100);
    edit->SetInt(42);
    other->setFocus();
    edit->SelectAllOnFocus = true;
    edit->setFocus(Qt::OtherFocusReason);
    QCoreApplication::processEvents();
    EXPECT_EQ(edit->selectedText(), QStringLiteral("42"));
}

TEST_F(EditExTest, LeftButtonPressForwardedOnlyWhenAsked)
{
    QSignalSpy forwarded(edit, &CEditEx::lButtonDownForwarded);
    QTest::mouseClick(edit, Qt::LeftButton, Qt::NoModifier, QPoint(5, 4));
    EXPECT_TRUE(forwarded.empty());
    edit->ForwardLButtonDown = true;
    QTest::mouseClick(edit, Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 4));
    QTest::mouseClick(edit, Qt::RightButton, Qt::NoModifier, QPoint(5, 4));
    ASSERT_EQ(forwarded.size(), 1);
    EXPECT_EQ(forwarded.at(0).at(0).toPoint(), QPoint(5, 4));
    EXPECT_EQ(forwarded.at(0).at(1).value<Qt::KeyboardModifiers>(), Qt::ShiftModifier);
}

TEST_F(EditExTest, ColoursPaintTheField)
{
    EXPECT_EQ(edit->TextColor, RefFromColor(edit->palette().color(QPalette::Text)));
    EXPECT_EQ(edit->BackColor, RefFromColor(edit->palette().color(QPalette::Base)));
    edit->BackColor = MakeColorRef(255, 255, 0);
    edit->resize(120, 24);
    QImage image(edit->size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    edit->render(&image);
    EXPECT_EQ(QColor(image.pixel(edit->width() / 2, edit->height() / 2)), QColor(255, 255, 0));
}

} // namespace
