// Song search over one synthetic group served by the bundled news server on loopback, next to a
// raw client that only reads the same "xover" batches. Each side runs in a child process of its
// own, so the peak resident memory reported is the search's alone.
// Run by hand: build/bin/search_bench [articles]   (default 1000000: 200,000 five-part songs)
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

#include "corvane_n.h"
#include "newsd/news_server.h"
#include "raw_xover_client.h"

namespace {

constexpr const char *kGroup = "alt.binaries.sounds.mp3.big";

// Peak resident memory of this process in kB (VmHWM).
long peakResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with("VmHWM:")) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// User plus system CPU time of this process, in seconds.
double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::mutex reportMutex;
std::condition_variable finished;
bool searchEnded = false;
std::string endText;
long songLines = 0;
// When the first song line arrived: the overview is read and grouped by then.
std::chrono::steady_clock::time_point firstSongLine;
long errorReports = 0;

std::string narrow(const char16_t *text) {
    std::string out;
    for (; text && *text; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
    return out;
}

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

int runSearchChild(int port) {
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

int runRawChild(int port) {
    const RawXoverResult raw = readGroupOverviewRaw(port, kGroup);
    if (!raw.ok) {
        std::printf("error %s\n", raw.error.c_str());
        return 1;
    }
    std::printf("raw %.3f %.3f %llu\n", raw.seconds, cpuSeconds(), static_cast<unsigned long long>(raw.lines));
    return 0;
}

// Runs this program again as a child in `mode` and returns the one line it prints.
std::string runChild(const char *mode, int port) {
    // popen runs a shell, in which /proc/self/exe would be the shell: resolve it here.
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return "error readlink";
    const std::string command = "'" + std::string(self) + "' --child " + std::string(mode) + " " + std::to_string(port);
    FILE *child = popen(command.c_str(), "r");
    if (!child) return "error popen";
    char line[512] = {};
    if (!std::fgets(line, sizeof line, child)) std::strcpy(line, "error no output");
    pclose(child);
    return line;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0) {
        const int port = std::atoi(argv[3]);
        return std::strcmp(argv[2], "search") == 0 ? runSearchChild(port) : runRawChild(port);
    }
    const unsigned long long articles = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000ULL;

    harbeat::newsd::NewsStore store;
    store.addGroup("alt.binaries.sounds.mp3", 0, true);  // the group the server check selects
    store.addSyntheticGroup(kGroup, articles);
    harbeat::newsd::NewsServer server(store);
    server.start(0);
    std::printf("synthetic group %s: %llu articles, %llu five-part songs, served on 127.0.0.1:%u\n", kGroup, articles,
                articles / 5, static_cast<unsigned>(server.port()));

    const std::string raw = runChild("raw", server.port());
    const std::string search = runChild("search", server.port());
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
