#include "client_connection.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>

#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>
#include <cstring>
#include <vector>

namespace harbeat::newsd {

namespace {
constexpr std::size_t kReceiveChunk = 64 * 1024;
// Commands inflated from one receive beyond this are no client's: the connection is closed.
constexpr std::size_t kMaxInflatedInput = std::size_t(4) << 20;
}

// The client's commands are inflated with zlib; the replies are compressed with ISA-L's igzip at
// its fastest level, several times zlib's speed: the server shares the machine with the client
// it serves in tests and benchmarks, where a real server's compressing costs the client nothing.
struct ClientConnection::Deflate {
    z_stream in{};
    isal_zstream out{};
    std::vector<std::uint8_t> levelBuffer = std::vector<std::uint8_t>(ISAL_DEF_LVL1_DEFAULT);
    std::string wire;
    bool inOpen = false;
    ~Deflate() {
        if (inOpen) inflateEnd(&in);
    }
};

ClientConnection::ClientConnection(int socket, ssl_st *tls) : socket_(socket), tls_(tls) {}

bool ClientConnection::startDeflate() {
    if (!flush()) return false;
    auto state = std::make_unique<Deflate>();
    state->inOpen = inflateInit2(&state->in, -MAX_WBITS) == Z_OK;
    if (!state->inOpen) return false;
    isal_deflate_init(&state->out);
    state->out.level = 1;
    state->out.level_buf = state->levelBuffer.data();
    state->out.level_buf_size = static_cast<std::uint32_t>(state->levelBuffer.size());
    state->out.gzip_flag = IGZIP_DEFLATE;
    state->out.flush = SYNC_FLUSH;
    deflate_ = std::move(state);
    // Bytes that came behind the COMPRESS command are already compressed.
    const std::string raw = input_.substr(inputStart_);
    input_.resize(inputStart_);
    scanned_ = 0;
    return inflateInto(raw);
}

bool ClientConnection::inflateInto(std::string_view raw) {
    z_stream &z = deflate_->in;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(raw.data()));
    z.avail_in = static_cast<uInt>(raw.size());
    const std::size_t start = input_.size();
    while (z.avail_in > 0) {
        const std::size_t used = input_.size();
        input_.resize(used + kReceiveChunk);
        z.next_out = reinterpret_cast<Bytef *>(input_.data() + used);
        z.avail_out = kReceiveChunk;
        const int rc = inflate(&z, Z_SYNC_FLUSH);
        input_.resize(used + kReceiveChunk - z.avail_out);
        if (rc != Z_OK && rc != Z_BUF_ERROR) return false;
        if (input_.size() - start > kMaxInflatedInput) return false;
        if (rc == Z_BUF_ERROR && z.avail_out != 0) break;
    }
    return true;
}

long ClientConnection::receiveSome(char *into, std::size_t length) {
    if (tls_) {
        std::size_t got = 0;
        if (SSL_read_ex(tls_, into, length, &got) == 1) return long(got);
        ERR_clear_error();
        return 0;
    }
    ssize_t received;
    do {
        received = ::recv(socket_, into, length, 0);
    } while (received < 0 && errno == EINTR);
    return received;
}

