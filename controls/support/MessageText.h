#pragma once
// The text of a message box: a string-table text whose printf-style fields
// take the caller's arguments. The arguments arrive already formatted as
// text (core/MessageSink.h), so a field only marks where the next argument
// goes; its flags, width, precision and length modifier are read over and
// not applied again.
//
// - "%%" is a percent sign.
// - A field is "%", optional flags (-+ #0), width (digits or *), precision
//   (. and digits or *), length (h hh l ll L q j z t I64) and one conversion
//   letter of d i o u x X e E f F g G a A c s S p. Fields take the arguments
//   in order; a field without an argument left shows nothing.
// - A "%" that does not begin a field stays as it is.
// - Arguments left over after the last field go under the text, after a
//   blank line, one a line. Some messages (the missing file of a list, the
//   missing parameter file of a batch) show a path under a text that has no
//   field for it: the caller passes the path, and it lands there.

#include <string>
#include <string_view>
#include <vector>

std::string FormatMessageText(std::string_view text, const std::vector<std::string>& args);

// The number of fields in a text, by the rules above ("%%" is none).
int CountMessageFields(std::string_view text);

// The text shown for a number that the string table does not hold, so that
// the user still sees which message it was: "(message N)".
std::string MissingMessageText(int stringId);
