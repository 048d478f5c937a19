// The monitor wizard's page pictures: their sizes, and that each holds a
// drawing rather than a flat ground.

#include "controls/support/ResourceImages.h"

#include <QImage>

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(WizardArtTest, PagePicturesHaveTheirSizesAndContent)
{
    const struct
    {
        int id;
        int width;
        int height;
    } pictures[] = {
        {kBitmapChartSetup, 300, 180},
        {kBitmapWhiteByDiagram, 120, 90},
        {kBitmapWhiteByPictures, 120, 90},
    };
    for (const auto& p : pictures)
    {
        const QImage image = LoadBitmapResource(p.id);
        ASSERT_FALSE(image.isNull()) << p.id;
        EXPECT_EQ(image.size(), QSize(p.width, p.height)) << p.id;
        std::set<QRgb> colours;
        for (int y = 0; y < image.height(); y += 3)
            for (int x = 0; x < image.width(); x += 3)
                colours.insert(image.pixel(x, y));
        EXPECT_GT(colours.size(), 20u) << p.id;
    }
}

} // namespace
