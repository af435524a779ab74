// Reads the overview of one range of article numbers with "xover".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

// Sends "xover first-last\r\n".
int sendOverviewCommand(std::string &error, Connection connection, const OverviewBatch &batch);

// Reads the reply to the batch's "xover" (already sent) and adds every usable line to `parts`.
// A 224 reply is read to its end; 420 and 423 ("no articles in that range") are an empty batch;
// any other status fails with the status line as the error. After each line, sends 9004 with
// (base + lines so far + 1) as a percentage of the total, then stops with "Operation cancelled
// by user." when a cancel was requested. When `next` is given and no cancel is pending, its
// command is sent as soon as this reply has arrived whole, so the server prepares it while this
// one is parsed; a failure after that reads the next reply away, so the connection stays in
// step. Returns 1, or 0 with `error` set.
int readOverviewBatch(std::string &error, Connection connection, SearchProgress progress, const OverviewLayout &layout,
                      PartsTable &parts, const OverviewBatch *next);

}  // namespace corvane
