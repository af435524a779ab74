#include "songs/parallel_read.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "core/engine_options.h"
#include "core/engine_settings.h"
#include "core/error_text.h"
#include "core/notify.h"
#include "core/operation.h"
#include "net/text_helpers.h"
#include "nntp/overview_layout.h"
#include "nntp/session.h"
#include "songs/collect_group_songs.h"

namespace corvane {
namespace {

// Pieces read ahead of the one the reports have reached, per session: a piece that finished
// early waits only for the pieces before it.
constexpr std::size_t kPiecesAheadPerSession = 2;

// A failure of the connection rather than a reply of the server: another session may do better.
bool connectionFailure(std::string_view error) { return replyCode(error) < 0 && !cancelRequested(); }

void quitUnlessInStep(Connection &connection, bool inStep) {
    if (inStep || !connection) return;
    nntpQuitWithoutReply(connection);
    connection = 0;
}

}  // namespace

ExtraSessions::ExtraSessions(int limit)
    : limit_(std::clamp(limit, 1, kMaxConnections)), slots_(static_cast<std::size_t>(limit_ - 1)) {}

void ExtraSessions::openAhead(int count) {
    if (ahead_) return;
    const int idle = static_cast<int>(std::count_if(slots_.begin(), slots_.end(), [](const Slot &slot) {
        return slot.connection == 0;
    }));
    ahead_.emplace(std::min(count, idle));
}

void ExtraSessions::finishOpening() {
    if (!ahead_) return;
    for (Slot &slot : slots_) {
        if (slot.connection) continue;
        std::string error;
        if (!ahead_->take(slot.connection, error)) break;
        slot.group.clear();
        if (!slot.connection) capped_ = true;
    }
    ahead_.reset();
}

ExtraSessions::~ExtraSessions() {
    finishOpening();
    std::vector<Connection> sessions;
    for (const Slot &slot : slots_) sessions.push_back(slot.connection);
    nntpQuitAll(sessions);
}

void appendParts(PartsTable &to, const PartsTable &from) {
    OverviewEntry entry;
    for (const PartsTable::Part &part : from.parts()) {
        entry.number = part.number;
        entry.baseName = from.names()[part.name];
        entry.messageId = part.messageId();
        entry.date = part.date();
        entry.partIndex = part.partIndex;
        entry.partCount = part.partCount;
        to.add(entry);
    }
}

// One read of a range over several sessions. Each session runs on a thread of its own and takes
// the next piece; the calling thread puts the pieces together in order and sends their reports.
class ParallelRangeRead {
public:
    ParallelRangeRead(ExtraSessions &extra, const std::string &group, int64_t first, int64_t last)
        : extra_(extra), group_(group), operation_(currentOperation()), pipeline_(engineOptions().pipeline) {
        const int64_t span = kPieceBatches * (kBatchSpan + 1);
        for (int64_t start = first; start <= last; start += span) {
            Piece piece;
            piece.first = start;
            piece.last = last - start < span ? last : start + span - 1;
            const bool lastPiece = piece.last == last;
            pieces_.push_back(std::move(piece));
            if (lastPiece) break;
        }
    }

    std::size_t pieceCount() const { return pieces_.size(); }

    int run(std::string &error, Connection &connection, SearchProgress progress, PartsTable &parts) {
        extra_.finishOpening();
        // The search's own session, then the extra ones: once a server refused one, only those
        // still open.
        std::vector<ExtraSessions::Slot *> slots;
        for (ExtraSessions::Slot &slot : extra_.slots_) {
            if (slots.size() + 1 >= pieces_.size()) break;
            if (!extra_.capped_ || slot.connection) slots.push_back(&slot);
        }
        window_ = (slots.size() + 1) * kPiecesAheadPerSession;
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i <= slots.size(); ++i) {
            ExtraSessions::Slot *slot = i == 0 ? nullptr : slots[i - 1];
            {
                std::lock_guard lock(mutex_);
                ++working_;
            }
            try {
                threads.emplace_back([this, slot, &connection] { work(slot ? slot->connection : connection, slot); });
            } catch (const std::system_error &) {
                // Fewer threads: the sessions that have one do the work.
                std::lock_guard lock(mutex_);
                --working_;
                break;
            }
        }
        if (threads.empty()) return -1;
        const int merged = merge(error, progress, parts);
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        for (std::thread &thread : threads) thread.join();
        return merged;
    }

private:
    struct Piece {
        int64_t first = 0;
        int64_t last = 0;
        enum State { Waiting, Reading, Done, Failed } state = Waiting;
        int attempts = 0;
        std::unique_ptr<PartsTable> parts;
        std::vector<uint32_t> lineCounts;
        std::string error;
    };

    // Opens and prepares an extra session; false when it cannot serve (the thread then ends).
    bool prepare(ExtraSessions::Slot &slot) {
        std::string error;
        if (!slot.connection) {
            {
                std::lock_guard lock(mutex_);
                if (extra_.capped_) return false;
            }
            slot.group.clear();
            slot.connection = nntpOpenExtraSession(error);
            if (!slot.connection) {
                std::lock_guard lock(mutex_);
                extra_.capped_ = true;
                return false;
            }
        }
        if (slot.group == group_) return true;
        slot.group.clear();
        if (!nntpGroup(error, slot.connection, group_)) {
            nntpQuitWithoutReply(slot.connection);
            slot.connection = 0;
            return false;
        }
        slot.group = group_;
        return true;
    }

