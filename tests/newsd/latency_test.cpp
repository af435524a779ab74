// Simulated latency: each reply leaves its delay after its own command arrived, so pipelined
// commands overlap as over a real network.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "raw_client.h"

namespace harbeat::newsd::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kLatency = 150ms;

TEST(Latency, PipelinedRepliesOverlapAndEachWaitsForItsCommand) {
    ServedStore served;
    served.store.addGroup("g.one", 0, true);
    ServerOptions options;
    options.latency = kLatency;
    served.start(options);

    const auto connected = Clock::now();
    RawClient client(served.server->port());
    EXPECT_EQ(client.greeting().substr(0, 3), "200");
    EXPECT_GE(Clock::now() - connected, kLatency);

    // Ten commands in one send: one latency for all of them, not ten in a row (which would take
    // ten times as long).
    std::string commands;
    for (int i = 0; i < 10; ++i) commands += "group g.one\r\n";
    const auto sent = Clock::now();
    client.send(commands);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(client.readLine(3s).substr(0, 4), "211 ") << i;
    const auto elapsed = Clock::now() - sent;
    EXPECT_GE(elapsed, kLatency);
    EXPECT_LT(elapsed, 5 * kLatency);

    // A command sent while the previous reply is on its way is answered no sooner than its own
    // latency after it arrived, and the replies stay in order.
    const auto first = Clock::now();
    client.send("date\r\n");
    std::this_thread::sleep_for(kLatency / 2);
    client.send("group g.one\r\n");
    EXPECT_EQ(client.readLine(3s).substr(0, 4), "111 ");
    EXPECT_EQ(client.readLine(3s).substr(0, 4), "211 ");
    EXPECT_GE(Clock::now() - first, kLatency + kLatency / 2);

    // QUIT is answered before the connection closes.
    client.send("quit\r\n");
    EXPECT_EQ(client.readLine(3s).substr(0, 4), "205 ");
    EXPECT_TRUE(client.closedWithin(2s));
}

}  // namespace
}  // namespace harbeat::newsd::test
