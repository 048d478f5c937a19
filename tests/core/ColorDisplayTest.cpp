// Colour-managed display images: conversion of an 8-bit image to another
// profile by the three DrawDIB functions, the cases that leave it as it
// is, the fallbacks, and the threaded drawing of the working image.

#include "core/ColorDisplay.h"
#include "core/ColorTransform.h"
#include "core/GammaTable.h"
#include "core/ImageAccess.h"
#include "core/ImageEx.h"
#include "core/ProfileDirectory.h"
#include "core/ProfileStore.h"
#include "core/RGBImage.h"
#include "core/SRGBProfile.h"
#include "core/StdMatrix.h"
#include "core/UseOsCmm.h"
#include "platform/ColorDirectory.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

using coretest::kWidePrimaries;
using coretest::LcmsRGBProfileBytes;
using coretest::LinearSRGBProfile;
using coretest::RandomPixels;
using coretest::SamePixels;
using coretest::SaveLcmsProfile;
using coretest::WriteBytes;

// An Adobe-RGB-like wide-gamut profile (D65, gamma 2.2), as LittleCMS makes
// one.
Bytes WideProfileBytes()
{
    return LcmsRGBProfileBytes(kWidePrimaries, 2.2);
}

// An image whose pixels run through a grid of colours, saturated and dark
// ones among them, with a width whose rows need padding.
CImageEx GridImage()
{
    CImageEx image;
    EXPECT_TRUE(image.Create(37, 23));
    int n = 0;
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x, ++n)
        {
            std::uint8_t* p = image.GetPixelAddress(x, y);
            p[0] = static_cast<std::uint8_t>((n * 37) % 256);
            p[1] = static_cast<std::uint8_t>((n * 11) % 256);
            p[2] = static_cast<std::uint8_t>(n % 5 == 0 ? 255 : (n * 53) % 256);
        }
    return image;
}

// The largest difference of any byte from the image converted exactly
// (LittleCMS in double precision, no precalculated tables) between the same
// two profiles, rounded to 8 bits.
int DifferenceFromReference(const CImageEx& source, const CImageEx& converted, const Bytes& from,
                            const Bytes& to)
{
    LcmsProfilePtr in(
        cmsOpenProfileFromMem(from.data(), static_cast<cmsUInt32Number>(from.size())));
    LcmsProfilePtr out(cmsOpenProfileFromMem(to.data(), static_cast<cmsUInt32Number>(to.size())));
    const cmsHTRANSFORM exact =
        cmsCreateTransform(in.get(), TYPE_BGR_DBL, out.get(), TYPE_BGR_DBL, INTENT_PERCEPTUAL,
                           cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE);
    EXPECT_NE(exact, nullptr);
    if (!exact)
        return 256;
    int worst = 0;
    std::vector<double> line(static_cast<std::size_t>(source.GetWidth()) * 3);
    for (int y = 0; y < source.GetHeight(); ++y)
    {
        const std::uint8_t* s = source.GetPixelAddress(0, y);
        for (std::size_t i = 0; i < line.size(); ++i)
            line[i] = s[i] / 255.0;
        cmsDoTransform(exact, line.data(), line.data(),
                       static_cast<cmsUInt32Number>(source.GetWidth()));
        const std::uint8_t* c = converted.GetPixelAddress(0, y);
        for (std::size_t i = 0; i < line.size(); ++i)
        {
            const int want = static_cast<int>(std::lround(std::clamp(line[i], 0.0, 1.0) * 255.0));
            worst = std::max(worst, std::abs(c[i] - want));
        }
    }
    cmsDeleteTransform(exact);
    return worst;
}

class ColorDisplayTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(GetColorDirectory(m_colorDir));
        const std::string text = testsupport::ReadTextFile(m_colorDir + GetSRGBProfileFileName());
        m_srgbBytes.assign(text.begin(), text.end());
        ASSERT_FALSE(m_srgbBytes.empty());
        m_widePath = m_dir.File("wide.icc");
        WriteBytes(m_widePath, m_wideBytes);
        ASSERT_TRUE(m_wide.Open(m_widePath));
        ASSERT_TRUE(m_srgb.Open(GetSRGBProfileFileName()));
    }

    void TearDown() override
    {
        FreeMonitorProfile();
        UseOsCmm = m_savedUseOsCmm;
    }

    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_data{"XDG_DATA_HOME", m_dir.Path() + "data"};
    testsupport::ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir.Path() + "config"};
    int m_savedUseOsCmm = UseOsCmm.load();
    std::string m_colorDir;
    Bytes m_srgbBytes;
    Bytes m_wideBytes = WideProfileBytes();
    std::string m_widePath;
    CColorProfile m_wide;
    CColorProfile m_srgb;
};

