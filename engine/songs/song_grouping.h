// Turns the part-numbered articles of one group into complete songs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "songs/parts_table.h"

namespace corvane {

// One complete song; its texts are views into the parts table it was grouped from.
struct GroupedSong {
    std::string_view title;      // the base name its parts share
    std::string_view date;       // date of its lowest-numbered part
    int32_t partCount = 0;       // m of its first part
    std::size_t firstMessageId;  // its m message-ids start here in GroupedSongs::messageIds
};

struct GroupedSongs {
    std::vector<GroupedSong> songs;            // in the byte order of their titles
    std::vector<std::string_view> messageIds;  // parts 1 to m of every song, song after song

    std::span<const std::string_view> messageIdsOf(const GroupedSong &song) const {
        return std::span<const std::string_view>(messageIds)
            .subspan(song.firstMessageId, static_cast<std::size_t>(song.partCount));
    }
};

// Orders the parts by base name (byte by byte as unsigned values, a prefix first) and then by
// part index; parts equal in both keep the order in which they arrived. A part number posted
// more than once counts once, by its first post. Then, for every distinct base name, looks at
// its lowest part: with m its part count, the name is a song when the m - 1 distinct parts after
// it carry each the next part index. A gap among those m gives no song; the lowest part need not
// be part 1; the part counts of the later parts are not compared. Songs are appended to `grouped` in base-name order;
// returns how many were made.
std::size_t groupSongs(const PartsTable &table, GroupedSongs &grouped);

}  // namespace corvane
