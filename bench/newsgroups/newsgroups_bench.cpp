// The complete list of groups from the bundled news server: mp3GetNewsgroups from its call to the
// 9002 report, next to a minimal client that reads the same response raw, for lists of several
// sizes. Run by hand: build/bin/newsgroups_bench [groups...]   (default 25000 50000 100000)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "core/engine_settings.h"
#include "corvane_n.h"
#include "newsd/news_server.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 9;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Connect, greeting, "list", every byte up to the terminator kept: the least any client does.
// Returns the response size, 0 on failure.
std::size_t rawList(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        close(fd);
        return 0;
    }
    char buffer[4096];
    std::string kept;
    bool listAsked = false;
    for (;;) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        kept.append(buffer, static_cast<std::size_t>(n));
        if (!listAsked && kept.find("\r\n") != std::string::npos) {
            kept.clear();
            send(fd, "list\r\n", 6, MSG_NOSIGNAL);
            listAsked = true;
        } else if (listAsked && kept.ends_with("\r\n.\r\n")) {
            break;
        }
    }
    send(fd, "QUIT\r\n", 6, MSG_NOSIGNAL);
    close(fd);
    return kept.size();
}

std::mutex reportMutex;
std::condition_variable reportCv;
bool listDone = false;
int32_t lastCode = 0;
std::size_t listTextBytes = 0;

void CORVANE_CALL onReport(int32_t code, const char16_t *text) {
    if (code != kNotifyGroupList && code != kNotifyError) return;
    std::size_t units = 0;
    while (text && text[units]) ++units;
    std::lock_guard lock(reportMutex);
    listDone = true;
    lastCode = code;
    listTextBytes = units;
    reportCv.notify_all();
}

// mp3GetNewsgroups("alt.binaries", "~") from the call to its last report; negative on failure.
double engineList() {
    {
        std::lock_guard lock(reportMutex);
        listDone = false;
    }
    const auto start = Clock::now();
    if (mp3GetNewsgroups("alt.binaries", "~") == -1) return -1;
    std::unique_lock lock(reportMutex);
    reportCv.wait(lock, [] { return listDone; });
    const double elapsed = seconds(Clock::now() - start);
    return lastCode == kNotifyGroupList ? elapsed : -1;
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<std::size_t> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::strtoul(argv[i], nullptr, 10));
    if (sizes.empty()) sizes = {25000, 50000, 100000};

    corvane::storeStatusCallback(&onReport);
    std::printf("%9s %10s %12s %12s %7s %12s\n", "groups", "list MB", "engine s", "raw s", "ratio", "engine us/grp");
    for (const std::size_t groups : sizes) {
        harbeat::newsd::NewsStore store;
        store.addSyntheticGroupList(groups);
        harbeat::newsd::NewsServer server(store);
        server.start(0);
        corvane::EngineSettings settings;
        settings.server = "127.0.0.1";
        settings.port = server.port();
        corvane::storeEngineSettings(settings);

        std::vector<double> engineTimes, rawTimes;
        std::size_t responseBytes = 0;
        // Alternate the two readers so that neither gets a warmer server or cache.
        for (int run = 0; run < kRuns; ++run) {
            const auto rawStart = Clock::now();
            responseBytes = rawList(server.port());
            rawTimes.push_back(seconds(Clock::now() - rawStart));
            const double engine = engineList();
            if (responseBytes == 0 || engine < 0) {
                std::fprintf(stderr, "list of %zu groups failed\n", groups);
                return 1;
            }
            engineTimes.push_back(engine);
        }
        const double engine = median(engineTimes), raw = median(rawTimes);
        std::printf("%9zu %10.2f %12.4f %12.4f %7.2f %12.3f\n", groups, responseBytes / (1024.0 * 1024.0), engine, raw,
                    engine / raw, engine * 1e6 / static_cast<double>(groups));
        server.stop();
    }
    std::printf("(median of %d runs each; 9002 text of the last run: %zu characters)\n", kRuns, listTextBytes);
    corvane::storeStatusCallback(nullptr);
    return 0;
}
