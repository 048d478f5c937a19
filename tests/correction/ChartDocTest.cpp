// The chart document: patch tables and their persistence (with malformed
// sizes and values), the grey correction's lightness line, the hue anchors
// and the table of hue matrices, and the Apply that changes nothing. Last,
// hostile sections of the chart, gradation and filter documents together.

#include "correction/ChartDoc.h"

#include "core/ImageAccess.h"
#include "core/RGBImage.h"
#include "core/StdMatrix.h"
#include "correction/FilterDoc.h"
#include "correction/GrayCalibDoc.h"
#include "tests/correction/CorrectionTestSupport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <iterator>
#include <random>
#include <string>
#include <vector>

using correctiontest::ProgressLog;
using correctiontest::WorkingSpace;
using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

const CCIEXYZ kD65(95.047, 100.0, 108.883);

// A neutral grey of the given L* under D65.
CCIEXYZ Grey(double L)
{
    return CCIELab(L, 0.0, 0.0).ToXYZ(kD65);
}

CCIEXYZ FromLCh(double L, double C, double h)
{
    return CCIELCh(L, C, h).ToLab().ToXYZ(kD65);
}

class ChartDocFileTest : public testing::Test
{
protected:
    CChartDoc Load(const std::string& body)
    {
        WriteTextFile(m_dir.File("c.qzp"), "[qzChartDoc]\n" + body);
        CParamFileReader reader;
        EXPECT_TRUE(reader.Load(m_dir.File("c.qzp")));
        CChartDoc doc;
        doc.SetColorChartSize(1, 1, CCIEXYZ(9, 9, 9)); // to see what loading replaces
        EXPECT_TRUE(doc.LoadParams(reader));
        return doc;
    }

    TempDir m_dir;
};

void ExpectNear(const CMtx3x3& actual, const CMtx3x3& expected, double tolerance)
{
    for (std::size_t k = 0; k < 9; ++k)
        EXPECT_NEAR(actual.m[k], expected.m[k], tolerance) << k;
}

} // namespace

// --- Parameters and persistence -------------------------------------------------

TEST(ChartDocTest, DefaultsCopiesAndEquality)
{
    CChartDoc doc;
    EXPECT_EQ(doc.GetParams().UseGrayScale, 1);
    EXPECT_EQ(doc.GetParams().UseColorChart, 1);
    EXPECT_EQ(doc.GetParams().AdjustBlackLevel, 0);
    EXPECT_EQ(doc.GetParams().AdjustWhiteLevel, 0);
    EXPECT_EQ(doc.GetParams().grayScaleTable.GetRows(), 1);
    EXPECT_EQ(doc.GetParams().grayScaleTable.GetColumns(), 6);
    EXPECT_EQ(doc.GetParams().colorChartTable.GetRows(), 3);
    EXPECT_EQ(doc.GetParams().colorChartTable.GetColumns(), 6);
    EXPECT_TRUE(CChartDoc::IsEqualXYZTable(doc.GetParams().colorChartTable,
                                           doc.GetParams().colorChartReference));
    EXPECT_TRUE(CChartDoc::IsZeroXYZTable(doc.GetParams().grayScaleTable));
    EXPECT_EQ(doc.GetSectionName(), "qzChartDoc");

    // Documents compare by their parameters, tables included, not by their
    // titles; another class is not equal.
    CChartDoc other;
    other.SetTitle("studio");
    EXPECT_TRUE(doc.IsEqual(other));
    other.SetGrayScaleCount(12, Grey(50));
    EXPECT_FALSE(doc.IsEqual(other));
    other.GetParams().AdjustWhiteLevel = 1;
    EXPECT_FALSE(doc.IsEqual(CFilterDoc()));

    // Copies carry the tables and drop the prepared corrections.
    for (int i = 0; i < 3; ++i)
    {
        other.GetParams().colorChartTable.SetAt(i, 0, FromLCh(50, 40, 10 + 120 * i));
        other.GetParams().colorChartReference.SetAt(i, 0, FromLCh(55, 45, 12 + 120 * i));
    }
    other.PrepareFromWhite(kD65);
    ASSERT_TRUE(other.IsGrayCorrectionReady());
    ASSERT_FALSE(other.GetHueMatrixTable().empty());
    doc.Assign(other);
    EXPECT_EQ(doc.GetTitle(), "studio");
    EXPECT_TRUE(CChartDoc::IsEqualXYZTable(doc.GetParams().grayScaleTable,
                                           other.GetParams().grayScaleTable));
    EXPECT_TRUE(
        CChartDoc::IsEqualXYZTable(doc.GetColorChartTable(), other.GetParams().colorChartTable));
    EXPECT_EQ(doc.GetParams().AdjustWhiteLevel, 1);
    EXPECT_FALSE(doc.IsGrayCorrectionReady());
    EXPECT_TRUE(doc.GetHueMatrixTable().empty());
    const std::unique_ptr<CBaseDoc> clone = other.Clone();
    const auto& copy = dynamic_cast<const CChartDoc&>(*clone);
    EXPECT_TRUE(copy.GetHueMatrixTable().empty());
    EXPECT_TRUE(
        CChartDoc::IsEqualXYZTable(copy.GetGrayScaleTable(), other.GetParams().grayScaleTable));

    doc.Reset();
    EXPECT_TRUE(doc.GetTitle().empty());
    EXPECT_EQ(doc.GetParams().grayScaleTable.GetColumns(), 6);
    EXPECT_TRUE(CChartDoc::IsZeroXYZTable(doc.GetParams().colorChartTable));
}