    // The next piece for a session, under the lock; false when there is none left for it.
    bool takePiece(std::unique_lock<std::mutex> &lock, std::size_t &index) {
        // A session without a piece waits: a piece of another one may yet fail and come back.
        changed_.wait(lock, [&] {
            return stop_ || !retries_.empty() || (next_ < pieces_.size() && next_ < merged_ + window_);
        });
        // After a cancel no piece is started.
        if (stop_ || cancelRequested()) return false;
        if (!retries_.empty()) {
            index = retries_.front();
            retries_.pop_front();
        } else {
            index = next_++;
        }
        pieces_[index].state = Piece::Reading;
        ++pieces_[index].attempts;
        return true;
    }

    void work(Connection &connection, ExtraSessions::Slot *slot) {
        HelperScope scope(operation_);
        if (!slot || prepare(*slot)) {
            std::unique_lock lock(mutex_);
            std::size_t index = 0;
            while (connection && takePiece(lock, index)) {
                Piece &piece = pieces_[index];
                lock.unlock();
                auto table = std::make_unique<PartsTable>();
                std::vector<uint32_t> lineCounts;
                std::string error;
                bool inStep = false;
                int read = 0;
                try {
                    table->reserve(static_cast<std::size_t>(piece.last - piece.first + 1));
                    read = readOverviewRange(error, connection, SearchProgress{}, piece.first, piece.last,
                                             overviewLayout(), *table, pipeline_, inStep, &lineCounts);
                    if (!read && cancelRequested()) error = kCancelled;
                } catch (const std::bad_alloc &) {
                    error = kPartsBufferFailed;
                    inStep = false;
                }
                quitUnlessInStep(connection, inStep);
                if (!connection && slot) slot->group.clear();
                lock.lock();
                if (read) {
                    piece.parts = std::move(table);
                    piece.lineCounts = std::move(lineCounts);
                    piece.state = Piece::Done;
                } else if (connectionFailure(error) && piece.attempts < 2) {
                    piece.state = Piece::Waiting;
                    retries_.push_front(index);
                    lastError_ = error;
                } else {
                    piece.lineCounts = std::move(lineCounts);
                    piece.error = error;
                    piece.state = Piece::Failed;
                    lastError_ = error;
                    stop_ = true;
                }
                changed_.notify_all();
            }
        }
        std::lock_guard lock(mutex_);
        --working_;
        changed_.notify_all();
    }

    // Sends the progress reports the read of one piece on the search's own session would have
    // sent, from its line counts; `base` moves on by each batch read whole.
    static void replayProgress(const Piece &piece, double &base, double total) {
        if (statusCallback() == nullptr) {
            for (int64_t start = piece.first; start <= piece.last;) {
                const OverviewBatch batch = overviewBatchAt(start, piece.last);
                base += static_cast<double>(batch.last - batch.first);
                if (batch.last == piece.last) break;
                start = batch.last + 1;
            }
            return;
        }
        ProgressTexts texts;
        int64_t start = piece.first;
        for (uint32_t lines : piece.lineCounts) {
            const OverviewBatch batch = overviewBatchAt(start, piece.last);
            for (uint32_t line = 1; line <= lines; ++line) {
                const double count = base + static_cast<double>(line) + 1;
                notifyGui(kNotifyProgress, texts.text(total != 0 ? count * 100 / total : count));
            }
            base += static_cast<double>(batch.last - batch.first);
            start = batch.last + 1;
        }
    }

    // Puts the pieces together in order as they come in.
    int merge(std::string &error, SearchProgress progress, PartsTable &parts) {
        double base = progress.base;
        for (std::size_t index = 0; index < pieces_.size(); ++index) {
            Piece &piece = pieces_[index];
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] {
                    return piece.state == Piece::Done || piece.state == Piece::Failed || working_ == 0;
                });
                if (piece.state != Piece::Done && piece.state != Piece::Failed) {
                    // Every session has failed before this piece was read.
                    error = lastError_.empty() ? std::string(kCancelled) : lastError_;
                    return 0;
                }
            }
            replayProgress(piece, base, progress.total);
            if (piece.state == Piece::Failed) {
                error = piece.error;
                return 0;
            }
            appendParts(parts, *piece.parts);
            piece.parts.reset();
            piece.lineCounts = std::vector<uint32_t>();
            {
                std::lock_guard lock(mutex_);
                merged_ = index + 1;
            }
            changed_.notify_all();
        }
        return 1;
    }

    ExtraSessions &extra_;
    const std::string &group_;
    OperationState *operation_;
    int pipeline_;
    std::vector<Piece> pieces_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::size_t> retries_;
    std::size_t next_ = 0;
    std::size_t merged_ = 0;
    std::size_t window_ = 1;
    int working_ = 0;
    bool stop_ = false;
    std::string lastError_;
};

int readRangeOnSessions(std::string &error, Connection &connection, const std::string &group,
                        SearchProgress progress, int64_t first, int64_t last, PartsTable &parts,
                        ExtraSessions *extra) {
    if (extra && extra->limit() > 1 && last >= first) {
        ParallelRangeRead read(*extra, group, first, last);
        if (read.pieceCount() > 1) {
            const int result = read.run(error, connection, progress, parts);
            if (result >= 0) return result;
        }
    }
    bool inStep = false;
    const int read = readOverviewRange(error, connection, progress, first, last, overviewLayout(), parts,
                                       engineOptions().pipeline, inStep);
    quitUnlessInStep(connection, inStep);
    return read;
}

}  // namespace corvane
