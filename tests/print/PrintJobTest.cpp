// The single-image print job: the page it makes (read back from PDF files
// with poppler's tools), the resampling to device pixels, the colour paths
// against LittleCMS's own conversions, the failures that must leave no
// page, and the device arithmetic.

#include "print/PrintJob.h"

#include "core/ColorDisplay.h"
#include "core/ColorProfile.h"
#include "core/ImageEx.h"
#include "core/RGBImage.h"
#include "core/RowBands.h"
#include "correction/TrimmingDoc.h"
#include "core/IniFile.h"
#include "core/PathUtils.h"
#include "core/SRGBProfile.h"
#include "print/PageGeometry.h"
#include "print/PrinterSettings.h"
#include "tests/print/PdfReadBack.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <QFile>
#include <QImage>
#include <QPageSize>
#include <QPrinter>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// The smallest rectangle holding every pixel that is not white.
QRect InkBounds(const QImage& page)
{
    int left = page.width(), top = page.height(), right = -1, bottom = -1;
    for (int y = 0; y < page.height(); ++y)
    {
        const uchar* row = page.constScanLine(y);
        for (int x = 0; x < page.width(); ++x)
            if (row[3 * x] < 250 || row[3 * x + 1] < 250 || row[3 * x + 2] < 250)
            {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// ------------------------------------------------------------ fixtures

// Pixels that change along both axes (so a shift, a flip or a lost row
// shows), saturated and dark ones among them, none near white so that the
// image's extent can be found on the page.
CImageEx PatternImage(int width, int height)
{
    CImageEx image;
    EXPECT_TRUE(image.Create(width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            std::uint8_t* p = image.GetPixelAddress(x, y);
            p[0] = static_cast<std::uint8_t>((x * 7 + y * 3) % 240);  // blue
            p[1] = static_cast<std::uint8_t>((y * 11) % 240);         // green
            p[2] = static_cast<std::uint8_t>((x % 5 == 0) ? 230 : (x * 13) % 200); // red
        }
    return image;
}

// The pattern as a 16-bit print copy in the same encoding (v x 257): a
// conversion in double precision sees the same values in both.
CRGBImage Widened(const CImageEx& image)
{
    CRGBImage wide;
    EXPECT_TRUE(wide.Create(image.GetWidth(), image.GetHeight()));
    RGB16* pixels = wide.Lock();
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
        {
            const std::uint8_t* p = image.GetPixelAddress(x, y);
            pixels[static_cast<std::size_t>(y) * image.GetWidth() + x] =
                RGB16{static_cast<std::uint16_t>(p[2] * 257), static_cast<std::uint16_t>(p[1] * 257),
                      static_cast<std::uint16_t>(p[0] * 257)};
        }
    wide.Unlock();
    return wide;
}

struct Primaries
{
    double rx, ry, gx, gy, bx, by;
};
constexpr Primaries kAdobeLike{0.64, 0.33, 0.21, 0.71, 0.15, 0.06};
// A printer-like gamut, narrower than sRGB's, on a D50 white.
constexpr Primaries kPrinterLike{0.60, 0.34, 0.32, 0.55, 0.17, 0.10};

Bytes SaveProfile(cmsHPROFILE h)
{
    cmsUInt32Number size = 0;
    Bytes bytes;
    if (h && cmsSaveProfileToMem(h, nullptr, &size) && size > 0)
    {
        bytes.resize(size);
        cmsSaveProfileToMem(h, bytes.data(), &size);
    }
    if (h)
        cmsCloseProfile(h);
    return bytes;
}

// A matrix/shaper profile made by LittleCMS: the primaries on the white
// (x, y), one gamma for all channels, and the device class.
Bytes MatrixProfile(const Primaries& p, double wx, double wy, double gamma,
                    cmsProfileClassSignature deviceClass)
{
    const cmsCIExyY white{wx, wy, 1.0};
    const cmsCIExyYTRIPLE primaries{{p.rx, p.ry, 1.0}, {p.gx, p.gy, 1.0}, {p.bx, p.by, 1.0}};
    cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE h = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    if (h)
        cmsSetDeviceClass(h, deviceClass);
    return SaveProfile(h);
}

// image's pixels converted from one profile to another by LittleCMS in
// double precision without optimisation (the reference), as BGR bytes
// rounded to the nearest value; proof: soft-proofing through it.
CImageEx ReferenceConversion(const CImageEx& image, const Bytes& from, const Bytes& to,
                             const Bytes* proof = nullptr)
{
    cmsHPROFILE in = cmsOpenProfileFromMem(from.data(), static_cast<cmsUInt32Number>(from.size()));
    cmsHPROFILE out = cmsOpenProfileFromMem(to.data(), static_cast<cmsUInt32Number>(to.size()));
    cmsHPROFILE mid = proof ? cmsOpenProfileFromMem(proof->data(),
                                                    static_cast<cmsUInt32Number>(proof->size()))
                            : nullptr;
    const cmsHTRANSFORM t =
        mid ? cmsCreateProofingTransform(in, TYPE_BGR_DBL, out, TYPE_BGR_DBL, mid,
                                         INTENT_PERCEPTUAL, INTENT_RELATIVE_COLORIMETRIC,
                                         cmsFLAGS_SOFTPROOFING | cmsFLAGS_NOOPTIMIZE |
                                             cmsFLAGS_NOCACHE)
            : cmsCreateTransform(in, TYPE_BGR_DBL, out, TYPE_BGR_DBL, INTENT_PERCEPTUAL,
                                 cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE);
    CImageEx result = image;
    EXPECT_NE(t, nullptr);
    if (t)
    {
        std::vector<double> line(static_cast<std::size_t>(image.GetWidth()) * 3);
        for (int y = 0; y < image.GetHeight(); ++y)
        {
            const std::uint8_t* s = image.GetPixelAddress(0, y);
            for (std::size_t i = 0; i < line.size(); ++i)
                line[i] = s[i] / 255.0;
            cmsDoTransform(t, line.data(), line.data(), static_cast<cmsUInt32Number>(image.GetWidth()));
            std::uint8_t* d = result.GetPixelAddress(0, y);
            for (std::size_t i = 0; i < line.size(); ++i)
                d[i] = static_cast<std::uint8_t>(std::lround(std::clamp(line[i], 0.0, 1.0) * 255.0));
        }
        cmsDeleteTransform(t);
    }
    for (cmsHPROFILE h : {in, out, mid})
        if (h)
            cmsCloseProfile(h);
    return result;
}

// The largest difference of any channel between a BGR image and an RGB
// QImage of the same size (the embedded image read back); 256 when the
// sizes differ.
int LargestDifference(const CImageEx& expected, const QImage& actual)
{
    if (actual.width() != expected.GetWidth() || actual.height() != expected.GetHeight())
        return 256;
    int worst = 0;
    for (int y = 0; y < expected.GetHeight(); ++y)
    {
        const std::uint8_t* e = expected.GetPixelAddress(0, y);
        const uchar* a = actual.constScanLine(y);
        for (int x = 0; x < expected.GetWidth(); ++x)
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(int{e[3 * x + c]} - int{a[3 * x + 2 - c]}));
    }
    return worst;
}

// A4 at 300 dpi without margins: what the PDF printer gives.
constexpr PageGeometry kA4At300{2480, 3508, 2480, 3508, 0, 0, 300, 300};

class PrintJobTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!HavePoppler())
            GTEST_SKIP() << "poppler-utils (pdfinfo, pdfimages, pdftoppm) are not installed";
        ASSERT_TRUE(EnsureSRGBProfileInstalled());
        CColorProfile srgb;
        ASSERT_TRUE(srgb.Open(GetSRGBProfileFileName()));
        ASSERT_TRUE(srgb.GetProfileBytes(m_srgbBytes));
        ASSERT_TRUE(srgb.GetLogColorSpace(m_srgbSpace, false));
    }

    std::unique_ptr<QPrinter> PdfPrinter(const std::string& path, double marginMM = 0,
                                         bool fullPage = true)
    {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(QString::fromStdString(path));
        printer->setResolution(300);
        printer->setPageSize(QPageSize(QPageSize::A4));
        printer->setPageMargins(QMarginsF(marginMM, marginMM, marginMM, marginMM),
                                QPageLayout::Millimeter);
        printer->setFullPage(fullPage);
        return printer;
    }

    std::string WriteProfile(const std::string& name, const Bytes& bytes)
    {
        const std::string path = m_folders.File(name);
        testsupport::WriteBinaryFile(path, bytes);
        return path;
    }

    // A request for the whole image at `dots` dots a pixel from (origin)
    // on the sRGB path.
    PrintImageRequest Request(const CRGBImage& image, int originX = 100, int originY = 200,
                              int dots = 4) const
    {
        PrintImageRequest request;
        request.image = &image;
        request.originX = originX;
        request.originY = originY;
        // 0.1 mm whose dots at 300 dpi come to exactly `dots` a pixel.
        request.printWidth = static_cast<int>(std::lround(image.GetWidth() * dots * 254.0 / 300));
        request.printHeight = static_cast<int>(std::lround(image.GetHeight() * dots * 254.0 / 300));
        request.path = PrintColorPath::NoPrinterProfile;
        request.documentName = "pattern.tif";
        return request;
    }

    PrintJobOutcome Print(const PrintImageRequest& request, const std::string& pdf,
                          const std::string& associated = {})
    {
        auto printer = PdfPrinter(pdf);
        return PrintImageOnPrinter(*printer, kA4At300, associated, request, nullptr);
    }

    testsupport::PrivateUserFolders m_folders;
    Bytes m_srgbBytes;
    LogColorSpace m_srgbSpace;
};

