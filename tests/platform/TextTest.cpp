// Text helpers: trimming with the caller's blanks, ASCII-only case folding,
// hexadecimal digits, and UTF-16 (either byte order) to UTF-8 with its
// handling of surrogates.

#include "platform/Text.h"

#include "tests/support/PeBuilder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using namespace platform;
using testsupport::Bytes;
using testsupport::Utf16Z;

namespace {

TEST(TextTrim, EachBlankSetTrimsOnlyItsOwnCharacters)
{
    struct Case
    {
        std::string_view text;
        std::string_view blanks;
        std::string_view leading;  // TrimLeadingBlanks
        std::string_view trailing; // TrimTrailingBlanks
        std::string_view both;     // TrimBlanks
    };
    const Case cases[] = {
        {" \ta b\t ", kBlanks, "a b\t ", " \ta b", "a b"},
        {"", kBlanks, "", "", ""},
        {" \t \t", kBlanks, "", "", ""},
        {"key\r", kBlanks, "key\r", "key\r", "key\r"}, // a CR is not a blank by default
        {"\r key \r", " \t\r", "key \r", "\r key", "key"},
        {"\n\v\f 12 \r\n", kCSpace, "12 \r\n", "\n\v\f 12", "12"},
        {std::string_view("\0a\0", 3), kCSpace, std::string_view("\0a\0", 3),
         std::string_view("\0a\0", 3), std::string_view("\0a\0", 3)},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << '"' << c.text << '"');
        EXPECT_EQ(TrimLeadingBlanks(c.text, c.blanks), c.leading);
        EXPECT_EQ(TrimTrailingBlanks(c.text, c.blanks), c.trailing);
        EXPECT_EQ(TrimBlanks(c.text, c.blanks), c.both);
    }
    EXPECT_EQ(TrimBlanks("\t x \t"), "x");
}

TEST(TextCase, OnlyAsciiLettersFold)
{
    struct Case
    {
        std::string_view a;
        std::string_view b;
        bool equal;      // EqualsNoCase(a, b)
        bool startsWith; // StartsWithNoCase(a, b)
    };
    const Case cases[] = {
        {"Monitor1", "monitor1", true, true},
        {"MONITOR", "monitor", true, true},
        {"Monitor12", "MONITOR", false, true},
        {"Mon", "Monitor", false, false}, // the prefix is longer than the text
        {"", "", true, true},
        {"abc", "", false, true},
        {"\xC9t\xC9", "\xE9t\xE9", false, false}, // Latin-1 letters are not folded
        {"[", "{", false, false},                 // 'Z' + 1 and 'z' + 1
        {"@", "`", false, false},                 // 'A' - 1 and 'a' - 1
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << '"' << c.a << "\" / \"" << c.b << '"');
        EXPECT_EQ(EqualsNoCase(c.a, c.b), c.equal);
        EXPECT_EQ(EqualsNoCase(c.b, c.a), c.equal);
        EXPECT_EQ(StartsWithNoCase(c.a, c.b), c.startsWith);
    }
    EXPECT_EQ(ToLowerAscii("Dword:AbZ\xC9[@"), "dword:abz\xC9[@");
}

TEST(TextHex, DigitValuesOfEveryByte)
{
    for (int i = 0; i < 256; ++i)
    {
        const char c = static_cast<char>(i);
        int expected = -1;
        if (i >= '0' && i <= '9')
            expected = i - '0';
        else if (i >= 'a' && i <= 'f')
            expected = i - 'a' + 10;
        else if (i >= 'A' && i <= 'F')
            expected = i - 'A' + 10;
        EXPECT_EQ(HexDigitValue(c), expected) << "byte " << i;
    }
}

TEST(TextUtf8, EncodesEveryLengthAtItsBoundaries)
{
    struct Case
    {
        std::uint32_t codepoint;
        std::string utf8;
    };
    const Case cases[] = {
        {0x00, std::string(1, '\0')},
        {0x7F, "\x7F"},
        {0x80, "\xC2\x80"},
        {0x7FF, "\xDF\xBF"},
        {0x800, "\xE0\xA0\x80"},
        {0xFFFD, "\xEF\xBF\xBD"},
        {0xFFFF, "\xEF\xBF\xBF"},
        {0x10000, "\xF0\x90\x80\x80"},
        {0x1D11E, "\xF0\x9D\x84\x9E"},
        {0x10FFFF, "\xF4\x8F\xBF\xBF"},
    };
    for (const Case& c : cases)
    {
        std::string out = "x";
        AppendUtf8(out, c.codepoint);
        EXPECT_EQ(out, "x" + c.utf8) << std::hex << c.codepoint;
    }
}

