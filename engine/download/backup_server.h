// The backup server of a download: asked for an article only when the main server answered that
// it does not have it. One session, opened at the first such article and kept for the rest of
// the download. Its "article" commands go out as soon as each miss is known, without waiting for
// the replies before them, so that several misses cost one round trip.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/engine_options.h"
#include "net/connection.h"

namespace corvane {

// An "article" reply that says the server lacks the article (430 no such article, 423 no such
// number, 420 no current article, 411 no such group), so that another server may have it. Any
// other reply is a failure of its own.
bool isMissingArticleReply(std::string_view reply);

class BackupServer {
public:
    // Takes the backup settings of the options in force now.
    BackupServer();
    ~BackupServer();  // says QUIT when a session was opened
    BackupServer(const BackupServer &) = delete;
    BackupServer &operator=(const BackupServer &) = delete;

    bool configured() const { return !options_.backupHost.empty(); }

    enum Result {
        Found,    // `text` holds the reply's data lines, as the main server's would
        Missing,  // the backup lacks it too
        Failed,   // the backup could not be asked, or refused otherwise: `error` says why
    };

    // Asks for the article (opening the session first when there is none); `token` names the
    // request for take(). A token is used once until it is taken.
    void request(std::size_t token, const std::string &messageId);
    bool requested(std::size_t token) const;
    // The answer to the request `token`, reading replies until it has come.
    Result take(std::size_t token, std::string &error, std::string &text);
    // Replies not taken are not wanted any more (a song ended early): the session, out of step
    // with them, is closed, and the next request opens a new one.
    void forgetRequests();

private:
    struct Answer {
        Result result = Failed;
        std::string text;
        std::string error;
    };
    struct Pending {
        std::size_t token;
        std::string messageId;
    };

    bool open(std::string &error);
    bool send(std::string &error, const std::string &messageId);
    void readOne();
    // Opens a new session and sends the requests on the way again; false when that cannot be
    // done (once per download, and only for a session that has answered before).
    bool resendOnNewSession(std::string &error);
    // The session failed with `error`: every request on the way fails with it.
    void failAll(const std::string &error);
    void close();

    EngineOptions options_;
    Connection connection_ = 0;
    bool answeredBefore_ = false;  // the session has answered: a failure later may be an idle drop
    bool retried_ = false;
    std::deque<Pending> pending_;
    std::map<std::size_t, Answer> answers_;
    std::string failure_;  // once the backup failed, it is not asked again in this download
};

// The parts of one song that the main server lacked and the backup did not deliver.
struct MissingParts {
    std::vector<std::size_t> parts;  // numbered from 1, in message-id order
    std::string backupFailure;       // what the backup failed with; empty: it lacks them too

    bool empty() const { return parts.empty(); }
    // The song's failure: "Parts 3 and 7 of Song.mp3 are on neither server.", or, when the backup
    // failed, "... are not on the main server, and the backup server failed: <why>". `songName`
    // empty: "this song".
    std::string message(std::string_view songName) const;
};

// Takes the backup's answer for part `part` (numbered from 1) of a song, requested under
// `token`. True with `text` (the reply's data lines) when the backup has it; otherwise false and
// the part is added to `missing`, with the backup's failure when it failed. A cancel ends the
// wait early: the caller sees it through cancelRequested().
bool takeMissingPart(BackupServer &backup, std::size_t token, std::size_t part, std::string &text,
                     MissingParts &missing);

// "3", "3 and 7", "3, 5 and 7"; past ten numbers the rest are counted ("... 10 and 5 more").
std::string partNumberList(const std::vector<std::size_t> &parts);

}  // namespace corvane
