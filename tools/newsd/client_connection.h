// One client socket: a line reader over a growing input buffer and a buffered writer. Output is
// sent when the buffer passes 64 KiB and whenever the reader is about to wait for input, so
// pipelined commands get their answers in few sends and a lone command in exactly one.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

struct ssl_st;

namespace harbeat::newsd {

class ClientConnection {
public:
    enum class ReadStatus {
        Line,      // `line` holds the next line without its CR LF (or bare LF)
        TooLong,   // the line was longer than maxLength and has been skipped to its end
        Overflow,  // the line went on past skipLimit bytes; the caller should give up
        Closed,    // the peer closed, an error occurred, or the server is stopping
    };

    using Clock = std::chrono::steady_clock;

    // With a TLS session, every byte goes through it.
    explicit ClientConnection(int socket, ssl_st *tls = nullptr);
    // Sends what is still held back for latency before it returns.
    ~ClientConnection();
    ClientConnection(const ClientConnection &) = delete;
    ClientConnection &operator=(const ClientConnection &) = delete;

    // `line` stays valid until the next call.
    ReadStatus readLine(std::string_view &line, std::size_t maxLength, std::size_t skipLimit);
    // Reads and drops everything until the peer closes.
    void drainUntilClosed();

    std::string &output() { return output_; }
    void flushIfLarge() {
        if (output_.size() >= kFlushSize && !holdOutput_) flush();
    }
    // While held, output stays buffered whatever its size (a reply that is compressed whole).
    void holdOutput(bool hold) { holdOutput_ = hold; }
    // From now on every byte both ways is one raw DEFLATE stream; output so far leaves clear.
    // False when zlib cannot start.
    bool startDeflate();
    // Sends everything buffered; false when sending has failed (now or before).
    bool flush();
    bool failed() const { return failed_.load(); }

    // Simulated network latency: from now on, output flushed after setSendTime(t) leaves at t,
    // sent by a thread of its own so that commands keep being read (and their arrival times
    // taken) while replies wait, as on a real network.
    void enableDelayedSending();
    void setSendTime(Clock::time_point time) { sendTime_ = time; }
    // Paces what is sent to at most this many bits per second (a provider's cap per connection).
    void setRate(double bitsPerSecond) { bitsPerSecond_ = bitsPerSecond; }
    // When the last byte of the line last returned by readLine arrived.
    Clock::time_point lastLineArrival() const { return lastLineArrival_; }

    static constexpr std::size_t kFlushSize = 64 * 1024;

private:
    bool receiveMore();
    bool sendAll(std::string_view bytes);
    void sendLoop();
    void noteLineEnd(std::size_t end);

    // One receive into `into`, or one send from it: the byte count, or 0 / negative as recv and
    // send report a close or an error.
    long receiveSome(char *into, std::size_t length);
    long sendSome(const char *from, std::size_t length);

    int socket_;
    ssl_st *tls_;
    double bitsPerSecond_ = 0;
    Clock::time_point nextFree_{};  // when the paced link is free for the next bytes
    // Arrival time of the bytes up to each absolute input offset, oldest first.
    std::deque<std::pair<std::size_t, Clock::time_point>> arrivals_;
    std::size_t inputBase_ = 0;  // absolute offset of input_[0]
    Clock::time_point lastLineArrival_ = Clock::now();
    std::string input_;
    std::size_t inputStart_ = 0;  // first unread byte
    std::size_t scanned_ = 0;     // bytes after inputStart_ known to hold no LF
    std::string output_;
    std::atomic<bool> failed_{false};
    bool holdOutput_ = false;

    // RFC 8054 compression, once started.
    struct Deflate;
    std::unique_ptr<Deflate> deflate_;
    bool inflateInto(std::string_view raw);

    // Delayed sending: blocks with the time they may leave, sent in order by sender_.
    bool delayed_ = false;
    Clock::time_point sendTime_{};
    std::mutex queueMutex_;
    std::condition_variable queueChanged_;
    std::deque<std::pair<Clock::time_point, std::string>> queue_;
    bool closing_ = false;
    std::thread sender_;
};

// Appends text (whole lines with CR LF) with every line that starts with "." given another ".",
// flushing as the buffer fills; a last line without CR LF gets one. The terminator is not added.
void appendDotStuffed(ClientConnection &connection, std::string_view text);

}  // namespace harbeat::newsd
