#include "platform/Memory.h"

#include <sys/mman.h>

#include <cstdint>

namespace platform {

void AdviseHugePages(void* data, std::size_t bytes)
{
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    if (data == nullptr || bytes < kHugePage)
        return;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (start + bytes) & ~(kHugePage - 1);
    if (last > first)
        // Advice only: a kernel without huge pages refuses it, and the
        // block works as it is.
        static_cast<void>(::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE));
}

} // namespace platform