// The project stores a panel's chart document only when IsEqual says it
// differs: a change of any one table cell or switch, with every shape
// kept, must count.
TEST(ChartDocTest, EveryTableCellAndSwitchTakesPartInEquality)
{
    struct Case
    {
        const char* what;
        void (*change)(ChartParams&);
    };
    const Case cases[] = {
        {"grey cell", [](ChartParams& p) { p.grayScaleTable.SetAt(0, 5, Grey(40.0)); }},
        {"measured cell", [](ChartParams& p) { p.colorChartTable.SetAt(2, 3, Grey(20.0)); }},
        {"target cell", [](ChartParams& p) { p.colorChartReference.SetAt(0, 0, Grey(70.0)); }},
        {"one component", [](ChartParams& p) { p.colorChartReference.SetAt(1, 1, CCIEXYZ(0, 0, 1e-9)); }},
        {"grey scale", [](ChartParams& p) { p.UseGrayScale = 0; }},
        {"colour chart", [](ChartParams& p) { p.UseColorChart = 0; }},
        {"black level", [](ChartParams& p) { p.AdjustBlackLevel = 1; }},
        {"white level", [](ChartParams& p) { p.AdjustWhiteLevel = 1; }},
    };
    for (const Case& c : cases)
    {
        CChartDoc base;
        CChartDoc changed;
        c.change(changed.GetParams());
        EXPECT_FALSE(changed.IsEqual(base)) << c.what;
        EXPECT_FALSE(base.IsEqual(changed)) << c.what;
        changed.Assign(base);
        EXPECT_TRUE(changed.IsEqual(base)) << c.what;
    }
}

TEST(ChartDocTest, TableComparisons)
{
    T2DArray<CCIEXYZ> a;
    a.Resize(2, 3, CCIEXYZ());
    T2DArray<CCIEXYZ> b;
    b.Resize(3, 2, CCIEXYZ());
    EXPECT_FALSE(CChartDoc::IsEqualXYZTable(a, b)) << "same count, other shape";
    b.Resize(2, 3, CCIEXYZ());
    EXPECT_TRUE(CChartDoc::IsEqualXYZTable(a, b));
    b.SetAt(1, 2, CCIEXYZ(0.0, 0.0, 1e-300));
    EXPECT_FALSE(CChartDoc::IsEqualXYZTable(a, b));
    EXPECT_FALSE(CChartDoc::IsZeroXYZTable(b));
    EXPECT_TRUE(CChartDoc::IsZeroXYZTable(T2DArray<CCIEXYZ>()));
}

