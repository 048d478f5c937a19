// The main frame's rules apart from the window: zoom table, sample square,
// window size and place, registration order, drops and the frame's answer
// to each panel notification.

#include "app/shell/MainFrameLogic.h"
#include "app/panels/ViewCommon.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <set>

namespace {

TEST(MainFrameLogic, ZoomIndexGivesTheTablesFactorAndFitsOutsideIt)
{
    const struct
    {
        int index;
        double factor;
    } cases[] = {
        {1, 4.0},         {2, 3.0},        {3, 2.0},        {4, 1.5},       {5, 1.0},
        {6, 2.0 / 3.0},   {7, 0.5},        {8, 1.0 / 3.0},  {9, 0.25},      {10, 1.0 / 6.0},
        {11, 0.125},      {12, 1.0 / 16.0}, {0, 0.0},       {13, 0.0},      {-1, 0.0},
        {std::numeric_limits<int>::max(), 0.0}, {std::numeric_limits<int>::min(), 0.0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(ZoomFactorForIndex(c.index), c.factor) << c.index;
}

TEST(MainFrameLogic, SampleSideFollowsTheAverageSizeSetting)
{
    const std::map<int, int> sides = {{0, 1}, {1, 5}, {2, 10}, {3, 50}, {4, 1}, {-1, 1}};
    for (const auto& [setting, side] : sides)
        EXPECT_EQ(SampleSideForAverageSize(setting), side) << setting;
}

TEST(MainFrameLogic, PickPixelTruncatesAndSurvivesNonFinitePositions)
{
    const struct
    {
        double x, y;
        int width, height;
        CPoint pixel;
    } cases[] = {
        {0.0, 0.0, 100, 80, {0, 0}},
        {0.5, 0.5, 100, 80, {50, 40}},
        {0.999, 0.999, 100, 80, {99, 79}},
        {1.0, 1.0, 100, 80, {100, 80}}, // the far edge: the square is clipped later
        {0.123, 0.987, 7, 3, {0, 2}},
        {std::nan(""), 0.5, 100, 80, {0, 40}},
        {0.5, std::numeric_limits<double>::infinity(), 100, 80, {50, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PickPixel(c.x, c.y, c.width, c.height), c.pixel) << c.x << "," << c.y;
}

TEST(MainFrameLogic, SampleRectIsCentredWithIntegerHalvesAndClippedToTheImage)
{
    const struct
    {
        CPoint pixel;
        int side;
        int width, height;
        CRect rect;
    } cases[] = {
        {{50, 40}, 1, 100, 80, {50, 40, 51, 41}},
        {{50, 40}, 5, 100, 80, {48, 38, 53, 43}},
        {{50, 40}, 10, 100, 80, {45, 35, 55, 45}}, // even side: one further right and down
        {{50, 40}, 50, 100, 80, {25, 15, 75, 65}},
        {{0, 0}, 5, 100, 80, {0, 0, 3, 3}},        // top-left corner
        {{99, 79}, 10, 100, 80, {94, 74, 100, 80}}, // bottom-right corner
        {{100, 80}, 1, 100, 80, {}},                // past the edge: nothing to sample
        {{100, 80}, 5, 100, 80, {98, 78, 100, 80}},
        {{2, 2}, 50, 4, 4, {0, 0, 4, 4}},           // square larger than the image
        {{0, 0}, 1, 0, 0, {}},                      // no image
    };
    for (const auto& c : cases)
        EXPECT_EQ(SampleRect(c.pixel, c.side, c.width, c.height), c.rect)
            << c.pixel.x << "," << c.pixel.y << " side " << c.side;
}

TEST(MainFrameLogic, RightColumnIsAtLeast320)
{
    EXPECT_EQ(RightColumnWidth(1.0), 320);
    EXPECT_EQ(RightColumnWidth(0.5), 320);
    EXPECT_EQ(RightColumnWidth(1.5), 480);
    EXPECT_EQ(RightColumnWidth(1.26), 403); // truncated
    EXPECT_EQ(RightColumnWidth(std::nan("")), 320);
}

TEST(MainFrameLogic, StoredSizeIsRaisedToTheMinimumSideBySide)
{
    EXPECT_EQ(RaiseToMinimumSize(100, 100), (WindowGeometry{0, 0, 780, 584}));
    EXPECT_EQ(RaiseToMinimumSize(1200, 100), (WindowGeometry{0, 0, 1200, 584}));
    EXPECT_EQ(RaiseToMinimumSize(100, 900), (WindowGeometry{0, 0, 780, 900}));
    EXPECT_EQ(RaiseToMinimumSize(-5, 0), (WindowGeometry{0, 0, 780, 584}));
    EXPECT_EQ(RaiseToMinimumSize(781, 585), (WindowGeometry{0, 0, 781, 585}));
}

TEST(MainFrameLogic, WindowIsCutToTheWorkAreaAndCentredInIt)
{
    const struct
    {
        int width, height;
        CRect work;
        WindowGeometry placed;
    } cases[] = {
        {780, 584, {0, 0, 1920, 1080}, {570, 248, 780, 584}},
        {781, 585, {0, 0, 1920, 1080}, {569, 247, 781, 585}}, // odd remainder: integer halves
        {3000, 2000, {0, 0, 1920, 1080}, {0, 0, 1920, 1080}},
        {800, 600, {100, 50, 1380, 1010}, {340, 230, 800, 600}}, // work area not at the origin
        {2000, 600, {1920, 0, 3840, 1040}, {1920, 220, 1920, 600}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlaceInWorkArea(c.width, c.height, c.work), c.placed) << c.width;
}

TEST(MainFrameLogic, PathsAreSortedByFileNameIgnoringCaseAndStable)
{
    const std::vector<std::string> sorted = SortPathsByFileName({
        "/z/b.tif",
        "/a/C.jpg",
        "/y/B.tif", // same name as /z/b.tif without regard to case: stays after it
        "/x/a.tif",
        "/b/_.tif", // '_' lies between the upper and the lower case letters
        "/c/a.tif",
    });
    EXPECT_EQ(sorted, (std::vector<std::string>{"/b/_.tif", "/x/a.tif", "/c/a.tif", "/z/b.tif",
                                                "/y/B.tif", "/a/C.jpg"}));
    EXPECT_TRUE(SortPathsByFileName({}).empty());
}

// A drop over a made-up file system: names with "img" are images; "dir"
// folders hold what the map gives.
class PlanDropTest : public ::testing::Test
{
protected:
    PlanDropTest()
    {
        rules.listExtension = ".cvl";
        rules.parameterExtension = ".qzp";
        rules.acceptsImage = [](const std::string& p) {
            return p.find("img") != std::string::npos;
        };
        rules.filesInFolder = [this](const std::string& p) {
            const auto found = folders.find(p);
            return found == folders.end() ? std::vector<std::string>() : found->second;
        };
        folders["/dir"] = {"/dir/img1.tif", "/dir/notes.txt", "/dir/img2.jpg"};
    }

    DropRules rules;
    std::map<std::string, std::vector<std::string>> folders;
};

TEST_F(PlanDropTest, FirstListOrParameterFileWinsAlone)
{
    const struct
    {
        std::vector<std::string> dropped;
        DropKind kind;
        std::string path;
    } cases[] = {
        {{"/img1.tif", "/my.cvl", "/img2.tif"}, DropKind::ListFile, "/my.cvl"},
        {{"/img1.tif", "/MY.CVL"}, DropKind::ListFile, "/MY.CVL"},
        {{"/p.QZP", "/my.cvl"}, DropKind::ParameterFile, "/p.QZP"},
        {{"/dir", "/my.cvl", "/p.qzp"}, DropKind::ListFile, "/my.cvl"},
    };
    for (const auto& c : cases)
    {
        const DropPlan plan = PlanDrop(c.dropped, rules);
        EXPECT_EQ(plan.kind, c.kind) << c.path;
        EXPECT_EQ(plan.path, c.path);
        EXPECT_TRUE(plan.images.empty()) << c.path;
    }
}

TEST_F(PlanDropTest, ImagesAndFolderContentsInDropOrder)
{
    folders["/dir/sub"] = {"/dir/sub/img9.tif"}; // never reached: folders are not entered
    folders["/dir"].push_back("/dir/sub");
    const DropPlan plan = PlanDrop({"/img0.tif", "/dir", "/other.txt", "/img3.tif"}, rules);
    EXPECT_EQ(plan.kind, DropKind::Images);
    EXPECT_EQ(plan.images, (std::vector<std::string>{"/img0.tif", "/dir/img1.tif",
                                                     "/dir/img2.jpg", "/img3.tif"}));

    EXPECT_EQ(PlanDrop({"/other.txt", "/nowhere"}, rules).kind, DropKind::Nothing);
    EXPECT_EQ(PlanDrop({}, rules).kind, DropKind::Nothing);
}

TEST(MainFrameLogic, FrameAnswersEachPanelNotification)
{
    PanelResponse zoom;
    zoom.applyZoom = true;
    PanelResponse title;
    title.updateTitle = true;
    PanelResponse ok;
    ok.switchToList = true;
    ok.commit = true;
    PanelResponse okRedraw = ok;
    okRedraw.redraw = true;
    PanelResponse cancel;
    cancel.switchToList = true;
    cancel.redraw = true;
    PanelResponse redraw;
    redraw.redraw = true;
    PanelResponse compareOn;
    compareOn.compareFlag = 1;
    PanelResponse compareOff;
    compareOff.compareFlag = 0;
    const PanelResponse none;

    const struct
    {
        int message;
        int code;
        PanelResponse response;
    } cases[] = {
        {UWM_FILEVIEW_NOTIFY, 0, zoom},
        {UWM_FILEVIEW_NOTIFY, 1, title},
        {UWM_FILEVIEW_NOTIFY, 5, none},
        {UWM_FILEVIEW_NOTIFY, 6, none},
        {UWM_DNGPARAMVIEW_NOTIFY, 5, ok},
        {UWM_DNGPARAMVIEW_NOTIFY, 6, cancel},
        {UWM_DNGPARAMVIEW_NOTIFY, 7, compareOn},
        {UWM_DNGPARAMVIEW_NOTIFY, 8, compareOff},
        {UWM_DNGPARAMVIEW_NOTIFY, 1, none},
        {UWM_CHARTVIEW_NOTIFY, 1, redraw},
        {UWM_CHARTVIEW_NOTIFY, 5, okRedraw},
        {UWM_CHARTVIEW_NOTIFY, 6, cancel},
        {UWM_CHARTVIEW_NOTIFY, 7, none},
        {UWM_TRIMMINGVIEW_NOTIFY, 5, ok},
        {UWM_TRIMMINGVIEW_NOTIFY, 6, cancel},
        {UWM_TRIMMINGVIEW_NOTIFY, 7, none},
        {UWM_GRAYCALIBVIEW_NOTIFY, 5, ok},
        {UWM_COLORCALIBVIEW_NOTIFY, 6, cancel},
        {UWM_COLORCALIBVIEW_NOTIFY, 7, compareOn},
        {UWM_COLORCALIBVIEW_NOTIFY, 8, compareOff},
        {UWM_COLORCHANGEVIEW_NOTIFY, 6, cancel},
        {UWM_COLORCHANGEVIEW_NOTIFY, 8, none},
        {UWM_FILTERVIEW_NOTIFY, 5, ok},
        {UWM_BATCHVIEW_NOTIFY, 5, ok},
        {UWM_BATCHVIEW_NOTIFY, 6, none}, // the batch panel's Cancel does nothing here
        {UWM_BATCHVIEW_NOTIFY, 1, none},
        {UWM_TRIMMINGVIEW_NOTIFY, 2, none}, // preview on/off, changed: not the frame's
        {UWM_TRIMMINGVIEW_NOTIFY, 3, none},
        {UWM_TRIMMINGVIEW_NOTIFY, 4, none},
        {UWM_TRIMMINGVIEW_NOTIFY, 99, none},
        {0x409, 5, none},
        {0x3FF, 0, none},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RespondToPanel(c.message, c.code), c.response)
            << std::hex << c.message << " code " << std::dec << c.code;
}

TEST(MainFrameLogic, StepCommandsMapToTheStackAndOthersToNothing)
{
    std::set<int> indices;
    for (FrameCommand command : AllFrameCommands())
    {
        const int index = StepIndexOfCommand(command);
        if (index != 0)
        {
            EXPECT_TRUE(indices.insert(index).second) << static_cast<int>(command);
        }
    }
    EXPECT_EQ(indices, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(StepIndexOfCommand(FrameCommand::StepDevelop), 1);
    EXPECT_EQ(StepIndexOfCommand(FrameCommand::StepSpecifiedColor), 6);
    EXPECT_EQ(StepIndexOfCommand(FrameCommand::StepBatch), 8);
    EXPECT_EQ(AllFrameCommands().size(), 23u);
    EXPECT_EQ(StepIndexOfCommand(FrameCommand::AppExit), 0);
}

} // namespace
