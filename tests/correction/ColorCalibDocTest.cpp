// The colour-tone step: its parameter record and file section, the white
// gain, the uniform rotation and the free hue-point map, tiling, threads
// and progress.

#include "correction/ColorCalibDoc.h"

#include "core/ImageAccess.h"
#include "core/RGBImage.h"
#include "core/StdMatrix.h"
#include "tests/correction/CorrectionTestSupport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using testsupport::TempDir;
using namespace correctiontest;

constexpr double kPi = 3.14159265358979323846;

// Smooth gradients with a band of pseudo-random pixels over the full range,
// greys and the extremes.
CRGBImage MakeImage(int width, int height)
{
    CRGBImage image(width, height);
    CAccessRGBImage access(image);
    Lcg16 next(12345);
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            RGB16 px;
            if (y % 5 == 0)
                px = {next(), next(), next()};
            else if (y % 7 == 0)
                px = {static_cast<std::uint16_t>(x * 65535 / std::max(width - 1, 1)),
                      static_cast<std::uint16_t>(x * 65535 / std::max(width - 1, 1)),
                      static_cast<std::uint16_t>(x * 65535 / std::max(width - 1, 1))};
            else
                px = {static_cast<std::uint16_t>(x * 65535 / std::max(width - 1, 1)),
                      static_cast<std::uint16_t>(y * 65535 / std::max(height - 1, 1)),
                      static_cast<std::uint16_t>((x + y) * 30000 / std::max(width + height, 1))};
            access.SetPixel(x, y, px);
        }
    }
    access.SetPixel(0, 0, {0, 0, 0});
    access.SetPixel(width - 1, 0, {65535, 65535, 65535});
    return image;
}

int MaxDifference(const std::vector<RGB16>& a, const std::vector<RGB16>& b)
{
    int worst = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        worst = std::max({worst, std::abs(a[i].r - b[i].r), std::abs(a[i].g - b[i].g),
                          std::abs(a[i].b - b[i].b)});
    }
    return worst;
}

// What a pixel becomes when it only goes to Lab and back.
std::vector<RGB16> RoundTrip(CRGBImage& image)
{
    CRGBImage copy = image;
    CAccessRGBImageByLab access(copy, nullptr, WorkingSpace());
    std::vector<RGB16> out;
    for (int y = 0; y < copy.GetHeight(); ++y)
    {
        for (int x = 0; x < copy.GetWidth(); ++x)
        {
            CCIELab lab;
            access.GetLabAt(x, y, lab);
            CCIEXYZ xyz;
            access.LabToXYZ(1, &lab, &xyz);
            RGB16 px;
            access.GetXYZToRGB().XYZToPixel(px, xyz);
            out.push_back(px);
        }
    }
    return out;
}

double HueOf(const CCIELab& lab)
{
    double h = std::atan2(lab[2], lab[1]) * 180.0 / kPi;
    return h < 0.0 ? h + 360.0 : h;
}

double ChromaOf(const CCIELab& lab)
{
    return std::hypot(lab[1], lab[2]);
}

// Signed difference of two hues in degrees, in (-180, 180].
double HueDifference(double to, double from)
{
    double d = std::fmod(to - from, 360.0);
    if (d <= -180.0)
        d += 360.0;
    if (d > 180.0)
        d -= 360.0;
    return d;
}

// Colours of lightness 60 and chroma c every 15 degrees: inside the sRGB
// gamut for the chromas used here.
std::vector<CCIELab> HueRing(double chroma)
{
    std::vector<CCIELab> colours;
    for (int h = 0; h < 360; h += 15)
    {
        const double r = h * kPi / 180.0;
        colours.emplace_back(60.0, chroma * std::cos(r), chroma * std::sin(r));
    }
    return colours;
}

CColorCalibDoc LoadFrom(const std::string& text)
{
    return LoadDoc<CColorCalibDoc>(text);
}

// Twelve free points every 30 degrees, each turned by `turn` and given
// chroma afterChroma: the point form of the uniform rotation.
CColorCalibData RotatedPoints(double turn, double afterChroma)
{
    CColorCalibData data;
    data.fRandamCalib = 1;
    data.ColorCount = 12;
    for (int i = 0; i < 12; ++i)
    {
        double after = 30.0 * i + turn;
        if (after >= 360.0)
            after -= 360.0;
        data.ChartLchRef[i] = CCIELCh(50.0, 50.0, 30.0 * i);
        data.LchBefore[i] = CCIELCh(50.0, 50.0, 30.0 * i);
        data.LchAfter[i] = CCIELCh(50.0, afterChroma, after);
    }
    return data;
}

} // namespace

