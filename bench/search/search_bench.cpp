// Song search over one synthetic group served by the bundled news server on loopback, next to a
// raw client that only reads the same "xover" batches. Each side runs in a child process of its
// own, so the peak resident memory reported is the search's alone.
// Run by hand:
//   build/bin/search_bench [articles]   (default 1000000: 200,000 five-part songs)
//   build/bin/search_bench --latency [articles] [one-way ms, e.g. 0,10,25] [pipelines, e.g. 1,4,16,64,256]
//       the search at each distance and pipeline depth, next to a raw client sending one "xover"
//       of the whole range (and, at 0 ms, the raw client of 51-number batches)
//   build/bin/search_bench --download [one-way ms] [parts]
//       one song of that many parts (default 25 ms, 20 parts) with one "article" at a time and
//       with the default pipeline
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

constexpr const char *kGroup = "alt.binaries.sounds.mp3.big";

std::mutex reportMutex;
std::condition_variable finished;
bool searchEnded = false;
std::string endText;
long songLines = 0;
// When the first song line arrived: the overview is read and grouped by then.
std::chrono::steady_clock::time_point firstSongLine;
long errorReports = 0;

// Discards the song lines; notes the last report.
void CORVANE_CALL onReport(int32_t code, const char16_t *text) {
    if (code == kNotifySong) {
        if (songLines++ == 0) firstSongLine = std::chrono::steady_clock::now();
        return;
    }
    if (code != kNotifySearchDone && code != kNotifyError) return;
    std::lock_guard lock(reportMutex);
    if (code == kNotifyError && narrow(text) != "No Songs.") {
        // A 9001 in the middle of a search names a failed group; the search goes on.
        ++errorReports;
        endText = narrow(text);
        return;
    }
    searchEnded = true;
    endText = narrow(text);
    finished.notify_all();
}

