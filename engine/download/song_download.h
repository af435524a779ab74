// The download worker: fetches every article of the requested songs, decodes them and writes
// the songs' files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decode/decoded_files.h"
#include "download/backup_server.h"
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
// waiting and `connection` becomes 0. With a configured `backup`, an article the main server
// lacks is asked of it; the song then fails only when some part is on neither server, after all
// its other articles were read.
int downloadSong(std::string &error, Connection &connection, const DownloadParameters &parameters,
                 int64_t totalArticles, int64_t runningArticle, const RequestedSong &song,
                 const std::vector<std::string> &messageIds, BackupServer *backup = nullptr);

// The main server's reply to an article is one the backup may answer instead.
bool askBackupAfter(const BackupServer *backup, std::string_view reply);

// The failure of a song with parts on neither server: sets `error` naming them and the song
// (from its decoded files), releases the list, returns 0.
int failMissingParts(std::string &error, const MissingParts &missing, DecodedFileList &list);

// 9000 before a song: "Downloading song preview..." or "Downloading requested songs (k/n)...".
void sendSongStatus(bool preview, std::size_t number, std::size_t count);
// Songs refused before anything is fetched (too many parts, no or too long a folder or name).
// 0 with `error` set.
int checkSongLimits(std::string &error, const DownloadParameters &parameters, std::size_t messageIdCount);

// The end of a song whose articles are all decoded into `list`: joins the parts, writes the files
// and sends 9006; releases the list. 1 = done, 0 = failed (`error` says why, or is left empty
// when the writer has already reported the problem).
int finishSong(std::string &error, const DownloadParameters &parameters, DecodedFileList &list);

}  // namespace corvane