// ---------------------------------------------------------------------------
// Record and tables

TEST(ColorCalibDocTest, ResetGivesTheDefaultRecordAndSixPoints)
{
    CColorCalibDoc doc;
    CColorCalibData data = doc.GetCalibData();
    data.Offset = 12.0;
    data.ColorCount = 9;
    doc.SetCalibData(data);
    doc.SetTitle("x");
    doc.Reset();

    const CColorCalibData& d = doc.GetCalibData();
    EXPECT_EQ(doc.GetTitle(), "");
    EXPECT_EQ(d.Offset, 0.0);
    EXPECT_EQ(d.Direction, 0.0);
    EXPECT_EQ(d.fRandamCalib, 0);
    EXPECT_EQ(d.Sat, 50.0);
    EXPECT_EQ(d.Hue, 0.0);
    EXPECT_EQ(d.ColorCount, 6);
    EXPECT_EQ(d.startHue, 30.0);
    for (int i = 0; i < CColorCalibData::kMaxColors; ++i)
    {
        const CCIELCh expected =
            i < 6 ? CCIELCh(50.0, 50.0, 30.0 + 60.0 * i) : CCIELCh(50.0, 0.0, 0.0);
        EXPECT_EQ(d.ChartLchRef[i], expected) << i;
        EXPECT_EQ(d.LchBefore[i], expected) << i;
        EXPECT_EQ(d.LchAfter[i], expected) << i;
    }
    EXPECT_TRUE(doc.GetHueSegments().empty());
    EXPECT_EQ(doc.GetWhiteGain(), CCIEXYZ(1.0, 1.0, 1.0));
    EXPECT_EQ(doc.GetSectionName(), "qzColorCalibDoc");
    int w = 0;
    int h = 0;
    doc.GetTileSize(w, h);
    EXPECT_EQ(w, 256);
    EXPECT_EQ(h, 256);
    EXPECT_FALSE(doc.IsStepEnabled());
}

TEST(ColorCalibDocTest, InitHueTableSpacesSortsAndPadsThePoints)
{
    struct Case
    {
        int count;
        double startHue;
        std::vector<double> hues; // sorted, as the table must hold them
    };
    const Case cases[] = {
        {6, 30.0, {30, 90, 150, 210, 270, 330}},
        {4, 350.0, {80, 170, 260, 350}}, // 440 and 530 wrap once
        {3, 0.0, {0, 120, 240}},
        {1, 45.0, {45}},
        {24, 7.5, {7.5,   22.5,  37.5,  52.5,  67.5,  82.5,  97.5,  112.5,
                   127.5, 142.5, 157.5, 172.5, 187.5, 202.5, 217.5, 232.5,
                   247.5, 262.5, 277.5, 292.5, 307.5, 322.5, 337.5, 352.5}},
    };
    for (const Case& c : cases)
    {
        CColorCalibData data;
        data.ColorCount = static_cast<std::int16_t>(c.count);
        data.startHue = c.startHue;
        CColorCalibDoc::InitHueTable(data);
        for (std::size_t i = 0; i < c.hues.size(); ++i)
        {
            EXPECT_EQ(data.ChartLchRef[i], CCIELCh(50.0, 50.0, c.hues[i]))
                << "count " << c.count << " point " << i;
        }
        for (int i = c.count; i < CColorCalibData::kMaxColors; ++i)
            EXPECT_EQ(data.ChartLchRef[i], CCIELCh(50.0, 0.0, 0.0));
        EXPECT_EQ(data.LchBefore, data.ChartLchRef);
        EXPECT_EQ(data.LchAfter, data.ChartLchRef);
    }
}

TEST(ColorCalibDocTest, MakeHueCircleWrapsOnce)
{
    std::array<CCIELCh, 12> circle;
    CColorCalibDoc::MakeHueCircle(circle, 40.0, 200.0);
    for (int k = 0; k < 12; ++k)
    {
        double hue = 200.0 + 30.0 * k;
        if (hue >= 360.0)
            hue -= 360.0;
        EXPECT_EQ(circle[k], CCIELCh(50.0, 40.0, hue)) << k;
    }
}

