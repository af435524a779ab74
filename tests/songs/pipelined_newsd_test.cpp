// The same search against the bundled news server with 1, 2 and 64 overview commands in flight,
// with and without latency: every report, progress included, is the same.
#include <gtest/gtest.h>

#include <thread>

#include "core/engine_options.h"
#include "newsd/news_server.h"
#include "search_test_support.h"

using namespace harbeat::test;
using namespace std::chrono_literals;

namespace {

std::string article(const std::string &group, const std::string &subject, const std::string &messageId) {
    return "Newsgroups: " + group + "\r\nFrom: poster@example.com\r\nSubject: " + subject + "\r\nDate: " + kPostDate +
           "\r\nMessage-ID: " + messageId + "\r\n\r\nbody\r\n";
}

class PipelinedSearch : public SongSearchTest {
protected:
    void SetUp() override {
        SongSearchTest::SetUp();
        harbeat::newsd::SyntheticGroupOptions options;
        options.incompleteEvery = 7;
        store.addSyntheticGroup("a.big", 2000, 1, options);
        // Single-part songs with a run of expired articles (empty batches) and one subject so
        // long that its overview line passes 4,096 characters.
        store.addGroup("a.gappy", 0, true);
        for (int i = 1; i <= 300; ++i)
            store.addArticle(article("a.gappy", "Song " + std::to_string(1000 + i) + ".mp3 (1/1)",
                                     "<g" + std::to_string(i) + "@gappy>"));
        for (int i = 60; i <= 170; ++i) store.expireArticle("<g" + std::to_string(i) + "@gappy>");
        store.addArticle(article("a.gappy", std::string(4200, 'L') + " (1/1)", "<long@gappy>"));
        store.addSyntheticGroup("a.small", 3, 1);
    }

    std::vector<Report> run(int pipeline, std::chrono::milliseconds latency) {
        harbeat::newsd::ServerOptions serverOptions;
        serverOptions.emptyOverviewCode = 423;
        serverOptions.latency = latency;
        harbeat::newsd::NewsServer server(store, serverOptions);
        server.start(0);
        EXPECT_TRUE(corvane::setEngineOption("pipeline", std::to_string(pipeline)));
        ReportRecorder::clear();
        useServer(server.port());
        EXPECT_NE(mp3GetSongs("a.big\trock\r\na.gappy\tpop\r\na.small\tjazz\r\n"), -1);
        EXPECT_TRUE(ReportRecorder::waitFor({9003}, 60s));
        for (int i = 0; i < 250 && server.activeConnections() > 0; ++i) std::this_thread::sleep_for(20ms);
        EXPECT_EQ(server.connectionsAccepted(), 1u);
        server.stop();
        return ReportRecorder::reports();
    }

    void TearDown() override {
        corvane::resetEngineOptionsForTests();
        SongSearchTest::TearDown();
    }

    harbeat::newsd::NewsStore store;
};

TEST_F(PipelinedSearch, EveryDepthGivesTheSameReports) {
    const std::vector<Report> oneAtATime = run(1, 0ms);
    const std::vector<Report> songs = withoutProgress(oneAtATime);
    // 2,000 articles of five parts: 400 songs, every seventh incomplete; 189 single-part songs and
    // the long line skipped; one song of three parts.
    ASSERT_EQ(textsOf(songs, 9009).size(), 400u - 57u + 189u + 0u);
    EXPECT_TRUE(textsOf(songs, 9001).empty());
    for (const auto &[pipeline, latency] : {std::pair{2, 0ms}, {64, 0ms}, {2, 4ms}, {64, 4ms}})
        EXPECT_EQ(run(pipeline, latency), oneAtATime) << "pipeline " << pipeline << ", latency " << latency.count();
}

}  // namespace
