// Article retrieval and overview: ARTICLE, HEAD, BODY, STAT, OVER and XOVER.
#include <algorithm>
#include <charconv>
#include <limits>

#include "nntp_session.h"

namespace harbeat::newsd {

namespace {

constexpr std::size_t kOverviewChunk = 1024;

std::optional<std::uint64_t> parseArticleNumber(std::string_view text) {
    if (text.empty() || text.size() > 19) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

bool NntpSession::parseRange(std::string_view text, std::uint64_t &from, std::uint64_t &to) const {
    const std::size_t dash = text.find('-');
    const auto first = parseArticleNumber(text.substr(0, dash));
    if (!first) return false;
    from = *first;
    if (dash == std::string_view::npos) {
        to = from;
        return true;
    }
    const std::string_view rest = text.substr(dash + 1);
    if (rest.empty()) {
        to = std::numeric_limits<std::uint64_t>::max();
        return true;
    }
    const auto last = parseArticleNumber(rest);
    if (!last) return false;
    to = *last;
    return true;
}

bool NntpSession::isDropped(const ArticleHandle &handle, std::uint64_t wanted) const {
    const auto &ids = options_.droppedMessageIds;
    if (std::find(ids.begin(), ids.end(), handle.messageId) != ids.end()) return true;
    const auto &numbers = options_.droppedNumbers;
    const auto dropped = [&](std::uint64_t number) {
        return number != 0 && std::find(numbers.begin(), numbers.end(), number) != numbers.end();
    };
    if (dropped(wanted) || dropped(handle.syntheticNumber)) return true;
    if (handle.stored)
        for (const auto &placement : handle.stored->placements)
            if (dropped(placement.second)) return true;
    return false;
}

void NntpSession::sendArticle(const ArticleHandle &handle, Part part) {
    static constexpr int kCodes[] = {220, 221, 222, 223};
    std::string status;
    appendNumber(status, handle.number);
    status += ' ';
    status += handle.messageId;
    reply(kCodes[int(part)], status);
    if (part == Part::Stat) return;
    const std::string_view text = handle.text();
    if (part == Part::Article) {
        appendDotStuffed(connection_, text);
    } else if (part == Part::Head) {
        appendDotStuffed(connection_, text.substr(0, handle.layout.headerLength));
    } else {
        appendDotStuffed(connection_, text.substr(handle.layout.bodyOffset));
    }
    connection_.output().append(".\r\n");
}

void NntpSession::article(const Command &command, Part part) {
    if (command.arguments.size() > 1) {
        reply(501, "Syntax error");
        return;
    }
    if (!command.arguments.empty() && command.arguments[0].starts_with('<')) {
        const std::string_view messageId = command.arguments[0];
        if (!isValidMessageId(messageId)) {
            reply(501, "Malformed message-id");
            return;
        }
        // Looked up by message-id the article number is 0 and the current article stays.
        const auto found = store_.articleById(messageId);
        if (!found || isDropped(*found, 0)) {
            reply(430, "No article with that message-id");
            return;
        }
        sendArticle(*found, part);
        return;
    }
    std::optional<std::uint64_t> number;
    if (!command.arguments.empty()) {
        number = parseArticleNumber(command.arguments[0]);
        if (!number) {
            reply(501, "Syntax error in article number");
            return;
        }
    }
    if (!currentGroup_) {
        reply(412, "No newsgroup selected");
        return;
    }
    if (!number && !currentArticle_) {
        reply(420, "Current article number is invalid");
        return;
    }
    const std::uint64_t wanted = number ? *number : *currentArticle_;
    std::optional<ArticleHandle> found;
    if (part == Part::Stat) {
        if (auto messageId = store_.messageIdByNumber(*currentGroup_, wanted)) {
            found = ArticleHandle{};
            found->number = wanted;
            found->messageId = std::move(*messageId);
        }
    } else {
        found = store_.articleByNumber(*currentGroup_, wanted);
    }
    if (found && isDropped(*found, wanted)) {
        reply(430, "No such article");
        return;
    }
    if (!found) {
        if (number) {
            reply(423, "No article with that number");
        } else {
            reply(420, "Current article number is invalid");
        }
        return;
    }
    currentArticle_ = wanted;
    sendArticle(*found, part);
}

void NntpSession::sendOverviewRange(const GroupView &view, std::uint64_t from, std::uint64_t to) {
    std::string &out = connection_.output();
    from = std::max(from, view.info.low);
    to = std::min(to, view.info.high);
    if (view.synthetic && !view.synthetic->keepsOverviewBlocks()) {
        for (std::uint64_t number = from; number <= to && !connection_.failed(); ++number) {
            if (!view.synthetic->isPresent(number)) continue;
            view.synthetic->appendOverviewLine(number, out);
            connection_.flushIfLarge();
        }
        return;
    }
    if (view.synthetic) {
        // Lines of articles expired after their block was made are left out here.
        for (std::uint64_t number = from; number <= to && !connection_.failed();) {
            const auto block = view.synthetic->overviewBlock(number);
            const std::uint64_t blockEnd = std::min(to, block->last());
            for (; number <= blockEnd && !connection_.failed(); ++number) {
                if (!view.synthetic->isPresent(number)) continue;
                out.append(block->line(number));
                connection_.flushIfLarge();
            }
        }
        return;
    }
    while (from <= to && !connection_.failed()) {
        const auto range = store_.storedRange(view.info.name, from, to, kOverviewChunk);
        for (const auto &[number, stored] : range) {
            appendNumber(out, number);
            out.append(stored->overviewTail);
            connection_.flushIfLarge();
        }
        if (range.size() < kOverviewChunk || range.back().first == to) break;
        from = range.back().first + 1;
    }
}

void NntpSession::overview(const Command &command) {
    if (command.arguments.size() > 1) {
        reply(501, "Syntax error");
        return;
    }
    if (!command.arguments.empty() && command.arguments[0].starts_with('<')) {
        const std::string_view messageId = command.arguments[0];
        const auto line = isValidMessageId(messageId) ? store_.overviewLineById(messageId) : std::nullopt;
        if (!line) {
            reply(430, "No article with that message-id");
            return;
        }
        reply(224, "Overview information follows");
        connection_.output().append(*line).append(".\r\n");
        return;
    }
    std::uint64_t from = 0, to = 0;
    if (!command.arguments.empty() && !parseRange(command.arguments[0], from, to)) {
        reply(501, "Syntax error in range");
        return;
    }
    const auto view = currentGroup_ ? store_.view(*currentGroup_) : std::nullopt;
    if (!view) {
        reply(412, "No newsgroup selected");
        return;
    }
    if (command.arguments.empty()) {
        if (!currentArticle_ || !store_.firstNumberIn(view->info.name, *currentArticle_, *currentArticle_)) {
            reply(420, "Current article number is invalid");
            return;
        }
        from = to = *currentArticle_;
    } else if (!store_.firstNumberIn(view->info.name, from, to)) {
        // Servers differ here: INN sends an empty list, others a 420 or 423 status.
        if (options_.emptyOverviewCode == 420) {
            reply(420, "No article(s) selected");
        } else if (options_.emptyOverviewCode == 423) {
            reply(423, "No articles in that range");
        } else {
            reply(224, "Overview information follows");
            connection_.output().append(".\r\n");
        }
        return;
    }
    reply(224, "Overview information follows");
    sendOverviewRange(*view, from, to);
    connection_.output().append(".\r\n");
}

}  // namespace harbeat::newsd