TEST_F(ColorDisplayTest, SRGBImagesAreConvertedToTheDestinationProfile)
{
    const CImageEx source = GridImage();
    WriteBytes(m_colorDir + "Wide.icc", m_wideBytes);
    const struct
    {
        const char* name;
        bool monitorIsWide; // the display's profile is the wide one
        bool (*draw)(const CImageEx&, CImageEx&, const CColorProfile& wide,
                     const std::string& widePath);
    } cases[] = {
        {"monitor-profile path", false,
         [](const CImageEx& in, CImageEx& out, const CColorProfile&, const std::string& path) {
             return DrawDIBWithMonitorProfile(path, in, out, nullptr);
         }},
        {"bare name in the colour directory", false,
         [](const CImageEx& in, CImageEx& out, const CColorProfile&, const std::string&) {
             return DrawDIBWithMonitorProfile("Wide.icc", in, out, nullptr);
         }},
        {"the display's profile", true,
         [](const CImageEx& in, CImageEx& out, const CColorProfile&, const std::string&) {
             return DrawDIBWithMonitorProfile("", in, out, nullptr);
         }},
        {"device profile given", false,
         [](const CImageEx& in, CImageEx& out, const CColorProfile& wide, const std::string&) {
             return DrawDIBWithColorSpace(in, out, nullptr, &wide);
         }},
        {"device is the display", true,
         [](const CImageEx& in, CImageEx& out, const CColorProfile&, const std::string&) {
             return DrawDIBWithColorSpace(in, out, nullptr, nullptr);
         }},
    };
    CImageEx first;
    for (const auto& c : cases)
    {
        if (c.monitorIsWide)
        {
            ASSERT_TRUE(platform::AssociateDisplayProfile("", "Wide.icc"));
            ASSERT_TRUE(InitMonitorProfile());
        }
        CImageEx converted;
        EXPECT_TRUE(c.draw(source, converted, m_wide, m_widePath)) << c.name;
        EXPECT_LE(DifferenceFromReference(source, converted, m_srgbBytes, m_wideBytes), 1)
            << c.name;
        // Saturated red is well inside the wide gamut's red.
        const std::uint8_t* red = converted.GetPixelAddress(0, 0);
        EXPECT_LT(red[2], 230) << c.name;
        if (first.IsNull())
            first = converted;
        EXPECT_TRUE(SamePixels(converted, first)) << c.name;
        if (c.monitorIsWide)
        {
            FreeMonitorProfile();
            ASSERT_TRUE(platform::DisassociateDisplayProfile("", "Wide.icc"));
        }
    }
}

TEST_F(ColorDisplayTest, InPlaceAndCopyGiveTheSamePixels)
{
    const CImageEx source = GridImage();
    CImageEx copy;
    ASSERT_TRUE(DrawDIBWithMonitorProfile(m_widePath, source, copy, nullptr));
    EXPECT_TRUE(SamePixels(source, GridImage())); // the source is left alone
    EXPECT_FALSE(SamePixels(source, copy));
    CImageEx inPlace = GridImage();
    ASSERT_TRUE(DrawDIBWithMonitorProfile(m_widePath, inPlace, inPlace, nullptr));
    EXPECT_TRUE(SamePixels(inPlace, copy));
}

TEST_F(ColorDisplayTest, AColourSpaceIsConvertedToSRGB)
{
    // The grid converted into the wide space, then from the wide space's
    // colour-space record to sRGB.
    const CImageEx source = GridImage();
    CImageEx wideImage;
    ASSERT_TRUE(DrawDIBWithMonitorProfile(m_widePath, source, wideImage, nullptr));
    LogColorSpace wideSpace;
    ASSERT_TRUE(m_wide.GetLogColorSpace(wideSpace, false));
    CImageEx back;
    EXPECT_TRUE(DrawDIBWithProfile(&wideSpace, wideImage, back));
    EXPECT_FALSE(SamePixels(back, wideImage));
    // The record describes the wide profile: the colours are those the
    // profile itself gives.
    EXPECT_LE(DifferenceFromReference(wideImage, back, m_wideBytes, m_srgbBytes), 1);

    // The record as a source of the other functions does the same.
    CImageEx viaColorSpace;
    EXPECT_TRUE(DrawDIBWithColorSpace(wideImage, viaColorSpace, &wideSpace, &m_srgb));
    EXPECT_TRUE(SamePixels(viaColorSpace, back));
}

