// A 20-part song saved from a main server that lacks 5 of its parts, the backup server supplying
// them, against the same song with nothing missing; both servers 25 ms away one way
// (--latency-ms 50). Prints the median time of each and checks that every saved file is the
// song's bytes exactly.
// Run by hand:
//   build/bin/backup_bench [runs, default 7] [lines per part, default 4000]
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "common/process_figures.h"
#include "corvane_n.h"
#include "newsd/news_server.h"

namespace {

using harbeat::bench::cpuSeconds;
using harbeat::bench::narrow;
using harbeat::bench::peakResidentKb;

constexpr const char *kGroup = "alt.binaries.sounds.mp3.backup";
constexpr int kParts = 20;
const std::vector<std::uint64_t> kLostOnMain = {3, 7, 11, 15, 19};

std::mutex reportMutex;
std::condition_variable changed;
bool ended = false;
std::string request;  // the song found, as a DownloadRequest
std::string written;  // the path of the file saved last
std::string lastError;

void CORVANE_CALL onReport(int32_t code, const char16_t *text) {
    std::lock_guard lock(reportMutex);
    if (code == kNotifySong) {
        // A SongLine's last three fields are a DownloadRequest line.
        const std::string line = narrow(text);
        std::size_t at = line.size();
        for (int tabs = 0; tabs < 3 && at != std::string::npos && at > 0; ++tabs) at = line.rfind('\t', at - 1);
        if (at != std::string::npos) request += line.substr(at + 1);
    }
    if (code == kNotifyFileWritten) written = narrow(text);
    if (code == kNotifyError) lastError = narrow(text);
    if (code == kNotifySearchDone || code == kNotifyDownloadDone || (code == kNotifyError && request.empty()))
        ended = true;
    changed.notify_all();
}

void waitEnd() {
    std::unique_lock lock(reportMutex);
    changed.wait(lock, [] { return ended; });
    ended = false;
}

std::string readFile(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

bool check(int port) {
    char error[256] = {};
    int32_t reachable = 0;
    int32_t posting = 0;
    if (mp3Settings(error, &onReport, "127.0.0.1", port, "", "", 0, &reachable, &posting, 0) == -1) return true;
    std::printf("server check failed: %s\n", error);
    return false;
}

// One save; the seconds it took, or -1 when the file is not the song's bytes.
double save(const char *folder, const std::string &expected) {
    {
        std::lock_guard lock(reportMutex);
        written.clear();
        lastError.clear();
    }
    const auto started = std::chrono::steady_clock::now();
    if (mp3BuildSongs(folder, "", request.c_str(), 0) == -1) return -1;
    waitEnd();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!lastError.empty()) std::printf("  error: %s\n", lastError.c_str());
    if (written.empty() || readFile(written) != expected) {
        std::printf("  the saved file differs from the song\n");
        return -1;
    }
    return seconds;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char **argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const int linesPerPart = argc > 2 ? std::max(1, std::atoi(argv[2])) : 4000;

    harbeat::newsd::NewsStore store;
    store.addGroup("alt.binaries.sounds.mp3", 0, true);
    harbeat::newsd::SyntheticGroupOptions song;
    song.partsPerSong = kParts;
    song.linesPerPart = linesPerPart;
    song.yencEvery = 1;
    store.addSyntheticGroup(kGroup, kParts, 1, song);
    const std::string expected = store.syntheticSongFile(kGroup, 0);

    harbeat::newsd::ServerOptions distant;
    distant.latency = std::chrono::milliseconds(50);
    harbeat::newsd::ServerOptions lossy = distant;
    lossy.droppedNumbers = kLostOnMain;
    harbeat::newsd::NewsServer full(store, distant);
    harbeat::newsd::NewsServer holes(store, lossy);
    harbeat::newsd::NewsServer backup(store, distant);
    full.start(0);
    holes.start(0);
    backup.start(0);

    if (!check(full.port())) return 1;
    if (mp3GetSongs((std::string(kGroup) + "\trock\r\n").c_str()) == -1) return 1;
    waitEnd();
    if (request.empty()) {
        std::printf("the search found no song\n");
        return 1;
    }
    char folder[] = "/tmp/harbeat-backup-bench-XXXXXX";
    if (!mkdtemp(folder)) return 1;

    std::printf("A %d-part song of %.1f MB, %zu parts lost on the main server; both servers at --latency-ms 50\n",
                kParts, static_cast<double>(expected.size()) / 1e6, kLostOnMain.size());
    for (const char *connections : {"1", "8"}) {
        mp3SetOption("connections", connections);
        std::vector<double> whole, patched;
        for (int run = 0; run < runs; ++run) {
            mp3SetOption("backup-host", "");
            if (!check(full.port())) return 1;
            whole.push_back(save(folder, expected));
            mp3SetOption("backup-host", "127.0.0.1");
            mp3SetOption("backup-port", std::to_string(backup.port()).c_str());
            if (!check(holes.port())) return 1;
            patched.push_back(save(folder, expected));
        }
        const bool identical = std::none_of(whole.begin(), whole.end(), [](double s) { return s < 0; }) &&
                               std::none_of(patched.begin(), patched.end(), [](double s) { return s < 0; });
        const double a = median(whole), b = median(patched);
        std::printf("  connections %-2s: nothing missing %.3f s, 5 parts from the backup %.3f s: %.2fx%s\n",
                    connections, a, b, a > 0 ? b / a : 0.0, identical ? ", every file byte-identical" : "");
        std::fflush(stdout);
    }
    std::system(("rm -rf '" + std::string(folder) + "'").c_str());
    full.stop();
    holes.stop();
    backup.stop();
    return 0;
}
