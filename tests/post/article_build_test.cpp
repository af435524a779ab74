// The article as it goes on the wire: header lines and their order, Lines, the date, dot
// doubling and the size limits.
#include <gtest/gtest.h>

#include <string>

#include "nntp/post_article.h"
#include "posted_article_parts.h"

using namespace corvane;

namespace {

constexpr PostingTime kNovember2023{1700000000, 500};

std::string build(std::string_view body, std::string_view subject = "Song please") {
    std::string error, article;
    const ArticleFields fields{"me@example.org", "alt.binaries.sounds.mp3.requests", subject, body};
    EXPECT_EQ(buildArticle(error, fields, "news.example.net", kNovember2023, article), 1) << error;
    return article;
}

TEST(ArticleBuild, HeaderLinesInTheirOrder) {
    EXPECT_EQ(build("hello"),
              "Path: not-for-mail\r\n"
              "From: me@example.org\r\n"
              "Newsgroups: alt.binaries.sounds.mp3.requests\r\n"
              "Subject: Song please\r\n"
              "Message-ID: <qx$msg$mp3.6553f100.1f4@news.example.net>\r\n"
              "Date: Tue, 14 Nov 2023 22:13:20 gmt\r\n"
              "Lines: 1\r\n"
              "Organization: Corvane Software (http://www.harbeat.example)\r\n"
              "\r\n"
              "hello\r\n"
              ".\r\n");
}

// A header value cannot carry a line break into the header or end the article.
TEST(ArticleBuild, LineBreaksInAHeaderValueBecomeBlanks) {
    const std::string article = build("x", "Song\r\n.\r\nQUIT");
    EXPECT_NE(article.find("Subject: Song  .  QUIT\r\n"), std::string::npos) << article;
}

struct BodyCase {
    const char *name;
    const char *body;
    const char *lines;
    const char *sent;  // the body as sent, before the terminator line
};

class ArticleBody : public ::testing::TestWithParam<BodyCase> {};

const BodyCase kBodyCases[] = {
    {"OneLine", "hello", "Lines: 1", "hello\r\n"},
    {"ThreeLines", "a\r\nb\r\nc", "Lines: 3", "a\r\nb\r\nc\r\n"},
    {"Empty", "", "Lines: 1", "\r\n"},
    {"SignatureAfterEmptyMessage", "\r\n\r\nposted by Harbeat\r\n", "Lines: 4", "\r\n\r\nposted by Harbeat\r\n\r\n"},
    {"LoneDotLine", "a\r\n.\r\nb", "Lines: 3", "a\r\n..\r\nb\r\n"},
    {"DotFirst", ".hidden", "Lines: 1", "..hidden\r\n"},
    {"DoubleDotGetsThree", "x\r\n..two", "Lines: 2", "x\r\n...two\r\n"},
    {"DotInsideLine", "a.b\r\nc .", "Lines: 2", "a.b\r\nc .\r\n"},
    {"DotAfterBareLineFeed", "a\n.\nb", "Lines: 1", "a\n..\nb\r\n"},
};

TEST_P(ArticleBody, LinesValueAndBodyAsSent) {
    const std::string article = build(GetParam().body);
    EXPECT_NE(article.find(std::string("\r\n") + GetParam().lines + "\r\n"), std::string::npos) << article;
    const std::size_t bodyStart = article.find("\r\n\r\n") + 4;
    EXPECT_EQ(article.substr(bodyStart), std::string(GetParam().sent) + ".\r\n");
}

INSTANTIATE_TEST_SUITE_P(Bodies, ArticleBody, ::testing::ValuesIn(kBodyCases),
                         [](const auto &info) { return std::string(info.param.name); });

struct DateCase {
    int64_t seconds;
    const char *date;
};

class PostingDate : public ::testing::TestWithParam<DateCase> {
protected:
    harbeat::test::FarTimeZone zone_;
};

const DateCase kDateCases[] = {
    {0, "Thu, 01 Jan 1970 00:00:00 gmt"},
    {1700000000, "Tue, 14 Nov 2023 22:13:20 gmt"},
    {951782400, "Tue, 29 Feb 2000 00:00:00 gmt"},
    {4102444799, "Thu, 31 Dec 2099 23:59:59 gmt"},
};

TEST_P(PostingDate, IsUtcWithEnglishNames) { EXPECT_EQ(formatPostingDate(GetParam().seconds), GetParam().date); }

INSTANTIATE_TEST_SUITE_P(Times, PostingDate, ::testing::ValuesIn(kDateCases));

int buildResult(std::string_view subject, std::string_view body, std::string &error) {
    std::string article;
    const ArticleFields fields{"me@example.org", "alt.binaries.sounds.mp3.requests", subject, body};
    const int result = buildArticle(error, fields, "news.example.net", kNovember2023, article);
    if (!result) {
        EXPECT_TRUE(article.empty());
    }
    return result;
}

TEST(ArticleLimits, WholeArticleUpToTwentyThousandBytes) {
    const std::size_t fitting = 20000 - build("").size();
    EXPECT_EQ(build(std::string(fitting, 'x')).size(), 20000u);

    std::string error;
    EXPECT_EQ(buildResult("Song please", std::string(fitting + 1, 'x'), error), 0);
    EXPECT_EQ(error, "Article too long.");
    // Doubled dots count: they are part of what is sent.
    error.clear();
    EXPECT_EQ(buildResult("Song please", "." + std::string(fitting - 1, 'x'), error), 0);
    EXPECT_EQ(error, "Article too long.");
}

TEST(ArticleLimits, HeaderLineUpToTenTwentyFourBytes) {
    std::string error;
    // "Subject: " + value + CR LF
    EXPECT_EQ(buildResult(std::string(1024 - 11, 's'), "x", error), 1);
    EXPECT_EQ(buildResult(std::string(1024 - 10, 's'), "x", error), 0);
    EXPECT_EQ(error, "Article too long.");
}

// The stamp names the article: posts in the same millisecond still get different Message-IDs.
TEST(PostingTime, EveryStampIsLaterThanTheLastOne) {
    PostingTime last = postingTimeNow();
    for (int i = 0; i < 5000; ++i) {
        const PostingTime next = postingTimeNow();
        ASSERT_TRUE(next.seconds > last.seconds || (next.seconds == last.seconds && next.milliseconds > last.milliseconds))
            << i;
        ASSERT_LT(next.milliseconds, 1000u);
        last = next;
    }
}

}  // namespace