// ------------------------------------------------------------ arithmetic

TEST(PrintJobArithmetic, DestinationIsOriginPlusTrimAndSizeLessTrim)
{
    PrintImageRequest r;
    r.originX = 100;
    r.originY = -50;
    r.printWidth = 2000;
    r.printHeight = 1500;
    const struct
    {
        PrintMargins trim;
        int dpi;
        PrintDotsRect expected;
    } cases[] = {
        // 0.1 mm at 300 dpi: v / 254 x 300 rounded half up.
        {{0, 0, 0, 0}, 300, {118, -59, 2362, 1772}},
        {{100, 200, 300, 400}, 300, {236, 177, 1890, 1063}},
        {{100, 200, 300, 400}, 600, {472, 354, 3780, 2126}},
        {{0, 0, 0, 0}, 0, {0, 0, 0, 0}}, // no resolution: nothing to divide by
    };
    for (const auto& c : cases)
    {
        r.trimTenthMM = c.trim;
        EXPECT_EQ(PrintDestinationRect(r, c.dpi, c.dpi), c.expected)
            << c.trim.left << "," << c.trim.top << " at " << c.dpi;
    }
}

// What the layout takes as lying on the printable area (up to a tenth over
// an edge, with its sizes rounded to tenths) is printed on it; what lies
// further off is printed where the user put it.
TEST(PrintJobArithmetic, DestinationWithinTheLayoutsRoundingIsHeldOnThePrintableArea)
{
    // 300 dpi, printable 2380 x 3408 dots; two dots are the rounding.
    const PageGeometry page{2480, 3508, 2380, 3408, 50, 50, 300, 300};
    const struct
    {
        const char* name;
        int originX, width; // 0.1 mm; the image is 1000 tenths (1181 dots) high at 0
        PrintDotsRect expected;
    } cases[] = {
        {"on the area", 100, 1000, {118, 0, 1181, 1181}},
        {"a dot over the left edge: moved", -1, 1000, {0, 0, 1181, 1181}},
        {"a dot over the right edge: moved", 1016, 1000, {1199, 0, 1181, 1181}},
        {"a dot wider than the area: narrowed", -1, 2017, {0, 0, 2380, 1181}},
        {"far over the left edge: as placed", -100, 1000, {-118, 0, 1181, 1181}},
        {"far over the right edge (filling the paper)", -1, 3000, {0, 0, 3542, 1181}},
    };
    for (const auto& c : cases)
    {
        PrintImageRequest r;
        r.originX = c.originX;
        r.printWidth = c.width;
        r.printHeight = 1000;
        EXPECT_EQ(PrintDestinationOnPage(r, page), c.expected) << c.name;
    }
}

