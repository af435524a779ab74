#include "songs/collect_group_songs.h"

#include <algorithm>
#include <new>
#include <string>

#include "core/engine_settings.h"
#include "core/notify.h"
#include "nntp/session.h"
#include "songs/song_grouping.h"
#include "songs/song_line.h"
#include "songs/title_prefixes.h"

namespace corvane {
namespace {

// The parts table starts with room for this many entries at most (24 MB) and grows as lines
// arrive: servers announce ranges of millions of numbers for groups whose articles mostly
// expired. Reserving claims address space only; pages become resident as lines fill them.
constexpr int64_t kInitialPartsCapacity = int64_t(1) << 20;

int readGroupOverview(std::string &error, Connection connection, SearchProgress progress, const SearchGroup &group,
                      PartsTable &parts) {
    const OverviewLayout layout = overviewLayout();
    OverviewBatch batch = overviewBatchAt(group.first, group.last);
    if (!sendOverviewCommand(error, connection, batch)) return 0;
    for (;;) {
        const bool lastBatch = batch.last == group.last;
        const OverviewBatch next = lastBatch ? OverviewBatch{} : overviewBatchAt(batch.last + 1, group.last);
        if (!readOverviewBatch(error, connection, progress, layout, parts, lastBatch ? nullptr : &next)) return 0;
        // A cancel leaves the error text as it is; it also kept the next command from going out.
        if (cancelRequested()) return 0;
        if (lastBatch) return 1;
        progress.base += static_cast<double>(batch.last - batch.first);
        batch = next;
    }
}

void sendSongLines(const GroupedSongs &grouped, const SearchGroup &group, int64_t &sent) {
    std::string title;
    std::string line;
    for (const GroupedSong &song : grouped.songs) {
        title = song.title;
        stripTitlePrefixes(title);
        if (!formatSongLine(title, group.category, song.date, group.name, song.partCount, grouped.messageIdsOf(song),
                            line))
            continue;
        notifyGui(kNotifySong, line);
        ++sent;
    }
}

}  // namespace

int setGroupRange(std::string &error, SearchGroup &group, int64_t first, int64_t last) {
    // Both kept non-negative, so that their difference cannot overflow.
    group.first = std::max<int64_t>(first, 0);
    group.last = std::max<int64_t>(last, 0);
    group.count = std::max<int64_t>(group.last - group.first, 0);
    if (group.count < kMaxGroupRange) return 1;
    error = "The server announced an impossible article range " + std::to_string(first) + "-" + std::to_string(last) +
            " for " + group.name + "; the group is skipped.";
    return 0;
}

int collectGroupSongs(std::string &error, Connection connection, SearchProgress progress, const SearchGroup &group,
                      int64_t &songsSent) {
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
    if (!nntpGroup(error, connection, group.name)) return 0;
    // An empty group: last 0, or (RFC 3977) a last number below the first.
    if (group.last == 0 || group.last < group.first) return 1;

    try {
        if (!readGroupOverview(error, connection, progress, group, parts)) return 0;
    } catch (const std::bad_alloc &) {
        error = kPartsBufferFailed;
        return 0;
    }
    if (parts.parts().empty()) return 1;

    GroupedSongs songs;
    try {
        groupSongs(parts, songs);
        sendSongLines(songs, group, songsSent);
    } catch (const std::bad_alloc &) {
        error = kHeadersBufferFailed;
        return 0;
    }
    return 1;
}

}  // namespace corvane
