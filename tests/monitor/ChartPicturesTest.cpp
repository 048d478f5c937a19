// The comparison chart as the build lays it into the program data: three
// 8-bit RGB TIFF files with the sRGB profile embedded (so that the wizard
// converts them for the monitor), at sizes in the pages' proportions, and
// the chart's grey wedge neutral from black to white.

#include "monitor/DetailModeSheet.h"

#include "core/ColorProfile.h"
#include "core/ImageEx.h"
#include "core/ImageFileProbe.h"
#include "core/SRGBProfile.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(ChartPicturesTest, BuildLaysOutTheThreeChartFiles)
{
    const struct
    {
        const char* name;
        std::uint32_t width;
        std::uint32_t height;
    } files[] = {
        {"ChartImage_big.tif", 360, 240},
        {"ChartImage_mid.tif", 210, 140},
        {"ChartImage_small.tif", 150, 100},
    };
    const std::vector<std::uint8_t> srgb = BuildSRGBProfileBytes();
    for (const auto& f : files)
    {
        const std::string path = CDetailModeSheet::ChartPicturePath(f.name).toStdString();
        ImageProbeResult probe;
        ASSERT_TRUE(ProbeImageFile(path, probe)) << path;
        EXPECT_EQ(probe.type, kImageFileTiff8) << f.name;
        EXPECT_EQ(probe.width, f.width) << f.name;
        EXPECT_EQ(probe.height, f.height) << f.name;
        // The sRGB profile (its creation date aside): an RGB matrix/TRC
        // profile, which the picture control converts with.
        ASSERT_EQ(probe.profile.size(), srgb.size()) << f.name;
        EXPECT_TRUE(std::equal(srgb.begin() + 36, srgb.end(), probe.profile.begin() + 36)) << f.name;
        CColorProfile profile;
        ASSERT_TRUE(profile.OpenFromMemory(probe.profile, f.name));
        EXPECT_TRUE(profile.IsRGBMatrixProfile()) << f.name;

        // The wedge along the bottom: eleven neutral steps, black to white.
        CImageEx image;
        ASSERT_TRUE(image.Load(path)) << f.name;
        const double left = 0.03 * f.width;
        const double stepWidth = 0.94 * f.width / 11;
        const int y = static_cast<int>(0.895 * f.height);
        int previous = -1;
        for (int step = 0; step < 11; ++step)
        {
            const int x = static_cast<int>(left + stepWidth * (step + 0.5));
            const std::uint8_t* p = image.GetPixelAddress(x, y);
            EXPECT_EQ(p[0], p[1]) << f.name << " step " << step;
            EXPECT_EQ(p[1], p[2]) << f.name << " step " << step;
            EXPECT_GT(p[0], previous) << f.name << " step " << step;
            previous = p[0];
            if (step == 0)
            {
                EXPECT_EQ(p[0], 0) << f.name;
            }
            if (step == 10)
            {
                EXPECT_EQ(p[0], 255) << f.name;
            }
        }
    }
}

} // namespace
