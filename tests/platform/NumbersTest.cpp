#include "platform/Numbers.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <locale>
#include <random>
#include <string>

using namespace platform;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string Printf(double value, int precision)
{
    char buffer[2048];
    std::snprintf(buffer, sizeof buffer, "%.*f", precision, value);
    return buffer;
}

TEST(NumbersFormat, DoubleMatchesTable)
{
    struct Case
    {
        double value;
        int precision;
        const char* expected;
    };
    const Case cases[] = {
        {1.5, 6, "1.500000"},
        {0.0, 6, "0.000000"},
        {-0.0, 6, "-0.000000"},
        {-1.25, 1, "-1.2"}, // exact tie rounds to even, as printf does
        {2.5, 0, "2"},
        {3.5, 0, "4"},
        {0.1, 20, "0.10000000000000000555"},
        {1e20, 2, "100000000000000000000.00"},
        {123.456, -1, "123.456000"}, // negative precision means the default
        {kInf, 6, "inf"},
        {-kInf, 3, "-inf"},
        {kNaN, 6, "nan"},
        {-kNaN, 6, "nan"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatDouble(c.value, c.precision), c.expected)
            << "value " << c.value << " precision " << c.precision;
    EXPECT_EQ(FormatDouble(1.5), "1.500000");
}

// The tests run in the C locale, where printf is the reference.
TEST(NumbersFormat, DoubleAgreesWithPrintfOverWideRange)
{
    std::mt19937_64 random(12345);
    std::uniform_int_distribution<int> precisionOf(0, 17);
    const double extremes[] = {DBL_MAX, -DBL_MAX, DBL_MIN, DBL_TRUE_MIN, 0.5, 1e-7, 65535.0};
    for (const double value : extremes)
        for (int precision : {0, 6, 30})
            EXPECT_EQ(FormatDouble(value, precision), Printf(value, precision));
    for (int i = 0; i < 2000; ++i)
    {
        double value;
        do
        {
            const std::uint64_t bits = random();
            std::memcpy(&value, &bits, sizeof value);
        } while (!std::isfinite(value));
        const int precision = precisionOf(random);
        ASSERT_EQ(FormatDouble(value, precision), Printf(value, precision));
    }
    // Beyond the digits a double can hold only zeros follow.
    EXPECT_EQ(FormatDouble(0.5, 1200), Printf(0.5, 1200));
}

TEST(NumbersFormat, IntIsPlainDecimal)
{
    EXPECT_EQ(FormatInt(0), "0");
    EXPECT_EQ(FormatInt(-42), "-42");
    EXPECT_EQ(FormatInt(1234567), "1234567");
    EXPECT_EQ(FormatInt(LLONG_MAX), "9223372036854775807");
    EXPECT_EQ(FormatInt(LLONG_MIN), "-9223372036854775808");
}

TEST(NumbersParse, DoubleIsAtofLike)
{
    struct Case
    {
        const char* text;
        double expected;
    };
    const Case cases[] = {
        {"1.500000", 1.5},
        {" \t\n1.5xyz", 1.5},
        {"+2", 2.0},
        {"-2.5e3", -2500.0},
        {"1,5", 1.0},
        {".5", 0.5},
        {"5.", 5.0},
        {"1e", 1.0},
        {"1e+", 1.0},
        {"7E-1", 0.7},
        {"0x10", 0.0},
        {"abc", 0.0},
        {"", 0.0},
        {"   ", 0.0},
        {"--1", 0.0},
        {"+-1", 0.0},
        {"- 1", 0.0},
        {"1e400", kInf},
        {"-1e400", -kInf},
        {"0.0000001e316", kInf}, // 1e309 overflows despite the small mantissa
        {"1000000e303", kInf},
        {"1e-400", 0.0},
        {"0.0001e-321", 0.0}, // 1e-325 is below the smallest subnormal
        {"123456789e-330", 123456789e-330},
        {"inf", kInf},
        {"-Infinity", -kInf},
    };
    for (const Case& c : cases)
    {
        const double parsed = ParseDouble(c.text);
        EXPECT_EQ(parsed, c.expected) << "\"" << c.text << "\"";
        EXPECT_EQ(std::signbit(parsed), std::signbit(c.expected)) << "\"" << c.text << "\"";
    }
    EXPECT_TRUE(std::isnan(ParseDouble("nan")));
    EXPECT_EQ(ParseDouble("-0"), 0.0);
    EXPECT_TRUE(std::signbit(ParseDouble("-0")));
}

TEST(NumbersParse, DoubleRoundTripsFormattedText)
{
    for (const double value : {0.1, -123.456789, 1e-5, 65535.0, 3.0e10})
        EXPECT_DOUBLE_EQ(ParseDouble(FormatDouble(value)), std::round(value * 1e6) / 1e6);
    // 17 significant digits give the same double back.
    EXPECT_EQ(ParseDouble(FormatDouble(0.1, 17)), 0.1);
}

TEST(NumbersParse, IntIsAtoiLikeAndClamps)
{
    struct Case
    {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {"42", 42},
        {"  -17", -17},
        {"+5", 5},
        {"12abc", 12},
        {"1.9", 1},
        {"abc", 0},
        {"", 0},
        {"-", 0},
        {"- 1", 0},
        {"+-3", 0},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-2147483649", INT_MIN},
        {"99999999999999999999999", INT_MAX},
        {"-99999999999999999999999", INT_MIN},
        {"000000000000000000000042", 42},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseInt(c.text), c.expected) << "\"" << c.text << "\"";
}

TEST(NumbersParse, StrictDoubleNeedsWholeText)
{
    struct Case
    {
        const char* text;
        bool ok;
        double expected;
    };
    const Case cases[] = {
        {" 1.5 ", true, 1.5},
        {"+1", true, 1.0},
        {"-2e2", true, -200.0},
        {"inf", true, kInf},
        {"1.5x", false, 0},
        {"1,5", false, 0},
        {"", false, 0},
        {"  ", false, 0},
        {"+-1", false, 0},
        {"1 2", false, 0},
        {"1e400", false, 0},
    };
    for (const Case& c : cases)
    {
        double out = -777.0;
        EXPECT_EQ(TryParseDouble(c.text, &out), c.ok) << "\"" << c.text << "\"";
        EXPECT_EQ(out, c.ok ? c.expected : -777.0) << "\"" << c.text << "\"";
    }
}

TEST(NumbersParse, StrictIntNeedsWholeTextInRange)
{
    struct Case
    {
        const char* text;
        bool ok;
        long long expected;
    };
    const Case cases[] = {
        {"12 ", true, 12},
        {"\t-9223372036854775808", true, LLONG_MIN},
        {"9223372036854775807", true, LLONG_MAX},
        {"+7", true, 7},
        {"9223372036854775808", false, 0},
        {"-9223372036854775809", false, 0},
        {"1 2", false, 0},
        {"1.0", false, 0},
        {"+", false, 0},
        {"-", false, 0},
        {"", false, 0},
    };
    for (const Case& c : cases)
    {
        long long out = -777;
        EXPECT_EQ(TryParseInt(c.text, &out), c.ok) << "\"" << c.text << "\"";
        EXPECT_EQ(out, c.ok ? c.expected : -777) << "\"" << c.text << "\"";
    }
}

// Puts the C and C++ global locales back however the test ends.
class LocaleGuard
{
public:
    LocaleGuard() : m_cLocale(std::setlocale(LC_ALL, nullptr)), m_cppLocale(std::locale()) {}
    ~LocaleGuard()
    {
        std::locale::global(m_cppLocale);
        std::setlocale(LC_ALL, m_cLocale.c_str());
    }

private:
    std::string m_cLocale;
    std::locale m_cppLocale;
};

TEST(NumbersLocale, DecimalCommaLocaleChangesNothing)
{
    LocaleGuard guard;
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed (the test script generates it)";
    try
    {
        std::locale::global(std::locale("de_DE.UTF-8"));
    }
    catch (const std::runtime_error&)
    {
        GTEST_SKIP() << "the C++ library cannot open de_DE.UTF-8";
    }
    // The locale really writes a decimal comma, or this test proves nothing.
    ASSERT_EQ(Printf(1.5, 1), "1,5");

    EXPECT_EQ(FormatDouble(1.5), "1.500000");
    EXPECT_EQ(FormatDouble(-1234.5, 2), "-1234.50");
    EXPECT_EQ(FormatInt(1234567), "1234567");
    EXPECT_EQ(ParseDouble("1.500000"), 1.5);
    EXPECT_EQ(ParseDouble("1,5"), 1.0);
    double out = 0;
    EXPECT_TRUE(TryParseDouble("2.25", &out));
    EXPECT_EQ(out, 2.25);
    EXPECT_FALSE(TryParseDouble("2,25", &out));
}

} // namespace
