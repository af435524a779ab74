#include <gtest/gtest.h>

#include <thread>

#include "search_test_support.h"

using namespace harbeat::test;
using namespace std::chrono_literals;

namespace {

const std::string kGreeting = "200 news.example ready\r\n";
const std::string kQuit = "QUIT\r\n";
const std::string kBye = "205 bye\r\n";

// The three-part jazz song: parts arrive out of order, among an article without a part number
// and a single-part song whose title has a request prefix.
TEST_F(SongSearchTest, WholeSearchReportsInOrder) {
    ScriptedPeer peer;
    peer.send(kGreeting)
        .expect("group alt.binaries.sounds.mp3\r\n")
        .send("211 5 1000 1004 alt.binaries.sounds.mp3\r\n")
        .expect("group alt.binaries.sounds.mp3.rock\r\n")
        .send("211 1 7 7 alt.binaries.sounds.mp3.rock\r\n")
        .expect("group alt.binaries.sounds.mp3\r\n")
        .send("211 5 1000 1004 alt.binaries.sounds.mp3\r\n")
        .expect("xover 1000-1004\r\n")
        .send(overviewReply({overviewLine(1000, "Miles - So What.mp3 (2/3)", "<p2@x>", "Sat, 02 Mar 2024"),
                             overviewLine(1001, "REQ: Blakey - Moanin.mp3 [1/1]", "<b@x>"),
                             overviewLine(1002, "Miles - So What.mp3 (1/3)", "<p1@x>"),
                             overviewLine(1003, "Miles - So What.mp3 (3/3)", "<p3@x>"),
                             overviewLine(1004, "just chatting", "<c@x>")}))
        .expect("group alt.binaries.sounds.mp3.rock\r\n")
        .send("211 1 7 7 alt.binaries.sounds.mp3.rock\r\n")
        .expect("xover 7-7\r\n")
        .send(overviewReply({overviewLine(7, "Band - Tune.mp3 (1/1)", "<t@x>")}))
        .expect(kQuit)
        .send(kBye);
    search(peer, "alt.binaries.sounds.mp3\tjazz\r\nalt.binaries.sounds.mp3.rock\trock\r\n");

    // Songs go out in the order of their base names before the prefixes are stripped: "REQ: Blakey"
    // after "Miles". Progress total 4 (1004 - 1000, plus 7 - 7); the rock group's lines count on from 4.
    const std::vector<Report> expected = {
        {9000, "Searching..."},
        {9000, "Searching... DONE!"},
        {9000, "Retrieving jazz songs..."},
        {9004, "50.00"},
        {9004, "75.00"},
        {9004, "100.00"},
        {9004, "125.00"},
        {9004, "150.00"},
        {9009, "\tMiles - So What.mp3 \tjazz\t" + std::string(kPostDate) +
                   "\talt.binaries.sounds.mp3\t3\t<p1@x>\f<p2@x>\f<p3@x>\f\r\n"},
        {9009, "\tBlakey - Moanin.mp3 \tjazz\t" + std::string(kPostDate) + "\talt.binaries.sounds.mp3\t1\t<b@x>\f\r\n"},
        {9000, "Retrieving rock songs..."},
        {9004, "150.00"},
        {9009,
         "\tBand - Tune.mp3 \trock\t" + std::string(kPostDate) + "\talt.binaries.sounds.mp3.rock\t1\t<t@x>\f\r\n"},
        {9003, "DONE"}};
    EXPECT_EQ(ReportRecorder::reports(), expected);
}

TEST_F(SongSearchTest, EmptyRequestOpensAndClosesASession) {
    ScriptedPeer peer;
    peer.send(kGreeting).expect(kQuit).send(kBye);
    search(peer, "");
    EXPECT_EQ(ReportRecorder::reports(),
              (std::vector<Report>{{9000, "Searching..."}, {9000, "Searching... DONE!"}, {9001, "No Songs."}}));
}

TEST_F(SongSearchTest, RefusedGroupEndsTheSearch) {
    ScriptedPeer peer;
    peer.send(kGreeting)
        .expect("group a.carried\r\n")
        .send("211 3 1 3 a.carried\r\n")
        .expect("group a.missing\r\n")
        .send("411 No such group a.missing\r\n")
        .expect(kQuit)
        .send(kBye);
    search(peer, "a.carried\tjazz\r\na.missing\tjazz\r\na.never\trock\r\n");
    EXPECT_EQ(ReportRecorder::reports(),
              (std::vector<Report>{{9000, "Searching..."}, {9001, "411 No such group a.missing\r\n"}}));
}

TEST_F(SongSearchTest, SessionNotOpened) {
    useServer(unusedLoopbackPort());
    ASSERT_NE(mp3GetSongs("a\tjazz\r\n"), -1);
    ASSERT_TRUE(ReportRecorder::waitFor({9001}));
    ReportRecorder::waitQuiet(100ms);
    EXPECT_EQ(ReportRecorder::reports(), (std::vector<Report>{{9001, "Connection refused."}}));
}

// Time-outs on "group" list the category once; time-outs while the overview is read list the
// newsgroup each time. Here every group timed out.
TEST_F(SongSearchTest, EveryGroupTimingOut) {
    ShortReceiveWait wait(200ms);
    ScriptedPeer peer;
    peer.send(kGreeting)
        .expect("group j.one\r\n")
        // No answer: the engine times out, says QUIT without waiting, and goes on on a new session.
        .expect(kQuit)
        .nextConnection()
        .send(kGreeting)
        .expect("group j.two\r\n")
        // No answer: the engine times out and goes on on a new session.
        .expect(kQuit)
        .nextConnection()
        .send(kGreeting)
        .expect("group r.one\r\n")
        .send("211 2 1 2 r.one\r\n")
        .expect("group r.two\r\n")
        .send("211 2 1 2 r.two\r\n")
        .expect("group r.one\r\n")
        .send("211 2 1 2 r.one\r\n")
        .expect("xover 1-2\r\n")
        // No answer: the engine times out, says QUIT without waiting for its answer, and reads the
        // next group on a new session, as the late reply could still arrive on this one.
        .expect(kQuit)
        .nextConnection()
        .send(kGreeting)
        .expect("group r.two\r\n")
        .send("211 2 1 2 r.two\r\n")
        .expect("xover 1-2\r\n")
        // No answer: the engine times out and goes on.
        .expect(kQuit);
    search(peer, "j.one\tjazz\r\nj.two\tjazz\r\nr.one\trock\r\nr.two\trock\r\n");
    // The last QUIT goes unanswered: the connection closes before the end reports go out.
    ASSERT_TRUE(ReportRecorder::waitFor({9001}));
    EXPECT_EQ(withoutProgress(ReportRecorder::reports()), (std::vector<Report>{{9000, "Searching..."},
                                                                               {9000, "Searching... DONE!"},
                                                                               {9000, "Retrieving rock songs..."},
                                                                               {9000, "Retrieving rock songs..."},
                                                                               {9008, "jazz\r\nr.one\r\nr.two\r\n"},
                                                                               {9001, "No Songs."}}));
}

TEST_F(SongSearchTest, TimedOutGroupsStillLetTheOthersFinish) {
    ShortReceiveWait wait(200ms);
    ScriptedPeer peer;
    peer.send(kGreeting)
        .expect("group j.one\r\n")
        // No answer: the engine times out and goes on on a new session.
        .expect(kQuit)
        .nextConnection()
        .send(kGreeting)
        .expect("group r.one\r\n")
        .send("211 1 5 5 r.one\r\n")
        .expect("group r.one\r\n")
        .send("211 1 5 5 r.one\r\n")
        .expect("xover 5-5\r\n")
        .send(overviewReply({overviewLine(5, "Song (1/1)", "<s@x>")}))
        .expect(kQuit)
        .send(kBye);
    search(peer, "j.one\tjazz\r\nr.one\trock\r\n");
    ASSERT_TRUE(ReportRecorder::waitFor({9003}));
    const std::vector<Report> reports = withoutProgress(ReportRecorder::reports());
    ASSERT_EQ(reports.size(), 6u);
    EXPECT_EQ(reports[3].code, 9009);
    EXPECT_EQ(reports[4], (Report{9008, "jazz\r\n"}));
    EXPECT_EQ(reports[5], (Report{9003, "DONE"}));
}

// A "group" reply that arrives after the time-out belongs to the old command: it must not be taken
// for the next group's reply, so the next group is selected on a new session.
TEST_F(SongSearchTest, LateGroupReplyIsNotTakenForTheNextGroups) {
    ShortReceiveWait wait(200ms);
    ScriptedPeer peer;
    peer.send(kGreeting)
        .expect("group j.one\r\n")
        .silent(300ms)
        .send("211 9 1 9 j.one\r\n")
        .expect(kQuit)
        .nextConnection()
        .send(kGreeting)
        .expect("group r.one\r\n")
        .send("211 1 5 5 r.one\r\n")
        .expect("group r.one\r\n")
        .send("211 1 5 5 r.one\r\n")
        .expect("xover 5-5\r\n")
        .send(overviewReply({overviewLine(5, "Song (1/1)", "<s@x>")}))
        .expect(kQuit)
        .send(kBye);
    search(peer, "j.one\tjazz\r\nr.one\trock\r\n");
    ASSERT_TRUE(ReportRecorder::waitFor({9003}));
    const std::vector<Report> reports = withoutProgress(ReportRecorder::reports());
    ASSERT_EQ(reports.size(), 6u);
    EXPECT_EQ(reports[3].code, 9009);
    EXPECT_EQ(reports[4], (Report{9008, "jazz\r\n"}));
    EXPECT_EQ(reports[5], (Report{9003, "DONE"}));
    EXPECT_EQ(peer.connectionsAccepted(), 2);
}

// A reply other than 224, 420 or 423 fails the group with the status line, discards what its
// earlier batches found, and the search goes on with the next group.
TEST_F(SongSearchTest, OverviewRefusedFailsOnlyThatGroup) {
    ScriptedPeer peer;
    peer.send(kGreeting)
        .expect("group g.bad\r\n")
        .send("211 60 1 60 g.bad\r\n")
        .expect("group g.good\r\n")
        .send("211 1 1 1 g.good\r\n")
        .expect("group g.bad\r\n")
        .send("211 60 1 60 g.bad\r\n")
        .expect("xover 1-51\r\n")
        .send(overviewReply({overviewLine(1, "Lost Song (1/1)", "<lost@x>")}))
        .expect("xover 52-60\r\n")
        .send("503 Overview database unavailable\r\n")
        .expect("group g.good\r\n")
        .send("211 1 1 1 g.good\r\n")
        .expect("xover 1-1\r\n")
        .send(overviewReply({overviewLine(1, "Kept Song (1/1)", "<kept@x>")}))
        .expect(kQuit)
        .send(kBye);
    search(peer, "g.bad\tjazz\r\ng.good\tjazz\r\n");
    const std::vector<Report> reports = withoutProgress(ReportRecorder::reports());
    EXPECT_EQ(reports[3], (Report{9001, "503 Overview database unavailable"}));
    EXPECT_EQ(textsOf(reports, 9009), (std::vector<std::string>{"\tKept Song \tjazz\t" + std::string(kPostDate) +
                                                                "\tg.good\t1\t<kept@x>\f\r\n"}));
    EXPECT_EQ(reports.back(), (Report{9003, "DONE"}));
}

// The server goes away in the middle of a group's overview: the complete songs of the batches
// read before are kept, the error follows them, and a search that kept no song ends with that
// error instead of "No Songs.".
TEST_F(SongSearchTest, ServerLostMidGroupKeepsTheSongsReadBefore) {
    const std::string found = "\tFound Song \tjazz\t" + std::string(kPostDate) + "\tg.lost\t1\t<f@x>\f\r\n";
    const Report lost{9001, "Connection closed by server."};
    const struct {
        const char *name;
        std::vector<std::string> firstBatch;
        std::vector<Report> ending;  // after "Retrieving jazz songs..."
    } cases[] = {
        {"a song before the close",
         {overviewLine(1, "Found Song (1/1)", "<f@x>"), overviewLine(2, "Split Song (1/2)", "<s1@x>")},
         {{9009, found}, lost, {9003, "DONE"}}},
        {"no song before the close", {overviewLine(2, "Split Song (1/2)", "<s1@x>")}, {lost, lost}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ReportRecorder::clear();
        ScriptedPeer peer;
        peer.send(kGreeting)
            .expect("group g.lost\r\n")
            .send("211 102 1 102 g.lost\r\n")
            .expect("group g.lost\r\n")
            .send("211 102 1 102 g.lost\r\n")
            .expect("xover 1-51\r\n")
            .expect("xover 52-102\r\n")
            .send(overviewReply(c.firstBatch))
            .close();
        search(peer, "g.lost\tjazz\r\n");
        std::vector<Report> expected = {
            {9000, "Searching..."}, {9000, "Searching... DONE!"}, {9000, "Retrieving jazz songs..."}};
        expected.insert(expected.end(), c.ending.begin(), c.ending.end());
        // The peer's close ends the wait above before the engine has reported it.
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (withoutProgress(ReportRecorder::reports()).size() < expected.size() &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        ReportRecorder::waitQuiet(50ms);
        EXPECT_EQ(withoutProgress(ReportRecorder::reports()), expected);
    }
}

// Real servers send overview lines longer than 4,096 characters (long Xref fields): such a line
// is skipped alone, and the songs of the other lines of its batch and group are kept.
TEST_F(SongSearchTest, LongLineIsSkippedAlone) {
    ScriptedPeer peer;
    peer.send(kGreeting)
        .expect("group g.long\r\n")
        .send("211 60 1 60 g.long\r\n")
        .expect("group g.good\r\n")
        .send("211 1 1 1 g.good\r\n")
        .expect("group g.long\r\n")
        .send("211 60 1 60 g.long\r\n")
        .expect("xover 1-51\r\n")
        .expect("xover 52-60\r\n")
        .send(overviewReply({overviewLine(1, std::string(5000, 'x') + " (1/1)", "<long@x>"),
                             overviewLine(2, "Same Batch Song (1/1)", "<same@x>")}))
        .send(overviewReply({overviewLine(52, "Next Batch Song (1/1)", "<next@x>")}))
        .expect("group g.good\r\n")
        .send("211 1 1 1 g.good\r\n")
        .expect("xover 1-1\r\n")
        .send(overviewReply({overviewLine(1, "Kept Song (1/1)", "<kept@x>")}))
        .expect(kQuit)
        .send(kBye);
    search(peer, "g.long\tjazz\r\ng.good\tjazz\r\n");
    const std::vector<Report> reports = ReportRecorder::reports();
    EXPECT_TRUE(textsOf(reports, 9001).empty());
    const std::vector<std::string> songs = textsOf(reports, 9009);
    ASSERT_EQ(songs.size(), 3u);
    EXPECT_TRUE(songs[0].starts_with("\tNext Batch Song \t"));
    EXPECT_TRUE(songs[1].starts_with("\tSame Batch Song \t"));
    // Three lines of the group were read: the long one counts towards the progress too.
    EXPECT_EQ(textsOf(reports, 9004), (std::vector<std::string>{"3.39", "5.08", "88.14", "103.39"}));
    EXPECT_EQ(reports.back(), (Report{9003, "DONE"}));
}

// A range no real group has fails that group with its own message; the other groups are searched.
TEST_F(SongSearchTest, ImpossibleRangeFailsOnlyThatGroup) {
    ScriptedPeer peer;
    peer.send(kGreeting)
        .expect("group g.huge\r\n")
        .send("211 5 0 9223372036854775807 g.huge\r\n")
        // Narrow, but at the very top: the number after its last one does not exist.
        .expect("group g.top\r\n")
        .send("211 5 9223372036854775803 9223372036854775807 g.top\r\n")
        .expect("group g.ok\r\n")
        .send("211 1 7 7 g.ok\r\n")
        .expect("group g.ok\r\n")
        .send("211 1 7 7 g.ok\r\n")
        .expect("xover 7-7\r\n")
        .send(overviewReply({overviewLine(7, "Band - Tune.mp3 (1/1)", "<t@x>")}))
        .expect(kQuit)
        .send(kBye);
    search(peer, "g.huge\tjazz\r\ng.top\tpop\r\ng.ok\trock\r\n");
    const std::vector<Report> expected = {
        {9000, "Searching..."},
        {9001,
         "The server announced an impossible article range 0-9223372036854775807 for g.huge; the group is "
         "skipped."},
        {9001,
         "The server announced an impossible article range 9223372036854775803-9223372036854775807 for g.top; the "
         "group is skipped."},
        {9000, "Searching... DONE!"},
        {9000, "Retrieving rock songs..."},
        {9009, "\tBand - Tune.mp3 \trock\t" + std::string(kPostDate) + "\tg.ok\t1\t<t@x>\f\r\n"},
        {9003, "DONE"}};
    EXPECT_EQ(withoutProgress(ReportRecorder::reports()), expected);
}

TEST_F(SongSearchTest, EmptyRangeRepliesAreEmptyBatches) {
    ScriptedPeer peer;
    peer.send(kGreeting)
        .expect("group g\r\n")
        .send("211 3 1 120 g\r\n")
        .expect("group g\r\n")
        .send("211 3 1 120 g\r\n")
        .expect("xover 1-51\r\n")
        .send("420 No article(s) selected\r\n")
        .expect("xover 52-102\r\n")
        .send("423 No articles in that range\r\n")
        .expect("xover 103-120\r\n")
        .send(overviewReply({overviewLine(119, "Song (1/2)", "<1@x>"), overviewLine(120, "Song (2/2)", "<2@x>")}))
        .expect(kQuit)
        .send(kBye);
    search(peer, "g\tjazz\r\n");
    const std::vector<Report> reports = ReportRecorder::reports();
    EXPECT_EQ(textsOf(reports, 9009).size(), 1u);
    // The two empty batches count 50 each towards the progress base: (100 + 1 + 1) / 119.
    EXPECT_EQ(textsOf(reports, 9004).front(), "85.71");
    EXPECT_EQ(reports.back(), (Report{9003, "DONE"}));
}

struct BatchCase {
    const char *name;
    long first;
    long last;
    std::vector<std::string> commands;
};

void PrintTo(const BatchCase &c, std::ostream *os) { *os << c.name; }

class OverviewBatches : public SongSearchTest, public ::testing::WithParamInterface<BatchCase> {};

TEST_P(OverviewBatches, Cover51NumbersEach) {
    const BatchCase &c = GetParam();
    const std::string reply = "211 9 " + std::to_string(c.first) + " " + std::to_string(c.last) + " g\r\n";
    ScriptedPeer peer;
    peer.send(kGreeting).expect("group g\r\n").send(reply).expect("group g\r\n").send(reply);
    for (const std::string &command : c.commands) peer.expect(command).send(overviewReply({}));
    peer.expect(kQuit).send(kBye);
    search(peer, "g\tjazz\r\n");
    EXPECT_EQ(ReportRecorder::reports().back(), (Report{9001, "No Songs."}));
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, OverviewBatches,
    ::testing::Values(
        BatchCase{"ThreeBatches", 1000, 1119, {"xover 1000-1050\r\n", "xover 1051-1101\r\n", "xover 1102-1119\r\n"}},
        BatchCase{"ExactlyOneBatch", 1, 51, {"xover 1-51\r\n"}},
        BatchCase{"OneNumberOver", 1, 52, {"xover 1-51\r\n", "xover 52-52\r\n"}},
        BatchCase{"SingleArticle", 5, 5, {"xover 5-5\r\n"}},
        BatchCase{"BeyondThirtyTwoBits", 4294967290, 4294967300, {"xover 4294967290-4294967300\r\n"}},
        BatchCase{"LastIsZero", 0, 0, {}}, BatchCase{"LastBelowFirst", 1001, 1000, {}}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
