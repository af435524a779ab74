// Searches and saves over one and over several connections against the bundled news server, as a
// provider serves them: a distance of 25 ms one way and 40 Mbit/s per connection, next to the
// bounds of a raw client; and on loopback without a cap, time and peak memory of a large search.
// Each run is a child process of its own, so the peak resident memory reported is its alone.
// Run by hand:
//   build/bin/connections_bench [search articles, default 200000] [loopback articles, default 1000000]
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "common/process_figures.h"
#include "corvane_n.h"
#include "newsd/news_server.h"
#include "raw_xover_client.h"

namespace {

using harbeat::bench::cpuSeconds;
using harbeat::bench::narrow;
using harbeat::bench::peakResidentKb;

constexpr const char *kSearchGroup = "alt.binaries.sounds.mp3.big";
constexpr const char *kSongGroup = "alt.binaries.sounds.mp3.yenc";
// Ten songs of eight yEnc parts of about 640 kB: 50 MB.
constexpr int kSongs = 10;
constexpr int kPartsPerSong = 8;
constexpr int kLinesPerPart = 14222;  // 45 bytes each

std::mutex reportMutex;
std::condition_variable changed;
bool ended = false;
long songLines = 0;
long errors = 0;
long files = 0;
std::string request;  // the songs found, as a DownloadRequest

void CORVANE_CALL onReport(int32_t code, const char16_t *text) {
    std::lock_guard lock(reportMutex);
    if (code == kNotifySong) {
        ++songLines;
        // A SongLine's last three fields are a DownloadRequest line.
        const std::string line = narrow(text);
        std::size_t at = line.size();
        for (int tabs = 0; tabs < 3 && at != std::string::npos && at > 0; ++tabs) at = line.rfind('\t', at - 1);
        if (at != std::string::npos) request += line.substr(at + 1);
    }
    if (code == kNotifyError && narrow(text) != "No Songs.") ++errors;
    if (code == kNotifyFileWritten) ++files;
    if (code == kNotifySearchDone || code == kNotifyDownloadDone || code == kNotifyError) ended = true;
    changed.notify_all();
}

void waitEnd() {
    std::unique_lock lock(reportMutex);
    changed.wait(lock, [] { return ended; });
    ended = false;
}

bool setUp(int port, const char *connections) {
    char error[256] = {};
    int32_t reachable = 0;
    int32_t posting = 0;
    if (mp3SetOption("connections", connections) != -1) return false;
    return mp3Settings(error, &onReport, "127.0.0.1", port, "", "", 0, &reachable, &posting, 0) == -1;
}

double since(std::chrono::steady_clock::time_point started) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

int searchChild(int port, const char *connections) {
    if (!setUp(port, connections)) return 1;
    const auto started = std::chrono::steady_clock::now();
    if (mp3GetSongs((std::string(kSearchGroup) + "\trock\r\n").c_str()) == -1) return 1;
    waitEnd();
    const double seconds = since(started);
    std::printf("search %.3f %ld %ld %ld\n", seconds, songLines, errors, peakResidentKb());
    return 0;
}

int saveChild(int port, const char *connections, const char *folder) {
    if (!setUp(port, connections)) return 1;
    if (mp3GetSongs((std::string(kSongGroup) + "\trock\r\n").c_str()) == -1) return 1;
    waitEnd();
    const auto started = std::chrono::steady_clock::now();
    if (mp3BuildSongs(folder, "", request.c_str(), 0) == -1) return 1;
    for (;;) {
        waitEnd();
        std::lock_guard lock(reportMutex);
        if (files + errors >= songLines) break;
    }
    const double seconds = since(started);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("save %.3f %ld %ld %ld %.3f\n", seconds, files, errors, peakResidentKb(), cpu);
    return 0;
}

int rawChild(int port, int pieces) {
    const RawXoverResult raw = readRangeInPiecesRaw(port, kSearchGroup, pieces);
    if (!raw.ok) {
        std::printf("error %s\n", raw.error.c_str());
        return 1;
    }
    std::printf("raw %.3f %llu\n", raw.seconds, static_cast<unsigned long long>(raw.lines));
    return 0;
}

std::string runChild(const std::string &arguments) {
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return "error readlink";
    FILE *child = popen(("'" + std::string(self) + "' --child " + arguments).c_str(), "r");
    if (!child) return "error popen";
    char line[512] = {};
    if (!std::fgets(line, sizeof line, child)) std::strcpy(line, "error no output\n");
    pclose(child);
    return line;
}

struct Figures {
    double seconds = -1;
    long count = 0;
    long errors = 0;
    long peakKb = 0;
    double cpu = 0;  // the child's processor time (saves: the search before it included)
};

Figures child(const char *kind, const std::string &arguments) {
    Figures figures;
    const std::string line = runChild(std::string(kind) + " " + arguments);
    const std::string format = std::string(kind) + " %lf %ld %ld %ld %lf";
    if (std::sscanf(line.c_str(), format.c_str(), &figures.seconds, &figures.count, &figures.errors,
                    &figures.peakKb, &figures.cpu) < 2)
        std::printf("  %s failed: %s", kind, line.c_str());
    return figures;
}

void addSongGroup(harbeat::newsd::NewsStore &store) {
    harbeat::newsd::SyntheticGroupOptions songs;
    songs.partsPerSong = kPartsPerSong;
    songs.linesPerPart = kLinesPerPart;
    songs.yencEvery = 1;
    store.addSyntheticGroup(kSongGroup, kSongs * kPartsPerSong, 1, songs);
}

void saves(const std::string &port, double bound) {
    char folder[] = "/tmp/harbeat-connections-bench-XXXXXX";
    if (!mkdtemp(folder)) return;
    // A provider sends stored articles; the bundled server makes its yEnc bodies on first use and
    // keeps them, so one save before the timed ones leaves only the sending to measure.
    child("save", port + " 8 " + folder);
    for (const char *connections : {"8", "1"}) {
        const Figures save = child("save", port + " " + connections + " " + folder);
        std::printf("  save, connections %-2s                                  : %8.3f s  (%ld files, %ld errors, "
                    "client CPU %.2f s)",
                    connections, save.seconds, save.count, save.errors, save.cpu);
        if (bound > 0) std::printf("  %.2fx the bound", save.seconds / bound);
        std::printf("\n");
        std::fflush(stdout);
    }
    std::system(("rm -rf '" + std::string(folder) + "'").c_str());
}

void provider(unsigned long long articles) {
    harbeat::newsd::NewsStore store;
    store.addGroup("alt.binaries.sounds.mp3", 0, true);
    store.addSyntheticGroup(kSearchGroup, articles);
    addSongGroup(store);
    harbeat::newsd::ServerOptions options;
    options.latency = std::chrono::milliseconds(50);
    options.connectionRateMbit = 40;
    harbeat::newsd::NewsServer server(store, options);
    server.start(0);
    const std::string port = std::to_string(server.port());
    std::printf("A provider: 25 ms one way (--latency-ms 50), 40 Mbit/s per connection\n");
    const Figures raw = child("raw", port + " 8");
    std::printf("  search of %llu articles, raw client, 8 pieces at once : %8.3f s  (%ld lines)\n", articles,
                raw.seconds, raw.count);
    std::fflush(stdout);
    for (const char *connections : {"8", "1"}) {
        const Figures search = child("search", port + " " + connections);
        std::printf("  search of %llu articles, connections %-2s             : %8.3f s  (%ld songs, %ld errors)",
                    articles, connections, search.seconds, search.count, search.errors);
        if (raw.seconds > 0 && search.seconds > 0) std::printf("  %.2fx the raw client", search.seconds / raw.seconds);
        std::printf("\n");
        std::fflush(stdout);
    }
    const double megabytes = kSongs * kPartsPerSong * kLinesPerPart * 45.0 / 1e6;
    const double bound = megabytes / (8 * 5.0);
    std::printf("  save of %.1f MB of yEnc songs at 8 x 5 MB/s would take  : %8.3f s\n", megabytes, bound);
    saves(port, bound);
    server.stop();
}

void loopback(unsigned long long articles) {
    harbeat::newsd::NewsStore store;
    store.addGroup("alt.binaries.sounds.mp3", 0, true);
    store.addSyntheticGroup(kSearchGroup, articles);
    addSongGroup(store);
    harbeat::newsd::NewsServer server(store);
    server.start(0);
    const std::string port = std::to_string(server.port());
    std::printf("Loopback, no cap: search of %llu articles\n", articles);
    // The server makes its overview lines at the first search and keeps them: that one is not timed.
    child("search", port + " 1");
    for (const char *connections : {"1", "8", "1", "8"}) {
        const Figures search = child("search", port + " " + connections);
        std::printf("  connections %-2s : %8.3f s, peak resident %ld kB (%ld songs)\n", connections, search.seconds,
                    search.peakKb, search.count);
        std::fflush(stdout);
    }
    std::printf("Loopback, no cap: the same saves\n");
    saves(port, 0);
    server.stop();
}

}  // namespace

int main(int argc, char **argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--child") == 0) {
        const int port = std::atoi(argv[3]);
        const std::string mode = argv[2];
        if (mode == "search" && argc >= 5) return searchChild(port, argv[4]);
        if (mode == "save" && argc >= 6) return saveChild(port, argv[4], argv[5]);
        if (mode == "raw" && argc >= 5) return rawChild(port, std::atoi(argv[4]));
        return 1;
    }
    const unsigned long long articles = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 200000;
    const unsigned long long large = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1000000;
    provider(articles);
    loopback(large);
    return 0;
}
