// Overview commands in flight against servers that misbehave: replies packed together or cut in
// pieces, a close or a stall in the middle of a run, a refusal with commands still on the way.
// Each ends with clear reports, no song lost or doubled, and no reply taken for another's.
#include <gtest/gtest.h>

#include <functional>

#include "core/engine_options.h"
#include "search_test_support.h"

using namespace harbeat::test;
using namespace std::chrono_literals;

namespace {

const std::string kGreeting = "200 news.example ready\r\n";
const std::string kQuit = "QUIT\r\n";
const std::string kBye = "205 bye\r\n";
const std::string kRequest = "g.pipe\tjazz\r\ng.next\trock\r\n";

// g.pipe holds numbers 1 to 200: four batches, each with one single-part song.
const std::vector<std::string> kCommands = {"xover 1-51\r\n", "xover 52-102\r\n", "xover 103-153\r\n",
                                            "xover 154-200\r\n"};

std::string batchReply(int k) {
    const long first = 1 + 51 * k;
    return overviewReply(
        {overviewLine(first, "Batch " + std::to_string(k) + " Song (1/1)", "<b" + std::to_string(k) + "@x>"),
         overviewLine(first + 1, "no part number", "<c" + std::to_string(k) + "@x>")});
}

void scriptFirstPass(ScriptedPeer &peer) {
    peer.send(kGreeting)
        .expect("group g.pipe\r\n")
        .send("211 200 1 200 g.pipe\r\n")
        .expect("group g.next\r\n")
        .send("211 1 1 1 g.next\r\n")
        .expect("group g.pipe\r\n")
        .send("211 200 1 200 g.pipe\r\n");
}

void scriptNextGroup(ScriptedPeer &peer) {
    peer.expect("group g.next\r\n")
        .send("211 1 1 1 g.next\r\n")
        .expect("xover 1-1\r\n")
        .send(overviewReply({overviewLine(1, "Next Song (1/1)", "<n@x>")}));
}

void expectEveryCommand(ScriptedPeer &peer) {
    for (const std::string &command : kCommands) peer.expect(command);
}

std::vector<std::string> splitEvery(const std::string &text, std::size_t size) {
    std::vector<std::string> pieces;
    for (std::size_t at = 0; at < text.size(); at += size) pieces.push_back(text.substr(at, size));
    return pieces;
}

class PipelinedOverview : public SongSearchTest {
protected:
    void TearDown() override {
        corvane::resetEngineOptionsForTests();
        SongSearchTest::TearDown();
    }

