#include "core/bstr.h"

#include <cstdint>
#include <cstring>

namespace corvane {

std::size_t sysStringByteLen(const char16_t *text) {
    if (!text) return 0;
    uint32_t bytes;
    std::memcpy(&bytes, reinterpret_cast<const unsigned char *>(text) - sizeof(uint32_t), sizeof bytes);
    return bytes;
}

const char16_t *ReusedOleString::assign(const std::u16string &text) {
    // Two units in front hold the 32-bit byte length; the string's own zero unit ends the text.
    constexpr std::size_t kLengthUnits = sizeof(uint32_t) / sizeof(char16_t);
    block_.resize(kLengthUnits);
    block_.append(text);
    const auto bytes = static_cast<uint32_t>(text.size() * sizeof(char16_t));
    std::memcpy(block_.data(), &bytes, sizeof bytes);
    return block_.data() + kLengthUnits;
}

}  // namespace corvane
