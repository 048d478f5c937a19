#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Associating a profile with a display also hands it to the desktop's colour
// manager on the system bus. Tests never reach the machine's: unless a test
// starts a bus of its own and names it, the system bus is one that does not
// exist.
[[maybe_unused]] const bool kNoMachineSystemBus = [] {
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/quillbrake-tests-use-no-system-bus",
             1);
    return true;
}();

} // namespace

namespace testsupport {

namespace {

// The calling thread's effective capability CAP_DAC_OVERRIDE raised or
// lowered (the permitted set keeps it, so it can be raised again).
bool SetDacOverride(bool on)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    const unsigned bit = 1u << (CAP_DAC_OVERRIDE % 32);
    auto& effective = data[CAP_DAC_OVERRIDE / 32].effective;
    effective = on ? (effective | bit) : (effective & ~bit);
    return ::syscall(SYS_capset, &header, data) == 0;
}

} // namespace

ScopedReadOnlyFolder::ScopedReadOnlyFolder(std::string folder) : m_folder(std::move(folder))
{
    if (::chmod(m_folder.c_str(), 0555) != 0)
        return;
    m_held = true;
    if (::geteuid() == 0)
    {
        m_loweredCapability = SetDacOverride(false);
        m_held = m_loweredCapability;
    }
}

ScopedReadOnlyFolder::~ScopedReadOnlyFolder()
{
    if (m_loweredCapability)
        SetDacOverride(true);
    ::chmod(m_folder.c_str(), 0755);
}

TempDir::TempDir()
{
    std::string pattern =
        (std::filesystem::temp_directory_path() / "qbtest-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        ADD_FAILURE() << "cannot create a temporary folder";
    m_path = pattern + "/";
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : m_name(std::move(name))
{
    if (const char* old = std::getenv(m_name.c_str()))
    {
        m_had = true;
        m_old = old;
    }
    ::setenv(m_name.c_str(), value.c_str(), 1);
}

ScopedEnv::ScopedEnv(std::string name) : m_name(std::move(name))
{
    if (const char* old = std::getenv(m_name.c_str()))
    {
        m_had = true;
        m_old = old;
    }
    ::unsetenv(m_name.c_str());
}

ScopedEnv::~ScopedEnv()
{
    if (m_had)
        ::setenv(m_name.c_str(), m_old.c_str(), 1);
    else
        ::unsetenv(m_name.c_str());
}

bool RunInTwoProcesses(const std::function<bool(bool isChild)>& work)
{
    const pid_t child = ::fork();
    if (child == -1)
    {
        ADD_FAILURE() << "fork failed";
        return false;
    }
    const bool ok = work(child == 0);
    if (child == 0)
        ::_exit(ok ? 0 : 1);

    int status = 0;
    if (::waitpid(child, &status, 0) != child)
    {
        ADD_FAILURE() << "waitpid failed";
        return false;
    }
    return ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void WriteTextFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out)
        ADD_FAILURE() << "cannot write " << path;
}

void WriteBinaryFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        ADD_FAILURE() << "cannot write " << path;
}

std::string ReadTextFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace testsupport
