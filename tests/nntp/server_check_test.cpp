// The server check that mp3Settings runs: its order of steps, out-parameters and messages.
#include <gtest/gtest.h>

#include <filesystem>

#include <cstring>
#include <fstream>

#include "core/engine_settings.h"
#include "corvane_n.h"
#include "nntp/overview_layout.h"
#include "support/scripted_peer.h"
#include "support/test_environment.h"

using namespace corvane;
using namespace std::chrono_literals;
using harbeat::test::readFile;
using harbeat::test::ReportRecorder;
using harbeat::test::ScriptedPeer;
using harbeat::test::ShortReceiveWait;
using harbeat::test::TemporaryHome;

namespace {

struct CheckResult {
    int32_t result;
    int32_t reachable;
    int32_t posting;
    std::string error;
};

CheckResult runCheck(int port, int32_t logSwitch = 0, const char *user = "") {
    char error[256] = "untouched";
    int32_t reachable = 7, posting = 7;
    const int32_t result = mp3Settings(error, ReportRecorder::callback(), "127.0.0.1", port, user, "pw", logSwitch,
                                       &reachable, &posting, 500000);
    return {result, reachable, posting, result == 0 ? std::string(error) : std::string()};
}

class ServerCheck : public ::testing::Test {
protected:
    TemporaryHome home;
    ShortReceiveWait wait{300ms};
};

}  // namespace

TEST_F(ServerCheck, WorkingServerPassesEveryStep) {
    storeOverviewLayout({});
    ScriptedPeer peer;
    peer.scriptServerCheck();
    peer.start();
    const CheckResult r = runCheck(peer.port());
    EXPECT_EQ(r.result, -1) << r.error;
    EXPECT_EQ(r.reachable, -1);
    EXPECT_EQ(r.posting, -1);
    ASSERT_TRUE(peer.waitClosed());
    EXPECT_TRUE(peer.failures().empty()) << peer.failures()[0];
    EXPECT_EQ(peer.connectionsAccepted(), 2);
    EXPECT_EQ(overviewLayout().subjectIndex, 1);
    EXPECT_EQ(overviewLayout().linesIndex, 7);
    const EngineSettings stored = engineSettings();
    EXPECT_EQ(stored.server, "127.0.0.1");
    EXPECT_EQ(stored.port, peer.port());
    EXPECT_EQ(stored.connectSpeed, 500000);
    EXPECT_EQ(statusCallback(), ReportRecorder::callback());
}

TEST_F(ServerCheck, NoPostingServerPassesWithPostingZero) {
    ScriptedPeer peer;
    peer.scriptServerCheck("201 read only\r\n");
    peer.start();
    const CheckResult r = runCheck(peer.port());
    EXPECT_EQ(r.result, -1) << r.error;
    EXPECT_EQ(r.posting, 0);
}

TEST_F(ServerCheck, RefusedConnectionLeavesServerUnreachable) {
    const int port = harbeat::test::unusedLoopbackPort();
    const CheckResult r = runCheck(port);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.reachable, 0);
    EXPECT_EQ(r.posting, 0);
    EXPECT_EQ(r.error, "Connection refused.");
    // The settings are stored even though the check failed.
    EXPECT_EQ(engineSettings().port, port);
}

TEST_F(ServerCheck, BusyServerIsReachableButFails) {
    ScriptedPeer peer;
    peer.silent(0ms).nextConnection().send("400 busy\r\n");
    peer.start();
    const CheckResult r = runCheck(peer.port());
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.reachable, -1);
    EXPECT_EQ(r.posting, 0);
    EXPECT_EQ(r.error, "News Server Busy, Try Again Later.");
}

TEST_F(ServerCheck, MissingGroupFailsWithTheReplyAndEndsTheSession) {
    ScriptedPeer peer;
    peer.silent(0ms)
        .nextConnection()
        .send("200 ok\r\n")
        .expect("group alt.binaries.sounds.mp3\r\n")
        .send("411 no such group\r\n")
        .expect("QUIT\r\n")
        .send("205 bye\r\n");
    peer.start();
    const CheckResult r = runCheck(peer.port());
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.error, "411 no such group\r\n");
    ASSERT_TRUE(peer.waitClosed());
    EXPECT_TRUE(peer.failures().empty()) << peer.failures()[0];
}

TEST_F(ServerCheck, RefusedLoginFailsWithTheReply) {
    ScriptedPeer peer;
    peer.silent(0ms)
        .nextConnection()
        .send("200 ok\r\n")
        .expect("authinfo user joe\r\n")
        .send("381 password\r\n")
        .expect("authinfo pass pw\r\n")
        .send("502 permission denied\r\n");
    peer.start();
    const CheckResult r = runCheck(peer.port(), 0, "joe");
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.error, "502 permission denied\r\n");
}

TEST_F(ServerCheck, SilentOverviewFormatTimesOut) {
    ScriptedPeer peer;
    peer.silent(0ms)
        .nextConnection()
        .send("200 ok\r\n")
        .expect("group alt.binaries.sounds.mp3\r\n")
        .send("211 1 1 1 alt.binaries.sounds.mp3\r\n")
        .expect("list overview.fmt\r\n")
        .silent(2s);
    peer.start();
    const CheckResult r = runCheck(peer.port());
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.error, "Timed Out, server has not responded.");
}

TEST_F(ServerCheck, LongReplyIsCutToTheCallersBuffer) {
    ScriptedPeer peer;
    peer.silent(0ms)
        .nextConnection()
        .send("200 ok\r\n")
        .expect("group alt.binaries.sounds.mp3\r\n")
        .send("411 " + std::string(600, 'n') + "\r\n");
    peer.start();
    char error[256];
    std::memset(error, 'x', sizeof error);
    int32_t reachable, posting;
    EXPECT_EQ(mp3Settings(error, nullptr, "127.0.0.1", peer.port(), "", "", 0, &reachable, &posting, 0), 0);
    EXPECT_EQ(std::strlen(error), 255u);
    EXPECT_EQ(std::string(error, 4), "411 ");
}

TEST_F(ServerCheck, DebugLogRecordsTheConversationByteForByte) {
    const auto logPath = home.path() / "HarbeatLog.txt";
    std::ofstream(logPath) << "old content that must go\r\n";
    ScriptedPeer peer;
    peer.scriptServerCheck();
    peer.start();
    ASSERT_EQ(runCheck(peer.port(), 60).result, -1);
    ASSERT_TRUE(peer.waitClosed());
    const std::string expected =
        "START\r\n200 news.example ready\r\ngroup alt.binaries.sounds.mp3\r\n"
        "211 3 1 3 alt.binaries.sounds.mp3\r\nlist overview.fmt\r\n" +
        ScriptedPeer::usualOverviewFormat() + "QUIT\r\n205 bye\r\n";
    EXPECT_EQ(readFile(logPath), expected);
    // The log holds the login: its owner alone may read it, also when an older log was not private.
    EXPECT_EQ(std::filesystem::status(logPath).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    // Switched off: the file stays as it is and nothing more is logged.
    ScriptedPeer second;
    second.scriptServerCheck();
    second.start();
    ASSERT_EQ(runCheck(second.port(), 0).result, -1);
    EXPECT_EQ(readFile(logPath), expected);
}
