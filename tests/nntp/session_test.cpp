#include "nntp/session.h"

#include <gtest/gtest.h>

#include "support/scripted_peer.h"
#include "support/test_environment.h"

using namespace corvane;
using namespace std::chrono_literals;
using harbeat::test::ScriptedPeer;
using harbeat::test::ShortReceiveWait;

struct GreetingCase {
    const char *greeting;
    bool opens;
    int posting;
    const char *error;  // "%p" stands for the port
};

void PrintTo(const GreetingCase &g, std::ostream *out) { *out << std::string(g.greeting, 3); }

class Greeting : public ::testing::TestWithParam<GreetingCase> {};

TEST_P(Greeting, DecidesSessionAndPosting) {
    const GreetingCase &g = GetParam();
    ScriptedPeer peer;
    peer.send(g.greeting);
    peer.start();
    std::string error, official;
    int posting = -7;
    const Connection c = nntpOpenSession(error, "127.0.0.1", peer.port(), &official, "", "", &posting);
    if (g.opens) {
        ASSERT_NE(c, 0) << error;
        EXPECT_EQ(posting, g.posting);
        nntpQuit(c);
    } else {
        EXPECT_EQ(c, 0);
        std::string expected = g.error;
        if (auto at = expected.find("%p"); at != std::string::npos)
            expected.replace(at, 2, std::to_string(peer.port()));
        EXPECT_EQ(error, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, Greeting,
    ::testing::Values(GreetingCase{"200 news ready, posting ok\r\n", true, 1, ""},
                      GreetingCase{"201 news ready, no posting\r\n", true, 0, ""},
                      GreetingCase{"400 too busy\r\n", false, 0, "News Server Busy, Try Again Later."},
                      GreetingCase{"SSH-2.0-OpenSSH_9.2\r\n", false, 0,
                                   "Address 127.0.0.1, Port %p is not an NNTP Server."},
                      GreetingCase{"502 access denied\r\n", false, 0,
                                   "Address 127.0.0.1, Port %p is not an NNTP Server."}));

TEST(Session, GreetingSplitOverTwoSendsIsReadWhole) {
    ScriptedPeer peer;
    peer.sendSplit({"2", "01 ready\r\n"}).expect("QUIT\r\n").send("205 bye\r\n");
    peer.start();
    std::string error;
    int posting = -1;
    const Connection c = nntpOpenSession(error, "127.0.0.1", peer.port(), nullptr, "", "", &posting);
    ASSERT_NE(c, 0) << error;
    EXPECT_EQ(posting, 0);
    nntpQuit(c);
    ASSERT_TRUE(peer.waitClosed());
    EXPECT_TRUE(peer.failures().empty());
}

TEST(Session, ServerClosingBeforeTheGreetingFails) {
    ScriptedPeer peer;
    peer.close();
    peer.start();
    std::string error;
    EXPECT_EQ(nntpOpenSession(error, "127.0.0.1", peer.port(), nullptr, "", "", nullptr), 0);
    EXPECT_EQ(error, "Connection closed by server.");
}

TEST(Login, EmptyUserSendsNoAuthinfo) {
    ScriptedPeer peer;
    peer.send("200 ok\r\n").expect("QUIT\r\n").send("205 bye\r\n");
    peer.start();
    std::string error;
    const Connection c = nntpOpenSession(error, "127.0.0.1", peer.port(), nullptr, "", "secret", nullptr);
    ASSERT_NE(c, 0) << error;
    nntpQuit(c);
    ASSERT_TRUE(peer.waitClosed());
    EXPECT_EQ(peer.received()[0], "QUIT\r\n");
}

struct LoginCase {
    const char *userReply;
    const char *passReply;  // null: no password is sent
    bool succeeds;
};

void PrintTo(const LoginCase &l, std::ostream *out) {
    *out << std::string(l.userReply, 3) << "/" << (l.passReply ? std::string(l.passReply, 3) : "none");
}

class Login : public ::testing::TestWithParam<LoginCase> {};

TEST_P(Login, OnlyA502ToThePasswordRefuses) {
    const LoginCase &l = GetParam();
    ScriptedPeer peer;
    peer.send("200 ok\r\n").expect("authinfo user joe\r\n").send(l.userReply);
    if (l.passReply) peer.expect("authinfo pass s3cret\r\n").send(l.passReply);
    if (l.succeeds) peer.expect("QUIT\r\n").send("205 bye\r\n");
    peer.start();
    std::string error;
    const Connection c = nntpOpenSession(error, "127.0.0.1", peer.port(), nullptr, "joe", "s3cret", nullptr);
    if (l.succeeds) {
        ASSERT_NE(c, 0) << error;
        nntpQuit(c);
    } else {
        EXPECT_EQ(c, 0);
        EXPECT_EQ(error, l.passReply);
    }
    ASSERT_TRUE(peer.waitClosed());
    EXPECT_TRUE(peer.failures().empty()) << peer.failures()[0];
}

INSTANTIATE_TEST_SUITE_P(Replies, Login,
                         ::testing::Values(LoginCase{"381 more\r\n", "281 welcome\r\n", true},
                                           LoginCase{"381 more\r\n", "481 rejected\r\n", true},
                                           LoginCase{"381 more\r\n", "502 go away\r\n", false},
                                           LoginCase{"480 what\r\n", "281 welcome\r\n", true},
                                           // Accepted without a password: none is sent.
                                           LoginCase{"281 welcome\r\n", nullptr, true}));

TEST(Group, ReadsCountFirstAndLast) {
    ScriptedPeer peer;
    peer.send("200 ok\r\n")
        .expect("group alt.binaries.sounds.mp3\r\n")
        .send("211 1234 3000 4233 alt.binaries.sounds.mp3\r\n")
        .expect("group alt.nothing\r\n")
        .send("411 No such group alt.nothing\r\n")
        .expect("group alt.short\r\n")
        .send("211 5\r\n");
    peer.start();
    std::string error;
    const Connection c = nntpOpenSession(error, "127.0.0.1", peer.port(), nullptr, "", "", nullptr);
    ASSERT_NE(c, 0) << error;
    int64_t count = -1, first = -1, last = -1;
    ASSERT_EQ(nntpGroup(error, c, "alt.binaries.sounds.mp3", &count, &first, &last), 1) << error;
    EXPECT_EQ(count, 1234);
    EXPECT_EQ(first, 3000);
    EXPECT_EQ(last, 4233);
    EXPECT_EQ(nntpGroup(error, c, "alt.nothing", &count), 0);
    EXPECT_EQ(error, "411 No such group alt.nothing\r\n");
    // Missing words leave their out-parameters alone.
    count = first = last = -1;
    ASSERT_EQ(nntpGroup(error, c, "alt.short", &count, &first, &last), 1);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(first, -1);
    EXPECT_EQ(last, -1);
    netClose(c);
}

TEST(Group, SilentServerTimesOut) {
    ShortReceiveWait wait(200ms);
    ScriptedPeer peer;
    peer.send("200 ok\r\n").expect("group alt.x\r\n").silent(2s);
    peer.start();
    std::string error;
    const Connection c = nntpOpenSession(error, "127.0.0.1", peer.port(), nullptr, "", "", nullptr);
    ASSERT_NE(c, 0) << error;
    EXPECT_EQ(nntpGroup(error, c, "alt.x"), 0);
    EXPECT_EQ(error, "Timed Out, server has not responded.");
    netClose(c);
}

TEST(Quit, NoConnectionDoesNothing) { EXPECT_EQ(nntpQuit(0), 1); }
