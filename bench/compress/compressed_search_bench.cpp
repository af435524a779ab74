// Compressed overviews: bytes on the wire and search time for one synthetic group, uncompressed,
// with RFC 8054 COMPRESS DEFLATE and with XFEATURE COMPRESS GZIP, all served by the bundled
// server. Each search runs in a child process of its own (its CPU time is the search's alone).
// Run by hand:
//   build/bin/compressed_search_bench [articles] [one-way ms] [Mbit/s] [pipeline] [connections]
//       (defaults 1000000, 25, 40, 64 and 1: a path of 50 ms round trip and a 40 Mbit/s link per
//       connection, as the bundled server's --latency-ms and --connection-rate make them; the
//       engine's pipeline depth; the connections of the search)
// It prints three tables: bytes on the wire through a counting relay (no cap), the search time
// at the given distance and rate, and the search time on bare loopback, each against the
// uncompressed run. The CPU share of inflating is the time this process takes to inflate the
// search session's captured bytes through the engine's own stream, over the search's CPU time.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

    const auto timed = [&](const char *title, long milliseconds, double mbit) {
        std::printf("\n%s:\n", title);
        double plainSeconds = 0;
        for (const Compression method : methods) {
            harbeat::newsd::ServerOptions options;
            options.compression = method;
            options.latency = std::chrono::milliseconds(2 * milliseconds);
            options.connectionRateMbit = mbit;
            harbeat::newsd::NewsServer server(store, options);
            server.start(0);
            const SearchRun run = runChild(server.port(), method != Compression::None);
            server.stop();
            if (!run.ok) continue;
            if (method == Compression::None) plainSeconds = run.seconds;
            std::printf("  %-17s: %8.3f s  (%.2fx uncompressed; search CPU %.3f s", nameOf(method), run.seconds,
                        run.seconds / plainSeconds, run.cpu);
            if (inflating[static_cast<int>(method)] > 0)
                std::printf(", inflating %.1f %% of it", 100.0 * inflating[static_cast<int>(method)] / run.cpu);
            std::printf("; %ld songs)\n", run.songs);
            std::fflush(stdout);
        }
    };
    char title[160];
    std::snprintf(title, sizeof title,
                  "search at %ld ms one way (--latency-ms %ld --connection-rate %.0f), pipeline %ld, connections %ld",
                  oneWay, 2 * oneWay, rate, pipelineDepth, connectionCount);
    timed(title, oneWay, rate);
    std::snprintf(title, sizeof title, "search on loopback, no latency and no cap, connections %ld", connectionCount);
    timed(title, 0, 0);
    return 0;
}
