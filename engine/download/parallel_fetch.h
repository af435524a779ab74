// Fetches the articles of a download over several sessions at once, in request order: each
// session takes the next article of the queue and keeps a few "article" commands on the way; the
// download thread takes the replies in order, decodes them and sends the reports exactly as one
// session would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "download/download_request.h"
#include "download/song_download.h"
#include "net/connection.h"

namespace corvane {

// "article" commands on the way on each session of a download over several sessions.
inline constexpr int kArticlesInFlightPerSession = 4;

// The extra sessions of a download, opened on threads of their own while the download's own
// session connects, so that all of them start at once rather than one connect after another.
class EarlySessions {
public:
    // Starts opening `count` sessions (fewer when no more threads can be started).
    explicit EarlySessions(int count);
    // Waits for the openings; sessions nobody took are closed.
    ~EarlySessions();
    EarlySessions(const EarlySessions &) = delete;
    EarlySessions &operator=(const EarlySessions &) = delete;

    // Takes the next opened session, once its opening has ended: 0 with `error` when it failed;
    // false when every session has been taken.
    bool take(Connection &session, std::string &error);
    // Waits for every opening and takes the first session that opened; 0 when none did. The
    // download's own session uses it when the server turned that one away: the sessions opened
    // at the same moment may have been let in first.
    Connection takeAnyOpen();

private:
    struct Opening {
        Connection connection = 0;
        std::string error;
    };
    std::vector<Opening> openings_;
    std::vector<std::thread> threads_;
    std::size_t taken_ = 0;
    std::mutex mutex_;
};

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
                             const std::vector<RequestedSong> &songs, int sessions, EarlySessions *early = nullptr,
                             BackupServer *backup = nullptr);

}  // namespace corvane
