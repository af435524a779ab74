// harbeat-newsd: serves spool folders and generated groups on 127.0.0.1 until SIGINT or SIGTERM.
#include <pthread.h>
#include <signal.h>

#include <charconv>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "newsd/news_server.h"

namespace {

using harbeat::newsd::NewsServer;
using harbeat::newsd::NewsStore;
using harbeat::newsd::ServerOptions;
using harbeat::newsd::SyntheticGroupOptions;

constexpr const char *kHelp = R"(Usage: harbeat-newsd [options]

A small NNTP news server on 127.0.0.1 over an in-memory store, for tests, benchmarks and the demo.
Serves until SIGINT or SIGTERM.

  --port N                  port to listen on; 0 (the default) picks a free one
  --port-file FILE          write the port number to FILE once listening
  --spool DIR               load a spool folder (repeatable; see tools/newsd/README.md)
  --group NAME              add an empty group, posting allowed (repeatable)
  --synthetic-group NAME:COUNT[:FIRST[:PARTS[:YENC]]]
                            add a generated group of COUNT song-post articles numbered
                            from FIRST (1), PARTS parts per song (5), every YENC-th song
                            yEnc-encoded (0: none) (repeatable)
  --synthetic-groups COUNT  add COUNT generated empty groups (for LIST volume)
  --user U --password P     require AUTHINFO USER/PASS
  --no-posting              greet with 201 and refuse POST with 440
  --greeting-code CODE      greeting code (200, 201, 400 or 502; 400 and 502 close)
  --empty-overview CODE     reply to XOVER of an empty range: 224 (default), 420 or 423
  --tls-cert FILE --tls-key FILE
                            speak TLS (NNTPS) from the first byte, with this certificate
                            chain and private key (PEM)
  --latency-ms N            every reply leaves N ms after its command arrived (a network
                            of N / 2 ms one way); pipelined commands overlap
  --compress deflate|gzip|none
                            offer COMPRESS DEFLATE (RFC 8054) or XFEATURE COMPRESS
                            GZIP; none (default) offers no compression
  --max-connections N       refuse connections beyond N at once (256)
  --refuse-with WAY         how: greeting-400 (default), greeting-502, login-481,
                            login-482, login-502 (the first AUTHINFO refused), or close
  --drop-every N            close every N-th connection at once
  --drop-articles LIST      answer 430 to ARTICLE, HEAD, BODY and STAT of these articles:
                            comma-separated article numbers (in any group) and
                            <message-ids>, as a server that lost them
  --connection-rate MBIT    pace each connection's replies at MBIT megabits per second
  --log                     write every command to standard error
  --help                    show this text
)";

struct SyntheticRequest {
    std::string name;
    std::uint64_t count = 0;
    std::uint64_t first = 1;
    int parts = 5;
    std::uint64_t yencEvery = 0;
};

struct Arguments {
    std::uint16_t port = 0;
    std::string portFile;
    std::vector<std::string> spools;
    std::vector<std::string> groups;
    std::vector<SyntheticRequest> synthetic;
    std::size_t syntheticGroups = 0;
    ServerOptions options;
};

