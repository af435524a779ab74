#include "net/socket_wait.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "core/engine_settings.h"
#include "net/connection.h"

namespace corvane {
namespace {

// How long a wait may go without looking at the cancel flag.
constexpr std::chrono::milliseconds kCancelCheck{250};

thread_local WaitClock::time_point callDeadline = WaitClock::time_point::max();

}  // namespace

WaitResult waitForSocket(int socket, short events, WaitClock::time_point deadline) {
    pollfd waitFor{socket, events, 0};
    for (;;) {
        const auto now = WaitClock::now();
        const auto left = deadline > now ? std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now)
                                         : std::chrono::milliseconds(0);
        // Whole milliseconds round down: wait one more so that a deadline is never missed by a
        // fraction and polled again with 0 for its last microseconds.
        const auto slice = std::min(left + std::chrono::milliseconds(left < kCancelCheck ? 1 : 0), kCancelCheck);
        const int ready = poll(&waitFor, 1, deadline > now ? static_cast<int>(slice.count()) : 0);
        if (ready > 0) return WaitResult::Ready;
        if (ready < 0 && errno != EINTR) return WaitResult::Failed;
        if (ready == 0 && WaitClock::now() >= deadline) return WaitResult::TimedOut;
        if (cancelRequested()) return WaitResult::Cancelled;
    }
}

WaitClock::time_point receiveDeadline() { return std::min(WaitClock::now() + receiveTimeout(), callDeadline); }

CallDeadline::CallDeadline(WaitClock::duration budget) : previous_(callDeadline) {
    callDeadline = std::min(callDeadline, WaitClock::now() + budget);
}

CallDeadline::~CallDeadline() { callDeadline = previous_; }

WaitClock::duration callBudget() { return receiveTimeout() + receiveTimeout() / 4; }

}  // namespace corvane
