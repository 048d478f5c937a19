// The chosen-colour point list (rows, their reports through the list,
// one active row, keys, scrolling by rows and by wheel notches) and the
// variation dialog's live reports.

#include "controls/widgets/ColorChangeList.h"
#include "controls/dialogs/HendouCustomDlg.h"
#include "controls/widgets/ColorPatchCtrl.h"
#include "controls/widgets/WheelSteps.h"

#include "tests/controls/NotifySpy.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <limits>
#include <tuple>
#include <vector>

namespace {

// The panel's numbering: row i reports on 1729 + i (source), 1739 + i
// (target), 1749 + i (">"), 1759 + i ("設定..."), 1769 + i (check box).
constexpr int kActivation = 0x6C0;

void Number(CColorChangeSubList& list)
{
    for (int i = 0; i < CColorChangeSubList::kRowCount; ++i)
    {
        CColorChangeSubElement* row = list.Rows[i];
        row->SetSourcePatchMessage(1729 + i);
        row->SetTargetPatchMessage(1739 + i);
        row->ArrowMessage = 1749 + i;
        row->SettingsMessage = 1759 + i;
        row->CheckMessage = 1769 + i;
        row->ActivationMessage = kActivation;
    }
}

std::vector<int> ActiveFlags(const CColorChangeSubList& list)
{
    std::vector<int> rows;
    for (int i = 0; i < CColorChangeSubList::kRowCount; ++i)
        if (list.Rows[i]->Active)
            rows.push_back(i);
    return rows;
}

// Counts the key events that reach a widget.
class KeyCounter : public QObject
{
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress)
            ++presses;
        if (event->type() == QEvent::KeyRelease)
            ++releases;
        return false;
    }
    int presses = 0;
    int releases = 0;
};

TEST(WheelSteps, OneStepPerNotchOfAccumulatedTurn)
{
    struct Case
    {
        std::vector<int> deltas;
        int steps;
    };
    const Case cases[] = {
        {{120}, 1},
        {{-120}, -1},
        {{119}, 0},
        {{40, 40, 40}, 1},
        {{40, 40}, 0},
        {{-40, -40, -40}, -1},
        {{360}, 3},
        {{100, 100}, 1},
        // Turning back drops what was gathered the other way.
        {{100, -100}, 0},
        {{100, -120}, -1},
    };
    for (const Case& c : cases)
    {
        WheelSteps wheel;
        int steps = 0;
        for (int delta : c.deltas)
            steps += wheel.Add(delta);
        EXPECT_EQ(steps, c.steps) << ::testing::PrintToString(c.deltas);
    }
}

TEST(SubListScroll, RangeAndPageInWholeRows)
{
    struct Case
    {
        int rowHeight;
        int clientHeight;
        int range;
        int page;
    };
    const Case cases[] = {
        {30, 90, 210, 90},  {30, 100, 200, 90}, {30, 300, 0, 300},
        {30, 400, 0, 390},  {30, 20, 280, 0},   {0, 100, 0, 0},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(SubListScrollRange(c.rowHeight, c.clientHeight), c.range) << c.clientHeight;
        EXPECT_EQ(SubListPageStep(c.rowHeight, c.clientHeight), c.page) << c.clientHeight;
    }
}

class ColorChangeListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Number(list);
        list.resize(400, 3 * list.RowHeight());
        list.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
        list.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&list));
    }

    CColorChangeSubList list;
};

TEST_F(ColorChangeListTest, RowsAreNumberedAndStackedWithoutGaps)
{
    for (int i = 0; i < CColorChangeSubList::kRowCount; ++i)
    {
        EXPECT_EQ(list.Rows[i]->Number->text(), QString::number(i + 1));
        EXPECT_EQ(list.Rows[i]->y(), i * list.RowHeight()) << i;
    }
    EXPECT_EQ(list.verticalScrollBar()->maximum(),
              SubListScrollRange(list.RowHeight(), list.viewport()->height()));
}

TEST_F(ColorChangeListTest, CheckBoxReportsWithoutActivating)
{
    list.Rows[7]->Activate();
    QSignalSpy spy(&list, &CColorChangeSubList::notify);
    list.Rows[3]->Check->click();
    list.Rows[3]->Check->click();
    const std::vector<Notification> expected = {{1772, 1, 3}, {1772, 0, 3}};
    EXPECT_EQ(Notifications(spy), expected);
    EXPECT_EQ(ActiveFlags(list), std::vector<int>{7});
}

