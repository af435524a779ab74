#include "net/compressed_transport.h"

#include <zlib.h>

#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>

#include "core/engine_settings.h"
#include "core/error_text.h"
#include "net/multiline.h"
#include "net/pending_bytes.h"

namespace corvane {
namespace {

// Raw bytes taken by one receive of a compressed connection.
constexpr std::size_t kRawBlock = std::size_t(64) * 1024;
// Raw bytes that may arrive without a single clear byte coming out of them (empty blocks are a
// few bytes each); beyond, the server is not sending replies.
constexpr std::size_t kMaxRawWithoutText = std::size_t(16) << 20;

struct CompressedConnection {
    CompressedConnection(CompressionMethod method, std::string_view key)
        : method(method), stream(method, kMaxResponseBytes), serverKey(key) {}
    ~CompressedConnection() {
        if (deflating) deflateEnd(&deflater);
    }
    CompressionMethod method;
    CompressedStream stream;
    std::string serverKey;
    std::string raw;
    bool closed = false;
    bool reported = false;
    z_stream deflater{};
    bool deflating = false;
};

// Never destroyed: a detached worker may still use a connection while the program exits.
std::mutex &tableMutex = *new std::mutex;
std::unordered_map<int, std::shared_ptr<CompressedConnection>> &connections =
    *new std::unordered_map<int, std::shared_ptr<CompressedConnection>>;
std::set<std::string, std::less<>> &failedServers = *new std::set<std::string, std::less<>>;

std::shared_ptr<CompressedConnection> find(Connection connection) {
    std::lock_guard lock(tableMutex);
    const auto found = connections.find(connection);
    return found == connections.end() ? nullptr : found->second;
}

// A server that agreed to compress and then drops the connection before sending a single
// compressed byte (a reset as much as a close) did not keep its word.
void noteLostConnection(std::string &error, CompressedConnection &state) {
    if (error == kTimedOut || error == kCancelled || !state.stream.awaitingFirstByte() || state.reported) return;
    markCompressionFailed(state.serverKey);
    state.reported = true;
    error += " The next connection goes without compression.";
}

int failStream(std::string &error, CompressedConnection &state) {
    if (!state.reported) {
        markCompressionFailed(state.serverKey);
        state.reported = true;
    }
    error = state.stream.error() + " The next connection goes without compression.";
    return 0;
}

}  // namespace

int compressStart(std::string &error, Connection connection, CompressionMethod method, std::string_view serverKey) {
    if (method == CompressionMethod::None) return 1;
    auto state = std::make_shared<CompressedConnection>(method, serverKey);
    if (state->stream.failed()) {
        error = state->stream.error();
        return 0;
    }
    if (method == CompressionMethod::Deflate) {
        if (deflateInit2(&state->deflater, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
            Z_OK) {
            error = kOutOfMemory;
            return 0;
        }
        state->deflating = true;
    }
    // Whatever arrived behind the server's consent is already part of the stream.
    state->stream.feed(takePendingBytes(connection));
    std::lock_guard lock(tableMutex);
    connections[connection] = std::move(state);
    return 1;
}

bool compressIsActive(Connection connection) {
    std::lock_guard lock(tableMutex);
    return connections.count(connection) != 0;
}

CompressionMethod compressMethod(Connection connection) {
    const auto state = find(connection);
    return state ? state->method : CompressionMethod::None;
}

int compressSend(std::string &error, Connection connection, const char *bytes, std::size_t length,
                 const RawSend &rawSend) {
    const auto state = find(connection);
    if (!state || !state->deflating) return rawSend(error, bytes, length);
    z_stream &z = state->deflater;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes));
    z.avail_in = static_cast<uInt>(length);
    std::string wire;
    // Every command is flushed whole, so the server can answer it at once.
    do {
        char out[4096];
        z.next_out = reinterpret_cast<Bytef *>(out);
        z.avail_out = sizeof out;
        const int rc = deflate(&z, Z_SYNC_FLUSH);
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            error = kOutOfMemory;
            return 0;
        }
        wire.append(out, sizeof out - z.avail_out);
    } while (z.avail_out == 0 || z.avail_in != 0);
    if (rawSend(error, wire.data(), wire.size())) return 1;
    noteLostConnection(error, *state);
    return 0;
}

int compressReceive(std::string &error, Connection connection, char *buffer, std::size_t capacity,
                    std::size_t &size, const RawReceive &rawReceive) {
    size = 0;
    const auto state = find(connection);
    if (!state) {
        error = kNotConnected;
        return 0;
    }
    std::size_t rawWithoutText = 0;
    for (;;) {
        const long produced = state->stream.read(buffer, capacity);
        if (produced < 0) return failStream(error, *state);
        if (produced > 0 || state->closed) {
            size = static_cast<std::size_t>(produced);
            // The raw bytes already here often hold more (a gzip reply's status line comes out on
            // its own, then its lines): the buffer is filled as far as they go, so that one
            // receive of the reader carries as much text as it would without compression. A
            // failure behind the bytes handed out is told by the next receive.
            while (size < capacity) {
                const long more = state->stream.read(buffer + size, capacity - size);
                if (more <= 0) break;
                size += static_cast<std::size_t>(more);
            }
            return 1;
        }
        if (rawWithoutText > kMaxRawWithoutText) {
            if (!state->reported) markCompressionFailed(state->serverKey);
            state->reported = true;
            error = std::string(kCompressedDataPrefix) +
                    "carries no text. The next connection goes without compression.";
            return 0;
        }
        if (rawWithoutText > 0 && cancelRequested()) {
            error = kCancelled;
            return 0;
        }
        state->raw.resize(kRawBlock + 1);
        std::size_t got = kRawBlock;
        if (!rawReceive(error, state->raw.data(), got)) {
            noteLostConnection(error, *state);
            return 0;
        }
        if (got == 0) {
            state->closed = true;
            if (!state->stream.endOfInput()) return failStream(error, *state);
            continue;
        }
        rawWithoutText += got;
        state->stream.feed(std::string_view(state->raw.data(), got));
    }
}

bool compressClose(Connection connection) {
    std::lock_guard lock(tableMutex);
    return connections.erase(connection) != 0;
}

bool compressionFailedFor(std::string_view serverKey) {
    std::lock_guard lock(tableMutex);
    return failedServers.find(serverKey) != failedServers.end();
}

void markCompressionFailed(std::string_view serverKey) {
    std::lock_guard lock(tableMutex);
    failedServers.emplace(serverKey);
}

void forgetCompressionFailures() {
    std::lock_guard lock(tableMutex);
    failedServers.clear();
}

}  // namespace corvane
