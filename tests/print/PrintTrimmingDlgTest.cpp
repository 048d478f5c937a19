// The print trimming dialog: the OK rules over the four margins, and each
// margin's maximum following the opposite one of its pair.

#include "print/PrintTrimmingDlg.h"

#include "controls/widgets/UpDown.h"
#include "print/MyEdit.h"
#include "tests/controls/dialogs/DialogDriver.h"
#include "tests/support/RecordingMessageSink.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <climits>
#include <vector>

namespace {

using Result = TrimSettingCheck::Result;

struct CheckCase
{
    int left, top, right, bottom;
    TrimSettingCheck expected;
};

TEST(PrintTrimmingCheck, NegativesInReadingOrderThenThePairsAgainstTheirLimits)
{
    constexpr int kWidth = 999;  // a print 100.0 mm wide, less 0.1 mm
    constexpr int kHeight = 699; // 70.0 mm high
    const std::vector<CheckCase> cases = {
        {0, 0, 0, 0, {Result::Accepted, TrimSide::Left}},
        {500, 300, 499, 399, {Result::Accepted, TrimSide::Left}}, // exactly the limits
        {500, 0, 500, 0, {Result::TooLarge, TrimSide::Left}},     // one tenth across too many
        {0, 300, 0, 400, {Result::TooLarge, TrimSide::Left}},     // one tenth down too many
        {999, 699, 0, 0, {Result::Accepted, TrimSide::Left}},     // either side may take all
        {0, 0, 999, 699, {Result::Accepted, TrimSide::Left}},
        {1, 2, 3, -1, {Result::Negative, TrimSide::Bottom}},
        {1, 2, -3, -1, {Result::Negative, TrimSide::Right}},
        {1, -2, -3, -1, {Result::Negative, TrimSide::Top}},
        {-1, -2, -3, -1, {Result::Negative, TrimSide::Left}},
        {-1, 0, 5000, 0, {Result::Negative, TrimSide::Left}}, // the sign before the size
        {INT_MAX, 0, INT_MAX, 0, {Result::TooLarge, TrimSide::Left}}, // no wrap-round
    };
    for (const CheckCase& c : cases)
        EXPECT_EQ(CheckTrimSettings(c.left, c.top, c.right, c.bottom, kWidth, kHeight), c.expected)
            << c.left << " " << c.top << " " << c.right << " " << c.bottom;
}

class PrintTrimmingDialog : public testing::Test
{
protected:
    void SetUp() override
    {
        dialog.m_nWidthLimit = 999;
        dialog.m_nHeightLimit = 699;
    }

