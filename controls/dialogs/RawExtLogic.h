#pragma once
// The rules of the RAW extension editor, apart from its widgets: what an
// added text becomes, and which entries may be deleted. Extensions carry
// their leading dot; comparisons ignore the case of ASCII letters only, so
// a multibyte character is never taken apart.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rawext {

// Characters that may not follow the leading dot: they would split the
// file-dialog pattern or name no file.
inline constexpr std::string_view kForbiddenCharacters = " .\\/:*?\"<>|";

// The extension a typed text adds, or nothing when it is refused: blanks
// around it are dropped, a missing leading dot is put in front, the rest
// must be non-empty, hold none of kForbiddenCharacters, and match no
// built-in or user extension.
std::optional<std::string> NormalizeNewExtension(std::string_view typed,
                                                 const std::vector<std::string>& builtins,
                                                 const std::vector<std::string>& users);

// Whether a listed entry is one of the user's (only those can be deleted).
bool IsUserExtension(std::string_view entry, const std::vector<std::string>& users);

// Removes the first user extension equal to the entry; false when none is.
bool RemoveUserExtension(std::string_view entry, std::vector<std::string>& users);

} // namespace rawext
