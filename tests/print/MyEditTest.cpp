// The numeric edit of the print dialogs: how its text reads as a value and a
// value shows as text, and the arrow keys that step it within its bounds.

#include "print/MyEdit.h"
#include "tests/controls/NotifySpy.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include <limits>
#include <vector>

namespace {

constexpr int kMessage = 0x6107;
constexpr int kIntMax = std::numeric_limits<int>::max();

struct ReadCase
{
    EditMode mode;
    int decimals;
    const char* text;
    int value;
};

TEST(MyEditLogic, ReadsTheTextAsAWholeNumberOfItsLastDigit)
{
    const std::vector<ReadCase> cases = {
        {EditMode::Real, 1, "12.57", 125},   // further digits are dropped
        {EditMode::Real, 1, "12.5", 125},
        {EditMode::Real, 1, "2.3", 23},      // 2.3 x 10 is 22.999... in binary
        {EditMode::Real, 2, "4.35", 435},    // 4.35 x 100 is 434.999...
        {EditMode::Real, 1, "100000", 1000000},
        {EditMode::Real, 1, "-0.35", -3},    // truncated toward zero
        {EditMode::Real, 1, "-12.5", -125},
        {EditMode::Real, 0, "7.9", 7},
        {EditMode::Real, 1, "1e10", kIntMax}, // saturates instead of wrapping
        {EditMode::Real, 1, "", 0},
        {EditMode::Real, 1, "mm", 0},
        {EditMode::Real, 1, " 3.0mm", 30},
        {EditMode::Integer, 0, "42", 42},
        {EditMode::Integer, 0, "12.9", 12},
        {EditMode::Integer, 3, "12", 12},    // decimals mean nothing to whole numbers
        {EditMode::Integer, 0, "99999999999", kIntMax},
        {EditMode::Integer, 0, "-7", -7},
    };
    for (const ReadCase& c : cases)
        EXPECT_EQ(MyEditValueFromText(c.mode, c.decimals, c.text), c.value)
            << c.text << " decimals " << c.decimals;
}

struct ShowCase
{
    EditMode mode;
    int decimals;
    int value;
    const char* text;
};

TEST(MyEditLogic, ShowsTheValueWithItsDecimals)
{
    const std::vector<ShowCase> cases = {
        {EditMode::Real, 1, 125, "12.5"},
        {EditMode::Real, 1, 0, "0.0"},
        {EditMode::Real, 1, -5, "-0.5"},
        {EditMode::Real, 1, 1000000, "100000.0"},
        {EditMode::Real, 2, 7, "0.07"},
        {EditMode::Real, 0, 12, "12"},
        {EditMode::Integer, 0, -3, "-3"},
        {EditMode::Integer, 2, 15, "15"},
    };
    for (const ShowCase& c : cases)
        EXPECT_EQ(MyEditTextFromValue(c.mode, c.decimals, c.value), c.text) << c.value;
}

TEST(MyEditLogic, EveryValueShownReadsBackUnchanged)
{
    for (int decimals = 0; decimals <= 3; ++decimals)
        for (int value = -2000; value <= 2000; ++value)
            ASSERT_EQ(MyEditValueFromText(EditMode::Real, decimals,
                                          MyEditTextFromValue(EditMode::Real, decimals, value)),
                      value)
                << value << " with " << decimals << " decimals";
}

TEST(MyEditLogic, TheScaleIsAnIntegerPowerOfTen)
{
    EXPECT_EQ(MyEditScale(0), 1);
    EXPECT_EQ(MyEditScale(1), 10);
    EXPECT_EQ(MyEditScale(4), 10000);
    EXPECT_EQ(MyEditScale(-2), 1);
    EXPECT_EQ(MyEditScale(40), 1000000000); // held where int still holds it
}

class MyEditWidget : public testing::Test
{
protected:
    void SetUp() override
    {
        edit.Mode = EditMode::Real;
        edit.Decimals = 1;
        edit.Minimum = 0;
        edit.Maximum = 100;
        edit.setNotifyMessage(kMessage);
        edit.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
    }

