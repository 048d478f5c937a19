// Vector and matrix core: arithmetic, the LU inverse with its pivoting and
// failure rules, least-squares estimation and the 16-bit colour matrix.

#include "core/StdMatrix.h"
#include "core/CIEColor.h"
#include "core/StdVector.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

void ExpectMatrixNear(const CStdMatrix& actual, const CStdMatrix& expected, double tolerance)
{
    ASSERT_EQ(actual.GetRows(), expected.GetRows());
    ASSERT_EQ(actual.GetCols(), expected.GetCols());
    for (std::uint32_t r = 0; r < actual.GetRows(); ++r)
        for (std::uint32_t c = 0; c < actual.GetCols(); ++c)
            EXPECT_NEAR(actual.GetAt(r, c), expected.GetAt(r, c), tolerance)
                << "element (" << r << ", " << c << ")";
}

void ExpectAllFinite(const CStdMatrix& m)
{
    for (double e : m.GetData())
        EXPECT_TRUE(std::isfinite(e)) << e;
}

} // namespace

// --- CStdVector ----------------------------------------------------------------

TEST(StdVectorTest, ConstructorsDistinguishCountFromValue)
{
    EXPECT_EQ(CStdVector(4).GetData(), (std::vector<double>{0, 0, 0, 0}));
    EXPECT_EQ(CStdVector(std::size_t{2}).GetSize(), 2u);
    EXPECT_EQ(CStdVector(0).GetSize(), 0u);
    EXPECT_EQ(CStdVector(-3).GetSize(), 0u);
    // A double is a value repeated three times, not a count.
    EXPECT_EQ(CStdVector(2.5).GetData(), (std::vector<double>{2.5, 2.5, 2.5}));
    EXPECT_EQ(CStdVector({1.0, 2.0}).GetData(), (std::vector<double>{1, 2}));
    const std::array<double, 3> raw{7, 8, 9};
    EXPECT_EQ(CStdVector(std::span<const double>(raw)).GetData(), (std::vector<double>{7, 8, 9}));
    EXPECT_EQ(CStdVector().GetSize(), 0u);
}

TEST(StdVectorTest, ArithmeticIsElementWise)
{
    CStdVector a{1, 2, 3};
    const CStdVector b{4, -5, 6};
    a += b;
    EXPECT_EQ(a, (CStdVector{5, -3, 9}));
    EXPECT_EQ(a - b, (CStdVector{1, 2, 3}));
    a -= b;
    EXPECT_EQ(a, (CStdVector{1, 2, 3}));
    EXPECT_EQ(b / CStdVector({2, 5, -3}), (CStdVector{2, -1, -2}));
    a *= 2.0;
    EXPECT_EQ(a, (CStdVector{2, 4, 6}));
    a /= 4.0;
    EXPECT_EQ(a, (CStdVector{0.5, 1, 1.5}));
    EXPECT_DOUBLE_EQ(CStdVector({3, 4, 12}).Norm(), 13.0);
    EXPECT_DOUBLE_EQ(Dot(CStdVector{1, 2, 3}, CStdVector{4, -5, 6}), 12.0);
    // Dot runs over the first vector; the second may be longer.
    EXPECT_DOUBLE_EQ(Dot(CStdVector{1, 2}, CStdVector{3, 4, 100}), 11.0);
}

TEST(StdVectorTest, EqualityIsExactAndSizeSensitive)
{
    EXPECT_TRUE((CStdVector{1, 2, 3} == CStdVector{1, 2, 3}));
    EXPECT_FALSE((CStdVector{1, 2, 3} == CStdVector{1, 2, 3 + 1e-15}));
    EXPECT_FALSE((CStdVector{1, 2} == CStdVector{1, 2, 0}));
    EXPECT_FALSE((CStdVector{kNaN} == CStdVector{kNaN}));
}

