// yEnc decode throughput next to uudeview on the same files. Run by hand:
//   build/bin/yenc_decode_bench [megabytes] [parts]      (default 50 MB, 1 part)
// The articles are made by our own encoder (lines of 128 characters). Every figure is the best of
// several runs, in MB of decoded payload per second. The engine is timed with the articles in
// memory (as it gets them from the network, CRC32 checks included), and from the files to a file
// in the same folder, as uudeview writes its output. A third row decodes the parts into memory
// that was used before: the decoder and its CRC32 without the cost of first touching fresh pages,
// which on a virtual machine can be most of the rest.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "bench_files.h"
#include "decode/article_decoder.h"
#include "decode/yenc_decode.h"
#include "yenc/yenc_encoder.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRuns = 5;

double bestSeconds(const std::function<void()> &run) { return bench::bestSeconds(run, kRuns); }

// Decodes the articles into one file and hands its bytes to `use` (when given).
void decodeArticles(const std::vector<std::string> &articles,
                    const std::function<void(std::string_view)> &use = {}) {
    corvane::DecodedFileList list;
    for (const std::string &article : articles) corvane::decodeArticle(article.data(), article.size(), &list);
    corvane::joinDecodedParts(list);
    const bool whole = list.files.size() == 1 && list.files[0].complete && list.files[0].error.empty();
    if (use) use(whole ? list.files[0].content() : std::string_view());
}

void printRow(const char *what, double seconds, double megabytes, double engineSeconds) {
    std::printf("  %-38s %8.3f s %9.1f MB/s", what, seconds, megabytes / seconds);
    if (engineSeconds > 0) std::printf("   engine (files) is %.2fx as fast", seconds / engineSeconds);
    std::printf("\n");
}

}  // namespace

int main(int argc, char **argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50;
    const int parts = argc > 2 ? std::atoi(argv[2]) : 1;
    const std::size_t size = megabytes * 1000 * 1000;
    const double mb = static_cast<double>(size) / 1e6;
    bench::ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const std::string payload = bench::makePayload(size);

    std::vector<fs::path> files;
    std::string fileList;
    std::size_t articleBytes = 0;
    const std::vector<std::string> bodies = harbeat::yenc::encodeParts(payload, "song.mp3", parts);
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        files.push_back(dir / ("part" + std::to_string(i + 1) + ".article"));
        const std::string article = "From: bench@example.com\r\nSubject: \"song.mp3\" yEnc (" + std::to_string(i + 1) +
                                    "/" + std::to_string(bodies.size()) + ")\r\n\r\n" + bodies[i];
        articleBytes += article.size();
        bench::writeWholeFile(files.back(), article);
        fileList += " '" + files.back().string() + "'";
    }
    std::vector<std::string> articles;
    for (const fs::path &file : files) articles.push_back(bench::readWholeFile(file));
    std::string decoded;
    decodeArticles(articles, [&](std::string_view bytes) { decoded.assign(bytes); });
    if (decoded != payload) {
        std::fprintf(stderr, "the engine decoded something else than the payload\n");
        return 1;
    }

    std::printf("Decoding %.0f MB of payload in %d yEnc part(s), articles %.1f MB (best of %d runs)\n", mb, parts,
                static_cast<double>(articleBytes) / 1e6, kRuns);
    printRow("engine, articles in memory", bestSeconds([&] { decodeArticles(articles); }), mb, 0);
    std::string reused(size, '\0');
    printRow("engine, into memory used before", bestSeconds([&] {
                 for (const std::string &article : articles) {
                     std::size_t position = article.find("=ybegin ");
                     corvane::YencPart part;
                     corvane::yencDecodePart(article, position, part, [&](const corvane::YencPart &header) {
                         const auto offset = static_cast<std::size_t>(header.begin > 0 ? header.begin - 1 : 0);
                         return corvane::YencTarget{reused.data() + offset, reused.size() - offset};
                     });
                 }
             }),
             mb, 0);
    if (reused != payload) {
        std::fprintf(stderr, "the decoder decoded something else than the payload\n");
        return 1;
    }
    const fs::path engineOut = dir / "engine.mp3";
    const double engineFiles = bestSeconds([&] {
        std::vector<std::string> read;
        for (const fs::path &file : files) read.push_back(bench::readWholeFile(file));
        decodeArticles(read, [&](std::string_view bytes) { bench::writeWholeFile(engineOut, bytes); });
    });
    printRow("engine, files to a file", engineFiles, mb, 0);

    fs::create_directory(dir / "uudeview");
    const std::string uudeview = "uudeview -i -q -o -p '" + (dir / "uudeview").string() + "/'" + fileList;
    const double uudeviewSeconds = bestSeconds([&] { bench::runOrDie(uudeview + " >/dev/null 2>&1"); });
    if (bench::readWholeFile(dir / "uudeview" / "song.mp3") != payload) {
        std::fprintf(stderr, "uudeview decoded something else than the payload\n");
        return 1;
    }
    printRow("uudeview, files to a file", uudeviewSeconds, mb, engineFiles);
    return 0;
}
