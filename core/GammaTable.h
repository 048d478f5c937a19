#pragma once
// 16-bit tone tables: 65536 entries mapping each channel value to another,
// so that per-pixel tone curves cost one lookup instead of a pow or a spline.
// They carry the tone response curves of colour profiles (device to linear
// and back) and the gradation curves of the correction steps.
//
// A table is built once and then only read, possibly by several threads at
// a time. Locking is therefore only a way of reaching the entries: it never
// moves, frees or clears anything, and rebuilding, assigning or freeing a
// table while someone reads it is the owner's error.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/Interpolation.h"
#include "core/RGB16.h"

class CGammaTable
{
public:
    static constexpr std::size_t EntryCount = 65536;

    CGammaTable() = default;
    CGammaTable(const CGammaTable&) = default;
    CGammaTable& operator=(const CGammaTable&) = default;
    CGammaTable(CGammaTable&&) noexcept = default;
    CGammaTable& operator=(CGammaTable&&) noexcept = default;
    virtual ~CGammaTable() = default;

    // Every builder fills all 65536 entries from x = i/65535, each stored as
    // the integer part of 65535*clamp(v, 0, 1) (NaN gives 0).
    //
    // One value g: v = x^g. Two or more values: v = the natural cubic spline
    // through (k/(n-1), curve[k]). No value: the spline has no samples and
    // the table is all 0.
    void BuildFromCurve(std::span<const double> curve);

    // The inverse of what BuildFromCurve builds. One value g: v = x^(1/g).
    // Otherwise the forward spline S is sampled at x_j = j/1023 and a second
    // spline through the swapped points (S(x_j), x_j) gives v; where two
    // samples share an S value the later one is dropped. A curve that
    // collapses to one S value (a constant curve, or no value) leaves one
    // point, and the table is flat at that point's x_j (0).
    void BuildInverseFromCurve(std::span<const double> curve);

    // v = the natural cubic spline through the points, a later point with
    // the x of an earlier one dropped. With one distinct x the table is flat
    // at that point's y; without points it is all 0.
    void BuildFromPoints(std::span<const CPointD> points);

    // Copies exactly 65536 values in. Any other count leaves the table
    // unchanged and returns false; so does a failed allocation, which
    // leaves the table empty.
    bool SetTable(std::span<const std::uint16_t> values);

    // Drops the entries; the table is empty afterwards.
    void Free();

    bool IsEmpty() const { return m_entries.empty(); }

    // The entries, or an empty span for an empty table.
    std::span<const std::uint16_t> GetEntries() const { return m_entries; }

    // Access for the readers (image accessors, CLockGammaTable): the first
    // entry, or nullptr for an empty table, which readers must check.
    // Unlock has nothing to undo; both exist so that every reader brackets
    // its reading the same way.
    const std::uint16_t* Lock() const { return m_entries.empty() ? nullptr : m_entries.data(); }
    void Unlock() const {}

private:
    template <typename Function> void Fill(Function&& valueAt);

    std::vector<std::uint16_t> m_entries; // EntryCount values, or none
};

// One table per channel: R, G, B in that order.
class CRGBGammaTable
{
public:
    CRGBGammaTable() = default;
    CRGBGammaTable(const CRGBGammaTable&) = default;
    CRGBGammaTable& operator=(const CRGBGammaTable&) = default;
    CRGBGammaTable(CRGBGammaTable&&) noexcept = default;
    CRGBGammaTable& operator=(CRGBGammaTable&&) noexcept = default;
    virtual ~CRGBGammaTable() = default;

    // channel 0 = R, 1 = G, 2 = B.
    CGammaTable& operator[](std::size_t channel) { return m_tables[channel]; }
    const CGammaTable& operator[](std::size_t channel) const { return m_tables[channel]; }

    CGammaTable& Red() { return m_tables[0]; }
    CGammaTable& Green() { return m_tables[1]; }
    CGammaTable& Blue() { return m_tables[2]; }
    const CGammaTable& Red() const { return m_tables[0]; }
    const CGammaTable& Green() const { return m_tables[1]; }
    const CGammaTable& Blue() const { return m_tables[2]; }

    // True when all three tables hold entries.
    bool IsComplete() const;
    void Free();

private:
    CGammaTable m_tables[3];
};

// Scoped access to a table's entries for as long as the guard lives. Its
// end releases only the guard's own view; the table and every other reader
// are untouched.
class CLockGammaTable
{
public:
    explicit CLockGammaTable(const CGammaTable& table);
    CLockGammaTable(const CLockGammaTable&) = delete;
    CLockGammaTable& operator=(const CLockGammaTable&) = delete;
    virtual ~CLockGammaTable();

    // Empty (and GetTable() nullptr) when the table is empty.
    std::span<const std::uint16_t> GetEntries() const
    {
        return m_entries ? std::span<const std::uint16_t>(m_entries, CGammaTable::EntryCount)
                         : std::span<const std::uint16_t>();
    }
    const std::uint16_t* GetTable() const { return m_entries; }
    bool IsValid() const { return m_entries != nullptr; }

    // The entry for input i; only for a valid guard.
    std::uint16_t operator[](std::uint16_t i) const { return m_entries[i]; }

private:
    const CGammaTable& m_table;
    const std::uint16_t* m_entries;
};

// R = tableR[R], G = tableG[G], B = tableB[B] for n pixels in place. When
// one of the three tables is empty nothing is changed and the result is
// false.
bool ApplyRGBGammaTable(RGB16* pixels, std::size_t n, const CRGBGammaTable& table);
