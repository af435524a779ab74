#include "songs/collect_group_songs.h"

#include <algorithm>
#include <new>

#include "core/engine_options.h"
#include "core/engine_settings.h"
#include "core/error_text.h"
#include "core/notify.h"
#include "net/text_helpers.h"
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

void sendSongLines(const GroupedSongs &grouped, const SearchGroup &group, int64_t &sent) {
    std::string title;
    std::string line;
    for (const GroupedSong &song : grouped.songs) {
        title = song.title;
        cleanSongTitle(title);
        if (!formatSongLine(title, group.category, song.date, group.name, song.partCount, grouped.messageIdsOf(song),
                            line))
            continue;
        notifyGui(kNotifySong, line);
        ++sent;
    }
}

// A connection that may still deliver a reply to an earlier command, or whose server stopped
// answering, is never used again: QUIT goes out without waiting for its answer, and the search
// opens a new session for its next group.
void closeUnlessInStep(Connection &connection, bool inStep) {
    if (inStep) return;
    nntpQuitWithoutReply(connection);
    connection = 0;
}

}  // namespace

int collectGroupSongs(std::string &error, Connection &connection, SearchProgress progress, const SearchGroup &group,
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
    if (!nntpGroup(error, connection, group.name)) {
        // A refusal is the server's reply and leaves the connection in step; a time-out, a closed
        // connection or a socket error does not.
        closeUnlessInStep(connection, replyCode(error) >= 0);
        return 0;
    }
    // An empty group: last 0, or (RFC 3977) a last number below the first.
    if (group.last == 0 || group.last < group.first) return 1;

    bool inStep = false;
    try {
        const int read = readOverviewRange(error, connection, progress, group.first, group.last, overviewLayout(),
                                           parts, engineOptions().pipeline, inStep);
        closeUnlessInStep(connection, inStep);
        if (!read) return 0;
    } catch (const std::bad_alloc &) {
        // Replies may still be on the way.
        closeUnlessInStep(connection, false);
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
