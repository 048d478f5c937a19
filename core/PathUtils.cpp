#include "core/PathUtils.h"

#include "platform/Folders.h"

namespace {

constexpr char kSeparator = '/';

// Offset where the file name starts (just after the last '/'). UTF-8 never
// uses the byte '/' inside a multibyte character, so a byte search is safe.
std::size_t FileNameStart(std::string_view path)
{
    const std::size_t slash = path.rfind(kSeparator);
    return slash == std::string_view::npos ? 0 : slash + 1;
}

// Offset of the extension's dot within the file name, npos when there is
// none. A leading dot marks a hidden file, not an extension.
std::size_t ExtensionDot(std::string_view name)
{
    if (name == "." || name == "..")
        return std::string_view::npos;
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return std::string_view::npos;
    return dot;
}

// <base>/Quillbrake/<application name>/, each level created when missing.
std::string MakeAppFolder(const std::string& base)
{
    const std::string folder = AddBackslash(AddBackslash(base) + GetMakerName()) +
                               platform::ApplicationName() + kSeparator;
    platform::EnsureFolder(folder);
    return folder;
}

bool UserDirectoryFolder(platform::UserDir which, std::string& out)
{
    const std::string folder = platform::UserDirectory(which);
    if (folder.empty())
        return false;
    out = AddBackslash(folder);
    return true;
}

} // namespace

std::string GetFolderFromPath(std::string_view path)
{
    return AddBackslash(path.substr(0, FileNameStart(path)));
}

std::string GetFileNameFromPath(std::string_view path)
{
    return std::string(path.substr(FileNameStart(path)));
}

std::string GetFileTitleFromPath(std::string_view path)
{
    const std::string_view name = path.substr(FileNameStart(path));
    return std::string(name.substr(0, ExtensionDot(name)));
}

std::string GetFileExtFromPath(std::string_view path)
{
    const std::string_view name = path.substr(FileNameStart(path));
    const std::size_t dot = ExtensionDot(name);
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string GetModuleFilePath()
{
    return platform::ExecutablePath();
}

std::string GetModuleFolder()
{
    return AddBackslash(platform::ExecutableFolder());
}

std::string GetModuleTitle()
{
    return GetFileTitleFromPath(GetModuleFilePath());
}

std::string GetMakerName()
{
    return platform::kMakerName;
}

// Without a configuration home (no usable $XDG_CONFIG_HOME nor home
// folder) the settings go beside the program, as they always did when the
// per-user folder was unavailable.
std::string GetUserDataFolder()
{
    std::string base;
    if (!GetAppDataFolder(base))
        base = GetModuleFolder();
    return MakeAppFolder(base);
}

// The work folder is per user and private; the program folder stands in
// when there is no cache home, so work files never land in the shared /tmp.
std::string GetAppTempFolder()
{
    std::string base = platform::CacheHome();
    if (base.empty())
        base = GetModuleFolder();
    return MakeAppFolder(base);
}

std::string GetIniFilePath()
{
    return GetUserDataFolder() + GetModuleTitle() + ".ini";
}

bool GetDesktopFolder(std::string& out)
{
    return UserDirectoryFolder(platform::UserDir::Desktop, out);
}

bool GetAppDataFolder(std::string& out)
{
    const std::string folder = platform::ConfigHome();
    if (folder.empty())
        return false;
    out = AddBackslash(folder);
    return true;
}

bool GetMyDocumentsFolder(std::string& out)
{
    return UserDirectoryFolder(platform::UserDir::Documents, out);
}

bool GetMyPicturesFolder(std::string& out)
{
    return UserDirectoryFolder(platform::UserDir::Pictures, out);
}

std::string GetDocumentsFolder()
{
    std::string folder;
    if (GetMyDocumentsFolder(folder) || GetDesktopFolder(folder))
        return folder;
    return AddBackslash(platform::HomeFolder());
}

std::string GetPicturesFolder()
{
    std::string folder;
    if (GetMyPicturesFolder(folder))
        return folder;
    return GetDocumentsFolder();
}

std::string AddBackslash(std::string_view path)
{
    std::string result(path);
    if (!result.empty() && result.back() != kSeparator)
        result += kSeparator;
    return result;
}

std::string RemoveBackslash(std::string_view path)
{
    if (path.size() > 1 && path.back() == kSeparator)
        path.remove_suffix(1);
    return std::string(path);
}
