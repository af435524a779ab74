// Reads one newsgroup of a song search and sends its songs to the GUI.
#pragma once

#include <cstdint>
#include <string>

#include "net/connection.h"
#include "songs/overview_batch.h"
#include "songs/overview_cache.h"

namespace corvane {

class ExtraSessions;

inline constexpr std::string_view kPartsBufferFailed = "Unable to created parts buffer.";
inline constexpr std::string_view kHeadersBufferFailed = "Unable to created headers buffer.";

// A newsgroup of the search request that answered "group".
struct SearchGroup {
    std::string name;
    std::string category;
    int64_t first = 0;  // first and last article number of the "group" reply
    int64_t last = 0;
    int64_t count = 0;  // last - first: what the group adds to the search's progress total
};

// Narrows the group to its newest `depth` articles (0: all of them) and sets its count to what
// reading it adds to the search's progress total: without the articles a cache file already holds.
void planGroupRead(SearchGroup &group, int64_t depth, const OverviewCache *cache);
// The widest range of article numbers a search reads in one group. A range wider than this is
// no real group: "211 5 0 9223372036854775807" would overflow the arithmetic on the numbers and
// ask for overview batches without end.
inline constexpr int64_t kMaxGroupRange = int64_t(1) << 32;
// No server numbers articles near the top of 64 bits; a range up there is a lie, and the number
// after its last one would not exist.
inline constexpr int64_t kMaxArticleNumber = int64_t(1) << 62;

// Sets the group's first, last and count from the "group" reply's numbers (a negative number
// reads as 0). Returns 0, with `error` set, when the range is wider than kMaxGroupRange or ends
// above kMaxArticleNumber.
int setGroupRange(std::string &error, SearchGroup &group, int64_t first, int64_t last);

// Sends 9000 "Retrieving <category> songs...", selects the group again, reads its overview in
// batches of 51 numbers, groups the part-numbered articles into songs and sends one SongLine
// per song with 9009, in the byte order of the songs' base names. `songsSent` counts them.
// Returns 1 when done (also without songs); 0 on failure with `error` set, or when a cancel was
// requested. A refused batch, a time-out or a cancel discards the whole group: it then sends no
// SongLine at all. A connection lost on the way ends the group with its error too, but the
// complete songs among the articles read before are sent first (they count in `songsSent`). When the
// connection cannot carry another command (a time-out, a closed connection, replies still on the
// way), QUIT goes out without waiting and `connection` becomes 0.
// With a cache, the group's file supplies the articles it covers (announced with a second 9000,
// "Retrieving <category> songs... <n> new articles") and is rewritten once the group was read
// whole; a failed or cancelled group leaves its file as it was.
// With `extra`, long ranges are read over those sessions too, with the same reports.
int collectGroupSongs(std::string &error, Connection &connection, SearchProgress progress, const SearchGroup &group,
                      int64_t &songsSent, OverviewCache *cache = nullptr, ExtraSessions *extra = nullptr);

// 1204 as "1,204".
std::string withThousands(int64_t number);

}  // namespace corvane
