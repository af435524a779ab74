// The song search worker behind mp3GetSongs.
#pragma once

#include <string>

namespace corvane {

// Runs one whole search over a SearchRequest on the calling (worker) thread, with the stored
// server settings. First pass: selects every newsgroup with "group" and sums the article ranges
// (a group that times out puts its category on the UnavailableList once; any other refusal ends
// the search). Second pass: reads every selected group and sends its songs (a group that times
// out puts its name on the list; any other failure is reported with 9001 and the search goes
// on). The last report is exactly one of 9003 "DONE", 9001 "No Songs." or 9001 with an error
// text; 9008 with the UnavailableList may come just before the first two.
void songSearchWorker(const std::string &searchRequest);

}  // namespace corvane