// The same units in both byte orders give the same text; a broken surrogate
// is replaced and reported.
TEST(TextUtf16, ConvertsPairsAndReplacesBrokenSurrogates)
{
    struct Case
    {
        Bytes utf16le;
        std::string utf8;
        bool wellFormed;
    };
    const std::string bad = "\xEF\xBF\xBD"; // U+FFFD
    const Case cases[] = {
        {Utf16Z("abc"), "abc", true},
        {Utf16Z("é日本"), "é日本", true},
        {Utf16Z("𝄞x"), "𝄞x", true},                   // a surrogate pair
        {{0x00, 0xD8, 'a', 0x00}, bad + "a", false},  // lone high surrogate
        {{0x00, 0xD8}, bad, false},                   // high surrogate at the end
        {{0x00, 0xDC}, bad, false},                   // lone low surrogate
        {{0x00, 0xDC, 0x00, 0xD8}, bad + bad, false}, // a pair in the wrong order
        {{'a', 0, 0, 0, 'b', 0}, "a", true},          // stops at the zero
        {{'a', 0, 0, 0, 0x00, 0xD8}, "a", true},      // nothing after the zero counts
        {{'a', 0, 'b'}, "a", true},                   // odd last byte ignored
        {{}, "", true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << '"' << c.utf8 << '"');
        Bytes utf16be = c.utf16le;
        for (std::size_t i = 0; i + 1 < utf16be.size(); i += 2)
            std::swap(utf16be[i], utf16be[i + 1]);

        bool wellFormed = !c.wellFormed;
        EXPECT_EQ(Utf16ToUtf8(c.utf16le, false, &wellFormed), c.utf8);
        EXPECT_EQ(wellFormed, c.wellFormed);
        wellFormed = !c.wellFormed;
        EXPECT_EQ(Utf16ToUtf8(utf16be, true, &wellFormed), c.utf8);
        EXPECT_EQ(wellFormed, c.wellFormed);
        EXPECT_EQ(Utf16ToUtf8(c.utf16le, false), c.utf8);
    }
}

// Every encoding AppendUtf8 writes is accepted; each way a byte sequence
// can be broken is refused, at the text's end as well as in its middle.
TEST(TextUtf8, ValidatesWellFormedSequencesOnly)
{
    for (const std::uint32_t cp : {0x00u, 0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xD7FFu, 0xE000u, 0xFFFDu,
                                   0xFFFFu, 0x10000u, 0x10FFFFu})
    {
        std::string text;
        AppendUtf8(text, cp);
        EXPECT_TRUE(IsValidUtf8(text)) << std::hex << cp;
        EXPECT_TRUE(IsValidUtf8("a" + text + "b")) << std::hex << cp;
    }
    struct Case
    {
        std::string bytes;
        const char* why;
    };
    const Case broken[] = {
        {"\x80", "continuation without a lead"},
        {"\xBF", "continuation without a lead"},
        {"\xC0\x80", "overlong two-byte NUL"},
        {"\xC1\xBF", "overlong two-byte form"},
        {"\xE0\x9F\xBF", "overlong three-byte form"},
        {"\xF0\x8F\xBF\xBF", "overlong four-byte form"},
        {"\xED\xA0\x80", "high surrogate"},
        {"\xED\xBF\xBF", "low surrogate"},
        {"\xF4\x90\x80\x80", "above U+10FFFF"},
        {"\xF5\x80\x80\x80", "lead byte beyond F4"},
        {"\xFF", "never a UTF-8 byte"},
        {"\xC3", "two-byte sequence cut short"},
        {"\xE3\x81", "three-byte sequence cut short"},
        {"\xF0\x9D\x84", "four-byte sequence cut short"},
        {"\xE3\x41\x81", "ASCII inside a sequence"},
        {"\xC3\xC3\xA9", "lead where a continuation belongs"},
    };
    for (const Case& c : broken)
    {
        EXPECT_FALSE(IsValidUtf8(c.bytes)) << c.why;
        EXPECT_FALSE(IsValidUtf8("ok/" + c.bytes + "/ok")) << c.why;
    }
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("/home/user/\xE5\x86\x99\xE7\x9C\x9F.tif")); // 写真
}

} // namespace
