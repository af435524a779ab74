#include "raw_xover_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "songs/overview_batch.h"

namespace {

class RawConnection {
public:
    explicit RawConnection(int port) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(port));
        if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~RawConnection() {
        if (fd_ >= 0) close(fd_);
    }
    bool ok() const { return fd_ >= 0; }

    bool sendText(const char *text, std::size_t length) {
        return send(fd_, text, length, MSG_NOSIGNAL) == static_cast<ssize_t>(length);
    }

    // Reads one reply line into `line` (without CR LF); what follows stays buffered.
    bool readLine(std::string &line) {
        for (;;) {
            const std::size_t end = pending_.find("\r\n");
            if (end != std::string::npos) {
                line = pending_.substr(0, end);
                pending_.erase(0, end + 2);
                return true;
            }
            if (!receive()) return false;
            pending_.append(buffer_, received_);
        }
    }

    // Reads up to the terminator line and counts the data lines, keeping none of them.
    bool skipMultiLine(uint64_t &lines) {
        uint64_t breaks = 0;
        std::string last;  // the last five bytes seen: a terminator may be split over receives
        const auto take = [&](std::string_view chunk) {
            breaks += static_cast<uint64_t>(std::count(chunk.begin(), chunk.end(), '\n'));
            last.append(chunk.substr(chunk.size() > 5 ? chunk.size() - 5 : 0));
            if (last.size() > 5) last.erase(0, last.size() - 5);
        };
        take(pending_);
        pending_.clear();
        while (!last.ends_with("\r\n.\r\n") && !(breaks == 1 && last == ".\r\n")) {
            if (!receive()) return false;
            take(std::string_view(buffer_, received_));
        }
        lines += breaks - 1;  // less the terminator line
        return true;
    }

private:
    bool receive() {
        const ssize_t n = recv(fd_, buffer_, sizeof buffer_, 0);
        received_ = n > 0 ? static_cast<std::size_t>(n) : 0;
        return n > 0;
    }

    int fd_ = -1;
    std::string pending_;
    char buffer_[65536];
    std::size_t received_ = 0;
};

}  // namespace

namespace {

// Greeting and "group"; false with result.error set when either fails.
bool openGroup(RawConnection &connection, const std::string &group, int64_t &first, int64_t &last,
               RawXoverResult &result) {
    std::string line;
    if (!connection.ok() || !connection.readLine(line)) {
        result.error = "no greeting";
        return false;
    }
    const std::string command = "group " + group + "\r\n";
    int64_t count = 0;
    if (!connection.sendText(command.data(), command.size()) || !connection.readLine(line) ||
        std::sscanf(line.c_str(), "211 %" SCNd64 " %" SCNd64 " %" SCNd64, &count, &first, &last) != 3) {
        result.error = "group refused: " + line;
        return false;
    }
    return true;
}

}  // namespace

RawXoverResult readWholeRangeRaw(int port, const std::string &group) {
    RawXoverResult result;
    RawConnection connection(port);
    int64_t first = 0;
    int64_t last = 0;
    if (!openGroup(connection, group, first, last, result)) return result;
    const auto started = std::chrono::steady_clock::now();
    char xover[64];
    const int length = std::snprintf(xover, sizeof xover, "xover %" PRId64 "-%" PRId64 "\r\n", first, last);
    std::string line;
    if (!connection.sendText(xover, static_cast<std::size_t>(length)) || !connection.readLine(line) ||
        !line.starts_with("224") || !connection.skipMultiLine(result.lines)) {
        result.error = "xover failed";
        return result;
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    connection.sendText("QUIT\r\n", 6);
    result.ok = true;
    return result;
}

RawXoverResult readGroupOverviewRaw(int port, const std::string &group) {
    RawXoverResult result;
    RawConnection connection(port);
    std::string line;
    if (!connection.ok() || !connection.readLine(line)) {
        result.error = "no greeting";
        return result;
    }
    const std::string command = "group " + group + "\r\n";
    int64_t count = 0;
    int64_t first = 0;
    int64_t last = 0;
    if (!connection.sendText(command.data(), command.size()) || !connection.readLine(line) ||
        std::sscanf(line.c_str(), "211 %" SCNd64 " %" SCNd64 " %" SCNd64, &count, &first, &last) != 3) {
        result.error = "group refused: " + line;
        return result;
    }

    const auto started = std::chrono::steady_clock::now();
    for (int64_t start = first; last > 0 && start <= last;) {
        const int64_t end = corvane::overviewBatchAt(start, last).last;
        char xover[64];
        const int length = std::snprintf(xover, sizeof xover, "xover %" PRId64 "-%" PRId64 "\r\n", start, end);
        if (!connection.sendText(xover, static_cast<std::size_t>(length)) || !connection.readLine(line)) {
            result.error = "xover failed";
            return result;
        }
        if (line.starts_with("224") && !connection.skipMultiLine(result.lines)) {
            result.error = "overview cut short";
            return result;
        }
        start = end + 1;
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    connection.sendText("QUIT\r\n", 6);
    result.ok = true;
    return result;
}

RawXoverResult readRangeInPiecesRaw(int port, const std::string &group, int pieces) {
    RawXoverResult result;
    const auto started = std::chrono::steady_clock::now();
    std::vector<RawXoverResult> results(static_cast<std::size_t>(std::max(pieces, 1)));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&, i] {
            RawXoverResult &mine = results[i];
            RawConnection connection(port);
            int64_t first = 0;
            int64_t last = 0;
            if (!openGroup(connection, group, first, last, mine)) return;
            const int64_t span = (last - first + 1 + static_cast<int64_t>(results.size()) - 1) /
                                 static_cast<int64_t>(results.size());
            const int64_t from = first + static_cast<int64_t>(i) * span;
            const int64_t to = std::min(last, from + span - 1);
            char xover[64];
            const int length = std::snprintf(xover, sizeof xover, "xover %" PRId64 "-%" PRId64 "\r\n", from, to);
            std::string line;
            if (from > to) {
                mine.ok = true;
                return;
            }
            if (!connection.sendText(xover, static_cast<std::size_t>(length)) || !connection.readLine(line) ||
                !line.starts_with("224") || !connection.skipMultiLine(mine.lines)) {
                mine.error = "xover failed";
                return;
            }
            connection.sendText("QUIT\r\n", 6);
            mine.ok = true;
        });
    for (std::thread &thread : threads) thread.join();
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    result.ok = true;
    for (const RawXoverResult &piece : results) {
        result.lines += piece.lines;
        if (!piece.ok) {
            result.ok = false;
            result.error = piece.error;
        }
    }
    return result;
}
