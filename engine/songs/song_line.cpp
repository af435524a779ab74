#include "songs/song_line.h"

#include <charconv>

namespace corvane {
namespace {

// Texts from the server may hold NUL, tab, form feed or line ends (a hostile or broken subject).
// Each such character becomes a blank, so that it can neither cut the GUI's report, split a field
// or a message-id, nor end the line early.
void appendText(std::string &line, std::string_view text) {
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        line += u < 0x20 || u == 0x7F ? ' ' : c;
    }
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
