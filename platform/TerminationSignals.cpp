#include "platform/TerminationSignals.h"

#include <atomic>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

// The write end of the newest object's socket pair (-1: none). A lock-free
// atomic may be read from a signal handler.
std::atomic<int> g_writeFd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnTerminationSignal(int number)
{
    const int fd = g_writeFd.load();
    if (fd < 0)
        return;
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    // A full socket already holds a request to end: nothing is lost.
    [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals()
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0)
        return;
    m_fds = {fds[0], fds[1]};
    m_previousFd = g_writeFd.exchange(m_fds[0]);

    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    for (const int number : kSignals)
        sigaddset(&action.sa_mask, number);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
    {
        struct sigaction& previous = m_previous[i];
        if (::sigaction(kSignals[i], nullptr, &previous) != 0)
            continue;
        if ((previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        m_taken[i] = ::sigaction(kSignals[i], &action, nullptr) == 0;
    }
}

TerminationSignals::~TerminationSignals()
{
    for (std::size_t i = 0; i < kSignals.size(); ++i)
    {
        if (m_taken[i])
            ::sigaction(kSignals[i], &m_previous[i], nullptr);
    }
    if (m_fds[0] >= 0)
        g_writeFd.store(m_previousFd);
    for (const int fd : m_fds)
    {
        if (fd >= 0)
            ::close(fd);
    }
}

bool TerminationSignals::IsInstalled() const
{
    for (const bool taken : m_taken)
    {
        if (taken)
            return true;
    }
    return false;
}

int TerminationSignals::Take()
{
    if (m_fds[1] < 0)
        return 0;
    int last = 0;
    unsigned char buffer[16];
    ssize_t got = 0;
    while ((got = ::read(m_fds[1], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR))
    {
        if (got > 0)
            last = buffer[got - 1];
    }
    return last;
}

} // namespace platform
