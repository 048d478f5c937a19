#include "core/VectorState.h"

void ClearUpperVectorState()
{
#if defined(__x86_64__) || defined(__i386__)
    // The instruction exists only with AVX; nothing to clear without it.
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx)
        __asm__ volatile("vzeroupper" ::: "memory");
#endif
}
