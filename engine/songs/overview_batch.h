// Reads the overview of one range of article numbers with "xover".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/connection.h"
#include "songs/overview_line.h"

namespace corvane {

// A batch covers its first number and the 50 after it (51 numbers), so each reply stays small.
inline constexpr int64_t kBatchSpan = 50;

// The last number of the batch that starts at `start` in a group whose last number is `last`.
int64_t overviewBatchEnd(int64_t start, int64_t last);

// Where the progress of one batch stands within the whole search.
struct SearchProgress {
    double base = 0;   // overview lines counted for the search before this batch
    double total = 0;  // the search's total; 0 reports bare line counts
};

// Sends "xover first-last" and appends every usable line of the reply to `parts`. A 224 reply
// is read to its end; 420 and 423 ("no articles in that range") are an empty batch; any other
// status fails with the status line as the error. After each line, sends 9004 with
// (base + lines so far + 1) as a percentage of the total, then stops with "Operation cancelled
// by user." when a cancel was requested. Returns 1, or 0 with `error` set.
int readOverviewBatch(std::string &error, Connection connection, int64_t first, int64_t last, SearchProgress progress,
                      const OverviewLayout &layout, std::vector<OverviewEntry> &parts);

}  // namespace corvane