TEST(PrintJobArithmetic, TheDeviceRectangleIsTheLayoutsDotsAtTheDevicesResolution)
{
    const struct
    {
        PrintDotsRect dots;
        int dpi;
        int deviceDpi;
        PrintDotsRect expected;
    } cases[] = {
        {{118, -59, 2362, 1772}, 300, 300, {118, -59, 2362, 1772}}, // the PDF printer
        {{118, 59, 2362, 1772}, 300, 600, {236, 118, 4724, 3544}},
        {{101, 33, 1001, 333}, 600, 300, {51, 17, 500, 166}}, // far edges rounded too
        {{1, 2, 3, 4}, 0, 300, {0, 0, 0, 0}},                 // nothing to divide by
    };
    for (const auto& c : cases)
        EXPECT_EQ(PrintDeviceRect(c.dots, c.dpi, c.dpi, c.deviceDpi), c.expected)
            << c.dots.x << " at " << c.dpi << " on " << c.deviceDpi;
}

TEST(PrintJobArithmetic, EachPathSetsItsIcmMethod)
{
    EXPECT_EQ(IcmMethodOfPath(PrintColorPath::PrinterAssociated), 2);
    EXPECT_EQ(IcmMethodOfPath(PrintColorPath::PrinterProfile), kIcmMethodNone);
    EXPECT_EQ(IcmMethodOfPath(PrintColorPath::NoPrinterProfile), 3);
}

// ------------------------------------------------------------ the page

