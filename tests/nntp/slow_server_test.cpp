// Servers that answer too slowly: a single-line reply has one deadline for all its receives, and
// a failed check does not wait a second time for the answer to its QUIT.
#include <gtest/gtest.h>

#include "core/error_text.h"
#include "corvane_n.h"
#include "nntp/session.h"
#include "support/scripted_peer.h"
#include "support/test_environment.h"

using namespace corvane;
using namespace std::chrono_literals;
using harbeat::test::connectTo;
using harbeat::test::ReportRecorder;
using harbeat::test::ScriptedPeer;
using harbeat::test::ShortReceiveWait;
using harbeat::test::TemporaryHome;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kWait = 400ms;

std::vector<std::string> bytesOf(const std::string &text) {
    std::vector<std::string> bytes;
    for (char c : text) bytes.emplace_back(1, c);
    return bytes;
}

// A greeting of 40 bytes, one every 50 ms: each receive is quick, the whole line takes 2 s.
TEST(SlowServer, DrippedReplyLineTimesOutAfterOneWait) {
    ShortReceiveWait wait(kWait);
    ScriptedPeer peer;
    peer.sendSplit(bytesOf("200 news.example ready, taking its time\r\n"), 50ms);
    peer.start();
    const Connection c = connectTo(peer);
    std::string error;
    std::string reply;
    const auto started = Clock::now();
    EXPECT_EQ(readReplyLine(error, c, reply), 0);
    EXPECT_EQ(error, kTimedOut);
    EXPECT_LT(Clock::now() - started, 2 * kWait);
    netClose(c);
}

TEST(SlowServer, FailedCheckReturnsAfterOneWait) {
    TemporaryHome home;
    ShortReceiveWait wait(kWait);
    ScriptedPeer peer;
    peer.silent(0ms)
        .nextConnection()
        .send("200 ok\r\n")
        .expect("group alt.binaries.sounds.mp3\r\n")
        .send("211 1 1 1 alt.binaries.sounds.mp3\r\n")
        .expect("list overview.fmt\r\n")
        .expect("QUIT\r\n");
    peer.start();
    char error[256] = {};
    int32_t reachable = 0, posting = 0;
    const auto started = Clock::now();
    EXPECT_EQ(
        mp3Settings(error, ReportRecorder::callback(), "127.0.0.1", peer.port(), "", "", 0, &reachable, &posting, 0),
        0);
    // The overview format's wait, and none for the QUIT that still goes out.
    EXPECT_LT(Clock::now() - started, kWait + kWait / 2);
    EXPECT_STREQ(error, "Timed Out, server has not responded.");
    EXPECT_TRUE(peer.waitDone());
    for (const std::string &failure : peer.failures()) ADD_FAILURE() << failure;
}

}  // namespace
