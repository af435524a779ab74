#include "download/parallel_fetch.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "core/engine_options.h"
#include "core/engine_settings.h"
#include "core/error_text.h"
#include "core/notify.h"
#include "core/operation.h"
#include "decode/article_decoder.h"
#include "decode/dot_stuffing.h"
#include "net/multiline.h"
#include "net/pending_bytes.h"
#include "net/text_helpers.h"
#include "nntp/session.h"

namespace corvane {
namespace {

// A 4xx or 5xx reply is the server's answer, read whole; anything else is the connection's failure.
bool isRefusal(std::string_view error) {
    const int code = replyCode(error);
    return code >= 400 && code < 600;
}

// Reads the reply to a "group" sent ahead of articles: true for 211. A reply of the server that
// refuses the group sets `refused`, with the reply as the error.
bool groupSelected(std::string &error, Connection session, bool &refused) {
    std::string reply;
    if (!readReplyLine(error, session, reply)) return false;
    if (replyCode(reply) == 211) return true;
    error = reply;
    refused = true;
    return false;
}

// One article of the queue and what became of it.
struct QueuedArticle {
    std::size_t song = 0;
    const std::string *group = nullptr;
    const std::string *messageId = nullptr;
    enum State { Waiting, Fetching, Fetched, Failed, Skipped } state = Waiting;
    int attempts = 0;
    std::string text;   // the reply's data lines, once fetched
    std::string error;  // why it failed
    bool lacked = false;  // the failure is the server's answer to "article" that it lacks it
};

// The sessions and their threads. The download thread takes the articles in queue order; the
// sessions fetch ahead of it by at most a few articles each.
class ArticleFetcher {
public:
    ArticleFetcher(std::vector<QueuedArticle> &queue, std::size_t songCount, Connection &connection, int sessions,
                   SessionOpenings *early)
        : queue_(queue),
          early_(early),
          abandoned_(songCount, false),
          operation_(currentOperation()),
          inFlight_(static_cast<std::size_t>(std::clamp(engineOptions().pipeline, 1, kArticlesInFlightPerSession))) {
        const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(std::max(sessions, 1)), queue.size());
        window_ = std::max<std::size_t>(count, 1) * (inFlight_ + 1);
        extra_.resize(count > 0 ? count - 1 : 0);
        for (std::size_t i = 0; i < count; ++i) {
            {
                std::lock_guard lock(mutex_);
                ++working_;
            }
            try {
                Connection &session = i == 0 ? connection : extra_[i - 1];
                threads_.emplace_back([this, &session] { work(session); });
            } catch (const std::system_error &) {
                std::lock_guard lock(mutex_);
                --working_;
                break;
            }
        }
    }

    ~ArticleFetcher() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        for (std::thread &thread : threads_) thread.join();
        // After a cancel nobody waits for the server's goodbye.
        if (cancelRequested())
            for (Connection session : extra_) nntpQuitWithoutReply(session);
        else
            nntpQuitAll(extra_);
    }

    ArticleFetcher(const ArticleFetcher &) = delete;
    ArticleFetcher &operator=(const ArticleFetcher &) = delete;

    bool running() const { return !threads_.empty(); }

    // Waits for article `index`: 1 with its text, 0 with the error; `lacked` when the error is
    // the server's answer to the article that it does not have it.
    int take(std::size_t index, std::string &text, std::string &error, bool &lacked) {
        std::unique_lock lock(mutex_);
        consumed_ = std::max(consumed_, index);
        changed_.notify_all();
        QueuedArticle &article = queue_[index];
        changed_.wait(lock, [&] {
            return article.state == QueuedArticle::Fetched || article.state == QueuedArticle::Failed || working_ == 0;
        });
        if (article.state == QueuedArticle::Fetched) {
            text = std::move(article.text);
            article.text = std::string();
            return 1;
        }
        error = article.state == QueuedArticle::Failed ? article.error : lastError_;
        lacked = article.state == QueuedArticle::Failed && article.lacked;
        if (error.empty()) error = kCancelled;
        return 0;
    }

