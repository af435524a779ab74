#include "songs/collect_group_songs.h"

#include <algorithm>
#include <exception>
#include <future>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "core/engine_options.h"
#include "core/engine_settings.h"
#include "core/error_text.h"
#include "core/notify.h"
#include "net/text_helpers.h"
#include "nntp/session.h"
#include "songs/parallel_read.h"
#include "songs/song_grouping.h"
#include "songs/song_line.h"
#include "songs/title_prefixes.h"

namespace corvane {
namespace {

// The parts table starts with room for this many entries at most (24 MB) and grows as lines
// arrive: servers announce ranges of millions of numbers for groups whose articles mostly
// expired. Reserving claims address space only; pages become resident as lines fill them.
constexpr int64_t kInitialPartsCapacity = int64_t(1) << 20;

// A connection that may still deliver a reply to an earlier command, or whose server stopped
// answering, is never used again: QUIT goes out without waiting for its answer, and the search
// opens a new session for its next group.
void closeUnlessInStep(Connection &connection, bool inStep) {
    if (inStep) return;
    nntpQuitWithoutReply(connection);
    connection = 0;
}

// What a read of [first, last] adds to the progress base: each batch of 51 numbers adds its
// size less one.
double rangeProgress(int64_t first, int64_t last) {
    if (last < first) return 0;
    const int64_t length = last - first + 1;
    return static_cast<double>(length - (length + kBatchSpan) / (kBatchSpan + 1));
}

// Reads [first, last] with the pipelined overview reader, over the extra sessions too when there
// are any; a connection left out of step is closed.
int readRange(std::string &error, Connection &connection, SearchProgress progress, const SearchGroup &group,
              int64_t first, int64_t last, PartsTable &parts, ExtraSessions *extra) {
    return readRangeOnSessions(error, connection, group.name, progress, first, last, parts, extra);
}

// What the cache gave one group: where the parts read above it start, and how many cached
// articles were left out as expired.
struct CacheUse {
    std::size_t newParts = 0;
    uint64_t expired = 0;
};

// Puts the cached articles of the group into the parts table, in file order; returns how many
// were left out as expired.
uint64_t addCachedArticles(const SearchGroup &group, const CachedGroup &cached, PartsTable &parts) {
    uint64_t expired = 0;
    OverviewEntry entry;
    cached.forEachArticle([&](const CachedArticle &article) {
        // Below the group's first number: expired, or beyond the search depth.
        if (article.number < group.first) {
            ++expired;
            return;
        }
        entry.number = article.number;
        entry.baseName = article.baseName;
        entry.messageId = article.messageId;
        entry.date = article.date;
        entry.partIndex = article.partIndex;
        entry.partCount = article.partCount;
        // The mapped file stays until the group's songs are sent.
        parts.addInPlace(entry);
    });
    return expired;
}

// Loads and checks the group's cache file on a second thread, and when the plan reads nothing
// below the cached range, goes on to put the cached articles into the parts table there: at a
// real server's distance the search mostly waits meanwhile, for the group's selection and for
// the new articles, which go into a table of their own. The thread touches neither the
// connection nor the reports, and is always joined before the tables go.
class CacheLoader {
public:
    CacheLoader(const OverviewCache &cache, const SearchGroup &group, CachedGroup &cached, PartsTable &parts)
        : thread_([this, &cache, &group, &cached, &parts] { run(cache, group, cached, parts); }) {}
    ~CacheLoader() {
        if (thread_.joinable()) thread_.join();
    }
    CacheLoader(const CacheLoader &) = delete;
    CacheLoader &operator=(const CacheLoader &) = delete;

    // Waits until the file is checked, and returns the plan it gives. `adding` tells whether the
    // cached articles are on their way into the parts table.
    OverviewReadPlan plan(bool &adding) {
        checkedFuture_.get();  // rethrows what ended the check
        adding = adding_;
        return plan_;
    }
    // Waits for the thread to end; rethrows what ended the adding early (only memory can run
    // out).
    void join() {
        if (thread_.joinable()) thread_.join();
        if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    }
    uint64_t expired() const { return expired_; }

private:
    void run(const OverviewCache &cache, const SearchGroup &group, CachedGroup &cached, PartsTable &parts) {
        try {
            const bool haveFile = cache.load(group.name, cached);
            plan_ = planOverviewRead(group.first, group.last, haveFile ? &cached.header : nullptr);
            adding_ = plan_.useCache && plan_.lowFirst > plan_.lowLast;
        } catch (...) {
            checked_.set_exception(std::current_exception());
            return;
        }
        checked_.set_value();
        if (!adding_) return;
        try {
            expired_ = addCachedArticles(group, cached, parts);
        } catch (...) {
            failure_ = std::current_exception();
        }
    }

