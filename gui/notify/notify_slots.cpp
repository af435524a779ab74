#include "notify/notify_slots.h"

#include <QStringView>
#include <algorithm>
#include <atomic>
#include <cstring>

#include "corvane_n.h"
#include "text/value_text.h"

namespace harbeat {
namespace {

// A report is an OLE string: its length is the byte count in front of the text, not the first
// zero unit, so that a NUL inside a text can neither cut a report nor join two song lines.
QStringView reportText(const char16_t *text) {
    if (!text) return {};
    uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<const unsigned char *>(text) - sizeof bytes, sizeof bytes);
    return QStringView(text, static_cast<qsizetype>(bytes / sizeof(char16_t)));
}

std::size_t slotIndex(NotifySlot slot) { return static_cast<std::size_t>(slot); }

bool textSlotOf(int32_t code, NotifySlot &slot) {
    switch (code) {
        case kNotifyStatus: slot = NotifySlot::StatusSlot; return true;
        case kNotifyError: slot = NotifySlot::EndSlot; return true;
        case kNotifyGroupList: slot = NotifySlot::GroupListSlot; return true;
        case kNotifySearchDone: slot = NotifySlot::SearchDoneSlot; return true;
        case kNotifySaveDone: slot = NotifySlot::SaveDoneSlot; return true;
        case kNotifyFileWritten: slot = NotifySlot::FileSlot; return true;
        case kNotifyUnavailable: slot = NotifySlot::UnavailableSlot; return true;
        default: return false;
    }
}

bool loggedCode(int32_t code) {
    return code == kNotifyStatus || code == kNotifyError || code == kNotifyFileWritten || code == kNotifyDownloadDone;
}

// One per thread that reports: numbers the thread, and tells the program's slots when the thread
// ends (its destructor runs at the thread's end, after its last report).
class ReportingThread {
public:
    ReportingThread() : number_(++lastNumber) {}
    ~ReportingThread() { notifySlots().reporterEnded(number_); }
    ReportingThread(const ReportingThread &) = delete;
    ReportingThread &operator=(const ReportingThread &) = delete;
    uint64_t number() const { return number_; }

private:
    static inline std::atomic<uint64_t> lastNumber{0};
    uint64_t number_;
};

uint64_t thisReporter() {
    thread_local const ReportingThread thread;
    return thread.number();
}

}  // namespace

void NotifySlots::logReport(int32_t code, QStringView text) {
    if (!loggedCode(code)) return;
    const uint64_t reporter = thisReporter();
    std::lock_guard lock(mutex_);
    if (!logging_) return;
    log_.push_back({code, text.toString()});
    if (logWorker_ == 0) logWorker_ = reporter;
}

void NotifySlots::reporterEnded(uint64_t reporter) {
    std::lock_guard lock(mutex_);
    if (!logging_ || reporter != logWorker_) return;
    log_.push_back({kWorkerEnded, QString()});
    logWorker_ = 0;
}

void NotifySlots::startReportLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
    logging_ = true;
    logWorker_ = 0;
}

void NotifySlots::stopReportLog() {
    std::lock_guard lock(mutex_);
    logging_ = false;
    log_.clear();
    logWorker_ = 0;
}

std::vector<LoggedReport> NotifySlots::takeReportLog() {
    std::vector<LoggedReport> taken;
    std::lock_guard lock(mutex_);
    taken.swap(log_);
    return taken;
}

void NotifySlots::store(int32_t code, const char16_t *text) {
    const QStringView view = reportText(text);
    logReport(code, view);
    NotifySlot slot;
    if (textSlotOf(code, slot)) {
        QString copy = view.toString();  // allocated before the lock is taken
        std::lock_guard lock(mutex_);
        texts_[slotIndex(slot)].swap(copy);
        return;
    }
    switch (code) {
        case kNotifyProgress: {
            const double value = leadingNumber(view);
            std::lock_guard lock(mutex_);
            progress_ = value;
            return;
        }
        case kNotifyDownloadDone: {
            std::lock_guard lock(mutex_);
            downloadDone_ = true;
            return;
        }
        case kNotifySong: {
            std::lock_guard lock(mutex_);
            // Grown on demand: a search may bring more lines than the chunks prepared for it.
            const auto index = static_cast<std::size_t>(songs_.ChunkIndex);
            if (index >= songs_.chunks.size()) songs_.chunks.resize(index + 1);
            songs_.chunks[index].append(view);
            if (++songs_.ChunkFill >= kSongLinesPerChunk) {
                ++songs_.ChunkIndex;
                songs_.ChunkFill = 0;
            }
            return;
        }
        default: return;
    }
}

QString NotifySlots::text(NotifySlot slot) const {
    std::lock_guard lock(mutex_);
    return texts_[slotIndex(slot)];
}

void NotifySlots::setText(NotifySlot slot, const QString &text) {
    std::lock_guard lock(mutex_);
    texts_[slotIndex(slot)] = text;
}

double NotifySlots::progress() const {
    std::lock_guard lock(mutex_);
    return progress_;
}

void NotifySlots::setProgress(double value) {
    std::lock_guard lock(mutex_);
    progress_ = value;
}

bool NotifySlots::downloadDone() const {
    std::lock_guard lock(mutex_);
    return downloadDone_;
}

void NotifySlots::setDownloadDone(bool done) {
    std::lock_guard lock(mutex_);
    downloadDone_ = done;
}

void NotifySlots::resetSongChunks(int elements) {
    std::vector<QString> fresh(static_cast<std::size_t>(std::max(elements, 1)));
    std::lock_guard lock(mutex_);
    // The old chunks are released after the lock, by `fresh` going out of scope.
    songs_.chunks.swap(fresh);
    songs_.ChunkIndex = 0;
    songs_.ChunkFill = 0;
}

SongChunks NotifySlots::songChunks() const {
    std::lock_guard lock(mutex_);
    return songs_;
}

void NotifySlots::songChunkCounters(int32_t &chunkIndex, int32_t &chunkFill) const {
    std::lock_guard lock(mutex_);
    chunkIndex = songs_.ChunkIndex;
    chunkFill = songs_.ChunkFill;
}

void NotifySlots::startOperation(int songChunks) {
    if (songChunks > 0) resetSongChunks(songChunks);
    std::lock_guard lock(mutex_);
    for (NotifySlot slot : {NotifySlot::EndSlot, NotifySlot::GroupListSlot, NotifySlot::SearchDoneSlot,
                            NotifySlot::SaveDoneSlot, NotifySlot::FileSlot, NotifySlot::UnavailableSlot})
        texts_[slotIndex(slot)].clear();
    progress_ = 0;
    downloadDone_ = false;
}

void NotifySlots::clear() {
    resetSongChunks(1);
    std::lock_guard lock(mutex_);
    for (QString &text : texts_) text.clear();
    progress_ = 0;
    downloadDone_ = false;
    logging_ = false;
    log_.clear();
    logWorker_ = 0;
}

NotifySlots &notifySlots() {
    static NotifySlots programSlots;
    return programSlots;
}

void StatusCallback(int32_t code, const char16_t *text) { notifySlots().store(code, text); }

}  // namespace harbeat
