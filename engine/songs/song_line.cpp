#include "songs/song_line.h"

#include <charconv>
#include <cstdint>
#include <cstring>

namespace corvane {
namespace {

// Texts from the server may hold NUL, tab, form feed or line ends (a hostile or broken subject).
// Each such character becomes a blank, so that it can neither cut the GUI's report, split a field
// or a message-id, nor end the line early.
bool isControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

// True when one of the eight bytes of `word` is below 0x20 or is 0x7F (exact: no false alarm).
bool holdsControl(uint64_t word) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    const uint64_t below = (word - kOnes * 0x20) & ~word & kHigh;
    const uint64_t del = word ^ (kOnes * 0x7F);
    return (below | ((del - kOnes) & ~del & kHigh)) != 0;
}

// Appended in runs between such characters, looked for eight bytes at a time: a song line is a
// few hundred characters, sent for every song of a search.
void appendText(std::string &line, std::string_view text) {
    std::size_t from = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.size() - i >= 8) {
            uint64_t word;
            std::memcpy(&word, text.data() + i, 8);
            if (!holdsControl(word)) {
                i += 7;
                continue;
            }
        }
        if (!isControl(text[i])) continue;
        line.append(text, from, i - from);
        line += ' ';
        from = i + 1;
    }
    line.append(text, from);
}

}  // namespace

int formatSongLine(std::string_view title, std::string_view category, std::string_view date, std::string_view newsgroup,
                   int32_t partCount, std::span<const std::string_view> messageIds, std::string &line) {
    line.clear();
    std::size_t idListLength = 0;
    for (std::string_view id : messageIds) idListLength += id.size() + 1;
    if (idListLength > kMessageIdListCapacity) return 0;

    char number[16];
    const auto converted = std::to_chars(number, number + sizeof number, static_cast<uint32_t>(partCount));
    const std::string_view count(number, static_cast<std::size_t>(converted.ptr - number));

    line.reserve(title.size() + category.size() + date.size() + newsgroup.size() + count.size() + idListLength + 8);
    for (std::string_view field : {title, category, date, newsgroup, count}) {
        line += '\t';
        appendText(line, field);
    }
    line += '\t';
    for (std::string_view id : messageIds) {
        appendText(line, id);
        line += '\f';
    }
    line += "\r\n";
    return 1;
}

}  // namespace corvane
