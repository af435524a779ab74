#include <isa-l/igzip_lib.h>

#include <cstdint>
#include <vector>

#include "nntp_session.h"

namespace harbeat::newsd {

void NntpSession::appendCompressionCapabilities(std::string &out) const {
    // Like INN: offered until the session is compressed. Gzip servers list their extension too.
    if (options_.compression == ServerOptions::Compression::Deflate && !deflateActive_)
        out.append("COMPRESS DEFLATE\r\n");
    if (options_.compression == ServerOptions::Compression::Gzip) out.append("XFEATURE-COMPRESS GZIP TERMINATOR\r\n");
}

void NntpSession::compress(const Command &command) {
    if (command.arguments.size() != 1) {
        reply(501, "Syntax error, expected COMPRESS DEFLATE");
        return;
    }
    if (!equalsIgnoringCase(command.arguments[0], "DEFLATE")) {
        reply(503, "Compression algorithm not supported");
        return;
    }
    if (deflateActive_) {
        reply(502, "Command unavailable");
        return;
    }
    reply(206, "Compression active");
    if (!connection_.startDeflate()) {
        // The 206 has left; a server that cannot keep its word can only hang up.
        log("compression failed to start");
        return;
    }
    deflateActive_ = true;
}

void NntpSession::xfeature(const Command &command) {
    const std::size_t count = command.arguments.size();
    const bool valid = (count == 2 || count == 3) && equalsIgnoringCase(command.arguments[0], "COMPRESS") &&
                       equalsIgnoringCase(command.arguments[1], "GZIP") &&
                       (count == 2 || equalsIgnoringCase(command.arguments[2], "TERMINATOR"));
    if (!valid) {
        reply(501, "Syntax error");
        return;
    }
    gzipActive_ = true;
    gzipTerminatorInside_ = count == 3;
    reply(290, "feature enabled");
}

bool NntpSession::gzipsReplyTo(const Command &command) const {
    if (!gzipActive_) return false;
    const std::string &verb = command.verb;
    return verb == "XOVER" || verb == "OVER" || verb == "LIST" || verb == "NEWGROUPS";
}

// The fastest level of the fastest compressor: on one machine the server's compressing would
// otherwise weigh on the client's measurements; the bytes stay well under a quarter of the clear
// text. The compressor's work area and the packed bytes are the session's, kept from reply to
// reply: a reply is some 13 kB, the work area alone 270 kB.
void NntpSession::gzipReplyFrom(std::size_t mark) {
    std::string &out = connection_.output();
    const std::size_t statusEnd = out.find("\r\n", mark);
    // Only a multi-line reply (which always ends with its terminator line) is compressed.
    if (statusEnd == std::string::npos || out.size() < mark + 3 || out[mark] != '2' || !out.ends_with(".\r\n"))
        return;
    const std::size_t linesStart = statusEnd + 2;
    const std::size_t linesSize = out.size() - linesStart - (gzipTerminatorInside_ ? 0 : 3);
    if (gzipLevelBuffer_.empty()) gzipLevelBuffer_.resize(ISAL_DEF_LVL1_DEFAULT);
    const std::size_t bound = linesSize + linesSize / 8 + 1024;
    if (gzipPacked_.size() < bound) gzipPacked_.resize(bound);
    // A zlib stream, as compress2() makes it, from igzip's fastest level.
    isal_zstream z;
    isal_deflate_stateless_init(&z);
    z.level = 1;
    z.level_buf = gzipLevelBuffer_.data();
    z.level_buf_size = static_cast<std::uint32_t>(gzipLevelBuffer_.size());
    z.gzip_flag = IGZIP_ZLIB;
    z.end_of_stream = 1;
    z.next_in = reinterpret_cast<std::uint8_t *>(out.data() + linesStart);
    z.avail_in = static_cast<std::uint32_t>(linesSize);
    z.next_out = gzipPacked_.data();
    z.avail_out = static_cast<std::uint32_t>(bound);
    if (isal_deflate_stateless(&z) != COMP_OK) return;
    out.resize(statusEnd);
    out.append(" [COMPRESS=GZIP]\r\n");
    out.append(reinterpret_cast<const char *>(gzipPacked_.data()), bound - z.avail_out);
    if (!gzipTerminatorInside_) out.append(".\r\n");
}

}  // namespace harbeat::newsd