TEST(ColorCalibDocTest, CopiesCarryParametersButNotThePreparedState)
{
    CColorCalibDoc doc;
    doc.SetCalibData(RotatedPoints(20.0, 30.0));
    doc.SetTitle("warm");
    CRGBImage image = MakeImage(8, 8);
    CAccessRGBImageByLab access(image, nullptr, WorkingSpace());
    ASSERT_TRUE(doc.PrepareApply(nullptr, access, nullptr, 1.0));
    ASSERT_EQ(doc.GetHueSegments().size(), 12u);

    const CColorCalibDoc copy(doc);
    const std::unique_ptr<CBaseDoc> clone = doc.Clone();
    CColorCalibDoc assigned;
    assigned.Assign(doc);
    const CBaseDoc* copies[] = {&copy, clone.get(), &assigned};
    for (const CBaseDoc* other : copies)
    {
        const auto& c = dynamic_cast<const CColorCalibDoc&>(*other);
        EXPECT_TRUE(c.IsEqual(doc));
        EXPECT_EQ(c.GetTitle(), "warm");
        EXPECT_EQ(c.GetCalibData().LchAfter, doc.GetCalibData().LchAfter);
        EXPECT_TRUE(c.GetHueSegments().empty());
        EXPECT_EQ(c.GetWhiteGain(), CCIEXYZ(1.0, 1.0, 1.0));
    }

    // Another step's document is not taken.
    class OtherDoc : public CBaseDoc
    {
    public:
        std::unique_ptr<CBaseDoc> Clone() const override { return std::make_unique<OtherDoc>(); }
        void Assign(const CBaseDoc&) override {}
    } other;
    assigned.Assign(other);
    EXPECT_TRUE(assigned.IsEqual(doc));
    EXPECT_FALSE(assigned.IsEqual(other));
}

TEST(ColorCalibDocTest, IsEqualComparesEveryParameterButStartHueAndUnusedPoints)
{
    const CColorCalibDoc base;
    struct Case
    {
        const char* what;
        void (*change)(CColorCalibData&);
        bool equal;
    };
    const Case cases[] = {
        {"Offset", [](CColorCalibData& d) { d.Offset = 1.0; }, false},
        {"Direction", [](CColorCalibData& d) { d.Direction = 1.0; }, false},
        {"fRandamCalib", [](CColorCalibData& d) { d.fRandamCalib = 1; }, false},
        {"Sat", [](CColorCalibData& d) { d.Sat = 51.0; }, false},
        {"Hue", [](CColorCalibData& d) { d.Hue = 0.5; }, false},
        {"ColorCount", [](CColorCalibData& d) { d.ColorCount = 7; }, false},
        {"ChartLchRef", [](CColorCalibData& d) { d.ChartLchRef[5][2] += 1e-9; }, false},
        {"LchBefore", [](CColorCalibData& d) { d.LchBefore[0][0] = 49.0; }, false},
        {"LchAfter", [](CColorCalibData& d) { d.LchAfter[3][1] = 0.0; }, false},
        {"startHue", [](CColorCalibData& d) { d.startHue = 31.0; }, true},
        {"unused point", [](CColorCalibData& d) { d.LchAfter[6][1] = 99.0; }, true},
    };
    for (const Case& c : cases)
    {
        CColorCalibData data = base.GetCalibData();
        c.change(data);
        CColorCalibDoc doc;
        doc.SetCalibData(data);
        EXPECT_EQ(doc.IsEqual(base), c.equal) << c.what;
        EXPECT_EQ(base.IsEqual(doc), c.equal) << c.what;
    }
}

TEST(ColorCalibDocTest, SetCalibDataKeepsTheNumbersInTheirRanges)
{
    CColorCalibData data;
    data.Offset = 150.0;
    data.Direction = -3.0;
    data.Sat = std::nan("");
    data.Hue = 400.0;
    data.ColorCount = 100;
    CColorCalibDoc doc;
    doc.SetCalibData(data);
    EXPECT_EQ(doc.GetCalibData().Offset, 99.0);
    EXPECT_EQ(doc.GetCalibData().Direction, 0.0);
    EXPECT_EQ(doc.GetCalibData().Sat, 50.0);
    EXPECT_EQ(doc.GetCalibData().Hue, 359.9);
    EXPECT_EQ(doc.GetCalibData().ColorCount, 24);
    data.ColorCount = -5;
    doc.SetCalibData(data);
    EXPECT_EQ(doc.GetCalibData().ColorCount, 1);
}

// ---------------------------------------------------------------------------
// Parameter file