// Different sizes are a caller error: an assertion in debug builds, and in
// release builds an operation over the common leading elements.
TEST(StdVectorDeathTest, SizeMismatchAssertsInDebugAndStaysInBoundsInRelease)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    CStdVector a{1, 2, 3};
    const CStdVector shortVector{10};
    CStdVector difference;
    CStdVector quotient;
    [[maybe_unused]] double dot = 0.0;
    EXPECT_DEBUG_DEATH(a += shortVector, "");
    EXPECT_DEBUG_DEATH(difference = a - shortVector, "");
    EXPECT_DEBUG_DEATH(quotient = a / shortVector, "");
    EXPECT_DEBUG_DEATH(dot = Dot(a, shortVector), "");
#ifdef NDEBUG
    EXPECT_EQ(a, (CStdVector{11, 2, 3}));
    EXPECT_EQ(difference, (CStdVector{1}));
    EXPECT_EQ(quotient, (CStdVector{1.1}));
    EXPECT_DOUBLE_EQ(dot, 110.0);
#endif
}

// --- CStdMatrix construction and products -------------------------------------

TEST(StdMatrixTest, EmptySizeRequestsGiveZeroByZero)
{
    const std::vector<double> data{1, 2, 3};
    const std::vector<CStdMatrix> cases{
        CStdMatrix(0, 3),       CStdMatrix(3, 0),         CStdMatrix(0, 0), CStdMatrix(0, 3, data),
        CStdMatrix(3, 0, data), CStdMatrix(CStdVector()), CStdMatrix()};
    for (std::size_t i = 0; i < cases.size(); ++i)
    {
        SCOPED_TRACE("case " + std::to_string(i));
        EXPECT_EQ(cases[i].GetRows(), 0u);
        EXPECT_EQ(cases[i].GetCols(), 0u);
        EXPECT_TRUE(cases[i].GetData().empty());
    }
}

