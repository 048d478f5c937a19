// The chosen-colour step: its elements and file section, hard ranges
// and soft zones, the selection view, tiling, threads and progress.

#include "correction/ColorChangeDoc.h"

#include "core/ImageAccess.h"
#include "core/RGBImage.h"
#include "core/StdMatrix.h"
#include "tests/correction/CorrectionTestSupport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

using testsupport::TempDir;
using namespace correctiontest;

constexpr double kPi = 3.14159265358979323846;

CRGBImage MakeImage(int width, int height)
{
    CRGBImage image(width, height);
    CAccessRGBImage access(image);
    Lcg16 next(777);
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            if (y % 3 == 0)
            {
                access.SetPixel(x, y, {next(), next(), next()});
                continue;
            }
            access.SetPixel(
                x, y,
                {static_cast<std::uint16_t>(x * 65535 / std::max(width - 1, 1)),
                 static_cast<std::uint16_t>(y * 65535 / std::max(height - 1, 1)),
                 static_cast<std::uint16_t>(65535 - x * 65535 / std::max(width - 1, 1))});
        }
    }
    return image;
}

CCIELab LabFromLCh(double L, double C, double hDegrees)
{
    const double h = hDegrees * kPi / 180.0;
    return CCIELab(L, C * std::cos(h), C * std::sin(h));
}

CCIELab Add(const CCIELab& p, const CCIELab& q)
{
    return CCIELab(p[0] + q[0], p[1] + q[1], p[2] + q[2]);
}

void ExpectLabNear(const CCIELab& actual, const CCIELab& expected, double tolerance,
                   const std::string& what)
{
    EXPECT_NEAR(actual[0], expected[0], tolerance) << what << " L";
    EXPECT_NEAR(actual[1], expected[1], tolerance) << what << " a";
    EXPECT_NEAR(actual[2], expected[2], tolerance) << what << " b";
}

// An element in use (a picked rectangle) with a hard LCh box.
CLChRange HardRange(CCIELCh min, CCIELCh max, CCIELCh center, CCIELCh after)
{
    CLChRange e;
    e.LChBeforMin = min;
    e.LChBeforMax = max;
    e.LChBeforCenter = center;
    e.LChAfter = after;
    e.RectImage = CRect(10, 10, 20, 20);
    return e;
}

// An element in use with a soft zone of effect factor k.
CLChRange SoftZone(CCIELCh center, CCIELCh after, double k)
{
    CLChRange e = HardRange(center, center, center, after);
    e.Hendou = 1;
    e.HendouEffectK = k;
    return e;
}

CColorChangeDoc LoadFrom(const std::string& text)
{
    return LoadDoc<CColorChangeDoc>(text);
}

} // namespace

// ---------------------------------------------------------------------------
// Elements and helpers

TEST(ColorChangeDocTest, ResetGivesTenUnusedElements)
{
    CColorChangeDoc doc;
    doc.SetEntry(3, SoftZone(CCIELCh(50, 20, 30), CCIELCh(50, 30, 40), 0.5));
    doc.SetActiveElement(3);
    doc.SetTitle("x");
    doc.Reset();
    EXPECT_EQ(doc.GetTitle(), "");
    EXPECT_EQ(doc.GetActiveElement(), -1);
    for (const CLChRange& e : doc.GetEntries())
    {
        EXPECT_EQ(e.LChBeforMin, CCIELCh(0, 0, 0));
        EXPECT_EQ(e.LChBeforCenter, CCIELCh(0, 0, 0));
        EXPECT_EQ(e.LChBeforMax, CCIELCh(0, 0, 0));
        EXPECT_EQ(e.LChAfter, CCIELCh(0, 0, 0));
        EXPECT_EQ(e.LChSetting, CCIELCh(0, 0, 0));
        EXPECT_EQ(e.Hendou, 0);
        EXPECT_EQ(e.RectData, CRect());
        EXPECT_EQ(e.RectImage, CRect());
        EXPECT_EQ(e.HendouEffectK, 0.0);
        EXPECT_EQ(e.HendouRangeDeltaE, 20.0);
        EXPECT_EQ(e.enabled, 1);
    }
    int w = 0;
    int h = 0;
    doc.GetTileSize(w, h);
    EXPECT_EQ(w, 128);
    EXPECT_EQ(h, 64);
    EXPECT_EQ(doc.GetSectionName(), "qzColorChangeDoc");
    EXPECT_FALSE(doc.IsStepEnabled());
}

TEST(ColorChangeDocTest, ElementIndicesAreChecked)
{
    CColorChangeDoc doc;
    const CLChRange e =
        HardRange(CCIELCh(1, 2, 3), CCIELCh(4, 5, 6), CCIELCh(2, 3, 4), CCIELCh(7, 8, 9));
    EXPECT_FALSE(doc.SetEntry(-1, e));
    EXPECT_FALSE(doc.SetEntry(10, e));
    EXPECT_TRUE(doc.IsEqual(CColorChangeDoc()));
    EXPECT_TRUE(doc.SetEntry(9, e));
    EXPECT_EQ(doc.GetEntry(9).LChAfter, CCIELCh(7, 8, 9));

    for (int index : {-2, 10, 32767, -32768})
    {
        doc.SetActiveElement(4);
        doc.SetActiveElement(index);
        EXPECT_EQ(doc.GetActiveElement(), -1) << index;
    }
    doc.SetActiveElement(9);
    EXPECT_EQ(doc.GetActiveElement(), 9);
}

