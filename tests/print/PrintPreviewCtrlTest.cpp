#include "print/PrintPreviewCtrl.h"
#include "print/PrintPreviewLogic.h"

#include "controls/support/ColorRef.h"
#include "core/ColorDisplay.h"
#include "core/ImageEx.h"
#include "core/RGBImage.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestProfiles.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// ---------------------------------------------------------------------------
// Geometry

// The preview is 400 x 300: the usable client is 390 x 290 from (5, 5).
const CRect kClient(0, 0, 400, 300);

TEST(PrintPreviewLogicTest, SheetIsCentredAsLargeAsItFits)
{
    struct Case
    {
        const char* name;
        int width, height;
        CRect paper;
        double scale;
    };
    const Case cases[] = {
        // Portrait A4: the height fills 290 pixels (s = 290 / 2970); the
        // width 205 pixels is centred: (390 - 205) / 2 = 92.
        {"portrait", 2100, 2970, {97, 5, 303, 295}, 290.0 / 2970},
        // Landscape A4: the width fills 390 pixels; (290 - 275) / 2 = 7.
        {"landscape", 2970, 2100, {5, 12, 395, 288}, 390.0 / 2970},
        {"no sheet", 0, 2970, {}, 0.0},
    };
    for (const Case& c : cases)
    {
        const PreviewPaper paper = PreviewPaperRect(kClient, c.width, c.height);
        EXPECT_EQ(paper.paper, c.paper) << c.name;
        EXPECT_DOUBLE_EQ(paper.scale, c.scale) << c.name;
    }
    // A control too small for its border has nothing to scale by.
    EXPECT_DOUBLE_EQ(PreviewPaperRect(CRect(0, 0, 8, 8), 2100, 2970).scale, 0.0);
}

TEST(PrintPreviewLogicTest, PageIsCutDownAndTheImageRounded)
{
    // Printable area: offsets and size truncated (42 x 0.0976 = 4.1 -> 4,
    // 2015 x 0.0976 = 196.75 -> 196).
    const double s = 290.0 / 2970;
    EXPECT_EQ(PreviewPrintableRect({97, 5, 303, 295}, s, 42, 42, 2015, 2885),
              CRect(101, 9, 297, 290));
    // The image rounds half up, a negative origin towards zero as well:
    // -3 x 0.5 + 0.5 = -1 -> -1, 5 x 0.5 + 0.5 = 3.
    EXPECT_EQ(PreviewImageRect({101, 9, 297, 290}, 0.5, -3, 5, 11, 7), CRect(100, 12, 106, 16));
}

TEST(PrintPreviewLogicTest, TrimmingRectangleAndImageRectangleAreInverse)
{
    const CRect image(100, 100, 300, 200); // a 400 x 200 image at half size
    const PrintMargins margins{40, 20, 80, 0};
    const CRect trim = PreviewTrimRect(image, 400, 200, margins);
    EXPECT_EQ(trim, CRect(120, 110, 260, 200));
    EXPECT_EQ(PreviewImageFromTrim(trim, 400, 200, margins), image);
    EXPECT_EQ(PreviewMarginsFromTrim(image, trim, 400, 200, {}), margins);

    // Degenerate sizes: nothing to divide by, the inputs come back.
    EXPECT_EQ(PreviewTrimRect(image, 0, 200, margins), image);
    EXPECT_EQ(PreviewMarginsFromTrim(CRect(5, 5, 5, 5), trim, 400, 200, margins), margins);
    EXPECT_EQ(PreviewMarginsFromTrim(image, trim, 0, 0, margins), margins);
    // Margins that leave no pixel are taken as leaving one.
    const CRect one = PreviewImageFromTrim(CRect(150, 100, 151, 200), 400, 200, {200, 0, 200, 0});
    EXPECT_EQ(one, CRect(-50, 100, 350, 200));
}

TEST(PrintPreviewLogicTest, ClientPixelsBackToTenthsNeedAScale)
{
    const CRect printable(101, 9, 297, 290);
    EXPECT_EQ(PreviewRectToTenthMM(CRect(81, 9, 121, 59), printable, 0.1),
              (PrintRectTenthMM{-200, 0, 200, 500}));
    EXPECT_EQ(PreviewRectToTenthMM(CRect(81, 9, 121, 59), printable, 0.0), PrintRectTenthMM{});
}

