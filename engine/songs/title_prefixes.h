// Cleans the front of a song title of the words posters put before it ("REQ:", "repost", ...).
#pragma once

#include <string>

namespace corvane {

// Passes over the prefix table in its fixed order: an entry that begins the title (letters
// compared without regard to case) is cut off, and the next entry is tried on the shorter
// title. Passes repeat until one removes nothing. Only the front of the title changes, so a
// trailing blank stays, and short entries also bite into words: "Red Hot" becomes "d Hot".
void stripTitlePrefixes(std::string &title);

// The title a song is listed under, made from the base name its parts share: the prefixes cut as
// above, and for a yEnc post (the word "yEnc" in it) only the file name, without its quotes, the
// word "yEnc" and what follows: [1/3] - "Artist - Title.mp3" yEnc becomes
// "Artist - Title.mp3". Other titles only lose their prefixes.
void cleanSongTitle(std::string &title);

}  // namespace corvane