    CMyEdit edit;
};

TEST_F(MyEditWidget, SetValueShowsTheTextWithoutReportingIt)
{
    QSignalSpy spy(&edit, &CMyEdit::notify);
    edit.SetValue(125);
    EXPECT_EQ(edit.text(), QStringLiteral("12.5"));
    EXPECT_EQ(edit.GetValue(), 125);
    EXPECT_TRUE(spy.isEmpty());
}

struct ArrowCase
{
    int start;
    Qt::Key key;
    int value;     // after the key
    bool reported; // the step reached the owner
};

TEST_F(MyEditWidget, ArrowKeysStepByOneUnitAndStopAtTheBounds)
{
    const std::vector<ArrowCase> cases = {
        {50, Qt::Key_Up, 51, true},
        {99, Qt::Key_Up, 100, true},
        {100, Qt::Key_Up, 100, false}, // at the maximum
        {50, Qt::Key_Down, 49, true},
        {1, Qt::Key_Down, 0, true},
        {0, Qt::Key_Down, 0, false},   // at the minimum
        {150, Qt::Key_Up, 150, false}, // a typed value above the maximum stays
        {150, Qt::Key_Down, 149, true},
        {-20, Qt::Key_Down, -20, false},
        {-20, Qt::Key_Up, -19, true},
    };
    for (const ArrowCase& c : cases)
    {
        edit.SetValue(c.start);
        QSignalSpy spy(&edit, &CMyEdit::notify);
        QTest::keyClick(&edit, c.key);
        EXPECT_EQ(edit.GetValue(), c.value) << c.start;
        EXPECT_EQ(edit.text().toStdString(), MyEditTextFromValue(EditMode::Real, 1, c.value));
        const std::vector<Notification> expected =
            c.reported ? std::vector<Notification>{{kMessage, CMyEdit::kChange, c.value}}
                       : std::vector<Notification>{};
        EXPECT_EQ(Notifications(spy), expected) << c.start;
    }
}

TEST_F(MyEditWidget, TypedTextIsNeitherClampedNorRewritten)
{
    edit.clear();
    QSignalSpy spy(&edit, &CMyEdit::notify);
    QTest::keyClicks(&edit, QStringLiteral("999.97"));
    EXPECT_EQ(edit.text(), QStringLiteral("999.97"));
    EXPECT_EQ(edit.GetValue(), 9999);
    // One report per keystroke, each with the value typed so far.
    const std::vector<Notification> expected = {
        {kMessage, 0, 90},   {kMessage, 0, 990},  {kMessage, 0, 9990},
        {kMessage, 0, 9990}, {kMessage, 0, 9999}, {kMessage, 0, 9999},
    };
    EXPECT_EQ(Notifications(spy), expected);
}

TEST_F(MyEditWidget, WholeNumbersStepInOnes)
{
    edit.Mode = EditMode::Integer;
    edit.Decimals = 0;
    edit.Minimum = 1;
    edit.Maximum = 3;
    edit.SetValue(2);
    EXPECT_EQ(edit.text(), QStringLiteral("2"));
    QTest::keyClick(&edit, Qt::Key_Up);
    QTest::keyClick(&edit, Qt::Key_Up);
    EXPECT_EQ(edit.text(), QStringLiteral("3"));
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(&edit, Qt::Key_Down);
    EXPECT_EQ(edit.text(), QStringLiteral("1"));
}

TEST_F(MyEditWidget, OtherKeysStillEdit)
{
    edit.SetValue(125);
    edit.setCursorPosition(edit.text().size());
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QTest::keyClick(&edit, Qt::Key_Left);
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), QStringLiteral("1."));
    EXPECT_EQ(edit.GetValue(), 10);
}

} // namespace
