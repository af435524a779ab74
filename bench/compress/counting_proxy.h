// A loopback relay between the engine and the bundled server that counts the bytes on the wire
// each way, can hold the server's direction to a rate (a link of that many Mbit/s per
// connection), and keeps what the server sent on the longest connection.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <deque>
#include <vector>

class CountingProxy {
public:
    // `rateMbit` 0: no cap.
    CountingProxy(int serverPort, double rateMbit, bool keepServerBytes);
    ~CountingProxy();
    int port() const { return port_; }
    std::uint64_t fromServer() const { return fromServer_.load(); }
    std::uint64_t toServer() const { return toServer_.load(); }
    // The server's bytes of the connection that carried the most (the search session).
    std::string longestServerStream();

private:
    void acceptLoop();
    void relay(int client);
    void pump(int from, int to, bool serverSide, std::string *kept);

    int serverPort_;
    double rateMbit_;
    bool keep_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> fromServer_{0}, toServer_{0};
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<std::thread> relays_;
    std::deque<std::string> streams_;  // stable while more are added
};
