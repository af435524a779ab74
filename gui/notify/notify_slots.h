// Where the engine's reports wait for the GUI thread.
//
// The engine calls StatusCallback on its worker threads; the callback only stores the report in
// the slot for its code and returns. The main window's timer reads and clears the slots on the
// GUI thread. One mutex guards every slot and the song chunks; the callback holds it only while
// it stores.
#pragma once

#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

namespace harbeat {

// The text slots, one per report code that carries a text to keep.
enum class NotifySlot {
    StatusSlot,       // 9000: status line
    EndSlot,          // 9001: an operation failed, or "No Songs."
    GroupListSlot,    // 9002: newsgroup list block
    SearchDoneSlot,   // 9003: search complete
    SaveDoneSlot,     // 9005: every requested song downloaded
    FileSlot,         // 9006: full path of a file just written
    UnavailableSlot,  // 9008: categories whose groups timed out
};

// Song lines are kept in chunks of this many lines, so each append stays short.
inline constexpr int32_t kSongLinesPerChunk = 1000;
// Chunks prepared before a search (more are added when needed).
inline constexpr int kSongChunksForSearch = 101;

// A copy of the song chunks and their counters: lines received = ChunkIndex * 1000 + ChunkFill.
struct SongChunks {
    std::vector<QString> chunks;
    int32_t ChunkIndex = 0;
    int32_t ChunkFill = 0;
};

// Not a report of the engine: the report log's entry for the end of the thread that sent the
// log's first report (the worker of the logged operation). Nothing more comes from that worker.
inline constexpr int32_t kWorkerEnded = 0;

// One report as the engine sent it, kept in order by the report log.
struct LoggedReport {
    int32_t code = 0;
    QString text;
    bool operator==(const LoggedReport &) const = default;
};

class NotifySlots {
public:
    // What the callback does with one report (an OLE string, read to its length prefix): texts replace their slot, 9004
    // stores the leading number, 9007 sets the download flag, 9009 appends a song line; other codes are ignored.
    void store(int32_t code, const char16_t *text);

    QString text(NotifySlot slot) const;
    void setText(NotifySlot slot, const QString &text);
    double progress() const;
    void setProgress(double value);
    bool downloadDone() const;
    void setDownloadDone(bool done);

    // Empties the song chunks to `elements` empty chunks and sets both counters to 0.
    void resetSongChunks(int elements);
    SongChunks songChunks() const;
    // The counters alone, without copying the chunks.
    void songChunkCounters(int32_t &chunkIndex, int32_t &chunkFill) const;

    // Called just before the engine starts an operation: the reports a stopped operation left
    // unread (its end, its file, its songs) belong to it, not to the new one, and are dropped;
    // the song chunks are reset to `songChunks` empty chunks (0: kept). The status line is kept.
    void startOperation(int songChunks = 0);

    // Back to the start state: texts "", progress 0, flag false, one empty chunk, no log.
    void clear();

    // The report log keeps the status, error, file and download-done reports (9000, 9001, 9006,
    // 9007) in the order they came, besides the slots, while it is on: a save reports per song,
    // faster than the window's timer reads the slots. Starting empties it.
    //
    // The thread that sends the first logged report is taken for the operation's worker; when it
    // ends, kWorkerEnded is logged after its last report. An operation whose last report cannot
    // be told from one in between (an error that ends a download, and one that fails a single
    // song, have the same code) has certainly ended then.
    void startReportLog();
    void stopReportLog();
    // The logged reports, oldest first; the log is then empty.
    std::vector<LoggedReport> takeReportLog();

    // A thread that had reported ends (called on that thread, as it ends).
    void reporterEnded(uint64_t reporter);

private:
    void logReport(int32_t code, QStringView text);

    mutable std::mutex mutex_;
    std::array<QString, 7> texts_;
    double progress_ = 0;
    bool downloadDone_ = false;
    SongChunks songs_{std::vector<QString>(1), 0, 0};
    bool logging_ = false;
    std::vector<LoggedReport> log_;
    // The reporter (see reporterEnded) of the log's first report; 0 before it.
    uint64_t logWorker_ = 0;
};

// The program's slots.
NotifySlots &notifySlots();

// The callback the program registers with the engine (mp3Settings). Called on engine threads.
// (The engine's header names the callback's type ::StatusCallback.)
void StatusCallback(int32_t code, const char16_t *text);

}  // namespace harbeat
