#include "correction/ChartDoc.h"
#include "correction/ColorCalibDoc.h"
#include "correction/ColorChangeDoc.h"
#include "correction/DNGParamDoc.h"
#include "correction/FilterDoc.h"
#include "correction/GrayCalibDoc.h"
#include "correction/ParamFile.h"
#include "correction/TrimmingDoc.h"

#include "tests/correction/CorrectionTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <variant>

using correctiontest::SaveText;

namespace {

// A record with one field of every kind a table can hold.
struct Probe
{
    int whole = 0;
    std::int16_t small = 0;
    double number = 0.0;
};

constexpr std::string_view kSection = "qzProbe";

CParamFileReader ReaderOf(const std::string& keys)
{
    testsupport::TempDir dir;
    const std::string path = dir.File("probe.qzp");
    testsupport::WriteTextFile(path, "[qzProbe]\n" + keys);
    CParamFileReader reader;
    EXPECT_TRUE(reader.Load(path));
    return reader;
}

// The value a parameter holds in record, as a double.
template <class P> double ValueOf(const ParamDef<P>& param, const P& record)
{
    return std::visit([&](auto field) { return static_cast<double>(record.*field); }, param.member);
}

} // namespace

TEST(ParamTableTest, EachRuleTreatsMissingBadAndOutOfRangeValuesAsDeclared)
{
    struct Case
    {
        const char* what;
        ParamRead read;
        const char* text; // the stored value; null: the key is missing
        double expected;
    };
    // Default 7, range 0..10.
    const Case cases[] = {
        {"missing", ParamRead::DefaultOutside, nullptr, 7},
        {"unparsable", ParamRead::DefaultOutside, "seven", 7},
        {"not finite", ParamRead::DefaultOutside, "inf", 7},
        {"inside", ParamRead::DefaultOutside, "10", 10},
        {"above, replaced", ParamRead::DefaultOutside, "11", 7},
        {"below, replaced", ParamRead::DefaultOutside, "-1", 7},
        {"above, clamped", ParamRead::ClampInside, "11", 10},
        {"below, clamped", ParamRead::ClampInside, "-1", 0},
        {"unparsable, clamped", ParamRead::ClampInside, "x", 7},
        {"above, kept", ParamRead::AnyValue, "4000", 4000},
        {"below, kept", ParamRead::AnyValue, "-4000", -4000},
        {"unparsable, kept", ParamRead::AnyValue, "4e", 7},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        const ParamDef<Probe> table[] = {
            {"Whole", &Probe::whole, 7, 0, 10, c.read},
            {"Small", &Probe::small, 7, 0, 10, c.read},
            {"Number", &Probe::number, 7, 0, 10, c.read},
        };
        std::string keys;
        if (c.text)
        {
            for (const auto& param : table)
                keys += std::string(param.key) + "=" + c.text + "\n";
        }
        Probe record{1, 1, 1.0};
        ReadParams(ReaderOf(keys), kSection, std::span<const ParamDef<Probe>>(table), record);
        EXPECT_EQ(record.whole, c.expected);
        EXPECT_EQ(record.small, c.expected);
        EXPECT_EQ(record.number, c.expected);
    }
}

TEST(ParamTableTest, WritesIntegersAndNumbersAndResetsToTheDefaults)
{
    const ParamDef<Probe> table[] = {
        {"Whole", &Probe::whole, -3, -10, 10},
        {"Small", &Probe::small, 2, 0, 10},
        {"Number", &Probe::number, 0.25, 0, 1},
    };
    Probe record{1, 1, 1.0};
    ResetParams(std::span<const ParamDef<Probe>>(table), record);
    EXPECT_EQ(record.whole, -3);
    EXPECT_EQ(record.small, 2);
    EXPECT_EQ(record.number, 0.25);

    CParamFileWriter file;
    ASSERT_TRUE(file.BeginSection(kSection));
    CSaveDoc save(file);
    EXPECT_TRUE(WriteParams(save, std::span<const ParamDef<Probe>>(table), record));
    EXPECT_EQ(file.GetText(), "[qzProbe]\nWhole=-3\nSmall=2\nNumber=0.250000\n");
}

// Every document's table: keys unique, defaults inside their ranges and
// equal to what a new document holds, and every key written once by the
// document's own section.
template <class Doc> class DocumentParamTableTest : public ::testing::Test
{};
using Documents = ::testing::Types<CDNGParamDoc, CChartDoc, CTrimmingDoc, CGrayCalibDoc,
                                   CColorCalibDoc, CFilterDoc>;
TYPED_TEST_SUITE(DocumentParamTableTest, Documents);

TYPED_TEST(DocumentParamTableTest, DeclaresEveryScalarOnceWithItsDefault)
{
    const TypeParam doc{};
    const auto table = TypeParam::GetParamTable();
    ASSERT_FALSE(table.empty());
    const std::string text = SaveText(doc);
    std::set<std::string_view> keys;
    for (const auto& param : table)
    {
        SCOPED_TRACE(std::string(param.key));
        EXPECT_TRUE(keys.insert(param.key).second) << "declared twice";
        EXPECT_LE(param.minValue, param.defaultValue);
        EXPECT_LE(param.defaultValue, param.maxValue);
        EXPECT_EQ(ValueOf(param, doc.GetParams()), param.defaultValue);
        const std::string line = "\n" + std::string(param.key) + "=";
        const std::size_t at = text.find(line);
        EXPECT_NE(at, std::string::npos);
        EXPECT_EQ(text.find(line, at + 1), std::string::npos);
    }
}

TEST(ParamTableTest, ColourElementsDeclareTheirScalarsPerElement)
{
    const CColorChangeDoc doc{};
    const std::string text = SaveText(doc);
    for (const auto& param : CColorChangeDoc::kEntryParamTable)
    {
        SCOPED_TRACE(std::string(param.key));
        for (int i = 0; i < CColorChangeDoc::kEntryCount; ++i)
        {
            EXPECT_EQ(ValueOf(param, doc.GetEntry(i)), param.defaultValue);
            char digits[16];
            std::snprintf(digits, sizeof digits, "%03d", i);
            EXPECT_NE(text.find("\n" + std::string(param.key) + digits + "="), std::string::npos);
        }
    }
}