TEST(ColorCalibDocTest, SavesItsSectionInKeyOrder)
{
    CColorCalibDoc doc;
    doc.SetTitle("t");
    const std::string text = SaveText(doc);
    std::string expected = "[qzColorCalibDoc]\nVer=2.0\nTitle=t\nOffset=0.000000\n"
                           "Direction=0.000000\nSat=50.000000\nHue=0.000000\nfRandamCalib=0\n"
                           "ColorCount=6\n";
    for (int i = 0; i < 6; ++i)
    {
        char point[96];
        std::snprintf(point, sizeof point, "50.0000000000,50.0000000000,%.10f,", 30.0 + 60.0 * i);
        for (const char* name : {"ChartLchRef", "LchBefore", "LchAfter"})
        {
            char key[32];
            std::snprintf(key, sizeof key, "%s%03d=", name, i);
            expected += std::string(key) + point + "\n";
        }
    }
    EXPECT_EQ(text, expected);
}

TEST(ColorCalibDocTest, SaveAndLoadRoundTrip)
{
    CColorCalibData data = RotatedPoints(17.25, 33.125);
    data.Offset = 12.5;
    data.Direction = 123.25;
    data.Sat = 61.5;
    data.Hue = 7.75;
    data.LchBefore[0] = CCIELCh(50.0, 50.0, 45.67);
    CColorCalibDoc doc;
    doc.SetCalibData(data);
    doc.SetTitle("round trip");

    TempDir dir;
    const std::string path = dir.File("a.qzp");
    const CBaseDoc* docs[] = {&doc};
    ASSERT_TRUE(SaveParamFile(path, docs));
    CColorCalibDoc loaded;
    CBaseDoc* targets[] = {&loaded};
    ASSERT_TRUE(LoadParamFile(path, targets));
    EXPECT_TRUE(loaded.IsEqual(doc));
    EXPECT_EQ(loaded.GetTitle(), "round trip");
    // The start hue is not stored: it is the first point's hue to a tenth.
    EXPECT_EQ(loaded.GetCalibData().startHue, 45.6);
}

TEST(ColorCalibDocTest, LoadClampsNumbersAndRefusesWhatIsNotANumber)
{
    struct Case
    {
        const char* line;
        double offset, direction, sat, hue;
        int colorCount, randomCalib;
    };
    const Case cases[] = {
        {"Offset=120", 99, 0, 50, 0, 6, 0},
        {"Offset=-1", 0, 0, 50, 0, 6, 0},
        {"Offset=nan", 0, 0, 50, 0, 6, 0},
        {"Offset=inf", 0, 0, 50, 0, 6, 0},
        {"Offset=12abc", 0, 0, 50, 0, 6, 0},
        {"Direction=-5", 0, 0, 50, 0, 6, 0},
        {"Direction=360", 0, 359.9, 50, 0, 6, 0},
        {"Sat=100.5", 0, 0, 100, 0, 6, 0},
        {"Sat=-inf", 0, 0, 50, 0, 6, 0},
        {"Hue=1e300", 0, 0, 50, 359.9, 6, 0},
        {"ColorCount=0", 0, 0, 50, 0, 1, 0},
        {"ColorCount=-40000", 0, 0, 50, 0, 1, 0},
        {"ColorCount=30", 0, 0, 50, 0, 24, 0},
        {"ColorCount=65542", 0, 0, 50, 0, 24, 0},
        {"ColorCount=99999999999999", 0, 0, 50, 0, 6, 0},
        {"ColorCount=7.5", 0, 0, 50, 0, 6, 0},
        {"fRandamCalib=3", 0, 0, 50, 0, 6, 3},
    };
    for (const Case& c : cases)
    {
        const CColorCalibDoc doc = LoadFrom(std::string("[qzColorCalibDoc]\r\n") + c.line + "\r\n");
        const CColorCalibData& d = doc.GetCalibData();
        EXPECT_EQ(d.Offset, c.offset) << c.line;
        EXPECT_EQ(d.Direction, c.direction) << c.line;
        EXPECT_EQ(d.Sat, c.sat) << c.line;
        EXPECT_EQ(d.Hue, c.hue) << c.line;
        EXPECT_EQ(d.ColorCount, c.colorCount) << c.line;
        EXPECT_EQ(d.fRandamCalib, c.randomCalib) << c.line;
    }
}

