// Greeting, login, framing, misbehaviour rules and the server's life cycle.
#include <gtest/gtest.h>

#include <thread>

#include "raw_client.h"

namespace harbeat::newsd::test {
namespace {

using namespace std::chrono_literals;

std::string code(const std::string &line) { return line.substr(0, 3); }

struct GreetingCase {
    const char *name;
    ServerOptions options;
    std::string expected;  // the whole line, or its first three characters
    bool closes;
};

class Greeting : public testing::TestWithParam<GreetingCase> {};

TEST_P(Greeting, FirstLineAndHangUp) {
    ServedStore served;
    served.start(GetParam().options);
    RawClient client(served.server->port());
    const std::string &greeting = client.greeting();
    if (GetParam().expected.size() == 3) {
        EXPECT_EQ(code(greeting), GetParam().expected);
    } else {
        EXPECT_EQ(greeting, GetParam().expected);
    }
    EXPECT_EQ(client.closedWithin(GetParam().closes ? 2000ms : 100ms), GetParam().closes);
}

ServerOptions withGreeting(int greetingCode, std::string text = {}) {
    ServerOptions options;
    options.greetingCode = greetingCode;
    options.greetingText = std::move(text);
    return options;
}

ServerOptions withoutPosting() {
    ServerOptions options;
    options.postingAllowed = false;
    return options;
}

INSTANTIATE_TEST_SUITE_P(NewsServer, Greeting,
                         testing::Values(GreetingCase{"Default", {}, "200", false},
                                         GreetingCase{"NoPosting", withoutPosting(), "201", false},
                                         GreetingCase{"Busy", withGreeting(400), "400", true},
                                         GreetingCase{"RefusedWithText", withGreeting(502, "go away"),
                                                      "502 go away\r\n", true}),
                         [](const auto &info) { return std::string(info.param.name); });

class Commands : public testing::Test {
protected:
    void SetUp() override {
        served.store.addGroup("alt.test", 0, true);
        served.start();
        client = served.connect();
    }
    ServedStore served;
    std::unique_ptr<RawClient> client;
};

TEST_F(Commands, CapabilitiesAndModeReaderInAnyCase) {
    EXPECT_EQ(code(client->command("capabilities")), "101");
    const auto capabilities = client->readBlock();
    for (const char *expected : {"VERSION 2", "READER", "POST", "OVER MSGID", "AUTHINFO USER"}) {
        EXPECT_NE(std::find(capabilities.begin(), capabilities.end(), expected), capabilities.end()) << expected;
    }
    EXPECT_EQ(code(client->command("MODE READER")), "200");
    EXPECT_EQ(code(client->command("mode reader")), "200");
    EXPECT_EQ(code(client->command("MoDe\tReAdEr")), "200");
}

TEST_F(Commands, UnknownAndMalformedCommands) {
    const std::pair<const char *, const char *> cases[] = {{"FROB", "500"},
                                                           {"", "500"},
                                                           {"IHAVE <a@b>", "500"},
                                                           {"GROUP", "501"},
                                                           {"GROUP a b", "501"},
                                                           {"ARTICLE 1x", "501"},
                                                           {"ARTICLE <bad id@x>", "501"},
                                                           {"XOVER 1-x", "501"},
                                                           {"XOVER -5", "501"},
                                                           {"LIST FROB", "501"},
                                                           {"MODE WRITER", "501"},
                                                           {"NEXT 1", "501"},
                                                           {"AUTHINFO SASL x", "501"},
                                                           {"POST now", "501"},
                                                           {"NEWGROUPS 000101", "501"}};
    for (const auto &[line, expected] : cases) EXPECT_EQ(code(client->command(line)), expected) << line;
    const std::string date = client->command("DATE");
    EXPECT_EQ(code(date), "111");
    EXPECT_EQ(date.size(), 4 + 14 + 2u) << date;
}

TEST_F(Commands, PipelinedCommandsAnswerInOrder) {
    client->send("GROUP alt.test\r\nMODE READER\r\nXOVER 1\r\nDATE\r\n");
    EXPECT_EQ(code(client->readLine()), "211");
    EXPECT_EQ(code(client->readLine()), "200");
    EXPECT_EQ(client->readLine(), "224 Overview information follows\r\n");
    EXPECT_EQ(client->readLine(), ".\r\n");
    EXPECT_EQ(code(client->readLine()), "111");
}

TEST_F(Commands, CommandSplitOverPackets) {
    for (const char *piece : {"GR", "OUP alt.te", "st\r", "\n"}) {
        client->send(piece);
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(client->readLine(), "211 0 1 0 alt.test\r\n");
    client->send("MODE READER\n");  // a bare LF ends a line too
    EXPECT_EQ(code(client->readLine()), "200");
}

TEST_F(Commands, OverlongLineGets501AndConnectionGoesOn) {
    EXPECT_EQ(code(client->command("GROUP " + std::string(600, 'a'))), "501");
    EXPECT_EQ(code(client->command("GROUP " + std::string(504, 'a'))), "411");  // 512 with CR LF
    EXPECT_EQ(code(client->command("DATE")), "111");
}

TEST_F(Commands, EndlessLineClosesConnection) {
    client->send(std::string(200 * 1024, 'x'));
    EXPECT_EQ(code(client->readLine()), "501");
    EXPECT_TRUE(client->closedWithin(2000ms));
}

TEST_F(Commands, BinaryGarbageIsAnsweredNotFatal) {
    static constexpr char kGarbage[] = "\0\x01\xff\x80 GROUP\r\n";
    client->send(std::string(kGarbage, sizeof kGarbage - 1));
    EXPECT_EQ(code(client->readLine()), "500");
    static constexpr char kNulInName[] = "GROUP alt.\0test\r\n";
    client->send(std::string(kNulInName, sizeof kNulInName - 1));
    EXPECT_EQ(code(client->readLine()), "411");
    EXPECT_EQ(client->command("QUIT"), "205 Closing connection\r\n");
    EXPECT_TRUE(client->closedWithin(2000ms));
}

struct LoginCase {
    const char *name;
    int wrongLoginCode;
    std::string password;
    std::vector<std::pair<std::string, std::string>> steps;  // command, expected code
};

class Login : public testing::TestWithParam<LoginCase> {};

TEST_P(Login, Steps) {
    ServedStore served;
    served.store.addGroup("alt.test", 0, true);
    ServerOptions options;
    options.user = "jane";
    options.password = GetParam().password;
    options.wrongLoginCode = GetParam().wrongLoginCode;
    served.start(options);
    auto client = served.connect();
    for (const auto &[line, expected] : GetParam().steps) EXPECT_EQ(code(client->command(line)), expected) << line;
}

INSTANTIATE_TEST_SUITE_P(
    NewsServer, Login,
    testing::Values(LoginCase{"Accepted",
                              481,
                              "secret",
                              {{"GROUP alt.test", "480"},
                               {"MODE READER", "200"},
                               {"HELP", "480"},
                               {"AUTHINFO USER jane", "381"},
                               {"authinfo pass secret", "281"},
                               {"GROUP alt.test", "211"},
                               {"AUTHINFO USER jane", "502"}}},
                    LoginCase{"WrongPassword",
                              481,
                              "secret",
                              {{"AUTHINFO USER jane", "381"},
                               {"AUTHINFO PASS guess", "481"},
                               {"GROUP alt.test", "480"},
                               {"AUTHINFO PASS secret", "482"}}},
                    LoginCase{"WrongUserRefusedWith502",
                              502,
                              "secret",
                              {{"AUTHINFO USER joe", "381"}, {"AUTHINFO PASS secret", "502"}, {"DATE", "480"}}},
                    LoginCase{"PassBeforeUser", 481, "secret", {{"AUTHINFO PASS secret", "482"}}},
                    LoginCase{"UserOnlyAccount", 481, "", {{"AUTHINFO USER jane", "281"}, {"DATE", "111"}}},
                    LoginCase{"QuitWithoutLogin", 481, "secret", {{"QUIT", "205"}}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Login, AnyLoginPassesWhenNoneIsConfigured) {
    ServedStore served;
    served.start();
    auto client = served.connect();
    EXPECT_EQ(code(client->command("AUTHINFO USER who")), "381");
    EXPECT_EQ(code(client->command("AUTHINFO PASS ever")), "281");
}

TEST(Rules, DelaySilenceAndClose) {
    ServedStore served;
    served.store.addGroup("alt.test", 0, true);
    served.store.addGroup("alt.hangs", 0, true);
    ServerOptions options;
    options.rules.push_back({"DATE", "", CommandRule::Action::Delay, 50ms, 0});
    options.rules.push_back({"group", "alt.hangs", CommandRule::Action::Close, 0ms, 0});
    options.rules.push_back({"XOVER", "", CommandRule::Action::Silence, 0ms, 1});
    served.start(options);

    auto client = served.connect();
    EXPECT_EQ(code(client->command("DATE")), "111");
    EXPECT_EQ(code(client->command("GROUP alt.test")), "211");
    EXPECT_EQ(code(client->command("XOVER 1-2")), "224");  // the first one is skipped by the rule
    EXPECT_EQ(client->readLine(), ".\r\n");
    client->send("XOVER 1-2\r\nDATE\r\n");
    EXPECT_EQ(client->readLine(300ms), "");  // silent from here on
    EXPECT_FALSE(client->closedWithin(100ms));

    auto other = served.connect();
    EXPECT_EQ(code(other->command("GROUP alt.test")), "211");
    other->send("GROUP alt.hangs\r\n");
    EXPECT_TRUE(other->closedWithin(2000ms));
}

TEST(Lifecycle, StopClosesConnectionsAndJoins) {
    ServedStore served;
    ServerOptions options;
    options.rules.push_back({"DATE", "", CommandRule::Action::Delay, std::chrono::minutes(10), 0});
    served.start(options);
    auto idle = served.connect();
    auto sleeping = served.connect();
    sleeping->send("DATE\r\n");
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(served.server->activeConnections(), 2u);
    served.server->stop();  // must not wait the ten minutes
    EXPECT_TRUE(idle->closedWithin(2000ms));
    EXPECT_TRUE(sleeping->closedWithin(2000ms));
    EXPECT_EQ(served.server->activeConnections(), 0u);
    served.server->stop();
    EXPECT_THROW(served.server->start(), std::logic_error);
}

TEST(Lifecycle, ConnectionsBeyondTheLimitAreTurnedAway) {
    ServedStore served;
    ServerOptions options;
    options.maxConnections = 1;
    served.start(options);
    auto first = served.connect();
    RawClient second(served.server->port());
    EXPECT_EQ(code(second.greeting()), "400");
    EXPECT_TRUE(second.closedWithin(2000ms));
    first->command("QUIT");
    EXPECT_TRUE(first->closedWithin(2000ms));
    std::this_thread::sleep_for(50ms);
    RawClient third(served.server->port());
    EXPECT_EQ(code(third.greeting()), "200");
    EXPECT_EQ(served.server->connectionsAccepted(), 3u);
}

TEST(Lifecycle, PortInUseThrows) {
    ServedStore served;
    served.start();
    NewsServer second(served.store);
    EXPECT_THROW(second.start(served.server->port()), std::system_error);
}

}  // namespace
}  // namespace harbeat::newsd::test
