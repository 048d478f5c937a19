// The white adjustment's rules apart from the pages: the candidate grid and
// its clamps, the preset whites, what counts as a chromaticity, the gains
// and their refusals, the stored diagram point.

#include "monitor/WhiteAdjustLogic.h"

#include "core/IniFile.h"
#include "monitor/Display.h"

#include "tests/monitor/WizardTestSupport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

// A monitor with the model data of an sRGB screen (only ComputeWhiteGains
// is asked of it).
struct ModelOnlyDisplay
{
    explicit ModelOnlyDisplay(bool loaded)
    {
        display.Primaries = {0.64, 0.33, 0.30, 0.60, 0.15, 0.06, 0.3127, 0.3290, 2.2};
        display.PrimariesLoaded = loaded;
    }
    operator const CDisplay&() const { return display; }
    platform::VirtualClock clock;
    wizardtest::TableDisplay display{clock};
};

WhiteGainRanges Ranges(std::uint16_t r, std::uint16_t g, std::uint16_t b)
{
    WhiteGainRanges ranges;
    ranges.maxima = {r, g, b};
    ranges.initial = {r, g, b};
    ranges.read = {true, true, true};
    return ranges;
}

} // namespace

TEST(WhiteAdjustLogic, PresetWhitesAreD50AndD65)
{
    EXPECT_NEAR(ChartWhiteXy().x, 0.3127, 5e-5);
    EXPECT_NEAR(ChartWhiteXy().y, 0.3290, 5e-5);
    EXPECT_NEAR(D50WhiteXy().x, 0.3457, 5e-5);
    EXPECT_NEAR(D50WhiteXy().y, 0.3585, 5e-5);

    ASSERT_TRUE(SeedPointForPreset(4).has_value());
    EXPECT_DOUBLE_EQ(SeedPointForPreset(4)->x, D50WhiteXy().x);
    ASSERT_TRUE(SeedPointForPreset(5).has_value());
    EXPECT_DOUBLE_EQ(SeedPointForPreset(5)->y, ChartWhiteXy().y);
    for (int preset : {0, 1, 6, 11})
        EXPECT_FALSE(SeedPointForPreset(preset).has_value()) << preset;
}

TEST(WhiteAdjustLogic, CandidateGridMovesTowardEachCellsPlace)
{
    struct Case
    {
        int cell;
        int id;
        int dx;
        int dy;
    };
    // Top row greener (y up), left column bluer (x down).
    const Case cases[] = {
        {0, 1349, -1, 1}, {1, 1350, 0, 1},   {2, 1351, 1, 1},   //
        {3, 1352, -1, 0}, {4, 1353, 0, 0},   {5, 1354, 1, 0},   //
        {6, 1355, -1, -1}, {7, 1356, 0, -1}, {8, 1357, 1, -1},
    };
    const WhiteXy target{0.33, 0.34};
    for (const Case& c : cases) {
        EXPECT_EQ(kCandidateIds[static_cast<std::size_t>(c.cell)], c.id);
        const CandidateDirection d = CandidateDirectionOf(c.cell);
        EXPECT_EQ(d.dx, c.dx) << c.cell;
        EXPECT_EQ(d.dy, c.dy) << c.cell;
        const WhiteXy white = CandidateWhite(target, c.cell);
        EXPECT_NEAR(white.x, 0.33 + 0.01 * c.dx, 1e-12) << c.cell;
        EXPECT_NEAR(white.y, 0.34 + 0.01 * c.dy, 1e-12) << c.cell;
    }
    for (int outside : {-1, 9, 100}) {
        const CandidateDirection d = CandidateDirectionOf(outside);
        EXPECT_EQ(d.dx, 0);
        EXPECT_EQ(d.dy, 0);
    }
}

TEST(WhiteAdjustLogic, MovedTargetIsClampedOnlyWhereItMoves)
{
    struct Case
    {
        WhiteXy from;
        int cell;
        WhiteXy to;
    };
    const Case cases[] = {
        // From x = 0.2800 to the upper left: x clamps at 0.2788, y goes up.
        {{0.2800, 0.3300}, 0, {0.2788, 0.3400}},
        {{0.4300, 0.3300}, 5, {0.4362, 0.3300}},
        {{0.3300, 0.4000}, 1, {0.3300, 0.4061}},
        {{0.3300, 0.2950}, 7, {0.3300, 0.2920}},
        {{0.4300, 0.2950}, 8, {0.4362, 0.2920}},
        {{0.3300, 0.3300}, 6, {0.3200, 0.3200}},
        // A coordinate that does not move keeps a value outside the range.
        {{0.2000, 0.3300}, 1, {0.2000, 0.3400}},
        {{0.3300, 0.5000}, 3, {0.3200, 0.5000}},
        // The centre moves nothing.
        {{0.2000, 0.5000}, 4, {0.2000, 0.5000}},
    };
    for (const Case& c : cases) {
        const WhiteXy to = MoveTarget(c.from, CandidateDirectionOf(c.cell));
        EXPECT_NEAR(to.x, c.to.x, 1e-12) << c.cell << " from " << c.from.x << "," << c.from.y;
        EXPECT_NEAR(to.y, c.to.y, 1e-12) << c.cell << " from " << c.from.x << "," << c.from.y;
    }
}

