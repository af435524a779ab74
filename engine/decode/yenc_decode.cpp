#include "decode/yenc_decode.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "decode/line_decoders.h"
#include "decode/output_buffer.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvane {
namespace {

constexpr std::string_view kBeginKeyword = "=ybegin ";
constexpr std::string_view kPartKeyword = "=ypart ";
constexpr std::string_view kEndKeyword = "=yend";
constexpr std::size_t kReportedNameLength = 200;

bool startsWith(std::string_view text, std::size_t position, std::string_view prefix) {
    return position <= text.size() && text.substr(position, prefix.size()) == prefix;
}

// The keyword line at `position`, without its CR LF, and the position of the next line.
std::string_view takeLine(std::string_view text, std::size_t &position) {
    const std::size_t lineEnd = findLineEnd(text, position);
    const std::size_t stop = lineEnd == std::string_view::npos ? text.size() : lineEnd;
    const std::string_view line = text.substr(position, stop - position);
    position = lineEnd == std::string_view::npos ? text.size() : lineEnd + 2;
    return line;
}

// The value of "key=" among the blank-separated words of a keyword line, or an empty view with
// `found` false.
std::string_view wordValue(std::string_view words, std::string_view key, bool &found) {
    found = false;
    std::size_t pos = 0;
    while (pos < words.size()) {
        while (pos < words.size() && (words[pos] == ' ' || words[pos] == '\t')) ++pos;
        std::size_t end = pos;
        while (end < words.size() && words[end] != ' ' && words[end] != '\t') ++end;
        const std::string_view word = words.substr(pos, end - pos);
        if (word.size() > key.size() && word.substr(0, key.size()) == key && word[key.size()] == '=') {
            found = true;
            return word.substr(key.size() + 1);
        }
        pos = end;
    }
    return {};
}

// A decimal number of at most 18 digits, or -1: posters' sizes and offsets are far smaller, and a
// longer number is a lie that must not overflow.
int64_t decimalValue(std::string_view words, std::string_view key, bool &found) {
    const std::string_view value = wordValue(words, key, found);
    if (!found || value.empty() || value.size() > 18) return -1;
    int64_t number = 0;
    for (char c : value) {
        if (c < '0' || c > '9') return -1;
        number = number * 10 + (c - '0');
    }
    return number;
}

// One to eight hexadecimal digits (encoders differ in letter case and in leading zeros).
std::optional<uint32_t> hexValue(std::string_view words, std::string_view key, bool &found, bool &valid) {
    const std::string_view value = wordValue(words, key, found);
    valid = true;
    if (!found) return std::nullopt;
    if (value.empty() || value.size() > 8) {
        valid = false;
        return std::nullopt;
    }
    uint32_t number = 0;
    for (char c : value) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else {
            valid = false;
            return std::nullopt;
        }
        number = number << 4 | static_cast<uint32_t>(digit);
    }
    return number;
}

class PartChecks {
public:
    explicit PartChecks(YencPart &part) : part_(part) {}

    // Keeps the first failure: later ones are mostly its consequences.
    void fail(std::string_view what) {
        if (!part_.error.empty()) return;
        part_.error.assign(what);
    }
    std::string partLabel() const {
        return "part " + std::to_string(part_.part > 0 ? part_.part : 1) + " of " + reportableName(part_.name);
    }
    std::string capitalLabel() const {
        std::string label = partLabel();
        label[0] = 'P';
        return label;
    }

private:
    YencPart &part_;
};

enum class DataEnd { kEndLine, kCutOff, kInvalidByte, kBrokenEscape, kOverflow };

