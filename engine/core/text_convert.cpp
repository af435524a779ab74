#include "core/text_convert.h"

#include <cstdint>
#include <cstring>

namespace corvane {
namespace {

// Windows-1252 bytes 0x80-0x9F; the five unassigned ones map to the C1 control of the same value.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t cp1252(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kCp1252High[byte - 0x80];
    return byte;
}

// Length of the valid UTF-8 sequence at text[i] and its code point, or 0 when it is not valid.
std::size_t utf8Sequence(std::string_view text, std::size_t i, char32_t &cp) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    std::size_t len;
    char32_t min;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > text.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

}  // namespace

std::u16string ansiToUtf16(std::string_view text) {
    std::u16string out;
    ansiToUtf16(text, out);
    return out;
}

void ansiToUtf16(std::string_view text, std::u16string &out) {
    // Every report is converted, over a million in a big search: ASCII, by far the most common
    // text, is widened in one tight loop.
    // The ASCII start is found eight bytes at a time, then widened by a loop without an early
    // exit, which the compiler turns into vector instructions.
    std::size_t ascii = 0;
    for (uint64_t word; text.size() - ascii >= 8; ascii += 8) {
        std::memcpy(&word, text.data() + ascii, 8);
        if (word & 0x8080808080808080ull) break;
    }
    while (ascii < text.size() && static_cast<unsigned char>(text[ascii]) < 0x80) ++ascii;
    out.resize(text.size());
    for (std::size_t i = 0; i < ascii; ++i) out[i] = static_cast<char16_t>(static_cast<unsigned char>(text[i]));
    if (ascii == text.size()) return;
    out.resize(ascii);
    for (std::size_t i = ascii; i < text.size();) {
        char32_t cp;
        const std::size_t len = utf8Sequence(text, i, cp);
        if (len == 0) {
            out.push_back(cp1252(static_cast<unsigned char>(text[i])));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
}

}  // namespace corvane
