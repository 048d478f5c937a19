#include "platform/Numbers.h"

#include "platform/Text.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <limits>
#include <system_error>

namespace platform {

namespace {

constexpr bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Splits an optional leading '+' or '-' off the text. from_chars accepts
// only '-', and only directly before the number, so the sign is taken here
// and the rest must start with the number itself.
bool TakeSign(std::string_view* text)
{
    if (text->empty())
        return false;
    const char c = text->front();
    if (c == '+' || c == '-')
    {
        text->remove_prefix(1);
        return c == '-';
    }
    return false;
}

// from_chars reports result_out_of_range without telling overflow from
// underflow. The decimal exponent of the first significant digit tells:
// a number beyond DBL_MAX has one near +308, a number below the smallest
// subnormal one near -324, so its sign is enough.
bool MagnitudeIsHuge(std::string_view number)
{
    long long pointShift = 0; // decimal exponent of the first significant digit
    bool seenPoint = false;
    bool seenSignificant = false;
    std::size_t i = 0;
    for (; i < number.size(); ++i)
    {
        const char c = number[i];
        if (c == '.')
        {
            seenPoint = true;
            continue;
        }
        if (!IsDigit(c))
            break;
        if (!seenSignificant)
        {
            // 0.00d is d x 10^-3: every place after the point up to and
            // including the first significant digit lowers the exponent.
            if (seenPoint)
                --pointShift;
            if (c != '0')
                seenSignificant = true;
        }
        else if (!seenPoint)
        {
            ++pointShift;
        }
    }
    // pointShift is now E of d.ddd x 10^E before the written exponent.
    long long exponent = 0;
    if (i < number.size() && (number[i] == 'e' || number[i] == 'E'))
    {
        std::string_view rest = number.substr(i + 1);
        const bool negative = TakeSign(&rest);
        for (const char c : rest)
        {
            if (!IsDigit(c))
                break;
            if (exponent < 1'000'000'000)
                exponent = exponent * 10 + (c - '0');
        }
        if (negative)
            exponent = -exponent;
    }
    return pointShift + exponent > 0;
}

// Parses the longest leading number of text (already without white space).
// Returns the characters consumed (0 when there is no number) and the value.
std::size_t ParseLeadingDouble(std::string_view text, double* value)
{
    std::string_view rest = text;
    const bool negative = TakeSign(&rest);
    if (rest.empty() || rest.front() == '-' || rest.front() == '+')
        return 0;
    const char* begin = rest.data();
    const char* end = rest.data() + rest.size();
    double parsed = 0.0;
    const auto [ptr, ec] = std::from_chars(begin, end, parsed, std::chars_format::general);
    if (ptr == begin)
        return 0;
    if (ec == std::errc::result_out_of_range)
    {
        const std::string_view number(begin, static_cast<std::size_t>(ptr - begin));
        parsed = MagnitudeIsHuge(number) ? std::numeric_limits<double>::infinity() : 0.0;
    }
    else if (ec != std::errc())
    {
        return 0;
    }
    *value = negative ? -parsed : parsed;
    return static_cast<std::size_t>(ptr - text.data());
}

// Digits of an integer with saturation: the value stops growing once it
// exceeds limit, which is enough to clamp or reject it afterwards.
struct DigitRun
{
    std::size_t length = 0;
    unsigned long long value = 0;
    bool overflow = false;
};

DigitRun ScanDigits(std::string_view text, unsigned long long limit)
{
    DigitRun run;
    while (run.length < text.size() && IsDigit(text[run.length]))
    {
        const unsigned digit = static_cast<unsigned>(text[run.length] - '0');
        if (!run.overflow)
        {
            if (run.value > (limit - digit) / 10)
                run.overflow = true;
            else
                run.value = run.value * 10 + digit;
        }
        ++run.length;
    }
    return run;
}

} // namespace

std::string FormatInt(long long value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string FormatDouble(double value, int precision)
{
    // printf takes a negative precision as if none were given.
    if (precision < 0)
        precision = 6;
    // Every double is exact with 1074 fractional digits; more only adds
    // zeros, which printf would write too.
    constexpr int kMaxExact = 1074;
    const int digits = precision < kMaxExact ? precision : kMaxExact;

    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";

    // Sign, 309 integer digits, point, fraction.
    std::string text(static_cast<std::size_t>(digits) + 320, '\0');
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value,
                                      std::chars_format::fixed, digits);
    text.resize(static_cast<std::size_t>(result.ptr - text.data()));
    if (precision > digits)
        text.append(static_cast<std::size_t>(precision - digits), '0');
    return text;
}

double ParseDouble(std::string_view text)
{
    text = TrimLeadingBlanks(text, kCSpace);
    double value = 0.0;
    if (ParseLeadingDouble(text, &value) == 0)
        return 0.0;
    return value;
}

int ParseInt(std::string_view text)
{
    text = TrimLeadingBlanks(text, kCSpace);
    const bool negative = TakeSign(&text);
    // |INT_MIN| is one more than INT_MAX.
    const unsigned long long limit =
        negative ? static_cast<unsigned long long>(INT_MAX) + 1u : INT_MAX;
    const DigitRun run = ScanDigits(text, limit);
    if (run.length == 0)
        return 0;
    if (run.overflow)
        return negative ? INT_MIN : INT_MAX;
    if (negative)
        return run.value == limit ? INT_MIN : -static_cast<int>(run.value);
    return static_cast<int>(run.value);
}

bool TryParseDouble(std::string_view text, double* out)
{
    text = TrimBlanks(text, kCSpace);
    std::string_view rest = text;
    TakeSign(&rest);
    if (rest.empty() || rest.front() == '-' || rest.front() == '+')
        return false;
    double value = 0.0;
    const auto [ptr, ec] =
        std::from_chars(rest.data(), rest.data() + rest.size(), value, std::chars_format::general);
    if (ec != std::errc() || ptr != rest.data() + rest.size())
        return false;
    *out = text.front() == '-' ? -value : value;
    return true;
}

bool TryParseInt(std::string_view text, long long* out)
{
    text = TrimBlanks(text, kCSpace);
    std::string_view rest = text;
    const bool negative = TakeSign(&rest);
    const unsigned long long limit =
        negative ? static_cast<unsigned long long>(LLONG_MAX) + 1u : LLONG_MAX;
    const DigitRun run = ScanDigits(rest, limit);
    if (run.length == 0 || run.length != rest.size() || run.overflow)
        return false;
    if (negative)
        *out = run.value == limit ? LLONG_MIN : -static_cast<long long>(run.value);
    else
        *out = static_cast<long long>(run.value);
    return true;
}

} // namespace platform
