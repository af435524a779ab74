// The store's internals, shared by the store's own files and the connection handler.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "article_text.h"
#include "newsd/news_server.h"
#include "synthetic_group.h"

namespace harbeat::newsd {

// An article as stored, with its overview line prepared (all but the number).
struct StoredArticle {
    std::string text;  // header, empty line, body; CR LF
    ArticleLayout layout;
    std::string messageId;
    // "\tsubject\tfrom\tdate\tmessage-id\treferences\tbytes\tlines\tXref: host group:n ...\r\n"
    std::string overviewTail;
    // Where the article is filed.
    std::vector<std::pair<std::string, std::uint64_t>> placements;
};

struct GroupState {
    std::string name;
    std::int64_t created = 0;
    bool postingAllowed = true;
    std::string description;
    std::uint64_t nextNumber = 1;
    std::map<std::uint64_t, std::shared_ptr<const StoredArticle>> articles;
    std::shared_ptr<SyntheticGroup> synthetic;
};

// One article as a connection sends it: a stored article or a generated text.
struct ArticleHandle {
    std::uint64_t number = 0;  // 0 when found by message-id
    std::uint64_t syntheticNumber = 0;  // its number in its synthetic group, however it was found
    std::shared_ptr<const StoredArticle> stored;
    std::string generated;
    ArticleLayout layout;
    std::string messageId;

    std::string_view text() const { return stored ? std::string_view(stored->text) : std::string_view(generated); }
};

// A group's contents seen through one interface, whether stored or synthetic.
struct GroupView {
    GroupInfo info;
    std::shared_ptr<SyntheticGroup> synthetic;
};

struct NewsStore::Impl {
    explicit Impl(std::string host) : hostName(std::move(host)) {}

    std::optional<GroupView> view(std::string_view name) const;
    // Up to `limit` groups in name order after `after` (from the first when after is empty).
    std::vector<GroupInfo> groupPage(const std::string &after, std::size_t limit) const;
    std::optional<ArticleHandle> articleByNumber(std::string_view group, std::uint64_t number) const;
    std::optional<ArticleHandle> articleById(std::string_view messageId) const;
    std::optional<std::string> messageIdByNumber(std::string_view group, std::uint64_t number) const;
    // The overview line of an article found by message-id, with 0 as its number.
    std::optional<std::string> overviewLineById(std::string_view messageId) const;
    // The lowest present number in [from, to] of the group, and the highest.
    std::optional<std::uint64_t> firstNumberIn(std::string_view group, std::uint64_t from, std::uint64_t to) const;
    std::optional<std::uint64_t> lastNumberIn(std::string_view group, std::uint64_t from, std::uint64_t to) const;
    // Up to `limit` stored articles of a stored group with numbers in [from, to].
    std::vector<std::pair<std::uint64_t, std::shared_ptr<const StoredArticle>>> storedRange(std::string_view group,
                                                                                            std::uint64_t from,
                                                                                            std::uint64_t to,
                                                                                            std::size_t limit) const;
    // Checks a posted article and stores it; empty on success, else the reason for a 441.
    std::string post(std::string article, std::string &messageId);

    // Caller holds the lock exclusively.
    std::string addArticleLocked(std::string article, bool createGroups, bool fromPost);
    bool addGroupLocked(const std::string &name, std::int64_t created, bool postingAllowed, std::uint64_t first,
                        std::string description);
    GroupInfo infoLocked(const GroupState &group) const;
    bool isKnownMessageIdLocked(const std::string &messageId) const;

    std::string hostName;
    mutable std::shared_mutex mutex;
    std::map<std::string, GroupState, std::less<>> groups;
    std::unordered_map<std::string, std::shared_ptr<const StoredArticle>> byMessageId;
    std::vector<std::string> posted;
    std::uint64_t generatedIds = 0;
};

}  // namespace harbeat::newsd
