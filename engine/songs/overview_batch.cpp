#include "songs/overview_batch.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <deque>

#include "core/engine_options.h"
#include "core/engine_settings.h"
#include "core/error_text.h"
#include "core/notify.h"
#include "net/compressed_transport.h"
#include "net/multiline.h"
#include "net/pending_bytes.h"
#include "net/text_helpers.h"

namespace corvane {
namespace {

constexpr int kOverviewFollows = 224;
// How many times the commands on the way when the session is compressed.
constexpr int kCompressedPipelineFactor = 8;
// RFC 2980 / RFC 3977 answers to a range without articles. Groups with long runs of expired
// articles are the normal case on real servers, so these are empty batches, not failures.
constexpr int kNoArticlesInRange = 420;
constexpr int kNoArticleWithNumber = 423;

// Overview lines as long as a whole response are read whole; the parser takes shorter ones.
constexpr std::size_t kAnyLineLength = kMaxResponseLineBuffer + 1;

int readLines(std::string &error, Connection connection, SearchProgress progress, const OverviewLayout &layout,
              PartsTable &parts, uint32_t *lineCount) {
    // A progress text per line costs more than the parse; skip it when nobody listens.
    const bool reporting = !lineCount && statusCallback() != nullptr;
    std::string_view line;
    OverviewEntry entry;
    ProgressTexts texts;
    for (int64_t lines = 1;; ++lines) {
        if (!readResponseLineView(error, connection, line, kAnyLineLength, false)) return 0;
        if (line.empty()) return 1;
        // Only that line is lost: the others of the batch are as good as ever.
        if (line.size() < kOverviewLineCapacity && parseOverviewLine(line, layout, entry)) parts.add(entry);
        if (lineCount) ++*lineCount;
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

// The commands of one run that are sent and not yet answered, and the batches still to send.
class CommandWindow {
public:
    CommandWindow(int64_t first, int64_t last) : nextStart_(first), last_(last) {}

    bool finished() const { return inFlight_.empty() && !more_; }
    std::size_t unanswered() const { return inFlight_.size(); }
    const OverviewBatch &oldest() const { return inFlight_.front().batch; }

    // Sends the next commands, all in one send, until `limit` are unanswered, the bytes ahead
    // reach their cap, or every batch is sent.
    int fill(std::string &error, Connection connection, int limit) {
        std::string commands;
        const std::size_t window = static_cast<std::size_t>(std::max(limit, 1));
        while (more_ && inFlight_.size() < window && bytesAhead_ < kMaxCommandBytesAhead) {
            const OverviewBatch batch = overviewBatchAt(nextStart_, last_);
            char command[64];
            const int length =
                std::snprintf(command, sizeof command, "xover %" PRId64 "-%" PRId64 "\r\n", batch.first, batch.last);
            commands.append(command, static_cast<std::size_t>(length));
            inFlight_.push_back({batch, static_cast<std::size_t>(length)});
            bytesAhead_ += static_cast<std::size_t>(length);
            more_ = batch.last != last_;
            if (more_) nextStart_ = batch.last + 1;
        }
        return commands.empty() || netSend(error, connection, commands);
    }

    void answered() {
        bytesAhead_ -= inFlight_.front().length;
        inFlight_.pop_front();
    }

    // Reads the replies of every command still on the way and drops them. False when that fails:
    // the connection is then out of step.
    bool drain(Connection connection) {
        std::string ignored;
        std::string_view line;
        while (!inFlight_.empty()) {
            if (!readResponseLineView(ignored, connection, line, kAnyLineLength, true)) return false;
            answered();
        }
        return true;
    }

private:
    struct Sent {
        OverviewBatch batch;
        std::size_t length;
    };
    std::deque<Sent> inFlight_;
    std::size_t bytesAhead_ = 0;
    int64_t nextStart_;
    int64_t last_;
    bool more_ = true;
};

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

int readOverviewRange(std::string &error, Connection connection, SearchProgress progress, int64_t first, int64_t last,
                      const OverviewLayout &layout, PartsTable &parts, int pipeline, bool &inStep,
                      std::vector<uint32_t> *lineCounts) {
    inStep = false;
    if (pipeline > 1) sendWithoutDelay(connection);
    // A compressed reply is a fifth of the bytes or less: more commands are kept on the way, so
    // that as many bytes are in flight as without compression and the link stays full.
    if (pipeline > 1 && compressIsActive(connection))
        pipeline = std::min(pipeline * kCompressedPipelineFactor, kMaxPipeline);
    CommandWindow window(first, last);
    const std::size_t refillAt = static_cast<std::size_t>(std::max(pipeline - std::max(pipeline / 8, 1), 0));
    // The first command goes out even when a cancel is pending, as one at a time always did; the
    // run then stops after its reply.
    if (!window.fill(error, connection, cancelRequested() ? 1 : pipeline)) return 0;
    while (!window.finished()) {
        const OverviewBatch batch = window.oldest();
        std::string_view status;
        // Reads the whole reply; bytes of the next replies behind it are kept for them.
        if (!readResponseLineView(error, connection, status, kOverviewLineCapacity, true)) return 0;
        window.answered();
        if (lineCounts) lineCounts->push_back(0);
        const int code = replyCode(status);
        const bool empty = code == kNoArticlesInRange || code == kNoArticleWithNumber;
        if (!empty && code != kOverviewFollows) {
            error = status;
            // The replies to the commands still on the way are read away, so that none of them
            // can be taken for the answer to a later command.
            inStep = window.drain(connection);
            return 0;
        }
        // The server prepares the next replies while this one is parsed. The window is topped up
        // once an eighth of it has been answered, so that commands go out several to a send
        // instead of one system call (and one packet for the server to take) per reply.
        if (!cancelRequested() && window.unanswered() <= refillAt && !window.fill(error, connection, pipeline))
            return 0;
        if (!empty && !readLines(error, connection, progress, layout, parts, lineCounts ? &lineCounts->back() : nullptr)) {
            inStep = window.unanswered() == 0;
            return 0;
        }
        // A cancel leaves the error text as it is.
        if (cancelRequested()) {
            inStep = window.unanswered() == 0;
            return 0;
        }
        progress.base += static_cast<double>(batch.last - batch.first);
    }
    inStep = true;
    return 1;
}

}  // namespace corvane
