// Decode throughput of a large uuencoded and a large Base64 article, next to GNU uudecode and
// coreutils base64 -d on the same encoded data. Run by hand:
//   build/bin/decode_throughput_bench [megabytes]      (default 50)
// Every figure is the best of several runs, in MB of decoded payload per second. The engine is
// timed twice: decoding an article already in memory (as it gets articles from the network), and
// from the file to /dev/null like the tools (the file mapped into memory, then decoded and written).
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "bench_files.h"
#include "decode/article_decoder.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRuns = 5;

double bestSeconds(const std::function<void()> &run) { return bench::bestSeconds(run, kRuns); }

// Decodes the article and writes the one file it holds to /dev/null; `copy` (when given) gets the
// file's bytes for a check outside the timed runs.
void decodeWithEngine(const char *text, std::size_t size, std::string *copy = nullptr) {
    corvane::DecodedFileList list;
    corvane::decodeArticle(text, size, &list);
    corvane::joinDecodedParts(list);
    if (list.files.size() != 1) return;
    const std::string_view content = list.files[0].content();
    std::FILE *sink = std::fopen("/dev/null", "wb");
    std::fwrite(content.data(), 1, content.size(), sink);
    std::fclose(sink);
    if (copy) copy->assign(content);
}

void decodeFileWithEngine(const fs::path &article, std::string *copy = nullptr) {
    const int fd = open(article.c_str(), O_RDONLY);
    const std::size_t size = fs::file_size(article);
    void *mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (mapped == MAP_FAILED) return;
    decodeWithEngine(static_cast<const char *>(mapped), size, copy);
    munmap(mapped, size);
}

bool decodesToPayload(const fs::path &article, const std::string &payload) {
    std::string decoded;
    decodeFileWithEngine(article, &decoded);
    return decoded == payload;
}

void printRow(const char *what, double seconds, double megabytes, double engineSeconds) {
    std::printf("  %-38s %8.3f s %9.1f MB/s", what, seconds, megabytes / seconds);
    if (engineSeconds > 0) std::printf("   engine (file) is %.2fx as fast", seconds / engineSeconds);
    std::printf("\n");
}

}  // namespace

int main(int argc, char **argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50;
    const std::size_t size = megabytes * 1000 * 1000;
    const double mb = static_cast<double>(size) / 1e6;
    bench::ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const std::string payload = bench::makePayload(size);
    bench::writeWholeFile(dir / "payload.bin", payload);

    // The uuencoded article: GNU uuencode's output under a news header, CR LF line ends.
    bench::runOrDie("cd '" + dir.string() + "' && uuencode payload.bin song.mp3 > song.uue");
    bench::writeWholeFile(dir / "uu.article", bench::toCrLf("From: bench@example.com\nSubject: song.mp3\n\n" +
                                                            bench::readWholeFile(dir / "song.uue")));
    fs::remove(dir / "song.uue");

    // The Base64 article: 76-character lines (as base64 writes them) in a MIME part.
    bench::runOrDie("cd '" + dir.string() + "' && base64 -w 76 payload.bin > body.b64");
    const std::string body = bench::readWholeFile(dir / "body.b64");
    bench::writeWholeFile(dir / "body.crlf.b64", bench::toCrLf(body));
    bench::writeWholeFile(dir / "b64.article",
                          bench::toCrLf("From: bench@example.com\nSubject: song.mp3\nMIME-Version: 1.0\n"
                                        "Content-Type: multipart/mixed; boundary=\"XX\"\n\n--XX\n"
                                        "Content-Type: audio/mpeg\nContent-Transfer-Encoding: base64\n"
                                        "Content-Disposition: attachment; filename=\"song.mp3\"\n\n" +
                                        body + "\n--XX--\n"));

    if (!decodesToPayload(dir / "uu.article", payload) || !decodesToPayload(dir / "b64.article", payload)) {
        std::fprintf(stderr, "the engine decoded something else than the payload\n");
        return 1;
    }

    std::printf("Decoding %.0f MB of payload (best of %d runs)\n", mb, kRuns);
    std::printf("uuencode: article %.1f MB\n", static_cast<double>(fs::file_size(dir / "uu.article")) / 1e6);
    const std::string uuArticle = bench::readWholeFile(dir / "uu.article");
    printRow("engine, article in memory", bestSeconds([&] { decodeWithEngine(uuArticle.data(), uuArticle.size()); }),
             mb, 0);
    const double engineUu = bestSeconds([&] { decodeFileWithEngine(dir / "uu.article"); });
    printRow("engine, file to /dev/null", engineUu, mb, 0);
    printRow("GNU uudecode",
             bestSeconds([&] { bench::runOrDie("uudecode -o /dev/null '" + (dir / "uu.article").string() + "'"); }), mb,
             engineUu);

    std::printf("Base64: article %.1f MB\n", static_cast<double>(fs::file_size(dir / "b64.article")) / 1e6);
    const std::string b64Article = bench::readWholeFile(dir / "b64.article");
    printRow("engine, article in memory", bestSeconds([&] { decodeWithEngine(b64Article.data(), b64Article.size()); }),
             mb, 0);
    const double engineB64 = bestSeconds([&] { decodeFileWithEngine(dir / "b64.article"); });
    printRow("engine, file to /dev/null", engineB64, mb, 0);
    printRow("base64 -d (LF lines)",
             bestSeconds([&] { bench::runOrDie("base64 -d '" + (dir / "body.b64").string() + "' > /dev/null"); }), mb,
             engineB64);
    printRow("base64 -d -i (CR LF lines)", bestSeconds([&] {
                 bench::runOrDie("base64 -d -i '" + (dir / "body.crlf.b64").string() + "' > /dev/null");
             }),
             mb, engineB64);
    return 0;
}
