#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
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
