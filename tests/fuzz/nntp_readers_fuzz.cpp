// The NNTP readers as they meet a server: the input is what the server sends, written into one
// end of a socket pair in pieces (whose sizes the input's first byte chooses) and then closed;
// the engine reads from the other end. The first byte also chooses the reader.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>

#include "net/connection.h"
#include "net/multiline.h"
#include "nntp/session.h"

namespace {

void serve(int fd, std::string_view bytes, std::size_t piece) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), std::min(piece, bytes.size()), MSG_NOSIGNAL);
        if (n <= 0) break;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    ::shutdown(fd, SHUT_WR);
}

void read(int which, corvane::Connection connection) {
    std::string error;
    std::string text;
    switch (which) {
        case 0: corvane::readMultiLineResponse(error, connection, 224, corvane::kResponseTerminator, text); break;
        case 1:
            corvane::readMultiLineResponse(error, connection, 220, corvane::kResponseTerminator, text, {true, 0, 0});
            break;
        case 2:
            if (corvane::readResponseLine(error, connection, text, 4096, true))
                for (int i = 0; i < 100000; ++i)
                    if (!corvane::readResponseLine(error, connection, text, 4096, false) || text.empty()) break;
            break;
        case 3: corvane::readReplyLine(error, connection, text); break;
        case 4: {
            int64_t count = 0, first = 0, last = 0;
            corvane::nntpGroup(error, connection, "g", &count, &first, &last);
            break;
        }
        default: corvane::nntpReadOverviewFormat(error, connection); break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    static const bool once = [] {
        corvane::setReceiveTimeoutForTests(std::chrono::milliseconds(200));
        return true;
    }();
    (void)once;
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
    const std::size_t pieces[] = {1, 7, 512, 1 << 20};
    const std::string_view bytes(reinterpret_cast<const char *>(data) + 1, size - 1);
    std::thread server(serve, fds[1], bytes, pieces[(data[0] >> 4) % 4]);
    read(data[0] % 6, fds[0]);
    // The reader may stop early; whatever the server still sends is taken so it can finish.
    ::shutdown(fds[0], SHUT_RDWR);
    server.join();
    ::close(fds[0]);
    ::close(fds[1]);
    return 0;
}
