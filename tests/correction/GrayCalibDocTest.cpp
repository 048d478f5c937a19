// The gradation document: scale points and the levels curve, the tone
// table, its parameter section (with malformed values), and the lightness
// mapping of Apply against the Lab accessor's own conversions.

#include "correction/GrayCalibDoc.h"

#include "core/CIEColor.h"
#include "core/ImageAccess.h"
#include "core/RGBImage.h"
#include "core/StdMatrix.h"
#include "correction/FilterDoc.h"
#include "tests/correction/CorrectionTestSupport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

using testsupport::ReadTextFile;
using testsupport::TempDir;
using testsupport::WriteTextFile;
using namespace correctiontest;

namespace {

CRGBImage RandomImage(int w, int h, unsigned seed)
{
    CRGBImage image(w, h);
    RGB16* p = image.Lock();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> channel(0, 65535);
    for (std::size_t i = 0; i < image.GetPixelCount(); ++i)
        p[i] = {static_cast<std::uint16_t>(channel(random)),
                static_cast<std::uint16_t>(channel(random)),
                static_cast<std::uint16_t>(channel(random))};
    image.Unlock();
    return image;
}

// What the gradation does, written with the accessor's line conversions:
// Lab of each row, L* through the table, back to XYZ and RGB.
void ReferenceApply(CRGBImage& image, const CGammaTable& table)
{
    CAccessRGBImageByLab access(image, nullptr, WorkingSpace());
    const int w = image.GetWidth();
    std::vector<CCIELab> lab(w);
    std::vector<CCIEXYZ> xyz(w);
    std::vector<RGB16> row(w);
    for (int y = 0; y < image.GetHeight(); ++y)
    {
        access.SetCursor(0, y);
        access.ReadLabLine(w, lab.data());
        for (CCIELab& v : lab)
        {
            const double L = std::clamp(v[0], 0.0, 100.0);
            v[0] = table.GetEntries()[static_cast<std::size_t>(L * 655.35)] / 655.35;
        }
        access.LabToXYZ(w, lab.data(), xyz.data());
        access.GetXYZToRGB().XYZLineToPixels(w, row.data(), xyz.data());
        access.WriteLine(row.data(), w);
    }
}

// Asks to stop at the first report.
struct StopAtOnce final : IProgressSink
{
    bool Report(double) override { return false; }
};

class GrayCalibDocFileTest : public testing::Test
{
protected:
    // Loads a document from a file holding the given section body.
    CGrayCalibDoc Load(const std::string& body)
    {
        WriteTextFile(m_dir.File("p.qzp"), "[qzGrayCalibDoc]\n" + body);
        CParamFileReader reader;
        EXPECT_TRUE(reader.Load(m_dir.File("p.qzp")));
        CGrayCalibDoc doc;
        EXPECT_TRUE(doc.LoadParams(reader));
        return doc;
    }

    TempDir m_dir;
};

} // namespace

// --- Parameters ------------------------------------------------------------------

TEST(GrayCalibDocTest, DefaultsAndScalePoints)
{
    CGrayCalibDoc doc;
    const GrayCalibParams& p = doc.GetParams();
    EXPECT_EQ(p.OffsetTemp, 0);
    EXPECT_EQ(p.InBlackLevel, 0);
    EXPECT_EQ(p.InWhiteLevel, 255);
    EXPECT_EQ(p.InGamma, 1.0);
    EXPECT_EQ(p.OutBlackLevel, 0);
    EXPECT_EQ(p.OutWhiteLevel, 255);
    EXPECT_EQ(p.RandamScale, 0);
    EXPECT_EQ(p.ScaleCount, 1);
    EXPECT_EQ(p.ScaleTable[0].x, 0.5);
    EXPECT_EQ(p.ScaleTable[0].y, 0.5);
    EXPECT_TRUE(doc.GetToneTable().IsEmpty());
    EXPECT_EQ(doc.GetSectionName(), "qzGrayCalibDoc");

    GrayCalibParams q;
    q.ScaleCount = 3;
    q.ScaleTable[5] = CPointD(0.9, 0.9);
    CGrayCalibDoc::InitScaleTable(q);
    const double expected[] = {0.25, 0.5, 0.75};
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(q.ScaleTable[i].x, expected[i]);
        EXPECT_EQ(q.ScaleTable[i].y, expected[i]);
    }
    for (int i = 3; i < GrayCalibParams::kMaxScalePoints; ++i)
        EXPECT_EQ(q.ScaleTable[i].x + q.ScaleTable[i].y, 0.0) << i;

    // A count a panel left out of range touches no point beyond the 20.
    q.ScaleCount = 300;
    CGrayCalibDoc::InitScaleTable(q);
    EXPECT_NEAR(q.ScaleTable[19].x, 20.0 / 21.0, 1e-15);
}

