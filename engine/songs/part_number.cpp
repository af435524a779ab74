#include "songs/part_number.h"

#include <algorithm>
#include <climits>

namespace corvane {
namespace {

// Leading blanks, an optional sign and digits, as atoi reads them; clamped to 32 bits.
int32_t readNumber(std::string_view text, std::size_t pos) {
    while (pos < text.size() && text[pos] == ' ') ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
    int64_t value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10 + (text[pos] - '0');
        if (value > INT32_MAX) value = INT32_MAX;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace

std::size_t findLastOf(std::string_view text, std::string_view set) {
    for (std::size_t i = text.size(); i-- > 0;)
        if (set.find(text[i]) != std::string_view::npos) return i;
    return std::string_view::npos;
}

namespace {

// The part number of the subject; `baseLength` becomes the base name's length, or npos when the
// subject has no pair of brackets at all.
int parseSubject(std::string_view subject, std::size_t &baseLength, int32_t &partIndex, int32_t &partCount) {
    baseLength = std::string_view::npos;
    const std::size_t close = findLastOf(subject, ")]");
    if (close == std::string_view::npos) return -1;
    const std::size_t open = findLastOf(subject, "([");
    if (open == std::string_view::npos) return -1;
    baseLength = std::min(open, kBaseNameCapacity);

    const std::size_t slash = subject.find('/', open + 1);
    if (slash == std::string_view::npos || !(open < slash && slash < close)) return -1;
    const int32_t n = readNumber(subject, open + 1);
    const int32_t m = readNumber(subject, slash + 1);
    partCount = m;
    if (n < 1 || m < 1) return -1;
    partIndex = n - 1;
    return partIndex;
}

}  // namespace

int parsePartNumber(std::string_view subject, std::string &baseName, int32_t &partIndex, int32_t &partCount) {
    std::size_t baseLength;
    const int result = parseSubject(subject, baseLength, partIndex, partCount);
    if (baseLength != std::string_view::npos) baseName.assign(subject.substr(0, baseLength));
    return result;
}

int parsePartNumber(std::string_view subject, std::string_view &baseName, int32_t &partIndex, int32_t &partCount) {
    std::size_t baseLength;
    const int result = parseSubject(subject, baseLength, partIndex, partCount);
    if (baseLength != std::string_view::npos) baseName = subject.substr(0, baseLength);
    return result;
}

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t skipBlanks(std::string_view text, std::size_t pos) {
    while (pos < text.size() && text[pos] == ' ') ++pos;
    return pos;
}

// "(n/m)", "[n/m]" or "(n of m)" anywhere, blanks allowed around the numbers: a part of a larger
// post, even where it is not the last bracket pair ("Song (1/3) [repost]") or the search cannot
// read it ("Song.mp3 (1 of 3)"); such an article alone is never a whole song.
bool hasPartMarker(std::string_view subject) {
    for (std::size_t open = 0; open < subject.size(); ++open) {
        if (subject[open] != '(' && subject[open] != '[') continue;
        std::size_t pos = skipBlanks(subject, open + 1);
        if (pos >= subject.size() || !isDigit(subject[pos])) continue;
        while (pos < subject.size() && isDigit(subject[pos])) ++pos;
        pos = skipBlanks(subject, pos);
        if (pos < subject.size() && subject[pos] == '/')
            ++pos;
        else if (subject.substr(pos, 3) == "of ")
            pos += 3;
        else
            continue;
        pos = skipBlanks(subject, pos);
        if (pos >= subject.size() || !isDigit(subject[pos])) continue;
        while (pos < subject.size() && isDigit(subject[pos])) ++pos;
        pos = skipBlanks(subject, pos);
        if (pos < subject.size() && (subject[pos] == ')' || subject[pos] == ']')) return true;
    }
    return false;
}

bool namesMp3File(std::string_view subject) {
    for (std::size_t at = 0; at + 4 <= subject.size(); ++at) {
        if (subject[at] != '.') continue;
        const char m = subject[at + 1], p = subject[at + 2], three = subject[at + 3];
        if ((m == 'm' || m == 'M') && (p == 'p' || p == 'P') && three == '3') return true;
    }
    return false;
}

}  // namespace

int parseSongSubject(std::string_view subject, std::string_view &baseName, int32_t &partIndex, int32_t &partCount,
                     bool *unmarked) {
    if (unmarked) *unmarked = false;
    const int result = parsePartNumber(subject, baseName, partIndex, partCount);
    if (result >= 0 || !namesMp3File(subject) || hasPartMarker(subject)) return result;
    baseName = subject.substr(0, kBaseNameCapacity);
    partIndex = 0;
    partCount = 1;
    if (unmarked) *unmarked = true;
    return 0;
}

bool namesYenc(std::string_view subject) {
    const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    for (std::size_t at = 0; at + 4 <= subject.size(); ++at) {
        if (subject[at] != 'y' && subject[at] != 'Y') continue;
        if ((at > 0 && isLetter(subject[at - 1])) || (at + 4 < subject.size() && isLetter(subject[at + 4]))) continue;
        const char e = subject[at + 1], n = subject[at + 2], c = subject[at + 3];
        if ((e == 'e' || e == 'E') && (n == 'n' || n == 'N') && (c == 'c' || c == 'C')) return true;
    }
    return false;
}

}  // namespace corvane
