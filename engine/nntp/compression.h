// Asking the server to compress: once per server, CAPABILITIES tells whether it speaks RFC 8054
// COMPRESS DEFLATE; otherwise XFEATURE COMPRESS GZIP is tried; otherwise the session stays
// uncompressed. What a server answered is remembered until the settings are stored again.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "net/compressed_stream.h"
#include "net/connection.h"

namespace corvane {

// Runs after the greeting and the login. 1 whether or not compression came on (a server that
// refuses it is simply read uncompressed); 0 with `error` when the connection failed meanwhile.
int nntpStartCompression(std::string &error, Connection connection, std::string_view server, int32_t port);

// The capabilities text (the lines after "101") names RFC 8054's DEFLATE among the COMPRESS
// algorithms.
bool capabilitiesOfferDeflate(std::string_view capabilities);

// Forgets every server's answers and failures (mp3Settings calls it).
void forgetServerCompression();

}  // namespace corvane
