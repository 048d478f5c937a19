#pragma once
// The rules of the numeric edit field CEditEx, apart from Qt: which typed
// characters it takes, how it reads a number out of its text and the
// canonical text it rewrites a value to.
//
// Numbers are read and printed in the "C" manner whatever the user's
// locale: a point, never a comma, before the decimals.

#include <cstdint>
#include <string>
#include <string_view>

// What the field takes.
enum class EditMode : int
{
    Integer = 1,   // a whole number, clamped to IntMin..IntMax
    Real = 2,      // a real number with Decimals digits, clamped to RealMin..RealMax
    CharFilter = 3 // any text but the excluded characters
    // Any other value refuses every typed character.
};

// The leading number of a text as strtol reads it in base 10: blanks, an
// optional sign, then digits. A text without one gives 0; a number beyond
// 64 bits saturates.
std::int64_t ParseLeadingInteger(std::string_view text);

// The leading number as strtod reads it (platform::ParseDouble): blanks,
// an optional sign, digits with an optional point and decimals, an
// optional exponent; or "inf". A text without one gives 0. Hexadecimal is
// not read, and "nan" gives 0, so the value is never NaN; a magnitude out
// of range gives an infinity or 0 as strtod does.
double ParseLeadingReal(std::string_view text);

// A 64-bit value brought into the range of int.
int SaturateToInt(std::int64_t value);

// The digits after the point that printing uses: Decimals held to 0..15,
// so that no format can ask for more digits than a double carries.
int EffectiveDecimals(int decimals);

// value printed as printf's "%.<decimals>f" in the "C" locale.
std::string FormatReal(double value, int decimals);

// The limits of one field.
struct EditExLimits
{
    int decimals = 0;
    double realMin = 0.0;
    double realMax = 0.0;
    int intMin = 0;
    int intMax = 0;
};

// The canonical text of text in the given mode.
//   Real:    v = leading real; v < min -> min; then v > max -> max (so with
//            min > max the result is max); printed with the decimals, a
//            zero without its sign ("-0.001" with two decimals is "0.00").
//   Integer: v = leading integer brought into int; the same clamping; "%d".
//   Others:  the text as it is.
std::string ValidatedEditText(EditMode mode, std::string_view text, const EditExLimits& limits);

// Whether the field takes a typed character ch (a code point; 8 is
// backspace) with the selection [selStart, selEnd) (equal for a caret) in
// a text whose first character is a minus sign or not.
//   Integer and Real: digits, except where they would stand before a
//   leading minus (the selection ends at 0); backspace; the point in Real
//   only (a second one too: validation cuts the text there); the minus
//   only at the start: a selection from 0 that is not empty takes it, a
//   caret at 0 takes it unless the text already begins with one.
//   CharFilter: everything but the code points of excluded.
//   Others: nothing.
bool EditExTakesChar(EditMode mode, char32_t ch, bool textStartsWithMinus, int selStart, int selEnd,
                     std::u32string_view excluded);

// Whether a paste of text is allowed in a field that excludes the given
// characters: refused when text holds any of them (always allowed when
// none are excluded).
bool EditExTakesPaste(std::u32string_view text, std::u32string_view excluded);
