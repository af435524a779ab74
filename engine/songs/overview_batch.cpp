#include "songs/overview_batch.h"

#include <cinttypes>
#include <cstdio>

#include "api/engine_settings.h"
#include "api/error_text.h"
#include "api/notify.h"
#include "net/multiline.h"
#include "net/text_helpers.h"

namespace corvane {
namespace {

constexpr int kOverviewFollows = 224;
// RFC 2980 / RFC 3977 answers to a range without articles. Groups with long runs of expired
// articles are the normal case on real servers, so these are empty batches, not failures.
constexpr int kNoArticlesInRange = 420;
constexpr int kNoArticleWithNumber = 423;

}  // namespace

int64_t overviewBatchEnd(int64_t start, int64_t last) {
    // Compared as a difference, so numbers near the top of the range cannot overflow.
    return last - start <= kBatchSpan ? last : start + kBatchSpan;
}

int readOverviewBatch(std::string &error, Connection connection, int64_t first, int64_t last, SearchProgress progress,
                      const OverviewLayout &layout, std::vector<OverviewEntry> &parts) {
    char command[64];
    const int length = std::snprintf(command, sizeof command, "xover %" PRId64 "-%" PRId64 "\r\n", first, last);
    if (!netSend(error, connection, command, static_cast<std::size_t>(length))) return 0;

    std::string line;
    if (!readResponseLine(error, connection, line, kOverviewLineCapacity, true)) return 0;
    const int status = replyCode(line);
    if (status == kNoArticlesInRange || status == kNoArticleWithNumber) return 1;
    if (status != kOverviewFollows) {
        error = line;
        return 0;
    }

    // Formatting a progress text per line costs more than the parse; skip it when nobody listens.
    const bool reporting = statusCallback() != nullptr;
    OverviewEntry entry;
    for (int64_t lines = 1;; ++lines) {
        if (!readResponseLine(error, connection, line, kOverviewLineCapacity, false)) return 0;
        if (line.empty()) return 1;
        if (parseOverviewLine(line, layout, entry)) {
            parts.push_back(std::move(entry));
            entry = OverviewEntry{};
        }
        if (reporting) {
            const double count = progress.base + static_cast<double>(lines) + 1;
            notifyProgress(progress.total != 0 ? count * 100 / progress.total : count);
        }
        if (cancelRequested()) {
            error = kCancelled;
            return 0;
        }
    }
}

}  // namespace corvane
