// One song of a download: its articles fetched, unstuffed and decoded, its files written.
#include "download/song_download.h"

#include <algorithm>

#include "core/engine_options.h"
#include "core/engine_settings.h"
#include "core/error_text.h"
#include "core/notify.h"
#include "corvane_n.h"
#include "decode/article_decoder.h"
#include "decode/dot_stuffing.h"
#include "download/file_writer.h"
#include "net/multiline.h"
#include "net/pending_bytes.h"
#include "net/text_helpers.h"
#include "nntp/session.h"

namespace corvane {
namespace {

void sendArticleProgress(int64_t runningArticle, int64_t totalArticles) {
    notifyProgress(totalArticles > 0 ? static_cast<double>(runningArticle) * 100 / static_cast<double>(totalArticles)
                                     : 100.0);
}

// When a song ends early, at most this many replies still on the way are read away to keep the
// session.
constexpr std::size_t kMostRepliesToDrain = 4;

// A 4xx or 5xx reply is its status line alone: the reader took it whole and the connection is
// still in step. Any other failure (a socket error, a time-out, an unexpected reply that may have
// lines behind it) leaves it out of step.
bool isRefusal(std::string_view error) {
    const int code = replyCode(error);
    return code >= 400 && code < 600;
}

// The "article" commands of one song, sent ahead of their replies: the server sends the next
// article while this one is decoded.
class ArticleWindow {
public:
    ArticleWindow(const std::vector<std::string> &messageIds, std::size_t articles, int pipeline)
        : messageIds_(messageIds), articles_(articles), pipeline_(static_cast<std::size_t>(std::max(pipeline, 1))) {}

    // Sends commands until `pipeline` are unanswered or every article is asked for; none while a
    // cancel is pending, except the first, as one at a time always did.
    int fill(std::string &error, Connection connection) {
        std::string commands;
        const std::size_t window = cancelRequested() ? 1 : pipeline_;
        while (sent_ < articles_ && sent_ - answered_ < window) {
            commands += "article " + messageIds_[sent_] + "\r\n";
            ++sent_;
        }
        return commands.empty() || netSend(error, connection, commands);
    }
    void answered() { ++answered_; }
    std::size_t unanswered() const { return sent_ - answered_; }