TEST(GrayCalibDocTest, EqualityCopiesAndReset)
{
    CGrayCalibDoc a;
    a.SetTitle("tone");
    a.GetParams().InGamma = 2.2;
    a.GetParams().ScaleCount = 2;
    CGrayCalibDoc::InitScaleTable(a.GetParams());
    a.GetParams().ScaleTable[7] = CPointD(0.3, 0.1); // beyond the points in use

    CGrayCalibDoc b;
    b.Assign(a);
    EXPECT_EQ(b.GetTitle(), "tone");
    EXPECT_TRUE(b.IsEqual(a));
    b.GetParams().ScaleTable[7] = CPointD(0.0, 0.0);
    EXPECT_TRUE(b.IsEqual(a)) << "points beyond ScaleCount play no part";
    b.GetParams().ScaleTable[1].y = 0.7;
    EXPECT_FALSE(b.IsEqual(a));
    b.GetParams().ScaleTable[1].y = a.GetParams().ScaleTable[1].y;
    b.GetParams().InGamma = std::nextafter(2.2, 3.0);
    EXPECT_FALSE(b.IsEqual(a)) << "the gamma compares exactly";
    b.GetParams().InGamma = 2.2;
    b.GetParams().OffsetTemp = 100;
    EXPECT_FALSE(b.IsEqual(a));

    EXPECT_FALSE(a.IsEqual(CFilterDoc()));
    CFilterDoc filter;
    b.Assign(filter); // another class: unchanged
    EXPECT_EQ(b.GetParams().OffsetTemp, 100);

    // A copy carries the parameters but not the prepared table.
    CRGBImage image(2, 2);
    CAccessRGBImageByLab access(image, nullptr, WorkingSpace());
    ASSERT_TRUE(a.PrepareApply(nullptr, access, nullptr, 1.0));
    EXPECT_FALSE(a.GetToneTable().IsEmpty());
    const std::unique_ptr<CBaseDoc> clone = a.Clone();
    const auto* copy = dynamic_cast<const CGrayCalibDoc*>(clone.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->IsEqual(a));
    EXPECT_TRUE(copy->GetToneTable().IsEmpty());

    a.Reset();
    EXPECT_TRUE(a.IsEqual(CGrayCalibDoc()));
    EXPECT_TRUE(a.GetTitle().empty());
    EXPECT_TRUE(a.GetToneTable().IsEmpty());
}

TEST_F(GrayCalibDocFileTest, SavesItsSectionInOrder)
{
    CGrayCalibDoc doc;
    doc.SetTitle("soft");
    doc.GetParams().OffsetTemp = -300;
    doc.GetParams().InBlackLevel = 10;
    doc.GetParams().InWhiteLevel = 240;
    doc.GetParams().InGamma = 1.25;
    doc.GetParams().RandamScale = 1;
    doc.GetParams().ScaleCount = 2;
    doc.GetParams().ScaleTable[0] = CPointD(0.25, 0.2);
    doc.GetParams().ScaleTable[1] = CPointD(0.75, 0.8);

    CParamFileWriter writer;
    ASSERT_TRUE(doc.SaveParams(writer));
    EXPECT_EQ(writer.GetText(), "[qzGrayCalibDoc]\n"
                                "Ver=2.0\n"
                                "Title=soft\n"
                                "OffsetTemp=-300\n"
                                "InBlackLevel=10\n"
                                "InWhiteLevel=240\n"
                                "InGamma=1.250000\n"
                                "OutBlackLevel=0\n"
                                "OutWhiteLevel=255\n"
                                "RandamScale=1\n"
                                "ScaleCount=2\n"
                                "ScaleTableX000=0.250000\n"
                                "ScaleTableY000=0.200000\n"
                                "ScaleTableX001=0.750000\n"
                                "ScaleTableY001=0.800000\n");

    ASSERT_TRUE(writer.SaveToFile(m_dir.File("round.qzp")));
    CParamFileReader reader;
    ASSERT_TRUE(reader.Load(m_dir.File("round.qzp")));
    CGrayCalibDoc back;
    ASSERT_TRUE(back.LoadParams(reader));
    EXPECT_TRUE(back.IsEqual(doc));
    EXPECT_EQ(back.GetTitle(), "soft");
}

