// The songs of an NZB: its song files, each as the SongLine a search sends for a song.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "songs/nzb_reader.h"

namespace corvane {

// The category every song of an NZB is listed under.
inline constexpr std::string_view kNzbCategory = "nzb";

// Whether a title (as cleanSongTitle makes it) names a song file: an .mp3 (any letter case) at
// its end, or at the end of a quoted name in it ("[01/12] - "Track.mp3" "). Par2, nfo, sfv,
// pictures and "Album.mp3.par2" are not songs.
bool namesSongFile(std::string_view title);

// "Fri, 01 Mar 2024 00:00:00 +0000" for seconds since 1970 (UTC, English names), as a news server
// writes an article's Date; "" for -1.
std::string nzbDateText(int64_t seconds);

// Calls `send` with one SongLine per song file of the list, in the list's order: the title
// cleaned from the subject as a search cleans it, the category "nzb", the date, the first
// newsgroup, the number of distinct segment numbers and the message-ids in segment-number order
// (a repeated number counts once, its first message-id is used), each in angle brackets.
// Files without segments, and songs whose message-id list is too long for a SongLine, are left
// out. Returns the number of lines sent.
int64_t sendNzbSongLines(const NzbList &list, const std::function<void(std::string_view line)> &send);

}  // namespace corvane