TEST_F(ColorDisplayTest, PixelsStayAsTheyAreWhenSourceAndDestinationAgree)
{
    const CImageEx source = GridImage();
    LogColorSpace srgbSpace;
    ASSERT_TRUE(m_srgb.GetLogColorSpace(srgbSpace, false));
    LogColorSpace wideSpace;
    ASSERT_TRUE(m_wide.GetLogColorSpace(wideSpace, false));
    const std::string srgbPath = m_colorDir + GetSRGBProfileFileName();

    const struct
    {
        const char* name;
        bool result;
        bool (*draw)(const CImageEx&, CImageEx&, const LogColorSpace& srgb,
                     const LogColorSpace& wide, const CColorProfile& wideProfile,
                     const std::string& srgbPath);
    } cases[] = {
        {"sRGB to the sRGB file", true,
         [](const CImageEx& in, CImageEx& out, const LogColorSpace&, const LogColorSpace&,
            const CColorProfile&,
            const std::string& path) { return DrawDIBWithMonitorProfile(path, in, out, nullptr); }},
        {"no display profile means sRGB", true,
         [](const CImageEx& in, CImageEx& out, const LogColorSpace&, const LogColorSpace&,
            const CColorProfile&,
            const std::string&) { return DrawDIBWithMonitorProfile("", in, out, nullptr); }},
        {"no colour space for sRGB", true,
         [](const CImageEx& in, CImageEx& out, const LogColorSpace&, const LogColorSpace&,
            const CColorProfile&,
            const std::string&) { return DrawDIBWithProfile(nullptr, in, out); }},
        {"sRGB's own record for sRGB", true,
         [](const CImageEx& in, CImageEx& out, const LogColorSpace& srgb, const LogColorSpace&,
            const CColorProfile&,
            const std::string&) { return DrawDIBWithProfile(&srgb, in, out); }},
        {"the wide record to the wide profile", true,
         [](const CImageEx& in, CImageEx& out, const LogColorSpace&, const LogColorSpace& wide,
            const CColorProfile& profile,
            const std::string&) { return DrawDIBWithColorSpace(in, out, &wide, &profile); }},
        {"missing destination profile", false,
         [](const CImageEx& in, CImageEx& out, const LogColorSpace&, const LogColorSpace&,
            const CColorProfile&, const std::string&) {
             return DrawDIBWithMonitorProfile("/nonexistent/monitor.icc", in, out, nullptr);
         }},
        {"a record LittleCMS cannot use", false,
         [](const CImageEx& in, CImageEx& out, const LogColorSpace& srgb, const LogColorSpace&,
            const CColorProfile& profile, const std::string&) {
             LogColorSpace broken = srgb;
             broken.lcsGammaRed = 0;
             return DrawDIBWithColorSpace(in, out, &broken, &profile);
         }},
    };
    for (const auto& c : cases)
    {
        CImageEx converted;
        EXPECT_EQ(c.draw(source, converted, srgbSpace, wideSpace, m_wide, srgbPath), c.result)
            << c.name;
        EXPECT_TRUE(SamePixels(converted, source)) << c.name;
    }
}

TEST_F(ColorDisplayTest, ADestinationLittleCmsCannotWriteKeepsThePixels)
{
    UseOsCmm = 1;
    const std::string labPath = m_dir.File("lab.icc");
    WriteBytes(labPath, SaveLcmsProfile(cmsCreateLab4Profile(nullptr)));
    const CImageEx source = GridImage();
    CImageEx converted;
    EXPECT_FALSE(DrawDIBWithMonitorProfile(labPath, source, converted, nullptr));
    EXPECT_TRUE(SamePixels(converted, source));

    // An empty image has nothing to convert.
    const CImageEx empty;
    CImageEx out = GridImage();
    EXPECT_FALSE(DrawDIBWithMonitorProfile(m_widePath, empty, out, nullptr));
    EXPECT_TRUE(out.IsNull());
    EXPECT_FALSE(DrawDIBWithProfile(nullptr, empty, out));
}

// ------------------------------------------------- the prepared conversion

