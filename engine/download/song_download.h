// The download worker: fetches every article of the requested songs, decodes them and writes
// the songs' files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "download/download_request.h"
#include "net/connection.h"

namespace corvane {

// Longest download folder and fixed file name accepted (characters).
inline constexpr std::size_t kMaxFolderLength = 259;
inline constexpr std::size_t kMaxFixedNameLength = 287;

struct DownloadParameters {
    std::string folder;
    std::string fixedName;  // empty: each file under its own name
    std::string request;    // the DownloadRequest
    bool preview = false;   // first article of each song only, written even when incomplete
};

// The worker's whole run, from opening the session to its last report.
void songDownloadWorker(const DownloadParameters &parameters);

// Fetches, decodes and writes one song; sends 9004 after each article and 9006 at the end. Up to
// the pipeline option's "article" commands are on the way at once. 1 = done, 0 = failed (`error`
// says why; also when no file at all could be decoded). When the connection cannot carry another
// command (a time-out, a closed connection, replies still on the way), QUIT goes out without
// waiting and `connection` becomes 0.
int downloadSong(std::string &error, Connection &connection, const DownloadParameters &parameters,
                 int64_t totalArticles, int64_t runningArticle, const RequestedSong &song,
                 const std::vector<std::string> &messageIds);

}  // namespace corvane
