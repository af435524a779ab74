// Peak memory of downloading one large multi-part song. The parent process serves the song's
// articles from an in-process bundled news server; a fresh child process (this program again)
// downloads it with mp3BuildSongs and reports its own peak resident size (VmHWM), so the
// server's copy of the articles does not count. Run by hand:
//   build/bin/download_memory_bench [megabytes] [parts] [uu|yenc]   (default 100 MB in 10 uu parts)
// The yEnc articles come from our own encoder (tools/yenc).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "bench_files.h"
#include "core/engine_settings.h"
#include "corvane_n.h"
#include "newsd/news_server.h"
#include "yenc/yenc_encoder.h"

extern char **environ;
namespace fs = std::filesystem;

namespace {

constexpr const char *kGroup = "alt.binaries.sounds.mp3";

std::atomic<int> finalCode{0};

void CORVANE_CALL onReport(int32_t code, const char16_t *text) {
    if (code == kNotifyError) {
        std::string ascii;
        for (const char16_t *p = text; p && *p; ++p) ascii += static_cast<char>(*p < 128 ? *p : '?');
        std::fprintf(stderr, "child: 9001 %s\n", ascii.c_str());
    }
    if (code == kNotifyDownloadDone) finalCode = code;
}

long peakResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// The child: downloads the request file's songs from the server at `port` into `folder`.
int runChild(int port, const char *folder, const char *requestFile) {
    corvane::EngineSettings settings;
    settings.server = "127.0.0.1";
    settings.port = port;
    corvane::storeEngineSettings(settings);
    corvane::storeStatusCallback(&onReport);
    const std::string request = bench::readWholeFile(requestFile);
    const auto start = std::chrono::steady_clock::now();
    if (mp3BuildSongs(folder, "", request.c_str(), 0) == -1) return 1;
    while (finalCode.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%ld %.3f\n", peakResidentKilobytes(), seconds);
    return 0;
}

// Splits GNU uuencode's output into `parts` articles the way posters do, Subject "(n/m)".
std::vector<std::string> splitIntoArticles(const std::string &encoded, int parts, std::vector<std::string> &ids) {
    std::vector<std::string> lines;
    std::istringstream in(encoded);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    const std::size_t dataLines = lines.size() - 1;  // after the begin line
    const std::size_t perPart = (dataLines + parts - 1) / parts;
    std::vector<std::string> articles;
    for (int n = 1; n <= parts; ++n) {
        ids.push_back("<bench-" + std::to_string(n) + "@harbeat.bench>");
        std::string article = "From: bench@example.com\r\nNewsgroups: " + std::string(kGroup) +
                              "\r\nSubject: Bench Artist - bench.mp3 (" + std::to_string(n) + "/" +
                              std::to_string(parts) + ")\r\nMessage-ID: " + ids.back() + "\r\n\r\n";
        if (n == 1) article += lines[0] + "\r\n";
        const std::size_t first = 1 + (n - 1) * perPart;
        for (std::size_t i = first; i < std::min(first + perPart, lines.size()); ++i) article += lines[i] + "\r\n";
        articles.push_back(std::move(article));
    }
    return articles;
}

std::vector<std::string> yencArticles(const std::string &payload, int parts, std::vector<std::string> &ids) {
    std::vector<std::string> articles;
    std::vector<std::string> bodies = harbeat::yenc::encodeParts(payload, "bench.mp3", parts);
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        ids.push_back("<bench-" + std::to_string(i + 1) + "@harbeat.bench>");
        articles.push_back("From: bench@example.com\r\nNewsgroups: " + std::string(kGroup) +
                           "\r\nSubject: \"bench.mp3\" yEnc (" + std::to_string(i + 1) + "/" +
                           std::to_string(bodies.size()) + ")\r\nMessage-ID: " + ids.back() + "\r\n\r\n" + bodies[i]);
        bodies[i] = std::string();
    }
    return articles;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 5 && std::strcmp(argv[1], "--child") == 0) return runChild(std::atoi(argv[2]), argv[3], argv[4]);

    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    const int parts = argc > 2 ? std::atoi(argv[2]) : 10;
    const bool yenc = argc > 3 && std::strcmp(argv[3], "yenc") == 0;
    const std::size_t size = megabytes * 1000 * 1000;
    bench::ScratchFolder scratch;
    const fs::path dir = scratch.path();
    harbeat::newsd::NewsStore store;
    store.addGroup(kGroup, 0, true);
    std::vector<std::string> ids;
    {
        const std::string payload = bench::makePayload(size);
        bench::writeWholeFile(dir / "payload.bin", payload);
        if (yenc) {
            std::vector<std::string> articles = yencArticles(payload, parts, ids);
            for (std::string &article : articles) store.addArticle(std::move(article));
        }
    }
    if (!yenc) {
        bench::runOrDie("cd '" + dir.string() + "' && uuencode payload.bin bench.mp3 > bench.uue");
        std::vector<std::string> articles = splitIntoArticles(bench::readWholeFile(dir / "bench.uue"), parts, ids);
        for (std::string &article : articles) store.addArticle(std::move(article));
        fs::remove(dir / "bench.uue");
    }
    harbeat::newsd::NewsServer server(store);
    server.start(0);

    std::string request = std::string(kGroup) + "\t" + std::to_string(parts) + "\t";
    for (const std::string &id : ids) request += id + "\f";
    request += "\r\n";
    bench::writeWholeFile(dir / "request.txt", request);

    const std::string port = std::to_string(server.port());
    const std::string folder = (dir / "out").string();
    const std::string requestFile = (dir / "request.txt").string();
    const std::string resultFile = (dir / "child.txt").string();
    char *childArgs[] = {const_cast<char *>("/proc/self/exe"),    const_cast<char *>("--child"),
                         const_cast<char *>(port.c_str()),        const_cast<char *>(folder.c_str()),
                         const_cast<char *>(requestFile.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, resultFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t child = 0;
    if (posix_spawn(&child, "/proc/self/exe", &actions, nullptr, childArgs, environ) != 0) {
        std::perror("posix_spawn");
        return 1;
    }
    int status = 0;
    waitpid(child, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    server.stop();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the downloading child failed\n");
        return 1;
    }

    long peakKb = 0;
    double seconds = 0;
    std::istringstream(bench::readWholeFile(resultFile)) >> peakKb >> seconds;
    const bool identical = bench::readWholeFile(dir / "out" / "bench.mp3") == bench::readWholeFile(dir / "payload.bin");
    const double songMb = static_cast<double>(size) / 1e6;
    const double peakMb = static_cast<double>(peakKb) * 1024 / 1e6;
    std::printf("Downloading a %.0f MB song in %d %s parts from the bundled server\n", songMb, parts,
                yenc ? "yEnc" : "uuencoded");
    std::printf("  file written byte-identical: %s\n", identical ? "yes" : "NO");
    std::printf("  time: %.2f s (%.1f MB/s)\n", seconds, songMb / seconds);
    std::printf("  peak resident size of the downloading process (VmHWM): %.1f MB = %.2fx the song\n", peakMb,
                peakMb / songMb);
    return identical ? 0 : 1;
}
