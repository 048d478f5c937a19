#pragma once
// The longest stall of the user-interface thread while a benchmark's work
// runs: a 1 ms timer ticks whenever the thread handles its events, and the
// longest gap between two ticks is the stall a user would feel. Header-only
// (Qt), for the benchmarks that drive the application's windows.

#include <QObject>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace bench {

class StallMeter
{
public:
    StallMeter()
    {
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const auto now = std::chrono::steady_clock::now();
            m_longest = std::max(m_longest, std::chrono::duration<double>(now - m_last).count());
            m_last = now;
        });
    }
    void Start()
    {
        m_longest = 0.0;
        m_last = std::chrono::steady_clock::now();
        m_timer.start();
    }
    // The longest gap in seconds, the one still open at the stop included.
    double Stop()
    {
        m_timer.stop();
        const std::chrono::duration<double> open = std::chrono::steady_clock::now() - m_last;
        return std::max(m_longest, open.count());
    }

private:
    QTimer m_timer;
    std::chrono::steady_clock::time_point m_last;
    double m_longest = 0.0;
};

} // namespace bench
