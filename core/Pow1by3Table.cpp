#include "core/Pow1by3Table.h"

#include "core/Clamp.h"

// Fixed point with 1.0 = 2^32 - 1, the largest 32-bit value, so the root of
// 1 is exactly representable and the whole [0, 1] range uses all 32 bits.
CPow1by3Table::CPow1by3Table()
    : m_valueScale(std::pow(1.0, 1.0 / 3.0) / 4294967295.0), m_entries(EntryCount)
{
    for (int i = 0; i < EntryCount; ++i)
    {
        const double root = std::pow(static_cast<double>(i) / m_indexScale, 1.0 / 3.0);
        m_entries[static_cast<std::size_t>(i)] =
            static_cast<std::uint32_t>(ClampToInteger(root / m_valueScale, 0, 4294967295LL));
    }
}

void CPow1by3Table::Unlock() const
{
    int count = m_lockCount.load(std::memory_order_relaxed);
    while (count > 0 &&
           !m_lockCount.compare_exchange_weak(count, count - 1, std::memory_order_relaxed))
    {
    }
}

const CPow1by3Table& GetPow1by3Table()
{
    static const CPow1by3Table table;
    return table;
}
