#include "nntp/session_openings.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "core/operation.h"
#include "nntp/session.h"

namespace corvane {

SessionOpenings::SessionOpenings(int count) : openings_(static_cast<std::size_t>(std::max(count, 0))) {
    OperationState *operation = currentOperation();
    for (Opening &opening : openings_) {
        try {
            threads_.emplace_back([&opening, operation] {
                HelperScope scope(operation);
                opening.connection = nntpOpenExtraSession(opening.error);
            });
        } catch (const std::system_error &) {
            break;
        }
    }
    openings_.resize(threads_.size());
}

SessionOpenings::~SessionOpenings() {
    for (std::thread &thread : threads_)
        if (thread.joinable()) thread.join();
    std::vector<Connection> left;
    for (std::size_t i = taken_; i < openings_.size(); ++i) left.push_back(openings_[i].connection);
    nntpQuitAll(left);
}

bool SessionOpenings::take(Connection &session, std::string &error) {
    std::lock_guard lock(mutex_);
    if (taken_ == openings_.size()) return false;
    const std::size_t index = taken_++;
    if (threads_[index].joinable()) threads_[index].join();
    session = openings_[index].connection;
    error = openings_[index].error;
    return true;
}

Connection SessionOpenings::takeAnyOpen() {
    std::lock_guard lock(mutex_);
    for (std::thread &thread : threads_)
        if (thread.joinable()) thread.join();
    for (std::size_t i = taken_; i < openings_.size(); ++i) {
        if (!openings_[i].connection) continue;
        std::swap(openings_[i], openings_[taken_]);
        return openings_[taken_++].connection;
    }
    return 0;
}

}  // namespace corvane
