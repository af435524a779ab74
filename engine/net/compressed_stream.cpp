#include "net/compressed_stream.h"

#include <isa-l/igzip_lib.h>
#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace corvane {
namespace {

// A status line is read this far for its code and marker; the rest passes unread.
constexpr std::size_t kStatusLineKept = 512;
// Bytes igzip may hold in its bit buffer beyond the last one it decoded.
constexpr std::size_t kReadAhead = 8;
// A gzip reply up to this size of clear text is inflated whole when all of its stream is there
// (an overview reply of 50 articles is some 13 kB); larger ones are inflated as they come.
constexpr std::size_t kWholeReplyBytes = std::size_t(256) * 1024;

// Multi-line replies of the commands the engine sends (LISTGROUP's 211 is never asked for, and
// GROUP's 211 is a single line).
bool startsDataLines(int code) {
    switch (code) {
        case 100: case 101: case 215: case 220: case 221: case 222: case 224: case 225: case 230: case 231:
        case 282: return true;
        default: return false;
    }
}

int statusCode(std::string_view line) {
    if (line.size() < 3) return 0;
    int code = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        if (line[i] < '0' || line[i] > '9') return 0;
        code = code * 10 + (line[i] - '0');
    }
    return code;
}

}  // namespace

// Inflating is done with ISA-L's igzip, which inflates overview text at more than twice zlib's
// speed: a million overview lines are a quarter of a gigabyte of clear text.
struct CompressedStream::Inflater {
    inflate_state state{};
    // Inflates a gzip reply's whole stream at once, which costs a quarter less than igzip's
    // streaming for replies of a few kB, each with tables of its own to build.
    libdeflate_decompressor *whole = nullptr;
    std::vector<char> wholeText;
    ~Inflater() {
        if (whole) libdeflate_free_decompressor(whole);
    }
    bool sawInput = false;  // deflate: any byte since the start
    bool ended = false;     // deflate: the server finished its stream

    // A raw stream (RFC 8054), or one reply's stream with the zlib or gzip header its first byte
    // tells (a gzip stream starts with 0x1f, a zlib one never does).
    void startRaw() {
        isal_inflate_init(&state);
        state.crc_flag = ISAL_DEFLATE;
    }
    void startReply(unsigned char firstByte) {
        isal_inflate_reset(&state);
        state.crc_flag = firstByte == 0x1f ? ISAL_GZIP : ISAL_ZLIB;
    }
    bool finished() const { return state.block_state == ISAL_BLOCK_FINISH; }
    // Between two blocks with nothing of the next one read: where every flushed reply ends.
    // (igzip, asked with no input there, says it is inside a header of which it holds nothing.)
    bool atBlockEnd() const {
        const bool headerUnread = state.block_state == ISAL_BLOCK_NEW_HDR ||
                                  (state.block_state == ISAL_BLOCK_HDR && state.tmp_in_size == 0);
        return headerUnread && state.read_in_length == 0;
    }
};

namespace {

std::string damage(int code) {
    switch (code) {
        case ISAL_INVALID_BLOCK: return "is damaged (invalid block type).";
        case ISAL_INVALID_SYMBOL: return "is damaged (invalid code).";
        case ISAL_INVALID_LOOKBACK: return "is damaged (invalid distance too far back).";
        case ISAL_INVALID_WRAPPER: return "is damaged (incorrect header check).";
        case ISAL_UNSUPPORTED_METHOD: return "is damaged (unknown compression method).";
        case ISAL_INCORRECT_CHECKSUM: return "is damaged (incorrect data check).";
        default: return "is damaged (invalid data).";
    }
}

}  // namespace

CompressedStream::CompressedStream(CompressionMethod method, std::size_t maxReplyBytes)
    : method_(method), maxReplyBytes_(maxReplyBytes), inflater_(std::make_unique<Inflater>()) {
    // Raw DEFLATE (no header) for RFC 8054; the gzip replies are started per reply.
    if (method_ == CompressionMethod::Deflate) inflater_->startRaw();
}

