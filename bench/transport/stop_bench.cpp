// What a Stop costs and leaves behind, through the exports against the bundled server and silent
// peers. Run by hand: build/bin/stop_bench [rounds]. Needs the `openssl` program for a throwaway
// certificate.
//  - Stop a big pipelined search over TLS, then search again: how many of the searches after a
//    Stop are complete.
//  - How long Stop takes to end an operation that waits on a TLS handshake the server never
//    answers, and on a server that goes silent between replies (the receive wait stays 60 s).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/engine_options.h"
#include "corvane_n.h"
#include "newsd/news_server.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct Reports {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int32_t> codes;
    int songs = 0;
    bool stopOnProgress = false;
    bool stopSent = false;
} reports;

void CORVANE_CALL record(int32_t code, const char16_t *) {
    bool stop = false;
    {
        std::lock_guard lock(reports.mutex);
        reports.codes.push_back(code);
        if (code == 9009) ++reports.songs;
        if (code == 9004 && reports.stopOnProgress && !reports.stopSent) stop = reports.stopSent = true;
    }
    if (stop) mp3CancelFunc();
    reports.changed.notify_all();
}

void clearReports(bool stopOnProgress) {
    std::lock_guard lock(reports.mutex);
    reports.codes.clear();
    reports.songs = 0;
    reports.stopOnProgress = stopOnProgress;
    reports.stopSent = false;
}

// Waits for the last report of an operation (9001 or 9003); false after 60 s.
bool waitForEnd(int32_t &last) {
    std::unique_lock lock(reports.mutex);
    const bool ended = reports.changed.wait_for(lock, std::chrono::seconds(60), [] {
        return !reports.codes.empty() && (reports.codes.back() == 9001 || reports.codes.back() == 9003);
    });
    last = ended ? reports.codes.back() : 0;
    return ended;
}

// A listening socket on loopback that accepts, sends `greeting` (may be empty) and says nothing more.
struct SilentServer {
    explicit SilentServer(std::string greeting) {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        listen(fd, 16);
        socklen_t length = sizeof address;
        getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
        port = ntohs(address.sin_port);
        thread = std::thread([this, greeting] {
            for (;;) {
                const int client = accept(fd, nullptr, nullptr);
                if (client < 0) return;
                if (!greeting.empty()) send(client, greeting.data(), greeting.size(), MSG_NOSIGNAL);
                clients.push_back(client);
            }
        });
    }
    ~SilentServer() {
        shutdown(fd, SHUT_RDWR);
        close(fd);
        thread.join();
        for (int client : clients) close(client);
    }
    int fd;
    int port = 0;
    std::thread thread;
    std::vector<int> clients;
};

// Starts `operation`, presses Stop after 3 s and returns the seconds from Stop to its end.
template <typename Operation>
double stopLatency(Operation operation) {
    clearReports(false);
    operation();
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    const auto stopped = Clock::now();
    mp3CancelFunc();
    int32_t last = 0;
    if (!waitForEnd(last)) return -1;
    return seconds(Clock::now() - stopped);
}

}  // namespace

int main(int argc, char **argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("harbeat-stop-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string certificate = (folder / "cert.pem").string();
    const std::string key = (folder / "key.pem").string();
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 1 -subj /CN=127.0.0.1 "
        "-addext subjectAltName=IP:127.0.0.1 -keyout " +
        key + " -out " + certificate + " 2>/dev/null";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "openssl could not make a certificate\n");
        return 1;
    }

    harbeat::newsd::NewsStore store;
    store.addGroup("alt.binaries.sounds.mp3", 0, true);
    harbeat::newsd::SyntheticGroupOptions songs;
    songs.partsPerSong = 2;
    store.addSyntheticGroup("alt.binaries.sounds.mp3.small", 20, 1, songs);
    store.addSyntheticGroup("alt.binaries.sounds.mp3.big", 500000, 1, songs);
    harbeat::newsd::ServerOptions tlsOptions;
    tlsOptions.tlsCertificateFile = certificate;
    tlsOptions.tlsKeyFile = key;
    harbeat::newsd::NewsServer tls(store, tlsOptions);
    tls.start(0);

    corvane::resetEngineOptionsForTests();
    mp3SetOption("tls", "1");
    mp3SetOption("tls-ca-file", certificate.c_str());
    char error[256] = {};
    int32_t reachable = 0, posting = 0;
    if (mp3Settings(error, &record, "127.0.0.1", tls.port(), "", "", 0, &reachable, &posting, 0) != -1) {
        std::fprintf(stderr, "server check failed: %s\n", error);
        return 1;
    }

    int complete = 0;
    for (int round = 0; round < rounds; ++round) {
        clearReports(true);
        mp3GetSongs("alt.binaries.sounds.mp3.big\tbig\r\n");
        int32_t last = 0;
        waitForEnd(last);
        clearReports(false);
        mp3GetSongs("alt.binaries.sounds.mp3.small\tsmall\r\n");
        const bool ended = waitForEnd(last);
        if (ended && last == 9003 && reports.songs == 10) ++complete;
    }
    std::printf("Stop, then search over TLS: %d of %d searches complete\n", complete, rounds);

    // The waits below are the product's own: 60 s for a receive and for a handshake. The server
    // check runs on the calling thread, so its Stop comes from a second thread.
    SilentServer handshake("");
    SilentServer silent("200 news.example ready\r\n");
    const auto checkStopped = [&](int port) {
        std::thread stopper([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(3000));
            mp3CancelFunc();
        });
        const auto started = Clock::now();
        mp3Settings(error, &record, "127.0.0.1", port, "", "", 0, &reachable, &posting, 0);
        stopper.join();
        return seconds(Clock::now() - started) - 3.0;
    };
    double took = checkStopped(handshake.port);
    std::printf("Stop during a TLS handshake the server never answers: the check returned %.3f s after Stop (%s)\n",
                took, error);
    mp3SetOption("tls", "0");
    took = checkStopped(silent.port);
    std::printf("Stop during a server check whose server is silent after its greeting: %.3f s (%s)\n", took, error);
    // The settings stay those of the silent server: a search of it waits for its group reply.
    const double searchStop = stopLatency([&] { mp3GetSongs("alt.binaries.sounds.mp3.small\tsmall\r\n"); });
    std::printf("Stop during a search whose server is silent after its greeting: %.3f s\n", searchStop);
    std::filesystem::remove_all(folder);
    return complete == rounds ? 0 : 1;
}
