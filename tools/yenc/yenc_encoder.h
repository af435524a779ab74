// A yEnc encoder for test articles, the demo spool and the bundled server's generated groups.
// It writes what common posting programs write: lines of a fixed length, the four critical
// bytes escaped, and a blank or TAB escaped where a line starts or ends, a dot where a line
// starts (so that no transport can strip or stuff them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace harbeat::yenc {

inline constexpr int kDefaultLineLength = 128;

// CRC32 of the bytes.
std::uint32_t crc32Of(std::string_view bytes);

// The encoded data lines of `bytes`, each ending in CR LF.
std::string encodeLines(std::string_view bytes, int lineLength = kDefaultLineLength);

// The body of a single-part post: "=ybegin line= size= name=", the data, "=yend size= crc32=".
std::string encodeSinglePart(std::string_view file, std::string_view name, int lineLength = kDefaultLineLength);

// Where part `part` (1-based) of `total` nearly equal parts of a file of `size` bytes begins
// (0-based) and how long it is.
struct PartRange {
    std::size_t offset = 0;
    std::size_t length = 0;
};
PartRange partRange(std::size_t size, int part, int total);

// The body of part `part` of `total`: "=ybegin part= total= line= size= name=", "=ypart begin= end=",
// the data of its range, "=yend size= part= pcrc32=" (and "crc32=", the whole file's, in the last).
std::string encodePart(std::string_view file, std::string_view name, int part, int total,
                       int lineLength = kDefaultLineLength);

// The same for a part whose `bytes` lie at `offset` (0-based) of a file of `fileSize` bytes;
// `fileCrc`, the whole file's CRC32, is named by the last part.
std::string encodePartAt(std::string_view bytes, std::string_view name, int part, int total, std::size_t offset,
                         std::size_t fileSize, std::uint32_t fileCrc, int lineLength = kDefaultLineLength);

// The bodies of all parts, in order; a single-part body when total is 1.
std::vector<std::string> encodeParts(std::string_view file, std::string_view name, int total,
                                     int lineLength = kDefaultLineLength);

}  // namespace harbeat::yenc