TEST_F(GrayCalibDocFileTest, InvalidLevelsFallBackTogether)
{
    struct Case
    {
        const char* body;
        bool valid;
    };
    const Case cases[] = {
        {"InBlackLevel=10\nInWhiteLevel=200\nInGamma=2.2\nOutBlackLevel=5\nOutWhiteLevel=250\n",
         true},
        {"InBlackLevel=255\nInWhiteLevel=255\nOutBlackLevel=5\nOutWhiteLevel=250\n", false},
        {"InBlackLevel=10\nInWhiteLevel=256\nOutBlackLevel=5\nOutWhiteLevel=250\n", false},
        {"InBlackLevel=-1\nOutBlackLevel=5\nOutWhiteLevel=250\n", false},
        {"InBlackLevel=10\nInGamma=0\nOutBlackLevel=5\nOutWhiteLevel=250\n", false},
        {"InBlackLevel=10\nInGamma=-1.5\nOutBlackLevel=5\nOutWhiteLevel=250\n", false},
        {"InBlackLevel=10\nInGamma=nan\nOutBlackLevel=5\nOutWhiteLevel=250\n", false},
        {"InBlackLevel=10\nInGamma=inf\nOutBlackLevel=5\nOutWhiteLevel=250\n", false},
        {"InBlackLevel=10\nInGamma=soft\nOutBlackLevel=5\nOutWhiteLevel=250\n", false},
        {"InBlackLevel=10\nOutBlackLevel=250\nOutWhiteLevel=250\n", false},
        {"InBlackLevel=10\nOutBlackLevel=5\nOutWhiteLevel=300\n", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.body);
        const GrayCalibParams p = Load(c.body).GetParams();
        if (c.valid)
        {
            EXPECT_EQ(p.InBlackLevel, 10);
            EXPECT_EQ(p.InWhiteLevel, 200);
            EXPECT_EQ(p.InGamma, 2.2);
            EXPECT_EQ(p.OutBlackLevel, 5);
            EXPECT_EQ(p.OutWhiteLevel, 250);
        }
        else
        {
            EXPECT_EQ(p.InBlackLevel, 0);
            EXPECT_EQ(p.InWhiteLevel, 255);
            EXPECT_EQ(p.InGamma, 1.0);
            EXPECT_EQ(p.OutBlackLevel, 0);
            EXPECT_EQ(p.OutWhiteLevel, 255);
        }
    }
}

TEST_F(GrayCalibDocFileTest, OutOfRangeValuesFallBackAlone)
{
    struct Case
    {
        const char* body;
        int offsetTemp;
        int scaleCount;
        int randamScale;
    };
    const Case cases[] = {
        {"OffsetTemp=-6000\nScaleCount=20\nRandamScale=7\n", -6000, 20, 7},
        {"OffsetTemp=6001\nScaleCount=21\n", 0, 1, 0},
        {"OffsetTemp=-6001\nScaleCount=65537\n", 0, 1, 0},
        {"OffsetTemp=99999999999\nScaleCount=65538\n", 0, 1, 0},
        {"OffsetTemp=12abc\nScaleCount=0\nRandamScale=x\n", 0, 1, 0},
        {"ScaleCount=-3\n", 0, 1, 0},
        {"", 0, 1, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.body);
        const GrayCalibParams p = Load(c.body).GetParams();
        EXPECT_EQ(p.OffsetTemp, c.offsetTemp);
        EXPECT_EQ(p.ScaleCount, c.scaleCount);
        EXPECT_EQ(p.RandamScale, c.randamScale);
    }
}

