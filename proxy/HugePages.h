#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/mman.h>

// Asks for large pages under the whole 2 MiB pages of a big block that is about to be filled: first
// touches of small pages, and random accesses through them, cost more than the work on the data.
inline void AdviseHugePages(void* begin, size_t size) {
    constexpr uintptr_t HugePage = 2 << 20;
    const uintptr_t first = (reinterpret_cast<uintptr_t>(begin) + HugePage - 1) & ~(HugePage - 1);
    const uintptr_t last = (reinterpret_cast<uintptr_t>(begin) + size) & ~(HugePage - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}
