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
