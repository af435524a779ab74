// The conversation with one client: greeting, then one command after another until QUIT, the
// client closes, or the server stops.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "client_connection.h"
#include "news_store_impl.h"
#include "newsd/news_server.h"

namespace harbeat::newsd {

// Set once when the server stops; sessions sleeping in a delay wake up.
class StopSignal {
public:
    void request();
    bool requested() const;
    // Waits for the duration or until stop is requested; false when stopped.
    bool sleepFor(std::chrono::milliseconds duration) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool requested_ = false;
};

class NntpSession {
public:
    NntpSession(ClientConnection &connection, NewsStore::Impl &store, const ServerOptions &options,
                const StopSignal &stop, std::size_t connectionNumber);
    void run();
    // A connection beyond the server's limit: its first AUTHINFO is refused and it is closed.
    void refuseLogin() { refuseLogin_ = true; }

private:
    enum class Next { Continue, Close, Silence };
    struct Command {
        std::string verb;  // upper case
        std::vector<std::string_view> arguments;
        std::string_view argumentText;  // everything after the verb, trimmed
    };

    Next handle(std::string_view line);
    Next applyRules(const Command &command);
    Next dispatch(const Command &command);
    Next dispatchCommand(const Command &command);
    void reply(int code, std::string_view text);
    void log(std::string_view text) const;

    // Groups and lists (session_groups.cpp).
    void group(const Command &command);
    void listGroup(const Command &command);
    void list(const Command &command);
    void newGroups(const Command &command);
    void next(bool forward);
    void appendActiveLine(const GroupInfo &info);
    template <typename Filter>
    void listGroups(Filter &&filter, void (NntpSession::*appendLine)(const GroupInfo &));
    void appendActiveTimesLine(const GroupInfo &info);
    void appendNewsgroupsLine(const GroupInfo &info);

    // Articles and overview (session_articles.cpp).
    enum class Part { Article, Head, Body, Stat };
    void article(const Command &command, Part part);
    void overview(const Command &command);
    void sendArticle(const ArticleHandle &article, Part part);
    // The options name the article as one this server lost.
    bool isDropped(const ArticleHandle &handle, std::uint64_t wanted) const;
    bool parseRange(std::string_view text, std::uint64_t &from, std::uint64_t &to) const;
    void sendOverviewRange(const GroupView &view, std::uint64_t from, std::uint64_t to);

    // Compression (session_compression.cpp).
    void compress(const Command &command);
    void xfeature(const Command &command);
    bool gzipsReplyTo(const Command &command) const;
    void gzipReplyFrom(std::size_t mark);
    void appendCompressionCapabilities(std::string &out) const;

    // Login and posting (session_posting.cpp).
    void authinfo(const Command &command);
    Next post();
    bool loginRequired() const { return !options_.user.empty(); }

    ClientConnection &connection_;
    NewsStore::Impl &store_;
    const ServerOptions &options_;
    const StopSignal &stop_;
    std::size_t connectionNumber_;

    std::optional<std::string> currentGroup_;
    std::optional<std::uint64_t> currentArticle_;
    bool authenticated_ = false;
    bool refuseLogin_ = false;
    std::optional<std::string> pendingUser_;
    std::vector<int> ruleMatches_;
    bool deflateActive_ = false;
    bool gzipActive_ = false;
    bool gzipTerminatorInside_ = false;
    std::vector<std::uint8_t> gzipLevelBuffer_;
    std::vector<std::uint8_t> gzipPacked_;
};

}  // namespace harbeat::newsd