TEST(ColorCalibDocTest, MalformedPointListsKeepTheDefaultPoints)
{
    const CColorCalibDoc doc = LoadFrom("[qzColorCalibDoc]\n"
                                        "ColorCount=8\n"
                                        "LchBefore000=1.5,2.5,3.5\n" // no closing comma
                                        "LchBefore001=1,2,\n"        // two values
                                        "LchBefore002=1,2,3,4,\n"    // four values
                                        "LchBefore003=1,nan,3,\n"    // not a number
                                        "LchBefore004=1,x,3,\n"      // not a number
                                        "LchBefore005=\n"            // empty
                                        "LchAfter000=10,20,30,\n"    // good
                                        "LchAfter007=11,22,33,\n"    // good, above 6
                                        "LchAfter008=1,1,1,\n");     // beyond the count
    const CColorCalibData& d = doc.GetCalibData();
    const CColorCalibDoc defaults;
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(d.LchBefore[i], defaults.GetCalibData().LchBefore[i]) << i;
    EXPECT_EQ(d.LchAfter[0], CCIELCh(10, 20, 30));
    EXPECT_EQ(d.LchAfter[6], CCIELCh(50, 0, 0));
    EXPECT_EQ(d.LchAfter[7], CCIELCh(11, 22, 33));
    EXPECT_EQ(d.LchAfter[8], CCIELCh(50, 0, 0));
    EXPECT_EQ(d.startHue, 30.0);
}

TEST(ColorCalibDocTest, MissingSectionGivesTheDefaults)
{
    const CColorCalibDoc doc = LoadFrom("[qzOther]\nOffset=5\n");
    EXPECT_TRUE(doc.IsEqual(CColorCalibDoc()));
}

// A hostile section: every key of the section present with values that are
// not numbers, out of every range or huge; loading, saving and applying
// must neither crash nor leave the ranges.
TEST(ColorCalibDocTest, HostileSectionIsClampedAndStillApplies)
{
    std::string text = "[qzColorCalibDoc]\nOffset=1e308\nDirection=-1e308\nSat=nan\n"
                       "Hue=\"inf\"\nfRandamCalib=-7\nColorCount=2147483647\n";
    for (int i = 0; i < 30; ++i)
    {
        char line[128];
        std::snprintf(line, sizeof line, "LchBefore%03d=%d,%s,%d,\nLchAfter%03d=1e300,-1e300,%d,\n",
                      i, i, i % 2 ? "0" : "-5", i * 1000, i, -i * 77);
        text += line;
    }
    const CColorCalibDoc doc = LoadFrom(text);
    const CColorCalibData& d = doc.GetCalibData();
    EXPECT_EQ(d.Offset, 99.0);
    EXPECT_EQ(d.Direction, 0.0);
    EXPECT_EQ(d.Sat, 50.0);
    EXPECT_EQ(d.Hue, 0.0);
    EXPECT_EQ(d.ColorCount, 24);

    CColorCalibDoc applied(doc);
    CRGBImage image = MakeImage(16, 8);
    EXPECT_TRUE(Process(applied, image));

    // What was read saves and reads back as the same document.
    TempDir dir;
    const std::string path = dir.File("again.qzp");
    const CBaseDoc* docs[] = {&doc};
    ASSERT_TRUE(SaveParamFile(path, docs));
    CColorCalibDoc again;
    CBaseDoc* targets[] = {&again};
    ASSERT_TRUE(LoadParamFile(path, targets));
    EXPECT_TRUE(again.IsEqual(doc));
}

// ---------------------------------------------------------------------------
// Applying

TEST(ColorCalibDocTest, DefaultDocumentIsTheLabRoundTrip)
{
    CRGBImage image = MakeImage(97, 61);
    const std::vector<RGB16> expected = RoundTrip(image);
    CColorCalibDoc doc;
    ASSERT_TRUE(Process(doc, image));
    EXPECT_EQ(doc.GetWhiteGain(), CCIEXYZ(1.0, 1.0, 1.0));
    EXPECT_TRUE(SamePixels(Pixels(image), expected));
}

TEST(ColorCalibDocTest, UniformMapTurnsEveryHueAndScalesChroma)
{
    struct Case
    {
        double hue;
        double sat;
    };
    for (const Case c : {Case{30.0, 50.0}, Case{200.0, 50.0}, Case{0.0, 100.0}, Case{90.0, 25.0}})
    {
        // Chroma 12 doubled stays inside the sRGB gamut at every hue.
        LabRow row = MakeLabRow(HueRing(12.0));
        CColorCalibDoc doc;
        CColorCalibData data = doc.GetCalibData();
        data.Hue = c.hue;
        data.Sat = c.sat;
        doc.SetCalibData(data);
        ASSERT_TRUE(Process(doc, row.image));
        const std::vector<CCIELab> out = LabOf(row.image);
        for (std::size_t i = 0; i < out.size(); ++i)
        {
            EXPECT_NEAR(out[i][0], row.lab[i][0], 0.02) << "hue " << c.hue << " pixel " << i;
            EXPECT_NEAR(HueDifference(HueOf(out[i]), HueOf(row.lab[i]) + c.hue), 0.0, 0.1)
                << "hue " << c.hue << " pixel " << i;
            EXPECT_NEAR(ChromaOf(out[i]), ChromaOf(row.lab[i]) * c.sat / 50.0, 0.05)
                << "sat " << c.sat << " pixel " << i;
        }
    }
}

