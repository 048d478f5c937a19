#pragma once
// Small fixtures shared by the suites: a private temporary folder and a
// scoped environment variable. A suite linked with these never talks to the
// machine's system bus (DBUS_SYSTEM_BUS_ADDRESS names none at start-up), so
// display associations made by tests stay out of the desktop's colour
// manager.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with its
// contents on destruction. Path() ends with '/'.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

// Sets (or, with unset = true, removes) an environment variable and puts
// the old state back on destruction.
class ScopedEnv
{
public:
    ScopedEnv(std::string name, const std::string& value);
    explicit ScopedEnv(std::string name); // unsets
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    bool m_had = false;
    std::string m_old;
};

// A private temporary folder that is also the user's HOME, with the XDG
// config, data and cache folders at "config", "data" and "cache" inside it,
// for the object's lifetime.
class PrivateUserFolders : public TempDir
{
public:
    PrivateUserFolders()
        : m_home("HOME", Path()), m_config("XDG_CONFIG_HOME", File("config")),
          m_data("XDG_DATA_HOME", File("data")), m_cache("XDG_CACHE_HOME", File("cache"))
    {
    }

private:
    ScopedEnv m_home;
    ScopedEnv m_config;
    ScopedEnv m_data;
    ScopedEnv m_cache;
};

// A folder that this thread may not write into for the object's lifetime:
// its mode becomes 0555, and a thread running as root, which writes into
// such a folder anyway, lowers CAP_DAC_OVERRIDE from its effective set
// meanwhile (capabilities are per thread: a save that creates its file on
// another thread is not covered). Mode and capability come back on
// destruction. Held() is false when neither could be arranged.
class ScopedReadOnlyFolder
{
public:
    explicit ScopedReadOnlyFolder(std::string folder);
    ~ScopedReadOnlyFolder();
    ScopedReadOnlyFolder(const ScopedReadOnlyFolder&) = delete;
    ScopedReadOnlyFolder& operator=(const ScopedReadOnlyFolder&) = delete;
    bool Held() const { return m_held; }

private:
    std::string m_folder;
    bool m_held = false;
    bool m_loweredCapability = false;
};

// Runs work(isChild) at the same time in this process and in a forked
// child (which leaves with _exit, running no destructors or test hooks).
// True when both returned true and the child exited normally.
bool RunInTwoProcesses(const std::function<bool(bool isChild)>& work);

// Writes text to a file, replacing it; fails the current test on error.
void WriteTextFile(const std::string& path, const std::string& text);
// The same for bytes.
void WriteBinaryFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
// Reads a whole file; empty when missing.
std::string ReadTextFile(const std::string& path);

} // namespace testsupport
