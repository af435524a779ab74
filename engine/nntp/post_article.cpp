#include "nntp/post_article.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <exception>

#include "core/error_text.h"
#include "net/text_helpers.h"
#include "nntp/session.h"

namespace corvane {
namespace {

constexpr const char *kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char *kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A header value is one line: a CR or LF in it would start a header line of the caller's
// making, or end the article early, so each becomes a blank.
std::string headerValue(std::string_view value) {
    std::string line(value);
    for (char &c : line)
        if (c == '\r' || c == '\n') c = ' ';
    return line;
}

// Appends "name: value" and CR LF; 0 when the line with its CR LF exceeds the line capacity.
int appendHeader(std::string &article, std::string_view name, std::string_view value) {
    if (name.size() + 2 + value.size() + 2 > kHeaderLineCapacity) return 0;
    article.append(name);
    article += ": ";
    article.append(value);
    article += "\r\n";
    return 1;
}

// The body as sent: a line that begins with a dot gets a second one, so that no body line can
// read as the terminator (a server takes the dot off again). Lines are taken to begin after any
// LF, because some servers end a line at a bare LF too.
void appendBody(std::string &article, std::string_view body) {
    bool lineStart = true;
    for (const char c : body) {
        if (lineStart && c == '.') article += '.';
        article += c;
        lineStart = c == '\n';
    }
    article += "\r\n";
}

int expectReplyCode(std::string &error, const std::string &reply, int code) {
    if (replyCode(reply) == code) return 1;
    error = reply;
    return 0;
}

// Ends the session on every path. After a time-out the server is not answering: QUIT is still
// said, but its reply is not waited for, which would keep the caller another full wait.
void endPostSession(Connection connection, const std::string &error, bool posted) {
    if (!posted && isTimeOut(error)) {
        std::string ignored;
        netSend(ignored, connection, "QUIT\r\n");
        netClose(connection);
        return;
    }
    nntpQuit(connection);
}

}  // namespace

PostingTime postingTimeNow() {
    // The stamp names the article (its Message-ID): two posts in one millisecond, or after the
    // clock was set back, must still get different ones, so a stamp is always later than the
    // last one this process handed out.
    static std::atomic<int64_t> lastStamp{0};
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count();
    int64_t last = lastStamp.load();
    int64_t stamp;
    do {
        stamp = std::max(now, last + 1);
    } while (!lastStamp.compare_exchange_weak(last, stamp));
    return PostingTime{stamp / 1000, static_cast<unsigned>(stamp % 1000)};
}

std::string formatPostingDate(int64_t seconds) {
    const auto time = static_cast<std::time_t>(seconds);
    std::tm utc{};
    if (!gmtime_r(&time, &utc)) return {};
    char text[128];
    std::snprintf(text, sizeof text, "%s, %02d %s %d %02d:%02d:%02d gmt", kDayNames[utc.tm_wday % 7], utc.tm_mday,
                  kMonthNames[utc.tm_mon % 12], utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

int buildArticle(std::string &error, const ArticleFields &fields, std::string_view hostName, PostingTime time,
                 std::string &article) {
    article.clear();
    char messageId[256];
    std::snprintf(messageId, sizeof messageId, "<qx$msg$mp3.%" PRIx64 ".%x@%.*s>", static_cast<uint64_t>(time.seconds),
                  time.milliseconds, static_cast<int>(hostName.size()), hostName.data());
    char lines[32];
    std::snprintf(lines, sizeof lines, "%zu", countLineBreaks(fields.body) + 1);
    std::string organization = "Corvane Software (";
    organization.append(kVendorAddress);
    organization += ")";

    article = "Path: not-for-mail\r\n";
    const bool headerFits = appendHeader(article, "From", headerValue(fields.from)) &&
                            appendHeader(article, "Newsgroups", headerValue(fields.newsgroups)) &&
                            appendHeader(article, "Subject", headerValue(fields.subject)) &&
                            appendHeader(article, "Message-ID", messageId) &&
                            appendHeader(article, "Date", formatPostingDate(time.seconds)) &&
                            appendHeader(article, "Lines", lines) &&
                            appendHeader(article, "Organization", organization);
    // The body alone decides the size from here on; do not copy one that cannot fit.
    if (!headerFits || article.size() + 2 + fields.body.size() + 2 + 3 > kArticleCapacity) {
        article.clear();
        error = kArticleTooLong;
        return 0;
    }
    article += "\r\n";
    appendBody(article, fields.body);
    article += ".\r\n";
    if (article.size() > kArticleCapacity) {
        article.clear();
        error = kArticleTooLong;
        return 0;
    }
    return 1;
}

int postArticle(std::string &error, const ArticleFields &fields) {
    std::string hostName;
    const Connection connection = nntpOpenStoredSession(error, &hostName);
    if (!connection) return 0;
    // The article is built before "post", so an article that is refused never starts a posting
    // that would then have to be abandoned halfway.
    bool posted;
    try {
        std::string article;
        std::string reply;
        posted = buildArticle(error, fields, hostName, postingTimeNow(), article) &&
                 netSend(error, connection, "post\r\n") && readReplyLine(error, connection, reply) &&
                 expectReplyCode(error, reply, 340) && netSend(error, connection, article) &&
                 readReplyLine(error, connection, reply) && expectReplyCode(error, reply, 240);
    } catch (const std::exception &) {
        error = kOutOfMemory;
        posted = false;
    }
    endPostSession(connection, error, posted);
    return posted ? 1 : 0;
}

}  // namespace corvane
