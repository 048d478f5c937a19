#include "core/RowBands.h"

#include "core/VectorState.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

std::atomic<int> g_rowThreads{0};
// The calling thread's own count (ScopedRowThreads); 0: none.
thread_local int t_rowThreads = 0;

// More threads than this gain nothing on the memory-bound row loops.
constexpr int kMaxRowThreads = 32;

// A thread that has just finished its part, or waits for a band, watches
// for the next call or the band for this long before it sleeps: a preview
// renders tile after tile, each call a fraction of a millisecond, and a
// thread woken from sleep comes back only after a delay of the same order,
// so that workers asleep between the tiles did a tile's bands mostly on
// the calling thread.
constexpr std::chrono::microseconds kWatchBeforeSleep{300};

// Calls ready() until it answers true or kWatchBeforeSleep has passed;
// its last answer.
template <class Ready> bool WatchFor(Ready ready)
{
    if (ready())
        return true;
    const auto deadline = std::chrono::steady_clock::now() + kWatchBeforeSleep;
    for (int round = 1;; ++round)
    {
        if (ready())
            return true;
        // The clock is read now and then: the watch costs little beside it.
        if (round % 64 == 0)
        {
            if (std::chrono::steady_clock::now() >= deadline)
                return ready();
            std::this_thread::yield();
        }
    }
}

// Workers kept for the drivers: starting and joining threads for every
// call cost about a third of a millisecond, which a preview that renders
// tile after tile paid for each tile. One call at a time borrows them (a
// call made meanwhile, from another thread or from inside a band, starts
// threads of its own as before). Made on first use and never destroyed: its
// threads wait for work until the process ends.
class WorkerPool
{
public:
    static WorkerPool& Instance()
    {
        static WorkerPool* const pool = new WorkerPool();
        return *pool;
    }

    // Has up to `count` workers run body(index) with the indices 1..count,
    // each index once. False (and nothing started) while another call
    // borrows the workers or when no worker can be started.
    bool Start(int count, const std::function<void(int index)>& body)
    {
        std::lock_guard lock(m_mutex);
        if (m_body != nullptr)
            return false;
        while (static_cast<int>(m_threads.size()) < count)
        {
            try
            {
                m_threads.emplace_back([this] { Serve(); });
            }
            catch (const std::system_error&)
            {
                break; // fewer workers do the same work
            }
        }
        if (m_threads.empty())
            return false;
        m_body = &body;
        m_tickets = count;
        m_ticketsSeen.store(count);
        m_nextIndex = 1;
        m_work.notify_all();
        return true;
    }

