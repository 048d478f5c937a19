#pragma once
// Small text helpers shared by the readers of our ini files and of binary
// formats that carry UTF-16 text.
//
// Case is folded for ASCII letters only, whatever the process locale: keys,
// section names and file extensions in our files are ASCII, and a locale's
// tolower must not decide which key a name matches.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace platform {

// Space and tab: the blanks around ini keys, values and section names.
inline constexpr std::string_view kBlanks = " \t";
// What isspace() accepts in the C locale.
inline constexpr std::string_view kCSpace = " \t\n\v\f\r";

constexpr bool IsBlank(char c, std::string_view blanks = kBlanks)
{
    return blanks.find(c) != std::string_view::npos;
}

// The text without the given blanks at its start, its end, or both.
std::string_view TrimLeadingBlanks(std::string_view text, std::string_view blanks = kBlanks);
std::string_view TrimTrailingBlanks(std::string_view text, std::string_view blanks = kBlanks);
std::string_view TrimBlanks(std::string_view text, std::string_view blanks = kBlanks);

constexpr char ToLowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string ToLowerAscii(std::string_view text);

bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// The value of a hexadecimal digit (either case), -1 for any other character.
constexpr int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// True when the bytes are well-formed UTF-8: no stray continuation byte,
// no sequence cut short, no overlong form, no surrogate (U+D800..U+DFFF)
// and nothing above U+10FFFF. An empty text is well-formed.
bool IsValidUtf8(std::string_view text);

// Appends the UTF-8 encoding of a code point up to U+10FFFF.
void AppendUtf8(std::string& out, std::uint32_t codepoint);

// UTF-16 bytes (big- or little-endian) to UTF-8, stopping at the first zero
// unit; an odd last byte is ignored. A high surrogate followed by a low one
// is one code point; any other surrogate becomes U+FFFD and clears
// *wellFormed (when given), so that a strict reader can refuse the text
// while a lenient one shows what it can.
std::string Utf16ToUtf8(std::span<const std::uint8_t> bytes, bool bigEndian,
                        bool* wellFormed = nullptr);

} // namespace platform
