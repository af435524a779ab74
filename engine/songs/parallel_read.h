// Reads the overview of one range over several sessions at once: the range is cut into pieces
// of whole batches, each piece is read pipelined on one session, and the pieces are put together
// in article order, with the progress reports a read on one session sends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/connection.h"
#include "nntp/session_openings.h"
#include "songs/overview_batch.h"
#include "songs/parts_table.h"

namespace corvane {

// Batches of one piece: large enough that a piece costs far more than its one round trip to
// start, small enough that a range of a few hundred thousand numbers feeds every session.
inline constexpr int64_t kPieceBatches = 256;

// The sessions a search may use besides its own, kept open from one group to the next. A
// session the server refuses (a greeting 400 or 502, a login refused, a closed connection)
// caps the search at the sessions already open, without a word to the user.
class ExtraSessions {
public:
    // `limit`: the sessions allowed in all, the search's own included.
    explicit ExtraSessions(int limit);
    ~ExtraSessions();
    ExtraSessions(const ExtraSessions &) = delete;
    ExtraSessions &operator=(const ExtraSessions &) = delete;

    // Sessions that may be used, the search's own included.
    int limit() const { return limit_; }

    // Starts opening up to `count` sessions now, on threads of their own, so that they are ready
    // when the first range of several pieces is read rather than a connect and a greeting later.
    void openAhead(int count);

private:
    friend class ParallelRangeRead;
    struct Slot {
        Connection connection = 0;
        std::string group;  // the group selected on it
    };
    // Hands the sessions opened ahead to the slots; a refused one caps the sessions as a refusal
    // on the way does.
    void finishOpening();

    int limit_;
    bool capped_ = false;      // a session was refused: no more are opened
    std::vector<Slot> slots_;  // limit - 1 slots
    std::optional<SessionOpenings> ahead_;
};

// Reads first..last into `parts` as readOverviewRange on `connection` would, with the same
// progress reports and the same parts in the same order, over `connection` (whose group is
// already `group`) and up to extra.limit() - 1 more sessions. A range of a single piece, or a
// limit of 1, is read on `connection` alone with exactly the commands of readOverviewRange.
// A piece whose session fails on the way (a time-out, a closed connection) is read once more on
// another; a second failure, or a refusal, fails the whole range with its text. `connection`
// becomes 0 when it cannot carry another command.
int readRangeOnSessions(std::string &error, Connection &connection, const std::string &group,
                        SearchProgress progress, int64_t first, int64_t last, PartsTable &parts,
                        ExtraSessions *extra);

// Adds copies of the parts of `from` after those of `to`, in their order.
void appendParts(PartsTable &to, const PartsTable &from);

}  // namespace corvane
