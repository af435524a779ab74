#include "raw_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace harbeat::newsd::test {

RawClient::RawClient(std::uint16_t port) {
    socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(socket_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        throw std::runtime_error("cannot connect to the news server");
    }
    greeting_ = readLine();
}

RawClient::~RawClient() { ::close(socket_); }

void RawClient::send(const std::string &bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t result = ::send(socket_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (result <= 0) return;
        sent += std::size_t(result);
    }
}

bool RawClient::fill(std::chrono::milliseconds wait) {
    if (closed_) return false;
    pollfd ready{socket_, POLLIN, 0};
    if (::poll(&ready, 1, int(wait.count())) <= 0) return false;
    char chunk[65536];
    const ssize_t received = ::recv(socket_, chunk, sizeof chunk, 0);
    if (received <= 0) {
        closed_ = true;
        return false;
    }
    buffer_.append(chunk, std::size_t(received));
    return true;
}

std::string RawClient::readLine(std::chrono::milliseconds wait) {
    std::size_t end;
    while ((end = buffer_.find("\r\n")) == std::string::npos) {
        if (!fill(wait)) return {};
    }
    std::string line = buffer_.substr(0, end + 2);
    buffer_.erase(0, end + 2);
    return line;
}

std::string RawClient::command(const std::string &line) {
    send(line + "\r\n");
    return readLine();
}

std::string RawClient::readBlockBytes() {
    std::string block;
    for (;;) {
        const std::string line = readLine();
        block += line;
        if (line.empty() || line == ".\r\n") return block;
    }
}

std::vector<std::string> RawClient::readBlock() {
    std::vector<std::string> lines;
    for (;;) {
        const std::string line = readLine();
        if (line.empty() || line == ".\r\n") return lines;
        lines.push_back(line.substr(0, line.size() - 2));
    }
}

bool RawClient::closedWithin(std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!closed_ && std::chrono::steady_clock::now() < deadline) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (!fill(std::max(left, std::chrono::milliseconds(1))) && !closed_) return false;
    }
    return closed_ && buffer_.empty();
}

std::vector<std::string> splitTabs(const std::string &line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

}  // namespace harbeat::newsd::test
