// Quoted-printable lines: "=XY" is the byte XY, "=" at a line end joins the next line.
#include <new>

#include "decode/line_decoders.h"

namespace corvane {
namespace {

// The boundary prefix that ends a quoted-printable part; without it the part is not taken.
constexpr std::string_view kPartEnd = "------=_NextPart";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Appends the decoded line; returns true when it ended in a soft line break.
bool decodeLine(std::string_view line, std::string &out) {
    while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '=') {
            out += line[i];
            continue;
        }
        if (i + 1 == line.size()) return true;
        // "=" and the two characters behind it are consumed whether they are hexadecimal or not.
        if (i + 2 < line.size()) {
            const int high = hexValue(line[i + 1]), low = hexValue(line[i + 2]);
            if (high >= 0 && low >= 0) out += static_cast<char>(high * 16 + low);
        }
        i += 2;
    }
    return false;
}

}  // namespace

int quotedPrintableDecodeLines(DecodeState &state, std::string_view text, std::size_t &position) {
    if (position >= text.size()) return kNothingDecoded;
    // The part ends with the line that holds the boundary; without one it is not taken.
    const std::size_t boundary = state.partEnd.find(text, kPartEnd, position);
    if (boundary == std::string_view::npos) return kNothingDecoded;
    std::string out;
    try {
        out.reserve(boundary - position);
        std::size_t pos = position;
        for (;;) {
            const std::size_t lineEnd = findLineEnd(text, pos);
            if (lineEnd == std::string_view::npos) return kNothingDecoded;
            const std::string_view line = text.substr(pos, lineEnd - pos);
            pos = lineEnd + 2;
            if (line.find(kPartEnd) != std::string_view::npos) break;
            if (!decodeLine(line, out)) out += "\r\n";
        }
        position = pos;
    } catch (const std::bad_alloc &) {
        return kNothingDecoded;
    }
    state.bytes = std::move(out);
    return kDecoded;
}

}  // namespace corvane
