#include "controls/dialogs/RawExtLogic.h"

#include "platform/Text.h"

#include <algorithm>

namespace rawext {

namespace {

bool Contains(const std::vector<std::string>& list, std::string_view text)
{
    return std::any_of(list.begin(), list.end(), [&](const std::string& entry) {
        return platform::EqualsNoCase(entry, text);
    });
}

} // namespace

std::optional<std::string> NormalizeNewExtension(std::string_view typed,
                                                 const std::vector<std::string>& builtins,
                                                 const std::vector<std::string>& users)
{
    const std::string_view trimmed = platform::TrimBlanks(typed, platform::kCSpace);
    if (trimmed.empty())
        return std::nullopt;
    std::string extension;
    if (trimmed.front() != '.')
        extension = ".";
    extension += trimmed;
    const std::string_view name = std::string_view(extension).substr(1);
    if (name.empty() || name.find_first_of(kForbiddenCharacters) != std::string_view::npos)
        return std::nullopt;
    if (Contains(builtins, extension) || Contains(users, extension))
        return std::nullopt;
    return extension;
}

bool IsUserExtension(std::string_view entry, const std::vector<std::string>& users)
{
    return Contains(users, entry);
}

bool RemoveUserExtension(std::string_view entry, std::vector<std::string>& users)
{
    const auto it = std::find_if(users.begin(), users.end(), [&](const std::string& ext) {
        return platform::EqualsNoCase(ext, entry);
    });
    if (it == users.end())
        return false;
    users.erase(it);
    return true;
}

} // namespace rawext
