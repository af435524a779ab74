// Conversion of the engine's 8-bit texts to UTF-16 for the report callback.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Decodes UTF-8; every byte that does not start a valid UTF-8 sequence is taken as a
// Windows-1252 character instead, so Latin-1 subjects show right and no report is lost.
std::u16string ansiToUtf16(std::string_view text);
// The same into `out`, reusing its memory.
void ansiToUtf16(std::string_view text, std::u16string &out);

}  // namespace corvane
