// Every wait of the engine on a socket: for data, for room to send, for a connect or a TLS
// handshake. A wait ends when the socket is ready, when its deadline passes, or on a cancel once
// the server has been silent for a second: the cancel is looked at ten times a second, so Stop
// never waits for a silent server, and a server that answers at once is still heard out.
#pragma once

#include <chrono>

namespace corvane {

using WaitClock = std::chrono::steady_clock;

enum class WaitResult { Ready, TimedOut, Cancelled, Failed /* errno is set */ };

WaitResult waitForSocket(int socket, short events, WaitClock::time_point deadline);

// The deadline of one wait that starts now: one receive wait (net/connection.h), cut to the
// deadline of the call this thread runs, if any.
WaitClock::time_point receiveDeadline();

// While it lives, no wait of this thread goes past `budget` from its construction: a call that
// runs on the caller's thread (the server check, a post) returns in bounded time whatever the
// server does, even when each of its steps stays within its own wait. Scopes nest; the earliest
// deadline holds.
class CallDeadline {
public:
    explicit CallDeadline(WaitClock::duration budget);
    ~CallDeadline();
    CallDeadline(const CallDeadline &) = delete;
    CallDeadline &operator=(const CallDeadline &) = delete;

private:
    WaitClock::time_point previous_;
};

// The whole budget of a synchronous call: one receive wait and a quarter more, for the steps
// that answer at once.
WaitClock::duration callBudget();

}  // namespace corvane