    // The main server has answered that it lacks article `index`.
    bool lackedNow(std::size_t index) {
        std::lock_guard lock(mutex_);
        return queue_[index].state == QueuedArticle::Failed && queue_[index].lacked;
    }

    // The song has ended early: its articles still queued are not fetched, those fetched are freed.
    void abandon(std::size_t song) {
        std::lock_guard lock(mutex_);
        abandoned_[song] = true;
        for (QueuedArticle &article : queue_) {
            if (article.song != song) continue;
            if (article.state == QueuedArticle::Waiting) article.state = QueuedArticle::Skipped;
            article.text = std::string();
        }
        changed_.notify_all();
    }

private:
    // The next article a session may fetch, under the lock: a retry first, then the queue's next
    // within the window. Articles of songs that ended are passed over.
    bool nextArticle(std::size_t &index) {
        while (!retries_.empty()) {
            index = retries_.front();
            retries_.pop_front();
            if (queue_[index].state == QueuedArticle::Waiting) return true;
        }
        while (next_ < queue_.size() && next_ <= consumed_ + window_) {
            index = next_++;
            if (queue_[index].state == QueuedArticle::Waiting && !abandoned_[queue_[index].song]) return true;
            if (queue_[index].state == QueuedArticle::Waiting) queue_[index].state = QueuedArticle::Skipped;
        }
        return false;
    }

    // Articles a session keeps on the way: a few while the queue is long; once it runs short,
    // two, enough to keep the session busy without leaving it a tail of articles to fetch alone
    // while the other sessions have run out of work.
    std::size_t depth() const {
        const std::size_t left = retries_.size() + (queue_.size() - next_);
        const std::size_t sessions = static_cast<std::size_t>(std::max(working_, 1));
        return left >= sessions * inFlight_ ? inFlight_ : std::min<std::size_t>(inFlight_, 2);
    }

    bool anyWork() const {
        return !retries_.empty() || (next_ < queue_.size() && next_ <= consumed_ + window_);
    }

    // Records the failure of an article; a session's failure sends it to another session once.
    void failed(std::size_t index, const std::string &error, bool sessionFailure) {
        QueuedArticle &article = queue_[index];
        lastError_ = error;
        if (sessionFailure && article.attempts < 2 && !cancelRequested()) {
            article.state = QueuedArticle::Waiting;
            retries_.push_front(index);
        } else {
            article.state = QueuedArticle::Failed;
            article.error = error;
        }
    }

    // Opens a session for a thread whose session is closed; false once a server refused one.
    bool open(Connection &session) {
        {
            std::lock_guard lock(mutex_);
            if (capped_) return false;
        }
        std::string error;
        if (!early_ || !early_->take(session, error)) session = nntpOpenExtraSession(error);
        if (session) return true;
        std::lock_guard lock(mutex_);
        capped_ = true;
        if (lastError_.empty()) lastError_ = error;
        return false;
    }

