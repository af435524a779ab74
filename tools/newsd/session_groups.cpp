// Group selection and the group lists: GROUP, LISTGROUP, LIST, NEWGROUPS, NEXT and LAST.
#include <chrono>
#include <limits>

#include "news_time.h"
#include "nntp_session.h"
#include "wildmat.h"

namespace harbeat::newsd {

namespace {

constexpr std::size_t kGroupPageSize = 512;

// Article numbers in LIST ACTIVE and NEWGROUPS are padded to ten digits, as INN writes them.
void appendPadded(std::string &out, std::uint64_t value) {
    std::string digits;
    appendNumber(digits, value);
    if (digits.size() < 10) out.append(10 - digits.size(), '0');
    out.append(digits);
}

void appendGroupStatus(std::string &out, const GroupInfo &info) {
    appendNumber(out, info.count);
    out += ' ';
    appendNumber(out, info.low);
    out += ' ';
    appendNumber(out, info.high);
    out += ' ';
    out.append(info.name);
}

}  // namespace

void NntpSession::appendActiveLine(const GroupInfo &info) {
    std::string &out = connection_.output();
    out.append(info.name);
    out += ' ';
    appendPadded(out, info.high);
    out += ' ';
    appendPadded(out, info.low);
    out.append(info.postingAllowed ? " y\r\n" : " n\r\n");
}

void NntpSession::appendActiveTimesLine(const GroupInfo &info) {
    std::string &out = connection_.output();
    out.append(info.name);
    out += ' ';
    appendNumber(out, std::uint64_t(std::max<std::int64_t>(info.createdUnixTime, 0)));
    out.append(" newsd\r\n");
}

void NntpSession::appendNewsgroupsLine(const GroupInfo &info) {
    std::string &out = connection_.output();
    out.append(info.name);
    out += '\t';
    appendOverviewField(out, info.description);
    out.append("\r\n");
}

template <typename Filter>
void NntpSession::listGroups(Filter &&filter, void (NntpSession::*appendLine)(const GroupInfo &)) {
    std::string after;
    for (;;) {
        const std::vector<GroupInfo> page = store_.groupPage(after, kGroupPageSize);
        for (const GroupInfo &info : page) {
            if (filter(info)) (this->*appendLine)(info);
            connection_.flushIfLarge();
        }
        if (page.size() < kGroupPageSize || connection_.failed()) break;
        after = page.back().name;
    }
    connection_.output().append(".\r\n");
}

void NntpSession::group(const Command &command) {
    if (command.arguments.size() != 1) {
        reply(501, "Syntax error");
        return;
    }
    const auto view = store_.view(command.arguments[0]);
    if (!view) {
        reply(411, "No such newsgroup");
        return;
    }
    const GroupInfo &info = view->info;
    currentGroup_ = info.name;
    currentArticle_ = info.count > 0 ? store_.firstNumberIn(info.name, info.low, info.high) : std::nullopt;
    std::string text;
    appendGroupStatus(text, info);
    reply(211, text);
}

void NntpSession::listGroup(const Command &command) {
    if (command.arguments.size() > 2) {
        reply(501, "Syntax error");
        return;
    }
    std::string name;
    if (!command.arguments.empty()) {
        name = std::string(command.arguments[0]);
    } else if (currentGroup_) {
        name = *currentGroup_;
    } else {
        reply(412, "No newsgroup selected");
        return;
    }
    const auto view = store_.view(name);
    if (!view) {
        reply(411, "No such newsgroup");
        return;
    }
    std::uint64_t from = view->info.low, to = view->info.high;
    if (command.arguments.size() == 2 && !parseRange(command.arguments[1], from, to)) {
        reply(501, "Syntax error in range");
        return;
    }
    currentGroup_ = name;
    currentArticle_ = store_.firstNumberIn(name, view->info.low, view->info.high);
    std::string text;
    appendGroupStatus(text, view->info);
    reply(211, text + " list follows");
    std::string &out = connection_.output();
    if (view->synthetic) {
        for (std::uint64_t number = std::max(from, view->info.low);
             number <= std::min(to, view->info.high) && !connection_.failed(); ++number) {
            if (!view->synthetic->isPresent(number)) continue;
            appendNumber(out, number);
            out.append("\r\n");
            connection_.flushIfLarge();
        }
    } else {
        while (from <= to && !connection_.failed()) {
            const auto range = store_.storedRange(name, from, to, kGroupPageSize);
            for (const auto &entry : range) {
                appendNumber(out, entry.first);
                out.append("\r\n");
            }
            connection_.flushIfLarge();
            if (range.size() < kGroupPageSize || range.back().first == to) break;
            from = range.back().first + 1;
        }
    }
    out.append(".\r\n");
}

void NntpSession::list(const Command &command) {
    const std::string keyword = command.arguments.empty() ? "ACTIVE" : toUpperAscii(command.arguments[0]);
    const std::size_t extra = command.arguments.empty() ? 0 : command.arguments.size() - 1;
    const std::string_view wildmat = extra == 1 ? command.arguments[1] : std::string_view("*");
    const auto matches = [wildmat](const GroupInfo &info) { return matchesWildmat(wildmat, info.name); };
    if (keyword == "OVERVIEW.FMT" && extra == 0) {
        reply(215, "Order of fields in overview database.");
        connection_.output().append(
            "Subject:\r\nFrom:\r\nDate:\r\nMessage-ID:\r\nReferences:\r\nBytes:\r\nLines:\r\nXref:full\r\n.\r\n");
    } else if (keyword == "ACTIVE" && extra <= 1) {
        reply(215, "Newsgroups in form \"group high low status\"");
        listGroups(matches, &NntpSession::appendActiveLine);
    } else if (keyword == "ACTIVE.TIMES" && extra <= 1) {
        reply(215, "Newsgroup creation times in form \"group time creator\"");
        listGroups(matches, &NntpSession::appendActiveTimesLine);
    } else if (keyword == "NEWSGROUPS" && extra <= 1) {
        reply(215, "Newsgroup descriptions in form \"group description\"");
        listGroups(matches, &NntpSession::appendNewsgroupsLine);
    } else {
        reply(501, "Unknown LIST keyword or syntax error");
    }
}

void NntpSession::newGroups(const Command &command) {
    const std::size_t count = command.arguments.size();
    const bool gmt = count == 3 && equalsIgnoringCase(command.arguments[2], "GMT");
    if (count < 2 || (count == 3 && !gmt) || count > 3) {
        reply(501, "Syntax error, expected NEWGROUPS [yy]yymmdd hhmmss [GMT]");
        return;
    }
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto since = parseNewgroupsTime(command.arguments[0], command.arguments[1], gmt,
                                          std::chrono::duration_cast<std::chrono::seconds>(now).count());
    if (!since) {
        reply(501, "Invalid date or time");
        return;
    }
    reply(231, "List of new newsgroups follows");
    const std::int64_t threshold = *since;
    listGroups([threshold](const GroupInfo &info) { return info.createdUnixTime >= threshold; },
               &NntpSession::appendActiveLine);
}

void NntpSession::next(bool forward) {
    if (!currentGroup_) {
        reply(412, "No newsgroup selected");
        return;
    }
    if (!currentArticle_) {
        reply(420, "Current article number is invalid");
        return;
    }
    constexpr std::uint64_t kLast = std::numeric_limits<std::uint64_t>::max();
    std::optional<std::uint64_t> found;
    if (forward && *currentArticle_ < kLast) {
        found = store_.firstNumberIn(*currentGroup_, *currentArticle_ + 1, kLast);
    } else if (!forward && *currentArticle_ > 0) {
        found = store_.lastNumberIn(*currentGroup_, 0, *currentArticle_ - 1);
    }
    const auto messageId = found ? store_.messageIdByNumber(*currentGroup_, *found) : std::nullopt;
    if (!messageId) {
        reply(forward ? 421 : 422, forward ? "No next article in this group" : "No previous article in this group");
        return;
    }
    currentArticle_ = found;
    std::string text;
    appendNumber(text, *found);
    reply(223, text + " " + *messageId + " retrieved");
}

}  // namespace harbeat::newsd
