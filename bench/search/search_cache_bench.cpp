// The overview cache and the search depth over synthetic groups served by the bundled news server
// on loopback. Each search runs in a child process of its own.
//
//   1. a first search of a group of N articles with an empty cache folder;
//   2. the same group with 1,000 articles more: a search with the cache, then one without, whose
//      songs must be identical;
//   3. the cache file's size per million articles;
//   4. a group of 100,000,000 articles searched with depth 500,000 beside a group of 500,000
//      articles searched whole.
//
// Run by hand: build/bin/search_cache_bench [articles] [one-way ms]   (default 1000000, 0 ms)
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>

#include "common/process_figures.h"
#include "corvane_n.h"
#include "newsd/news_server.h"

namespace {

using harbeat::bench::cpuSeconds;
using harbeat::bench::narrow;
using harbeat::bench::peakResidentKb;

constexpr const char *kGroup = "alt.binaries.sounds.mp3.big";
constexpr unsigned long long kNewArticles = 1000;

std::mutex reportMutex;
std::condition_variable finished;
bool searchEnded = false;
long songLines = 0;
uint64_t songHash = 0xcbf29ce484222325ull;  // over every song line, in order
std::string endText;

// Mixes a song line into songHash four UTF-16 units at a time: a hash of one unit at a time took
// a tenth of a second for 200,000 lines, which the benchmark charged to the search it measures.
void hashSongLine(const char16_t *text) {
    const std::size_t length = text ? std::char_traits<char16_t>::length(text) : 0;
    const auto mix = [](uint64_t word) {
        songHash = (songHash ^ word) * 0x100000001b3ull;
        songHash ^= songHash >> 29;
    };
    std::size_t i = 0;
    for (; i + 4 <= length; i += 4) {
        uint64_t word;
        std::memcpy(&word, text + i, sizeof word);
        mix(word);
    }
    for (; i < length; ++i) mix(text[i]);
    mix(length);
}

void CORVANE_CALL onReport(int32_t code, const char16_t *text) {
    if (code == kNotifySong) {
        ++songLines;
        hashSongLine(text);
        return;
    }
    if (code != kNotifySearchDone && code != kNotifyError) return;
    std::string narrow;
    for (; text && *text; ++text) narrow += *text < 0x80 ? static_cast<char>(*text) : '?';
    std::lock_guard lock(reportMutex);
    if (code == kNotifyError && narrow != "No Songs.") return;  // a failed group; the search goes on
    searchEnded = true;
    endText = narrow;
    finished.notify_all();
}

// In the child: one search with the given depth and cache folder ("-" for none).
int runSearchChild(int port, const char *depth, const char *cache) {
    if (mp3SetOption("search-depth", depth) != -1) return 1;
    if (mp3SetOption("overview-cache", std::strcmp(cache, "-") == 0 ? "" : cache) != -1) return 1;
    char error[256] = {};
    int32_t reachable = 0;
    int32_t posting = 0;
    if (mp3Settings(error, &onReport, "127.0.0.1", port, "", "", 0, &reachable, &posting, 0) != -1) {
        std::printf("error %s\n", error);
        return 1;
    }
    const std::string request = std::string(kGroup) + "\trock\r\n";
    const auto started = std::chrono::steady_clock::now();
    if (mp3GetSongs(request.c_str()) == -1) return 1;
    std::unique_lock lock(reportMutex);
    finished.wait(lock, [] { return searchEnded; });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("search %.3f %.3f %ld %016llx %s\n", seconds, cpuSeconds(), songLines,
                static_cast<unsigned long long>(songHash), endText.c_str());
    return 0;
}

struct SearchResult {
    double seconds = 0;
    double cpu = 0;
    long songs = 0;
    unsigned long long hash = 0;
};

// Serves a synthetic group of `articles` on `port` (0: any) and runs one search in a child.
SearchResult search(unsigned long long articles, uint16_t &port, const std::string &depth, const std::string &cache,
                    long oneWayMs) {
    harbeat::newsd::NewsStore store;
    store.addGroup("alt.binaries.sounds.mp3", 0, true);  // the group the server check selects
    store.addSyntheticGroup(kGroup, articles);
    harbeat::newsd::ServerOptions options;
    options.latency = std::chrono::milliseconds(2 * oneWayMs);  // a round trip
    harbeat::newsd::NewsServer server(store, options);
    server.start(port);
    port = server.port();

    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) std::exit(1);
    const std::string command = "'" + std::string(self) + "' --child " + std::to_string(port) + " " + depth + " '" +
                                (cache.empty() ? std::string("-") : cache) + "'";
    FILE *child = popen(command.c_str(), "r");
    if (!child) std::exit(1);
    char line[512] = {};
    if (!std::fgets(line, sizeof line, child)) std::strcpy(line, "error no output");
    pclose(child);
    server.stop();

