// One client socket: a line reader over a growing input buffer and a buffered writer. Output is
// sent when the buffer passes 64 KiB and whenever the reader is about to wait for input, so
// pipelined commands get their answers in few sends and a lone command in exactly one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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

    // With a TLS session, every byte goes through it.
    explicit ClientConnection(int socket, ssl_st *tls = nullptr) : socket_(socket), tls_(tls) {}
    ClientConnection(const ClientConnection &) = delete;
    ClientConnection &operator=(const ClientConnection &) = delete;

    // `line` stays valid until the next call.
    ReadStatus readLine(std::string_view &line, std::size_t maxLength, std::size_t skipLimit);
    // Reads and drops everything until the peer closes.
    void drainUntilClosed();

    std::string &output() { return output_; }
    void flushIfLarge() {
        if (output_.size() >= kFlushSize) flush();
    }
    // Sends everything buffered; false when sending has failed (now or before).
    bool flush();
    bool failed() const { return failed_; }

    static constexpr std::size_t kFlushSize = 64 * 1024;

private:
    bool receiveMore();

    // One receive into `into`, or one send from it: the byte count, or 0 / negative as recv and
    // send report a close or an error.
    long receiveSome(char *into, std::size_t length);
    long sendSome(const char *from, std::size_t length);

    int socket_;
    ssl_st *tls_;
    std::string input_;
    std::size_t inputStart_ = 0;  // first unread byte
    std::size_t scanned_ = 0;     // bytes after inputStart_ known to hold no LF
    std::string output_;
    bool failed_ = false;
};

// Appends text (whole lines with CR LF) with every line that starts with "." given another ".",
// flushing as the buffer fills; a last line without CR LF gets one. The terminator is not added.
void appendDotStuffed(ClientConnection &connection, std::string_view text);

}  // namespace harbeat::newsd
