#include <chrono>
#include <stdexcept>

#include "news_store_impl.h"
#include "synthetic_names.h"

namespace harbeat::newsd {

namespace {

// Creation times of generated group lists: 1995-01-01 to 2024-01-01.
constexpr std::int64_t kListCreatedFrom = 788918400;
constexpr std::int64_t kListCreatedTo = 1704067200;

std::uint64_t mixIndex(std::uint64_t value) {
    value += 0x9E3779B97F4A7C15ULL;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
    return value ^ (value >> 31);
}

std::string generatedGroupName(std::size_t index) {
    const std::size_t hierarchies = std::size(names::kGroupHierarchies);
    const std::size_t topics = std::size(names::kGroupTopics);
    const std::size_t words = std::size(names::kGroupWords);
    std::string name(names::kGroupHierarchies[index % hierarchies]);
    name.append(names::kGroupTopics[index / hierarchies % topics]);
    name += '.';
    name.append(names::kGroupWords[index / (hierarchies * topics) % words]);
    const std::size_t round = index / (hierarchies * topics * words);
    if (round > 0) {
        name += '.';
        appendNumber(name, round);
    }
    return name;
}

// The part after "@" of a message-id, without ">": synthetic groups use their name there.
std::string_view messageIdDomain(std::string_view messageId) {
    const std::size_t at = messageId.rfind('@');
    if (at == std::string_view::npos || !messageId.ends_with('>')) return {};
    return messageId.substr(at + 1, messageId.size() - at - 2);
}

}  // namespace

NewsStore::NewsStore(std::string hostName) : impl_(std::make_unique<Impl>(std::move(hostName))) {}

NewsStore::~NewsStore() = default;

GroupInfo NewsStore::Impl::infoLocked(const GroupState &group) const {
    GroupInfo info;
    info.name = group.name;
    info.postingAllowed = group.postingAllowed;
    info.createdUnixTime = group.created;
    info.description = group.description;
    if (group.synthetic) {
        info.synthetic = true;
        info.count = group.synthetic->presentCount();
        info.low = group.synthetic->firstNumber();
        info.high = group.synthetic->lastNumber();
    } else {
        info.count = group.articles.size();
        info.high = group.nextNumber - 1;
        info.low = group.articles.empty() ? group.nextNumber : group.articles.begin()->first;
    }
    return info;
}

bool NewsStore::Impl::addGroupLocked(const std::string &name, std::int64_t created, bool postingAllowed,
                                     std::uint64_t first, std::string description) {
    if (!isValidGroupName(name)) throw std::invalid_argument("invalid newsgroup name \"" + name + "\"");
    if (first < 1) throw std::invalid_argument("the first article number must be at least 1");
    if (groups.contains(name)) return false;
    GroupState &group = groups[name];
    group.name = name;
    group.created = created;
    group.postingAllowed = postingAllowed;
    group.description = std::move(description);
    group.nextNumber = first;
    return true;
}

bool NewsStore::addGroup(const std::string &name, std::int64_t createdUnixTime, bool postingAllowed,
                         std::uint64_t firstArticleNumber, std::string description) {
    std::unique_lock lock(impl_->mutex);
    return impl_->addGroupLocked(name, createdUnixTime, postingAllowed, firstArticleNumber, std::move(description));
}

bool NewsStore::Impl::isKnownMessageIdLocked(const std::string &messageId) const {
    if (byMessageId.contains(messageId)) return true;
    const auto group = groups.find(messageIdDomain(messageId));
    return group != groups.end() && group->second.synthetic &&
           group->second.synthetic->numberOfMessageId(messageId).has_value();
}

std::string NewsStore::Impl::addArticleLocked(std::string article, bool createGroups, bool fromPost) {
    std::string text = normalizeLineEnds(std::move(article));
    auto layout = findArticleLayout(text);
    if (!layout) throw std::invalid_argument("the article has no empty line after its header");
    std::string_view header = std::string_view(text).substr(0, layout->headerLength);
    if (std::string problem = headerProblem(header); !problem.empty()) throw std::invalid_argument(problem);

    const auto newsgroups = headerValue(header, "Newsgroups");
    const std::vector<std::string> names = newsgroups ? splitNewsgroups(*newsgroups) : std::vector<std::string>{};
    if (names.empty()) throw std::invalid_argument("the article has no Newsgroups header");
    if (fromPost) {
        if (!headerValue(header, "From")) throw std::invalid_argument("the article has no From header");
        if (!headerValue(header, "Subject")) throw std::invalid_argument("the article has no Subject header");
    }
    for (const std::string &name : names) {
        const auto found = groups.find(name);
        if (found == groups.end()) {
            if (!createGroups || !isValidGroupName(name)) throw std::invalid_argument("no such newsgroup " + name);
        } else if (found->second.synthetic) {
            throw std::invalid_argument("newsgroup " + name + " is read-only");
        } else if (fromPost && !found->second.postingAllowed) {
            throw std::invalid_argument("posting to " + name + " is not allowed");
        }
    }

    std::string messageId;
    if (auto given = headerValue(header, "Message-ID")) {
        messageId = std::move(*given);
        if (!isValidMessageId(messageId)) throw std::invalid_argument("malformed Message-ID " + messageId);
        if (isKnownMessageIdLocked(messageId)) {
            throw std::invalid_argument("duplicate Message-ID " + messageId);
        }
    } else {
        do {
            const auto now = std::chrono::system_clock::now().time_since_epoch();
            messageId = "<newsd." + std::to_string(++generatedIds) + "." +
                        std::to_string(std::chrono::duration_cast<std::chrono::seconds>(now).count()) + "@" + hostName +
                        ">";
        } while (byMessageId.contains(messageId));
        text.insert(layout->headerLength, "Message-ID: " + messageId + "\r\n");
        layout = findArticleLayout(text);
        header = std::string_view(text).substr(0, layout->headerLength);
    }

    auto stored = std::make_shared<StoredArticle>();
    stored->messageId = messageId;
    stored->layout = *layout;
    for (const std::string &name : names) {
        if (!groups.contains(name)) addGroupLocked(name, 0, true, 1, {});
        stored->placements.emplace_back(name, groups[name].nextNumber);
    }
    std::string &tail = stored->overviewTail;
    for (const char *field : {"Subject", "From", "Date"}) {
        tail += '\t';
        appendOverviewField(tail, headerValue(header, field).value_or(""));
    }
    tail += '\t';
    appendOverviewField(tail, messageId);
    tail += '\t';
    appendOverviewField(tail, headerValue(header, "References").value_or(""));
    tail += '\t';
    appendNumber(tail, text.size());
    tail += '\t';
    appendNumber(tail, countLines(std::string_view(text).substr(layout->bodyOffset)));
    tail += "\tXref: ";
    appendOverviewField(tail, hostName);
    for (const auto &[name, number] : stored->placements) {
        tail += ' ';
        tail += name;
        tail += ':';
        appendNumber(tail, number);
    }
    tail += "\r\n";
    stored->text = std::move(text);

    for (const auto &[name, number] : stored->placements) {
        GroupState &group = groups[name];
        group.articles.emplace(number, stored);
        group.nextNumber = number + 1;
    }
    byMessageId.emplace(messageId, stored);
    return messageId;
}

std::string NewsStore::addArticle(std::string rawArticle) {
    std::unique_lock lock(impl_->mutex);
    return impl_->addArticleLocked(std::move(rawArticle), true, false);
}

std::string NewsStore::Impl::post(std::string article, std::string &messageId) {
    std::unique_lock lock(mutex);
    try {
        messageId = addArticleLocked(std::move(article), false, true);
    } catch (const std::invalid_argument &refusal) {
        return refusal.what();
    }
    posted.push_back(byMessageId.at(messageId)->text);
    return {};
}

bool NewsStore::expireArticle(const std::string &messageId) {
    std::shared_ptr<SyntheticGroup> synthetic;
    {
        std::unique_lock lock(impl_->mutex);
        const auto found = impl_->byMessageId.find(messageId);
        if (found != impl_->byMessageId.end()) {
            for (const auto &[name, number] : found->second->placements) impl_->groups[name].articles.erase(number);
            impl_->byMessageId.erase(found);
            return true;
        }
        const auto group = impl_->groups.find(messageIdDomain(messageId));
        if (group == impl_->groups.end() || !group->second.synthetic) return false;
        synthetic = group->second.synthetic;
    }
    const auto number = synthetic->numberOfMessageId(messageId);
    return number && synthetic->expire(*number);
}

bool NewsStore::addSyntheticGroup(const std::string &name, std::uint64_t articleCount, std::uint64_t firstNumber,
                                  SyntheticGroupOptions options) {
    if (!isValidGroupName(name)) throw std::invalid_argument("invalid newsgroup name \"" + name + "\"");
    auto synthetic = std::make_shared<SyntheticGroup>(name, articleCount, firstNumber, options, impl_->hostName);
    std::unique_lock lock(impl_->mutex);
    if (!impl_->addGroupLocked(name, options.createdUnixTime, false, firstNumber + articleCount, {})) return false;
    GroupState &group = impl_->groups[name];
    group.synthetic = std::move(synthetic);
    group.description = "Generated song posts";
    return true;
}

std::string NewsStore::syntheticSongFile(const std::string &groupName, std::uint64_t songIndex) const {
    const auto view = impl_->view(groupName);
    if (!view || !view->synthetic) return {};
    return view->synthetic->songFile(songIndex);
}

std::size_t NewsStore::addSyntheticGroupList(std::size_t count) {
    std::unique_lock lock(impl_->mutex);
    std::size_t added = 0;
    for (std::size_t index = 0; added < count; ++index) {
        const std::uint64_t hash = mixIndex(index);
        const std::int64_t created =
            kListCreatedFrom + std::int64_t(hash % std::uint64_t(kListCreatedTo - kListCreatedFrom));
        const std::string name = generatedGroupName(index);
        const std::size_t topic = index / std::size(names::kGroupHierarchies) % std::size(names::kGroupTopics);
        std::string description = "Music: " + std::string(names::kGroupTopics[topic]);
        if (impl_->addGroupLocked(name, created, true, 1, std::move(description))) ++added;
    }
    return added;
}

std::optional<std::string> NewsStore::articleByMessageId(const std::string &messageId) const {
    const auto article = impl_->articleById(messageId);
    if (!article) return std::nullopt;
    return std::string(article->text());
}

std::vector<std::string> NewsStore::postedArticles() const {
    std::shared_lock lock(impl_->mutex);
    return impl_->posted;
}

std::optional<GroupInfo> NewsStore::group(const std::string &name) const {
    const auto view = impl_->view(name);
    if (!view) return std::nullopt;
    return view->info;
}

std::size_t NewsStore::groupCount() const {
    std::shared_lock lock(impl_->mutex);
    return impl_->groups.size();
}

std::optional<GroupView> NewsStore::Impl::view(std::string_view name) const {
    std::shared_lock lock(mutex);
    const auto found = groups.find(name);
    if (found == groups.end()) return std::nullopt;
    return GroupView{infoLocked(found->second), found->second.synthetic};
}

std::vector<GroupInfo> NewsStore::Impl::groupPage(const std::string &after, std::size_t limit) const {
    std::vector<GroupInfo> page;
    std::shared_lock lock(mutex);
    auto it = after.empty() ? groups.begin() : groups.upper_bound(after);
    for (; it != groups.end() && page.size() < limit; ++it) page.push_back(infoLocked(it->second));
    return page;
}

std::optional<ArticleHandle> NewsStore::Impl::articleByNumber(std::string_view groupName, std::uint64_t number) const {
    std::shared_ptr<SyntheticGroup> synthetic;
    {
        std::shared_lock lock(mutex);
        const auto group = groups.find(groupName);
        if (group == groups.end()) return std::nullopt;
        if (!group->second.synthetic) {
            const auto found = group->second.articles.find(number);
            if (found == group->second.articles.end()) return std::nullopt;
            ArticleHandle handle;
            handle.number = number;
            handle.stored = found->second;
            handle.layout = found->second->layout;
            handle.messageId = found->second->messageId;
            return handle;
        }
        synthetic = group->second.synthetic;
    }
    // Generated outside the lock: a large synthetic article takes a while to build.
    if (!synthetic->isPresent(number)) return std::nullopt;
    ArticleHandle handle;
    handle.number = number;
    handle.generated = synthetic->article(number, handle.layout);
    handle.messageId = synthetic->messageId(number);
    return handle;
}

std::optional<ArticleHandle> NewsStore::Impl::articleById(std::string_view messageId) const {
    std::shared_ptr<SyntheticGroup> synthetic;
    {
        std::shared_lock lock(mutex);
        const auto found = byMessageId.find(std::string(messageId));
        if (found != byMessageId.end()) {
            ArticleHandle handle;
            handle.stored = found->second;
            handle.layout = found->second->layout;
            handle.messageId = found->second->messageId;
            return handle;
        }
        const auto group = groups.find(messageIdDomain(messageId));
        if (group == groups.end() || !group->second.synthetic) return std::nullopt;
        synthetic = group->second.synthetic;
    }
    const auto number = synthetic->numberOfMessageId(messageId);
    if (!number) return std::nullopt;
    ArticleHandle handle;
    handle.generated = synthetic->article(*number, handle.layout);
    handle.messageId = std::string(messageId);
    handle.syntheticNumber = *number;
    return handle;
}

std::optional<std::string> NewsStore::Impl::messageIdByNumber(std::string_view groupName, std::uint64_t number) const {
    std::shared_lock lock(mutex);
    const auto group = groups.find(groupName);
    if (group == groups.end()) return std::nullopt;
    if (group->second.synthetic) {
        if (!group->second.synthetic->isPresent(number)) return std::nullopt;
        return group->second.synthetic->messageId(number);
    }
    const auto found = group->second.articles.find(number);
    if (found == group->second.articles.end()) return std::nullopt;
    return found->second->messageId;
}

std::optional<std::string> NewsStore::Impl::overviewLineById(std::string_view messageId) const {
    std::shared_ptr<SyntheticGroup> synthetic;
    {
        std::shared_lock lock(mutex);
        const auto found = byMessageId.find(std::string(messageId));
        if (found != byMessageId.end()) return "0" + found->second->overviewTail;
        const auto group = groups.find(messageIdDomain(messageId));
        if (group == groups.end() || !group->second.synthetic) return std::nullopt;
        synthetic = group->second.synthetic;
    }
    const auto number = synthetic->numberOfMessageId(messageId);
    if (!number) return std::nullopt;
    std::string line;
    synthetic->appendOverviewLine(*number, line);
    line.replace(0, line.find('\t'), "0");
    return line;
}

std::optional<std::uint64_t> NewsStore::Impl::firstNumberIn(std::string_view groupName, std::uint64_t from,
                                                            std::uint64_t to) const {
    std::shared_lock lock(mutex);
    const auto group = groups.find(groupName);
    if (group == groups.end() || from > to) return std::nullopt;
    if (group->second.synthetic) return group->second.synthetic->firstPresentIn(from, to);
    const auto found = group->second.articles.lower_bound(from);
    if (found == group->second.articles.end() || found->first > to) return std::nullopt;
    return found->first;
}

std::optional<std::uint64_t> NewsStore::Impl::lastNumberIn(std::string_view groupName, std::uint64_t from,
                                                           std::uint64_t to) const {
    std::shared_lock lock(mutex);
    const auto group = groups.find(groupName);
    if (group == groups.end() || from > to) return std::nullopt;
    if (group->second.synthetic) return group->second.synthetic->lastPresentIn(from, to);
    auto found = group->second.articles.upper_bound(to);
    if (found == group->second.articles.begin()) return std::nullopt;
    --found;
    if (found->first < from) return std::nullopt;
    return found->first;
}

std::vector<std::pair<std::uint64_t, std::shared_ptr<const StoredArticle>>> NewsStore::Impl::storedRange(
    std::string_view groupName, std::uint64_t from, std::uint64_t to, std::size_t limit) const {
    std::vector<std::pair<std::uint64_t, std::shared_ptr<const StoredArticle>>> range;
    std::shared_lock lock(mutex);
    const auto group = groups.find(groupName);
    if (group == groups.end() || from > to) return range;
    for (auto it = group->second.articles.lower_bound(from);
         it != group->second.articles.end() && it->first <= to && range.size() < limit; ++it) {
        range.emplace_back(it->first, it->second);
    }
    return range;
}

}  // namespace harbeat::newsd