TEST(WhiteAdjustLogic, OnlyChromaticitiesAreMeasurable)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case
    {
        WhiteXy xy;
        bool measurable;
    };
    const Case cases[] = {
        {{0.3127, 0.3290}, true}, {{0.0, 0.0}, false},  {{0.3, 0.0}, false},
        {{0.0, 0.3}, false},      {{-0.1, 0.3}, false}, {{0.6, 0.4}, false},
        {{nan, 0.3}, false},      {{0.3, inf}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsMeasurableChromaticity(c.xy), c.measurable) << c.xy.x << "," << c.xy.y;
}

TEST(WhiteAdjustLogic, GainsAreRefusedRatherThanWrittenAsZero)
{
    const ModelOnlyDisplay display(true);
    std::vector<std::uint16_t> gains{1, 2, 3};

    // No point, or the point (0, 0) a missing value would read as.
    EXPECT_EQ(PrepareWhiteGains(display, std::nullopt, Ranges(100, 100, 100), gains),
              WhiteGainStatus::NoPoint);
    EXPECT_TRUE(gains.empty());
    EXPECT_EQ(PrepareWhiteGains(display, WhiteXy{0, 0}, Ranges(100, 100, 100), gains),
              WhiteGainStatus::NoPoint);
    EXPECT_TRUE(gains.empty());

    // A maximum of 0 gives no range; a failed read gives no range either.
    EXPECT_EQ(PrepareWhiteGains(display, ChartWhiteXy(), Ranges(100, 0, 100), gains),
              WhiteGainStatus::NoGainRange);
    EXPECT_TRUE(gains.empty());
    WhiteGainRanges unread = Ranges(100, 100, 100);
    unread.read[2] = false;
    EXPECT_EQ(PrepareWhiteGains(display, ChartWhiteXy(), unread, gains),
              WhiteGainStatus::NotAnswered);

    // Without model data nothing can be computed.
    const ModelOnlyDisplay noModel(false);
    EXPECT_EQ(PrepareWhiteGains(noModel, ChartWhiteXy(), Ranges(100, 100, 100), gains),
              WhiteGainStatus::NoModelData);
    EXPECT_TRUE(gains.empty());
}

TEST(WhiteAdjustLogic, GainsStayWithinEachChannelsMaximum)
{
    const ModelOnlyDisplay display(true);
    std::vector<std::uint16_t> gains;
    // The native white gives full gains (within the truncation of a
    // rounding error).
    ASSERT_EQ(PrepareWhiteGains(display, ChartWhiteXy(), Ranges(100, 100, 100), gains),
              WhiteGainStatus::Written);
    ASSERT_EQ(gains.size(), 3u);
    for (std::uint16_t g : gains) {
        EXPECT_GE(g, 99);
        EXPECT_LE(g, 100);
    }

    // A warmer white lowers blue most.
    ASSERT_EQ(PrepareWhiteGains(display, D50WhiteXy(), Ranges(100, 100, 100), gains),
              WhiteGainStatus::Written);
    EXPECT_EQ(gains[0], 100);
    EXPECT_LT(gains[2], gains[1]);
    EXPECT_LT(gains[1], gains[0]);

    std::vector<std::uint16_t> clamp{300, 50, 120};
    ClampGainsToMaxima(clamp, {255, 255, 100});
    EXPECT_EQ(clamp, (std::vector<std::uint16_t>{255, 50, 100}));
}

TEST(WhiteAdjustLogic, StoredPointNeedsBothCoordinates)
{
    TempDir dir;
    struct Case
    {
        const char* text;
        int setCIExy;
        bool hasPoint;
    };
    const Case cases[] = {
        {"", 0, false},
        {"[DetailMode]\nSetCIExy=1\n", 1, false},
        {"[DetailMode]\nSetCIExy=1\nCurCIEy=0.33\n", 1, false},
        {"[DetailMode]\nSetCIExy=1\nCurCIEx=\nCurCIEy=0.33\n", 1, false},
        {"[DetailMode]\nSetCIExy=1\nCurCIEx=abc\nCurCIEy=0.33\n", 1, false},
        {"[DetailMode]\nSetCIExy=1\nCurCIEx=0.31\nCurCIEy=0.33\n", 1, true},
    };
    for (const Case& c : cases) {
        WriteTextFile(dir.File("s.ini"), c.text);
        const DetailModeSettings s = LoadDetailModeSettings(CIniFile(dir.File("s.ini")));
        EXPECT_EQ(s.setCIExy, c.setCIExy) << c.text;
        EXPECT_EQ(s.current.has_value(), c.hasPoint) << c.text;
    }

    CIniFile ini(dir.File("w.ini"));
    SavePointSetFlag(ini, 1);
    SaveCurrentPoint(ini, {0.345678, 0.358512});
    const DetailModeSettings back = LoadDetailModeSettings(CIniFile(dir.File("w.ini")));
    EXPECT_EQ(back.setCIExy, 1);
    ASSERT_TRUE(back.current.has_value());
    EXPECT_NEAR(back.current->x, 0.345678, 1e-6);
    EXPECT_NEAR(back.current->y, 0.358512, 1e-6);
}