TEST_F(PrintJobTest, TheVisiblePartLandsAtOriginPlusTrimOnTheRightPaper)
{
    const CImageEx pattern = PatternImage(120, 90);
    const CRGBImage image = Widened(pattern);
    const struct
    {
        const char* name;
        PrintMargins trimPixels;
    } cases[] = {
        {"whole image", {0, 0, 0, 0}},
        {"trimmed on every side", {10, 5, 20, 15}},
        {"trimmed left and bottom", {30, 0, 0, 40}},
    };
    for (const auto& c : cases)
    {
        PrintImageRequest request = Request(image);
        request.trimPixels = c.trimPixels;
        // The trim on paper is the trimmed pixels at 4 dots a pixel.
        const auto tenth = [](int pixels) {
            return static_cast<int>(std::lround(pixels * 4 * 254.0 / 300));
        };
        request.trimTenthMM = {tenth(c.trimPixels.left), tenth(c.trimPixels.top),
                               tenth(c.trimPixels.right), tenth(c.trimPixels.bottom)};
        const int visibleWidth = 120 - c.trimPixels.left - c.trimPixels.right;
        request.bandRows = 4096;

        const std::string pdf = m_folders.File(std::string("page-") + c.name + ".pdf");
        testsupport::RecordingMessageSink sink;
        const PrintJobOutcome outcome = Print(request, pdf);
        ASSERT_EQ(outcome.result, PrintJobResult::Printed) << c.name << ": " << outcome.detail;
        EXPECT_EQ(outcome.messageId, 0);
        EXPECT_TRUE(sink.messages.empty()) << c.name;

        const PdfInfo info = ReadPdfInfo(pdf);
        EXPECT_NEAR(info.width, 210 / 25.4 * 72, 1.0) << c.name; // A4 in points
        EXPECT_NEAR(info.height, 297 / 25.4 * 72, 1.0) << c.name;
        EXPECT_EQ(info.pages, 1) << c.name;

        // Only the visible part is sent, resampled to the destination's
        // device pixels: 300 ppi on the page.
        const PrintDotsRect dest = PrintDestinationRect(request, 300, 300);
        const std::vector<PdfImage> images = PdfImages(pdf);
        ASSERT_EQ(images.size(), 1u) << c.name;
        EXPECT_EQ(images[0].width, dest.width) << c.name;
        EXPECT_EQ(images[0].height, dest.height) << c.name;
        EXPECT_NEAR(images[0].xppi, 300, 1) << c.name;
        EXPECT_NEAR(images[0].yppi, 300, 1) << c.name;
        EXPECT_NEAR(dest.width, visibleWidth * 4, 1) << c.name;

        // Its corner at origin + trim margin, its size the print size less
        // the trim margins, in dots at 300 dpi.
        const QImage page = RenderPdfPage(pdf, 300, m_folders.File("render"));
        const QRect ink = InkBounds(page);
        EXPECT_NEAR(ink.left(), dest.x, 1) << c.name;
        EXPECT_NEAR(ink.top(), dest.y, 1) << c.name;
        EXPECT_NEAR(ink.width(), dest.width, 1) << c.name;
        EXPECT_NEAR(ink.height(), dest.height, 1) << c.name;

        // The first visible pixel is the one sent for the corner.
        const std::uint8_t* corner = pattern.GetPixelAddress(c.trimPixels.left, c.trimPixels.top);
        const QImage sent = FirstEmbeddedImage(pdf, m_folders.File("sent"));
        ASSERT_FALSE(sent.isNull()) << c.name;
        const uchar* drawn = sent.constScanLine(0);
        EXPECT_NEAR(drawn[0], corner[2], 1) << c.name;
        EXPECT_NEAR(drawn[1], corner[1], 1) << c.name;
        EXPECT_NEAR(drawn[2], corner[0], 1) << c.name;
    }
}

TEST_F(PrintJobTest, ThePrintableAreaIsTheOriginWhateverThePrintersPageMode)
{
    // A printer whose printable area starts 10 mm into the sheet: layout
    // positions count from there, with the painter at the sheet's corner
    // (full page) or at the printable area's.
    const CRGBImage image = Widened(PatternImage(60, 40));
    const PrintImageRequest request = Request(image, 50, 80);
    const int margin = TenthMMToDots(100, 300);
    PageGeometry page = kA4At300;
    page.offsetX = page.offsetY = margin;
    page.printableWidth -= 2 * margin;
    page.printableHeight -= 2 * margin;
    for (const bool fullPage : {true, false})
    {
        const std::string pdf = m_folders.File(fullPage ? "full.pdf" : "margins.pdf");
        auto printer = PdfPrinter(pdf, 10.0, fullPage);
        const PrintJobOutcome outcome = PrintImageOnPrinter(*printer, page, "", request, nullptr);
        ASSERT_EQ(outcome.result, PrintJobResult::Printed) << outcome.detail;
        const PrintDotsRect dest = PrintDestinationRect(request, 300, 300);
        const QRect ink = InkBounds(RenderPdfPage(pdf, 300, m_folders.File("render")));
        EXPECT_NEAR(ink.left(), margin + dest.x, 1) << "full page " << fullPage;
        EXPECT_NEAR(ink.top(), margin + dest.y, 1) << "full page " << fullPage;
        EXPECT_NEAR(ink.width(), dest.width, 1) << "full page " << fullPage;
    }
}