CompressedStream::~CompressedStream() = default;

void CompressedStream::feed(std::string_view raw) {
    // The last bytes taken stay: igzip reads ahead, and gives back what lies beyond a stream's end.
    const std::size_t kept = std::min(inputStart_, kReadAhead);
    input_.erase(0, inputStart_ - kept);
    inputStart_ = kept;
    input_.append(raw);
}

void CompressedStream::giveBackReadAhead() {
    inflate_state &z = inflater_->state;
    const std::size_t unread = std::min<std::size_t>(static_cast<std::size_t>(z.read_in_length) / 8, inputStart_);
    inputStart_ -= unread;
    z.read_in_length = 0;
    z.read_in = 0;
}

long CompressedStream::fail(std::string message) {
    if (error_.empty()) error_ = std::string(kCompressedDataPrefix) + message;
    return -1;
}

long CompressedStream::read(char *out, std::size_t capacity) {
    if (failed()) return -1;
    if (capacity == 0) return 0;
    if (method_ == CompressionMethod::Deflate) return readDeflate(out, capacity);
    // The end of a compressed reply may yield no byte and still move on to what follows it.
    for (;;) {
        const std::size_t consumed = inputStart_;
        const State state = state_;
        const long produced = readGzip(out, capacity);
        if (produced != 0 || (inputStart_ == consumed && state_ == state)) return produced;
    }
}

long CompressedStream::readDeflate(char *out, std::size_t capacity) {
    Inflater &inflater = *inflater_;
    const bool newInput = inputStart_ < input_.size();
    if (inflater.ended) return newInput ? fail("goes on after its end.") : 0;
    // igzip may hold decoded bytes back for want of room, or bits of input it has not decoded
    // yet: it is asked again without new input before more is read.
    if (!newInput && !inflater.sawInput) return 0;
    inflater.sawInput = true;
    inflate_state &z = inflater.state;
    z.next_in = reinterpret_cast<uint8_t *>(input_.data() + inputStart_);
    z.avail_in = static_cast<uint32_t>(std::min<std::size_t>(input_.size() - inputStart_, UINT32_MAX));
    z.next_out = reinterpret_cast<uint8_t *>(out);
    z.avail_out = static_cast<uint32_t>(std::min<std::size_t>(capacity, UINT32_MAX));
    const int rc = isal_inflate(&z);
    inputStart_ = input_.size() - z.avail_in;
    const std::size_t produced = capacity - z.avail_out;
    if (rc < 0) return fail(damage(rc));
    if (inflater.finished()) {
        inflater.ended = true;
        giveBackReadAhead();
    }
    if (inflater.ended && inputStart_ < input_.size()) return fail("goes on after its end.");
    return static_cast<long>(produced);
}

long CompressedStream::readGzip(char *out, std::size_t capacity) {
    switch (state_) {
        case State::StatusLine:
        case State::DataLines: return passClear(out, capacity);
        case State::Inflating: return inflateReply(out, capacity);
        case State::WholeReply: return handOutWholeReply(out, capacity);
        case State::Terminator: {
            // The clear terminating line that follows a stream without one of its own.
            constexpr std::string_view kDotLine = ".\r\n";
            std::size_t written = 0;
            while (written < capacity && inputStart_ < input_.size() && terminatorSeen_ < kDotLine.size()) {
                const char c = input_[inputStart_];
                if (c != kDotLine[terminatorSeen_]) return fail("is followed by data that is not its ending line.");
                out[written++] = c;
                ++inputStart_;
                ++terminatorSeen_;
            }
            if (terminatorSeen_ == kDotLine.size()) state_ = State::StatusLine;
            return static_cast<long>(written);
        }
    }
    return 0;
}

