#include "platform/Folders.h"

#include "platform/FileReplace.h"
#include "platform/Text.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <pwd.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

std::string WithSlash(std::string path)
{
    if (path.empty() || path.back() != '/')
        path.push_back('/');
    return path;
}

std::string WithoutSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool IsFolder(const std::string& path)
{
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// An XDG_* variable counts only when it holds an absolute path; a relative
// one is to be ignored as if unset.
std::string XdgFolder(const char* variable, const char* fallbackUnderHome)
{
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/')
        return WithSlash(value);
    return HomeFolder() + fallbackUnderHome;
}

std::mutex& NameMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::string& NameStorage()
{
    static std::string name;
    return name;
}

// Space and tab at either end, and at the end also the CR of a CR LF line.
std::string_view TrimLine(std::string_view text)
{
    return TrimTrailingBlanks(TrimLeadingBlanks(text), " \t\r");
}

// One line of user-dirs.dirs: XDG_<NAME>_DIR="<value>", where the value is
// "$HOME" optionally followed by "/..." or an absolute path, with '\'
// escaping the next character. Returns false for any other line.
bool ParseUserDirLine(std::string_view line, std::string_view* name, std::string* path)
{
    line = TrimLine(line);
    if (line.empty() || line.front() == '#')
        return false;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return false;
    const std::string_view key = TrimLine(line.substr(0, equals));
    std::string_view value = TrimLine(line.substr(equals + 1));
    if (key.size() < 9 || !key.starts_with("XDG_") || !key.ends_with("_DIR"))
        return false;
    if (value.size() < 2 || value.front() != '"')
        return false;
    value.remove_prefix(1);

    std::string raw;
    bool closed = false;
    for (std::size_t i = 0; i < value.size(); ++i)
    {
        char c = value[i];
        if (c == '\\' && i + 1 < value.size())
            c = value[++i];
        else if (c == '"')
        {
            closed = true;
            break;
        }
        raw.push_back(c);
    }
    if (!closed)
        return false;

    constexpr std::string_view kHome = "$HOME";
    if (raw.starts_with(kHome) && (raw.size() == kHome.size() || raw[kHome.size()] == '/'))
        *path = WithoutSlashes(HomeFolder()) + raw.substr(kHome.size());
    else if (!raw.empty() && raw.front() == '/')
        *path = raw;
    else
        return false;
    *name = key.substr(4, key.size() - 8);
    return true;
}

const char* UserDirName(UserDir which)
{
    switch (which)
    {
    case UserDir::Desktop:
        return "DESKTOP";
    case UserDir::Documents:
        return "DOCUMENTS";
    case UserDir::Pictures:
        return "PICTURES";
    }
    return "";
}

} // namespace

std::string ApplicationName()
{
    {
        std::lock_guard lock(NameMutex());
        if (!NameStorage().empty())
            return NameStorage();
    }
    // The file title: the executable's name without its extension.
    const std::string path = ExecutablePath();
    std::string title = path.substr(path.rfind('/') + 1);
    const std::size_t dot = title.rfind('.');
    if (dot != std::string::npos && dot > 0)
        title.resize(dot);
    return title;
}

void SetApplicationName(const std::string& name)
{
    std::lock_guard lock(NameMutex());
    NameStorage() = name;
}

std::string ConfigHome()
{
    return XdgFolder("XDG_CONFIG_HOME", ".config/");
}

std::string CacheHome()
{
    return XdgFolder("XDG_CACHE_HOME", ".cache/");
}

std::string DataHome()
{
    return XdgFolder("XDG_DATA_HOME", ".local/share/");
}

std::string RuntimeHome()
{
    const char* value = std::getenv("XDG_RUNTIME_DIR");
    if (value == nullptr || value[0] != '/' || !IsFolder(value))
        return {};
    return WithSlash(value);
}

unsigned long CurrentUserId()
{
    return static_cast<unsigned long>(::getuid());
}

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
        return WithSlash(home);

    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct passwd entry{};
    struct passwd* found = nullptr;
    int result;
    while ((result = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found)) ==
               ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (result == 0 && found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] != '\0')
        return WithSlash(found->pw_dir);
    // No home anywhere (a stripped-down service account): the root folder
    // at least is absolute, so nothing lands relative to the working folder.
    return "/";
}

std::string UserDirectory(UserDir which)
{
    std::string text;
    if (!ReadFileContents(ConfigHome() + "user-dirs.dirs", &text))
        return {};
    const std::string_view wanted = UserDirName(which);

    // As when the shell sources the file, the last assignment wins.
    std::string chosen;
    std::string_view rest = text;
    while (!rest.empty())
    {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        std::string_view name;
        std::string path;
        if (ParseUserDirLine(line, &name, &path) && name == wanted)
            chosen = std::move(path);
    }
    if (chosen.empty())
        return {};
    // xdg-user-dirs writes "$HOME" for a directory the user switched off.
    if (WithoutSlashes(chosen) == WithoutSlashes(HomeFolder()))
        return {};
    if (!IsFolder(chosen))
        return {};
    return WithSlash(std::move(chosen));
}

std::string ExecutablePath()
{
    std::vector<char> buffer(4096);
    for (;;)
    {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<std::size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}

std::string ExecutableFolder()
{
    const std::string path = ExecutablePath();
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return "./";
    return path.substr(0, slash + 1);
}

std::string ProgramDataFolder()
{
    const std::filesystem::path joined =
        std::filesystem::path(ExecutableFolder() + "../share/chromivel/").lexically_normal();
    return WithSlash(joined.string());
}

bool EnsureFolder(const std::string& path)
{
    if (path.empty())
        return false;
    if (IsFolder(path))
        return true;
    // Create each missing level from the top down; another process may
    // create the same level at the same moment, which is as good.
    std::size_t pos = 0;
    while (pos != std::string::npos)
    {
        pos = path.find('/', pos + 1);
        const std::string level = path.substr(0, pos);
        if (level.empty() || level.back() == '/')
            continue;
        if (::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return IsFolder(path);
}

} // namespace platform
