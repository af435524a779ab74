#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "search_test_support.h"

using namespace harbeat::test;

namespace {

const std::string kGreeting = "200 news.example ready\r\n";

// The report at which the test presses Stop; set before the search starts.
int32_t cancelOnCode = 0;
std::string cancelOnText;
std::atomic<bool> cancelSent{false};

// Calls mp3CancelFunc when the chosen report arrives, the way the GUI's Stop can come at any
// moment of the worker's run, and records like the recorder. The choice is read before the report
// is recorded: once the last report is in, the next test may already be choosing its own.
void CORVANE_CALL cancellingCallback(int32_t code, const char16_t *text) {
    if (code == cancelOnCode && (cancelOnText.empty() || utf16ToUtf8(text) == cancelOnText) &&
        !cancelSent.exchange(true))
        mp3CancelFunc();
    ReportRecorder::callback()(code, text);
}

struct CancelCase {
    const char *name;
    int32_t code;
    std::string text;
    std::function<void(ScriptedPeer &)> script;  // after the greeting, before QUIT
    std::vector<Report> reports;                 // without progress
};

void PrintTo(const CancelCase &c, std::ostream *os) { *os << c.name; }

class CancelledSearch : public SongSearchTest, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(CancelledSearch, EndsWithOneErrorReport) {
    const CancelCase &c = GetParam();
    cancelOnCode = c.code;
    cancelOnText = c.text;
    cancelSent = false;
    corvane::storeStatusCallback(&cancellingCallback);
    ScriptedPeer peer;
    peer.send(kGreeting);
    c.script(peer);
    peer.expect("QUIT\r\n").send("205 bye\r\n");
    search(peer, "g.one\tjazz\r\ng.two\trock\r\n");
    // With replies still on the way the connection is closed before the last report goes out.
    ASSERT_TRUE(ReportRecorder::waitFor({9001}));
    EXPECT_EQ(withoutProgress(ReportRecorder::reports()), c.reports);
}

const std::string kThreeSongs = overviewReply(
    {overviewLine(1, "A (1/1)", "<a@x>"), overviewLine(2, "B (1/1)", "<b@x>"), overviewLine(3, "C (1/1)", "<c@x>")});

INSTANTIATE_TEST_SUITE_P(
    Moments, CancelledSearch,
    ::testing::Values(
        CancelCase{"InTheFirstPass",
                   9000,
                   "Searching...",
                   [](ScriptedPeer &p) { p.expect("group g.one\r\n").send("211 3 1 3 g.one\r\n"); },
                   {{9000, "Searching..."}, {9001, ""}}},
        CancelCase{"DuringABatch",
                   9004,
                   "",
                   [](ScriptedPeer &p) {
                       p.expect("group g.one\r\n").send("211 3 1 3 g.one\r\n");
                       p.expect("group g.two\r\n").send("211 3 1 3 g.two\r\n");
                       p.expect("group g.one\r\n").send("211 3 1 3 g.one\r\n");
                       p.expect("xover 1-3\r\n").send(kThreeSongs);
                   },
                   {{9000, "Searching..."},
                    {9000, "Searching... DONE!"},
                    {9000, "Retrieving jazz songs..."},
                    {9001, "Operation cancelled by user."}}},
        // Replies still on the way: the run stops within the reply being read and QUIT goes out
        // at once, without waiting for the replies before it.
        CancelCase{"WithCommandsInFlight",
                   9004,
                   "",
                   [](ScriptedPeer &p) {
                       p.expect("group g.one\r\n").send("211 3 1 200 g.one\r\n");
                       p.expect("group g.two\r\n").send("211 3 1 3 g.two\r\n");
                       p.expect("group g.one\r\n").send("211 3 1 200 g.one\r\n");
                       p.expect("xover 1-51\r\n").expect("xover 52-102\r\n").expect("xover 103-153\r\n");
                       p.expect("xover 154-200\r\n").send(kThreeSongs);
                   },
                   {{9000, "Searching..."},
                    {9000, "Searching... DONE!"},
                    {9000, "Retrieving jazz songs..."},
                    {9001, "Operation cancelled by user."}}},
        // An empty batch has no line after which to look at the flag; the group stops after it.
        CancelCase{
            "BeforeAnEmptyBatch",
            9000,
            "Retrieving jazz songs...",
            [](ScriptedPeer &p) {
                p.expect("group g.one\r\n").send("211 3 1 200 g.one\r\n");
                p.expect("group g.two\r\n").send("211 3 1 3 g.two\r\n");
                p.expect("group g.one\r\n").send("211 3 1 200 g.one\r\n");
                p.expect("xover 1-51\r\n").send(overviewReply({}));
            },
            {{9000, "Searching..."}, {9000, "Searching... DONE!"}, {9000, "Retrieving jazz songs..."}, {9001, ""}}},
        CancelCase{"BetweenGroups",
                   9009,
                   "",
                   [](ScriptedPeer &p) {
                       p.expect("group g.one\r\n").send("211 3 1 3 g.one\r\n");
                       p.expect("group g.two\r\n").send("211 3 1 3 g.two\r\n");
                       p.expect("group g.one\r\n").send("211 3 1 3 g.one\r\n");
                       p.expect("xover 1-3\r\n").send(kThreeSongs);
                   },
                   {{9000, "Searching..."},
                    {9000, "Searching... DONE!"},
                    {9000, "Retrieving jazz songs..."},
                    // After the cancel, only the report that ends the search still comes.
                    {9009, "\tA \tjazz\t" + std::string(kPostDate) + "\tg.one\t1\t<a@x>\f\r\n"},
                    {9001, ""}}}),
    [](const auto &info) { return std::string(info.param.name); });

// Stop and at once a new search: the old worker still waits for its overview reply. None of its
// songs, and no second DONE, may reach the new search's reports.
TEST_F(SongSearchTest, StopThenSearchGetsOnlyTheNewSearchsReports) {
    ScriptedPeer old;
    old.send(kGreeting);
    old.expect("group g.one\r\n").send("211 1 1 1 g.one\r\n");
    old.expect("group g.one\r\n").send("211 1 1 1 g.one\r\n");
    old.expect("xover 1-1\r\n").silent(std::chrono::milliseconds(400));
    old.send(overviewReply({overviewLine(1, "Old (1/1)", "<old@x>")}));
    old.expect("QUIT\r\n").send("205 bye\r\n");
    ScriptedPeer fresh;
    fresh.send(kGreeting);
    fresh.expect("group g.one\r\n").send("211 1 1 1 g.one\r\n");
    fresh.expect("group g.one\r\n").send("211 1 1 1 g.one\r\n");
    fresh.expect("xover 1-1\r\n").send(overviewReply({overviewLine(1, "New (1/1)", "<new@x>")}));
    fresh.expect("QUIT\r\n").send("205 bye\r\n");
    fresh.start();

    useServer(old.port());
    old.start();
    ASSERT_NE(mp3GetSongs("g.one\tjazz\r\n"), -1);
    ASSERT_TRUE(ReportRecorder::waitFor({9004}));
    ReportRecorder::clear();
    mp3CancelFunc();
    useServer(fresh.port());
    ASSERT_NE(mp3GetSongs("g.one\tjazz\r\n"), -1);
    ASSERT_TRUE(fresh.waitClosed());
    ASSERT_TRUE(old.waitClosed());
    ReportRecorder::waitQuiet(std::chrono::milliseconds(200));
    // The old search may end with its cancel report before the new one starts, never after.
    std::vector<Report> reports = withoutProgress(ReportRecorder::reports());
    if (!reports.empty() && reports.front().code == 9001) reports.erase(reports.begin());
    EXPECT_EQ(reports,
              (std::vector<Report>{{9000, "Searching..."},
                                   {9000, "Searching... DONE!"},
                                   {9000, "Retrieving jazz songs..."},
                                   {9009, "\tNew \tjazz\t" + std::string(kPostDate) + "\tg.one\t1\t<new@x>\f\r\n"},
                                   {9003, "DONE"}}));
}

struct RequestSizeCase {
    const char *name;
    int newsgroups;
    std::string lastReport;
};

void PrintTo(const RequestSizeCase &c, std::ostream *os) { *os << c.name; }

class RequestSize : public SongSearchTest, public ::testing::WithParamInterface<RequestSizeCase> {};

// Nothing listens on the port: a request that got as far as the network ends with the refused
// connection, a refused request never gets there.
TEST_P(RequestSize, MoreThan256NewsgroupsRefusedBeforeConnecting) {
    std::string request;
    for (int i = 0; i < GetParam().newsgroups; ++i) request += "alt.binaries.g" + std::to_string(i) + "\tjazz\r\n";
    useServer(unusedLoopbackPort());
    ASSERT_NE(mp3GetSongs(request.c_str()), -1);
    ASSERT_TRUE(ReportRecorder::waitFor({9001}));
    ReportRecorder::waitQuiet(std::chrono::milliseconds(100));
    EXPECT_EQ(ReportRecorder::reports(), (std::vector<Report>{{9001, GetParam().lastReport}}));
}

INSTANTIATE_TEST_SUITE_P(Requests, RequestSize,
                         ::testing::Values(RequestSizeCase{"At256", 256, "Connection refused."},
                                           RequestSizeCase{"At257", 257,
                                                           "Too many newsgroups in one search (at most 256)."}),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