long ClientConnection::sendSome(const char *from, std::size_t length) {
    if (tls_) {
        std::size_t written = 0;
        if (SSL_write_ex(tls_, from, length, &written) == 1) return long(written);
        ERR_clear_error();
        return -1;
    }
    ssize_t sent;
    do {
        sent = ::send(socket_, from, length, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent;
}

ClientConnection::~ClientConnection() {
    if (!delayed_) return;
    flush();
    {
        std::lock_guard lock(queueMutex_);
        closing_ = true;
    }
    queueChanged_.notify_all();
    sender_.join();
}

void ClientConnection::enableDelayedSending() {
    if (delayed_) return;
    delayed_ = true;
    sender_ = std::thread([this] { sendLoop(); });
}

void ClientConnection::sendLoop() {
    std::unique_lock lock(queueMutex_);
    for (;;) {
        queueChanged_.wait(lock, [this] { return closing_ || !queue_.empty(); });
        if (queue_.empty()) return;
        auto [time, bytes] = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        std::this_thread::sleep_until(time);
        if (!failed_.load()) sendAll(bytes);
        lock.lock();
    }
}

void ClientConnection::noteLineEnd(std::size_t end) {
    if (!delayed_) return;
    // The line ended with the receive that brought its LF.
    const std::size_t at = inputBase_ + end;
    while (!arrivals_.empty() && arrivals_.front().first <= at) arrivals_.pop_front();
    if (!arrivals_.empty()) lastLineArrival_ = arrivals_.front().second;
}

bool ClientConnection::receiveMore() {
    if (!flush()) return false;
    if (inputStart_ == input_.size()) {
        inputBase_ += input_.size();
        input_.clear();
        inputStart_ = 0;
    } else if (inputStart_ >= kReceiveChunk || inputStart_ * 2 >= input_.size()) {
        input_.erase(0, inputStart_);
        inputBase_ += inputStart_;
        inputStart_ = 0;
    }
    long received;
    if (deflate_) {
        std::string raw(kReceiveChunk, '\0');
        received = receiveSome(raw.data(), raw.size());
        if (received > 0 && !inflateInto(std::string_view(raw).substr(0, std::size_t(received)))) received = -1;
    } else {
        const std::size_t used = input_.size();
        input_.resize(used + kReceiveChunk);
        received = receiveSome(input_.data() + used, kReceiveChunk);
        input_.resize(used + (received > 0 ? std::size_t(received) : 0));
    }
    if (delayed_ && received > 0) arrivals_.emplace_back(inputBase_ + input_.size(), Clock::now());
    return received > 0;
}

ClientConnection::ReadStatus ClientConnection::readLine(std::string_view &line, std::size_t maxLength,
                                                        std::size_t skipLimit) {
    std::size_t skipped = 0;
    bool skipping = false;
    for (;;) {
        const std::size_t searchFrom = inputStart_ + scanned_;
        const void *found = searchFrom < input_.size()
                                ? std::memchr(input_.data() + searchFrom, '\n', input_.size() - searchFrom)
                                : nullptr;
        if (found != nullptr) {
            const std::size_t end = std::size_t(static_cast<const char *>(found) - input_.data());
            std::size_t length = end - inputStart_;
            if (length > 0 && input_[inputStart_ + length - 1] == '\r') --length;
            line = std::string_view(input_).substr(inputStart_, length);
            noteLineEnd(end);
            inputStart_ = end + 1;
            scanned_ = 0;
            if (skipping || length > maxLength) return ReadStatus::TooLong;
            return ReadStatus::Line;
        }
        const std::size_t pending = input_.size() - inputStart_;
        if (pending > maxLength && pending - maxLength > 2) {
            // Too long already: drop what is buffered and keep dropping until the line ends.
            skipping = true;
            skipped += pending;
            if (skipped > skipLimit) return ReadStatus::Overflow;
            inputStart_ = input_.size();
            scanned_ = 0;
        } else {
            scanned_ = pending;
        }
        if (!receiveMore()) return ReadStatus::Closed;
    }
}

void ClientConnection::drainUntilClosed() {
    flush();
    while (!failed_.load()) {
        inputStart_ = input_.size();
        scanned_ = 0;
        if (!receiveMore()) return;
    }
}

bool ClientConnection::flush() {
    if (deflate_ && !output_.empty()) {
        // Each flush ends on a block boundary, so the client can read every reply at once.
        isal_zstream &z = deflate_->out;
        z.next_in = reinterpret_cast<std::uint8_t *>(output_.data());
        z.avail_in = static_cast<std::uint32_t>(output_.size());
        // The packing area is kept from flush to flush, grown but never cleared.
        std::string &wire = deflate_->wire;
        std::size_t used = 0;
        do {
            if (wire.size() < used + kReceiveChunk) wire.resize(used + kReceiveChunk);
            z.next_out = reinterpret_cast<std::uint8_t *>(wire.data() + used);
            z.avail_out = kReceiveChunk;
            if (isal_deflate(&z) != COMP_OK) return false;
            used += kReceiveChunk - z.avail_out;
        } while (z.avail_out == 0 || z.avail_in != 0);
        output_.assign(wire.data(), used);
    }
    if (delayed_ && !output_.empty()) {
        {
            std::lock_guard lock(queueMutex_);
            queue_.emplace_back(sendTime_, std::move(output_));
        }
        queueChanged_.notify_all();
    } else if (!output_.empty()) {
        sendAll(output_);
    }
    output_.clear();
    return !failed_.load();
}

bool ClientConnection::sendAll(std::string_view bytes) {
    // A paced connection sends in slices, each when the link would have carried the ones before.
    constexpr std::size_t kPacedSlice = 16 * 1024;
    std::size_t sent = 0;
    while (!failed_.load() && sent < bytes.size()) {
        std::size_t length = bytes.size() - sent;
        if (bitsPerSecond_ > 0) {
            length = std::min(length, kPacedSlice);
            // A link that was busy until a moment ago carries on from where it was: a sleep that
            // woke a little late, or a slow send, does not lower the rate. A link that was idle
            // starts afresh.
            constexpr auto kStillBusy = std::chrono::milliseconds(20);
            const Clock::time_point now = Clock::now();
            const Clock::time_point start = now - nextFree_ < kStillBusy ? nextFree_ : now;
            std::this_thread::sleep_until(start);
            nextFree_ = start + std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::duration<double>(double(length) * 8 / bitsPerSecond_));
        }
        const long result = sendSome(bytes.data() + sent, length);
        if (result <= 0) {
            failed_.store(true);
            break;
        }
        sent += std::size_t(result);
    }
    return !failed_.load();
}

void appendDotStuffed(ClientConnection &connection, std::string_view text) {
    std::string &out = connection.output();
    std::size_t position = 0;
    while (position < text.size() && !connection.failed()) {
        const std::size_t lineEnd = text.find('\n', position);
        const std::size_t next = lineEnd == std::string_view::npos ? text.size() : lineEnd + 1;
        if (text[position] == '.') out += '.';
        out.append(text.substr(position, next - position));
        if (lineEnd == std::string_view::npos) out.append("\r\n");
        position = next;
        connection.flushIfLarge();
    }
}

}  // namespace harbeat::newsd