TEST(ChartDocTest, DefaultSectionText)
{
    CChartDoc doc;
    CParamFileWriter writer;
    ASSERT_TRUE(doc.SaveParams(writer));
    const std::string zero = "0.0000000000,0.0000000000,0.0000000000,";
    std::string expected = "[qzChartDoc]\nVer=2.0\nTitle=\nUseGrayScale=1\nGrayScaleCol=1\n"
                           "GrayScaleRow=6\n";
    for (int j = 0; j < 6; ++j)
        expected += "GC_000_00" + std::to_string(j) + "=" + zero + "\n";
    expected += "AdjustBlackLevel=0\nAdjustWhiteLevel=0\nUseColorChart=1\nColorChartCol=3\n"
                "ColorChartRow=6\n";
    for (const char* prefix : {"CC", "CR"})
    {
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 6; ++j)
                expected += std::string(prefix) + "_00" + std::to_string(i) + "_00" +
                            std::to_string(j) + "=" + zero + "\n";
    }
    EXPECT_EQ(writer.GetText(), expected);
}

TEST_F(ChartDocFileTest, TablesRoundTrip)
{
    CChartDoc doc;
    doc.GetParams().UseGrayScale = 0;
    doc.GetParams().AdjustBlackLevel = 1;
    doc.SetGrayScaleCount(3, CCIEXYZ());
    doc.GetParams().grayScaleTable.SetAt(0, 2, CCIEXYZ(41.24, 21.26, 1.93));
    doc.SetColorChartSize(2, 4, CCIEXYZ(1.5, 2.25, -0.125));
    doc.GetParams().colorChartReference.SetAt(1, 3, CCIEXYZ(12.0000000001, 0.5, 99.75));

    CParamFileWriter writer;
    ASSERT_TRUE(doc.SaveParams(writer));
    EXPECT_NE(writer.GetText().find("GC_000_002=41.2400000000,21.2600000000,1.9300000000,\n"),
              std::string::npos);
    ASSERT_TRUE(writer.SaveToFile(m_dir.File("round.qzp")));
    CParamFileReader reader;
    ASSERT_TRUE(reader.Load(m_dir.File("round.qzp")));
    CChartDoc back;
    ASSERT_TRUE(back.LoadParams(reader));
    EXPECT_EQ(back.GetParams().UseGrayScale, 0);
    EXPECT_EQ(back.GetParams().AdjustBlackLevel, 1);
    EXPECT_TRUE(CChartDoc::IsEqualXYZTable(back.GetParams().grayScaleTable,
                                           doc.GetParams().grayScaleTable));
    EXPECT_TRUE(CChartDoc::IsEqualXYZTable(back.GetParams().colorChartTable,
                                           doc.GetParams().colorChartTable));
    EXPECT_TRUE(CChartDoc::IsEqualXYZTable(back.GetParams().colorChartReference,
                                           doc.GetParams().colorChartReference));

    // An empty table writes no patch keys.
    doc.SetGrayScaleCount(0, CCIEXYZ());
    CParamFileWriter empty;
    ASSERT_TRUE(doc.SaveParams(empty));
    EXPECT_EQ(empty.GetText().find("GC_"), std::string::npos);
    EXPECT_NE(empty.GetText().find("GrayScaleRow=0\n"), std::string::npos);
}

TEST_F(ChartDocFileTest, PatchValuesNeedThreeNumbersEachWithItsComma)
{
    struct Case
    {
        const char* value;
        double x, y, z;
    };
    const Case cases[] = {
        {"1.5,2.5,3.5,", 1.5, 2.5, 3.5},
        {"  1.5,2.5,3.5,  ", 1.5, 2.5, 3.5},
        {"1.5,2.5,3.5", 0, 0, 0}, // the last number has no comma behind it
        {"1.5,2.5,", 0, 0, 0},
        {"1.5,2.5,3.5,4.5,", 0, 0, 0},
        {"nan,2.5,3.5,", 0, 0, 0},
        {"1.5,inf,3.5,", 0, 0, 0},
        {"1.5,abc,3.5,", 0, 0, 0},
        {",,,", 0, 0, 0},
        {"", 0, 0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.value);
        const CChartDoc doc =
            Load(std::string("GrayScaleCol=1\nGrayScaleRow=2\nGC_000_001=") + c.value + "\n");
        ASSERT_EQ(doc.GetParams().grayScaleTable.GetColumns(), 2);
        const CCIEXYZ patch = doc.GetParams().grayScaleTable.GetAt(0, 1);
        EXPECT_EQ(patch[0], c.x);
        EXPECT_EQ(patch[1], c.y);
        EXPECT_EQ(patch[2], c.z);
    }
}

