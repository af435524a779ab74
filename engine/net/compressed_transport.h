// Compression under the readers. A connection stays a plain descriptor; once its server has
// agreed to compress, a side table keyed by the descriptor holds the inflating (and, for
// "COMPRESS DEFLATE", the deflating) state, and netSend / netReceive pass every byte through it,
// so everything above reads and writes clear text.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "net/compressed_stream.h"
#include "net/connection.h"

namespace corvane {

// Turns compression on for the connection whose server has just agreed to it ("206" to
// COMPRESS DEFLATE, "290" to XFEATURE COMPRESS GZIP). Bytes kept behind that reply are the first
// raw bytes of the stream. `serverKey` names the server in compressionFailedFor. 0 with `error`
// when the state cannot be set up.
int compressStart(std::string &error, Connection connection, CompressionMethod method, std::string_view serverKey);
bool compressIsActive(Connection connection);
// The method in use on the connection (None when it has no compression).
CompressionMethod compressMethod(Connection connection);

// netSend's part: sends the bytes as they go on the wire (deflated and flushed for COMPRESS
// DEFLATE, unchanged otherwise) through `rawSend`.
using RawSend = std::function<int(std::string &error, const char *bytes, std::size_t length)>;
int compressSend(std::string &error, Connection connection, const char *bytes, std::size_t length,
                 const RawSend &rawSend);

// netReceive's part: fills `buffer` (capacity bytes) with clear bytes, calling `rawReceive` for
// the server's bytes as needed. A damaged stream fails with a message that says so and marks the
// server as failing; a close arrives as size 0.
using RawReceive = std::function<int(std::string &error, char *buffer, std::size_t &size)>;
int compressReceive(std::string &error, Connection connection, char *buffer, std::size_t capacity,
                    std::size_t &size, const RawReceive &rawReceive);

// Forgets the connection's state (at close, and for a descriptor number handed out again). False
// when the connection had none.
bool compressClose(Connection connection);

// Servers whose compressed stream failed since the settings were last stored: their next
// connections go without compression.
bool compressionFailedFor(std::string_view serverKey);
void markCompressionFailed(std::string_view serverKey);
void forgetCompressionFailures();

}  // namespace corvane
