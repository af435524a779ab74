// The clear text of a news server's compressed replies, one receive at a time. No socket: raw
// bytes go in through feed(), clear bytes come out through read(), so the whole state machine
// can be driven by tests and fuzzers.
//
// Two ways of compressing are understood:
// - Deflate (RFC 8054 "COMPRESS DEFLATE"): after "206" every byte from the server is one raw
//   DEFLATE stream, flushed at the end of each reply.
// - Gzip ("XFEATURE COMPRESS GZIP"): replies stay clear, except a multi-line reply whose status
//   line carries "[COMPRESS=GZIP]": its data lines come as one zlib or gzip stream, followed by
//   the clear terminating line unless the stream already ended with it (the TERMINATOR variant).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace corvane {

enum class CompressionMethod { None, Deflate, Gzip };

// The status-line marker of a compressed multi-line reply.
inline constexpr std::string_view kGzipReplyMarker = "[COMPRESS=GZIP]";

class CompressedStream {
public:
    // `maxReplyBytes`: the most clear bytes one gzip reply may inflate to; beyond, the stream is
    // refused as damaged, so a small stream that inflates to gigabytes stops at the readers' caps.
    CompressedStream(CompressionMethod method, std::size_t maxReplyBytes);
    ~CompressedStream();
    CompressedStream(const CompressedStream &) = delete;
    CompressedStream &operator=(const CompressedStream &) = delete;

    // Hands over raw bytes from the server. At most one receive's worth is kept at a time:
    // call it only when read() asked for more.
    void feed(std::string_view raw);
    // Writes up to `capacity` clear bytes. Returns the count (0: more raw bytes are needed);
    // -1 when the stream is damaged (error() says how; every later call fails the same way).
    long read(char *out, std::size_t capacity);
    // The server closed the connection. False (and the stream damaged) when that cut a
    // compressed reply or block short.
    bool endOfInput();

    bool failed() const { return !error_.empty(); }
    // Deflate: no byte of the stream has arrived yet (the server has only said "206").
    bool awaitingFirstByte() const;
    const std::string &error() const { return error_; }

private:
    enum class State { StatusLine, DataLines, Inflating, WholeReply, Terminator };

    long readDeflate(char *out, std::size_t capacity);
    long readGzip(char *out, std::size_t capacity);
    long passClear(char *out, std::size_t capacity);
    long inflateReply(char *out, std::size_t capacity);
    // Inflates the gzip reply at once when its whole stream is here; false leaves it to igzip.
    bool inflateWholeReply();
    long handOutWholeReply(char *out, std::size_t capacity);
    // The compressed reply's stream ended with `tail` after `clearBytes`: on to its terminator.
    bool endReply(std::string_view tail, std::size_t clearBytes);
    long fail(std::string message);
    // Hands the bytes read ahead past the end of a stream back to the input.
    void giveBackReadAhead();
    void noteStatusLine();

    struct Inflater;
    CompressionMethod method_;
    std::size_t maxReplyBytes_;
    std::unique_ptr<Inflater> inflater_;
    std::string input_;
    std::size_t inputStart_ = 0;
    std::string error_;

    // Gzip: where the reply stream stands.
    State state_ = State::StatusLine;
    std::string statusLine_;       // the status line so far (its first bytes only)
    std::string lineStart_;        // the start of the current data line, to find the terminator
    bool atLineStart_ = true;
    bool replyStarted_ = false;    // the compressed reply's stream has its header kind
    std::size_t replyBytes_ = 0;   // clear bytes of the compressed reply so far
    std::string inflatedTail_;     // the last bytes the compressed reply inflated to
    std::size_t terminatorSeen_ = 0;
    std::size_t wholeSize_ = 0;        // clear bytes of a reply inflated whole
    std::size_t wholeHandedOut_ = 0;   // of which read() has handed out this many
};

// "The server's compressed data is damaged ..." and the other texts of a failing stream all start
// with this, so the messages read alike.
inline constexpr std::string_view kCompressedDataPrefix = "Compressed data from the server ";

}  // namespace corvane
