#include "net/multiline.h"

#include <cstring>

#include "core/engine_settings.h"
#include "core/error_text.h"
#include "core/notify.h"
#include "net/pending_bytes.h"
#include "net/text_helpers.h"

namespace corvane {
namespace {

// Counts the CR LF pairs that end at or after `from` (pairs never overlap, so counting the new
// tail only gives the same total as a recount of the whole block).
std::size_t countNewLineBreaks(const std::string &block, std::size_t from) {
    std::size_t count = 0;
    for (std::size_t i = from; i + 1 < block.size(); ++i)
        if (block[i] == '\r' && block[i + 1] == '\n') ++count;
    return count;
}

// Receives one block (or the bytes kept from the previous reply) and appends it to `block`.
int receiveAppend(std::string &error, Connection connection, std::string &block) {
    return receiveMore(error, connection, block, kMaxResponseBytes, "Server response too large (more than 256 MB).");
}

// A reply of class 4xx or 5xx is its status line alone.
bool isErrorClass(std::string_view reply) { return !reply.empty() && (reply[0] == '4' || reply[0] == '5'); }

}  // namespace

int readMultiLineResponse(std::string &error, Connection connection, int expectedCode, std::string_view terminator,
                          std::string &text, ProgressReport progress) {
    text.clear();
    std::string block;

    // The status line decides; a status line split over receives is read whole first.
    std::size_t statusEnd;
    for (;;) {
        if (!receiveAppend(error, connection, block)) return 0;
        if (cancelRequested()) {
            error = kCancelled;
            return 0;
        }
        statusEnd = block.find("\r\n");
        if (statusEnd != std::string::npos) break;
        if (block.size() > kReceiveBlock * 4) {  // no status line in sight: not an NNTP reply
            error = block.substr(0, kReceiveBlock);
            return 0;
        }
    }
    if (replyCode(block) != expectedCode) {
        error = block.substr(0, statusEnd);
        // A refusal ends at its line; what follows answers the next command of a pipelined run.
        // Any other code leaves the connection out of step, and its bytes are dropped.
        if (isErrorClass(block)) keepPendingBytes(connection, std::string_view(block).substr(statusEnd + 2));
        return 0;
    }

    // The status line is dropped now, so the data is collected from the start of the block and
    // never has to be moved. Its CR LF still counts for progress, and may begin the terminator:
    // a response without data lines is the status line followed directly by ".\r\n".
    std::size_t lineBreaks = countNewLineBreaks(block, 0);
    block.erase(0, statusEnd + 2);
    const std::string_view dotLine = terminator.substr(2);
    std::size_t searchFrom = 0;
    for (;;) {
        if (block.starts_with(dotLine)) {
            keepPendingBytes(connection, std::string_view(block).substr(dotLine.size()));
            block.resize(dotLine.size());
            break;
        }
        const std::size_t end = block.find(terminator, searchFrom);
        if (end != std::string::npos) {
            // Bytes behind the terminator belong to the next reply. The text ends just after the
            // CR LF with which the terminator begins.
            keepPendingBytes(connection, std::string_view(block).substr(end + terminator.size()));
            block.resize(end + 2);
            break;
        }
        searchFrom = block.size() >= terminator.size() ? block.size() - terminator.size() + 1 : 0;

        const std::size_t oldSize = block.size();
        if (!receiveAppend(error, connection, block)) return 0;
        if (progress.on) {
            lineBreaks += countNewLineBreaks(block, oldSize > 0 ? oldSize - 1 : 0);
            const double count = static_cast<double>(lineBreaks) + progress.base + 1;
            notifyProgress(progress.total != 0 ? count / progress.total * 100 : count);
        }
        if (cancelRequested()) {
            error = kCancelled;
            return 0;
        }
    }
    text = std::move(block);
    return 1;
}

}  // namespace corvane
