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

}  // namespace corvane
