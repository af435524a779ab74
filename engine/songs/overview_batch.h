// Reads the overview of one range of article numbers with "xover".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/connection.h"
#include "songs/parts_table.h"

namespace corvane {

// A batch covers its first number and the 50 after it (51 numbers), so each reply stays small.
inline constexpr int64_t kBatchSpan = 50;

struct OverviewBatch {
    int64_t first = 0;
    int64_t last = 0;
};

// The batch that starts at `start` in a group whose last article number is `last`.
OverviewBatch overviewBatchAt(int64_t start, int64_t last);

// Where the progress of one batch stands within the whole search.
struct SearchProgress {
    double base = 0;   // overview lines counted for the search before this batch
    double total = 0;  // the search's total; 0 reports bare line counts
};

// The "%3.2f" text of a progress value.
std::string_view progressText(double value, char (&buffer)[64]);

// The same texts for a run of progress values, which mostly change only in digits that are not
// printed: a value inside the rounding range of the last text, with a safe margin, reuses it.
class ProgressTexts {
public:
    std::string_view text(double value);

private:
    char buffer_[64] = {};
    std::string_view last_;
    double low_ = 1;  // an empty range until the first text
    double high_ = 0;
};

// No more than this many bytes of commands go out ahead of the replies, so the server's receive
// buffer never fills while it is blocked sending replies that are not read yet.
inline constexpr std::size_t kMaxCommandBytesAhead = 1u << 20;

// Reads the overview of the numbers first..last: "xover" in batches of 51 numbers, in order, with
// up to `pipeline` commands on the way at once (1: each command only after the previous reply
// has arrived whole). Every usable line goes into `parts`. A 224 reply is read to its end; 420
// and 423 ("no articles in that range") are an empty batch; any other status fails with the
// status line as the error. A line of 4,096 characters or more (servers send long Xref fields)
// is skipped alone. After each line, sends 9004 with (base + lines of this batch so far + 1) as a
// percentage of the total; a cancel then stops the run with "Operation cancelled by user.", and a
// cancel between two batches stops it with the error text unchanged. Returns 1, or 0 with
// `error` set. `inStep` tells whether every command sent has had its reply read, so the
// connection can carry the next command; after a time-out, a closed connection or a cancel with
// replies still on the way it cannot.
// With `lineCounts`, no progress is sent: each batch whose status line was read appends the
// number of lines that would have been reported, so that the reports can be sent later, in the
// same order and with the same values (a range read on another thread).
int readOverviewRange(std::string &error, Connection connection, SearchProgress progress, int64_t first, int64_t last,
                      const OverviewLayout &layout, PartsTable &parts, int pipeline, bool &inStep,
                      std::vector<uint32_t> *lineCounts = nullptr);

}  // namespace corvane
