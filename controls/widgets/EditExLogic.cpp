#include "controls/widgets/EditExLogic.h"

#include "platform/Numbers.h"

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
    // The program's one reader of numbers in text; a NaN ("nan") is no
    // number a field can hold.
    const double value = platform::ParseDouble(text);
    return std::isnan(value) ? 0.0 : value;
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
        // Zero is shown without a sign, also a small negative value that
        // prints as zero ("-0.001" with two decimals is "0.00").
        std::string shown = FormatReal(value, limits.decimals);
        if (!shown.empty() && shown.front() == '-' &&
            shown.find_first_of("123456789") == std::string::npos)
            shown.erase(0, 1);
        return shown;
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
