// Searches over 1, 2 and 8 connections against the bundled news server send the same reports,
// progress included; refused and dropped connections change nothing the user sees.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>

#include "core/engine_options.h"
#include "newsd/news_server.h"
#include "search_test_support.h"

using namespace harbeat::test;
using namespace std::chrono_literals;

namespace {

// Whether a closed connection is first seen by a send or by a receive depends on timing alone,
// and so does how many of the replies sent before it are read (and counted in the progress).
std::vector<Report> droppedAsOne(std::vector<Report> reports) {
    reports = withoutProgress(reports);
    for (Report &report : reports)
        if (report.code == 9001 &&
            (report.text == "Connection closed by server." || report.text == "Cannot send after socket shutdown." ||
             report.text == "Connection reset by peer."))
            report.text = "dropped";
    return reports;
}

constexpr const char *kRequest = "a.big\trock\r\na.small\tjazz\r\na.other\tpop\r\n";

class ConnectionsSearch : public SongSearchTest {
protected:
    void SetUp() override {
        SongSearchTest::SetUp();
        harbeat::newsd::SyntheticGroupOptions options;
        options.incompleteEvery = 7;
        // 90,000 numbers: seven pieces; every seventh song lacks a part, so pieces hold gaps.
        store.addSyntheticGroup("a.big", 90000, 1, options);
        store.addSyntheticGroup("a.small", 30, 1);
        options.seed = 9;
        store.addSyntheticGroup("a.other", 9000, 500, options);
    }

    void TearDown() override {
        corvane::resetEngineOptionsForTests();
        SongSearchTest::TearDown();
    }

    std::vector<Report> run(int connections, harbeat::newsd::ServerOptions serverOptions = {},
                            std::size_t *accepted = nullptr, bool login = false) {
        serverOptions.emptyOverviewCode = 423;
        harbeat::newsd::NewsServer server(store, serverOptions);
        server.start(0);
        EXPECT_TRUE(corvane::setEngineOption("connections", std::to_string(connections)));
        ReportRecorder::clear();
        useServer(server.port());
        if (login) corvane::storeEngineSettings({"127.0.0.1", server.port(), "reader", "secret", 0});
        EXPECT_NE(mp3GetSongs(kRequest), -1);
        EXPECT_TRUE(ReportRecorder::waitFor({9003}, 60s));
        for (int i = 0; i < 250 && server.activeConnections() > 0; ++i) std::this_thread::sleep_for(20ms);
        if (accepted) *accepted = server.connectionsAccepted();
        server.stop();
        return ReportRecorder::reports();
    }

