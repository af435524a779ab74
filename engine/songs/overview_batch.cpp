#include "songs/overview_batch.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>

#include "core/engine_settings.h"
#include "core/error_text.h"
#include "core/notify.h"
#include "net/multiline.h"
#include "net/text_helpers.h"

namespace corvane {
namespace {

constexpr int kOverviewFollows = 224;
// RFC 2980 / RFC 3977 answers to a range without articles. Groups with long runs of expired
// articles are the normal case on real servers, so these are empty batches, not failures.
constexpr int kNoArticlesInRange = 420;
constexpr int kNoArticleWithNumber = 423;

// After a failure with the next batch's command already sent: takes its reply off the line.
void discardReply(Connection connection) {
    std::string ignored;
    std::string line;
    readResponseLine(ignored, connection, line, kOverviewLineCapacity, true);
}

int readLines(std::string &error, Connection connection, SearchProgress progress, const OverviewLayout &layout,
              PartsTable &parts) {
    // A progress text per line costs more than the parse; skip it when nobody listens.
    const bool reporting = statusCallback() != nullptr;
    std::string line;
    OverviewEntry entry;
    ProgressTexts texts;
    for (int64_t lines = 1;; ++lines) {
        if (!readResponseLine(error, connection, line, kOverviewLineCapacity, false)) return 0;
        if (line.empty()) return 1;
        if (parseOverviewLine(line, layout, entry)) parts.add(entry);
        if (reporting) {
            const double count = progress.base + static_cast<double>(lines) + 1;
            notifyGui(kNotifyProgress, texts.text(progress.total != 0 ? count * 100 / progress.total : count));
        }
        if (cancelRequested()) {
            error = kCancelled;
            return 0;
        }
    }
}

}  // namespace

OverviewBatch overviewBatchAt(int64_t start, int64_t last) {
    // Compared as a difference, so numbers near the top of the range cannot overflow.
    return {start, last - start <= kBatchSpan ? last : start + kBatchSpan};
}

std::string_view progressText(double value, char (&buffer)[64]) {
    // to_chars with a precision prints exactly what printf's "%.2f" prints, several times faster;
    // the width 3 of "%3.2f" never pads, as "0.00" is already four characters.
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    if (result.ec == std::errc()) return std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer));
    // Only values of 60 digits and more get here, which no line count reaches: cut, not overrun.
    const int length = std::snprintf(buffer, sizeof buffer, "%3.2f", value);
    return std::string_view(buffer, std::min(static_cast<std::size_t>(std::max(length, 0)), sizeof buffer - 1));
}

std::string_view ProgressTexts::text(double value) {
    if (value >= low_ && value <= high_) return last_;
    last_ = progressText(value, buffer_);
    low_ = 1;
    high_ = 0;
    // Every value whose exact decimal expansion lies within half a hundredth of the printed one
    // prints the same. The bounds come from the printed digits, narrowed by a millionth of a
    // hundredth: far above their own rounding error for values below ten million, beyond which
    // nothing is reused.
    constexpr double kLargestReused = 1e7;
    constexpr double kMargin = 1e-6;
    if (!(value >= 0 && value < kLargestReused)) return last_;
    double hundredths = 0;
    for (char c : last_)
        if (c >= '0' && c <= '9') hundredths = hundredths * 10 + (c - '0');
    const double low = (hundredths - 0.5 + kMargin) / 100;
    const double high = (hundredths + 0.5 - kMargin) / 100;
    if (value >= low && value <= high) {
        low_ = low;
        high_ = high;
    }
    return last_;
}

int sendOverviewCommand(std::string &error, Connection connection, const OverviewBatch &batch) {
    char command[64];
    const int length =
        std::snprintf(command, sizeof command, "xover %" PRId64 "-%" PRId64 "\r\n", batch.first, batch.last);
    return netSend(error, connection, command, static_cast<std::size_t>(length));
}

int readOverviewBatch(std::string &error, Connection connection, SearchProgress progress, const OverviewLayout &layout,
                      PartsTable &parts, const OverviewBatch *next) {
    bool nextSent = false;
    std::string status;
    if (!readResponseLine(error, connection, status, kOverviewLineCapacity, true)) return 0;
    const int code = replyCode(status);
    const bool empty = code == kNoArticlesInRange || code == kNoArticleWithNumber;
    if (!empty && code != kOverviewFollows) {
        error = status;
        return 0;
    }
    if (next && !cancelRequested()) {
        if (!sendOverviewCommand(error, connection, *next)) return 0;
        nextSent = true;
    }
    if (empty) return 1;
    // A cancel ends the search, and its QUIT needs no clean connection; everything else goes on.
    try {
        if (readLines(error, connection, progress, layout, parts)) return 1;
    } catch (...) {
        if (nextSent && !cancelRequested()) discardReply(connection);
        throw;
    }
    if (nextSent && !cancelRequested()) discardReply(connection);
    return 0;
}

}  // namespace corvane
