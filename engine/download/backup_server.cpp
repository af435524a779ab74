#include "download/backup_server.h"

#include "core/engine_settings.h"
#include "core/error_text.h"
#include "net/multiline.h"
#include "net/pending_bytes.h"
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

// Its reply would change nothing and cost the download one more round trip.
BackupServer::~BackupServer() { close(); }

void BackupServer::close() {
    if (!connection_) return;
    nntpQuitWithoutReply(connection_);
    connection_ = 0;
    answeredBefore_ = false;
}

bool BackupServer::open(std::string &error) {
    // An article by its message-id needs no selected group (RFC 3977 6.2.1), so none is selected:
    // that saves the backup a round trip per group.
    connection_ = nntpOpenBackupSession(error, options_);
    if (!connection_) return false;
    sendWithoutDelay(connection_);
    return true;
}

bool BackupServer::send(std::string &error, const std::string &messageId) {
    return netSend(error, connection_, "article " + messageId + "\r\n");
}

void BackupServer::request(std::size_t token, const std::string &messageId) {
    std::string error;
    if (failure_.empty() && (connection_ || open(error))) {
        pending_.push_back({token, messageId});
        if (send(error, messageId) || resendOnNewSession(error)) return;
        failAll(withoutLineEnd(error));
        return;
    }
    error = withoutLineEnd(error);
    if (failure_.empty() && !cancelRequested()) failure_ = error;
    answers_[token] = Answer{Failed, std::string(), failure_.empty() ? error : failure_};
}

bool BackupServer::resendOnNewSession(std::string &error) {
    // A session kept since earlier articles may have been closed by the server meanwhile (an
    // idle one is, after a while): once, the articles on the way are asked again on a new one.
    if (!answeredBefore_ || retried_ || cancelRequested()) return false;
    retried_ = true;
    close();
    if (!open(error)) return false;
    for (const Pending &pending : pending_)
        if (!send(error, pending.messageId)) return false;
    return true;
}

bool BackupServer::requested(std::size_t token) const {
    if (answers_.count(token)) return true;
    for (const Pending &pending : pending_)
        if (pending.token == token) return true;
    return false;
}

void BackupServer::failAll(const std::string &error) {
    close();
    if (!cancelRequested()) failure_ = error;
    for (const Pending &pending : pending_) answers_[pending.token] = Answer{Failed, std::string(), error};
    pending_.clear();
}

void BackupServer::readOne() {
    std::string error;
    std::string text;
    if (readMultiLineResponse(error, connection_, 220, kResponseTerminator, text)) {
        answeredBefore_ = true;
        answers_[pending_.front().token] = Answer{Found, std::move(text), std::string()};
        pending_.pop_front();
        return;
    }
    const int code = replyCode(error);
    if (code >= 400 && code < 600) {
        // Read whole: the session stays in step.
        answeredBefore_ = true;
        const Result result = isMissingArticleReply(error) ? Missing : Failed;
        answers_[pending_.front().token] = Answer{result, std::string(), withoutLineEnd(error)};
        pending_.pop_front();
        return;
    }
    // A server that stopped answering is not waited for a second time.
    if (!isTimeOut(error) && resendOnNewSession(error)) return;
    failAll(withoutLineEnd(error));
}

BackupServer::Result BackupServer::take(std::size_t token, std::string &error, std::string &text) {
    while (!answers_.count(token)) {
        if (pending_.empty()) {
            error = kCancelled;  // never requested: nothing can come
            return Failed;
        }
        readOne();
    }
    auto found = answers_.find(token);
    Answer answer = std::move(found->second);
    answers_.erase(found);
    error = std::move(answer.error);
    text = std::move(answer.text);
    return answer.result;
}

void BackupServer::forgetRequests() {
    answers_.clear();
    if (pending_.empty()) return;
    pending_.clear();
    close();
}

bool takeMissingPart(BackupServer &backup, std::size_t token, std::size_t part, std::string &text,
                     MissingParts &missing) {
    std::string error;
    const BackupServer::Result result = backup.take(token, error, text);
    if (result == BackupServer::Found) return true;
    missing.parts.push_back(part);
    if (result == BackupServer::Failed && missing.backupFailure.empty()) missing.backupFailure = error;
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
