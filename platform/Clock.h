#pragma once
// Time as the DDC/CI code sees it: a monotonic millisecond count and a way to
// wait. The real clock reads CLOCK_MONOTONIC and sleeps; the virtual clock
// lets tests run code that waits seconds between monitor exchanges in no
// time at all, and see afterwards how long it would have waited.

#include <cstdint>
#include <mutex>
#include <vector>

namespace platform {

class Clock
{
public:
    virtual ~Clock() = default;

    // Milliseconds on a monotonic scale (the origin means nothing).
    virtual std::int64_t NowMs() = 0;
    // Waits ms milliseconds (nothing for ms <= 0).
    virtual void SleepMs(std::int64_t ms) = 0;
};

// The process's real clock. Safe from any thread.
Clock& SystemClock();

// A clock that only moves when told to: SleepMs advances it at once by the
// requested time and records the request. Safe from several threads (the
// sleeps of two threads add up, as they would on one virtual timeline).
class VirtualClock final : public Clock
{
public:
    explicit VirtualClock(std::int64_t startMs = 0) : m_now(startMs) {}

    std::int64_t NowMs() override;
    void SleepMs(std::int64_t ms) override;

    // Moves the clock without recording a sleep (time passing elsewhere).
    void Advance(std::int64_t ms);

    // Every SleepMs request so far, in order (including zero or negative
    // requests, which do not move the clock).
    std::vector<std::int64_t> Sleeps() const;
    // Sum of the positive sleeps.
    std::int64_t TotalSleptMs() const;
    void ClearSleeps();

private:
    mutable std::mutex m_mutex;
    std::int64_t m_now;
    std::vector<std::int64_t> m_sleeps;
};

} // namespace platform
