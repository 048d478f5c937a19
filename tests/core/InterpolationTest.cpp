#include "core/Interpolation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <random>
#include <vector>

namespace
{

CInterpolation MakeSpline(const std::vector<CPointD>& points)
{
    CInterpolation s;
    for (const CPointD& p : points)
        s.AddPoint(p.x, p.y);
    return s;
}

// ---------------------------------------------------------------- spline

TEST(InterpolationSpline, ThroughCollinearPointsIsTheLineAlsoBeyondTheEnds)
{
    CInterpolation s = MakeSpline({{0.0, 0.0}, {0.5, 0.5}, {1.0, 1.0}});
    ASSERT_TRUE(s.BuildSpline());
    EXPECT_TRUE(s.IsBuilt());
    EXPECT_EQ(s.GetXMin(), 0.0);
    EXPECT_EQ(s.GetXMax(), 1.0);
    for (double x : {-1.0, -0.25, 0.0, 0.1, 0.5, 0.77, 1.0, 1.5, 3.0})
        EXPECT_NEAR(s.GetSplineValue(x), x, 1e-12) << "x = " << x;
}

// Natural spline through (0,0), (1,1), (2,0): the inner second derivative
// solves 4*y2 = 6*(-1 - 1), so y2[1] = -3; in the middle of the first
// interval the value is 0.5 + (3/8)*3/6 = 0.6875. Beyond the ends the end
// cubic continues; at x = -1 and x = 3 its curvature terms vanish.
TEST(InterpolationSpline, NaturalSplineMatchesHandSolvedValues)
{
    CInterpolation s = MakeSpline({{2.0, 0.0}, {0.0, 0.0}, {1.0, 1.0}}); // any insertion order
    ASSERT_TRUE(s.BuildSpline());
    const struct
    {
        double x, y;
    } cases[] = {{0.0, 0.0},    {1.0, 1.0},   {2.0, 0.0}, {0.5, 0.6875},
                 {1.5, 0.6875}, {-1.0, -1.0}, {3.0, -1.0}};
    for (const auto& c : cases)
        EXPECT_NEAR(s.GetSplineValue(c.x), c.y, 1e-12) << "x = " << c.x;
}

TEST(InterpolationSpline, PassesThroughEverySampleWithZeroEndCurvature)
{
    std::vector<CPointD> pts;
    for (int k = 0; k <= 10; ++k)
    {
        const double x = k * k / 100.0; // uneven spacing
        pts.emplace_back(x, std::sin(3.0 * x));
    }
    CInterpolation s = MakeSpline(pts);
    ASSERT_TRUE(s.BuildSpline());
    for (const CPointD& p : pts)
        EXPECT_NEAR(s.GetSplineValue(p.x), p.y, 1e-12);

    // Natural ends: the second difference at each end vanishes.
    const double h = 1e-4;
    for (double x : {s.GetXMin(), s.GetXMax()})
    {
        const double d2 =
            (s.GetSplineValue(x + h) - 2.0 * s.GetSplineValue(x) + s.GetSplineValue(x - h)) /
            (h * h);
        EXPECT_NEAR(d2, 0.0, 1e-3) << "x = " << x;
    }
}

// The segment-hint overload is a faster way to the same number: any walk,
// forwards or with jumps back, must agree bit for bit with the search.
TEST(InterpolationSpline, HintedEvaluationEqualsSearchedEvaluation)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    CInterpolation s;
    for (int k = 0; k < 40; ++k)
        s.AddPoint(unit(rng), unit(rng));
    s.AddPoint(0.0, 0.0);
    s.AddPoint(1.0, 1.0);
    ASSERT_TRUE(s.BuildSpline());

    std::vector<double> xs;
    for (int i = 0; i <= 2000; ++i)
        xs.push_back(-0.2 + 1.4 * i / 2000.0); // ascending, beyond both ends
    for (int i = 0; i < 300; ++i)
        xs.push_back(unit(rng) * 1.4 - 0.2); // random order, jumps back
    xs.push_back(s.GetXMax());
    xs.push_back(s.GetXMin());