TEST(ColorCalibDocTest, PointMapOfTheTurnedCircleMatchesTheUniformMap)
{
    CRGBImage uniformImage = MakeImage(64, 40);
    CRGBImage pointImage = uniformImage;

    CColorCalibDoc uniform;
    CColorCalibData data = uniform.GetCalibData();
    data.Hue = 40.0;
    data.Sat = 35.0;
    uniform.SetCalibData(data);
    ASSERT_TRUE(Process(uniform, uniformImage));

    CColorCalibDoc points;
    points.SetCalibData(RotatedPoints(40.0, 35.0));
    ASSERT_TRUE(Process(points, pointImage));
    ASSERT_EQ(points.GetHueSegments().size(), 12u);

    EXPECT_LE(MaxDifference(Pixels(uniformImage), Pixels(pointImage)), 1);
}

TEST(ColorCalibDocTest, FreePointsMapHueSegmentsLinearly)
{
    // Points at 0, 90, 180, 270 degrees; 90 goes to 120 with twice the
    // chroma: hues between 0 and 90 spread over 0..120, hues between 90
    // and 180 squeeze into 120..180, and chroma grows along the way.
    CColorCalibData data;
    data.fRandamCalib = 1;
    data.ColorCount = 4;
    for (int i = 0; i < 4; ++i)
    {
        data.LchBefore[i] = CCIELCh(50.0, 40.0, 90.0 * i);
        data.LchAfter[i] = CCIELCh(50.0, 40.0, 90.0 * i);
    }
    data.LchAfter[1] = CCIELCh(50.0, 80.0, 120.0);
    CColorCalibDoc doc;
    doc.SetCalibData(data);

    struct Case
    {
        double hue;         // before
        double expectedHue; // after
        double chromaFactor;
    };
    const Case cases[] = {
        {0.0, 0.0, 1.0},     {45.0, 60.0, 1.5},   {90.0, 120.0, 2.0},
        {135.0, 150.0, 1.5}, {180.0, 180.0, 1.0}, {300.0, 300.0, 1.0},
    };
    std::vector<CCIELab> colours;
    for (const Case& c : cases)
    {
        const double r = c.hue * kPi / 180.0;
        colours.emplace_back(60.0, 10.0 * std::cos(r), 10.0 * std::sin(r));
    }
    LabRow row = MakeLabRow(colours);
    ASSERT_TRUE(Process(doc, row.image));
    const std::vector<CCIELab> out = LabOf(row.image);
    for (std::size_t i = 0; i < out.size(); ++i)
    {
        const double before = HueOf(row.lab[i]);
        // The hue as measured moves by the segment's slope from its start.
        const double slope = before < 90.0 ? 120.0 / 90.0 : before < 180.0 ? 60.0 / 90.0 : 1.0;
        const double start = before < 90.0 ? 0.0 : before < 180.0 ? 90.0 : 180.0;
        const double startAfter = before < 90.0 ? 0.0 : before < 180.0 ? 120.0 : 180.0;
        const double expectedHue = startAfter + (before - start) * slope;
        EXPECT_NEAR(HueDifference(HueOf(out[i]), expectedHue), 0.0, 0.15) << cases[i].hue;
        EXPECT_NEAR(HueDifference(expectedHue, cases[i].expectedHue), 0.0, 0.5);
        EXPECT_NEAR(ChromaOf(out[i]) / ChromaOf(row.lab[i]), cases[i].chromaFactor, 0.05)
            << cases[i].hue;
    }
}

TEST(ColorCalibDocTest, SegmentsWithoutAMapLeaveHueAndChroma)
{
    CRGBImage source = MakeImage(48, 30);
    const std::vector<RGB16> roundTrip = RoundTrip(source);

    struct Case
    {
        const char* what;
        CColorCalibData data;
        bool allKept;
    };
    CColorCalibData single;
    single.fRandamCalib = 1;
    single.ColorCount = 1;
    single.LchBefore[0] = CCIELCh(50.0, 50.0, 30.0);
    single.LchAfter[0] = CCIELCh(50.0, 90.0, 100.0);

    CColorCalibData sameHue = single;
    sameHue.ColorCount = 3;
    for (int i = 0; i < 3; ++i)
    {
        sameHue.LchBefore[i] = CCIELCh(50.0, 50.0, 80.0);
        sameHue.LchAfter[i] = CCIELCh(50.0, 20.0, 200.0 + i);
    }
    CColorCalibData greyPoints = RotatedPoints(30.0, 60.0);
    for (int i = 0; i < 12; ++i)
        greyPoints.LchBefore[i][1] = 0.0;

    for (const Case& c : {Case{"one point", single, true}, Case{"one hue", sameHue, true},
                          Case{"before chroma 0", greyPoints, true}})
    {
        CRGBImage image = source;
        CColorCalibDoc doc;
        doc.SetCalibData(c.data);
        ASSERT_TRUE(Process(doc, image)) << c.what;
        for (const CColorCalibDoc::HueSegment& s : doc.GetHueSegments())
            EXPECT_TRUE(s.keep) << c.what;
        EXPECT_TRUE(SamePixels(Pixels(image), roundTrip)) << c.what;
    }
}

