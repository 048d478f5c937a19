#include "controls/widgets/UpDown.h"

#include "tests/controls/NotifySpy.h"

#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

constexpr int kMessage = 0x4C8;

TEST(UpDown, ClickStepsOnPressAndEndsOnRelease)
{
    CUpDown upDown;
    upDown.setNotifyMessage(kMessage);
    upDown.SetRange(0, 10);
    upDown.SetPos(5);
    upDown.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&upDown));
    QSignalSpy spy(&upDown, &CUpDown::notify);

    QTest::mouseClick(upDown.UpButton(), Qt::LeftButton);
    QTest::mouseClick(upDown.DownButton(), Qt::LeftButton);
    QTest::mouseClick(upDown.DownButton(), Qt::LeftButton);

    const std::vector<Notification> expected = {
        {kMessage, CUpDown::kThumbPosition, 6}, {kMessage, CUpDown::kEndScroll, 6},
        {kMessage, CUpDown::kThumbPosition, 5}, {kMessage, CUpDown::kEndScroll, 5},
        {kMessage, CUpDown::kThumbPosition, 4}, {kMessage, CUpDown::kEndScroll, 4},
    };
    EXPECT_EQ(Notifications(spy), expected);
}

TEST(UpDown, EndsStopOrWrapAndProgramWritesAreQuiet)
{
    struct Case
    {
        bool wrap;
        int start;
        int direction;
        int expected;
    };
    const Case cases[] = {
        {false, 10, +1, 10}, {false, 0, -1, 0}, {true, 10, +1, 0}, {true, 0, -1, 10}, {false, 3, +1, 4},
    };
    for (const Case& c : cases)
    {
        CUpDown upDown;
        upDown.setNotifyMessage(kMessage);
        upDown.SetRange(0, 10);
        upDown.SetWrap(c.wrap);
        QSignalSpy spy(&upDown, &CUpDown::notify);
        upDown.SetPos(c.start);
        EXPECT_EQ(spy.count(), 0);
        upDown.Step(c.direction);
        EXPECT_EQ(upDown.GetPos(), c.expected) << c.wrap << " " << c.start << " " << c.direction;
        // An end that does not move still reports the step.
        EXPECT_EQ(spy.count(), 1);
    }
    CUpDown clamped;
    clamped.SetRange(50, 4000);
    clamped.SetPos(9999);
    EXPECT_EQ(clamped.GetPos(), 4000);
    clamped.SetRange(4000, 50); // given the wrong way round
    EXPECT_EQ(clamped.GetLower(), 50);
}

} // namespace