TEST_F(GrayCalibDocFileTest, ScalePointsReadWithSixDecimalDefaults)
{
    // Missing points read as their evenly spaced places in "%f" form; a
    // value that is no finite number in 0..1 reads as that default too.
    const GrayCalibParams p = Load("ScaleCount=3\n"
                                   "ScaleTableX000=0.1\nScaleTableY000=0.05\n"
                                   "ScaleTableX001=nan\nScaleTableY001=1.5\n"
                                   "ScaleTableX002=-0.1\n")
                                  .GetParams();
    EXPECT_EQ(p.ScaleTable[0].x, 0.1);
    EXPECT_EQ(p.ScaleTable[0].y, 0.05);
    EXPECT_EQ(p.ScaleTable[1].x, 0.5);
    EXPECT_EQ(p.ScaleTable[1].y, 0.5);
    EXPECT_EQ(p.ScaleTable[2].x, 0.75);
    EXPECT_EQ(p.ScaleTable[2].y, 0.75);

    const GrayCalibParams thirds = Load("ScaleCount=2\n").GetParams();
    EXPECT_EQ(thirds.ScaleTable[0].x, 0.333333);
    EXPECT_EQ(thirds.ScaleTable[1].y, 0.666667);
    EXPECT_EQ(thirds.ScaleTable[2].x, 0.0);
}

// --- Tone table --------------------------------------------------------------------

TEST(GrayCalibDocTest, LevelsCurve)
{
    struct Case
    {
        int inBlack, inWhite;
        double gamma;
        int outBlack, outWhite;
        int index;   // of 256 entries, maximum 255
        int minimum; // expected entry within [minimum, maximum]
        int maximum;
    };
    const Case cases[] = {
        {0, 255, 1.0, 0, 255, 0, 0, 0},
        {0, 255, 1.0, 0, 255, 255, 255, 255},
        {0, 255, 1.0, 0, 255, 100, 99, 100},
        {50, 200, 1.0, 0, 255, 50, 0, 0},       // at the input black
        {50, 200, 1.0, 0, 255, 30, 0, 0},       // below it
        {50, 200, 1.0, 0, 255, 200, 255, 255},  // at the input white
        {50, 200, 1.0, 0, 255, 125, 127, 127},  // half way: 127.5
        {50, 200, 2.0, 0, 255, 125, 63, 63},    // squared: 63.75
        {50, 200, 0.5, 0, 255, 125, 180, 180},  // square root: 180.3
        {0, 255, 1.0, 100, 200, 0, 99, 100},    // output black
        {0, 255, 1.0, 100, 200, 255, 199, 200}, // output white
    };
    for (const Case& c : cases)
    {
        GrayCalibParams p;
        p.InBlackLevel = c.inBlack;
        p.InWhiteLevel = c.inWhite;
        p.InGamma = c.gamma;
        p.OutBlackLevel = c.outBlack;
        p.OutWhiteLevel = c.outWhite;
        std::vector<std::uint16_t> table(256);
        CGrayCalibDoc::MakeLevelsTable(p, table, 255);
        EXPECT_GE(table[c.index], c.minimum) << c.inBlack << ".." << c.inWhite << " @" << c.index;
        EXPECT_LE(table[c.index], c.maximum) << c.inBlack << ".." << c.inWhite << " @" << c.index;
        for (std::size_t i = 1; i < table.size(); ++i)
            ASSERT_LE(table[i - 1], table[i]) << "the curve never falls";
    }

    // A gamma that is no number yields zeros, never undefined casts.
    GrayCalibParams broken;
    broken.InGamma = std::nan("");
    std::vector<std::uint16_t> table(16, 7);
    CGrayCalibDoc::MakeLevelsTable(broken, table, 65535);
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[8], 0);
    EXPECT_EQ(table[15], 65535);
}

