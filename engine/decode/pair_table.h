// Decoding two encoded characters at once: a table indexed by the two bytes as they lie in
// memory gives their 12 bits, or kPairRejected when either character needs the careful path.
// Four characters (two lookups) make three bytes, which keeps the big decoders fast.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

namespace corvane {

inline constexpr uint16_t kPairRejected = 0x8000;

// valueOf(c) is the 6-bit value of c, or a negative number to reject it.
template <typename ValueOf>
std::unique_ptr<uint16_t[]> makePairTable(ValueOf valueOf) {
    auto table = std::make_unique<uint16_t[]>(65536);
    for (unsigned first = 0; first < 256; ++first) {
        for (unsigned second = 0; second < 256; ++second) {
            const int a = valueOf(static_cast<unsigned char>(first)), b = valueOf(static_cast<unsigned char>(second));
            const unsigned char bytes[2] = {static_cast<unsigned char>(first), static_cast<unsigned char>(second)};
            uint16_t index;
            std::memcpy(&index, bytes, 2);
            table[index] = a < 0 || b < 0 ? kPairRejected : static_cast<uint16_t>(a << 6 | b);
        }
    }
    return table;
}

// Decodes `groups` groups of four characters into 3 bytes each, writing one byte beyond them.
// False, with the output unspecified, when a pair was rejected.
inline bool decodeCleanGroups(const uint16_t *table, const char *in, std::size_t groups, unsigned char *out) {
    uint16_t rejected = 0;
    for (std::size_t g = 0; g < groups; ++g, in += 4, out += 3) {
        uint16_t firstPair, secondPair;
        std::memcpy(&firstPair, in, 2);
        std::memcpy(&secondPair, in + 2, 2);
        const uint16_t high = table[firstPair], low = table[secondPair];
        rejected |= high | low;
        const uint32_t bits = static_cast<uint32_t>(high & 0xFFF) << 12 | (low & 0xFFF);
        const unsigned char bytes[4] = {static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 8),
                                        static_cast<unsigned char>(bits), 0};
        std::memcpy(out, bytes, 4);
    }
    return (rejected & kPairRejected) == 0;
}

}  // namespace corvane
