// Base64 lines: groups of four characters of "A-Z a-z 0-9 + /" with "=" as padding.
#include <algorithm>
#include <array>
#include <new>

#include "decode/line_decoders.h"
#include "decode/output_buffer.h"
#include "decode/pair_table.h"

namespace corvane {
namespace {

constexpr unsigned char kPad = 64;
constexpr unsigned char kInvalid = 0xFF;

constexpr std::array<unsigned char, 256> makeValueTable() {
    constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
    std::array<unsigned char, 256> table{};
    for (auto &value : table) value = kInvalid;
    for (std::size_t i = 0; i < alphabet.size(); ++i) table[static_cast<unsigned char>(alphabet[i])] = i;
    return table;
}

constexpr std::array<unsigned char, 256> kValue = makeValueTable();

// Padding and characters outside the alphabet are left to the careful path.
const uint16_t *base64PairTable() {
    static const std::unique_ptr<uint16_t[]> table =
        makePairTable([](unsigned char c) { return kValue[c] < kPad ? int{kValue[c]} : -1; });
    return table.get();
}

// Decodes the whole groups of one line; a group holding a character outside the alphabet yields
// nothing, a trailing group of fewer than four characters too. Returns the bytes written.
std::size_t decodeLine(const unsigned char *in, std::size_t length, unsigned char *out) {
    unsigned char *const start = out;
    for (const unsigned char *end = in + length / 4 * 4; in < end; in += 4) {
        const unsigned p = kValue[in[0]], q = kValue[in[1]], r = kValue[in[2]], s = kValue[in[3]];
        if ((p | q | r | s) < kPad) {
            out[0] = static_cast<unsigned char>(p << 2 | q >> 4);
            out[1] = static_cast<unsigned char>(q << 4 | r >> 2);
            out[2] = static_cast<unsigned char>(r << 6 | s);
            out += 3;
            continue;
        }
        if (p == kInvalid || q == kInvalid || r == kInvalid || s == kInvalid) continue;
        // Padding: "QQ==" gives one byte, "QUI=" two.
        *out++ = static_cast<unsigned char>(p << 2 | q >> 4);
        if (r == kPad) continue;
        *out++ = static_cast<unsigned char>(q << 4 | r >> 2);
        if (s == kPad) continue;
        *out++ = static_cast<unsigned char>(r << 6 | s);
    }
    return static_cast<std::size_t>(out - start);
}

}  // namespace

int base64DecodeLines(DecodeState &state, std::string_view text, std::size_t &position) {
    if (position >= text.size()) return kNothingDecoded;
    const auto *const source = reinterpret_cast<const unsigned char *>(text.data());
    const uint16_t *const pairs = base64PairTable();
    std::size_t lines = 0;
    std::size_t pos = position;
    try {
        DecodedOutput out(DecodedOutput::kFirstRoom, (text.size() - position) / 4 * 3);
        std::size_t lastLength = 0;
        // A MIME boundary line is not a stop of its own: the empty line in front of it ends the data.
        while (pos < text.size()) {
            // Encoders write lines of one length: a line as long as the last one, of whole groups
            // without padding, followed by CR LF (and so holding no CR of its own) is decoded at
            // once. decodeCleanGroups writes a byte beyond the groups.
            const std::size_t expectedEnd = pos + lastLength;
            const std::size_t lineBytes = lastLength / 4 * 3;
            if (lastLength > 0 && lastLength % 4 == 0 && lineBytes < DecodedOutput::kBlockBytes &&
                expectedEnd + 1 < text.size() && text[expectedEnd] == '\r' && text[expectedEnd + 1] == '\n' &&
                decodeCleanGroups(pairs, text.data() + pos, lastLength / 4, out.block(lineBytes + 1))) {
                out.wrote(lineBytes);
                ++lines;
                pos = expectedEnd + 2;
                continue;
            }
            const std::size_t lineEnd = findLineEnd(text, pos);
            if (lineEnd == std::string_view::npos || lineEnd == pos) break;
            lastLength = lineEnd - pos;
            // A line longer than a block is decoded a block's worth of whole groups at a time.
            constexpr std::size_t kPieceChars = DecodedOutput::kBlockBytes / 3 * 4;
            for (std::size_t at = pos; at < lineEnd; at += kPieceChars) {
                const std::size_t chars = std::min(kPieceChars, lineEnd - at);
                out.wrote(decodeLine(source + at, chars, out.block(chars / 4 * 3)));
            }
            ++lines;
            pos = lineEnd + 2;
        }
        if (lines == 0) return kNothingDecoded;
        state.bytes = out.take();
    } catch (const std::bad_alloc &) {
        return kNothingDecoded;
    }
    position = pos;
    return kDecoded;
}

}  // namespace corvane
