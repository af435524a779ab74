// The inflating transport as it meets a server: after the first byte, the input is what a server
// that agreed to compress sends. Bit 0 of the first byte chooses COMPRESS DEFLATE or the gzip
// replies; bits 1-2 the read size. Bit 3 drives the stream alone (pieces of 1 to 64 kB chosen by
// bits 4-5, or with bit 6 too, fed whole and a byte at a time and compared); otherwise the bytes
// go through a socket pair into netReceive and the NNTP readers.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "net/compressed_stream.h"
#include "net/compressed_transport.h"
#include "net/connection.h"
#include "net/multiline.h"

namespace {

constexpr std::size_t kCap = std::size_t(8) << 20;

// The clear text of the stream fed in pieces of `piece` bytes; false when it failed.
bool driveStream(corvane::CompressionMethod method, std::string_view bytes, std::size_t piece, std::size_t capacity,
                 std::string &clear) {
    corvane::CompressedStream stream(method, kCap);
    std::vector<char> buffer(capacity);
    for (;;) {
        const long n = stream.read(buffer.data(), buffer.size());
        if (n < 0) return false;
        if (n > 0) {
            clear.append(buffer.data(), static_cast<std::size_t>(n));
            if (clear.size() > std::size_t(64) << 20) __builtin_trap();  // the cap must hold
            continue;
        }
        if (bytes.empty()) break;
        const std::size_t take = std::min(piece, bytes.size());
        stream.feed(bytes.substr(0, take));
        bytes.remove_prefix(take);
    }
    return stream.endOfInput();
}

// A gzip reply arriving whole is inflated at once, one arriving a byte at a time as it comes:
// when both end cleanly they must give the same text.
void compareWholeAndDripped(corvane::CompressionMethod method, std::string_view bytes, std::size_t capacity) {
    std::string whole, dripped;
    const bool wholeOk = driveStream(method, bytes, std::size_t(1) << 20, capacity, whole);
    const bool drippedOk = driveStream(method, bytes, 1, capacity, dripped);
    if (wholeOk && drippedOk && whole != dripped) __builtin_trap();
}

void serve(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), std::min<std::size_t>(4096, bytes.size()), MSG_NOSIGNAL);
        if (n <= 0) break;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    ::shutdown(fd, SHUT_WR);
}

void driveTransport(corvane::CompressionMethod method, std::string_view bytes, bool lineByLine) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return;
    std::thread server(serve, fds[1], bytes);
    std::string error, text;
    if (corvane::compressStart(error, fds[0], method, "fuzz:119")) {
        for (int reply = 0; reply < 64; ++reply) {
            bool read;
            if (lineByLine) {
                read = corvane::readResponseLine(error, fds[0], text, 4096, true);
                for (int i = 0; read && i < 100000; ++i)
                    if (!corvane::readResponseLine(error, fds[0], text, 4096, false) || text.empty()) break;
            } else {
                read = corvane::readMultiLineResponse(error, fds[0], 224, corvane::kResponseTerminator, text);
            }
            if (!read && !error.starts_with("224")) break;
        }
    }
    corvane::compressClose(fds[0]);
    ::shutdown(fds[0], SHUT_RDWR);
    server.join();
    ::close(fds[0]);
    ::close(fds[1]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    static const bool once = [] {
        corvane::setReceiveTimeoutForTests(std::chrono::milliseconds(200));
        return true;
    }();
    (void)once;
    const uint8_t control = data[0];
    const std::string_view bytes(reinterpret_cast<const char *>(data) + 1, size - 1);
    const auto method = (control & 1) ? corvane::CompressionMethod::Gzip : corvane::CompressionMethod::Deflate;
    const std::size_t capacities[] = {1, 5, 4096, 65536};
    const std::size_t pieces[] = {1, 3, 4096, 65536};
    std::string clear;
    if ((control & 0x48) == 0x48)
        compareWholeAndDripped(method, bytes, std::max<std::size_t>(4096, capacities[(control >> 1) & 3]));
    else if (control & 8)
        driveStream(method, bytes, pieces[(control >> 4) & 3], capacities[(control >> 1) & 3], clear);
    else
        driveTransport(method, bytes, (control & 2) != 0);
    corvane::forgetCompressionFailures();
    return 0;
}