    // The reports of a well-behaved server answered one command at a time.
    static std::vector<Report> oneAtATime() {
        EXPECT_TRUE(corvane::setEngineOption("pipeline", "1"));
        ScriptedPeer peer;
        scriptFirstPass(peer);
        for (int k = 0; k < 4; ++k) peer.expect(kCommands[k]).send(batchReply(k));
        scriptNextGroup(peer);
        peer.expect(kQuit).send(kBye);
        search(peer, kRequest);
        EXPECT_TRUE(corvane::setEngineOption("pipeline", "64"));
        std::vector<Report> reports = ReportRecorder::reports();
        ReportRecorder::clear();
        return reports;
    }
};

struct ReplyShape {
    const char *name;
    std::function<void(ScriptedPeer &)> answers;  // after all four commands have arrived
};

void PrintTo(const ReplyShape &c, std::ostream *os) { *os << c.name; }

class ReplyShapes : public PipelinedOverview, public ::testing::WithParamInterface<ReplyShape> {};

TEST_P(ReplyShapes, GiveTheReportsOfOneAtATime) {
    const std::vector<Report> expected = oneAtATime();
    ASSERT_EQ(textsOf(expected, 9009).size(), 5u);
    ScriptedPeer peer;
    scriptFirstPass(peer);
    expectEveryCommand(peer);
    GetParam().answers(peer);
    scriptNextGroup(peer);
    peer.expect(kQuit).send(kBye);
    search(peer, kRequest);
    EXPECT_EQ(ReportRecorder::reports(), expected);
    EXPECT_EQ(peer.connectionsAccepted(), 1);
}

INSTANTIATE_TEST_SUITE_P(Packets, ReplyShapes,
                         ::testing::Values(ReplyShape{"AllRepliesInOnePacket",
                                                      [](ScriptedPeer &p) {
                                                          p.send(batchReply(0) + batchReply(1) + batchReply(2) +
                                                                 batchReply(3));
                                                      }},
                                           ReplyShape{"TwoRepliesPerPacketCutInsideATerminator",
                                                      [](ScriptedPeer &p) {
                                                          const std::string all = batchReply(0) + batchReply(1) +
                                                                                  batchReply(2) + batchReply(3);
                                                          const std::size_t cut =
                                                              batchReply(0).size() + batchReply(1).size() - 2;
                                                          p.sendSplit({all.substr(0, cut), all.substr(cut)}, 20ms);
                                                      }},
                                           ReplyShape{"EveryReplyOverManyPackets",
                                                      [](ScriptedPeer &p) {
                                                          for (int k = 0; k < 4; ++k)
                                                              p.sendSplit(splitEvery(batchReply(k), 13), 1ms);
                                                      }}),
                         [](const auto &info) { return std::string(info.param.name); });

// Fewer replies than commands, then the server closes: the group fails with a clear message
// after the songs of the replies that came, and the next group is read on a new session.
TEST_F(PipelinedOverview, CloseAfterHalfTheRepliesFailsTheGroupOnly) {
    ScriptedPeer peer;
    scriptFirstPass(peer);
    expectEveryCommand(peer);
    peer.send(batchReply(0) + batchReply(1)).close().nextConnection().send(kGreeting);
    scriptNextGroup(peer);
    peer.expect(kQuit).send(kBye);
    search(peer, kRequest);
    const std::vector<Report> reports = withoutProgress(ReportRecorder::reports());
    EXPECT_EQ(textsOf(reports, 9001), (std::vector<std::string>{"Connection closed by server."}));
    const std::vector<std::string> songs = textsOf(reports, 9009);
    ASSERT_EQ(songs.size(), 3u);
    EXPECT_TRUE(songs[0].starts_with("\tBatch 0 Song \t"));
    EXPECT_TRUE(songs[1].starts_with("\tBatch 1 Song \t"));
    EXPECT_TRUE(songs[2].starts_with("\tNext Song \t"));
    EXPECT_EQ(reports.back(), (Report{9003, "DONE"}));
}

// A server that stops answering halfway: the group is unavailable after one wait, QUIT still goes
// out on its connection, and the next group is read on a new session.
TEST_F(PipelinedOverview, StallAfterHalfTheRepliesMakesTheGroupUnavailable) {
    ShortReceiveWait wait(300ms);
    ScriptedPeer peer;
    scriptFirstPass(peer);
    expectEveryCommand(peer);
    peer.send(batchReply(0) + batchReply(1)).expect(kQuit).nextConnection().send(kGreeting);
    scriptNextGroup(peer);
    peer.expect(kQuit).send(kBye);
    search(peer, kRequest);
    const std::vector<Report> reports = withoutProgress(ReportRecorder::reports());
    EXPECT_TRUE(textsOf(reports, 9001).empty());
    EXPECT_EQ(textsOf(reports, 9009).size(), 1u);
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(reports[reports.size() - 2], (Report{9008, "g.pipe\r\n"}));
    EXPECT_EQ(reports.back(), (Report{9003, "DONE"}));
}

// A refusal in the middle of a run: the replies to the commands still on the way are read away, so
// the next group's "group" gets its own reply on the same connection.
TEST_F(PipelinedOverview, RefusalMidRunReadsTheOtherRepliesAway) {
    ScriptedPeer peer;
    scriptFirstPass(peer);
    expectEveryCommand(peer);
    peer.send(batchReply(0) + "503 Overview database unavailable\r\n" + batchReply(2) + batchReply(3));
    scriptNextGroup(peer);
    peer.expect(kQuit).send(kBye);
    search(peer, kRequest);
    const std::vector<Report> reports = withoutProgress(ReportRecorder::reports());
    EXPECT_EQ(textsOf(reports, 9001), (std::vector<std::string>{"503 Overview database unavailable"}));
    const std::vector<std::string> songs = textsOf(reports, 9009);
    ASSERT_EQ(songs.size(), 1u);
    EXPECT_TRUE(songs[0].starts_with("\tNext Song \t"));
    EXPECT_EQ(peer.connectionsAccepted(), 1);
}

// Never more commands on the way than the option allows: with 2 and a server that does not
// answer, the third command never goes out; the time-out ends the group and QUIT follows.
TEST_F(PipelinedOverview, CommandsAheadStayWithinTheOption) {
    ShortReceiveWait wait(300ms);
    ASSERT_TRUE(corvane::setEngineOption("pipeline", "2"));
    ScriptedPeer peer;
    scriptFirstPass(peer);
    peer.expect(kCommands[0]).expect(kCommands[1]).expect(kQuit).nextConnection().send(kGreeting);
    scriptNextGroup(peer);
    peer.expect(kQuit).send(kBye);
    search(peer, kRequest);
    const std::vector<Report> reports = withoutProgress(ReportRecorder::reports());
    EXPECT_EQ(textsOf(reports, 9008), (std::vector<std::string>{"g.pipe\r\n"}));
    EXPECT_EQ(reports.back(), (Report{9003, "DONE"}));
}

}  // namespace
