#pragma once
// The agent's settings: its two ini files, the two registry values it reads
// and the few helpers that read private-profile files the way the agent
// expects.
//
// Files (all in the agent's folder, $XDG_CONFIG_HOME/Quillbrake/ZEPH/):
//   ZEPH.INI    [INITIAL_SETTING] MODE        start mode when the registry has none (1 pro, 0 easy)
//               [COLOR_PROFILE_SELECT] PN<preset name>=<profile file>   pro-mode profiles
//               [MONITOR] MONITOR_ID          display index for installation (-1 = first)
//   ZEPH_D.INI  [FILEOUT] FILEOUT_FLG         non-zero switches the trace log on
//   fprintf.txt the trace log
//
// Registry values (the shared store of platform::RegistryStore):
//   Software\QUILLBRAKE\CHROMIVEL\MODE  "State"  written by the agent: 1 pro mode, 0 easy mode
//   Software\QUILLBRAKE\CHROMIVEL\DDCCI "State"  written by the main program only:
//                                                0 = DDC/CI free, anything else or absent = busy

#include "platform/Registry.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* kModeRegistryKey = "Software\\QUILLBRAKE\\CHROMIVEL\\MODE";
inline constexpr const char* kDdcCiRegistryKey = "Software\\QUILLBRAKE\\CHROMIVEL\\DDCCI";
inline constexpr const char* kStateValueName = "State";

// Results of the registry helpers besides 0 (success). They keep the
// numbers the agent's callers have always compared against.
inline constexpr int kRegistryNotFound = 2;     // the key or the value is missing (or not a DWORD)
inline constexpr int kRegistryWriteFailed = 29; // the store could not be written

inline constexpr const char* kAgentIniName = "ZEPH.INI";
inline constexpr const char* kAgentDebugIniName = "ZEPH_D.INI";
inline constexpr const char* kTraceFileName = "fprintf.txt";

// $XDG_CONFIG_HOME/Quillbrake/ZEPH/ (ends with '/'; not created here).
std::string AgentFolder();
// The three files of the agent's folder.
std::string AgentIniPath();
std::string AgentDebugIniPath();
std::string TraceFilePath();

// Reads a DWORD value of the current user's store (or of `store`). 0 with
// `value` set, else kRegistryNotFound and `value` untouched.
int ReadRegistryDword(std::string_view key, std::string_view name, std::uint32_t& value);
int ReadRegistryDword(const platform::RegistryStore& store, std::string_view key,
                      std::string_view name, std::uint32_t& value);

// Writes a DWORD value, creating the key when it is missing: there is no
// installer that would have made the MODE key, and the user's pro/easy
// choice must not be lost on a fresh system. 0 on success,
// kRegistryWriteFailed when the store cannot be written.
int WriteRegistryDword(std::string_view key, std::string_view name, std::uint32_t value);
int WriteRegistryDword(platform::RegistryStore& store, std::string_view key, std::string_view name,
                       std::uint32_t value);

// An integer of a private-profile file: `defaultValue` when the file,
// section or key is missing; otherwise the leading decimal number of the
// value (a value that does not start with one gives 0), as applications
// have always read ini integers.
int ReadIniInt(const std::string& file, std::string_view section, std::string_view key,
               int defaultValue);

// Appends every key of the section, in file order, to `keys` and its value
// to `values`. Returns the last valid index of the two arrays: the number of
// pairs - 1 when they start empty, -1 for an empty or missing section.
int ReadIniSection(std::string_view section, const std::string& file,
                   std::vector<std::string>& keys, std::vector<std::string>& values);

// The start mode: the MODE registry value, else [INITIAL_SETTING] MODE of
// ZEPH.INI (default 1). 1 is pro mode; 0, or any value but 1, easy mode.
int ReadStartMode();
int ReadStartMode(const platform::RegistryStore& store, const std::string& agentIni);

// [MONITOR] MONITOR_ID of ZEPH.INI: the display to install profiles for,
// -1 = the first display that has a device ID.
int ReadMonitorId();