    std::size_t segment = 0;
    for (double x : xs)
    {
        const double hinted = s.GetSplineValue(x, segment);
        EXPECT_EQ(hinted, s.GetSplineValue(x)) << "x = " << x;
    }
    std::size_t stale = 1000; // a hint past the end is recovered from
    EXPECT_EQ(s.GetSplineValue(0.5, stale), s.GetSplineValue(0.5));
}

TEST(InterpolationSpline, FewerThanTwoSamplesFailAndGiveDefinedValues)
{
    CInterpolation none;
    EXPECT_FALSE(none.BuildSpline());
    EXPECT_FALSE(none.IsBuilt());
    std::size_t segment = 0;
    for (double x : {-1.0, 0.0, 0.5, 2.0})
    {
        EXPECT_EQ(none.GetSplineValue(x), 0.0);
        EXPECT_EQ(none.GetSplineValue(x, segment), 0.0);
    }

    CInterpolation one;
    one.AddPoint(0.3, 0.7);
    EXPECT_FALSE(one.BuildSpline());
    EXPECT_FALSE(one.IsBuilt());
    EXPECT_EQ(one.GetXMin(), 0.3);
    EXPECT_EQ(one.GetXMax(), 0.3);
    for (double x : {-1.0, 0.3, 0.5, 2.0})
    {
        EXPECT_EQ(one.GetSplineValue(x), 0.7);
        EXPECT_EQ(one.GetSplineValue(x, segment), 0.7);
    }

    // A second sample counts from the next BuildSpline on.
    one.AddPoint(1.3, 1.7);
    EXPECT_EQ(one.GetSplineValue(1.3), 0.7);
    ASSERT_TRUE(one.BuildSpline());
    EXPECT_NEAR(one.GetSplineValue(0.8), 1.2, 1e-12);
}

// ---------------------------------------------------------------- samples

TEST(InterpolationSamples, DuplicateAndNonFiniteXAreRefused)
{
    CInterpolation s;
    EXPECT_TRUE(s.AddPoint(0.5, 2.0));
    EXPECT_FALSE(s.AddPoint(0.5, 1.0));
    EXPECT_FALSE(s.AddPoint(std::numeric_limits<double>::quiet_NaN(), 3.0));
    EXPECT_FALSE(s.AddPoint(std::numeric_limits<double>::infinity(), 3.0));
    EXPECT_EQ(s.GetCount(), 1u);
    EXPECT_EQ(s.GetLinearValue(0.5), 2.0);
    s.BuildSpline();
    EXPECT_EQ(s.GetSplineValue(0.5), 2.0);
}

TEST(InterpolationLinear, ClampedPolylineThroughTheSamples)
{
    CInterpolation s;
    s.AddPoint(3.0, 0.0); // out of order on purpose
    s.AddPoint(0.0, 0.0);
    s.AddPoint(1.0, 10.0);
    const struct
    {
        double x, y;
    } cases[] = {{-1.0, 0.0}, {0.0, 0.0}, {0.25, 2.5}, {1.0, 10.0},
                 {2.0, 5.0},  {2.5, 2.5}, {3.0, 0.0},  {7.0, 0.0}};
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(s.GetLinearValue(c.x), c.y) << "x = " << c.x;
}

TEST(InterpolationLinear, TwoSamplesHoldTheEndValues)
{
    CInterpolation s;
    s.AddPoint(0.0, 0.0);
    s.AddPoint(1.0, 10.0);
    EXPECT_EQ(s.GetLinearValue(-1.0), 0.0);
    EXPECT_DOUBLE_EQ(s.GetLinearValue(0.25), 2.5);
    EXPECT_EQ(s.GetLinearValue(2.0), 10.0);
}

TEST(InterpolationLinear, NoOrOneSample)
{
    CInterpolation s;
    EXPECT_EQ(s.GetLinearValue(0.5), 0.0);
    s.AddPoint(2.0, 4.0);
    for (double x : {-5.0, 2.0, 9.0})
        EXPECT_EQ(s.GetLinearValue(x), 4.0);
}

// ---------------------------------------------------------------- lines

TEST(LinearFunction, DefaultIsTheIdentity)
{
    const CLinearFunction f;
    EXPECT_FALSE(f.IsVertical());
    EXPECT_EQ(f.GetValue(3.5), 3.5);
}

