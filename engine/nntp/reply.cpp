#include "core/error_text.h"
#include "net/pending_bytes.h"
#include "nntp/session.h"

namespace corvane {

int readReplyLine(std::string &error, Connection connection, std::string &reply) {
    reply.clear();
    // One deadline for the whole line: a server that sends a byte now and then cannot hold the
    // caller (often the GUI's thread) for more than one wait.
    const ReceiveLimits limits = singleLineLimits();
    // A reply line longer than a few blocks is not NNTP; take what arrived.
    constexpr std::size_t kLongestReply = 4 * kReceiveBlock;
    std::size_t lineEnd;
    while ((lineEnd = reply.find("\r\n")) == std::string::npos && reply.size() < kLongestReply) {
        if (!receiveMore(error, connection, reply, kLongestReply + kReceiveBlock, "Server reply too long.", limits))
            return 0;
    }
    // Bytes behind the line answer the next command.
    if (lineEnd != std::string::npos) {
        keepPendingBytes(connection, std::string_view(reply).substr(lineEnd + 2));
        reply.resize(lineEnd + 2);
    }
    return 1;
}

}  // namespace corvane
