// The picture control: where a picture goes, what files it takes, and the
// colour conversion of a picture with an embedded profile (checked against
// LittleCMS converting the same pixels on its own), made once at load.

#include "controls/widgets/ImageCtrl.h"
#include "core/ColorConverter.h"
#include "core/ColorProfile.h"
#include "core/ImageEx.h"
#include "core/ImageFileProbe.h"
#include "core/SRGBProfile.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestProfiles.h"

#include <gtest/gtest.h>

#include <QPalette>

#include <lcms2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

using testsupport::TempDir;

const CCIEXYZ kD65(95.043, 100.0, 108.879);
const CCIEXYZ kD50(96.42, 100.0, 82.49);

// --- Placement ---------------------------------------------------------------

TEST(PlaceImage, SmallPicturesCentredOthersFitted)
{
    struct Case
    {
        int cw, ch, w, h;
        ImagePlacement expected;
    };
    const Case cases[] = {
        {100, 80, 40, 30, {30, 25, 40, 30}},  // smaller both ways: own size, centred
        {100, 80, 41, 31, {29, 24, 41, 31}},  // odd margins halved toward 0
        {100, 80, 100, 80, {0, 0, 100, 80}},  // exactly the client: fitted, unscaled
        {100, 80, 100, 20, {0, 30, 100, 20}}, // as wide: fitted, full width
        {100, 80, 200, 40, {0, 30, 100, 20}}, // wide: full width, centred vertically
        {100, 80, 50, 160, {37, 0, 25, 80}},  // tall: full height, centred horizontally
        {100, 80, 30, 80, {35, 0, 30, 80}},   // as tall: fitted, full height
        {100, 80, 300, 199, {0, 7, 100, 66}}, // sx * h = 66.33 truncated, (80 - 66) / 2
        {0, 80, 30, 20, {0, 0, 0, 0}},        // no client
        {100, 80, 0, 20, {0, 0, 0, 0}},       // no picture
    };
    for (const Case& c : cases)
    {
        const ImagePlacement p = PlaceImage(c.cw, c.ch, c.w, c.h);
        EXPECT_EQ(p.x, c.expected.x) << c.w << " x " << c.h << " in " << c.cw << " x " << c.ch;
        EXPECT_EQ(p.y, c.expected.y) << c.w << " x " << c.h << " in " << c.cw << " x " << c.ch;
        EXPECT_EQ(p.width, c.expected.width) << c.w << " x " << c.h;
        EXPECT_EQ(p.height, c.expected.height) << c.w << " x " << c.h;
    }
}

// --- Fixtures ------------------------------------------------------------------

// A picture of a few flat patches: patch k covers columns [k * 8, k * 8 + 8)
// of every row, in the colours given (R, G, B); flat patches keep a JPEG's
// values near what was written.
CImageEx PatchImage(const std::vector<QColor>& colours, int height = 8)
{
    CImageEx image;
    EXPECT_TRUE(image.Create(static_cast<int>(colours.size()) * 8, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
        {
            const QColor& c = colours[static_cast<std::size_t>(x / 8)];
            std::uint8_t* p = image.GetPixelAddress(x, y);
            p[0] = static_cast<std::uint8_t>(c.blue());
            p[1] = static_cast<std::uint8_t>(c.green());
            p[2] = static_cast<std::uint8_t>(c.red());
        }
    return image;
}

QColor PixelOf(const CImageEx& image, int x, int y)
{
    const std::uint8_t* p = image.GetPixelAddress(x, y);
    return QColor(p[2], p[1], p[0]);
}

// A single-component (greyscale) JPEG of width x height at level 128.
bool WriteGreyJpeg(const std::string& path, int width, int height)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width), 128);
    while (cinfo.next_scanline < cinfo.image_height)
    {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
    return true;
}

