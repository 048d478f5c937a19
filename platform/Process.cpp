#include "platform/Process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace platform {

Process::~Process()
{
    Kill();
}

bool Process::Start(const std::vector<std::string>& argv)
{
    Kill();
    m_exitCode = -1;
    if (argv.empty())
        return false;
    std::vector<std::string> text = argv;
    std::vector<char*> args;
    args.reserve(text.size() + 1);
    for (std::string& arg : text)
        args.push_back(arg.data());
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        return false;
    m_pid = pid;
    return true;
}

WaitResult Process::Wait(std::chrono::milliseconds limit, const std::atomic<bool>* cancel)
{
    if (m_pid == 0)
        return WaitResult::Lost;
    using Clock = std::chrono::steady_clock;
    const auto slice = std::chrono::milliseconds(10);
    const auto end = Clock::now() + limit;
    while (true)
    {
        int status = 0;
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid)
        {
            m_pid = 0;
            m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return WaitResult::Exited;
        }
        if (done < 0 && errno != EINTR)
            return WaitResult::Lost;
        if (cancel != nullptr && cancel->load())
            return WaitResult::Cancelled;
        if (Clock::now() >= end)
            return WaitResult::TimedOut;
        std::this_thread::sleep_for(slice);
    }
}

void Process::Kill()
{
    if (m_pid == 0)
        return;
    ::kill(-m_pid, SIGKILL);
    ::kill(m_pid, SIGKILL);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR)
    {}
    m_pid = 0;
}

void LowerThreadPriority()
{
    // On Linux a thread's nice value is its own (the thread id as "process").
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 19);
}

} // namespace platform
