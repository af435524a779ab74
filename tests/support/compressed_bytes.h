// Compressed bytes as news servers send them, for the tests of the inflating transport.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace harbeat::test {

// One raw DEFLATE stream (RFC 8054) holding the pieces, each ended by a sync flush as a server
// flushes each reply.
std::string rawDeflate(const std::vector<std::string> &pieces);
// A zlib stream (header 0x78) or, with gzipHeader, a gzip member of the text.
std::string zlibStream(std::string_view text, bool gzipHeader = false);
// A "[COMPRESS=GZIP]" reply: status line, the zlib stream of the lines, then the terminator
// line (clear, or inside the stream when terminatorInside).
std::string gzipReply(std::string_view statusLine, std::string_view lines, bool terminatorInside = false);

}  // namespace harbeat::test