// The page is the visible part resampled once to the destination's device
// pixels by the project's area resampler (the batch's resizing), then
// converted: the embedded image equals, row for row, that resampling made
// on one thread and converted, for a reduction and an enlargement alike;
// and bands of any height send the same rows.
TEST_F(PrintJobTest, ThePageIsTheOneThreadResamplingOfTheVisiblePart)
{
    const CImageEx pattern = PatternImage(203, 157);
    CRGBImage image = Widened(pattern);
    const PrintMargins trim{7, 3, 11, 5};
    const CRect visible(trim.left, trim.top, 203 - trim.right, 157 - trim.bottom);
    const struct
    {
        const char* name;
        int widthTenthMM;
        int heightTenthMM;
    } layouts[] = {
        {"a reduction", 60, 50},     // 71 x 59 dots
        {"an enlargement", 392, 333}, // 463 x 393 dots
    };
    CColorProfile srgb;
    ASSERT_TRUE(srgb.Open(GetSRGBProfileFileName()));
    for (const auto& layout : layouts)
    {
        PrintImageRequest request = Request(image);
        request.trimPixels = trim;
        request.printWidth = layout.widthTenthMM;
        request.printHeight = layout.heightTenthMM;
        const PrintDotsRect dest = PrintDestinationRect(request, 300, 300);

        // The reference: one thread, the batch's resampler, then sRGB.
        SetRowThreadCount(1);
        CRGBImage resampled;
        const bool made = ResampleImageRect(image, visible, dest.width, dest.height, resampled);
        SetRowThreadCount(0);
        ASSERT_TRUE(made) << layout.name;
        CPixelConversion conversion;
        ASSERT_TRUE(conversion.Prepare(nullptr, srgb, nullptr, nullptr, PixelInput::Rgb16));
        CImageEx expected;
        ASSERT_TRUE(expected.Create(dest.width, dest.height));
        conversion.ConvertRows16(resampled.GetPixels(), static_cast<std::size_t>(dest.width),
                                 expected.GetBits(), expected.GetPitch(), dest.width, dest.height);

        for (const int bandRows : {4096, 7, 1})
        {
            request.bandRows = bandRows;
            request.threads = 4;
            const std::string pdf = m_folders.File("bands.pdf");
            ASSERT_EQ(Print(request, pdf).result, PrintJobResult::Printed) << layout.name;
            // Every device row is sent once, in bands of the given height.
            int rows = 0;
            for (const PdfImage& sent : PdfImages(pdf))
            {
                EXPECT_EQ(sent.width, dest.width) << layout.name;
                EXPECT_LE(sent.height, bandRows) << layout.name;
                rows += sent.height;
            }
            EXPECT_EQ(rows, dest.height) << layout.name << ", bands of " << bandRows;
            if (bandRows != 4096)
                continue;
            const QImage sent = FirstEmbeddedImage(pdf, m_folders.File("sent"));
            ASSERT_EQ(sent.size(), QSize(dest.width, dest.height)) << layout.name;
            for (int y = 0; y < dest.height; ++y)
            {
                const std::uint8_t* e = expected.GetPixelAddress(0, y);
                const uchar* a = sent.constScanLine(y);
                bool same = true;
                for (int x = 0; x < dest.width && same; ++x)
                    same = a[3 * x] == e[3 * x + 2] && a[3 * x + 1] == e[3 * x + 1] &&
                           a[3 * x + 2] == e[3 * x];
                ASSERT_TRUE(same) << layout.name << ": row " << y;
            }
        }
    }
}

// ------------------------------------------------------------ colour paths