TEST(ColorChangeDocTest, IsInLChRangeHandlesHueIntervalsThroughZero)
{
    struct Case
    {
        double minH, maxH, h;
        bool inside;
    };
    const Case cases[] = {
        {350, 10, 355, true}, {350, 10, 5, true},      {350, 10, 180, false},  {350, 10, 350, true},
        {350, 10, 10, true},  {350, 10, 349.9, false}, {350, 10, 0, true},     {30, 40, 35, true},
        {30, 40, 30, true},   {30, 40, 40, true},      {30, 40, 29.99, false}, {30, 40, 355, false},
        {0, 360, 180, true},  {90, 90, 90, true},      {90, 90, 90.01, false},
    };
    for (const Case& c : cases)
    {
        const CLChRange e =
            HardRange(CCIELCh(20, 10, c.minH), CCIELCh(80, 60, c.maxH), CCIELCh(), CCIELCh());
        EXPECT_EQ(CColorChangeDoc::IsInLChRange(CCIELCh(50, 30, c.h), e), c.inside)
            << c.minH << ".." << c.maxH << " holds " << c.h;
    }

    // Lightness and chroma bounds are inclusive.
    const CLChRange e = HardRange(CCIELCh(20, 10, 0), CCIELCh(80, 60, 359), CCIELCh(), CCIELCh());
    const std::pair<CCIELCh, bool> values[] = {
        {CCIELCh(20, 10, 5), true},    {CCIELCh(80, 60, 5), true},   {CCIELCh(19.9, 30, 5), false},
        {CCIELCh(80.1, 30, 5), false}, {CCIELCh(50, 9.9, 5), false}, {CCIELCh(50, 60.1, 5), false},
    };
    for (const auto& [value, inside] : values)
        EXPECT_EQ(CColorChangeDoc::IsInLChRange(value, e), inside) << value[0] << " " << value[1];
}

TEST(ColorChangeDocTest, WidenToCenterMovesTheNearerEnd)
{
    struct Case
    {
        double minH, maxH, center;
        double newMin, newMax;
    };
    const Case cases[] = {
        {30, 40, 20, 20, 40},   // 360 - 40 + 20 = 340 > 30 - 20 = 10
        {30, 40, 35, 30, 40},   // inside: nothing
        {30, 40, 200, 30, 200}, // 360 - 200 + 30 = 190 > 200 - 40 = 160
        {30, 40, 350, 350, 40}, // 360 - 350 + 30 = 40 < 310: the minimum moves, through 0
        {30, 40, 5, 5, 40},
        {350, 10, 100, 350, 100}, // through 0: 350 - 100 = 250 > 100 - 10 = 90
        {350, 10, 300, 300, 10},  // 350 - 300 = 50 < 300 - 10 = 290
        {350, 10, 355, 350, 10},  // inside
    };
    for (const Case& c : cases)
    {
        CLChRange e = HardRange(CCIELCh(40, 20, c.minH), CCIELCh(60, 30, c.maxH),
                                CCIELCh(50, 25, c.center), CCIELCh());
        CColorChangeDoc::WidenToCenter(e);
        EXPECT_EQ(e.LChBeforMin[2], c.newMin) << c.minH << ".." << c.maxH << " c " << c.center;
        EXPECT_EQ(e.LChBeforMax[2], c.newMax) << c.minH << ".." << c.maxH << " c " << c.center;
    }

    CLChRange e = HardRange(CCIELCh(40, 20, 0), CCIELCh(60, 30, 90), CCIELCh(70, 10, 45), {});
    CColorChangeDoc::WidenToCenter(e);
    EXPECT_EQ(e.LChBeforMin, CCIELCh(40, 10, 0));
    EXPECT_EQ(e.LChBeforMax, CCIELCh(70, 30, 90));
    e.LChBeforCenter = CCIELCh(5, 80, 45);
    CColorChangeDoc::WidenToCenter(e);
    EXPECT_EQ(e.LChBeforMin, CCIELCh(5, 10, 0));
    EXPECT_EQ(e.LChBeforMax, CCIELCh(70, 80, 90));
}

