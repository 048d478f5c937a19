// The splitter's view stacks: every view made once, exactly one shown per
// pane, and a failed show leaving the pane as it was.

#include "app/shell/MySplitterWnd.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QStackedWidget>

#include <tuple>
#include <vector>

namespace {

class SplitterTest : public testing::Test
{
protected:
    // A factory that counts what it makes and can be told to fail.
    CViewParam::Factory Maker(int id)
    {
        return [this, id](QWidget* parent) -> QWidget* {
            if (failing)
                return nullptr;
            made.push_back(id);
            return new QLabel(QString::number(id), parent);
        };
    }

    void SetUp() override
    {
        ASSERT_TRUE(splitter.CreateStatic(1, 2));
        ASSERT_TRUE(splitter.CreateViews(0, 1, {Maker(0), Maker(1), Maker(2)}));
    }

    // The view the pane shows.
    QWidget* Shown(int col) const { return splitter.GetPane(0, col)->currentWidget(); }

    CMySplitterWnd splitter;
    std::vector<int> made;
    bool failing = false;
};

TEST_F(SplitterTest, EveryViewIsMadeOnceAndIndexZeroEndsShown)
{
    EXPECT_EQ(made, (std::vector<int>{1, 2, 0}));
    EXPECT_EQ(splitter.GetActiveIndex(0, 1), 0);
    EXPECT_EQ(Shown(1), splitter.GetView(0, 1, 0));
    EXPECT_EQ(splitter.GetActiveIndex(0, 0), -1);
    EXPECT_EQ(splitter.count(), 2);

    ASSERT_TRUE(splitter.ShowView(0, 1, 2));
    ASSERT_TRUE(splitter.ShowView(0, 1, 2)); // the shown one again
    ASSERT_TRUE(splitter.ShowView(0, 1, 1));
    EXPECT_EQ(made.size(), 3u);
    EXPECT_EQ(splitter.GetActiveIndex(0, 1), 1);
    EXPECT_EQ(Shown(1), splitter.GetView(0, 1, 1));
}

TEST_F(SplitterTest, AnIndexOutsideTheStackChangesNothing)
{
    ASSERT_TRUE(splitter.ShowView(0, 1, 2));
    for (const auto& [row, col, index] : std::vector<std::tuple<int, int, int>>{
             {0, 1, 3}, {0, 1, -1}, {0, 0, 0}, {1, 1, 0}, {0, 2, 0}, {-1, 0, 0}})
    {
        EXPECT_FALSE(splitter.ShowView(row, col, index)) << row << "," << col << "," << index;
        EXPECT_EQ(splitter.GetActiveIndex(0, 1), 2);
        EXPECT_EQ(Shown(1), splitter.GetView(0, 1, 2));
    }
    EXPECT_EQ(splitter.GetView(0, 1, 3), nullptr);
    EXPECT_EQ(splitter.GetView(2, 0, 0), nullptr);
}

TEST(SplitterCreation, AFailedCreationKeepsTheShownView)
{
    CMySplitterWnd splitter;
    ASSERT_TRUE(splitter.CreateStatic(1, 2));
    bool failing = false;
    int calls = 0;
    auto lazy = [&](QWidget* parent) -> QWidget* {
        ++calls;
        return failing ? nullptr : new QLabel(QStringLiteral("lazy"), parent);
    };
    // A view whose creation fails at first is made when it is shown later.
    failing = true;
    EXPECT_TRUE(splitter.CreateViews(0, 0, {[](QWidget* p) { return new QLabel(p); }, lazy}));
    QWidget* first = splitter.GetView(0, 0, 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(splitter.GetView(0, 0, 1), nullptr);

    EXPECT_FALSE(splitter.ShowView(0, 0, 1));
    EXPECT_EQ(splitter.GetActiveIndex(0, 0), 0);
    EXPECT_EQ(splitter.GetPane(0, 0)->currentWidget(), first);
    EXPECT_EQ(splitter.GetPane(0, 0)->count(), 1);

    failing = false;
    EXPECT_TRUE(splitter.ShowView(0, 0, 1));
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(splitter.GetActiveIndex(0, 0), 1);
    EXPECT_EQ(splitter.GetPane(0, 0)->currentWidget(), splitter.GetView(0, 0, 1));
}

TEST(SplitterCreation, PanesAreFixedOnce)
{
    CMySplitterWnd splitter;
    EXPECT_FALSE(splitter.CreateStatic(2, 2)); // a QSplitter has one direction
    EXPECT_FALSE(splitter.CreateStatic(0, 2));
    EXPECT_TRUE(splitter.CreateStatic(1, 2));
    EXPECT_FALSE(splitter.CreateStatic(1, 3));
    EXPECT_EQ(splitter.count(), 2);
    EXPECT_FALSE(splitter.childrenCollapsible());
}

} // namespace