TEST_F(PrintJobTest, SRGBPathSendsSRGBUnchangedAndConvertsOtherSpaces)
{
    const CImageEx pattern = PatternImage(64, 48);
    const CRGBImage image = Widened(pattern);
    const std::string adobePath =
        WriteProfile("adobe.icc", MatrixProfile(kAdobeLike, 0.3127, 0.3290, 2.2, cmsSigDisplayClass));
    const std::string linearPath =
        WriteProfile("linear.icc", MatrixProfile(kAdobeLike, 0.3127, 0.3290, 1.0, cmsSigColorSpaceClass));

    const struct
    {
        const char* name;
        std::string profile; // the image's colour space; empty: its record is sRGB's
        bool noRecord;       // no colour space at all
        int tolerance;
    } cases[] = {
        {"no colour space is sRGB", "", true, 0},
        {"sRGB's own record", "", false, 0},
        {"an Adobe-RGB-like space", adobePath, false, 2},
        {"a linear space", linearPath, false, 2},
    };
    for (const auto& c : cases)
    {
        LogColorSpace space = m_srgbSpace;
        Bytes sourceBytes = m_srgbBytes;
        if (!c.profile.empty())
        {
            CColorProfile profile;
            ASSERT_TRUE(profile.Open(c.profile)) << c.name;
            ASSERT_TRUE(profile.GetLogColorSpace(space, false)) << c.name;
            ASSERT_TRUE(profile.GetProfileBytes(sourceBytes)) << c.name;
        }
        PrintImageRequest request = Request(image, 100, 200, 1);
        request.colorSpace = c.noRecord ? nullptr : &space;
        request.bandRows = 4096;
        const std::string pdf = m_folders.File("srgb.pdf");
        ASSERT_EQ(Print(request, pdf).result, PrintJobResult::Printed) << c.name;

        const QImage sent = FirstEmbeddedImage(pdf, m_folders.File("sent"));
        const CImageEx expected = c.profile.empty()
                                      ? pattern
                                      : ReferenceConversion(pattern, sourceBytes, m_srgbBytes);
        EXPECT_LE(LargestDifference(expected, sent), c.tolerance) << c.name;
        if (!c.profile.empty())
        {
            EXPECT_GT(LargestDifference(pattern, sent), 4) << c.name << " was not converted";
        }
    }
}

TEST_F(PrintJobTest, PrinterProfilePathConvertsToTheChosenProfile)
{
    const CImageEx pattern = PatternImage(64, 48);
    const CRGBImage image = Widened(pattern);
    const Bytes printerBytes = MatrixProfile(kPrinterLike, 0.3457, 0.3585, 1.8, cmsSigOutputClass);
    const std::string printerPath = WriteProfile("printer.icc", printerBytes);
    const Bytes adobeBytes = MatrixProfile(kAdobeLike, 0.3127, 0.3290, 2.2, cmsSigDisplayClass);
    const std::string adobePath = WriteProfile("monitor.icc", adobeBytes);
    const CImageEx toPrinter = ReferenceConversion(pattern, m_srgbBytes, printerBytes);

    const struct
    {
        const char* name;
        PrintColorPath path;
        std::string chosen;     // the profile the user chose
        std::string associated; // the printer's own
        bool expectPrinter;     // to the printer profile, else to sRGB (unchanged)
    } cases[] = {
        {"the chosen profile", PrintColorPath::PrinterProfile, printerPath, adobePath, true},
        {"no choice takes the printer's own", PrintColorPath::PrinterProfile, "", printerPath,
         true},
        {"the printer's own profile", PrintColorPath::PrinterAssociated, "", printerPath, true},
        {"a printer without one is printed as sRGB", PrintColorPath::PrinterAssociated, "", "",
         false},
    };
    for (const auto& c : cases)
    {
        PrintImageRequest request = Request(image, 100, 200, 1);
        request.path = c.path;
        request.printerProfilePath = c.chosen;
        request.bandRows = 4096;
        const std::string pdf = m_folders.File("printer.pdf");
        testsupport::RecordingMessageSink sink;
        ASSERT_EQ(Print(request, pdf, c.associated).result, PrintJobResult::Printed) << c.name;
        EXPECT_TRUE(sink.messages.empty()) << c.name;
        const QImage sent = FirstEmbeddedImage(pdf, m_folders.File("sent"));
        EXPECT_LE(LargestDifference(c.expectPrinter ? toPrinter : pattern, sent), 2) << c.name;
    }
}