TEST_F(ChartDocFileTest, TableSizesAreRangeChecked)
{
    struct Case
    {
        const char* body;
        int grayP, grayQ, chartP, chartQ;
    };
    const Case cases[] = {
        {"GrayScaleCol=1\nGrayScaleRow=20\nColorChartCol=4\nColorChartRow=6\n", 1, 20, 4, 6},
        {"GrayScaleCol=64\nGrayScaleRow=64\nColorChartCol=64\nColorChartRow=64\n", 64, 64, 64, 64},
        {"GrayScaleCol=65\nGrayScaleRow=-1\nColorChartCol=100000\nColorChartRow=2147483647\n", 1, 6,
         3, 6},
        {"GrayScaleCol=99999999999999\nColorChartCol=1e3\nColorChartRow=x\n", 1, 6, 3, 6},
        {"GrayScaleCol=0\nColorChartRow=0\n", 0, 6, 3, 0},
        {"", 1, 6, 3, 6},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.body);
        const CChartDoc doc = Load(c.body);
        EXPECT_EQ(doc.GetParams().grayScaleTable.GetRows(), c.grayP);
        EXPECT_EQ(doc.GetParams().grayScaleTable.GetColumns(), c.grayQ);
        EXPECT_EQ(doc.GetParams().colorChartTable.GetRows(), c.chartP);
        EXPECT_EQ(doc.GetParams().colorChartTable.GetColumns(), c.chartQ);
        EXPECT_EQ(doc.GetParams().colorChartReference.GetRows(), c.chartP);
        EXPECT_EQ(doc.GetParams().colorChartReference.GetColumns(), c.chartQ);
        EXPECT_TRUE(CChartDoc::IsZeroXYZTable(doc.GetParams().colorChartTable));
    }

    // Patches are read for i < P, j < Q only (key GC_i_j, i first).
    const CChartDoc doc = Load("GrayScaleCol=2\nGrayScaleRow=1\nGC_001_000=1,2,3,\n"
                               "GC_000_001=4,5,6,\nUseGrayScale=0\nUseColorChart=7\n");
    EXPECT_EQ(doc.GetParams().grayScaleTable.GetAt(1, 0)[1], 2.0);
    EXPECT_FALSE(CChartDoc::IsZeroXYZTable(doc.GetParams().grayScaleTable));
    EXPECT_EQ(doc.GetParams().grayScaleTable.GetAt(0, 0)[0], 0.0);
    EXPECT_EQ(doc.GetParams().UseGrayScale, 0);
    EXPECT_EQ(doc.GetParams().UseColorChart, 7);

    // The panel's size setters are held to the same range.
    CChartDoc sized;
    sized.SetColorChartSize(1000, -5, CCIEXYZ());
    EXPECT_EQ(sized.GetParams().colorChartTable.GetRows(), CChartDoc::kMaxChartDimension);
    EXPECT_EQ(sized.GetParams().colorChartReference.GetColumns(), 0);
}

// --- Prepared corrections ----------------------------------------------------------