TEST(PrintPreviewLogicTest, OutsidePartsDoNotOverlap)
{
    struct Case
    {
        const char* name;
        CRect shown, inner, clip;
        int gap;
        std::vector<CRect> parts;
    };
    const Case cases[] = {
        {"all four sides",
         {50, 50, 250, 150},
         {100, 80, 200, 120},
         kClient,
         1,
         {{50, 80, 100, 121}, {50, 50, 250, 80}, {201, 80, 250, 121}, {50, 121, 250, 150}}},
        {"inside", {110, 90, 190, 110}, {100, 80, 200, 120}, kClient, 1, {}},
        {"right only, no gap",
         {150, 90, 250, 110},
         {100, 80, 200, 120},
         kClient,
         0,
         {{200, 90, 250, 110}}},
        // Beyond the client there is nothing to lighten.
        {"left of the client", {-50, 50, 150, 100}, {0, 0, 300, 300}, kClient, 1, {}},
        {"clipped", {250, 50, 450, 100}, {0, 0, 300, 300}, kClient, 1, {{301, 50, 400, 100}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PreviewOutsideParts(c.shown, c.inner, c.clip, c.gap), c.parts) << c.name;
}

TEST(PrintPreviewLogicTest, SubtractRectOnlyCutsWhatLeavesARectangle)
{
    const CRect a(0, 0, 100, 100);
    EXPECT_EQ(SubtractRect(a, {-10, -10, 110, 30}), CRect(0, 30, 100, 100));
    EXPECT_EQ(SubtractRect(a, {-10, 70, 110, 130}), CRect(0, 0, 100, 70));
    EXPECT_EQ(SubtractRect(a, {60, -10, 130, 130}), CRect(0, 0, 60, 100));
    EXPECT_EQ(SubtractRect(a, {40, 40, 60, 60}), a); // a hole: unchanged
    EXPECT_TRUE(SubtractRect(a, {-1, -1, 101, 101}).IsRectEmpty());
}

TEST(PrintPreviewLogicTest, StretchIsClippedProportionally)
{
    // Two source pixels a destination pixel: 100 pixels cut on the left
    // cut 200 source columns.
    const StretchPart part = ClipStretch({-100, 0, 300, 200}, {0, 0, 800, 400}, {0, 0, 200, 100});
    EXPECT_EQ(part.dest, CRect(0, 0, 200, 100));
    EXPECT_EQ(part.source, CRect(200, 0, 600, 200));
    EXPECT_TRUE(ClipStretch({0, 0, 0, 10}, {0, 0, 8, 8}, kClient).dest.IsRectEmpty());
    EXPECT_TRUE(ClipStretch({500, 0, 600, 10}, {0, 0, 8, 8}, kClient).dest.IsRectEmpty());
}

TEST(PrintPreviewLogicTest, EdgesWarnBeyondATenthOver)
{
    struct Case
    {
        int originX, originY;
        PrintMargins trim;
        PrintableEdgeWarnings warn;
    };
    // Printable area 2015 x 2885, image 100 x 100.
    const Case cases[] = {
        {0, 0, {}, {}},
        {-1, -1, {}, {}},
        {-2, 0, {}, {true, false, false, false}},
        {0, -2, {}, {false, true, false, false}},
        {-6, 0, {5, 0, 0, 0}, {}}, // the trimmed-away part may overhang
        {1916, 0, {}, {}},
        {1917, 0, {}, {false, false, true, false}},
        {1920, 2786, {0, 0, 5, 0}, {false, false, false, false}},
        {0, 2787, {}, {false, false, false, true}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PreviewEdgeWarnings(c.originX, c.originY, 100, 100, c.trim, 2015, 2885), c.warn)
            << c.originX << ", " << c.originY;
}

// ---------------------------------------------------------------------------
// The frames, driven without a widget

class FrameTest : public ::testing::Test
{
protected:
    // A 100 x 50 frame whose aspect is 2.
    void SetUp() override
    {
        image.m_rect = CRect(100, 100, 200, 150);
        image.m_referenceWidth = 100;
        image.m_referenceHeight = 50;
        image.m_aspect = 2.0;
        image.m_bounds = CRect(50, 50, 350, 250);
        image.m_maxTrackWidth = 200;
    }

    CRect Drag(CRectTracker& tracker, CPoint from, CPoint to, bool shift = false,
               bool control = false)
    {
        if (auto* t = dynamic_cast<CImageTracker*>(&tracker))
            t->SetStartRect(t->m_rect);
        if (auto* t = dynamic_cast<CMyTracker*>(&tracker))
            t->SetStartRect(t->m_rect);
        EXPECT_TRUE(tracker.BeginTrack(from));
        tracker.TrackTo(to, shift, control);
        EXPECT_TRUE(tracker.EndTrack());
        return tracker.m_rect;
    }

    CImageTracker image;
};

TEST_F(FrameTest, HandlesAreFoundOutsideTheFrame)
{
    EXPECT_EQ(image.HitTest({150, 125}), CRectTracker::hitMiddle);
    EXPECT_EQ(image.HitTest({96, 96}), CRectTracker::hitTopLeft);
    EXPECT_EQ(image.HitTest({203, 153}), CRectTracker::hitBottomRight);
    EXPECT_EQ(image.HitTest({203, 124}), CRectTracker::hitRight);
    EXPECT_EQ(image.HitTest({149, 96}), CRectTracker::hitTop);
    EXPECT_EQ(image.HitTest({300, 300}), CRectTracker::hitNothing);
    CRectTracker plain(CRect(0, 0, 10, 10), 0);
    EXPECT_FALSE(plain.BeginTrack({50, 50}));
}

TEST_F(FrameTest, ResizeKeepsTheAspect)
{
    struct Case
    {
        const char* name;
        CPoint from, to;
        bool keepCentre;
        CRect result;
    };
    const Case cases[] = {
        // Height 70 -> width 140, anchored at the top-left.
        {"bottom-right", {203, 153}, {203, 173}, false, {100, 100, 240, 170}},
        // Height 30 -> width 60; anchored at the bottom-right.
        {"top-left", {96, 96}, {96, 116}, false, {140, 120, 200, 150}},
        // Width 160 drives: height 80, centred on the frame it started from.
        {"right", {203, 124}, {263, 124}, false, {100, 85, 260, 165}},
        // Width 200 (the maximum) is reached at height 100; a taller drag
        // is cut to it and the height taken from the width.
        {"bottom, at the maximum", {149, 153}, {149, 253}, false, {50, 100, 250, 200}},
        // Keeping the centre, the frame grows by half on each side.
        {"bottom-right, centred", {203, 153}, {203, 173}, true, {80, 90, 220, 160}},
        {"left, centred", {96, 124}, {76, 124}, true, {90, 95, 210, 155}},
    };
    for (const Case& c : cases)
    {
        SetUp();
        image.m_keepCentre = c.keepCentre;
        const CRect r = Drag(image, c.from, c.to);
        EXPECT_EQ(r, c.result) << c.name;
    }
}

TEST_F(FrameTest, ResizeStopsAtTheMinimumWidth)
{
    image.m_minTrackWidth = 80;
    // Height 20 -> width 40, below 80: width 80, height 40.
    EXPECT_EQ(Drag(image, {203, 153}, {203, 123}), CRect(100, 100, 180, 140));
}

TEST_F(FrameTest, MoveWithShiftFollowsTheLongerAxisAndWithControlStaysInside)
{
    struct Case
    {
        const char* name;
        CPoint to;
        bool shift, control;
        CRect result;
    };
    const Case cases[] = {
        {"free", {130, 110}, false, false, {130, 110, 230, 160}},
        {"shift, mostly across", {130, 110}, true, false, {130, 100, 230, 150}},
        {"shift, mostly down", {110, 140}, true, false, {100, 140, 200, 190}},
        {"control, past the left", {-50, 125}, false, true, {50, 125, 150, 175}},
        {"control, past the bottom-right", {400, 300}, false, true, {250, 200, 350, 250}},
        {"no control, anywhere", {-50, 125}, false, false, {-50, 125, 50, 175}},
    };
    for (const Case& c : cases)
    {
        SetUp();
        EXPECT_EQ(Drag(image, {100, 100}, c.to, c.shift, c.control), c.result) << c.name;
    }
}

TEST(TrimFrameTest, StaysInsideTheImage)
{
    struct Case
    {
        const char* name;
        CPoint from, to;
        CRect result;
    };
    // The image is (50, 50, 250, 200), the frame (100, 100, 200, 150).
    const Case cases[] = {
        {"moved past the left keeps its size", {150, 125}, {50, 125}, {50, 100, 150, 150}},
        {"moved past the bottom-right", {150, 125}, {400, 400}, {150, 150, 250, 200}},
        {"left edge past the image", {96, 124}, {0, 124}, {50, 100, 200, 150}},
        {"bottom-right past the image", {203, 153}, {300, 300}, {100, 100, 250, 200}},
        {"within, no aspect", {203, 153}, {223, 163}, {100, 100, 220, 160}},
    };
    for (const Case& c : cases)
    {
        CMyTracker trim;
        trim.m_bounds = CRect(50, 50, 250, 200);
        trim.m_rect = CRect(100, 100, 200, 150);
        trim.SetStartRect(trim.m_rect);
        ASSERT_TRUE(trim.BeginTrack(c.from)) << c.name;
        trim.TrackTo(c.to, false, false);
        trim.EndTrack();
        EXPECT_EQ(trim.m_rect, c.result) << c.name;
    }
}

TEST(TrimFrameTest, EscapeOrNoMovePutsTheFrameBack)
{
    CMyTracker trim;
    trim.m_bounds = CRect(0, 0, 400, 300);
    trim.m_rect = CRect(100, 100, 200, 150);
    ASSERT_TRUE(trim.BeginTrack({150, 125}));
    trim.TrackTo({170, 125}, false, false);
    trim.CancelTrack();
    EXPECT_EQ(trim.m_rect, CRect(100, 100, 200, 150));
    ASSERT_TRUE(trim.BeginTrack({150, 125}));
    trim.TrackTo({150, 125}, false, false);
    EXPECT_FALSE(trim.EndTrack());
}

// ---------------------------------------------------------------------------
// The control

// Pixels are compared without their alpha.
QRgb Rgb(int r, int g, int b)
{
    return qRgb(r, g, b) & 0xFFFFFF;
}

// The print copy's pixels here are sRGB-encoded (the preview is given no
// colour space): an 8-bit value v is stored as v x 257.
void Fill(CRGBImage& image, int x0, int y0, int x1, int y1, int r, int g, int b)
{
    RGB16* pixels = image.Lock();
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            pixels[static_cast<std::size_t>(y) * image.GetWidth() + x] =
                RGB16{static_cast<std::uint16_t>(r * 257), static_cast<std::uint16_t>(g * 257),
                      static_cast<std::uint16_t>(b * 257)};
    image.Unlock();
}

PageGeometry A4At300()
{
    PageGeometry page;
    page.physicalWidth = 2480;
    page.physicalHeight = 3508;
    page.printableWidth = 2380;
    page.printableHeight = 3408;
    page.offsetX = 50;
    page.offsetY = 50;
    page.dpiX = page.dpiY = 300;
    return page;
}

class PreviewTest : public ::testing::Test
{
protected:
    // A 120 x 80 image in quadrants: red, green / blue, brown.
    void SetUp() override
    {
        ASSERT_TRUE(image.Create(120, 80));
        Fill(image, 0, 0, 60, 40, 255, 0, 0);
        Fill(image, 60, 0, 120, 40, 0, 255, 0);
        Fill(image, 0, 40, 60, 80, 0, 0, 255);
        Fill(image, 60, 40, 120, 80, 200, 100, 50);
        preview.resize(400, 300);
        preview.SetProfilePath(srgbPath());
        preview.SetImage(&image);
        layout.SetImageSize(120, 80);
        layout.UpdatePaperLayout(A4At300());
        Apply();
    }

    // What the dialog does after each layout change.
    void Apply()
    {
        preview.SetPaper(layout.PrintableWidthMM(), layout.PrintableHeightMM(),
                         layout.PhysicalWidthMM(), layout.PhysicalHeightMM(), layout.OffsetXMM(),
                         layout.OffsetYMM(), layout.MinWidth(), layout.MinHeight(),
                         layout.MaxWidth(), layout.MaxHeight());
        preview.m_printWidth = layout.PrintWidth();
        preview.m_printHeight = layout.PrintHeight();
        preview.m_originX = layout.OriginX();
        preview.m_originY = layout.OriginY();
        preview.m_trimMarginsMM = layout.TrimMarginsMM();
        preview.ImageTracker().m_keepCentre = layout.TrackerKeepsCentre();
        preview.UpdateImageRect();
        preview.Redraw(false);
    }

    // An sRGB destination: the image's sRGB pixels are shown as they are.
    std::string srgbPath() const { return {}; }

    static QRgb At(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFF; }

    // The sRGB profile is made in the colour directory of a private home.
    testsupport::PrivateUserFolders folders;
    testsupport::RecordingMessageSink sink;
    CRGBImage image;
    CPrintLayout layout;
    CPrintPreviewCtrl preview;
};

TEST_F(PreviewTest, PaintsSheetPrintableAreaAndImageAtItsPlace)
{
    // Fit: 2014 x 1343 tenths from (1, 772) on a sheet drawn at 290 / 2970
    // pixels a tenth.
    EXPECT_EQ(preview.PaperRect(), CRect(97, 5, 303, 295));
    EXPECT_EQ(preview.PrintableRect(), CRect(101, 9, 297, 290));
    EXPECT_EQ(preview.ImageRect(), CRect(101, 84, 298, 215));

    const QImage img = preview.renderToImage();
    const QRgb background = ColorFromRef(MakeColorRef(0xE0, 0xE0, 0xE0)).rgb() & 0xFFFFFF;
    EXPECT_EQ(At(img, 2, 2), background);
    EXPECT_EQ(At(img, 99, 50), Rgb(0xA8, 0xA8, 0xA8));  // sheet outside the printable area
    EXPECT_EQ(At(img, 150, 40), Rgb(0xFF, 0xFF, 0xFF)); // printable, above the image
    // The printable area's edges run across the whole control, grey.
    EXPECT_EQ(At(img, 101, 2), Rgb(0x80, 0x80, 0x80));
    EXPECT_EQ(At(img, 297, 298), Rgb(0x80, 0x80, 0x80));
    EXPECT_EQ(At(img, 2, 9), Rgb(0x80, 0x80, 0x80));
    // Centre lines (COLORREF 0xFF844A).
    EXPECT_EQ(At(img, 20, 150), Rgb(0x4A, 0x84, 0xFF));
    EXPECT_EQ(At(img, 200, 20), Rgb(0x4A, 0x84, 0xFF));
    // The image's quadrants at their place.
    const CRect r = preview.ImageRect();
    const int x0 = r.left + r.Width() / 4, x1 = r.left + 3 * r.Width() / 4;
    const int y0 = r.top + r.Height() / 4, y1 = r.top + 3 * r.Height() / 4;
    EXPECT_EQ(At(img, x0, y0), Rgb(255, 0, 0));
    EXPECT_EQ(At(img, x1, y0), Rgb(0, 255, 0));
    EXPECT_EQ(At(img, x0, y1), Rgb(0, 0, 255));
    EXPECT_EQ(At(img, x1, y1), Rgb(200, 100, 50));
    EXPECT_EQ(At(img, x0, r.top - 3), Rgb(0xFF, 0xFF, 0xFF));

    // Without the printable-area option the sheet is white and no edge is
    // drawn.
    preview.m_printableArea = false;
    preview.Redraw(false);
    const QImage plain = preview.renderToImage();
    EXPECT_EQ(At(plain, 99, 50), Rgb(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(At(plain, 101, 2), background);
}

TEST_F(PreviewTest, ImageBeyondThePrintableAreaIsLightenedAndItsEdgeTurnsRed)
{
    const double fitScale = layout.Scale();
    layout.SetFit(false);
    ASSERT_TRUE(layout.SetRatio(fitScale));
    layout.SetPositionMode(PrintPositionMode::Custom);
    layout.SetLeftTop(1500, 0);
    Apply();
    const CRect r = preview.ImageRect();
    ASSERT_EQ(r.left, 101 + 146);
    ASSERT_GT(r.right, 297);

    const QImage img = preview.renderToImage();
    const int y = r.top + 10;                                     // red and green quadrants
    EXPECT_EQ(At(img, 270, y), Rgb(255, 0, 0));                   // on the printable area
    EXPECT_EQ(At(img, 320, y), Rgb(255, 128, 128));               // red beyond it: 128 + c / 2
    EXPECT_EQ(At(img, 380, y), Rgb(128, 255, 128));               // green beyond it
    EXPECT_EQ(At(img, 297, 2), Rgb(0xFF, 0x4A, 0x4A));            // the right edge warns
    EXPECT_EQ(At(img, 101, 2), Rgb(0x80, 0x80, 0x80));            // the left does not
    EXPECT_EQ(At(img, 299, r.bottom + 5), Rgb(0xA8, 0xA8, 0xA8)); // only the image is masked

    preview.m_maskOutside = false;
    preview.Redraw(false);
    EXPECT_EQ(At(preview.renderToImage(), 320, y), Rgb(255, 0, 0));
}

TEST_F(PreviewTest, TrimmedAwayPartIsLightenedOrLeftOut)
{
    preview.m_trimOverlayAllowed = true;
    preview.SetTrimMargins({30, 0, 0, 20});
    // 30 of 120 pixels on a 197-pixel-wide image rectangle: 49 pixels.
    const CRect trim = preview.TrimRect();
    EXPECT_EQ(trim, CRect(150, 84, 298, 182));
    preview.Redraw(false);
    const QImage img = preview.renderToImage();
    const int y = 100;
    EXPECT_EQ(At(img, 120, y), Rgb(255, 192, 192));   // trimmed away: 192 + c / 4
    EXPECT_EQ(At(img, 160, y), Rgb(255, 0, 0));       // kept
    EXPECT_EQ(At(img, 280, 200), Rgb(242, 217, 204)); // the bottom strip, brown

    preview.m_showTrimmedAway = false;
    preview.Redraw(false);
    const QImage cut = preview.renderToImage();
    EXPECT_EQ(At(cut, 120, y), Rgb(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(At(cut, 160, y), Rgb(255, 0, 0));
    EXPECT_EQ(At(cut, 280, 200), Rgb(0xFF, 0xFF, 0xFF));
}

TEST_F(PreviewTest, ImageIsConvertedOnceForTheMonitorProfile)
{
    testsupport::TempDir dir;
    const std::vector<std::uint8_t> bytes = testsupport::WideGamutProfileBytes();
    ASSERT_FALSE(bytes.empty());
    const std::string path = dir.File("wide.icc");
    testsupport::WriteBinaryFile(path, bytes);

    // What the colour layer makes of pure red for that profile.
    CRGBImage red;
    ASSERT_TRUE(red.Create(1, 1));
    Fill(red, 0, 0, 1, 1, 255, 0, 0);
    CImageEx expected;
    ASSERT_TRUE(ConvertImageForProfile(path, red, expected, nullptr));
    const std::uint8_t* e = expected.GetPixelAddress(0, 0);
    const QRgb converted = Rgb(e[2], e[1], e[0]);
    ASSERT_NE(converted, Rgb(255, 0, 0));

    preview.SetProfilePath(path);
    const int before = preview.ConversionCount();
    const CRect r = preview.ImageRect();
    const QPoint probe(r.left + r.Width() / 4, r.top + r.Height() / 4);
    EXPECT_EQ(At(preview.renderToImage(), probe.x(), probe.y()), converted);
    EXPECT_EQ(preview.ConversionCount(), before + 1);

    // Layout changes draw from the converted image again.
    layout.SetFit(false);
    Apply();
    preview.renderToImage();
    preview.Redraw(false);
    preview.renderToImage();
    EXPECT_EQ(preview.ConversionCount(), before + 1);

    // A new profile or image converts again.
    preview.SetProfilePath(srgbPath());
    preview.renderToImage();
    EXPECT_EQ(preview.ConversionCount(), before + 2);
    QCoreApplication::processEvents();
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(PreviewTest, UnusableProfileShowsTheImageInSRGBAfterOneErrorBox)
{
    preview.SetProfilePath("/nonexistent/monitor.icc");
    const CRect r = preview.ImageRect();
    const QPoint probe(r.left + r.Width() / 4, r.top + r.Height() / 4);
    EXPECT_EQ(At(preview.renderToImage(), probe.x(), probe.y()), Rgb(255, 0, 0));
    preview.Redraw(false);
    preview.renderToImage();
    QCoreApplication::processEvents();
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].stringId, 30020);
}

TEST_F(PreviewTest, BackBufferStaysUntilRedraw)
{
    preview.renderToImage();
    EXPECT_TRUE(preview.IsBackBufferValid());
    // The dialog writes the origin and recomputes: nothing shows until the
    // repaint it asks for.
    preview.m_originY += 300;
    preview.UpdateImageRect();
    const CRect r = preview.ImageRect();
    ASSERT_EQ(r.bottom, 245);
    EXPECT_EQ(At(preview.renderToImage(), r.left + 3, r.bottom - 3), Rgb(0xFF, 0xFF, 0xFF));
    preview.Redraw(false);
    EXPECT_EQ(At(preview.renderToImage(), r.left + 3, r.bottom - 3), Rgb(0, 0, 255));
}

TEST_F(PreviewTest, DegeneratePagesDrawWithoutDividingByZero)
{
    CPrintPreviewCtrl small;
    small.resize(8, 8);
    small.SetImage(&image);
    small.SetPaper(2015, 2885, 2100, 2970, 42, 42, 1, 1, 10000, 10000);
    EXPECT_DOUBLE_EQ(small.PreviewScale(), 0.0);
    small.m_printWidth = 2000;
    small.m_printHeight = 1000;
    small.UpdateImageRect();
    small.renderToImage();
    // A frame change without a scale reports nothing.
    QSignalSpy spy(&small, &CPrintPreviewCtrl::printFrameChanged);
    small.OnPreviewFrameChanged(8);
    EXPECT_EQ(spy.count(), 0);

    // No sheet at all changes nothing.
    preview.SetPaper(0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(preview.PaperRect(), CRect(97, 5, 303, 295));

    // An empty image draws the page alone.
    CRGBImage none;
    CPrintPreviewCtrl empty;
    empty.resize(400, 300);
    empty.SetImage(&none);
    empty.SetPaper(2015, 2885, 2100, 2970, 42, 42, 1, 1, 10000, 10000);
    empty.m_printWidth = 2000;
    empty.m_printHeight = 1000;
    empty.UpdateImageRect();
    EXPECT_EQ(At(empty.renderToImage(), 150, 100), Rgb(0xFF, 0xFF, 0xFF));
}

// --- mouse -----------------------------------------------------------------

class PreviewMouseTest : public PreviewTest
{
protected:
    void SetUp() override
    {
        PreviewTest::SetUp();
        preview.m_imageTrackerShown = true;
        preview.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));
        // Showing may have laid the page out again at the same size.
        ASSERT_EQ(preview.ImageRect(), CRect(101, 84, 298, 215));
    }

    void DragMouse(QPoint from, QPoint to)
    {
        QTest::mousePress(&preview, Qt::LeftButton, Qt::NoModifier, from);
        const QPoint mid = (from + to) / 2;
        QTest::mouseMove(&preview, mid);
        QTest::mouseMove(&preview, to);
        QTest::mouseRelease(&preview, Qt::LeftButton, Qt::NoModifier, to);
        QCoreApplication::processEvents();
    }

    static PrintRectTenthMM RectOf(const QList<QVariant>& args)
    {
        return args.at(1).value<PrintRectTenthMM>();
    }
};

TEST_F(PreviewMouseTest, MovingTheImageFrameKeepsItsSize)
{
    preview.ImageTracker().m_keepCentre = false;
    QSignalSpy spy(&preview, &CPrintPreviewCtrl::printFrameChanged);
    DragMouse({200, 120}, {180, 110});

    EXPECT_EQ(preview.ImageTracker().m_rect, CRect(81, 74, 278, 205));
    ASSERT_GE(spy.count(), 2);
    // The steps report the move (8), the end of the drag once more (0).
    for (int i = 0; i + 1 < spy.count(); ++i)
        EXPECT_EQ(spy.at(i).at(2).toInt(), 8) << i;
    EXPECT_EQ(spy.last().at(2).toInt(), 0);
    for (const QList<QVariant>& args : spy)
        EXPECT_EQ(args.at(0).toInt(), CPrintPreviewCtrl::UWM_PRINT_FRAME_CHANGED);
    // The corner moved; the size is the print size it had, exactly.
    const PrintRectTenthMM moved = PreviewRectToTenthMM(
        CRect(81, 74, 278, 205), preview.PrintableRect(), preview.PreviewScale());
    for (const QList<QVariant>& args : spy)
    {
        const PrintRectTenthMM rect = RectOf(args);
        EXPECT_EQ(rect.Width(), layout.PrintWidth());
        EXPECT_EQ(rect.Height(), layout.PrintHeight());
    }
    EXPECT_EQ(RectOf(spy.last()).left, moved.left);
    EXPECT_EQ(RectOf(spy.last()).top, moved.top);
    EXPECT_EQ(preview.m_originX, moved.left);
    EXPECT_EQ(preview.m_printWidth, layout.PrintWidth());
}

// The preview's reports fed to the layout as the dialog does: a move
// leaves the printed size and scale alone and makes the position custom.
TEST_F(PreviewMouseTest, MovedFrameLeavesTheLayoutsSizeAndScale)
{
    const double scale = layout.Scale();
    const int width = layout.PrintWidth();
    const int height = layout.PrintHeight();
    QObject::connect(
        &preview, &CPrintPreviewCtrl::printFrameChanged,
        [this](int, PrintRectTenthMM rect, int handle) { layout.OnFrameChanged(rect, handle); });
    DragMouse({200, 120}, {150, 160});
    EXPECT_DOUBLE_EQ(layout.Scale(), scale);
    EXPECT_EQ(layout.PrintWidth(), width);
    EXPECT_EQ(layout.PrintHeight(), height);
    EXPECT_EQ(layout.PositionMode(), PrintPositionMode::Custom);
    EXPECT_FALSE(layout.Fit());
    EXPECT_EQ(layout.OriginX(), preview.m_originX);
}

TEST_F(PreviewMouseTest, ResizingTheImageFrameKeepsTheAspect)
{
    preview.ImageTracker().m_keepCentre = false;
    QSignalSpy spy(&preview, &CPrintPreviewCtrl::printFrameChanged);
    // The bottom-right handle lies just outside the frame's corner.
    DragMouse({301, 218}, {321, 248});

    // Height 161 -> width 242 (aspect 120 / 80), top-left anchored.
    EXPECT_EQ(preview.ImageTracker().m_rect, CRect(101, 84, 343, 245));
    ASSERT_GE(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(2).toInt(), CRectTracker::hitBottomRight);
    const PrintRectTenthMM rect = RectOf(spy.last());
    EXPECT_NEAR(static_cast<double>(rect.Width()) / rect.Height(), 1.5, 0.01);
}

TEST_F(PreviewMouseTest, CentredImageFrameGrowsAboutItsCentre)
{
    preview.ImageTracker().m_keepCentre = true;
    DragMouse({301, 218}, {301, 248});
    // Height 161, width 242: 22 and 15 pixels more on each side.
    EXPECT_EQ(preview.ImageTracker().m_rect, CRect(79, 69, 321, 230));
}

TEST_F(PreviewMouseTest, TrimmingFrameStaysInsideTheImageAndReportsPixelMargins)
{
    preview.m_imageTrackerShown = false;
    preview.m_trimTrackerShown = true;
    QSignalSpy spy(&preview, &CPrintPreviewCtrl::printTrimmingChanged);

    // The left handle 40 pixels in: 40 / (197 / 120) = 24.4 -> 24 pixels.
    DragMouse({98, 149}, {138, 149});
    ASSERT_GE(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(2).toInt(), CRectTracker::hitLeft);
    EXPECT_EQ(spy.last().at(0).toInt(), CPrintPreviewCtrl::UWM_PRINT_TRIMMING_CHANGED);
    EXPECT_EQ(spy.last().at(2).toInt(), -1);
    EXPECT_EQ(spy.last().at(1).value<PrintMargins>(), (PrintMargins{24, 0, 0, 0}));
    EXPECT_EQ(preview.TrimRect(), CRect(141, 84, 298, 215));

    // Moved far up and left it stops at the image's corner, its size kept.
    spy.clear();
    DragMouse({200, 150}, {60, 60});
    EXPECT_EQ(preview.TrimRect(), CRect(101, 84, 258, 215));
    EXPECT_EQ(preview.ImageRect(), CRect(101, 84, 298, 215));
    ASSERT_FALSE(spy.isEmpty());
    EXPECT_EQ(spy.last().at(1).value<PrintMargins>(), (PrintMargins{0, 0, 24, 0}));
    // The image frame follows the trimming and takes its aspect.
    EXPECT_EQ(preview.ImageTracker().m_rect, preview.TrimRect());
    EXPECT_DOUBLE_EQ(preview.ImageTracker().m_aspect, 157.0 / 131.0);
}

TEST_F(PreviewMouseTest, EscapeDuringADragPutsTheFrameBackAndSaysSo)
{
    preview.ImageTracker().m_keepCentre = false;
    ASSERT_DOUBLE_EQ(layout.Scale(), 19.833);
    double scale = 0.0;
    QObject::connect(&preview, &CPrintPreviewCtrl::printFrameChanged,
                     [this, &scale](int, PrintRectTenthMM rect, int handle) {
                         layout.OnFrameChanged(rect, handle);
                         scale = layout.Scale();
                     });
    const int width = layout.PrintWidth();
    QTest::mousePress(&preview, Qt::LeftButton, Qt::NoModifier, {301, 218});
    QTest::mouseMove(&preview, {341, 258});
    QCoreApplication::processEvents();
    EXPECT_GT(layout.PrintWidth(), width * 1.1);
    QTest::keyClick(&preview, Qt::Key_Escape);
    QTest::mouseRelease(&preview, Qt::LeftButton, Qt::NoModifier, {341, 258});
    QCoreApplication::processEvents();

    EXPECT_EQ(preview.ImageTracker().m_rect, CRect(101, 84, 298, 215));
    EXPECT_EQ(preview.ImageRect(), CRect(101, 84, 298, 215));
    // The layout is back at the frame's size. A scale taken from a frame
    // goes through the image's width in tenths (120 pixels: 101.6 -> 102),
    // so for this small image it comes back within half a percent.
    EXPECT_NEAR(layout.PrintWidth(), width, width * 0.005);
    EXPECT_NEAR(scale, 19.833, 19.833 * 0.005);
}

TEST_F(PreviewMouseTest, NoFrameNoTracking)
{
    preview.m_imageTrackerShown = false;
    QSignalSpy frame(&preview, &CPrintPreviewCtrl::printFrameChanged);
    DragMouse({200, 120}, {180, 110});
    EXPECT_EQ(frame.count(), 0);
    EXPECT_EQ(preview.ImageTracker().m_rect, CRect(101, 84, 298, 215));
}

} // namespace
