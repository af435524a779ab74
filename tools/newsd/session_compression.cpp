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
// text.
void NntpSession::gzipReplyFrom(std::size_t mark) {
    std::string &out = connection_.output();
    const std::size_t statusEnd = out.find("\r\n", mark);
    // Only a multi-line reply (which always ends with its terminator line) is compressed.
    if (statusEnd == std::string::npos || out.size() < mark + 3 || out[mark] != '2' || !out.ends_with(".\r\n"))
        return;
    std::string lines = out.substr(statusEnd + 2);
    if (!gzipTerminatorInside_) lines.resize(lines.size() - 3);
    // A zlib stream, as compress2() makes it, from igzip's fastest level.
    std::vector<std::uint8_t> levelBuffer(ISAL_DEF_LVL1_DEFAULT);
    std::string packed(lines.size() + lines.size() / 8 + 1024, '\0');
    isal_zstream z;
    isal_deflate_stateless_init(&z);
    z.level = 1;
    z.level_buf = levelBuffer.data();
    z.level_buf_size = static_cast<std::uint32_t>(levelBuffer.size());
    z.gzip_flag = IGZIP_ZLIB;
    z.end_of_stream = 1;
    z.next_in = reinterpret_cast<std::uint8_t *>(lines.data());
    z.avail_in = static_cast<std::uint32_t>(lines.size());
    z.next_out = reinterpret_cast<std::uint8_t *>(packed.data());
    z.avail_out = static_cast<std::uint32_t>(packed.size());
    if (isal_deflate_stateless(&z) != COMP_OK) return;
    packed.resize(packed.size() - z.avail_out);
    out.resize(statusEnd);
    out.append(" [COMPRESS=GZIP]\r\n");
    out.append(packed);
    if (!gzipTerminatorInside_) out.append(".\r\n");
}

}  // namespace harbeat::newsd
