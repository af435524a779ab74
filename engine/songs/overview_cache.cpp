#include "songs/overview_cache.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace corvane {
namespace {

std::atomic<uint64_t> limitForTests{0};

uint64_t cacheLimit() {
    const uint64_t limit = limitForTests.load();
    return limit ? limit : kOverviewCacheLimit;
}

constexpr std::string_view kFileEnding = ".ovc";
// What a header can take at most: magic, version, two names of 1,024 bytes, numbers, checksum.
constexpr std::size_t kHeaderBytesBound = 8 + 4 + 2 * (2 + 1024) + 5 + 1 + 3 * 10 + 8;
// Written to the temporary file in pieces of about this size.
constexpr std::size_t kWriteChunk = std::size_t(1) << 20;

// A temporary file this old was left by a crash; a younger one may be another search's.
constexpr auto kAbandonedTemporaryAge = std::chrono::hours(1);

// Opens a cache file without following a link and without blocking on a FIFO or a device;
// -1 unless it is a regular file of plausible size (`info` then describes it).
int openCacheFile(const std::string &path, int access, struct stat &info) {
    const int fd = ::open(path.c_str(), access | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return -1;
    // A file larger than the folder may hold was not written by this engine.
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
        static_cast<uint64_t>(info.st_size) > cacheLimit() + kHeaderBytesBound) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool isHexDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool writeAt(int fd, off_t &offset, std::string_view bytes, int &error) {
    while (!bytes.empty()) {
        const ssize_t written = ::pwrite(fd, bytes.data(), bytes.size(), offset);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error = written < 0 ? errno : ENOSPC;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
        offset += written;
    }
    return true;
}

std::string problemText(const std::string &folder, int error) {
    return "Overview cache not saved in " + folder + ": " + std::strerror(error);
}

CachedArticle articleOf(const PartsTable &parts, const PartsTable::Part &part) {
    return {part.number, parts.names()[part.name], part.messageId(), part.date(), part.partIndex, part.partCount};
}

// The first part from `from` on to keep so that they stay within `budget` bytes, dropping the
// oldest; parts.size() when not even the newest fits. False when the parts cannot be cached:
// numbers not rising strictly within [first, last] (a line without a number reads as 0).
bool firstPartToKeep(const PartsTable &parts, std::size_t from, int64_t first, int64_t last, uint64_t budget,
                     std::size_t &keep) {
    const std::vector<PartsTable::Part> &all = parts.parts();
    std::vector<bool> nameCounted(parts.names().size());
    uint64_t bytes = kHeaderBytesBound;
    keep = all.size();
    int64_t above = last + 1;
    bool fits = true;
    for (std::size_t i = all.size(); i-- > from;) {
        const PartsTable::Part &part = all[i];
        if (part.number < first || part.number >= above) return false;
        above = part.number;
        if (!fits) continue;
        const CachedArticle article = articleOf(parts, part);
        if (article.baseName.size() > kMaxCachedText || article.messageId.size() > kMaxCachedText ||
            article.date.size() > kMaxCachedText || article.partIndex < 0)
            return false;
        const uint64_t more = cachedArticleBytesBound(article, !nameCounted[part.name]);
        if (bytes + more > budget) {
            fits = false;
            continue;
        }
        bytes += more;
        nameCounted[part.name] = true;
        keep = i;
    }
    return true;
}

// Writes the parts from `from` on as one segment at `offset`, then its length.
bool writeSegment(int fd, off_t &offset, OverviewCacheSegment segment, const PartsTable &parts, std::size_t from,
                  int &error) {
    const std::vector<PartsTable::Part> &all = parts.parts();
    segment.count = all.size() - from;
    const off_t start = offset;
    try {
        OverviewCacheEncoder encoder(segment);
        for (std::size_t i = from; i < all.size(); ++i) {
            if (!encoder.add(articleOf(parts, all[i]))) return false;
            if (encoder.pending().size() >= kWriteChunk) {
                if (!writeAt(fd, offset, encoder.pending(), error)) return false;
                encoder.consumed();
            }
        }
        if (!encoder.finish() || !writeAt(fd, offset, encoder.pending(), error)) return false;
        off_t lengthAt = start + static_cast<off_t>(encoder.lengthOffset());
        return writeAt(fd, lengthAt, encoder.lengthField(), error);
    } catch (const std::bad_alloc &) {
        error = ENOMEM;
        return false;
    }
}

}  // namespace

void setOverviewCacheLimitForTests(uint64_t bytes) { limitForTests.store(bytes); }

int64_t OverviewReadPlan::articlesToRead() const {
    return std::max<int64_t>(lowLast - lowFirst + 1, 0) + std::max<int64_t>(highLast - highFirst + 1, 0);
}

int64_t OverviewReadPlan::progressCount() const {
    return std::max<int64_t>(lowLast - lowFirst, 0) + std::max<int64_t>(highLast - highFirst, 0);
}

OverviewReadPlan planOverviewRead(int64_t first, int64_t last, const OverviewCacheHeader *cached) {
    OverviewReadPlan plan;
    plan.highFirst = first;
    plan.highLast = last;
    if (!cached || last < first || cached->last > last || cached->last < first) return plan;
    plan.useCache = true;
    if (first < cached->first) {
        plan.lowFirst = first;
        plan.lowLast = cached->first - 1;
    }
    plan.highFirst = cached->last + 1;
    return plan;
}

OverviewCache::OverviewCache(std::string folder, std::string server, int32_t port, bool tls)
    : folder_(std::move(folder)), server_(std::move(server)), port_(port), tls_(tls) {}

OverviewCacheKey OverviewCache::keyOf(const std::string &group) const { return {server_, port_, tls_, group}; }

std::string OverviewCache::pathOf(const std::string &group) const {
    // The readable part may not be unique (names are cut and odd characters replaced); the hash
    // of the whole key makes it so, and the key inside the file settles any collision.
    std::string name;
    for (char c : group.substr(0, 100)) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                           c == '-' || c == '_' || c == '+';
        name.push_back(plain ? c : '_');
    }
    if (name.empty() || name[0] == '.') name.insert(name.begin(), '_');
    CacheChecksum hash;
    const std::string port = std::to_string(port_);
    for (std::string_view piece : {std::string_view(server_), std::string_view(port),
                                   std::string_view(tls_ ? "tls" : "tcp"), std::string_view(group)}) {
        hash.update(piece);
        hash.update(std::string_view("\0", 1));
    }
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "-%016" PRIx64, hash.value());
    return folder_ + "/" + name + suffix + std::string(kFileEnding);
}

