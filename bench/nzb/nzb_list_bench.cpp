// Lists a large generated NZB file (default 10,000 files of 50 segments: 500,000 segments, about
// 60 MB) as mp3OpenNzb does, plain and gzip-compressed, and reports the time and the peak memory (MB here are MiB).
// The file is written piece by piece, so the process's peak memory is the listing's.
//
// Run by hand: build/bin/nzb_list_bench [files] [segments per file]
#include <sys/resource.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/engine_settings.h"
#include "corvane_n.h"
#include "songs/nzb_worker.h"

namespace {

long songLines = 0;
int32_t lastCode = 0;

void CORVANE_CALL onReport(int32_t code, const char16_t *) {
    if (code == kNotifySong) ++songLines;
    if (code != kNotifyProgress) lastCode = code;
}

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// An album-sized post per twenty files: nineteen songs and a par2 file, as posting programs
// name them; message-ids of the length posting programs make.
void writeNzb(const std::filesystem::path &path, long files, long segments) {
    FILE *out = std::fopen(path.c_str(), "wb");
    if (!out) std::exit(1);
    std::fputs(
        "<?xml version=\"1.0\" encoding=\"iso-8859-1\" ?>\n"
        "<!DOCTYPE nzb PUBLIC \"-//newzBin//DTD NZB 1.1//EN\" \"http://www.newzbin.com/DTD/nzb/nzb-1.1.dtd\">\n"
        "<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\">\n",
        out);
    for (long f = 0; f < files; ++f) {
        const bool par2 = f % 20 == 19;
        std::fprintf(out,
                     "  <file poster=\"Poster &lt;poster@example.com&gt;\" date=\"%ld\" subject=\"Artist %ld - Album "
                     "[%02ld/20] - &quot;%02ld - Song Number %ld.%s&quot; yEnc (1/%ld)\">\n"
                     "    <groups>\n      <group>alt.binaries.sounds.mp3</group>\n    </groups>\n    <segments>\n",
                     1709251200 + f, f / 20, f % 20 + 1, f % 20 + 1, f, par2 ? "par2" : "mp3", segments);
        for (long s = 1; s <= segments; ++s)
            std::fprintf(
                out,
                "      <segment bytes=\"396288\" number=\"%ld\">part%ldof%ld.Xy7Qw3ZkLm9PaB4cRt1%08ld@powerpost2000AA."
                "local</segment>\n",
                s, s, segments, f);
        std::fputs("    </segments>\n  </file>\n", out);
    }
    std::fputs("</nzb>\n", out);
    std::fclose(out);
}

void gzipFile(const std::filesystem::path &from, const std::filesystem::path &to) {
    FILE *in = std::fopen(from.c_str(), "rb");
    gzFile out = gzopen(to.c_str(), "wb6");
    if (!in || !out) std::exit(1);
    char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
        gzwrite(out, buffer, static_cast<unsigned>(n));
    std::fclose(in);
    gzclose(out);
}

void list(const char *label, const std::filesystem::path &path, double plainMegabytes) {
    songLines = 0;
    lastCode = 0;
    const long before = peakKilobytes();
    const auto start = std::chrono::steady_clock::now();
    corvane::nzbListWorker(path.string());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long peak = peakKilobytes();
    std::printf(
        "%-6s %7.1f MB file  %6ld songs  end %d  %6.3f s  peak RSS %6.1f MB (%.2fx the plain file; %.1f MB before)\n",
        label, static_cast<double>(std::filesystem::file_size(path)) / (1024.0 * 1024.0), songLines, lastCode, seconds,
        static_cast<double>(peak) / 1024.0, static_cast<double>(peak) / 1024.0 / plainMegabytes,
        static_cast<double>(before) / 1024.0);
}

}  // namespace

int main(int argc, char **argv) {
    const long files = argc > 1 ? std::atol(argv[1]) : 10000;
    const long segments = argc > 2 ? std::atol(argv[2]) : 50;
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "harbeat_nzb_bench";
    std::filesystem::create_directories(folder);
    const std::filesystem::path plain = folder / "big.nzb";
    const std::filesystem::path packed = folder / "big.nzb.gz";
    writeNzb(plain, files, segments);
    gzipFile(plain, packed);
    const double megabytes = static_cast<double>(std::filesystem::file_size(plain)) / (1024.0 * 1024.0);
    std::printf("%ld files x %ld segments = %ld segments\n", files, segments, files * segments);

    corvane::storeStatusCallback(onReport);
    // Plain first: the peak memory it shows is its own.
    list("plain", plain, megabytes);
    list("gzip", packed, megabytes);
    std::filesystem::remove_all(folder);
    return lastCode == kNotifySearchDone ? 0 : 1;
}