    void work(Connection &session) {
        HelperScope scope(operation_);
        std::string group;  // selected on the session; empty: unknown
        std::deque<std::size_t> sent;
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] { return stop_ || !sent.empty() || anyWork(); });
            // After a cancel nothing more is asked for, and no session is opened again.
            if (stop_ || (sent.empty() && cancelRequested())) break;
            // Opens a session first when the thread has none (an extra one, or one that dropped).
            if (!session) {
                lock.unlock();
                const bool opened = open(session);
                lock.lock();
                if (!opened) break;
                group.clear();
            }
            // Takes articles until a few are on the way. A change of group waits for the replies
            // of the articles of the group before; the "group" command then goes out together
            // with the first articles of the new group.
            std::string commands;
            bool groupSent = false;
            std::size_t index = 0;
            while (sent.size() < depth() && nextArticle(index)) {
                QueuedArticle &article = queue_[index];
                if (*article.group != group) {
                    if (!sent.empty()) {
                        retries_.push_front(index);
                        break;
                    }
                    group = *article.group;
                    commands = "group " + group + "\r\n";
                    groupSent = true;
                }
                article.state = QueuedArticle::Fetching;
                ++article.attempts;
                commands += "article " + *article.messageId + "\r\n";
                sent.push_back(index);
            }
            if (!session || sent.empty()) continue;
            lock.unlock();
            std::string error;
            std::string text;
            int read = 0;
            bool groupRefused = false;
            try {
                if (inFlight_ > 1) sendWithoutDelay(session);
                bool ready = commands.empty() || netSend(error, session, commands);
                if (ready && groupSent) ready = groupSelected(error, session, groupRefused);
                if (ready) read = readMultiLineResponse(error, session, 220, kResponseTerminator, text);
            } catch (const std::bad_alloc &) {
                error = kOutOfMemory;
            }
            const bool inStep = read || (isRefusal(error) && !groupRefused);
            if (!inStep) {
                // Replies may still be on the way: the session is closed, and every article on
                // it goes back to the queue (or fails on its second try). Behind a refused
                // "group" are the replies of its articles: they are not read either.
                nntpQuitWithoutReply(session);
                session = 0;
            }
            lock.lock();
            if (groupRefused) {
                // The server does not have the group: its articles fail with its answer, as
                // they would one after another.
                for (std::size_t other : sent) failed(other, error, false);
                sent.clear();
                group.clear();
                changed_.notify_all();
                continue;
            }
            const std::size_t answered = sent.front();
            sent.pop_front();
            if (read) {
                queue_[answered].text = std::move(text);
                queue_[answered].state = QueuedArticle::Fetched;
                if (abandoned_[queue_[answered].song]) queue_[answered].text = std::string();
            } else {
                failed(answered, error, !inStep);
                queue_[answered].lacked = inStep && isMissingArticleReply(error);
            }
            if (!inStep) {
                for (std::size_t other : sent) failed(other, error, true);
                sent.clear();
                group.clear();
            }
            changed_.notify_all();
        }
        // Whatever is still on the way is not read: the session is closed.
        for (std::size_t other : sent) failed(other, lastError_.empty() ? std::string(kCancelled) : lastError_, true);
        --working_;
        changed_.notify_all();
        if (!sent.empty() && session) {
            lock.unlock();
            nntpQuitWithoutReply(session);
            session = 0;
        }
    }

    std::vector<QueuedArticle> &queue_;
    SessionOpenings *early_;
    std::vector<bool> abandoned_;
    OperationState *operation_;
    std::size_t inFlight_;
    std::size_t window_ = 1;
    std::vector<Connection> extra_;
    std::vector<std::thread> threads_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::size_t> retries_;
    std::size_t next_ = 0;
    std::size_t consumed_ = 0;
    int working_ = 0;
    bool stop_ = false;
    bool capped_ = false;
    std::string lastError_;
};

// One song from its fetched articles, as downloadSong does on one session.
// Articles the main server lacks are asked of the backup here, on the download thread, in order.
int assembleSong(std::string &error, ArticleFetcher &fetcher, const DownloadParameters &parameters,
                 int64_t totalArticles, int64_t runningArticle, const std::vector<QueuedArticle> &queue,
                 std::size_t first, std::size_t count, BackupServer *backup) {
    DecodedFileList list;
    MissingParts missing;
    const auto fail = [&] {
        if (backup) backup->forgetRequests();
        freeDecodedFiles(list);
        return 0;
    };
    const auto reportProgress = [&] {
        notifyProgress(
            totalArticles > 0 ? static_cast<double>(runningArticle) * 100 / static_cast<double>(totalArticles) : 100.0);
        ++runningArticle;
    };
    // The group and message-id of a queued article are set before the sessions start and never
    // change: read without the lock.
    const auto askBackup = [&](std::size_t i) { backup->request(i, *queue[first + i].messageId); };
    for (std::size_t i = 0; i < count; ++i) {
        std::string text;
        bool lacked = false;
        const bool askedAlready = backup && backup->requested(i);
        if (!askedAlready && !fetcher.take(first + i, text, error, lacked)) {
            if (!lacked || !askBackupAfter(backup, error)) return fail();
            askBackup(i);
            // The song's misses known by now go out with it: the backup answers them together.
            for (std::size_t j = i + 1; j < count; ++j)
                if (!backup->requested(j) && fetcher.lackedNow(first + j)) askBackup(j);
        }
        if (backup && backup->requested(i) && !takeMissingPart(*backup, i, i + 1, text, missing)) {
            if (cancelRequested()) {
                error = kCancelled;
                return fail();
            }
            // The song's other parts are still read, so that the failure names every part
            // missing on both servers.
            reportProgress();
            continue;
        }
        undoDotStuffing(text);
        if (decodeArticle(text.data(), text.size(), &list) == kArticleTooManyParts) {
            error = kTooManyPartsError;
            return fail();
        }
        reportProgress();
        text = std::string();
        if (cancelRequested()) {
            error = kCancelled;
            return fail();
        }
    }
    if (!missing.empty()) return failMissingParts(error, missing, list);
    return finishSong(error, parameters, list);
}

}  // namespace