bool OverviewCache::peek(const std::string &group, OverviewCacheHeader &header) const {
    if (!enabled()) return false;
    struct stat info {};
    const int fd = openCacheFile(pathOf(group), O_RDONLY, info);
    if (fd < 0) return false;
    // A file that another search is adding to at this moment is read from the server instead.
    void *map = ::flock(fd, LOCK_SH | LOCK_NB) == 0
                    // Mapped without reading ahead: the peek touches only the head and the
                    // segments' first bytes.
                    ? ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0)
                    : MAP_FAILED;
    bool ok = false;
    if (map != MAP_FAILED) {
        ok = peekOverviewCache(
                 std::string_view(static_cast<const char *>(map), static_cast<std::size_t>(info.st_size)), header) &&
             header.key == keyOf(group);
        ::munmap(map, static_cast<std::size_t>(info.st_size));
    }
    ::close(fd);
    return ok;
}

bool OverviewCache::load(const std::string &group, CachedGroup &cached) const {
    cached.release();
    if (!enabled()) return false;
    struct stat info {};
    const std::string path = pathOf(group);
    // Writable when it may be: a later append goes through the same descriptor and its lock.
    int fd = openCacheFile(path, O_RDWR, info);
    cached.writable_ = fd >= 0;
    if (fd < 0) fd = openCacheFile(path, O_RDONLY, info);
    if (fd < 0) return false;
    void *map = ::flock(fd, LOCK_SH | LOCK_NB) == 0 ? ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ,
                                                             MAP_PRIVATE | MAP_POPULATE, fd, 0)
                                                    : MAP_FAILED;
    if (map == MAP_FAILED) {
        ::close(fd);
        return false;
    }
    cached.fd_ = fd;
    cached.map_ = map;
    cached.size_ = static_cast<std::size_t>(info.st_size);
    cached.device_ = info.st_dev;
    cached.inode_ = info.st_ino;
    if (!checkOverviewCache(cached.bytes(), cached.header) || !(cached.header.key == keyOf(group))) {
        cached.release();
        return false;
    }
    return true;
}

void CachedGroup::forEachArticle(const std::function<void(const CachedArticle &)> &visit) const {
    if (map_) visitCheckedOverviewCache(bytes(), visit);
}

std::vector<CachedArticle> CachedGroup::articles() const {
    std::vector<CachedArticle> all;
    forEachArticle([&all](const CachedArticle &article) { all.push_back(article); });
    return all;
}

void CachedGroup::release() {
    if (map_) ::munmap(map_, size_);
    if (fd_ >= 0) ::close(fd_);  // and with it the lock
    fd_ = -1;
    writable_ = false;
    map_ = nullptr;
    size_ = 0;
    header = OverviewCacheHeader{};
}

