#pragma once
// The operating system the program runs on, as the system information
// dialog and the checks of outside programs read it: a platform identifier,
// a major and minor version and a readable description. Here the version is
// the kernel release of uname(2) ("6.1.0-13-amd64" gives 6 and 1) and the
// description the distribution's PRETTY_NAME from os-release.

#include <cstdint>
#include <string>
#include <string_view>

class CWinOSVersion
{
public:
    // Windows numbered its platforms 0 to 3 (Win32s, 9x, NT, CE); ours lies
    // apart from them, so a test for one of those never mistakes Linux for it.
    static constexpr std::uint32_t kPlatformLinux = 0x100;

    // Queries uname(2) and reads /etc/os-release (else /usr/lib/os-release).
    CWinOSVersion();
    virtual ~CWinOSVersion() = default;

    // True when uname succeeded; the numbers are 0 otherwise.
    bool IsValid() const { return m_valid != 0; }
    std::uint32_t GetPlatformId() const { return kPlatformLinux; }
    int GetMajorVersion() const { return m_major; }
    int GetMinorVersion() const { return m_minor; }
    // uname's system name and release ("Linux", "6.1.0-13-amd64").
    const std::string& GetSystemName() const { return m_systemName; }
    const std::string& GetRelease() const { return m_release; }
    // PRETTY_NAME of os-release ("Debian GNU/Linux 12 (bookworm)"), else
    // the system name and release.
    const std::string& GetDescription() const { return m_description; }

    // The leading "major.minor" numbers of a kernel release; a missing
    // minor number gives 0. False (both 0) when it does not start with a
    // digit. Numbers too large for int clamp to its maximum.
    static bool ParseRelease(std::string_view release, int& major, int& minor);
    // The PRETTY_NAME value of os-release text (quotes and backslash
    // escapes removed); empty when there is none.
    static std::string FindPrettyName(std::string_view osRelease);

private:
    int m_valid = 0;
    int m_major = 0;
    int m_minor = 0;
    std::string m_systemName;
    std::string m_release;
    std::string m_description;
};