// Decodes data lines from `pos` up to a line that starts with "=y" (left at that line) or the
// end of the text, writing at most `capacity` bytes to `out` and never beyond them.
DataEnd decodeData(std::string_view text, std::size_t &pos, unsigned char *out, std::size_t capacity,
                   std::size_t &written) {
    const char *p = text.data() + pos;
    const char *const end = text.data() + text.size();
    unsigned char *o = out;
    unsigned char *const limit = out + capacity;
    DataEnd result = DataEnd::kCutOff;
    for (;;) {
        // At a line start: keyword lines end the data.
        if (p >= end) break;
        if (*p == '=' && end - p >= 2 && p[1] == 'y') {
            result = DataEnd::kEndLine;
            break;
        }
        bool lineDone = false;
        while (!lineDone) {
#if defined(__SSE2__)
            // Sixteen bytes at a time while none of them needs a look: no escape, no line end
            // and none of the bytes that must never appear unescaped.
            const __m128i equals = _mm_set1_epi8('='), cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
            const __m128i zero = _mm_setzero_si128(), offset = _mm_set1_epi8(42);
            while (end - p >= 16 && limit - o >= 16) {
                const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
                const __m128i special =
                    _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, equals), _mm_cmpeq_epi8(block, cr)),
                                 _mm_or_si128(_mm_cmpeq_epi8(block, lf), _mm_cmpeq_epi8(block, zero)));
                _mm_storeu_si128(reinterpret_cast<__m128i *>(o), _mm_sub_epi8(block, offset));
                const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(special));
                if (mask == 0) {
                    p += 16;
                    o += 16;
                    continue;
                }
                const int clean = __builtin_ctz(mask);
                p += clean;
                o += clean;
                break;
            }
#endif
            if (p >= end) {
                lineDone = true;
                break;
            }
            const char c = *p;
            if (o == limit && c != '\r' && c != '\n' && c != '\0') {
                pos = static_cast<std::size_t>(p - text.data());
                written = static_cast<std::size_t>(o - out);
                return DataEnd::kOverflow;
            }
            if (c == '=') {
                if (end - p < 2 || p[1] == '\r' || p[1] == '\n') {
                    pos = static_cast<std::size_t>(p - text.data());
                    written = static_cast<std::size_t>(o - out);
                    return DataEnd::kBrokenEscape;
                }
                *o++ = static_cast<unsigned char>(p[1] - 64 - 42);
                p += 2;
            } else if (c == '\r' && end - p >= 2 && p[1] == '\n') {
                p += 2;
                lineDone = true;
            } else if (c == '\r' || c == '\n' || c == '\0') {
                // Encoders always escape these; one in the data is damage, never content.
                pos = static_cast<std::size_t>(p - text.data());
                written = static_cast<std::size_t>(o - out);
                return DataEnd::kInvalidByte;
            } else {
                *o++ = static_cast<unsigned char>(c - 42);
                ++p;
            }
        }
    }
    pos = static_cast<std::size_t>(p - text.data());
    written = static_cast<std::size_t>(o - out);
    return result;
}

// How many more bytes the data from `pos` holds, decoded and thrown away: what a part that
// overran its room would have been.
std::size_t countRestOfData(std::string_view text, std::size_t pos) {
    unsigned char scratch[16384];
    std::size_t total = 0;
    for (;;) {
        std::size_t written = 0;
        const DataEnd end = decodeData(text, pos, scratch, sizeof scratch, written);
        total += written;
        if (end != DataEnd::kOverflow || written == 0) return total;
    }
}

// Decodes the data from `pos` into bytes of their own, as many as it holds, and says how the data
// ended (never in an overflow). `expected`: the size the part announced.
std::string decodeOwnBytes(std::string_view text, std::size_t &pos, std::size_t expected, DataEnd &dataEnd) {
    DecodedOutput out(std::min(expected, DecodedOutput::kFirstRoom), text.size() - pos);
    for (;;) {
        // A block with room for a few SSE stores, so that no call decodes only a byte or two.
        unsigned char *const block = out.block(64);
        std::size_t written = 0;
        dataEnd = decodeData(text, pos, block, out.blockRoom(), written);
        out.wrote(written);
        if (dataEnd != DataEnd::kOverflow) return out.take();
    }
}

// Moves `pos` to the next line that starts with "=y", or to the end of the text.
void skipToKeywordLine(std::string_view text, std::size_t &pos) {
    while (pos < text.size() && !startsWith(text, pos, "=y")) {
        const std::size_t lineEnd = findLineEnd(text, pos);
        pos = lineEnd == std::string_view::npos ? text.size() : lineEnd + 2;
    }
}

