#pragma once
// Cube roots for the L*a*b* conversion. f(t) = t^(1/3) of a ratio t in
// [0, 1] is read from 65536 entries at index int(t*65535), the entry just
// below t with no interpolation. The root comes out low by at most its rise
// over one index step, (1/3) t^(-2/3) / 65535: about 1.2e-4 at t = 0.008856,
// where the Lab formula starts using the root (0.014 in L*), and 5e-6 near
// t = 1. Entries are 32-bit fixed point with 1.0 = 4294967295.
//
// One table serves the whole process (GetPow1by3Table). It is built in its
// constructor and never changes, so any number of threads may read it at
// once; Lock and Unlock only keep a count of the readers.

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class CPow1by3Table
{
public:
    static constexpr int EntryCount = 65536;

    CPow1by3Table();
    CPow1by3Table(const CPow1by3Table&) = delete;
    CPow1by3Table& operator=(const CPow1by3Table&) = delete;
    virtual ~CPow1by3Table() = default;

    // Reader count: each Lab accessor locks on construction and unlocks on
    // destruction. Nothing is allocated, moved or freed by either; Unlock
    // never takes the count below 0.
    void Lock() const { m_lockCount.fetch_add(1, std::memory_order_relaxed); }
    void Unlock() const;
    int GetLockCount() const { return m_lockCount.load(std::memory_order_relaxed); }

    int GetEntryCount() const { return EntryCount; }
    double GetIndexScale() const { return m_indexScale; } // 65535
    double GetValueScale() const { return m_valueScale; } // 1/4294967295

    // entry[i] = int(cbrt(i/65535) * 4294967295): entry 0 is 0, entry 65535
    // is 4294967295.
    std::span<const std::uint32_t> GetEntries() const { return m_entries; }

    // t^(1/3): entry[int(t*65535)] * value scale for t*65535 below 65536
    // (t <= 0 gives entry 0, that is 0), pow for larger t (and NaN, which
    // stays NaN).
    double Root(double t) const
    {
        const double scaled = t * m_indexScale;
        if (scaled < static_cast<double>(EntryCount))
        {
            const std::size_t index = scaled > 0.0 ? static_cast<std::size_t>(scaled) : 0;
            return static_cast<double>(m_entries[index]) * m_valueScale;
        }
        return std::pow(t, 1.0 / 3.0);
    }

private:
    mutable std::atomic<int> m_lockCount{0};
    double m_indexScale = EntryCount - 1;
    double m_valueScale;
    std::vector<std::uint32_t> m_entries;
};

// The process-wide table, built on the first call (thread-safely: a
// function-local static) and destroyed after main returns, so it lives
// until the process exits. The application start-up calls this once before
// any image is converted to Lab; later calls return the same table.
const CPow1by3Table& GetPow1by3Table();
