// Decoders of the encoded lines of an article body. Each starts at `position` (a line start),
// decodes line by line into state.bytes and leaves `position` where it stopped.
#pragma once

#include <cstddef>
#include <string_view>

#include "decode/decode_state.h"

namespace corvane {

enum DecodeResult { kDecoded = 0, kNothingDecoded = 1 };

// uuencoded lines: stops at an empty line, a line starting with "end", with a blank, a grave
// accent or a control character, or a line without CR LF. Always kDecoded (possibly 0 bytes),
// unless no memory could be had.
int uuDecodeLines(DecodeState &state, std::string_view text, std::size_t &position);

// Base64 lines up to the next empty line; kDecoded when at least one line was taken.
int base64DecodeLines(DecodeState &state, std::string_view text, std::size_t &position);

// Quoted-printable lines up to a line containing "------=_NextPart" (kDecoded); without such a
// line the part is not accepted (kNothingDecoded).
int quotedPrintableDecodeLines(DecodeState &state, std::string_view text, std::size_t &position);

// Position of the CR of the first CR LF at or after `from`, or npos.
std::size_t findLineEnd(std::string_view text, std::size_t from);

}  // namespace corvane
