// mp3PostAritcle against a scripted server: the exchange, the server's verdicts, and the parts
// of the article that come from the session and the clock.
#include <gtest/gtest.h>
#include <netdb.h>

#include <ctime>
#include <thread>

#include "core/engine_settings.h"
#include "corvane_n.h"
#include "nntp/post_article.h"
#include "posted_article_parts.h"
#include "support/scripted_peer.h"
#include "support/test_environment.h"

using namespace corvane;
using namespace std::chrono_literals;
using harbeat::test::headerOf;
using harbeat::test::ScriptedPeer;
using harbeat::test::ShortReceiveWait;

namespace {

constexpr const char *kGreeting = "200 news.example ready\r\n";

void useServer(const char *server, int port) {
    EngineSettings settings;
    settings.server = server;
    settings.port = port;
    storeEngineSettings(settings);
}

struct PostResult {
    int32_t result;
    std::string error;
};

PostResult post(const char *body = "Looking for a song") {
    char error[256] = "";
    const int32_t result = mp3PostAritcle(error, "me@example.org", "alt.binaries.sounds.mp3.requests", "Request", body);
    return {result, error};
}

// A server that takes one article and answers `verdict` to it.
void scriptPost(ScriptedPeer &peer, const std::string &verdict) {
    peer.send(kGreeting)
        .expect("post\r\n")
        .send("340 send article\r\n")
        .capture("\r\n.\r\n")
        .send(verdict)
        .expect("QUIT\r\n")
        .send("205 bye\r\n");
}

struct VerdictCase {
    const char *name;
    const char *postReply;     // answer to "post"
    const char *articleReply;  // answer to the article, when one is sent
    int32_t result;
    const char *error;
};

class PostVerdict : public ::testing::TestWithParam<VerdictCase> {
protected:
    ShortReceiveWait wait{2s};
};

const VerdictCase kVerdicts[] = {
    {"Accepted", "340 send article\r\n", "240 article posted\r\n", -1, ""},
    {"PostingNotAllowed", "440 posting not allowed\r\n", nullptr, 0, "440 posting not allowed\r\n"},
    {"ArticleRejected", "340 send article\r\n", "441 posting failed\r\n", 0, "441 posting failed\r\n"},
};

TEST_P(PostVerdict, ResultErrorTextAndQuit) {
    const VerdictCase &c = GetParam();
    ScriptedPeer peer;
    peer.send(kGreeting).expect("post\r\n").send(c.postReply);
    if (c.articleReply) peer.capture("\r\n.\r\n").send(c.articleReply);
    peer.expect("QUIT\r\n").send("205 bye\r\n");
    peer.start();
    useServer("127.0.0.1", peer.port());

    const PostResult r = post();
    EXPECT_EQ(r.result, c.result);
    EXPECT_EQ(r.error, c.error);
    ASSERT_TRUE(peer.waitClosed());
    EXPECT_TRUE(peer.failures().empty()) << peer.failures().front();
    EXPECT_EQ(peer.capturedBlocks().size(), c.articleReply ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Replies, PostVerdict, ::testing::ValuesIn(kVerdicts),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(PostSession, SilentServerTimesOutAndStillSaysQuit) {
    ShortReceiveWait wait{300ms};
    ScriptedPeer peer;
    peer.send(kGreeting).expect("post\r\n").silent(1s);
    peer.start();
    useServer("127.0.0.1", peer.port());
    const PostResult r = post();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.error, "Timed Out, server has not responded.");
    ASSERT_TRUE(peer.waitClosed());
    EXPECT_NE(peer.received().front().find("post\r\nQUIT\r\n"), std::string::npos);
}

TEST(PostSession, TooLongArticleIsRefusedBeforePosting) {
    ShortReceiveWait wait{2s};
    ScriptedPeer peer;
    peer.send(kGreeting).expect("QUIT\r\n").send("205 bye\r\n");
    peer.start();
    useServer("127.0.0.1", peer.port());
    const PostResult r = post(std::string(20000, 'x').c_str());
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.error, "Article too long.");
    ASSERT_TRUE(peer.waitClosed());
    EXPECT_TRUE(peer.failures().empty()) << peer.failures().front();
}

// The name the resolver gives for a host, as the engine's connect sees it.
std::string officialNameOf(const char *host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo *found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0) return {};
    std::string name = found->ai_canonname ? found->ai_canonname : host;
    freeaddrinfo(found);
    return name;
}

class PostedHeaders : public ::testing::Test {
protected:
    // Posts twice on two connections; returns the two articles as the server received them.
    std::vector<std::string> postTwice(const char *server) {
        ScriptedPeer peer;
        scriptPost(peer, "240 article posted\r\n");
        peer.nextConnection();
        scriptPost(peer, "240 article posted\r\n");
        peer.start();
        useServer(server, peer.port());
        EXPECT_EQ(post("one").result, -1);
        // Ids are unique to the millisecond; a person never posts twice within one.
        std::this_thread::sleep_for(2ms);
        EXPECT_EQ(post("two").result, -1);
        EXPECT_TRUE(peer.waitClosed());
        return peer.capturedBlocks();
    }
    ShortReceiveWait wait{2s};
    harbeat::test::FarTimeZone zone_;
};

TEST_F(PostedHeaders, MessageIdAndDateFromTheSessionAndTheClock) {
    // The user typed the name in capitals; the resolver's official name is what the id carries.
    const std::string official = officialNameOf("LOCALHOST");
    ASSERT_FALSE(official.empty());
    const std::time_t before = std::time(nullptr);
    const std::vector<std::string> articles = postTwice("LOCALHOST");
    const std::time_t after = std::time(nullptr);
    ASSERT_EQ(articles.size(), 2u);

    std::string ids[2];
    for (int i = 0; i < 2; ++i) {
        ids[i] = headerOf(articles[i], "Message-ID");
        const auto parts = harbeat::test::splitMessageId(ids[i]);
        ASSERT_TRUE(parts.has_value()) << ids[i];
        const auto seconds = static_cast<std::time_t>(parts->time.seconds);
        EXPECT_GE(seconds, before);
        EXPECT_LE(seconds, after);
        EXPECT_LT(parts->time.milliseconds, 1000u);
        EXPECT_EQ(parts->host, official);

        // The Date header is the same second, in UTC, with English names.
        const std::string date = headerOf(articles[i], "Date");
        std::tm parsed{};
        const char *end = strptime(date.c_str(), "%a, %d %b %Y %H:%M:%S gmt", &parsed);
        ASSERT_NE(end, nullptr) << date;
        EXPECT_EQ(*end, '\0') << date;
        EXPECT_EQ(timegm(&parsed), seconds) << date;
    }
    // Two posts (within one second, or not) never share an id.
    EXPECT_NE(ids[0], ids[1]);
}

}  // namespace
