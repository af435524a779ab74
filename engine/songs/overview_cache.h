// The overview cache folder: one file per server, port, TLS and group, holding what the last
// complete read of the group kept of its usable overview lines. Only regular files of the
// cache's own names are opened or removed there: a link, a FIFO or a user's file of a similar
// name is left alone. A search reads only the articles
// above the cached range and takes the rest from the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "songs/overview_cache_format.h"
#include "songs/parts_table.h"

namespace corvane {

// The whole folder stays below this many bytes. A file takes about 60 to 100 bytes per usable
// article (message-id, date and part numbers; a song's parts share one base name), so 1 GiB holds
// some ten million articles. A group above the limit keeps its newest articles; other groups'
// files are removed, the least recently written first, until the folder fits again.
inline constexpr uint64_t kOverviewCacheLimit = uint64_t(1) << 30;

// A file of this many segments is written whole again instead of growing by one more.
inline constexpr uint64_t kMaxSegments = 32;

// Replaces the limit (0 puts kOverviewCacheLimit back): tests only.
void setOverviewCacheLimitForTests(uint64_t bytes);

// A checked cache file, mapped into memory: its articles are read straight from the mapping.
class CachedGroup {
public:
    CachedGroup() = default;
    ~CachedGroup() { release(); }
    CachedGroup(const CachedGroup &) = delete;
    CachedGroup &operator=(const CachedGroup &) = delete;

    std::string_view bytes() const { return {static_cast<const char *>(map_), size_}; }
    // Every article, in file order (views into the mapping).
    void forEachArticle(const std::function<void(const CachedArticle &)> &visit) const;
    std::vector<CachedArticle> articles() const;
    void release();

    OverviewCacheHeader header;

    std::size_t size() const { return size_; }

private:
    friend class OverviewCache;
    void *map_ = nullptr;
    std::size_t size_ = 0;
    uint64_t device_ = 0;  // which file was mapped, so that an append goes onto that one only
    uint64_t inode_ = 0;
    // The file stays open while mapped, holding a shared lock: another search may add to the
    // file only while nobody maps it, so that a failed addition that is cut off again can never
    // pull pages from under a reader.
    int fd_ = -1;
    bool writable_ = false;
};

// Which article numbers a search of [first, last] reads from the server, and which it takes
// from a cache file covering [cached.first, cached.last].
struct OverviewReadPlan {
    bool useCache = false;
    int64_t lowFirst = 1, lowLast = 0;    // below the cached range (empty when lowFirst > lowLast)
    int64_t highFirst = 1, highLast = 0;  // above it, or the whole range without a cache
    int64_t articlesToRead() const;
    // What the reads add to the search's progress total: last - first of each range read.
    int64_t progressCount() const;
};

// A file is of no use when the group was renumbered (its last number fell below the cached
// range) or when every cached article lies below `first`, expired.
OverviewReadPlan planOverviewRead(int64_t first, int64_t last, const OverviewCacheHeader *cached);

// Whether a name in the folder is one of the cache's files (`temporary`: one being written).
bool isOverviewCacheFileName(std::string_view name, bool &temporary);

class OverviewCache {
public:
    // An empty folder turns the cache off.
    OverviewCache(std::string folder, std::string server, int32_t port, bool tls);

    bool enabled() const { return !folder_.empty(); }
    std::string pathOf(const std::string &group) const;
    OverviewCacheKey keyOf(const std::string &group) const;

    // The header of the group's file, when there is one of this server and group.
    bool peek(const std::string &group, OverviewCacheHeader &header) const;
    // The group's whole file, when it is intact and of this server and group.
    bool load(const std::string &group, CachedGroup &cached) const;

    // Replaces the group's file with the parts read for [first, last], through a temporary file
    // and a rename, so a reader sees the old file or the new one, never a part. The oldest parts
    // are left out when the file would pass the limit. Returns false when nothing was written:
    // `problem` then names a folder or disk failure, or is empty when the parts cannot be cached
    // (lines without an article number, or out of order).
    bool store(const std::string &group, int64_t first, int64_t last, const PartsTable &parts,
               std::string &problem) const;

    // Adds the parts from `from` on, all above the cached range, as one segment covering
    // [cached last + 1, last] onto the file `cached` was read from. Returns false when the file
    // changed since, is mapped by another search, holds too many segments or would pass the
    // limit (then `problem` is empty and a full store is the way), or when the write failed: the
    // file is then cut back to what it was and `problem` says why.
    bool append(const std::string &group, const CachedGroup &cached, int64_t last, const PartsTable &parts,
                std::size_t from, std::string &problem) const;

    // True the first time only: a search reports one cache problem, not one per group.
    bool firstProblem() { return !problemReported_ && (problemReported_ = true); }

private:
    void keepFolderBelowLimit(const std::string &written) const;

    std::string folder_;
    std::string server_;
    int32_t port_;
    bool tls_;
    bool problemReported_ = false;
};

}  // namespace corvane
