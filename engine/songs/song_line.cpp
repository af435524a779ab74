#include "songs/song_line.h"

#include <charconv>
#include <cstdint>

namespace corvane {

int formatSongLine(const GroupedSong &song, std::string_view title, std::string_view category,
                   std::string_view newsgroup, std::string &line) {
    line.clear();
    std::size_t idListLength = 0;
    for (std::string_view id : song.messageIds) idListLength += id.size() + 1;
    if (idListLength > kMessageIdListCapacity) return 0;

    char count[16];
    const auto converted = std::to_chars(count, count + sizeof count, static_cast<uint32_t>(song.partCount));
    const std::string_view partCount(count, static_cast<std::size_t>(converted.ptr - count));

    line.reserve(title.size() + category.size() + song.date.size() + newsgroup.size() + partCount.size() +
                 idListLength + 8);
    for (std::string_view field : {title, category, std::string_view(song.date), newsgroup, partCount}) {
        line += '\t';
        line.append(field);
    }
    line += '\t';
    for (std::string_view id : song.messageIds) {
        line.append(id);
        line += '\f';
    }
    line += "\r\n";
    return 1;
}

}  // namespace corvane
