// Bytes that arrived behind the end of one reply, kept for the next reply on the same connection.
// A pipelining client has several replies on the way at once, so one receive often holds the end
// of one reply and the start of the next; the readers hand the rest over here instead of dropping
// it. The table is keyed by the connection's descriptor and netClose empties its row, so a
// descriptor number that the system hands out again never sees another connection's bytes.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "net/connection.h"

namespace corvane {

// Puts `bytes` back for the next read on the connection, in front of anything kept already: a
// reader gives back the part of what it took that lies behind the end of its reply.
void keepPendingBytes(Connection connection, std::string_view bytes);
// The same for the bytes of `buffer` from `start` on, taking the buffer over instead of copying
// them when nothing is kept yet.
void keepPendingBuffer(Connection connection, std::string &&buffer, std::size_t start);
// Takes everything kept for the connection (empty when nothing is).
std::string takePendingBytes(Connection connection);
// The same without copying: `buffer` becomes the kept bytes' buffer, whose bytes from `start` on
// are the kept ones (the buffer given before is dropped). False, and `buffer` unchanged, when
// nothing is kept.
bool takePendingBuffer(Connection connection, std::string &buffer, std::size_t &start);
// Forgets what is kept for the connection.
void dropPendingBytes(Connection connection);
bool hasPendingBytes(Connection connection);

// For a connection that is about to carry commands ahead of their replies: each command leaves
// at once. Otherwise the system holds a small command back until the previous one is
// acknowledged, and a pipelined run waits on every other command for an acknowledgement that
// the server delays in turn.
void sendWithoutDelay(Connection connection);

// How long one reply may take to arrive.
struct ReceiveLimits {
    // A single-line reply has one deadline for all its receives, so a server that drips a byte
    // at a time cannot keep the caller for longer than one wait. A multi-line reply (which may
    // be megabytes) only has the wait of each receive.
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    // Checked between receives: a reply that is still arriving ends with "Operation cancelled by
    // user." once a cancel is requested.
    bool honourCancel = true;
};

// The deadline of a single-line reply that starts now: one receive wait (cut to the deadline of
// the running call, if any).
ReceiveLimits singleLineLimits(bool honourCancel = true);

// Appends the next bytes of the connection to `block`: the kept bytes first (without waiting),
// otherwise one receive. Fails on a receive error, a closed connection ("Connection closed by
// server."), a passed deadline ("Timed Out, server has not responded."), a cancel requested while
// `block` already holds part of the reply, or a block
// that would pass `maxBytes` (`tooLarge` is then the message).
int receiveMore(std::string &error, Connection connection, std::string &block, std::size_t maxBytes,
                std::string_view tooLarge, const ReceiveLimits &limits = {});

}  // namespace corvane
