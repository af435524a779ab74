// The songs of the last search: turning the collected song lines into song records, and filling
// the song list from them.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace harbeat {

class SongListModel;

// One song of a search result.
struct SongRecord {
    QString title;     // "Song Title"
    QString category;  // "Group": the category the search request gave the song's newsgroup
    QString date;      // "Save Time", "m/d/yy"
    QString songId;    // "Song ID": newsgroup, part count and message-ids, with their TABs
    bool operator==(const SongRecord &) const = default;
};

// Reads the song lines (each "TAB title TAB category TAB date TAB newsgroup TAB parts TAB
// message-ids CR LF") of chunks 0 to chunkIndex, in order. A line is taken when its title
// contains ".MP3" in any letter case and no earlier taken line had the same title (exact
// comparison). Text after the last CR LF of a chunk is not a line. A search without songs gives
// no records.
std::vector<SongRecord> ParseSongChunks(const std::vector<QString> &songChunks, int32_t chunkIndex);

// Adds a row to the list for every record whose title contains the keyword in any letter case
// (every record when the keyword is ""). The list is not cleared first.
void FillSongList(SongListModel &list, const std::vector<SongRecord> &results, const QString &keyword);

}  // namespace harbeat
