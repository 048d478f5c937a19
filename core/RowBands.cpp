#include "core/RowBands.h"

#include "core/VectorState.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

std::atomic<int> g_rowThreads{0};

// More threads than this gain nothing on the memory-bound row loops.
constexpr int kMaxRowThreads = 32;

} // namespace

void SetRowThreadCount(int count)
{
    g_rowThreads.store(std::clamp(count, 0, kMaxRowThreads));
}

int GetRowThreadCount()
{
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
    auto runBand = [&](int worker, int b) {
        work(worker, b);
        {
            const std::lock_guard lock(mutex);
            done[static_cast<std::size_t>(b)] = 1;
        }
        doneSignal.notify_one();
    };
    auto worker = [&](int index) {
        while (!stop.load())
        {
            const int b = next.fetch_add(1);
            if (b >= bandCount)
                return;
            runBand(index, b);
        }
    };

    std::vector<std::jthread> pool;
    pool.reserve(static_cast<std::size_t>(threads - 1));
    for (int t = 1; t < threads; ++t)
    {
        try
        {
            pool.emplace_back(worker, t);
        }
        catch (const std::system_error&)
        {
            break; // fewer threads do the same work
        }
    }

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
                return false; // the pool joins the bands still running
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