bool OverviewCache::store(const std::string &group, int64_t first, int64_t last, const PartsTable &parts,
                          std::string &problem) const {
    problem.clear();
    if (!enabled() || last < first) return false;
    std::size_t keep = 0;
    if (!firstPartToKeep(parts, 0, first, last, cacheLimit(), keep)) return false;
    const std::vector<PartsTable::Part> &all = parts.parts();
    // Not even the newest part fits: no file could say which numbers it covers.
    if (keep == all.size() && !all.empty()) return false;

    std::error_code ignored;
    std::filesystem::create_directories(folder_, ignored);
    const std::string path = pathOf(group);
    std::string temporary = path + ".tmp-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        problem = problemText(folder_, errno);
        return false;
    }
    // Parts left out for the limit take the covered range with them: it starts at the oldest part
    // kept, so a later search reads the numbers below again instead of missing their songs.
    const int64_t covered = keep > 0 && keep < all.size() ? all[keep].number : first;
    int error = 0;
    off_t offset = 0;
    bool ok = writeAt(fd, offset, encodeOverviewCacheHead(keyOf(group)), error) &&
              writeSegment(fd, offset, {covered, last, 0}, parts, keep, error);
    // A full disk may only show at close (delayed allocation on some file systems).
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        if (error != 0) problem = problemText(folder_, error);
        return false;
    }
    keepFolderBelowLimit(path);
    return true;
}

bool OverviewCache::append(const std::string &group, const CachedGroup &cached, int64_t last, const PartsTable &parts,
                           std::size_t from, std::string &problem) const {
    problem.clear();
    if (!enabled() || !cached.map_ || last <= cached.header.last || cached.header.segments >= kMaxSegments)
        return false;
    std::size_t keep = 0;
    const uint64_t room = cacheLimit() > cached.size_ ? cacheLimit() - cached.size_ : 0;
    if (!firstPartToKeep(parts, from, cached.header.last + 1, last, room, keep) || keep != from) return false;

    // Only onto the very file that was read, still under its name (another search may have
    // replaced it since), and only while nobody else maps it: the shared lock held since the
    // load becomes an exclusive one, or the append is not made.
    const int fd = cached.fd_;
    struct stat info {}, named {};
    if (fd < 0 || !cached.writable_ || ::fstat(fd, &info) != 0 || info.st_dev != cached.device_ ||
        info.st_ino != cached.inode_ || static_cast<std::size_t>(info.st_size) != cached.size_ ||
        ::lstat(pathOf(group).c_str(), &named) != 0 || named.st_dev != info.st_dev || named.st_ino != info.st_ino ||
        ::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return false;
    int error = 0;
    off_t offset = info.st_size;
    bool ok = writeSegment(fd, offset, {cached.header.last + 1, last, 0}, parts, from, error);
    // A failed append is cut off again, so the file reads as before; a file that cannot be cut
    // back is removed (the mappings of it stay valid).
    if (!ok && ::ftruncate(fd, info.st_size) != 0) ::unlink(pathOf(group).c_str());
    ::flock(fd, LOCK_SH);
    if (!ok) {
        if (error != 0) problem = problemText(folder_, error);
        return false;
    }
    keepFolderBelowLimit(pathOf(group));
    return true;
}

bool isOverviewCacheFileName(std::string_view name, bool &temporary) {
    // "<group>-<16 hex digits>.ovc", or that with ".tmp-XXXXXX" behind it while being written.
    temporary = false;
    const std::size_t tmp = name.rfind(".tmp-");
    if (tmp != std::string_view::npos && name.size() - tmp == 11) {
        temporary = true;
        name = name.substr(0, tmp);
    }
    if (!name.ends_with(kFileEnding)) return false;
    name.remove_suffix(kFileEnding.size());
    return name.size() > 17 && name[name.size() - 17] == '-' && isHexDigits(name.substr(name.size() - 16));
}

void OverviewCache::keepFolderBelowLimit(const std::string &written) const {
    struct Entry {
        std::filesystem::path path;
        std::filesystem::file_time_type time;
        uint64_t size;
    };
    std::vector<Entry> entries;
    uint64_t total = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
        // Our files, and temporary files a crash left behind; nothing else, and never through a
        // link.
        const std::string name = it->path().filename().string();
        bool temporary = false;
        if (!isOverviewCacheFileName(name, temporary)) continue;
        std::error_code statError;
        if (!it->is_regular_file(statError) || it->is_symlink(statError)) continue;
        const uint64_t size = it->file_size(statError);
        if (statError) continue;
        const auto time = it->last_write_time(statError);
        if (statError) continue;
        if (temporary && std::filesystem::file_time_type::clock::now() - time < kAbandonedTemporaryAge) continue;
        total += size;
        if (it->path() != std::filesystem::path(written)) entries.push_back({it->path(), time, size});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) { return a.time < b.time; });
    for (const Entry &entry : entries) {
        if (total <= cacheLimit()) break;
        std::error_code removeError;
        if (std::filesystem::remove(entry.path, removeError)) total -= entry.size;
    }
}

}  // namespace corvane
