#include "imagefile/DNGConverter.h"

#include "core/GlobalSettings.h"
#include "core/WinOSVersion.h"
#include "platform/Text.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

bool EndsWithExe(std::string_view path)
{
    return path.size() >= 4 && platform::EqualsNoCase(path.substr(path.size() - 4), ".exe");
}

bool IsExecutableFile(const std::string& path)
{
    struct stat st
    {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// Ends the converter and everything it started (it runs in a process group
// of its own), then reaps it so that no zombie is left behind.
void KillAndReap(pid_t pid)
{
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR)
    {}
}

} // namespace

void GetBuiltinRawExtensions(std::vector<std::string>& extensions)
{
    extensions.clear();
    for (std::string_view ext : kBuiltinRawExtensions)
    {
        extensions.emplace_back(ext);
    }
}

bool IsBuiltinRawExtension(std::string_view extension)
{
    for (std::string_view ext : kBuiltinRawExtensions)
    {
        if (platform::EqualsNoCase(ext, extension))
        {
            return true;
        }
    }
    return false;
}

void BuildBuiltinRawFilter(std::string& filter)
{
    for (std::size_t i = 0; i < kBuiltinRawExtensions.size(); ++i)
    {
        if (i > 0)
        {
            filter += ';';
        }
        filter += '*';
        filter += kBuiltinRawExtensions[i];
    }
}

bool IsWindows2000OrLater()
{
    static const int major = CWinOSVersion().GetMajorVersion();
    return major > 4;
}

std::string FindWineProgram()
{
    const char* pathVar = std::getenv("PATH");
    if (pathVar == nullptr)
    {
        return {};
    }
    std::string_view rest = pathVar;
    while (true)
    {
        const std::size_t colon = rest.find(':');
        std::string folder(rest.substr(0, colon));
        if (!folder.empty())
        {
            if (folder.back() != '/')
            {
                folder += '/';
            }
            const std::string candidate = folder + "wine";
            if (IsExecutableFile(candidate))
            {
                return candidate;
            }
        }
        if (colon == std::string_view::npos)
        {
            break;
        }
        rest.remove_prefix(colon + 1);
    }
    return {};
}

bool CDNGConverterManager::BuildArguments(std::vector<std::string>& arguments) const
{
    arguments.clear();
    arguments.emplace_back(m_compressed ? "-c" : "-u");
    if (m_linear)
    {
        arguments.emplace_back("-l");
    }
    if (m_embedRawFile)
    {
        arguments.emplace_back("-e");
    }
    if (m_preview >= 0 && m_preview <= 2)
    {
        arguments.push_back("-p" + std::to_string(m_preview));
    }
    if (!m_outputFolder.empty())
    {
        arguments.emplace_back("-d");
        arguments.push_back(m_outputFolder);
    }
    if (!m_outputName.empty())
    {
        arguments.emplace_back("-o");
        arguments.push_back(m_outputName);
    }
    arguments.push_back(m_source);
    return true;
}

bool CDNGConverterManager::BuildCommandLine(std::string& line) const
{
    // Options stand bare; the values (folder, name, source) are quoted.
    line += m_compressed ? " -c" : " -u";
    if (m_linear)
    {
        line += " -l";
    }
    if (m_embedRawFile)
    {
        line += " -e";
    }
    if (m_preview >= 0 && m_preview <= 2)
    {
        line += " -p" + std::to_string(m_preview);
    }
    if (!m_outputFolder.empty())
    {
        line += " -d \"" + m_outputFolder + '"';
    }
    if (!m_outputName.empty())
    {
        line += " -o \"" + m_outputName + '"';
    }
    line += " \"" + m_source + '"';
    return true;
}

bool CDNGConverterManager::Convert(const std::string& source, Progress progress)
{
    m_status = kDngConvSuccess;
    if (m_converterPath.empty() || source.empty())
    {
        m_status = kDngConvNoInput;
        return false;
    }
    m_source = source;
    std::vector<std::string> arguments;
    if (!BuildArguments(arguments))
    {
        m_status = kDngConvNoInput;
        return false;
    }

    // A Windows executable runs under wine, which takes the program as its
    // first argument.
    std::vector<std::string> argvText;
    if (EndsWithExe(m_converterPath))
    {
        const std::string wine = FindWineProgram();
        if (wine.empty())
        {
            progress.Report(0, m_maxWaits);
            m_status = kDngConvStartFailed;
            return false;
        }
        argvText.push_back(wine);
    }
    argvText.push_back(m_converterPath);
    argvText.insert(argvText.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(argvText.size() + 1);
    for (std::string& text : argvText)
    {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);

    progress.Report(0, m_maxWaits);

    // The converter reads nothing from us: its standard input is /dev/null,
    // and it gets a process group of its own so that a kill reaches the
    // helpers it starts (wine's, a script's children).
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = 0;
    const int spawnError =
        ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (spawnError != 0)
    {
        m_status = kDngConvStartFailed;
        return false;
    }

    // Wait for the exit in short slices, so that an exit or a cancel is
    // seen at once; progress hears of each whole wait.
    using Clock = std::chrono::steady_clock;
    const auto slice = std::chrono::milliseconds(10);
    int waitStatus = 0;
    bool exited = false;
    bool stopped = false;
    for (int waits = 0; !exited && !stopped;)
    {
        const auto waitEnd = Clock::now() + std::chrono::milliseconds(m_waitMilliseconds);
        while (true)
        {
            const pid_t done = ::waitpid(pid, &waitStatus, WNOHANG);
            if (done == pid || (done < 0 && errno != EINTR))
            {
                // Reaped, or no longer ours to wait for: finished either way.
                exited = done == pid;
                stopped = done != pid;
                break;
            }
            if (m_cancel != nullptr && m_cancel->load())
            {
                stopped = true;
                break;
            }
            if (Clock::now() >= waitEnd)
            {
                break;
            }
            std::this_thread::sleep_for(slice);
        }
        progress.Report(waits + 1, m_maxWaits);
        if (!exited && !stopped && ++waits > m_maxWaits)
        {
            stopped = true;
        }
    }

    if (!exited)
    {
        KillAndReap(pid);
        m_status = kDngConvTimedOut;
        return false;
    }
    if (!WIFEXITED(waitStatus) || WEXITSTATUS(waitStatus) != 0)
    {
        m_status = kDngConvExitCode;
        return false;
    }
    return true;
}