TEST(ColorCalibDocTest, ADuplicatedPointHoldsNoHueAndTheOthersStillMap)
{
    // Twelve points turned by 30 degrees, with point 3 repeated at the hue
    // of point 4: the segment between them has no width, the others map
    // as before.
    CColorCalibData data = RotatedPoints(30.0, 50.0);
    data.LchBefore[3] = data.LchBefore[4];
    data.LchAfter[3] = data.LchAfter[4];
    CColorCalibDoc doc;
    doc.SetCalibData(data);

    LabRow row = MakeLabRow(HueRing(18.0));
    ASSERT_TRUE(Process(doc, row.image));
    const std::vector<CCIELab> out = LabOf(row.image);
    for (std::size_t i = 0; i < out.size(); ++i)
    {
        const double before = HueOf(row.lab[i]);
        // Hues from 60 to 120 now lie in the segment from point 2 (60,
        // turned to 90) to point 3 (120, turned to 150): twice the slope.
        const double expected =
            before >= 60.0 && before < 120.0 ? 90.0 + (before - 60.0) : before + 30.0;
        EXPECT_NEAR(HueDifference(HueOf(out[i]), expected), 0.0, 0.15) << before;
    }
}

TEST(ColorCalibDocTest, GreyStaysGreyApartFromTheWhiteGain)
{
    std::vector<CCIELab> greys;
    for (double L : {0.0, 5.0, 30.0, 60.0, 90.0})
        greys.emplace_back(L, 0.0, 0.0);
    LabRow row = MakeLabRow(greys);
    CColorCalibDoc doc;
    doc.SetCalibData(RotatedPoints(75.0, 90.0));
    ASSERT_TRUE(Process(doc, row.image));
    const std::vector<CCIELab> out = LabOf(row.image);
    for (std::size_t i = 0; i < out.size(); ++i)
    {
        EXPECT_NEAR(out[i][0], row.lab[i][0], 0.02);
        EXPECT_LT(ChromaOf(out[i]), ChromaOf(row.lab[i]) * 1.8 + 0.02);
    }
}

TEST(ColorCalibDocTest, MeasuredCastTurnsThePickedColourNeutral)
{
    const CStdMatrix matrix = WorkingSpace();
    struct Case
    {
        RGB16 picked;
    };
    for (const Case c :
         {Case{{40000, 32000, 26000}}, Case{{20000, 24000, 30000}}, Case{{30000, 30500, 29000}}})
    {
        CRGBImage image(1, 1);
        CAccessRGBImageByLab access(image, nullptr, matrix);
        access.SetPixel(0, 0, c.picked);
        CCIEXYZ sample;
        access.GetXYZAt(0, 0, sample);

        double chroma = -1.0;
        double hue = -1.0;
        ASSERT_TRUE(CColorCalibDoc::MeasureHueShift(access.GetWhite(), sample, chroma, hue));
        ASSERT_GT(chroma, 0.0);
        ASSERT_LT(chroma, 99.0);

        CColorCalibDoc doc;
        CColorCalibData data = doc.GetCalibData();
        data.Offset = chroma;
        data.Direction = hue;
        doc.SetCalibData(data);
        ASSERT_TRUE(doc.PrepareApply(nullptr, access, nullptr, 1.0));
        ASSERT_TRUE(doc.Apply(access, nullptr, {}, 1));
        CCIELab lab;
        access.GetLabAt(0, 0, lab);
        EXPECT_LT(ChromaOf(lab), 0.05);
    }

    double chroma = 7.0;
    double hue = 8.0;
    EXPECT_FALSE(CColorCalibDoc::MeasureHueShift(CCIEXYZ(95.0, 100.0, 108.0),
                                                 CCIEXYZ(0.0, 10.0, 10.0), chroma, hue));
    EXPECT_EQ(chroma, 7.0);
    EXPECT_EQ(hue, 8.0);
}