    // Reads away the replies still on the way. False when the connection is out of step.
    bool drain(Connection connection) {
        std::string error;
        std::string text;
        for (; answered_ < sent_; ++answered_) {
            if (!readMultiLineResponse(error, connection, 220, kResponseTerminator, text) && !isRefusal(error))
                return false;
        }
        return true;
    }

private:
    const std::vector<std::string> &messageIds_;
    std::size_t articles_;
    std::size_t pipeline_;
    std::size_t sent_ = 0;
    std::size_t answered_ = 0;
};

// A connection that may still deliver a reply to an earlier command, or whose server stopped
// answering, is not used for the next song: QUIT goes out without waiting for its answer.
void closeConnection(Connection &connection) {
    nntpQuitWithoutReply(connection);
    connection = 0;
}

// A song that ends before its last reply: a few replies still on the way are read away; more
// would be whole articles downloaded only to be thrown away, and a new session for the next song
// costs less than that.
void keepInStepOrClose(ArticleWindow &window, Connection &connection) {
    if (window.unanswered() > kMostRepliesToDrain || !window.drain(connection)) closeConnection(connection);
}

}  // namespace

int finishSong(std::string &error, const DownloadParameters &parameters, DecodedFileList &list) {
    joinDecodedParts(list);
    // Without a file the path to report would be one left from an earlier song: a preview
    // would then open the wrong song, or never be seen to end. Report the song as failed.
    if (nextDecodedFile(list, -1) < 0) {
        freeDecodedFiles(list);
        error = "No file could be decoded from this song.";
        return 0;
    }
    // A file whose data contradicts its own sizes or checksums is damaged: the song fails and
    // leaves no file. A save also fails when a yEnc file lacks bytes after all its articles came.
    for (const DecodedFile &file : list.files) {
        const std::string &problem = !file.error.empty()  ? file.error
                                     : parameters.preview ? std::string()
                                                          : file.missing;
        if (problem.empty()) continue;
        error = problem;
        freeDecodedFiles(list);
        return 0;
    }
    int problemsReported = 0;
    const std::string written =
        writeDecodedFiles(parameters.folder, parameters.fixedName, list, parameters.preview, &problemsReported);
    freeDecodedFiles(list);
    if (cancelRequested()) {
        error = kCancelled;
        return 0;
    }
    // 9006 names a file this song wrote whole, never one left from an earlier song.
    if (written.empty()) {
        // The writer has already named the file and its problem; the song fails without a
        // second report.
        if (problemsReported == 0) error = "No complete file of this song could be written.";
        return 0;
    }
    notifyGui(kNotifyFileWritten, written);
    return 1;
}

bool askBackupAfter(const BackupServer *backup, std::string_view reply) {
    return backup && backup->configured() && isMissingArticleReply(reply);
}

int failMissingParts(std::string &error, const MissingParts &missing, DecodedFileList &list) {
    std::string_view name;
    for (const DecodedFile &file : list.files) {
        if (!file.fileName.empty()) {
            name = file.fileName;
            break;
        }
    }
    error = missing.message(name);
    freeDecodedFiles(list);
    return 0;
}

int downloadSong(std::string &error, Connection &connection, const DownloadParameters &parameters,
                 int64_t totalArticles, int64_t runningArticle, const RequestedSong &song,
                 const std::vector<std::string> &messageIds, BackupServer *backup) {
    DecodedFileList list;
    if (!nntpGroup(error, connection, song.newsgroup)) {
        // A refusal is the server's reply; anything else leaves the connection unusable.
        if (replyCode(error) < 0) closeConnection(connection);
        return 0;
    }
    const std::size_t articles = parameters.preview ? std::min<std::size_t>(messageIds.size(), 1) : messageIds.size();
    const int pipeline = engineOptions().pipeline;
    if (pipeline > 1) sendWithoutDelay(connection);
    ArticleWindow window(messageIds, articles, pipeline);
    // Decodes the next article and reports it; 0 with `error` when the song must end.
    const auto decodeNext = [&](std::string &text) {
        undoDotStuffing(text);
        if (decodeArticle(text.data(), text.size(), &list) == kArticleTooManyParts) {
            error = kTooManyPartsError;
            return 0;
        }
        sendArticleProgress(runningArticle, totalArticles);
        ++runningArticle;
        text = std::string();
        if (cancelRequested()) {
            error = kCancelled;
            return 0;
        }
        return 1;
    };
    // The song ends early: the session is kept in step or closed; what the backup still owes is
    // not wanted.
    const auto endEarly = [&] {
        if (backup) backup->forgetRequests();
        if (error != kCancelled)
            keepInStepOrClose(window, connection);
        else if (window.unanswered() > 0)
            closeConnection(connection);
        return 0;
    };
    // From the first part asked of the backup on, the parts behind it wait, so that every part is
    // decoded in its order; the backup is asked for each miss at once, and answers them together.
    MissingParts missing;
    std::size_t firstAwaited = articles;
    std::vector<std::string> held(articles);
    for (std::size_t i = 0; i < articles; ++i) {
        std::string text;
        if (!window.fill(error, connection) ||
            !readMultiLineResponse(error, connection, 220, kResponseTerminator, text)) {
            // A refusal (430: no such article) was read whole and leaves the connection in step.
            if (!isRefusal(error)) {
                if (backup) backup->forgetRequests();
                closeConnection(connection);
                return 0;
            }
            window.answered();
            if (!askBackupAfter(backup, error)) return endEarly();
            backup->request(i, messageIds[i]);
            firstAwaited = std::min(firstAwaited, i);
            continue;
        }
        window.answered();
        if (firstAwaited < articles)
            held[i] = std::move(text);
        else if (!decodeNext(text))
            return endEarly();
    }
    for (std::size_t i = firstAwaited; i < articles; ++i) {
        std::string text;
        if (!backup->requested(i)) {
            text = std::move(held[i]);
        } else if (!takeMissingPart(*backup, i, i + 1, text, missing)) {
            if (cancelRequested()) {
                error = kCancelled;
                return endEarly();
            }
            // The song's other parts are still read, so that the failure names every part
            // missing on both servers.
            sendArticleProgress(runningArticle, totalArticles);
            ++runningArticle;
            continue;
        }
        if (!decodeNext(text)) return endEarly();
    }
    if (!missing.empty()) return failMissingParts(error, missing, list);
    return finishSong(error, parameters, list);
}

}  // namespace corvane
