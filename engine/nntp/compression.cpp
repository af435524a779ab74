#include "nntp/compression.h"

#include <map>
#include <mutex>

#include "net/compressed_transport.h"
#include "net/pending_bytes.h"
#include "net/text_helpers.h"
#include "nntp/session.h"

namespace corvane {
namespace {

// What a server is known to do, learnt on its first connection.
std::mutex &memoryMutex = *new std::mutex;
std::map<std::string, CompressionMethod, std::less<>> &knownServers =
    *new std::map<std::string, CompressionMethod, std::less<>>;

constexpr std::size_t kMaxCapabilitiesBytes = 64 * 1024;

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

int askCapabilities(std::string &error, Connection connection, CompressionMethod &offered) {
    offered = CompressionMethod::Gzip;  // worth a try unless the list names DEFLATE
    if (!netSend(error, connection, "CAPABILITIES\r\n")) return 0;
    std::string status;
    if (!readReplyLine(error, connection, status)) return 0;
    if (replyCode(status) != 101) return 1;  // an old server: no list
    // The list arrives behind the status line, in what readReplyLine kept and what follows.
    std::string block = takePendingBytes(connection);
    const ReceiveLimits limits = singleLineLimits();
    for (;;) {
        if (block.starts_with(".\r\n")) {
            keepPendingBytes(connection, std::string_view(block).substr(3));
            block.clear();
            break;
        }
        const std::size_t end = block.find("\r\n.\r\n");
        if (end != std::string::npos) {
            keepPendingBytes(connection, std::string_view(block).substr(end + 5));
            block.resize(end + 2);
            break;
        }
        if (!receiveMore(error, connection, block, kMaxCapabilitiesBytes, "Server reply too long.", limits)) return 0;
    }
    if (capabilitiesOfferDeflate(block)) offered = CompressionMethod::Deflate;
    return 1;
}

void remember(std::string_view key, CompressionMethod method) {
    std::lock_guard lock(memoryMutex);
    knownServers.insert_or_assign(std::string(key), method);
}

}  // namespace

bool capabilitiesOfferDeflate(std::string_view capabilities) {
    std::size_t position = 0;
    while (position < capabilities.size()) {
        std::size_t lineEnd = capabilities.find('\n', position);
        if (lineEnd == std::string_view::npos) lineEnd = capabilities.size();
        std::string_view line = capabilities.substr(position, lineEnd - position);
        position = lineEnd + 1;
        if (line.ends_with('\r')) line.remove_suffix(1);
        // "COMPRESS DEFLATE SHRINK": the capability and the algorithms it offers, in any case.
        bool first = true, compress = false;
        std::size_t at = 0;
        while (at < line.size()) {
            while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
            const std::size_t start = at;
            while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
            if (at == start) break;
            const std::string_view word = line.substr(start, at - start);
            if (first) {
                compress = equalsIgnoringCase(word, "COMPRESS");
                if (!compress) break;
                first = false;
            } else if (equalsIgnoringCase(word, "DEFLATE")) {
                return true;
            }
        }
    }
    return false;
}

int nntpStartCompression(std::string &error, Connection connection, std::string_view server, int32_t port) {
    const std::string key = std::string(server) + ":" + std::to_string(port);
    if (compressionFailedFor(key)) return 1;
    CompressionMethod method;
    bool known;
    {
        std::lock_guard lock(memoryMutex);
        const auto found = knownServers.find(key);
        known = found != knownServers.end();
        method = known ? found->second : CompressionMethod::None;
    }
    if (!known) {
        if (!askCapabilities(error, connection, method)) return 0;
        remember(key, method);
    }
    if (method == CompressionMethod::None) return 1;

    // RFC 8054 forbids pipelining COMPRESS: its reply is read before anything else is sent.
    const bool deflate = method == CompressionMethod::Deflate;
    if (!netSend(error, connection, deflate ? "COMPRESS DEFLATE\r\n" : "XFEATURE COMPRESS GZIP\r\n")) return 0;
    std::string reply;
    if (!readReplyLine(error, connection, reply)) return 0;
    const int code = replyCode(reply);
    if (code == (deflate ? 206 : 290)) {
        // After 290 the server waits for a command: anything already sent is out of step.
        if (!deflate && hasPendingBytes(connection)) {
            markCompressionFailed(key);
            error = std::string(kCompressedDataPrefix) +
                    "is out of step: the server sent more after agreeing to compress. The next connection goes "
                    "without compression.";
            return 0;
        }
        return compressStart(error, connection, method, key);
    }
    // 480 comes from a login that did not succeed: it says nothing about the server. Any other
    // refusal (403, 500, 502) holds for its next connections too.
    if (code != 480) remember(key, CompressionMethod::None);
    return 1;
}

void forgetServerCompression() {
    {
        std::lock_guard lock(memoryMutex);
        knownServers.clear();
    }
    forgetCompressionFailures();
}

}  // namespace corvane