TEST(ChartDocTest, LightnessLineOfTheGreyPatches)
{
    struct Case
    {
        int black, white;
        double L1, L2; // darkest and lightest patch
        double T1, T2; // where the line takes them
    };
    const Case cases[] = {
        {0, 1, 20.0, 90.0, 20.0, 96.7}, {0, 1, 20.0, 98.0, 20.0, 98.0},
        {1, 0, 5.0, 90.0, 0.9, 90.0},   {1, 0, 0.5, 90.0, 0.5, 90.0},
        {1, 1, 5.0, 90.0, 0.9, 96.7},   {0, 0, 5.0, 90.0, 5.0, 90.0},
    };
    // Below L* 8 the CIE formulas' two constants (903.29 one way, 116 x
    // 7.787 the other) disagree by a few millionths: hence 1e-4.
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.L1 << ".." << c.L2);
        CChartDoc doc;
        doc.GetParams().AdjustBlackLevel = c.black;
        doc.GetParams().AdjustWhiteLevel = c.white;
        doc.SetGrayScaleCount(3, Grey(50.0));
        doc.GetParams().grayScaleTable.SetAt(0, 0, Grey(c.L1));
        doc.GetParams().grayScaleTable.SetAt(0, 2, Grey(c.L2));
        doc.PrepareFromWhite(kD65);
        ASSERT_TRUE(doc.IsGrayCorrectionReady());
        EXPECT_NEAR(doc.GetLightnessLine().GetValue(c.L1), c.T1, 1e-4);
        EXPECT_NEAR(doc.GetLightnessLine().GetValue(c.L2), c.T2, 1e-4);
        EXPECT_TRUE(doc.GetGrayCorrection().IsBuilt());
    }

    // One patch: the identity line. An all-zero table or UseGrayScale 0:
    // no grey correction.
    CChartDoc one;
    one.GetParams().AdjustWhiteLevel = 1;
    one.SetGrayScaleCount(1, Grey(80.0));
    one.PrepareFromWhite(kD65);
    EXPECT_TRUE(one.IsGrayCorrectionReady());
    EXPECT_EQ(one.GetLightnessLine().GetValue(80.0), 80.0);

    CChartDoc zero;
    zero.PrepareFromWhite(kD65);
    EXPECT_FALSE(zero.IsGrayCorrectionReady());
    EXPECT_FALSE(zero.GetGrayCorrection().IsBuilt());

    CChartDoc off;
    off.GetParams().UseGrayScale = 0;
    off.SetGrayScaleCount(4, Grey(60.0));
    off.PrepareFromWhite(kD65);
    EXPECT_FALSE(off.IsGrayCorrectionReady());
}

TEST(ChartDocTest, GreyScaleTarget)
{
    CChartDoc doc;
    doc.SetGrayScaleCount(3, CCIEXYZ());
    // Tinted greys at L* 10, 50, 85.
    const double Ls[] = {10.0, 50.0, 85.0};
    for (int j = 0; j < 3; ++j)
        doc.GetParams().grayScaleTable.SetAt(0, j, CCIELab(Ls[j], 6.0, -4.0).ToXYZ(kD65));

    T2DArray<CCIEXYZ> target;
    doc.MakeGrayScaleTarget(kD65, target);
    ASSERT_EQ(target.GetColumns(), 3);
    for (int j = 0; j < 3; ++j)
    {
        const CCIELab lab = target.GetAt(0, j).ToLab(kD65);
        EXPECT_NEAR(lab[0], Ls[j], 1e-9);
        EXPECT_NEAR(lab[1], 0.0, 1e-9);
        EXPECT_NEAR(lab[2], 0.0, 1e-9);
    }

    // Black and white levels: the ends go to L* 3 and 97, the middle moves
    // along the line between.
    doc.GetParams().AdjustBlackLevel = 1;
    doc.GetParams().AdjustWhiteLevel = 1;
    doc.MakeGrayScaleTarget(kD65, target);
    EXPECT_NEAR(target.GetAt(0, 0).ToLab(kD65)[0], 3.0, 1e-4); // linear segment, see above
    EXPECT_NEAR(target.GetAt(0, 1).ToLab(kD65)[0], 3.0 + (50.0 - 10.0) / 75.0 * 94.0, 1e-9);
    EXPECT_NEAR(target.GetAt(0, 2).ToLab(kD65)[0], 97.0, 1e-9);
}

