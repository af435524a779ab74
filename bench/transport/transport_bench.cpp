// Reads a 50 MB multi-line response from a loopback peer through readMultiLineResponse, next to a
// raw socket read of the same bytes. Run by hand: build/bin/transport_bench [megabytes]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "net/multiline.h"

namespace {

// Serves `response` once to the next client on a loopback port, then closes.
class OneShotServer {
public:
    explicit OneShotServer(const std::string &response) {
        listenFd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listenFd_, reinterpret_cast<sockaddr *>(&address), sizeof address);
        listen(listenFd_, 1);
        socklen_t length = sizeof address;
        getsockname(listenFd_, reinterpret_cast<sockaddr *>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this, &response] {
            const int fd = accept(listenFd_, nullptr, nullptr);
            std::size_t sent = 0;
            while (sent < response.size()) {
                const ssize_t n = send(fd, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += static_cast<std::size_t>(n);
            }
            shutdown(fd, SHUT_WR);
            char drain[4096];
            while (recv(fd, drain, sizeof drain, 0) > 0) {
            }
            close(fd);
        });
    }
    ~OneShotServer() {
        thread_.join();
        close(listenFd_);
    }
    int port() const { return port_; }

private:
    int listenFd_;
    int port_;
    std::thread thread_;
};

int connectRaw(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    return fd;
}

double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char **argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50;
    std::string response = "220 0 <bench@example> article\r\n";
    const std::string line = "M" + std::string(60, 'A') + "\r\n";
    while (response.size() < megabytes * 1024 * 1024) response += line;
    response += ".\r\n";
    const double mb = static_cast<double>(response.size()) / (1024.0 * 1024.0);

    double engineSeconds, rawSeconds, rawStoringSeconds;
    {
        OneShotServer server(response);
        std::string error, text;
        const auto start = std::chrono::steady_clock::now();
        const corvane::Connection c = corvane::netConnect(error, "127.0.0.1", server.port(), nullptr);
        if (!c || !corvane::readMultiLineResponse(error, c, 220, corvane::kResponseTerminator, text)) {
            std::fprintf(stderr, "engine read failed: %s\n", error.c_str());
            return 1;
        }
        engineSeconds = seconds(std::chrono::steady_clock::now() - start);
        corvane::netClose(c);
    }
    {
        OneShotServer server(response);
        const auto start = std::chrono::steady_clock::now();
        const int fd = connectRaw(server.port());
        char buffer[4096];
        std::size_t total = 0;
        while (total < response.size()) {
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            total += static_cast<std::size_t>(n);
        }
        rawSeconds = seconds(std::chrono::steady_clock::now() - start);
        close(fd);
    }
    {
        // The same raw read, keeping the bytes: what any reader that returns the whole text pays.
        OneShotServer server(response);
        const auto start = std::chrono::steady_clock::now();
        const int fd = connectRaw(server.port());
        char buffer[4096];
        std::string kept;
        while (kept.size() < response.size()) {
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            kept.append(buffer, static_cast<std::size_t>(n));
        }
        rawStoringSeconds = seconds(std::chrono::steady_clock::now() - start);
        close(fd);
    }
    std::printf("response size           %.1f MB\n", mb);
    std::printf("readMultiLineResponse   %.0f MB/s (%.3f s)\n", mb / engineSeconds, engineSeconds);
    std::printf("raw 4096-byte receives  %.0f MB/s (%.3f s)\n", mb / rawSeconds, rawSeconds);
    std::printf("raw receives, kept      %.0f MB/s (%.3f s)\n", mb / rawStoringSeconds, rawStoringSeconds);
    std::printf("engine / raw            %.2f\n", rawSeconds / engineSeconds);
    std::printf("engine / raw kept       %.2f\n", rawStoringSeconds / engineSeconds);
    return 0;
}
