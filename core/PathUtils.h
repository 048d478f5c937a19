#pragma once
// Path helpers and the program's folders. Paths use '/'; every folder that
// these functions return ends with '/'. The helpers keep their historical
// names: AddBackslash appends the path separator '/'.
//
// Folder layout:
// - user data folder:  $XDG_CONFIG_HOME/Quillbrake/<application name>/
//   (the main settings file, <program file title>.ini, lives there);
// - work folder:       $XDG_CACHE_HOME/Quillbrake/<application name>/
//   (temporary files and reload caches; never the shared /tmp);
// - module folder:     the folder of the running executable.
// Both per-user folders are created when missing, as a side effect of
// asking for them; a failed creation is not reported (later writes into the
// folder fail on their own).

#include <string>
#include <string_view>

// Folder part of the path with a trailing '/' ("a/b/c.txt" gives "a/b/");
// empty when the path has no folder part.
std::string GetFolderFromPath(std::string_view path);
// File name with extension: everything after the last '/'.
std::string GetFileNameFromPath(std::string_view path);
// File name without its extension.
std::string GetFileTitleFromPath(std::string_view path);
// The last extension of the file name with its dot (".gz" of "a.tar.gz"),
// empty when the name has none. Dots in folder names do not count, and a
// name whose only dot is its first character (".profile") has no extension,
// so its title is the whole name. "." and ".." have no extension.
std::string GetFileExtFromPath(std::string_view path);

// Full path of the running executable.
std::string GetModuleFilePath();
// Folder of the running executable, with a trailing '/'.
std::string GetModuleFolder();
// File title of the running executable.
std::string GetModuleTitle();
// "Quillbrake": the first folder level under the per-user folders.
std::string GetMakerName();

std::string GetUserDataFolder();
std::string GetAppTempFolder();
// GetUserDataFolder() + GetModuleTitle() + ".ini".
std::string GetIniFilePath();

// The freedesktop folders, each with a trailing '/'. False (and out left
// untouched) when the folder is not known: for the user directories, when
// user-dirs.dirs does not name it or it does not exist.
bool GetDesktopFolder(std::string& out);
// $XDG_CONFIG_HOME (default ~/.config).
bool GetAppDataFolder(std::string& out);
bool GetMyDocumentsFolder(std::string& out);
bool GetMyPicturesFolder(std::string& out);

// Defaults of the program's folder settings: documents, else the desktop;
// pictures, else documents, else the desktop. When even the desktop is not
// known, the home folder, so that a folder setting is never empty.
std::string GetDocumentsFolder();
std::string GetPicturesFolder();

// Appends '/' unless the path already ends with one; empty stays empty.
std::string AddBackslash(std::string_view path);
// Removes one trailing '/'. The root "/" is left as it is: without its
// separator it would name no folder at all.
std::string RemoveBackslash(std::string_view path);
