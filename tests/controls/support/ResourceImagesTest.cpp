// The drawn pictures of the progress windows, the file list's buttons and
// the drag feedback's pen pattern: each number gives a picture of its size
// that is not blank, and a step that does not run looks different from one
// that does.

#include "controls/support/ResourceImages.h"

#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <QPixmap>

#include <set>
#include <vector>

namespace {

// The icon drawn at its own size, as ARGB pixels.
QImage IconImage(int id)
{
    const QIcon icon = LoadIconResource(id);
    return icon.pixmap(QSize(16, 16)).toImage().convertToFormat(QImage::Format_ARGB32);
}

bool HasOpaquePixels(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0)
                return true;
    return false;
}

TEST(ResourceImagesTest, ProgressWindowIconsAreSixteenPixelPictures)
{
    const std::vector<int> ids = {
        kIconStageMarker,         kIconStageCurrent,
        kIconStageNormal,         kIconStageNotRun,
        kIconDevelopmentRuns,     kIconDevelopmentNotRun,
        kIconChartRuns,           kIconChartNotRun,
        kIconTrimmingRuns,        kIconTrimmingNotRun,
        kIconGradationRuns,       kIconGradationNotRun,
        kIconColourToneRuns,      kIconColourToneNotRun,
        kIconSpecifiedColourRuns, kIconSpecifiedColourNotRun,
        kIconFilterRuns,          kIconFilterNotRun,
    };
    const std::set<int> expected = {156, 157, 158, 180, 187, 188, 130, 184, 195,
                                    196, 131, 183, 132, 181, 134, 182, 185, 186};
    EXPECT_EQ(std::set<int>(ids.begin(), ids.end()), expected);
    for (int id : ids)
    {
        SCOPED_TRACE(id);
        const QIcon icon = LoadIconResource(id);
        ASSERT_FALSE(icon.isNull());
        EXPECT_EQ(icon.availableSizes(), QList<QSize>{QSize(16, 16)});
        EXPECT_TRUE(HasOpaquePixels(IconImage(id)));
    }
}

TEST(ResourceImagesTest, AStepThatDoesNotRunIsItsPictureInGrey)
{
    const std::vector<std::pair<int, int>> pairs = {
        {kIconDevelopmentRuns, kIconDevelopmentNotRun},
        {kIconChartRuns, kIconChartNotRun},
        {kIconTrimmingRuns, kIconTrimmingNotRun},
        {kIconGradationRuns, kIconGradationNotRun},
        {kIconColourToneRuns, kIconColourToneNotRun},
        {kIconSpecifiedColourRuns, kIconSpecifiedColourNotRun},
        {kIconFilterRuns, kIconFilterNotRun},
    };
    for (const auto& [runs, notRun] : pairs)
    {
        SCOPED_TRACE(runs);
        const QImage colour = IconImage(runs);
        const QImage grey = IconImage(notRun);
        EXPECT_NE(colour, grey);
        bool coloured = false;
        for (int y = 0; y < grey.height(); ++y)
        {
            for (int x = 0; x < grey.width(); ++x)
            {
                const QRgb g = grey.pixel(x, y);
                const QRgb c = colour.pixel(x, y);
                // Same shape, no hue.
                EXPECT_EQ(qAlpha(g), qAlpha(c));
                EXPECT_TRUE(qRed(g) == qGreen(g) && qGreen(g) == qBlue(g));
                coloured = coloured || qRed(c) != qGreen(c) || qGreen(c) != qBlue(c);
            }
        }
        EXPECT_TRUE(coloured);
    }
}

TEST(ResourceImagesTest, FileListButtonsAreDistinctTwentyFourPixelPictures)
{
    const std::vector<int> ids = {
        kIconAddFiles,      kIconDeleteFiles, kIconPreferences, kIconAbout,
        kIconNextImage,     kIconPreviousImage, kIconFullScreen, kIconSlideShow,
        kIconLoadList,      kIconSaveList,    kIconHelp,        kIconMonitorWizard,
    };
    const std::set<int> expected = {209, 211, 212, 279, 215, 216, 220, 221, 234, 235, 276, 277};
    EXPECT_EQ(std::set<int>(ids.begin(), ids.end()), expected);
    std::vector<QImage> pictures;
    for (int id : ids)
    {
        SCOPED_TRACE(id);
        const QIcon icon = LoadIconResource(id);
        ASSERT_FALSE(icon.isNull());
        EXPECT_EQ(icon.availableSizes(), QList<QSize>{QSize(24, 24)});
        const QImage image =
            icon.pixmap(QSize(24, 24)).toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_TRUE(HasOpaquePixels(image));
        for (const QImage& other : pictures)
            EXPECT_NE(image, other);
        pictures.push_back(image);
    }
}

// The program's icon (128) at every size of the desktop's icon folders,
// and the introduction's picture (bitmap 277, not the wizard button's icon
// of the same number): drawn, in colour.
TEST(ResourceImagesTest, ProgramIconAndIntroductionPictureAreDrawn)
{
    const QIcon icon = LoadIconResource(kIconApplication);
    ASSERT_FALSE(icon.isNull());
    QList<QSize> sides;
    for (const int side : {16, 22, 24, 32, 48, 64, 128, 256})
        sides.push_back(QSize(side, side));
    EXPECT_EQ(icon.availableSizes(), sides);
    for (const QSize& side : sides)
    {
        SCOPED_TRACE(side.width());
        const QImage image = icon.pixmap(side).toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(image.size(), side);
        EXPECT_TRUE(HasOpaquePixels(image));
        // The corners stay clear: the sign stands on the desktop's own
        // background.
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    }

    const QImage picture = LoadBitmapResource(kBitmapIntroduction);
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(400, 150));
    std::set<QRgb> colours;
    for (int y = 0; y < picture.height(); y += 3)
        for (int x = 0; x < picture.width(); x += 3)
            colours.insert(picture.pixel(x, y) & 0xF0F0F0u);
    EXPECT_GT(colours.size(), 50u);
    EXPECT_NE(picture, LoadIconResource(kIconMonitorWizard).pixmap(24, 24).toImage());
}

TEST(ResourceImagesTest, DragPatternIsAnEightPixelBlackAndWhiteChecker)
{
    const QImage pattern = LoadBitmapResource(kBitmapDragPattern);
    ASSERT_EQ(pattern.size(), QSize(8, 8));
    for (int y = 0; y < 8; ++y)
    {
        for (int x = 0; x < 8; ++x)
        {
            const QRgb expected = (x + y) % 2 == 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
            EXPECT_EQ(pattern.pixel(x, y), expected) << x << ", " << y;
        }
    }
    // A bitmap and an icon of the same number are different pictures.
    EXPECT_FALSE(LoadIconResource(kBitmapDragPattern).isNull());
}

} // namespace
