#pragma once
// Large buffers (a whole library text) are filled soon after they are allocated; backing them
// with huge pages saves the kernel tens of thousands of page faults for a 100 MB library.

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

namespace orlavine {

// Asks for huge pages for the untouched memory at `data` (`size` bytes). Only a hint.
inline void preferHugePages(void* data, std::size_t size) {
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} * 1024 * 1024;
    if (size < 2 * kHugePage) {
        return;
    }
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (begin + size) & ~(kHugePage - 1);
    if (last > first) {
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
}

}  // namespace orlavine
