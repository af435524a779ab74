#include "download/backup_server.h"

#include "core/engine_settings.h"
#include "core/error_text.h"
#include "net/multiline.h"
#include "net/text_helpers.h"
#include "nntp/session.h"

namespace corvane {
namespace {

constexpr std::size_t kMostPartsNamed = 10;

}  // namespace

bool isMissingArticleReply(std::string_view reply) {
    const int code = replyCode(reply);
    return code == 411 || code == 420 || code == 423 || code == 430;
}

BackupServer::BackupServer() : options_(engineOptions()) {}

BackupServer::~BackupServer() { close(); }

void BackupServer::close() {
    if (!connection_) return;
    cancelRequested() ? nntpQuitWithoutReply(connection_) : (void)nntpQuit(connection_);
    connection_ = 0;
    group_.clear();
    groupMissing_ = false;
    usedBefore_ = false;
}

BackupServer::Result BackupServer::fetchArticle(std::string &error, const std::string &group,
                                                const std::string &messageId, std::string &text) {
    if (!failure_.empty()) {
        error = failure_;
        return Failed;
    }
    const bool reused = connection_ != 0 && usedBefore_;
    Result result = ask(error, group, messageId, text);
    // A session kept since an earlier article may have been dropped by the server meanwhile (an
    // idle one is, after a while): one new session gets the article.
    if (result == Failed && reused && !connection_ && !cancelRequested()) result = ask(error, group, messageId, text);
    if (result == Failed && !cancelRequested()) failure_ = error;
    return result;
}

BackupServer::Result BackupServer::ask(std::string &error, const std::string &group, const std::string &messageId,
                                       std::string &text) {
    if (!connection_) {
        connection_ = nntpOpenBackupSession(error, options_);
        if (!connection_) return Failed;
    }
    if (group != group_) {
        if (!nntpGroup(error, connection_, group)) {
            if (replyCode(error) < 0) {
                nntpQuitWithoutReply(connection_);
                connection_ = 0;
                group_.clear();
                return Failed;
            }
            // A backup without the group has none of its articles.
            if (!isMissingArticleReply(error)) return Failed;
            groupMissing_ = true;
        } else {
            groupMissing_ = false;
        }
        group_ = group;
    }
    if (groupMissing_) return Missing;
    if (!netSend(error, connection_, "article " + messageId + "\r\n") ||
        !readMultiLineResponse(error, connection_, 220, kResponseTerminator, text)) {
        const int code = replyCode(error);
        if (code >= 400 && code < 600) return isMissingArticleReply(error) ? Missing : Failed;
        // Out of step or gone: the session is of no further use.
        nntpQuitWithoutReply(connection_);
        connection_ = 0;
        group_.clear();
        return Failed;
    }
    usedBefore_ = true;
    return Found;
}

bool fetchMissingPart(BackupServer &backup, const std::string &group, const std::string &messageId, std::size_t part,
                      std::string &text, MissingParts &missing) {
    std::string error;
    const BackupServer::Result result = backup.fetchArticle(error, group, messageId, text);
    if (result == BackupServer::Found) return true;
    missing.parts.push_back(part);
    if (result == BackupServer::Failed && missing.backupFailure.empty()) {
        // A server's reply ends in its line break; inside a sentence it would not.
        while (!error.empty() && (error.back() == '\n' || error.back() == '\r')) error.pop_back();
        missing.backupFailure = error;
    }
    return false;
}

std::string partNumberList(const std::vector<std::size_t> &parts) {
    std::string list;
    const std::size_t named = parts.size() > kMostPartsNamed ? kMostPartsNamed : parts.size();
    for (std::size_t i = 0; i < named; ++i) {
        if (i > 0) list += (i + 1 == named && named == parts.size()) ? " and " : ", ";
        list += std::to_string(parts[i]);
    }
    if (named < parts.size()) list += " and " + std::to_string(parts.size() - named) + " more";
    return list;
}

std::string MissingParts::message(std::string_view songName) const {
    const std::string name = songName.empty() ? std::string("this song") : std::string(songName);
    const bool one = parts.size() == 1;
    std::string text = (one ? "Part " : "Parts ") + partNumberList(parts) + " of " + name;
    if (backupFailure.empty()) return text + (one ? " is" : " are") + " on neither server.";
    return text + (one ? " is" : " are") + " not on the main server, and the backup server failed: " + backupFailure;
}

}  // namespace corvane
