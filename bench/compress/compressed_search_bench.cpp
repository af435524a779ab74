// Compressed overviews: bytes on the wire and search time for one synthetic group, uncompressed,
// with RFC 8054 COMPRESS DEFLATE and with XFEATURE COMPRESS GZIP, all served by the bundled
// server. Each search runs in a child process of its own (its CPU time is the search's alone).
// Run by hand:
//   build/bin/compressed_search_bench [articles] [one-way ms] [Mbit/s] [pipeline] [connections] [repeats]
//       (defaults 1000000, 25, 40, 64, 1 and 5: a path of 50 ms round trip and a 40 Mbit/s link
//       per connection, as the bundled server's --latency-ms and --connection-rate make them; the
//       engine's pipeline depth; the connections of the search; the runs of each method on
//       loopback, of which the median is shown)
// It prints three tables: bytes on the wire through a counting relay (no cap), the search time
// at the given distance and rate, and the search time on bare loopback, each against the
// uncompressed run. The CPU share of inflating is the time this process takes to inflate the
// search session's captured bytes through the engine's own stream, over the search's CPU time.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/process_figures.h"
#include "corvane_n.h"
#include "counting_proxy.h"
#include "net/compressed_stream.h"
#include "newsd/news_server.h"

namespace {

using harbeat::bench::cpuSeconds;
using harbeat::bench::narrow;
using harbeat::bench::peakResidentKb;

constexpr const char *kGroup = "alt.binaries.sounds.mp3.big";
using Compression = harbeat::newsd::ServerOptions::Compression;

std::mutex reportMutex;
std::condition_variable finished;
bool searchEnded = false;
long songLines = 0;
long errorReports = 0;

void CORVANE_CALL onReport(int32_t code, const char16_t *) {
    if (code == kNotifySong) {
        ++songLines;
        return;
    }
    if (code == kNotifyError) ++errorReports;
    if (code != kNotifySearchDone && code != kNotifyError) return;
    std::lock_guard lock(reportMutex);
    searchEnded = true;
    finished.notify_all();
}

int runSearchChild(int port, const char *compress, const char *pipeline, const char *connections) {
    if (mp3SetOption("compress", compress) != -1) return 1;
    if (pipeline && mp3SetOption("pipeline", pipeline) != -1) return 1;
    if (connections && mp3SetOption("connections", connections) != -1) return 1;
    char error[256] = {};
    int32_t reachable = 0, posting = 0;
    if (mp3Settings(error, &onReport, "127.0.0.1", port, "", "", 0, &reachable, &posting, 0) != -1) {
        std::printf("error %s\n", error);
        return 1;
    }
    const std::string request = std::string(kGroup) + "\trock\r\n";
    const double cpuBefore = cpuSeconds();
    const auto started = std::chrono::steady_clock::now();
    if (mp3GetSongs(request.c_str()) == -1) return 1;
    {
        std::unique_lock lock(reportMutex);
        finished.wait(lock, [] { return searchEnded; });
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("search %.3f %.3f %ld %ld\n", seconds, cpuSeconds() - cpuBefore, songLines, errorReports);
    return 0;
}

struct SearchRun {
    bool ok = false;
    double seconds = 0, cpu = 0;
    long songs = 0, errors = 0;
};

long pipelineDepth = 64;  // the engine's default
long connectionCount = 1;

SearchRun runChild(int port, bool compress) {
    char self[4096] = {};
    SearchRun run;
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return run;
    const std::string command =
        "'" + std::string(self) + "' --child " + std::to_string(port) + (compress ? " 1 " : " 0 ") + std::to_string(pipelineDepth) + " " +
        std::to_string(connectionCount);
    FILE *child = popen(command.c_str(), "r");
    if (!child) return run;
    char line[512] = {};
    if (!std::fgets(line, sizeof line, child)) std::strcpy(line, "error no output");
    pclose(child);
    run.ok = std::sscanf(line, "search %lf %lf %ld %ld", &run.seconds, &run.cpu, &run.songs, &run.errors) == 4;
    if (!run.ok) std::printf("  search failed: %s", line);
    return run;
}

// CPU seconds this process takes to inflate a captured session through the engine's stream.
double inflateSeconds(Compression method, const std::string &wire) {
    std::string_view bytes(wire);
    if (method == Compression::Deflate) {
        const std::size_t at = bytes.find("206 Compression active\r\n");
        if (at == std::string_view::npos) return -1;
        bytes.remove_prefix(at + 24);
    }
    corvane::CompressedStream stream(
        method == Compression::Deflate ? corvane::CompressionMethod::Deflate : corvane::CompressionMethod::Gzip,
        std::size_t(256) << 20);
    std::vector<char> out(64 * 1024);
    const double before = cpuSeconds();
    std::size_t clear = 0;
    for (;;) {
        const long n = stream.read(out.data(), out.size());
        if (n < 0) return -1;
        if (n > 0) {
            clear += static_cast<std::size_t>(n);
            continue;
        }
        if (bytes.empty()) break;
        const std::size_t take = std::min<std::size_t>(64 * 1024, bytes.size());
        stream.feed(bytes.substr(0, take));
        bytes.remove_prefix(take);
    }
    return clear > 0 ? cpuSeconds() - before : -1;
}

const char *nameOf(Compression method) {
    return method == Compression::None ? "uncompressed" : method == Compression::Deflate ? "COMPRESS DEFLATE"
                                                                                          : "XFEATURE GZIP";
}

}  // namespace

int main(int argc, char **argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--child") == 0)
        return runSearchChild(std::atoi(argv[2]), argv[3], argc > 4 ? argv[4] : nullptr, argc > 5 ? argv[5] : nullptr);
    const unsigned long long articles = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000ULL;
    const long oneWay = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 25;
    const double rate = argc > 3 ? std::strtod(argv[3], nullptr) : 40;
    pipelineDepth = argc > 4 ? std::strtol(argv[4], nullptr, 10) : 64;
    connectionCount = argc > 5 ? std::strtol(argv[5], nullptr, 10) : 1;
    const int loopbackRepeats = argc > 6 ? std::max(1, std::atoi(argv[6])) : 5;

    harbeat::newsd::NewsStore store;
    store.addGroup("alt.binaries.sounds.mp3", 0, true);  // the group the server check selects
    store.addSyntheticGroup(kGroup, articles);
    std::printf("synthetic group %s: %llu articles\n", kGroup, articles);
    const Compression methods[] = {Compression::None, Compression::Deflate, Compression::Gzip};

    std::printf("\nbytes on the wire (relay without a cap):\n");
    double plainBytes = 0;
    double inflating[3] = {0, 0, 0};  // by method: this process's time to inflate the captured stream
    for (const Compression method : methods) {
        harbeat::newsd::ServerOptions options;
        options.compression = method;
        harbeat::newsd::NewsServer server(store, options);
        server.start(0);
        SearchRun run;
        std::uint64_t down = 0, up = 0;
        std::string wire;
        {
            CountingProxy proxy(server.port(), 0, method != Compression::None);
            run = runChild(proxy.port(), method != Compression::None);
            down = proxy.fromServer();
            up = proxy.toServer();
            if (method != Compression::None) wire = proxy.longestServerStream();
        }
        server.stop();
        if (!run.ok) continue;
        if (method == Compression::None) plainBytes = static_cast<double>(down);
        std::printf("  %-17s: %12llu bytes from the server (%5.1f %% of uncompressed), %9llu to it; %ld songs, "
                    "%ld errors; search CPU %.3f s",
                    nameOf(method), static_cast<unsigned long long>(down), 100.0 * static_cast<double>(down) / plainBytes,
                    static_cast<unsigned long long>(up), run.songs, run.errors, run.cpu);
        if (!wire.empty()) {
            inflating[static_cast<int>(method)] = inflateSeconds(method, wire);
            std::printf("; inflating %.3f s = %.1f %% of it", inflating[static_cast<int>(method)],
                        100.0 * inflating[static_cast<int>(method)] / run.cpu);
        }
        std::printf("\n");
        std::fflush(stdout);
    }

    // Each method has a server of its own, kept for all its runs. On loopback the runs are short
    // and the machine's noise is not: every method is searched `repeats` times, the methods taking
    // turns, after one untimed search each (a fresh server's first replies cost it more), and the
    // median run is shown. The server's CPU is this process's, which runs only the servers.
    const auto timed = [&](const char *title, long milliseconds, double mbit, int repeats) {
        std::printf("\n%s:\n", title);
        std::vector<std::unique_ptr<harbeat::newsd::NewsServer>> servers;
        std::vector<harbeat::newsd::ServerOptions> serverOptions(3);
        std::vector<std::vector<SearchRun>> runs(3);
        std::vector<double> serverCpu(3, 0);
        for (const Compression method : methods) {
            harbeat::newsd::ServerOptions &options = serverOptions[static_cast<int>(method)];
            options.compression = method;
            options.latency = std::chrono::milliseconds(2 * milliseconds);
            options.connectionRateMbit = mbit;
            servers.push_back(std::make_unique<harbeat::newsd::NewsServer>(store, options));
            servers.back()->start(0);
            if (repeats > 1) runChild(servers.back()->port(), method != Compression::None);
        }
        for (int repeat = 0; repeat < repeats; ++repeat)
            for (const Compression method : methods) {
                const int index = static_cast<int>(method);
                const double before = cpuSeconds();
                const SearchRun run = runChild(servers[static_cast<std::size_t>(index)]->port(), method != Compression::None);
                serverCpu[static_cast<std::size_t>(index)] += cpuSeconds() - before;
                if (run.ok) runs[static_cast<std::size_t>(index)].push_back(run);
            }
        for (auto &server : servers) server->stop();
        double plainSeconds = 0, plainCpu = 0;
        for (const Compression method : methods) {
            const auto index = static_cast<std::size_t>(method);
            std::vector<SearchRun> &done = runs[index];
            if (done.empty()) continue;
            std::sort(done.begin(), done.end(), [](const SearchRun &a, const SearchRun &b) { return a.seconds < b.seconds; });
            const SearchRun &run = done[done.size() / 2];
            if (method == Compression::None) {
                plainSeconds = run.seconds;
                plainCpu = run.cpu;
            }
            std::printf("  %-17s: %8.3f s  (%.2fx uncompressed", nameOf(method), run.seconds, run.seconds / plainSeconds);
            if (done.size() > 1)
                std::printf(", runs %.3f to %.3f s", done.front().seconds, done.back().seconds);
            std::printf("; search CPU %.3f s = %.2fx", run.cpu, run.cpu / plainCpu);
            if (inflating[index] > 0) std::printf(", inflating %.1f %% of it", 100.0 * inflating[index] / run.cpu);
            std::printf("; server CPU %.3f s; %ld songs)\n", serverCpu[index] / static_cast<double>(repeats), run.songs);
            std::fflush(stdout);
        }
    };
    char title[160];
    std::snprintf(title, sizeof title,
                  "search at %ld ms one way (--latency-ms %ld --connection-rate %.0f), pipeline %ld, connections %ld",
                  oneWay, 2 * oneWay, rate, pipelineDepth, connectionCount);
    timed(title, oneWay, rate, 1);
    std::snprintf(title, sizeof title, "search on loopback, no latency and no cap, connections %ld", connectionCount);
    timed(title, 0, 0, loopbackRepeats);
    return 0;
}