    harbeat::newsd::NewsStore store;
};

TEST_F(ConnectionsSearch, EveryNumberOfConnectionsGivesTheSameReports) {
    std::size_t accepted = 0;
    const std::vector<Report> one = run(1, {}, &accepted);
    EXPECT_EQ(accepted, 1u);
    ASSERT_EQ(textsOf(one, 9003).size(), 1u);
    EXPECT_GT(textsOf(one, 9009).size(), 15000u);
    EXPECT_GT(textsOf(one, 9004).size(), 95000u);
    struct Case {
        int connections;
        std::size_t accepted;  // a.big: seven pieces, so at most seven sessions
    };
    for (const Case &c : {Case{2, 2}, Case{8, 7}}) {
        EXPECT_EQ(run(c.connections, {}, &accepted), one) << c.connections << " connections";
        EXPECT_EQ(accepted, c.accepted) << c.connections << " connections";
    }
    harbeat::newsd::ServerOptions slow;
    slow.latency = 3ms;
    EXPECT_EQ(run(8, slow), one) << "8 connections with latency";
}

// A provider refuses connections beyond its limit at the greeting, after AUTHINFO or by closing:
// the search goes on with the sessions it has, and says nothing about the others.
TEST_F(ConnectionsSearch, SessionsRefusedBeyondTheLimitChangeNoReport) {
    const std::vector<Report> one = run(1, {}, nullptr, true);
    using Refusal = harbeat::newsd::ServerOptions::Refusal;
    for (Refusal way : {Refusal::Greeting400, Refusal::Greeting502, Refusal::Login481, Refusal::Login482,
                        Refusal::Login502, Refusal::Close}) {
        harbeat::newsd::ServerOptions limited;
        limited.maxConnections = 2;
        limited.refusal = way;
        std::size_t accepted = 0;
        EXPECT_EQ(run(8, limited, &accepted, true), one) << "refusal " << static_cast<int>(way);
        // The refused sessions are not asked for again in the later groups: two served, and at
        // most six refused in the first group that needed them.
        EXPECT_LE(accepted, 8u) << "refusal " << static_cast<int>(way);
    }
}

TEST_F(ConnectionsSearch, AServerThatDropsEveryThirdConnectionChangesNoReport) {
    const std::vector<Report> one = run(1);
    harbeat::newsd::ServerOptions dropping;
    dropping.dropEvery = 3;
    EXPECT_EQ(run(8, dropping), one);
}

TEST_F(ConnectionsSearch, APieceWhoseSessionDropsIsReadOnAnother) {
    const std::vector<Report> one = run(1);
    // The first session to ask for the second piece of a.big is closed instead; the piece is read
    // again on another session.
    harbeat::newsd::ServerOptions dropping;
    dropping.rules.push_back({"XOVER", "13057-13107", harbeat::newsd::CommandRule::Action::Close, 0ms, 0, true, {}});
    dropping.rules.back().used = std::make_shared<std::atomic<bool>>(false);
    EXPECT_EQ(run(8, dropping), one);
}

TEST_F(ConnectionsSearch, APieceThatFailsTwiceFailsItsGroupAsOneConnectionWould) {
    // Every session asking for that batch is closed: one connection fails the group, and so do
    // several after one more try. Both keep complete songs of the group from what they read
    // before; how much that is depends on the replies that were on the way when the server
    // closed, so only their being songs of the group is compared.
    const auto split = [](const std::vector<Report> &reports, std::set<std::string> &failedGroupSongs) {
        std::vector<Report> rest;
        for (const Report &report : reports) {
            if (report.code == 9009 && report.text.find("\ta.big\t") != std::string::npos)
                failedGroupSongs.insert(report.text);
            else
                rest.push_back(report);
        }
        return rest;
    };
    std::set<std::string> whole;
    split(run(1), whole);
    harbeat::newsd::ServerOptions dropping;
    dropping.rules.push_back({"XOVER", "13057-13107", harbeat::newsd::CommandRule::Action::Close});
    const std::vector<Report> one = droppedAsOne(run(1, dropping));
    ASSERT_EQ(textsOf(one, 9001), std::vector<std::string>{"dropped"});
    const std::vector<Report> several = droppedAsOne(run(8, dropping));
    std::set<std::string> keptByOne;
    std::set<std::string> keptBySeveral;
    EXPECT_EQ(split(several, keptBySeveral), split(one, keptByOne));
    EXPECT_LT(keptByOne.size(), whole.size());
    EXPECT_TRUE(std::includes(whole.begin(), whole.end(), keptByOne.begin(), keptByOne.end()));
    EXPECT_TRUE(std::includes(whole.begin(), whole.end(), keptBySeveral.begin(), keptBySeveral.end()));
}

}  // namespace

namespace {

TEST_F(ConnectionsSearch, StopWithEverySessionBusyEndsAtOnce) {
    harbeat::newsd::ServerOptions hanging;
    hanging.rules.push_back({"XOVER", "", harbeat::newsd::CommandRule::Action::Silence});
    harbeat::newsd::NewsServer server(store, hanging);
    server.start(0);
    ASSERT_TRUE(corvane::setEngineOption("connections", "8"));
    useServer(server.port());
    ASSERT_NE(mp3GetSongs(kRequest), -1);
    // a.big is read in seven pieces: seven sessions wait for their replies.
    for (int i = 0; i < 500 && server.connectionsAccepted() < 7; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_EQ(server.connectionsAccepted(), 7u);
    std::this_thread::sleep_for(100ms);
    const auto stopped = std::chrono::steady_clock::now();
    mp3CancelFunc();
    ASSERT_TRUE(ReportRecorder::waitFor({9001}, 5s));
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 2s);
    EXPECT_EQ(ReportRecorder::reports().back(), (Report{9001, "Operation cancelled by user."}));
    for (int i = 0; i < 300 && server.activeConnections() > 0; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(server.activeConnections(), 0u);
    server.stop();
}

}  // namespace