    std::promise<void> checked_;
    std::future<void> checkedFuture_ = checked_.get_future();
    OverviewReadPlan plan_;
    bool adding_ = false;
    uint64_t expired_ = 0;
    std::exception_ptr failure_;
    std::thread thread_;  // last: it starts once everything above is made
};

// A server lost in the middle of a group (a closed or broken connection, not a time-out, a reply
// or a cancel) ends the group, but the articles read before are real: their complete songs are
// still sent, and only the rest of the group is missing, as with a narrower search depth. A
// time-out counts the group as unavailable, and a refusal or a cancel discards it whole.
bool keepsWhatWasRead(std::string_view error) {
    return replyCode(error) < 0 && !isTimeOut(error) && !cancelRequested() && error != kPartsBufferFailed;
}

// Reads what the plan leaves to the server and takes the rest from the cache file, in article
// order, so that grouping sees the parts exactly as a read of the whole range would give them.
// With `loader` adding the cached articles, the new articles are read into a table of their own
// meanwhile and added behind them.
int readGroupOverview(std::string &error, Connection &connection, SearchProgress progress, const SearchGroup &group,
                      const OverviewReadPlan &plan, const CachedGroup &cached, PartsTable &parts, CacheUse &use,
                      CacheLoader *loader, ExtraSessions *extra) {
    if (loader) {
        PartsTable newer;
        newer.reserve(static_cast<std::size_t>(
            std::clamp<int64_t>(plan.highLast - plan.highFirst + 1, 0, kInitialPartsCapacity)));
        const int read = plan.highFirst > plan.highLast ||
                         readRange(error, connection, progress, group, plan.highFirst, plan.highLast, newer, extra);
        loader->join();
        // What a lost connection left behind is kept with the cached articles, as a read on one
        // table keeps it.
        if (!read && !keepsWhatWasRead(error)) return 0;

        use.expired = loader->expired();
        use.newParts = parts.parts().size();
        appendParts(parts, newer);
        return read;
    }
    if (plan.lowFirst <= plan.lowLast) {
        if (!readRange(error, connection, progress, group, plan.lowFirst, plan.lowLast, parts, extra)) return 0;
        progress.base += rangeProgress(plan.lowFirst, plan.lowLast);
    }
    if (plan.useCache) use.expired = addCachedArticles(group, cached, parts);
    use.newParts = parts.parts().size();
    if (plan.highFirst <= plan.highLast &&
        !readRange(error, connection, progress, group, plan.highFirst, plan.highLast, parts, extra))
        return 0;
    return 1;
}

// Keeps the group for the next search: the articles read above the cached range go onto the
// file as one more segment; a file read below its range, or grown too many segments, or of
// which a quarter expired, is written whole again. A folder that cannot be written costs the
// search nothing but the cache; it is told once.
void keepGroup(OverviewCache &cache, const SearchGroup &group, const OverviewReadPlan &plan, const CachedGroup &cached,
               const PartsTable &parts, const CacheUse &use) {
    std::string problem;
    if (plan.useCache && plan.lowFirst > plan.lowLast) {
        const bool fewExpired = use.expired * 4 <= cached.header.count;
        if (plan.articlesToRead() == 0 && fewExpired) return;  // the file already says all there is
        if (fewExpired && cache.append(group.name, cached, group.last, parts, use.newParts, problem)) return;
        if (!problem.empty()) {
            if (cache.firstProblem()) notifyGui(kNotifyStatus, problem);
            return;
        }
    }
    if (!cache.store(group.name, group.first, group.last, parts, problem) && !problem.empty() && cache.firstProblem())
        notifyGui(kNotifyStatus, problem);
}

void prefetchText(std::string_view text) {
    if (text.empty()) return;
    __builtin_prefetch(text.data());
    __builtin_prefetch(text.data() + text.size() - 1);
}

void sendSongLines(const GroupedSongs &grouped, const SearchGroup &group, int64_t &sent) {
    // The songs go out in the byte order of their names, while their texts lie in the order
    // their articles arrived: the texts of the songs a few lines ahead are asked for early, so
    // that formatting a line seldom waits for memory.
    constexpr std::size_t kTextsAhead = 8;
    constexpr std::size_t kIdsAhead = 16;
    const std::vector<GroupedSong> &songs = grouped.songs;
    std::string title;
    std::string line;
    for (std::size_t i = 0; i < songs.size(); ++i) {
        if (i + kIdsAhead < songs.size()) __builtin_prefetch(&grouped.messageIds[songs[i + kIdsAhead].firstMessageId]);
        if (i + kTextsAhead < songs.size()) {
            const GroupedSong &ahead = songs[i + kTextsAhead];
            prefetchText(ahead.title);
            prefetchText(ahead.date);
            for (std::string_view id : grouped.messageIdsOf(ahead)) prefetchText(id);
        }
        const GroupedSong &song = songs[i];
        title = song.title;
        cleanSongTitle(title);
        if (!formatSongLine(title, group.category, song.date, group.name, song.partCount, grouped.messageIdsOf(song),
                            line))
            continue;
        notifyGui(kNotifySong, line);
        ++sent;
    }
}

}  // namespace

std::string withThousands(int64_t number) {
    std::string digits = std::to_string(number < 0 ? -(number + 1) + uint64_t(1) : uint64_t(number));
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return number < 0 ? "-" + digits : digits;
}

void planGroupRead(SearchGroup &group, int64_t depth, const OverviewCache *cache) {
    if (depth > 0 && group.last >= group.first) group.first = std::max(group.first, group.last - (depth - 1));
    OverviewCacheHeader header;
    const bool cached = cache && cache->peek(group.name, header);
    group.count = planOverviewRead(group.first, group.last, cached ? &header : nullptr).progressCount();
}

int setGroupRange(std::string &error, SearchGroup &group, int64_t first, int64_t last) {
    // Both kept non-negative, so that their difference cannot overflow.
    group.first = std::max<int64_t>(first, 0);
    group.last = std::max<int64_t>(last, 0);
    group.count = std::max<int64_t>(group.last - group.first, 0);
    if (group.count < kMaxGroupRange && group.last <= kMaxArticleNumber) return 1;
    error = "The server announced an impossible article range " + std::to_string(first) + "-" + std::to_string(last) +
            " for " + group.name + "; the group is skipped.";
    return 0;
}

int collectGroupSongs(std::string &error, Connection &connection, SearchProgress progress, const SearchGroup &group,
                      int64_t &songsSent, OverviewCache *cache, ExtraSessions *extra) {
    songsSent = 0;
    notifyGui(kNotifyStatus, "Retrieving " + group.category + " songs...");

    PartsTable parts;
    try {
        const int64_t range = group.last >= group.first ? group.last - group.first + 1 : 0;
        parts.reserve(static_cast<std::size_t>(std::min(range, kInitialPartsCapacity)));
    } catch (const std::bad_alloc &) {
        error = kPartsBufferFailed;
        return 0;
    }
    // An empty group: last 0, or (RFC 3977) a last number below the first.
    const bool empty = group.last == 0 || group.last < group.first;
    CachedGroup cached;
    OverviewReadPlan plan;
    CacheUse use;
    // The cache file is read while the group is selected (declared after the tables it fills, so
    // that it is joined before they go).
    std::optional<CacheLoader> loader;
    bool lost = false;  // the connection was lost after part of the group was read
    if (cache && cache->enabled() && !empty) {
        try {
            loader.emplace(*cache, group, cached, parts);
        } catch (const std::system_error &) {
            // No thread to spare: the file is read in turn below.
        }
    }
    if (!nntpGroup(error, connection, group.name)) {
        // A refusal is the server's reply and leaves the connection in step; a time-out, a closed
        // connection or a socket error does not.
        closeUnlessInStep(connection, replyCode(error) >= 0);
        return 0;
    }
    if (empty) return 1;

    try {
        bool adding = false;
        if (loader) {
            plan = loader->plan(adding);
        } else {
            const bool haveFile = cache && cache->load(group.name, cached);
            plan = planOverviewRead(group.first, group.last, haveFile ? &cached.header : nullptr);
        }
        if (plan.useCache)
            notifyGui(kNotifyStatus, "Retrieving " + group.category + " songs... " +
                                         withThousands(plan.articlesToRead()) + " new articles");
        if (!readGroupOverview(error, connection, progress, group, plan, cached, parts, use,
                               adding ? &*loader : nullptr, extra)) {
            if (!keepsWhatWasRead(error)) return 0;
            lost = true;
        }
    } catch (const std::bad_alloc &) {
        // Replies may still be on the way.
        closeUnlessInStep(connection, false);
        error = kPartsBufferFailed;
        return 0;
    }
    // The group was read; a cache that cannot be kept, even for want of memory, costs it nothing.
    // A group read only in part leaves its file as it was.
    try {
        if (!lost && cache && cache->enabled()) keepGroup(*cache, group, plan, cached, parts, use);
    } catch (const std::exception &) {
    }
    if (parts.parts().empty()) return lost ? 0 : 1;

    GroupedSongs songs;
    try {
        groupSongs(parts, songs);
        sendSongLines(songs, group, songsSent);
    } catch (const std::bad_alloc &) {
        error = kHeadersBufferFailed;
        return 0;
    }
    return lost ? 0 : 1;
}

}  // namespace corvane
