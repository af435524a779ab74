#include "compressed_bytes.h"

#include <zlib.h>

#include <stdexcept>

namespace harbeat::test {
namespace {

std::string run(z_stream &z, std::string_view text, int flush) {
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    std::string out;
    int rc;
    do {
        char buffer[16384];
        z.next_out = reinterpret_cast<Bytef *>(buffer);
        z.avail_out = sizeof buffer;
        rc = deflate(&z, flush);
        if (rc == Z_STREAM_ERROR) throw std::runtime_error("deflate failed");
        out.append(buffer, sizeof buffer - z.avail_out);
    } while (z.avail_out == 0 || z.avail_in != 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
    return out;
}

}  // namespace

std::string rawDeflate(const std::vector<std::string> &pieces) {
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out;
    for (const std::string &piece : pieces) out += run(z, piece, Z_SYNC_FLUSH);
    deflateEnd(&z);
    return out;
}

std::string zlibStream(std::string_view text, bool gzipHeader) {
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, MAX_WBITS + (gzipHeader ? 16 : 0), 8, Z_DEFAULT_STRATEGY);
    std::string out = run(z, text, Z_FINISH);
    deflateEnd(&z);
    return out;
}

std::string gzipReply(std::string_view statusLine, std::string_view lines, bool terminatorInside) {
    std::string reply(statusLine);
    if (terminatorInside) return reply + zlibStream(std::string(lines) + ".\r\n");
    return reply + zlibStream(lines) + ".\r\n";
}

}  // namespace harbeat::test