void CompressedStream::noteStatusLine() {
    const int code = statusCode(statusLine_);
    const bool multiLine = startsDataLines(code);
    if (multiLine && statusLine_.find(kGzipReplyMarker) != std::string::npos) {
        // zlib or gzip header, whichever the server sends: told by the stream's first byte.
        replyStarted_ = false;
        state_ = State::Inflating;
        replyBytes_ = 0;
        inflatedTail_.clear();
    } else if (multiLine) {
        state_ = State::DataLines;
        atLineStart_ = true;
        lineStart_.clear();
    }
    statusLine_.clear();
}

long CompressedStream::passClear(char *out, std::size_t capacity) {
    std::size_t written = 0;
    while (written < capacity && inputStart_ < input_.size() && !failed()) {
        const char *from = input_.data() + inputStart_;
        const std::size_t available = std::min(capacity - written, input_.size() - inputStart_);
        if (state_ == State::StatusLine) {
            const void *lf = std::memchr(from, '\n', available);
            const std::size_t take = lf ? static_cast<const char *>(lf) - from + 1 : available;
            if (statusLine_.size() < kStatusLineKept)
                statusLine_.append(from, std::min(take, kStatusLineKept - statusLine_.size()));
            std::memcpy(out + written, from, take);
            written += take;
            inputStart_ += take;
            // The bytes behind a status line may be compressed: the caller sees the line first.
            if (lf) {
                noteStatusLine();
                break;
            }
            continue;
        }
        // Data lines of a clear reply: only the start of each line is looked at.
        if (!atLineStart_ && lineStart_.empty()) {
            const void *lf = std::memchr(from, '\n', available);
            const std::size_t take = lf ? static_cast<const char *>(lf) - from + 1 : available;
            std::memcpy(out + written, from, take);
            written += take;
            inputStart_ += take;
            atLineStart_ = lf != nullptr;
            continue;
        }
        const char c = *from;
        out[written++] = c;
        ++inputStart_;
        atLineStart_ = false;
        lineStart_ += c;
        if (lineStart_ == ".\r\n") {
            lineStart_.clear();
            atLineStart_ = true;
            state_ = State::StatusLine;
            break;
        }
        if (!std::string_view(".\r\n").starts_with(lineStart_)) {
            atLineStart_ = c == '\n';
            lineStart_.clear();
        }
    }
    if (failed()) return -1;
    return static_cast<long>(written);
}

bool CompressedStream::inflateWholeReply() {
    Inflater &inflater = *inflater_;
    if (!inflater.whole) inflater.whole = libdeflate_alloc_decompressor();
    if (!inflater.whole) return false;
    const std::size_t room = std::min(kWholeReplyBytes, maxReplyBytes_);
    if (inflater.wholeText.size() < room) inflater.wholeText.resize(room);
    const char *in = input_.data() + inputStart_;
    const std::size_t available = input_.size() - inputStart_;
    std::size_t used = 0, clear = 0;
    // Anything but success (the stream not all here yet, damaged, or larger than the room) is
    // left to the streaming inflater, which tells them apart.
    const libdeflate_result result =
        static_cast<unsigned char>(*in) == 0x1f
            ? libdeflate_gzip_decompress_ex(inflater.whole, in, available, inflater.wholeText.data(), room, &used, &clear)
            : libdeflate_zlib_decompress_ex(inflater.whole, in, available, inflater.wholeText.data(), room, &used, &clear);
    if (result != LIBDEFLATE_SUCCESS) return false;
    inputStart_ += used;
    wholeSize_ = clear;
    wholeHandedOut_ = 0;
    state_ = State::WholeReply;
    return true;
}

