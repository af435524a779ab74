// A whole search against the bundled news server: mp3Settings learns the overview layout from it,
// then mp3GetSongs reads three groups, one of them with a range of expired articles.
#include <gtest/gtest.h>

#include <algorithm>

#include "newsd/news_server.h"
#include "search_test_support.h"
#include "songs/part_number.h"

using namespace harbeat::test;
using namespace std::chrono_literals;

namespace {

constexpr const char *kJazzGroup = "alt.binaries.sounds.mp3";
constexpr const char *kBigGroup = "alt.binaries.sounds.mp3.big";
constexpr const char *kGappyGroup = "alt.binaries.sounds.mp3.gappy";

std::string article(const std::string &group, const std::string &subject, const std::string &messageId) {
    return "Newsgroups: " + group + "\r\nFrom: poster@example.com\r\nSubject: " + subject + "\r\nDate: " + kPostDate +
           "\r\nMessage-ID: " + messageId + "\r\n\r\nbody\r\n";
}

std::vector<std::string> split(const std::string &text, char separator) {
    std::vector<std::string> pieces;
    std::size_t pos = 0;
    for (std::size_t at; (at = text.find(separator, pos)) != std::string::npos; pos = at + 1)
        pieces.push_back(text.substr(pos, at - pos));
    pieces.push_back(text.substr(pos));
    return pieces;
}

std::string headerValue(const std::string &articleText, const std::string &name) {
    const std::size_t at = articleText.find("\r\n" + name + ": ");
    if (at == std::string::npos) return {};
    const std::size_t start = at + name.size() + 4;
    return articleText.substr(start, articleText.find("\r\n", start) - start);
}

class SearchAgainstNewsServer : public SongSearchTest {
protected:
    void SetUp() override {
        SongSearchTest::SetUp();
        store.addGroup(kJazzGroup, 0, true);
        store.addArticle(article(kJazzGroup, "Miles Davis - So What.mp3 (2/3)", "<p2@jazz>"));
        store.addArticle(article(kJazzGroup, "Miles Davis - So What.mp3 (1/3)", "<p1@jazz>"));
        store.addArticle(article(kJazzGroup, "Miles Davis - So What.mp3 (3/3)", "<p3@jazz>"));
        store.addArticle(article(kJazzGroup, "Re: where is part 4?", "<chat@jazz>"));

        // 200 songs of five parts; every tenth lacks its second part.
        harbeat::newsd::SyntheticGroupOptions options;
        options.incompleteEvery = 10;
        store.addSyntheticGroup(kBigGroup, 1000, 1, options);

        // 110 single-part songs, of which 52 to 102 expired: the second batch has no articles.
        store.addGroup(kGappyGroup, 0, true);
        for (int i = 1; i <= 110; ++i)
            store.addArticle(article(kGappyGroup, "Song " + std::to_string(1000 + i) + ".mp3 (1/1)",
                                     "<g" + std::to_string(i) + "@gappy>"));
        for (int i = 52; i <= 102; ++i) store.expireArticle("<g" + std::to_string(i) + "@gappy>");

        harbeat::newsd::ServerOptions serverOptions;
        serverOptions.emptyOverviewCode = 423;
        server = std::make_unique<harbeat::newsd::NewsServer>(store, serverOptions);
        server->start(0);
    }
    void TearDown() override {
        server->stop();
        SongSearchTest::TearDown();
    }

    harbeat::newsd::NewsStore store;
    std::unique_ptr<harbeat::newsd::NewsServer> server;
};

TEST_F(SearchAgainstNewsServer, ListsEveryCompleteSongInOrder) {
    char error[256] = {};
    int32_t reachable = 0;
    int32_t posting = 0;
    ASSERT_EQ(
        mp3Settings(error, ReportRecorder::callback(), "127.0.0.1", server->port(), "", "", 0, &reachable, &posting, 0),
        -1)
        << error;

    const std::string request =
        std::string(kJazzGroup) + "\tjazz\r\n" + kBigGroup + "\trock\r\n" + kGappyGroup + "\tpop\r\n";
    ASSERT_NE(mp3GetSongs(request.c_str()), -1);
    ASSERT_TRUE(ReportRecorder::waitFor({9003}, 30s));
    for (int i = 0; i < 100 && server->activeConnections() > 0; ++i) std::this_thread::sleep_for(20ms);

    const std::vector<Report> reports = withoutProgress(ReportRecorder::reports());
    EXPECT_TRUE(textsOf(reports, 9001).empty());
    EXPECT_TRUE(textsOf(reports, 9008).empty());
    EXPECT_EQ(textsOf(reports, 9000),
              (std::vector<std::string>{"Searching...", "Searching... DONE!", "Retrieving jazz songs...",
                                        "Retrieving rock songs...", "Retrieving pop songs..."}));
    EXPECT_EQ(reports.back(), (Report{9003, "DONE"}));

    const std::vector<std::string> lines = textsOf(reports, 9009);
    ASSERT_EQ(lines.size(), 1u + 180u + 59u);
    EXPECT_EQ(lines[0], "\tMiles Davis - So What.mp3 \tjazz\t" + std::string(kPostDate) +
                            "\talt.binaries.sounds.mp3\t3\t<p1@jazz>\f<p2@jazz>\f<p3@jazz>\f\r\n");

    // Every song of the generated group: five parts in part order, in the byte order of the
    // subjects' base names.
    std::string previousBaseName;
    for (std::size_t i = 1; i <= 180; ++i) {
        const std::vector<std::string> fields = split(lines[i], '\t');
        ASSERT_EQ(fields.size(), 7u) << lines[i];
        EXPECT_EQ(fields[2], "rock");
        EXPECT_EQ(fields[4], kBigGroup);
        EXPECT_EQ(fields[5], "5");
        ASSERT_TRUE(fields[6].ends_with("\f\r\n"));
        const std::vector<std::string> ids = split(fields[6].substr(0, fields[6].size() - 3), '\f');
        ASSERT_EQ(ids.size(), 5u);
        std::string baseName;
        for (int part = 0; part < 5; ++part) {
            const auto text = store.articleByMessageId(ids[part]);
            ASSERT_TRUE(text.has_value()) << ids[part];
            const std::string subject = headerValue(*text, "Subject");
            int32_t index = -1;
            int32_t count = 0;
            ASSERT_EQ(corvane::parsePartNumber(subject, baseName, index, count), part) << subject;
            EXPECT_EQ(count, 5);
            if (part == 0) {
                EXPECT_EQ(fields[3], headerValue(*text, "Date"));
                EXPECT_TRUE(baseName.ends_with(fields[1])) << baseName << " / " << fields[1];
                EXPECT_FALSE(fields[1].starts_with("[repost]"));
            }
        }
        EXPECT_LT(previousBaseName, baseName);
        previousBaseName = baseName;
    }

    std::vector<std::string> gappyTitles;
    for (std::size_t i = 181; i < lines.size(); ++i) gappyTitles.push_back(split(lines[i], '\t')[1]);
    std::vector<std::string> expected;
    for (int i = 1; i <= 110; ++i)
        if (i < 52 || i > 102) expected.push_back("Song " + std::to_string(1000 + i) + ".mp3 ");
    EXPECT_EQ(gappyTitles, expected);
}

}  // namespace
