// A server that drips its reply a byte at a time: the multi-line readers keep their wait per
// receive but stop between receives once a cancel is requested.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "core/engine_settings.h"
#include "core/error_text.h"
#include "core/operation.h"
#include "corvane_n.h"
#include "net/multiline.h"
#include "net/pending_bytes.h"
#include "nntp/session.h"
#include "support/scripted_peer.h"
#include "support/test_environment.h"

using namespace corvane;
using namespace std::chrono_literals;
using harbeat::test::connectTo;
using harbeat::test::ScriptedPeer;
using harbeat::test::ShortReceiveWait;

namespace {

// Three seconds of a reply, one byte every 20 ms.
std::vector<std::string> drip(const std::string &text) {
    std::vector<std::string> bytes;
    for (char c : text) bytes.emplace_back(1, c);
    return bytes;
}

const std::string kDripped = std::string(150, 'x') + "\r\n.\r\n";

struct SlowReader {
    const char *name;
    std::string status;
    std::function<int(std::string &, Connection)> read;
};

void PrintTo(const SlowReader &c, std::ostream *os) { *os << c.name; }

class DrippingReply : public ::testing::TestWithParam<SlowReader> {
protected:
    void TearDown() override { setCancelRequested(false); }
};

TEST_P(DrippingReply, StopsBetweenReceivesOnCancel) {
    ShortReceiveWait wait(2s);
    setCancelRequested(false);
    ScriptedPeer peer;
    peer.send(GetParam().status).sendSplit(drip(kDripped), 20ms);
    peer.start();
    const Connection c = connectTo(peer);
    // Readers run inside an operation (a worker or a call), which mp3CancelFunc cancels.
    const OperationScope operation(beginOperation(OperationKind::Call));
    std::thread stop([] {
        std::this_thread::sleep_for(150ms);
        mp3CancelFunc();
    });
    std::string error;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(GetParam().read(error, c), 0);
    stop.join();
    EXPECT_EQ(error, kCancelled);
    // Well before the three seconds the whole reply takes.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1500ms);
    netClose(c);
}

INSTANTIATE_TEST_SUITE_P(
    Readers, DrippingReply,
    ::testing::Values(SlowReader{"ResponseLine", "224 overview\r\n",
                                 [](std::string &error, Connection c) {
                                     std::string line;
                                     return readResponseLine(error, c, line, 4096, true);
                                 }},
                      SlowReader{"MultiLineResponse", "220 article\r\n",
                                 [](std::string &error, Connection c) {
                                     std::string text;
                                     return readMultiLineResponse(error, c, 220, kResponseTerminator, text);
                                 }},
                      SlowReader{"OverviewFormat", "215 format\r\n",
                                 [](std::string &error, Connection c) { return nntpReadOverviewFormat(error, c); }}),
    [](const auto &info) { return std::string(info.param.name); });

// Bytes behind the end of one reply are the start of the next: each reader leaves them for the
// reader of the next reply, whichever it is.
TEST(PendingBytes, EveryReaderLeavesTheNextReplyAlone) {
    ShortReceiveWait wait(300ms);
    ScriptedPeer peer;
    peer.send(
            "211 1 1 1 g\r\n224 ov\r\n1\tx\r\n.\r\n220 art\r\nbody\r\n.\r\n215 fmt\r\nSubject:\r\n.\r\n"
            "423 none\r\n205 bye\r\n")
        .silent(2s);
    peer.start();
    const Connection c = connectTo(peer);
    std::string error;
    std::string reply;
    ASSERT_EQ(readReplyLine(error, c, reply), 1) << error;
    EXPECT_EQ(reply, "211 1 1 1 g\r\n");
    std::string line;
    ASSERT_EQ(readResponseLine(error, c, line, 4096, true), 1) << error;
    EXPECT_EQ(line, "224 ov");
    ASSERT_EQ(readResponseLine(error, c, line, 4096, false), 1) << error;
    EXPECT_EQ(line, "1\tx");
    ASSERT_EQ(readResponseLine(error, c, line, 4096, false), 1) << error;
    EXPECT_EQ(line, "");
    std::string text;
    ASSERT_EQ(readMultiLineResponse(error, c, 220, kResponseTerminator, text), 1) << error;
    EXPECT_EQ(text, "body\r\n");
    ASSERT_EQ(nntpReadOverviewFormat(error, c), 1) << error;
    EXPECT_EQ(readMultiLineResponse(error, c, 220, kResponseTerminator, text), 0);
    EXPECT_EQ(error, "423 none");
    ASSERT_EQ(readReplyLine(error, c, reply), 1) << error;
    EXPECT_EQ(reply, "205 bye\r\n");
    netClose(c);
}

// Kept bytes can hold far more than one reply line: the line is taken, the rest stays kept, and
// closing the connection forgets it.
TEST(PendingBytes, ALongRunOfKeptRepliesIsTakenLineByLine) {
    ScriptedPeer peer;
    peer.silent(1s);
    peer.start();
    const Connection c = connectTo(peer);
    std::string replies;
    for (int i = 0; i < 2000; ++i) replies += "223 " + std::to_string(i) + " <id@x> status\r\n";
    keepPendingBytes(c, replies);
    std::string error;
    std::string reply;
    for (int i = 0; i < 2000; ++i) {
        ASSERT_EQ(readReplyLine(error, c, reply), 1) << error;
        ASSERT_EQ(reply, "223 " + std::to_string(i) + " <id@x> status\r\n");
    }
    EXPECT_FALSE(hasPendingBytes(c));
    keepPendingBytes(c, "left over");
    netClose(c);
    EXPECT_FALSE(hasPendingBytes(c));
}

}  // namespace

// Many replies of all sizes sent ahead in one go, so that receives end anywhere in them, and a
// reply bigger than a receive: each is handed out whole and in order, and the reply behind the
// last one is still there for the next reader.
TEST(PendingBytes, PipelinedRepliesOfAllSizesAreHandedOutInOrder) {
    ShortReceiveWait wait(2s);
    std::vector<std::vector<std::string>> expected;
    std::string replies;
    for (int r = 0; r < 60; ++r) {
        std::vector<std::string> lines{"224 batch " + std::to_string(r)};
        const int count = r == 30 ? 900 : (r * 37) % 23;
        for (int i = 0; i < count; ++i)
            lines.push_back(std::to_string(r) + "\t" + std::string((r * 7 + i * 13) % 300, 'a' + i % 26));
        if (r % 9 == 4) lines = {"423 none " + std::to_string(r)};
        for (const std::string &line : lines) replies += line + "\r\n";
        if (lines[0][0] == '2') replies += ".\r\n";
        expected.push_back(lines);
    }
    ScriptedPeer peer;
    peer.send(replies + "205 bye\r\n").silent(3s);
    peer.start();
    const Connection c = connectTo(peer);
    std::string error;
    for (const std::vector<std::string> &lines : expected) {
        std::vector<std::string> got;
        std::string_view line;
        bool first = true;
        while (readResponseLineView(error, c, line, 4096, first) && !line.empty()) {
            got.emplace_back(line);
            first = false;
            if (got.size() == 1 && line[0] == '4') break;
        }
        ASSERT_EQ(got, lines) << error;
    }
    std::string reply;
    ASSERT_EQ(readReplyLine(error, c, reply), 1) << error;
    EXPECT_EQ(reply, "205 bye\r\n");
    netClose(c);
}
