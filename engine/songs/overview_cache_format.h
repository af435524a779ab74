// The bytes of one overview cache file: what a search keeps of a group's usable overview lines so
// that the next search reads only the articles posted since. Pure encoding and decoding, no files.
//
// Layout (integers are LEB128 varints unless a size is given):
//   head       "HBOVCACH" (8 bytes), version (4 bytes, little-endian), server (length + bytes),
//              port, tls (1 byte, 0 or 1), group (length + bytes), checksum of the head (8 bytes)
//   segments   one or more, each covering the numbers right after the one before it:
//     first, last  the article numbers covered: every usable article in [first, last] is here
//     count        records in the segment
//     length       8 bytes, little-endian: the bytes of the records
//     records      count times:
//       number     distance from the previous record's number (the first: from `first`), the
//                  numbers rising strictly and staying within [first, last]
//       name       0: a new base name follows (length + bytes); n > 0: the segment's n-th name
//       lengths    of the message-id (1 or more) and of the date
//       texts      the message-id, then the date, side by side
//       partIndex  varint; partCount zig-zag varint (a subject may carry "(1/-3)")
//     checksum     8 bytes, little-endian, over first, last, count and the records
// A search that finds a few new articles appends one segment instead of writing the whole file
// again. Anything else (another magic or version, a short or long file, a wrong checksum, a
// number out of order, a gap between segments) makes the whole file unusable: it is then
// ignored and rebuilt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvane {

// Raised whenever the choice of usable articles changes: a file written by an older rule is
// rebuilt instead of bringing back articles the search no longer lists. 2: an .mp3 subject without a
// part number counts only for an article as large as a song.
inline constexpr uint32_t kOverviewCacheVersion = 2;

// Which server and group a file belongs to. Two servers, or one server over TLS and plain TCP,
// never share a file.
struct OverviewCacheKey {
    std::string server;
    int32_t port = 0;
    bool tls = false;
    std::string group;

    bool operator==(const OverviewCacheKey &) const = default;
};

// What a file covers: the first segment's first number to the last segment's last.
struct OverviewCacheHeader {
    OverviewCacheKey key;
    int64_t first = 0;
    int64_t last = 0;
    uint64_t count = 0;     // records in all segments
    uint64_t segments = 0;  // at least one in a usable file
};

// The numbers one segment covers and how many records it holds.
struct OverviewCacheSegment {
    int64_t first = 0;
    int64_t last = 0;
    uint64_t count = 0;
};

// One usable article; the texts are views (into the file's bytes when decoded).
struct CachedArticle {
    int64_t number = 0;
    std::string_view baseName;
    std::string_view messageId;
    std::string_view date;
    int32_t partIndex = 0;
    int32_t partCount = 0;
};

// Longest texts a record may hold: an overview line is under 4,096 characters.
inline constexpr std::size_t kMaxCachedText = 4095;

// An upper bound of the bytes `article` adds to a file when its name is new (`newName`) or not.
std::size_t cachedArticleBytesBound(const CachedArticle &article, bool newName);

// Reads the head and hops over the segments by their lengths, testing no record and no
// segment checksum: enough to plan which articles a search must read.
bool peekOverviewCache(std::string_view bytes, OverviewCacheHeader &header);

// Reads a whole file. False, with `articles` cleared, when any byte is out of place.
bool decodeOverviewCache(std::string_view bytes, OverviewCacheHeader &header, std::vector<CachedArticle> &articles);

// Checks a whole file as decodeOverviewCache does, without keeping the articles.
bool checkOverviewCache(std::string_view bytes, OverviewCacheHeader &header);

// Calls `visit` for every record of a file that checkOverviewCache accepted, in file order,
// without testing the checksums again: a large group's articles go straight to their table
// instead of through a copy.
void visitCheckedOverviewCache(std::string_view bytes, const std::function<void(const CachedArticle &)> &visit);

// The head of a file of that server and group.
std::string encodeOverviewCacheHead(const OverviewCacheKey &key);

// A running checksum over bytes given in pieces of any size.
class CacheChecksum {
public:
    void update(std::string_view bytes);
    uint64_t value() const;

private:
    void mix(uint64_t word);

    uint64_t state_ = 0x9E3779B97F4A7C15ull;
    uint64_t total_ = 0;
    unsigned char tail_[8] = {};
    std::size_t tailSize_ = 0;
};

// Writes one segment piece by piece, so that a large group never needs its whole file in
// memory: take `pending()` from time to time, then `consumed()`. `finish()` appends the checksum;
// the length field, written as zeros, then gets `lengthField()` at `lengthOffset()` from the
// segment's start. The texts of added articles must stay valid until the encoder is gone.
class OverviewCacheEncoder {
public:
    // segment.count must be the number of add() calls that follow.
    explicit OverviewCacheEncoder(const OverviewCacheSegment &segment);
    // False (nothing written) when the article does not fit the segment: a number not above the
    // previous one or outside [first, last], a text over kMaxCachedText, an empty message-id, a
    // negative part index, or more records than announced.
    bool add(const CachedArticle &article);
    // False when fewer records were added than announced. The checksum joins what is pending.
    bool finish();

    std::string_view pending() const { return out_; }
    void consumed();

    std::size_t lengthOffset() const { return lengthOffset_; }
    std::string lengthField() const;

private:
    void putVarint(uint64_t value);
    void putText(std::string_view text);
    void take();

    OverviewCacheSegment segment_;
    std::string out_;
    std::size_t hashedUpTo_ = 0;  // bytes of out_ already in the checksum
    CacheChecksum checksum_;
    std::size_t lengthOffset_ = 0;
    uint64_t recordBytes_ = 0;
    uint64_t added_ = 0;
    int64_t previousNumber_ = 0;
    bool finished_ = false;
    std::unordered_map<std::string_view, uint64_t> names_;
};

// A whole file of one segment covering [header.first, header.last], for small files and tests.
bool encodeOverviewCache(const OverviewCacheHeader &header, const std::vector<CachedArticle> &articles,
                         std::string &bytes);

// Appends one segment to a file held in memory.
bool appendOverviewCacheSegment(const OverviewCacheSegment &segment, const std::vector<CachedArticle> &articles,
                                std::string &bytes);

}  // namespace corvane