TEST_F(PrintJobTest, TheMonitorProofKeepsPrintedColoursInsideTheDisplaysGamut)
{
    // A wide image to a wide printer: saturated colours pass as they are,
    // unless proofed against an sRGB display, whose gamut they leave.
    const CImageEx pattern = PatternImage(64, 48);
    const CRGBImage image = Widened(pattern);
    const Bytes wideBytes = MatrixProfile(kAdobeLike, 0.3127, 0.3290, 2.2, cmsSigOutputClass);
    const std::string widePrinter = WriteProfile("wide-printer.icc", wideBytes);
    CColorProfile wide;
    ASSERT_TRUE(wide.OpenDeviceProfile(widePrinter));
    LogColorSpace wideSpace;
    ASSERT_TRUE(wide.GetLogColorSpace(wideSpace, false));
    const std::string monitor = WriteProfile("srgb-monitor.icc", m_srgbBytes);

    const struct
    {
        const char* name;
        bool proof;
        std::string monitorPath;
        bool proofed;
    } cases[] = {
        {"no proof", false, monitor, false},
        {"proof without a monitor profile", true, "", false},
        {"proof against the display", true, monitor, true},
    };
    for (const auto& c : cases)
    {
        PrintImageRequest request = Request(image, 100, 200, 1);
        request.colorSpace = &wideSpace;
        request.path = PrintColorPath::PrinterProfile;
        request.printerProfilePath = widePrinter;
        request.proofWithMonitor = c.proof;
        request.monitorProfilePath = c.monitorPath;
        request.bandRows = 4096;
        const std::string pdf = m_folders.File("proof.pdf");
        ASSERT_EQ(Print(request, pdf).result, PrintJobResult::Printed) << c.name;
        const QImage sent = FirstEmbeddedImage(pdf, m_folders.File("sent"));
        const CImageEx expected = c.proofed
                                      ? ReferenceConversion(pattern, wideBytes, wideBytes, &m_srgbBytes)
                                      : pattern;
        // The proof runs through LittleCMS's 8-bit grid: a few levels.
        EXPECT_LE(LargestDifference(expected, sent), c.proofed ? 4 : 2) << c.name;
        if (c.proofed)
        {
            EXPECT_GT(LargestDifference(pattern, sent), 20) << c.name;
        }
    }
}

// ------------------------------------------------------------ failures

TEST_F(PrintJobTest, AConversionThatCannotBeMadeIsReportedOnceAndPrintsNothing)
{
    const CRGBImage image = Widened(PatternImage(32, 24));
    const std::string garbage = WriteProfile("garbage.icc", Bytes(300, 0x5a));
    const std::string lab = WriteProfile("lab.icc", SaveProfile(cmsCreateLab4Profile(nullptr)));
    LogColorSpace brokenSpace = m_srgbSpace;
    brokenSpace.lcsGammaRed = 0;

    const struct
    {
        const char* name;
        PrintColorPath path;
        std::string chosen;
        const LogColorSpace* colorSpace;
        std::string monitor;
        int message;
    } cases[] = {
        {"a file that is no profile", PrintColorPath::PrinterProfile, garbage, nullptr, "",
         kStrPrintConversionFailed},
        {"a missing profile", PrintColorPath::PrinterProfile, m_folders.File("none.icc"), nullptr,
         "", kStrPrintConversionFailed},
        {"a Lab profile an RGB image cannot go to", PrintColorPath::PrinterProfile, lab, nullptr,
         "", kStrPrintConversionFailed},
        {"a monitor profile that cannot be opened", PrintColorPath::PrinterProfile,
         WriteProfile("ok.icc", m_srgbBytes), nullptr, m_folders.File("none.icc"),
         kStrPrintConversionFailed},
        {"an image colour space LittleCMS cannot use", PrintColorPath::NoPrinterProfile, "",
         &brokenSpace, "", kStrPrintConversionFailed},
        {"no printer profile at all", PrintColorPath::PrinterProfile, "", nullptr, "", 11084},
    };
    for (const auto& c : cases)
    {
        PrintImageRequest request = Request(image);
        request.path = c.path;
        request.printerProfilePath = c.chosen;
        request.colorSpace = c.colorSpace;
        request.proofWithMonitor = !c.monitor.empty();
        request.monitorProfilePath = c.monitor;
        const std::string pdf = m_folders.File("failed.pdf");
        testsupport::RecordingMessageSink sink;
        const PrintJobOutcome outcome = Print(request, pdf);
        EXPECT_EQ(outcome.result, PrintJobResult::Failed) << c.name;
        EXPECT_EQ(outcome.messageId, 11079) << c.name;
        EXPECT_FALSE(outcome.detail.empty()) << c.name;
        ASSERT_EQ(sink.messages.size(), 1u) << c.name;
        EXPECT_EQ(sink.messages[0].stringId, c.message) << c.name;
        if (c.message == kStrPrintConversionFailed)
        {
            ASSERT_EQ(sink.messages[0].args.size(), 1u) << c.name;
            EXPECT_EQ(sink.messages[0].args[0], outcome.detail) << c.name;
        }
        EXPECT_FALSE(QFile::exists(QString::fromStdString(pdf))) << c.name << ": a page came out";
    }
}

