#pragma once
// Per-user and per-program folders (freedesktop base directories). Folder
// results end with '/'. Paths use '/'.

#include <string>

namespace platform {

// The first folder level under the per-user configuration and cache trees.
inline constexpr const char* kMakerName = "Quillbrake";

// Name of the running application, used as the last folder level of the
// per-user folders. Defaults to the executable's file title; the programs
// set their own at start-up; an empty name puts the default back. Safe to
// call from any thread.
std::string ApplicationName();
void SetApplicationName(const std::string& name);

// $XDG_CONFIG_HOME, else $HOME/.config (absolute values only: freedesktop's
// base-directory rules ignore a relative one).
std::string ConfigHome();
// $XDG_CACHE_HOME, else $HOME/.cache.
std::string CacheHome();
// $XDG_DATA_HOME, else $HOME/.local/share.
std::string DataHome();
// $HOME, else the password database's home folder.
std::string HomeFolder();
// $XDG_RUNTIME_DIR when it names an existing folder by an absolute path
// (the user's private run-time folder: sockets and locks of running
// programs); empty otherwise, and then callers choose a private folder of
// their own, never the shared /tmp.
std::string RuntimeHome();
// The real user ID of the process: it tells apart the users of one machine
// in names that several of them might share.
unsigned long CurrentUserId();

// The XDG user directories (user-dirs.dirs in ConfigHome, the way
// xdg-user-dir reads it). Empty when the directory is not configured or
// does not exist.
enum class UserDir
{
    Desktop,
    Documents,
    Pictures
};
std::string UserDirectory(UserDir which);

// Full path of the running executable (/proc/self/exe).
std::string ExecutablePath();
// Folder of the running executable.
std::string ExecutableFolder();
// Program data: <folder of the executable>/../share/chromivel/.
std::string ProgramDataFolder();

// Creates the folder and any missing parents (mode 0700 for the per-user
// trees we own). True when the folder exists afterwards.
bool EnsureFolder(const std::string& path);

} // namespace platform
