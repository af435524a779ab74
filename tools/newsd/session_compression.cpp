#include <zlib.h>

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

// The fastest level: on one machine the server's compressing would otherwise weigh on the
// client's measurements; the bytes stay well under a quarter of the clear text.
void NntpSession::gzipReplyFrom(std::size_t mark) {
    std::string &out = connection_.output();
    const std::size_t statusEnd = out.find("\r\n", mark);
    // Only a multi-line reply (which always ends with its terminator line) is compressed.
    if (statusEnd == std::string::npos || out.size() < mark + 3 || out[mark] != '2' || !out.ends_with(".\r\n"))
        return;
    std::string lines = out.substr(statusEnd + 2);
    if (!gzipTerminatorInside_) lines.resize(lines.size() - 3);
    uLongf packedSize = compressBound(static_cast<uLong>(lines.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef *>(packed.data()), &packedSize, reinterpret_cast<const Bytef *>(lines.data()),
                  static_cast<uLong>(lines.size()), Z_BEST_SPEED) != Z_OK)
        return;
    packed.resize(packedSize);
    out.resize(statusEnd);
    out.append(" [COMPRESS=GZIP]\r\n");
    out.append(packed);
    if (!gzipTerminatorInside_) out.append(".\r\n");
}

}  // namespace harbeat::newsd