TEST_F(ColorChangeListTest, ActivatingARowClearsTheOtherAndReportsOnce)
{
    list.Rows[2]->Activate();
    QSignalSpy spy(&list, &CColorChangeSubList::notify);
    list.Rows[5]->Activate();
    list.Rows[5]->Activate();
    const std::vector<Notification> expected = {{kActivation, 0, 5}};
    EXPECT_EQ(Notifications(spy), expected);
    EXPECT_EQ(ActiveFlags(list), std::vector<int>{5});
    EXPECT_EQ(list.ActiveRow(), 5);
    EXPECT_TRUE(list.Rows[5]->SourcePatch->hasFocus());
}

TEST_F(ColorChangeListTest, RowEventsReachThePanelWithTheRowIndex)
{
    CColorChangeSubElement* row = list.Rows[1];
    QSignalSpy spy(&list, &CColorChangeSubList::notify);
    row->Arrow->click();
    row->Settings->click();
    QTest::mousePress(row->TargetPatch, Qt::LeftButton);
    QTest::mouseRelease(row->TargetPatch, Qt::LeftButton);
    QTest::mousePress(list.Rows[2]->SourcePatch, Qt::LeftButton);
    QTest::mouseRelease(list.Rows[2]->SourcePatch, Qt::LeftButton);
    const std::vector<Notification> expected = {
        {kActivation, 0, 1}, {1750, 0, 1}, {1760, 0, 1}, {1740, 1, 1}, {1740, 2, 1},
        {kActivation, 0, 2}, {1731, 1, 2}, {1731, 2, 2},
    };
    EXPECT_EQ(Notifications(spy), expected);
    EXPECT_EQ(ActiveFlags(list), std::vector<int>{2});
}

TEST_F(ColorChangeListTest, AZeroMessageIsNotSent)
{
    CColorChangeSubElement* row = list.Rows[4];
    row->ArrowMessage = 0;
    row->ActivationMessage = 0;
    row->CheckMessage = 0;
    row->SetTargetPatchMessage(0);
    QSignalSpy spy(&list, &CColorChangeSubList::notify);
    row->Arrow->click();
    row->Check->click();
    QTest::mouseClick(row->TargetPatch, Qt::LeftButton);
    EXPECT_TRUE(spy.isEmpty());
    // The row still became the only active one.
    EXPECT_EQ(ActiveFlags(list), std::vector<int>{4});
}

TEST_F(ColorChangeListTest, ClickOnTheRowItselfActivatesIt)
{
    CColorChangeSubElement* row = list.Rows[0];
    QSignalSpy spy(&list, &CColorChangeSubList::notify);
    QTest::mouseClick(row, Qt::LeftButton, {}, QPoint(row->width() - 3, row->height() / 2));
    EXPECT_EQ(Notifications(spy), (std::vector<Notification>{{kActivation, 0, 0}}));
}

TEST_F(ColorChangeListTest, ActiveRowDrawsItsFrame)
{
    CColorChangeSubElement* row = list.Rows[0];
    const QPoint leftEdge(1, row->height() / 2);
    const QColor frame(64, 160, 255);
    QImage inactive(row->size(), QImage::Format_RGB32);
    row->render(&inactive);
    EXPECT_NE(inactive.pixelColor(leftEdge), frame);
    row->Activate();
    QImage active(row->size(), QImage::Format_RGB32);
    row->render(&active);
    EXPECT_EQ(active.pixelColor(leftEdge), frame);
    EXPECT_EQ(active.pixelColor(row->width() / 2, 1), frame);
}

TEST_F(ColorChangeListTest, KeysInARowReachTheListOnce)
{
    KeyCounter counter;
    list.installEventFilter(&counter);
    list.Rows[3]->Activate();
    ASSERT_TRUE(list.Rows[3]->SourcePatch->hasFocus());
    QTest::keyClick(list.Rows[3]->SourcePatch, Qt::Key_A);
    EXPECT_EQ(counter.presses, 1);
    EXPECT_EQ(counter.releases, 1);
    list.removeEventFilter(&counter);
}

