// uudecode: a line is a length character (bytes on the line + 32) followed by groups of four
// characters, each standing for 6 bits as (character - 32) mod 64.
#include <cstring>
#include <new>

#include "decode/line_decoders.h"
#include "decode/output_buffer.h"
#include "decode/pair_table.h"

namespace corvane {
namespace {

// The longest line a length character can announce: 255 - 32 bytes in 300 characters.
constexpr std::size_t kMaxEncodedChars = (255 - 32 + 2) / 3 * 4;

inline unsigned char sixBits(char c) { return static_cast<unsigned char>(c - 32) & 63; }

// Decodes `groups` groups of four characters into 3 bytes each.
inline void decodeGroups(const char *in, std::size_t groups, unsigned char *out) {
    for (std::size_t g = 0; g < groups; ++g, in += 4, out += 3) {
        const unsigned p = sixBits(in[0]), q = sixBits(in[1]), r = sixBits(in[2]), s = sixBits(in[3]);
        out[0] = static_cast<unsigned char>(p << 2 | q >> 4);
        out[1] = static_cast<unsigned char>(q << 4 | r >> 2);
        out[2] = static_cast<unsigned char>(r << 6 | s);
    }
}

// Control characters (a CR among them) are left to the careful path.
const uint16_t *uuPairTable() {
    static const std::unique_ptr<uint16_t[]> table =
        makePairTable([](unsigned char c) { return c < 0x20 ? -1 : (c - 32) & 63; });
    return table.get();
}

bool stopsDecoding(std::string_view text, std::size_t position) {
    const auto first = static_cast<unsigned char>(text[position]);
    if (first <= ' ' || first == '`') return true;  // also NUL and an empty line (CR)
    return text.substr(position, 3) == "end";
}

}  // namespace

std::size_t findLineEnd(std::string_view text, std::size_t from) {
    const char *const begin = text.data();
    const char *const end = begin + text.size();
    const char *p = begin + from;
    while (p < end) {
        const auto *cr = static_cast<const char *>(std::memchr(p, '\r', static_cast<std::size_t>(end - p)));
        if (!cr || cr + 1 >= end) return std::string_view::npos;
        if (cr[1] == '\n') return static_cast<std::size_t>(cr - begin);
        p = cr + 1;
    }
    return std::string_view::npos;
}

int uuDecodeLines(DecodeState &state, std::string_view text, std::size_t &position) {
    const uint16_t *const pairs = uuPairTable();
    std::size_t pos = position;
    try {
        // Well-formed lines never yield more than 3 bytes per 4 characters; a malformed one may,
        // and the room then grows.
        DecodedOutput out(DecodedOutput::kFirstRoom, (text.size() - std::min(position, text.size())) / 4 * 3);
        while (pos < text.size() && !stopsDecoding(text, pos)) {
            const std::size_t count = static_cast<unsigned char>(text[pos]) - 32u;
            const std::size_t encodedChars = (count + 2) / 3 * 4;
            // The groups of a line, and the byte decodeCleanGroups writes beyond them.
            unsigned char *const target = out.block(encodedChars / 4 * 3 + 1);

            // The usual line: its encoded characters, then CR LF, and no control character among
            // them (so no earlier CR LF either).
            const std::size_t expectedEnd = pos + 1 + encodedChars;
            if (expectedEnd + 1 < text.size() && text[expectedEnd] == '\r' && text[expectedEnd + 1] == '\n' &&
                decodeCleanGroups(pairs, text.data() + pos + 1, encodedChars / 4, target)) {
                out.wrote(count);
                pos = expectedEnd + 2;
                continue;
            }

            const std::size_t lineEnd = findLineEnd(text, pos);
            if (lineEnd == std::string_view::npos) break;
            const std::size_t available = lineEnd - pos - 1;
            if (available >= encodedChars) {
                decodeGroups(text.data() + pos + 1, encodedChars / 4, target);
            } else {
                // Mail and news gateways strip trailing blanks, and a blank stands for 0: a short
                // line is read as if its missing characters were blanks, never into the next line.
                char padded[kMaxEncodedChars];
                std::memset(padded, ' ', encodedChars);
                std::memcpy(padded, text.data() + pos + 1, available);
                decodeGroups(padded, encodedChars / 4, target);
            }
            out.wrote(count);
            // The next line starts after this line's CR LF, whatever follows the encoded characters.
            pos = lineEnd + 2;
        }
        state.bytes = out.take();
    } catch (const std::bad_alloc &) {
        return kNothingDecoded;
    }
    position = pos;
    return kDecoded;
}

}  // namespace corvane
