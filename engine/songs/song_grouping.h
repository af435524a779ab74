// Turns the part-numbered articles of one group into complete songs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "songs/overview_line.h"

namespace corvane {

struct GroupedSong {
    std::string title;                    // the base name its parts share
    std::vector<std::string> messageIds;  // parts 1 to m, in part order
    int32_t partCount = 0;                // m of its first part
    std::string date;                     // date of its lowest-numbered part
};

// Sorts the parts by base name (byte by byte as unsigned values, a prefix first) and then by
// part index; parts equal in both keep the order in which they arrived. Then, for every
// distinct base name, looks at its lowest part: with m its part count, the name is a song when
// the m - 1 parts after it carry the same name and each the next part index. A repeated part
// number or a gap among those m gives no song; the lowest part need not be part 1; the part
// counts of the later parts are not compared. Songs are appended to `songs` in base-name order;
// returns how many were made. The texts of the songs' parts are moved into the songs, so the
// parts are spent afterwards.
std::size_t groupSongs(std::vector<OverviewEntry> &parts, std::vector<GroupedSong> &songs);

}  // namespace corvane
