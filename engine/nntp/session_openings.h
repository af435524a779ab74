// Extra sessions of an operation, opened on threads of their own so that their connects,
// greetings and logins run at once and beside whatever the operation does meanwhile.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/connection.h"

namespace corvane {

class SessionOpenings {
public:
    // Starts opening `count` sessions with the stored server and login (fewer when no more
    // threads can be started).
    explicit SessionOpenings(int count);
    // Waits for the openings; sessions nobody took are closed.
    ~SessionOpenings();
    SessionOpenings(const SessionOpenings &) = delete;
    SessionOpenings &operator=(const SessionOpenings &) = delete;

    // Takes the next session, once its opening has ended: 0 with `error` when it failed; false
    // when every session has been taken.
    bool take(Connection &session, std::string &error);
    // Waits for every opening and takes the first session that opened; 0 when none did.
    Connection takeAnyOpen();

private:
    struct Opening {
        Connection connection = 0;
        std::string error;
    };
    std::vector<Opening> openings_;
    std::vector<std::thread> threads_;
    std::size_t taken_ = 0;
    std::mutex mutex_;
};

}  // namespace corvane
