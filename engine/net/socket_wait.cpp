#include "net/socket_wait.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "core/engine_settings.h"
#include "net/connection.h"

namespace corvane {
namespace {

// How long a wait may go without looking at the cancel flag.
constexpr std::chrono::milliseconds kCancelCheck{100};
// How long a server is given to answer before a cancel ends the wait for it.
constexpr std::chrono::milliseconds kPatience{1000};

thread_local WaitClock::time_point callDeadline = WaitClock::time_point::max();

}  // namespace

WaitResult waitForSocket(int socket, short events, WaitClock::time_point deadline) {
    pollfd waitFor{socket, events, 0};
    const auto started = WaitClock::now();
    for (;;) {
        const auto now = WaitClock::now();
        const auto left = deadline > now ? std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now)
                                         : std::chrono::milliseconds(0);
        // Whole milliseconds round down: one more, so that the deadline is not missed by a
        // fraction and then polled again for its last microseconds.
        const auto slice =
            deadline <= now ? std::chrono::milliseconds(0) : std::min(left + std::chrono::milliseconds(1), kCancelCheck);
        const int ready = poll(&waitFor, 1, static_cast<int>(slice.count()));
        if (ready > 0) return WaitResult::Ready;
        if (ready < 0 && errno != EINTR) return WaitResult::Failed;
        if (ready == 0 && WaitClock::now() >= deadline) return WaitResult::TimedOut;
        // A server that answers gets its answer taken even after a cancel: the readers stop
        // between replies, where a cancel leaves the conversation in step. Only a wait on a
        // server that has said nothing for a while is cut short.
        if (cancelRequested() && WaitClock::now() - started >= kPatience) return WaitResult::Cancelled;
    }
}

WaitClock::time_point receiveDeadline() { return std::min(WaitClock::now() + receiveTimeout(), callDeadline); }

CallDeadline::CallDeadline(WaitClock::duration budget) : previous_(callDeadline) {
    callDeadline = std::min(callDeadline, WaitClock::now() + budget);
}

CallDeadline::~CallDeadline() { callDeadline = previous_; }

WaitClock::duration callBudget() { return receiveTimeout() + receiveTimeout() / 4; }

}  // namespace corvane