long CompressedStream::handOutWholeReply(char *out, std::size_t capacity) {
    const std::size_t count = std::min(capacity, wholeSize_ - wholeHandedOut_);
    std::memcpy(out, inflater_->wholeText.data() + wholeHandedOut_, count);
    wholeHandedOut_ += count;
    if (wholeHandedOut_ == wholeSize_) {
        const std::string_view text(inflater_->wholeText.data(), wholeSize_);
        if (!endReply(text.substr(text.size() - std::min<std::size_t>(text.size(), 5)), wholeSize_)) return -1;
    }
    return static_cast<long>(count);
}

bool CompressedStream::endReply(std::string_view tail, std::size_t clearBytes) {
    // Lines end with CR LF; a stream that stops inside a line has lost its end.
    if (clearBytes > 0 && !tail.ends_with("\r\n")) {
        fail("is damaged (it ends inside a line).");
        return false;
    }
    const bool ownTerminator = tail.ends_with("\r\n.\r\n") || (clearBytes == 3 && tail == ".\r\n");
    state_ = ownTerminator ? State::StatusLine : State::Terminator;
    terminatorSeen_ = 0;
    return true;
}

long CompressedStream::inflateReply(char *out, std::size_t capacity) {
    // As for a raw stream, igzip is asked again without new input once the reply has begun.
    if (inputStart_ >= input_.size() && !replyStarted_) return 0;
    inflate_state &z = inflater_->state;
    if (!replyStarted_) {
        if (inflateWholeReply()) return handOutWholeReply(out, capacity);
        inflater_->startReply(static_cast<unsigned char>(input_[inputStart_]));
        replyStarted_ = true;
    }
    z.next_in = reinterpret_cast<uint8_t *>(input_.data() + inputStart_);
    z.avail_in = static_cast<uint32_t>(std::min<std::size_t>(input_.size() - inputStart_, UINT32_MAX));
    // Never more than the reply may still grow by: a bomb stops at the cap, not after it.
    const std::size_t room = maxReplyBytes_ - replyBytes_ + 1;
    const std::size_t want = std::min(capacity, room);
    z.next_out = reinterpret_cast<uint8_t *>(out);
    z.avail_out = static_cast<uint32_t>(std::min<std::size_t>(want, UINT32_MAX));
    const int rc = isal_inflate(&z);
    inputStart_ = input_.size() - z.avail_in;
    const std::size_t produced = want - z.avail_out;
    if (rc < 0) return fail(damage(rc));
    const bool streamEnd = inflater_->finished();
    if (streamEnd) giveBackReadAhead();
    replyBytes_ += produced;
    if (replyBytes_ > maxReplyBytes_) return fail("inflates to more than a reply may hold.");
    // Only the last bytes matter: the reply's end is looked for there.
    constexpr std::size_t kTail = 5;
    const std::size_t taken = std::min(produced, kTail);
    inflatedTail_.append(out + produced - taken, taken);
    if (inflatedTail_.size() > kTail) inflatedTail_.erase(0, inflatedTail_.size() - kTail);
    if (streamEnd && !endReply(inflatedTail_, replyBytes_)) return -1;
    return static_cast<long>(produced);
}

bool CompressedStream::awaitingFirstByte() const {
    return method_ == CompressionMethod::Deflate && !inflater_->sawInput && inputStart_ >= input_.size();
}

bool CompressedStream::endOfInput() {
    if (failed()) return false;
    if (method_ == CompressionMethod::Deflate) {
        const Inflater &inflater = *inflater_;
        // A close is clean at the end of a flushed block (every reply ends with one) or after
        // the end of the stream; a close before any compressed byte means the server did not
        // keep its word.
        const bool atBlockEnd = inflater.ended || (inflater.sawInput && inflater.atBlockEnd());
        if (inputStart_ < input_.size() || !atBlockEnd) {
            fail("ended early: the server closed the connection inside it.");
            return false;
        }
        return true;
    }
    if (state_ == State::Inflating || state_ == State::WholeReply || state_ == State::Terminator) {
        fail("ended early: the server closed the connection inside a compressed reply.");
        return false;
    }
    return true;
}

}  // namespace corvane
