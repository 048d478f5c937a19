#pragma once
// The one parallel driver of the row loops: the step documents' whole-image
// passes, the display conversion and the DNG development passes.
//
// The work is cut into bands (of rows, or of the caller's own blocks) that
// do not depend on the thread count; each band is handed out once, to one
// worker, and a band that touches only its own output gives output
// identical to one thread. After a band is done the calling thread (and
// only it) hears of it, in band order, so progress callbacks, which may
// pump the user interface, never run elsewhere, and a stop is seen at the
// same band boundary whatever the thread count.

#include "core/Progress.h"

#include <functional>

// Threads of the drivers: 0 (the default) means the hardware's
// concurrency; 1 runs every band on the calling thread. A count set for the
// calling thread (ScopedRowThreads) goes before the process's.
void SetRowThreadCount(int count);
int GetRowThreadCount();

// The drivers called on this thread use `count` threads (0: the process's
// count) for the object's lifetime; the previous count comes back after.
// For work too small to pay for handing it out (a few thousand pixels),
// run where it is called; the output is the same for any count.
class ScopedRowThreads
{
public:
    explicit ScopedRowThreads(int count);
    ~ScopedRowThreads();
    ScopedRowThreads(const ScopedRowThreads&) = delete;
    ScopedRowThreads& operator=(const ScopedRowThreads&) = delete;

private:
    int m_previous;
};

// Runs work(worker, band) for bands 0 .. bandCount - 1 on up to `threads`
// workers (0: GetRowThreadCount()), the calling thread being worker 0; a
// worker index is below the thread count asked (and below bandCount) and
// no worker runs two bands at once, so per-worker scratch needs no lock.
// finished(band) is called on the calling thread for every band in order,
// once the band and all before it are done; when it answers false no
// further band starts and the result is false (bands already running
// finish first). work must not throw.
bool RunBands(int bandCount, int threads, const std::function<void(int worker, int band)>& work,
              const std::function<bool(int band)>& finished);

// Row-parallel form: band(first, end) for consecutive bands of rows
// [first, end) covering [0, rows). Progress (when given) is called once
// per row in order, with ReportRowPercent's values, as the bands finish;
// when it answers false the result is false. threads as for RunBands.
bool RunRowBands(int rows, Progress progress, const std::function<void(int first, int end)>& band,
                 int threads = 0);

// The percent of row `row` of `rows`: row / (rows - 1) x 100, and 100 for
// a single row (where the quotient is 0 / 0). Reports it and returns the
// answer (true: go on).
bool ReportRowPercent(Progress progress, int row, int rows);