// The colours LittleCMS makes of 8-bit values in the profile when it
// converts them to its own sRGB, relative colorimetric.
std::vector<QColor> LcmsToSRGB(const std::vector<std::uint8_t>& profile,
                               const std::vector<QColor>& colours)
{
    cmsHPROFILE in =
        cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
    cmsHPROFILE out = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t = cmsCreateTransform(in, TYPE_RGB_8, out, TYPE_RGB_8,
                                         INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    std::vector<QColor> result;
    for (const QColor& c : colours)
    {
        const std::uint8_t src[3] = {static_cast<std::uint8_t>(c.red()),
                                     static_cast<std::uint8_t>(c.green()),
                                     static_cast<std::uint8_t>(c.blue())};
        std::uint8_t dst[3] = {0, 0, 0};
        if (t != nullptr)
            cmsDoTransform(t, src, dst, 1);
        result.emplace_back(dst[0], dst[1], dst[2]);
    }
    if (t != nullptr)
        cmsDeleteTransform(t);
    cmsCloseProfile(out);
    cmsCloseProfile(in);
    return result;
}

int Distance(const QColor& a, const QColor& b)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

class ImageCtrlTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const std::vector<std::uint8_t> srgbBytes = BuildSRGBProfileBytes();
        ASSERT_TRUE(srgb.OpenFromMemory(srgbBytes, "sRGB"));
        converter = std::make_unique<CColorConverter>(std::string());
        ASSERT_TRUE(converter->SetProfiles(&srgb, &srgb, &srgb));
        wide = testsupport::WideGamutProfileBytes();
        ASSERT_FALSE(wide.empty());
    }

    TempDir dir;
    CColorProfile srgb;
    std::unique_ptr<CColorConverter> converter;
    std::vector<std::uint8_t> wide;
    // Moderate colours that both spaces hold, so that neither path clips.
    const std::vector<QColor> colours = {QColor(150, 120, 90), QColor(90, 160, 110),
                                         QColor(100, 110, 170), QColor(128, 128, 128)};
};

TEST_F(ImageCtrlTest, WithoutPictureTheControlIsBlack)
{
    CImageCtrl ctrl;
    ctrl.resize(30, 20);
    const QImage image = ctrl.renderToImage();
    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(29, 19), QColor(Qt::black));
}

TEST_F(ImageCtrlTest, JpegWithoutProfileKeepsItsValues)
{
    const std::string path = dir.File("plain.jpg");
    ASSERT_TRUE(SaveImageFile({}, kImageFileJpeg, PatchImage(colours), path, 96.0f, 96.0f, 4));
    CImageEx decoded;
    ASSERT_TRUE(decoded.Load(path));

    // With a converter or without: no profile, no conversion.
    for (const CColorConverter* conv : {static_cast<const CColorConverter*>(nullptr),
                                        static_cast<const CColorConverter*>(converter.get())})
    {
        CImageCtrl ctrl;
        ctrl.resize(decoded.GetWidth(), decoded.GetHeight());
        ASSERT_TRUE(ctrl.SetImageFile(path, conv, kD65, kD65));
        EXPECT_EQ(ctrl.path(), path);
        const QImage image = ctrl.renderToImage();
        for (int k = 0; k < static_cast<int>(colours.size()); ++k)
            EXPECT_EQ(image.pixelColor(k * 8 + 4, 4), PixelOf(decoded, k * 8 + 4, 4)) << k;
    }
}

TEST_F(ImageCtrlTest, EmbeddedProfileIsConvertedOnceAtLoad)
{
    const std::string path = dir.File("wide.tif");
    ASSERT_TRUE(SaveImageFile(wide, kImageFileTiff8, PatchImage(colours), path, 96.0f, 96.0f, 2));
    const std::vector<QColor> expected = LcmsToSRGB(wide, colours);

    CImageCtrl ctrl;
    ctrl.resize(static_cast<int>(colours.size()) * 8, 8);
    ASSERT_TRUE(ctrl.SetImageFile(path, converter.get(), kD65, kD65));
    // The converter is gone before the first paint: painting must not need
    // it (AddressSanitizer would see the use), and the colours stay.
    converter.reset();
    for (int paintRound = 0; paintRound < 2; ++paintRound)
    {
        const QImage image = ctrl.renderToImage();
        for (std::size_t k = 0; k < colours.size(); ++k)
        {
            const QColor shown = image.pixelColor(static_cast<int>(k) * 8 + 4, 4);
            EXPECT_LE(Distance(shown, expected[k]), 3)
                << k << ": " << shown.name().toStdString() << " vs "
                << expected[k].name().toStdString();
        }
    }
    // The wide space's green is more saturated than sRGB's: converted, the
    // green patch gains green over red.
    const QColor green = ctrl.picture().pixelColor(12, 4);
    EXPECT_GT(green.green() - green.red(), 160 - 90 + 10);
}

