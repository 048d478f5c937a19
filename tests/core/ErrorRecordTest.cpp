#include "core/ErrorRecord.h"
#include "core/SplitRect.h"

#include "tests/support/RecordingMessageSink.h"

#include <gtest/gtest.h>

#include <cerrno>

using testsupport::RecordingMessageSink;

namespace {

class ErrorRecordTest : public ::testing::Test
{
protected:
    void SetUp() override { ClearErrorFiles(); }
    void TearDown() override { ClearErrorFiles(); }
};

TEST_F(ErrorRecordTest, RecordsOnlyWhileARecorderLives)
{
    AddErrorFile("/before");
    EXPECT_TRUE(GetErrorFiles().empty());
    {
        CRecordErrorFile recorder;
        EXPECT_TRUE(IsRecordingErrorFiles());
        AddErrorFile("/a.png");
        AddErrorFile("/B.png");
    }
    EXPECT_FALSE(IsRecordingErrorFiles());
    AddErrorFile("/after");
    EXPECT_EQ(GetErrorFiles(), (std::vector<std::string>{"/a.png", "/B.png"}));
}

TEST_F(ErrorRecordTest, NewRecorderStartsWithAnEmptyList)
{
    {
        CRecordErrorFile recorder;
        AddErrorFile("/old");
    }
    CRecordErrorFile recorder;
    EXPECT_TRUE(GetErrorFiles().empty());
}

TEST_F(ErrorRecordTest, ShowErrorFilesPicksTheMessageByCountAndEmptiesTheList)
{
    struct Case
    {
        std::vector<std::string> files;
        int expectedId; // 0: no message
        std::string expectedArg;
    };
    const Case cases[] = {
        {{}, 0, ""},
        {{"/img/one.png"}, kStrErrorFileOne, "/img/one.png"},
        {{"/a", "/b", "/c"}, kStrErrorFileMany, "3"},
    };
    for (const Case& c : cases)
    {
        RecordingMessageSink sink;
        {
            CRecordErrorFile recorder;
            for (const std::string& f : c.files)
                AddErrorFile(f);
        }
        ShowErrorFiles();
        if (c.expectedId == 0)
        {
            EXPECT_TRUE(sink.messages.empty());
        }
        else
        {
            ASSERT_EQ(sink.messages.size(), 1u);
            EXPECT_EQ(sink.messages[0].stringId, c.expectedId);
            EXPECT_EQ(sink.messages[0].args, std::vector<std::string>{c.expectedArg});
            EXPECT_EQ(sink.messages[0].buttons, MessageButtons::Ok);
        }
        EXPECT_TRUE(GetErrorFiles().empty());
    }
}

TEST_F(ErrorRecordTest, LastErrorBoxShowsTheSystemText)
{
    RecordingMessageSink sink;
    ShowLastErrorBox(ENOENT);
    errno = EACCES;
    ShowLastErrorBox();
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[0].stringId, kStrSystemErrorText);
    EXPECT_EQ(sink.messages[0].args.at(0), "No such file or directory");
    EXPECT_EQ(sink.messages[1].args.at(0), "Permission denied");
}

TEST(SplitRectTest, TilesCoverTheRectangleRowByRow)
{
    struct Case
    {
        int tileW, tileH;
        CRect rect;
        int count;
        int lastIndex;
        CRect last;
    };
    const Case cases[] = {
        {256, 256, {0, 0, 300, 100}, 2, 1, {256, 0, 300, 100}},
        {256, 256, {0, 0, 256, 256}, 1, 0, {0, 0, 256, 256}},
        {128, 64, {0, 0, 300, 130}, 9, 8, {256, 128, 300, 130}},
        {128, 64, {0, 0, 300, 130}, 9, 3, {0, 64, 128, 128}},
        {256, 256, {0, 0, 1, 1}, 1, 0, {0, 0, 1, 1}},
    };
    for (const Case& c : cases)
    {
        CSplitRect split(c.tileW, c.tileH);
        split.SetRect(c.rect);
        EXPECT_EQ(split.GetTileCount(), c.count);
        CRect tile;
        ASSERT_TRUE(split.GetTile(c.lastIndex, tile));
        EXPECT_EQ(tile, c.last);
    }
}

TEST(SplitRectTest, TilesPartitionTheArea)
{
    CSplitRect split(128, 64);
    split.SetRect({0, 0, 1000, 333});
    long long area = 0;
    CRect tile;
    for (int k = 0; k < split.GetTileCount(); ++k)
    {
        ASSERT_TRUE(split.GetTile(k, tile));
        EXPECT_FALSE(tile.IsRectEmpty());
        area += static_cast<long long>(tile.Width()) * tile.Height();
    }
    EXPECT_EQ(area, 1000 * 333);
    EXPECT_FALSE(split.GetTile(split.GetTileCount(), tile));
    EXPECT_FALSE(split.GetTile(-1, tile));
}

TEST(SplitRectTest, EmptyRectangleHasNoTilesAndFlagsAreClearedBySetRect)
{
    CSplitRect split(256, 256);
    split.SetRect({0, 0, 0, 100});
    EXPECT_EQ(split.GetTileCount(), 0);

    split.SetRect({0, 0, 600, 300});
    split.SetTileDone(3);
    EXPECT_TRUE(split.IsTileDone(3));
    EXPECT_FALSE(split.IsTileDone(2));
    split.SetRect({0, 0, 600, 300});
    EXPECT_FALSE(split.IsTileDone(3));
}

TEST(SplitMultiStringTest, Cases)
{
    struct Case
    {
        std::string text; // with its embedded zeros
        std::size_t length;
        std::vector<std::string> expected;
    };
    using namespace std::string_literals;
    const Case cases[] = {
        {"ab\0cde\0\0"s, 8, {"ab", "cde"}},
        // Stops at the first empty string although the length says more.
        {"ab\0\0cd\0\0"s, 8, {"ab"}},
        // The length ends the list first.
        {"ab\0cd\0\0"s, 3, {"ab"}},
        // A string cut by the length.
        {"abcdef\0\0"s, 4, {"abcd"}},
        {"\0"s, 1, {}},
        {"ab\0"s, 0, {}},
    };
    for (const Case& c : cases)
    {
        std::vector<std::string> out{"stale"};
        SplitMultiString(out, c.text.data(), c.length);
        EXPECT_EQ(out, c.expected) << "length " << c.length;
    }
}

TEST(ScreenDpiScaleTest, DefaultsToOneAndKeepsWhatIsSet)
{
    EXPECT_DOUBLE_EQ(GetScreenDpiScaleX(), 1.0);
    SetScreenDpiScale(120.0 / 96.0, 144.0 / 96.0);
    EXPECT_DOUBLE_EQ(GetScreenDpiScaleX(), 1.25);
    EXPECT_DOUBLE_EQ(GetScreenDpiScaleY(), 1.5);
    SetScreenDpiScale(1.0, 1.0);
}

} // namespace
