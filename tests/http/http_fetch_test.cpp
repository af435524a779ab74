// httpOpenURL against a scripted web server on a loopback port.
#include "http/http_fetch.h"

#include <gtest/gtest.h>

#include "core/engine_settings.h"
#include "corvane_n.h"
#include "support/scripted_peer.h"
#include "support/test_environment.h"

using namespace corvane;
using namespace std::chrono_literals;
using harbeat::test::ScriptedPeer;
using harbeat::test::ShortReceiveWait;

namespace {

class HttpFetch : public ::testing::Test {
protected:
    void TearDown() override {
        setHttpPortForTests(0);
        setCancelRequested(false);
    }
    // Fetches from the peer; the peer serves one connection.
    std::string fetch(ScriptedPeer &peer, const std::string &address) {
        peer.start();
        setHttpPortForTests(peer.port());
        const std::string text = httpOpenURL(address.c_str());
        EXPECT_TRUE(peer.waitClosed()) << "the fetch left its connection open";
        return text;
    }
    ShortReceiveWait wait{300ms};
};

struct AddressCase {
    const char *name;
    const char *address;
    const char *request;
};

class HttpRequestLine : public HttpFetch, public ::testing::WithParamInterface<AddressCase> {};

const AddressCase kAddresses[] = {
    {"HostAndPath", "127.0.0.1/files/news.txt", "GET http://127.0.0.1/files/news.txt\r\n"},
    {"NoSlash", "127.0.0.1", "GET http://127.0.0.1\r\n"},
    {"LeadingSlashesSkippedForTheHost", "//127.0.0.1/a", "GET http:////127.0.0.1/a\r\n"},
    {"HostByName", "localhost/x?y=1", "GET http://localhost/x?y=1\r\n"},
};

TEST_P(HttpRequestLine, SendsOneLineAndReturnsEverythingUntilClose) {
    // Status and header lines are not parsed: they are part of the text.
    const std::string reply = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + std::string(9000, 'd') + "end";
    ScriptedPeer peer;
    peer.expect(GetParam().request).sendSplit({reply.substr(0, 5000), reply.substr(5000)}).close();
    EXPECT_EQ(fetch(peer, GetParam().address), reply);
    EXPECT_EQ(peer.received().front(), GetParam().request);
    EXPECT_TRUE(peer.failures().empty()) << peer.failures().front();
}

INSTANTIATE_TEST_SUITE_P(Addresses, HttpRequestLine, ::testing::ValuesIn(kAddresses),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(HttpFetch, EmptyReplyIsAnEmptyText) {
    ScriptedPeer peer;
    peer.expect("GET http://127.0.0.1/empty\r\n").close();
    EXPECT_EQ(fetch(peer, "127.0.0.1/empty"), "");
}

TEST_F(HttpFetch, ServerThatStaysOpenTimesOutAndKeepsNothing) {
    ScriptedPeer peer;
    peer.expect("GET http://127.0.0.1/slow\r\n").send("partial data").silent(1s);
    EXPECT_EQ(fetch(peer, "127.0.0.1/slow"), "Timed Out, server has not responded.");
}

// A server that drips its page a byte every 50 ms for two seconds: the fetch gives up after one
// wait instead of waiting for as long as the bytes keep coming.
TEST_F(HttpFetch, DrippingServerTimesOutAfterOneWait) {
    ScriptedPeer peer;
    std::vector<std::string> bytes;
    for (int i = 0; i < 40; ++i) bytes.emplace_back(1, 'x');
    peer.expect("GET http://127.0.0.1/drip\r\n").sendSplit(bytes, 50ms);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(fetch(peer, "127.0.0.1/drip"), "Timed Out, server has not responded.");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1500ms);
}

// A Stop before the call belongs to an earlier operation and does not cancel this one.
TEST_F(HttpFetch, CancelLeftSetFromAnEarlierOperation) {
    mp3CancelFunc();
    ScriptedPeer peer;
    peer.expect("GET http://127.0.0.1/doc\r\n").send("data").close();
    EXPECT_EQ(fetch(peer, "127.0.0.1/doc"), "data");
}

TEST_F(HttpFetch, RefusedConnection) {
    setHttpPortForTests(harbeat::test::unusedLoopbackPort());
    EXPECT_STREQ(httpOpenURL("127.0.0.1/doc"), "Connection refused.");
}

TEST_F(HttpFetch, AddressOverFiveHundredElevenCharactersIsRefused) {
    const std::string address = "127.0.0.1/" + std::string(502, 'p');
    ASSERT_EQ(address.size(), 512u);
    EXPECT_STREQ(httpOpenURL(address.c_str()), "Address too long.");
}

TEST_F(HttpFetch, EachCallReplacesThePreviousText) {
    ScriptedPeer peer;
    peer.expect("GET http://127.0.0.1/1\r\n").send("first").close();
    peer.nextConnection().expect("GET http://127.0.0.1/2\r\n").send("second").close();
    peer.start();
    setHttpPortForTests(peer.port());
    EXPECT_STREQ(httpOpenURL("127.0.0.1/1"), "first");
    EXPECT_STREQ(httpOpenURL("127.0.0.1/2"), "second");
    EXPECT_STREQ(httpOpenURL(nullptr), "Host not found.");
}

}  // namespace
