#include "api/bstr.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace corvane {

char16_t *sysAllocStringLen(const char16_t *text, std::size_t units) {
    if (units > (UINT32_MAX - sizeof(uint32_t)) / sizeof(char16_t) - 1) return nullptr;
    const uint32_t bytes = static_cast<uint32_t>(units * sizeof(char16_t));
    // The length word is kept 4 bytes in front of the text; allocate as one block.
    auto *block = static_cast<unsigned char *>(std::malloc(sizeof(uint32_t) + bytes + sizeof(char16_t)));
    if (!block) return nullptr;
    std::memcpy(block, &bytes, sizeof bytes);
    auto *out = reinterpret_cast<char16_t *>(block + sizeof(uint32_t));
    if (text && units) std::memcpy(out, text, bytes);
    out[units] = u'\0';
    return out;
}

void sysFreeString(char16_t *text) {
    if (!text) return;
    std::free(reinterpret_cast<unsigned char *>(text) - sizeof(uint32_t));
}

std::size_t sysStringByteLen(const char16_t *text) {
    if (!text) return 0;
    uint32_t bytes;
    std::memcpy(&bytes, reinterpret_cast<const unsigned char *>(text) - sizeof(uint32_t), sizeof bytes);
    return bytes;
}

}  // namespace corvane
