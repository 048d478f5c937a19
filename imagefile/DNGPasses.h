#pragma once
// Shared machinery of the development passes (DNGDecode.cpp, DNGDevelop.cpp,
// Demosaic.cpp): progress reporting over a pass's share of the whole, and
// the running of independent blocks of rows or tiles on several threads.
//
// A pass splits its work into blocks of a fixed number of rows and gives
// each worker thread its own files and buffers. The blocks run through
// RunBands (core/RowBands.h): the calling thread reports the finished blocks
// in order, so the progress callback (which may pump the user interface) is
// only ever called on the caller's thread, and a cancel or failure is seen
// at the same block boundaries whatever the thread count. Each block writes
// only its own rows of the output plane, so the planes are the same as from
// one thread.

#include "core/Progress.h"
#include "core/RowBands.h"
#include "imagefile/DNGFile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <new>
#include <string>
#include <vector>

namespace dngpass {

// Rows a block of the row passes (unpacking, normalisation, demosaicing).
inline constexpr std::uint32_t kBlockRows = 128;

// A plane is created empty by the calling thread; each worker then opens
// its own stream on it for writing at its rows' positions.
inline bool CreatePlane(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    return std::fclose(f) == 0;
}

template <typename T> bool Allocate(std::vector<T>& v, std::size_t n)
{
    try
    {
        v.assign(n, T{});
        return true;
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}

// The load's progress sees start + fraction x (end - start). Nothing is
// reported without a sink or when the pass has no share.
class PassProgress
{
public:
    PassProgress(Progress progress, double start, double end)
        : m_progress(progress), m_start(start), m_end(end)
    {}
    bool Active() const { return m_progress && m_end > m_start; }
    // False when the sink asked to stop.
    bool Report(double fraction) const
    {
        if (!Active())
            return true;
        return m_progress.Report(m_start + fraction * (m_end - m_start));
    }

private:
    Progress m_progress;
    double m_start;
    double m_end;
};

// Runs doWork(worker, block) for blocks 0 to blocks - 1 through RunBands
// on `workers` threads (the caller's included) and report(block) after each
// block, in block order, on the calling thread. Stops at the first failure
// (in block order) or at a report that returns false (Cancelled).
inline DngErrorCode RunBlocks(int workers, std::size_t blocks,
                              const std::function<DngErrorCode(int, std::size_t)>& doWork,
                              const std::function<bool(std::size_t)>& report)
{
    std::vector<DngErrorCode> results(blocks, DngErrorCode::None);
    // No exception may leave a band: the passes throw nothing but a failed
    // allocation, which is a memory error.
    const auto work = [&](int worker, int block) noexcept {
        DngErrorCode& result = results[static_cast<std::size_t>(block)];
        try
        {
            result = doWork(worker, static_cast<std::size_t>(block));
        }
        catch (...)
        {
            result = DngErrorCode::NoMemory;
        }
    };
    DngErrorCode outcome = DngErrorCode::None;
    const auto finished = [&](int block) {
        const std::size_t b = static_cast<std::size_t>(block);
        if (results[b] != DngErrorCode::None)
            outcome = results[b];
        else if (!report(b))
            outcome = DngErrorCode::Cancelled;
        return outcome == DngErrorCode::None;
    };
    RunBands(static_cast<int>(blocks), std::max(workers, 1), work, finished);
    return outcome;
}

// The report points of a row pass: the values p = 0, step, 2 step, ...
// below limit of a counter that stands at row + rowShift when a row is done,
// each reported as p / denominator after the block that holds its row.
inline bool ReportRowPoints(const PassProgress& progress, std::size_t block, std::uint32_t rows,
                            std::uint64_t limit, std::uint64_t step, std::int64_t rowShift,
                            double denominator)
{
    const std::uint64_t blocks = (std::uint64_t{rows} + kBlockRows - 1) / kBlockRows;
    const std::uint64_t first = std::uint64_t{block} * kBlockRows;
    // The smallest multiple of step whose row is not below the block's first row.
    const std::int64_t firstCounter = static_cast<std::int64_t>(first) + rowShift;
    std::uint64_t p = block == 0 || firstCounter <= 0
                          ? 0
                          : (static_cast<std::uint64_t>(firstCounter) + step - 1) / step * step;
    for (; p < limit; p += step)
    {
        const std::int64_t row = static_cast<std::int64_t>(p) - rowShift;
        std::uint64_t b = row < 0 ? 0 : static_cast<std::uint64_t>(row) / kBlockRows;
        if (b >= blocks)
            b = blocks - 1;
        if (b != block)
            break;
        if (!progress.Report(static_cast<double>(p) / denominator))
            return false;
    }
    return true;
}

} // namespace dngpass
