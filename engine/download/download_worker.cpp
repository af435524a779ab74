// The download worker: reads the request, runs the songs one by one and sends the reports that
// frame a download.
#include <cstdio>
#include <new>
#include <optional>
#include <utility>

#include "core/debug_log.h"
#include "core/engine_settings.h"
#include "core/error_text.h"
#include "core/notify.h"
#include "corvane_n.h"
#include "core/engine_options.h"
#include "download/parallel_fetch.h"
#include "download/song_download.h"
#include "nntp/session.h"

namespace corvane {
namespace {

constexpr std::string_view kPreviewStatus = "Downloading song preview...";
constexpr std::string_view kPreviewDone = "Downloading song preview...DONE!";
constexpr std::string_view kSaveDone = "Downloading requested songs...DONE!";
constexpr std::string_view kTooManySongs = "Only a MAX of 10,000 songs can be saved at once.";
constexpr std::string_view kTooManyParts = "A song of more than 1,024 parts cannot be downloaded.";
constexpr std::string_view kFolderTooLong = "The download folder name is longer than 259 characters.";
constexpr std::string_view kFixedNameTooLong = "The file name is longer than 287 characters.";
constexpr std::string_view kNoFolder = "No download folder is given.";

}  // namespace

void sendSongStatus(bool preview, std::size_t number, std::size_t count) {
    if (preview) {
        notifyGui(kNotifyStatus, kPreviewStatus);
        return;
    }
    char text[96];
    std::snprintf(text, sizeof text, "Downloading requested songs (%zu/%zu)...", number, count);
    notifyGui(kNotifyStatus, text);
}

// Songs the engine refuses before fetching anything.
int checkSongLimits(std::string &error, const DownloadParameters &parameters, std::size_t messageIdCount) {
    if (messageIdCount > kMaxMessageIdsPerSong)
        error = kTooManyParts;
    else if (parameters.folder.empty())
        error = kNoFolder;  // the files would land in the file system's root
    else if (parameters.folder.size() > kMaxFolderLength)
        error = kFolderTooLong;
    else if (parameters.fixedName.size() > kMaxFixedNameLength)
        error = kFixedNameTooLong;
    else
        return 1;
    return 0;
}

namespace {

// Reads the request into the song table. 0 with `error` set when it is refused or cancelled.
int readSongTable(std::string &error, const DownloadParameters &parameters, std::vector<RequestedSong> &songs) {
    std::size_t position = 0;
    for (;;) {
        RequestedSong song;
        const int result = readRequestedSong(parameters.request, position, parameters.preview, song);
        if (result == kRequestEnd) return 1;
        if (songs.size() == kMaxSongsPerDownload) {
            error = kTooManySongs;
            return 0;
        }
        if (result == kSongRead) songs.push_back(std::move(song));
        if (cancelRequested()) {
            error = kCancelled;
            return 0;
        }
        if (result == kSongIncomplete) return 1;
    }
}

void errorExit(const std::string &error, Connection connection) {
    debugLogError(error);
    notifyGui(kNotifyError, error);
    nntpQuit(connection);
}

// One song: refused, downloaded, or failed on its own. 0 with `error` set when it failed.
int fetchSong(std::string &error, Connection &connection, const DownloadParameters &parameters, int64_t totalArticles,
              int64_t runningArticle, const RequestedSong &song, BackupServer &backup) {
    try {
        const std::vector<std::string> messageIds = splitMessageIds(song.messageIdList);
        return checkSongLimits(error, parameters, messageIds.size()) &&
               downloadSong(error, connection, parameters, totalArticles, runningArticle, song, messageIds, &backup);
    } catch (const std::bad_alloc &) {
        // A song too large for the memory left fails alone; its buffers are released by now. Its
        // replies may still be on the way: the next song gets a new session.
        nntpQuitWithoutReply(std::exchange(connection, 0));
        error = kOutOfMemory;
        return 0;
    }
}

void downloadSongsOneByOne(const DownloadParameters &parameters, const std::vector<RequestedSong> &songs,
                           Connection &connection, BackupServer &backup);

// The worker's run; `connection` is the open session, 0 once it has been closed.
void runDownload(const DownloadParameters &parameters, Connection &connection) {
    // The request is read first, so that the extra sessions it needs can open beside this one;
    // a refused request is still reported after the connection, as it always was.
    std::string tableError;
    std::vector<RequestedSong> songs;
    const bool tableRead = readSongTable(tableError, parameters, songs);
    const int sessions = engineOptions().connections;
    std::optional<SessionOpenings> early;
    if (tableRead && sessions > 1) early.emplace(earlySessionCount(parameters, songs, sessions));

    std::string error;
    connection = nntpOpenStoredSession(error);
    if (!connection && early) connection = early->takeAnyOpen();
    if (!connection) {
        errorExit(error, 0);
        return;
    }
    if (!tableRead) {
        errorExit(tableError, std::exchange(connection, 0));
        return;
    }

    bool onSessions = false;
    {
        // Opened at the first article the main server lacks; closed before the last reports.
        BackupServer backup;
        onSessions = sessions > 1 && downloadSongsOnSessions(connection, parameters, songs, sessions,
                                                             early ? &*early : nullptr, &backup);
        if (!onSessions) downloadSongsOneByOne(parameters, songs, connection, backup);
    }
    if (cancelRequested()) {
        errorExit(std::string(kCancelled), std::exchange(connection, 0));
        return;
    }
    // Over several sessions the others have been left without waiting for their goodbyes; this
    // one is left the same way, so that the end is not a round trip later.
    if (onSessions)
        nntpQuitWithoutReply(std::exchange(connection, 0));
    else
        nntpQuit(std::exchange(connection, 0));

    if (parameters.preview) {
        notifyGui(kNotifyStatus, kPreviewDone);
    } else {
        notifyGui(kNotifySaveDone, kSaveDone);
        notifyGui(kNotifyDownloadDone, " ");
    }
}

// The songs in order over one session, reopened for the next song when one left it unusable.
void downloadSongsOneByOne(const DownloadParameters &parameters, const std::vector<RequestedSong> &songs,
                           Connection &connection, BackupServer &backup) {
    std::string error;
    int64_t totalArticles = 0;
    for (const RequestedSong &song : songs) totalArticles += song.partCount;
    int64_t runningArticle = 1;
    for (std::size_t k = 0; k < songs.size(); ++k) {
        sendSongStatus(parameters.preview, k + 1, songs.size());
        error.clear();
        // A song that left the connection unusable closed it: the next song gets a new session.
        const bool connected = connection || (connection = nntpOpenStoredSession(error));
        if (!connected || !fetchSong(error, connection, parameters, totalArticles, runningArticle, songs[k], backup)) {
            // A cancel ends the whole download, not just this song.
            if (cancelRequested()) break;
            // Empty when the failure was already reported (a file the writer could not write).
            if (!error.empty()) notifyGui(kNotifyError, error);
        }
        // Counted also for a failed song, so that the progress of the songs after it still ends
        // at 100.
        runningArticle += songs[k].partCount;
        if (cancelRequested()) break;
    }
}

}  // namespace

void songDownloadWorker(const DownloadParameters &parameters) {
    Connection connection = 0;
    try {
        runDownload(parameters, connection);
    } catch (const std::exception &) {
        // Whatever failed, the download still ends with its error report.
        errorExit(std::string(kOutOfMemory), connection);
    }
}

}  // namespace corvane