TEST(GrayCalibDocTest, ToneTableFromScalePoints)
{
    CRGBImage image(1, 1);
    CAccessRGBImageByLab access(image, nullptr, WorkingSpace());

    // A spline through (0, 0), (0.5, 0.8), (1, 1).
    CGrayCalibDoc doc;
    doc.GetParams().RandamScale = 1;
    doc.GetParams().ScaleTable[0] = CPointD(0.5, 0.8);
    ASSERT_TRUE(doc.PrepareApply(nullptr, access, nullptr, 1.0));
    std::span<const std::uint16_t> t = doc.GetToneTable().GetEntries();
    ASSERT_EQ(t.size(), 65536u);
    EXPECT_EQ(t[0], 0);
    EXPECT_EQ(t[65535], 65535);
    EXPECT_NEAR(t[32768], 0.8 * 65535, 5.0);
    EXPECT_GT(t[16384], 16384 * 1.3) << "the curve lifts the shadows";

    // A point at x = 0 or x = 1 takes the end point's place.
    doc.GetParams().ScaleCount = 2;
    doc.GetParams().ScaleTable[0] = CPointD(0.0, 0.2);
    doc.GetParams().ScaleTable[1] = CPointD(1.0, 0.9);
    ASSERT_TRUE(doc.PrepareApply(nullptr, access, nullptr, 1.0));
    t = doc.GetToneTable().GetEntries();
    EXPECT_EQ(t[0], static_cast<std::uint16_t>(0.2 * 65535));
    EXPECT_EQ(t[65535], static_cast<std::uint16_t>(0.9 * 65535));

    // Levels (any RandamScale other than 1).
    doc.GetParams().RandamScale = 2;
    doc.GetParams().OutWhiteLevel = 128;
    ASSERT_TRUE(doc.PrepareApply(nullptr, access, nullptr, 1.0));
    t = doc.GetToneTable().GetEntries();
    EXPECT_EQ(t[0], 0);
    EXPECT_EQ(t[65535], static_cast<std::uint16_t>(128.0 / 255.0 * 65535));
}

// --- Apply -------------------------------------------------------------------------

