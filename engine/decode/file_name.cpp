// File names of encoded parts, and the Content-Transfer-Encoding values.
#include <cstdlib>

#include "decode/article_decoder.h"
#include "decode/line_decoders.h"

namespace corvane {
namespace {

// Modes of real begin lines are octal permissions such as 644 or 666; read as a decimal number
// they are 600 or more, while prose ("begin 2 songs") gives a smaller number or none.
constexpr long kLowestBeginMode = 600;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

int mimeFileName(DecodeState &state, std::string_view text, std::size_t position) {
    // The encoding header was the last of its block: this part has no name of its own.
    if (text.substr(position, 2) == "\r\n") return kNoFileName;
    constexpr std::string_view kKey = "filename=";
    const std::size_t key = state.fileNameKey.find(text, kKey, position);
    if (key == std::string_view::npos) return kNoFileName;

    std::size_t start = key + kKey.size();
    const std::size_t lineEnd = std::min(findLineEnd(text, start), text.size());
    std::size_t end;
    if (start < lineEnd && text[start] == '"') {
        // A quoted name ends at its closing quote; a name whose quote never closes ends with
        // its line rather than swallowing the article up to some later quote.
        ++start;
        end = std::min(text.find('"', start), lineEnd);
    } else {
        // An unquoted name is a token: it ends at a parameter separator or white space.
        end = start;
        while (end < lineEnd && text[end] != ';' && !isBlank(text[end]) && text[end] != '"') ++end;
    }
    state.fileName.assign(text.substr(start, end - start));
    return kFileNameFound;
}

int uuencodeFileName(DecodeState &state, std::string_view line) {
    std::size_t pos = 0;
    while (pos < line.size() && !isBlank(line[pos])) ++pos;  // "begin"
    while (pos < line.size() && isBlank(line[pos])) ++pos;
    const std::size_t numberStart = pos;
    if (pos < line.size() && (line[pos] == '+' || line[pos] == '-')) ++pos;
    long mode = 0;
    for (; pos < line.size() && line[pos] >= '0' && line[pos] <= '9'; ++pos) {
        if (mode < 100000) mode = mode * 10 + (line[pos] - '0');
    }
    if (numberStart < line.size() && line[numberStart] == '-') mode = -mode;
    if (mode < kLowestBeginMode) return kFileNameRejected;
    while (pos < line.size() && isBlank(line[pos])) ++pos;
    state.fileName.assign(line.substr(pos));
    return kFileNameFound;
}

}  // namespace

int findFileName(DecodeState &state, std::string_view text, std::size_t position) {
    switch (state.encoding) {
        case kEncodingBase64:
        case kEncodingQuotedPrintable:
        case kEncoding8Bit:
        case kEncoding7Bit:
        case kEncodingBinary: return mimeFileName(state, text, position);
        case kEncodingUuencode: return uuencodeFileName(state, text.substr(std::min(position, text.size())));
        default: return kFileNameRejected;
    }
}

int transferEncodingCode(std::string_view value) {
    constexpr std::string_view kNames[] = {"BASE64", "QUOTED-PRINTABLE", "8BIT", "7BIT", "BINARY"};
    for (int code = 0; code < static_cast<int>(std::size(kNames)); ++code)
        if (equalsIgnoringCase(value, kNames[code])) return code;
    return kEncodingUnknown;
}

}  // namespace corvane
