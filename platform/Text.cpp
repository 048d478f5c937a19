#include "platform/Text.h"

namespace platform {

std::string_view TrimLeadingBlanks(std::string_view text, std::string_view blanks)
{
    while (!text.empty() && IsBlank(text.front(), blanks))
        text.remove_prefix(1);
    return text;
}

std::string_view TrimTrailingBlanks(std::string_view text, std::string_view blanks)
{
    while (!text.empty() && IsBlank(text.back(), blanks))
        text.remove_suffix(1);
    return text;
}

std::string_view TrimBlanks(std::string_view text, std::string_view blanks)
{
    return TrimTrailingBlanks(TrimLeadingBlanks(text, blanks), blanks);
}

std::string ToLowerAscii(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        c = ToLowerAscii(c);
    return lower;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        if (ToLowerAscii(a[i]) != ToLowerAscii(b[i]))
            return false;
    }
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// UTF-8: 7 bits in one byte, 11 in two (110xxxxx 10xxxxxx), 16 in three,
// 21 in four; every byte after the first carries 6 bits under 10xxxxxx.
// The well-formed byte sequences of the Unicode standard (table 3-7): the
// second byte's range depends on the lead byte, which is what shuts out
// overlong forms (E0 80..9F, F0 80..8F), surrogates (ED A0..BF) and code
// points above U+10FFFF (F4 90..BF, F5..FF); C0 and C1 only ever begin
// overlong two-byte forms.
bool IsValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n)
    {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80)
        {
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF)
            length = 2;
        else if (lead >= 0xE0 && lead <= 0xEF)
        {
            length = 3;
            if (lead == 0xE0)
                low = 0xA0;
            else if (lead == 0xED)
                high = 0x9F;
        }
        else if (lead >= 0xF0 && lead <= 0xF4)
        {
            length = 4;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        }
        else
            return false;
        if (n - i < length)
            return false;
        const auto second = static_cast<unsigned char>(text[i + 1]);
        if (second < low || second > high)
            return false;
        for (std::size_t k = 2; k < length; ++k)
        {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if (next < 0x80 || next > 0xBF)
                return false;
        }
        i += length;
    }
    return true;
}

void AppendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80)
    {
        out += static_cast<char>(cp);
    }
    else if (cp < 0x800)
    {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    else if (cp < 0x10000)
    {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    else
    {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// A code point above U+FFFF is stored as a high surrogate (D800-DBFF, its
// upper 10 bits after subtracting 10000h) followed by a low one (DC00-DFFF,
// the lower 10 bits).
std::string Utf16ToUtf8(std::span<const std::uint8_t> bytes, bool bigEndian, bool* wellFormed)
{
    constexpr std::uint32_t kReplacement = 0xFFFD;
    const auto unitAt = [bytes, bigEndian](std::size_t i) -> std::uint32_t {
        const std::uint32_t first = bytes[2 * i];
        const std::uint32_t second = bytes[2 * i + 1];
        return bigEndian ? (first << 8 | second) : (second << 8 | first);
    };
    if (wellFormed != nullptr)
        *wellFormed = true;
    std::string out;
    const std::size_t units = bytes.size() / 2;
    for (std::size_t i = 0; i < units; ++i)
    {
        const std::uint32_t unit = unitAt(i);
        if (unit == 0)
            break;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units)
        {
            const std::uint32_t low = unitAt(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF)
            {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        const bool lone = unit >= 0xD800 && unit <= 0xDFFF;
        if (lone && wellFormed != nullptr)
            *wellFormed = false;
        AppendUtf8(out, lone ? kReplacement : unit);
    }
    return out;
}

} // namespace platform