int runSearchChild(int port, const char *pipeline) {
    if (pipeline && mp3SetOption("pipeline", pipeline) != -1) return 1;
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
    {
        std::unique_lock lock(reportMutex);
        finished.wait(lock, [] { return searchEnded; });
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::lock_guard lock(reportMutex);
    const double untilFirstSong = std::chrono::duration<double>(firstSongLine - started).count();
    std::printf("search %.3f %.3f %.3f %ld %ld %ld %s\n", seconds, untilFirstSong, cpuSeconds(), songLines,
                errorReports, peakResidentKb(), endText.c_str());
    return 0;
}

int runRawChild(int port, bool wholeRange) {
    const RawXoverResult raw = wholeRange ? readWholeRangeRaw(port, kGroup) : readGroupOverviewRaw(port, kGroup);
    if (!raw.ok) {
        std::printf("error %s\n", raw.error.c_str());
        return 1;
    }
    std::printf("raw %.3f %.3f %llu\n", raw.seconds, cpuSeconds(), static_cast<unsigned long long>(raw.lines));
    return 0;
}

// Runs this program again as a child in `mode` and returns the one line it prints.
std::string runChild(const char *mode, int port, const std::string &extra = "") {
    // popen runs a shell, in which /proc/self/exe would be the shell: resolve it here.
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return "error readlink";
    const std::string command =
        "'" + std::string(self) + "' --child " + std::string(mode) + " " + std::to_string(port) + " " + extra;
    FILE *child = popen(command.c_str(), "r");
    if (!child) return "error popen";
    char line[512] = {};
    if (!std::fgets(line, sizeof line, child)) std::strcpy(line, "error no output");
    pclose(child);
    return line;
}

std::vector<long> numberList(const char *text) {
    std::vector<long> numbers;
    for (const char *p = text; *p;) {
        char *end = nullptr;
        numbers.push_back(std::strtol(p, &end, 10));
        if (end == p) break;
        p = *end == ',' ? end + 1 : end;
    }
    return numbers;
}

// Seconds of a search child's run, or -1; `cpu` is the child's processor time.
double searchSeconds(int port, long pipeline, double &cpu) {
    double seconds = -1;
    double untilFirstSong = 0;
    const std::string line = runChild("search", port, std::to_string(pipeline));
    if (std::sscanf(line.c_str(), "search %lf %lf %lf", &seconds, &untilFirstSong, &cpu) != 3)
        std::printf("  search failed: %s", line.c_str());
    return seconds;
}

double rawSeconds(int port, bool wholeRange) {
    double seconds = -1;
    const std::string line = runChild(wholeRange ? "whole" : "raw", port);
    if (std::sscanf(line.c_str(), "raw %lf", &seconds) != 1) std::printf("  raw client failed: %s", line.c_str());
    return seconds;
}

int latencyMode(unsigned long long articles, const std::vector<long> &oneWay, const std::vector<long> &pipelines) {
    harbeat::newsd::NewsStore store;
    store.addGroup("alt.binaries.sounds.mp3", 0, true);
    store.addSyntheticGroup(kGroup, articles);
    std::printf("synthetic group %s: %llu articles; seconds from the search's start to its last report\n", kGroup,
                articles);
    for (const long milliseconds : oneWay) {
        harbeat::newsd::ServerOptions options;
        options.latency = std::chrono::milliseconds(2 * milliseconds);  // a round trip
        harbeat::newsd::NewsServer server(store, options);
        server.start(0);
        std::printf("%3ld ms one way:\n", milliseconds);
        std::fflush(stdout);
        const double whole = rawSeconds(server.port(), true);
        std::printf("  raw client, one xover of the whole range : %9.3f s\n", whole);
        double batches = -1;
        if (milliseconds == 0) {
            batches = rawSeconds(server.port(), false);
            std::printf("  raw client, 51-number batches one by one : %9.3f s\n", batches);
        }
        std::fflush(stdout);
        for (const long pipeline : pipelines) {
            double cpu = 0;
            const double seconds = searchSeconds(server.port(), pipeline, cpu);
            std::printf("  search, pipeline %4ld                    : %9.3f s  (client CPU %.3f s)", pipeline, seconds,
                        cpu);
            if (batches > 0 && seconds > 0) std::printf("   (ratio to the raw batch client %.2f)", batches / seconds);
            std::printf("\n");
            std::fflush(stdout);
        }
        server.stop();
    }
    return 0;
}

// The download child: learns the song's message-ids with a search, then downloads it once.
std::mutex downloadMutex;
std::condition_variable downloadChanged;
std::string songLine;
bool downloadEnded = false;
long downloadErrors = 0;
long filesWritten = 0;

void CORVANE_CALL onDownloadReport(int32_t code, const char16_t *text) {
    std::lock_guard lock(downloadMutex);
    if (code == kNotifySong && songLine.empty()) songLine = narrow(text);
    if (code == kNotifyError && narrow(text) != "No Songs.") ++downloadErrors;
    if (code == kNotifyFileWritten) ++filesWritten;
    if (code == kNotifySearchDone || code == kNotifyDownloadDone || code == kNotifyError) downloadEnded = true;
    downloadChanged.notify_all();
}

int runDownloadChild(int port, const char *pipeline) {
    char error[256] = {};
    int32_t reachable = 0;
    int32_t posting = 0;
    if (mp3Settings(error, &onDownloadReport, "127.0.0.1", port, "", "", 0, &reachable, &posting, 0) != -1) {
        std::printf("error %s\n", error);
        return 1;
    }
    const auto waitEnd = [] {
        std::unique_lock lock(downloadMutex);
        downloadChanged.wait(lock, [] { return downloadEnded; });
        downloadEnded = false;
    };
    if (mp3GetSongs((std::string(kGroup) + "\trock\r\n").c_str()) == -1) return 1;
    waitEnd();
    // The SongLine's last three fields are a DownloadRequest line.
    std::string request;
    {
        std::lock_guard lock(downloadMutex);
        std::size_t field = 0;
        for (int tabs = 0; tabs < 3 && field != std::string::npos; ++tabs) field = songLine.find('\t', field + 1);
        if (field == std::string::npos) {
            std::printf("error no song\n");
            return 1;
        }
        request = songLine.substr(field + 1);
    }
    char folder[] = "/tmp/search_bench_download.XXXXXX";
    if (!mkdtemp(folder)) return 1;
    if (mp3SetOption("pipeline", pipeline) != -1) return 1;
    const auto started = std::chrono::steady_clock::now();
    if (mp3BuildSongs(folder, "", request.c_str(), 0) == -1) return 1;
    waitEnd();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::system(("rm -rf '" + std::string(folder) + "'").c_str());
    std::printf("download %.3f %ld %ld\n", seconds, filesWritten, downloadErrors);
    return 0;
}

int downloadMode(long oneWay, int parts) {
    harbeat::newsd::NewsStore store;
    store.addGroup("alt.binaries.sounds.mp3", 0, true);
    harbeat::newsd::SyntheticGroupOptions song;
    song.partsPerSong = parts;
    song.linesPerPart = 5000;  // about 300 kB of encoded body per part
    store.addSyntheticGroup(kGroup, static_cast<std::uint64_t>(parts), 1, song);
    harbeat::newsd::ServerOptions options;
    options.latency = std::chrono::milliseconds(2 * oneWay);
    harbeat::newsd::NewsServer server(store, options);
    server.start(0);
    std::printf("one song of %d parts (%d uuencoded lines each), %ld ms one way:\n", parts, song.linesPerPart, oneWay);
    for (const char *pipeline : {"1", "64"}) {
        const std::string line = runChild("download", server.port(), pipeline);
        double seconds = -1;
        long files = 0;
        long errors = 0;
        if (std::sscanf(line.c_str(), "download %lf %ld %ld", &seconds, &files, &errors) != 3) {
            std::printf("  download failed: %s", line.c_str());
            continue;
        }
        std::printf("  pipeline %2s: %7.3f s  (%ld file written, %ld errors)\n", pipeline, seconds, files, errors);
        std::fflush(stdout);
    }
    server.stop();
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--child") == 0) {
        const int port = std::atoi(argv[3]);
        const char *extra = argc > 4 ? argv[4] : nullptr;
        if (std::strcmp(argv[2], "search") == 0) return runSearchChild(port, extra);
        if (std::strcmp(argv[2], "download") == 0) return runDownloadChild(port, extra ? extra : "64");
        return runRawChild(port, std::strcmp(argv[2], "whole") == 0);
    }
    if (argc >= 2 && std::strcmp(argv[1], "--latency") == 0) {
        const unsigned long long articles = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1000000ULL;
        return latencyMode(articles, numberList(argc > 3 ? argv[3] : "0,10,25"),
                           numberList(argc > 4 ? argv[4] : "1,4,16,64,256"));
    }
    if (argc >= 2 && std::strcmp(argv[1], "--download") == 0)
        return downloadMode(argc > 2 ? std::strtol(argv[2], nullptr, 10) : 25, argc > 3 ? std::atoi(argv[3]) : 20);
    const unsigned long long articles = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000ULL;

    harbeat::newsd::NewsStore store;
    store.addGroup("alt.binaries.sounds.mp3", 0, true);  // the group the server check selects
    store.addSyntheticGroup(kGroup, articles);
    harbeat::newsd::NewsServer server(store);
    server.start(0);
    std::printf("synthetic group %s: %llu articles, %llu five-part songs, served on 127.0.0.1:%u\n", kGroup, articles,
                articles / 5, static_cast<unsigned>(server.port()));

    const std::string raw = runChild("raw", server.port());
    const std::string search = runChild("search", server.port(), "64");
    server.stop();

    double rawSeconds = 0;
    double rawCpu = 0;
    double searchCpu = 0;
    double untilFirstSong = 0;
    unsigned long long rawLines = 0;
    double searchSeconds = 0;
    long songs = 0;
    long errors = 0;
    long peakKb = 0;
    char end[256] = {};
    if (std::sscanf(raw.c_str(), "raw %lf %lf %llu", &rawSeconds, &rawCpu, &rawLines) != 3) {
        std::printf("raw client failed: %s", raw.c_str());
        return 1;
    }
    if (std::sscanf(search.c_str(), "search %lf %lf %lf %ld %ld %ld %255[^\n]", &searchSeconds, &untilFirstSong,
                    &searchCpu, &songs, &errors, &peakKb, end) < 6) {
        std::printf("search failed: %s", search.c_str());
        return 1;
    }
    const double searchRate = static_cast<double>(articles) / searchSeconds;
    const double rawRate = static_cast<double>(articles) / rawSeconds;
    std::printf("raw xover client : %8.3f s  %10.0f articles/s  (%llu overview lines; client CPU %.3f s)\n", rawSeconds,
                rawRate, rawLines, rawCpu);
    std::printf(
        "whole search     : %8.3f s  %10.0f articles/s  (%ld songs, %ld failed groups, last report \"%s\"; "
        "client CPU %.3f s)\n",
        searchSeconds, searchRate, songs, errors, end, searchCpu);
    std::printf("  of which       : %8.3f s  reading and grouping, %.3f s sending the song lines\n", untilFirstSong,
                searchSeconds - untilFirstSong);
    std::printf("search / raw     : %8.1f %%   (target >= 80 %%)\n", 100.0 * searchRate / rawRate);
    std::printf("search peak RSS  : %8.1f MB  (target < 600 MB)\n", static_cast<double>(peakKb) / 1024.0);
    return 0;
}
