#include "decode/output_buffer.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace corvane {
namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;

}  // namespace

void sizeOutputBuffer(std::string &buffer, std::size_t size) {
    buffer.clear();
    buffer.reserve(size);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only whole huge pages inside the buffer; the advice is a hint, and a refusal changes nothing.
    if (size >= 2 * kHugePage) {
        const auto start = reinterpret_cast<std::uintptr_t>(buffer.data());
        const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
        const std::uintptr_t last = (start + size) & ~(kHugePage - 1);
        if (last > first) madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
    }
#endif
    buffer.resize(size);
}

}  // namespace corvane
