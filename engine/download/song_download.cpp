#include "download/song_download.h"

#include <cstdio>

#include "api/debug_log.h"
#include "api/engine_settings.h"
#include "api/error_text.h"
#include "api/notify.h"
#include "corvane_n.h"
#include "decode/article_decoder.h"
#include "decode/dot_stuffing.h"
#include "download/file_writer.h"
#include "net/multiline.h"
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

void sendSongStatus(bool preview, std::size_t number, std::size_t count) {
    if (preview) {
        notifyGui(kNotifyStatus, kPreviewStatus);
        return;
    }
    char text[96];
    std::snprintf(text, sizeof text, "Downloading requested songs (%zu/%zu)...", number, count);
    notifyGui(kNotifyStatus, text);
}

void sendArticleProgress(int64_t runningArticle, int64_t totalArticles) {
    notifyProgress(totalArticles > 0 ? static_cast<double>(runningArticle) * 100 / static_cast<double>(totalArticles)
                                     : 100.0);
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

}  // namespace

int downloadSong(std::string &error, Connection connection, const DownloadParameters &parameters, int64_t totalArticles,
                 int64_t runningArticle, const RequestedSong &song, const std::vector<std::string> &messageIds) {
    DecodedFileList list;
    if (!nntpGroup(error, connection, song.newsgroup)) return 0;
    const std::size_t articles = parameters.preview ? std::min<std::size_t>(messageIds.size(), 1) : messageIds.size();
    for (std::size_t i = 0; i < articles; ++i) {
        if (!netSend(error, connection, "article " + messageIds[i] + "\r\n")) return 0;
        std::string text;
        if (!readMultiLineResponse(error, connection, 220, kResponseTerminator, text)) return 0;
        undoDotStuffing(text);
        decodeArticle(text.data(), text.size(), &list);
        sendArticleProgress(runningArticle, totalArticles);
        ++runningArticle;
        text = std::string();
        if (cancelRequested()) {
            error = kCancelled;
            return 0;
        }
    }
    joinDecodedParts(list);
    notifyGui(kNotifyFileWritten, writeDecodedFiles(parameters.folder, parameters.fixedName, list, parameters.preview));
    freeDecodedFiles(list);
    return 1;
}

void songDownloadWorker(const DownloadParameters &parameters) {
    std::string error;
    const Connection connection = nntpOpenStoredSession(error);
    if (!connection) {
        errorExit(error, 0);
        return;
    }
    std::vector<RequestedSong> songs;
    if (!readSongTable(error, parameters, songs)) {
        errorExit(error, connection);
        return;
    }

    int64_t totalArticles = 0;
    for (const RequestedSong &song : songs) totalArticles += song.partCount;
    int64_t runningArticle = 1;
    for (std::size_t k = 0; k < songs.size(); ++k) {
        const RequestedSong &song = songs[k];
        sendSongStatus(parameters.preview, k + 1, songs.size());
        const std::vector<std::string> messageIds = splitMessageIds(song.messageIdList);
        error.clear();
        if (!checkSongLimits(error, parameters, messageIds.size()) ||
            !downloadSong(error, connection, parameters, totalArticles, runningArticle, song, messageIds)) {
            // A cancel ends the whole download, not just this song.
            if (cancelRequested()) {
                errorExit(std::string(kCancelled), connection);
                return;
            }
            notifyGui(kNotifyError, error);
        }
        runningArticle += song.partCount;
        if (cancelRequested()) {
            errorExit(std::string(kCancelled), connection);
            return;
        }
    }
    nntpQuit(connection);

    if (parameters.preview) {
        notifyGui(kNotifyStatus, kPreviewDone);
    } else {
        notifyGui(kNotifySaveDone, kSaveDone);
        notifyGui(kNotifyDownloadDone, " ");
    }
}

}  // namespace corvane
