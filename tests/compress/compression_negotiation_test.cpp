// How the engine asks a server to compress, and what it does when the server refuses, lies or
// sends a damaged stream: the operation in progress fails with a clear message and the server's
// next connections go without compression until the settings are stored again.
#include <gtest/gtest.h>

#include "core/engine_options.h"
#include "net/compressed_stream.h"
#include "net/multiline.h"
#include "nntp/compression.h"
#include "nntp/session.h"
#include "support/compressed_bytes.h"
#include "support/scripted_peer.h"
#include "support/test_environment.h"

using namespace corvane;
using namespace harbeat::test;

namespace {

const std::string kGreeting = "200 news.example ready\r\n";
const std::string kGroupCommand = "group alt.x\r\n";
const std::string kGroupReply = "211 3 1 3 alt.x\r\n";

std::string capabilities(const std::string &extra) {
    return "101 Capability list:\r\nVERSION 2\r\nREADER\r\n" + extra + "IMPLEMENTATION test\r\n.\r\n";
}

class CompressionNegotiation : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(setEngineOption("compress", "1"));
        forgetServerCompression();
    }
    void TearDown() override {
        resetEngineOptionsForTests();
        forgetServerCompression();
    }

    // Opens a session and selects the group; the error text, "" when both worked.
    std::string openAndSelect(ScriptedPeer &peer, const std::string &user = "", const std::string &password = "") {
        std::string error;
        const Connection c = nntpOpenSession(error, "127.0.0.1", peer.port(), nullptr, user, password, nullptr);
        if (!c) return error;
        if (!nntpGroup(error, c, "alt.x")) {
            netClose(c);
            return error;
        }
        netClose(c);
        return "";
    }

    // No test waits for the product's 60 s when a script goes wrong.
    ShortReceiveWait shortWait{std::chrono::milliseconds(2000)};
};

// The connection after a refusal or failure: straight to work, nothing about compression.
void scriptPlainConnection(ScriptedPeer &peer) {
    peer.nextConnection().send(kGreeting).expect(kGroupCommand).send(kGroupReply);
}

struct RefusalCase {
    const char *name;
    std::string listed;       // CAPABILITIES lines
    std::string asked;        // the command the engine should send next
    std::string answer;
};

TEST_F(CompressionNegotiation, RefusalsLeaveTheSessionUncompressedAndAreRemembered) {
    const std::vector<RefusalCase> cases = {
        {"lists COMPRESS, then 403", "COMPRESS DEFLATE\r\n", "COMPRESS DEFLATE\r\n", "403 Unable to activate\r\n"},
        {"lists other algorithms only", "COMPRESS SHRINK LZMA\r\n", "XFEATURE COMPRESS GZIP\r\n",
         "500 Unknown command\r\n"},
        {"no COMPRESS at all", "", "XFEATURE COMPRESS GZIP\r\n", "501 Syntax error\r\n"},
    };
    for (const RefusalCase &c : cases) {
        forgetServerCompression();
        ScriptedPeer peer;
        peer.send(kGreeting).expect("CAPABILITIES\r\n").send(capabilities(c.listed));
        peer.expect(c.asked).send(c.answer).expect(kGroupCommand).send(kGroupReply);
        scriptPlainConnection(peer);
        peer.start();
        EXPECT_EQ(openAndSelect(peer), "") << c.name;
        EXPECT_EQ(openAndSelect(peer), "") << c.name;
        EXPECT_TRUE(peer.waitDone()) << c.name;
        EXPECT_EQ(peer.failures(), std::vector<std::string>{}) << c.name;
    }
}

TEST_F(CompressionNegotiation, AServerWithoutCapabilitiesIsAskedForGzip) {
    ScriptedPeer peer;
    peer.send(kGreeting).expect("CAPABILITIES\r\n").send("500 What?\r\n");
    peer.expect("XFEATURE COMPRESS GZIP\r\n").send("290 feature enabled\r\n");
    peer.expect(kGroupCommand).send(kGroupReply);
    peer.expect("xover 1-3\r\n").send(gzipReply("224 Overview follows [COMPRESS=GZIP]\r\n", "1\ta\r\n2\tb\r\n"));
    // The next connection asks at once, without CAPABILITIES.
    peer.nextConnection().send(kGreeting).expect("XFEATURE COMPRESS GZIP\r\n").send("290 feature enabled\r\n");
    peer.expect(kGroupCommand).send(kGroupReply);
    peer.start();
    std::string error, text;
    const Connection c = nntpOpenSession(error, "127.0.0.1", peer.port(), nullptr, "", "", nullptr);
    ASSERT_NE(c, 0) << error;
    ASSERT_TRUE(nntpGroup(error, c, "alt.x")) << error;
    ASSERT_TRUE(netSend(error, c, "xover 1-3\r\n"));
    ASSERT_TRUE(readMultiLineResponse(error, c, 224, kResponseTerminator, text)) << error;
    EXPECT_EQ(text, "1\ta\r\n2\tb\r\n");
    netClose(c);
    EXPECT_EQ(openAndSelect(peer), "");
    EXPECT_TRUE(peer.waitDone());
    EXPECT_EQ(peer.failures(), std::vector<std::string>{});
}