TEST(ChartDocTest, HueAnchors)
{
    auto pair = [](double h) {
        CLChPair p;
        p.measured = CCIELCh(60.0, 30.0, h);
        p.reference = CCIELCh(62.0, 33.0, h + 2.0);
        return p;
    };

    // Hues 10 and 200: gaps of 190 and 170 degrees, 41 anchors after each.
    std::vector<CLChPair> pairs{pair(10.0), pair(200.0)};
    CChartDoc::AddHueAnchors(pairs);
    ASSERT_EQ(pairs.size(), 84u);
    EXPECT_EQ(pairs[0].measured[2], 10.0);
    EXPECT_EQ(pairs[0].reference[1], 33.0);
    EXPECT_EQ(pairs[1].measured[2], 31.0);
    EXPECT_EQ(pairs[20].measured[2], 50.0);
    EXPECT_EQ(pairs[21].measured[2], 105.0);
    EXPECT_EQ(pairs[22].measured[2], 179.0);
    EXPECT_EQ(pairs[41].measured[2], 160.0);
    EXPECT_EQ(pairs[42].measured[2], 200.0);
    EXPECT_EQ(pairs[43].measured[2], 221.0);
    EXPECT_EQ(pairs[63].measured[2], 285.0);
    EXPECT_EQ(pairs[64].measured[2], 349.0) << "10 - 21 wraps to 349";
    for (const CLChPair& p : {pairs[1], pairs[63]})
    {
        EXPECT_EQ(p.measured[0], 50.0);
        EXPECT_EQ(p.measured[1], 50.0);
        EXPECT_FALSE(p.measured != p.reference);
    }

    // Gaps below 120 degrees get none.
    std::vector<CLChPair> close{pair(0.0), pair(100.0), pair(200.0), pair(300.0)};
    CChartDoc::AddHueAnchors(close);
    EXPECT_EQ(close.size(), 4u);

    // One pair: six anchors around it, sorted again.
    std::vector<CLChPair> single{pair(20.0)};
    CChartDoc::AddHueAnchors(single);
    ASSERT_EQ(single.size(), 7u);
    const double hues[] = {20.0, 50.0, 60.0, 70.0, 330.0, 340.0, 350.0};
    for (std::size_t i = 0; i < 7; ++i)
        EXPECT_DOUBLE_EQ(single[i].measured[2], hues[i]) << i;
}

TEST(ChartDocTest, HueMatrices)
{
    // Colour patches all round the hue circle whose references are 1.1
    // times brighter in every component: every matrix, and every blend of
    // them, is 1.1 times the identity.
    CChartDoc doc;
    doc.SetColorChartSize(3, 6, CCIEXYZ());
    for (int k = 0; k < 18; ++k)
    {
        const CCIEXYZ measured = FromLCh(45.0 + k, 30.0 + k, k * 20.0 + 3.0);
        doc.GetParams().colorChartTable.SetAt(k / 6, k % 6, measured);
        doc.GetParams().colorChartReference.SetAt(k / 6, k % 6, measured * 1.1);
    }
    doc.PrepareFromWhite(kD65);
    ASSERT_EQ(doc.GetHueMatrixTable().size(), 360u);
    CMtx3x3 expected = CMtx3x3::Identity();
    for (double& v : expected.m)
        v *= 1.1;
    for (int a = 0; a < 360; a += 7)
        ExpectNear(doc.GetHueMatrixTable()[a], expected, 1e-6);

    // Nothing to prepare: equal tables, an all-zero table, UseColorChart
    // other than 1.
    CChartDoc same = doc;
    same.GetParams().colorChartReference = same.GetParams().colorChartTable;
    same.PrepareFromWhite(kD65);
    EXPECT_TRUE(same.GetHueMatrixTable().empty());
    CChartDoc noReference = doc;
    noReference.SetColorChartSize(3, 6, CCIEXYZ());
    noReference.GetParams().colorChartTable = doc.GetParams().colorChartTable;
    noReference.PrepareFromWhite(kD65);
    EXPECT_TRUE(noReference.GetHueMatrixTable().empty());
    CChartDoc off = doc;
    off.GetParams().UseColorChart = 2;
    off.PrepareFromWhite(kD65);
    EXPECT_TRUE(off.GetHueMatrixTable().empty());

    // Patches without chroma give no pairs: a table prepared before stays.
    doc.GetParams().colorChartTable.SetAt(0, 0, Grey(30.0));
    for (int k = 0; k < 18; ++k)
        doc.GetParams().colorChartTable.SetAt(k / 6, k % 6, Grey(20.0 + k));
    doc.PrepareFromWhite(kD65);
    EXPECT_EQ(doc.GetHueMatrixTable().size(), 360u);
}

