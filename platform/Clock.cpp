#include "platform/Clock.h"

#include <cerrno>
#include <ctime>

namespace platform {

namespace {

class RealClock final : public Clock
{
public:
    std::int64_t NowMs() override
    {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    }

    void SleepMs(std::int64_t ms) override
    {
        if (ms <= 0)
            return;
        timespec left{static_cast<time_t>(ms / 1000), static_cast<long>((ms % 1000) * 1000000)};
        // A signal cuts nanosleep short; the rest of the wait is still owed.
        while (::nanosleep(&left, &left) != 0 && errno == EINTR)
        {}
    }
};

} // namespace

Clock& SystemClock()
{
    static RealClock clock;
    return clock;
}

std::int64_t VirtualClock::NowMs()
{
    std::lock_guard lock(m_mutex);
    return m_now;
}

void VirtualClock::SleepMs(std::int64_t ms)
{
    std::lock_guard lock(m_mutex);
    m_sleeps.push_back(ms);
    if (ms > 0)
        m_now += ms;
}

void VirtualClock::Advance(std::int64_t ms)
{
    std::lock_guard lock(m_mutex);
    if (ms > 0)
        m_now += ms;
}

std::vector<std::int64_t> VirtualClock::Sleeps() const
{
    std::lock_guard lock(m_mutex);
    return m_sleeps;
}

std::int64_t VirtualClock::TotalSleptMs() const
{
    std::lock_guard lock(m_mutex);
    std::int64_t total = 0;
    for (const std::int64_t ms : m_sleeps)
    {
        if (ms > 0)
            total += ms;
    }
    return total;
}

void VirtualClock::ClearSleeps()
{
    std::lock_guard lock(m_mutex);
    m_sleeps.clear();
}

} // namespace platform
