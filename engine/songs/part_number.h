// Part numbers in subjects: "Artist - Title.mp3 (2/5)" or "[2/5]".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// Room for a base name: 1,023 characters (a longer one is cut).
inline constexpr std::size_t kBaseNameCapacity = 1023;

// Finds the last opening bracket "(" or "[" and the last closing bracket ")" or "]" of the
// subject (they need not match in kind). `baseName` becomes the text before the opening bracket,
// also when a later check fails. With a "/" between the brackets, n and m are read as decimal
// numbers (leading blanks skipped); m is stored in `partCount`, n - 1 in `partIndex`, and n - 1
// is returned. Returns -1 when there is no usable part number (also when n or m is below 1).
int parsePartNumber(std::string_view subject, std::string &baseName, int32_t &partIndex, int32_t &partCount);
// The same, with the base name as a view into `subject`.
int parsePartNumber(std::string_view subject, std::string_view &baseName, int32_t &partIndex, int32_t &partCount);

// The part number of a subject as the song search reads it: parsePartNumber's, and besides a
// subject that names an .mp3 file (any letter case) and carries no part marker "(n/m)",
// "[n/m]" or "(n of m)" anywhere may be a whole song of one article: its base name is the whole
// subject, part index 0 of 1, and `unmarked` (when given) is set, as such a subject alone cannot
// tell a song from a text post about one. Subjects without ".mp3" stay as parsePartNumber reads them.
int parseSongSubject(std::string_view subject, std::string_view &baseName, int32_t &partIndex, int32_t &partCount,
                     bool *unmarked = nullptr);

// Whether the subject carries the word "yEnc" (any letter case), as yEnc posters' subjects do.
bool namesYenc(std::string_view subject);

// Position of the last character of `text` that occurs in `set`, or npos.
std::size_t findLastOf(std::string_view text, std::string_view set);

}  // namespace corvane
