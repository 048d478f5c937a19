#include "controls/EditExLogic.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Skips leading blanks and returns the index of the first other character.
std::size_t SkipBlanks(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    return i;
}

} // namespace

std::int64_t ParseLeadingInteger(std::string_view text)
{
    std::size_t i = SkipBlanks(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate towards the sign's side, so that the most negative value
    // is reached without overflow, and stop at the end of the range.
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i)
    {
        const int digit = text[i] - '0';
        if (negative)
        {
            if (value < (kMin + digit) / 10)
                return kMin;
            value = value * 10 - digit;
        }
        else
        {
            if (value > (kMax - digit) / 10)
                return kMax;
            value = value * 10 + digit;
        }
    }
    return value;
}

double ParseLeadingReal(std::string_view text)
{
    std::size_t i = SkipBlanks(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    {
        negative = text[i] == '-';
        ++i;
    }
    // from_chars takes no '+', so the number proper starts after the sign.
    const std::size_t numberStart = i;
    std::size_t digits = 0;
    while (i < text.size() && IsDigit(text[i]))
        ++i, ++digits;
    if (i < text.size() && text[i] == '.')
    {
        ++i;
        while (i < text.size() && IsDigit(text[i]))
            ++i, ++digits;
    }
    if (digits == 0)
    {
        // strtod's infinity, so that an infinite value written by the
        // program clamps to the end of the range it lies beyond.
        const bool infinite = i == numberStart && text.size() - i >= 3 &&
                              (text[i] == 'i' || text[i] == 'I') &&
                              (text[i + 1] == 'n' || text[i + 1] == 'N') &&
                              (text[i + 2] == 'f' || text[i + 2] == 'F');
        if (!infinite)
            return 0.0;
        return negative ? -std::numeric_limits<double>::infinity()
                        : std::numeric_limits<double>::infinity();
    }
    // An exponent counts only with at least one digit after 'e' and its sign.
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E'))
    {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (j < text.size() && IsDigit(text[j]))
        {
            while (j < text.size() && IsDigit(text[j]))
                ++j;
            i = j;
        }
    }
    double value = 0.0;
    const char* first = text.data() + numberStart;
    const char* last = text.data() + i;
    const auto error = std::from_chars(first, last, value, std::chars_format::general).ec;
    if (error == std::errc::result_out_of_range)
    {
        // strtod's answer: an infinity for a magnitude too large, 0 for one
        // too small. The exponent's sign tells which.
        const std::string_view number(first, static_cast<std::size_t>(last - first));
        const std::size_t e = number.find_first_of("eE");
        const bool tiny =
            e != std::string_view::npos && e + 1 < number.size() && number[e + 1] == '-';
        value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    }
    else if (error != std::errc())
        return 0.0;
    return negative ? -value : value;
}

int SaturateToInt(std::int64_t value)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

int EffectiveDecimals(int decimals)
{
    return std::clamp(decimals, 0, 15);
}

std::string FormatReal(double value, int decimals)
{
    // The largest double has 309 integer digits; with a sign, the point and
    // 15 decimals the text fits comfortably.
    std::array<char, 400> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                            std::chars_format::fixed, EffectiveDecimals(decimals));
    if (error != std::errc())
        return {};
    return std::string(buffer.data(), end);
}

std::string ValidatedEditText(EditMode mode, std::string_view text, const EditExLimits& limits)
{
    switch (mode)
    {
    case EditMode::Real:
    {
        double value = ParseLeadingReal(text);
        if (value < limits.realMin)
            value = limits.realMin;
        if (value > limits.realMax)
            value = limits.realMax;
        // A typed "-0" is zero: shown without its sign.
        if (value == 0.0)
            value = 0.0;
        return FormatReal(value, limits.decimals);
    }
    case EditMode::Integer:
    {
        int value = SaturateToInt(ParseLeadingInteger(text));
        if (value < limits.intMin)
            value = limits.intMin;
        if (value > limits.intMax)
            value = limits.intMax;
        return std::to_string(value);
    }
    default:
        return std::string(text);
    }
}

bool EditExTakesChar(EditMode mode, char32_t ch, bool textStartsWithMinus, int selStart, int selEnd,
                     std::u32string_view excluded)
{
    switch (mode)
    {
    case EditMode::Integer:
    case EditMode::Real:
        if (ch >= U'0' && ch <= U'9')
            return !(textStartsWithMinus && selEnd == 0);
        if (ch == 8)
            return true;
        if (ch == U'.')
            return mode == EditMode::Real;
        if (ch == U'-')
        {
            if (selStart != 0)
                return false;
            if (selEnd != selStart)
                return true;
            return !textStartsWithMinus;
        }
        return false;
    case EditMode::CharFilter:
        return excluded.find(ch) == std::u32string_view::npos;
    default:
        return false;
    }
}

bool EditExTakesPaste(std::u32string_view text, std::u32string_view excluded)
{
    return std::none_of(excluded.begin(), excluded.end(),
                        [text](char32_t c) { return text.find(c) != std::u32string_view::npos; });
}
