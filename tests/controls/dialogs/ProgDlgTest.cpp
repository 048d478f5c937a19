#include "controls/dialogs/ProgDlg.h"

#include "controls/support/StringTable.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

TEST(ProgDlgLogicTest, PercentOfTheRange)
{
    struct Case
    {
        std::int64_t position, low, high;
        int percent;
    };
    const Case cases[] = {
        {0, 0, 100, 0},
        {50, 0, 100, 50},
        {100, 0, 100, 100},
        {3, 0, 7, 42},
        {15, 10, 20, 50},
        {20, 10, 20, 100},
        {150, 0, 100, 50}, // past the end wraps
        {5, 5, 5, 0},
        {0, 0, 0, 0}, // a zero range shows 0
        {-50, 0, 100, -50},
        {2147483647, 0, 2147483647, 100},
        {1073741823, 0, 2147483647, 49},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProgressPercent(c.position, c.low, c.high), c.percent)
            << c.position << " in " << c.low << ".." << c.high;
}

TEST(ProgDlgLogicTest, StepStartsOverPastTheEnd)
{
    struct Case
    {
        int position, step, low, high;
        int next;
    };
    const Case cases[] = {
        {0, 10, 0, 100, 10},  {90, 10, 0, 100, 100}, {100, 10, 0, 100, 10}, {95, 10, 0, 100, 5},
        {5, -10, 0, 100, 95}, {3, 1, 3, 3, 3},       {0, 1, 0, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProgressStep(c.position, c.step, c.low, c.high), c.next)
            << c.position << " + " << c.step << " in " << c.low << ".." << c.high;
}

class ProgDlgTest : public testing::Test
{
protected:
    void SetUp() override
    {
        owner = std::make_unique<QMainWindow>();
        ownerButton = new QPushButton(QStringLiteral("owner"), owner.get());
        owner->setCentralWidget(ownerButton);
        owner->resize(300, 200);
        owner->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(owner.get()));
    }

    QLabel* Percent(const CProgDlg& dialog)
    {
        return dialog.findChild<QLabel*>(QStringLiteral("1004"));
    }
    QProgressBar* Bar(const CProgDlg& dialog)
    {
        return dialog.findChild<QProgressBar*>(QStringLiteral("1003"));
    }

    // A click that comes through the window system, as the user's would,
    // so that a window blocked by a modal one does not receive it.
    static void UserClick(QWidget* button)
    {
        QTest::mouseClick(button->window()->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                          button->mapTo(button->window(), button->rect().center()));
    }

    std::unique_ptr<QMainWindow> owner;
    QPushButton* ownerButton = nullptr;
};

TEST_F(ProgDlgTest, CreateShowsTheBarAtItsStartAndTheCaption)
{
    CProgDlg dialog(2107, ownerButton);
    EXPECT_EQ(dialog.RangeMin, 0);
    EXPECT_EQ(dialog.RangeMax, 100);
    EXPECT_EQ(dialog.StepSize, 10);
    EXPECT_FALSE(dialog.Cancelled);
    EXPECT_FALSE(dialog.isVisible()); // constructed, not yet shown
    ASSERT_TRUE(dialog.Create());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.windowTitle(), LoadString(2107));
    ASSERT_NE(Bar(dialog), nullptr);
    ASSERT_NE(Percent(dialog), nullptr);
    ASSERT_NE(dialog.findChild<QPushButton*>(QStringLiteral("2")), nullptr);
    EXPECT_EQ(Bar(dialog)->value(), 0);
    EXPECT_EQ(Percent(dialog)->text(), QStringLiteral(" 0 %"));
    EXPECT_EQ(dialog.windowModality(), Qt::WindowModal);
    EXPECT_TRUE(dialog.ParentDisabled);
}