TEST(GrayCalibDocTest, ApplyMatchesTheAccessorsConversions)
{
    struct Case
    {
        const char* name;
        int randamScale;
        double gamma;
        int outBlack;
    };
    const Case cases[] = {
        {"identity levels", 0, 1.0, 0},
        {"gamma and output black", 0, 0.6, 20},
        {"curve", 1, 1.0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CGrayCalibDoc doc;
        doc.GetParams().RandamScale = c.randamScale;
        doc.GetParams().InGamma = c.gamma;
        doc.GetParams().OutBlackLevel = c.outBlack;
        doc.GetParams().ScaleTable[0] = CPointD(0.4, 0.6);

        CRGBImage image = RandomImage(97, 31, 5);
        CRGBImage expected = image;
        {
            CAccessRGBImageByLab access(image, nullptr, WorkingSpace());
            ASSERT_TRUE(doc.PrepareApply(nullptr, access, nullptr, 1.0));
            ASSERT_TRUE(doc.Apply(access, nullptr, {}, 1));
        }
        ReferenceApply(expected, doc.GetToneTable());
        EXPECT_TRUE(SamePixels(Pixels(image), Pixels(expected)));
    }
}

TEST(GrayCalibDocTest, WhiteUsesTheLastEntry)
{
    // L* 100 indexes entry 65535: with the output white at 128 a white
    // pixel comes out at L* 128/255 x 100.
    CGrayCalibDoc doc;
    doc.GetParams().OutWhiteLevel = 128;
    CRGBImage image(1, 1);
    image.Lock()[0] = {65535, 65535, 65535};
    image.Unlock();
    CAccessRGBImageByLab access(image, nullptr, WorkingSpace());
    CCIELab before;
    access.GetLabAt(0, 0, before);
    ASSERT_NEAR(before[0], 100.0, 0.02);
    ASSERT_TRUE(doc.PrepareApply(nullptr, access, nullptr, 1.0));
    ASSERT_TRUE(doc.Apply(access, nullptr, {}, 1));
    CCIELab after;
    access.GetLabAt(0, 0, after);
    EXPECT_NEAR(after[0], 128.0 / 255.0 * 100.0, 0.05);
}

TEST(GrayCalibDocTest, RectangleThreadsAndProgress)
{
    CGrayCalibDoc doc;
    doc.GetParams().InGamma = 1.8;
    const CRGBImage original = RandomImage(64, 48, 9);

    // Without PrepareApply there is no table: Apply refuses and changes
    // nothing.
    {
        CRGBImage image = original;
        CRGBImage reference = original;
        {
            CAccessRGBImageByLab access(image, nullptr, WorkingSpace());
            EXPECT_FALSE(doc.Apply(access, nullptr, {}, 1));
        }
        EXPECT_TRUE(SamePixels(Pixels(image), Pixels(reference)));
    }

    // Only the rectangle changes; any thread count gives the same pixels.
    std::vector<std::vector<RGB16>> results;
    for (const int threads : {1, 3, 8})
    {
        SetRowThreadCount(threads);
        CRGBImage image = original;
        CAccessRGBImageByLab access(image, nullptr, WorkingSpace());
        const CRect rect(5, 7, 60, 40);
        ProgressLog log;
        std::vector<double>& progress = log.percents;
        ASSERT_TRUE(doc.PrepareApply(nullptr, access, nullptr, 1.0));
        ASSERT_TRUE(doc.Apply(access, &rect, log, 1));
        ASSERT_EQ(progress.size(), 33u);
        EXPECT_EQ(progress.front(), 0.0);
        EXPECT_EQ(progress[16], 50.0);
        EXPECT_EQ(progress.back(), 100.0);
        results.push_back(Pixels(image));
    }
    SetRowThreadCount(0);
    EXPECT_TRUE(SamePixels(results[0], results[1]));
    EXPECT_TRUE(SamePixels(results[0], results[2]));

    CRGBImage copy = original;
    const std::vector<RGB16> before = Pixels(copy);
    const std::vector<RGB16>& after = results[0];
    int changedInside = 0;
    for (int y = 0; y < 48; ++y)
    {
        for (int x = 0; x < 64; ++x)
        {
            const std::size_t i = static_cast<std::size_t>(y) * 64 + x;
            const bool same =
                after[i].r == before[i].r && after[i].g == before[i].g && after[i].b == before[i].b;
            if (x < 5 || x >= 60 || y < 7 || y >= 40)
                ASSERT_TRUE(same) << x << "," << y;
            else
                changedInside += same ? 0 : 1;
        }
    }
    EXPECT_GT(changedInside, 55 * 33 / 2);

    // One row reports 100; a callback that stops at once stops the step.
    CRGBImage image = original;
    CAccessRGBImageByLab access(image, nullptr, WorkingSpace());
    const CRect oneRow(0, 3, 64, 4);
    ProgressLog log;
    std::vector<double>& progress = log.percents;
    ASSERT_TRUE(doc.Apply(access, &oneRow, log, 1));
    EXPECT_EQ(progress, std::vector<double>{100.0});
    StopAtOnce stop;
    EXPECT_FALSE(doc.Apply(access, nullptr, stop, 1));

    // A rectangle outside the image is refused.
    const CRect outside(10, 10, 65, 20);
    EXPECT_FALSE(doc.Apply(access, &outside, {}, 1));
}

TEST(GrayCalibDocTest, ProcessImageRunsTheWholeStep)
{
    CGrayCalibDoc doc;
    doc.GetParams().InBlackLevel = 30;
    CRGBImage image = RandomImage(40, 30, 17);
    CRGBImage expected = image;
    ASSERT_TRUE(
        doc.ProcessImage(image, nullptr, WorkingSpace(), nullptr, 1.0, nullptr, {}, nullptr));
    ReferenceApply(expected, doc.GetToneTable());
    EXPECT_TRUE(SamePixels(Pixels(image), Pixels(expected)));
}
