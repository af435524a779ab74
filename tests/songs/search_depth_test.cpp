// "search-depth": each group is read from its newest N articles only, and the progress counts
// the numbers actually read.
#include <gtest/gtest.h>

#include "core/engine_options.h"
#include "search_test_support.h"

using namespace harbeat::test;

namespace {

struct DepthCase {
    const char *name;
    const char *depth;
    std::vector<std::string> commands;  // the xover commands the server gets
    std::vector<std::string> progress;  // the 9004 texts
    std::vector<std::string> titles;    // of the songs found
};

class SearchDepth : public SongSearchTest, public ::testing::WithParamInterface<DepthCase> {
protected:
    void TearDown() override {
        corvane::resetEngineOptionsForTests();
        SongSearchTest::TearDown();
    }
};

TEST_P(SearchDepth, ReadsTheNewestArticlesOnly) {
    const DepthCase &c = GetParam();
    ASSERT_TRUE(corvane::setEngineOption("search-depth", c.depth));
    const std::vector<std::string> lines = {
        overviewLine(1000, "Old.mp3 (1/1)", "<o@x>"), overviewLine(1001, "Mid.mp3 (1/1)", "<m@x>"),
        overviewLine(1002, "New.mp3 (1/2)", "<n1@x>"), overviewLine(1003, "New.mp3 (2/2)", "<n2@x>")};
    ScriptedPeer peer;
    peer.send("200 news.example ready\r\n")
        .expect("group alt.binaries.sounds.mp3\r\n")
        .send("211 4 1000 1003 alt.binaries.sounds.mp3\r\n")
        .expect("group alt.binaries.sounds.mp3\r\n")
        .send("211 4 1000 1003 alt.binaries.sounds.mp3\r\n");
    for (const std::string &command : c.commands) {
        peer.expect(command);
        const long from = std::stol(command.substr(6));
        std::vector<std::string> reply;
        for (const std::string &line : lines)
            if (std::stol(line) >= from) reply.push_back(line);
        peer.send(overviewReply(reply));
    }
    peer.expect("QUIT\r\n").send("205 bye\r\n");
    search(peer, "alt.binaries.sounds.mp3\tjazz\r\n");

    const std::vector<Report> reports = ReportRecorder::reports();
    EXPECT_EQ(textsOf(reports, 9004), c.progress);
    std::vector<std::string> titles;
    for (const std::string &song : textsOf(reports, 9009)) titles.push_back(song.substr(1, song.find('\t', 1) - 1));
    EXPECT_EQ(titles, c.titles);
    EXPECT_EQ(reports.back(), titles.empty() ? (Report{9001, "No Songs."}) : (Report{9003, "DONE"}));
}

INSTANTIATE_TEST_SUITE_P(
    Depths, SearchDepth,
    ::testing::Values(DepthCase{"All",
                                "0",
                                {"xover 1000-1003\r\n"},
                                {"66.67", "100.00", "133.33", "166.67"},
                                {"Mid.mp3 ", "New.mp3 ", "Old.mp3 "}},
                      DepthCase{"NewestTwo", "2", {"xover 1002-1003\r\n"}, {"200.00", "300.00"}, {"New.mp3 "}},
                      // Total 0: the bare line count.
                      DepthCase{"NewestOne", "1", {"xover 1003-1003\r\n"}, {"2.00"}, {}},
                      DepthCase{"DeeperThanTheGroup",
                                "1000000",
                                {"xover 1000-1003\r\n"},
                                {"66.67", "100.00", "133.33", "166.67"},
                                {"Mid.mp3 ", "New.mp3 ", "Old.mp3 "}}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