template <typename Number>
bool parseNumber(std::string_view text, Number &value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// "3,7,<a@b>": numbers and message-ids, no empty pieces.
bool parseDropList(std::string_view text, ServerOptions &options) {
    for (;;) {
        const std::size_t comma = text.find(',');
        const std::string_view piece = text.substr(0, comma);
        if (piece.size() > 2 && piece.front() == '<' && piece.back() == '>') {
            options.droppedMessageIds.emplace_back(piece);
        } else {
            std::uint64_t number = 0;
            if (!parseNumber(piece, number) || number == 0) return false;
            options.droppedNumbers.push_back(number);
        }
        if (comma == std::string_view::npos) return true;
        text.remove_prefix(comma + 1);
    }
}

bool parseSynthetic(const std::string &text, SyntheticRequest &request) {
    std::vector<std::string_view> pieces;
    std::string_view rest = text;
    for (std::size_t colon; (colon = rest.find(':')) != std::string_view::npos; rest.remove_prefix(colon + 1)) {
        pieces.push_back(rest.substr(0, colon));
    }
    pieces.push_back(rest);
    if (pieces.size() < 2 || pieces.size() > 5 || pieces[0].empty()) return false;
    request.name = std::string(pieces[0]);
    if (!parseNumber(pieces[1], request.count)) return false;
    if (pieces.size() >= 3 && !parseNumber(pieces[2], request.first)) return false;
    if (pieces.size() >= 4 && !parseNumber(pieces[3], request.parts)) return false;
    if (pieces.size() == 5 && !parseNumber(pieces[4], request.yencEvery)) return false;
    return true;
}

// Returns 0 to go on, else the exit status (after --help or an error).
int parseArguments(int argc, char **argv, Arguments &arguments) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::cout << kHelp;
            return 1;
        }
        const bool takesValue = option != "--no-posting" && option != "--log";
        if (takesValue && i + 1 >= argc) {
            std::cerr << "harbeat-newsd: " << option << " needs a value (see --help)\n";
            return 2;
        }
        const std::string value = takesValue ? argv[++i] : "";
        bool valid = true;
        if (option == "--port") {
            valid = parseNumber(value, arguments.port);
        } else if (option == "--port-file") {
            arguments.portFile = value;
        } else if (option == "--spool") {
            arguments.spools.push_back(value);
        } else if (option == "--group") {
            arguments.groups.push_back(value);
        } else if (option == "--synthetic-group") {
            SyntheticRequest request;
            valid = parseSynthetic(value, request);
            arguments.synthetic.push_back(request);
        } else if (option == "--synthetic-groups") {
            valid = parseNumber(value, arguments.syntheticGroups);
        } else if (option == "--user") {
            arguments.options.user = value;
        } else if (option == "--password") {
            arguments.options.password = value;
        } else if (option == "--no-posting") {
            arguments.options.postingAllowed = false;
        } else if (option == "--greeting-code") {
            valid = parseNumber(value, arguments.options.greetingCode);
        } else if (option == "--empty-overview") {
            valid = parseNumber(value, arguments.options.emptyOverviewCode) &&
                    (arguments.options.emptyOverviewCode == 224 || arguments.options.emptyOverviewCode == 420 ||
                     arguments.options.emptyOverviewCode == 423);
        } else if (option == "--tls-cert") {
            arguments.options.tlsCertificateFile = value;
        } else if (option == "--tls-key") {
            arguments.options.tlsKeyFile = value;
        } else if (option == "--latency-ms") {
            unsigned milliseconds = 0;
            valid = parseNumber(value, milliseconds) && milliseconds <= 60000;
            arguments.options.latency = std::chrono::milliseconds(milliseconds);
        } else if (option == "--compress") {
            using Compression = harbeat::newsd::ServerOptions::Compression;
            valid = value == "deflate" || value == "gzip" || value == "none";
            arguments.options.compression = value == "deflate" ? Compression::Deflate
                                            : value == "gzip"  ? Compression::Gzip
                                                               : Compression::None;
        } else if (option == "--max-connections") {
            valid = parseNumber(value, arguments.options.maxConnections) && arguments.options.maxConnections > 0;
        } else if (option == "--refuse-with") {
            using Refusal = ServerOptions::Refusal;
            const std::pair<const char *, Refusal> ways[] = {
                {"greeting-400", Refusal::Greeting400}, {"greeting-502", Refusal::Greeting502},
                {"login-481", Refusal::Login481},       {"login-482", Refusal::Login482},
                {"login-502", Refusal::Login502},       {"close", Refusal::Close}};
            valid = false;
            for (const auto &[name, way] : ways)
                if (value == name) {
                    arguments.options.refusal = way;
                    valid = true;
                }
        } else if (option == "--drop-every") {
            valid = parseNumber(value, arguments.options.dropEvery) && arguments.options.dropEvery > 0;
        } else if (option == "--drop-articles") {
            valid = parseDropList(value, arguments.options);
        } else if (option == "--connection-rate") {
            char *end = nullptr;
            const double rate = std::strtod(value.c_str(), &end);
            valid = !value.empty() && end == value.c_str() + value.size() && rate > 0 && rate <= 100000;
            arguments.options.connectionRateMbit = rate;
        } else if (option == "--log") {
            arguments.options.logCommands = true;
        } else {
            std::cerr << "harbeat-newsd: unknown option " << option << " (see --help)\n";
            return 2;
        }
        if (!valid) {
            std::cerr << "harbeat-newsd: invalid value \"" << value << "\" for " << option << "\n";
            return 2;
        }
    }
    if (!arguments.options.password.empty() && arguments.options.user.empty()) {
        std::cerr << "harbeat-newsd: --password needs --user\n";
        return 2;
    }
    if (arguments.options.tlsCertificateFile.empty() != arguments.options.tlsKeyFile.empty()) {
        std::cerr << "harbeat-newsd: --tls-cert and --tls-key go together\n";
        return 2;
    }
    return 0;
}

void fillStore(NewsStore &store, const Arguments &arguments) {
    const auto now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    for (const std::string &spool : arguments.spools) {
        const auto result = store.loadSpool(spool);
        for (const std::string &problem : result.problems) std::cerr << "harbeat-newsd: skipped " << problem << "\n";
        std::cerr << "harbeat-newsd: " << spool << ": " << result.articlesLoaded << " articles, " << result.groupsAdded
                  << " groups\n";
    }
    for (const std::string &group : arguments.groups) store.addGroup(group, now, true);
    for (const SyntheticRequest &request : arguments.synthetic) {
        SyntheticGroupOptions options;
        options.partsPerSong = request.parts;
        options.yencEvery = request.yencEvery;
        if (!store.addSyntheticGroup(request.name, request.count, request.first, options)) {
            std::cerr << "harbeat-newsd: group " << request.name << " exists already\n";
        }
    }
    if (arguments.syntheticGroups > 0) store.addSyntheticGroupList(arguments.syntheticGroups);
}

void writePortFile(const std::string &path, std::uint16_t port) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream file(temporary, std::ios::trunc);
        file << port << "\n";
        if (!file) throw std::runtime_error("cannot write " + temporary);
    }
    std::filesystem::rename(temporary, path);
}

}  // namespace

int main(int argc, char **argv) {
    Arguments arguments;
    if (const int status = parseArguments(argc, argv, arguments); status != 0) return status == 1 ? 0 : status;

    // Every thread inherits the blocked signals; the main thread waits for them below.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    try {
        NewsStore store;
        fillStore(store, arguments);
        NewsServer server(store, arguments.options);
        server.start(arguments.port);
        if (!arguments.portFile.empty()) writePortFile(arguments.portFile, server.port());
        std::cout << "listening on 127.0.0.1:" << server.port() << std::endl;
        int received = 0;
        sigwait(&signals, &received);
        std::cerr << "harbeat-newsd: " << strsignal(received) << ", stopping\n";
        server.stop();
    } catch (const std::exception &error) {
        std::cerr << "harbeat-newsd: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
