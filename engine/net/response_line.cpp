#include <cstdio>

#include "core/error_text.h"
#include "net/multiline.h"
#include "net/pending_bytes.h"

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

// Where the response in pending.text ends, or npos while it is incomplete. A status line of class
// 4xx or 5xx never has data lines behind it: waiting for a terminator would only end in the
// time-out (servers answer an empty "xover" range with 420 or 423).
std::size_t responseEnd() {
    const std::string &text = pending.text;
    if (pending.offset == 0 && !text.empty() && (text[0] == '4' || text[0] == '5')) {
        const std::size_t statusEnd = text.find("\r\n");
        if (statusEnd != std::string::npos) return statusEnd + 2;
    }
    const std::size_t terminator = text.find(kResponseTerminator, pending.searchFrom);
    if (terminator != std::string::npos) return terminator + kResponseTerminator.size();
    pending.searchFrom = text.size() >= 4 ? text.size() - 4 : 0;
    return std::string::npos;
}

// Receives until the whole response is there. Bytes behind its end answer the next command of
// a pipelined run: they are kept for the next response.
int completeResponse(std::string &error, Connection connection) {
    for (;;) {
        const std::size_t end = responseEnd();
        if (end != std::string::npos) {
            keepPendingBytes(connection, std::string_view(pending.text).substr(end));
            pending.text.resize(end);
            return 1;
        }
        if (!receiveMore(error, connection, pending.text, kMaxResponseLineBuffer,
                         "Server response too large (more than 64 MB)."))
            return 0;
    }
}

}  // namespace

int readResponseLine(std::string &error, Connection connection, std::string &line, std::size_t capacity,
                     bool newResponse) {
    line.clear();
    if (newResponse) pending = PendingResponse{};
    if (unread() == ".\r\n") return 1;

    std::size_t lineEnd = unread().find("\r\n");
    if (lineEnd == std::string_view::npos) {
        if (!completeResponse(error, connection)) return 0;
        if (unread() == ".\r\n") return 1;
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