    CMyEdit* Edit(int id) { return Child<CMyEdit>(dialog, QString::number(id).toLatin1().constData()); }
    CUpDown* Spin(int id) { return Child<CUpDown>(dialog, QString::number(id).toLatin1().constData()); }
    void Type(int id, const QString& text)
    {
        CMyEdit* edit = Edit(id);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    void PressOk() { Child<QPushButton>(dialog, "1")->click(); }

    testsupport::RecordingMessageSink sink;
    CPrintTrimSettingDlg dialog;
};

TEST_F(PrintTrimmingDialog, MarginsUpToTheLimitAreAcceptedAndReadBack)
{
    dialog.m_strLeft = QStringLiteral("10.0");
    const int code = RunDialog(
        dialog,
        [&] {
            Type(CPrintTrimSettingDlg::kIdLeft, QStringLiteral("50.0"));
            Type(CPrintTrimSettingDlg::kIdRight, QStringLiteral("49.9"));
            Type(CPrintTrimSettingDlg::kIdTop, QStringLiteral("69.9"));
        },
        "1");
    EXPECT_EQ(code, kDialogOk);
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(dialog.m_strLeft, QStringLiteral("50.0"));
    EXPECT_EQ(dialog.m_strRight, QStringLiteral("49.9"));
    EXPECT_EQ(dialog.m_strTop, QStringLiteral("69.9"));
    EXPECT_EQ(dialog.m_strBottom, QStringLiteral("0.0"));
}

TEST_F(PrintTrimmingDialog, OneTenthBeyondTheLimitIsRefusedAndTheDialogStays)
{
    const int code = RunDialog(
        dialog,
        [&] {
            Type(CPrintTrimSettingDlg::kIdLeft, QStringLiteral("50.0"));
            Type(CPrintTrimSettingDlg::kIdRight, QStringLiteral("50.0"));
            PressOk();
            EXPECT_TRUE(dialog.isVisible());
            ASSERT_EQ(sink.messages.size(), 1u);
            EXPECT_EQ(sink.messages[0].stringId, kStrTrimTooLarge);
        },
        "2");
    EXPECT_EQ(code, kDialogCancel);
    // Nothing of the refused input reaches the caller.
    EXPECT_EQ(dialog.m_strLeft, QStringLiteral("0.0"));
    EXPECT_EQ(dialog.m_strRight, QStringLiteral("0.0"));
}

TEST_F(PrintTrimmingDialog, ANegativeBottomIsReportedAfterTheOthersWereFoundValid)
{
    RunDialog(
        dialog,
        [&] {
            Type(CPrintTrimSettingDlg::kIdLeft, QStringLiteral("5.0"));
            Type(CPrintTrimSettingDlg::kIdTop, QStringLiteral("5.0"));
            Type(CPrintTrimSettingDlg::kIdRight, QStringLiteral("5.0"));
            Type(CPrintTrimSettingDlg::kIdBottom, QStringLiteral("-0.1"));
            Edit(CPrintTrimSettingDlg::kIdLeft)->setFocus();
            PressOk();
            ASSERT_EQ(sink.messages.size(), 1u);
            EXPECT_EQ(sink.messages[0].stringId, kStrTrimNotPositive);
            CMyEdit* bottom = Edit(CPrintTrimSettingDlg::kIdBottom);
            EXPECT_EQ(QApplication::focusWidget(), bottom);
            EXPECT_EQ(bottom->selectedText(), QStringLiteral("-0.1"));
            EXPECT_TRUE(dialog.isVisible());
        },
        "2");
}

TEST_F(PrintTrimmingDialog, EachMaximumFollowsTheOppositeValue)
{
    dialog.m_strLeft = QStringLiteral("10.0");
    dialog.m_strTop = QStringLiteral("60.0");
    dialog.m_strBottom = QStringLiteral("20.0"); // already more than the top leaves
    RunDialog(
        dialog,
        [&] {
            CUpDown* leftSpin = Spin(CPrintTrimSettingDlg::kIdLeftSpin);
            CUpDown* rightSpin = Spin(CPrintTrimSettingDlg::kIdRightSpin);
            // Opening: each side's maximum is its limit less the opposite.
            EXPECT_EQ(leftSpin->GetPos(), 100);
            EXPECT_EQ(leftSpin->GetUpper(), 999);
            EXPECT_EQ(rightSpin->GetUpper(), 899);
            EXPECT_EQ(Edit(CPrintTrimSettingDlg::kIdRight)->Maximum, 899);
            EXPECT_EQ(Edit(CPrintTrimSettingDlg::kIdTop)->Maximum, 499);
            EXPECT_EQ(Edit(CPrintTrimSettingDlg::kIdBottom)->Maximum, 99);

            // A spin step shows in its edit and narrows the opposite side.
            leftSpin->Step(+1);
            EXPECT_EQ(Edit(CPrintTrimSettingDlg::kIdLeft)->text(), QStringLiteral("10.1"));
            EXPECT_EQ(rightSpin->GetUpper(), 898);

            // A typed value moves its spin and narrows the opposite side.
            Type(CPrintTrimSettingDlg::kIdRight, QStringLiteral("30.57"));
            EXPECT_EQ(rightSpin->GetPos(), 305);
            EXPECT_EQ(leftSpin->GetUpper(), 694);
            EXPECT_EQ(Edit(CPrintTrimSettingDlg::kIdLeft)->Maximum, 694);

            // The arrow keys stop at the narrowed maximum.
            Type(CPrintTrimSettingDlg::kIdLeft, QStringLiteral("69.3"));
            QTest::keyClick(Edit(CPrintTrimSettingDlg::kIdLeft), Qt::Key_Up);
            QTest::keyClick(Edit(CPrintTrimSettingDlg::kIdLeft), Qt::Key_Up);
            EXPECT_EQ(Edit(CPrintTrimSettingDlg::kIdLeft)->text(), QStringLiteral("69.4"));
            EXPECT_EQ(rightSpin->GetUpper(), 305);
        },
        "2");
}

TEST_F(PrintTrimmingDialog, ResetGivesEitherSideOfAPairTheWholeLimit)
{
    dialog.m_strLeft = QStringLiteral("40.0");
    dialog.m_strRight = QStringLiteral("40.0");
    dialog.m_strTop = QStringLiteral("1.0");
    dialog.m_strBottom = QStringLiteral("2.0");
    const int code = RunDialog(
        dialog,
        [&] {
            Child<QPushButton>(dialog, "11253")->click();
            for (int id : {CPrintTrimSettingDlg::kIdLeft, CPrintTrimSettingDlg::kIdRight,
                           CPrintTrimSettingDlg::kIdTop, CPrintTrimSettingDlg::kIdBottom})
                EXPECT_EQ(Edit(id)->text(), QStringLiteral("0.0")) << id;
            for (int id : {CPrintTrimSettingDlg::kIdLeftSpin, CPrintTrimSettingDlg::kIdRightSpin})
            {
                EXPECT_EQ(Spin(id)->GetPos(), 0);
                EXPECT_EQ(Spin(id)->GetUpper(), 999);
            }
            EXPECT_EQ(Spin(CPrintTrimSettingDlg::kIdBottomSpin)->GetUpper(), 699);
            Type(CPrintTrimSettingDlg::kIdRight, QStringLiteral("99.8"));
            QTest::keyClick(Edit(CPrintTrimSettingDlg::kIdRight), Qt::Key_Up);
            EXPECT_EQ(Edit(CPrintTrimSettingDlg::kIdRight)->text(), QStringLiteral("99.9"));
            EXPECT_EQ(Spin(CPrintTrimSettingDlg::kIdLeftSpin)->GetUpper(), 0);
        },
        "1");
    EXPECT_EQ(code, kDialogOk);
    EXPECT_EQ(dialog.m_strRight, QStringLiteral("99.9"));
    EXPECT_EQ(dialog.m_strLeft, QStringLiteral("0.0"));
}

} // namespace
