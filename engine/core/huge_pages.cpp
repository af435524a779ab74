#include "core/huge_pages.h"

#include <sys/mman.h>

#include <cstdint>

namespace corvane {

void adviseHugePages(const void *data, std::size_t bytes) {
    constexpr std::uintptr_t kHugePage = std::uintptr_t(2) << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (begin + bytes) & ~(kHugePage - 1);
    if (data == nullptr || end <= first) return;
    madvise(reinterpret_cast<void *>(first), end - first, MADV_HUGEPAGE);
}

}  // namespace corvane