TEST(ColorChangeDocTest, SoftReachFollowsTheEffectFactor)
{
    struct Case
    {
        double k, length, reach;
    };
    const Case cases[] = {
        {0.0, 10.0, 10.0}, {0.5, 10.0, 20.0},  {-0.5, 10.0, 5.0},
        {-1.0, 10.0, 0.0}, {2.0, 10.0, -10.0}, {0.75, 0.0, 0.0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(CColorChangeDoc::SoftReach(c.k, c.length), c.reach) << c.k;
    EXPECT_EQ(CColorChangeDoc::SoftReach(1.0, 3.0), std::numeric_limits<double>::max());
}

TEST(ColorChangeDocTest, ColourHelpersAndNearEquality)
{
    const CCIELCh lch = CColorChangeDoc::LabToLCh(CCIELab(50, 0, -10));
    EXPECT_DOUBLE_EQ(lch[1], 10.0);
    EXPECT_NEAR(lch[2], 270.0, 1e-9);
    const CCIELab lab = CColorChangeDoc::LChToLab(CCIELCh(50, 10, 90));
    EXPECT_NEAR(lab[1], 0.0, 1e-9);
    EXPECT_NEAR(lab[2], 10.0, 1e-9);
    EXPECT_DOUBLE_EQ(CColorChangeDoc::LabDistance(CCIELab(0, 3, 0), CCIELab(0, 0, 4)), 5.0);

    struct Case
    {
        CCIELCh a, b;
        bool near;
    };
    const Case cases[] = {
        {CCIELCh(1.01, 2.0, 3.0), CCIELCh(1.09, 2.0, 3.0), true},
        {CCIELCh(1.09, 2.0, 3.0), CCIELCh(1.11, 2.0, 3.0), false},
        {CCIELCh(1.0, 2.05, 3.0), CCIELCh(1.0, 2.0, 3.0), true},
        {CCIELCh(1.0, 2.0, 359.99), CCIELCh(1.0, 2.0, 359.91), true},
        {CCIELCh(-0.05, 0.0, 0.0), CCIELCh(0.05, 0.0, 0.0), true}, // both truncate to 0
        {CCIELCh(1e300, 0.0, 0.0), CCIELCh(-1e300, 0.0, 0.0), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CColorChangeDoc::IsNearLCh(c.a, c.b), c.near) << c.a[0] << " " << c.b[0];
}

TEST(ColorChangeDocTest, IsEqualComparesElementsButNotEnabledOrTheChoice)
{
    CColorChangeDoc base;
    base.SetEntry(2, SoftZone(CCIELCh(50, 20, 30), CCIELCh(55, 25, 35), 0.25));
    struct Case
    {
        const char* what;
        void (*change)(CLChRange&);
        bool equal;
    };
    const Case cases[] = {
        {"min within a tenth", [](CLChRange& e) { e.LChBeforMin[0] += 0.01; }, true},
        {"min", [](CLChRange& e) { e.LChBeforMin[0] += 0.5; }, false},
        {"center", [](CLChRange& e) { e.LChBeforCenter[2] += 0.2; }, false},
        {"max", [](CLChRange& e) { e.LChBeforMax[1] += 1.0; }, false},
        {"after", [](CLChRange& e) { e.LChAfter[0] = 0.0; }, false},
        {"Hendou", [](CLChRange& e) { e.Hendou = 2; }, false},
        {"RectData", [](CLChRange& e) { e.RectData.bottom = 1; }, false},
        {"RectImage", [](CLChRange& e) { e.RectImage.left = 11; }, false},
        {"LChSetting", [](CLChRange& e) { e.LChSetting[1] = 3.0; }, false},
        {"HendouEffectK", [](CLChRange& e) { e.HendouEffectK += 1e-12; }, false},
        {"HendouRangeDeltaE", [](CLChRange& e) { e.HendouRangeDeltaE = 21.0; }, false},
        {"enabled", [](CLChRange& e) { e.enabled = 0; }, true},
    };
    for (const Case& c : cases)
    {
        CColorChangeDoc doc(base);
        CLChRange e = doc.GetEntry(2);
        c.change(e);
        doc.SetEntry(2, e);
        EXPECT_EQ(doc.IsEqual(base), c.equal) << c.what;
    }
    CColorChangeDoc chosen(base);
    chosen.SetActiveElement(2);
    EXPECT_TRUE(chosen.IsEqual(base));
}

TEST(ColorChangeDocTest, CopiesCarryElementsAndChoiceButNotThePreparedState)
{
    CColorChangeDoc doc;
    doc.SetEntry(0, HardRange(CCIELCh(0, 0, 0), CCIELCh(100, 100, 359), CCIELCh(50, 10, 10),
                              CCIELCh(50, 20, 10)));
    doc.SetEntry(1, SoftZone(CCIELCh(50, 20, 30), CCIELCh(55, 25, 35), 0.25));
    doc.SetActiveElement(1);
    doc.SetTitle("t");
    CRGBImage image(2, 2);
    CAccessRGBImageByLab access(image, nullptr, WorkingSpace());
    ASSERT_TRUE(doc.PrepareApply(nullptr, access, nullptr, 1.0));
    ASSERT_EQ(doc.GetPlainChanges().size(), 1u);
    ASSERT_EQ(doc.GetRangeChanges().size(), 1u);

    const CColorChangeDoc copy(doc);
    const std::unique_ptr<CBaseDoc> clone = doc.Clone();
    CColorChangeDoc assigned;
    assigned.Assign(doc);
    const CBaseDoc* copies[] = {&copy, clone.get(), &assigned};
    for (const CBaseDoc* other : copies)
    {
        const auto& c = dynamic_cast<const CColorChangeDoc&>(*other);
        EXPECT_TRUE(c.IsEqual(doc));
        EXPECT_EQ(c.GetTitle(), "t");
        EXPECT_EQ(c.GetActiveElement(), 1);
        EXPECT_TRUE(c.GetPlainChanges().empty());
        EXPECT_TRUE(c.GetRangeChanges().empty());
    }
}

// ---------------------------------------------------------------------------
// Preparing

TEST(ColorChangeDocTest, PrepareApplyWidensOnlyItsRecords)
{
    CColorChangeDoc doc;
    // A soft zone whose box (30..40) does not hold its center (hue 20).
    CLChRange soft = HardRange(CCIELCh(40, 10, 30), CCIELCh(60, 20, 40), CCIELCh(70, 25, 20),
                               CCIELCh(70, 35, 25));
    soft.Hendou = 1;
    soft.HendouEffectK = 0.5;
    soft.enabled = 0;
    doc.SetEntry(4, soft);
    // A hard range outside its own box is used as it stands.
    const CLChRange hard = HardRange(CCIELCh(40, 10, 30), CCIELCh(60, 20, 40), CCIELCh(70, 25, 20),
                                     CCIELCh(70, 35, 25));
    doc.SetEntry(6, hard);
    // Not picked on the image: no part.
    CLChRange unused = hard;
    unused.RectImage = CRect(5, 5, 5, 9);
    doc.SetEntry(7, unused);

    const CColorChangeDoc before(doc);
    const std::string savedBefore = SaveText(doc);
    CRGBImage image(2, 2);
    CAccessRGBImageByLab access(image, nullptr, WorkingSpace());
    ASSERT_TRUE(doc.PrepareApply(nullptr, access, nullptr, 1.0));

    ASSERT_EQ(doc.GetRangeChanges().size(), 1u);
    const CColorChangeDoc::ChangeRecord& r = doc.GetRangeChanges()[0];
    EXPECT_EQ(r.range.LChBeforMin, CCIELCh(40, 10, 20));
    EXPECT_EQ(r.range.LChBeforMax, CCIELCh(70, 25, 40));
    EXPECT_EQ(r.range.enabled, 1);
    const CCIELab delta(CCIELCh(70, 35, 25).ToLab() - CCIELCh(70, 25, 20).ToLab());
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_DOUBLE_EQ(r.deltaLab[i], delta[i]);
    EXPECT_DOUBLE_EQ(r.deltaLength, delta.Norm());
    EXPECT_DOUBLE_EQ(r.reach, delta.Norm() / 0.5);

    ASSERT_EQ(doc.GetPlainChanges().size(), 1u);
    EXPECT_EQ(doc.GetPlainChanges()[0].range.LChBeforMin, hard.LChBeforMin);
    EXPECT_EQ(doc.GetPlainChanges()[0].range.LChBeforMax, hard.LChBeforMax);
    EXPECT_EQ(doc.GetPlainChanges()[0].reach, 0.0);

    // The document itself keeps what the user set.
    EXPECT_EQ(doc.GetEntry(4).LChBeforMin, soft.LChBeforMin);
    EXPECT_EQ(doc.GetEntry(4).LChBeforMax, soft.LChBeforMax);
    EXPECT_EQ(doc.GetEntry(4).enabled, 1);
    EXPECT_TRUE(doc.IsEqual(before));
    EXPECT_EQ(SaveText(doc), savedBefore);
}

// ---------------------------------------------------------------------------
// Correcting

TEST(ColorChangeDocTest, HardRangesMoveTheirPixelsByTheLastMatchOnly)
{
    // Reds (hue 350..20) and a wider warm range (hue 340..60); the later
    // element wins where both hold a pixel.
    const std::vector<CCIELab> colours = {
        LabFromLCh(50, 20, 5),   // both ranges
        LabFromLCh(50, 20, 355), // both ranges
        LabFromLCh(50, 20, 45),  // warm only
        LabFromLCh(50, 20, 180), // neither
        LabFromLCh(50, 2, 5),    // chroma below both
        LabFromLCh(90, 20, 5),   // lightness above both
    };
    LabRow row = MakeLabRow(colours);
    const std::vector<RGB16> source = Pixels(row.image);

    CColorChangeDoc doc;
    const CLChRange reds = HardRange(CCIELCh(30, 10, 350), CCIELCh(70, 40, 20), CCIELCh(50, 20, 5),
                                     CCIELCh(55, 20, 5));
    const CLChRange warm = HardRange(CCIELCh(30, 10, 340), CCIELCh(70, 40, 60), CCIELCh(50, 20, 30),
                                     CCIELCh(50, 26, 30));
    doc.SetEntry(1, reds);
    doc.SetEntry(5, warm);
    ASSERT_TRUE(Process(doc, row.image));
    const std::vector<CCIELab> out = LabOf(row.image);
    const std::vector<RGB16> pixels = Pixels(row.image);

    const CCIELab warmDelta(warm.LChAfter.ToLab() - warm.LChBeforCenter.ToLab());
    for (int i : {0, 1, 2})
    {
        ExpectLabNear(out[i], Add(row.lab[i], warmDelta), 0.03, "pixel " + std::to_string(i));
    }
    for (int i : {3, 4, 5})
        EXPECT_TRUE(SamePixel(pixels[i], source[i])) << "pixel " << i << " is outside";

    // In the other order the reds win where both hold.
    CColorChangeDoc swapped;
    swapped.SetEntry(1, warm);
    swapped.SetEntry(5, reds);
    LabRow again = MakeLabRow(colours);
    ASSERT_TRUE(Process(swapped, again.image));
    const std::vector<CCIELab> out2 = LabOf(again.image);
    ExpectLabNear(out2[0], Add(again.lab[0], CCIELab(5.0, 0.0, 0.0)), 0.03, "reds");
    ExpectLabNear(out2[2], Add(again.lab[2], warmDelta), 0.03, "warm only");
}

TEST(ColorChangeDocTest, UnusedElementsTakeNoPart)
{
    CRGBImage image = MakeImage(40, 20);
    const std::vector<RGB16> source = Pixels(image);
    CColorChangeDoc doc;
    CLChRange everything =
        HardRange(CCIELCh(0, 0, 0), CCIELCh(100, 200, 360), CCIELCh(50, 0, 0), CCIELCh(80, 30, 0));
    for (const CRect rect : {CRect(0, 0, 0, 0), CRect(5, 3, 5, 9), CRect(5, 3, 9, 3)})
    {
        everything.RectImage = rect;
        doc.SetEntry(0, everything);
        everything.Hendou = 1 - everything.Hendou;
        doc.SetEntry(1, everything);
        ASSERT_TRUE(Process(doc, image));
        EXPECT_TRUE(doc.GetPlainChanges().empty() && doc.GetRangeChanges().empty());
        EXPECT_TRUE(SamePixels(Pixels(image), source));
    }
}

TEST(ColorChangeDocTest, SoftZoneWeightsFallOffWithDistance)
{
    // The zone's center is Lab (50, 10, 0); its difference is +8 in L
    // (deltaLength 8). Pixels sit at distances 0, 2, 4, 6, 8, 12 along b.
    const CCIELCh center(50, 10, 0);
    const CCIELCh after(58, 10, 0);
    std::vector<CCIELab> colours;
    for (double d : {0.0, 2.0, 4.0, 6.0, 8.0, 12.0})
        colours.emplace_back(50.0, 10.0, d);

    struct Case
    {
        double k;
    };
    for (const Case c : {Case{0.0}, Case{0.5}, Case{-0.5}, Case{1.0}})
    {
        LabRow row = MakeLabRow(colours);
        const std::vector<RGB16> source = Pixels(row.image);
        CColorChangeDoc doc;
        doc.SetEntry(0, SoftZone(center, after, c.k));
        ASSERT_TRUE(Process(doc, row.image));
        const std::vector<CCIELab> out = LabOf(row.image);
        const std::vector<RGB16> pixels = Pixels(row.image);
        const double reach = CColorChangeDoc::SoftReach(c.k, 8.0);
        for (std::size_t i = 0; i < out.size(); ++i)
        {
            const double d = CColorChangeDoc::LabDistance(row.lab[i], center.ToLab());
            double w = 0.0;
            if (reach > d)
                w = c.k == 1.0 ? 1.0 : std::max(0.0, 1.0 - (1.0 - c.k) * d / 8.0);
            const std::string what = "K " + std::to_string(c.k) + " pixel " + std::to_string(i);
            EXPECT_NEAR(out[i][0], row.lab[i][0] + 8.0 * w, 0.03) << what;
            EXPECT_NEAR(out[i][2], row.lab[i][2], 0.03) << what;
            if (w == 0.0)
            {
                EXPECT_TRUE(SamePixel(pixels[i], source[i])) << what;
            }
        }
    }
}

TEST(ColorChangeDocTest, HalfTheLengthAwayMovesHalfTheDifference)
{
    // K 0: w = 1 - d / deltaLength.
    const std::vector<CCIELab> colours = {CCIELab(50, 0, 0), CCIELab(50, 0, 5), CCIELab(50, 0, 10),
                                          CCIELab(50, 0, 15)};
    LabRow row = MakeLabRow(colours);
    const std::vector<RGB16> source = Pixels(row.image);
    CColorChangeDoc doc;
    doc.SetEntry(0, SoftZone(CCIELCh(50, 0, 0), CCIELCh(50, 10, 0), 0.0)); // +10 in a
    ASSERT_TRUE(Process(doc, row.image));
    const std::vector<CCIELab> out = LabOf(row.image);
    EXPECT_NEAR(out[0][1] - row.lab[0][1], 10.0, 0.05);
    EXPECT_NEAR(out[1][1] - row.lab[1][1], 5.0, 0.05);
    EXPECT_TRUE(SamePixel(Pixels(row.image)[2], source[2]) ||
                std::abs(out[2][1] - row.lab[2][1]) < 0.05);
    EXPECT_TRUE(SamePixel(Pixels(row.image)[3], source[3]));
}

TEST(ColorChangeDocTest, UnboundedZoneMovesEveryPixelFully)
{
    // K 1: reach and weight are unbounded, every pixel drops by 2 in L.
    std::vector<CCIELab> colours;
    for (double L : {20.0, 50.0, 80.0})
        for (int h = 0; h < 360; h += 45)
            colours.push_back(LabFromLCh(L, 10.0, h));
    LabRow row = MakeLabRow(colours);
    CColorChangeDoc doc;
    doc.SetEntry(3, SoftZone(CCIELCh(50, 30, 120), CCIELCh(48, 30, 120), 1.0));
    ASSERT_TRUE(Process(doc, row.image));
    const std::vector<CCIELab> out = LabOf(row.image);
    for (std::size_t i = 0; i < out.size(); ++i)
        ExpectLabNear(out[i], Add(row.lab[i], CCIELab(-2.0, 0.0, 0.0)), 0.03,
                      "pixel " + std::to_string(i));
}

TEST(ColorChangeDocTest, ZoneWithoutADifferenceChangesNothing)
{
    CRGBImage image = MakeImage(30, 12);
    const std::vector<RGB16> source = Pixels(image);
    for (double k : {0.0, 0.5, 1.0, -2.0})
    {
        CColorChangeDoc doc;
        doc.SetEntry(0, SoftZone(CCIELCh(50, 30, 120), CCIELCh(50, 30, 120), k));
        ASSERT_TRUE(Process(doc, image));
        EXPECT_EQ(doc.GetRangeChanges()[0].deltaLength, 0.0);
        EXPECT_TRUE(SamePixels(Pixels(image), source)) << k;
    }
}

TEST(ColorChangeDocTest, SoftZonesActOnWhatTheEarlierOnesLeft)
{
    // Zone A moves (50, 0, 0) by +6 in a; zone B, centred on A's result
    // with reach 4 (K 0, length 4), moves by +4 in L. The pixel at A's
    // center lies 6 from B's center: it reaches B only because A moved it.
    LabRow row = MakeLabRow({CCIELab(50, 0, 0)});
    CColorChangeDoc doc;
    doc.SetEntry(0, SoftZone(CCIELCh(50, 0, 0), CCIELCh(50, 6, 0), 0.0));
    doc.SetEntry(1, SoftZone(CCIELCh(50, 6, 0), CCIELCh(54, 6, 0), 0.0));
    ASSERT_TRUE(Process(doc, row.image));

    const CCIELab p = row.lab[0];
    const double wA = 1.0 - CColorChangeDoc::LabDistance(p, CCIELab(50, 0, 0)) / 6.0;
    const CCIELab afterA = Add(p, CCIELab(0.0, 6.0 * wA, 0.0));
    const double wB = 1.0 - CColorChangeDoc::LabDistance(afterA, CCIELab(50, 6, 0)) / 4.0;
    ASSERT_GT(wB, 0.9);
    const std::vector<CCIELab> out = LabOf(row.image);
    ExpectLabNear(out[0], Add(afterA, CCIELab(4.0 * wB, 0.0, 0.0)), 0.03, "after both");
}

// ---------------------------------------------------------------------------
// Showing the selection

TEST(ColorChangeDocTest, ModeTwoShowsTheChosenSelection)
{
    const std::vector<CCIELab> colours = {LabFromLCh(50, 20, 5), LabFromLCh(50, 20, 180),
                                          CCIELab(60, 0, 0)};
    CColorChangeDoc doc;
    doc.SetEntry(2, HardRange(CCIELCh(30, 10, 350), CCIELCh(70, 40, 20), CCIELCh(50, 20, 5),
                              CCIELCh(55, 20, 5)));

    struct Case
    {
        int mode;
        int active;
        bool selection;
    };
    for (const Case c : {Case{2, 2, true}, Case{1, 2, false}, Case{2, -1, false}})
    {
        LabRow row = MakeLabRow(colours);
        doc.SetActiveElement(c.active);
        CAccessRGBImageByLab access(row.image, nullptr, WorkingSpace());
        ASSERT_TRUE(doc.PrepareApply(nullptr, access, nullptr, 1.0));
        ASSERT_TRUE(doc.Apply(access, nullptr, {}, c.mode));
        std::vector<CCIELab> out(colours.size());
        for (int i = 0; i < 3; ++i)
            access.GetLabAt(i, 0, out[i]);
        if (c.selection)
        {
            // Lab (100, 0, 100) lies outside sRGB: compare the clipped
            // colour's lightness and hue.
            EXPECT_GT(out[0][0], 95.0);
            EXPECT_GT(out[0][2], 60.0);
            ExpectLabNear(out[1],
                          CCIELab(row.lab[1][0] * 0.5, row.lab[1][1] * 0.1, row.lab[1][2] * 0.1),
                          0.05, "dimmed");
            ExpectLabNear(out[2], CCIELab(30, 0, 0), 0.05, "dimmed grey");
        }
        else
        {
            EXPECT_NEAR(out[0][0], row.lab[0][0] + 5.0, 0.05);
            ExpectLabNear(out[1], row.lab[1], 0.0, "outside");
        }
    }
}

TEST(ColorChangeDocTest, ModeTwoShowsASoftZoneByItsWeight)
{
    // Zone of K 0 and length 20 round (50, 0, 0): a grey pixel at distance
    // 10 shows lightness 100 * (1 - 10 / 20) = 50 as yellow; one at 30 is
    // dimmed.
    LabRow row = MakeLabRow({CCIELab(60, 0, 0), CCIELab(80, 0, 0)});
    CColorChangeDoc doc;
    doc.SetEntry(0, SoftZone(CCIELCh(50, 0, 0), CCIELCh(70, 0, 0), 0.0));
    doc.SetActiveElement(0);
    CAccessRGBImageByLab access(row.image, nullptr, WorkingSpace());
    ASSERT_TRUE(doc.PrepareApply(nullptr, access, nullptr, 1.0));
    ASSERT_TRUE(doc.Apply(access, nullptr, {}, 2));
    CCIELab shown;
    access.GetLabAt(0, 0, shown);
    const double w = 1.0 - (row.lab[0][0] - 50.0) / 20.0;
    EXPECT_NEAR(w, 0.5, 0.01);
    EXPECT_GT(shown[2], 20.0); // yellow
    access.GetLabAt(1, 0, shown);
    ExpectLabNear(shown, CCIELab(row.lab[1][0] * 0.5, 0, 0), 0.05, "dimmed");
}

// ---------------------------------------------------------------------------
// Parameter file

TEST(ColorChangeDocTest, SavesEveryElementInLoaderOrder)
{
    CColorChangeDoc doc;
    CLChRange e = SoftZone(CCIELCh(50, 20, 30), CCIELCh(55, 25, 35), 0.25);
    e.RectData = CRect(1, 2, 3, 4);
    e.LChSetting = CCIELCh(1.5, 2, 3);
    e.HendouRangeDeltaE = 12.5;
    doc.SetEntry(0, e);
    const std::string text = SaveText(doc);
    const std::string first = "[qzColorChangeDoc]\nVer=2.0\nTitle=\n"
                              "LChBeforMin000=50.0000000000,20.0000000000,30.0000000000,\n"
                              "LChBeforCenter000=50.0000000000,20.0000000000,30.0000000000,\n"
                              "LChBeforMax000=50.0000000000,20.0000000000,30.0000000000,\n"
                              "LChAfter000=55.0000000000,25.0000000000,35.0000000000,\n"
                              "Hendou000=1\n"
                              "RectData000Left=1\nRectData000Top=2\nRectData000Right=3\n"
                              "RectData000Bottom=4\n"
                              "RectImage000Left=10\nRectImage000Top=10\nRectImage000Right=20\n"
                              "RectImage000Bottom=20\n"
                              "LChSetting000=1.5000000000,2.0000000000,3.0000000000,\n"
                              "HendouEffectK000=0.250000\nHendouRangeDeltaE000=12.500000\n"
                              "LChBeforMin001=0.0000000000,0.0000000000,0.0000000000,\n";
    EXPECT_EQ(text.substr(0, first.size()), first);
    EXPECT_NE(text.find("HendouRangeDeltaE009=20.000000\n"), std::string::npos);
    EXPECT_EQ(text.back(), '\n');
    // 3 head lines and 16 keys for each of the ten elements.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3 + 16 * 10);
}

TEST(ColorChangeDocTest, SaveAndLoadRoundTrip)
{
    CColorChangeDoc doc;
    for (int i = 0; i < 10; ++i)
    {
        // Values that "%f" writes exactly.
        CLChRange e = SoftZone(CCIELCh(10.0 * i, 3.5 * i, 36.0 * i), CCIELCh(5, 6, 7), 0.125 * i);
        e.Hendou = i % 3;
        e.RectData = CRect(i, -i, 2 * i, 3 * i);
        e.RectImage = CRect(-5, i, 7, 2 * i + 1);
        e.LChSetting = CCIELCh(0.125, i, 359.5);
        e.HendouRangeDeltaE = 1.25 * i;
        doc.SetEntry(i, e);
    }
    doc.SetTitle("specified");
    doc.SetActiveElement(4);

    TempDir dir;
    const std::string path = dir.File("c.qzp");
    const CBaseDoc* docs[] = {&doc};
    ASSERT_TRUE(SaveParamFile(path, docs));
    CColorChangeDoc loaded;
    loaded.SetActiveElement(7);
    CBaseDoc* targets[] = {&loaded};
    ASSERT_TRUE(LoadParamFile(path, targets));
    EXPECT_TRUE(loaded.IsEqual(doc));
    EXPECT_EQ(loaded.GetTitle(), "specified");
    EXPECT_EQ(loaded.GetActiveElement(), 7); // not stored, not touched
}

TEST(ColorChangeDocTest, MissingSectionGivesResetElements)
{
    CColorChangeDoc doc = LoadFrom("[qzColorCalibDoc]\nOffset=3\n");
    EXPECT_TRUE(doc.IsEqual(CColorChangeDoc()));
    for (const CLChRange& e : doc.GetEntries())
        EXPECT_EQ(e.HendouRangeDeltaE, 20.0);
}

TEST(ColorChangeDocTest, MalformedValuesGiveTheResetValues)
{
    const CColorChangeDoc doc = LoadFrom("[qzColorChangeDoc]\r\n"
                                         "LChBeforMin000=1.5,2.5,3.5\r\n"
                                         "LChBeforMax000=1,2,3,4,\r\n"
                                         "LChAfter000=1,inf,3,\r\n"
                                         "LChBeforCenter000=nan,1,1,\r\n"
                                         "LChSetting000=7,8,9,\r\n"
                                         "Hendou000=abc\r\n"
                                         "RectImage000Left=99999999999\r\n"
                                         "RectImage000Right=12\r\n"
                                         "RectData000Top=-3\r\n"
                                         "HendouEffectK000=nan\r\n"
                                         "HendouRangeDeltaE000=-inf\r\n"
                                         "HendouEffectK001=0.75\r\n"
                                         "HendouRangeDeltaE001=1e400\r\n");
    const CLChRange& e = doc.GetEntry(0);
    EXPECT_EQ(e.LChBeforMin, CCIELCh(0, 0, 0));
    EXPECT_EQ(e.LChBeforMax, CCIELCh(0, 0, 0));
    EXPECT_EQ(e.LChAfter, CCIELCh(0, 0, 0));
    EXPECT_EQ(e.LChBeforCenter, CCIELCh(0, 0, 0));
    EXPECT_EQ(e.LChSetting, CCIELCh(7, 8, 9));
    EXPECT_EQ(e.Hendou, 0);
    EXPECT_EQ(e.RectImage, CRect(0, 0, 12, 0));
    EXPECT_EQ(e.RectData, CRect(0, -3, 0, 0));
    EXPECT_EQ(e.HendouEffectK, 0.0);
    EXPECT_EQ(e.HendouRangeDeltaE, 20.0);
    EXPECT_EQ(doc.GetEntry(1).HendouEffectK, 0.75);
    EXPECT_EQ(doc.GetEntry(1).HendouRangeDeltaE, 20.0);
}

// Extreme but finite values from a file: applying and saving stay defined.
TEST(ColorChangeDocTest, HostileValuesApplyWithoutHarm)
{
    std::string text = "[qzColorChangeDoc]\n";
    for (int i = 0; i < 10; ++i)
    {
        char lines[1024];
        std::snprintf(lines, sizeof lines,
                      "LChBeforMin%03d=-1e300,-1e300,-1e300,\n"
                      "LChBeforMax%03d=1e300,1e300,1e300,\n"
                      "LChBeforCenter%03d=%g,1e300,%g,\n"
                      "LChAfter%03d=-1e300,1e-300,1e300,\n"
                      "Hendou%03d=%d\n"
                      "RectImage%03dRight=-2147483648\nRectImage%03dBottom=2147483647\n"
                      "HendouEffectK%03d=%g\n",
                      i, i, i, i * 1e299, -i * 1e299, i, i, i % 2, i, i, i,
                      i % 3 == 0 ? 1.0 : -1e308);
        text += lines;
    }
    CColorChangeDoc doc = LoadFrom(text);
    doc.SetActiveElement(3);
    CRGBImage image = MakeImage(20, 10);
    EXPECT_TRUE(Process(doc, image));
    for (int mode : {1, 2})
    {
        CAccessRGBImageByLab access(image, nullptr, WorkingSpace());
        EXPECT_TRUE(doc.PrepareApply(nullptr, access, nullptr, 1.0));
        EXPECT_TRUE(doc.Apply(access, nullptr, {}, mode));
    }
    EXPECT_TRUE(doc.IsEqual(doc));
}

// ---------------------------------------------------------------------------
// Tiles, threads and progress

namespace {

CColorChangeDoc ConfiguredDoc()
{
    CColorChangeDoc doc;
    doc.SetEntry(0, HardRange(CCIELCh(20, 5, 300), CCIELCh(80, 90, 60), CCIELCh(50, 30, 0),
                              CCIELCh(55, 40, 10)));
    doc.SetEntry(3, HardRange(CCIELCh(10, 0, 90), CCIELCh(90, 100, 200), CCIELCh(50, 30, 150),
                              CCIELCh(45, 20, 160)));
    doc.SetEntry(5, SoftZone(CCIELCh(60, 20, 250), CCIELCh(65, 35, 240), 0.3));
    doc.SetEntry(8, SoftZone(CCIELCh(40, 10, 100), CCIELCh(38, 25, 80), -0.4));
    return doc;
}

} // namespace

class ColorChangeApplyTest : public ::testing::TestWithParam<int>
{
protected:
    void TearDown() override { SetRowThreadCount(0); }
};

TEST_P(ColorChangeApplyTest, TiledApplyRectEqualsTheWholeApply)
{
    const int mode = GetParam();
    CRGBImage whole = MakeImage(150, 90);
    CRGBImage tiled = whole;
    CColorChangeDoc doc = ConfiguredDoc();
    doc.SetActiveElement(5);
    {
        CAccessRGBImageByLab access(whole, nullptr, WorkingSpace());
        ASSERT_TRUE(doc.PrepareApply(nullptr, access, nullptr, 1.0));
        ASSERT_TRUE(doc.ApplyRect(access, nullptr, nullptr, nullptr, {}, mode));
    }
    CAccessRGBImageByLab access(tiled, nullptr, WorkingSpace());
    ASSERT_TRUE(doc.PrepareApply(nullptr, access, nullptr, 1.0));
    int tileWidth = 0;
    int tileHeight = 0;
    doc.GetTileSize(tileWidth, tileHeight);
    for (int top = 0; top < 90; top += tileHeight)
    {
        for (int left = 0; left < 150; left += tileWidth)
        {
            const CRect tile(left, top, std::min(left + tileWidth, 150),
                             std::min(top + tileHeight, 90));
            ASSERT_TRUE(doc.ApplyRect(access, &tile, nullptr, nullptr, {}, mode));
        }
    }
    EXPECT_TRUE(SamePixels(Pixels(whole), Pixels(tiled)));
}

TEST_P(ColorChangeApplyTest, ThreadsGiveTheOneThreadResult)
{
    const int mode = GetParam();
    CRGBImage single = MakeImage(131, 203);
    CRGBImage threaded = single;
    const std::vector<RGB16> source = Pixels(single);
    CColorChangeDoc doc = ConfiguredDoc();
    doc.SetActiveElement(0);
    for (auto [image, threads] : {std::pair{&single, 1}, std::pair{&threaded, 6}})
    {
        SetRowThreadCount(threads);
        CAccessRGBImageByLab access(*image, nullptr, WorkingSpace());
        ASSERT_TRUE(doc.PrepareApply(nullptr, access, nullptr, 1.0));
        ASSERT_TRUE(doc.Apply(access, nullptr, {}, mode));
    }
    EXPECT_TRUE(SamePixels(Pixels(single), Pixels(threaded)));
    EXPECT_FALSE(SamePixels(Pixels(single), source));
}

INSTANTIATE_TEST_SUITE_P(CorrectAndShow, ColorChangeApplyTest, ::testing::Values(1, 2));

TEST(ColorChangeDocTest, ProgressRunsToOneHundredAndCanStop)
{
    for (bool configured : {false, true})
    {
        for (int height : {1, 4})
        {
            CRGBImage image = MakeImage(6, height);
            ProgressLog log;
            CColorChangeDoc doc = configured ? ConfiguredDoc() : CColorChangeDoc();
            ASSERT_TRUE(Process(doc, image, log));
            ASSERT_EQ(log.percents.size(), static_cast<std::size_t>(height));
            EXPECT_EQ(log.percents.back(), 100.0);
        }
    }

    SetRowThreadCount(1);
    CRGBImage image = MakeImage(6, 10);
    ProgressLog log;
    log.stopAfter = 2;
    CColorChangeDoc doc = ConfiguredDoc();
    EXPECT_FALSE(Process(doc, image, log));
    EXPECT_EQ(log.percents.size(), 2u);
    SetRowThreadCount(0);
}
