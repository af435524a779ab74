// The NNTP readers fed a hostile server's bytes through a socket pair. The first input byte picks
// the size of each receive (a packet socket keeps the boundaries, so terminators and status
// lines fall across receives anywhere) and the pipeline depth; the rest is what the server sends.
// The readers run one after another on the same connection, so the bytes one reply leaves behind
// reach the next reader, as in a pipelined run.
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/connection.h"
#include "net/multiline.h"
#include "nntp/overview_layout.h"
#include "nntp/session.h"
#include "songs/overview_batch.h"
#include "songs/parts_table.h"

using namespace corvane;

namespace {

// Larger inputs would not fit the socket's buffer before the reader starts.
constexpr std::size_t kMaxInput = 48 * 1024;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

void readAll(Connection connection, int pipeline) {
    std::string error;
    std::string line;
    if (readResponseLine(error, connection, line, 4096, true)) {
        while (readResponseLine(error, connection, line, 4096, false) && !line.empty())
            check(line.find("\r\n") == std::string::npos);
    }
    std::string reply;
    if (readReplyLine(error, connection, reply)) check(reply.size() <= 5 * 4096);
    std::string text;
    if (readMultiLineResponse(error, connection, 220, kResponseTerminator, text))
        check(text == ".\r\n" || text.ends_with("\r\n"));
    nntpReadOverviewFormat(error, connection);

    PartsTable parts;
    bool inStep = false;
    const OverviewLayout layout{1, 7, 4, 3};
    const int read =
        readOverviewRange(error, connection, SearchProgress{0, 0}, 1, 51 * 5, layout, parts, pipeline, inStep);
    check(!read || inStep);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    if (size < 1 || size > kMaxInput) return 0;
    setReceiveTimeoutForTests(std::chrono::milliseconds(1));
    const std::size_t chunk = 1 + data[0] % 64;
    const int pipeline = 1 + (data[0] >> 6) * 21;  // 1, 22, 43 or 64
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return 0;
    // Descriptor 0 means "no connection" in the engine.
    const std::string bytes(reinterpret_cast<const char *>(data + 1), size - 1);
    bool written = true;
    for (std::size_t at = 0; at < bytes.size() && written; at += chunk) {
        const std::size_t length = std::min(chunk, bytes.size() - at);
        written = send(pair[1], bytes.data() + at, length, MSG_DONTWAIT | MSG_NOSIGNAL) == static_cast<ssize_t>(length);
    }
    // The server closes after its bytes: every reader ends, none waits.
    shutdown(pair[1], SHUT_WR);
    if (written && pair[0] != 0) readAll(pair[0], pipeline);
    netClose(pair[0]);
    close(pair[1]);
    return 0;
}
