#include "core/error_text.h"
#include "nntp/session.h"

namespace corvane {

int readReplyLine(std::string &error, Connection connection, std::string &reply) {
    reply.clear();
    char buffer[kReceiveBlock + 1];
    // A reply line longer than a few blocks is not NNTP; take what arrived.
    while (reply.find("\r\n") == std::string::npos && reply.size() < 4 * kReceiveBlock) {
        std::size_t size = kReceiveBlock;
        if (!netReceive(error, connection, buffer, size)) return 0;
        if (size == 0) {
            error = kConnectionClosed;
            return 0;
        }
        reply.append(buffer, size);
    }
    return 1;
}

}  // namespace corvane
