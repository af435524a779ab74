// yEnc: each byte travels as (byte + 42) mod 256; the few results a news transport cannot carry
// (NUL, LF, CR and "=" itself) are written as "=" followed by (result + 64) mod 256. A part sits
// between a "=ybegin" line (line, size, part, total, name) and a "=yend" line (size, part, pcrc32,
// crc32); a part of a multi-part post has a "=ypart" line (begin, end) that says where its bytes
// belong in the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

struct YencPart {
    std::string name;                 // =ybegin name=, exactly as posted (untrusted)
    int64_t fileSize = -1;            // =ybegin size=: the whole file; -1 when missing or invalid
    int32_t part = 0;                 // =ybegin part=; 0 for a single-part post
    int32_t total = 0;                // =ybegin total=; 0 when not given
    int64_t begin = 0;                // first byte of the file it carries, counted from 1
    int64_t end = 0;                  // last byte it carries; end < begin for an empty part
    std::string bytes;                // the decoded bytes, unless they went straight into their file
    std::size_t size = 0;             // how many bytes were decoded
    bool inPlace = false;             // decoded into its file's buffer at begin - 1, not into bytes
    uint32_t crc = 0;                 // CRC32 of the decoded bytes
    std::optional<uint32_t> fileCrc;  // =yend crc32= of a multi-part post: the whole file's CRC32
    std::string error;                // why the part cannot be trusted; empty when it can
};

// True when the text at `position` is a "=ybegin " line.
bool isYencBegin(std::string_view text, std::size_t position);

// Room for a part's bytes in its file: exactly `capacity` bytes at `data`.
struct YencTarget {
    char *data = nullptr;
    std::size_t capacity = 0;
};

// Decodes the part whose "=ybegin" line starts at `position` (the text has CR LF line ends and
// is no longer dot-stuffed). Lines may be of any length. Every check the part carries is made:
// its =ypart range, its size, its =yend part number and CRC32; the first failure is kept in
// part.error. `position` is left after the "=yend" line, or where the part was found cut off.
// Once the =ybegin and =ypart lines are read, `placeFor` may give room in the file for the part's
// range: the bytes are then decoded there (never beyond it) instead of into part.bytes.
// Returns false, touching nothing, when `position` is not at a "=ybegin " line.
bool yencDecodePart(std::string_view text, std::size_t &position, YencPart &part,
                    const std::function<YencTarget(const YencPart &)> &placeFor = {});

// A name as it may appear in a report: control characters shown as "?", cut to 200 characters.
std::string reportableName(std::string_view name);

// CRC32 of the bytes (zlib), and the CRC32 of two runs laid end to end.
uint32_t crc32Of(std::string_view bytes);
uint32_t crc32Joined(uint32_t first, uint32_t second, std::size_t secondLength);

}  // namespace corvane