TEST(ChartDocTest, PatchesOfOneHueLeaveColoursUnchanged)
{
    // One patch measured three times: the three results share their hue
    // and enclose no angle, so every slot would divide by a zero hue
    // interval; it holds the identity instead.
    CChartDoc doc;
    doc.SetColorChartSize(1, 3, FromLCh(40.0, 30.0, 75.0));
    for (int j = 0; j < 3; ++j)
        doc.GetParams().colorChartReference.SetAt(0, j, FromLCh(42.0 + 10 * j, 33.0 + 5 * j, 70.0));
    doc.PrepareFromWhite(kD65);
    ASSERT_EQ(doc.GetHueMatrixTable().size(), 360u);
    for (const CMtx3x3& m : doc.GetHueMatrixTable())
    {
        for (double v : m.m)
            ASSERT_TRUE(std::isfinite(v));
    }
    ExpectNear(doc.GetHueMatrixTable()[200], CMtx3x3::Identity(), 0.0);
}

TEST(ChartDocTest, ApplyChangesNothing)
{
    const CStdMatrix space = WorkingSpace();
    CRGBImage image(16, 9);
    RGB16* p = image.Lock();
    for (int i = 0; i < 16 * 9; ++i)
        p[i] = {static_cast<std::uint16_t>(i * 400), static_cast<std::uint16_t>(60000 - i * 300),
                static_cast<std::uint16_t>(i * 97)};
    image.Unlock();
    const CRGBImage before = image;

    CChartDoc doc;
    doc.SetGrayScaleCount(3, Grey(50.0));
    for (const double h : {10.0, 150.0, 250.0})
    {
        const int i = static_cast<int>(h) / 100;
        doc.GetParams().colorChartTable.SetAt(i, i, FromLCh(50, 40, h));
        doc.GetParams().colorChartReference.SetAt(i, i, FromLCh(52, 44, h + 3.0));
    }
    ProgressLog log;
    std::vector<double>& progress = log.percents;
    ASSERT_TRUE(doc.ProcessImage(image, nullptr, space, nullptr, 1.0, nullptr, log, nullptr));
    EXPECT_TRUE(progress.empty());
    EXPECT_TRUE(doc.IsGrayCorrectionReady()) << "PrepareApply ran on the image's white";
    EXPECT_EQ(doc.GetHueMatrixTable().size(), 360u);
    const RGB16* a = image.Lock();
    CRGBImage copy = before;
    const RGB16* b = copy.Lock();
    for (int i = 0; i < 16 * 9; ++i)
        ASSERT_TRUE(a[i].r == b[i].r && a[i].g == b[i].g && a[i].b == b[i].b) << i;
}

// --- Hostile files -------------------------------------------------------------------

