#include <algorithm>
#include <cstdio>
#include <string>

#include "core/engine_settings.h"
#include "core/error_text.h"
#include "net/multiline.h"
#include "net/pending_bytes.h"

namespace corvane {
namespace {

// Bytes asked for by one receive. A pipelined run has many replies on the way, so a large
// receive takes several of them with one system call.
constexpr std::size_t kLineReceiveBlock = std::size_t(64) * 1024;
// A buffer that one huge response grew beyond this is not kept for the next response.
constexpr std::size_t kReusedCapacity = std::size_t(4) << 20;

// The response being handed out. Only the song search reads responses this way; one per thread
// keeps concurrent readers apart.
struct PendingResponse {
    std::string buffer;  // received bytes; the response starts at `start`
    std::size_t start = 0;
    std::size_t searchFrom = 0;  // where to look for the terminator next
    bool complete = false;
    std::string copy;           // the response, when its buffer went on with the bytes behind it
    std::string_view response;  // the complete response, in `buffer` or in `copy`
    std::size_t offset = 0;     // the next line to hand out, within `response`

    // Forgets the last response; the bytes kept behind it on the connection begin the next one.
    void begin(Connection connection) {
        if (buffer.capacity() > kReusedCapacity) std::string().swap(buffer);
        if (copy.capacity() > kReusedCapacity) std::string().swap(copy);
        buffer.clear();
        start = 0;
        takePendingBuffer(connection, buffer, start);
        searchFrom = start;
        complete = false;
        response = {};
        offset = 0;
    }
};
thread_local PendingResponse pending;

// Where the response in pending.buffer ends, or npos while it is incomplete. A status line of
// class 4xx or 5xx never has data lines behind it: waiting for a terminator would only end in the
// time-out (servers answer an empty "xover" range with 420 or 423).
std::size_t responseEnd() {
    const std::string_view text(pending.buffer);
    if (pending.start < text.size() && (text[pending.start] == '4' || text[pending.start] == '5')) {
        const std::size_t statusEnd = text.find("\r\n", pending.start);
        if (statusEnd != std::string_view::npos) return statusEnd + 2;
    }
    const std::size_t terminator = text.find(kResponseTerminator, pending.searchFrom);
    if (terminator != std::string_view::npos) return terminator + kResponseTerminator.size();
    pending.searchFrom = std::max(pending.start, text.size() >= 4 ? text.size() - 4 : 0);
    return std::string_view::npos;
}

constexpr std::string_view kTooLarge = "Server response too large (more than 64 MB).";

// Appends one receive to pending.buffer, after moving the response to its front.
int receiveMore(std::string &error, Connection connection) {
    std::string &buffer = pending.buffer;
    // Between the receives of one response only: a cancel never fails a response before it has
    // started.
    if (buffer.size() > pending.start && cancelRequested()) {
        error = kCancelled;
        return 0;
    }
    if (pending.start > 0) {
        buffer.erase(0, pending.start);
        pending.searchFrom -= pending.start;
        pending.start = 0;
    }
    const std::size_t old = buffer.size();
    std::size_t size = kLineReceiveBlock;
    buffer.resize(old + size + 1);  // netReceive ends what it received with a NUL
    const int received = netReceive(error, connection, buffer.data() + old, size);
    buffer.resize(old + (received ? size : 0));
    if (!received) return 0;
    if (size == 0) {
        error = kConnectionClosed;
        return 0;
    }
    if (buffer.size() > kMaxResponseLineBuffer) {
        error = kTooLarge;
        return 0;
    }
    return 1;
}

// Receives until the whole response is there. Bytes behind its end answer the next command of
// a pipelined run: they are kept for the next response, without copying the larger part.
int completeResponse(std::string &error, Connection connection) {
    for (;;) {
        const std::size_t end = responseEnd();
        if (end == std::string::npos) {
            if (!receiveMore(error, connection)) return 0;
            continue;
        }
        std::string &buffer = pending.buffer;
        const std::size_t length = end - pending.start;
        if (length > kMaxResponseLineBuffer) {
            error = kTooLarge;
            return 0;
        }
        if (buffer.size() - end <= length) {
            keepPendingBytes(connection, std::string_view(buffer).substr(end));
            buffer.resize(end);
            pending.response = std::string_view(buffer).substr(pending.start);
        } else {
            pending.copy.assign(buffer, pending.start, length);
            keepPendingBuffer(connection, std::move(buffer), end);
            buffer.clear();
            pending.response = pending.copy;
        }
        pending.complete = true;
        pending.offset = 0;
        return 1;
    }
}

}  // namespace

int readResponseLineView(std::string &error, Connection connection, std::string_view &line, std::size_t capacity,
                         bool newResponse) {
    line = {};
    if (newResponse) pending.begin(connection);
    if (!pending.complete && !completeResponse(error, connection)) return 0;

    const std::string_view unread = pending.response.substr(pending.offset);
    // Past the terminator line, or past a 4xx or 5xx status line: the response has ended.
    if (unread.empty() || unread == ".\r\n") return 1;
    const std::size_t lineEnd = unread.find("\r\n");
    if (lineEnd == std::string_view::npos || lineEnd >= capacity) {
        char message[96];
        std::snprintf(message, sizeof message, "(%zu-%zu) Alloc more space for soc line.", capacity,
                      lineEnd == std::string_view::npos ? unread.size() : lineEnd);
        error = message;
        return 0;
    }
    line = unread.substr(0, lineEnd);
    pending.offset += lineEnd + 2;
    return 1;
}

int readResponseLine(std::string &error, Connection connection, std::string &line, std::size_t capacity,
                     bool newResponse) {
    std::string_view view;
    const int read = readResponseLineView(error, connection, view, capacity, newResponse);
    line.assign(view);
    return read;
}

}  // namespace corvane