TEST_F(PrintJobTest, NothingToPrintFailsWithoutStartingADocument)
{
    const CRGBImage image = Widened(PatternImage(32, 24));
    const CRGBImage empty;
    const struct
    {
        const char* name;
        const CRGBImage* image;
        PrintMargins trim;
        int printWidth;
    } cases[] = {
        {"no image", nullptr, {}, 500},
        {"an empty image", &empty, {}, 500},
        {"trimmed to nothing across", &image, {16, 0, 16, 0}, 500},
        {"trimmed to nothing down", &image, {0, 20, 0, 4}, 500},
        {"no print width", &image, {}, 0},
    };
    for (const auto& c : cases)
    {
        PrintImageRequest request = Request(image);
        request.image = c.image;
        request.trimPixels = c.trim;
        request.printWidth = c.printWidth;
        const std::string pdf = m_folders.File("nothing.pdf");
        testsupport::RecordingMessageSink sink;
        const PrintJobOutcome outcome = Print(request, pdf);
        EXPECT_EQ(outcome.result, PrintJobResult::Failed) << c.name;
        EXPECT_EQ(outcome.messageId, 11079) << c.name;
        EXPECT_FALSE(QFile::exists(QString::fromStdString(pdf))) << c.name;
    }
}

// ------------------------------------------------------------ the remembered profile

TEST_F(PrintJobTest, ThePdfPrinterPrintsAndOnlyAPrintThroughAChosenProfileIsRemembered)
{
    const CRGBImage image = Widened(PatternImage(40, 30));
    const std::string printerPath = WriteProfile(
        "Glossy.icc", MatrixProfile(kPrinterLike, 0.3457, 0.3585, 1.8, cmsSigOutputClass));
    const std::string garbage = WriteProfile("Broken.icc", Bytes(200, 1));
    const struct
    {
        const char* name;
        PrintColorPath path;
        std::string chosen;
        PrintJobResult result;
        std::string remembered;
    } cases[] = {
        {"sRGB path", PrintColorPath::NoPrinterProfile, printerPath, PrintJobResult::Printed, ""},
        {"a failed print", PrintColorPath::PrinterProfile, garbage, PrintJobResult::Failed, ""},
        {"printer profile path", PrintColorPath::PrinterProfile, printerPath,
         PrintJobResult::Printed, "Glossy.icc"},
    };
    for (const auto& c : cases)
    {
        CPrinterSettings settings;
        ASSERT_TRUE(settings.OpenPrinterDevMode(kPdfPrinterName));
        const std::string pdf = m_folders.File("settings.pdf");
        QFile::remove(QString::fromStdString(pdf));
        settings.SetOutputFile(pdf);
        PrintImageRequest request = Request(image);
        request.path = c.path;
        request.printerProfilePath = c.chosen;
        testsupport::RecordingMessageSink sink;
        const PrintJobOutcome outcome = PrintImage(settings, request, nullptr);
        EXPECT_EQ(outcome.result, c.result) << c.name << ": " << outcome.detail;
        // No file at all reads as -1 pages.
        EXPECT_EQ(ReadPdfInfo(pdf).pages, c.result == PrintJobResult::Printed ? 1 : -1) << c.name;
        EXPECT_EQ(LoadPrinterProfileChoice(kPdfPrinterName), c.remembered) << c.name;
    }
}

TEST_F(PrintJobTest, NoPrinterNoDocument)
{
    const CRGBImage image = Widened(PatternImage(8, 8));
    CPrinterSettings closed; // no printer opened: no printer to print on
    testsupport::RecordingMessageSink sink;
    const PrintJobOutcome outcome = PrintImage(closed, Request(image), nullptr);
    EXPECT_EQ(outcome.result, PrintJobResult::Failed);
    EXPECT_EQ(outcome.messageId, 11079);
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(PrintJobTest, ThePrinterProfileChoiceIsStoredByItsFileName)
{
    EXPECT_EQ(LoadPrinterProfileChoice("Office Jet"), "");
    ASSERT_TRUE(StorePrinterProfileChoice("Office Jet", "/usr/share/color/icc/Glossy Photo.icc"));
    ASSERT_TRUE(StorePrinterProfileChoice("PDF ファイル", "Plain.icm"));
    EXPECT_EQ(LoadPrinterProfileChoice("Office Jet"), "Glossy Photo.icc");
    EXPECT_EQ(LoadPrinterProfileChoice("PDF ファイル"), "Plain.icm");
    EXPECT_EQ(CIniFile(GetIniFilePath()).GetString("PrinterICCProfile", "Office Jet", ""),
              "Glossy Photo.icc");
    EXPECT_FALSE(StorePrinterProfileChoice("", "Plain.icm"));
}

} // namespace