struct SetPointsCase
{
    const char* name;
    CPointD p1, p2;
    bool vertical;
    double xVertical, slope, intercept;
};

void PrintTo(const SetPointsCase& c, std::ostream* os)
{
    *os << c.name;
}

class LinearFunctionSetPoints : public testing::TestWithParam<SetPointsCase>
{
};

TEST_P(LinearFunctionSetPoints, GivesTheLine)
{
    const SetPointsCase& c = GetParam();
    CLinearFunction f(7.0, 9.0); // something else first, to see every field set
    f.SetPoints(c.p1, c.p2);
    EXPECT_EQ(f.IsVertical(), c.vertical);
    if (c.vertical)
    {
        EXPECT_EQ(f.GetXVertical(), c.xVertical);
    }
    EXPECT_DOUBLE_EQ(f.GetSlope(), c.slope);
    EXPECT_DOUBLE_EQ(f.GetIntercept(), c.intercept);
    if (!c.vertical)
    {
        EXPECT_NEAR(f.GetValue(c.p1.x), c.p1.y, 1e-12);
        EXPECT_NEAR(f.GetValue(c.p2.x), c.p2.y, 1e-12);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LinearFunctionSetPoints,
    testing::Values(SetPointsCase{"vertical", {1, 2}, {1, 5}, true, 1.0, 0.0, 0.0},
                    SetPointsCase{"horizontal", {0, 3}, {5, 3}, false, 0.0, 0.0, 3.0},
                    SetPointsCase{"general", {1, 2}, {3, 8}, false, 0.0, 3.0, -1.0},
                    SetPointsCase{"reversed", {3, 8}, {1, 2}, false, 0.0, 3.0, -1.0},
                    SetPointsCase{"falling", {-2, 1}, {2, -1}, false, 0.0, -0.5, 0.0}),
    [](const testing::TestParamInfo<SetPointsCase>& info) { return info.param.name; });

TEST(LinearFunction, IdenticalPointsLeaveTheLineUnchanged)
{
    CLinearFunction f;
    f.SetPoints(CPointD(1, 2), CPointD(3, 8));
    f.SetPoints(CPointD(4, 4), CPointD(4, 4));
    EXPECT_FALSE(f.IsVertical());
    EXPECT_DOUBLE_EQ(f.GetSlope(), 3.0);
    EXPECT_DOUBLE_EQ(f.GetIntercept(), -1.0);

    f.SetPoints(CPointD(1, 2), CPointD(1, 5));
    f.SetPoints(CPointD(0, 0), CPointD(0, 0));
    EXPECT_TRUE(f.IsVertical());
    EXPECT_EQ(f.GetXVertical(), 1.0);

    // Leaving the vertical state again clears the flag.
    f.SetPoints(CPointD(0, 1), CPointD(2, 1));
    EXPECT_FALSE(f.IsVertical());
    EXPECT_EQ(f.GetValue(10.0), 1.0);
}

// ---------------------------------------------------------------- fit

// Points of a tone response sampled like a profile curve: x the entry index
// 0..255, y a 16-bit value, so that Fit has to normalise both axes.
CExponential PowerLawPoints(double gamma)
{
    CExponential e;
    for (int i = 0; i < 256; ++i)
        e.AddPoint(i, 1000.0 + 64000.0 * std::pow(i / 255.0, gamma));
    return e;
}

struct FitCase
{
    double gamma; // the curve the points lie on
    double gFrom, gTo, gStep;
    int expectedK; // expected result gFrom + k*gStep, bit for bit
};

void PrintTo(const FitCase& c, std::ostream* os)
{
    *os << "y = x^" << c.gamma << ", grid " << c.gFrom << " to " << c.gTo << " by " << c.gStep;
}

class ExponentialFit : public testing::TestWithParam<FitCase>
{
};

// The result is compared exactly with gFrom + k*gStep: a grid built by
// adding the step over and over drifts (0.9 + 0.1 + ... thirteen times is
// 2.2000000000000011, not 2.2) and would fail here.
TEST_P(ExponentialFit, FindsTheGridExponentExactly)
{
    const FitCase& c = GetParam();
    CExponential e = PowerLawPoints(c.gamma);
    const double g = e.Fit(c.gFrom, c.gTo, c.gStep);
    EXPECT_EQ(g, c.gFrom + c.expectedK * c.gStep);
    EXPECT_LE(std::fabs(g - c.gamma), c.gStep / 2 + 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExponentialFit,
    testing::Values(FitCase{2.2, 0.9, 5.0, 0.1, 13}, FitCase{2.0, 0.9, 5.0, 0.1, 11},
                    FitCase{1.8, 0.9, 5.0, 0.1, 9}, FitCase{1.0, 0.9, 5.0, 0.1, 1},
                    FitCase{4.9, 0.9, 5.0, 0.1, 40}, FitCase{2.23, 0.9, 5.0, 0.1, 13},
                    FitCase{2.4, 1.0, 3.0, 0.2, 7}));

TEST(ExponentialFitEdges, UpperBoundIsExcluded)
{
    // y = x^2 but the grid stops below 2.0: the last grid value, 1.9, wins.
    CExponential e = PowerLawPoints(2.0);
    EXPECT_EQ(e.Fit(0.9, 2.0, 0.1), 0.9 + 10 * 0.1);
}

TEST(ExponentialFitEdges, TieKeepsTheSmallerExponent)
{
    // Only the end points: every exponent fits them exactly.
    CExponential e;
    e.AddPoint(5.0, 10.0);
    e.AddPoint(15.0, 30.0);
    EXPECT_EQ(e.Fit(1.5, 3.0, 0.5), 1.5);
}

TEST(ExponentialFitEdges, LeavesThePointsNormalised)
{
    CExponential e;
    e.AddPoint(10.0, 100.0);
    e.AddPoint(20.0, 200.0);
    e.AddPoint(30.0, 500.0);
    e.Fit(0.9, 5.0, 0.1);
    const std::vector<CPointD>& p = e.GetPoints();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_DOUBLE_EQ(p[0].x, 0.0);
    EXPECT_DOUBLE_EQ(p[0].y, 0.0);
    EXPECT_DOUBLE_EQ(p[1].x, 0.5);
    EXPECT_DOUBLE_EQ(p[1].y, 0.25);
    EXPECT_DOUBLE_EQ(p[2].x, 1.0);
    EXPECT_DOUBLE_EQ(p[2].y, 1.0);
}

TEST(ExponentialFitEdges, EmptyGridReturnsOne)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct
    {
        double from, to, step;
    } grids[] = {{5.0, 0.9, 0.1}, {2.0, 2.0, 0.1}, {0.9, 5.0, 0.0}, {0.9, 5.0, -0.1},
                 {nan, 5.0, 0.1}, {0.9, nan, 0.1}, {0.9, 5.0, nan}, {0.9, inf, 0.1}};
    for (const auto& g : grids)
    {
        CExponential e = PowerLawPoints(2.2);
        EXPECT_EQ(e.Fit(g.from, g.to, g.step), 1.0) << g.from << " " << g.to << " " << g.step;
    }
}

TEST(ExponentialFitEdges, DegeneratePointsReturnOneWithoutNaN)
{
    const struct
    {
        const char* name;
        std::vector<CPointD> points;
    } cases[] = {
        {"none", {}},
        {"one", {{0.5, 0.5}}},
        {"same x at the ends", {{1.0, 0.0}, {0.5, 0.3}, {1.0, 1.0}}},
        {"same y at the ends", {{0.0, 2.0}, {0.5, 0.3}, {1.0, 2.0}}},
    };
    for (const auto& c : cases)
    {
        CExponential e;
        for (const CPointD& p : c.points)
            e.AddPoint(p.x, p.y);
        EXPECT_EQ(e.Fit(0.9, 5.0, 0.1), 1.0) << c.name;
        ASSERT_EQ(e.GetPoints().size(), c.points.size()) << c.name;
        for (std::size_t i = 0; i < c.points.size(); ++i)
        {
            EXPECT_EQ(e.GetPoints()[i].x, c.points[i].x) << c.name;
            EXPECT_EQ(e.GetPoints()[i].y, c.points[i].y) << c.name;
        }
    }
}

} // namespace
