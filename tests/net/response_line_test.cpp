#include <gtest/gtest.h>

#include "net/multiline.h"
#include "support/scripted_peer.h"
#include "support/test_environment.h"

using namespace corvane;
using namespace std::chrono_literals;
using harbeat::test::connectTo;
using harbeat::test::ScriptedPeer;
using harbeat::test::ShortReceiveWait;

namespace {

std::vector<std::string> readAllLines(Connection c, std::string &error, std::size_t capacity = 4096) {
    std::vector<std::string> lines;
    std::string line;
    bool first = true;
    for (;;) {
        if (!readResponseLine(error, c, line, capacity, first)) {
            lines.push_back("<failed>");
            break;
        }
        first = false;
        if (line.empty()) break;
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

TEST(ResponseLine, WholeResponseInOneReceiveNeedsNoFurtherReceive) {
    // The peer then stays silent: a further receive would end in the time-out.
    ShortReceiveWait wait(300ms);
    ScriptedPeer peer;
    peer.send("224 overview\r\n1\tA (1/2)\r\n2\tA (2/2)\r\n.\r\n").silent(2s);
    peer.start();
    const Connection c = connectTo(peer);
    std::string error;
    EXPECT_EQ(readAllLines(c, error), (std::vector<std::string>{"224 overview", "1\tA (1/2)", "2\tA (2/2)"}));
    EXPECT_TRUE(error.empty()) << error;
    netClose(c);
}

TEST(ResponseLine, CollectsAResponseSplitOverReceives) {
    ShortReceiveWait wait(500ms);
    ScriptedPeer peer;
    peer.sendSplit({"224 ov", "er\r\n1\tx\r", "\n2\ty\r\n.", "\r\n"}).silent(2s);
    peer.start();
    const Connection c = connectTo(peer);
    std::string error;
    EXPECT_EQ(readAllLines(c, error), (std::vector<std::string>{"224 over", "1\tx", "2\ty"}));
    netClose(c);
}

TEST(ResponseLine, EmptyResponseEndsAfterTheStatusLine) {
    ShortReceiveWait wait(300ms);
    ScriptedPeer peer;
    peer.send("224 nothing\r\n.\r\n").silent(2s);
    peer.start();
    const Connection c = connectTo(peer);
    std::string error;
    EXPECT_EQ(readAllLines(c, error), (std::vector<std::string>{"224 nothing"}));
    netClose(c);
}

TEST(ResponseLine, ErrorStatusIsHandedOutWithoutWaitingForATerminator) {
    ShortReceiveWait wait(2s);
    ScriptedPeer peer;
    peer.send("423 No articles in that range\r\n").silent(3s);
    peer.start();
    const Connection c = connectTo(peer);
    std::string error, line;
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(readResponseLine(error, c, line, 4096, true), 1) << error;
    EXPECT_EQ(line, "423 No articles in that range");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1500ms);
    netClose(c);
}

TEST(ResponseLine, LineAtCapacityIsRefusedWithBothNumbers) {
    ShortReceiveWait wait(300ms);
    ScriptedPeer peer;
    peer.send("224 ok\r\n" + std::string(4096, 'x') + "\r\n.\r\n").silent(2s);
    peer.start();
    const Connection c = connectTo(peer);
    std::string error, line;
    ASSERT_EQ(readResponseLine(error, c, line, 4096, true), 1) << error;
    EXPECT_EQ(readResponseLine(error, c, line, 4096, false), 0);
    EXPECT_EQ(error, "(4096-4096) Alloc more space for soc line.");
    netClose(c);
}

TEST(ResponseLine, ClosedConnectionBeforeTheTerminatorFails) {
    ScriptedPeer peer;
    peer.send("224 ok\r\n1\tx\r\n").close();
    peer.start();
    const Connection c = connectTo(peer);
    std::string error, line;
    EXPECT_EQ(readResponseLine(error, c, line, 4096, true), 0);
    EXPECT_EQ(error, "Connection closed by server.");
    netClose(c);
}
