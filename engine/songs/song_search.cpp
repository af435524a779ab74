#include "songs/song_search.h"

#include <algorithm>
#include <vector>

#include "core/engine_options.h"
#include "core/engine_settings.h"
#include "core/error_text.h"
#include "core/notify.h"
#include "nntp/session.h"
#include "songs/collect_group_songs.h"
#include "songs/parallel_read.h"
#include "songs/search_request.h"
#include "songs/unavailable_list.h"

namespace corvane {
namespace {

struct SearchState {
    EngineOptions options = engineOptions();
    OverviewCache cache{options.overviewCache, engineSettings().server, engineSettings().port, options.tls};
    std::string error;  // the last failure's text, sent with 9001
    Connection connection = 0;
    ExtraSessions extra{options.connections};
    std::vector<SearchGroup> groups;
    double progressTotal = 0;
    std::string unavailable;
    int64_t songsSent = 0;
    std::string groupFailure;  // the first failure of a group in the second pass, other than a time-out
};

// First pass. Returns 0 when the search has ended (its last report is sent).
int selectGroups(SearchState &state, const std::vector<SearchRequestLine> &lines) {
    for (const SearchRequestLine &line : lines) {
        int64_t count = 0;
        int64_t first = 0;
        int64_t last = 0;
        // A group that timed out closed the connection: its late reply must not answer the next
        // group's command, so the next group gets a new session.
        if (!state.connection) state.connection = nntpOpenStoredSession(state.error);
        if (state.connection && nntpGroup(state.error, state.connection, line.newsgroup, &count, &first, &last)) {
            SearchGroup group{line.newsgroup, line.category};
            if (setGroupRange(state.error, group, first, last)) {
                state.progressTotal += static_cast<double>(group.count);
                state.groups.push_back(std::move(group));
            } else {
                notifyGui(kNotifyError, state.error);  // that group fails alone
            }
        } else if (isTimeOut(state.error)) {
            addUnavailableCategory(state.unavailable, line.category);
            if (state.connection) nntpQuitWithoutReply(state.connection);
            state.connection = 0;
        } else {
            // A group the server refuses (for example one it does not carry) ends the search.
            notifyGui(kNotifyError, state.error);
            return 0;
        }
        if (cancelRequested()) {
            notifyGui(kNotifyError, state.error);
            return 0;
        }
    }
    return 1;
}

// Between the passes: each group is narrowed to the search depth, and the progress total counts
// only the articles that will be read from the server.
void planGroupReads(SearchState &state) {
    state.progressTotal = 0;
    int64_t mostPieces = 0;
    for (SearchGroup &group : state.groups) {
        planGroupRead(group, state.options.searchDepth, &state.cache);
        state.progressTotal += static_cast<double>(group.count);
        mostPieces = std::max(mostPieces, group.count / (kPieceBatches * (kBatchSpan + 1)) + 1);
    }
    // A group to be read in pieces uses extra sessions: they open while the groups are selected
    // again, not after.
    if (mostPieces > 1 && state.extra.limit() > 1)
        state.extra.openAhead(static_cast<int>(std::min<int64_t>(mostPieces - 1, state.extra.limit() - 1)));
}

// Second pass. Returns 0 when the search has ended (its last report is sent).
int readGroups(SearchState &state) {
    SearchProgress progress{0, state.progressTotal};
    for (const SearchGroup &group : state.groups) {
        int64_t sent = 0;
        // A group that left the connection unusable closed it: the next group gets a new session.
        const bool connected = state.connection || (state.connection = nntpOpenStoredSession(state.error));
        // A group ended by a cancel is not a failed group: the cancel report below covers it.
        if ((!connected || !collectGroupSongs(state.error, state.connection, progress, group, sent, &state.cache, &state.extra)) &&
            !cancelRequested()) {
            if (isTimeOut(state.error)) {
                addUnavailableNewsgroup(state.unavailable, group.name);
            } else {
                notifyGui(kNotifyError, state.error);
                if (state.groupFailure.empty()) state.groupFailure = state.error;
            }
        }
        state.songsSent += sent;
        progress.base += static_cast<double>(group.count);
        if (cancelRequested()) {
            notifyGui(kNotifyError, state.error);
            return 0;
        }
    }
    return 1;
}

void runSearch(SearchState &state, const std::string &searchRequest) {
    std::vector<SearchRequestLine> lines;
    if (!parseSearchRequest(searchRequest, lines)) {
        notifyGui(kNotifyError, kTooManyNewsgroups);
        return;
    }
    state.connection = nntpOpenStoredSession(state.error);
    if (!state.connection) {
        notifyGui(kNotifyError, state.error);
        return;
    }
    notifyGui(kNotifyStatus, "Searching...");
    if (!selectGroups(state, lines)) return;
    notifyGui(kNotifyStatus, "Searching... DONE!");
    planGroupReads(state);
    if (!readGroups(state)) return;

    if (!state.unavailable.empty() && !cancelRequested()) notifyGui(kNotifyUnavailable, state.unavailable);
    if (state.songsSent > 0 || cancelRequested())
        notifyGui(kNotifySearchDone, "DONE");
    else if (!state.groupFailure.empty())
        // The groups were not all read: "No Songs." would say they hold none. The search ends
        // with what stopped the first group that failed (a lost server makes the later ones fail
        // too, for the reason of their own).
        notifyGui(kNotifyError, state.groupFailure);
    else
        notifyGui(kNotifyError, "No Songs.");
}

}  // namespace

void songSearchWorker(const std::string &searchRequest) {
    SearchState state;
    try {
        runSearch(state, searchRequest);
    } catch (...) {
        // Only memory can run out here; the GUI still needs a last report to return to idle.
        try {
            notifyGui(kNotifyError, kOutOfMemory);
        } catch (...) {
        }
    }
    nntpQuit(state.connection);
}

}  // namespace corvane
