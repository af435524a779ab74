// Each line decoder over any text: the first byte chooses uuencode, base64 or quoted-printable.
// The decoder must stop inside the text and never move backwards.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "decode/decode_state.h"
#include "decode/line_decoders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char *>(data) + 1, size - 1);
    corvane::DecodeState state;
    std::size_t position = 0;
    switch (data[0] % 3) {
        case 0: corvane::uuDecodeLines(state, text, position); break;
        case 1: corvane::base64DecodeLines(state, text, position); break;
        default: corvane::quotedPrintableDecodeLines(state, text, position); break;
    }
    if (position > text.size()) __builtin_trap();
    corvane::findLineEnd(text, 0);
    return 0;
}
