#include "support/scripted_peer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "net/connection.h"

namespace harbeat::test {
namespace {

constexpr int kPollSliceMs = 20;

std::string printable(const std::string &text) {
    std::string out;
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

}  // namespace

ScriptedPeer::ScriptedPeer() {
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) throw std::runtime_error("socket");
    int yes = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listenFd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(listenFd_, 16) != 0)
        throw std::runtime_error("bind/listen");
    socklen_t length = sizeof address;
    getsockname(listenFd_, reinterpret_cast<sockaddr *>(&address), &length);
    port_ = ntohs(address.sin_port);
}

ScriptedPeer::~ScriptedPeer() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (listenFd_ >= 0) ::close(listenFd_);
}

ScriptedPeer &ScriptedPeer::send(std::string bytes) {
    scripts_.back().push_back({Step::Send, std::move(bytes)});
    return *this;
}

ScriptedPeer &ScriptedPeer::sendSplit(std::vector<std::string> pieces, std::chrono::milliseconds gap) {
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) scripts_.back().push_back({Step::Silent, {}, gap});
        scripts_.back().push_back({Step::Send, std::move(pieces[i])});
    }
    return *this;
}

ScriptedPeer &ScriptedPeer::expect(std::string line) {
    scripts_.back().push_back({Step::Expect, std::move(line)});
    return *this;
}

ScriptedPeer &ScriptedPeer::capture(std::string terminator) {
    scripts_.back().push_back({Step::Capture, std::move(terminator)});
    return *this;
}

ScriptedPeer &ScriptedPeer::silent(std::chrono::milliseconds duration) {
    scripts_.back().push_back({Step::Silent, {}, duration});
    return *this;
}

ScriptedPeer &ScriptedPeer::close() {
    scripts_.back().push_back({Step::Close, {}});
    return *this;
}

ScriptedPeer &ScriptedPeer::nextConnection() {
    scripts_.emplace_back();
    return *this;
}

std::string ScriptedPeer::usualOverviewFormat() {
    return "215 Order of fields in overview database.\r\n"
           "Subject:\r\nFrom:\r\nDate:\r\nMessage-ID:\r\nReferences:\r\nBytes:\r\nLines:\r\nXref:full\r\n.\r\n";
}

ScriptedPeer &ScriptedPeer::scriptServerCheck(const std::string &greeting) {
    // The probe connection: connected and closed without a word.
    silent(std::chrono::milliseconds(0));
    nextConnection();
    send(greeting);
    expect("group alt.binaries.sounds.mp3\r\n");
    send("211 3 1 3 alt.binaries.sounds.mp3\r\n");
    expect("list overview.fmt\r\n");
    send(usualOverviewFormat());
    expect("QUIT\r\n");
    send("205 bye\r\n");
    return *this;
}

void ScriptedPeer::start() {
    received_.assign(scripts_.size(), {});
    thread_ = std::thread([this] { serve(); });
}

bool ScriptedPeer::waitDone(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return doneCv_.wait_for(lock, timeout, [this] { return done_; });
}

bool ScriptedPeer::waitClosed(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return doneCv_.wait_for(lock, timeout, [this] { return closed_; });
}

std::vector<std::string> ScriptedPeer::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<std::string> ScriptedPeer::capturedBlocks() const {
    std::lock_guard lock(mutex_);
    return captured_;
}

std::vector<std::string> ScriptedPeer::failures() const {
    std::lock_guard lock(mutex_);
    return failures_;
}

void ScriptedPeer::fail(std::string message) {
    std::lock_guard lock(mutex_);
    failures_.push_back(std::move(message));
}

void ScriptedPeer::serve() {
    for (std::size_t index = 0; index < scripts_.size() && !stopping_; ++index) {
        int fd = -1;
        while (!stopping_) {
            pollfd p{listenFd_, POLLIN, 0};
            if (poll(&p, 1, kPollSliceMs) > 0) {
                fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0) break;
            }
        }
        if (fd < 0) break;
        ++accepted_;
        runConnection(fd, scripts_[index], index);
    }
    std::lock_guard lock(mutex_);
    done_ = true;
    closed_ = true;
    doneCv_.notify_all();
}

bool ScriptedPeer::readUntil(int fd, std::string &pending, const std::string &marker, std::string &out,
                             std::size_t index) {
    for (;;) {
        const std::size_t at = pending.find(marker);
        if (at != std::string::npos) {
            out = pending.substr(0, at + marker.size());
            pending.erase(0, at + marker.size());
            return true;
        }
        if (stopping_) return false;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, kPollSliceMs) <= 0) continue;
        char buffer[65536];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        pending.append(buffer, static_cast<std::size_t>(n));
        std::lock_guard lock(mutex_);
        received_[index].append(buffer, static_cast<std::size_t>(n));
    }
}

void ScriptedPeer::runConnection(int fd, const std::vector<Step> &steps, std::size_t index) {
    std::string pending;
    bool open = true;
    for (const Step &step : steps) {
        if (!open || stopping_) break;
        switch (step.kind) {
            case Step::Send:
                if (::send(fd, step.text.data(), step.text.size(), MSG_NOSIGNAL) < 0) open = false;
                break;
            case Step::Expect: {
                std::string line;
                if (!readUntil(fd, pending, "\r\n", line, index)) {
                    fail("connection " + std::to_string(index) + ": expected \"" + printable(step.text) +
                         "\" but the client closed");
                    open = false;
                } else if (line != step.text) {
                    fail("connection " + std::to_string(index) + ": expected \"" + printable(step.text) + "\" got \"" +
                         printable(line) + "\"");
                }
                break;
            }
            case Step::Capture: {
                std::string block;
                if (readUntil(fd, pending, step.text, block, index)) {
                    std::lock_guard lock(mutex_);
                    captured_.push_back(block);
                } else {
                    fail("connection " + std::to_string(index) + ": closed before \"" + printable(step.text) + "\"");
                    open = false;
                }
                break;
            }
            case Step::Silent: {
                const auto until = std::chrono::steady_clock::now() + step.duration;
                while (!stopping_ && std::chrono::steady_clock::now() < until) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long long>(
                        kPollSliceMs,
                        std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now())
                                .count() +
                            1)));
                }
                break;
            }
            case Step::Close:
                ::close(fd);
                fd = -1;
                open = false;
                break;
        }
    }
    if (index + 1 == scripts_.size()) {
        std::lock_guard lock(mutex_);
        done_ = true;
        doneCv_.notify_all();
    }
    if (fd >= 0) {
        // Script done: take what the client still says until it closes.
        std::string ignored;
        readUntil(fd, pending, std::string("\0never\0", 7), ignored, index);
        ::close(fd);
    }
}

int unusedLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

int connectTo(const ScriptedPeer &peer) {
    std::string error;
    const int connection = corvane::netConnect(error, "127.0.0.1", peer.port(), nullptr);
    EXPECT_NE(connection, 0) << error;
    return connection;
}

}  // namespace harbeat::test