void readBeginLine(std::string_view line, YencPart &part, PartChecks &checks) {
    // name= is the last keyword and runs to the end of the line, blanks included.
    std::string_view words = line.substr(kBeginKeyword.size());
    const std::size_t nameAt = words.find("name=");
    if (nameAt != std::string_view::npos && (nameAt == 0 || words[nameAt - 1] == ' ' || words[nameAt - 1] == '\t')) {
        std::string_view name = words.substr(nameAt + 5);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
        part.name.assign(name);
        words = words.substr(0, nameAt);
    }
    bool found;
    part.fileSize = decimalValue(words, "size", found);
    const int64_t partNumber = decimalValue(words, "part", found);
    const bool hasPart = found;
    const int64_t total = decimalValue(words, "total", found);
    const bool hasTotal = found;
    part.part = hasPart ? static_cast<int32_t>(partNumber > 0 && partNumber <= INT32_MAX ? partNumber : -1) : 0;
    part.total = hasTotal ? static_cast<int32_t>(total > 0 && total <= INT32_MAX ? total : -1) : 0;

    if (nameAt == std::string_view::npos || part.name.empty()) checks.fail("A yEnc part has no file name.");
    if (part.fileSize < 0) checks.fail("Size error in " + checks.partLabel() + ": no valid size.");
    if (hasPart && part.part < 1) checks.fail("A yEnc part of " + reportableName(part.name) + " has no valid number.");
    if (hasTotal && part.total < 1)
        checks.fail("A yEnc part of " + reportableName(part.name) + " has no valid number of parts.");
    if (part.part > 0 && part.total > 0 && part.part > part.total)
        checks.fail(checks.capitalLabel() + " is out of range: the post has " + std::to_string(part.total) + " parts.");
}

void readPartLine(std::string_view text, std::size_t &pos, YencPart &part, PartChecks &checks) {
    if (!startsWith(text, pos, kPartKeyword)) {
        checks.fail(checks.capitalLabel() + " has no =ypart line.");
        return;
    }
    const std::string_view line = takeLine(text, pos);
    bool foundBegin, foundEnd;
    part.begin = decimalValue(line.substr(kPartKeyword.size()), "begin", foundBegin);
    part.end = decimalValue(line.substr(kPartKeyword.size()), "end", foundEnd);
    if (part.begin < 1 || part.end < part.begin)
        checks.fail(checks.capitalLabel() + " has no valid =ypart range.");
    else if (part.fileSize >= 0 && part.end > part.fileSize)
        checks.fail(checks.capitalLabel() + " lies outside the file: bytes " + std::to_string(part.begin) + " to " +
                    std::to_string(part.end) + " of " + std::to_string(part.fileSize) + ".");
}

void readEndLine(std::string_view line, YencPart &part, PartChecks &checks) {
    const std::string_view words = line.substr(kEndKeyword.size());
    bool found, valid;
    const int64_t size = decimalValue(words, "size", found);
    if (found && size != static_cast<int64_t>(part.size))
        checks.fail("Size error in " + checks.partLabel() + ": " + std::to_string(size) + " bytes announced, " +
                    std::to_string(part.size) + " decoded.");
    const int64_t endPart = decimalValue(words, "part", found);
    if (found && part.part > 0 && endPart != part.part)
        checks.fail(checks.capitalLabel() + " ends as part " + std::to_string(endPart) + ".");

    const std::optional<uint32_t> partCrc = hexValue(words, "pcrc32", found, valid);
    if (!valid) checks.fail("CRC error in " + checks.partLabel() + ": no valid pcrc32.");
    if (partCrc && *partCrc != part.crc) checks.fail("CRC error in " + checks.partLabel() + ".");
    const std::optional<uint32_t> fileCrc = hexValue(words, "crc32", found, valid);
    if (!valid) checks.fail("CRC error in " + checks.partLabel() + ": no valid crc32.");
    // A single-part post's crc32 is the CRC of this very part; a multi-part post's is the
    // whole file's, checked once the file is put together.
    if (part.part == 0 && fileCrc && *fileCrc != part.crc) checks.fail("CRC error in " + checks.partLabel() + ".");
    if (part.part > 0) part.fileCrc = fileCrc;
}

}  // namespace

bool isYencBegin(std::string_view text, std::size_t position) { return startsWith(text, position, kBeginKeyword); }

