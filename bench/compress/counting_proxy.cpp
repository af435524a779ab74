#include "counting_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>

CountingProxy::CountingProxy(int serverPort, double rateMbit, bool keepServerBytes)
    : serverPort_(serverPort), rateMbit_(rateMbit), keep_(keepServerBytes) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listenFd_, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::listen(listenFd_, 64);
    socklen_t length = sizeof address;
    getsockname(listenFd_, reinterpret_cast<sockaddr *>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

CountingProxy::~CountingProxy() {
    stopping_ = true;
    ::shutdown(listenFd_, SHUT_RDWR);
    acceptor_.join();
    ::close(listenFd_);
    std::lock_guard lock(mutex_);
    for (std::thread &t : relays_) t.join();
}

std::string CountingProxy::longestServerStream() {
    std::lock_guard lock(mutex_);
    std::string *longest = nullptr;
    for (std::string &s : streams_)
        if (!longest || s.size() > longest->size()) longest = &s;
    return longest ? *longest : std::string();
}

void CountingProxy::acceptLoop() {
    while (!stopping_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        const int client = ::accept(listenFd_, nullptr, nullptr);
        if (client < 0) continue;
        std::lock_guard lock(mutex_);
        relays_.emplace_back([this, client] { relay(client); });
    }
}

void CountingProxy::relay(int client) {
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(serverPort_));
    if (::connect(server, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(client);
        ::close(server);
        return;
    }
    std::string *kept = nullptr;
    if (keep_) {
        std::lock_guard lock(mutex_);
        streams_.emplace_back();
        kept = &streams_.back();
    }
    std::thread up([this, client, server] { pump(client, server, false, nullptr); });
    pump(server, client, true, kept);
    up.join();
    ::close(client);
    ::close(server);
}

void CountingProxy::pump(int from, int to, bool serverSide, std::string *kept) {
    std::unique_ptr<char[]> buffer(new char[65536]);
    const auto started = std::chrono::steady_clock::now();
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t n = ::recv(from, buffer.get(), 65536, 0);
        if (n <= 0) break;
        if (serverSide && rateMbit_ > 0) {
            // The link delivers rateMbit_ Mbit/s: these bytes arrive when the link has carried them.
            total += static_cast<std::uint64_t>(n);
            const auto due = started + std::chrono::duration<double>(static_cast<double>(total) * 8 / (rateMbit_ * 1e6));
            std::this_thread::sleep_until(std::chrono::time_point_cast<std::chrono::steady_clock::duration>(due));
        }
        (serverSide ? fromServer_ : toServer_) += static_cast<std::uint64_t>(n);
        if (kept) kept->append(buffer.get(), static_cast<std::size_t>(n));
        ssize_t sent = 0;
        while (sent < n) {
            const ssize_t m = ::send(to, buffer.get() + sent, static_cast<std::size_t>(n - sent), MSG_NOSIGNAL);
            if (m <= 0) break;
            sent += m;
        }
        if (sent < n) break;
    }
    ::shutdown(to, SHUT_WR);
    ::shutdown(from, SHUT_RD);
}