TEST(ChartDocTest, HostileSectionsLoadWithinRange)
{
    // The saved sections of the chart, gradation and filter documents with
    // values replaced at random by junk: every load gives parameters in
    // their ranges, and preparing and applying them on an image is safe.
    CChartDoc chart;
    chart.SetColorChartSize(2, 3, CCIEXYZ(20.0, 21.0, 22.0));
    CGrayCalibDoc tone;
    tone.GetParams().RandamScale = 1;
    tone.GetParams().ScaleCount = 3;
    CGrayCalibDoc::InitScaleTable(tone.GetParams());
    CFilterDoc filter;
    filter.GetParams().Radius = 30;
    CParamFileWriter writer;
    ASSERT_TRUE(chart.SaveParams(writer) && tone.SaveParams(writer) && filter.SaveParams(writer));
    std::vector<std::string> lines;
    {
        std::string line;
        for (const char c : writer.GetText())
        {
            if (c == '\n')
            {
                lines.push_back(line);
                line.clear();
            }
            else
            {
                line += c;
            }
        }
    }

    const char* junk[] = {"nan",         "-inf",
                          "1e309",       "99999999999",
                          "-2147483649", "",
                          "\x01\xff",    "12345678901234567890123456789012345678901234567890",
                          "1,2,",        "1.5,2.5,3.5",
                          "-1",          "0",
                          "64",          "65",
                          "20",          "21",
                          "0.5",         "-0.0",
                          "0x10",        "1,2,3,",
                          " 7 ",         "\"3\""};
    const CStdMatrix space = WorkingSpace();
    TempDir dir;
    std::mt19937 random(1234);
    for (int round = 0; round < 150; ++round)
    {
        std::string text;
        for (const std::string& line : lines)
        {
            const std::size_t eq = line.find('=');
            if (eq != std::string::npos && random() % 3 == 0)
                text += line.substr(0, eq + 1) + junk[random() % std::size(junk)] + "\r\n";
            else
                text += line + "\r\n";
        }
        WriteTextFile(dir.File("h.qzp"), text);
        CParamFileReader reader;
        ASSERT_TRUE(reader.Load(dir.File("h.qzp")));
        CChartDoc c;
        CGrayCalibDoc g;
        CFilterDoc f;
        ASSERT_TRUE(c.LoadParams(reader) && g.LoadParams(reader) && f.LoadParams(reader));

        for (const T2DArray<CCIEXYZ>* t :
             {&c.GetParams().grayScaleTable, &c.GetParams().colorChartTable,
              &c.GetParams().colorChartReference})
        {
            ASSERT_LE(t->GetRows(), CChartDoc::kMaxChartDimension);
            ASSERT_LE(t->GetColumns(), CChartDoc::kMaxChartDimension);
            for (const CCIEXYZ& patch : t->GetCells())
                ASSERT_TRUE(std::isfinite(patch[0] + patch[1] + patch[2]));
        }
        const GrayCalibParams& p = g.GetParams();
        ASSERT_TRUE(p.InBlackLevel >= 0 && p.InBlackLevel < p.InWhiteLevel &&
                    p.InWhiteLevel <= 255);
        ASSERT_TRUE(p.OutBlackLevel >= 0 && p.OutBlackLevel < p.OutWhiteLevel &&
                    p.OutWhiteLevel <= 255);
        ASSERT_TRUE(std::isfinite(p.InGamma) && p.InGamma > 0.0);
        ASSERT_TRUE(p.ScaleCount >= 1 && p.ScaleCount <= 20);
        ASSERT_TRUE(p.OffsetTemp >= -6000 && p.OffsetTemp <= 6000);
        for (int i = 0; i < p.ScaleCount; ++i)
            ASSERT_TRUE(p.ScaleTable[i].x >= 0.0 && p.ScaleTable[i].x <= 1.0 &&
                        p.ScaleTable[i].y >= 0.0 && p.ScaleTable[i].y <= 1.0);
        ASSERT_TRUE(f.GetParams().Radius >= 0 && f.GetParams().Radius <= 1000);
        ASSERT_TRUE(f.GetParams().Amount >= 1 && f.GetParams().Amount <= 500);
        ASSERT_TRUE(f.GetParams().Threshold >= 0 && f.GetParams().Threshold <= 255);

        if (round % 10 == 0)
        {
            CRGBImage image(24, 16);
            RGB16* px = image.Lock();
            for (int i = 0; i < 24 * 16; ++i)
                px[i] = {static_cast<std::uint16_t>(i * 170), 30000,
                         static_cast<std::uint16_t>(65535 - i * 170)};
            image.Unlock();
            for (CBaseDoc* doc : std::initializer_list<CBaseDoc*>{&c, &g, &f})
                ASSERT_TRUE(
                    doc->ProcessImage(image, nullptr, space, nullptr, 1.0, nullptr, {}, nullptr));
        }
    }
}