TEST_F(ColorDisplayTest, RowsConvertedInPartsEqualTheWholeImage)
{
    // The print job converts a band of rows at a time: any cut into parts
    // gives the pixels of the whole-image conversion.
    const CImageEx source = GridImage();
    CImageEx whole;
    ASSERT_TRUE(DrawDIBWithColorSpace(source, whole, nullptr, &m_wide));

    CPixelConversion conversion;
    ASSERT_TRUE(conversion.Prepare(nullptr, m_wide));
    EXPECT_FALSE(conversion.IsIdentity());
    for (const int band : {1, 4, 22, 100})
    {
        CImageEx parts = source;
        for (int y = 0; y < parts.GetHeight(); y += band)
            conversion.ConvertRows(parts.GetPixelAddress(0, y), parts.GetWidth(),
                                   std::min(band, parts.GetHeight() - y), parts.GetPitch());
        EXPECT_TRUE(SamePixels(parts, whole)) << "band of " << band;
    }
}

TEST_F(ColorDisplayTest, AProofKeepsColoursInsideTheProofGamut)
{
    // Wide-space pixels to the wide profile: the identity, unless proofed
    // against sRGB, which pulls a wide green into sRGB's gamut and leaves a
    // neutral grey where it was.
    LogColorSpace wideSpace;
    ASSERT_TRUE(m_wide.GetLogColorSpace(wideSpace, false));
    CPixelConversion plain;
    ASSERT_TRUE(plain.Prepare(&wideSpace, m_wide));
    EXPECT_TRUE(plain.IsIdentity());

    CPixelConversion proofed;
    ASSERT_TRUE(proofed.Prepare(&wideSpace, m_wide, &m_srgb));
    EXPECT_FALSE(proofed.IsIdentity());
    std::uint8_t pixels[6] = {0, 255, 0, 128, 128, 128}; // blue, green, red
    proofed.ConvertRows(pixels, 2, 1, 6);
    // sRGB's green in the wide space is about (144, 255, 60) in red, green,
    // blue: red and blue are mixed in to keep away from the wide green.
    EXPECT_GT(pixels[2], 100);
    EXPECT_GT(pixels[0], 30);
    for (int c = 3; c < 6; ++c)
        EXPECT_NEAR(pixels[c], 128, 2) << "channel " << c - 3;

    // The proof against the destination itself changes nothing beyond
    // rounding.
    CPixelConversion self;
    ASSERT_TRUE(self.Prepare(&wideSpace, m_wide, &m_wide));
    std::uint8_t green[3] = {0, 255, 0};
    self.ConvertRows(green, 1, 1, 3);
    EXPECT_NEAR(green[0], 0, 2);
    EXPECT_NEAR(green[1], 255, 2);
    EXPECT_NEAR(green[2], 0, 2);
}

TEST_F(ColorDisplayTest, AConversionThatCannotBeMadeSaysWhyAndConvertsNothing)
{
    UseOsCmm = 1;
    const std::string labPath = m_dir.File("lab.icc");
    WriteBytes(labPath, SaveLcmsProfile(cmsCreateLab4Profile(nullptr)));
    CColorProfile lab;
    ASSERT_TRUE(lab.Open(labPath));
    const CColorProfile closed;
    LogColorSpace broken;
    ASSERT_TRUE(m_srgb.GetLogColorSpace(broken, false));
    broken.lcsGammaGreen = 0;

    const struct
    {
        const char* name;
        const LogColorSpace* colorSpace;
        const CColorProfile* destination;
        const CColorProfile* proof;
    } cases[] = {
        {"a record LittleCMS cannot use", &broken, &m_wide, nullptr},
        {"an RGB image cannot be written as Lab", nullptr, &lab, nullptr},
        {"a proof profile that holds nothing", nullptr, &m_wide, &closed},
        {"a destination that holds nothing", nullptr, &closed, nullptr},
    };
    for (const auto& c : cases)
    {
        CPixelConversion conversion;
        std::string reason;
        EXPECT_FALSE(conversion.Prepare(c.colorSpace, *c.destination, c.proof, &reason))
            << c.name;
        EXPECT_FALSE(conversion.IsReady()) << c.name;
        EXPECT_FALSE(conversion.IsIdentity()) << c.name;
        EXPECT_FALSE(reason.empty()) << c.name;
        std::uint8_t pixel[3] = {10, 20, 30};
        conversion.ConvertRows(pixel, 1, 1, 3);
        EXPECT_EQ(pixel[0], 10) << c.name;
        EXPECT_EQ(pixel[2], 30) << c.name;
    }

    // A conversion prepared again after a failure is usable.
    CPixelConversion conversion;
    EXPECT_FALSE(conversion.Prepare(&broken, m_wide));
    EXPECT_TRUE(conversion.Prepare(nullptr, m_wide));
    EXPECT_TRUE(conversion.IsReady());
}