TEST_F(ImageCtrlTest, DestinationWhiteAdaptsThePicture)
{
    const std::string path = dir.File("wide.jpg");
    ASSERT_TRUE(SaveImageFile(wide, kImageFileJpeg, PatchImage(colours), path, 96.0f, 96.0f, 4));
    CImageCtrl same;
    CImageCtrl warm;
    ASSERT_TRUE(same.SetImageFile(path, converter.get(), kD65, kD65));
    ASSERT_TRUE(warm.SetImageFile(path, converter.get(), kD65, kD50));
    // The grey patch under the warmer white turns warmer: red up, blue down.
    const QColor grey = same.picture().pixelColor(28, 4);
    const QColor warmed = warm.picture().pixelColor(28, 4);
    EXPECT_LE(Distance(grey, QColor(128, 128, 128)), 3);
    EXPECT_GT(warmed.red(), grey.red() + 3);
    EXPECT_LT(warmed.blue(), grey.blue() - 10);
}

TEST_F(ImageCtrlTest, GreyAndMissingFilesAreRefused)
{
    const std::string grey = dir.File("grey.jpg");
    ASSERT_TRUE(WriteGreyJpeg(grey, 24, 16));
    CImageCtrl ctrl;
    ctrl.resize(24, 16);
    // A picture first, so that a refusal is seen to drop it.
    const std::string good = dir.File("good.tif");
    ASSERT_TRUE(SaveImageFile({}, kImageFileTiff8, PatchImage(colours), good, 96.0f, 96.0f, 2));
    ASSERT_TRUE(ctrl.SetImageFile(good, nullptr, kD65, kD65));

    for (const std::string& path : {grey, dir.File("missing.jpg")})
    {
        EXPECT_FALSE(ctrl.SetImageFile(path, converter.get(), kD65, kD65)) << path;
        EXPECT_TRUE(ctrl.picture().isNull());
        EXPECT_TRUE(ctrl.path().empty());
        EXPECT_EQ(ctrl.renderToImage().pixelColor(12, 8), QColor(Qt::black));
    }
}

TEST_F(ImageCtrlTest, PictureOfTheClientsSizeIsDrawnUnscaled)
{
    // Every pixel different from its neighbours: any resampling shows.
    CImageEx image;
    ASSERT_TRUE(image.Create(37, 23));
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x)
        {
            std::uint8_t* p = image.GetPixelAddress(x, y);
            p[0] = static_cast<std::uint8_t>(x * 7);
            p[1] = static_cast<std::uint8_t>(y * 11);
            p[2] = static_cast<std::uint8_t>((x + y) % 2 * 255);
        }
    const std::string path = dir.File("exact.tif");
    ASSERT_TRUE(SaveImageFile({}, kImageFileTiff8, image, path, 96.0f, 96.0f, 2));
    CImageCtrl ctrl;
    ctrl.resize(37, 23);
    ASSERT_TRUE(ctrl.SetImageFile(path, nullptr, kD65, kD65));
    const QImage shown = ctrl.renderToImage();
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x)
            ASSERT_EQ(shown.pixelColor(x, y), PixelOf(image, x, y)) << x << ", " << y;
}

TEST_F(ImageCtrlTest, SmallPictureIsCentredOnTheParentsBackground)
{
    const std::string path = dir.File("small.tif");
    ASSERT_TRUE(SaveImageFile({}, kImageFileTiff8, PatchImage({QColor(200, 10, 10)}, 6), path,
                              96.0f, 96.0f, 2));
    QWidget parent;
    QPalette palette = parent.palette();
    palette.setColor(QPalette::Window, QColor(10, 200, 30));
    parent.setPalette(palette);
    CImageCtrl ctrl(&parent);
    ctrl.resize(40, 30);
    ASSERT_TRUE(ctrl.SetImageFile(path, nullptr, kD65, kD65));
    const QImage shown = ctrl.renderToImage();
    // 8 x 6 in 40 x 30: from (16, 12) to (23, 17).
    EXPECT_EQ(shown.pixelColor(16, 12), QColor(200, 10, 10));
    EXPECT_EQ(shown.pixelColor(23, 17), QColor(200, 10, 10));
    EXPECT_EQ(shown.pixelColor(15, 12), QColor(10, 200, 30));
    EXPECT_EQ(shown.pixelColor(24, 17), QColor(10, 200, 30));
    EXPECT_EQ(shown.pixelColor(0, 0), QColor(10, 200, 30));
}

} // namespace
