#pragma once
// Tens of MB about to be written once from end to end: in 2 MiB pages the kernel takes a few
// dozen faults for them instead of thousands. Only the whole 2 MiB pages inside the range are
// advised; elsewhere than Linux this does nothing.
#include <cstddef>
#include <cstdint>
#ifdef __linux__
#include <sys/mman.h>
#endif

namespace zp {

inline void adviseHugePages(void* start, std::size_t bytes) {
#ifdef __linux__
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    const auto begin = (reinterpret_cast<std::uintptr_t>(start) + kHuge - 1) & ~(kHuge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(start) + bytes) & ~(kHuge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)start;
    (void)bytes;
#endif
}

} // namespace zp