TEST_F(ColorChangeListTest, WheelStepsOneRowPerNotch)
{
    const int rowHeight = list.RowHeight();
    auto turn = [this](int delta) {
        QWheelEvent event(QPointF(10, 10), list.mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(list.viewport(), &event);
    };
    turn(-119);
    EXPECT_EQ(list.ScrollPosition(), 0);
    turn(-1);
    EXPECT_EQ(list.ScrollPosition(), rowHeight);
    turn(-40);
    turn(-40);
    turn(-40);
    EXPECT_EQ(list.ScrollPosition(), 2 * rowHeight);
    turn(120);
    EXPECT_EQ(list.ScrollPosition(), rowHeight);
    // Without an active row the list takes the focus after a scroll.
    EXPECT_TRUE(list.hasFocus());
}

TEST_F(ColorChangeListTest, ScrollKeepsTheFocusInTheActiveRow)
{
    list.Rows[1]->Activate();
    list.Rows[1]->Settings->setFocus();
    list.verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(list.ScrollPosition(), 3 * list.RowHeight());
    EXPECT_TRUE(list.Rows[1]->Settings->hasFocus());
    list.setFocus();
    list.verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_TRUE(list.Rows[1]->SourcePatch->hasFocus());
}

TEST(SubListScroll, ClientTallerThanTenRowsDoesNotScroll)
{
    CColorChangeSubList list;
    list.resize(400, 11 * list.RowHeight());
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    EXPECT_EQ(list.verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(list.ScrollPosition(), 0);
}

TEST(HendouValues, StrengthAndRangeFromPositions)
{
    struct Case
    {
        int position;
        double strength;
        double range;
    };
    const Case cases[] = {
        {0, -1.0, 0.0}, {10, -0.5, 10.0}, {20, 0.0, 20.0}, {40, 1.0, 40.0},
        {41, 1.05, std::numeric_limits<double>::max()},
    };
    for (const Case& c : cases)
    {
        EXPECT_DOUBLE_EQ(HendouStrength(c.position), c.strength) << c.position;
        EXPECT_EQ(HendouRange(c.position), c.range) << c.position;
    }
}

class HendouCustomDlgTest : public ::testing::Test
{
protected:
    static constexpr int kStrength = 1781;
    static constexpr int kRange = 1791;

    void SetUp() override
    {
        dialog.StrengthMessage = kStrength;
        dialog.RangeMessage = kRange;
        dialog.StrengthPos = 30;
        dialog.RangePos = 41;
        Listen();
    }

    void Listen()
    {
        QObject::connect(&dialog, &CHendouCustomDlg::notify, &dialog, [this](int message, int, qint64) {
            reports.emplace_back(message, message == kStrength ? dialog.StrengthValue() : dialog.RangeValue());
        });
    }

    template <class T>
    T* Child(const char* id)
    {
        T* child = dialog.findChild<T*>(QString::fromLatin1(id));
        EXPECT_NE(child, nullptr) << id;
        return child;
    }

    CHendouCustomDlg dialog;
    std::vector<std::pair<int, double>> reports;
};

TEST_F(HendouCustomDlgTest, StartReportsBothAndShowsTheStrength)
{
    dialog.writeControls();
    const std::vector<std::pair<int, double>> expected = {
        {kStrength, 0.5}, {kRange, std::numeric_limits<double>::max()}};
    EXPECT_EQ(reports, expected);
    EXPECT_EQ(Child<QLabel>("1181")->text(), QStringLiteral("10"));
    EXPECT_TRUE(Child<QSlider>("1179")->isHidden());
    EXPECT_TRUE(Child<QLabel>("1182")->isHidden());
}

TEST_F(HendouCustomDlgTest, DragReportsOnceOnRelease)
{
    dialog.writeControls();
    reports.clear();
    auto* strength = Child<QSlider>("1178");
    strength->setSliderDown(true);
    strength->setValue(0);
    strength->setValue(5);
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(Child<QLabel>("1181")->text(), QStringLiteral("-15"));
    strength->setSliderDown(false);
    EXPECT_EQ(reports, (std::vector<std::pair<int, double>>{{kStrength, -0.75}}));
    EXPECT_FALSE(dialog.StrengthTimer);
}

TEST_F(HendouCustomDlgTest, KeyReportsAtOnceAndResetGoesBackToNeutral)
{
    int code = 0;
    QTimer::singleShot(0, &dialog, [&] {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        reports.clear();
        auto* strength = Child<QSlider>("1178");
        strength->setFocus();
        QTest::keyClick(strength, Qt::Key_End);
        Child<QPushButton>("1037")->click();
        Child<QPushButton>("2")->click();
    });
    code = dialog.exec();
    EXPECT_EQ(code, kDialogCancel);
    const std::vector<std::pair<int, double>> expected = {
        {kStrength, 1.0}, {kStrength, 0.0}, {kRange, 20.0}};
    EXPECT_EQ(reports, expected);
    EXPECT_EQ(dialog.StrengthPos, 20);
    EXPECT_EQ(dialog.RangePos, 20);
}

TEST_F(HendouCustomDlgTest, TimerReportsAThumbPositionLeftAlone)
{
    dialog.writeControls();
    reports.clear();
    auto* strength = Child<QSlider>("1178");
    {
        const QSignalBlocker blocker(strength);
        strength->setValue(40);
    }
    dialog.OnStrengthTimer();
    EXPECT_EQ(reports, (std::vector<std::pair<int, double>>{{kStrength, 1.0}}));
}

} // namespace
