// The backup server of a download: asked for an article only when the main server answered that
// it does not have it. One session, opened at the first such article and kept for the rest of
// the download.
#pragma once

#include <cstddef>
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
    Result fetchArticle(std::string &error, const std::string &group, const std::string &messageId,
                        std::string &text);

private:
    Result ask(std::string &error, const std::string &group, const std::string &messageId, std::string &text);
    void close();

    EngineOptions options_;
    Connection connection_ = 0;
    bool usedBefore_ = false;  // the session has answered an article: a later failure may be an idle drop
    std::string group_;        // the group selected on the session; empty: none
    bool groupMissing_ = false;
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

// Asks the backup for part `part` (numbered from 1) of a song, which the main server lacks. True
// with `text` (the reply's data lines) when the backup has it; otherwise false and the part is
// added to `missing`, with the backup's failure when it failed. A cancel ends the ask early: the
// caller sees it through cancelRequested().
bool fetchMissingPart(BackupServer &backup, const std::string &group, const std::string &messageId, std::size_t part,
                      std::string &text, MissingParts &missing);

// "3", "3 and 7", "3, 5 and 7"; past ten numbers the rest are counted ("... 10 and 5 more").
std::string partNumberList(const std::vector<std::size_t> &parts);

}  // namespace corvane
