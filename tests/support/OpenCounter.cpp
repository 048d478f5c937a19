#include "tests/support/OpenCounter.h"

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace testsupport {

OpenCounter::OpenCounter(const std::string& path)
{
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd >= 0)
        m_watch = ::inotify_add_watch(m_fd, path.c_str(), IN_OPEN);
}

OpenCounter::~OpenCounter()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int OpenCounter::Take()
{
    if (m_watch < 0)
        return -1;
    int opens = 0;
    alignas(inotify_event) char buffer[4096];
    while (true)
    {
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break; // EAGAIN: the queue is empty
        for (ssize_t at = 0; at < got;)
        {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            opens += (event.mask & IN_OPEN) != 0 ? 1 : 0;
            at += static_cast<ssize_t>(sizeof event + event.len);
        }
    }
    return opens;
}

} // namespace testsupport
