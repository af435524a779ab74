// Fetches the articles of a download over several sessions at once, in request order: each
// session takes the next article of the queue and keeps a few "article" commands on the way; the
// download thread takes the replies in order, decodes them and sends the reports exactly as one
// session would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "download/download_request.h"
#include "download/song_download.h"
#include "net/connection.h"
#include "nntp/session_openings.h"

namespace corvane {

// "article" commands on the way on each session of a download over several sessions.
inline constexpr int kArticlesInFlightPerSession = 4;

// The extra sessions worth opening early for a download of `songs` over `sessions` sessions.
int earlySessionCount(const DownloadParameters &parameters, const std::vector<RequestedSong> &songs, int sessions);

// Runs the songs of a download over `connection` and up to `sessions` - 1 more sessions, with
// the reports of the songs (9000 before each, 9004 per article, 9006 or 9001 per song) in request
// order. A song whose article fails fails alone; an article whose session drops is fetched once
// more on another. Returns when every song is done or a cancel was requested. `connection`
// becomes 0 when it cannot carry another command. False, before any report, when no thread
// could be started for the sessions. Sessions in `early` are used before any other is opened.
// Articles the main server lacks are asked of a configured `backup`, as downloadSong does.
bool downloadSongsOnSessions(Connection &connection, const DownloadParameters &parameters,
                             const std::vector<RequestedSong> &songs, int sessions, SessionOpenings *early = nullptr,
                             BackupServer *backup = nullptr);

}  // namespace corvane
