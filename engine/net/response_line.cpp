#include <cstdio>

#include "core/error_text.h"
#include "net/multiline.h"

namespace corvane {
namespace {

// The response being handed out, and how much of it has been handed out already. Only the song
// search reads responses this way; one per thread keeps concurrent readers apart.
struct PendingResponse {
    std::string text;
    std::size_t offset = 0;
    std::size_t searchFrom = 0;  // where to look for the terminator next
};
thread_local PendingResponse pending;

std::string_view unread() { return std::string_view(pending.text).substr(pending.offset); }

int receiveMore(std::string &error, Connection connection) {
    char buffer[kReceiveBlock + 1];
    std::size_t size = kReceiveBlock;
    if (!netReceive(error, connection, buffer, size)) return 0;
    if (size == 0) {
        error = kConnectionClosed;
        return 0;
    }
    if (pending.text.size() + size > kMaxResponseLineBuffer) {
        error = "Server response too large (more than 64 MB).";
        return 0;
    }
    pending.text.append(buffer, size);
    return 1;
}

// A status line of class 4xx or 5xx never has data lines behind it: waiting for a terminator
// would only end in the time-out (servers answer an empty "xover" range with 420 or 423).
bool isCompleteErrorStatus(std::string_view text) {
    return !text.empty() && (text[0] == '4' || text[0] == '5') && text.find("\r\n") != std::string_view::npos;
}

}  // namespace

int readResponseLine(std::string &error, Connection connection, std::string &line, std::size_t capacity,
                     bool newResponse) {
    line.clear();
    if (newResponse) pending = PendingResponse{};
    if (unread() == ".\r\n") return 1;

    std::size_t lineEnd = unread().find("\r\n");
    if (lineEnd == std::string_view::npos) {
        if (!receiveMore(error, connection)) return 0;
        if (unread() == ".\r\n") return 1;
        for (;;) {
            const bool firstLineOfResponse = pending.offset == 0;
            if (firstLineOfResponse && isCompleteErrorStatus(pending.text)) break;
            if (pending.text.find(kResponseTerminator, pending.searchFrom) != std::string::npos) break;
            pending.searchFrom = pending.text.size() >= 4 ? pending.text.size() - 4 : 0;
            if (!receiveMore(error, connection)) return 0;
        }
        lineEnd = unread().find("\r\n");
    }
    if (lineEnd == std::string_view::npos || lineEnd >= capacity) {
        char message[96];
        std::snprintf(message, sizeof message, "(%zu-%zu) Alloc more space for soc line.", capacity,
                      lineEnd == std::string_view::npos ? unread().size() : lineEnd);
        error = message;
        return 0;
    }
    line.assign(unread().substr(0, lineEnd));
    pending.offset += lineEnd + 2;
    return 1;
}

}  // namespace corvane
