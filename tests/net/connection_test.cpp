#include "net/connection.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/scripted_peer.h"
#include "support/test_environment.h"

using namespace corvane;
using namespace std::chrono_literals;
using harbeat::test::ScriptedPeer;
using harbeat::test::ShortReceiveWait;

TEST(Connection, NoConnectionTouchesNoSocket) {
    std::string error;
    EXPECT_EQ(netSend(error, 0, "x"), 0);
    EXPECT_EQ(error, "Not connected to server");
    error.clear();
    char buffer[kReceiveBlock + 1];
    std::size_t size = kReceiveBlock;
    EXPECT_EQ(netReceive(error, 0, buffer, size), 0);
    EXPECT_EQ(error, "Not connected to server");
    EXPECT_EQ(size, kReceiveBlock);
}

TEST(Connection, RefusedPortGivesTheSocketMessage) {
    std::string error;
    EXPECT_EQ(netConnect(error, "127.0.0.1", harbeat::test::unusedLoopbackPort(), nullptr), 0);
    EXPECT_EQ(error, "Connection refused.");
}

TEST(Connection, UnknownHostIsNotFound) {
    std::string error;
    EXPECT_EQ(netConnect(error, "no-such-host.invalid", 119, nullptr), 0);
    EXPECT_EQ(error, "Host not found.");
}

TEST(Connection, SilentServerTimesOut) {
    ShortReceiveWait wait(200ms);
    ScriptedPeer peer;
    peer.silent(2s);
    peer.start();
    std::string error, official;
    const Connection c = netConnect(error, "127.0.0.1", peer.port(), &official);
    ASSERT_NE(c, 0) << error;
    EXPECT_EQ(official, "127.0.0.1");
    char buffer[kReceiveBlock + 1];
    std::size_t size = kReceiveBlock;
    EXPECT_EQ(netReceive(error, c, buffer, size), 0);
    EXPECT_EQ(error, "Timed Out, server has not responded.");
    EXPECT_EQ(size, 0u);
    netClose(c);
}

TEST(Connection, ReceiveIsZeroTerminatedAndCloseIsSuccessWithNoBytes) {
    ScriptedPeer peer;
    peer.send("200 hello\r\n").close();
    peer.start();
    std::string error;
    const Connection c = netConnect(error, "127.0.0.1", peer.port(), nullptr);
    ASSERT_NE(c, 0) << error;
    char buffer[kReceiveBlock + 1];
    std::memset(buffer, 'x', sizeof buffer);
    std::size_t size = kReceiveBlock;
    ASSERT_EQ(netReceive(error, c, buffer, size), 1);
    EXPECT_EQ(std::string(buffer, size), "200 hello\r\n");
    EXPECT_EQ(buffer[size], '\0');
    ASSERT_TRUE(peer.waitDone());
    size = kReceiveBlock;
    EXPECT_EQ(netReceive(error, c, buffer, size), 1);
    EXPECT_EQ(size, 0u);
    netClose(c);
}

TEST(Connection, SendsEveryByteOfALargeBlock) {
    ScriptedPeer peer;
    peer.capture("END\r\n");
    peer.start();
    std::string error;
    const Connection c = netConnect(error, "127.0.0.1", peer.port(), nullptr);
    ASSERT_NE(c, 0) << error;
    std::string big(3 * 1024 * 1024, 'a');
    big += "END\r\n";
    EXPECT_EQ(netSend(error, c, big), 1);
    ASSERT_TRUE(peer.waitDone());
    ASSERT_EQ(peer.capturedBlocks().size(), 1u);
    EXPECT_EQ(peer.capturedBlocks()[0].size(), big.size());
    netClose(c);
}