struct FailureCase {
    const char *name;
    std::string offer;          // CAPABILITIES reply
    std::string ask;            // the compression command
    std::string agreed;         // its reply and whatever the server sends then
    bool closeAfter;            // the server hangs up after that
    bool failsAtOpen;           // the open fails (else the group selection)
    const char *messagePart;
};

TEST_F(CompressionNegotiation, ABrokenPromiseFailsTheOperationAndTurnsCompressionOff) {
    // Raw DEFLATE carries no checksum: a flip in the data goes unseen, one in a block header not.
    std::string flipped = rawDeflate({kGroupReply});
    flipped[0] = static_cast<char>(flipped[0] | 0x06);
    const std::vector<FailureCase> cases = {
        // The close may come as an end of the stream or as a reset of the command sent meanwhile.
        {"206 then close", capabilities("COMPRESS DEFLATE\r\n"), "COMPRESS DEFLATE\r\n", "206 Compression active\r\n",
         true, false, ""},
        {"206 then bit-flipped data", capabilities("COMPRESS DEFLATE\r\n"), "COMPRESS DEFLATE\r\n",
         "206 Compression active\r\n" + flipped, false, false, "damaged"},
        {"206 then clear text", capabilities("COMPRESS DEFLATE\r\n"), "COMPRESS DEFLATE\r\n",
         "206 Compression active\r\n" + kGroupReply, false, false, "damaged"},
        {"garbage right after 290", "500 What?\r\n", "XFEATURE COMPRESS GZIP\r\n",
         "290 feature enabled\r\n\x1f\x8bgarbage\r\n", false, true, "out of step"},
    };
    for (const FailureCase &c : cases) {
        forgetServerCompression();
        ScriptedPeer peer;
        peer.send(kGreeting).expect("CAPABILITIES\r\n").send(c.offer).expect(c.ask).send(c.agreed);
        if (c.closeAfter)
            peer.close();
        else
            peer.silent(std::chrono::milliseconds(500));
        scriptPlainConnection(peer);
        peer.start();
        const std::string error = openAndSelect(peer);
        EXPECT_NE(error.find(c.messagePart), std::string::npos) << c.name << ": " << error;
        EXPECT_NE(error.find("The next connection goes without compression."), std::string::npos) << c.name;
        EXPECT_EQ(openAndSelect(peer), "") << c.name;
        EXPECT_TRUE(peer.waitDone()) << c.name;
        EXPECT_EQ(peer.failures(), std::vector<std::string>{}) << c.name;
    }
}

TEST_F(CompressionNegotiation, AGzipReplyThatIsNoStreamFailsAndTheNextConnectionIsPlain) {
    ScriptedPeer peer;
    peer.send(kGreeting).expect("CAPABILITIES\r\n").send("500 What?\r\n");
    peer.expect("XFEATURE COMPRESS GZIP\r\n").send("290 feature enabled\r\n");
    peer.expect("xover 1-3\r\n").send("224 Overview follows [COMPRESS=GZIP]\r\n1\tplain\r\n.\r\n");
    scriptPlainConnection(peer);
    peer.start();
    std::string error, text;
    const Connection c = nntpOpenSession(error, "127.0.0.1", peer.port(), nullptr, "", "", nullptr);
    ASSERT_NE(c, 0) << error;
    ASSERT_TRUE(netSend(error, c, "xover 1-3\r\n"));
    EXPECT_FALSE(readMultiLineResponse(error, c, 224, kResponseTerminator, text));
    EXPECT_TRUE(error.starts_with(kCompressedDataPrefix)) << error;
    netClose(c);
    EXPECT_EQ(openAndSelect(peer), "");
    EXPECT_TRUE(peer.waitDone());
    EXPECT_EQ(peer.failures(), std::vector<std::string>{});
}

