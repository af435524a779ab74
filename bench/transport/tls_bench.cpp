// Reads a 50 MB article from the bundled server over plain TCP and over TLS, in one run, through
// the engine's transport (ARTICLE and readMultiLineResponse), and prints the ratio. Run by hand:
// build/bin/tls_transport_bench [megabytes] [rounds]. Needs the `openssl` program for a
// throwaway certificate.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/engine_options.h"
#include "net/connection.h"
#include "net/multiline.h"
#include "newsd/news_server.h"

namespace {

double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// One ARTICLE from greeting to terminator; the time in seconds, or a negative value on failure.
double readArticle(int port, const std::string &messageId, std::size_t expectedBytes) {
    std::string error, text;
    const auto start = std::chrono::steady_clock::now();
    const corvane::Connection c = corvane::netConnect(error, "127.0.0.1", port, nullptr);
    char greeting[corvane::kReceiveBlock + 1];
    std::size_t size = corvane::kReceiveBlock;
    const bool read = c && corvane::netReceive(error, c, greeting, size) &&
                      corvane::netSend(error, c, "ARTICLE " + messageId + "\r\n") &&
                      corvane::readMultiLineResponse(error, c, 220, corvane::kResponseTerminator, text);
    const double elapsed = seconds(std::chrono::steady_clock::now() - start);
    corvane::netClose(c);
    if (!read || text.size() < expectedBytes) {
        std::fprintf(stderr, "read failed: %s\n", error.c_str());
        return -1;
    }
    return elapsed;
}

}  // namespace

int main(int argc, char **argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("harbeat-tls-bench-" + std::to_string(getpid()));
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

    std::string body;
    const std::string line = "M" + std::string(60, 'A') + "\r\n";
    while (body.size() < megabytes * 1024 * 1024) body += line;
    harbeat::newsd::NewsStore store;
    const std::string messageId = store.addArticle(
        "Newsgroups: alt.binaries.sounds.mp3\r\nFrom: a@b\r\nSubject: bench\r\nMessage-ID: "
        "<bench@example>\r\n\r\n" +
        body);
    harbeat::newsd::NewsServer plain(store);
    plain.start(0);
    harbeat::newsd::ServerOptions tlsOptions;
    tlsOptions.tlsCertificateFile = certificate;
    tlsOptions.tlsKeyFile = key;
    harbeat::newsd::NewsServer tls(store, tlsOptions);
    tls.start(0);

    double bestPlain = 1e9, bestTls = 1e9;
    for (int round = 0; round < rounds; ++round) {
        corvane::resetEngineOptionsForTests();
        const double p = readArticle(plain.port(), messageId, body.size());
        corvane::setEngineOption("tls", "1");
        corvane::setEngineOption("tls-ca-file", certificate);
        const double t = readArticle(tls.port(), messageId, body.size());
        if (p < 0 || t < 0) return 1;
        bestPlain = std::min(bestPlain, p);
        bestTls = std::min(bestTls, t);
    }
    std::filesystem::remove_all(folder);

    const double mb = static_cast<double>(body.size()) / (1024.0 * 1024.0);
    std::printf("article size            %.1f MB, best of %d rounds\n", mb, rounds);
    std::printf("plain TCP               %.0f MB/s (%.3f s)\n", mb / bestPlain, bestPlain);
    std::printf("TLS                     %.0f MB/s (%.3f s)\n", mb / bestTls, bestTls);
    std::printf("TLS / plain             %.2f (goal: at least 0.70)\n", bestPlain / bestTls);
    return 0;
}
