#include "net/multiline.h"

#include <gtest/gtest.h>

#include "core/engine_settings.h"
#include "support/scripted_peer.h"
#include "support/test_environment.h"

using namespace corvane;
using namespace std::chrono_literals;
using harbeat::test::connectTo;
using harbeat::test::Report;
using harbeat::test::ReportRecorder;
using harbeat::test::ScriptedPeer;
using harbeat::test::ShortReceiveWait;

namespace {

class MultiLine : public ::testing::Test {
protected:
    void SetUp() override {
        setCancelRequested(false);
        storeStatusCallback(ReportRecorder::callback());
        ReportRecorder::clear();
    }
    void TearDown() override {
        setCancelRequested(false);
        storeStatusCallback(nullptr);
    }
    ShortReceiveWait wait{300ms};
};

}  // namespace

TEST_F(MultiLine, NoDataLinesGivesTheDotLine) {
    ScriptedPeer peer;
    peer.send("231 New newsgroups follow\r\n.\r\n").silent(1s);
    peer.start();
    const Connection c = connectTo(peer);
    std::string error, text;
    ASSERT_EQ(readMultiLineResponse(error, c, 231, kResponseTerminator, text), 1) << error;
    EXPECT_EQ(text, ".\r\n");
    EXPECT_EQ(text.size(), 3u);
    netClose(c);
}

TEST_F(MultiLine, WrongCodeGivesTheReplyWithoutItsLineBreak) {
    ScriptedPeer peer;
    peer.send("430 No such article\r\n").silent(1s);
    peer.start();
    const Connection c = connectTo(peer);
    std::string error, text;
    EXPECT_EQ(readMultiLineResponse(error, c, 220, kResponseTerminator, text), 0);
    EXPECT_EQ(error, "430 No such article");
    netClose(c);
}

TEST_F(MultiLine, CollectsDataSplitAnywhereAndDropsStatusAndTerminator) {
    ScriptedPeer peer;
    // The terminator itself is split between two sends, and bytes after it are dropped.
    peer.sendSplit({"215 list", " follows\r\nalt.a 2 1 y\r\n..dotted\r\nalt.b 5 1 n\r", "\n.", "\r\nextra"}).silent(1s);
    peer.start();
    const Connection c = connectTo(peer);
    std::string error, text;
    ASSERT_EQ(readMultiLineResponse(error, c, 215, kResponseTerminator, text), 1) << error;
    EXPECT_EQ(text, "alt.a 2 1 y\r\n..dotted\r\nalt.b 5 1 n\r\n");
    netClose(c);
}

TEST_F(MultiLine, ProgressCountsLinesAfterEveryFurtherReceive) {
    ScriptedPeer peer;
    peer.sendSplit({"215 x\r\n", "a\r\nb\r\n", "c\r\n.\r\n"}, 80ms).silent(1s);
    peer.start();
    const Connection c = connectTo(peer);
    std::string error, text;
    ASSERT_EQ(readMultiLineResponse(error, c, 215, kResponseTerminator, text, {true, 0, 0}), 1) << error;
    // Block line breaks after receive 2: 3 -> 4.00; after receive 3: 5 -> 6.00.
    const std::vector<Report> expected = {{kNotifyProgress, "4.00"}, {kNotifyProgress, "6.00"}};
    EXPECT_EQ(ReportRecorder::reports(), expected);

    ReportRecorder::clear();
    ScriptedPeer second;
    second.sendSplit({"220 ok\r\n", "a\r\n.\r\n"}, 80ms).silent(1s);
    second.start();
    const Connection c2 = connectTo(second);
    ASSERT_EQ(readMultiLineResponse(error, c2, 220, kResponseTerminator, text, {true, 10, 200}), 1) << error;
    // (3 line breaks + 10 + 1) / 200 * 100
    EXPECT_EQ(ReportRecorder::reports(), (std::vector<Report>{{kNotifyProgress, "7.00"}}));
    netClose(c);
    netClose(c2);
}

TEST_F(MultiLine, CancelStopsAfterTheReceive) {
    ScriptedPeer peer;
    peer.send("215 x\r\na\r\n").silent(1s);
    peer.start();
    const Connection c = connectTo(peer);
    setCancelRequested(true);
    std::string error, text;
    EXPECT_EQ(readMultiLineResponse(error, c, 215, kResponseTerminator, text), 0);
    EXPECT_EQ(error, "Operation cancelled by user.");
    EXPECT_TRUE(text.empty());
    netClose(c);
}

TEST_F(MultiLine, ServerClosingBeforeTheTerminatorFails) {
    ScriptedPeer peer;
    peer.send("215 x\r\na\r\n").close();
    peer.start();
    const Connection c = connectTo(peer);
    std::string error, text;
    EXPECT_EQ(readMultiLineResponse(error, c, 215, kResponseTerminator, text), 0);
    EXPECT_EQ(error, "Connection closed by server.");
    netClose(c);
}

TEST_F(MultiLine, SilenceInTheMiddleTimesOut) {
    ScriptedPeer peer;
    peer.send("215 x\r\na\r\n").silent(2s);
    peer.start();
    const Connection c = connectTo(peer);
    std::string error, text;
    EXPECT_EQ(readMultiLineResponse(error, c, 215, kResponseTerminator, text), 0);
    EXPECT_EQ(error, "Timed Out, server has not responded.");
    netClose(c);
}
