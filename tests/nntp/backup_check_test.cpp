// The server check with a backup server set: the backup is checked after the main server, and a
// failing backup is a warning in the error text while the check still passes.
#include <gtest/gtest.h>

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

std::function<void(ScriptedPeer &)> greetAndLogin(const char *passReply, bool accepted) {
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
}

}  // namespace

TEST_F(BackupCheck, AFailingBackupWarnsWithoutFailingTheCheck) {
    enum Port { BackupPeer, Unused, MainItself };
    struct Case {
        const char *label;
        std::function<void(ScriptedPeer &)> script;  // the backup peer's; none: no peer runs
        const char *host;                            // "": no backup
        Port port;
        const char *user;
        std::string expected;  // the error text after the check; a prefix when `prefixOnly`
        bool prefixOnly = false;
    };
    const std::vector<Case> cases = {
        {"no backup", nullptr, "", Unused, "", "untouched"},
        {"working backup", greetAndLogin("281 ok\r\n", true), "127.0.0.1", BackupPeer, "block", "untouched"},
        {"backup without login",
         [](ScriptedPeer &peer) {
             peer.send("201 backup ready\r\n");
             peer.expect("QUIT\r\n");
             peer.send("205 bye\r\n");
         },
         "127.0.0.1", BackupPeer, "", "untouched"},
        {"login refused", greetAndLogin("481 Authentication failed\r\n", false), "127.0.0.1", BackupPeer, "block",
         kWarning + "481 Authentication failed"},
        {"busy backup", [](ScriptedPeer &peer) { peer.send("400 too many connections\r\n"); }, "127.0.0.1", BackupPeer,
         "", kWarning + "News Server Busy, Try Again Later."},
        {"backup down", nullptr, "127.0.0.1", Unused, "", kWarning + "Connection refused."},
        {"host that does not resolve", nullptr, "backup.harbeat.invalid", Unused, "", kWarning, true},
        // Nothing is asked of the main server twice.
        {"the main server itself", nullptr, "127.0.0.1", MainItself, "",
         "The backup server is the main server itself: it cannot supply the articles the main server does not "
         "have."},
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
        const int port = c.port == BackupPeer   ? backup.port()
                         : c.port == MainItself ? main.port()
                                                : unusedLoopbackPort();
        ASSERT_TRUE(corvane::setEngineOption("backup-host", c.host));
        ASSERT_TRUE(corvane::setEngineOption("backup-port", std::to_string(port)));
        ASSERT_TRUE(corvane::setEngineOption("backup-user", c.user));
        ASSERT_TRUE(corvane::setEngineOption("backup-password", "pw"));
        char error[256] = "untouched";
        int32_t reachable = 0, posting = 0;
        EXPECT_EQ(mp3Settings(error, ReportRecorder::callback(), "127.0.0.1", main.port(), "", "", 0, &reachable,
                              &posting, 0),
                  -1)
            << c.label;
        const std::string text = error;
        EXPECT_EQ(c.prefixOnly ? text.substr(0, c.expected.size()) : text, c.expected) << c.label;
        EXPECT_EQ(posting, -1) << c.label;
        EXPECT_TRUE(main.waitClosed()) << c.label;
        EXPECT_EQ(main.connectionsAccepted(), 2) << c.label;
        if (c.script) {
            EXPECT_TRUE(backup.waitClosed()) << c.label;
        }
        for (const std::string &failure : backup.failures()) ADD_FAILURE() << c.label << ": " << failure;
    }
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