// ------------------------------------------------- threaded working-image drawing

TEST(ColorDisplayParallel, ThreadsDrawWhatOneThreadDraws)
{
    constexpr int kWidth = 120;
    constexpr int kHeight = 80;
    CRGBImage image(kWidth, kHeight);
    {
        const std::vector<RGB16> pixels =
            RandomPixels(static_cast<std::size_t>(kWidth) * kHeight, 7);
        CAccessRGBImage access(image);
        access.WriteLine(pixels.data(), pixels.size());
    }

    // The own path (a matrix and tone tables), a LittleCMS transform, and a
    // transform followed by a second one.
    const CRGBMatrix matrix(CStdMatrix(0.9, 0.1, 0.0, 0.05, 0.9, 0.05, 0.0, 0.2, 0.8));
    CRGBGammaTable tables;
    for (std::size_t c = 0; c < 3; ++c)
        tables[c].BuildFromCurve(std::vector<double>{1.0 / (2.0 + 0.2 * static_cast<double>(c))});
    LcmsProfilePtr srgb(cmsCreate_sRGBProfile());
    LcmsProfilePtr linear = LinearSRGBProfile();
    const CColorTransform toDisplay = CColorTransform::Create(linear.get(), srgb.get());
    const CColorTransform second = CColorTransform::Create(srgb.get(), linear.get());
    ASSERT_TRUE(toDisplay.IsValid() && second.IsValid());

    const struct
    {
        const char* name;
        const CRGBMatrix* matrix;
        const CRGBGammaTable* tables;
        const CColorTransform* transform;
        const CColorTransform* second;
    } paths[] = {
        {"matrix and tables", &matrix, &tables, nullptr, nullptr},
        {"transform", nullptr, nullptr, &toDisplay, nullptr},
        {"transform and LUT", nullptr, nullptr, &toDisplay, &second},
    };
    const struct
    {
        const char* name;
        CRect src;
        CRect dst;
    } rects[] = {
        {"whole image", CRect(0, 0, kWidth, kHeight), CRect(0, 0, kWidth, kHeight)},
        {"offset part", CRect(7, 5, 90, 70), CRect(20, 11, 103, 76)},
        {"reduced", CRect(3, 1, 100, 62), CRect(1, 2, 41, 25)},
        {"enlarged", CRect(10, 10, 23, 19), CRect(5, 3, 125, 90)},
    };
    const unsigned threadCounts[] = {0, 1, 3, 7, 200};

    for (const auto& path : paths)
        for (const auto& rect : rects)
        {
            CImageEx expected;
            ASSERT_TRUE(expected.Create(130, 95));
            FillDIB(expected, RGB16{0x1200, 0x3400, 0x5600});
            ASSERT_TRUE(image.CopyRectConverted(expected, rect.src, rect.dst, path.matrix,
                                                path.tables, {}, path.transform, path.second));
            for (const unsigned threads : threadCounts)
            {
                CImageEx drawn;
                ASSERT_TRUE(drawn.Create(130, 95));
                FillDIB(drawn, RGB16{0x1200, 0x3400, 0x5600});
                EXPECT_TRUE(CopyRectConvertedParallel(image, drawn, rect.src, rect.dst, path.matrix,
                                                      path.tables, path.transform, path.second,
                                                      threads));
                EXPECT_TRUE(SamePixels(drawn, expected))
                    << path.name << ", " << rect.name << ", " << threads << " threads";
            }
        }
    EXPECT_FALSE(image.IsLocked());

    // Rectangles outside their image draw nothing; empty ones succeed.
    CImageEx display;
    ASSERT_TRUE(display.Create(50, 50));
    EXPECT_FALSE(CopyRectConvertedParallel(image, display, CRect(0, 0, kWidth + 1, 10),
                                           CRect(0, 0, 10, 10), &matrix, &tables, nullptr,
                                           nullptr));
    EXPECT_FALSE(CopyRectConvertedParallel(image, display, CRect(0, 0, 10, 10),
                                           CRect(45, 0, 55, 10), &matrix, &tables, nullptr,
                                           nullptr));
    EXPECT_TRUE(CopyRectConvertedParallel(image, display, CRect(5, 5, 5, 9), CRect(0, 0, 10, 10),
                                          &matrix, &tables, nullptr, nullptr));
}

} // namespace