TEST(StdMatrixTest, ShapedConstructors)
{
    const CStdMatrix diagonal(CStdVector{2, 3, 4});
    ExpectMatrixNear(diagonal, CStdMatrix(2, 0, 0, 0, 3, 0, 0, 0, 4), 0.0);
    ExpectMatrixNear(CStdMatrix::Identity(), CStdMatrix(1, 0, 0, 0, 1, 0, 0, 0, 1), 0.0);
    EXPECT_EQ(CStdMatrix::Identity(4).GetData().size(), 16u);

    const CStdMatrix m(2, 3, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(m.GetRows(), 2u);
    EXPECT_EQ(m.GetCols(), 3u);
    EXPECT_EQ(m.GetAt(1, 0), 4.0); // row-major
    EXPECT_EQ(CStdMatrix(2, 2).GetData(), (std::vector<double>(4, 0.0)));
}

TEST(StdMatrixTest, ProductsTransposeRowsAndColumns)
{
    const CStdMatrix a(2, 3, {1, 2, 3, 4, 5, 6});
    const CStdMatrix b(3, 2, {7, 8, 9, 10, 11, 12});
    ExpectMatrixNear(a * b, CStdMatrix(2, 2, {58, 64, 139, 154}), 0.0);
    ExpectMatrixNear(a.Transpose(), CStdMatrix(3, 2, {1, 4, 2, 5, 3, 6}), 0.0);
    ExpectMatrixNear(a + a, a * 2.0, 0.0);
    ExpectMatrixNear((a * 6.0) / 3.0, a * 2.0, 0.0);

    CStdMatrix c = a;
    c *= b; // 2x3 times 3x2 becomes 2x2
    ExpectMatrixNear(c, a * b, 0.0);
    c *= 0.5;
    c /= 0.25;
    ExpectMatrixNear(c, (a * b) * 2.0, 0.0);

    EXPECT_EQ(a.MultiplyVector(CStdVector{1, 0, -1}), (CStdVector{-2, -2}));
    EXPECT_EQ(a.GetRow(1), (CStdVector{4, 5, 6}));
    EXPECT_EQ(a.GetColumn(2), (CStdVector{3, 6}));
}

TEST(StdMatrixTest, AppendColumnBuildsSampleMatrices)
{
    CStdMatrix samples;
    samples.AppendColumn(CStdVector{1, 2, 3});
    EXPECT_EQ(samples.GetRows(), 3u);
    EXPECT_EQ(samples.GetCols(), 1u);
    samples.AppendColumn(CStdVector{4, 5, 6});
    samples.AppendColumn(CStdVector{7, 8, 9});
    ExpectMatrixNear(samples, CStdMatrix(1, 4, 7, 2, 5, 8, 3, 6, 9), 0.0);
}

TEST(StdMatrixTest, SetAtAndSwapElements)
{
    CStdMatrix m(2, 2);
    m.SetAt(0, 1, 5.0);
    m.SetAt(1, 0, -1.0);
    m.SwapElements(0, 1, 1, 1);
    EXPECT_EQ(m.GetData(), (std::vector<double>{0, 0, -1, 5}));
}

TEST(StdMatrixTest, Multiply3x3ReadsTheFirstNineElementsWhateverTheShape)
{
    const CStdMatrix flat(1, 9, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    const CStdVector r = Multiply3x3(flat, CStdVector{1, 0, -1});
    EXPECT_EQ(r, (CStdVector{-2, -2, -2}));
    EXPECT_EQ(Multiply3x3(CStdMatrix::Identity(), CStdVector{3, 4, 5}), (CStdVector{3, 4, 5}));
}

TEST(StdMatrixTest, TransformAppliesA3x3MatrixToEachVector)
{
    const CStdMatrix m(0, 1, 0, 0, 0, 2, 1, 0, 0);
    std::vector<CStdVector> v{CStdVector{1, 2, 3}, CStdVector{4, 5, 6}};
    std::vector<CStdVector> out(2); // empty vectors take three elements
    m.Transform(v.data(), out.data(), v.size());
    EXPECT_EQ(out[0], (CStdVector{2, 6, 1}));
    EXPECT_EQ(out[1], (CStdVector{5, 12, 4}));

    m.Transform(v.data(), v.data(), v.size()); // in place
    EXPECT_EQ(v[0], (CStdVector{2, 6, 1}));

    // A matrix that is not 3x3 leaves the destination alone.
    std::vector<CStdVector> untouched{CStdVector{9, 9, 9}};
    CStdMatrix(2, 2, {1, 2, 3, 4}).Transform(v.data(), untouched.data(), 1);
    CStdMatrix().Transform(v.data(), untouched.data(), 1);
    EXPECT_EQ(untouched[0], (CStdVector{9, 9, 9}));
}

TEST(StdMatrixDeathTest, ShapeMismatchAssertsInDebugAndStaysInBoundsInRelease)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const CStdMatrix a(2, 2, {1, 2, 3, 4});
    const CStdMatrix b(3, 3, {1, 1, 1, 1, 1, 1, 1, 1, 1});
    CStdMatrix sum;
    CStdMatrix product;
    CStdVector mv;
    EXPECT_DEBUG_DEATH(sum = a + b, "");
    EXPECT_DEBUG_DEATH(product = a * b, "");
    EXPECT_DEBUG_DEATH(mv = a.MultiplyVector(CStdVector{1}), "");
#ifdef NDEBUG
    ExpectMatrixNear(sum, CStdMatrix(2, 2, {2, 3, 4, 5}), 0.0);
    ExpectMatrixNear(product, CStdMatrix(2, 3, {3, 3, 3, 7, 7, 7}), 0.0);
    EXPECT_EQ(mv, (CStdVector{1, 3}));
#endif
}

// --- LU decomposition and inverse ---------------------------------------------

struct InverseCase
{
    const char* name;
    std::uint32_t n;
    std::vector<double> data;
    double tolerance = 1e-12;
};

void PrintTo(const InverseCase& c, std::ostream* os)
{
    *os << c.name;
}

class StdMatrixInverseTest : public ::testing::TestWithParam<InverseCase>
{
};

// The inverse times the matrix is the identity, on both sides.
TEST_P(StdMatrixInverseTest, InverseTimesMatrixIsIdentity)
{
    const InverseCase& c = GetParam();
    const CStdMatrix m(c.n, c.n, c.data);
    CStdMatrix inverse = m;
    ASSERT_TRUE(inverse.Invert());
    ExpectMatrixNear(inverse * m, CStdMatrix::Identity(c.n), c.tolerance);
    ExpectMatrixNear(m * inverse, CStdMatrix::Identity(c.n), c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(
    Matrices, StdMatrixInverseTest,
    ::testing::Values(
        InverseCase{"Diagonal", 3, {2, 0, 0, 0, 4, 0, 0, 0, 0.5}},
        InverseCase{"General", 3, {2, -1, 0, -1, 2, -1, 0, -1, 2}},
        // Zero on the diagonal: needs row exchanges.
        InverseCase{"NeedsPivoting", 3, {0, 1, 2, 1, 0, 3, 4, -3, 8}},
        // Rows of very different magnitudes: the implicit scaling matters. The
        // products mix elements of 1e-3 and 1e3, hence the wider tolerance.
        InverseCase{"ScaledRows", 3, {1e-3, 2e-3, 1e-3, 300, 100, 200, 0.5, 0.25, 2}, 1e-10},
        // An sRGB-like RGB-to-XYZ matrix for 16-bit values.
        InverseCase{"ColourMatrix",
                    3,
                    {0.412391 / 655.35, 0.357584 / 655.35, 0.180481 / 655.35, 0.212639 / 655.35,
                     0.715169 / 655.35, 0.072192 / 655.35, 0.019331 / 655.35, 0.119195 / 655.35,
                     0.950532 / 655.35}},
        InverseCase{"FourByFour", 4, {4, 3, 2, 1, 0, 1, -1, 2, 1, 0, 3, -2, 2, 2, 0, 5}},
        InverseCase{"OneByOne", 1, {-8}}),
    [](const ::testing::TestParamInfo<InverseCase>& info) { return info.param.name; });

TEST(StdMatrixTest, InvertGivesTheKnownInverse)
{
    CStdMatrix m(2, 2, {4, 7, 2, 6});
    ASSERT_TRUE(m.Invert());
    ExpectMatrixNear(m, CStdMatrix(2, 2, {0.6, -0.7, -0.2, 0.4}), 1e-15);
    // After the inverse, the elements no longer hold the factors.
    EXPECT_FALSE(m.IsDecomposed());
    std::vector<double> b{1, 2};
    EXPECT_FALSE(m.LUBackSubstitute(b));
}

// Row 1 scaled by 1/2 ties with row 0 for the first pivot; the later row
// wins the tie ("greater than or equal"), so the rows are exchanged and the
// parity is -1. The remaining pivot is then exactly zero and is replaced.
TEST(StdMatrixTest, PivotTieGoesToTheLaterRow)
{
    CStdMatrix m(2, 2, {1, 0, 2, 0});
    EXPECT_EQ(m.LUDecompose(), -1.0);
    EXPECT_EQ(m.GetPermutation(), (std::vector<double>{1, 0}));
    ExpectMatrixNear(m, CStdMatrix(2, 2, {2, 0, 0.5, 0.00001}), 0.0);
    EXPECT_TRUE(m.IsDecomposed());
}

TEST(StdMatrixTest, ParityFollowsTheRowExchanges)
{
    CStdMatrix none = CStdMatrix::Identity(3);
    EXPECT_EQ(none.LUDecompose(), 1.0);
    CStdMatrix one(2, 2, {0, 1, 1, 0});
    EXPECT_EQ(one.LUDecompose(), -1.0);
    EXPECT_EQ(one.GetPermutation(), (std::vector<double>{1, 0}));
}

// A zero pivot (the matrix is singular but no row is all zeros) is replaced
// by 0.00001: the inverse is finite and inverts that substituted matrix.
// For {{1, 2}, {2, 4}} the rows are exchanged and the second pivot vanishes,
// so the matrix actually inverted is {{1, 2.00001}, {2, 4}}.
TEST(StdMatrixTest, ZeroPivotUsesTheSubstituteAndStaysFinite)
{
    CStdMatrix m(2, 2, {1, 2, 2, 4});
    ASSERT_TRUE(m.Invert());
    ExpectAllFinite(m);
    const CStdMatrix substituted(2, 2, {1, 2.00001, 2, 4});
    ExpectMatrixNear(substituted * m, CStdMatrix::Identity(2), 1e-6);
    ExpectMatrixNear(m, CStdMatrix(2, 2, {-200000, 100000.5, 100000, -50000}), 1e-4);

    CStdMatrix ones(3, 3, {1, 1, 1, 1, 1, 1, 1, 1, 1});
    ASSERT_TRUE(ones.Invert());
    ExpectAllFinite(ones);
}

struct SingularCase
{
    const char* name;
    CStdMatrix m;
};

// An all-zero row, a non-square or an empty matrix cannot be decomposed:
// LUDecompose gives 0, Invert fails and leaves the matrix as it was, and no
// back substitution runs on it.
TEST(StdMatrixTest, UndecomposableMatricesFailWithoutChange)
{
    const SingularCase cases[] = {
        {"ZeroRow", CStdMatrix(1, 2, 3, 0, 0, 0, 4, 5, 6)},
        {"ZeroFirstRow", CStdMatrix(2, 2, {0, 0, 1, 2})},
        {"AllZero", CStdMatrix(3, 3)},
        {"NotSquare", CStdMatrix(2, 3, {1, 2, 3, 4, 5, 6})},
        {"Empty", CStdMatrix()},
    };
    for (const SingularCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        CStdMatrix m = c.m;
        EXPECT_EQ(m.LUDecompose(), 0.0);
        EXPECT_FALSE(m.IsDecomposed());
        EXPECT_EQ(m.GetData(), c.m.GetData());
        std::vector<double> b(m.GetRows(), 1.0);
        EXPECT_FALSE(m.LUBackSubstitute(b));
        EXPECT_EQ(b, std::vector<double>(m.GetRows(), 1.0));

        CStdMatrix inverted = c.m;
        EXPECT_FALSE(inverted.Invert());
        EXPECT_EQ(inverted.GetRows(), c.m.GetRows());
        EXPECT_EQ(inverted.GetCols(), c.m.GetCols());
        EXPECT_EQ(inverted.GetData(), c.m.GetData());
        EXPECT_EQ(inverted.GetPermutation(), c.m.GetPermutation());
    }
}

// Right-hand sides with leading zeros take the shortened forward sums.
TEST(StdMatrixTest, BackSubstitutionSolvesForEveryRightHandSide)
{
    const CStdMatrix a(3, 3, {0, 2, 1, 3, -1, 2, 1, 1, 4});
    CStdMatrix lu = a;
    ASSERT_NE(lu.LUDecompose(), 0.0);
    const std::vector<std::vector<double>> rhs{{0, 0, 1}, {0, 1, 0}, {1, 0, 0}, {5, -2, 7}};
    for (const std::vector<double>& b : rhs)
    {
        std::vector<double> x = b;
        ASSERT_TRUE(lu.LUBackSubstitute(x));
        const CStdVector ax = a.MultiplyVector(CStdVector(x));
        for (std::size_t i = 0; i < b.size(); ++i)
            EXPECT_NEAR(ax[i], b[i], 1e-12);
    }
    std::vector<double> tooShort{1, 2};
    EXPECT_FALSE(lu.LUBackSubstitute(tooShort));
    std::vector<double> b{1, 2, 3};
    EXPECT_FALSE(a.LUBackSubstitute(b)); // never decomposed
}

TEST(StdMatrixTest, CopiesCarryTheDecomposition)
{
    CStdMatrix lu(2, 2, {4, 7, 2, 6});
    lu.LUDecompose();
    const CStdMatrix copy = lu;
    EXPECT_TRUE(copy.IsDecomposed());
    EXPECT_EQ(copy.GetPermutation(), lu.GetPermutation());
    std::vector<double> b{11, 8};
    ASSERT_TRUE(copy.LUBackSubstitute(b));
    EXPECT_NEAR(b[0], 1.0, 1e-12);
    EXPECT_NEAR(b[1], 1.0, 1e-12);

    CStdMatrix changed = lu;
    changed.SetAt(0, 0, 1.0);
    EXPECT_FALSE(changed.IsDecomposed());
}

// --- Least squares ---------------------------------------------------------------

namespace {

CStdMatrix RandomSamples(std::uint32_t rows, std::uint32_t count, std::mt19937& rng)
{
    std::uniform_real_distribution<double> dist(0.0, 100.0);
    CStdMatrix x;
    for (std::uint32_t k = 0; k < count; ++k)
    {
        CStdVector column(rows);
        for (std::uint32_t i = 0; i < rows; ++i)
            column[i] = dist(rng);
        x.AppendColumn(column);
    }
    return x;
}

} // namespace

TEST(PresumptionMatrixTest, RecoversAnExactRelation)
{
    std::mt19937 rng(12345);
    const CStdMatrix truth(0.9, 0.1, -0.05, 0.02, 1.1, 0.03, -0.01, 0.2, 0.8);
    for (std::uint32_t count : {3u, 4u, 24u})
    {
        SCOPED_TRACE(count);
        const CStdMatrix X = RandomSamples(3, count, rng);
        CPresumptionMatrix m;
        ASSERT_TRUE(m.Presume(X, truth * X));
        ExpectMatrixNear(m, truth, 1e-9);
    }

    // Y = X gives the identity.
    const CStdMatrix X(1, 0, 0, 0, 1, 0, 0, 0, 1);
    CPresumptionMatrix identity;
    ASSERT_TRUE(identity.Presume(X, X));
    ExpectMatrixNear(identity, CStdMatrix::Identity(), 1e-12);
}

// With noise the result is the least-squares fit: the residual M X - Y is
// orthogonal to every row of X (the normal equations).
TEST(PresumptionMatrixTest, NoisySamplesSatisfyTheNormalEquations)
{
    std::mt19937 rng(777);
    const CStdMatrix X = RandomSamples(3, 30, rng);
    CStdMatrix Y = CStdMatrix(1, 0.2, 0, 0.1, 1, 0, 0, 0.3, 1) * X;
    std::normal_distribution<double> noise(0.0, 2.0);
    for (std::uint32_t r = 0; r < Y.GetRows(); ++r)
        for (std::uint32_t c = 0; c < Y.GetCols(); ++c)
            Y.SetAt(r, c, Y.GetAt(r, c) + noise(rng));

    CPresumptionMatrix m;
    ASSERT_TRUE(m.Presume(X, Y));
    EXPECT_EQ(m.GetRows(), 3u);
    EXPECT_EQ(m.GetCols(), 3u);
    const CStdMatrix residual = m * X + Y * -1.0;
    ExpectMatrixNear(residual * X.Transpose(), CStdMatrix(3, 3), 1e-6);
}

TEST(PresumptionMatrixTest, ShapeOfTheResultFollowsYAndX)
{
    // Two outputs from three inputs.
    std::mt19937 rng(1);
    const CStdMatrix X = RandomSamples(3, 5, rng);
    const CStdMatrix truth(2, 3, {1, 2, 3, 4, 5, 6});
    CPresumptionMatrix m;
    ASSERT_TRUE(m.Presume(X, truth * X));
    ExpectMatrixNear(m, truth, 1e-9);
}

TEST(PresumptionMatrixTest, RefusesUnusableSamplesAndKeepsTheMatrix)
{
    CPresumptionMatrix m(2, 2, {1, 2, 3, 4});
    const CStdMatrix before = m;
    // A zero input row makes X Xt singular.
    const CStdMatrix zeroRow(3, 3, {1, 2, 3, 0, 0, 0, 4, 5, 7});
    EXPECT_FALSE(m.Presume(zeroRow, zeroRow));
    // Column counts differ.
    EXPECT_FALSE(m.Presume(CStdMatrix::Identity(3), CStdMatrix(3, 2)));
    EXPECT_FALSE(m.Presume(CStdMatrix(), CStdMatrix()));
    EXPECT_EQ(m.GetData(), before.GetData());
}

// --- CRGBMatrix --------------------------------------------------------------

TEST(RGBMatrixTest, DefaultIsTheIdentityAndAssignmentCopies)
{
    const CRGBMatrix id;
    RGB16 px{1, 2, 65535};
    RGB16 out{};
    id.ConvertPixel(out, px);
    EXPECT_EQ(out.r, 1);
    EXPECT_EQ(out.g, 2);
    EXPECT_EQ(out.b, 65535);

    const CStdMatrix m(1, 2, 3, 4, 5, 6, 7, 8, 9);
    CRGBMatrix rgb(m);
    EXPECT_EQ(rgb.GetData(), m.GetData());
    rgb = CStdMatrix::Identity() * 2.0;
    EXPECT_EQ(rgb.GetAt(2, 2), 2.0);
    EXPECT_DOUBLE_EQ(CRGBMatrix(m).GetX(1, 10, 100), 321.0);
    EXPECT_DOUBLE_EQ(CRGBMatrix(m).GetY(1, 10, 100), 654.0);
    EXPECT_DOUBLE_EQ(CRGBMatrix(m).GetZ(1, 10, 100), 987.0);
}

// Each output channel is clamped to 0..65535 and truncated; NaN gives 0.
TEST(RGBMatrixTest, ConvertPixelClampsAndTruncates)
{
    struct Case
    {
        double coefficient; // of the red input (1000) for the red output
        std::uint16_t expected;
    };
    const Case cases[] = {
        {-0.005, 0}, {70.0, 65535},   {kNaN, 0},    {kInf, 65535},
        {-kInf, 0},  {65.535, 65535}, {0.0129, 12}, {0.0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.coefficient);
        const CRGBMatrix m(CStdMatrix(c.coefficient, 0, 0, 0, 1, 0, 0, 0, 1));
        RGB16 out{};
        m.ConvertPixel(out, RGB16{1000, 2, 3});
        EXPECT_EQ(out.r, c.expected);
        EXPECT_EQ(out.g, 2);
        EXPECT_EQ(out.b, 3);
        m.XYZToPixel(out, CStdVector{1000, 2, 3});
        EXPECT_EQ(out.r, c.expected);
    }
}

TEST(RGBMatrixTest, LineConversionsAgreeWithPixelConversions)
{
    const CRGBMatrix m(CStdMatrix(0.5, 0.25, 0.25, -0.2, 1.3, -0.1, 0.01, 0.02, 1.2));
    std::vector<RGB16> line;
    for (std::uint16_t v = 0; v < 60000; v += 997)
        line.push_back(
            RGB16{v, static_cast<std::uint16_t>(65535 - v), static_cast<std::uint16_t>(v / 2)});

    std::vector<RGB16> converted(line.size());
    m.ConvertLine(converted.data(), line.data(), line.size());
    std::vector<CCIEXYZ> xyz(line.size());
    m.LineToXYZ(line.size(), line.data(), xyz.data());
    std::vector<CStdVector> xyzVectors(line.size()); // empty vectors take three elements
    m.LineToXYZ(line.size(), line.data(), xyzVectors.data());
    std::vector<double> Y(line.size());
    m.LineToY(Y.data(), line.data(), line.size());
    std::vector<RGB16> back(line.size());
    m.XYZLineToPixels(xyz.size(), back.data(), xyz.data());
    std::vector<RGB16> backFromVectors(line.size());
    m.XYZLineToPixels(xyzVectors.size(), backFromVectors.data(), xyzVectors.data());

    for (std::size_t k = 0; k < line.size(); ++k)
    {
        SCOPED_TRACE(k);
        const RGB16& px = line[k];
        RGB16 one{};
        m.ConvertPixel(one, px);
        EXPECT_EQ(converted[k].r, one.r);
        EXPECT_EQ(converted[k].g, one.g);
        EXPECT_EQ(converted[k].b, one.b);

        CCIEXYZ single;
        m.PixelToXYZ(single, px);
        EXPECT_EQ(xyz[k], single);
        EXPECT_EQ(xyzVectors[k], single);
        EXPECT_DOUBLE_EQ(single[0], m.GetX(px.r, px.g, px.b));
        EXPECT_DOUBLE_EQ(single[1], m.GetY(px.r, px.g, px.b));
        EXPECT_DOUBLE_EQ(single[2], m.GetZ(px.r, px.g, px.b));
        EXPECT_EQ(Y[k], single[1]);

        // XYZLineToPixels applies the matrix to the values it is given (here
        // the matrix output itself), with clamping.
        RGB16 expected{};
        m.XYZToPixel(expected, single);
        EXPECT_EQ(back[k].r, expected.r);
        EXPECT_EQ(back[k].g, expected.g);
        EXPECT_EQ(back[k].b, expected.b);
        EXPECT_EQ(backFromVectors[k].r, expected.r);
    }

    // In place.
    std::vector<RGB16> inPlace = line;
    m.ConvertLine(inPlace.data(), inPlace.data(), inPlace.size());
    for (std::size_t k = 0; k < line.size(); ++k)
    {
        EXPECT_EQ(inPlace[k].r, converted[k].r);
        EXPECT_EQ(inPlace[k].g, converted[k].g);
        EXPECT_EQ(inPlace[k].b, converted[k].b);
    }
}

// RGB -> XYZ -> RGB through a matrix and its inverse gives the pixel back
// within one unit of truncation.
TEST(RGBMatrixTest, MatrixAndInverseRoundTripPixels)
{
    const CRGBMatrix toXYZ(CStdMatrix(0.412391, 0.357584, 0.180481, 0.212639, 0.715169, 0.072192,
                                      0.019331, 0.119195, 0.950532) /
                           655.35);
    CRGBMatrix toRGB = toXYZ;
    ASSERT_TRUE(toRGB.Invert());
    const RGB16 pixels[] = {{0, 0, 0}, {65535, 65535, 65535}, {65535, 0, 0}, {123, 45678, 9000}};
    for (const RGB16& px : pixels)
    {
        CCIEXYZ xyz;
        toXYZ.PixelToXYZ(xyz, px);
        RGB16 back{};
        toRGB.XYZToPixel(back, xyz);
        EXPECT_NEAR(back.r, px.r, 1);
        EXPECT_NEAR(back.g, px.g, 1);
        EXPECT_NEAR(back.b, px.b, 1);
    }
    // The white of this matrix has Y = 100.
    CCIEXYZ white;
    toXYZ.PixelToXYZ(white, RGB16{65535, 65535, 65535});
    EXPECT_NEAR(white[1], 100.0, 1e-4);
}

// Inside means every channel strictly between -256 and 65791.
TEST(RGBMatrixTest, IsInGamutBoundaries)
{
    struct Case
    {
        double channel;
        bool inside;
    };
    const Case cases[] = {
        {-255.0, true},   {65790.0, true},  {0.0, true},       {32768.0, true}, {-256.0, false},
        {65791.0, false}, {-255.999, true}, {65790.999, true}, {kNaN, false},   {kInf, false},
    };
    const CRGBMatrix identity;
    for (const Case& c : cases)
    {
        for (int channel = 0; channel < 3; ++channel)
        {
            SCOPED_TRACE(::testing::Message() << c.channel << " in channel " << channel);
            CCIEXYZ xyz(100.0, 100.0, 100.0);
            xyz[channel] = c.channel;
            bool inside = !c.inside;
            EXPECT_EQ(identity.IsInGamut(xyz, &inside), c.inside);
            EXPECT_EQ(inside, c.inside);
        }
    }
}

// A colour matrix given another shape (it may be assigned from any matrix)
// converts as the identity instead of reading out of bounds.
TEST(RGBMatrixTest, NonSquareShapeActsAsIdentity)
{
    const CRGBMatrix empty{CStdMatrix()};
    EXPECT_EQ(empty.GetRows(), 0u);
    RGB16 out{};
    empty.ConvertPixel(out, RGB16{10, 20, 30});
    EXPECT_EQ(out.r, 10);
    EXPECT_EQ(out.g, 20);
    EXPECT_EQ(out.b, 30);
    CCIEXYZ xyz;
    CRGBMatrix(CStdMatrix(2, 2, {5, 5, 5, 5})).PixelToXYZ(xyz, RGB16{1, 2, 3});
    EXPECT_EQ(xyz, (CStdVector{1, 2, 3}));
}
