// One overview line ("xover" reply) as the song search keeps it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "nntp/overview_layout.h"

namespace corvane {

// An article whose subject carries a part number such as (2/5) or [2/5], or a one-article song. The texts are views
// into the overview line. The Bytes and Lines fields are not kept: the engine computes no song size.
struct OverviewEntry {
    std::string_view baseName;   // the subject before its last opening bracket
    std::string_view messageId;  // exactly as received, angle brackets included
    std::string_view date;       // exactly as received
    int32_t partIndex = 0;       // n - 1 of (n/m)
    int32_t partCount = 0;       // m of (n/m)
    int64_t number = 0;          // the article number (field 0); 0 when it is not a number
};

// Overview lines are read with this capacity: a line holds at most 4,095 characters.
inline constexpr std::size_t kOverviewLineCapacity = 4096;
// A line is split into at most this many fields; the text after the last one is ignored.
inline constexpr std::size_t kMaxOverviewFields = 32;
// Longer subjects are cut to this many characters before their part number is looked for.
inline constexpr std::size_t kSubjectCapacity = 1023;

// Splits the line at its TABs (field 0 is the article number) and takes the subject, message-id
// and date at the layout's positions. Returns 1 and fills `entry` (views into `line`) when the
// subject carries a usable part number, or names an .mp3 file without any part marker (a song of
// one article, part 1 of 1: see parseSongSubject) and the article looks like an encoded file: a
// yEnc subject, or a Bytes field of at least 2,000 or a Lines field of at least 20 (a text post
// about a song is far smaller). Returns 0 otherwise, or when the line lacks one of those fields or
// has an empty message-id (no download could fetch such a part).
int parseOverviewLine(std::string_view line, const OverviewLayout &layout, OverviewEntry &entry);

}  // namespace corvane
