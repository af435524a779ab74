// One song of a download: its articles fetched, unstuffed and decoded, its files written.
#include "download/song_download.h"

#include <algorithm>

#include "core/engine_settings.h"
#include "core/error_text.h"
#include "core/notify.h"
#include "corvane_n.h"
#include "decode/article_decoder.h"
#include "decode/dot_stuffing.h"
#include "download/file_writer.h"
#include "net/multiline.h"
#include "nntp/session.h"

namespace corvane {
namespace {

void sendArticleProgress(int64_t runningArticle, int64_t totalArticles) {
    notifyProgress(totalArticles > 0 ? static_cast<double>(runningArticle) * 100 / static_cast<double>(totalArticles)
                                     : 100.0);
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
    // Without a file the path to report would be one left from an earlier song: a preview
    // would then open the wrong song, or never be seen to end. Report the song as failed.
    if (nextDecodedFile(list, -1) < 0) {
        freeDecodedFiles(list);
        error = "No file could be decoded from this song.";
        return 0;
    }
    const std::string written = writeDecodedFiles(parameters.folder, parameters.fixedName, list, parameters.preview);
    freeDecodedFiles(list);
    if (cancelRequested()) {
        error = kCancelled;
        return 0;
    }
    // 9006 names a file this song wrote whole, never one left from an earlier song.
    if (written.empty()) {
        error = "No complete file of this song could be written.";
        return 0;
    }
    notifyGui(kNotifyFileWritten, written);
    return 1;
}

}  // namespace corvane