    SearchResult result;
    char end[256] = {};
    if (std::sscanf(line, "search %lf %lf %ld %llx %255[^\n]", &result.seconds, &result.cpu, &result.songs,
                    &result.hash, end) < 4) {
        std::printf("search failed: %s", line);
        std::exit(1);
    }
    return result;
}

uint64_t folderBytes(const std::filesystem::path &folder) {
    uint64_t bytes = 0;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file()) bytes += entry.file_size();
    return bytes;
}

void show(const char *what, const SearchResult &r) {
    std::printf("%-44s %8.3f s  (CPU %.3f s, %ld songs)\n", what, r.seconds, r.cpu, r.songs);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 5 && std::strcmp(argv[1], "--child") == 0) return runSearchChild(std::atoi(argv[2]), argv[3], argv[4]);
    const unsigned long long articles = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000ULL;
    const long oneWay = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 0;

    const std::filesystem::path cache =
        std::filesystem::temp_directory_path() / ("harbeat-cache-bench-" + std::to_string(::getpid()));
    std::filesystem::remove_all(cache);
    std::printf("synthetic group %s on loopback, %ld ms one way\n", kGroup, oneWay);

    // The cache is keyed by server and port: every search of the group keeps the port.
    uint16_t port = 0;
    const SearchResult first = search(articles, port, "0", cache.string(), oneWay);
    const uint64_t cacheBytes = folderBytes(cache);
    const SearchResult cached = search(articles + kNewArticles, port, "0", cache.string(), oneWay);
    const SearchResult uncached = search(articles + kNewArticles, port, "0", "", oneWay);

    show(("first search, " + std::to_string(articles) + " articles, cache empty").c_str(), first);
    show("second search, 1,000 new articles, cached", cached);
    show("same without the cache", uncached);
    std::printf("second / first                               %8.2f %%  (goal < 5 %%)\n",
                100.0 * cached.seconds / first.seconds);
    std::printf("songs identical to the uncached search       %8s\n",
                cached.songs == uncached.songs && cached.hash == uncached.hash ? "yes" : "NO");
    std::printf(
        "cache file                                   %8.1f MB, %.1f MB per million articles, %.1f bytes "
        "per article\n",
        static_cast<double>(cacheBytes) / 1e6, static_cast<double>(cacheBytes) / 1e6 * 1e6 / articles,
        static_cast<double>(cacheBytes) / static_cast<double>(articles));
    std::filesystem::remove_all(cache);

    uint16_t anyPort = 0;
    const SearchResult deep = search(100000000ULL, anyPort, "500000", "", oneWay);
    anyPort = 0;
    const SearchResult shallow = search(500000ULL, anyPort, "0", "", oneWay);
    show("100,000,000 articles, depth 500,000", deep);
    show("500,000 articles, whole", shallow);
    std::printf("deep / shallow                               %8.2f    (goal about 1)\n",
                deep.seconds / shallow.seconds);
    return 0;
}
