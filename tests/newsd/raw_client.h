// A minimal NNTP client for the news server tests: raw bytes in, raw lines out, every wait
// bounded so that a server fault fails the test instead of hanging it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace harbeat::newsd::test {

class RawClient {
public:
    explicit RawClient(std::uint16_t port);
    ~RawClient();
    RawClient(const RawClient &) = delete;
    RawClient &operator=(const RawClient &) = delete;

    void send(const std::string &bytes);
    // The next line with its CR LF; empty when the server closed or stayed silent for `wait`.
    std::string readLine(std::chrono::milliseconds wait = std::chrono::seconds(5));
    // Sends the command with CR LF and returns the status line.
    std::string command(const std::string &line);
    // Everything up to and including the terminator line, exactly as received.
    std::string readBlockBytes();
    // The lines of a multi-line block, without CR LF, still dot-stuffed, without the terminator.
    std::vector<std::string> readBlock();
    // True when the server closes the connection within `wait` (and sent nothing more).
    bool closedWithin(std::chrono::milliseconds wait);
    // The greeting line read by the constructor.
    const std::string &greeting() const { return greeting_; }

private:
    bool fill(std::chrono::milliseconds wait);

    int socket_ = -1;
    std::string buffer_;
    std::string greeting_;
    bool closed_ = false;
};

// Splits a line (without CR LF) at TAB.
std::vector<std::string> splitTabs(const std::string &line);

}  // namespace harbeat::newsd::test

#include <memory>

#include "newsd/news_server.h"

namespace harbeat::newsd::test {

// A store and a server on a free port for one test.
struct ServedStore {
    NewsStore store;
    std::unique_ptr<NewsServer> server;

    void start(ServerOptions options = {}) {
        server = std::make_unique<NewsServer>(store, std::move(options));
        server->start();
    }
    std::unique_ptr<RawClient> connect() const { return std::make_unique<RawClient>(server->port()); }
};

}  // namespace harbeat::newsd::test