std::string reportableName(std::string_view name) {
    std::string out;
    for (char c : name.substr(0, kReportedNameLength)) {
        const auto u = static_cast<unsigned char>(c);
        out += u < 0x20 || u == 0x7F ? '?' : c;
    }
    return out;
}

uint32_t crc32Of(std::string_view bytes) {
    return static_cast<uint32_t>(
        crc32_z(crc32_z(0, nullptr, 0), reinterpret_cast<const Bytef *>(bytes.data()), bytes.size()));
}

uint32_t crc32Joined(uint32_t first, uint32_t second, std::size_t secondLength) {
    return static_cast<uint32_t>(crc32_combine(first, second, static_cast<z_off_t>(secondLength)));
}

bool yencDecodePart(std::string_view text, std::size_t &position, YencPart &part,
                    const std::function<YencTarget(const YencPart &)> &placeFor) {
    if (!isYencBegin(text, position)) return false;
    part = YencPart();
    PartChecks checks(part);
    std::size_t pos = position;
    readBeginLine(takeLine(text, pos), part, checks);
    if (part.part > 0) {
        readPartLine(text, pos, part, checks);
    } else {
        part.begin = 1;
        part.end = part.fileSize;
    }

    // Room in the file is asked for only when the range can be what the rest of the article holds
    // (a yEnc byte takes at least one character): a size that lies is not reserved.
    const bool rangeFits = part.end >= part.begin && static_cast<uint64_t>(part.end - part.begin) < text.size() - pos;
    const YencTarget target = placeFor && rangeFits ? placeFor(part) : YencTarget();
    const std::size_t capacity = target.capacity;
    DataEnd dataEnd;
    if (target.data) {
        dataEnd = decodeData(text, pos, reinterpret_cast<unsigned char *>(target.data), capacity, part.size);
        part.crc = crc32Of(std::string_view(target.data, part.size));
        part.inPlace = true;
    } else {
        try {
            const std::size_t announced =
                rangeFits ? static_cast<std::size_t>(part.end - part.begin + 1) : DecodedOutput::kFirstRoom;
            part.bytes = decodeOwnBytes(text, pos, announced, dataEnd);
        } catch (const std::bad_alloc &) {
            checks.fail("Not enough memory to decode " + checks.partLabel() + ".");
            skipToKeywordLine(text, pos);
            position = pos;
            return true;
        }
        part.size = part.bytes.size();
        part.crc = crc32Of(part.bytes);
    }

    switch (dataEnd) {
        case DataEnd::kEndLine: break;
        case DataEnd::kCutOff: checks.fail(checks.capitalLabel() + " is cut off: it has no =yend line."); break;
        case DataEnd::kInvalidByte: checks.fail(checks.capitalLabel() + " holds a byte that yEnc never sends."); break;
        case DataEnd::kBrokenEscape: checks.fail(checks.capitalLabel() + " has an escape at the end of a line."); break;
        case DataEnd::kOverflow:
            if (part.part == 0)  // a single-part post: its size= was less than it holds
                checks.fail("Size error in " + checks.partLabel() + ": " + std::to_string(capacity) +
                            " bytes expected, " + std::to_string(part.size + countRestOfData(text, pos)) + " decoded.");
            else
                checks.fail("Size error in " + checks.partLabel() + ": more than the " + std::to_string(capacity) +
                            " bytes of its range.");
            break;
    }
    if (dataEnd != DataEnd::kEndLine) skipToKeywordLine(text, pos);

    if (startsWith(text, pos, kEndKeyword)) {
        readEndLine(takeLine(text, pos), part, checks);
    } else if (dataEnd == DataEnd::kEndLine || pos < text.size()) {
        // Another keyword line (a following =ybegin, a doubled =ypart) where =yend belongs.
        checks.fail(checks.capitalLabel() + " is cut off: it has no =yend line.");
    }

    const int64_t expected = part.end - part.begin + 1;
    if (part.begin >= 1 && part.end >= part.begin - 1 && expected != static_cast<int64_t>(part.size))
        checks.fail("Size error in " + checks.partLabel() + ": " + std::to_string(expected) + " bytes expected, " +
                    std::to_string(part.size) + " decoded.");
    position = pos;
    return true;
}

}  // namespace corvane