TEST_F(CompressionNegotiation, AfterAFailedLoginTheServerDecides) {
    // The engine goes on after a 481 (only 502 ends a login); the server then refuses
    // compression with 480 as it refuses the group, and the group's answer is the message.
    ScriptedPeer peer;
    peer.send(kGreeting).expect("authinfo user me\r\n").send("381 password\r\n");
    peer.expect("authinfo pass wrong\r\n").send("481 rejected\r\n");
    peer.expect("CAPABILITIES\r\n").send(capabilities("AUTHINFO USER\r\nCOMPRESS DEFLATE\r\n"));
    peer.expect("COMPRESS DEFLATE\r\n").send("480 Authentication required\r\n");
    peer.expect(kGroupCommand).send("480 Authentication required\r\n");
    // A 480 says nothing about the server: the next connection asks again.
    peer.nextConnection().send(kGreeting).expect("authinfo user me\r\n").send("381 password\r\n");
    peer.expect("authinfo pass right\r\n").send("281 ok\r\n");
    peer.expect("COMPRESS DEFLATE\r\n").send("206 Compression active\r\n");
    peer.silent(std::chrono::milliseconds(0));
    peer.start();
    EXPECT_EQ(openAndSelect(peer, "me", "wrong"), "480 Authentication required\r\n");
    std::string error;
    const Connection c = nntpOpenSession(error, "127.0.0.1", peer.port(), nullptr, "me", "right", nullptr);
    ASSERT_NE(c, 0) << error;
    netClose(c);
    EXPECT_TRUE(peer.waitDone());
    EXPECT_EQ(peer.failures(), std::vector<std::string>{});
}

TEST_F(CompressionNegotiation, StoringTheSettingsAgainAsksAfresh) {
    ScriptedPeer peer;
    peer.send(kGreeting).expect("CAPABILITIES\r\n").send(capabilities("COMPRESS DEFLATE\r\n"));
    peer.expect("COMPRESS DEFLATE\r\n").send("206 Compression active\r\n").close();
    scriptPlainConnection(peer);
    peer.nextConnection().send(kGreeting).expect("CAPABILITIES\r\n").send(capabilities(""));
    peer.expect("XFEATURE COMPRESS GZIP\r\n").send("500 What?\r\n").expect(kGroupCommand).send(kGroupReply);
    peer.start();
    EXPECT_NE(openAndSelect(peer), "");
    EXPECT_EQ(openAndSelect(peer), "");
    forgetServerCompression();
    EXPECT_EQ(openAndSelect(peer), "");
    EXPECT_TRUE(peer.waitDone());
    EXPECT_EQ(peer.failures(), std::vector<std::string>{});
}

TEST_F(CompressionNegotiation, ADeflateBombStopsAtTheReadersCap) {
    // A few hundred kB that inflate to more than the overview reader holds.
    std::string lines;
    const std::string line = std::string(1000, 'x') + "\r\n";
    while (lines.size() < kMaxResponseLineBuffer + (std::size_t(1) << 20)) lines += line;
    const std::string bomb = rawDeflate({"224 Overview follows\r\n" + lines + ".\r\n"});
    ASSERT_LT(bomb.size(), std::size_t(1) << 20);
    ScriptedPeer peer;
    peer.send(kGreeting).expect("CAPABILITIES\r\n").send(capabilities("COMPRESS DEFLATE\r\n"));
    peer.expect("COMPRESS DEFLATE\r\n").send("206 Compression active\r\n" + bomb);
    peer.silent(std::chrono::milliseconds(2000));
    peer.start();
    std::string error, line0;
    const Connection c = nntpOpenSession(error, "127.0.0.1", peer.port(), nullptr, "", "", nullptr);
    ASSERT_NE(c, 0) << error;
    EXPECT_FALSE(readResponseLine(error, c, line0, 4096, true));
    EXPECT_EQ(error, "Server response too large (more than 64 MB).");
    netClose(c);
}

TEST(CapabilitiesList, NamesDeflateOnlyOnTheCompressLine) {
    EXPECT_TRUE(capabilitiesOfferDeflate("VERSION 2\r\nCOMPRESS DEFLATE\r\n"));
    EXPECT_TRUE(capabilitiesOfferDeflate("compress shrink deflate\r\n"));
    EXPECT_TRUE(capabilitiesOfferDeflate("COMPRESS\tDEFLATE"));
    EXPECT_FALSE(capabilitiesOfferDeflate("COMPRESS SHRINK\r\n"));
    EXPECT_FALSE(capabilitiesOfferDeflate("XCOMPRESS DEFLATE\r\nDEFLATE\r\n"));
    EXPECT_FALSE(capabilitiesOfferDeflate("IMPLEMENTATION COMPRESS DEFLATE\r\n"));
    EXPECT_FALSE(capabilitiesOfferDeflate(""));
}

}  // namespace
