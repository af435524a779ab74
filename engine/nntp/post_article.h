// Posting one text article with a fixed set of header lines in a fixed order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// The whole article as sent, terminator line included, and one header line with its CR LF.
inline constexpr std::size_t kArticleCapacity = 20000;
inline constexpr std::size_t kHeaderLineCapacity = 1024;
inline constexpr std::string_view kArticleTooLong = "Article too long.";
// The vendor's web site, named in the Organization line of every article.
inline constexpr std::string_view kVendorAddress = "http://www.harbeat.example";

struct ArticleFields {
    std::string_view from;
    std::string_view newsgroups;
    std::string_view subject;
    std::string_view body;  // lines separated by CR LF, none after the last
};

// The moment of posting: seconds since 1 January 1970 UTC and the millisecond part (0-999).
struct PostingTime {
    int64_t seconds = 0;
    unsigned milliseconds = 0;
};
PostingTime postingTimeNow();

// "%a, %d %b %Y %H:%M:%S gmt" in UTC with English day and month names, whatever the locale.
std::string formatPostingDate(int64_t seconds);

// The article exactly as it goes on the wire: the header lines, the empty line, the body with
// the dot of every line that begins with one doubled, and the terminator line. `hostName` is the
// server's official name, used in the Message-ID. Fails with "Article too long." when a header
// line or the whole article does not fit its capacity.
int buildArticle(std::string &error, const ArticleFields &fields, std::string_view hostName, PostingTime time,
                 std::string &article);

// Posts on a session with the stored settings: "post", 340, the article, 240. Returns 1 when the
// server accepted the article; otherwise 0 with the server's reply or the failure's message.
int postArticle(std::string &error, const ArticleFields &fields);

}  // namespace corvane
