#include "net/pending_bytes.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "core/engine_settings.h"
#include "core/error_text.h"
#include "net/socket_wait.h"

namespace corvane {
namespace {

// What is kept for one connection: the bytes from `start` on. A reader that hands over its
// whole receive buffer leaves the part it has read in front, so nothing is copied.
struct Kept {
    std::string bytes;
    std::size_t start = 0;

    std::string_view unread() const { return std::string_view(bytes).substr(start); }
};

// Connections belong to one thread each, but the table is shared by all of them. Never
// destroyed: a detached worker may still close its connection while the program exits.
std::mutex &tableMutex = *new std::mutex;
std::unordered_map<Connection, Kept> &table = *new std::unordered_map<Connection, Kept>;

}  // namespace

void keepPendingBytes(Connection connection, std::string_view bytes) {
    if (connection == 0 || bytes.empty()) return;
    std::lock_guard lock(tableMutex);
    Kept &kept = table[connection];
    kept.bytes.replace(0, kept.start, bytes);
    kept.start = 0;
}

void keepPendingBuffer(Connection connection, std::string &&buffer, std::size_t start) {
    if (connection == 0 || start >= buffer.size()) return;
    std::lock_guard lock(tableMutex);
    Kept &kept = table[connection];
    if (kept.start >= kept.bytes.size()) {
        kept.bytes = std::move(buffer);
        kept.start = start;
    } else {
        kept.bytes.replace(0, kept.start, std::string_view(buffer).substr(start));
        kept.start = 0;
    }
}

std::string takePendingBytes(Connection connection) {
    std::lock_guard lock(tableMutex);
    const auto found = table.find(connection);
    if (found == table.end()) return {};
    std::string bytes = found->second.start == 0 ? std::move(found->second.bytes) : std::string(found->second.unread());
    table.erase(found);
    return bytes;
}

bool takePendingBuffer(Connection connection, std::string &buffer, std::size_t &start) {
    std::lock_guard lock(tableMutex);
    const auto found = table.find(connection);
    if (found == table.end()) return false;
    buffer.swap(found->second.bytes);
    start = found->second.start;
    table.erase(found);
    return true;
}

void dropPendingBytes(Connection connection) {
    std::lock_guard lock(tableMutex);
    table.erase(connection);
}

bool hasPendingBytes(Connection connection) {
    std::lock_guard lock(tableMutex);
    return table.contains(connection);
}

void sendWithoutDelay(Connection connection) {
    if (connection == 0) return;
    const int on = 1;
    setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

ReceiveLimits singleLineLimits(bool honourCancel) {
    return ReceiveLimits{receiveDeadline(), honourCancel};
}

int receiveMore(std::string &error, Connection connection, std::string &block, std::size_t maxBytes,
                std::string_view tooLarge, const ReceiveLimits &limits) {
    // Between the receives of one reply only: a cancel never fails a reply before it has started.
    if (limits.honourCancel && !block.empty() && cancelRequested()) {
        error = kCancelled;
        return 0;
    }
    std::string kept = takePendingBytes(connection);
    if (!kept.empty()) {
        // Kept bytes may hold several replies: take what fits, the rest stays kept.
        const std::size_t room = maxBytes > block.size() ? maxBytes - block.size() : 0;
        if (room == 0) {
            keepPendingBytes(connection, kept);
            error = tooLarge;
            return 0;
        }
        if (kept.size() > room) keepPendingBytes(connection, std::string_view(kept).substr(room));
        block.append(kept, 0, std::min(room, kept.size()));
        return 1;
    }
    // Before the receive too: a server that drips a byte now and then must not extend the
    // deadline by one more full wait each time.
    if (std::chrono::steady_clock::now() >= limits.deadline) {
        error = kTimedOut;
        return 0;
    }
    char buffer[kReceiveBlock + 1];
    std::size_t size = kReceiveBlock;
    // The receive waits only for the time left, so one deadline is one deadline.
    if (!netReceive(error, connection, buffer, size, limits.deadline)) return 0;
    if (size == 0) {
        error = kConnectionClosed;
        return 0;
    }
    if (block.size() + size > maxBytes) {
        error = tooLarge;
        return 0;
    }
    block.append(buffer, size);
    return 1;
}

}  // namespace corvane