TEST_F(ProgDlgTest, EnterAndEscCloseNothingAndOnlyCancelAsks)
{
    CProgDlg dialog(2104, owner.get());
    dialog.Create();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));

    QTest::keyClick(&dialog, Qt::Key_Return);
    QTest::keyClick(dialog.findChild<QPushButton*>(QStringLiteral("2")), Qt::Key_Enter);
    EXPECT_FALSE(dialog.Cancelled);
    EXPECT_TRUE(dialog.isVisible());

    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.Cancelled);
    EXPECT_TRUE(dialog.isVisible());

    dialog.Cancelled = false;
    EXPECT_FALSE(dialog.close());
    EXPECT_TRUE(dialog.Cancelled);
    EXPECT_TRUE(dialog.isVisible());

    dialog.Cancelled = false;
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("2")), Qt::LeftButton);
    EXPECT_TRUE(dialog.Cancelled);
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(ProgDlgTest, PositionStepsAndPercentText)
{
    CProgDlg dialog(0, owner.get());
    dialog.Create();
    EXPECT_TRUE(dialog.windowTitle().isEmpty());
    dialog.SetRange(0, 8);
    dialog.SetStep(1);
    dialog.SetPos(0);
    EXPECT_EQ(Percent(dialog)->text(), QStringLiteral("0 %"));
    for (int i = 0; i < 3; ++i)
        dialog.StepIt();
    EXPECT_EQ(dialog.GetPos(), 3);
    EXPECT_EQ(Bar(dialog)->value(), 3);
    EXPECT_EQ(Percent(dialog)->text(), QStringLiteral("37 %"));
    dialog.SetPos(8);
    EXPECT_EQ(Percent(dialog)->text(), QStringLiteral("100 %"));

    dialog.SetRange(4, 4);
    dialog.SetPos(4);
    EXPECT_EQ(Percent(dialog)->text(), QStringLiteral("0 %"));
}

TEST_F(ProgDlgTest, SinkMovesTheBarAndAnswersFalseOnceCancelled)
{
    CProgDlg dialog(2104, owner.get());
    dialog.Create();
    CProgDlgSink percent(dialog, ProgressUnit::Percent);
    CProgDlgSink fraction(dialog, ProgressUnit::Fraction);
    Progress progress(percent);

    EXPECT_TRUE(progress.Report(25.0));
    EXPECT_EQ(Bar(dialog)->value(), 25);
    EXPECT_EQ(Percent(dialog)->text(), QStringLiteral("25 %"));
    EXPECT_TRUE(Progress(fraction).Report(0.5));
    EXPECT_EQ(Bar(dialog)->value(), 50);
    EXPECT_TRUE(progress.Report(std::int64_t{3}, std::int64_t{4}));
    EXPECT_EQ(Bar(dialog)->value(), 75);
    EXPECT_TRUE(progress.Report(std::int64_t{1}, std::int64_t{0})); // all of nothing
    EXPECT_EQ(Bar(dialog)->value(), 100);
    EXPECT_TRUE(progress.Report(-5.0));
    EXPECT_EQ(Bar(dialog)->value(), 0);

    // A press of Cancel that waits in the event queue is seen by the next
    // report, which lets the queue run.
    auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("2"));
    QMetaObject::invokeMethod(
        cancel, [cancel] { cancel->click(); }, Qt::QueuedConnection);
    EXPECT_FALSE(progress.Report(60.0));
    EXPECT_TRUE(dialog.Cancelled);
    EXPECT_FALSE(progress.Report(70.0));
}

TEST_F(ProgDlgTest, DestroyingTheDialogEndsTheModality)
{
    QSignalSpy ownerClicks(ownerButton, &QPushButton::clicked);
    {
        CProgDlg dialog(2104, ownerButton);
        dialog.Create();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        EXPECT_EQ(QApplication::activeModalWidget(), &dialog);
        UserClick(ownerButton);
        EXPECT_TRUE(ownerClicks.empty()); // the owner takes no input
    }
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(owner->isEnabled());
    UserClick(ownerButton);
    EXPECT_EQ(ownerClicks.size(), 1);
}

TEST_F(ProgDlgTest, OwnerDisabledBeforeStaysDisabled)
{
    owner->setEnabled(false);
    {
        CProgDlg dialog(2104, owner.get());
        dialog.Create();
        EXPECT_FALSE(dialog.ParentDisabled);
    }
    EXPECT_FALSE(owner->isEnabled());
}

TEST_F(ProgDlgTest, TheDialogItselfTakesInputWhileItsOwnerIsBlocked)
{
    // The dialog is a child of the owner: disabling the owner would disable
    // it too, which window modality does not.
    CProgDlg dialog(2104, ownerButton);
    dialog.Create();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_TRUE(dialog.isEnabled());
    UserClick(dialog.findChild<QPushButton*>(QStringLiteral("2")));
    EXPECT_TRUE(dialog.Cancelled);
}

TEST_F(ProgDlgTest, WithoutAnOwnerNothingIsBlocked)
{
    CProgDlg dialog(2104);
    dialog.Create();
    EXPECT_EQ(dialog.windowModality(), Qt::NonModal);
    EXPECT_FALSE(dialog.ParentDisabled);
    QSignalSpy clicks(ownerButton, &QPushButton::clicked);
    UserClick(ownerButton);
    EXPECT_EQ(clicks.size(), 1);
}

} // namespace