int earlySessionCount(const DownloadParameters &parameters, const std::vector<RequestedSong> &songs, int sessions) {
    int64_t articles = 0;
    for (const RequestedSong &song : songs) articles += parameters.preview ? std::min<int64_t>(song.partCount, 1) : song.partCount;
    return static_cast<int>(std::clamp<int64_t>(std::min<int64_t>(sessions, articles) - 1, 0, kMaxConnections));
}

bool downloadSongsOnSessions(Connection &connection, const DownloadParameters &parameters,
                             const std::vector<RequestedSong> &songs, int sessions, SessionOpenings *early,
                             BackupServer *backup) {
    // The queue: every article to fetch, song by song; songs refused before fetching add none.
    std::vector<std::vector<std::string>> messageIds(songs.size());
    std::vector<std::string> refusals(songs.size());
    std::vector<std::size_t> firstArticle(songs.size());
    std::vector<QueuedArticle> queue;
    for (std::size_t k = 0; k < songs.size(); ++k) {
        messageIds[k] = splitMessageIds(songs[k].messageIdList);
        firstArticle[k] = queue.size();
        if (!checkSongLimits(refusals[k], parameters, messageIds[k].size())) continue;
        const std::size_t articles =
            parameters.preview ? std::min<std::size_t>(messageIds[k].size(), 1) : messageIds[k].size();
        for (std::size_t i = 0; i < articles; ++i) {
            QueuedArticle article;
            article.song = k;
            article.group = &songs[k].newsgroup;
            article.messageId = &messageIds[k][i];
            queue.push_back(std::move(article));
        }
    }

    int64_t totalArticles = 0;
    for (const RequestedSong &song : songs) totalArticles += song.partCount;
    int64_t runningArticle = 1;
    ArticleFetcher fetcher(queue, songs.size(), connection, sessions, early);
    if (!fetcher.running() && !queue.empty()) return false;
    for (std::size_t k = 0; k < songs.size(); ++k) {
        sendSongStatus(parameters.preview, k + 1, songs.size());
        std::string error;
        const std::size_t count = (k + 1 < songs.size() ? firstArticle[k + 1] : queue.size()) - firstArticle[k];
        bool done = false;
        if (count > 0) {
            try {
                done = assembleSong(error, fetcher, parameters, totalArticles, runningArticle, queue, firstArticle[k],
                                    count, backup);
            } catch (const std::bad_alloc &) {
                error = kOutOfMemory;
            }
        } else if (!refusals[k].empty()) {
            error = refusals[k];
        } else {
            // A song without message-ids: nothing to fetch, nothing to write.
            DecodedFileList list;
            done = finishSong(error, parameters, list);
        }
        if (!done) {
            fetcher.abandon(k);
            if (cancelRequested()) break;
            if (!error.empty()) notifyGui(kNotifyError, error);
        }
        runningArticle += songs[k].partCount;
        if (cancelRequested()) break;
    }
    return true;
}

}  // namespace corvane