TEST(ColorCalibDocTest, WhiteGainIsTheTargetOverTheWhite)
{
    CRGBImage image(2, 2);
    CAccessRGBImageByLab access(image, nullptr, WorkingSpace());
    CColorCalibDoc doc;
    CColorCalibData data = doc.GetCalibData();
    data.Offset = 20.0;
    data.Direction = 250.0;
    doc.SetCalibData(data);
    ASSERT_TRUE(doc.PrepareApply(nullptr, access, nullptr, 1.0));
    const CCIEXYZ target = CCIELCh(100.0, 20.0, 250.0).ToLab().ToXYZ(access.GetWhite());
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_DOUBLE_EQ(doc.GetWhiteGain()[i], target[i] / access.GetWhite()[i]);
    // A blue target: the gain lifts Z above X.
    EXPECT_GT(doc.GetWhiteGain()[2], doc.GetWhiteGain()[0]);
}

// ---------------------------------------------------------------------------
// Tiles, threads and progress

class ColorCalibApplyTest : public ::testing::TestWithParam<int>
{
protected:
    void TearDown() override { SetRowThreadCount(0); }

    static CColorCalibDoc Configured(int randomCalib)
    {
        CColorCalibDoc doc;
        if (randomCalib != 0)
        {
            CColorCalibData data = RotatedPoints(25.0, 70.0);
            data.LchAfter[4] = CCIELCh(50.0, 20.0, 160.0);
            data.Offset = 8.0;
            data.Direction = 60.0;
            doc.SetCalibData(data);
        }
        else
        {
            CColorCalibData data = doc.GetCalibData();
            data.Hue = 33.0;
            data.Sat = 64.0;
            data.Offset = 5.0;
            data.Direction = 200.0;
            doc.SetCalibData(data);
        }
        return doc;
    }
};

TEST_P(ColorCalibApplyTest, TiledApplyRectEqualsTheWholeApply)
{
    CRGBImage whole = MakeImage(150, 90);
    CRGBImage tiled = whole;
    CColorCalibDoc doc = Configured(GetParam());
    ASSERT_TRUE(Process(doc, whole));

    CAccessRGBImageByLab access(tiled, nullptr, WorkingSpace());
    ASSERT_TRUE(doc.PrepareApply(nullptr, access, nullptr, 1.0));
    for (int top = 0; top < 90; top += 37)
    {
        for (int left = 0; left < 150; left += 64)
        {
            const CRect tile(left, top, std::min(left + 64, 150), std::min(top + 37, 90));
            ASSERT_TRUE(doc.ApplyRect(access, &tile, nullptr, nullptr, {}, 2));
        }
    }
    EXPECT_TRUE(SamePixels(Pixels(whole), Pixels(tiled)));
}

TEST_P(ColorCalibApplyTest, ThreadsGiveTheOneThreadResult)
{
    CRGBImage single = MakeImage(131, 203);
    CRGBImage threaded = single;
    CColorCalibDoc doc = Configured(GetParam());
    SetRowThreadCount(1);
    ASSERT_TRUE(Process(doc, single));
    SetRowThreadCount(5);
    ASSERT_TRUE(Process(doc, threaded));
    EXPECT_TRUE(SamePixels(Pixels(single), Pixels(threaded)));
    EXPECT_FALSE(SamePixels(Pixels(single), RoundTrip(threaded)));
}

INSTANTIATE_TEST_SUITE_P(UniformAndPoints, ColorCalibApplyTest, ::testing::Values(0, 1));

TEST(ColorCalibDocTest, ProgressRunsToOneHundredAndCanStop)
{
    for (int height : {1, 2, 9})
    {
        CRGBImage image = MakeImage(5, height);
        ProgressLog log;
        CColorCalibDoc doc;
        ASSERT_TRUE(Process(doc, image, log));
        ASSERT_EQ(log.percents.size(), static_cast<std::size_t>(height));
        EXPECT_EQ(log.percents.back(), 100.0);
        if (height > 1)
        {
            EXPECT_EQ(log.percents.front(), 0.0);
        }
    }

    SetRowThreadCount(1);
    CRGBImage image = MakeImage(5, 9);
    ProgressLog log;
    log.stopAfter = 1;
    CColorCalibDoc doc;
    CColorCalibData data = doc.GetCalibData();
    data.Hue = 90.0;
    doc.SetCalibData(data);
    EXPECT_FALSE(Process(doc, image, log));
    EXPECT_EQ(log.percents.size(), 1u);
    SetRowThreadCount(0);
}
