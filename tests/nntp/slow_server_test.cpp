// Servers that answer too slowly: a single-line reply has one deadline for all its receives, a
// failed check does not wait a second time for the answer to its QUIT, a call on the caller's
// thread has one deadline for all its steps, and Stop ends any wait within a fraction of a second.
#include <gtest/gtest.h>

#include <thread>

#include "core/error_text.h"
#include "core/operation.h"
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

// A reply that has begun before its deadline is not given a whole wait more for its rest.
TEST(SlowServer, ReplyLineDeadlineIsNotStretchedByItsLastReceive) {
    ShortReceiveWait wait(kWait);
    ScriptedPeer peer;
    // A byte at once, one three quarters of a wait in, the rest after the deadline: the receive
    // that starts just before the deadline waits only for the time left.
    peer.sendSplit({"2", "0", "0 news.example ready\r\n"}, kWait * 3 / 4).silent(kWait);
    peer.start();
    const Connection c = connectTo(peer);
    std::string error;
    std::string reply;
    EXPECT_EQ(readReplyLine(error, c, reply), 0);
    EXPECT_EQ(error, kTimedOut);
    netClose(c);
}

struct CheckRun {
    int32_t result;
    std::string error;
    Clock::duration took;
};

CheckRun checkServerAt(int port) {
    char error[256] = {};
    int32_t reachable = 0, posting = 0;
    const auto started = Clock::now();
    const int32_t result = mp3Settings(error, nullptr, "127.0.0.1", port, "", "", 0, &reachable, &posting, 0);
    return {result, error, Clock::now() - started};
}

// Each step of the check answers within its wait, yet the check as a whole ends within its one
// deadline: a dripped overview format, and a server that never answers QUIT.
TEST(SlowServer, ServerCheckEndsWithinOneCallDeadline) {
    TemporaryHome home;
    ShortReceiveWait wait(kWait);
    {
        ScriptedPeer peer;
        peer.silent(0ms)
            .nextConnection()
            .send("200 ok\r\n")
            .expect("group alt.binaries.sounds.mp3\r\n")
            .send("211 1 1 1 alt.binaries.sounds.mp3\r\n")
            .expect("list overview.fmt\r\n")
            .sendSplit(bytesOf(ScriptedPeer::usualOverviewFormat()), kWait / 8);
        peer.start();
        const CheckRun run = checkServerAt(peer.port());
        EXPECT_EQ(run.result, 0);
        EXPECT_EQ(run.error, "Timed Out, server has not responded.");
        EXPECT_LT(run.took, 3 * kWait);
    }
    {
        // A good check whose QUIT is left unanswered for ten waits.
        ScriptedPeer silentQuit;
        silentQuit.silent(0ms)
            .nextConnection()
            .send("200 ok\r\n")
            .expect("group alt.binaries.sounds.mp3\r\n")
            .send("211 1 1 1 alt.binaries.sounds.mp3\r\n")
            .expect("list overview.fmt\r\n")
            .send(ScriptedPeer::usualOverviewFormat())
            .expect("QUIT\r\n")
            .silent(10 * kWait);
        silentQuit.start();
        const CheckRun run = checkServerAt(silentQuit.port());
        EXPECT_EQ(run.result, -1) << run.error;
        EXPECT_LT(run.took, 3 * kWait);
    }
}

// Stop ends a wait on a server that says nothing, long before the wait would.
TEST(SlowServer, StopEndsAWaitOnASilentServer) {
    ShortReceiveWait wait(20s);
    ScriptedPeer peer;
    peer.send("200 ok\r\n").silent(30s);
    peer.start();
    const Connection c = connectTo(peer);
    const OperationScope operation(beginOperation(OperationKind::Call));
    std::string error;
    std::string reply;
    ASSERT_EQ(readReplyLine(error, c, reply), 1) << error;
    std::thread stop([] {
        std::this_thread::sleep_for(200ms);
        mp3CancelFunc();
    });
    const auto started = Clock::now();
    EXPECT_EQ(readReplyLine(error, c, reply), 0);
    stop.join();
    EXPECT_EQ(error, kCancelled);
    EXPECT_LT(Clock::now() - started, 5s);
    netClose(c);
}

}  // namespace