    // The indices not yet taken are withdrawn; returns once every worker
    // that took one has left body.
    void Finish()
    {
        std::unique_lock lock(m_mutex);
        m_tickets = 0;
        m_ticketsSeen.store(0);
        if (m_inside != 0)
        {
            lock.unlock();
            WatchFor([&] { return m_insideSeen.load() == 0; });
            lock.lock();
        }
        m_left.wait(lock, [&] { return m_inside == 0; });
        m_body = nullptr;
    }

private:
    void Serve()
    {
        std::unique_lock lock(m_mutex);
        for (;;)
        {
            if (m_tickets == 0)
            {
                lock.unlock();
                WatchFor([&] { return m_ticketsSeen.load() > 0; });
                lock.lock();
            }
            m_work.wait(lock, [&] { return m_tickets > 0; });
            --m_tickets;
            m_ticketsSeen.store(m_tickets);
            const int index = m_nextIndex++;
            const std::function<void(int)>& body = *m_body;
            ++m_inside;
            m_insideSeen.store(m_inside);
            lock.unlock();
            body(index);
            lock.lock();
            m_insideSeen.store(m_inside - 1);
            if (--m_inside == 0)
                m_left.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_work;
    std::condition_variable m_left;
    std::vector<std::thread> m_threads;
    const std::function<void(int)>* m_body = nullptr;
    int m_tickets = 0;
    int m_nextIndex = 1;
    int m_inside = 0;
    // m_tickets and m_inside as last written under the mutex, for the
    // watch before a wait, which reads them without it.
    std::atomic<int> m_ticketsSeen{0};
    std::atomic<int> m_insideSeen{0};
};

// The workers of one RunBands call: the pool's when it is free, else
// threads of its own; joined when this goes.
class BandWorkers
{
public:
    BandWorkers(int count, const std::function<void(int index)>& body)
    {
        if (WorkerPool::Instance().Start(count, body))
        {
            m_pooled = true;
            return;
        }
        m_threads.reserve(static_cast<std::size_t>(count));
        for (int t = 1; t <= count; ++t)
        {
            try
            {
                m_threads.emplace_back(body, t);
            }
            catch (const std::system_error&)
            {
                break; // fewer threads do the same work
            }
        }
    }
    ~BandWorkers()
    {
        if (m_pooled)
            WorkerPool::Instance().Finish();
    }
    BandWorkers(const BandWorkers&) = delete;
    BandWorkers& operator=(const BandWorkers&) = delete;

private:
    bool m_pooled = false;
    std::vector<std::jthread> m_threads;
};

} // namespace

void SetRowThreadCount(int count)
{
    g_rowThreads.store(std::clamp(count, 0, kMaxRowThreads));
}

ScopedRowThreads::ScopedRowThreads(int count) : m_previous(t_rowThreads)
{
    t_rowThreads = std::clamp(count, 0, kMaxRowThreads);
}

ScopedRowThreads::~ScopedRowThreads()
{
    t_rowThreads = m_previous;
}

int GetRowThreadCount()
{
    if (t_rowThreads > 0)
        return t_rowThreads;
    const int count = g_rowThreads.load();
    if (count > 0)
        return count;
    const unsigned hardware = std::thread::hardware_concurrency();
    return std::clamp(static_cast<int>(hardware), 1, kMaxRowThreads);
}

bool ReportRowPercent(Progress progress, int row, int rows)
{
    if (!progress)
        return true;
    const double percent = rows > 1 ? static_cast<double>(row) / (rows - 1) * 100.0 : 100.0;
    return progress.Report(percent);
}

bool RunBands(int bandCount, int threads, const std::function<void(int worker, int band)>& work,
              const std::function<bool(int band)>& finished)
{
    if (bandCount <= 0)
        return true;
    // The calling thread works bands too (workers start clean).
    ClearUpperVectorState();
    if (threads <= 0)
        threads = GetRowThreadCount();
    threads = std::min(threads, bandCount);

    if (threads <= 1)
    {
        for (int b = 0; b < bandCount; ++b)
        {
            work(0, b);
            if (!finished(b))
                return false;
        }
        return true;
    }

    // Workers and the calling thread take bands in turn from one counter;
    // the calling thread also hands the finished bands on in order.
    std::atomic<int> next{0};
    std::atomic<bool> stop{false};
    std::vector<char> done(static_cast<std::size_t>(bandCount), 0);
    std::mutex mutex;
    std::condition_variable doneSignal;
    // Bands finished so far, for the watch before a wait.
    std::atomic<int> finishedBands{0};
    auto runBand = [&](int worker, int b) {
        work(worker, b);
        {
            const std::lock_guard lock(mutex);
            done[static_cast<std::size_t>(b)] = 1;
        }
        finishedBands.fetch_add(1);
        doneSignal.notify_one();
    };
    const std::function<void(int)> worker = [&](int index) {
        while (!stop.load())
        {
            const int b = next.fetch_add(1);
            if (b >= bandCount)
                return;
            runBand(index, b);
        }
    };
    const BandWorkers workers(threads - 1, worker);

    int handed = 0; // bands handed to finished
    for (;;)
    {
        int ready = handed;
        {
            const std::lock_guard lock(mutex);
            while (ready < bandCount && done[static_cast<std::size_t>(ready)])
                ++ready;
        }
        for (; handed < ready; ++handed)
        {
            if (!finished(handed))
            {
                stop.store(true);
                return false; // the workers finish the bands still running
            }
        }
        if (handed == bandCount)
            return true;
        const int b = next.fetch_add(1);
        if (b < bandCount)
        {
            runBand(0, b);
            continue;
        }
        const int seen = finishedBands.load();
        WatchFor([&] { return finishedBands.load() != seen; });
        std::unique_lock lock(mutex);
        doneSignal.wait(lock, [&] { return done[static_cast<std::size_t>(handed)] != 0; });
    }
}

bool RunRowBands(int rows, Progress progress, const std::function<void(int first, int end)>& band,
                 int threads)
{
    if (rows <= 0)
        return true;
    if (threads <= 0)
        threads = GetRowThreadCount();
    // Several bands per thread even out uneven rows; a band of at most 64
    // rows keeps progress reports coming.
    const int bandRows = std::clamp(rows / (threads * 8), 1, 64);
    const int bandCount = (rows + bandRows - 1) / bandRows;
    auto bandEnd = [&](int b) { return std::min(rows, (b + 1) * bandRows); };
    return RunBands(
        bandCount, threads, [&](int, int b) { band(b * bandRows, bandEnd(b)); },
        [&](int b) {
            if (!progress)
                return true;
            for (int row = b * bandRows; row < bandEnd(b); ++row)
            {
                if (!ReportRowPercent(progress, row, rows))
                    return false;
            }
            return true;
        });
}
