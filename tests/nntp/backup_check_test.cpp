// The server check with a backup server set: the backup is checked after the main server, and a
// failing backup is a warning in the error text while the check still passes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "core/engine_options.h"
#include "corvane_n.h"
#include "support/scripted_peer.h"
#include "support/test_environment.h"

using namespace std::chrono_literals;
using harbeat::test::ReportRecorder;
using harbeat::test::ScriptedPeer;
using harbeat::test::ShortReceiveWait;
using harbeat::test::unusedLoopbackPort;

namespace {

class BackupCheck : public ::testing::Test {
protected:
    void SetUp() override { corvane::resetEngineOptionsForTests(); }
    void TearDown() override { corvane::resetEngineOptionsForTests(); }
    ShortReceiveWait wait{300ms};
};

const std::string kWarning = "The backup server failed the check: ";

}  // namespace

TEST_F(BackupCheck, AFailingBackupWarnsWithoutFailingTheCheck) {
    struct Case {
        const char *label;
        // Scripts the backup peer (nothing: no peer is started).
        std::function<void(ScriptedPeer &)> script;
        const char *host;  // "" : no backup; nullptr: the peer's address
        const char *user;
        std::string expected;  // the error text after the check
    };
    const auto greetAndLogin = [](const char *passReply, bool accepted) {
        return [passReply, accepted](ScriptedPeer &peer) {
            peer.send("200 backup ready\r\n");
            peer.expect("authinfo user block\r\n");
            peer.send("381 password please\r\n");
            peer.expect("authinfo pass pw\r\n");
            peer.send(passReply);
            if (!accepted) return;
            peer.expect("QUIT\r\n");
            peer.send("205 bye\r\n");
        };
    };
    const std::vector<Case> cases = {
        {"no backup", nullptr, "", "", "untouched"},
        {"working backup", greetAndLogin("281 ok\r\n", true), nullptr, "block", "untouched"},
        {"backup without login",
         [](ScriptedPeer &peer) {
             peer.send("201 backup ready\r\n");
             peer.expect("QUIT\r\n");
             peer.send("205 bye\r\n");
         },
         nullptr, "", "untouched"},
        {"login refused", greetAndLogin("481 Authentication failed\r\n", false), nullptr, "block",
         kWarning + "481 Authentication failed"},
        {"busy backup", [](ScriptedPeer &peer) { peer.send("400 too many connections\r\n"); }, nullptr, "",
         kWarning + "News Server Busy, Try Again Later."},
        {"backup down", nullptr, "127.0.0.1", "", kWarning + "Connection refused."},
    };
    for (const Case &c : cases) {
        corvane::resetEngineOptionsForTests();
        ScriptedPeer main;
        main.scriptServerCheck();
        main.start();
        ScriptedPeer backup;
        if (c.script) {
            c.script(backup);
            backup.start();
        }
        const std::string host = c.host ? c.host : "127.0.0.1";
        const int port = c.script ? backup.port() : unusedLoopbackPort();
        ASSERT_TRUE(corvane::setEngineOption("backup-host", host));
        ASSERT_TRUE(corvane::setEngineOption("backup-port", std::to_string(port)));
        ASSERT_TRUE(corvane::setEngineOption("backup-user", c.user));
        ASSERT_TRUE(corvane::setEngineOption("backup-password", "pw"));
        char error[256] = "untouched";
        int32_t reachable = 0, posting = 0;
        EXPECT_EQ(mp3Settings(error, ReportRecorder::callback(), "127.0.0.1", main.port(), "", "", 0, &reachable,
                              &posting, 0),
                  -1)
            << c.label;
        EXPECT_EQ(std::string(error), c.expected) << c.label;
        EXPECT_EQ(posting, -1) << c.label;
        if (c.script) {
            EXPECT_TRUE(backup.waitClosed()) << c.label;
            for (const std::string &failure : backup.failures()) ADD_FAILURE() << c.label << ": " << failure;
        }
    }
}

TEST_F(BackupCheck, BadBackupsNeverBlockTheMainServer) {
    ScriptedPeer main;
    main.scriptServerCheck();
    main.nextConnection();
    main.scriptServerCheck();
    main.start();
    char error[256] = "untouched";
    int32_t reachable = 0, posting = 0;

    // A host that does not resolve.
    ASSERT_TRUE(corvane::setEngineOption("backup-host", "backup.harbeat.invalid"));
    EXPECT_EQ(
        mp3Settings(error, ReportRecorder::callback(), "127.0.0.1", main.port(), "", "", 0, &reachable, &posting, 0),
        -1);
    EXPECT_EQ(std::string(error).rfind(kWarning, 0), 0u) << error;

    // The main server named as its own backup: nothing is asked of it twice.
    ASSERT_TRUE(corvane::setEngineOption("backup-host", "127.0.0.1"));
    ASSERT_TRUE(corvane::setEngineOption("backup-port", std::to_string(main.port())));
    std::strcpy(error, "untouched");
    EXPECT_EQ(
        mp3Settings(error, ReportRecorder::callback(), "127.0.0.1", main.port(), "", "", 0, &reachable, &posting, 0),
        -1);
    EXPECT_EQ(std::string(error),
              "The backup server is the main server itself: it cannot supply the articles the main server does not "
              "have.");
    EXPECT_TRUE(main.waitClosed());
    EXPECT_EQ(main.connectionsAccepted(), 4);
    for (const std::string &failure : main.failures()) ADD_FAILURE() << failure;
}

TEST_F(BackupCheck, AFailingMainServerKeepsItsOwnMessage) {
    ScriptedPeer backup;
    backup.start();
    ASSERT_TRUE(corvane::setEngineOption("backup-host", "127.0.0.1"));
    ASSERT_TRUE(corvane::setEngineOption("backup-port", std::to_string(backup.port())));
    char error[256] = "untouched";
    int32_t reachable = 0, posting = 0;
    EXPECT_EQ(mp3Settings(error, ReportRecorder::callback(), "127.0.0.1", unusedLoopbackPort(), "", "", 0, &reachable,
                          &posting, 0),
              0);
    EXPECT_EQ(std::string(error), "Connection refused.");
    // The backup is not checked while the main server fails.
    EXPECT_EQ(backup.connectionsAccepted(), 0);
}
